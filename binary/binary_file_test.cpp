#include "binary/binary_file.h"

#include <gtest/gtest.h>

namespace quillex {
namespace {

// The end-to-end cases pin the text layout byte for byte; indexed pools only differ in kind.
TEST(BinaryFileTest, IndexedPoolSetsPoolKind) {
  MessagePool pool;
  pool.bytes = {0x00, 0x00, 0xFF, 0xFF};
  pool.indexed = true;
  BinaryFileFields fields;
  ASSERT_TRUE(LayOutBinaryFile({0, {}, {}, {}, &pool}, &fields));
  ASSERT_EQ(fields.head.size(), 28u);
  EXPECT_EQ(fields.head[20], 1);
  ASSERT_EQ(fields.middle.size(), 4u);
  EXPECT_EQ(fields.middle[0], 4);
  EXPECT_EQ(fields.tail.size(), 4u);
}

}  // namespace
}  // namespace quillex
