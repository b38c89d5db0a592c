// The message pool of the binary message table (every message string of every language in one
// byte array) and the offset table that points into it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

#include "input/message_table.h"

namespace quillex {

/// Takes the pool's bytes piece by piece, in order.
using PoolWriter = std::function<void(std::string_view)>;

/// Takes the pool's bytes piece by piece, each at its offset from the pool's start, in any order;
/// every byte comes once.
using PoolPlacer = std::function<void(std::uint64_t offset, std::string_view)>;

struct MessagePool {
  std::vector<std::uint8_t> bytes;
  bool indexed = false;  // 16-bit unit strings rather than UTF-8 texts
  /// Where each message starts in `bytes`, message-major: entry j * L + i is message j in
  /// language i. Laid out with the bytes; exact while `bytes` fits 32 bits (BuildOffsetPool
  /// refuses the pool otherwise).
  std::vector<std::uint32_t> offsets;
  /// Set instead of `bytes` for a pool made while the file is written (held whole, the indexed
  /// pool would be most of a run's memory): hands the pool's `producedSize` bytes to the writer
  /// in order; false when they do not come out where the offset table (`offsets` as it was laid
  /// out, wherever it went since) says.
  std::function<bool(std::span<const std::uint32_t> offsets, const PoolWriter&)> produce;
  /// Set beside `produce` for a pool made faster out of order: hands the same bytes to the
  /// placer, with the same checks. For an output that can seek.
  std::function<bool(std::span<const std::uint32_t> offsets, const PoolPlacer&)> producePlaced;
  std::uint64_t producedSize = 0;
};

/// The pool's size in bytes, held or produced.
inline std::uint64_t PoolSize(const MessagePool& pool) {
  return pool.produce ? pool.producedSize : pool.bytes.size();
}

/// The largest block a text pool made while the file is written is handed over in: the pool
/// (about the CSV's size) is never held whole, and a block's pages are reused for the next.
constexpr std::size_t kTextPoolBlockBytes = std::size_t{8} << 20;

/// Lays out the texts of `table` (MessageTable::Text) as NUL-terminated UTF-8, language by
/// language and in identifier order inside a language: fills the pool's offsets and sets it to
/// produce its bytes through WriteTextPool in blocks of up to `blockBytes`. A message of a later
/// language whose text is empty shares the offset of the same message in the first language.
/// `table` must stay unchanged until the pool is written. For each language larger than a block,
/// the pool holds 8 bytes per identifier until then: where its texts lie, noted by the same pass
/// over the rows. The rows are shared out among `workers` threads (platform::WorkersFor); the
/// layout does not depend on how many. With more than one, the pool can also be placed
/// (`producePlaced`): its groups of languages are filled on as many threads, each through a block
/// of its own. Returns true.
[[nodiscard]] bool PlanTextPool(const MessageTable& table, MessagePool* pool,
                                std::size_t blockBytes = kTextPoolBlockBytes,
                                std::size_t workers = 1);

/// Hands the text pool of `table` to `write` in order, in blocks of 1 to `blockBytes` bytes (0
/// counts as 1). `starts` holds where each language's part starts, then the pool's size. False
/// when a message does not lie where `offsets` puts it or a part does not end where `starts`
/// says (the layout and the texts disagree); nothing past a part's end is written then. Holds
/// the block and, for each language larger than a block, 8 bytes per identifier.
[[nodiscard]] bool WriteTextPool(const MessageTable& table, std::span<const std::uint32_t> offsets,
                                 std::span<const std::uint64_t> starts, std::size_t blockBytes,
                                 const PoolWriter& write);

/// True when a pool of `poolSize` bytes, its offset table and the counts fit their 32-bit fields
/// of the file.
bool FitsBinaryFile(std::uint64_t languageCount, std::uint64_t idCount, std::uint64_t poolSize);

/// Hands the pool's offsets over to `offsetPool` after checking FitsBinaryFile. REQUIRES: the pool
/// was built for `table`. False when something does not fit; prints nothing (the flow reports it).
[[nodiscard]] bool BuildOffsetPool(const MessageTable& table, MessagePool* pool,
                                   std::vector<std::uint32_t>* offsetPool);

}  // namespace quillex
