#include "check/seed_search.h"

#include <algorithm>
#include <bit>
#include <map>

#include "input/csv_table.h"
#include "input/hash.h"

namespace quillex {
namespace {

// Why no seed has to be tried on its own: one hash step x -> (x ^ c) * P equals (x + e) * P for
// an ASCII byte c and (-x + e) * P for a sign-extended one, where e depends only on the low 7 bits
// of x; and the low 7 bits of the result depend only on those of x. So, for seeds s = r + 128 q,
// a text hashes to F(r) + 128 * M * q, with F(r) its hash under r and M its SeedFactor. Two texts
// with the same factor collide for every q or for none; two with factors Ma and Mb collide where
// F_a(r) - F_b(r) = 128 * (Mb - Ma) * q, a congruence solved below for all q at once.
constexpr std::uint32_t kPrime = 16777619u;
constexpr std::uint32_t kResidues = 128;
constexpr std::uint64_t kSeedCount = std::uint64_t{1} << 32;
constexpr std::uint32_t kMaxChunk = std::uint32_t{1} << 20;

// The inverse of an odd number modulo 2^32 (Newton's iteration doubles the correct bits).
std::uint32_t InverseOfOdd(std::uint32_t odd) {
  std::uint32_t x = odd;  // right in the low 3 bits
  for (int i = 0; i < 4; ++i) x *= 2u - odd * x;
  return x;
}

struct Catalog {
  std::vector<std::string> names;                  // distinct
  std::vector<std::vector<std::uint32_t>> groups;  // indexes into names, by seed factor
  std::vector<std::uint32_t> factors;              // one per group
  // Texts of one group collide at every seed of a residue or at none: the residues where some
  // do, found once. With many texts of one length all 128 may be lost, and then no seed helps.
  // Found as the residues are met: 0 not yet known, 1 lost, 2 kept.
  std::vector<std::int8_t> residueState = std::vector<std::int8_t>(kResidues, 0);
};

Catalog MakeCatalog(const std::vector<std::string>& names) {
  Catalog catalog;
  catalog.names = names;
  std::sort(catalog.names.begin(), catalog.names.end());
  catalog.names.erase(std::unique(catalog.names.begin(), catalog.names.end()),
                      catalog.names.end());
  std::map<std::uint32_t, std::vector<std::uint32_t>> byFactor;
  for (std::uint32_t i = 0; i < catalog.names.size(); ++i) {
    byFactor[SeedFactor(catalog.names[i])].push_back(i);
  }
  for (auto& [factor, members] : byFactor) {
    catalog.factors.push_back(factor);
    catalog.groups.push_back(std::move(members));
  }
  return catalog;
}

bool HasEqualValues(std::vector<std::uint32_t> values) {
  std::sort(values.begin(), values.end());
  return std::adjacent_find(values.begin(), values.end()) != values.end();
}

bool GroupsCollide(const Catalog& catalog, const std::vector<std::uint32_t>& hashes) {
  for (const auto& group : catalog.groups) {
    std::vector<std::uint32_t> values;
    values.reserve(group.size());
    for (std::uint32_t i : group) values.push_back(hashes[i]);
    if (HasEqualValues(std::move(values))) return true;
  }
  return false;
}

void HashAll(const Catalog& catalog, std::uint32_t seed, std::vector<std::uint32_t>* hashes) {
  hashes->resize(catalog.names.size());
  for (std::size_t i = 0; i < hashes->size(); ++i) {
    (*hashes)[i] = HashString(catalog.names[i], seed);
  }
}

// The texts' hashes under seed r, and whether residue r is lost.
bool HashResidue(Catalog* catalog, std::uint32_t r, std::vector<std::uint32_t>* hashes) {
  if (catalog->residueState[r] == 1) return false;
  HashAll(*catalog, r, hashes);
  if (catalog->residueState[r] == 0) {
    catalog->residueState[r] = GroupsCollide(*catalog, *hashes) ? 1 : 2;
  }
  return catalog->residueState[r] == 2;
}

bool AllResiduesLost(Catalog* catalog) {
  std::vector<std::uint32_t> hashes;
  bool allLost = true;
  for (std::uint32_t r = 0; r < kResidues; ++r) {
    if (catalog->residueState[r] == 0) HashResidue(catalog, r, &hashes);
    if (catalog->residueState[r] == 2) allLost = false;
  }
  return allLost;
}

// The seeds r + 128 q, q in [qLow, qHigh], that make two texts of the catalog collide, marked in
// `bad` (indexed from `first`). `hashes` holds every text's hash under r.
class ResidueSweep {
 public:
  ResidueSweep(const Catalog& catalog, const std::vector<std::uint32_t>& hashes, std::uint32_t r,
               std::uint64_t qLow, std::uint64_t qHigh, std::uint32_t first,
               std::vector<bool>* bad)
      : catalog(catalog), hashes(hashes), r(r), qLow(qLow), qHigh(qHigh), first(first),
        bad(bad) {}

