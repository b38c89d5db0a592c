// The 32-bit hash that names every message identifier and language of a zorb-quillex message
// table. Header-only, C++17; shared by the tool and the applications that read its files, so the
// two can never disagree.
#pragma once

#include <cstdint>
#include <string_view>

namespace quillex {

/// The seed the tool uses unless it is run with --hash-seed; also the seed of its fixed
/// vocabularies (colour names, replace commands).
constexpr std::uint32_t kDefaultHashSeed = 0xA3F6C23Eu;

/// FNV-1a with `seed` in place of the offset basis and every byte sign-extended to 32 bits before
/// it is mixed in: bytes of 0x80 and above (all non-ASCII UTF-8) hash differently from textbook
/// FNV-1a, and the generated files depend on this exact variant. Stops at the first NUL byte.
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
