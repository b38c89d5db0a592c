#include "input/text_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillex {
namespace {

using Bytes = std::vector<unsigned char>;

CodePointReader ReaderOver(const Bytes& bytes, TextEncoding encoding) {
  CodePointReader reader;
  reader.data = bytes.data();
  reader.size = bytes.size();
  reader.encoding = encoding;
  return reader;
}

// Every value Next() hands out until the buffer is consumed.
std::vector<std::uint32_t> DecodeAll(CodePointReader reader) {
  std::vector<std::uint32_t> out;
  while (!reader.AtEnd()) out.push_back(reader.Next());
  return out;
}

std::vector<std::uint32_t> DecodeAll(const Bytes& bytes, TextEncoding encoding) {
  return DecodeAll(ReaderOver(bytes, encoding));
}

using V = std::vector<std::uint32_t>;

TEST(ByteOrderMarkTest, EachMarkAndItsLength) {
  struct Case {
    Bytes bytes;
    TextEncoding encoding;
    bool hasMark;
    std::uint64_t skipped;
  };
  const Case cases[] = {
      {{}, TextEncoding::Utf8, false, 0},
      {{0xEF}, TextEncoding::Utf8, false, 0},
      {{0xEF, 0xBB}, TextEncoding::Utf8, false, 0},
      {{0xEF, 0xBB, 0xBF}, TextEncoding::Utf8, true, 3},
      {{0xFF, 0xFE, 0x00, 0x00}, TextEncoding::Utf32LE, true, 4},
      {{0x00, 0x00, 0xFE, 0xFF}, TextEncoding::Utf32BE, true, 4},
      {{0xFF, 0xFE, 0x00}, TextEncoding::Utf16LE, true, 2},
      {{0xFF, 0xFE, 0x41, 0x00}, TextEncoding::Utf16LE, true, 2},
      {{0xFE, 0xFF}, TextEncoding::Utf16BE, true, 2},
      {{0x00, 0x00, 0xFE}, TextEncoding::Utf8, false, 0},
      {{0xFF}, TextEncoding::Utf8, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.bytes));
    CodePointReader reader = CodePointReader::ForBuffer(c.bytes.data(), c.bytes.size());
    EXPECT_EQ(reader.encoding, c.encoding);
    EXPECT_EQ(reader.hasByteOrderMark, c.hasMark);
    EXPECT_EQ(reader.position, c.skipped);
  }
}

TEST(CodePointReaderTest, MarkOnlyBuffersReadAsEnd) {
  for (const Bytes& bytes : {Bytes{}, Bytes{0xEF, 0xBB, 0xBF}, Bytes{0xFF, 0xFE}, Bytes{0xFE, 0xFF},
                             Bytes{0x00, 0x00, 0xFE, 0xFF}}) {
    CodePointReader reader = CodePointReader::ForBuffer(bytes.data(), bytes.size());
    EXPECT_TRUE(reader.AtEnd());
    EXPECT_EQ(reader.Next(), 0u);
    EXPECT_EQ(reader.Next(), 0u);
  }
}

TEST(CodePointReaderTest, Utf8Sequences) {
  EXPECT_EQ(
      DecodeAll({'a', 0xC3, 0xA9, 0xE3, 0x81, 0x82, 0xF0, 0x9F, 0x98, 0x80}, TextEncoding::Utf8),
      (V{'a', 0xE9, 0x3042, 0x1F600}));
  // Continuation bytes are not checked; overlong forms and encoded surrogates pass.
  EXPECT_EQ(DecodeAll({0xC3, 0x41}, TextEncoding::Utf8), V{0xC1});
  EXPECT_EQ(DecodeAll({0xC1, 0xBF, 0xED, 0xA0, 0x80}, TextEncoding::Utf8), (V{0x7F, 0xD800}));
  EXPECT_EQ(DecodeAll({0xF7, 0xBF, 0xBF, 0xBF}, TextEncoding::Utf8), V{0x1FFFFF});
}

TEST(CodePointReaderTest, Utf8InvalidLeadBytesCarryTheByte) {
  EXPECT_EQ(DecodeAll({0x80, 0xBF, 0xF8, 0xFF, 'x'}, TextEncoding::Utf8),
            (V{0x80000080, 0x800000BF, 0x800000F8, 0x800000FF, 'x'}));
}

TEST(CodePointReaderTest, Utf8TruncatedSequenceKeepsItsPartialValue) {
  EXPECT_EQ(DecodeAll({0xC3}, TextEncoding::Utf8), V{0x03});
  EXPECT_EQ(DecodeAll({'a', 0xE3, 0x81}, TextEncoding::Utf8), (V{'a', 0x3 << 6 | 0x01}));
  EXPECT_EQ(DecodeAll({0xF0, 0x9F}, TextEncoding::Utf8), V{0x1F});
}

TEST(CodePointReaderTest, DecodedZeroIsToldFromTheEndByAtEnd) {
  // U+0000, overlong C0 80 and a lone C0 at the end all decode to 0 while bytes remain.
  for (const Bytes& bytes : {Bytes{0x00}, Bytes{0xC0, 0x80}, Bytes{0xC0}}) {
    CodePointReader reader = ReaderOver(bytes, TextEncoding::Utf8);
    ASSERT_FALSE(reader.AtEnd());
    EXPECT_EQ(reader.Next(), 0u);
    EXPECT_TRUE(reader.AtEnd());
  }
  EXPECT_EQ(DecodeAll({'a', 0x00, 'b'}, TextEncoding::Utf8), (V{'a', 0, 'b'}));
}

