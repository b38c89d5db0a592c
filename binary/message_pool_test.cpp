#include "binary/message_pool.h"

#include <gtest/gtest.h>

namespace quillex {
namespace {

// Pools of 4 GiB cannot be built in a test, but the checks only look at sizes and offsets.
TEST(MessagePoolTest, OffsetPoolRefusesWhatDoesNotFit32Bits) {
  MessageTable table;
  table.languages.resize(1);
  table.messageIds.resize(1);
  table.messages.resize(1);
  table.messages[0].resize(1);
  std::vector<std::uint32_t> offsets;
  EXPECT_TRUE(BuildOffsetPool(table, 0xFFFFFFFFull, &offsets));
  EXPECT_FALSE(BuildOffsetPool(table, 0x100000000ull, &offsets));
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
