// Code point decoding over UTF-8, UTF-16 and UTF-32 buffers, byte order mark detection and the
// UTF-8 encoder. All text inside the tool is UTF-8; this is where other encodings end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace quillex {

enum class TextEncoding : std::int32_t {
  Utf8 = 1,
  Utf16BE = 2,
  Utf16LE = 3,
  Utf32BE = 4,
  Utf32LE = 5,
};

/// Bit 31 of a decoded value marks a decoding error.
constexpr std::uint32_t kDecodeError = 0x80000000u;

/// Chooses the encoding of `data` by its byte order mark; UTF-8 without one. Sets
/// `*hasByteOrderMark` and returns the encoding; the mark's length is ByteOrderMarkLength().
TextEncoding DetectByteOrderMark(const unsigned char* data, std::uint64_t size,
                                 bool* hasByteOrderMark);

/// Length in bytes of the byte order mark of `encoding` (0 when `hasByteOrderMark` is false).
std::uint64_t ByteOrderMarkLength(TextEncoding encoding, bool hasByteOrderMark);

/// One code point of UTF-8 and the bytes it took.
struct Utf8Step {
  std::uint32_t code = 0;
  std::uint32_t length = 0;
};

/// The first code point of the UTF-8 bytes [p, end), as CodePointReader::Next reads it, and how
/// many bytes it took. REQUIRES: p < end. Two- and three-byte sequences are read inline, the
/// rarer forms out of line. For loops over a text's characters: a reader object lives in memory,
/// so each character would wait for its position to be stored and read back; this step comes
/// back in registers.
Utf8Step ReadUtf8Step(const unsigned char* p, const unsigned char* end);

/// ReadUtf8Step of the forms it does not read inline (four-byte and invalid leads, cut-off
/// sequences), through a CodePointReader.
Utf8Step RareUtf8Step(const unsigned char* p, const unsigned char* end);

inline Utf8Step ReadUtf8Step(const unsigned char* p, const unsigned char* end) {
  const std::uint32_t lead = *p;
  if ((lead & 0xE0) == 0xC0 && end - p >= 2) return {(lead & 0x1F) << 6 | (p[1] & 0x3Fu), 2};
  if ((lead & 0xF0) == 0xE0 && end - p >= 3) {
    return {(lead & 0x0F) << 12 | (p[1] & 0x3Fu) << 6 | (p[2] & 0x3Fu), 3};
  }
  if (lead < 0x80) return {lead, 1};
  return RareUtf8Step(p, end);
}

/// Hands out code points one at a time. Does not own `data`; the buffer must outlive it.
struct CodePointReader {
  const unsigned char* data = nullptr;
  std::uint64_t size = 0;
  TextEncoding encoding = TextEncoding::Utf8;
  std::uint64_t position = 0;
  bool hasByteOrderMark = false;

  /// A reader over `data` positioned after its byte order mark, if any.
  static CodePointReader ForBuffer(const unsigned char* data, std::uint64_t size);

  /// The next code point and advances. Returns 0 at the end of the buffer, but also for a
  /// character that decodes to 0 (U+0000, the overlong C0 80, a lone C0 at the very end): a
  /// caller that must tell them apart asks AtEnd() before the call. Returns a value with bit 31
  /// set on a decoding error: 0x80000000 | lead byte in UTF-8 (one byte consumed), exactly
  /// 0x80000000 for a UTF-16 or UTF-32 unit cut off by the end (the rest is consumed). UTF-8
  /// continuation bytes are taken unchecked, and a sequence cut off by the end returns the value
  /// built so far.
  std::uint32_t Next();

  /// Next(), with an ASCII byte of UTF-8 read inline: for loops over texts of mostly ASCII.
  /// Whole two- and three-byte sequences are read inline too (ReadUtf8Step).
  std::uint32_t NextInline() {
    if (encoding == TextEncoding::Utf8 && position < size) {
      const unsigned char* const at = data + position;
      if (*at < 0x80) {
        ++position;
        return *at;
      }
      const Utf8Step step = ReadUtf8Step(at, data + size);
      position += step.length;
      return step.code;
    }
    return Next();
  }

  /// True when every byte has been consumed.
  bool AtEnd() const { return position >= size; }
};

/// Writes the UTF-8 form of `codePoint` at `out` (room for four bytes) and returns its length;
/// nothing (0) for 0, values with bit 31 set and values above 0x1FFFFF.
std::size_t WriteUtf8(std::uint32_t codePoint, char* out);

/// Appends the UTF-8 form of `codePoint` (see WriteUtf8).
void AppendUtf8(std::string* out, std::uint32_t codePoint);

/// The UTF-8 form of `codePoint` as a string (see AppendUtf8).
std::string EncodeUtf8(std::uint32_t codePoint);

}  // namespace quillex
