#include "input/message_table.h"

#include <algorithm>
#include <utility>

#include "input/csv_table.h"
#include "input/hash.h"
#include "markup/markup_parser.h"

namespace quillex {

bool MessageTable::Load(const platform::Path& path, std::uint32_t hashSeed) {
  CsvTable csv;
  if (!csv.Load(path)) return false;

  languages.clear();
  messageIds.clear();
  messages.clear();
  for (std::int32_t column = 1; column < csv.columns; ++column) {
    std::string_view name = csv.Cell(0, column);
    if (!name.empty()) languages.push_back({std::string(name), HashString(name, hashSeed), column});
  }
  // Rows without an identifier, or whose identifier starts with '#', are comments.
  for (std::int32_t row = 1; row < csv.rows; ++row) {
    std::string_view name = csv.Cell(row, 0);
    if (!name.empty() && name[0] != '#') {
      messageIds.push_back({std::string(name), HashString(name, hashSeed), row});
    }
  }
  // Stable, so that identifiers with equal hashes keep their CSV order and every run writes the
  // same files.
  std::stable_sort(
      messageIds.begin(), messageIds.end(),
      [](const MessageIdEntry& a, const MessageIdEntry& b) { return a.hash < b.hash; });
  if (languages.empty()) return true;

  messages.resize(languages.size());
  for (std::size_t i = 0; i < languages.size(); ++i) {
    messages[i].reserve(messageIds.size());
    for (const MessageIdEntry& id : messageIds) {
      std::string_view text = csv.Cell(id.row, languages[i].column);
      // A missing translation falls back to the first language.
      if (i > 0 && text.empty()) text = csv.Cell(id.row, languages[0].column);
      MessageRecord& record = messages[i].emplace_back();
      record.text = text;
      // Parsed again for each language that uses it: every record owns its own nodes.
      ParseMarkup(record.text, &record.nodes);
    }
  }
  return true;
}

std::vector<std::size_t> CollidingIdentifiers(const std::vector<MessageIdEntry>& messageIds) {
  std::vector<std::size_t> positions;
  for (std::size_t j = 1; j < messageIds.size(); ++j) {
    if (messageIds[j - 1].hash == messageIds[j].hash) positions.push_back(j);
  }
  return positions;
}

}  // namespace quillex
