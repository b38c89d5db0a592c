#include "source/source_generator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "source/source_test_support.h"

namespace quillex {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class SourceGeneratorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("quillex_source_" + std::to_string(std::random_device{}()));
    fs::create_directories(dir);
    generator.table = MakeTable(4, {
                                       "ID", "EN", "", "Ja-JP",  //
                                       "HELLO", "Hi", "x", "",   //
                                   });
  }
  void TearDown() override { fs::remove_all(dir); }

  // The names in the folder, sorted.
  std::vector<std::string> Listing() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  // Runs `command` through ProcessCommand; returns its result and the lines it wrote.
  bool Process(const ReplaceCommand& command, std::string* lines) {
    std::FILE* out = std::tmpfile();
    bool result = generator.ProcessCommand(out, command, "tmpl/r.h");
    *lines = ReadBackAndClose(out);
    return result;
  }

  ReplaceCommand Command(std::uint32_t code, std::string name, std::string argument) {
    ReplaceCommand command;
    command.code = code;
    command.name = std::move(name);
    command.argument = std::move(argument);
    command.indentation = "  ";
    command.line = 7;
    return command;
  }

  fs::path dir;
  SourceGenerator generator;
};

TEST_F(SourceGeneratorTest, MessageTableNameLowerCasesTheLanguageId) {
  testing::internal::CaptureStdout();
  EXPECT_TRUE(generator.WriteMessageTable(dir / "msg", 3));
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Output message table: " + (dir / "msg_ja-jp.inc").string() + "\n");
  EXPECT_EQ(ReadFile(dir / "msg_ja-jp.inc"), "/* HELLO */ \"\\x48\\x69\",\n");
}

TEST_F(SourceGeneratorTest, ColumnWithoutLanguageIdIsSkippedSilently) {
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  EXPECT_FALSE(generator.WriteMessageTable(dir / "msg", 2));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_TRUE(Listing().empty());
}

TEST_F(SourceGeneratorTest, UnwritableMessageTableFailsAfterItsProgressLine) {
  fs::create_directory(dir / "msg_en.inc");
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  EXPECT_FALSE(generator.WriteMessageTable(dir / "msg", 1));
  std::string path = (dir / "msg_en.inc").string();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Output message table: " + path + "\n");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Error: Failed to output message table: " + path + "\n");
  EXPECT_EQ(Listing(), std::vector<std::string>{"msg_en.inc"});  // no temporary file left
}

TEST_F(SourceGeneratorTest, MissingDirectoryFailsTheIdentifierList) {
  fs::path base = dir / "missing" / "msg";
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  EXPECT_FALSE(generator.WriteIdentifierList(base));
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Output message identifier list: " + base.string() + "_id.inc\n");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Error: Failed to create message identifier list: " + base.string() + "_id.inc\n");
}

TEST_F(SourceGeneratorTest, ListCommandsWriteIndentedLines) {
  std::string lines;
  EXPECT_TRUE(Process(Command(command::IdList, "ID_LIST", ""), &lines));
  EXPECT_EQ(lines, "  HELLO,\n");
  EXPECT_TRUE(Process(Command(command::LanguageList, "LANGUAGE_LIST", ""), &lines));
  EXPECT_EQ(lines, "  EN,\n  ,\n  Ja-JP,\n");
  EXPECT_TRUE(Process(Command(command::MessageList, "MESSAGE_LIST", "Ja-JP"), &lines));
  EXPECT_EQ(lines, "  /* HELLO */ \"\\x48\\x69\",\n");
  // An empty argument names the first column without a language ID.
  EXPECT_TRUE(Process(Command(command::MessageList, "MESSAGE_LIST", ""), &lines));
  EXPECT_EQ(lines, "  /* HELLO */ \"\\x78\",\n");
}

TEST_F(SourceGeneratorTest, MessageListMatchesTheLanguageIdCaseSensitively) {
  std::string lines;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(Process(Command(command::MessageList, "MESSAGE_LIST", "en"), &lines));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Error: tmpl/r.h: 7: Language ID \"en\" is not found.\n");
  EXPECT_EQ(lines, "");
}

TEST_F(SourceGeneratorTest, OtherCommandsWarnAndGoOn) {
  std::string lines;
  testing::internal::CaptureStderr();
  EXPECT_TRUE(Process(Command(command::Put, "PUT", "text"), &lines));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Warning: tmpl/r.h: 7: The replace command PUT does not support source output.\n");
  EXPECT_EQ(lines, "");
}

}  // namespace
}  // namespace quillex
