#include "binary/color_names.h"

#include <algorithm>
#include <array>

#include "input/hash.h"

namespace quillex {
namespace {

// The names are spelled out by rule and hashed at compile time, so the table the encoder
// searches cannot drift from the palette it describes.
constexpr std::array<std::string_view, 16> kBasicNames = {
    "black", "maroon", "green", "olive",  "navy", "purple",  "teal", "silver",
    "gray",  "red",    "lime",  "yellow", "blue", "magenta", "cyan", "white"};

// The hash of `prefix` followed by `digits` (at most three).
constexpr std::uint32_t HashDigits(std::string_view prefix, std::string_view digits) {
  char name[8] = {};
  std::size_t length = 0;
  for (char c : prefix) name[length++] = c;
  for (char c : digits) name[length++] = c;
  return HashString(std::string_view(name, length), kDefaultHashSeed);
}

constexpr std::array<ColorNameEntry, 256> MakeTable() {
  std::array<ColorNameEntry, 256> table{};
  std::size_t n = 0;
  for (std::size_t value = 0; value < kBasicNames.size(); ++value) {
    table[n++] = {HashString(kBasicNames[value], kDefaultHashSeed),
                  static_cast<std::uint8_t>(value)};
  }
  for (int r = 0; r < 6; ++r) {
    for (int g = 0; g < 6; ++g) {
      for (int b = 0; b < 6; ++b) {
        const char digits[3] = {static_cast<char>('0' + r), static_cast<char>('0' + g),
                                static_cast<char>('0' + b)};
        table[n++] = {HashDigits("c", std::string_view(digits, 3)),
                      static_cast<std::uint8_t>(16 + 36 * r + 6 * g + b)};
      }
    }
  }
  for (int step = 0; step < 24; ++step) {
    char digits[2] = {};
    std::size_t length = 0;
    if (step >= 10) digits[length++] = static_cast<char>('0' + step / 10);
    digits[length++] = static_cast<char>('0' + step % 10);
    table[n++] = {HashDigits("gray", std::string_view(digits, length)),
                  static_cast<std::uint8_t>(232 + step)};
  }
  std::sort(table.begin(), table.end(),
            [](const ColorNameEntry& a, const ColorNameEntry& b) { return a.hash < b.hash; });
  return table;
}

constexpr std::array<ColorNameEntry, 256> kColorNameTable = MakeTable();

constexpr bool HashesAreDistinct() {
  for (std::size_t i = 1; i < kColorNameTable.size(); ++i) {
    if (kColorNameTable[i - 1].hash >= kColorNameTable[i].hash) return false;
  }
  return true;
}
static_assert(HashesAreDistinct(), "two colour names share a hash: the lookup would be ambiguous");

}  // namespace

std::span<const ColorNameEntry> ColorNameTable() { return kColorNameTable; }

std::optional<std::uint8_t> FindColorValue(std::string_view name) {
  const std::uint32_t hash = HashString(name, kDefaultHashSeed);
  auto it =
      std::lower_bound(kColorNameTable.begin(), kColorNameTable.end(), hash,
                       [](const ColorNameEntry& entry, std::uint32_t h) { return entry.hash < h; });
  if (it == kColorNameTable.end() || it->hash != hash) return std::nullopt;
  return it->value;
}

}  // namespace quillex
