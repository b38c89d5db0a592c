// Source output: the identifier list and one escaped message table per language, written from the
// raw CSV table (no markup, no hashing), or the list commands of replace files answered instead.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "input/csv_table.h"
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
  /// does, with the same error line.
  [[nodiscard]] bool ListOutputs(const SourceRequest& request,
                                 std::vector<platform::Path>* outputs);

  /// ID_LIST, LANGUAGE_LIST and MESSAGE_LIST lines, each starting with the command's indentation.
  /// A MESSAGE_LIST whose argument is no language ID of the header prints
  /// "{}: {}: Language ID \"{}\" is not found." and returns false. Any other command warns that
  /// source output does not support it and returns true.
  bool ProcessCommand(std::string& out, const ReplaceCommand& command,
                      const platform::Path& replaceFile) override;

  /// Prints "Output message identifier list: {}" and writes `base` + "_id.inc". When the file
  /// cannot be written, prints "Failed to create message identifier list: {}_id.inc" (after the
  /// writer's own "Failed to write file: {}" for a write error) and returns false.
  [[nodiscard]] bool WriteIdentifierList(const platform::Path& base);

  /// Writes the messages of `column` to `base` + "_" + lower-cased language ID + ".inc", after
  /// printing "Output message table: {}". A column without a language ID returns false at once
  /// and prints nothing (it is no language). When the file cannot be written, or the language ID
  /// holds a path separator (it names no file), prints "Failed to output message table: {}"
  /// (after "Failed to write file: {}" for a write error) and returns false.
  [[nodiscard]] bool WriteMessageTable(const platform::Path& base, std::int32_t column);

  /// False after "Message table would overwrite the message identifier list: {}" when a language's
  /// file name (the language ID lower-cased, so "id" in any case) is that of the identifier list.
  [[nodiscard]] bool CheckFileNames(const platform::Path& base) const;

  /// The table read by every step; filled by Generate (tests may fill it directly).
  CsvTable table;
  // The lines of a message table on their way to the file, a few hundred kilobytes at a time,
  // kept from language to language.
  std::string messageLines;
};

}  // namespace quillex
