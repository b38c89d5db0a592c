// The message table of binary output: languages, identifiers sorted by hash, and the text of every
// message of every language, read from the CSV file the table keeps.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "input/csv_table.h"
#include "platform/platform.h"

namespace quillex {

// Names and texts are views into the table's CSV bytes (or, when a test fills the table by
// hand, into whatever outlives it).

struct LanguageEntry {
  std::string_view name;
  std::uint32_t hash = 0;
  std::int32_t column = 0;
};

struct MessageIdEntry {
  std::string_view name;
  std::uint32_t hash = 0;
  std::int32_t row = 0;
};

/// An identifier (a position in MessageTable::messageIds) with its CSV row, for passes that go
/// through the rows in order.
struct RowOrderEntry {
  std::uint32_t id = 0;
  std::int32_t row = 0;
};

struct MessageRecord {
  std::string_view text;  // the cell as written, markup included (or the fallback's)
};

struct MessageTable {
  MessageTable() = default;
  // The views point into `csv`: a copy would point into the original.
  MessageTable(const MessageTable&) = delete;
  MessageTable& operator=(const MessageTable&) = delete;

  CsvTable csv;                                      // the bytes every view points into
  std::vector<LanguageEntry> languages;              // header order
  std::vector<MessageIdEntry> messageIds;            // ascending hash; equal hashes keep CSV order
  std::vector<std::vector<MessageRecord>> messages;  // [language][identifier], made by hand

  /// Replaces the table with the CSV file at `path`, hashing with `hashSeed`: languages from the
  /// non-empty header cells and identifiers from column 0 (empty and '#'-led ones are comment
  /// rows). `messages` is left empty: the texts are read through Text (records are for tables
  /// made by hand). False only when the CSV file cannot be read or parsed;
  /// the table is unchanged then. Prints nothing: equal hashes are found by
  /// CollidingIdentifiers.
  [[nodiscard]] bool Load(const platform::Path& path, std::uint32_t hashSeed);

  /// The text of identifier `id` (a position in `messageIds`) in language `language`: its cell,
  /// or, when that is empty, the first language's; the record's text once `messages` is filled.
  /// A fallback is the very view of the first language's text. REQUIRES: both positions are in
  /// range.
  std::string_view Text(std::size_t language, std::size_t id) const {
    if (!messages.empty()) return messages[language][id].text;
    return RowText(language, messageIds[id].row);
  }

  /// Text for an identifier of IdentifiersInRowOrder: its row at hand saves a look-up at random.
  std::string_view Text(std::size_t language, const RowOrderEntry& entry) const {
    if (!messages.empty()) return messages[language][entry.id].text;
    return RowText(language, entry.row);
  }

  /// Text for the identifier of CSV row `row`. Inline: the indexed passes read every cell so.
  std::string_view RowText(std::size_t language, std::int32_t row) const {
    std::string_view text = csv.Cell(row, languages[language].column);
    // A missing translation falls back to the first language.
    if (language > 0 && text.empty()) text = csv.Cell(row, languages[0].column);
    return text;
  }
};

/// Asks for the cache line at `address` ahead of its use, where the platform allows. Identifiers
/// come in hash order, so the CSV rows they name are visited at random: without a hint, each
/// visit is a wait on memory.
inline void Prefetch(const void* address) {
#if defined(__GNUC__) || defined(__clang__)
  __builtin_prefetch(address);
  // GCC takes a function whose only effect is a prefetch for a function without any, and drops
  // the calls to it that it has not inlined yet: PrefetchRowEnds compiled to nothing at every
  // caller. An empty statement it must keep, with the address as its input, keeps them; it adds
  // no instruction.
  asm volatile("" : : "r"(address));
#else
  (void)address;
#endif
}

/// Asks ahead for the field ends that the cells of CSV row `row` are read from, the end of the
/// row before included: a row's ends can straddle two cache lines.
inline void PrefetchRowEnds(const CsvTable& csv, std::int32_t row) {
  const std::uint64_t first =
      static_cast<std::uint64_t>(row) * static_cast<std::uint64_t>(csv.columns);
  const std::uint64_t last = first + static_cast<std::uint64_t>(csv.columns) - 1;
  if (csv.columns < 1 || last >= csv.fieldEnds.size()) return;
  Prefetch(csv.fieldEnds.Address(first == 0 ? 0 : first - 1));
  Prefetch(csv.fieldEnds.Address(last));
}

/// Prefetch, for a line about to be written.
inline void PrefetchForWrite(void* address) {
#if defined(__GNUC__) || defined(__clang__)
  __builtin_prefetch(address, 1);
  asm volatile("" : : "r"(address));  // as in Prefetch
#else
  (void)address;
#endif
}

/// True when `a` and `b` are the very same bytes, not merely equal ones: a fallback is the first
/// language's own view.
inline bool SameView(std::string_view a, std::string_view b) {
  return a.data() == b.data() && a.size() == b.size();
}

/// The positions in `ids` with their rows, ordered by row (a stable counting sort: those of equal
/// rows, as in tables made by hand, keep their order). Passes whose result does not depend on the
/// order read the rows so, as they lie in memory, rather than at random in hash order.
std::vector<RowOrderEntry> IdentifiersInRowOrder(const std::vector<MessageIdEntry>& ids);

/// True when `name`, a cell of column 0, names a message: not empty and not starting with '#'
/// (such rows are comments).
inline bool IsMessageIdentifier(std::string_view name) { return !name.empty() && name[0] != '#'; }

/// The positions j in `messageIds` (sorted by hash) whose entry has the hash of entry j - 1, in
/// ascending order: each one pair of identifiers the application cannot tell apart.
std::vector<std::size_t> CollidingIdentifiers(const std::vector<MessageIdEntry>& messageIds);

}  // namespace quillex
