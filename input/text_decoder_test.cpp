#include "input/text_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillex {
namespace {

using Bytes = std::vector<unsigned char>;
using V = std::vector<std::uint32_t>;

// Every value Next() hands out until the buffer is consumed. The buffer is exactly as long as
// the data, so the sanitizer build catches any read past its end.
V DecodeAll(const Bytes& bytes, TextEncoding encoding) {
  CodePointReader reader{bytes.data(), bytes.size(), encoding};
  V out;
  while (!reader.AtEnd()) out.push_back(reader.Next());
  EXPECT_EQ(reader.position, reader.size);
  EXPECT_EQ(reader.Next(), 0u);
  return out;
}

TEST(ByteOrderMarkTest, EachMarkIsSkipped) {
  struct Case {
    Bytes bytes;
    TextEncoding encoding;
    std::uint64_t skipped;  // 0: no mark
  };
  const Case cases[] = {
      {{}, TextEncoding::Utf8, 0},
      {{0xEF, 0xBB}, TextEncoding::Utf8, 0},
      {{0xEF, 0xBB, 0xBF}, TextEncoding::Utf8, 3},
      {{0xFF, 0xFE, 0x00, 0x00}, TextEncoding::Utf32LE, 4},  // before UTF-16LE
      {{0x00, 0x00, 0xFE, 0xFF}, TextEncoding::Utf32BE, 4},
      {{0xFF, 0xFE, 0x00}, TextEncoding::Utf16LE, 2},
      {{0xFE, 0xFF}, TextEncoding::Utf16BE, 2},
      {{0x00, 0x00, 0xFE}, TextEncoding::Utf8, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.bytes));
    CodePointReader reader = CodePointReader::ForBuffer(c.bytes.data(), c.bytes.size());
    EXPECT_EQ(reader.encoding, c.encoding);
    EXPECT_EQ(reader.hasByteOrderMark, c.skipped != 0);
    EXPECT_EQ(reader.position, c.skipped);
    if (c.skipped == c.bytes.size()) {
      EXPECT_EQ(reader.Next(), 0u);
    }
  }
}

TEST(CodePointReaderTest, Utf8) {
  EXPECT_EQ(
      DecodeAll({'a', 0xC3, 0xA9, 0xE3, 0x81, 0x82, 0xF0, 0x9F, 0x98, 0x80}, TextEncoding::Utf8),
      (V{'a', 0xE9, 0x3042, 0x1F600}));
  // Continuation bytes are not checked; overlong forms and encoded surrogates pass.
  EXPECT_EQ(DecodeAll({0xC3, 0x41, 0xC1, 0xBF, 0xED, 0xA0, 0x80, 0xF7, 0xBF, 0xBF, 0xBF},
                      TextEncoding::Utf8),
            (V{0xC1, 0x7F, 0xD800, 0x1FFFFF}));
  // An invalid lead byte is an error carrying the byte, and only that byte is consumed.
  EXPECT_EQ(DecodeAll({0x80, 0xBF, 0xF8, 0xFF, 'x'}, TextEncoding::Utf8),
            (V{0x80000080, 0x800000BF, 0x800000F8, 0x800000FF, 'x'}));
}

TEST(CodePointReaderTest, Utf8CutOffSequenceKeepsItsPartialValue) {
  EXPECT_EQ(DecodeAll({0xC3}, TextEncoding::Utf8), V{0x03});
  EXPECT_EQ(DecodeAll({'a', 0xE3, 0x81}, TextEncoding::Utf8), (V{'a', 0x3 << 6 | 0x01}));
  EXPECT_EQ(DecodeAll({0xF0, 0x9F}, TextEncoding::Utf8), V{0x1F});
}

TEST(CodePointReaderTest, DecodedZeroIsToldFromTheEndByAtEnd) {
  // U+0000, overlong C0 80 and a lone C0 at the end all decode to 0 while bytes remain.
  for (const Bytes& bytes : {Bytes{0x00}, Bytes{0xC0, 0x80}, Bytes{0xC0}}) {
    EXPECT_EQ(DecodeAll(bytes, TextEncoding::Utf8), V{0});
  }
  EXPECT_EQ(DecodeAll({'a', 0x00, 'b'}, TextEncoding::Utf8), (V{'a', 0, 'b'}));
}

