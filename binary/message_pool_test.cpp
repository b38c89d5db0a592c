#include "binary/message_pool.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <string>

namespace quillex {
namespace {

// Loads `csv` (the rows after a header "ID,en,de,fr") into `table`.
void LoadTable(const std::string& csv, MessageTable* table) {
  std::random_device random;
  const std::string path = testing::TempDir() + "quillex_pool_" + std::to_string(random()) + ".csv";
  std::ofstream(path, std::ios::binary) << "ID,en,de,fr\r\n" << csv;
  ASSERT_TRUE(table->Load(path, 0));
  std::remove(path.c_str());
}

// The pool against a plain model: every record's text at its offset, NUL-terminated; an empty
// text of a later language shares the first language's offset and has no bytes of its own.
TEST(MessagePoolTest, TextPoolMatchesModel) {
  std::mt19937 random(3);
  static const std::string kTexts[] = {"", "", "a", "Hi <#red>", "\xE6\xBC\xA2\xE5\xAD\x97",
                                       std::string(70000, 'x')};
  for (int round = 0; round < 50; ++round) {
    std::string csv;
    for (int row = static_cast<int>(random() % 12); row > 0; --row) {
      csv += "M" + std::to_string(random() % 8);
      for (int language = 0; language < 3; ++language) {
        csv += "," + kTexts[random() % std::size(kTexts)];
      }
      csv += "\r\n";
    }
    MessageTable table;
    LoadTable(csv, &table);
    MessagePool pool;
    ASSERT_TRUE(BuildTextPool(table, &pool));
    std::vector<std::uint32_t> offsets;
    ASSERT_TRUE(BuildOffsetPool(table, &pool, &offsets));

    std::string model;
    std::vector<std::size_t> expected(table.messageIds.size() * 3);
    for (std::size_t i = 0; i < 3; ++i) {
      for (std::size_t j = 0; j < table.messageIds.size(); ++j) {
        std::string_view text = table.Text(i, j);
        if (i > 0 && text.empty()) {
          expected[j * 3 + i] = expected[j * 3];
          continue;
        }
        expected[j * 3 + i] = model.size();
        model.append(text).push_back('\0');
      }
    }
    EXPECT_EQ(std::string(pool.bytes.begin(), pool.bytes.end()), model) << csv;
    EXPECT_EQ(std::vector<std::size_t>(offsets.begin(), offsets.end()), expected) << csv;
  }
}

// Pools of 4 GiB cannot be built in a test, but the check only looks at sizes.
TEST(MessagePoolTest, OffsetPoolRefusesWhatDoesNotFit32Bits) {
  EXPECT_TRUE(FitsBinaryFile(1, 1, 0xFFFFFFFFull));
  EXPECT_FALSE(FitsBinaryFile(1, 1, 0x100000000ull));
  // 2^16 languages and 2^14 identifiers: 2^30 offsets, one byte too many for the size field.
  EXPECT_TRUE(FitsBinaryFile(1u << 16, (1u << 14) - 1, 0));
  EXPECT_FALSE(FitsBinaryFile(1u << 16, 1u << 14, 0));
  EXPECT_FALSE(FitsBinaryFile(0x100000000ull, 0, 0));

  MessageTable table;
  table.languages.resize(1);
  table.messageIds.resize(1);
  MessagePool pool;
  pool.offsets = {7};
  pool.bytes.resize(8);
  std::vector<std::uint32_t> offsets;
  ASSERT_TRUE(BuildOffsetPool(table, &pool, &offsets));
  EXPECT_EQ(offsets, (std::vector<std::uint32_t>{7}));
}

}  // namespace
}  // namespace quillex
