// Fixed values of the binary message table. Applications that load the file depend on every one
// of them: never change them. docs/binary_format.md describes the whole layout.
#pragma once

#include <cstdint>
#include <string_view>

namespace quillex::binary_format {

/// Hashed with the run's seed into the start and end markers of the file.
constexpr std::string_view kStartMarkerText = "MessageData";
constexpr std::string_view kEndMarkerText = "EndOfRecord";

/// The reserved header field.
constexpr std::uint32_t kReserved = 0;

/// The pool kind field: how the message strings are stored.
enum class PoolKind : std::uint32_t {
  Utf8Text = 0,     // NUL-terminated UTF-8 texts
  UnitStrings = 1,  // 16-bit units ending in 0xFFFF (indexing)
};

/// Bytes of the file apart from the hashes, the offset table and the pool: seed, start marker,
/// reserved, language count, identifier count, pool kind, offset table size, pool size, end
/// marker.
constexpr std::uint64_t kFixedFieldsSize = 9 * 4;

}  // namespace quillex::binary_format
