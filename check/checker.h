// --check: reads the input as a run with the same options would, writes nothing, and reports
// every finding as "FILE:LINE:COLUMN: error: TEXT [CHECK]" (or "warning:").
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "check/csv_scan.h"
#include "console/catalog.h"
#include "input/hash.h"
#include "platform/platform.h"

namespace quillex {

/// How the run being checked would read the table.
struct CheckSettings {
  bool sourceOutput = false;  // source output: no comment rows, column 1 is the fallback
  bool perLanguageIndexing = false;  // binary output writes one character list per language
  std::uint32_t hashSeed = kDefaultHashSeed;
  std::string basePath = "./msg";  // output directory joined with the prefix, in UTF-8
};

/// One finding, placed in the checked file.
struct Diagnostic {
  TextPosition position;
  bool error = false;
  Msg message = Msg::CheckInvalidUtf8;
  FormatArgs args;
  const char* check = "";  // the tag in brackets, fixed per kind of finding
};

/// The findings in a scanned CSV file, ordered by position, with per-language counts of empty
/// texts last. A file the reader refuses gives that one finding only.
std::vector<Diagnostic> CheckCsv(const CsvScan& scan, const CheckSettings& settings);

/// Reads `inputPath`, checks it, and prints the findings with PrintDiagnostic, the file named
/// as given. An unreadable file prints "Failed to read CSV file: {}". Returns true when nothing
/// worse than a warning was found.
[[nodiscard]] bool CheckInputFile(const platform::Path& inputPath, const CheckSettings& settings);

}  // namespace quillex
