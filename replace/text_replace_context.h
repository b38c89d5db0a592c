// One replace run: turns one replace file into its replaced file, asking the generator for the
// lines of its list commands. The only part of the replace machinery that reads or writes files.
#pragma once

#include <list>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "platform/output_file.h"
#include "replace/replace_command.h"
#include "replace/replace_parser.h"

namespace quillex {

/// Files a run reads or has written, by identity (whatever spelling or link leads to them):
/// none may be written over by another of its outputs, lost for good while the run said
/// "Succeeded.". A file not made yet, or that the run makes anew before it matters, is known by
/// the place it is made at.
class RunFiles {
 public:
  /// `anew`: the run makes the file (again) before an output could meet it, so that only its
  /// place counts, not the file that stands there now.
  void Add(const platform::Path& path, bool anew = false);

  /// Whether `output` is one of the files; never for a device or pipe (written in place: nothing
  /// is lost, and a pipe must not be opened to be examined).
  [[nodiscard]] bool Holds(const platform::Path& output) const;

  /// True when `output` is none of them (Holds); else prints "The output {} is a file this run
  /// reads or has written: it is not overwritten" and returns false.
  [[nodiscard]] bool Allow(const platform::Path& output) const;

  /// Allow() for each file the run generates, and whether they meet: where a symbolic link at
  /// one's name leads to another (made yet or not), writing it would write over the other through
  /// the link, so it fails as well. The same name twice is one output (language IDs that differ
  /// in case), and a hard link is no meeting: each output replaces the name it is written under.
  [[nodiscard]] bool AllowGenerated(const std::vector<platform::Path>& outputs) const;

  /// The output that AllowGenerated names as it fails, or null where it passes; prints nothing.
  [[nodiscard]] const platform::Path* RefusedGenerated(
      const std::vector<platform::Path>& outputs) const;

 private:
  std::set<platform::FileIdentity> files_;
  std::set<platform::Path::string_type, platform::SpellingOrder> places_;
  mutable WritePlaces writePlaces_;  // the file system asked once per folder
};

class TextReplaceContext {
 public:
  /// `processor` answers the list commands and must outlive the context. The flags are the
  /// values of the conditions BINARY, SOURCE and INDEXED.
  TextReplaceContext(TextReplaceCommandProcessor* processor, bool binaryFlag, bool sourceFlag,
                     bool indexedFlag)
      : processor(processor), flags{binaryFlag, sourceFlag, indexedFlag} {}

  /// Reads and parses the replace file into `commands` and `outputName`, then resolves the
  /// conditions, warning "{}: {}: An unknown condition was specified. This value sets 0: {}" for
  /// each unknown one. False after "Failed to read file: {}" (cannot be opened or read),
  /// "{}: {}: Unknown command name: {}" or "{}: {}: Output name was not specified."; a file
  /// that fails prints no condition warnings.
  [[nodiscard]] bool LoadCommands(const platform::Path& replaceFile);

  /// Loads the replace file and writes its replaced file: into `outputDirectory` under the
  /// replace file's name or the OUTPUT_NAME, with ".replaced" appended when that would be the
  /// replace file itself. Prints "Execute text replace: {} -> {}" before writing. A replaced
  /// file that would be one of `runFiles` (the CSV, the replace files read so far, the files
  /// the run generated) fails (RunFiles::Allow); replaced files may meet each other (the last
  /// one wins). The file is
  /// written completely or not at all: when it cannot be written ("Failed to open file: {}") or a
  /// generator command fails (the generator's message), a file already at the output path stays
  /// as it was. False when the run failed.
  [[nodiscard]] bool Execute(const platform::Path& outputDirectory,
                             const platform::Path& replaceFile, const RunFiles* runFiles = nullptr);

  /// Reads the replace file as Execute does and stores in `output` the path Execute would write;
  /// writes nothing and asks the generator nothing. False after the error Execute would print
  /// for an unreadable or faulty replace file. `planned`, when given, is the text an earlier
  /// replace file of the run writes at the replace file's place: the text Execute will read
  /// there, taken instead of the file (which may not be made yet).
  [[nodiscard]] bool ListOutput(const platform::Path& outputDirectory,
                                const platform::Path& replaceFile, platform::Path* output,
                                const std::string* planned = nullptr);

  /// After ListOutput: the text Execute would write, into `text`, asking the generator for the
  /// lists. False after the generator's error, when Execute would fail too.
  [[nodiscard]] bool ReplacedText(const platform::Path& replaceFile, std::string* text);

 private:
  /// Loads commands from `text`, read from `replaceFile`.
  [[nodiscard]] bool ParseCommands(const platform::Path& replaceFile, const std::string& text);

  /// Appends the replaced text to `out`, handing it to `flush` after each list (which may be as
  /// large as the catalog). False when a list fails.
  template <typename Flush>
  bool Replace(const platform::Path& replaceFile, std::string& out, Flush flush);

  TextReplaceCommandProcessor* processor;
  std::list<ReplaceCommand> commands;
  ConditionFlags flags;
  platform::Path outputName;
};

/// Where the replaced file of `replaceFile` goes: into `outputDirectory` under `outputName`, or
/// under the replace file's name where that is empty, with ".replaced" appended when that would
/// be the replace file itself. `planned`: the replace file is one the run writes before it reads
/// it, so it is the output when their places meet, made yet or not.
platform::Path ReplacedFilePath(const platform::Path& outputDirectory,
                                const platform::Path& replaceFile, const platform::Path& outputName,
                                bool planned);

/// The path of each replace file's replaced file in turn, appended to `outputs` as ListOutput
/// gives it, `processor` and `flags` as for TextReplaceContext. A replace file that an earlier one
/// of the run writes is read as the run reads it: with the text that one writes, asked of
/// `processor` here, rather than as it stands before the run (if at all). False after the error
/// the run would print for an unreadable or faulty replace file or a failing list. `texts`, when
/// given, receives for each replace file the text it is read with where an earlier one writes it
/// (nothing where it is read as it stands); after a failure, those up to the one that failed.
[[nodiscard]] bool ListReplacedFiles(TextReplaceCommandProcessor* processor,
                                     const ConditionFlags& flags,
                                     const platform::Path& outputDirectory,
                                     std::span<const platform::Path> replaceFiles,
                                     std::vector<platform::Path>* outputs,
                                     std::vector<std::optional<std::string>>* texts = nullptr);

}  // namespace quillex
