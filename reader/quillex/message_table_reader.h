// Reads a binary message table written by zorb-quillex (by default msg.bin) from memory.
// Header-only, C++17, no allocation. The application loads the whole file, hands the bytes to
// Load(), which checks every field before anything is read through it, and then finds messages
// by the hashes of their identifier and language (msg_id_hash.inc, msg_lang_hash.inc, or
// HashString with the file's seed).
//
//   quillex::MessageTableReader table;
//   if (table.Load(bytes.data(), bytes.size()) != quillex::ReadStatus::Ok) { ... }
//   std::string_view text;
//   if (table.GetText(languageHash, messageHash, &text)) { ... }
//
// The layout is described in the tool's docs/binary_format.md, installed as
// share/doc/zorb-quillex/binary_format.md.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "quillex/message_hash.h"

namespace quillex {

/// What Load() found. Every value but Ok means the bytes are not a whole, sound message table.
enum class ReadStatus {
  Ok,
  Truncated,            // shorter than its own counts say
  TrailingBytes,        // longer than its own counts say
  BadStartMarker,       // not a message table, or not made with the seed it names
  BadEndMarker,         // the end marker is not where the counts put it
  UnknownPoolKind,      // neither UTF-8 texts nor 16-bit unit strings
  BadOffsetTableSize,   // the offset table size disagrees with the counts
  UnsortedIdentifiers,  // identifier hashes not ascending: binary search would miss
  OffsetOutsidePool,    // an offset points past the pool (or, for units, is odd)
  UnterminatedString,   // a string runs to the end of the pool without its terminator
};

/// A short English description of `status`, for logs.
constexpr const char* ToString(ReadStatus status) {
  switch (status) {
    case ReadStatus::Ok:
      return "ok";
    case ReadStatus::Truncated:
      return "truncated";
    case ReadStatus::TrailingBytes:
      return "bytes after the end marker";
    case ReadStatus::BadStartMarker:
      return "bad start marker";
    case ReadStatus::BadEndMarker:
      return "bad end marker";
    case ReadStatus::UnknownPoolKind:
      return "unknown pool kind";
    case ReadStatus::BadOffsetTableSize:
      return "offset table size disagrees with the counts";
    case ReadStatus::UnsortedIdentifiers:
      return "identifier hashes not sorted";
    case ReadStatus::OffsetOutsidePool:
      return "offset outside the pool";
    case ReadStatus::UnterminatedString:
      return "unterminated string";
  }
  return "unknown status";
}

/// How the messages are stored. Fixed values: they are the file's pool kind field.
enum class PoolKind : std::uint32_t {
  Utf8Text = 0,     // NUL-terminated UTF-8, markup as written in the CSV
  UnitStrings = 1,  // 16-bit units ending in 0xFFFF (--indexing, --indexing-all)
};

/// The 16-bit units of one indexed message, without its terminating 0xFFFF. A view into the
/// loaded bytes (little-endian, unaligned).
class UnitString {
 public:
  constexpr UnitString() = default;
  constexpr UnitString(const unsigned char* first, std::size_t size) : bytes(first), count(size) {}

  constexpr std::size_t size() const { return count; }
  constexpr bool empty() const { return count == 0; }
  /// REQUIRES: i < size().
  constexpr std::uint16_t operator[](std::size_t i) const {
    return static_cast<std::uint16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  }

 private:
  const unsigned char* bytes = nullptr;
  std::size_t count = 0;
};

class MessageTableReader {
 public:
  /// Returned by the Find operations when nothing matches.
  static constexpr std::size_t npos = static_cast<std::size_t>(-1);

  /// Checks the whole layout of `size` bytes at `data`: the markers, the counts against the size,
  /// the offset table size, the order of the identifier hashes, and that every offset points into
  /// the pool at a terminated string. Keeps a view of the bytes, which must outlive every later
  /// call and every text or unit string obtained from it. On any status but Ok the reader is
  /// empty (no languages, no messages) and nothing outside the bytes was read.
  ReadStatus Load(const void* data, std::size_t size) {
    *this = MessageTableReader();
    const ReadStatus status = Check(static_cast<const unsigned char*>(data), size);
    if (status != ReadStatus::Ok) *this = MessageTableReader();
    return status;
  }

