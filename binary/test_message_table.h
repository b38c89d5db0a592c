// Test support for binary/: message tables built from literal texts.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "input/message_table.h"

namespace quillex {

// A table of `texts[language][identifier]`, as the loader would fill it (identifiers ID0, ID1...).
inline void MakeTable(MessageTable* table, const std::vector<std::string>& languages,
               const std::vector<std::vector<std::string>>& texts) {
  // The table holds views: its CSV buffer, reserved so that it never moves, keeps the bytes.
  std::size_t size = 0;
  for (const std::string& name : languages) size += name.size();
  for (const auto& column : texts) {
    for (const std::string& text : column) size += text.size() + 8;
  }
  std::string& storage = table->csv.text;
  storage.reserve(size);
  auto keep = [&storage](const std::string& bytes) {
    storage += bytes;
    return std::string_view(storage).substr(storage.size() - bytes.size());
  };
  for (const std::string& name : languages) table->languages.push_back({keep(name), 0, 0});
  for (std::size_t j = 0; j < texts.at(0).size(); ++j) {
    table->messageIds.push_back({keep("ID" + std::to_string(j)), 0, 0});
  }
  for (const auto& column : texts) {
    auto& records = table->messages.emplace_back();
    for (const std::string& text : column) {
      MessageRecord& record = records.emplace_back();
      record.text = keep(text);
    }
  }
}

}  // namespace quillex
