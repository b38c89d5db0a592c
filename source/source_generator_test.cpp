#include "source/source_generator.h"

#include <gtest/gtest.h>

#include <string>

#include "source/source_test_support.h"

namespace quillex {
namespace {

// The include files are covered end to end; the list commands of replace files are not yet.
class SourceGeneratorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    generator.table = MakeTable(4, {
                                       "ID", "EN", "", "Ja-JP",  //
                                       "HELLO", "Hi", "x", "",   //
                                   });
  }

  // Runs one command; returns its result and stores the lines it wrote.
  bool Process(std::uint32_t code, std::string name, std::string argument, std::string* lines) {
    ReplaceCommand command;
    command.code = code;
    command.name = std::move(name);
    command.argument = std::move(argument);
    command.indentation = "  ";
    command.line = 7;
    std::FILE* out = std::tmpfile();
    bool result = generator.ProcessCommand(out, command, "tmpl/r.h");
    *lines = ReadBackAndClose(out);
    return result;
  }

  SourceGenerator generator;
};

TEST_F(SourceGeneratorTest, ListCommandsWriteIndentedLines) {
  std::string lines;
  EXPECT_TRUE(Process(command::IdList, "ID_LIST", "", &lines));
  EXPECT_EQ(lines, "  HELLO,\n");
  EXPECT_TRUE(Process(command::LanguageList, "LANGUAGE_LIST", "", &lines));
  EXPECT_EQ(lines, "  EN,\n  ,\n  Ja-JP,\n");
  EXPECT_TRUE(Process(command::MessageList, "MESSAGE_LIST", "Ja-JP", &lines));
  EXPECT_EQ(lines, "  /* HELLO */ \"\\x48\\x69\",\n");
  // An empty argument names the first column without a language ID.
  EXPECT_TRUE(Process(command::MessageList, "MESSAGE_LIST", "", &lines));
  EXPECT_EQ(lines, "  /* HELLO */ \"\\x78\",\n");
}

TEST_F(SourceGeneratorTest, MessageListMatchesTheLanguageIdCaseSensitively) {
  std::string lines;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(Process(command::MessageList, "MESSAGE_LIST", "en", &lines));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Error: tmpl/r.h: 7: Language ID \"en\" is not found.\n");
  EXPECT_EQ(lines, "");
}

TEST_F(SourceGeneratorTest, OtherCommandsWarnAndGoOn) {
  std::string lines;
  testing::internal::CaptureStderr();
  EXPECT_TRUE(Process(command::Put, "PUT", "text", &lines));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Warning: tmpl/r.h: 7: The replace command PUT does not support source output.\n");
  EXPECT_EQ(lines, "");
}

}  // namespace
}  // namespace quillex
