#include "input/message_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "input/hash.h"
#include "platform/test_temp_dir.h"

namespace quillex {
namespace {

// Languages after an empty header cell, comment rows, fallback texts and the order of
// identifiers show in the files of the end-to-end cases (bin-fallback-and-order among them).
using MessageTableTest = TempDirTest;

// Identifiers in hash order, equal hashes (a repeated identifier) in row order, against a stable
// sort: tables small enough to sort each bucket one by one and large enough for counting passes,
// and the largest (long texts) large enough to be read in parts where there are processors.
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
    const std::string text(rows == 60000 ? 80 : 1, 'x');
    for (int row = 1; row <= rows; ++row) {
      const unsigned kind = random() % 16;
      std::string name;  // empty, a comment or an identifier
      if (kind == 1) name = "#note";
      if (kind > 1) name.append("M").append(std::to_string(random() % range));
      if (!name.empty() && name[0] != '#') expected.push_back({name, HashString(name, seed), row});
      csv.append(name).append(",").append(text).append("\r\n");
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
