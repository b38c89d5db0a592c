#include "binary/message_pool.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <string_view>
#include <utility>

#include "platform/parallel.h"
#include "platform/platform.h"

namespace quillex {
namespace {

constexpr std::uint64_t kMax32 = std::numeric_limits<std::uint32_t>::max();

// After the first-language fallback an empty text is empty in the first language too: one copy
// serves both.
bool OwnsBytes(std::size_t language, std::string_view text) {
  return language == 0 || !text.empty();
}

// How far ahead of its use a pass in identifier (hash) order asks for a row's field ends, and
// then for the text they point to: each visit to a CSV row is a jump.
constexpr std::size_t kEndsAhead = 16;
constexpr std::size_t kTextAhead = 8;
// A streamed language's pass does little for each text: it asks further ahead.
constexpr std::size_t kStreamAhead = 16;

// A pool's bytes on their way to the file, a block at a time: a buffer of fixed size, handed to
// `write` when full. Its pages are touched only as far as the pool reaches, and reused after.
class Block {
 public:
  Block(std::size_t capacity, const PoolWriter& write)
      : bytes_(std::make_unique_for_overwrite<char[]>(capacity)),
        capacity_(capacity),
        write_(write) {}

  char* Data() { return bytes_.get(); }

  // Streams `piece` on from where the block was filled to: runs of consecutive pool bytes,
  // however long a single text is.
  void Append(std::string_view piece) {
    while (!piece.empty()) {
      if (used_ == capacity_) Flush();
      const std::size_t size = std::min(piece.size(), capacity_ - used_);
      std::memcpy(bytes_.get() + used_, piece.data(), size);
      used_ += size;
      piece.remove_prefix(size);
    }
  }

  // Hands over the first `used` bytes (or those appended) and starts again.
  void Flush(std::size_t used = 0) {
    used_ = std::max(used_, used);
    if (used_ != 0) write_({bytes_.get(), used_});
    used_ = 0;
  }

 private:
  std::unique_ptr<char[]> bytes_;
  std::size_t capacity_;
  std::size_t used_ = 0;
  const PoolWriter& write_;
};

// Fills the block with the parts of languages [first, last), which fit it together: one pass over
// the rows in identifier order, each row serving all of them. False where a message is not where
// `offsets` puts it or a part does not end where the next starts.
bool FillLanguages(const MessageTable& table, std::span<const std::uint32_t> offsets,
                   std::span<const std::uint64_t> starts, std::size_t first, std::size_t last,
                   std::vector<std::uint64_t>* cursors, Block* block) {
  const std::size_t languageCount = table.languages.size();
  const std::size_t idCount = table.messageIds.size();
  const std::uint64_t base = starts[first];
  cursors->assign(starts.begin() + static_cast<std::ptrdiff_t>(first),
                  starts.begin() + static_cast<std::ptrdiff_t>(last));
  std::vector<std::uint64_t>& cursor = *cursors;  // [i - first] for language i
  for (std::size_t j = 0; j < idCount; ++j) {
    if (j + kEndsAhead < idCount) {
      PrefetchRowEnds(table.csv, table.messageIds[j + kEndsAhead].row);
    }
    if (j + kTextAhead < idCount) {
      Prefetch(table.RowText(first, table.messageIds[j + kTextAhead].row).data());
    }
    const std::int32_t row = table.messageIds[j].row;
    const std::uint32_t* offset = offsets.data() + j * languageCount;
    for (std::size_t i = first; i < last; ++i) {
      const std::string_view text = table.RowText(i, row);
      if (!OwnsBytes(i, text)) {
        if (offset[i] != offset[0]) return false;
        continue;
      }
      std::uint64_t& at = cursor[i - first];
      if (offset[i] != at || text.size() >= starts[i + 1] - at) return false;
      char* out = block->Data() + (at - base);
      if (!text.empty()) std::memcpy(out, text.data(), text.size());
      out[text.size()] = '\0';
      at += text.size() + 1;
    }
  }
  for (std::size_t i = first; i < last; ++i) {
    if (cursor[i - first] != starts[i + 1]) return false;
  }
  block->Flush(static_cast<std::size_t>(starts[last] - base));
  return true;
}

// Where the texts of the languages that stream lie, language by language in identifier order, so
// that each language's pass reads them front to back and visits only the texts themselves at
// random (a pass per language through the rows would jump across every row once per language).
// Gathered by the plan's pass over the rows, which visits every row's texts anyway.
struct TextSpans {
  // A text is begin << kSizeBits | size, 8 bytes where a place and a size apart would take 12 (at
  // 1 GB, 110 MB less to get and fill). A text of 16 MB or more, or lying further than 2^40 bytes
  // in, is kLong: read from its row again. An empty text of a later language is kShared.
  static constexpr int kSizeBits = 24;
  static constexpr std::uint64_t kSizeMask = (std::uint64_t{1} << kSizeBits) - 1;
  static constexpr std::uint64_t kShared = std::numeric_limits<std::uint64_t>::max();
  static constexpr std::uint64_t kLong = kShared - 1;
  static constexpr std::size_t kNotStreamed = std::numeric_limits<std::size_t>::max();
  std::vector<std::uint64_t> packed;
  std::vector<std::size_t> slots;  // [language]: its k in packed[k * idCount + j], or kNotStreamed

