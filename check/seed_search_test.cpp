#include "check/seed_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "input/hash.h"

namespace quillex {
namespace {

std::vector<std::string> RandomNames(std::mt19937& random, int count, int minLength,
                                     int maxLength) {
  // Some non-ASCII bytes: they flip the sign of the seed factor.
  const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZ_0123456789\xC3\xA9";
  std::vector<std::string> names;
  for (int i = 0; i < count; ++i) {
    const int length = minLength + static_cast<int>(random() % (maxLength - minLength + 1));
    std::string name;
    for (int k = 0; k < length; ++k) name += alphabet[random() % alphabet.size()];
    names.push_back(name);
  }
  return names;
}

bool CollidesUnder(std::vector<std::string> names, std::uint32_t seed) {
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  std::vector<std::uint32_t> hashes;
  for (const std::string& name : names) hashes.push_back(HashString(name, seed));
  std::sort(hashes.begin(), hashes.end());
  return std::adjacent_find(hashes.begin(), hashes.end()) != hashes.end();
}

TEST(SeedSearchTest, HashMovesWithTheSeedByItsFactor) {
  std::mt19937 random(3);
  for (const std::string& name : RandomNames(random, 2000, 0, 40)) {
    const std::uint32_t seed = random();
    EXPECT_EQ(HashString(name, seed),
              HashString(name, seed % 128) + 128u * SeedFactor(name) * (seed / 128))
        << name;
  }
}

// The sweep against trying every seed on its own: groups of very different sizes, lengths
// sharing factors, and enough names that a good share of the seeds collide.
TEST(SeedSearchTest, SweepFindsExactlyTheCollidingSeeds) {
  std::mt19937 random(5);
  std::vector<std::string> names = RandomNames(random, 3000, 5, 9);
  names.push_back("SGQLSFG");  // with the next one, lost at every seed of the default's residue
  names.push_back("IFOWMQV");
  for (const std::string& extra : RandomNames(random, 40, 20, 21)) names.push_back(extra);
  names.push_back(names[7]);  // equal texts are one text
  const std::uint32_t first = 0xFFFFFFFFu - 127;  // up to the last seed
  const std::uint32_t count = 128;
  const std::vector<bool> bad = SeedsWithCollisions(names, first, count);
  int collisions = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    const bool expected = CollidesUnder(names, first + i);
    collisions += expected;
    ASSERT_EQ(bad[i], expected) << first + i;
  }
  EXPECT_GE(collisions, 1);
}

TEST(SeedSearchTest, FirstSeedWithoutCollision) {
  EXPECT_EQ(FindCollisionFreeSeed({"HELLO", "BYE"}, kDefaultHashSeed), kDefaultHashSeed);
  // These two collide under the default seed, and (having one length) under every seed with
  // its low 7 bits.
  const std::vector<std::string> pair = {"SGQLSFG", "IFOWMQV", "SGQLSFG"};
  EXPECT_EQ(FindCollisionFreeSeed(pair, kDefaultHashSeed), kDefaultHashSeed + 1);
  EXPECT_EQ(FindCollisionFreeSeed(pair, kDefaultHashSeed - 128), kDefaultHashSeed - 127);
  EXPECT_EQ(FindCollisionFreeSeed({}, 5), 5u);
}

}  // namespace
}  // namespace quillex
