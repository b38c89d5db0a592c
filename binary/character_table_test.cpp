#include "binary/character_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "binary/binary_format.h"
#include "binary/indexed_pool.h"
#include "binary/test_message_table.h"
#include "input/text_decoder.h"
#include "markup/markup_parser.h"

namespace quillex {
namespace {

// "face: code*count@index ..." per list, in name order.
std::string Describe(const CharacterTable& table) {
  std::string out;
  for (const auto& [face, list] : table) {
    out += (out.empty() ? "" : "; ") + face + ":";
    for (const CharacterInfo& c : list.Characters()) {
      out += " " + c.name + "*" + std::to_string(c.useCount) + "@" + std::to_string(c.index);
      EXPECT_EQ(c.name, EncodeUtf8(c.code));
    }
  }
  return out;
}

// Plain texts are counted by the model test below, and tags alone (counting nothing) in the lists
// of tests/e2e/bin-indexing-markup-examples; these are texts under tags, and a mark inside a text.
TEST(CharacterTableTest, CountsTextsUnderTheTypefaceInForce) {
  struct Case {
    const char* markup;
    const char* lists;
  } cases[] = {
      {"<$bold>ab</#>b</$>a", "bold: a*1@0 b*2@1; default: a*1@0"},
      {"<$italic>x</>y", "default: y*1@0; italic: x*1@0"},  // any name, supported or not
      {"<$>x</q>y", ": x*1@0 y*1@1"},                       // an unknown reset keeps the face
      {"<$bold><@漢字:かんじ>", "bold: 字*1@0 漢*1@1; ruby: か*1@0 じ*1@1 ん*1@2"},
      {"\xEF\xBB\xBFz", "default: z*1@0 \xEF\xBB\xBF*1@1"},  // U+FEFF is text here, no mark
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.markup);
    MessageTable table;
    MakeTable(&table, {"en"}, {{c.markup}});
    CharacterTables tables;
    ASSERT_TRUE(BuildCharacterTables(table, IndexingMode::PerLanguage, &tables));
    EXPECT_EQ(Describe(tables.at("en")), c.lists);
  }
}

// Random texts against a plain model (counts per code point, indexes by ascending code point).
// ASCII is counted and encoded through flat tables, apart from the other characters: random
// texts of ASCII (a NUL, CR and LF among it) and other characters, counted `times` times, must
// give the model's counts and units, and encode to the model's indexes; a list that lacks one
// ASCII character refuses the text at its first occurrence.
TEST(CharacterTableTest, AsciiAndOtherCharactersCountAndEncodeAlike) {
  const std::uint32_t alphabet[] = {0,    '\r', '\n', 1,      ' ',    'a',    '{',
                                    0x7F, 0x80, 0xE9, 0x3042, 0x4E00, 0xFF5E, 0x1F600};
  std::mt19937 random(11);
  for (int round = 0; round < 300; ++round) {
    std::string text;
    std::vector<std::uint32_t> codes;  // the text's code points, NUL bytes left out
    for (int n = random() % 40; n > 0; --n) {
      const std::uint32_t code = alphabet[random() % std::size(alphabet)];
      if (code == 0) {
        text.push_back('\0');
        continue;
      }
      AppendUtf8(&text, code);
      codes.push_back(code);
    }
    const std::uint32_t times = 1 + random() % 3;
    std::map<std::uint32_t, std::uint32_t> model;
    for (std::uint32_t code : codes) {
      if (code != '\r' && code != '\n') model[code] += times;
    }
    CharacterList list;
    ASSERT_EQ(CountText(text, &list, times), codes.size());
    list.Number();
    ASSERT_EQ(list.Characters().size(), model.size());
    std::vector<std::uint8_t> expected;
    for (std::uint32_t code : codes) {
      const bool lineBreak = code == '\r' || code == '\n';
      const auto index = static_cast<std::uint16_t>(std::distance(model.begin(), model.find(code)));
      if (!lineBreak) {
        EXPECT_EQ(list.Find(code)->useCount, model[code]);
      }
      AppendUnit(&expected, lineBreak ? binary_format::unit::kLineBreak : index);
    }
    std::vector<std::uint8_t> units;
    ASSERT_TRUE(EncodeText(&units, list, text));
    EXPECT_EQ(units, expected);

    // Without 'a': the units before its first occurrence, then the error.
    const std::string withA = text + "a";
    CharacterList lacksA;
    for (std::uint32_t code : codes) {
      if (code != 'a' && code != '\r' && code != '\n') lacksA.Count(code);
    }
    lacksA.Number();
    units.clear();
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(EncodeText(&units, lacksA, withA));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Error: Unregistered character detected.: a (U+0061)\n");
    const std::size_t before =
        static_cast<std::size_t>(std::find(codes.begin(), codes.end(), 'a') - codes.begin());
    EXPECT_EQ(units.size(), 2 * before);
  }
}

// A count held at its limit, rather than wrapped round to 0: a count of 0 would drop the character
// from its list, and every text that uses it would then fail to encode.
TEST(CharacterTableTest, CountsStopAtTheirLimit) {
  CharacterList list;
  list.Count(0xE9, 0xFFFFFFFF);
  list.Count(0xE9, 1);
  CharacterList other;
  other.Count(0xE9, 3);
  other.Count(0x3042, 0xFFFFFFFF);
  list.Count(0x3042, 1);
  list.AddCounts(other);
  list.Number();
  ASSERT_EQ(list.Characters().size(), 2u);
  EXPECT_EQ(list.Find(0xE9)->useCount, 0xFFFFFFFFu);
  EXPECT_EQ(list.Find(0x3042)->useCount, 0xFFFFFFFFu);
  EXPECT_EQ(list.FindIndex(0x3042), 1u);
}

// Indexes from 0xD000 up are control codes: one more character than that is refused for every
// list that has it, instead of writing a table the application would misread.
TEST(CharacterTableTest, RefusesListsBeyondTheIndexRange) {
  std::string full;
  for (std::uint32_t code = 0x10000; code < 0x10000 + binary_format::kMaxIndexedCharacters;
       ++code) {
    AppendUtf8(&full, code);
  }
  const std::string over = full + "a";
  CharacterTables tables;
  MessageTable fits;
  MakeTable(&fits, {"en"}, {{full}});
  EXPECT_TRUE(BuildCharacterTables(fits, IndexingMode::PerLanguage, &tables));

  MessageTable overflows;
  MakeTable(&overflows, {"en", "ja"}, {{over, "<$bold>" + over}, {"ok", ""}});
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(BuildCharacterTables(overflows, IndexingMode::PerLanguage, &tables));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "Error: Too many characters to index: en (bold) holds 53249 characters; at most 53248 "
            "can be indexed.\n"
            "Error: Too many characters to index: en (default) holds 53249 characters; at most "
            "53248 can be indexed.\n");
}

}  // namespace
}  // namespace quillex
