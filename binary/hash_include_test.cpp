#include "binary/hash_include.h"

#include <gtest/gtest.h>

#include <string>

#include "binary/test_support.h"

namespace quillex {
namespace {

using testing::MakeTable;
using testing::ReadFileBytes;
using testing::ScratchDir;

// What WriteHashLines puts on a stream.
template <typename Entry>
std::string Lines(const std::string& indentation, const std::vector<Entry>& entries) {
  std::FILE* out = std::tmpfile();
  EXPECT_NE(out, nullptr);
  WriteHashLines(out, indentation, entries);
  std::string text(static_cast<std::size_t>(std::ftell(out)), '\0');
  std::rewind(out);
  EXPECT_EQ(std::fread(text.data(), 1, text.size(), out), text.size());
  std::fclose(out);
  return text;
}

TEST(HashIncludeTest, LineLayout) {
  MessageTable table = MakeTable({"en", "ja"}, {"HELLO"}, {});
  EXPECT_EQ(Lines("", table.messageIds), "HELLO = 0x5B4B101E,\n");
  EXPECT_EQ(Lines("", table.languages), "en = 0xCD8AF8FD,\nja = 0xF679F067,\n");
  EXPECT_EQ(Lines("    \t", table.languages), "    \ten = 0xCD8AF8FD,\n    \tja = 0xF679F067,\n");
}

TEST(HashIncludeTest, SmallHashKeepsLeadingZeros) {
  std::vector<MessageIdEntry> ids{{"low", 0x00ABCDEF, 1}, {"zero", 0, 2}};
  EXPECT_EQ(Lines("", ids), "low = 0x00ABCDEF,\nzero = 0x00000000,\n");
}

TEST(HashIncludeTest, NamesAreWrittenUnchanged) {
  std::vector<MessageIdEntry> ids{{"a b \xC3\xA9 %s", 0x03B154AA, 1}};
  EXPECT_EQ(Lines("", ids), "a b \xC3\xA9 %s = 0x03B154AA,\n");
}

TEST(HashIncludeTest, WritesFilesThroughTemporaryFile) {
  ScratchDir dir;
  MessageTable table = MakeTable({"en"}, {}, {}, 1);
  { std::ofstream(dir / "msg_id_hash.inc") << "old"; }
  ASSERT_TRUE(WriteHashInclude(dir / "msg_id_hash.inc", table.messageIds));
  ASSERT_TRUE(WriteHashInclude(dir / "msg_lang_hash.inc", table.languages));
  EXPECT_EQ(ReadFileBytes(dir / "msg_id_hash.inc"), "");
  EXPECT_EQ(ReadFileBytes(dir / "msg_lang_hash.inc"), "en = 0x6EF72A26,\n");
  EXPECT_EQ(dir.Names(), (std::set<std::string>{"msg_id_hash.inc", "msg_lang_hash.inc"}));

  EXPECT_FALSE(WriteHashInclude(dir / "missing" / "x.inc", table.languages));
}

}  // namespace
}  // namespace quillex
