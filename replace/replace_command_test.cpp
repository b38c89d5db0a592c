#include "replace/replace_command.h"

#include <gtest/gtest.h>

namespace quillex {
namespace {

// Replace files are matched on these codes: each must be the hash of its name under the fixed
// seed, whatever seed the run uses.
TEST(ReplaceCommandTest, CodesAreTheHashesOfTheNames) {
  const std::pair<std::uint32_t, std::uint32_t> cases[] = {
      {command::Put, 0x50E4333B},         {command::OutputName, 0x27ADAEDB},
      {command::If, 0xC5D010E9},          {command::Elif, 0x738FFAF4},
      {command::Else, 0x12504DEB},        {command::EndIf, 0x63FBF0D0},
      {command::IdList, 0xB256223C},      {command::LanguageList, 0xC3258785},
      {command::MessageList, 0x756146B2}, {command::Nop, 0xED658D27},
      {condition::Binary, 0x15CBAB87},    {condition::Source, 0x7B3FF893},
      {condition::Indexed, 0x6BCE6E53},   {condition::True, 0xB20F9792},
      {condition::False, 0x4EE7DD25},
  };
  for (const auto& [code, hash] : cases) EXPECT_EQ(code, hash);
  EXPECT_NE(CommandCode("id_list"), command::IdList);  // names are case-sensitive
}

}  // namespace
}  // namespace quillex
