#include "binary/indexed_pool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <numeric>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "binary/test_message_table.h"
#include "input/text_decoder.h"
#include "markup/markup_parser.h"

namespace quillex {
namespace {

using Units = std::vector<std::uint16_t>;

Units ToUnits(const std::vector<std::uint8_t>& bytes) {
  Units units;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    units.push_back(static_cast<std::uint16_t>(bytes[i] | bytes[i + 1] << 8));
  }
  return units;
}

struct Encoded {
  bool ok = false;
  Units units;
  std::string stderrText;
};

// Builds the pool that BuildIndexedPool holds, and checks that the path of binary output (counting
// plans the layout, only reporting messages are encoded ahead, the rest as the file is written)
// prints the same lines, fails alike and writes the same bytes at the same offsets, also with
// its work shared out among `workers` threads and written in bands of up to `blockBytes`, in
// order or placed.
Encoded Encode(MessageTable* table, IndexingMode mode, MessagePool* pool, std::size_t workers = 1,
               std::uint64_t blockBytes = kIndexedPoolBlockBytes) {
  CharacterTables tables;
  EXPECT_TRUE(BuildCharacterTables(*table, mode, &tables));
  Encoded result;
  ::testing::internal::CaptureStderr();
  result.ok = BuildIndexedPool(*table, mode, tables, pool);
  result.stderrText = ::testing::internal::GetCapturedStderr();
  result.units = ToUnits(pool->bytes);

  CharacterTables plannedTables;
  IndexedPoolPlan plan;
  EXPECT_TRUE(BuildCharacterTables(*table, mode, &plannedTables, {}, &plan, workers));
  plan.blockBytes = blockBytes;
  MessagePool planned;
  ::testing::internal::CaptureStderr();
  const bool plannedOk = PlanIndexedPool(*table, mode, plannedTables, &plan, &planned);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), result.stderrText);
  EXPECT_EQ(plannedOk, result.ok);
  if (plannedOk && result.ok) {
    EXPECT_EQ(planned.offsets, pool->offsets);
    EXPECT_EQ(PoolSize(planned), pool->bytes.size());
    std::string written;
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(
        planned.produce(planned.offsets, [&written](std::string_view piece) { written += piece; }));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(written, std::string(pool->bytes.begin(), pool->bytes.end()));
    // Placed, every byte comes once, inside the pool.
    std::string placed(pool->bytes.size(), '\0');
    std::vector<bool> covered(pool->bytes.size());
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(planned.producePlaced(
        planned.offsets, [&placed, &covered](std::uint64_t offset, std::string_view piece) {
          ASSERT_LE(offset + piece.size(), placed.size());
          for (std::size_t k = 0; k < piece.size(); ++k) {
            EXPECT_FALSE(covered[offset + k]) << "placed twice: " << offset + k;
            covered[offset + k] = true;
          }
          placed.replace(offset, piece.size(), piece);
        }));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(std::count(covered.begin(), covered.end(), false), 0);
    EXPECT_EQ(placed, written);
  }
  return result;
}

// The markup examples' fields and tags show in their end-to-end case; these are the others.
TEST(IndexedPoolTest, SubstitutionFields) {
  struct Case {
    const char* field;
    Units units;
  } cases[] = {
      {"{300}", {0xE02C}},  // the index keeps its low byte
      {"{.3}", {0xE203}},        {"{x4}", {0xE404, 0xE510}},
      {"{.0}", {0xE200}},        {"{x1}", {0xE401, 0xE510}},  // the smallest given values
      {"{+,~}", {0xE507}},       {"{1f*<4.2+}", {0xE001, 0xE1FC, 0xE32A, 0xE202, 0xE501}},
      {"{f\xC3\xA9}", {0xE3C3}},  // a non-ASCII fill byte stays inside its field
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.field);
    MsgNodeList nodes;
    ParseMarkup(c.field, &nodes);
    ASSERT_EQ(nodes.size(), 1u);
    std::vector<std::uint8_t> pool;
    EncodeSubstitution(static_cast<const SubstMsgNode&>(*nodes[0]).spec, &pool);
    EXPECT_EQ(ToUnits(pool), c.units);
  }
}

