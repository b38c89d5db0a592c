#include "input/file_io.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/test_temp_dir.h"

namespace quillex {
namespace {

using FileIoTest = TempDirTest;

TEST_F(FileIoTest, ReadsWholeFilesOrFails) {
  std::string bytes;
  for (int i = 0; i < 3 * 256; ++i) bytes.push_back(static_cast<char>(i));
  bytes += "\r\n\x1A tail";  // no text-mode translation
  std::string contents = "stale";
  ASSERT_TRUE(ReadWholeFile(Write("all.bin", bytes), &contents));
  EXPECT_EQ(contents, bytes);
  ASSERT_TRUE(ReadWholeFile(Write("empty.csv", ""), &contents));
  EXPECT_EQ(contents, "");
  EXPECT_FALSE(ReadWholeFile(dir / "missing.csv", &contents));
  EXPECT_FALSE(ReadWholeFile(dir, &contents));
}

// Replace files are read this way: larger than one read block, NUL, Ctrl-Z and lone CR kept
// (POSIX text mode translates nothing), and a directory is a failed read, not an empty file.
TEST_F(FileIoTest, ReadsTextFilesInBlocksOrFails) {
  std::string bytes(64 * 1024 - 1, 'a');
  bytes += std::string("\r\n\0\r\n\x1A after\r\r\n\r", 16);  // the first CR LF across two blocks
  std::string contents = "stale";
  ASSERT_TRUE(ReadTextFile(Write("big.h", bytes), &contents));
#ifdef _WIN32
  bytes = std::string(64 * 1024 - 1, 'a') + std::string("\n\0\n\x1A after\r\n\r", 13);
#endif
  EXPECT_TRUE(contents == bytes) << "read " << contents.size() << " bytes, not " << bytes.size();
  ASSERT_TRUE(ReadTextFile(Write("empty.h", ""), &contents));
  EXPECT_EQ(contents, "");
  EXPECT_FALSE(ReadTextFile(dir / "missing.h", &contents));
  EXPECT_FALSE(ReadTextFile(dir, &contents));
}

// A 32-bit size would make files of 2 GiB or more fail or read short.
TEST_F(FileIoTest, SizeQueryCountsBeyondFourGibibytes) {
  platform::Path path = Write("sparse.bin", "");
  const std::uint64_t big = (std::uint64_t{5} << 30) + 3;
  std::error_code error;
  std::filesystem::resize_file(path, big, error);
  if (error) GTEST_SKIP() << "no sparse file here: " << error.message();
  FileHandle file;
  ASSERT_TRUE(OpenFile(&file, path, "rb"));
  std::uint64_t size = 0;
  ASSERT_TRUE(platform::GetStreamSize(file.get(), &size));
  EXPECT_EQ(size, big);
  EXPECT_EQ(std::ftell(file.get()), 0);  // back at the start for the read
}

#ifndef _WIN32
// A regular file that holds less than its stated size, as one cut while it is read does: a failed
// read, not a CSV padded out with what the buffer held. A kernel attribute file states a page and
// holds a few bytes.
TEST_F(FileIoTest, FileShorterThanItsStatedSizeFails) {
  const platform::Path path = "/sys/devices/system/cpu/online";
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error) ||
      std::filesystem::file_size(path, error) < 64 || error) {
    GTEST_SKIP() << "no attribute file that states more than it holds";
  }
  std::string contents;
  EXPECT_FALSE(ReadWholeFile(path, &contents));
}
#endif

TEST_F(FileIoTest, OpenFileReplacesWhatTheSlotHeld) {
  FileHandle slot;
  ASSERT_TRUE(OpenFile(&slot, Write("a.txt", "a"), "rb"));
  ASSERT_TRUE(OpenFile(&slot, Write("b.txt", "b"), "rb"));
  EXPECT_EQ(std::fgetc(slot.get()), 'b');
  EXPECT_FALSE(OpenFile(&slot, dir / "missing.txt", "rb"));
  EXPECT_EQ(slot, nullptr);
}

}  // namespace
}  // namespace quillex
