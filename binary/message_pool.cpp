#include "binary/message_pool.h"

#include <cstring>
#include <limits>
#include <string_view>
#include <utility>

namespace quillex {
namespace {

constexpr std::uint64_t kMax32 = std::numeric_limits<std::uint32_t>::max();

// After the first-language fallback an empty text is empty in the first language too: one copy
// serves both.
bool OwnsBytes(std::size_t language, std::string_view text) {
  return language == 0 || !text.empty();
}

}  // namespace

bool BuildTextPool(const MessageTable& table, MessagePool* pool) {
  const std::size_t languageCount = table.languages.size();
  const std::size_t idCount = table.messageIds.size();

  // The sizes do not depend on the order: summed over the CSV rows as they lie in memory.
  std::vector<std::uint64_t> cursors(languageCount + 1, 0);
  for (std::int32_t row = 1; row < table.csv.rows; ++row) {
    if (!IsMessageIdentifier(table.csv.Cell(row, 0))) continue;
    for (std::size_t i = 0; i < languageCount; ++i) {
      std::string_view text = table.RowText(i, row);
      if (OwnsBytes(i, text)) cursors[i + 1] += text.size() + 1;
    }
  }
  for (std::size_t i = 0; i < languageCount; ++i) cursors[i + 1] += cursors[i];

  // Then every text is copied once, message by message: the identifiers come in hash order, so
  // each visit to a CSV row is a jump, but one row serves all languages, and each language's
  // part of the pool (and the offset table) is written front to back.
  std::vector<std::uint8_t>& bytes = pool->bytes;
  bytes.clear();
  bytes.resize(static_cast<std::size_t>(cursors[languageCount]));  // zeros: the terminators
  std::vector<std::uint32_t>& offsets = pool->offsets;
  offsets.clear();
  offsets.resize(idCount * languageCount);
  std::uint32_t* offset = offsets.data();
  // Two steps ahead: the field ends of a row some identifiers on, then the text they point to.
  constexpr std::size_t kEndsAhead = 16;
  constexpr std::size_t kTextAhead = 8;
  const CsvTable& csv = table.csv;
  const std::int32_t firstColumn = languageCount == 0 ? 0 : table.languages[0].column;
  for (std::size_t j = 0; j < idCount; ++j) {
    if (j + kEndsAhead < idCount) {
      const std::uint64_t field = static_cast<std::uint64_t>(table.messageIds[j + kEndsAhead].row) *
                                  static_cast<std::uint64_t>(csv.columns);
      if (field < csv.fieldEnds.size()) Prefetch(csv.fieldEnds.Address(field));
    }
    if (j + kTextAhead < idCount) {
      Prefetch(csv.Cell(table.messageIds[j + kTextAhead].row, firstColumn).data());
    }
    const std::int32_t row = table.messageIds[j].row;
    const std::uint32_t* firstLanguage = offset;
    for (std::size_t i = 0; i < languageCount; ++i, ++offset) {
      std::string_view text = table.RowText(i, row);
      if (!OwnsBytes(i, text)) {
        *offset = *firstLanguage;
        continue;
      }
      // Cut to 32 bits only when the pool is too large to be written at all.
      *offset = static_cast<std::uint32_t>(cursors[i]);
      if (!text.empty()) std::memcpy(bytes.data() + cursors[i], text.data(), text.size());
      cursors[i] += text.size() + 1;
    }
  }
  pool->indexed = false;
  return true;
}

bool FitsBinaryFile(std::uint64_t languageCount, std::uint64_t idCount, std::uint64_t poolSize) {
  if (poolSize > kMax32 || languageCount > kMax32 || idCount > kMax32) return false;
  // The table's size in bytes, 4 * N * L, is a field of its own.
  return languageCount == 0 || idCount <= kMax32 / 4 / languageCount;
}

bool BuildOffsetPool(const MessageTable& table, MessagePool* pool,
                     std::vector<std::uint32_t>* offsetPool) {
  const std::uint64_t languageCount = table.languages.size();
  const std::uint64_t idCount = table.messageIds.size();
  if (!FitsBinaryFile(languageCount, idCount, PoolSize(*pool))) return false;
  if (pool->offsets.size() != idCount * languageCount) return false;  // not built for this table
  *offsetPool = std::move(pool->offsets);
  pool->offsets = {};
  return true;
}

}  // namespace quillex
