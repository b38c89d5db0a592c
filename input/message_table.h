// The message table of binary output: languages, identifiers sorted by hash, and every message
// of every language with its parsed markup.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "markup/msg_node.h"
#include "platform/platform.h"

namespace quillex {

struct LanguageEntry {
  std::string name;
  std::uint32_t hash = 0;
  std::int32_t column = 0;
};

struct MessageIdEntry {
  std::string name;
  std::uint32_t hash = 0;
  std::int32_t row = 0;
};

struct MessageRecord {
  std::string text;          // the cell as written, markup included
  std::uint64_t offset = 0;  // filled by binary output
  MsgNodeList nodes;
};

struct MessageTable {
  std::vector<LanguageEntry> languages;              // header order
  std::vector<MessageIdEntry> messageIds;            // ascending hash; equal hashes keep CSV order
  std::vector<std::vector<MessageRecord>> messages;  // [language][identifier]

  /// Replaces the table with the CSV file at `path`, hashing with `hashSeed`: languages from the
  /// non-empty header cells, identifiers from column 0 (empty and '#'-led ones are comment rows),
  /// and one record per language and identifier, an empty text taking the first language's.
  /// False only when the CSV file cannot be read or parsed; the table is unchanged then. Prints
  /// nothing: equal hashes are found by CollidingIdentifiers.
  [[nodiscard]] bool Load(const platform::Path& path, std::uint32_t hashSeed);
};

/// The positions j in `messageIds` (sorted by hash) whose entry has the hash of entry j - 1, in
/// ascending order: each one pair of identifiers the application cannot tell apart.
std::vector<std::size_t> CollidingIdentifiers(const std::vector<MessageIdEntry>& messageIds);

}  // namespace quillex
