#include "input/message_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "input/hash.h"
#include "platform/test_temp_dir.h"

namespace quillex {
namespace {

// Collisions, comment rows, the order of identifiers and the fallback texts show in the files of
// the end-to-end cases; this covers what the files do not show.
using MessageTableTest = TempDirTest;

TEST_F(MessageTableTest, EntriesAndFallbackNodes) {
  const auto path = Write("messages.csv", "ID,en,,ja\r\n#c,x\r\nB,<#red>Hi,y,\r\nC,,z,Ciao\r\n");
  MessageTable table;
  ASSERT_TRUE(table.Load(path, 1));
  std::filesystem::remove(path);

  ASSERT_EQ(table.languages.size(), 2u);
  EXPECT_EQ(table.languages[1].name, "ja");
  EXPECT_EQ(table.languages[1].hash, HashString("ja", 1));
  EXPECT_EQ(table.languages[1].column, 3);
  ASSERT_EQ(table.messageIds.size(), 2u);
  const std::size_t b = table.messageIds[0].name == "B" ? 0 : 1, c = 1 - b;
  EXPECT_EQ(table.messageIds[b].hash, HashString("B", 1));
  EXPECT_EQ(table.messageIds[b].row, 2);

  // A missing translation takes the first language's text.
  EXPECT_TRUE(table.messages.empty());  // records only for the output that reads them
  EXPECT_EQ(table.Text(1, b), "<#red>Hi");
  EXPECT_EQ(table.Text(0, c), "");
  EXPECT_EQ(table.Text(1, c), "Ciao");
  table.ResolveTexts();
  EXPECT_EQ(table.messages[1][b].text, "<#red>Hi");
  // An empty first language stays empty.
  EXPECT_EQ(table.messages[0][c].text, "");
  EXPECT_EQ(table.messages[1][c].text, "Ciao");

  EXPECT_FALSE(table.Load(path, 1));
  EXPECT_EQ(table.languages.size(), 2u);  // left as it was
}

// Identifiers in hash order, equal hashes (a repeated identifier) in row order, against a stable
// sort: tables small enough to sort each bucket one by one and large enough for counting passes.
TEST_F(MessageTableTest, IdentifiersSortByHashKeepingRowOrder) {
  std::mt19937 random(7);
  for (const int rows : {0, 1, 2, 33, 700, 20000, 60000}) {
    const std::uint32_t seed = random();
    const int range = rows % 2 == 0 ? rows / 3 + 1 : 1 << 30;  // repeats, or hardly any
    std::string csv = "ID,en\r\n";
    struct Expected {
      std::string name;
      std::uint32_t hash;
      std::int32_t row;
    };
    std::vector<Expected> expected;
    for (int row = 1; row <= rows; ++row) {
      const unsigned kind = random() % 16;
      std::string name = kind == 0   ? ""
                         : kind == 1 ? "#note"
                                     : "M" + std::to_string(random() % range);
      if (!name.empty() && name[0] != '#') expected.push_back({name, HashString(name, seed), row});
      csv += name + ",x\r\n";
    }
    std::stable_sort(expected.begin(), expected.end(),
                     [](const Expected& a, const Expected& b) { return a.hash < b.hash; });
    MessageTable table;
    ASSERT_TRUE(table.Load(Write("messages.csv", csv), seed));
    ASSERT_EQ(table.messageIds.size(), expected.size()) << rows;
    for (std::size_t j = 0; j < expected.size(); ++j) {
      const MessageIdEntry& id = table.messageIds[j];
      ASSERT_EQ(id.row, expected[j].row) << rows << " rows, position " << j;
      ASSERT_EQ(id.hash, expected[j].hash);
      ASSERT_EQ(id.name, expected[j].name);
    }
  }
}

}  // namespace
}  // namespace quillex
