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

// The layout, the null lists and the file names show in the end-to-end cases' JSON lists; these
// names are what those cases lack.
TEST(CharacterListTest, NamesStayUtf8AndQuotesAreEscaped) {
  EXPECT_EQ(CharacterListJson(Count({{"ルビ", "あ\""}})),
            "{\n\t\"ルビ\" : \n\t[\n"
            "\t\t{\n\t\t\t\"code\" : 34,\n\t\t\t\"index\" : 0,\n\t\t\t\"name\" : \"\\\"\",\n"
            "\t\t\t\"useCount\" : 1\n\t\t},\n"
            "\t\t{\n\t\t\t\"code\" : 12354,\n\t\t\t\"index\" : 1,\n\t\t\t\"name\" : \"あ\",\n"
            "\t\t\t\"useCount\" : 1\n\t\t}\n\t]\n}");
}

}  // namespace
}  // namespace quillex