TEST(CodePointReaderTest, Utf16BothByteOrders) {
  EXPECT_EQ(DecodeAll({0x41, 0x00, 0x42, 0x30, 0x3D, 0xD8, 0x00, 0xDE, 0xFF, 0xDB, 0xFF, 0xDF},
                      TextEncoding::Utf16LE),
            (V{'A', 0x3042, 0x1F600, 0x10FFFF}));
  EXPECT_EQ(DecodeAll({0x00, 0x41, 0x30, 0x42, 0xD8, 0x3D, 0xDE, 0x00}, TextEncoding::Utf16BE),
            (V{'A', 0x3042, 0x1F600}));
  // A lone low surrogate comes back as is; a high one takes any next unit as its partner.
  EXPECT_EQ(DecodeAll({0x00, 0xDC, 0x00, 0xD8, 'a', 0x00}, TextEncoding::Utf16LE),
            (V{0xDC00, 0xD800u * 1024 + 'a' - 0x35FDC00}));
}

TEST(CodePointReaderTest, Utf16CutOffUnitIsAnError) {
  EXPECT_EQ(DecodeAll({'a', 0x00, 'b'}, TextEncoding::Utf16LE), (V{'a', kDecodeError}));
  EXPECT_EQ(DecodeAll({0x00, 'a', 0xD8}, TextEncoding::Utf16BE), (V{'a', kDecodeError}));
  // A high surrogate as the last unit, and one followed by a single byte.
  EXPECT_EQ(DecodeAll({'a', 0x00, 0x3D, 0xD8}, TextEncoding::Utf16LE), (V{'a', kDecodeError}));
  EXPECT_EQ(DecodeAll({0xD8, 0x3D, 0xDE}, TextEncoding::Utf16BE), V{kDecodeError});
}

TEST(CodePointReaderTest, Utf32BothByteOrdersUnchecked) {
  EXPECT_EQ(DecodeAll({0x41, 0, 0, 0, 0x00, 0xF6, 0x01, 0x00, 0xFF, 0xFF, 0xFF, 0x7F},
                      TextEncoding::Utf32LE),
            (V{'A', 0x1F600, 0x7FFFFFFF}));
  EXPECT_EQ(
      DecodeAll({0, 0, 0, 0x41, 0x00, 0x20, 0x00, 0x00, 0x80, 0, 0, 0x01}, TextEncoding::Utf32BE),
      (V{'A', 0x200000, 0x80000001}));
  for (const Bytes& tail : {Bytes{1}, Bytes{1, 2}, Bytes{1, 2, 3}}) {
    Bytes bytes = {0x41, 0, 0, 0};
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    EXPECT_EQ(DecodeAll(bytes, TextEncoding::Utf32LE), (V{'A', kDecodeError}));
  }
}

TEST(EncodeUtf8Test, Boundaries) {
  const std::pair<std::uint32_t, std::string> cases[] = {
      {0, ""},
      {0x7F, "\x7F"},
      {0x80, "\xC2\x80"},
      {0x7FF, "\xDF\xBF"},
      {0x800, "\xE0\xA0\x80"},
      {0xD800, "\xED\xA0\x80"},
      {0xFFFF, "\xEF\xBF\xBF"},
      {0x10000, "\xF0\x90\x80\x80"},
      {0x1FFFFF, "\xF7\xBF\xBF\xBF"},
      {0x200000, ""},
      {0x80000041, ""},
  };
  for (const auto& [codePoint, bytes] : cases) EXPECT_EQ(EncodeUtf8(codePoint), bytes) << codePoint;
}

TEST(EncodeUtf8Test, AppendsAndRoundTripsThroughTheReader) {
  std::string text = "x";
  V codePoints = {'x'};
  for (std::uint32_t cp = 1; cp <= 0x1FFFFF; cp += 0x3F) {
    codePoints.push_back(cp);
    AppendUtf8(&text, cp);
  }
  EXPECT_EQ(DecodeAll(Bytes(text.begin(), text.end()), TextEncoding::Utf8), codePoints);
}

}  // namespace
}  // namespace quillex