  void Record(std::size_t slot, std::size_t idCount, std::size_t j, std::string_view text,
              bool owned, const char* csvText) {
    std::uint64_t span = kShared;
    if (owned) {
      const std::uint64_t begin =
          text.empty() ? 0 : static_cast<std::uint64_t>(text.data() - csvText);
      // Below these bounds no span reaches kLong.
      const bool fits = text.size() <= kSizeMask && begin < (kShared >> kSizeBits) - 1;
      span = fits ? begin << kSizeBits | text.size() : kLong;
    }
    packed[slot * idCount + j] = span;
  }
};

// The block the pool goes through: `blockBytes` (at least 1), or less for a smaller pool.
std::uint64_t BlockCapacity(std::size_t blockBytes, std::uint64_t poolSize) {
  return std::min<std::uint64_t>(std::max<std::size_t>(blockBytes, 1),
                                 std::max<std::uint64_t>(poolSize, 1));
}

// Makes room in `spans` for the languages whose part is larger than the block.
void PrepareSpans(std::span<const std::uint64_t> starts, std::uint64_t capacity,
                  std::size_t idCount, TextSpans* spans) {
  const std::size_t languageCount = starts.size() - 1;
  spans->slots.assign(languageCount, TextSpans::kNotStreamed);
  std::size_t streamed = 0;
  for (std::size_t i = 0; i < languageCount; ++i) {
    if (starts[i + 1] - starts[i] > capacity) spans->slots[i] = streamed++;
  }
  platform::AssignLarge(spans->packed, streamed * idCount);
}

// Gathers the spans on their own, for a layout that was not planned here.
void GatherSpans(const MessageTable& table, TextSpans* spans) {
  const std::size_t idCount = table.messageIds.size();
  std::vector<std::size_t> languages;
  for (std::size_t i = 0; i < spans->slots.size(); ++i) {
    if (spans->slots[i] != TextSpans::kNotStreamed) languages.push_back(i);
  }
  if (languages.empty()) return;
  for (std::size_t j = 0; j < idCount; ++j) {
    if (j + kEndsAhead < idCount) {
      PrefetchRowEnds(table.csv, table.messageIds[j + kEndsAhead].row);
    }
    const std::int32_t row = table.messageIds[j].row;
    for (std::size_t i : languages) {
      const std::string_view text = table.RowText(i, row);
      spans->Record(spans->slots[i], idCount, j, text, OwnsBytes(i, text), table.csv.text.data());
    }
  }
}

// Streams the part of `language`, larger than a block, through the block; `spans` are its
// texts' (TextSpans::packed). False as for FillLanguages.
bool StreamLanguage(const MessageTable& table, std::span<const std::uint32_t> offsets,
                    std::span<const std::uint64_t> starts, std::size_t language,
                    std::span<const std::uint64_t> spans, Block* block) {
  const std::size_t languageCount = table.languages.size();
  const std::size_t idCount = table.messageIds.size();
  const std::string_view csvText = table.csv.text;
  std::uint64_t cursor = starts[language];
  for (std::size_t j = 0; j < idCount; ++j) {
    // The first and last byte of the text ahead: about half the texts cross a cache line (at
    // 1 GB, a fifth less time in the pass than with the first line alone).
    if (j + kStreamAhead < idCount && spans[j + kStreamAhead] < TextSpans::kLong) {
      const std::uint64_t begin = spans[j + kStreamAhead] >> TextSpans::kSizeBits;
      const std::uint64_t size = spans[j + kStreamAhead] & TextSpans::kSizeMask;
      const std::uint64_t last = size == 0 ? begin : begin + size - 1;
      if (last < csvText.size()) {
        Prefetch(csvText.data() + begin);
        Prefetch(csvText.data() + last);
      }
    }
    const std::uint32_t offset = offsets[j * languageCount + language];
    const std::uint64_t span = spans[j];
    if (span == TextSpans::kShared) {
      if (offset != offsets[j * languageCount]) return false;
      continue;
    }
    std::string_view text;
    if (span == TextSpans::kLong) {
      text = table.RowText(language, table.messageIds[j].row);
    } else {
      const std::uint64_t begin = span >> TextSpans::kSizeBits;
      const std::uint64_t size = span & TextSpans::kSizeMask;
      if (begin > csvText.size() || size > csvText.size() - begin) return false;
      text = csvText.substr(static_cast<std::size_t>(begin), static_cast<std::size_t>(size));
    }
    if (offset != cursor || text.size() >= starts[language + 1] - cursor) return false;
    block->Append(text);
    block->Append(std::string_view("\0", 1));
    cursor += text.size() + 1;
  }
  block->Flush();
  return cursor == starts[language + 1];
}

// Checks what a layout must be before any byte is written: an offset per message and language,
// and language parts that start at 0 and follow one another.
bool IsLayout(const MessageTable& table, std::span<const std::uint32_t> offsets,
              std::span<const std::uint64_t> starts) {
  const std::size_t languageCount = table.languages.size();
  if (offsets.size() != languageCount * table.messageIds.size()) return false;
  if (starts.size() != languageCount + 1 || starts[0] != 0) return false;
  for (std::size_t i = 0; i < languageCount; ++i) {
    if (starts[i + 1] < starts[i]) return false;
  }
  return true;
}

// The groups of languages [first, last) the pool is filled in, in pool order: as many whole
// languages as fit a block together, or a language larger than a block alone.
std::vector<std::pair<std::size_t, std::size_t>> BlockGroups(std::span<const std::uint64_t> starts,
                                                             std::uint64_t capacity) {
  const std::size_t languageCount = starts.size() - 1;
  std::vector<std::pair<std::size_t, std::size_t>> groups;
  for (std::size_t first = 0; first < languageCount;) {
    std::size_t last = first + 1;
    while (last < languageCount && starts[last + 1] - starts[first] <= capacity) ++last;
    groups.emplace_back(first, last);
    first = last;
  }
  return groups;
}

// Fills the group of languages [first, last) through `block`: in one pass over the rows when
// the group fits the block, else (a single language) streamed through it. False as for
// FillLanguages.
bool FillGroup(const MessageTable& table, std::span<const std::uint32_t> offsets,
               std::span<const std::uint64_t> starts, std::uint64_t capacity,
               const TextSpans& spans, std::size_t first, std::size_t last,
               std::vector<std::uint64_t>* cursors, Block* block) {
  if (starts[last] - starts[first] <= capacity) {
    return FillLanguages(table, offsets, starts, first, last, cursors, block);
  }
  const std::size_t idCount = table.messageIds.size();
  const std::size_t at = spans.slots[first] * idCount;
  return StreamLanguage(table, offsets, starts, first, std::span(spans.packed).subspan(at, idCount),
                        block);
}

// Writes the pool through a block of `capacity` bytes; `spans` holds the languages whose part is
// larger. REQUIRES: IsLayout, and `spans` prepared for `starts` and `capacity`.
bool WriteThroughBlock(const MessageTable& table, std::span<const std::uint32_t> offsets,
                       std::span<const std::uint64_t> starts, std::uint64_t capacity,
                       const TextSpans& spans, const PoolWriter& write) {
  Block block(static_cast<std::size_t>(capacity), write);
  std::vector<std::uint64_t> cursors;
  for (const auto& [first, last] : BlockGroups(starts, capacity)) {
    if (!FillGroup(table, offsets, starts, capacity, spans, first, last, &cursors, &block)) {
      return false;
    }
  }
  return true;
}

// As WriteThroughBlock, with the groups shared out among `workers` threads, each filling a block
// of its own and placing it where its group's bytes go, one piece at a time.
bool PlaceThroughBlocks(const MessageTable& table, std::span<const std::uint32_t> offsets,
                        std::span<const std::uint64_t> starts, std::uint64_t capacity,
                        const TextSpans& spans, const PoolPlacer& place, std::size_t workers) {
  const std::vector<std::pair<std::size_t, std::size_t>> groups = BlockGroups(starts, capacity);
  std::mutex placing;
  std::vector<char> filled(workers, 1);
  auto fillGroups = [&](std::size_t part, std::size_t begin, std::size_t end) {
    std::uint64_t at = 0;  // where the block's next piece goes
    const PoolWriter write = [&](std::string_view piece) {
      const std::lock_guard<std::mutex> lock(placing);
      place(at, piece);
      at += piece.size();
    };
    Block block(static_cast<std::size_t>(capacity), write);
    std::vector<std::uint64_t> cursors;
    for (std::size_t g = begin; g < end; ++g) {
      const auto [first, last] = groups[g];
      at = starts[first];
      if (!FillGroup(table, offsets, starts, capacity, spans, first, last, &cursors, &block)) {
        filled[part] = 0;
        return;
      }
    }
  };
  platform::RunParts(groups.size(), workers, fillGroups);
  return std::find(filled.begin(), filled.end(), 0) == filled.end();
}

}  // namespace

bool PlanTextPool(const MessageTable& table, MessagePool* pool, std::size_t blockBytes,
                  std::size_t workers) {
  const std::size_t languageCount = table.languages.size();
  const std::size_t idCount = table.messageIds.size();

  // Both passes are shared out among the workers, each part's results kept apart and put
  // together in part order.
  workers = std::max<std::size_t>(workers, 1);
  std::vector<std::vector<std::uint64_t>> partBytes(workers);  // [part][language]

  // The sizes do not depend on the order: summed over the CSV rows as they lie in memory.
  auto sizeRows = [&](std::size_t part, std::size_t begin, std::size_t end) {
    std::vector<std::uint64_t>& bytes = partBytes[part];
    for (std::size_t r = begin; r < end; ++r) {
      const auto row = static_cast<std::int32_t>(r + 1);
      // Only the identifier's first byte is read of a row's text, a line every few hundred
      // bytes: too sparse for the hardware to see a stream, it is asked for ahead (at 1 GB, a
      // third of the time of the pass).
      if (r + kEndsAhead < end) {
        Prefetch(table.csv.Cell(static_cast<std::int32_t>(r + 1 + kEndsAhead), 0).data());
      }
      if (!IsMessageIdentifier(table.csv.Cell(row, 0))) continue;
      for (std::size_t i = 0; i < languageCount; ++i) {
        std::string_view text = table.RowText(i, row);
        if (OwnsBytes(i, text)) bytes[i] += text.size() + 1;
      }
    }
  };
  for (std::vector<std::uint64_t>& bytes : partBytes) bytes.assign(languageCount, 0);
  platform::RunParts(static_cast<std::size_t>(std::max(table.csv.rows - 1, 0)), workers, sizeRows);
  std::vector<std::uint64_t> starts(languageCount + 1, 0);
  for (std::size_t i = 0; i < languageCount; ++i) {
    starts[i + 1] = starts[i];
    for (const std::vector<std::uint64_t>& bytes : partBytes) starts[i + 1] += bytes[i];
  }
  const std::uint64_t poolSize = starts[languageCount];
  const std::uint64_t capacity = BlockCapacity(blockBytes, poolSize);
  auto spans = std::make_shared<TextSpans>();
  PrepareSpans(starts, capacity, idCount, spans.get());
  const char* const csvText = table.csv.text.data();

  // Then the offsets, message by message in identifier order: only the field ends are read, and
  // one row serves all languages. The spans of the languages that will stream are noted on the
  // way: a second pass at random over the rows would cost as much as this one. A part counts its
  // offsets from 0 and notes which ones share the first language's; its starts, known once the
  // parts before it are counted, are added after. Parts begin on a multiple of 64 identifiers,
  // so that no two note into one word.
  std::vector<std::uint32_t>& offsets = pool->offsets;
  platform::AssignLarge(offsets, idCount * languageCount);
  std::vector<std::uint64_t> shared((idCount * languageCount + 63) / 64, 0);
  constexpr std::size_t kIdsPerChunk = 64;
  std::vector<std::pair<std::size_t, std::size_t>> partIds(workers);  // [first, last)
  auto layOutIds = [&](std::size_t part, std::size_t beginChunk, std::size_t endChunk) {
    const std::size_t first = beginChunk * kIdsPerChunk;
    const std::size_t last = std::min(endChunk * kIdsPerChunk, idCount);
    partIds[part] = {first, last};
    std::vector<std::uint64_t>& cursors = partBytes[part];
    for (std::size_t j = first; j < last; ++j) {
      if (j + kEndsAhead < last) PrefetchRowEnds(table.csv, table.messageIds[j + kEndsAhead].row);
      const std::int32_t row = table.messageIds[j].row;
      std::uint32_t* const offset = offsets.data() + j * languageCount;
      for (std::size_t i = 0; i < languageCount; ++i) {
        std::string_view text = table.RowText(i, row);
        const bool owned = OwnsBytes(i, text);
        if (spans->slots[i] != TextSpans::kNotStreamed) {
          spans->Record(spans->slots[i], idCount, j, text, owned, csvText);
        }
        if (!owned) {
          offset[i] = offset[0];
          const std::size_t at = j * languageCount + i;
          shared[at / 64] |= std::uint64_t{1} << (at % 64);
          continue;
        }
        // Cut to 32 bits only when the pool is too large to be written at all; the part's start
        // is added in the same arithmetic, modulo 2^32.
        offset[i] = static_cast<std::uint32_t>(cursors[i]);
        cursors[i] += text.size() + 1;
      }
    }
  };
  for (std::vector<std::uint64_t>& bytes : partBytes) bytes.assign(languageCount, 0);
  platform::RunParts((idCount + kIdsPerChunk - 1) / kIdsPerChunk, workers, layOutIds);
  std::vector<std::vector<std::uint32_t>> partStarts(workers);
  std::vector<std::uint64_t> next(starts.begin(), starts.end() - 1);
  for (std::size_t part = 0; part < workers; ++part) {
    for (std::size_t i = 0; i < languageCount; ++i) {
      partStarts[part].push_back(static_cast<std::uint32_t>(next[i]));
      next[i] += partBytes[part][i];
    }
  }
  auto addStarts = [&](std::size_t part, std::size_t, std::size_t) {
    const std::vector<std::uint32_t>& add = partStarts[part];
    for (std::size_t j = partIds[part].first; j < partIds[part].second; ++j) {
      std::uint32_t* const offset = offsets.data() + j * languageCount;
      for (std::size_t i = 0; i < languageCount; ++i) {
        const std::size_t at = j * languageCount + i;
        offset[i] += (shared[at / 64] >> (at % 64) & 1) != 0 ? add[0] : add[i];
      }
    }
  };
  platform::RunParts(workers, workers, addStarts);
  pool->bytes = std::vector<std::uint8_t>();
  pool->indexed = false;
  pool->producedSize = poolSize;
  pool->produce = [&table, starts, capacity, spans](std::span<const std::uint32_t> laidOut,
                                                    const PoolWriter& write) {
    return IsLayout(table, laidOut, starts) &&
           WriteThroughBlock(table, laidOut, starts, capacity, *spans, write);
  };
  pool->producePlaced = nullptr;
  if (workers > 1) {
    pool->producePlaced = [&table, starts = std::move(starts), capacity, spans = std::move(spans),
                           workers](std::span<const std::uint32_t> laidOut,
                                    const PoolPlacer& place) {
      return IsLayout(table, laidOut, starts) &&
             PlaceThroughBlocks(table, laidOut, starts, capacity, *spans, place, workers);
    };
  }
  return true;
}

bool WriteTextPool(const MessageTable& table, std::span<const std::uint32_t> offsets,
                   std::span<const std::uint64_t> starts, std::size_t blockBytes,
                   const PoolWriter& write) {
  if (!IsLayout(table, offsets, starts)) return false;
  const std::uint64_t capacity = BlockCapacity(blockBytes, starts.back());
  TextSpans spans;
  PrepareSpans(starts, capacity, table.messageIds.size(), &spans);
  GatherSpans(table, &spans);
  return WriteThroughBlock(table, offsets, starts, capacity, spans, write);
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
