// The built-in colour names of indexed messages: the 256 names of the common 256-colour terminal
// palette, each with its palette value. A colour tag is stored as 0xD000 + that value.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace quillex {

/// One colour name as the table holds it: the name's hash under the fixed seed, not the name.
struct ColorNameEntry {
  std::uint32_t hash = 0;  // HashString(name, kDefaultHashSeed)
  std::uint8_t value = 0;  // palette value
};

/// The 256 entries in ascending hash order (no two hashes are equal). Fixed: applications map the
/// palette values to their colours.
std::span<const ColorNameEntry> ColorNameTable();

/// The palette value of the colour `name`: "black" to "white" (0-15), "c000" to "c555"
/// (16 + 36r + 6g + b) and "gray0" to "gray23" (232-255). Matched on the hash of the exact
/// bytes: lower case only. Nothing for any other name.
std::optional<std::uint8_t> FindColorValue(std::string_view name);

}  // namespace quillex
