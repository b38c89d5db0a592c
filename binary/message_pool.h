// The message pool of the binary message table (every message string of every language in one
// byte array) and the offset table that points into it.
#pragma once

#include <cstdint>
#include <vector>

#include "input/message_table.h"

namespace quillex {

struct MessagePool {
  std::vector<std::uint8_t> bytes;
  bool indexed = false;  // 16-bit unit strings rather than UTF-8 texts
};

/// Lays the texts of `table` into `pool` as NUL-terminated UTF-8, language by language and in
/// identifier order inside a language, and sets every record's offset. A message of a later
/// language whose text is empty shares the offset of the same message in the first language.
/// Returns true.
[[nodiscard]] bool BuildTextPool(MessageTable* table, MessagePool* pool);

/// Fills `offsetPool` with the records' offsets, message-major: entry j * L + i is message j in
/// language i. REQUIRES: `table.messages` holds one record per identifier for every language.
/// False when the pool (`poolSize` bytes), the offset table, an offset or a count
/// does not fit its 32-bit field of the file; prints nothing (the flow reports it).
[[nodiscard]] bool BuildOffsetPool(const MessageTable& table, std::uint64_t poolSize,
                                   std::vector<std::uint32_t>* offsetPool);

}  // namespace quillex
