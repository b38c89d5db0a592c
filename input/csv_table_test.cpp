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

class CsvTableTest : public ::testing::Test {
 protected:
  // Parses `bytes` as a file's contents, byte order mark included.
  bool Parse(const std::string& bytes) {
    buffer_ = bytes;
    CodePointReader reader = CodePointReader::ForBuffer(
        reinterpret_cast<const unsigned char*>(buffer_.data()), buffer_.size());
    return table_.Parse(reader);
  }

  void ExpectTable(const Fields& fields, int columns, int rows) {
    EXPECT_EQ(table_.fields, fields);
    EXPECT_EQ(table_.columns, columns);
    EXPECT_EQ(table_.rows, rows);
  }

  std::string buffer_;
  CsvTable table_;
};

TEST_F(CsvTableTest, RecordsEndWithCrLf) {
  ASSERT_TRUE(Parse("a,b\r\nc,d"));
  ExpectTable({"a", "b", "c", "d"}, 2, 2);
  EXPECT_EQ(table_.Cell(1, 0), "c");
}

TEST_F(CsvTableTest, FinalCrLfLeavesAnEmptyPaddedRow) {
  ASSERT_TRUE(Parse("a,b\r\nc,d\r\n"));
  ExpectTable({"a", "b", "c", "d", "", ""}, 2, 3);
  EXPECT_EQ(table_.Cell(2, 0), "");
  EXPECT_EQ(table_.Cell(2, 1), "");
}

TEST_F(CsvTableTest, EmptyInputIsOneEmptyField) {
  for (const std::string& bytes : {""s, "\xEF\xBB\xBF"s, "\xFF\xFE"s, "\x00\x00\xFE\xFF"s}) {
    ASSERT_TRUE(Parse(bytes));
    ExpectTable({""}, 1, 1);
  }
}

TEST_F(CsvTableTest, QuotedFields) {
  ASSERT_TRUE(Parse("\"x,\"\"y\"\"\""));
  ExpectTable({"x,\"y\""}, 1, 1);
  ASSERT_TRUE(Parse("\"\",\"a\r\nb\",\"\"\"\"\r\nz"));
  ExpectTable({"", "a\r\nb", "\"", "z", "", ""}, 3, 2);
}

TEST_F(CsvTableTest, QuoteMayOpenInMidField) {
  ASSERT_TRUE(Parse("ab\"c,d\""));
  ExpectTable({"abc,d"}, 1, 1);
  ASSERT_TRUE(Parse("\"a\"\r\n"));
  ExpectTable({"a", ""}, 1, 2);
}

TEST_F(CsvTableTest, LoneLineFeedAndSpacesAreFieldText) {
  ASSERT_TRUE(Parse(" a\nb\t, "));
  ExpectTable({" a\nb\t", " "}, 2, 1);
}

TEST_F(CsvTableTest, MalformedInputFails) {
  const char* cases[] = {
      "a\rb",        // CR without LF
      "a\r",         // CR at the end
      "a,\"b\"\rc",  // CR without LF after a closing quote
      "\"ab\"c",     // text after a closing quote
      "\"ab\" ",     // even a space
      "\"ab\"\n",    // or a lone LF
      "a,\"open",    // end inside quotes
      "\"open\r\n",  // even past a record end
      "a\xFF",       // invalid lead byte unquoted
      "\"a\x80\"",   // ... quoted
      "\"a\"\xFF",   // ... after a closing quote
      "a\r\xFF",     // ... after a CR
  };
  for (const char* bytes : cases) {
    SCOPED_TRACE(testing::PrintToString(std::string(bytes)));
    EXPECT_FALSE(Parse(bytes));
  }
}

