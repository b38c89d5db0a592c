#include "binary/character_list.h"

#include <json/json.h>

#include "console/catalog.h"

namespace quillex {

std::string CharacterListJson(const CharacterTable& table) {
  Json::Value document;  // null until the first list
  for (const auto& [typeface, list] : table) {
    // A list that holds only line breaks still names its typeface, with null for its value.
    Json::Value& characters = document[typeface];
    Json::ArrayIndex position = 0;
    for (const CharacterInfo& character : list.Characters()) {
      Json::Value& element = characters[position++];
      element["code"] = Json::UInt(character.code);
      element["name"] = character.name;
      element["index"] = Json::UInt(character.index);
      element["useCount"] = Json::UInt(character.useCount);
    }
  }
  Json::StreamWriterBuilder builder;
  builder["emitUTF8"] = true;
  return Json::writeString(builder, document);
}

std::string CharacterListSuffix(std::string_view key) {
  std::string suffix = "_using_";
  for (char c : key) suffix.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
  suffix += ".json";
  return suffix;
}

bool WriteCharacterLists(const CharacterTables& tables, const platform::Path& base) {
  for (const auto& [key, table] : tables) {
    const platform::Path path = platform::AppendToPath(base, CharacterListSuffix(key));
    // A key with a path separator would reach out of the output folder: it names no file, like a
    // name that cannot be opened. WriteOutputFile prints "Failed to write file: {}" first when
    // the writing itself failed.
    if (!platform::IsPlainFileName(key) || !WriteOutputFile(path, "w", CharacterListJson(table))) {
      PrintError(Msg::FailedToOutputCharacterList, {PathArg(path)});
      return false;
    }
    PrintLine(Msg::OutputCharacterList, {PathArg(path)});
  }
  return true;
}

}  // namespace quillex
