#include "input/message_table.h"

#include <algorithm>
#include <string>
#include <utility>

#include "input/hash.h"
#include "platform/platform.h"

namespace quillex {
namespace {

// Sorts `keys` by their upper 32 bits, keeping the order of equal ones: four stable counting
// passes of eight bits each, in time linear in the number of keys.
void SortByUpperHalf(std::vector<std::uint64_t>* keys) {
  std::vector<std::uint64_t> scratch(keys->size());
  for (int shift = 32; shift < 64; shift += 8) {
    std::size_t starts[257] = {};
    for (std::uint64_t key : *keys) ++starts[((key >> shift) & 0xFF) + 1];
    for (int digit = 0; digit < 256; ++digit) starts[digit + 1] += starts[digit];
    for (std::uint64_t key : *keys) scratch[starts[(key >> shift) & 0xFF]++] = key;
    keys->swap(scratch);
  }
}

}  // namespace

bool MessageTable::Load(const platform::Path& path, std::uint32_t hashSeed) {
  CsvTable loaded;
  if (!loaded.Load(path)) return false;
  csv = std::move(loaded);  // before any view is taken: a short text may live inside the object

  languages.clear();
  messageIds.clear();
  messages.clear();
  for (std::int32_t column = 1; column < csv.columns; ++column) {
    std::string_view name = csv.Cell(0, column);
    if (!name.empty()) languages.push_back({name, HashString(name, hashSeed), column});
  }
  // Rows without an identifier, or whose identifier starts with '#', are comments. Each message
  // becomes the key (hash, row): sorted, identifiers with equal hashes keep their CSV order, so
  // every run writes the same files.
  std::vector<std::uint64_t> keys;
  platform::ReserveLarge(keys, static_cast<std::size_t>(csv.rows));
  for (std::int32_t row = 1; row < csv.rows; ++row) {
    std::string_view name = csv.Cell(row, 0);
    if (IsMessageIdentifier(name)) {
      keys.push_back(std::uint64_t{HashString(name, hashSeed)} << 32 |
                     static_cast<std::uint32_t>(row));
    }
  }
  SortByUpperHalf(&keys);
  platform::ReserveLarge(messageIds, keys.size());
  for (std::size_t k = 0; k < keys.size(); ++k) {
    // The rows come in hash order, at random: the field ends of a later one are asked for ahead.
    constexpr std::size_t kAhead = 16;
    if (k + kAhead < keys.size()) {
      PrefetchRowEnds(csv, static_cast<std::int32_t>(keys[k + kAhead] & 0xFFFFFFFFu));
    }
    const std::uint64_t key = keys[k];
    const auto row = static_cast<std::int32_t>(key & 0xFFFFFFFFu);
    messageIds.push_back({csv.Cell(row, 0), static_cast<std::uint32_t>(key >> 32), row});
  }
  return true;
}

std::string_view MessageTable::RowText(std::size_t language, std::int32_t row) const {
  std::string_view text = csv.Cell(row, languages[language].column);
  // A missing translation falls back to the first language.
  if (language > 0 && text.empty()) text = csv.Cell(row, languages[0].column);
  return text;
}

void MessageTable::ResolveTexts() {
  messages.clear();
  messages.resize(languages.size());
  for (std::size_t i = 0; i < languages.size(); ++i) {
    std::vector<MessageRecord>& records = messages[i];
    records.resize(messageIds.size());
    for (std::size_t j = 0; j < messageIds.size(); ++j) {
      records[j].text = RowText(i, messageIds[j].row);
    }
  }
}

std::vector<std::size_t> CollidingIdentifiers(const std::vector<MessageIdEntry>& messageIds) {
  std::vector<std::size_t> positions;
  for (std::size_t j = 1; j < messageIds.size(); ++j) {
    if (messageIds[j - 1].hash == messageIds[j].hash) positions.push_back(j);
  }
  return positions;
}

std::vector<RowOrderEntry> IdentifiersInRowOrder(const std::vector<MessageIdEntry>& ids) {
  std::int32_t lastRow = 0;
  for (const MessageIdEntry& id : ids) lastRow = std::max(lastRow, id.row);
  std::vector<std::uint32_t> starts(static_cast<std::size_t>(lastRow) + 2, 0);
  for (const MessageIdEntry& id : ids) ++starts[static_cast<std::size_t>(id.row) + 1];
  for (std::size_t r = 1; r < starts.size(); ++r) starts[r] += starts[r - 1];
  std::vector<RowOrderEntry> order(ids.size());
  for (std::size_t j = 0; j < ids.size(); ++j) {
    order[starts[static_cast<std::size_t>(ids[j].row)]++] = {.id = static_cast<std::uint32_t>(j),
                                                             .row = ids[j].row};
  }
  return order;
}

}  // namespace quillex
