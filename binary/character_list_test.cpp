#include "binary/character_list.h"

#include <gtest/gtest.h>

#include <string>

namespace quillex {
namespace {

CharacterTable Count(std::initializer_list<std::pair<const char*, const char*>> texts) {
  CharacterTable table;
  for (auto [face, text] : texts) CountText(text, &table[face]);
  for (auto& [face, list] : table) list.Number();
  return table;
}

// The library's default layout: tab indentation, " : " between name and value, members in byte
// order, no line feed at the end.
TEST(CharacterListTest, DocumentLayout) {
  EXPECT_EQ(CharacterListJson(Count({{"default", "BAA"}})),
            "{\n"
            "\t\"default\" : \n"
            "\t[\n"
            "\t\t{\n"
            "\t\t\t\"code\" : 65,\n"
            "\t\t\t\"index\" : 0,\n"
            "\t\t\t\"name\" : \"A\",\n"
            "\t\t\t\"useCount\" : 2\n"
            "\t\t},\n"
            "\t\t{\n"
            "\t\t\t\"code\" : 66,\n"
            "\t\t\t\"index\" : 1,\n"
            "\t\t\t\"name\" : \"B\",\n"
            "\t\t\t\"useCount\" : 1\n"
            "\t\t}\n"
            "\t]\n"
            "}");
}

TEST(CharacterListTest, NullForTablesAndListsWithoutCharacters) {
  EXPECT_EQ(CharacterListJson(CharacterTable()), "null");
  EXPECT_EQ(CharacterListJson(Count({{"default", "\r\n"}, {"bold", "\n"}})),
            "{\n\t\"bold\" : null,\n\t\"default\" : null\n}");
}

TEST(CharacterListTest, NamesStayUtf8AndQuotesAreEscaped) {
  EXPECT_EQ(CharacterListJson(Count({{"ルビ", "あ\""}})),
            "{\n\t\"ルビ\" : \n\t[\n"
            "\t\t{\n\t\t\t\"code\" : 34,\n\t\t\t\"index\" : 0,\n\t\t\t\"name\" : \"\\\"\",\n"
            "\t\t\t\"useCount\" : 1\n\t\t},\n"
            "\t\t{\n\t\t\t\"code\" : 12354,\n\t\t\t\"index\" : 1,\n\t\t\t\"name\" : \"あ\",\n"
            "\t\t\t\"useCount\" : 1\n\t\t}\n\t]\n}");
}

TEST(CharacterListTest, SuffixLowersAsciiLettersOnly) {
  EXPECT_EQ(CharacterListSuffix("EN"), "_using_en.json");
  EXPECT_EQ(CharacterListSuffix("Ja-JP_x"), "_using_ja-jp_x.json");
  EXPECT_EQ(CharacterListSuffix("ÄÖ"), "_using_ÄÖ.json");
  EXPECT_EQ(CharacterListSuffix("all"), "_using_all.json");
}

}  // namespace
}  // namespace quillex
