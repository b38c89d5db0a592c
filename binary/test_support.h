// Helpers for the unit tests of binary output: message tables built by hand, and what a writer puts
// on a stream.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "input/hash.h"
#include "input/message_table.h"

namespace quillex::testing {

/// A table as the loader would fill it, but with the identifiers in the
/// given order and no markup parsed. `texts[i][j]` is identifier j in language i; the caller
/// applies the first-language fallback.
inline MessageTable MakeTable(const std::vector<std::string>& languages,
                              const std::vector<std::string>& ids,
                              const std::vector<std::vector<std::string>>& texts) {
  MessageTable table;
  for (std::size_t i = 0; i < languages.size(); ++i) {
    table.languages.push_back({languages[i], HashString(languages[i], kDefaultHashSeed),
                               static_cast<std::int32_t>(i + 1)});
  }
  for (std::size_t j = 0; j < ids.size(); ++j) {
    table.messageIds.push_back(
        {ids[j], HashString(ids[j], kDefaultHashSeed), static_cast<std::int32_t>(j + 1)});
  }
  for (const std::vector<std::string>& language : texts) {
    std::vector<MessageRecord>& records = table.messages.emplace_back();
    for (const std::string& text : language) records.push_back({text, 0, {}});
  }
  return table;
}

/// What `write` puts on a scratch stream.
inline std::string WrittenTo(const std::function<void(std::FILE*)>& write) {
  std::FILE* out = std::tmpfile();
  EXPECT_NE(out, nullptr);
  if (out == nullptr) return {};
  write(out);
  std::string text(static_cast<std::size_t>(std::ftell(out)), '\0');
  std::rewind(out);
  EXPECT_EQ(std::fread(text.data(), 1, text.size(), out), text.size());
  std::fclose(out);
  return text;
}

}  // namespace quillex::testing
