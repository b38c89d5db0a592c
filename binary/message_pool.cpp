#include "binary/message_pool.h"

#include <limits>

namespace quillex {
namespace {

constexpr std::uint64_t kMax32 = std::numeric_limits<std::uint32_t>::max();

}  // namespace

bool BuildTextPool(MessageTable* table, MessagePool* pool) {
  // The exact size first: growing by doubling would hold up to twice the pool, and more while
  // it moves, next to a message table that is already large.
  std::uint64_t size = 0;
  for (std::size_t i = 0; i < table->messages.size(); ++i) {
    for (const MessageRecord& record : table->messages[i]) {
      if (i == 0 || !record.text.empty()) size += record.text.size() + 1;
    }
  }
  std::vector<std::uint8_t>& bytes = pool->bytes;
  bytes.clear();
  bytes.reserve(size);
  for (std::size_t i = 0; i < table->messages.size(); ++i) {
    std::vector<MessageRecord>& records = table->messages[i];
    for (std::size_t j = 0; j < records.size(); ++j) {
      MessageRecord& record = records[j];
      // After the first-language fallback an empty text is empty in the first language too:
      // one copy serves both.
      if (i > 0 && record.text.empty()) {
        record.offset = table->messages[0][j].offset;
        continue;
      }
      record.offset = bytes.size();
      bytes.insert(bytes.end(), record.text.begin(), record.text.end());
      bytes.push_back(0);
    }
  }
  pool->indexed = false;
  return true;
}

bool BuildOffsetPool(const MessageTable& table, std::uint64_t poolSize,
                     std::vector<std::uint32_t>* offsetPool) {
  const std::uint64_t languageCount = table.languages.size();
  const std::uint64_t idCount = table.messageIds.size();
  if (poolSize > kMax32 || languageCount > kMax32 || idCount > kMax32) return false;
  // The table's size in bytes, 4 * N * L, is a field of its own.
  if (languageCount != 0 && idCount > kMax32 / 4 / languageCount) return false;

  offsetPool->assign(idCount * languageCount, 0);
  for (std::uint64_t i = 0; i < languageCount; ++i) {
    const std::vector<MessageRecord>& records = table.messages[i];
    for (std::uint64_t j = 0; j < idCount; ++j) {
      const std::uint64_t offset = records[j].offset;
      if (offset > kMax32) return false;
      (*offsetPool)[j * languageCount + i] = static_cast<std::uint32_t>(offset);
    }
  }
  return true;
}

}  // namespace quillex
