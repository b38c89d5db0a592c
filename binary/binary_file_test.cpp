#include "binary/binary_file.h"

#include <gtest/gtest.h>

namespace quillex {
namespace {

// The end-to-end cases pin the text layout byte for byte; indexed pools only differ in kind.
TEST(BinaryFileTest, IndexedPoolSetsPoolKind) {
  MessagePool pool{{0x00, 0x00, 0xFF, 0xFF}, true};
  std::vector<std::uint8_t> bytes;
  ASSERT_TRUE(LayOutBinaryFile({0, {}, {}, {}, &pool}, &bytes));
  ASSERT_EQ(bytes.size(), 40u);
  EXPECT_EQ(bytes[20], 1);
  EXPECT_EQ(bytes[28], 4);
  EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + 32, bytes.begin() + 36),
            (std::vector<std::uint8_t>{0x00, 0x00, 0xFF, 0xFF}));
}

}  // namespace
}  // namespace quillex
