#include "input/csv_table.h"

#include <gtest/gtest.h>

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
  const struct {
    std::string bytes;
    Fields fields;
    int columns, rows;
  } cases[] = {
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
      {"\xFE\xFF\0a\0,\0\"\xD8\x3D\xDE\x00\0\""s, {"a", "\U0001F600"}, 2, 1},
      // UTF-32 units that UTF-8 cannot hold vanish from their field.
      {"\xFF\xFE\0\0"s + "a\0\0\0"s + "\0\0\x20\0"s + "b\0\0\0"s, {"ab"}, 1, 1},
      // Records are aligned to the first: short and blank ones padded, long ones cut.
      {"I,e,j\r\nm1,o\r\nm2,t,n,x,y\r\n\r\nm3,h,s",
       {"I", "e", "j", "m1", "o", "", "m2", "t", "n", "", "", "", "m3", "h", "s"},
       3,
       5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.bytes));
    CsvTable table;
    ASSERT_TRUE(Parse("stale,table\r\nx", &table));
    ASSERT_TRUE(Parse(c.bytes, &table));
    EXPECT_EQ(table.fields, c.fields);
    EXPECT_EQ(table.columns, c.columns);
    EXPECT_EQ(table.rows, c.rows);
  }
}

TEST(CsvTableTest, MalformedInputFails) {
  const std::string utf16 = "\xFF\xFE", utf32 = "\xFF\xFE\0\0"s;
  const std::string cases[] = {
      // CR without LF; anything but '"', ',', CR LF or the end after a closing quote
      "a\rb", "a\r", "a,\"b\"\rc", "\"ab\"c", "\"ab\" ", "\"ab\"\n",
      // end inside quotes
      "a,\"open", "\"open\r\n",
      // decoding errors in every state: invalid lead byte, UTF-32 bit 31, cut-off units
      "a\xFF", "\"a\x80\"", "\"a\"\xFF", "a\r\xFF", utf32 + "\0\0\0\x80"s, utf32 + "a\0\0"s,
      utf16 + "a\0\x3D\xD8"s,
      // a character that decodes to 0 never passes as the end of input
      "a,b\0\r\nlost"s, "\"a\0\""s, "\"a\"\0"s, "a\r\0"s, "a,b\xC0\x80rest", "a,b\xC0",
      utf16 + "a\0\0\0"s, utf32 + "a\0\0\0\0\0\0\0"s};
  for (const std::string& bytes : cases) {
    CsvTable table;
    EXPECT_FALSE(Parse(bytes, &table)) << testing::PrintToString(bytes);
  }
}

TEST(CsvTableTest, CellOutOfRangeIsEmpty) {
  CsvTable table;
  ASSERT_TRUE(Parse("a,b\r\nc,d", &table));
  EXPECT_EQ(table.Cell(1, 0), "c");
  for (auto [row, column] : {std::pair{-1, 0}, {0, -1}, {2, 0}, {0, 2}, {INT32_MIN, INT32_MAX}}) {
    EXPECT_EQ(table.Cell(row, column), "") << row << "," << column;
  }
  EXPECT_EQ(CsvTable().Cell(0, 0), "");
}

}  // namespace
}  // namespace quillex
