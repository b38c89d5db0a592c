// The tool's 32-bit string hash. Generated files and the applications that read them depend on
// this exact variant: FNV-1a with the seed as offset basis and each byte sign-extended.
#pragma once

#include <cstdint>
#include <string_view>

namespace quillex {

/// Seed of the fixed vocabularies (colour names, replace commands and conditions) and the default
/// run seed.
constexpr std::uint32_t kDefaultHashSeed = 0xA3F6C23Eu;

/// Hashes `text` up to its first NUL byte.
constexpr std::uint32_t HashString(std::string_view text, std::uint32_t seed) {
  std::uint32_t h = seed;
  for (char c : text) {
    if (c == '\0') break;
    auto v = static_cast<std::uint32_t>(static_cast<std::int32_t>(static_cast<signed char>(c)));
    h = (h ^ v) * 16777619u;
  }
  return h;
}

}  // namespace quillex
