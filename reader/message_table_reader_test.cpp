#include "quillex/message_table_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace quillex {
namespace {

using Bytes = std::vector<unsigned char>;

void Put32(Bytes* out, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8)
    out->push_back(static_cast<unsigned char>(value >> shift));
}

// A plain writer of the layout, so that each test states its table in a line.
Bytes MakeTable(std::uint32_t seed, std::uint32_t kind, const std::vector<std::uint32_t>& languages,
                const std::vector<std::uint32_t>& ids, const std::vector<std::uint32_t>& offsets,
                const Bytes& pool) {
  Bytes out;
  Put32(&out, seed);
  Put32(&out, HashString("MessageData", seed));
  Put32(&out, 0);
  Put32(&out, static_cast<std::uint32_t>(languages.size()));
  Put32(&out, static_cast<std::uint32_t>(ids.size()));
  Put32(&out, kind);
  for (std::uint32_t hash : languages) Put32(&out, hash);
  for (std::uint32_t hash : ids) Put32(&out, hash);
  Put32(&out, static_cast<std::uint32_t>(4 * offsets.size()));
  for (std::uint32_t offset : offsets) Put32(&out, offset);
  Put32(&out, static_cast<std::uint32_t>(pool.size()));
  out.insert(out.end(), pool.begin(), pool.end());
  Put32(&out, HashString("EndOfRecord", seed));
  return out;
}

Bytes FromString(const std::string& text) { return Bytes(text.begin(), text.end()); }

constexpr std::uint32_t kEn = HashString("en", kDefaultHashSeed);
constexpr std::uint32_t kJa = HashString("ja", kDefaultHashSeed);
constexpr std::uint32_t kHello = HashString("HELLO", kDefaultHashSeed);

// The two-language example of the format description, byte for byte.
const Bytes kExample = {
    0x3E, 0xC2, 0xF6, 0xA3, 0xBD, 0xAC, 0x68, 0x5A, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00,
    0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFD, 0xF8, 0x8A, 0xCD, 0x67, 0xF0, 0x79, 0xF6,
    0x1E, 0x10, 0x4B, 0x5B, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00,
    0x06, 0x00, 0x00, 0x00, 0x48, 0x69, 0x00, 0x48, 0x69, 0x00, 0xFB, 0x12, 0x9D, 0x6D};

// Three messages in two languages, the second language sharing an empty text.
Bytes TextSample() {
  return MakeTable(7, 0, {HashString("en", 7), HashString("de", 7)}, {1, 5, 0xFFFFFFFF},
                   {0, 3, 3, 3, 4, 8}, FromString(std::string("Hi\0\0Bye\0Tschau\0", 15)));
}

// Two indexed messages in one language.
Bytes UnitSample() {
  return MakeTable(kDefaultHashSeed, 1, {kEn}, {10, 20}, {0, 6},
                   {0x01, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xF1, 0xFF, 0xFF, 0xFF});
}

TEST(MessageTableReaderTest, ReadsTheFormatExample) {
  MessageTableReader table;
  ASSERT_EQ(table.Load(kExample.data(), kExample.size()), ReadStatus::Ok);
  EXPECT_EQ(table.Seed(), kDefaultHashSeed);
  EXPECT_EQ(table.Kind(), PoolKind::Utf8Text);
  EXPECT_EQ(table.LanguageCount(), 2u);
  EXPECT_EQ(table.MessageCount(), 1u);
  std::string_view text;
  ASSERT_TRUE(table.GetText(kJa, kHello, &text));
  EXPECT_EQ(text, "Hi");
  EXPECT_EQ(table.Text(0, 0).data() + 3, table.Text(1, 0).data());
  EXPECT_FALSE(table.GetText(kEn, kHello + 1, &text));
  EXPECT_FALSE(table.GetText(kEn + 1, kHello, &text));
  UnitString units;
  EXPECT_FALSE(table.GetUnits(kEn, kHello, &units));  // wrong pool kind
  EXPECT_EQ(table.Text(2, 0), "");                    // out of range
}

TEST(MessageTableReaderTest, SmallestTableIsEmpty) {
  const Bytes bytes = MakeTable(kDefaultHashSeed, 0, {}, {}, {}, {});
  ASSERT_EQ(bytes.size(), 36u);
  MessageTableReader table;
  ASSERT_EQ(table.Load(bytes.data(), bytes.size()), ReadStatus::Ok);
  EXPECT_EQ(table.FindMessage(0), MessageTableReader::npos);
  EXPECT_EQ(table.FindLanguage(kEn), MessageTableReader::npos);
}

// Two identifiers with one hash are both written, side by side: the table is sound, and the
// look-up finds one of them.
TEST(MessageTableReaderTest, EqualHashesSideBySideLoad) {
  const Bytes bytes = MakeTable(kDefaultHashSeed, 0, {kEn}, {5, 5, 9}, {0, 2, 4},
                                FromString(std::string("A\0B\0C\0", 6)));
  MessageTableReader table;
  ASSERT_EQ(table.Load(bytes.data(), bytes.size()), ReadStatus::Ok);
  EXPECT_EQ(table.MessageCount(), 3u);
  EXPECT_LE(table.FindMessage(5), 1u);
  std::string_view text;
  ASSERT_TRUE(table.GetText(kEn, 9, &text));
  EXPECT_EQ(text, "C");
}

