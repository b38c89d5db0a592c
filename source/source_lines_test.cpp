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

class SourceLinesTest : public ::testing::Test {
 protected:
  // Rows with an empty identifier, a "#" identifier and missing translations.
  CsvTable table = MakeTable(3, {
                                    "ID", "en", "de",     //
                                    "HELLO", "Hi", "",    //
                                    "", "lost", "lost",   //
                                    "#NOTE", "a,b", "x",  //
                                    "E", "", "",          //
                                });
};

TEST_F(SourceLinesTest, IdentifierLinesSkipEmptyIdentifiersAndKeepHashVerbatim) {
  EXPECT_EQ(Capture([&](std::FILE* out) { return WriteIdentifierLines(out, table, {}); }),
            "HELLO,\n#NOTE,\nE,\n");
  EXPECT_EQ(Capture([&](std::FILE* out) { return WriteIdentifierLines(out, table, "\t "); }),
            "\t HELLO,\n\t #NOTE,\n\t E,\n");
}

TEST_F(SourceLinesTest, MessageLinesAlignWithIdentifierLines) {
  EXPECT_EQ(Capture([&](std::FILE* out) { return WriteMessageLines(out, table, 1, {}); }),
            "/* HELLO */ \"\\x48\\x69\",\n"
            "/* #NOTE */ \"\\x61\\x2C\\x62\",\n"
            "/* E */ \"\",\n");
}

TEST_F(SourceLinesTest, EmptyMessageFallsBackToColumnOne) {
  EXPECT_EQ(Capture([&](std::FILE* out) { return WriteMessageLines(out, table, 2, "    "); }),
            "    /* HELLO */ \"\\x48\\x69\",\n"
            "    /* #NOTE */ \"\\x78\",\n"
            "    /* E */ \"\",\n");
}

TEST_F(SourceLinesTest, LanguageLinesIncludeEmptyLanguageIds) {
  CsvTable gap = MakeTable(4, {"ID", "en", "", "ja"});
  EXPECT_EQ(Capture([&](std::FILE* out) { return WriteLanguageLines(out, gap, "  "); }),
            "  en,\n  ,\n  ja,\n");
  CsvTable single = MakeTable(1, {"ID", "HELLO"});
  EXPECT_EQ(Capture([&](std::FILE* out) { return WriteLanguageLines(out, single, "  "); }), "");
}

TEST_F(SourceLinesTest, HeaderOnlyTableWritesNothing) {
  CsvTable header = MakeTable(2, {"ID", "en"});
  EXPECT_EQ(Capture([&](std::FILE* out) { return WriteIdentifierLines(out, header, {}); }), "");
  EXPECT_EQ(Capture([&](std::FILE* out) { return WriteMessageLines(out, header, 1, {}); }), "");
}

TEST_F(SourceLinesTest, OneColumnTableWritesEmptyMessages) {
  CsvTable single = MakeTable(1, {"ID", "HELLO"});
  EXPECT_EQ(Capture([&](std::FILE* out) { return WriteMessageLines(out, single, 1, {}); }),
            "/* HELLO */ \"\",\n");
}

TEST_F(SourceLinesTest, EveryByteIsEscapedInUpperCaseHex) {
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
  std::string text = Capture([&](std::FILE* out) { return WriteMessageLines(out, bytes, 1, {}); });
  EXPECT_EQ(text, expected);
  EXPECT_EQ(text.find('\n'), text.size() - 1);  // the line end is the only raw line feed
}

TEST_F(SourceLinesTest, LargeTableKeepsEveryLineInOrder) {
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

TEST(LowerCaseLanguageIdTest, LowersAsciiLettersOnly) {
  EXPECT_EQ(LowerCaseLanguageId("Ja-JP"), "ja-jp");
  EXPECT_EQ(LowerCaseLanguageId("EN_us@[Z]"), "en_us@[z]");
  // Non-ASCII bytes (here "Ä" and "日") stay as they are.
  EXPECT_EQ(LowerCaseLanguageId("\xC3\x84N\xE6\x97\xA5"), "\xC3\x84n\xE6\x97\xA5");
}

}  // namespace
}  // namespace quillex
