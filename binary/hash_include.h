// Hash include files: the hash of every message identifier or language as one enumerator line,
// "NAME = 0x5B4B101E,", for the application's source code.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace quillex {

/// One line's worth: a name and its hash. A view: the name must outlive it.
struct HashedName {
  std::string_view name;
  std::uint32_t hash = 0;
};

/// The names and hashes of `entries` (languages or identifiers), in order.
template <typename Entry>
std::vector<HashedName> HashedNames(const std::vector<Entry>& entries) {
  std::vector<HashedName> names;
  names.reserve(entries.size());
  for (const Entry& entry : entries) names.push_back({entry.name, entry.hash});
  return names;
}

/// Appends one line per entry, in order: `indentation`, the name unchanged, " = 0x", the hash as
/// eight upper-case hexadecimal digits, ",\n".
void WriteHashLines(std::string& out, std::string_view indentation,
                    std::span<const HashedName> entries);

/// Writes the lines of `entries` without indentation to the text file `path` (no entries: an empty
/// file), completely or not at all. False after "Failed to write file: {}" for a failed write, or
/// silently when the file cannot be created; the caller prints its own message.
[[nodiscard]] bool WriteHashInclude(const platform::Path& path,
                                    std::span<const HashedName> entries);

}  // namespace quillex
