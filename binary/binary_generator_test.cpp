#include "binary/binary_generator.h"

#include <gtest/gtest.h>

#include <string>

namespace quillex {
namespace {

class BinaryGeneratorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Hashes set by hand: the lines keep the table's order, and a small hash its leading zeros.
    generator.table.languages = {{"en", 0xCD8AF8FD, 1}, {"ja", 0x0679F067, 2}};
    generator.table.messageIds = {{"B", 0x99742934, 1}, {"A", 0x9C742DED, 2}};
  }

  // Runs one command; returns what it appended.
  std::string Process(std::uint32_t code, const std::string& name, const std::string& indentation,
                      bool* result) {
    ReplaceCommand command;
    command.code = code;
    command.name = name;
    command.argument = "en";
    command.indentation = indentation;
    command.line = 7;
    std::string text;
    *result = generator.ProcessCommand(text, command, "dir/template.h");
    return text;
  }

  BinaryGenerator generator;
};

TEST_F(BinaryGeneratorTest, ListCommandsWriteIndentedHashLines) {
  bool result = false;
  EXPECT_EQ(Process(command::IdList, "ID_LIST", "    ", &result),
            "    B = 0x99742934,\n    A = 0x9C742DED,\n");
  EXPECT_TRUE(result);
  EXPECT_EQ(Process(command::LanguageList, "LANGUAGE_LIST", "\t", &result),
            "\ten = 0xCD8AF8FD,\n\tja = 0x0679F067,\n");
  EXPECT_TRUE(result);
}

TEST_F(BinaryGeneratorTest, MessageListWarnsAndGoesOn) {
  bool result = false;
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(Process(command::MessageList, "MESSAGE_LIST", "  ", &result), "");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "Warning: dir/template.h: 7: The replace command MESSAGE_LIST does not support binary "
            "output.\n");
  EXPECT_TRUE(result);
}

}  // namespace
}  // namespace quillex
