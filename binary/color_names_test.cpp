#include "binary/color_names.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "input/hash.h"

namespace quillex {
namespace {

// Rows worked out by hand, hashes included: they pin the hash variant and the values together.
TEST(ColorNamesTest, HandComputedRows) {
  struct Row {
    const char* name;
    std::uint32_t hash;
    int value;
  };
  for (const Row& row :
       {Row{"black", 0x45D2FF89, 0}, Row{"white", 0xF12BDE0B, 15}, Row{"red", 0xBDB5C215, 9},
        Row{"c000", 0x1651BBFD, 16}, Row{"c555", 0xED676B44, 231}, Row{"gray0", 0x8B5EA20F, 232},
        Row{"gray23", 0x91FDC872, 255}}) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(HashString(row.name, kDefaultHashSeed), row.hash);
    ASSERT_TRUE(FindColorValue(row.name).has_value());
    EXPECT_EQ(*FindColorValue(row.name), row.value);
  }
  // 16 + 36 * r + 6 * g + b, and the basic names between black and white.
  for (auto [name, value] :
       {std::pair{"c031", 35}, std::pair{"c100", 52}, std::pair{"c005", 21}, std::pair{"c543", 223},
        std::pair{"maroon", 1}, std::pair{"navy", 4}, std::pair{"silver", 7}, std::pair{"gray", 8},
        std::pair{"lime", 10}, std::pair{"cyan", 14}, std::pair{"gray9", 241},
        std::pair{"gray10", 242}}) {
    EXPECT_EQ(FindColorValue(name), std::optional<std::uint8_t>(value)) << name;
  }
}

TEST(ColorNamesTest, TableIsSortedAndCoversEveryValueOnce) {
  const auto table = ColorNameTable();
  ASSERT_EQ(table.size(), 256u);
  std::set<int> values;
  for (std::size_t i = 0; i < table.size(); ++i) {
    if (i > 0) {
      EXPECT_LT(table[i - 1].hash, table[i].hash);  // binary search needs this
    }
    values.insert(table[i].value);
  }
  EXPECT_EQ(values.size(), 256u);
}

TEST(ColorNamesTest, EveryCubeAndGrayNameIsFound) {
  for (int r = 0; r < 6; ++r) {
    for (int g = 0; g < 6; ++g) {
      for (int b = 0; b < 6; ++b) {
        const std::string name = "c" + std::to_string(r) + std::to_string(g) + std::to_string(b);
        EXPECT_EQ(FindColorValue(name), std::optional<std::uint8_t>(16 + 36 * r + 6 * g + b));
      }
    }
  }
  for (int n = 0; n < 24; ++n) {
    EXPECT_EQ(FindColorValue("gray" + std::to_string(n)), std::optional<std::uint8_t>(232 + n));
  }
}

TEST(ColorNamesTest, OtherSpellingsAreNotColours) {
  for (const char* name : {"Red", "RED", "grey", "aqua", "fuchsia", "orange", "c600", "c06",
                           "c0000", "gray24", "gray00", " red", "red ", ""}) {
    EXPECT_FALSE(FindColorValue(name).has_value()) << name;
  }
}

}  // namespace
}  // namespace quillex
