// Tests on eight bytes of a text at once, loaded as one 64-bit word: for scans that pass most
// bytes without looking at each one.
#pragma once

#include <cstdint>

namespace quillex::byte_words {

inline constexpr std::uint64_t kOnes = 0x0101010101010101ull;
inline constexpr std::uint64_t kHighs = 0x8080808080808080ull;

/// The high bit of each byte of `word` equal to `byte`. Every match is marked and the lowest
/// mark is the first match, but a byte above a match may be marked too.
constexpr std::uint64_t MatchBytes(std::uint64_t word, unsigned char byte) {
  const std::uint64_t x = word ^ (kOnes * byte);
  return (x - kOnes) & ~x & kHighs;
}

/// The high bit of exactly the bytes of `word` equal to `byte`.
constexpr std::uint64_t MatchBytesExactly(std::uint64_t word, unsigned char byte) {
  constexpr std::uint64_t kLow7 = ~kHighs;
  const std::uint64_t x = word ^ (kOnes * byte);
  return ~(((x & kLow7) + kLow7) | x | kLow7);
}

/// How many bytes of `marks` have their high bit set (and no other bit). A multiply rather than
/// std::popcount, which without a popcount instruction in the target is a library call per word.
constexpr int CountMarked(std::uint64_t marks) {
  return static_cast<int>(((marks >> 7) * kOnes) >> 56);
}

}  // namespace quillex::byte_words