TEST_F(CsvTableTest, DecodedZeroFailsInsteadOfEndingTheInput) {
  const std::string utf16Mark = "\xFF\xFE", utf32Mark = "\xFF\xFE\0\0"s;
  const std::string cases[] = {
      "a,b\0\r\nlost"s,                // U+0000 outside quotes
      "\"a\0\""s,                      // inside quotes
      "\"a\"\0"s,                      // after a closing quote
      "a\r\0"s,                        // after a CR
      "a,b\xC0\x80rest",               // overlong form of 0
      "a,b\xC0",                       // lone C0 at the very end
      utf16Mark + "a\0\0\0"s,          // U+0000 in UTF-16
      utf32Mark + "a\0\0\0\0\0\0\0"s,  // and in UTF-32
  };
  for (const std::string& bytes : cases) {
    SCOPED_TRACE(testing::PrintToString(bytes));
    EXPECT_FALSE(Parse(bytes));
  }
}

TEST_F(CsvTableTest, RecordsAreAlignedToTheFirst) {
  // Short record padded, long record cut, blank line in the middle padded.
  ASSERT_TRUE(Parse("ID,en,ja\r\nm1,one\r\nm2,two,ni,extra,more\r\n\r\nm3,three,san"));
  ExpectTable(
      {"ID", "en", "ja", "m1", "one", "", "m2", "two", "ni", "", "", "", "m3", "three", "san"}, 3,
      5);
  EXPECT_EQ(table_.Cell(4, 0), "m3");
  EXPECT_EQ(table_.Cell(4, 2), "san");
}

TEST_F(CsvTableTest, Utf32UnitsBeyondUtf8VanishOrFail) {
  const std::string mark = "\xFF\xFE\0\0"s;
  ASSERT_TRUE(Parse(mark + "a\0\0\0"s + "\0\0\x20\0"s + "b\0\0\0"s));
  ExpectTable({"ab"}, 1, 1);
  EXPECT_FALSE(Parse(mark + "a\0\0\0"s + "\0\0\0\x80"s));
  EXPECT_FALSE(Parse(mark + "a\0\0"s));  // truncated unit
}

TEST_F(CsvTableTest, ParseReplacesThePreviousTable) {
  ASSERT_TRUE(Parse("a,b,c\r\nd"));
  ASSERT_TRUE(Parse("x"));
  ExpectTable({"x"}, 1, 1);
}

TEST_F(CsvTableTest, CellOutOfRangeIsEmpty) {
  ASSERT_TRUE(Parse("a,b\r\nc,d"));
  for (auto [row, column] : {std::pair{-1, 0}, {0, -1}, {2, 0}, {0, 2}, {INT32_MIN, INT32_MAX}}) {
    EXPECT_EQ(table_.Cell(row, column), "") << row << "," << column;
  }
  EXPECT_EQ(CsvTable().Cell(0, 0), "");
}

// The same text as it would be stored in `encoding`, with its byte order mark.
std::string EncodeWithMark(const std::u32string& text, TextEncoding encoding) {
  std::string out;
  auto put = [&out](std::uint32_t unit, int width, bool bigEndian) {
    for (int i = 0; i < width; ++i) {
      int shift = 8 * (bigEndian ? width - 1 - i : i);
      out.push_back(static_cast<char>((unit >> shift) & 0xFF));
    }
  };
  bool big = encoding == TextEncoding::Utf16BE || encoding == TextEncoding::Utf32BE;
  bool wide = encoding == TextEncoding::Utf32BE || encoding == TextEncoding::Utf32LE;
  if (encoding == TextEncoding::Utf8) {
    out = "\xEF\xBB\xBF";
    for (char32_t cp : text) AppendUtf8(&out, cp);
    return out;
  }
  put(0xFEFF, wide ? 4 : 2, big);
  for (char32_t cp : text) {
    if (!wide && cp > 0xFFFF) {
      put(0xD800 + ((cp - 0x10000) >> 10), 2, big);
      put(0xDC00 + ((cp - 0x10000) & 0x3FF), 2, big);
    } else {
      put(cp, wide ? 4 : 2, big);
    }
  }
  return out;
}

TEST_F(CsvTableTest, LoadGivesTheSameTableInEveryEncoding) {
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
