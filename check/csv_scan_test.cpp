#include "check/csv_scan.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "input/csv_table.h"
#include "input/text_decoder.h"

namespace quillex {
namespace {

// The text in each encoding the reader accepts, byte order mark included where it needs one.
std::vector<std::string> Encodings(const std::u32string& text) {
  std::string utf8, utf16le = "\xFF\xFE", utf16be = "\xFE\xFF", utf32le("\xFF\xFE\0\0", 4),
                    utf32be("\0\0\xFE\xFF", 4);
  for (char32_t c : text) {
    AppendUtf8(&utf8, c);
    std::vector<std::uint32_t> units;
    if (c >= 0x10000) {
      units = {0xD800 + ((c - 0x10000) >> 10), 0xDC00 + ((c - 0x10000) & 0x3FF)};
    } else {
      units = {static_cast<std::uint32_t>(c)};
    }
    for (std::uint32_t u : units) {
      utf16le += {static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)};
      utf16be += {static_cast<char>(u >> 8), static_cast<char>(u & 0xFF)};
    }
    for (int i = 0; i < 4; ++i) utf32le += static_cast<char>((c >> (8 * i)) & 0xFF);
    for (int i = 3; i >= 0; --i) utf32be += static_cast<char>((c >> (8 * i)) & 0xFF);
  }
  return {utf8, "\xEF\xBB\xBF" + utf8, utf16le, utf16be, utf32le, utf32be};
}

// Each kind of fault is placed by an end-to-end case of --check; these are the places between.
TEST(CsvScanTest, FaultsArePlaced) {
  struct Case {
    std::string bytes;
    ScanFault fault;
    std::uint32_t line, column;
  };
  const Case cases[] = {
      {"ab\r\nc\r", ScanFault::LoneCarriageReturn, 2, 2},            // the last byte
      {"\xEF\xBB\xBFx\nyz\xC0\x80", ScanFault::NulCharacter, 2, 3},  // overlong zero
      {"x\nyz\xC0", ScanFault::CutCharacter, 2, 3},                  // worth 0, cut by the end
      {"x\nyz\xF0\x80\x80", ScanFault::CutCharacter, 2, 3},
      {"x\nyz\xF0\x80\x80\x80", ScanFault::NulCharacter, 2, 3},  // whole: a NUL
  };
  for (const Case& c : cases) {
    const CsvScan scan = ScanCsv(c.bytes);
    EXPECT_EQ(scan.fault, c.fault) << c.bytes;
    EXPECT_EQ(scan.faultPosition.line, c.line) << c.bytes;
    EXPECT_EQ(scan.faultPosition.column, c.column) << c.bytes;
  }
}

// Random input against the reader itself: the scan must read exactly the reader's table, in
// every encoding, and place each cell the same way whatever the encoding.
TEST(CsvScanTest, ReadsWhatTheReaderReads) {
  const char32_t alphabet[] = {U'a', U',', U'"', U'\r', U'\n', U'\u00E9', U'\U0001F600', U' '};
  std::mt19937 random(17);
  for (int round = 0; round < 2000; ++round) {
    std::u32string text;
    const int length = static_cast<int>(random() % 24);
    for (int i = 0; i < length; ++i) {
      const char32_t c = alphabet[random() % std::size(alphabet)];
      text += c;
      if (c == U'\r' && random() % 4 != 0) text += U'\n';
    }
    const std::vector<std::string> encodings = Encodings(text);
    const CsvScan reference = ScanCsv(encodings[0]);
    for (const std::string& bytes : encodings) {
      CsvTable table;
      CodePointReader reader = CodePointReader::ForBuffer(
          reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
      const bool parsed = table.Parse(reader);
      const CsvScan scan = ScanCsv(bytes);
      ASSERT_EQ(scan.fault == ScanFault::None, parsed) << round;
      ASSERT_EQ(scan.fault, reference.fault) << round;
      EXPECT_EQ(scan.faultPosition.line, reference.faultPosition.line) << round;
      EXPECT_EQ(scan.faultPosition.column, reference.faultPosition.column) << round;
      if (!parsed) continue;
      ASSERT_EQ(scan.rows, table.rows) << round;
      ASSERT_EQ(scan.columns, table.columns) << round;
      for (std::int32_t row = 0; row < table.rows; ++row) {
        for (std::int32_t column = 0; column < table.columns; ++column) {
          EXPECT_EQ(scan.Cell(row, column).text, table.Cell(row, column)) << round;
          EXPECT_EQ(scan.Cell(row, column).position.line, reference.Cell(row, column).position.line)
              << round;
          EXPECT_EQ(scan.Cell(row, column).position.column,
                    reference.Cell(row, column).position.column)
              << round;
        }
      }
    }
  }
}

// A header of many languages over short rows is nearly all padding: only the cells written take
// room, and the padding reads as empty, placed where its record ends.
TEST(CsvScanTest, PaddingCellsTakeNoRoom) {
  std::string csv = "ID";
  for (int i = 0; i < 1000; ++i) csv += ",l" + std::to_string(i);
  for (int row = 0; row < 1000; ++row) csv += "\r\nM" + std::to_string(row) + ",x";
  const CsvScan scan = ScanCsv(csv);
  ASSERT_EQ(scan.fault, ScanFault::None);
  ASSERT_EQ(scan.rows, 1001);
  EXPECT_EQ(scan.cells.size(), 1001u + 2 * 1000u);
  const ScannedCell padding = scan.Cell(1000, 500);
  EXPECT_TRUE(padding.text.empty());
  EXPECT_EQ(padding.position.line, 1001u);
  EXPECT_EQ(padding.position.column, 7u);  // "M999,x" ends before column 7
  EXPECT_EQ(scan.Cell(1000, 1).text, "x");
}

}  // namespace
}  // namespace quillex
