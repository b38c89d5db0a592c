#include "input/message_table.h"

#include <algorithm>
#include <array>
#include <span>
#include <string>
#include <utility>

#include "input/hash.h"
#include "platform/parallel.h"
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
  // then each bucket is sorted on its own, within the cache. On several threads, each takes a
  // run of rows and then whole buckets; a bucket holds the first run's identifiers first.
  const std::size_t workers = platform::WorkersFor(csv.text.size());
  struct Part {
    std::vector<std::uint32_t> hashes;       // of the identifiers, in row order
    std::vector<std::int32_t> rows;          // their rows
    std::array<std::size_t, 256> next = {};  // counts per bucket, then where the next one goes
  };
  std::vector<Part> parts(workers);
  const std::size_t dataRows = csv.rows > 1 ? static_cast<std::size_t>(csv.rows) - 1 : 0;
  platform::RunParts(dataRows, workers, [&](std::size_t index, std::size_t begin, std::size_t end) {
    Part& part = parts[index];
    platform::ReserveLarge(part.hashes, end - begin);
    platform::ReserveLarge(part.rows, end - begin);
    const auto first = static_cast<std::int32_t>(begin + 1);
    const auto last = static_cast<std::int32_t>(end + 1);
    for (std::int32_t row = first; row < last; ++row) {
      // Identifiers lie a row apart, each a wait on memory: asked for rows ahead, the waits
      // overlap with hashing (half the loop's time at 20 MB). Hashing a row takes little time, so
      // the rows asked for lie far ahead: 8 left most of the wait at 1 GB.
      constexpr std::int32_t kAhead = 32;
      if (row + kAhead < last) Prefetch(csv.Cell(row + kAhead, 0).data());
      std::string_view name = csv.Cell(row, 0);
      if (IsMessageIdentifier(name)) {
        part.hashes.push_back(HashString(name, hashSeed));
        part.rows.push_back(row);
        ++part.next[part.hashes.back() >> 24];
      }
    }
  });
  std::size_t bucketStarts[257] = {};
  std::size_t largest = 0;
  for (std::size_t bucket = 0; bucket < 256; ++bucket) {
    std::size_t at = bucketStarts[bucket];
    for (Part& part : parts) at += std::exchange(part.next[bucket], at);
    bucketStarts[bucket + 1] = at;
    largest = std::max(largest, at - bucketStarts[bucket]);
  }
  platform::AssignLarge(messageIds, bucketStarts[256]);
  platform::RunParts(workers, workers, [&](std::size_t index, std::size_t, std::size_t) {
    Part& part = parts[index];
    // The identifiers' rows as noted: read again, each identifier's first byte would be a wait
    // on memory once the CSV is larger than the cache (a third of the load's own time at 1 GB).
    for (std::size_t k = 0; k < part.hashes.size(); ++k) {
      const std::uint32_t hash = part.hashes[k];
      messageIds[part.next[hash >> 24]++] = {csv.Cell(part.rows[k], 0), hash, part.rows[k]};
    }
    part = Part();  // its memory goes before the sorting's
  });
  platform::RunParts(256, workers, [&](std::size_t, std::size_t begin, std::size_t end) {
    std::vector<MessageIdEntry> scratch(largest);
    for (std::size_t bucket = begin; bucket < end; ++bucket) {
      SortBucket(
          std::span(messageIds)
              .subspan(bucketStarts[bucket], bucketStarts[bucket + 1] - bucketStarts[bucket]),
          scratch.data());
    }
  });
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
