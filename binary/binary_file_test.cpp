#include "binary/binary_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace quillex {
namespace {

// A pool made while the file is written that disagrees with the offsets already written leaves the
// file as it was, and the run says why.
TEST(BinaryFileTest, PoolThatDisagreesWithItsLayoutIsNotCommitted) {
  const std::filesystem::path path = testing::TempDir() + "quillex_disagreeing_pool.bin";
  std::ofstream(path, std::ios::binary) << "before";
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
  std::ifstream file(path, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), "before");
  file.close();
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace quillex
