#include "input/csv_table.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace quillex {
namespace {

using Fields = std::vector<std::string>;
using namespace std::string_literals;

// Parses `bytes` as a file's contents, byte order mark included.
bool Parse(const std::string& bytes, CsvTable* table) {
  CodePointReader reader = CodePointReader::ForBuffer(
      reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  return table->Parse(reader);
}

TEST(CsvTableTest, Grammar) {
  struct Case {
    std::string bytes;
    Fields fields;
    int columns, rows;
  };
  const Case cases[] = {
      {"a,b\r\nc,d", {"a", "b", "c", "d"}, 2, 2},
      {"a,b\r\nc,d\r\n", {"a", "b", "c", "d", "", ""}, 2, 3},  // final CR LF: empty padded row
      {"", {""}, 1, 1},
      {"\xEF\xBB\xBF", {""}, 1, 1},
      {"\x00\x00\xFE\xFF"s, {""}, 1, 1},
      {"\"x,\"\"y\"\"\"", {"x,\"y\""}, 1, 1},
      {"\"\",\"a\r\nb\",\"\"\"\"\r\nz", {"", "a\r\nb", "\"", "z", "", ""}, 3, 2},
      {"ab\"c,d\"", {"abc,d"}, 1, 1},  // a quote may open in mid-field
      {"\"a\"\r\n", {"a", ""}, 1, 2},
      {" a\nb\t, ", {" a\nb\t", " "}, 2, 1},  // nothing trimmed, a lone LF is text
      // UTF-32 units that UTF-8 cannot hold vanish from their field.
      {"\xFF\xFE\0\0"s + "a\0\0\0"s + "\0\0\x20\0"s + "b\0\0\0"s, {"ab"}, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.bytes));
    CsvTable table;
    ASSERT_TRUE(Parse(c.bytes, &table));
    EXPECT_EQ(table.fields, c.fields);
    EXPECT_EQ(table.columns, c.columns);
    EXPECT_EQ(table.rows, c.rows);
  }
}

TEST(CsvTableTest, MalformedInputFails) {
  const std::string utf16Mark = "\xFF\xFE", utf32Mark = "\xFF\xFE\0\0"s;
  const std::string cases[] = {
      // CR without LF
      "a\rb",
      "a\r",
      "a,\"b\"\rc",
      // anything but '"', ',', CR LF or the end after a closing quote
      "\"ab\"c",
      "\"ab\" ",
      "\"ab\"\n",
      // end inside quotes
      "a,\"open",
      "\"open\r\n",
      // invalid lead byte in every state; UTF-32 unit with bit 31 set; cut-off unit
      "a\xFF",
      "\"a\x80\"",
      "\"a\"\xFF",
      "a\r\xFF",
      utf32Mark + "a\0\0\0"s + "\0\0\0\x80"s,
      utf32Mark + "a\0\0"s,
      // a character that decodes to 0 (U+0000, overlong C0 80, lone C0 at the very end) in
      // every state and encoding no longer passes as the end of input
      "a,b\0\r\nlost"s,
      "\"a\0\""s,
      "\"a\"\0"s,
      "a\r\0"s,
      "a,b\xC0\x80rest",
      "a,b\xC0",
      utf16Mark + "a\0\0\0"s,
      utf32Mark + "a\0\0\0\0\0\0\0"s,
  };
  for (const std::string& bytes : cases) {
    SCOPED_TRACE(testing::PrintToString(bytes));
    CsvTable table;
    EXPECT_FALSE(Parse(bytes, &table));
  }
}

TEST(CsvTableTest, RecordsAreAlignedToTheFirst) {
  // Short record padded, long record cut, blank line in the middle padded.
  CsvTable table;
  ASSERT_TRUE(Parse("ID,en,ja\r\nm1,one\r\nm2,two,ni,extra,more\r\n\r\nm3,three,san", &table));
  EXPECT_EQ(table.fields, (Fields{"ID", "en", "ja", "m1", "one", "", "m2", "two", "ni", "", "", "",
                                  "m3", "three", "san"}));
  EXPECT_EQ(table.rows, 5);
  EXPECT_EQ(table.Cell(4, 0), "m3");
  EXPECT_EQ(table.Cell(4, 2), "san");
}

TEST(CsvTableTest, ParseReplacesThePreviousTable) {
  CsvTable table;
  ASSERT_TRUE(Parse("a,b,c\r\nd", &table));
  ASSERT_TRUE(Parse("x", &table));
  EXPECT_EQ(table.fields, Fields{"x"});
  EXPECT_EQ(table.columns, 1);
  EXPECT_EQ(table.rows, 1);
}

TEST(CsvTableTest, CellOutOfRangeIsEmpty) {
  CsvTable table;
  ASSERT_TRUE(Parse("a,b\r\nc,d", &table));
  for (auto [row, column] : {std::pair{-1, 0}, {0, -1}, {2, 0}, {0, 2}, {INT32_MIN, INT32_MAX}}) {
    EXPECT_EQ(table.Cell(row, column), "") << row << "," << column;
  }
  EXPECT_EQ(CsvTable().Cell(0, 0), "");
}

// The same text as stored in `encoding`, with its byte order mark.
std::string EncodeWithMark(const std::u32string& text, TextEncoding encoding) {
  if (encoding == TextEncoding::Utf8) {
    std::string out = "\xEF\xBB\xBF";
    for (char32_t cp : text) AppendUtf8(&out, cp);
    return out;
  }
  bool big = encoding == TextEncoding::Utf16BE || encoding == TextEncoding::Utf32BE;
  int width = encoding == TextEncoding::Utf32BE || encoding == TextEncoding::Utf32LE ? 4 : 2;
  std::string out;
  auto put = [&](std::uint32_t unit) {
    for (int i = 0; i < width; ++i) {
      out.push_back(static_cast<char>(unit >> 8 * (big ? width - 1 - i : i)));
    }
  };
  put(0xFEFF);
  for (char32_t cp : text) {
    if (width == 2 && cp > 0xFFFF) {
      put(0xD800 + ((cp - 0x10000) >> 10));
      put(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      put(cp);
    }
  }
  return out;
}

TEST(CsvTableTest, LoadGivesTheSameTableInEveryEncoding) {
  const std::u32string text =
      U"ID,en,ja\r\nhello,\"Hi, \"\"you\"\"\r\n\",\u3053\u3093\U0001F600\r\nbye,Bye\r\n";
  const Fields expected = {
      "ID", "en", "ja", "hello", "Hi, \"you\"\r\n", "\u3053\u3093\U0001F600", "bye", "Bye",
      "",   "",   "",   ""};
  std::random_device random;
  std::filesystem::path path = std::filesystem::path(testing::TempDir()) /
                               ("quillex_csv_" + std::to_string(random()) + ".csv");
  for (TextEncoding encoding : {TextEncoding::Utf8, TextEncoding::Utf16LE, TextEncoding::Utf16BE,
                                TextEncoding::Utf32LE, TextEncoding::Utf32BE}) {
    SCOPED_TRACE(static_cast<int>(encoding));
    std::ofstream(path, std::ios::binary) << EncodeWithMark(text, encoding);
    CsvTable table;
    ASSERT_TRUE(table.Load(path));
    EXPECT_EQ(table.fields, expected);
    EXPECT_EQ(table.columns, 3);
    EXPECT_EQ(table.rows, 4);
  }
  std::filesystem::remove(path);
  CsvTable table;
  EXPECT_FALSE(table.Load(path));
}

}  // namespace
}  // namespace quillex
