#include "input/text_decoder.h"

#include <initializer_list>

namespace quillex {

TextEncoding DetectByteOrderMark(const unsigned char* data, std::uint64_t size,
                                 bool* hasByteOrderMark) {
  auto startsWith = [&](std::initializer_list<unsigned char> mark) {
    if (size < mark.size()) return false;
    const unsigned char* byte = data;
    for (unsigned char expected : mark) {
      if (*byte++ != expected) return false;
    }
    return true;
  };
  *hasByteOrderMark = true;
  if (startsWith({0xEF, 0xBB, 0xBF})) return TextEncoding::Utf8;
  // FF FE 00 00 is taken as UTF-32 before it can be taken as UTF-16.
  if (startsWith({0xFF, 0xFE, 0x00, 0x00})) return TextEncoding::Utf32LE;
  if (startsWith({0x00, 0x00, 0xFE, 0xFF})) return TextEncoding::Utf32BE;
  if (startsWith({0xFF, 0xFE})) return TextEncoding::Utf16LE;
  if (startsWith({0xFE, 0xFF})) return TextEncoding::Utf16BE;
  *hasByteOrderMark = false;
  return TextEncoding::Utf8;
}

std::uint64_t ByteOrderMarkLength(TextEncoding encoding, bool hasByteOrderMark) {
  if (!hasByteOrderMark) return 0;
  switch (encoding) {
    case TextEncoding::Utf8:
      return 3;
    case TextEncoding::Utf16BE:
    case TextEncoding::Utf16LE:
      return 2;
    case TextEncoding::Utf32BE:
    case TextEncoding::Utf32LE:
      return 4;
  }
  return 0;
}

CodePointReader CodePointReader::ForBuffer(const unsigned char* data, std::uint64_t size) {
  CodePointReader reader;
  reader.data = data;
  reader.size = size;
  reader.encoding = DetectByteOrderMark(data, size, &reader.hasByteOrderMark);
  reader.position = ByteOrderMarkLength(reader.encoding, reader.hasByteOrderMark);
  return reader;
}

namespace {

// Reads one unit of `width` bytes at `position` and advances. False, with the rest of the
// buffer consumed, when fewer than `width` bytes remain.
bool ReadUnit(CodePointReader& reader, int width, bool bigEndian, std::uint32_t* unit) {
  if (reader.size - reader.position < static_cast<std::uint64_t>(width)) {
    reader.position = reader.size;
    return false;
  }
  const unsigned char* bytes = reader.data + reader.position;
  std::uint32_t value = 0;
  for (int i = 0; i < width; ++i) {
    int index = bigEndian ? i : width - 1 - i;
    value = (value << 8) | bytes[index];
  }
  reader.position += static_cast<std::uint64_t>(width);
  *unit = value;
  return true;
}

std::uint32_t NextUtf8(CodePointReader& reader) {
  std::uint32_t lead = reader.data[reader.position++];
  if (lead < 0x80) return lead;
  int following;
  std::uint32_t value;
  if ((lead & 0xE0) == 0xC0) {
    following = 1;
    value = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    following = 2;
    value = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    following = 3;
    value = lead & 0x07;
  } else {
    return kDecodeError | lead;
  }
  // Continuation bytes are taken as they come, and a cut-off sequence keeps what it has.
  for (; following > 0 && reader.position < reader.size; --following) {
    value = (value << 6) | (reader.data[reader.position++] & 0x3Fu);
  }
  return value;
}

std::uint32_t NextUtf16(CodePointReader& reader, bool bigEndian) {
  std::uint32_t unit;
  if (!ReadUnit(reader, 2, bigEndian, &unit)) return kDecodeError;
  if (unit < 0xD800 || unit > 0xDBFF) return unit;  // a lone low surrogate passes as is
  // The second unit is not checked to be a low surrogate.
  std::uint32_t low;
  if (!ReadUnit(reader, 2, bigEndian, &low)) return kDecodeError;
  return 0x10000 + ((unit - 0xD800) << 10) + low - 0xDC00;
}

std::uint32_t NextUtf32(CodePointReader& reader, bool bigEndian) {
  std::uint32_t unit;
  if (!ReadUnit(reader, 4, bigEndian, &unit)) return kDecodeError;
  return unit;
}

}  // namespace

std::uint32_t CodePointReader::Next() {
  if (AtEnd()) return 0;
  switch (encoding) {
    case TextEncoding::Utf8:
      return NextUtf8(*this);
    case TextEncoding::Utf16BE:
      return NextUtf16(*this, true);
    case TextEncoding::Utf16LE:
      return NextUtf16(*this, false);
    case TextEncoding::Utf32BE:
      return NextUtf32(*this, true);
    case TextEncoding::Utf32LE:
      return NextUtf32(*this, false);
  }
  return 0;
}

Utf8Step RareUtf8Step(const unsigned char* p, const unsigned char* end) {
  CodePointReader reader{.data = p, .size = static_cast<std::uint64_t>(end - p)};
  const std::uint32_t code = reader.Next();
  return {code, static_cast<std::uint32_t>(reader.position)};
}

std::size_t WriteUtf8(std::uint32_t codePoint, char* out) {
  auto put = [&out](std::uint32_t byte) { *out++ = static_cast<char>(byte); };
  if (codePoint == 0 || codePoint > 0x1FFFFF) return 0;  // errors have bit 31 set, so land here
  if (codePoint <= 0x7F) {
    put(codePoint);
    return 1;
  }
  if (codePoint <= 0x7FF) {
    put(0xC0 | (codePoint >> 6));
    put(0x80 | (codePoint & 0x3F));
    return 2;
  }
  if (codePoint <= 0xFFFF) {
    // Surrogate values are encoded like any other.
    put(0xE0 | (codePoint >> 12));
    put(0x80 | ((codePoint >> 6) & 0x3F));
    put(0x80 | (codePoint & 0x3F));
    return 3;
  }
  put(0xF0 | (codePoint >> 18));
  put(0x80 | ((codePoint >> 12) & 0x3F));
  put(0x80 | ((codePoint >> 6) & 0x3F));
  put(0x80 | (codePoint & 0x3F));
  return 4;
}

void AppendUtf8(std::string* out, std::uint32_t codePoint) {
  char bytes[4];
  out->append(bytes, WriteUtf8(codePoint, bytes));
}

std::string EncodeUtf8(std::uint32_t codePoint) {
  std::string out;
  AppendUtf8(&out, codePoint);
  return out;
}

}  // namespace quillex
