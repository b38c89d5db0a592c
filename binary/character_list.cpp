#include "binary/character_list.h"

#include <json/json.h>

#include <vector>

#include "console/catalog.h"
#include "platform/parallel.h"

namespace quillex {

std::string CharacterListJson(const CharacterTable& table) {
  // Member names as static strings: the library then neither copies nor frees a name for every
  // member, a tenth of its work on the lists.
  static const Json::StaticString kCode("code");
  static const Json::StaticString kName("name");
  static const Json::StaticString kIndex("index");
  static const Json::StaticString kUseCount("useCount");
  Json::Value document;  // null until the first list
  for (const auto& [typeface, list] : table) {
    // A list that holds only line breaks still names its typeface, with null for its value.
    Json::Value& characters = document[typeface];
    Json::ArrayIndex position = 0;
    for (const CharacterInfo& character : list.Characters()) {
      Json::Value& element = characters[position++];
      element[kCode] = Json::UInt(character.code);
      element[kName] = character.name;
      element[kIndex] = Json::UInt(character.index);
      element[kUseCount] = Json::UInt(character.useCount);
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

bool WriteCharacterLists(const CharacterTables& tables, const platform::Path& base,
                         std::size_t workers) {
  if (workers == 0) {
    // The library takes some microseconds per character to make a document (about 20,000
    // instructions), several times what writing the file takes: from a few hundred characters in
    // all, the documents of later tables are made while the earlier ones are written.
    constexpr std::size_t kCharactersForWorkers = 256;
    std::size_t characters = 0;
    for (const auto& [key, table] : tables) {
      for (const auto& [typeface, list] : table) characters += list.Characters().size();
    }
    workers = characters < kCharactersForWorkers ? 1 : platform::MostWorkers();
  }
  std::vector<CharacterTables::const_iterator> entries;
  for (auto it = tables.begin(); it != tables.end(); ++it) entries.push_back(it);
  // Each file is written, and its line printed, in its turn: in key order, as one after another.
  return platform::RunInTurn(entries.size(), workers, [&](std::size_t job, platform::Turn& turn) {
    const auto& [key, table] = *entries[job];
    const platform::Path path = platform::AppendToPath(base, CharacterListSuffix(key));
    // A key with a path separator would reach out of the output folder: it names no file, like a
    // name that cannot be opened.
    const bool named = platform::IsPlainFileName(key);
    const std::string document = named ? CharacterListJson(table) : std::string();
    // A file of the tool's own is written before the turn, side by side: what waits for the turn
    // is its replacing, the file system's writing of it included (most of a millisecond a file
    // when it waited). A file whose turn does not come is removed as `file` goes. A FIFO or a
    // device is opened and written in its turn only: what it is sent cannot be taken back.
    OutputFile file;
    auto write = [&] {
      if (!file.Open(path, "w")) return false;
      file.Write(document);
      return true;
    };
    const bool ahead = named && !platform::IsSpecialFile(path);
    bool opened = ahead && write();
    if (opened) file.StartWriteBack();
    if (!turn.Take()) return false;
    if (named && !ahead) opened = write();
    // CommitOutput prints "Failed to write file: {}" first when the writing itself failed.
    if (!opened || !CommitOutput(file)) {
      PrintError(Msg::FailedToOutputCharacterList, {PathArg(path)});
      return false;
    }
    PrintLine(Msg::OutputCharacterList, {PathArg(path)});
    return true;
  });
}

}  // namespace quillex
