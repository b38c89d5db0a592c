#include "binary/hash_include.h"

#include <array>
#include <cstring>
#include <vector>

#include "console/catalog.h"
#include "input/message_table.h"
#include "platform/parallel.h"

namespace quillex {
namespace {

constexpr std::string_view kHashPrefix = " = 0x";
constexpr std::string_view kLineEnd = ",\n";
constexpr std::size_t kFixedPerLine = kHashPrefix.size() + 8 + kLineEnd.size();

// Two upper-case hexadecimal digits for each byte value: a hash takes four look-ups.
constexpr std::array<char, 512> kHexPairs = [] {
  constexpr char kDigits[] = "0123456789ABCDEF";
  std::array<char, 512> pairs{};
  for (std::size_t byte = 0; byte < 256; ++byte) {
    pairs[2 * byte] = kDigits[byte >> 4];
    pairs[2 * byte + 1] = kDigits[byte & 0xF];
  }
  return pairs;
}();

char* Put(char* at, std::string_view bytes) {
  if (bytes.empty()) return at;  // no indentation: a view of no data, which memcpy may not take
  std::memcpy(at, bytes.data(), bytes.size());
  return at + bytes.size();
}

}  // namespace

void WriteHashLines(std::string& out, std::string_view indentation,
                    std::span<const HashedName> entries) {
  // Sized first, then written in place: an identifier list is about as large as the identifiers,
  // and at hundreds of thousands of lines appending piece by piece costs more than the bytes.
  const std::size_t fixed = indentation.size() + kFixedPerLine;
  std::size_t size = entries.size() * fixed;
  for (const HashedName& entry : entries) size += entry.name.size();
  const std::size_t workers = platform::WorkersFor(size);
  // The bytes of each part's lines (at its index + 1): a part's start where the parts before it
  // end.
  std::vector<std::size_t> partBytes(workers + 1, 0);
  if (workers > 1) {
    platform::RunParts(entries.size(), workers,
                       [&](std::size_t part, std::size_t begin, std::size_t end) {
                         std::size_t bytes = (end - begin) * fixed;
                         for (std::size_t k = begin; k < end; ++k) bytes += entries[k].name.size();
                         partBytes[part + 1] = bytes;
                       });
  }
  const std::size_t base = out.size();
  out.resize(base + size);
  char* const lines = out.data() + base;
  platform::RunParts(entries.size(), workers,
                     [&](std::size_t part, std::size_t begin, std::size_t end) {
                       char* at = lines;
                       for (std::size_t p = 0; p <= part; ++p) at += partBytes[p];
                       for (std::size_t k = begin; k < end; ++k) {
                         // Identifier names lie in CSV order, the lines go in hash order.
                         constexpr std::size_t kAhead = 8;
                         if (k + kAhead < end) Prefetch(entries[k + kAhead].name.data());
                         const HashedName& entry = entries[k];
                         at = Put(Put(Put(at, indentation), entry.name), kHashPrefix);
                         for (int shift = 24; shift >= 0; shift -= 8) {
                           std::memcpy(at, &kHexPairs[2 * ((entry.hash >> shift) & 0xFF)], 2);
                           at += 2;
                         }
                         at = Put(at, kLineEnd);
                       }
                     });
}

bool WriteHashInclude(const platform::Path& path, std::span<const HashedName> entries) {
  std::string lines;
  WriteHashLines(lines, {}, entries);
  return WriteOutputFile(path, "w", lines);
}

}  // namespace quillex