// Random tables of tricky texts, some cells falling back to the first language's very text:
// counting once per shared text (times the languages that share it, under one table for all)
// gives the counts of counting each message alone, and the planned pool (checked by Encode
// against BuildIndexedPool) prints, fails and writes alike. Some tables have more languages than
// a band takes together: each language's part is then placed whole, in bands of its own, and
// fallbacks are encoded again rather than copied.
TEST(IndexedPoolTest, PlannedPoolMatchesEncodingEachMessage) {
  const std::vector<std::string> pieces = {"ab",
                                           "\xC3\xA9t\xC3\xA9",
                                           "\xE6\xBC\xA2",
                                           "\xF0\x9F\x98\x80",
                                           "\r\n",
                                           "\xFF",
                                           "\xE6\xBC",
                                           "{0}",
                                           "{f0>8X}",
                                           "{{",
                                           "<<",
                                           "<#red>",
                                           "<#Red>",
                                           "</#>",
                                           "</$>",
                                           "</>",
                                           "</q>",
                                           "<$bold>",
                                           "<$italic>",
                                           "<@a:b>",
                                           "<@\xE6\xBC\xA2=x>",
                                           "1 < 2",
                                           "{",
                                           "<@a",
                                           std::string("n\0<#red>", 8)};
  std::mt19937 random(13);
  auto pick = [&random](std::size_t count) {
    return std::uniform_int_distribution<std::size_t>(0, count - 1)(random);
  };
  for (int round = 0; round < 300; ++round) {
    SCOPED_TRACE(round);
    const bool many = round % 75 == 74;  // with 3 workers, in bands of 1, 6, 40 and all bytes
    const std::size_t languageCount = many ? 70 : 1 + pick(4);
    const std::size_t idCount = many ? 5 : pick(7);  // none too: a header without messages
    const std::size_t workers = 1 + round % 3;       // more than messages at times
    // Bands of one message each, of a few, and of the whole pool.
    const std::uint64_t blockBytes = std::array<std::uint64_t, 4>{
        1, 6, 40, kIndexedPoolBlockBytes}[static_cast<std::size_t>(round / 3) % 4];
    std::vector<std::string> languages;
    std::vector<std::vector<std::string>> texts(languageCount);
    for (std::size_t i = 0; i < languageCount; ++i) {
      languages.push_back(std::string("l").append(std::to_string(i)));
      for (std::size_t j = 0; j < idCount; ++j) {
        std::string text;
        for (std::size_t k = pick(5); k > 0; --k) text += pieces[pick(many ? 8 : pieces.size())];
        texts[i].push_back(text);
      }
    }
    MessageTable table;
    MakeTable(&table, languages, texts);
    // Rows in another order than the identifiers, as hashing leaves them: each band sorts its own.
    std::vector<std::int32_t> rows(idCount);
    std::iota(rows.begin(), rows.end(), 1);
    std::shuffle(rows.begin(), rows.end(), random);
    for (std::size_t j = 0; j < idCount; ++j) table.messageIds[j].row = rows[j];
    for (std::size_t i = 1; i < languageCount; ++i) {
      for (std::size_t j = 0; j < idCount; ++j) {
        if (pick(3) == 0) table.messages[i][j].text = table.messages[0][j].text;
      }
    }
    for (IndexingMode mode : {IndexingMode::PerLanguage, IndexingMode::AllLanguages}) {
      CharacterTables model;
      MarkupNodes markup;
      for (std::size_t i = 0; i < languageCount; ++i) {
        CharacterTable& counted = model[std::string(CharacterTableKey(mode, languages[i]))];
        for (std::size_t j = 0; j < idCount; ++j) {
          ParseMarkup(table.Text(i, j), &markup);
          CountCharacters(markup, &counted);
        }
      }
      CharacterTables tables;
      IndexedPoolPlan plan;
      ::testing::internal::CaptureStderr();  // lists too large to index cannot occur here
      ASSERT_TRUE(BuildCharacterTables(table, mode, &tables, {}, &plan, workers));
      ::testing::internal::GetCapturedStderr();
      for (auto& [key, modelTable] : model) {
        ASSERT_TRUE(tables.contains(key));
        const CharacterTable& counted = tables.at(key);
        ASSERT_EQ(counted.size(), modelTable.size());
        for (auto& [typeface, list] : modelTable) {
          list.Number();
          ASSERT_TRUE(counted.contains(typeface));
          const auto& got = counted.at(typeface).Characters();
          ASSERT_EQ(got.size(), list.Characters().size());
          for (std::size_t c = 0; c < got.size(); ++c) {
            EXPECT_EQ(got[c].code, list.Characters()[c].code);
            EXPECT_EQ(got[c].useCount, list.Characters()[c].useCount);
          }
        }
      }
      MessagePool pool;
      // The tables of many languages take texts of the first pieces, which every list can encode.
      EXPECT_TRUE(Encode(&table, mode, &pool, workers, blockBytes).ok || !many);
    }
  }
}