  void Run() {
    for (std::size_t i = 0; i < catalog.groups.size(); ++i) {
      for (std::size_t j = i + 1; j < catalog.groups.size(); ++j) {
        if (SweepPair(i, j)) return;
      }
    }
  }

  void MarkAll() {
    for (std::uint64_t q = qLow; q <= qHigh; ++q) Mark(q);
  }

 private:
  void Mark(std::uint64_t q) { (*bad)[r + kResidues * q - first] = true; }

  // Texts a of group i and b of group j collide at q when F_a - F_b = 2^k * u * q, with
  // 2^k * u = 128 * (Mj - Mi) and u odd. Scaled by 1/u: Z_a - Z_b = 2^k * q, so Z_a and Z_b agree
  // in their low k bits and their high parts differ by q modulo 2^(32 - k). True when every seed
  // is marked already.
  bool SweepPair(std::size_t i, std::size_t j) {
    const std::uint32_t delta = catalog.factors[j] - catalog.factors[i];
    const int v = std::countr_zero(delta);  // >= 1: both factors are odd
    const int k = v + 7;
    // The sorted side is the smaller one; the condition is symmetric up to the sign of q, which
    // swapping the groups flips back.
    const bool swapped = catalog.groups[j].size() > catalog.groups[i].size();
    const auto& left = swapped ? catalog.groups[j] : catalog.groups[i];
    const auto& right = swapped ? catalog.groups[i] : catalog.groups[j];
    if (k >= 32) {
      // 128 * (Mj - Mi) vanishes: the pair collides at every q or at none.
      std::vector<std::uint32_t> values;
      for (std::uint32_t a : left) values.push_back(hashes[a]);
      std::vector<std::uint32_t> others;
      for (std::uint32_t b : right) others.push_back(hashes[b]);
      std::sort(values.begin(), values.end());
      std::sort(others.begin(), others.end());
      std::vector<std::uint32_t> common;
      std::set_intersection(values.begin(), values.end(), others.begin(), others.end(),
                            std::back_inserter(common));
      if (common.empty()) return false;
      MarkAll();
      return true;
    }
    const std::uint32_t inverse = InverseOfOdd(delta >> v);
    const std::uint32_t scale = swapped ? 0u - inverse : inverse;
    const std::uint32_t lowMask = (std::uint32_t{1} << k) - 1;
    const std::uint64_t modulus = std::uint64_t{1} << (32 - k);
    auto key = [&](std::uint32_t z, std::uint64_t high) {
      return (std::uint64_t{z & lowMask} << 32) | high;
    };
    std::vector<std::uint64_t> keys;
    keys.reserve(right.size());
    for (std::uint32_t b : right) {
      const std::uint32_t z = scale * hashes[b];
      keys.push_back(key(z, z >> k));
    }
    std::sort(keys.begin(), keys.end());
    const bool wholeBlock = qHigh - qLow + 1 >= modulus;
    for (std::uint32_t a : left) {
      const std::uint32_t z = scale * hashes[a];
      const std::uint64_t high = z >> k;
      auto visit = [&](std::uint64_t from, std::uint64_t to) {
        auto it = std::lower_bound(keys.begin(), keys.end(), key(z, from));
        for (; it != keys.end() && *it <= key(z, to); ++it) {
          const std::uint64_t q0 = (high - (*it & 0xFFFFFFFFu)) & (modulus - 1);
          for (std::uint64_t q = qLow + ((q0 - qLow) & (modulus - 1)); q <= qHigh; q += modulus) {
            Mark(q);
          }
        }
      };
      if (wholeBlock) {
        visit(0, modulus - 1);
        continue;
      }
      const std::uint64_t from = (high - qHigh) & (modulus - 1);
      const std::uint64_t to = (high - qLow) & (modulus - 1);
      if (from <= to) {
        visit(from, to);
      } else {
        visit(from, modulus - 1);
        visit(0, to);
      }
    }
    return false;
  }

