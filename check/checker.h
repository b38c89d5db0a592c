// --check: reads the input as a run with the same options would, writes nothing, and reports
// every finding as "FILE:LINE:COLUMN: error: TEXT [CHECK]" (or "warning:").
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "binary/indexing_mode.h"
#include "check/csv_scan.h"
#include "console/catalog.h"
#include "input/hash.h"
#include "input/message_table.h"
#include "platform/platform.h"
#include "replace/text_replace_context.h"

namespace quillex {

/// How the run being checked would read the table.
struct CheckSettings {
  bool sourceOutput = false;  // source output: no comment rows, column 1 is the fallback
  IndexingMode indexing = IndexingMode::NoIndexing;  // of binary output
  std::uint32_t hashSeed = kDefaultHashSeed;
  std::string basePath = "./msg";            // output directory joined with the prefix, in UTF-8
  platform::Path outputDirectory = ".";      // where a replace file's OUTPUT_NAME is made
  std::vector<platform::Path> replaceFiles;  // checked after the CSV file, in this order
  // For each replace file that an earlier one of the run writes, the text the run will read
  // there, checked instead of the file as it stands (which may not be made yet).
  std::vector<std::optional<std::string>> replaceTexts;
  // The CSV file, against which (and the replace files) the outputs are checked as the run
  // checks them before it writes; empty where they are not (a table not read from a file).
  platform::Path inputPath;
  // What the replace files write, where there are any (they take the include files' place):
  // whether some command lists the identifiers (ID_LIST), the language IDs (LANGUAGE_LIST) or
  // the messages under their identifiers' comments (MESSAGE_LIST), so that the names appear in
  // a generated file at all, and whether a MESSAGE_LIST without an argument reads the first
  // column without a language ID. CheckInputFile reads them off the replace files.
  bool replaceListsIds = true;
  bool replaceListsLanguages = true;
  bool replaceListsMessages = true;
  bool replaceReadsUnnamedColumn = false;
};

/// One finding, placed in the checked file.
struct Diagnostic {
  TextPosition position;
  bool error = false;
  Msg message = Msg::CheckInvalidUtf8;
  FormatArgs args;
  const char* check = "";  // the tag in brackets, fixed per kind of finding
};

/// Receives findings one at a time.
using DiagnosticReport = std::function<void(const Diagnostic&)>;

/// A message the indexing passes of a run fail to encode, or a character list too long to index:
/// found in the loaded table, so that a check need not hold the table beside its scan.
struct IndexingFailure {
  std::int32_t row = -1;    // the message's row in the CSV; -1 for a whole character list
  std::int32_t column = 0;  // its language's (the first one that uses the list)
  Msg message = Msg::UnknownTypefaceName;  // what a run prints, with `args`
  FormatArgs args;
  std::string typeface;  // in force where the message failed
};

/// What the run's indexing passes in `mode` fail on in `table`, in the order they find it: what
/// a run reports as errors, encoding only the messages that can fail.
std::vector<IndexingFailure> FindIndexingFailures(const MessageTable& table, IndexingMode mode);

/// The findings in a scanned CSV file, ordered by position, with per-language counts of empty
/// texts last. A file the reader refuses gives that one finding only. With indexing, `indexing`
/// (FindIndexingFailures of the same file) is reported at the cells of the texts that fail:
/// characters missing from the list they are encoded with, texts under a typeface without a
/// list, lists too long to index.
/// The findings go to `report` as each row's are known, so that they are never held all at once.
void CheckCsv(const CsvScan& scan, const CheckSettings& settings,
              const std::vector<IndexingFailure>* indexing, const DiagnosticReport& report);
/// CheckCsv, the findings collected.
std::vector<Diagnostic> CheckCsv(const CsvScan& scan, const CheckSettings& settings,
                                 const std::vector<IndexingFailure>* indexing = nullptr);

/// What a replace file's replaced file is checked against.
struct ReplacedFileCheck {
  const platform::Path& replaceFile;
  bool planned = false;      // an earlier replace file of the run writes it
  const RunFiles& runFiles;  // the files before it
};

/// The findings in the replace file `text`, ordered by line: unknown command names and
/// OUTPUT_NAME without argument (errors), unknown conditions (warnings), and MESSAGE_LIST naming a
/// language the header of `scan` lacks under source output (error; skipped when the CSV could not
/// be read) or used under binary output (warning). With `replaced`, also a replaced file that
/// the run refuses to write, as it is one of `replaced->runFiles` (error).
std::vector<Diagnostic> CheckReplaceText(std::string_view text, const CsvScan* scan,
                                         const CheckSettings& settings,
                                         const ReplacedFileCheck* replaced = nullptr);

/// Reads `inputPath`, checks it, and prints the findings with DiagnosticPrinter, the file named
/// as given, then each replace file likewise. An unreadable CSV file prints "Failed to read CSV
/// file: {}", an unreadable replace file "Failed to read file: {}". Returns true when nothing
/// worse than a warning was found.
[[nodiscard]] bool CheckInputFile(const platform::Path& inputPath, const CheckSettings& settings);

}  // namespace quillex
