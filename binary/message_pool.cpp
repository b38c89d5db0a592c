#include "binary/message_pool.h"

#include <string>
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

  // Sizes first, then the offsets message by message, so that the cells of one CSV row are read
  // together and the offsets are written in their order.
  std::vector<std::uint64_t> cursors(languageCount + 1, 0);
  for (std::size_t j = 0; j < idCount; ++j) {
    for (std::size_t i = 0; i < languageCount; ++i) {
      std::string_view text = table.Text(i, j);
      if (OwnsBytes(i, text)) cursors[i + 1] += text.size() + 1;
    }
  }
  for (std::size_t i = 0; i < languageCount; ++i) cursors[i + 1] += cursors[i];

  std::vector<std::uint32_t>& offsets = pool->offsets;
  offsets.clear();
  offsets.resize(idCount * languageCount);
  std::uint32_t* offset = offsets.data();
  for (std::size_t j = 0; j < idCount; ++j) {
    const std::uint32_t* firstLanguage = offset;
    for (std::size_t i = 0; i < languageCount; ++i, ++offset) {
      std::string_view text = table.Text(i, j);
      if (!OwnsBytes(i, text)) {
        *offset = *firstLanguage;
        continue;
      }
      // Cut to 32 bits only when the pool is too large to be written at all.
      *offset = static_cast<std::uint32_t>(cursors[i]);
      cursors[i] += text.size() + 1;
    }
  }
  pool->bytes.clear();
  pool->texts = &table;
  pool->textsSize = cursors[languageCount];
  pool->indexed = false;
  return true;
}

void WritePool(const MessagePool& pool, const std::function<void(std::string_view)>& write) {
  if (pool.texts == nullptr) {
    if (!pool.bytes.empty()) {
      write({reinterpret_cast<const char*>(pool.bytes.data()), pool.bytes.size()});
    }
    return;
  }
  // The texts are short: gathered into a small buffer so that the file gets large writes.
  const MessageTable& table = *pool.texts;
  std::string buffer;
  constexpr std::size_t kBufferSize = 1 << 16;
  buffer.reserve(kBufferSize);
  for (std::size_t i = 0; i < table.languages.size(); ++i) {
    for (std::size_t j = 0; j < table.messageIds.size(); ++j) {
      std::string_view text = table.Text(i, j);
      if (!OwnsBytes(i, text)) continue;
      if (buffer.size() + text.size() + 1 > kBufferSize) {
        write(buffer);
        buffer.clear();
      }
      if (text.size() + 1 > kBufferSize) {
        write(text);
        write(std::string_view("", 1));
        continue;
      }
      buffer.append(text).push_back('\0');
    }
  }
  if (!buffer.empty()) write(buffer);
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
  if (!FitsBinaryFile(languageCount, idCount, pool->Size())) return false;
  if (pool->offsets.size() != idCount * languageCount) return false;  // not built for this table
  *offsetPool = std::move(pool->offsets);
  pool->offsets = {};
  return true;
}

}  // namespace quillex
