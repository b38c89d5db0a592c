// Tests on eight bytes of a text at once, loaded as one 64-bit word (sixteen where the target has
// SSE2): for scans that pass most bytes without looking at each one.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

/// The position of the first byte of text[from, to) that is one of `kBytes`, or `to`: sixteen or
/// eight bytes at a time while none of them is one. A text holds either none or few of them, so
/// most bytes are passed at once. Reads text[0, to) only.
template <char... kBytes>
inline std::size_t FindAny(const char* text, std::size_t from, std::size_t to) {
  std::size_t k = from;
#if defined(__SSE2__)
  // The bytes of `kBytes` among the sixteen from `at` on, as the bits of a mask.
  auto flaggedFrom = [text](std::size_t at) {
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + at));
    __m128i flagged = _mm_setzero_si128();
    ((flagged = _mm_or_si128(flagged, _mm_cmpeq_epi8(chunk, _mm_set1_epi8(kBytes)))), ...);
    return static_cast<unsigned>(_mm_movemask_epi8(flagged));
  };
  // Sixteen bytes at a time where the target has the instructions for it (every x86-64 does).
  for (; k + 16 <= to; k += 16) {
    const unsigned mask = flaggedFrom(k);
    if (mask != 0) return k + static_cast<std::size_t>(std::countr_zero(mask));
  }
  // The rest in one load that ends where the range does, the bytes before `k` (passed already)
  // masked off: ranges are often short (a message's text), and their tails byte by byte cost a
  // fifth of the markup parser's time.
  if (k < to && to >= 16) {
    const std::size_t base = to - 16;
    const unsigned shift = static_cast<unsigned>(k - base);
    const unsigned mask = flaggedFrom(base) >> shift << shift;
    return mask != 0 ? base + static_cast<std::size_t>(std::countr_zero(mask)) : to;
  }
#endif
  for (; k + 8 <= to; k += 8) {
    std::uint64_t word;
    std::memcpy(&word, text + k, 8);
    if ((MatchBytes(word, static_cast<unsigned char>(kBytes)) | ...) != 0) break;
  }
  while (k < to && ((text[k] != kBytes) && ...)) ++k;
  return k;
}

}  // namespace quillex::byte_words