TEST(MessageTableReaderTest, ReportsEachKindOfDamage) {
  const auto seed = kDefaultHashSeed;
  const Bytes hi = FromString(std::string("Hi\0", 3));
  Bytes trailing = kExample;
  trailing.push_back(0);
  Bytes wrongSeed = kExample;
  wrongSeed[0] ^= 1;
  Bytes wrongEnd = kExample;
  wrongEnd.back() ^= 0x80;
  Bytes hugeCount = MakeTable(seed, 0, {}, {}, {}, {});
  hugeCount[12] = 0xFF;  // 255 languages in a file without any
  const struct {
    const char* name;
    Bytes bytes;
    ReadStatus status;
  } cases[] = {
      {"empty", {}, ReadStatus::Truncated},
      {"one byte short", Bytes(kExample.begin(), kExample.end() - 1), ReadStatus::Truncated},
      {"a byte after the end marker", trailing, ReadStatus::TrailingBytes},
      {"seed changed", wrongSeed, ReadStatus::BadStartMarker},
      {"end marker changed", wrongEnd, ReadStatus::BadEndMarker},
      {"pool kind 2", MakeTable(seed, 2, {}, {}, {}, {}), ReadStatus::UnknownPoolKind},
      {"table size for one message too few", MakeTable(seed, 0, {kEn}, {1, 2}, {0}, hi),
       ReadStatus::BadOffsetTableSize},
      {"counts beyond the file", hugeCount, ReadStatus::Truncated},
      {"identifiers out of order", MakeTable(seed, 0, {kEn}, {2, 1}, {0, 0}, hi),
       ReadStatus::UnsortedIdentifiers},
      {"offset at the pool's end", MakeTable(seed, 0, {kEn}, {1}, {3}, hi),
       ReadStatus::OffsetOutsidePool},
      {"offsets but no pool", MakeTable(seed, 0, {kEn}, {1}, {0}, {}),
       ReadStatus::OffsetOutsidePool},
      {"text without its NUL", MakeTable(seed, 0, {kEn}, {1, 2}, {0, 3}, FromString("Hi\0Ho")),
       ReadStatus::UnterminatedString},
      {"odd unit offset", MakeTable(seed, 1, {kEn}, {1}, {1}, {0, 0, 0xFF, 0xFF}),
       ReadStatus::OffsetOutsidePool},
      {"units without 0xFFFF", MakeTable(seed, 1, {kEn}, {1}, {0}, {0x41, 0x00, 0xFF}),
       ReadStatus::UnterminatedString},
      {"0xFFFF across a unit boundary", MakeTable(seed, 1, {kEn}, {1}, {0}, {1, 0xFF, 0xFF, 0}),
       ReadStatus::UnterminatedString},
      {"0xFFFF across a unit boundary at an odd pool's end",
       MakeTable(seed, 1, {kEn}, {1}, {0}, {0x41, 0, 1, 0xFF, 0xFF}),
       ReadStatus::UnterminatedString},
  };
  for (const auto& c : cases) {
    MessageTableReader table;
    EXPECT_EQ(table.Load(c.bytes.data(), c.bytes.size()), c.status) << c.name;
    EXPECT_EQ(table.MessageCount(), 0u) << c.name;
    EXPECT_EQ(table.LanguageCount(), 0u) << c.name;
  }
}

// Reads everything the reader offers; ASan reports any read outside the bytes.
void ReadEverything(const MessageTableReader& table) {
  std::size_t sum = 0;
  for (std::size_t j = 0; j < table.MessageCount(); ++j) {
    EXPECT_EQ(table.FindMessage(table.MessageHash(j)) <= j, true);
    for (std::size_t i = 0; i < table.LanguageCount(); ++i) {
      for (char c : table.Text(i, j)) sum += static_cast<unsigned char>(c);
      const UnitString units = table.Units(i, j);
      for (std::size_t k = 0; k < units.size(); ++k) sum += units[k];
    }
  }
  (void)sum;
}

// Every cut and every flipped bit pattern gives an error or a sound table, never a read outside.
TEST(MessageTableReaderTest, DamagedCopiesNeverReadOutside) {
  for (const Bytes& sample : {kExample, TextSample(), UnitSample()}) {
    for (std::size_t length = 0; length < sample.size(); ++length) {
      const Bytes cut(sample.begin(), sample.begin() + static_cast<std::ptrdiff_t>(length));
      MessageTableReader table;
      EXPECT_NE(table.Load(cut.data(), cut.size()), ReadStatus::Ok) << length;
    }
    for (std::size_t at = 0; at < sample.size(); ++at) {
      for (int flip : {0x01, 0x02, 0x10, 0x80, 0xFF}) {
        Bytes damaged = sample;
        damaged[at] = static_cast<unsigned char>(damaged[at] ^ flip);
        MessageTableReader table;
        if (table.Load(damaged.data(), damaged.size()) == ReadStatus::Ok) ReadEverything(table);
      }
    }
  }
}

}  // namespace
}  // namespace quillex
