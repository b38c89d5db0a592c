#include "source/source_lines.h"

#include <array>
#include <cstring>

#include "platform/platform.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quillex {
namespace {

// "\xHH" for every byte value, so that a byte costs one 4-byte copy.
constexpr std::array<std::array<char, 4>, 256> kEscapes = [] {
  constexpr char kHexDigits[] = "0123456789ABCDEF";
  std::array<std::array<char, 4>, 256> escapes{};
  for (std::size_t byte = 0; byte < 256; ++byte) {
    escapes[byte] = {'\\', 'x', kHexDigits[byte >> 4], kHexDigits[byte & 0x0F]};
  }
  return escapes;
}();

}  // namespace

void AppendHexEscaped(std::string* text, std::string_view bytes) {
  const std::size_t start = text->size();
  text->resize(start + bytes.size() * 4);
  char* p = text->data() + start;
  std::size_t k = 0;
#if defined(__SSE2__)
  // Sixteen bytes to 64 at a time where the target has the instructions for it (every x86-64
  // does): the digits by arithmetic on the nibbles, then interleaved behind "\x".
  const __m128i lowNibble = _mm_set1_epi8(0x0F);
  const __m128i nine = _mm_set1_epi8(9);
  const __m128i digitZero = _mm_set1_epi8('0');
  const __m128i toLetters = _mm_set1_epi8('A' - '0' - 10);
  const __m128i prefix = _mm_set1_epi16(static_cast<short>('\\' | 'x' << 8));
  auto digits = [&](__m128i nibbles) {
    const __m128i letters = _mm_and_si128(_mm_cmpgt_epi8(nibbles, nine), toLetters);
    return _mm_add_epi8(_mm_add_epi8(nibbles, digitZero), letters);
  };
  for (; k + 16 <= bytes.size(); k += 16, p += 64) {
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes.data() + k));
    const __m128i high = digits(_mm_and_si128(_mm_srli_epi16(chunk, 4), lowNibble));
    const __m128i low = digits(_mm_and_si128(chunk, lowNibble));
    const __m128i first = _mm_unpacklo_epi8(high, low);  // the digit pairs of bytes 0 to 7
    const __m128i second = _mm_unpackhi_epi8(high, low);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm_unpacklo_epi16(prefix, first));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 16), _mm_unpackhi_epi16(prefix, first));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 32), _mm_unpacklo_epi16(prefix, second));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 48), _mm_unpackhi_epi16(prefix, second));
  }
#endif
  for (; k < bytes.size(); ++k, p += 4) {
    std::memcpy(p, kEscapes[static_cast<unsigned char>(bytes[k])].data(), 4);
  }
}

void WriteIdentifierLines(std::string& out, const CsvTable& table, const std::string& indentation) {
  for (std::int32_t row = 1; row < table.rows; ++row) {
    std::string_view identifier = table.Cell(row, 0);
    if (identifier.empty()) continue;
    out.append(indentation).append(identifier).append(",\n");
  }
}

void WriteLanguageLines(std::string& out, const CsvTable& table, const std::string& indentation) {
  for (std::int32_t column = 1; column < table.columns; ++column) {
    out.append(indentation).append(table.Cell(0, column)).append(",\n");
  }
}

void WriteMessageLines(std::string& out, const CsvTable& table, std::int32_t column,
                       const std::string& indentation,
                       const std::function<void(std::string&)>& flush) {
  // Column 1 is the fallback language, also for itself (it then stays empty).
  auto messageOf = [&](std::int32_t row) {
    std::string_view message = table.Cell(row, column);
    return message.empty() && table.columns > 1 ? table.Cell(row, 1) : message;
  };
  // Handed over while the bytes are still in the processor's cache: 256 KB is well inside its
  // second level.
  constexpr std::size_t kFlushBytes = std::size_t{256} << 10;
  if (flush) {
    out.reserve(out.size() + kFlushBytes);
  } else {
    // The lines are four times the size of their text: sized first rather than grown by copying.
    constexpr std::size_t kFixedPerLine = std::string_view("/*  */ \"\",\n").size();
    std::size_t size = out.size();
    for (std::int32_t row = 1; row < table.rows; ++row) {
      std::string_view identifier = table.Cell(row, 0);
      if (identifier.empty()) continue;
      size += indentation.size() + kFixedPerLine + identifier.size() + 4 * messageOf(row).size();
    }
    platform::ReserveLarge(out, size);
  }
  for (std::int32_t row = 1; row < table.rows; ++row) {
    std::string_view identifier = table.Cell(row, 0);
    if (identifier.empty()) continue;
    out.append(indentation).append("/* ").append(identifier).append(" */ \"");
    AppendHexEscaped(&out, messageOf(row));
    out.append("\",\n");
    if (flush && out.size() >= kFlushBytes) flush(out);
  }
  if (flush && !out.empty()) flush(out);
}

std::string LowerCaseLanguageId(std::string_view languageId) {
  std::string lower(languageId);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

}  // namespace quillex
