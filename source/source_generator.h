// Source output: the identifier list and one escaped message table per language, written from the
// raw CSV table (no markup, no hashing), or the list commands of replace files answered instead.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "console/catalog.h"
#include "input/csv_table.h"
#include "platform/output_file.h"
#include "platform/parallel.h"
#include "platform/platform.h"
#include "replace/replace_command.h"

namespace quillex {

/// What one source output run reads.
struct SourceRequest {
  platform::Path inputPath;
  platform::Path outputDirectory;
  platform::Path prefix;
  std::vector<platform::Path> replaceFiles;  // run in this order instead of the include files
};

class SourceGenerator : public TextReplaceCommandProcessor {
 public:
  /// Loads the CSV file, then either runs every replace file in command-line order or writes the
  /// identifier list and the message table of every column with a language ID. Prints its
  /// progress lines and errors; true when every output was written. Stops at the first failure:
  /// an unreadable CSV file prints "Failed to read CSV file: {}"; a failed replace run prints its
  /// own message; a failed include file prints the message of its writer (below).
  [[nodiscard]] bool Generate(const SourceRequest& request);

  /// The paths Generate would write for `request`, in the order it writes them (a path written
  /// twice is listed twice);
  /// writes nothing. Reads the CSV file and the replace files as Generate does and fails as it
  /// does, with the same error line. `replaceTexts`: as for ListReplacedFiles.
  [[nodiscard]] bool ListOutputs(const SourceRequest& request, std::vector<platform::Path>* outputs,
                                 std::vector<std::optional<std::string>>* replaceTexts = nullptr);

  /// ID_LIST, LANGUAGE_LIST and MESSAGE_LIST lines, each starting with the command's indentation.
  /// A MESSAGE_LIST whose argument is no language ID of the header prints
  /// "{}: {}: Language ID \"{}\" is not found." and returns false. Any other command warns that
  /// source output does not support it and returns true.
  bool ProcessCommand(std::string& out, const ReplaceCommand& command,
                      const platform::Path& replaceFile) override;

  /// Writes the identifier list, `base` + "_id.inc", then the message table of every column with
  /// a language ID, `base` + "_" + lower-cased language ID + ".inc"; stops at the first failure.
  /// Each file's line comes first: "Output message identifier list: {}" or "Output message table:
  /// {}". A file that cannot be written prints "Failed to create message identifier list:
  /// {}_id.inc" or "Failed to output message table: {}" (after "Failed to write file: {}" for a
  /// write error); so does a language ID holding a path separator (it names no file). The files
  /// of a large table are made on several threads, with the same lines and files in the same
  /// order as one after another.
  [[nodiscard]] bool WriteIncludeFiles(const platform::Path& base);

  /// False after "Message table would overwrite the message identifier list: {}" when a language's
  /// file name (the language ID lower-cased, so "id" in any case) is that of the identifier list.
  [[nodiscard]] bool CheckFileNames(const platform::Path& base) const;

  /// The include files the run writes under `base`: the identifier list, then the message table
  /// of every column whose language ID names a file.
  std::vector<platform::Path> IncludeFiles(const platform::Path& base) const;

  /// The table read by every step; filled by Generate (tests may fill it directly).
  CsvTable table;
  /// Each language ID's first column, for MESSAGE_LIST: filled at its first use.
  std::unordered_map<std::string_view, std::int32_t> columnsByLanguage;
  /// The include files made at once; 0 for as many as the table's size is worth.
  std::size_t threads = 0;

 private:
  // One include file on its way: its place among the others, and what its turn begins with.
  struct IncludeFile {
    platform::Turn* turn = nullptr;
    bool inTurnFirst = false;            // the turn is taken before the file is opened
    Msg line = Msg::OutputMessageTable;  // printed with `shown` as the turn begins
    platform::Path shown;
    OutputFile output;
  };

  // Opens `path` (none when empty: a failure), fills it with `produce` and replaces the target,
  // taking the turn and printing the file's line before or after the work. False when an earlier
  // file failed, or this one did (its failure message is the caller's to print).
  bool Write(IncludeFile& file, const platform::Path& path,
             const std::function<void(OutputFile&)>& produce);
  bool BeginTurn(IncludeFile& file);
  bool WriteIdentifierList(const platform::Path& base, IncludeFile& file);
  bool WriteMessageTable(const platform::Path& base, std::int32_t column, IncludeFile& file,
                         bool writeBehind);
};

}  // namespace quillex
