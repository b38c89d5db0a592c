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

// The whole marks show in the bad-chk-positions-*-bom cases (the mark of UTF-32LE before that of
// UTF-16LE included); here the prefixes of marks that are none.
TEST(ByteOrderMarkTest, EachMarkIsSkipped) {
  const struct {
    Bytes bytes;
    TextEncoding encoding;
    std::uint64_t skipped;  // 0: no mark
  } cases[] = {
      {{}, TextEncoding::Utf8, 0},
      {{0xEF, 0xBB}, TextEncoding::Utf8, 0},
      {{0xFF, 0xFE, 0x00}, TextEncoding::Utf16LE, 2},
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
// as long as the data, so the sanitizer build catches any read past its end. Lenient and cut-off
// UTF-8, lone UTF-16 surrogates, cut-off units and UTF-32 beyond Unicode show in the csv-utf*
// and bad-csv-utf* cases.
TEST(CodePointReaderTest, DecodesEveryEncoding) {
  const struct {
    TextEncoding encoding;
    Bytes bytes;
    V values;
  } cases[] = {
      {TextEncoding::Utf8,
       {'a', 0xC3, 0xA9, 0xE3, 0x81, 0x82, 0xF0, 0x9F, 0x98, 0x80, 0xF7, 0xBF, 0xBF, 0xBF},
       {'a', 0xE9, 0x3042, 0x1F600, 0x1FFFFF}},
      // An invalid lead byte is an error carrying it, and only that byte is consumed.
      {TextEncoding::Utf8,
       {0x80, 0xBF, 0xF8, 0xFF, 'x'},
       {kErr | 0x80, kErr | 0xBF, kErr | 0xF8, kErr | 0xFF, 'x'}},
      // U+0000 and C0 80 decode to 0 mid-buffer, as does a cut-off C0 at the end.
      {TextEncoding::Utf8, {0x00, 0xC0, 0x80, 'b', 0xC0}, {0, 0, 'b', 0}},
      {TextEncoding::Utf16LE,
       {0x41, 0x00, 0x42, 0x30, 0x3D, 0xD8, 0x00, 0xDE, 0xFF, 0xDB, 0xFF, 0xDF},
       {'A', 0x3042, 0x1F600, 0x10FFFF}},
      {TextEncoding::Utf16BE,
       {0x00, 0x41, 0xD8, 0x3D, 0xDE, 0x00, 0xD8, 0x3D, 0xDE},
       {'A', 0x1F600, kErr}},
      {TextEncoding::Utf32LE,
       {0x41, 0, 0, 0, 0x00, 0xF6, 0x01, 0x00, 0xFF, 0xFF, 0xFF, 0x7F, 1, 2, 3},
       {'A', 0x1F600, 0x7FFFFFFF, kErr}},
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
      {0xFFFF, "\xEF\xBF\xBF"},
      {0x10000, "\xF0\x90\x80\x80"},
      {0x1FFFFF, "\xF7\xBF\xBF\xBF"},
      {0x200000, ""},
      {0x80000041, ""},
  };
  for (const auto& [codePoint, bytes] : cases) EXPECT_EQ(EncodeUtf8(codePoint), bytes) << codePoint;
}

}  // namespace
}  // namespace quillex
