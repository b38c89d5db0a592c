#include "input/message_table.h"

#include <algorithm>
#include <span>
#include <string>
#include <utility>

#include "input/hash.h"
#include "platform/platform.h"

namespace quillex {
namespace {

// Sorts `entries` by hash, keeping the order of equal ones. They share the top byte of their hash,
// so three stable counting passes on the other bytes do, through `scratch` (as large as
// `entries`). A few are put in place one by one instead: the passes' counters would cost more.
void SortBucket(std::span<MessageIdEntry> entries, MessageIdEntry* scratch) {
  if (entries.size() <= 32) {
    for (std::size_t k = 1; k < entries.size(); ++k) {
      const MessageIdEntry entry = entries[k];
      std::size_t at = k;
      for (; at > 0 && entries[at - 1].hash > entry.hash; --at) entries[at] = entries[at - 1];
      entries[at] = entry;
    }
    return;
  }
  MessageIdEntry* from = entries.data();
  MessageIdEntry* to = scratch;
  for (int shift = 0; shift < 24; shift += 8) {
    std::size_t starts[257] = {};
    for (const MessageIdEntry& entry : std::span(from, entries.size())) {
      ++starts[((entry.hash >> shift) & 0xFF) + 1];
    }
    for (int digit = 0; digit < 256; ++digit) starts[digit + 1] += starts[digit];
    for (const MessageIdEntry& entry : std::span(from, entries.size())) {
      to[starts[(entry.hash >> shift) & 0xFF]++] = entry;
    }
    std::swap(from, to);
  }
  std::copy(from, from + entries.size(), entries.data());  // three passes end in `scratch`
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
  // Rows without an identifier, or whose identifier starts with '#', are comments. Identifiers
  // are sorted by hash; equal hashes keep their CSV order, so every run writes the same files.
  // A table far larger than the cache is not sorted as a whole, nor gathered from the CSV in hash
  // order (a wait on memory per identifier): going through the rows in order, each identifier
  // is dealt into the bucket of its hash's top byte, where it follows the rows before it, and
  // then each bucket is sorted on its own, within the cache.
  std::vector<std::uint32_t> hashes;  // of the identifiers, in row order
  std::vector<std::int32_t> rows;     // their rows
  platform::ReserveLarge(hashes, static_cast<std::size_t>(csv.rows));
  platform::ReserveLarge(rows, static_cast<std::size_t>(csv.rows));
  std::size_t bucketStarts[257] = {};
  for (std::int32_t row = 1; row < csv.rows; ++row) {
    // Identifiers lie a row apart, each a wait on memory: asked for rows ahead, the waits
    // overlap with hashing (half the loop's time at 20 MB). Hashing a row takes little time, so
    // the rows asked for lie far ahead: 8 left most of the wait at 1 GB.
    constexpr std::int32_t kAhead = 32;
    if (row + kAhead < csv.rows) Prefetch(csv.Cell(row + kAhead, 0).data());
    std::string_view name = csv.Cell(row, 0);
    if (IsMessageIdentifier(name)) {
      hashes.push_back(HashString(name, hashSeed));
      rows.push_back(row);
      ++bucketStarts[(hashes.back() >> 24) + 1];
    }
  }
  std::size_t largest = 0;
  for (int bucket = 0; bucket < 256; ++bucket) {
    largest = std::max(largest, bucketStarts[bucket + 1]);  // still its count
    bucketStarts[bucket + 1] += bucketStarts[bucket];
  }
  platform::AssignLarge(messageIds, hashes.size());
  std::size_t next[256];
  std::copy(bucketStarts, bucketStarts + 256, next);
  // The identifiers' rows as noted: read again, each identifier's first byte would be a wait on
  // memory once the CSV is larger than the cache (a third of the load's own time at 1 GB).
  for (std::size_t k = 0; k < hashes.size(); ++k) {
    messageIds[next[hashes[k] >> 24]++] = {csv.Cell(rows[k], 0), hashes[k], rows[k]};
  }
  std::vector<MessageIdEntry> scratch(largest);
  for (int bucket = 0; bucket < 256; ++bucket) {
    SortBucket(std::span(messageIds)
                   .subspan(bucketStarts[bucket], bucketStarts[bucket + 1] - bucketStarts[bucket]),
               scratch.data());
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
