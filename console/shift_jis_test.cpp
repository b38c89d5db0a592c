#include "console/shift_jis.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <random>
#include <string>

#include "input/text_decoder.h"

namespace quillex {
namespace {

std::string Utf8(std::initializer_list<std::uint32_t> codePoints) {
  std::string text;
  for (std::uint32_t codePoint : codePoints) AppendUtf8(&text, codePoint);
  return text;
}

std::uint16_t CodeOf(std::uint32_t codePoint) {
  for (const ShiftJisPair& pair : kShiftJisTable) {
    if (pair.unicode == codePoint) return pair.shiftJis;
  }
  return 0;
}

TEST(ShiftJisTableTest, SortedUniqueTwoByteCodes) {
  std::map<std::uint16_t, std::uint16_t> byCode;
  for (std::size_t i = 0; i < kShiftJisTableSize; ++i) {
    const ShiftJisPair& pair = kShiftJisTable[i];
    if (i > 0) {
      ASSERT_LT(kShiftJisTable[i - 1].unicode, pair.unicode) << i;
    }
    std::uint8_t lead = pair.shiftJis >> 8;
    std::uint8_t trail = pair.shiftJis & 0xFF;
    EXPECT_TRUE((lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xEA)) << i;
    EXPECT_TRUE(trail >= 0x40 && trail <= 0xFC && trail != 0x7F) << i;
    EXPECT_TRUE(byCode.emplace(pair.shiftJis, pair.unicode).second) << i;
  }
}

TEST(ShiftJisTableTest, StandardPairsAndMissingCharacters) {
  const std::pair<std::uint32_t, std::uint16_t> pairs[] = {
      {0x005C, 0x815F},
      {0x00A2, 0x8191},
      {0x00A3, 0x8192},
      {0x00AC, 0x81CA},
      {0x2016, 0x8161},
      {0x2212, 0x817C},
      {0x301C, 0x8160},
      {0x3000, 0x8140},
      {0xFFE5, 0x818F},
      // The first and last characters of the last row, and one from the second lead-byte range.
      {0x582F, 0xEA9F},
      {0x7199, 0xEAA4},
      {0x7195, 0xE090},
  };
  for (auto [unicode, code] : pairs) EXPECT_EQ(CodeOf(unicode), code) << std::hex << unicode;
  // Vendor extensions of code page 932, its single-byte codes and the full-width reverse solidus
  // (which the standard maps to U+005C); bad-bin-shift-jis-unmapped-name shows U+FF5E, U+FF0D
  // and half-width katakana.
  for (std::uint32_t unicode : {0x2225, 0xFFE0, 0xFFE1, 0xFFE2, 0xFF3C, 0x2460, 0x2170, 0xFF61,
                                0xFF9F, 0x00A5, 0x203E, 0x00FF}) {
    EXPECT_EQ(CodeOf(unicode), 0) << std::hex << unicode;
  }
}

// The edges around the model test below: the U+00FF boundary, a plain zero, the output reset,
// and undecodable text (after a zero too), which fails with no output.
TEST(ShiftJisTest, Conversions) {
  const struct {
    std::string utf8;
    bool ok;
    std::string shiftJis;
  } cases[] = {
      {"", true, ""},
      {Utf8({0xFE, 0xFF}), true, "\xFE??"},  // below U+00FF every value is the byte itself
      {std::string("ab\0cd", 5), true, std::string("ab\0cd", 5)},
      {"成功\xF8", false, ""},
      {std::string("ab\0\xFF", 4), false, ""},
  };
  for (const auto& c : cases) {
    std::string out = "stale";
    EXPECT_EQ(ToShiftJis(c.utf8, &out), c.ok) << c.utf8;
    EXPECT_EQ(out, c.shiftJis) << c.utf8;
  }
}

// Random text of table characters, pass-through bytes and missing characters against a plain
// model: a linear search of the table.
TEST(ShiftJisTest, MatchesLinearSearch) {
  std::mt19937 random(12);
  for (int round = 0; round < 300; ++round) {
    std::string text;
    std::string expected;
    int length = std::uniform_int_distribution<int>(0, 40)(random);
    for (int i = 0; i < length; ++i) {
      std::uint32_t codePoint;
      switch (random() % 4) {
        case 0:
          codePoint = kShiftJisTable[random() % kShiftJisTableSize].unicode;
          break;
        case 1:
          codePoint = 1 + random() % 0xFE;
          break;
        case 2:
          codePoint = 0xFF + random() % (0x10000 - 0xFF);
          break;
        default:
          codePoint = 0x10000 + random() % 0x100000;
          break;
      }
      AppendUtf8(&text, codePoint);
      if (codePoint < 0xFF) {
        expected.push_back(static_cast<char>(codePoint));
      } else if (std::uint16_t code = CodeOf(codePoint)) {
        expected.push_back(static_cast<char>(code >> 8));
        expected.push_back(static_cast<char>(code & 0xFF));
      } else {
        expected += "??";
      }
    }
    std::string out;
    ASSERT_TRUE(ToShiftJis(text, &out));
    ASSERT_EQ(out, expected) << "round " << round;
  }
}

}  // namespace
}  // namespace quillex
