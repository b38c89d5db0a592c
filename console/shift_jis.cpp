#include "console/shift_jis.h"

#include "input/text_decoder.h"

namespace quillex {
namespace {

// Binary search over the half-open range [0, size): at most 13 probes.
const ShiftJisPair* FindShiftJis(std::uint32_t codePoint) {
  std::size_t low = 0;
  std::size_t high = kShiftJisTableSize;
  while (low < high) {
    std::size_t middle = low + (high - low) / 2;
    // Compared at full width: a code point above U+FFFF must not match its low 16 bits.
    std::uint32_t entry = kShiftJisTable[middle].unicode;
    if (codePoint == entry) return &kShiftJisTable[middle];
    if (codePoint < entry) {
      high = middle;
    } else {
      low = middle + 1;
    }
  }
  return nullptr;
}

}  // namespace

bool ToShiftJis(std::string_view text, std::string* out) {
  out->clear();
  // Room for an ordinary line at once, so that appending never reallocates.
  constexpr std::size_t kReserve = 4096;
  if (out->capacity() < kReserve) out->reserve(kReserve);

  CodePointReader reader;
  reader.data = reinterpret_cast<const unsigned char*>(text.data());
  reader.size = text.size();
  reader.encoding = TextEncoding::Utf8;
  while (!reader.AtEnd()) {
    std::uint32_t codePoint = reader.Next();
    if (codePoint & kDecodeError) {
      out->clear();
      return false;
    }
    if (codePoint < 0xFF) {
      // Latin-1 values pass through as single bytes; the console shows them as it can.
      out->push_back(static_cast<char>(codePoint));
      continue;
    }
    if (const ShiftJisPair* pair = FindShiftJis(codePoint)) {
      out->push_back(static_cast<char>(pair->shiftJis >> 8));
      out->push_back(static_cast<char>(pair->shiftJis & 0xFF));
    } else {
      out->append("??");
    }
  }
  return true;
}

}  // namespace quillex
