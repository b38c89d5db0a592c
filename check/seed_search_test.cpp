#include "check/seed_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "input/hash.h"

namespace quillex {
namespace {

std::vector<std::string> RandomNames(std::mt19937& random, int count, int minLength,
                                     int maxLength) {
  // Bytes from 0x80 up flip the sign of the seed factor: 0x7F is the last that does not.
  const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZ_0123456789\xC3\xA9\x7F\x80";
  std::vector<std::string> names;
  for (int i = 0; i < count; ++i) {
    const int length = minLength + static_cast<int>(random() % (maxLength - minLength + 1));
    std::string name;
    for (int k = 0; k < length; ++k) name += alphabet[random() % alphabet.size()];
    names.push_back(name);
  }
  return names;
}

std::vector<std::string> Distinct(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  return names;
}

// Whether two of the `distinct` texts share a hash under `seed`: the plain model.
bool CollidesUnder(const std::vector<std::string>& distinct, std::uint32_t seed) {
  std::vector<std::uint32_t> hashes;
  hashes.reserve(distinct.size());
  for (const std::string& name : distinct) hashes.push_back(HashString(name, seed));
  std::sort(hashes.begin(), hashes.end());
  return std::adjacent_find(hashes.begin(), hashes.end()) != hashes.end();
}

// The sweep's answers for a window against the model, at the planted seeds (each of which must
// collide) and at every `stride`-th seed.
void ExpectSampleLikeModel(const std::vector<std::string>& distinct, const std::vector<bool>& bad,
                           std::uint32_t first, std::uint32_t count,
                           const std::vector<std::uint32_t>& planted, std::uint32_t stride) {
  std::vector<std::uint32_t> sample = planted;
  for (std::uint32_t i = 0; i < count; i += stride) sample.push_back(first + i);
  for (const std::uint32_t seed : sample) {
    ASSERT_EQ(bad[seed - first], CollidesUnder(distinct, seed)) << seed;
  }
  for (const std::uint32_t seed : planted) EXPECT_TRUE(bad[seed - first]) << seed;
}

// Two texts of different lengths sharing a hash under `seed`, found the birthday way (about
// 2^16 tries): planted in a catalog, they make that seed bad across the length groups.
std::vector<std::string> CollidingPair(std::mt19937& random, std::uint32_t seed) {
  std::vector<std::string> tried;
  std::vector<std::uint32_t> slots(std::size_t{1} << 19, 0);  // 1 + index into tried, by hash
  for (;;) {
    tried.push_back(RandomNames(random, 1, 4, 9)[0]);
    const std::uint32_t hash = HashString(tried.back(), seed);
    for (std::uint32_t at = hash >> 13;; at = (at + 1) & ((1u << 19) - 1)) {
      if (slots[at] == 0) {
        slots[at] = static_cast<std::uint32_t>(tried.size());
        break;
      }
      const std::string& other = tried[slots[at] - 1];
      if (HashString(other, seed) == hash && other.size() != tried.back().size()) {
        return {other, tried.back()};
      }
    }
  }
}

// Texts of letters, digits and '_' only: their seed factor depends on their length alone.
std::string AsciiName(std::mt19937& random, int length) {
  const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZ_0123456789";
  std::string name;
  for (int k = 0; k < length; ++k) name += alphabet[random() % alphabet.size()];
  return name;
}

// Two ASCII texts of the given lengths sharing a hash under `seed`, found the birthday way.
std::vector<std::string> CollidingPairOfLengths(std::mt19937& random, std::uint32_t seed,
                                                int firstLength, int secondLength) {
  std::unordered_map<std::uint32_t, std::string> firsts;
  std::unordered_map<std::uint32_t, std::string> seconds;
  for (;;) {
    const std::string a = AsciiName(random, firstLength);
    const std::string b = AsciiName(random, secondLength);
    const std::uint32_t hashA = HashString(a, seed);
    const std::uint32_t hashB = HashString(b, seed);
    if (const auto it = seconds.find(hashA); it != seconds.end()) return {a, it->second};
    if (const auto it = firsts.find(hashB); it != firsts.end()) return {it->second, b};
    if (hashA == hashB) return {a, b};
    firsts.emplace(hashA, a);
    seconds.emplace(hashB, b);
  }
}

// The sweep against trying every seed on its own: groups of very different sizes, lengths
// sharing factors, pairs planted to collide across lengths, windows of several seeds per
// residue, one ending at the last seed and one across 2^31 (where the congruences of lengths
// differing by an odd count wrap around), one of a single seed per residue, and both ways of
// finishing a residue.
TEST(SeedSearchTest, SweepFindsExactlyTheCollidingSeeds) {
  std::mt19937 random(5);
  const std::pair<std::uint32_t, std::uint32_t> windows[] = {
      {0xFFFFFFFFu - 128 * 9 + 1, 128 * 9}, {0x80000000u - 128 * 4 - 37, 128 * 9}, {12345, 100}};
  for (const auto& [first, count] : windows) {
    std::vector<std::string> names = RandomNames(random, 1500, 5, 9);
    names.push_back("SGQLSFG");  // with the next one, lost at every seed of the default's residue
    names.push_back("IFOWMQV");
    for (const std::string& extra : RandomNames(random, 40, 1, 21)) names.push_back(extra);
    names.push_back(names[7]);  // equal texts are one text
    // The first and the last seed of their residues too: the ends of each range of partners.
    int planted = 0;
    for (const std::uint32_t offset : {3u, 200u, 1000u, 1100u, count - 1}) {
      if (offset >= count) continue;
      for (const std::string& name : CollidingPair(random, first + offset)) names.push_back(name);
      ++planted;
    }
    // And the first seed past the window, which is none of its business.
    for (const std::string& name : CollidingPair(random, first + count)) names.push_back(name);
    std::vector<bool> expected(count);
    int collisions = 0;
    const std::vector<std::string> distinct = Distinct(names);
    for (std::uint32_t i = 0; i < count; ++i) {
      expected[i] = CollidesUnder(distinct, first + i);
      collisions += expected[i];
    }
    EXPECT_GE(collisions, planted);
    for (const double weight : {1e300, 0.0, kSeedCheckWeight}) {
      const std::vector<bool> bad = SeedsWithCollisions(names, first, count, weight);
      for (std::uint32_t i = 0; i < count; ++i) {
        ASSERT_EQ(bad[i], expected[i]) << first + i << " weight " << weight;
      }
    }
  }
}

// Texts whose lengths differ by 2048 have seed factors that agree in their low 13 bits: a window
// of 2^20 seeds is then wider than the key space each residue's pairs leave, and is swept another
// way. Pairs planted at the window's ends and middle; seeds sampled against the model.
TEST(SeedSearchTest, LengthsFarApartInAWideWindow) {
  std::mt19937 random(11);
  const std::uint32_t first = 777;
  const std::uint32_t count = 1u << 20;
  const std::string prefix = RandomNames(random, 1, 2048, 2048)[0];
  std::vector<std::string> names = RandomNames(random, 20, 6, 6);
  for (const std::string& suffix : RandomNames(random, 20, 6, 6)) names.push_back(prefix + suffix);
  const std::vector<std::uint32_t> planted = {first, first + count / 2, first + count - 1};
  for (const std::uint32_t seed : planted) {
    // A short text against the prefix followed by a short text, found the birthday way. The
    // hash goes on from the state the prefix leaves, so the prefix is hashed once.
    const std::uint32_t afterPrefix = HashString(prefix, seed);
    std::unordered_map<std::uint32_t, std::string> shortByHash;
    std::unordered_map<std::uint32_t, std::string> longByHash;
    for (bool found = false; !found;) {
      const std::vector<std::string> two = RandomNames(random, 2, 6, 6);
      const std::uint32_t shortHash = HashString(two[0], seed);
      const std::uint32_t longHash = HashString(two[1], afterPrefix);
      shortByHash.emplace(shortHash, two[0]);
      longByHash.emplace(longHash, two[1]);
      for (const std::uint32_t hash : {shortHash, longHash}) {
        const auto shortOne = shortByHash.find(hash);
        const auto longOne = longByHash.find(hash);
        if (shortOne != shortByHash.end() && longOne != longByHash.end()) {
          names.push_back(shortOne->second);
          names.push_back(prefix + longOne->second);
          found = true;
          break;
        }
      }
    }
  }
  const std::vector<std::string> distinct = Distinct(names);
  const std::vector<bool> bad = SeedsWithCollisions(names, first, count);
  ExpectSampleLikeModel(distinct, bad, first, count, planted, 997);
}

// Two large groups of one length each: once the smaller outgrows the sweep's cells, most of its
// keys lie in crowded cells, and a look-up that scanned them all made the sweep |A| * |B| (about
// a minute here, past the test's time limit).
TEST(SeedSearchTest, SweepOverTwoLargeGroupsStaysQuick) {
  std::vector<std::string> names;
  for (int i = 0; i < 100000; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "MSG_%07d", i);
    names.push_back(name);
    std::snprintf(name, sizeof name, "MSG_%08d", i);
    names.push_back(name);
  }
  const std::uint32_t first = kDefaultHashSeed + 1;
  const std::vector<bool> bad = SeedsWithCollisions(names, first, 1u << 20);
  const std::vector<std::string> distinct = Distinct(names);
  // A sample against the model: the first bad seeds, and seeds spread over the window.
  std::vector<std::uint32_t> sample;
  for (std::uint32_t i = 0; i < bad.size() && sample.size() < 4; ++i) {
    if (bad[i]) sample.push_back(i);
  }
  ASSERT_EQ(sample.size(), 4u);
  for (std::uint32_t i = 0; i < bad.size(); i += 40961) sample.push_back(i);
  for (const std::uint32_t i : sample) {
    ASSERT_EQ(bad[i], CollidesUnder(distinct, first + i)) << first + i;
  }
}

// The first good seed against trying one seed after the other, with bad seeds planted from the
// start across the wrap at 2^32.
TEST(SeedSearchTest, FirstGoodSeedLikeTryingEach) {
  std::mt19937 random(9);
  const std::uint32_t start = 0xFFFFFFFDu;
  std::vector<std::string> names = RandomNames(random, 3000, 1, 14);
  for (std::uint32_t seed = start; seed != 3; ++seed) {
    for (const std::string& name : CollidingPair(random, seed)) names.push_back(name);
  }
  const std::vector<std::string> distinct = Distinct(names);
  std::uint32_t expected = start;
  while (CollidesUnder(distinct, expected)) ++expected;
  EXPECT_NE(expected, start);
  EXPECT_EQ(FindCollisionFreeSeed(names, start), expected);
  EXPECT_EQ(FindCollisionFreeSeed({}, 5), 5u);
}

// Two groups so large that each range of partners spans two of the sweep's cells about half
// the time: a partner alone in the second cell is found too.
TEST(SeedSearchTest, PartnersInTheSecondCellOfARange) {
  std::mt19937 random(17);
  const std::uint32_t first = 4242;
  const std::uint32_t count = 1u << 22;
  std::vector<std::string> names;
  for (int i = 0; i < 4096; ++i) {
    names.push_back(AsciiName(random, 9));
    names.push_back(AsciiName(random, 10));
  }
  std::vector<std::uint32_t> planted;
  for (std::uint32_t i = 0; i < 12; ++i) {
    planted.push_back(first + i * (count / 12) + random() % 4096);
    for (const std::string& name : CollidingPairOfLengths(random, planted.back(), 9, 10)) {
      names.push_back(name);
    }
  }
  const std::vector<std::string> distinct = Distinct(names);
  const std::vector<bool> bad = SeedsWithCollisions(names, first, count);
  ExpectSampleLikeModel(distinct, bad, first, count, planted, 40009);
}

// Once a good seed is found, a later residue may have a single seed left below it. Here that
// seed collides by the last pair of groups swept, and the seed 128 above it, which is not
// wanted, by the first: the sweep must not take the second for the first.
TEST(SeedSearchTest, FirstGoodSeedWhenOneSeedOfAResidueIsLeft) {
  std::mt19937 random(13);
  const std::uint32_t start = 1000;
  // Three lengths are three groups, swept pair by pair in the order of their factors.
  std::vector<int> lengths = {7, 8, 9};
  std::sort(lengths.begin(), lengths.end(), [](int a, int b) {
    return SeedFactor(std::string(a, 'A')) < SeedFactor(std::string(b, 'A'));
  });
  std::vector<std::string> names;
  for (const int length : lengths) {
    for (int i = 0; i < 50; ++i) names.push_back(AsciiName(random, length));
  }
  auto plant = [&](std::uint32_t seed, int firstLength, int secondLength) {
    for (const std::string& name :
         CollidingPairOfLengths(random, seed, firstLength, secondLength)) {
      names.push_back(name);
    }
  };
  plant(start, lengths[0], lengths[1]);            // tried on its own
  plant(start + 1, lengths[0], lengths[1]);        // the first residue: its next seed is good
  plant(start + 2, lengths[1], lengths[2]);        // the next residue, by the last pair
  plant(start + 2 + 128, lengths[0], lengths[1]);  // and 128 above, by the first
  const std::vector<std::string> distinct = Distinct(names);
  std::uint32_t expected = start;
  while (CollidesUnder(distinct, expected)) ++expected;
  EXPECT_EQ(expected, start + 3);
  EXPECT_EQ(FindCollisionFreeSeed(names, start), expected);
}

}  // namespace
}  // namespace quillex
