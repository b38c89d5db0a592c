#include "source/source_generator.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace quillex {
namespace {

// The include files are covered end to end; these pin the list commands on their own.
class SourceGeneratorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetTable(4, {
                    "ID", "EN", "", "Ja-JP",  //
                    "HELLO", "Hi", "x", "",   //
                    "", "lost", "lost", "",   //
                    "#E", "", "", "",         //
                });
  }

  // `fields` row by row, the header first.
  void SetTable(std::int32_t columns, const std::vector<std::string>& fields) {
    std::string csv;
    for (std::size_t k = 0; k < fields.size(); ++k) {
      if (k != 0) csv += k % static_cast<std::size_t>(columns) == 0 ? "\r\n" : ",";
      csv += '"' + fields[k] + '"';
    }
    ASSERT_TRUE(generator.table.ParseBytes(csv));
  }

  // Runs one command; returns its result and stores the lines it wrote.
  bool Process(std::uint32_t code, std::string name, std::string argument, std::string* lines,
               std::string indentation = "  ") {
    ReplaceCommand command;
    command.code = code;
    command.name = std::move(name);
    command.argument = std::move(argument);
    command.indentation = std::move(indentation);
    command.line = 7;
    lines->clear();
    return generator.ProcessCommand(*lines, command, "tmpl/r.h");
  }

  SourceGenerator generator;
};

TEST_F(SourceGeneratorTest, ListCommandsWriteIndentedLines) {
  std::string lines;
  EXPECT_TRUE(Process(command::IdList, "ID_LIST", "", &lines));
  EXPECT_EQ(lines, "  HELLO,\n  #E,\n");
  EXPECT_TRUE(Process(command::LanguageList, "LANGUAGE_LIST", "", &lines, "\t "));
  EXPECT_EQ(lines, "\t EN,\n\t ,\n\t Ja-JP,\n");
  // An empty text takes that of column 1, and stays empty when that is empty too.
  EXPECT_TRUE(Process(command::MessageList, "MESSAGE_LIST", "Ja-JP", &lines));
  EXPECT_EQ(lines, "  /* HELLO */ \"\\x48\\x69\",\n  /* #E */ \"\",\n");
  // An empty argument names the first column without a language ID.
  EXPECT_TRUE(Process(command::MessageList, "MESSAGE_LIST", "", &lines));
  EXPECT_EQ(lines, "  /* HELLO */ \"\\x78\",\n  /* #E */ \"\",\n");
}

TEST_F(SourceGeneratorTest, MessageListMatchesTheLanguageIdCaseSensitively) {
  std::string lines;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(Process(command::MessageList, "MESSAGE_LIST", "en", &lines));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Error: tmpl/r.h: 7: Language ID \"en\" is not found.\n");
  EXPECT_EQ(lines, "");
}

}  // namespace
}  // namespace quillex
