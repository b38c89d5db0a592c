#include "binary/color_names.h"

#include <gtest/gtest.h>

#include <string>

namespace quillex {
namespace {

// Every one of the 256 names against the palette's rule: the basic names in value order, then
// c<r><g><b> at 16 + 36 * r + 6 * g + b, then gray0 to gray23.
TEST(ColorNamesTest, EveryNameHasItsPaletteValue) {
  const char* basic[] = {"black", "maroon", "green", "olive",  "navy", "purple",  "teal", "silver",
                         "gray",  "red",    "lime",  "yellow", "blue", "magenta", "cyan", "white"};
  for (int value = 0; value < 16; ++value) {
    EXPECT_EQ(FindColorValue(basic[value]), std::optional<std::uint8_t>(value)) << basic[value];
  }
  for (int r = 0; r < 6; ++r) {
    for (int g = 0; g < 6; ++g) {
      for (int b = 0; b < 6; ++b) {
        const std::string name = std::string("c")
                                     .append(std::to_string(r))
                                     .append(std::to_string(g))
                                     .append(std::to_string(b));
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
