#include "source/source_lines.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "source/source_test_support.h"

namespace quillex {
namespace {

// Runs one writer into a temporary stream and returns what it wrote.
template <typename Writer>
std::string Capture(Writer writer) {
  std::FILE* out = std::tmpfile();
  EXPECT_NE(out, nullptr);
  EXPECT_TRUE(writer(out));
  return ReadBackAndClose(out);
}

TEST(SourceLinesTest, IndentedLinesSkipEmptyIdentifiersAndFallBackToColumnOne) {
  CsvTable table = MakeTable(3, {
                                    "ID", "en", "de",    //
                                    "HELLO", "Hi", "",   //
                                    "", "lost", "lost",  //
                                    "#NOTE", "", "x",    //
                                });
  EXPECT_EQ(Capture([&](std::FILE* out) { return WriteIdentifierLines(out, table, "\t "); }),
            "\t HELLO,\n\t #NOTE,\n");
  EXPECT_EQ(Capture([&](std::FILE* out) { return WriteMessageLines(out, table, 2, "    "); }),
            "    /* HELLO */ \"\\x48\\x69\",\n"
            "    /* #NOTE */ \"\\x78\",\n");
  EXPECT_EQ(Capture([&](std::FILE* out) { return WriteMessageLines(out, table, 1, "    "); }),
            "    /* HELLO */ \"\\x48\\x69\",\n"
            "    /* #NOTE */ \"\",\n");
}

TEST(SourceLinesTest, LanguageLinesIncludeEmptyLanguageIds) {
  CsvTable gap = MakeTable(4, {"ID", "en", "", "ja"});
  EXPECT_EQ(Capture([&](std::FILE* out) { return WriteLanguageLines(out, gap, "  "); }),
            "  en,\n  ,\n  ja,\n");
  CsvTable single = MakeTable(1, {"ID", "HELLO"});
  EXPECT_EQ(Capture([&](std::FILE* out) { return WriteLanguageLines(out, single, "  "); }), "");
}

// Also the bytes a parsed CSV field cannot hold (0xC0, 0xC1, 0xF8 to 0xFF).
TEST(SourceLinesTest, EveryByteIsEscapedInUpperCaseHex) {
  std::string message;
  std::string expected = "/* ALL */ \"";
  for (int byte = 0x01; byte <= 0xFF; ++byte) {
    message += static_cast<char>(byte);
    char escape[8];
    std::snprintf(escape, sizeof escape, "\\x%02X", byte);
    expected += escape;
  }
  expected += "\",\n";
  CsvTable bytes = MakeTable(2, {"ID", "en", "ALL", message});
  EXPECT_EQ(Capture([&](std::FILE* out) { return WriteMessageLines(out, bytes, 1, {}); }),
            expected);
}

// Crosses the size at which the collected lines are handed to the stream.
TEST(SourceLinesTest, LargeTableKeepsEveryLineInOrder) {
  std::vector<std::string> fields = {"ID", "en"};
  std::string ids;
  std::string messages;
  for (int row = 0; row < 20000; ++row) {
    std::string id = "ID_" + std::to_string(row);
    fields.push_back(id);
    fields.push_back("m");
    ids += id + ",\n";
    messages += "/* " + id + " */ \"\\x6D\",\n";
  }
  CsvTable large = MakeTable(2, std::move(fields));
  EXPECT_EQ(Capture([&](std::FILE* out) { return WriteIdentifierLines(out, large, {}); }), ids);
  EXPECT_EQ(Capture([&](std::FILE* out) { return WriteMessageLines(out, large, 1, {}); }),
            messages);
}

}  // namespace
}  // namespace quillex
