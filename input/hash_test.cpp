#include "input/hash.h"

#include <gtest/gtest.h>

#include <string>

namespace quillex {
namespace {

using namespace std::string_literals;

// Generated files and the applications reading them depend on these exact values (the end-to-end
// cases pin those of their names and the binary table's markers).
TEST(HashTest, KnownValues) {
  const struct {
    std::string text;
    std::uint32_t seed, hash;
  } cases[] = {
      {"", kDefaultHashSeed, kDefaultHashSeed},
      {"", 1, 1},
      {"abc", kDefaultHashSeed, 0xE4806EFA},
      {"abc\0def"s, kDefaultHashSeed, 0xE4806EFA},  // ends at the first NUL
      {"\xC3\xA9", kDefaultHashSeed, 0x03B154AA},   // bytes above 0x7F are sign-extended
      {"red", kDefaultHashSeed, 0xBDB5C215},
      {"gray23", kDefaultHashSeed, 0x91FDC872},
      {"a", 0x359C44FA, 0x00000001},
  };
  for (const auto& c : cases) EXPECT_EQ(HashString(c.text, c.seed), c.hash) << c.text;
  static_assert(HashString("abc", 0xA3F6C23E) == 0xE4806EFA);  // usable in constant tables
}

}  // namespace
}  // namespace quillex
