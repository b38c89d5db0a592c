#include "input/message_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "input/hash.h"

namespace quillex {
namespace {

class MessageTableTest : public ::testing::Test {
 protected:
  ~MessageTableTest() override { std::filesystem::remove(path); }

  // Writes `csv` to a file of this test and loads it; returns what the load printed on stderr.
  std::string Load(const std::string& csv, std::uint32_t seed = kDefaultHashSeed) {
    std::ofstream(path, std::ios::binary) << csv;
    ::testing::internal::CaptureStderr();
    loaded = table.Load(path, seed);
    return ::testing::internal::GetCapturedStderr();
  }

  std::vector<std::string> Ids() const {
    std::vector<std::string> names;
    for (const MessageIdEntry& id : table.messageIds) names.push_back(id.name);
    return names;
  }

  std::size_t Position(const std::string& id) const {
    std::size_t j = 0;
    while (table.messageIds[j].name != id) ++j;
    return j;
  }

  const MessageRecord& Record(std::size_t language, const std::string& id) const {
    return table.messages[language][Position(id)];
  }

  const std::filesystem::path path =
      std::filesystem::path(::testing::TempDir()) /
      (std::string("quillex_") + ::testing::UnitTest::GetInstance()->current_test_info()->name() +
       ".csv");
  MessageTable table;
  bool loaded = false;
};

TEST_F(MessageTableTest, LanguagesIdentifiersAndFallback) {
  EXPECT_EQ(Load("ID,en,,ja\r\n"
                 "\xC3\xA9,<#red>Hi,x,\r\n"
                 "B,Bye,y,Tschau\r\n"
                 "C,,z,Ciao\r\n"),
            "");
  ASSERT_TRUE(loaded);
  ASSERT_EQ(table.languages.size(), 2u);
  EXPECT_EQ(table.languages[0].name, "en");
  EXPECT_EQ(table.languages[0].hash, 0xCD8AF8FDu);
  EXPECT_EQ(table.languages[0].column, 1);
  EXPECT_EQ(table.languages[1].name, "ja");
  EXPECT_EQ(table.languages[1].column, 3);
  EXPECT_EQ(Record(0, "\xC3\xA9").text, "<#red>Hi");
  EXPECT_EQ(table.messageIds[Position("\xC3\xA9")].hash, 0x03B154AAu);  // sign-extended bytes
  EXPECT_EQ(table.messageIds[Position("\xC3\xA9")].row, 1);

  // A missing translation takes the first language's text and parses it again for itself.
  const MessageRecord& fallback = Record(1, "\xC3\xA9");
  EXPECT_EQ(fallback.text, "<#red>Hi");
  ASSERT_EQ(fallback.nodes.size(), 2u);
  EXPECT_EQ(fallback.nodes[0]->Dump(), "Color: \"red\"");
  EXPECT_NE(fallback.nodes[0].get(), Record(0, "\xC3\xA9").nodes[0].get());
  EXPECT_EQ(Record(1, "B").text, "Tschau");
  // An empty first language stays empty.
  EXPECT_EQ(Record(0, "C").text, "");
  EXPECT_TRUE(Record(0, "C").nodes.empty());
  EXPECT_EQ(Record(1, "C").text, "Ciao");
  EXPECT_EQ(Record(0, "C").offset, 0u);
}

TEST_F(MessageTableTest, CommentRowsAndTrailingRecordAreSkipped) {
  EXPECT_EQ(Load("ID,en\r\n#note,a\r\n,b\r\n #note,c\r\nA,d\r\n"), "");
  ASSERT_TRUE(loaded);
  std::vector<std::string> ids = Ids();
  std::sort(ids.begin(), ids.end());
  EXPECT_EQ(ids, std::vector<std::string>({" #note", "A"}));
  EXPECT_EQ(Record(0, " #note").text, "c");
}

TEST_F(MessageTableTest, HeaderOnly) {
  EXPECT_EQ(Load("ID,en,ja\r\n"), "");
  ASSERT_TRUE(loaded);
  EXPECT_TRUE(table.messageIds.empty());
  ASSERT_EQ(table.messages.size(), 2u);
  EXPECT_TRUE(table.messages[0].empty());
  EXPECT_TRUE(table.messages[1].empty());
}

TEST_F(MessageTableTest, DuplicateIdentifierWithoutLanguages) {
  EXPECT_EQ(Load("ID,,\r\nA\r\nA\r\n"),
            "Error: Hash value collision detected: A = A (0x9C742DED)\n");
  EXPECT_TRUE(loaded);  // reported, not a failure
  EXPECT_EQ(Ids(), std::vector<std::string>({"A", "A"}));
  EXPECT_TRUE(table.languages.empty());
  EXPECT_TRUE(table.messages.empty());
}

TEST_F(MessageTableTest, EqualHashesKeepCsvOrder) {
  std::string csv = "ID,en\r\n";
  for (int i = 0; i < 40; ++i) csv += i % 2 ? "A,\r\n" : "B,\r\n";
  std::string errors = Load(csv);
  EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 38);  // one per neighbouring pair
  for (std::size_t j = 1; j < table.messageIds.size(); ++j) {
    if (table.messageIds[j].name == table.messageIds[j - 1].name) {
      EXPECT_LT(table.messageIds[j - 1].row, table.messageIds[j].row);
    }
  }
  // Two different identifiers with the same hash under the default seed.
  const std::string line = "Error: Hash value collision detected: ";
  EXPECT_EQ(Load("ID,en\r\nSGQLSFG,1\r\nIFOWMQV,2\r\n"), line + "SGQLSFG = IFOWMQV (0x2CEE8729)\n");
  EXPECT_EQ(Ids(), std::vector<std::string>({"SGQLSFG", "IFOWMQV"}));
  EXPECT_EQ(Load("ID,en\r\nIFOWMQV,2\r\nSGQLSFG,1\r\n"), line + "IFOWMQV = SGQLSFG (0x2CEE8729)\n");
  EXPECT_EQ(Ids(), std::vector<std::string>({"IFOWMQV", "SGQLSFG"}));
  EXPECT_EQ(table.messages[0][0].text, "2");
}

TEST_F(MessageTableTest, SortsByUnsignedHash) {
  // Under this seed "a" hashes to 0x00000001, "d" to 0x030004BA and "b" to 0xFCFFFB48.
  EXPECT_EQ(Load("ID,en\r\nb,1\r\na,2\r\nd,3\r\n", 0x359C44FAu), "");
  EXPECT_EQ(Ids(), std::vector<std::string>({"a", "d", "b"}));
  EXPECT_EQ(table.messageIds[0].hash, 1u);
  EXPECT_EQ(table.messageIds[2].hash, 0xFCFFFB48u);
  EXPECT_EQ(table.messages[0][2].text, "1");
}

TEST_F(MessageTableTest, UnreadableFileFailsSilently) {
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(table.Load(path.string() + ".missing", kDefaultHashSeed));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

}  // namespace
}  // namespace quillex
