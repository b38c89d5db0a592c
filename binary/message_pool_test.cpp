#include "binary/message_pool.h"

#include <gtest/gtest.h>

#include <string>

#include "binary/test_support.h"

namespace quillex {
namespace {

using testing::MakeTable;

std::string PoolText(const MessagePool& pool) {
  return std::string(pool.bytes.begin(), pool.bytes.end());
}

TEST(MessagePoolTest, LaysOutLanguageByLanguageWithOffsets) {
  MessageTable table = MakeTable({"en", "ja"}, {"A", "B"}, {{"Hi", "<b>x</b>"}, {"Yo", "z"}});
  MessagePool pool;
  pool.indexed = true;
  ASSERT_TRUE(BuildTextPool(&table, &pool));
  EXPECT_FALSE(pool.indexed);
  EXPECT_EQ(PoolText(pool), std::string("Hi\0<b>x</b>\0Yo\0z\0", 17));
  EXPECT_EQ(table.messages[0][0].offset, 0u);
  EXPECT_EQ(table.messages[0][1].offset, 3u);
  EXPECT_EQ(table.messages[1][0].offset, 12u);
  EXPECT_EQ(table.messages[1][1].offset, 15u);

  std::vector<std::uint32_t> offsets;
  ASSERT_TRUE(BuildOffsetPool(table, pool.bytes.size(), &offsets));
  // Message-major: the offsets of one message in every language stand together.
  EXPECT_EQ(offsets, (std::vector<std::uint32_t>{0, 12, 3, 15}));
}

TEST(MessagePoolTest, EmptyLaterLanguageSharesFirstLanguageText) {
  // Loading copies the first language into empty cells, so an empty text here means empty in
  // the first language too.
  MessageTable table = MakeTable({"en", "ja", "de"}, {"A", "B"}, {{"", "x"}, {"", "y"}, {"", ""}});
  MessagePool pool;
  ASSERT_TRUE(BuildTextPool(&table, &pool));
  EXPECT_EQ(PoolText(pool), std::string("\0x\0y\0", 5));
  std::vector<std::uint32_t> offsets;
  ASSERT_TRUE(BuildOffsetPool(table, pool.bytes.size(), &offsets));
  EXPECT_EQ(offsets, (std::vector<std::uint32_t>{0, 0, 0, 1, 3, 1}));
}

TEST(MessagePoolTest, NoLanguagesGiveEmptyPools) {
  MessageTable table = MakeTable({}, {"A", "B"}, {});
  MessagePool pool;
  ASSERT_TRUE(BuildTextPool(&table, &pool));
  EXPECT_TRUE(pool.bytes.empty());
  std::vector<std::uint32_t> offsets{7};
  ASSERT_TRUE(BuildOffsetPool(table, 0, &offsets));
  EXPECT_TRUE(offsets.empty());
}

TEST(MessagePoolTest, TextBytesAreKeptWhole) {
  MessageTable table = MakeTable({"en"}, {"A"}, {{std::string("a\0b\r\n\xE3\x81\x82", 8)}});
  MessagePool pool;
  ASSERT_TRUE(BuildTextPool(&table, &pool));
  EXPECT_EQ(PoolText(pool), std::string("a\0b\r\n\xE3\x81\x82\0", 9));
}

TEST(MessagePoolTest, OffsetPoolRefusesWhatDoesNotFit32Bits) {
  MessageTable table = MakeTable({"en"}, {"A"}, {{"x"}});
  std::vector<std::uint32_t> offsets;
  EXPECT_TRUE(BuildOffsetPool(table, 0xFFFFFFFFull, &offsets));
  // A pool of 4 GiB cannot state its size.
  EXPECT_FALSE(BuildOffsetPool(table, 0x100000000ull, &offsets));
  // Nor can an offset beyond 32 bits be stored, whatever the pool claims.
  table.messages[0][0].offset = 0x100000000ull;
  EXPECT_FALSE(BuildOffsetPool(table, 16, &offsets));
  table.messages[0][0].offset = 0xFFFFFFFFull;
  ASSERT_TRUE(BuildOffsetPool(table, 0xFFFFFFFFull, &offsets));
  EXPECT_EQ(offsets, (std::vector<std::uint32_t>{0xFFFFFFFFu}));
}

TEST(MessagePoolTest, OffsetPoolRefusesTableOf4GiB) {
  // 2^16 languages and 2^14 identifiers: 2^30 offsets, one byte too many for the size field.
  // The counts are checked before any record is read, so the records can stay out.
  MessageTable table;
  table.languages.resize(1u << 16);
  table.messageIds.resize(1u << 14);
  std::vector<std::uint32_t> offsets;
  EXPECT_FALSE(BuildOffsetPool(table, 0, &offsets));
}

}  // namespace
}  // namespace quillex
