// Hash include files: the hash of every message identifier or language as one enumerator line,
// "NAME = 0x5B4B101E,", for the application's source code.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "input/message_table.h"
#include "platform/platform.h"

namespace quillex {

/// Writes one line per entry, in order: `indentation`, the name unchanged, " = 0x", the hash as
/// eight upper-case hexadecimal digits, ",\n". Write errors stay on the stream for its owner.
void WriteHashLines(std::FILE* out, const std::string& indentation,
                    const std::vector<MessageIdEntry>& entries);
void WriteHashLines(std::FILE* out, const std::string& indentation,
                    const std::vector<LanguageEntry>& entries);

/// Writes the lines of `entries` without indentation to the text file `path`, replacing it
/// through OutputFile (no entries: an empty file). False after "Failed to write file: {}" for a
/// failed write, or silently when the file cannot be created; the caller prints its own message.
[[nodiscard]] bool WriteHashInclude(const platform::Path& path,
                                    const std::vector<MessageIdEntry>& entries);
[[nodiscard]] bool WriteHashInclude(const platform::Path& path,
                                    const std::vector<LanguageEntry>& entries);

}  // namespace quillex