  /// The seed the identifier and language hashes were made with.
  std::uint32_t Seed() const { return seed; }
  PoolKind Kind() const { return kind; }
  std::size_t LanguageCount() const { return languageCount; }
  std::size_t MessageCount() const { return messageCount; }
  /// The hash of language `i` (header order) or message `j` (ascending). REQUIRES: in range.
  std::uint32_t LanguageHash(std::size_t i) const { return Word(languageHashes + 4 * i); }
  std::uint32_t MessageHash(std::size_t j) const { return Word(messageHashes + 4 * j); }

  /// The position of the language with `hash`, the first in header order; npos when none has it.
  /// Linear: the languages keep the order of the CSV header and are few.
  std::size_t FindLanguage(std::uint32_t hash) const {
    for (std::size_t i = 0; i < languageCount; ++i) {
      if (LanguageHash(i) == hash) return i;
    }
    return npos;
  }

  /// The position of the message with `hash` by binary search over the sorted identifier hashes
  /// (the first of equal hashes, which the tool reports as a collision); npos when none has it.
  std::size_t FindMessage(std::uint32_t hash) const {
    std::size_t low = 0;
    std::size_t high = messageCount;
    while (low < high) {
      const std::size_t middle = low + (high - low) / 2;
      if (MessageHash(middle) < hash) {
        low = middle + 1;
      } else {
        high = middle;
      }
    }
    return low < messageCount && MessageHash(low) == hash ? low : npos;
  }

  /// The UTF-8 text of message `j` in language `i`, without its NUL. Empty when the positions
  /// are out of range or the pool holds unit strings.
  std::string_view Text(std::size_t i, std::size_t j) const {
    if (kind != PoolKind::Utf8Text || i >= languageCount || j >= messageCount) return {};
    const std::size_t offset = Offset(i, j);
    // Load() saw a NUL at or after every offset.
    const auto* start = reinterpret_cast<const char*>(pool + offset);
    const void* end = std::memchr(start, 0, poolSize - offset);
    return {start, static_cast<std::size_t>(static_cast<const char*>(end) - start)};
  }

  /// The units of message `j` in language `i`. Empty when the positions are out of range or
  /// the pool holds UTF-8 text.
  UnitString Units(std::size_t i, std::size_t j) const {
    if (kind != PoolKind::UnitStrings || i >= languageCount || j >= messageCount) return {};
    const std::size_t offset = Offset(i, j);
    std::size_t count = 0;
    // Load() saw an aligned 0xFFFF at or after every offset.
    while (pool[offset + 2 * count] != 0xFF || pool[offset + 2 * count + 1] != 0xFF) ++count;
    return {pool + offset, count};
  }

  /// The text of the message with hash `messageHash` in the language with hash `languageHash`.
  /// False when either is not in the table or the pool holds unit strings.
  bool GetText(std::uint32_t languageHash, std::uint32_t messageHash,
               std::string_view* text) const {
    const std::size_t i = FindLanguage(languageHash);
    const std::size_t j = FindMessage(messageHash);
    if (i == npos || j == npos || kind != PoolKind::Utf8Text) return false;
    *text = Text(i, j);
    return true;
  }

  /// The same for indexed tables: false when either hash is not in the table or the pool holds
  /// UTF-8 text.
  bool GetUnits(std::uint32_t languageHash, std::uint32_t messageHash, UnitString* units) const {
    const std::size_t i = FindLanguage(languageHash);
    const std::size_t j = FindMessage(messageHash);
    if (i == npos || j == npos || kind != PoolKind::UnitStrings) return false;
    *units = Units(i, j);
    return true;
  }

 private:
  static std::uint32_t Word(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
  }

  // Entry j * L + i of the offset table: the table is message-major.
  std::size_t Offset(std::size_t i, std::size_t j) const {
    return Word(offsets + 4 * (j * languageCount + i));
  }

