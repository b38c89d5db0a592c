#include "source/source_generator.h"

#include <gtest/gtest.h>

#include <string>

namespace quillex {
namespace {

// The include files, ID_LIST (the identifier list's lines) and a missing language are covered end
// to end; these are the header cells the end-to-end replace files do not reach.
TEST(SourceGeneratorTest, ListCommandsOverEmptyHeaderCells) {
  SourceGenerator generator;
  ASSERT_TRUE(generator.table.ParseBytes("ID,EN,,Ja-JP\r\nHELLO,Hi,x,\r\n,lost,lost,\r\n#E,,,"));
  auto process = [&generator](std::uint32_t code, const char* argument, const char* indentation) {
    ReplaceCommand command;
    command.code = code;
    command.argument = argument;
    command.indentation = indentation;
    std::string lines;
    EXPECT_TRUE(generator.ProcessCommand(lines, command, "r.h")) << argument;
    return lines;
  };
  EXPECT_EQ(process(command::LanguageList, "", "\t "), "\t EN,\n\t ,\n\t Ja-JP,\n");
  // An empty text takes that of column 1, and stays empty when that is empty too.
  EXPECT_EQ(process(command::MessageList, "Ja-JP", "  "),
            "  /* HELLO */ \"\\x48\\x69\",\n  /* #E */ \"\",\n");
  // An empty argument names the first column without a language ID.
  EXPECT_EQ(process(command::MessageList, "", "  "),
            "  /* HELLO */ \"\\x78\",\n  /* #E */ \"\",\n");
}

}  // namespace
}  // namespace quillex
