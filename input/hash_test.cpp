#include "input/hash.h"

#include <gtest/gtest.h>

#include <string>

namespace quillex {
namespace {

// Generated files and the applications reading them depend on these exact values.
TEST(HashTest, KnownValuesWithDefaultSeed) {
  struct Case {
    const char* text;
    std::uint32_t hash;
  } cases[] = {
      {"", kDefaultHashSeed},      {"abc", 0xE4806EFA},
      {"\xC3\xA9", 0x03B154AA},  // "é": bytes above 0x7F are sign-extended
      {"HELLO", 0x5B4B101E},       {"en", 0xCD8AF8FD},
      {"TRUE", 0xB20F9792},        {"MessageData", 0x5A68ACBD},
      {"EndOfRecord", 0x6D9D12FB}, {"black", 0x45D2FF89},
      {"white", 0xF12BDE0B},       {"red", 0xBDB5C215},
      {"c000", 0x1651BBFD},        {"c555", 0xED676B44},
      {"gray0", 0x8B5EA20F},       {"gray23", 0x91FDC872},
  };
  for (const Case& c : cases) EXPECT_EQ(HashString(c.text, kDefaultHashSeed), c.hash) << c.text;
  static_assert(HashString("abc", 0xA3F6C23E) == 0xE4806EFA);  // usable in constant tables
}

TEST(HashTest, SeedAndNulEndTheInput) {
  EXPECT_EQ(HashString("", 1), 1u);
  EXPECT_NE(HashString("HELLO", 1), 0x5B4B101Eu);
  EXPECT_EQ(HashString(std::string("abc\0def", 7), kDefaultHashSeed), 0xE4806EFAu);
}

}  // namespace
}  // namespace quillex
