#include "binary/binary_file.h"

#include <gtest/gtest.h>

#include <string>

#include "binary/message_pool.h"
#include "binary/test_support.h"

namespace quillex {
namespace {

using testing::MakeTable;
using testing::ReadFileBytes;
using testing::ScratchDir;

// Builds the pools as the flow does and lays out the file.
std::string LayOut(MessageTable* table, std::uint32_t seed) {
  MessagePool pool;
  std::vector<std::uint32_t> offsets;
  EXPECT_TRUE(BuildTextPool(table, &pool));
  EXPECT_TRUE(BuildOffsetPool(*table, pool.bytes.size(), &offsets));
  std::vector<std::uint8_t> bytes;
  EXPECT_TRUE(
      LayOutBinaryFile({seed, table->languages, table->messageIds, offsets, &pool}, &bytes));
  return std::string(bytes.begin(), bytes.end());
}

std::string Bytes(std::initializer_list<unsigned> values) {
  std::string bytes;
  for (unsigned value : values) bytes.push_back(static_cast<char>(value));
  return bytes;
}

TEST(BinaryFileTest, TwoLanguagesOneMessage) {
  MessageTable table = MakeTable({"en", "ja"}, {"HELLO"}, {{"Hi"}, {"Hi"}});
  EXPECT_EQ(LayOut(&table, 0xA3F6C23E),
            Bytes({0x3E, 0xC2, 0xF6, 0xA3, 0xBD, 0xAC, 0x68, 0x5A, 0x00, 0x00, 0x00, 0x00, 0x02,
                   0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFD, 0xF8,
                   0x8A, 0xCD, 0x67, 0xF0, 0x79, 0xF6, 0x1E, 0x10, 0x4B, 0x5B, 0x08, 0x00, 0x00,
                   0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00,
                   0x48, 0x69, 0x00, 0x48, 0x69, 0x00, 0xFB, 0x12, 0x9D, 0x6D}));
}

TEST(BinaryFileTest, SeedChangesEveryHashAndMarker) {
  MessageTable table = MakeTable({"en", "ja"}, {"HELLO"}, {{"Hi"}, {"Hi"}}, 1);
  EXPECT_EQ(LayOut(&table, 1),
            Bytes({0x01, 0x00, 0x00, 0x00, 0xA0, 0xF6, 0x60, 0x32, 0x00, 0x00, 0x00, 0x00, 0x02,
                   0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x26, 0x2A,
                   0xF7, 0x6E, 0x30, 0x91, 0x08, 0x82, 0x2F, 0x4F, 0x60, 0xD8, 0x08, 0x00, 0x00,
                   0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00,
                   0x48, 0x69, 0x00, 0x48, 0x69, 0x00, 0xDE, 0xC9, 0xD1, 0x49}));
}

TEST(BinaryFileTest, NoLanguagesNoMessagesIs36Bytes) {
  MessageTable table = MakeTable({}, {}, {});
  EXPECT_EQ(LayOut(&table, 0xA3F6C23E),
            Bytes({0x3E, 0xC2, 0xF6, 0xA3, 0xBD, 0xAC, 0x68, 0x5A, 0,    0,    0,    0,
                   0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,
                   0,    0,    0,    0,    0,    0,    0,    0,    0xFB, 0x12, 0x9D, 0x6D}));
}

TEST(BinaryFileTest, IdentifiersWithoutLanguagesKeepTheirHashes) {
  MessageTable table = MakeTable({}, {"A"}, {});
  std::string file = LayOut(&table, 0xA3F6C23E);
  ASSERT_EQ(file.size(), 40u);
  EXPECT_EQ(file.substr(12, 8), Bytes({0, 0, 0, 0, 1, 0, 0, 0}));
  EXPECT_EQ(file.substr(24, 4), Bytes({0xED, 0x2D, 0x74, 0x9C}));
}

TEST(BinaryFileTest, OddPoolLeavesEndMarkerUnaligned) {
  MessageTable table = MakeTable({"en"}, {"A", "B"}, {{"abc", ""}});
  std::string file = LayOut(&table, 0xA3F6C23E);
  // 36 + 4 * (1 + 2 + 2) + 5
  ASSERT_EQ(file.size(), 61u);
  EXPECT_EQ(file.substr(36, 4), Bytes({8, 0, 0, 0}));
  EXPECT_EQ(file.substr(40, 8), Bytes({0, 0, 0, 0, 4, 0, 0, 0}));
  EXPECT_EQ(file.substr(48, 4), Bytes({5, 0, 0, 0}));
  EXPECT_EQ(file.substr(52, 5), std::string("abc\0\0", 5));
  EXPECT_EQ(file.substr(57), Bytes({0xFB, 0x12, 0x9D, 0x6D}));
}

TEST(BinaryFileTest, IndexedPoolSetsPoolKind) {
  MessagePool pool{{0x00, 0x00, 0xFF, 0xFF}, true};
  std::vector<std::uint8_t> bytes;
  ASSERT_TRUE(LayOutBinaryFile({0, {}, {}, {}, &pool}, &bytes));
  EXPECT_EQ(bytes[20], 1);
}

TEST(BinaryFileTest, WritesFileAndReplacesEarlierOne) {
  ScratchDir dir;
  MessageTable table = MakeTable({"en", "ja"}, {"HELLO"}, {{"Hi"}, {"Hi"}});
  MessagePool pool;
  std::vector<std::uint32_t> offsets;
  ASSERT_TRUE(BuildTextPool(&table, &pool));
  ASSERT_TRUE(BuildOffsetPool(table, pool.bytes.size(), &offsets));
  BinaryImage image{0xA3F6C23E, table.languages, table.messageIds, offsets, &pool};
  { std::ofstream(dir / "msg.bin") << "an earlier, longer file of some other content"; }

  ASSERT_TRUE(WriteBinaryFile(dir / "msg.bin", image));
  std::string file = ReadFileBytes(dir / "msg.bin");
  EXPECT_EQ(file, LayOut(&table, 0xA3F6C23E));
  EXPECT_EQ(dir.Names(), (std::set<std::string>{"msg.bin"}));
}

TEST(BinaryFileTest, UnopenablePathFailsSilently) {
  ScratchDir dir;
  MessagePool pool;
  BinaryImage image{0xA3F6C23E, {}, {}, {}, &pool};
  std::filesystem::create_directory(dir / "msg.bin");

  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(WriteBinaryFile(dir / "missing" / "msg.bin", image));
  EXPECT_FALSE(WriteBinaryFile(dir / "msg.bin", image));  // a directory
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(dir.Names(), (std::set<std::string>{"msg.bin"}));
  EXPECT_TRUE(std::filesystem::is_directory(dir / "msg.bin"));
}

}  // namespace
}  // namespace quillex
