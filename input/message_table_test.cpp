#include "input/message_table.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

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

}  // namespace
}  // namespace quillex
