#include "source/source_lines.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

namespace quillex {
namespace {

// Random bytes of every value, at lengths around the sixteen-byte steps and after text already
// in the buffer, against escaping one byte at a time.
TEST(SourceLinesTest, HexEscapesMatchEscapingEachByte) {
  std::mt19937 random(7);
  for (int round = 0; round < 2000; ++round) {
    std::string bytes(random() % 70, '\0');
    for (char& byte : bytes) byte = static_cast<char>(random() % 256);
    std::string text(random() % 5, '.');
    std::string expected = text;
    for (char byte : bytes) {
      char escape[5];
      std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned char>(byte));
      expected += escape;
    }
    AppendHexEscaped(&text, bytes);
    ASSERT_EQ(text, expected) << round;
  }
}

}  // namespace
}  // namespace quillex