// A layout the encoder disagrees with, one offset a unit off either way (going back, or leaving
// a message too short or too long), is refused before anything lands outside the pool.
TEST(IndexedPoolTest, MovedOffsetIsRefused) {
  MessageTable table;
  MakeTable(&table, {"en", "fr", "de"},
            {{"ab", "<#red>c", "d{0}"}, {"", "\xC3\xA9", "gh"}, {"i", "", "<$bold>jk"}});
  table.messages[1][0].text = table.messages[0][0].text;
  table.messages[2][1].text = table.messages[0][1].text;
  for (IndexingMode mode : {IndexingMode::PerLanguage, IndexingMode::AllLanguages}) {
    CharacterTables tables;
    IndexedPoolPlan plan;
    ASSERT_TRUE(BuildCharacterTables(table, mode, &tables, {}, &plan));
    const std::vector<std::uint8_t> verbatim = plan.verbatim;
    MessagePool pool;
    ASSERT_TRUE(PlanIndexedPool(table, mode, tables, &plan, &pool));
    const std::uint64_t poolSize = PoolSize(pool);
    for (std::uint64_t blockBytes : {std::uint64_t{1}, std::uint64_t{6}, kIndexedPoolBlockBytes}) {
      auto produce = [&](std::span<const std::uint32_t> offsets, bool placed) {
        std::string bytes(poolSize, '\0');
        auto write = [&bytes](std::string_view piece) { bytes += piece; };
        auto place = [&](std::uint64_t offset, std::string_view piece) {
          EXPECT_LE(offset + piece.size(), poolSize);
          if (offset + piece.size() <= poolSize) bytes.replace(offset, piece.size(), piece);
        };
        if (!placed) bytes.clear();
        const bool produced = WriteIndexedPool(table, mode, tables, offsets, poolSize, verbatim,
                                               placed ? nullptr : PoolWriter(write),
                                               placed ? PoolPlacer(place) : nullptr, 2, blockBytes);
        EXPECT_LE(bytes.size(), poolSize);
        return produced;
      };
      for (bool placed : {false, true}) {
        ASSERT_TRUE(produce(pool.offsets, placed));
        for (std::size_t entry = 0; entry < pool.offsets.size(); ++entry) {
          for (std::int64_t shift : {-2, 2}) {
            std::vector<std::uint32_t> moved = pool.offsets;
            moved[entry] = static_cast<std::uint32_t>(moved[entry] + shift);
            EXPECT_FALSE(produce(moved, placed)) << entry << " " << shift << " " << blockBytes;
          }
        }
      }
    }
  }
}

// With several workers a band is handed over while the next is encoded: a writer slower than
// the encoding must still get each band as it was encoded, in order and placed.
TEST(IndexedPoolTest, SlowWriterGetsEveryBandAsEncoded) {
  const std::vector<std::string> languages = {"en", "fr", "ja"};
  std::vector<std::vector<std::string>> texts(languages.size());
  for (std::size_t i = 0; i < languages.size(); ++i) {
    for (std::size_t j = 0; j < 300; ++j) {
      texts[i].push_back(std::string("m").append(std::to_string(i * 1000 + j)) +
                         (j % 4 == 0 ? "<#red>\xC3\xA9" : ""));
    }
  }
  MessageTable table;
  MakeTable(&table, languages, texts);
  auto slowly = [] { std::this_thread::sleep_for(std::chrono::microseconds(300)); };
  for (IndexingMode mode : {IndexingMode::PerLanguage, IndexingMode::AllLanguages}) {
    CharacterTables tables;
    MessagePool whole;
    ASSERT_TRUE(BuildCharacterTables(table, mode, &tables));
    ASSERT_TRUE(BuildIndexedPool(table, mode, tables, &whole));
    const std::string expected(whole.bytes.begin(), whole.bytes.end());

    CharacterTables plannedTables;
    IndexedPoolPlan plan;
    ASSERT_TRUE(BuildCharacterTables(table, mode, &plannedTables, {}, &plan, 2));
    plan.blockBytes = 2000;  // bands of a few hundred bytes
    MessagePool planned;
    ASSERT_TRUE(PlanIndexedPool(table, mode, plannedTables, &plan, &planned));
    std::string written;
    ASSERT_TRUE(planned.produce(planned.offsets, [&](std::string_view piece) {
      slowly();
      written += piece;
    }));
    EXPECT_EQ(written, expected);
    std::string placed(expected.size(), '\0');
    ASSERT_TRUE(
        planned.producePlaced(planned.offsets, [&](std::uint64_t offset, std::string_view piece) {
          slowly();
          ASSERT_LE(offset + piece.size(), placed.size());
          placed.replace(offset, piece.size(), piece);
        }));
    EXPECT_EQ(placed, expected);
  }
}

// Look-ups must not scan the lists: 40 messages over 50 000 characters take milliseconds with a
// hash and minutes with a scan, past the test's time limit.
TEST(IndexedPoolTest, LargeListsEncodeInLinearTime) {
  std::string text;
  for (std::uint32_t code = 0x20000; code < 0x20000 + 50000; ++code) AppendUtf8(&text, code);
  MessageTable table;
  MakeTable(&table, {"en"}, {std::vector<std::string>(40, text)});
  MessagePool pool;
  Encoded result = Encode(&table, IndexingMode::AllLanguages, &pool);
  ASSERT_TRUE(result.ok);
  ASSERT_EQ(result.units.size(), 40u * 50001u);
  EXPECT_EQ(result.units[49999], 49999);
  EXPECT_EQ(result.units[50000], 0xFFFF);
}

}  // namespace
}  // namespace quillex
