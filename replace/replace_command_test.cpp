#include "replace/replace_command.h"

#include <gtest/gtest.h>

namespace quillex {
namespace {

// The codes are written into no file, but replace files are matched on them: each must be the
// hash of its name under the fixed seed, whatever seed the run uses.
TEST(ReplaceCommandTest, CodesAreTheHashesOfTheNames) {
  struct Case {
    std::uint32_t code;
    const char* name;
    std::uint32_t hash;
  } cases[] = {
      {command::Put, "PUT", 0x50E4333B},
      {command::OutputName, "OUTPUT_NAME", 0x27ADAEDB},
      {command::If, "IF", 0xC5D010E9},
      {command::Elif, "ELIF", 0x738FFAF4},
      {command::Else, "ELSE", 0x12504DEB},
      {command::EndIf, "ENDIF", 0x63FBF0D0},
      {command::IdList, "ID_LIST", 0xB256223C},
      {command::LanguageList, "LANGUAGE_LIST", 0xC3258785},
      {command::MessageList, "MESSAGE_LIST", 0x756146B2},
      {command::Nop, "NOP", 0xED658D27},
      {condition::Binary, "BINARY", 0x15CBAB87},
      {condition::Source, "SOURCE", 0x7B3FF893},
      {condition::Indexed, "INDEXED", 0x6BCE6E53},
      {condition::True, "TRUE", 0xB20F9792},
      {condition::False, "FALSE", 0x4EE7DD25},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.code, c.hash) << c.name;
    EXPECT_EQ(CommandCode(c.name), c.hash) << c.name;
  }
  EXPECT_NE(CommandCode("id_list"), command::IdList);  // case-sensitive
}

TEST(ReplaceCommandTest, FreshRecordIsNopAndFalse) {
  ReplaceCommand record;
  EXPECT_EQ(record.code, command::Nop);
  EXPECT_EQ(record.condition, condition::False);
}

}  // namespace
}  // namespace quillex
