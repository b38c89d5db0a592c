#include "source/source_lines.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

namespace quillex {
namespace {

// A language file's name lowers A to Z and nothing else: the bytes beside them ('@', '[', '`',
// '{') and UTF-8 stay as they are.
TEST(SourceLinesTest, LanguageIdLowersOnlyAToZ) {
  EXPECT_EQ(LowerCaseLanguageId("@AZ[`az{\xC3\x89"), "@az[`az{\xC3\x89");
}

// Random bytes of every value, at lengths around the sixteen-byte steps and after text already
// in the buffer, against escaping one byte at a time.
TEST(SourceLinesTest, HexEscapesMatchEscapingEachByte) {
  std::mt19937 random(7);
  for (int round = 0; round < 2000; ++round) {
    std::string bytes(random() % 70, '\0');
    for (char& byte : bytes) byte = static_cast<char>(random() % 256);
    std::string text(random() % 5, '.');
    std::string expected = text;
    for (char byte : bytes) {
      char escape[5];
      std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned char>(byte));
      expected += escape;
    }
    AppendHexEscaped(&text, bytes);
    ASSERT_EQ(text, expected) << round;
  }
}

// The lines handed over piece by piece are the lines made whole, across many pieces and with
// lines far larger than a piece.
TEST(SourceLinesTest, FlushedLinesAreTheWholeLines) {
  std::mt19937 random(11);
  std::string csv = "ID,en,ja\r\n";
  for (int row = 0; row < 4000; ++row) {
    csv += "ID_" + std::to_string(row) + "," +
           std::string(random() % 300 + (row % 1000 == 0 ? 400000 : 0), 'a' + row % 26) + "," +
           (row % 3 == 0 ? "" : std::string(random() % 50, 'z')) + "\r\n";
  }
  CsvTable table;
  ASSERT_TRUE(table.ParseBytes(csv));
  for (std::int32_t column : {1, 2}) {
    std::string whole = "head";
    WriteMessageLines(whole, table, column, "  ");
    std::string pieces = "head";
    std::string flushed;
    int flushes = 0;
    WriteMessageLines(pieces, table, column, "  ", [&](std::string& lines) {
      flushed += lines;
      lines.clear();
      ++flushes;
    });
    EXPECT_EQ(pieces, "");
    EXPECT_GT(flushes, 4);
    EXPECT_TRUE(flushed == whole) << column;
  }
}

}  // namespace
}  // namespace quillex