  const Catalog& catalog;
  const std::vector<std::uint32_t>& hashes;
  const std::uint32_t r;
  const std::uint64_t qLow;
  const std::uint64_t qHigh;
  const std::uint32_t first;
  std::vector<bool>* bad;
};

std::vector<bool> SweepSeeds(Catalog* catalog, std::uint32_t first, std::uint32_t count) {
  std::vector<bool> bad(count, false);
  const std::uint64_t end = std::uint64_t{first} + count;  // <= 2^32
  std::vector<std::uint32_t> hashes;
  for (std::uint32_t r = 0; r < kResidues; ++r) {
    const std::uint64_t lowest = first + ((r - first) & (kResidues - 1));
    if (lowest >= end) continue;
    const std::uint64_t highest = lowest + (end - 1 - lowest) / kResidues * kResidues;
    ResidueSweep sweep(*catalog, hashes, r, lowest / kResidues, highest / kResidues, first, &bad);
    if (HashResidue(catalog, r, &hashes)) {
      sweep.Run();
    } else {
      sweep.MarkAll();
    }
  }
  return bad;
}

}  // namespace

std::uint32_t SeedFactor(const std::string& text) {
  std::uint32_t factor = 1;
  for (char c : text) {
    if (c == '\0') break;
    factor *= kPrime;
    if (static_cast<unsigned char>(c) >= 0x80) factor = 0u - factor;
  }
  return factor;
}

std::vector<bool> SeedsWithCollisions(const std::vector<std::string>& names, std::uint32_t first,
                                      std::uint32_t count) {
  Catalog catalog = MakeCatalog(names);
  return SweepSeeds(&catalog, first, count);
}

std::optional<std::uint32_t> FindCollisionFreeSeed(const std::vector<std::string>& names,
                                                   std::uint32_t start) {
  Catalog catalog = MakeCatalog(names);
  // The start seed alone first: small catalogs need no other.
  std::vector<std::uint32_t> hashes;
  hashes.reserve(catalog.names.size());
  for (const std::string& name : catalog.names) hashes.push_back(HashString(name, start));
  if (!HasEqualValues(std::move(hashes))) return start;

  // Then a few seeds (a sweep costs one hash per text for each residue it meets), then large
  // chunks, which cost the same.
  std::uint64_t covered = 1;
  std::uint32_t first = start + 1;
  std::uint32_t chunk = 15;
  while (covered < kSeedCount) {
    const std::uint64_t count =
        std::min<std::uint64_t>({chunk, kSeedCount - first, kSeedCount - covered});
    const std::vector<bool> bad = SweepSeeds(&catalog, first, static_cast<std::uint32_t>(count));
    for (std::uint32_t i = 0; i < count; ++i) {
      if (!bad[i]) return first + i;
    }
    // Many texts of one length can lose every residue; then no seed will do.
    if (AllResiduesLost(&catalog)) return std::nullopt;
    covered += count;
    first += static_cast<std::uint32_t>(count);  // wraps to 0 after the last seed
    chunk = kMaxChunk;
  }
  return std::nullopt;
}

SeedChoice ChooseHashSeed(const platform::Path& csvPath, std::uint32_t start, std::uint32_t* seed) {
  CsvTable table;
  if (!table.Load(csvPath)) return SeedChoice::Unreadable;
  std::vector<std::string> names;
  for (std::int32_t row = 1; row < table.rows; ++row) {
    const std::string_view name = table.Cell(row, 0);
    if (!name.empty() && name[0] != '#') names.emplace_back(name);
  }
  const std::optional<std::uint32_t> found = FindCollisionFreeSeed(names, start);
  if (!found) return SeedChoice::NoSeed;
  *seed = *found;
  return SeedChoice::Found;
}

}  // namespace quillex
