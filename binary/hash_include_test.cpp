#include "binary/hash_include.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace quillex {
namespace {

// The lines as the format describes them, one append at a time.
std::string PlainLines(std::string_view indentation, const std::vector<HashedName>& entries) {
  std::string out;
  for (const HashedName& entry : entries) {
    char hash[9];
    std::snprintf(hash, sizeof hash, "%08X", static_cast<unsigned>(entry.hash));
    out.append(indentation).append(entry.name).append(" = 0x").append(hash).append(",\n");
  }
  return out;
}

// Names of any bytes and length (empty ones too) in one buffer, as identifiers lie in the CSV,
// their hashes at random with the extremes among them; after text already in the output, as in
// a replace file.
TEST(HashIncludeTest, LinesMatchThePlainFormatAtAnySize) {
  std::mt19937 random(7);
  // The largest list comes to several megabytes: written in parts where there are processors.
  for (std::size_t count : {0, 1, 2, 5, 1000, 200'000}) {
    std::string names;
    std::vector<std::size_t> lengths;
    for (std::size_t k = 0; k < count; ++k) {
      lengths.push_back(random() % 40);
      for (std::size_t i = 0; i < lengths.back(); ++i) names += static_cast<char>(random() % 256);
    }
    std::vector<HashedName> entries;
    std::size_t at = 0;
    for (std::size_t k = 0; k < count; ++k) {
      const std::uint32_t hash = k % 7 == 3 ? 0xFFFFFFFFu : k % 7 == 4 ? 0 : random();
      entries.push_back({std::string_view(names).substr(at, lengths[k]), hash});
      at += lengths[k];
    }
    for (std::string_view indentation :
         {std::string_view(), std::string_view("\t"), std::string_view("        ")}) {
      std::string out = "before\n";
      WriteHashLines(out, indentation, entries);
      EXPECT_EQ(out, "before\n" + PlainLines(indentation, entries))
          << count << " entries, indentation of " << indentation.size();
    }
  }
}

}  // namespace
}  // namespace quillex
