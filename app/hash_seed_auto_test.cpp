// "--hash-seed auto" on a catalog large enough to collide under the default seed: the seed found
// keeps every identifier apart, the binary table finds each of them by hash, and the search costs
// about as much as the run itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "app/run.h"
#include "input/hash.h"
#include "platform/test_temp_dir.h"

namespace quillex {
namespace {

#if defined(__SANITIZE_ADDRESS__)
// The sanitizers make every step many times slower: about five collisions per seed instead of
// ten, still a search over many residues.
constexpr std::uint32_t kRandomIdentifiers = 200000;
constexpr std::uint32_t kRandomSeedOffset = 165;
#else
constexpr std::uint32_t kRandomIdentifiers = 300000;
constexpr std::uint32_t kRandomSeedOffset = 48138;
#endif

std::uint32_t ReadU32(const std::string& bytes, std::size_t offset) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[offset + i]);
  return value;
}

double RunTool(std::vector<std::string> args, std::string* out) {
  std::vector<const char*> argv = {"zorb-quillex"};
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  testing::internal::CaptureStdout();
  // Processor time: the machine may be busy with other work.
  const std::clock_t start = std::clock();
  const int status = RunMain(static_cast<int>(argv.size()), argv.data());
  const double seconds = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
  *out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(status, 0) << *out;
  return seconds;
}

class HashSeedAutoTest : public TempDirTest {
 protected:
  // Runs "--hash-seed auto" on `names`, then the same with the seed it chose, and checks that the
  // binary table finds every identifier by hash. Returns the seed.
  std::uint32_t CheckAutoSeed(const std::vector<std::string>& names, double* autoSeconds,
                              double* plainSeconds) {
    std::string rows = "ID,en\r\n";
    for (std::size_t i = 0; i < names.size(); ++i) {
      rows += names[i] + ",text " + std::to_string(i) + "\r\n";
    }
    const auto csv = Write("messages.csv", rows);

    std::string printed;
    *autoSeconds = RunTool({"--hash-seed", "auto", "-o", dir.string(), csv.string()}, &printed);
    // The seed line comes first, in the console's language: its value follows the first "0x".
    const std::size_t hex = printed.find("0x");
    EXPECT_NE(hex, std::string::npos) << printed;
    if (hex == std::string::npos) return 0;
    const auto seed =
        static_cast<std::uint32_t>(std::strtoul(printed.c_str() + hex + 2, nullptr, 16));
    *plainSeconds =
        RunTool({"--hash-seed", std::to_string(seed), "-o", dir.string(), csv.string()}, &printed);

    const std::string file = Read("msg.bin");
    EXPECT_EQ(ReadU32(file, 0), seed);
    const std::uint32_t languages = ReadU32(file, 12);
    const std::uint32_t count = ReadU32(file, 16);
    EXPECT_EQ(languages, 1u);
    EXPECT_EQ(count, names.size());
    const std::size_t hashes = 24 + 4 * languages;
    const std::size_t offsets = hashes + 4 * count + 4;
    const std::size_t pool = offsets + 4 * count * languages + 4;
    std::vector<std::uint32_t> table(count);
    for (std::uint32_t j = 0; j < count; ++j) table[j] = ReadU32(file, hashes + 4 * j);
    for (std::size_t i = 0; i < names.size(); ++i) {
      const std::uint32_t hash = HashString(names[i], seed);
      const auto found = std::equal_range(table.begin(), table.end(), hash);
      EXPECT_EQ(found.second - found.first, 1) << names[i];
      if (found.second - found.first != 1) break;
      const auto j = static_cast<std::size_t>(found.first - table.begin());
      const char* text = file.data() + pool + ReadU32(file, offsets + 4 * j);
      EXPECT_EQ(std::string(text), "text " + std::to_string(i)) << names[i];
    }
    return seed;
  }
};

// 300,000 random identifiers over 30 lengths collide about ten times under a typical seed, so
// the first good seed lies some tens of thousands of seeds away (48138 for these); the search
// meets every other length once per residue, not every identifier.
TEST_F(HashSeedAutoTest, RandomCatalogOfManyLengthsGetsACollisionFreeSeedQuickly) {
  std::mt19937 random(22);
  const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZ_0123456789";
  std::vector<std::string> names;
  names.reserve(kRandomIdentifiers);
  for (std::uint32_t i = 0; i < kRandomIdentifiers; ++i) {
    // Random characters, then the number in four base-36 digits: distinct without a set.
    std::string name(6 + random() % 30, 'A');
    for (std::size_t k = 0; k + 4 < name.size(); ++k) name[k] = alphabet[random() % 37];
    for (std::uint32_t k = 0, n = i; k < 4; ++k, n /= 36) {
      name[name.size() - 1 - k] = alphabet[n % 36];
    }
    names.push_back(std::move(name));
  }
  double autoSeconds = 0;
  double plainSeconds = 0;
  const std::uint32_t seed = CheckAutoSeed(names, &autoSeconds, &plainSeconds);
  EXPECT_EQ(seed - kDefaultHashSeed, kRandomSeedOffset);
  EXPECT_LT(autoSeconds, 40 * plainSeconds + 2.0) << autoSeconds << " s vs " << plainSeconds;
}

}  // namespace
}  // namespace quillex