TEST(CodePointReaderTest, Utf16BothByteOrders) {
  EXPECT_EQ(DecodeAll({0x41, 0x00, 0x42, 0x30, 0x3D, 0xD8, 0x00, 0xDE}, TextEncoding::Utf16LE),
            (V{'A', 0x3042, 0x1F600}));
  EXPECT_EQ(DecodeAll({0x00, 0x41, 0x30, 0x42, 0xD8, 0x3D, 0xDE, 0x00}, TextEncoding::Utf16BE),
            (V{'A', 0x3042, 0x1F600}));
  EXPECT_EQ(DecodeAll({0xFF, 0xDB, 0xFF, 0xDF}, TextEncoding::Utf16LE), V{0x10FFFF});
}

TEST(CodePointReaderTest, Utf16UncheckedSurrogates) {
  // A lone low surrogate comes back as is; a high one takes any next unit as its partner.
  EXPECT_EQ(DecodeAll({0x00, 0xDC, 'a', 0x00}, TextEncoding::Utf16LE), (V{0xDC00, 'a'}));
  EXPECT_EQ(DecodeAll({0x00, 0xD8, 'a', 0x00}, TextEncoding::Utf16LE),
            V{0xD800u * 1024 + 'a' - 0x35FDC00});
}

TEST(CodePointReaderTest, Utf16TruncationIsAnErrorAndStaysInBounds) {
  EXPECT_EQ(DecodeAll({'a', 0x00, 'b'}, TextEncoding::Utf16LE), (V{'a', kDecodeError}));
  EXPECT_EQ(DecodeAll({0x00, 'a', 0xD8}, TextEncoding::Utf16BE), (V{'a', kDecodeError}));
  // A high surrogate as the last unit, and one followed by a single byte.
  EXPECT_EQ(DecodeAll({'a', 0x00, 0x3D, 0xD8}, TextEncoding::Utf16LE), (V{'a', kDecodeError}));
  EXPECT_EQ(DecodeAll({0xD8, 0x3D, 0xDE}, TextEncoding::Utf16BE), V{kDecodeError});
  // The buffer is exactly as long as the data, so the sanitizer build catches any overread.
  Bytes exact = {0x3D, 0xD8};
  CodePointReader reader = ReaderOver(exact, TextEncoding::Utf16LE);
  EXPECT_EQ(reader.Next(), kDecodeError);
  EXPECT_EQ(reader.position, reader.size);
  EXPECT_EQ(reader.Next(), 0u);
}

TEST(CodePointReaderTest, Utf32BothByteOrdersUnchecked) {
  EXPECT_EQ(DecodeAll({0x41, 0, 0, 0, 0x00, 0xF6, 0x01, 0x00, 0xFF, 0xFF, 0xFF, 0x7F},
                      TextEncoding::Utf32LE),
            (V{'A', 0x1F600, 0x7FFFFFFF}));
  EXPECT_EQ(
      DecodeAll({0, 0, 0, 0x41, 0x00, 0x20, 0x00, 0x00, 0x80, 0, 0, 0x01}, TextEncoding::Utf32BE),
      (V{'A', 0x200000, 0x80000001}));
}

TEST(CodePointReaderTest, Utf32TruncationIsAnError) {
  for (std::size_t tail = 1; tail < 4; ++tail) {
    Bytes bytes = {0x41, 0, 0, 0};
    bytes.resize(4 + tail, 0x41);
    EXPECT_EQ(DecodeAll(bytes, TextEncoding::Utf32LE), (V{'A', kDecodeError}));
  }
  Bytes lone = {0x00, 0x00};
  EXPECT_EQ(DecodeAll(lone, TextEncoding::Utf32BE), V{kDecodeError});
}

TEST(CodePointReaderTest, MarkedBuffersSkipTheirMark) {
  Bytes utf32 = {0xFF, 0xFE, 0x00, 0x00, 0x41, 0x00, 0x00, 0x00};
  CodePointReader reader = CodePointReader::ForBuffer(utf32.data(), utf32.size());
  EXPECT_EQ(reader.Next(), 'A');
  EXPECT_EQ(reader.Next(), 0u);
  Bytes utf8 = {0xEF, 0xBB, 0xBF, 0xEF, 0xBB, 0xBF};  // a second mark is text
  EXPECT_EQ(DecodeAll(CodePointReader::ForBuffer(utf8.data(), utf8.size())), V{0xFEFF});
}

TEST(CodePointReaderTest, UnknownEncodingReadsAsEnd) {
  Bytes bytes = {'a'};
  EXPECT_EQ(ReaderOver(bytes, static_cast<TextEncoding>(9)).Next(), 0u);
}

TEST(EncodeUtf8Test, Boundaries) {
  EXPECT_EQ(EncodeUtf8(0), "");
  EXPECT_EQ(EncodeUtf8(0x7F), "\x7F");
  EXPECT_EQ(EncodeUtf8(0x80), "\xC2\x80");
  EXPECT_EQ(EncodeUtf8(0x7FF), "\xDF\xBF");
  EXPECT_EQ(EncodeUtf8(0x800), "\xE0\xA0\x80");
  EXPECT_EQ(EncodeUtf8(0xD800), "\xED\xA0\x80");
  EXPECT_EQ(EncodeUtf8(0xFFFF), "\xEF\xBF\xBF");
  EXPECT_EQ(EncodeUtf8(0x10000), "\xF0\x90\x80\x80");
  EXPECT_EQ(EncodeUtf8(0x10FFFF), "\xF4\x8F\xBF\xBF");
  EXPECT_EQ(EncodeUtf8(0x1FFFFF), "\xF7\xBF\xBF\xBF");
  EXPECT_EQ(EncodeUtf8(0x200000), "");
  EXPECT_EQ(EncodeUtf8(0x7FFFFFFF), "");
  EXPECT_EQ(EncodeUtf8(0x80000041), "");
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
