#include "input/text_decoder.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace quillex {
namespace {

using Bytes = std::vector<unsigned char>;
using V = std::vector<std::uint32_t>;
constexpr std::uint32_t kErr = kDecodeError;

TEST(ByteOrderMarkTest, EachMarkIsSkipped) {
  const struct {
    Bytes bytes;
    TextEncoding encoding;
    std::uint64_t skipped;  // 0: no mark
  } cases[] = {
      {{}, TextEncoding::Utf8, 0},
      {{0xEF, 0xBB}, TextEncoding::Utf8, 0},
      {{0xEF, 0xBB, 0xBF}, TextEncoding::Utf8, 3},
      {{0xFF, 0xFE, 0x00, 0x00}, TextEncoding::Utf32LE, 4},  // before UTF-16LE
      {{0x00, 0x00, 0xFE, 0xFF}, TextEncoding::Utf32BE, 4},
      {{0xFF, 0xFE, 0x00}, TextEncoding::Utf16LE, 2},
      {{0xFE, 0xFF}, TextEncoding::Utf16BE, 2},
      {{0x00, 0x00, 0xFE}, TextEncoding::Utf8, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.bytes));
    CodePointReader reader = CodePointReader::ForBuffer(c.bytes.data(), c.bytes.size());
    EXPECT_EQ(reader.encoding, c.encoding);
    EXPECT_EQ(reader.hasByteOrderMark, c.skipped != 0);
    EXPECT_EQ(reader.position, c.skipped);
  }
}

// Every value Next() hands out until the buffer is consumed, then the end. The buffer is exactly
// as long as the data, so the sanitizer build catches any read past its end.
TEST(CodePointReaderTest, DecodesEveryEncoding) {
  const struct {
    TextEncoding encoding;
    Bytes bytes;
    V values;
  } cases[] = {
      {TextEncoding::Utf8,
       {'a', 0xC3, 0xA9, 0xE3, 0x81, 0x82, 0xF0, 0x9F, 0x98, 0x80},
       {'a', 0xE9, 0x3042, 0x1F600}},
      // Continuation bytes unchecked; overlong forms and encoded surrogates pass.
      {TextEncoding::Utf8,
       {0xC3, 0x41, 0xC1, 0xBF, 0xED, 0xA0, 0x80, 0xF7, 0xBF, 0xBF, 0xBF},
       {0xC1, 0x7F, 0xD800, 0x1FFFFF}},
      // An invalid lead byte is an error carrying it, and only that byte is consumed.
      {TextEncoding::Utf8,
       {0x80, 0xBF, 0xF8, 0xFF, 'x'},
       {kErr | 0x80, kErr | 0xBF, kErr | 0xF8, kErr | 0xFF, 'x'}},
      // A cut-off sequence keeps its partial value; U+0000 and C0 80 decode to 0 mid-buffer.
      {TextEncoding::Utf8, {'a', 0xE3, 0x81}, {'a', 0x3 << 6 | 0x01}},
      {TextEncoding::Utf8, {0xC3}, {0x03}},
      {TextEncoding::Utf8, {0x00, 0xC0, 0x80, 'b', 0xC0}, {0, 0, 'b', 0}},
      {TextEncoding::Utf16LE,
       {0x41, 0x00, 0x42, 0x30, 0x3D, 0xD8, 0x00, 0xDE, 0xFF, 0xDB, 0xFF, 0xDF},
       {'A', 0x3042, 0x1F600, 0x10FFFF}},
      {TextEncoding::Utf16BE, {0x00, 0x41, 0xD8, 0x3D, 0xDE, 0x00}, {'A', 0x1F600}},
      // A lone low surrogate comes back as is; a high one takes any next unit as its partner.
      {TextEncoding::Utf16LE,
       {0x00, 0xDC, 0x00, 0xD8, 'a', 0x00},
       {0xDC00, 0xD800u * 1024 + 'a' - 0x35FDC00}},
      // Cut-off units: an odd byte, a high surrogate last, a high surrogate and one byte.
      {TextEncoding::Utf16LE, {'a', 0x00, 'b'}, {'a', kErr}},
      {TextEncoding::Utf16LE, {'a', 0x00, 0x3D, 0xD8}, {'a', kErr}},
      {TextEncoding::Utf16BE, {0xD8, 0x3D, 0xDE}, {kErr}},
      {TextEncoding::Utf32LE,
       {0x41, 0, 0, 0, 0x00, 0xF6, 0x01, 0x00, 0xFF, 0xFF, 0xFF, 0x7F, 1, 2, 3},
       {'A', 0x1F600, 0x7FFFFFFF, kErr}},
      {TextEncoding::Utf32BE, {0, 0, 0, 0x41, 0x80, 0, 0, 0x01, 1}, {'A', 0x80000001, kErr}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.bytes));
    CodePointReader reader{c.bytes.data(), c.bytes.size(), c.encoding};
    V values;
    while (!reader.AtEnd()) values.push_back(reader.Next());
    EXPECT_EQ(values, c.values);
    EXPECT_EQ(reader.Next(), 0u);
  }
}

// The step reader against the reader it stands in for, at every position of random texts made of
// the bytes where UTF-8 forms change (leads of each length, continuations, invalid leads), so
// that each form meets each cut-off by the end.
TEST(Utf8StepTest, ReadsAsTheCodePointReader) {
  const unsigned char edges[] = {0x00, 0x01, 0x41, 0x7F, 0x80, 0xBF, 0xC0, 0xC1, 0xC2, 0xDF,
                                 0xE0, 0xE3, 0xEF, 0xF0, 0xF4, 0xF7, 0xF8, 0xFE, 0xFF};
  std::mt19937 random(20261208);
  for (int round = 0; round < 3000; ++round) {
    Bytes bytes(random() % 9 + 1);
    for (unsigned char& byte : bytes) byte = edges[random() % std::size(edges)];
    const unsigned char* const end = bytes.data() + bytes.size();
    for (const unsigned char* p = bytes.data(); p < end; ++p) {
      CodePointReader reader{.data = p, .size = static_cast<std::uint64_t>(end - p)};
      const std::uint32_t code = reader.Next();
      const Utf8Step step = ReadUtf8Step(p, end);
      ASSERT_EQ(step.code, code) << testing::PrintToString(bytes) << " at " << (p - bytes.data());
      ASSERT_EQ(step.length, reader.position) << testing::PrintToString(bytes);
    }
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
  std::string out = "x";
  AppendUtf8(&out, 0x3042);
  EXPECT_EQ(out, "x\xE3\x81\x82");
}

}  // namespace
}  // namespace quillex
