#include "binary/hash_include.h"

#include "console/catalog.h"
#include "input/message_table.h"

namespace quillex {

void WriteHashLines(std::string& out, std::string_view indentation,
                    std::span<const HashedName> entries) {
  static constexpr char kHexDigits[] = "0123456789ABCDEF";
  // Sized first: an identifier list is about as large as the identifiers.
  constexpr std::size_t kFixedPerLine = std::string_view(" = 0x12345678,\n").size();
  std::size_t size = out.size();
  for (const HashedName& entry : entries) {
    size += indentation.size() + entry.name.size() + kFixedPerLine;
  }
  out.reserve(size);
  for (std::size_t k = 0; k < entries.size(); ++k) {
    // Identifier names lie in CSV order, the lines go in hash order.
    constexpr std::size_t kAhead = 8;
    if (k + kAhead < entries.size()) Prefetch(entries[k + kAhead].name.data());
    const HashedName& entry = entries[k];
    out.append(indentation).append(entry.name).append(" = 0x");
    for (int shift = 28; shift >= 0; shift -= 4) out += kHexDigits[(entry.hash >> shift) & 0xF];
    out.append(",\n");
  }
}

bool WriteHashInclude(const platform::Path& path, std::span<const HashedName> entries) {
  std::string lines;
  WriteHashLines(lines, {}, entries);
  return WriteOutputFile(path, "w", lines);
}

}  // namespace quillex
