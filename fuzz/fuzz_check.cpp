// --check over raw CSV bytes, against the run it stands in for. The scan reads exactly the table
// the run's reader reads, or both refuse the file; a refused file gives one finding, an error;
// every finding lies inside the file and they come in order of position, the per-language counts
// of empty texts last; and where the run fails on its input, the check reports an error.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "check/checker.h"
#include "check/csv_scan.h"
#include "fuzz/pipeline_check.h"
#include "source/source_generator.h"

namespace {

// WriteInput, then source output into the folder, prefix "msg", as RunBinaryOutput runs binary
// output.
bool RunSourceOutput(const std::string& csv) {
  quillex::fuzz::WriteInput(csv);
  quillex::SourceRequest request;
  request.inputPath = quillex::fuzz::Folder() / "in.csv";
  request.outputDirectory = quillex::fuzz::Folder();
  request.prefix = "msg";
  bool succeeded = false;
  {
    quillex::SourceGenerator generator;
    succeeded = generator.Generate(request);
  }
  std::fflush(stdout);
  return succeeded;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quillex;
  using namespace quillex::fuzz;
  if (size == 0) return 0;
  // The first byte picks the run: binary output in each indexing mode, or source output.
  constexpr IndexingMode kModes[] = {IndexingMode::NoIndexing, IndexingMode::PerLanguage,
                                     IndexingMode::AllLanguages};
  const bool source = data[0] % 4 == 3;
  const IndexingMode indexing = source ? IndexingMode::NoIndexing : kModes[data[0] % 4];
  const std::string csv(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::uint32_t seed = kDefaultHashSeed ^ static_cast<std::uint32_t>(size * 2654435761u);

  // The run first: it leaves in.csv in the folder for the readers below.
  const bool succeeded = source ? RunSourceOutput(csv) : RunBinaryOutput(csv, indexing, seed);
  const platform::Path path = Folder() / "in.csv";

  const CsvScan scan = ScanCsv(csv);
  CsvTable table;
  const bool parsed = table.Load(path);
  Check((scan.fault == ScanFault::None) == parsed);
  if (parsed) {
    Check(scan.rows == table.rows && scan.columns == table.columns);
    for (std::int32_t row = 0; row < table.rows; ++row) {
      for (std::int32_t column = 0; column < table.columns; ++column) {
        Check(scan.Cell(row, column).text == table.Cell(row, column));
      }
    }
  }

  CheckSettings settings;
  settings.sourceOutput = source;
  settings.indexing = indexing;
  settings.hashSeed = seed;
  std::vector<IndexingFailure> failures;
  MessageTable messages;
  const bool indexed = indexing != IndexingMode::NoIndexing && parsed && messages.Load(path, seed);
  if (indexed) failures = FindIndexingFailures(messages, indexing);
  const std::vector<Diagnostic> findings = CheckCsv(scan, settings, indexed ? &failures : nullptr);

  if (!parsed) Check(findings.size() == 1 && findings[0].error);
  bool error = false;
  bool counts = false;  // past the first count of empty texts
  for (std::size_t k = 0; k < findings.size(); ++k) {
    const Diagnostic& finding = findings[k];
    // Each character takes a byte at least. (Not every line feed is a byte 0x0A: the lenient
    // decoding of broken UTF-8 can give one.)
    Check(finding.position.line >= 1 && finding.position.line <= csv.size() + 1);
    Check(finding.position.column >= 1 && finding.position.column <= csv.size() + 1);
    error = error || finding.error;
    const bool count = finding.message == Msg::CheckEmptyTranslationCount;
    Check(count || !counts);
    if (k > 0 && !count && !counts) {
      const TextPosition before = findings[k - 1].position;
      Check(before.line < finding.position.line ||
            (before.line == finding.position.line && before.column <= finding.position.column));
    }
    counts = counts || count;
  }
  // The check is stricter than the run (ragged records, names that break generated lines), never
  // more lenient. But a language's file name longer than the file system takes fails the run's
  // write, which no check can foresee.
  bool namesFit = true;
  for (std::int32_t column = 0; parsed && column < scan.columns; ++column) {
    namesFit = namesFit && scan.Cell(0, column).text.size() <= 200;
  }
  if (!succeeded && namesFit) Check(error);
  return 0;
}
