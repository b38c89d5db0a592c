// What the tool writes, the applications' reader reads back: random catalogs through the binary
// generator, then every (language, identifier) pair through the reader.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "binary/binary_generator.h"
#include "platform/test_temp_dir.h"
#include "quillex/message_table_reader.h"

namespace quillex {
namespace {

struct Catalog {
  std::vector<std::string> languages;
  std::vector<std::string> ids;
  std::vector<std::vector<std::string>> cells;  // [id][language]; "" is a missing translation
};

// Text with what makes CSV and markup hard: separators, quotes, line breaks, tags, non-ASCII.
std::string RandomText(std::mt19937& random, bool markup) {
  static const std::vector<std::string> plain = {
      "a", "Z", " ", ",", "\"", "\n", "\r\n", "é", "こんにちは", "\xF0\x9F\x98\x80", "#", ">"};
  static const std::vector<std::string> pieces = {"a",    "Z",          " ",
                                                  ",",    "\"",         "\n",
                                                  "\r\n", "<#red>",     "</>",
                                                  "{0}",  "{",          "<@漢字:かんじ>",
                                                  "é",    "こんにちは", "\xF0\x9F\x98\x80",
                                                  "#"};
  const std::vector<std::string>& from = markup ? pieces : plain;
  std::string text;
  const int length = static_cast<int>(random() % 6);
  for (int k = 0; k < length; ++k) text += from[random() % from.size()];
  return text;
}

Catalog RandomCatalog(std::mt19937& random, bool markup = true) {
  Catalog catalog;
  const int languages = static_cast<int>(random() % 4);
  for (int i = 0; i < languages; ++i)
    catalog.languages.push_back(std::string("lang").append(std::to_string(i)));
  const int ids = static_cast<int>(random() % 30);
  for (int j = 0; j < ids; ++j) {
    catalog.ids.push_back(std::string(j % 7 == 3 ? "Ü_" : "ID_").append(std::to_string(j)));
    std::vector<std::string> row;
    // A third of the cells are missing, the first language's included.
    for (int i = 0; i < languages; ++i)
      row.push_back(random() % 3 == 0 ? "" : RandomText(random, markup));
    catalog.cells.push_back(row);
  }
  return catalog;
}

std::string Quote(const std::string& field) {
  std::string out = "\"";
  for (char c : field) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

std::string ToCsv(const Catalog& catalog) {
  std::string csv = "ID";
  for (const std::string& language : catalog.languages) csv.append(",").append(Quote(language));
  csv += "\r\n#comment row,x\r\n";
  for (std::size_t j = 0; j < catalog.ids.size(); ++j) {
    csv += Quote(catalog.ids[j]);
    for (const std::string& cell : catalog.cells[j]) csv.append(",").append(Quote(cell));
    csv += "\r\n";
  }
  return csv;
}

// The text the application should see: a missing translation takes the first language's.
std::string Expected(const Catalog& catalog, std::size_t j, std::size_t i) {
  const std::string& cell = catalog.cells[j][i];
  return cell.empty() ? catalog.cells[j][0] : cell;
}

class RoundTripTest : public TempDirTest {
 protected:
  // Runs the generator on `catalog`; false when it failed.
  bool Generate(const Catalog& catalog, std::uint32_t seed, BinaryGenerator* generator,
                IndexingMode indexing = IndexingMode::NoIndexing) {
    ::testing::internal::CaptureStdout();
    const bool generated = generator->Generate({.inputPath = Write("messages.csv", ToCsv(catalog)),
                                                .outputDirectory = dir,
                                                .prefix = "msg",
                                                .replaceFiles = {},
                                                .indexing = indexing,
                                                .hashSeed = seed});
    ::testing::internal::GetCapturedStdout();
    return generated;
  }
};

constexpr std::uint32_t kSeeds[] = {kDefaultHashSeed, 0, 1, 0xFFFFFFFF, 0x13579BDF};

TEST_F(RoundTripTest, EveryTextReadsBackAfterTheFallback) {
  std::mt19937 random(20261206);
  for (std::uint32_t seed : kSeeds) {
    for (int round = 0; round < 8; ++round) {
      const Catalog catalog = RandomCatalog(random);
      BinaryGenerator generator;
      ASSERT_TRUE(Generate(catalog, seed, &generator));
      const std::string bytes = Read("msg.bin");
      MessageTableReader table;
      ASSERT_EQ(table.Load(bytes.data(), bytes.size()), ReadStatus::Ok) << ToCsv(catalog);
      EXPECT_EQ(table.Seed(), seed);
      EXPECT_EQ(table.Kind(), PoolKind::Utf8Text);
      ASSERT_EQ(table.MessageCount(), catalog.ids.size());
      for (std::size_t j = 0; j < catalog.ids.size(); ++j) {
        for (std::size_t i = 0; i < catalog.languages.size(); ++i) {
          std::string_view text;
          ASSERT_TRUE(table.GetText(HashString(catalog.languages[i], seed),
                                    HashString(catalog.ids[j], seed), &text));
          EXPECT_EQ(text, Expected(catalog, j, i)) << catalog.ids[j] << " in " << i;
        }
      }
      EXPECT_EQ(table.FindMessage(HashString("#comment row", seed)), MessageTableReader::npos);
    }
  }
}

// Indexed tables: every character unit is the index of its character in the table the tool
// built for the language, line breaks are 0xFFF0. Plain texts, so that every unit is one of those.
TEST_F(RoundTripTest, UnitStringsReadBackAsTheirCharacters) {
  std::mt19937 random(7);
  for (IndexingMode mode : {IndexingMode::PerLanguage, IndexingMode::AllLanguages}) {
    for (std::uint32_t seed : kSeeds) {
      const Catalog catalog = RandomCatalog(random, /*markup=*/false);
      BinaryGenerator generator;
      ASSERT_TRUE(Generate(catalog, seed, &generator, mode));
      const std::string bytes = Read("msg.bin");
      MessageTableReader table;
      ASSERT_EQ(table.Load(bytes.data(), bytes.size()), ReadStatus::Ok);
      EXPECT_EQ(table.Kind(), PoolKind::UnitStrings);
      for (std::size_t i = 0; i < catalog.languages.size(); ++i) {
        const std::string& language = catalog.languages[i];
        const auto& characters =
            generator.characterTables[std::string(CharacterTableKey(mode, language))]["default"]
                .Characters();
        for (std::size_t j = 0; j < catalog.ids.size(); ++j) {
          UnitString units;
          ASSERT_TRUE(
              table.GetUnits(HashString(language, seed), HashString(catalog.ids[j], seed), &units));
          std::string text;
          for (std::size_t k = 0; k < units.size(); ++k) {
            if (units[k] == 0xFFF0) {
              text += '\n';
            } else {
              ASSERT_LT(units[k], characters.size());
              text += characters[units[k]].name;
            }
          }
          std::string expected = Expected(catalog, j, i);
          for (char& c : expected) c = c == '\r' ? '\n' : c;  // CR and LF are one unit each
          EXPECT_EQ(text, expected) << catalog.ids[j] << " in " << language;
          std::string_view asText;  // a unit string is no text
          EXPECT_FALSE(
              table.GetText(HashString(language, seed), HashString(catalog.ids[j], seed), &asText));
        }
      }
    }
  }
}

}  // namespace
}  // namespace quillex
