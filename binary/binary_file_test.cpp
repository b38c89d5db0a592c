#include "binary/binary_file.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/test_temp_dir.h"

namespace quillex {
namespace {

using BinaryFileTest = TempDirTest;

// A pool made while the file is written that disagrees with the offsets already written leaves the
// file as it was, and the run says why.
TEST_F(BinaryFileTest, PoolThatDisagreesWithItsLayoutIsNotCommitted) {
  const auto path = Write("msg.bin", "before");
  MessagePool pool;
  pool.producedSize = 4;
  pool.produce = [](std::span<const std::uint32_t>, const PoolWriter& write) {
    write("ab");
    return false;
  };
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(WriteBinaryFile(path, {0, {}, {}, {}, &pool}));
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("Output buffer overflow detected."),
            std::string::npos);
  EXPECT_EQ(Read("msg.bin"), "before");
}

}  // namespace
}  // namespace quillex
