// Helpers for the unit tests of binary output: message tables built by hand, and a scratch folder
// for the files the writers produce.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "input/hash.h"
#include "input/message_table.h"

namespace quillex::testing {

/// A table as the loader would fill it (hashes with `seed`), but with the identifiers in the
/// given order and no markup parsed. `texts[i][j]` is identifier j in language i; the caller
/// applies the first-language fallback.
inline MessageTable MakeTable(const std::vector<std::string>& languages,
                              const std::vector<std::string>& ids,
                              const std::vector<std::vector<std::string>>& texts,
                              std::uint32_t seed = kDefaultHashSeed) {
  MessageTable table;
  for (std::size_t i = 0; i < languages.size(); ++i) {
    table.languages.push_back(
        {languages[i], HashString(languages[i], seed), static_cast<std::int32_t>(i + 1)});
  }
  for (std::size_t j = 0; j < ids.size(); ++j) {
    table.messageIds.push_back(
        {ids[j], HashString(ids[j], seed), static_cast<std::int32_t>(j + 1)});
  }
  for (const std::vector<std::string>& language : texts) {
    std::vector<MessageRecord>& records = table.messages.emplace_back();
    for (const std::string& text : language) records.push_back({text, 0, {}});
  }
  return table;
}

/// An empty folder of its own for the running test, removed again afterwards.
class ScratchDir {
 public:
  ScratchDir() {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::random_device random;
    path_ = std::filesystem::path(::testing::TempDir()) /
            (std::string("quillex_") + test->test_suite_name() + "_" + test->name() + "_" +
             std::to_string(random()));
    std::filesystem::create_directories(path_);
  }
  ~ScratchDir() { std::filesystem::remove_all(path_); }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  /// The names in the folder, to show that no temporary file was left behind.
  std::set<std::string> Names() const {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_)) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }

 private:
  std::filesystem::path path_;
};

inline std::string ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace quillex::testing