  ReadStatus Check(const unsigned char* data, std::size_t size) {
    // Sizes are worked out in 64 bits: the counts come from the file and may be anything.
    constexpr std::uint64_t kHeader = 24;  // seed, start marker, reserved, L, N, pool kind
    const std::uint64_t total = size;
    if (total < kHeader) return ReadStatus::Truncated;
    const std::uint32_t fileSeed = Word(data);
    if (Word(data + 4) != HashString("MessageData", fileSeed)) return ReadStatus::BadStartMarker;
    // Offset 8 is reserved: written as 0, not looked at.
    const std::uint64_t languages = Word(data + 12);
    const std::uint64_t messages = Word(data + 16);
    const std::uint32_t poolKind = Word(data + 20);
    if (poolKind > 1) return ReadStatus::UnknownPoolKind;

    const std::uint64_t tableSizeAt = kHeader + 4 * languages + 4 * messages;
    if (total < tableSizeAt + 4) return ReadStatus::Truncated;
    const std::uint64_t tableSize = Word(data + tableSizeAt);
    // L * N < 2^64 always; the table size field holds 32 bits.
    if (languages * messages > 0xFFFFFFFFu / 4 || tableSize != 4 * languages * messages) {
      return ReadStatus::BadOffsetTableSize;
    }
    const std::uint64_t poolSizeAt = tableSizeAt + 4 + tableSize;
    if (total < poolSizeAt + 4) return ReadStatus::Truncated;
    const std::uint64_t filePoolSize = Word(data + poolSizeAt);
    const std::uint64_t endMarkerAt = poolSizeAt + 4 + filePoolSize;
    if (total < endMarkerAt + 4) return ReadStatus::Truncated;
    if (total > endMarkerAt + 4) return ReadStatus::TrailingBytes;
    if (Word(data + endMarkerAt) != HashString("EndOfRecord", fileSeed)) {
      return ReadStatus::BadEndMarker;
    }

    // From here on every position lies inside `size`, so size_t holds it.
    const unsigned char* idHashes = data + kHeader + 4 * languages;
    for (std::uint64_t j = 1; j < messages; ++j) {
      if (Word(idHashes + 4 * j) < Word(idHashes + 4 * (j - 1))) {
        return ReadStatus::UnsortedIdentifiers;
      }
    }
    const unsigned char* table = data + tableSizeAt + 4;
    const unsigned char* strings = data + poolSizeAt + 4;
    const bool units = poolKind == 1;
    // A string is terminated when a terminator stands at or after its offset: so every offset
    // up to the last terminator is, and none after it.
    bool anyTerminator = false;
    std::uint64_t lastTerminator = 0;
    if (units) {
      for (std::uint64_t at = filePoolSize & ~std::uint64_t{1}; at >= 2;) {
        at -= 2;
        if (strings[at] == 0xFF && strings[at + 1] == 0xFF) {
          anyTerminator = true;
          lastTerminator = at;
          break;
        }
      }
    } else {
      for (std::uint64_t at = filePoolSize; at > 0;) {
        --at;
        if (strings[at] == 0) {
          anyTerminator = true;
          lastTerminator = at;
          break;
        }
      }
    }
    for (std::uint64_t k = 0; k < languages * messages; ++k) {
      const std::uint64_t offset = Word(table + 4 * k);
      if (offset >= filePoolSize || (units && offset % 2 != 0)) {
        return ReadStatus::OffsetOutsidePool;
      }
      if (!anyTerminator || offset > lastTerminator) return ReadStatus::UnterminatedString;
    }

    seed = fileSeed;
    kind = static_cast<PoolKind>(poolKind);
    languageCount = static_cast<std::size_t>(languages);
    messageCount = static_cast<std::size_t>(messages);
    languageHashes = data + kHeader;
    messageHashes = idHashes;
    offsets = table;
    pool = strings;
    poolSize = static_cast<std::size_t>(filePoolSize);
    return ReadStatus::Ok;
  }

  std::uint32_t seed = 0;
  PoolKind kind = PoolKind::Utf8Text;
  std::size_t languageCount = 0;
  std::size_t messageCount = 0;
  const unsigned char* languageHashes = nullptr;
  const unsigned char* messageHashes = nullptr;
  const unsigned char* offsets = nullptr;
  const unsigned char* pool = nullptr;
  std::size_t poolSize = 0;
};

}  // namespace quillex
