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

/// Unit values of indexed messages (pool kind UnitStrings): character indexes below kColor, then
/// the control codes.
namespace unit {
constexpr std::uint16_t kColor = 0xD000;           // | palette value
constexpr std::uint16_t kBold = 0xD102;            // typeface "bold"
constexpr std::uint16_t kSubstIndex = 0xE000;      // | argument index & 0xFF
constexpr std::uint16_t kSubstWidth = 0xE100;      // | width & 0xFF (negative: left-aligned)
constexpr std::uint16_t kSubstPrecision = 0xE200;  // | precision & 0xFF
constexpr std::uint16_t kSubstFill = 0xE300;       // | fill byte
constexpr std::uint16_t kSubstHexDigits = 0xE400;  // | hexadecimal digits & 0xFF
constexpr std::uint16_t kSubstFlags = 0xE500;      // | plus 1, comma 2, tilde 4, hex mode * 8
constexpr std::uint16_t kColorReset = 0xFFD0;
constexpr std::uint16_t kFaceReset = 0xFFD1;
constexpr std::uint16_t kFullReset = 0xFFDF;
constexpr std::uint16_t kLineBreak = 0xFFF0;  // one per CR and one per LF
constexpr std::uint16_t kSubstEnd = 0xFFF1;
constexpr std::uint16_t kRubyColon = 0xFFF2;    // ruby start, written "base:reading"
constexpr std::uint16_t kRubyEquals = 0xFFF3;   // ruby start, written "base=reading"
constexpr std::uint16_t kRubyReading = 0xFFF4;  // end of the base, start of the reading
constexpr std::uint16_t kRubyEnd = 0xFFF5;
constexpr std::uint16_t kMessageEnd = 0xFFFF;
}  // namespace unit

/// Indexes stop below the control codes: no list may hold more characters.
constexpr std::uint32_t kMaxIndexedCharacters = 0xD000;

}  // namespace quillex::binary_format
