// The indexed message pool: every message as a string of 16-bit little-endian units, characters
// as their indexes in the character lists and markup as control codes, ending in 0xFFFF.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "binary/character_table.h"
#include "binary/indexing_mode.h"
#include "binary/message_pool.h"
#include "format/formatter.h"
#include "input/message_table.h"
#include "markup/markup_parser.h"

namespace quillex {

/// Appends `value` to `pool` as two bytes, low byte first.
inline void AppendUnit(std::vector<std::uint8_t>* pool, std::uint16_t value) {
  pool->push_back(static_cast<std::uint8_t>(value & 0xFF));
  pool->push_back(static_cast<std::uint8_t>(value >> 8));
}

/// Appends the units of the UTF-8 `text`: each character's index in `list`, 0xFFF0 for each CR
/// and each LF; invalid sequences give nothing. At the first character that `list` lacks, prints
/// error "Unregistered character detected.: {} (U+{f0>4X})" and returns false (the units before
/// it stay).
[[nodiscard]] bool EncodeText(std::vector<std::uint8_t>* pool, const CharacterList& list,
                              std::string_view text);

/// Appends the units that describe `spec` (argument index, width, fill, precision, digits,
/// flags; each only where it differs from the default), without the closing 0xFFF1.
void EncodeSubstitution(const PlaceholderSpec& spec, std::vector<std::uint8_t>* pool);

/// Encodes every message of `table`, language by language in identifier order, against the
/// tables BuildCharacterTables made for `mode`, and fills the pool's offsets. Prints a warning
/// for each ignored tag (unsupported colour, typeface or reset) and an error for each message
/// that cannot be encoded (unregistered character, typeface without a list), and goes on with
/// the next message so that one run shows them all; to `report` instead, when it is set. False
/// when any message failed; `pool` is left unchanged then. Holds the whole pool: binary output
/// uses PlanIndexedPool instead.
[[nodiscard]] bool BuildIndexedPool(const MessageTable& table, IndexingMode mode,
                                    const CharacterTables& tables, MessagePool* pool,
                                    const IndexingReporter& report = {});

/// Encodes the messages that `plan` (filled by BuildCharacterTables for `mode`) names as
/// reporting, in pool order, and gives their findings to `report` (printed when it is empty):
/// every warning and error that BuildIndexedPool would give, without encoding the other messages
/// nor holding the pool; with `errorsOnly`, the errors alone. False when a message fails, or when
/// `tables` or `plan` were not made for `table`.
[[nodiscard]] bool ReportIndexingFaults(const MessageTable& table, IndexingMode mode,
                                        const CharacterTables& tables, const IndexedPoolPlan& plan,
                                        const IndexingReporter& report = {},
                                        bool errorsOnly = false);

/// BuildIndexedPool without holding the pool. From the `plan` BuildCharacterTables filled for
/// `mode`: encodes only the messages the plan names as reporting, in pool order, which prints
/// every warning and error BuildIndexedPool would (the others encode silently) and fails as it
/// would. On success lays out the offsets (taking the plan's storage) and sets `pool` to
/// produce its bytes through WriteIndexedPool, in order or placed; `table` and `tables` must then
/// stay unchanged until the pool is written.
[[nodiscard]] bool PlanIndexedPool(const MessageTable& table, IndexingMode mode,
                                   const CharacterTables& tables, IndexedPoolPlan* plan,
                                   MessagePool* pool);

/// Encodes every message silently and hands the pool over in bands of consecutive identifiers
/// of up to `blockBytes` each (a single larger identifier makes its own): to `place` when it is
/// set, each band taking every language; else to `write` in order, each band taking one
/// language. The messages of a band are read in CSV order and put in place by `offsets`. A
/// message that `verbatim` (IndexedPoolPlan::verbatim) marks is encoded without the markup
/// parser. False when a message does not take the bytes `offsets` gives it or the parts do not
/// tile the pool's `poolSize` bytes (the layout and the encoder disagree). A band's rows are
/// shared out among `workers` threads; the bytes do not depend on how many, nor on the way
/// they are handed over. With more than one, each band is handed over (on the calling thread)
/// while the next is encoded, and holds at most a 16th of the pool. `rowOrder`, when it holds
/// IdentifiersInRowOrder of the table (as IndexedPoolPlan::rows does), spares making it again.
[[nodiscard]] bool WriteIndexedPool(const MessageTable& table, IndexingMode mode,
                                    const CharacterTables& tables,
                                    std::span<const std::uint32_t> offsets, std::uint64_t poolSize,
                                    std::span<const std::uint8_t> verbatim, const PoolWriter& write,
                                    const PoolPlacer& place = {}, std::size_t workers = 1,
                                    std::uint64_t blockBytes = kIndexedPoolBlockBytes,
                                    std::span<const RowOrderEntry> rowOrder = {});

}  // namespace quillex
