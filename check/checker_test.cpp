#include "check/checker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "binary/binary_format.h"
#include "input/text_decoder.h"
#include "platform/platform.h"
#include "platform/test_temp_dir.h"

// The heap allocations of this test program, counted where the C library is glibc's and no
// sanitizer keeps the heap: every container's allocation ends in malloc (aligned_alloc too, for
// the few buffers of a large page or more, which are not counted).
#if defined(__GLIBC__) && QUILLEX_LARGE_BUFFERS_ON_LARGE_PAGES
#define QUILLEX_COUNTS_ALLOCATIONS 1
namespace {
std::atomic<std::size_t> allocations{0};
}  // namespace
extern "C" void* __libc_malloc(std::size_t size);
extern "C" void* malloc(std::size_t size) noexcept {
  allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_malloc(size);
}
#else
#define QUILLEX_COUNTS_ALLOCATIONS 0
namespace {
std::atomic<std::size_t> allocations{0};
}  // namespace
#endif

namespace quillex {
namespace {

// A finding as "LINE:COLUMN:e|w:TAG", enough to tell the cases apart.
std::string Describe(const Diagnostic& d) {
  return std::to_string(d.position.line) + ":" + std::to_string(d.position.column) +
         (d.error ? ":e:" : ":w:") + d.check;
}

std::vector<std::string> Findings(std::string_view text, bool sourceOutput, const CsvScan* scan) {
  CheckSettings settings;
  settings.sourceOutput = sourceOutput;
  std::vector<std::string> out;
  for (const Diagnostic& d : CheckReplaceText(text, scan, settings)) out.push_back(Describe(d));
  return out;
}

// Unknown names (one holding a NUL byte too) and conditions, OUTPUT_NAME without a name, a missing
// language, MESSAGE_LIST in binary output and lines without findings are end-to-end cases of
// --check; these are the edges.
TEST(CheckReplaceTextTest, ReportsWhatTheRunWouldStopOrWarnAt) {
  const CsvScan scan = ScanCsv("ID,,en\r\nA,x,y\r\n");
  struct Case {
    std::string text;
    bool source;
    std::vector<std::string> expected;
  } cases[] = {
      {"$IF:BINARY$\n$ELIF:INDEXED$\n$IF:$\n$ELSE$\n$ENDIF$\n", false, {"3:1:w:replace-condition"}},
      // Matched byte for byte against every header cell, the empty one included.
      {"$MESSAGE_LIST:en$\n$MESSAGE_LIST:$\n$MESSAGE_LIST:ID$\n", true, {"3:1:e:replace-language"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Findings(c.text, c.source, &scan), c.expected) << c.text;
  }
}

TEST(CheckReplaceTextTest, LanguagesAreNotCheckedAgainstAnUnreadableTable) {
  EXPECT_TRUE(Findings("$MESSAGE_LIST:fr$\n", true, nullptr).empty());
  const CsvScan broken = ScanCsv("ID,en\r\nA,\"x\r\n");
  EXPECT_TRUE(Findings("$MESSAGE_LIST:fr$\n", true, &broken).empty());
}

class CheckCsvTest : public TempDirTest {
 protected:
  // The indexing findings of --check, placed: the table is loaded from a file as the run loads it.
  std::vector<std::string> IndexingFindings(const std::string& csv, IndexingMode mode) {
    CheckSettings settings;
    settings.indexing = mode;
    MessageTable table;
    EXPECT_TRUE(table.Load(Write("messages.csv", csv), settings.hashSeed));
    const std::vector<IndexingFailure> failures = FindIndexingFailures(table, mode);
    std::vector<std::string> out;
    for (const Diagnostic& d : CheckCsv(ScanCsv(csv), settings, &failures)) {
      if (std::string_view(d.check).starts_with("indexed-")) out.push_back(Describe(d));
    }
    return out;
  }
};

TEST_F(CheckCsvTest, IndexingFailuresArePlacedAtTheTextThatFails) {
  // One character more than a list can index, all in the second language.
  std::string many;
  for (std::uint32_t code = 0x10000; code <= 0x10000 + binary_format::kMaxIndexedCharacters;
       ++code) {
    many += EncodeUtf8(code);
  }
  struct Case {
    std::string csv;
    IndexingMode mode;
    std::vector<std::string> expected;
  } cases[] = {
      // Text under "x" is counted into list "x" but encoded with "default", which lacks it (as in
      // tests/e2e/bad-chk-indexed-character); here it fails in de too, through the fallback: one
      // finding, at the text.
      {"ID,en,de\r\nA,<$x>ab</$>,\r\nB,b,b\r\n",
       IndexingMode::PerLanguage,
       {"2:3:e:indexed-character"}},
      // A bold tag without bold text in en (an end-to-end case): with one table, de's helps.
      {"ID,en,de\r\nA,<$bold></$>a,<$bold>b</$>\r\n", IndexingMode::AllLanguages, {}},
      // Ruby bases go by the typeface in force; readings have their own list.
      {"ID,en\r\nA,<@a:b>\r\n", IndexingMode::PerLanguage, {}},
      {"ID,en\r\nA,<$x><@a:b></$>\r\n", IndexingMode::PerLanguage, {"2:3:e:indexed-typeface"}},
      // Comment rows are not encoded.
      {"ID,en\r\n#A,<$bold></$>\r\nB,b\r\n", IndexingMode::PerLanguage, {}},
      // A list too long is placed at its language's ID.
      {"ID,en,ja\r\nA,a," + many + "\r\n", IndexingMode::PerLanguage, {"1:7:e:indexed-list-size"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IndexingFindings(c.csv, c.mode), c.expected) << c.csv;
  }
}

// Two languages whose files the file system takes for one: the run writes one over the other.
// The tool lower-cases the names in ASCII only; beyond it the system decides, and Windows tells
// names apart without case throughout ("é" and "É").
TEST_F(CheckCsvTest, LanguageFilesClashWhereTheSystemTakesThemForOne) {
  auto clashes = [](const std::string& csv, bool sourceOutput) {
    CheckSettings settings;
    settings.sourceOutput = sourceOutput;
    settings.indexing = sourceOutput ? IndexingMode::NoIndexing : IndexingMode::PerLanguage;
    std::vector<std::string> out;
    for (const Diagnostic& d : CheckCsv(ScanCsv(csv), settings, nullptr)) {
      if (std::string_view(d.check) == "file-clash") out.push_back(Describe(d));
    }
    return out;
  };
#ifdef _WIN32
  const std::vector<std::string> beyondAscii = {"1:6:e:file-clash"};
#else
  const std::vector<std::string> beyondAscii;
#endif
  for (const bool sourceOutput : {true, false}) {
    EXPECT_EQ(clashes("ID,EN,en\r\nA,a,b\r\n", sourceOutput),
              std::vector<std::string>{"1:7:e:file-clash"});
    EXPECT_EQ(clashes("ID,\xC3\xA9,\xC3\x89\r\nA,a,b\r\n", sourceOutput), beyondAscii);
    EXPECT_TRUE(clashes("ID,en,fr\r\nA,a,b\r\n", sourceOutput).empty());
  }
}

// Called without the CSV's path in the settings, the check still tests the outputs against the
// file it reads: a CSV at the binary file's name is one the run refuses to write over.
TEST_F(CheckCsvTest, OutputsAreCheckedAgainstTheFileRead) {
  CheckSettings settings;
  settings.basePath = platform::PathToUtf8(dir / "msg");
  settings.outputDirectory = dir;
  const std::filesystem::path csv = Write("msg.bin", "ID,en\r\nA,a\r\n");
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const bool clean = CheckInputFile(csv, settings);
  const std::string shown =
      testing::internal::GetCapturedStdout() + testing::internal::GetCapturedStderr();
  EXPECT_FALSE(clean);
  EXPECT_NE(shown.find("[file-clash]"), std::string::npos) << shown;
}

// A catalog can give a finding per cell: they are handed over without an allocation each, so
// that the check's allocations do not grow with its findings.
TEST_F(CheckCsvTest, FindingsTakeNoAllocationEach) {
  if (!QUILLEX_COUNTS_ALLOCATIONS) GTEST_SKIP() << "allocations are counted on glibc only";
  auto allocationsFor = [](int rows, std::size_t* findings) {
    std::string csv = "ID,en,de,fr\r\n";
    for (int row = 0; row < rows; ++row) {
      // An argument missing and a colour tag fewer in de, fr empty: three findings.
      csv.append("M").append(std::to_string(row)).append(",{0} <#red>x</#>,y,\r\n");
    }
    const CsvScan scan = ScanCsv(csv);
    *findings = 0;
    const std::size_t before = allocations.load();
    CheckCsv(scan, CheckSettings(), nullptr, [&](const Diagnostic&) { ++*findings; });
    return allocations.load() - before;
  };
  std::size_t fewFindings = 0;
  std::size_t manyFindings = 0;
  const std::size_t few = allocationsFor(1000, &fewFindings);
  const std::size_t many = allocationsFor(8000, &manyFindings);
  EXPECT_EQ(manyFindings, 3 * 8000 + 1);  // and the count of empty texts
  // Room for the buffers that grow with the table: a few allocations each time it doubles.
  EXPECT_LE(many, few + 32) << few << " allocations for " << fewFindings << " findings";
}

}  // namespace
}  // namespace quillex
