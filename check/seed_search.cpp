#include "check/seed_search.h"

#include <algorithm>
#include <bit>
#include <map>

#include "input/csv_table.h"
#include "input/hash.h"

namespace quillex {
namespace {

// Why most seeds need not be tried on their own: one hash step x -> (x ^ c) * P equals (x + e) * P
// for an ASCII byte c and (-x + e) * P for a sign-extended one, where e depends only on the low 7
// bits of x; and the low 7 bits of the result depend only on those of x. So, for seeds s = r + 128
// q, a text hashes to F(r) + 128 * M * q, with F(r) its hash under r and M its SeedFactor. Two
// texts with the same factor collide for every q or for none; two with factors Ma and Mb collide
// where F_a(r) - F_b(r) = 128 * (Mb - Ma) * q, a congruence solved below for all q of a window at
// once, group pair by group pair: about one step per text and other group, for each residue,
// however wide the window.
constexpr std::uint32_t kPrime = 16777619u;
constexpr std::uint32_t kResidues = 128;
constexpr std::uint64_t kSeedCount = std::uint64_t{1} << 32;
constexpr std::uint32_t kFirstChunk = std::uint32_t{1} << 17;
constexpr std::uint32_t kMaxChunk = std::uint32_t{1} << 20;

// The inverse of an odd number modulo 2^32 (Newton's iteration doubles the correct bits).
std::uint32_t InverseOfOdd(std::uint32_t odd) {
  std::uint32_t x = odd;  // right in the low 3 bits
  for (int i = 0; i < 4; ++i) x *= 2u - odd * x;
  return x;
}

struct Catalog {
  std::vector<std::string> names;         // distinct, those of one group next to each other
  std::vector<std::uint32_t> groupStart;  // group g is names[groupStart[g], groupStart[g + 1])
  std::vector<std::uint32_t> factors;     // one per group
  // Texts of one group collide at every seed of a residue or at none: the residues where some
  // do, found once. With many texts of one length all 128 may be lost, and then no seed helps.
  // Found as the residues are met: 0 not yet known, 1 lost, 2 kept.
  std::vector<std::int8_t> residueState = std::vector<std::int8_t>(kResidues, 0);

  std::size_t GroupCount() const { return factors.size(); }
  std::uint32_t GroupSize(std::size_t g) const { return groupStart[g + 1] - groupStart[g]; }
};

Catalog MakeCatalog(const std::vector<std::string>& names) {
  std::vector<std::string> distinct = names;
  std::sort(distinct.begin(), distinct.end());
  distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
  std::map<std::uint32_t, std::vector<std::uint32_t>> byFactor;
  for (std::uint32_t i = 0; i < distinct.size(); ++i) {
    byFactor[SeedFactor(distinct[i])].push_back(i);
  }
  Catalog catalog;
  catalog.names.reserve(distinct.size());
  for (auto& [factor, members] : byFactor) {
    catalog.factors.push_back(factor);
    catalog.groupStart.push_back(static_cast<std::uint32_t>(catalog.names.size()));
    for (std::uint32_t i : members) catalog.names.push_back(std::move(distinct[i]));
  }
  catalog.groupStart.push_back(static_cast<std::uint32_t>(catalog.names.size()));
  return catalog;
}

bool HasEqualValues(std::vector<std::uint32_t> values) {
  std::sort(values.begin(), values.end());
  return std::adjacent_find(values.begin(), values.end()) != values.end();
}

// Every text's hash under the residues r0, r0 + 1, ... (modulo 128) of kLanes lanes, lane-major:
// out[l * n + i]. The lanes are independent chains, so they run side by side instead of waiting
// on each multiplication.
constexpr std::uint32_t kLanes = 16;

void HashLanes(const Catalog& catalog, std::uint32_t r0, std::vector<std::uint32_t>* out) {
  const std::size_t n = catalog.names.size();
  out->resize(kLanes * n);
  for (std::size_t i = 0; i < n; ++i) {
    std::uint32_t h[kLanes];
    for (std::uint32_t l = 0; l < kLanes; ++l) h[l] = (r0 + l) & (kResidues - 1);
    for (char c : catalog.names[i]) {
      if (c == '\0') break;
      const auto v =
          static_cast<std::uint32_t>(static_cast<std::int32_t>(static_cast<signed char>(c)));
      for (std::uint32_t l = 0; l < kLanes; ++l) h[l] = (h[l] ^ v) * kPrime;
    }
    for (std::uint32_t l = 0; l < kLanes; ++l) (*out)[l * n + i] = h[l];
  }
}

int CellBits(std::size_t count, int limit) {
  return std::min(static_cast<int>(std::bit_width(count)), limit);
}

// An open-addressing set of hashes reused from seed to seed: a slot holds its round in the high
// half and the hash in the low half, taken when the round is the current one (one cache line per
// probe, and nothing to clear between seeds).
struct SeedCheckScratch {
  std::vector<std::uint64_t> slots;
  std::uint64_t round = 0;
};

// The seeds r + 128 q, q in [qLow, qHigh], of one residue that make two texts collide. `hashes`
// holds every text's hash under r. Marks bad[q - qLow]; `open` counts the unmarked q below
// qLow + wanted, and the sweep stops when it reaches 0 (the seeds above cannot matter then).
class ResidueSweep {
 public:
  ResidueSweep(const Catalog& catalog, const std::uint32_t* hashes, std::uint64_t qLow,
               std::uint64_t qHigh, std::uint64_t wanted, std::vector<std::uint8_t>* bad,
               double seedCheckWeight, SeedCheckScratch* scratch)
      : catalog(catalog),
        hashes(hashes),
        qLow(qLow),
        qHigh(qHigh),
        wanted(wanted),
        bad(bad),
        open(wanted),
        seedCheckWeight(seedCheckWeight),
        scratch(scratch) {}

  // True when the residue keeps every group apart by itself (else every q is bad): the hash set
  // of the seed checks, a round per group.
  bool GroupsApart() {
    std::uint32_t largest = 0;
    for (std::size_t g = 0; g < catalog.GroupCount(); ++g) {
      largest = std::max(largest, catalog.GroupSize(g));
    }
    const int bits = static_cast<int>(std::bit_width(largest)) + 1;
    for (std::size_t g = 0; g < catalog.GroupCount(); ++g) {
      if (!Insert(hashes + catalog.groupStart[g], catalog.GroupSize(g), 0, bits, NextRound(bits))) {
        return false;
      }
    }
    return true;
  }

  void Run() {
    const std::size_t groups = catalog.GroupCount();
    // A sweep of two groups costs about one step per text of either; checking one seed on its
    // own costs about seedCheckWeight such steps per text. Once few seeds are left open (most
    // are marked by the first pairs), the rest are checked one by one.
    std::uint64_t remaining = (groups - 1) * std::uint64_t{catalog.names.size()};
    const double seedCost = seedCheckWeight * static_cast<double>(catalog.names.size());
    for (std::size_t i = 0; i < groups; ++i) {
      for (std::size_t j = i + 1; j < groups; ++j) {
        if (open == 0) return;
        if (static_cast<double>(open) * seedCost < static_cast<double>(remaining)) {
          CheckOpenSeeds();
          return;
        }
        SweepPair(i, j);
        remaining -= catalog.GroupSize(i) + catalog.GroupSize(j);
      }
    }
  }

  void MarkAll() {
    for (std::uint64_t q = qLow; q <= qHigh; ++q) Mark(q);
  }

 private:
  void Mark(std::uint64_t q) {
    std::uint8_t& slot = (*bad)[q - qLow];
    if (slot == 0 && q - qLow < wanted) --open;
    slot = 1;
  }

  // Texts a of group A and b of group B collide at q when F_a - F_b = 128 * (M_B - M_A) * q =
  // 2^k * u * q with u odd. Scaled by 1/u: Z_a - Z_b = 2^k * q, so Z_a and Z_b agree in their low
  // k bits and their high parts differ by q modulo 2^(32 - k). With both rotated right by k bits,
  // the partners of a in the window are the keys of B in one or two ranges of width qHigh - qLow
  // + 1: a bucketed look-up each, about one key per cell.
  void SweepPair(std::size_t i, std::size_t j) {
    // B, the indexed side, is the smaller group.
    const bool swapped = catalog.GroupSize(j) > catalog.GroupSize(i);
    const std::size_t groupA = swapped ? j : i;
    const std::size_t groupB = swapped ? i : j;
    const std::uint32_t delta = catalog.factors[groupB] - catalog.factors[groupA];
    const int v = std::countr_zero(delta);  // >= 1: both factors are odd
    const int k = v + 7;
    const std::uint64_t width = qHigh - qLow + 1;
    if (k >= 32 || (std::uint64_t{1} << (32 - k)) < 2 * width) {
      SweepPairSlowly(groupA, groupB, k);
      return;
    }
    const std::uint32_t inverse = InverseOfOdd(delta >> v);
    const std::uint32_t highMask = (std::uint32_t{1} << (32 - k)) - 1;
    const std::uint32_t* hb = hashes + catalog.groupStart[groupB];
    const std::uint32_t sizeB = catalog.GroupSize(groupB);
    // B's keys by narrow cells of the key space, a bit per cell telling whether it holds one:
    // most texts of A have no partner, and the bits, small enough to stay in the fastest cache,
    // turn them away. A cell holds one key in `slot`; the rare others go to `overflow`. A range of
    // `width` keys spans at most two cells.
    const int filterBits =
        CellBits(std::size_t{sizeB} << 4, 32 - static_cast<int>(std::bit_width(width)));
    const int filterShift = 32 - filterBits;
    const std::size_t cellCount = std::size_t{1} << filterBits;
    filter.assign((cellCount + 63) / 64, 0);
    crowded.assign((cellCount + 63) / 64, 0);
    slot.resize(cellCount);
    overflow.clear();
    auto cellOf = [&](std::uint32_t key) {
      return filterShift == 32 ? std::size_t{0} : static_cast<std::size_t>(key >> filterShift);
    };
    auto bit = [](const std::vector<std::uint64_t>& bits, std::size_t cell) {
      return (bits[cell / 64] >> (cell % 64)) & 1;
    };
    for (std::uint32_t b = 0; b < sizeB; ++b) {
      const std::uint32_t key = std::rotr(inverse * hb[b], k);
      const std::size_t cell = cellOf(key);
      if (bit(filter, cell)) {
        crowded[cell / 64] |= std::uint64_t{1} << (cell % 64);
        overflow.push_back(key);
      } else {
        filter[cell / 64] |= std::uint64_t{1} << (cell % 64);
        slot[cell] = key;
      }
    }
    // The rare keys beyond a cell's first, sorted: a look-up takes those in its range only
    // (scanning them all for every crowded cell made the sweep |A| * |B| once B outgrew the
    // cells).
    std::sort(overflow.begin(), overflow.end());
    // Calls visit(key) for every key of B in [lowKey, highKey].
    auto forRange = [&](std::uint32_t lowKey, std::uint32_t highKey, auto&& visit) {
      const std::size_t c0 = cellOf(lowKey);
      const std::size_t c1 = cellOf(highKey);
      bool crowdedCell = false;
      for (std::size_t c = c0; c <= c1; ++c) {
        if (!bit(filter, c)) continue;
        if (slot[c] >= lowKey && slot[c] <= highKey) visit(slot[c]);
        crowdedCell = crowdedCell || bit(crowded, c);
      }
      if (!crowdedCell) return;
      for (auto it = std::lower_bound(overflow.begin(), overflow.end(), lowKey);
           it != overflow.end() && *it <= highKey; ++it) {
        visit(*it);
      }
    };
    const auto low = static_cast<std::uint32_t>(qLow) & highMask;
    const auto high = static_cast<std::uint32_t>(qHigh) & highMask;
    const std::uint32_t* ha = hashes + catalog.groupStart[groupA];
    const std::uint32_t sizeA = catalog.GroupSize(groupA);
    for (std::uint32_t a = 0; a < sizeA; ++a) {
      const std::uint32_t key = std::rotr(inverse * ha[a], k);
      const std::uint32_t top = key & ~highMask;
      const std::uint32_t part = key & highMask;
      // Partners: high parts from part - qHigh to part - qLow, modulo 2^(32 - k).
      const std::uint32_t from = (part - high) & highMask;
      const std::uint32_t to = (part - low) & highMask;
      auto mark = [&](std::uint32_t partner) {
        Mark(qLow + ((part - low - (partner & highMask)) & highMask));
      };
      if (from <= to) {
        const std::size_t c0 = cellOf(top | from);
        const std::size_t c1 = cellOf(top | to);
        if (bit(filter, c0) | bit(filter, c1)) forRange(top | from, top | to, mark);
      } else {
        forRange(top | from, top | highMask, mark);
        forRange(top, top | to, mark);
      }
    }
  }

  // The q left open below qLow + wanted, each checked by hashing every text under its seed.
  void CheckOpenSeeds() {
    const int bits = static_cast<int>(std::bit_width(catalog.names.size())) + 1;
    for (std::uint64_t q = qLow; q - qLow < wanted && q <= qHigh; ++q) {
      if ((*bad)[q - qLow]) continue;
      const std::uint64_t round = NextRound(bits);
      for (std::size_t g = 0; g < catalog.GroupCount(); ++g) {
        const std::uint32_t step = kResidues * static_cast<std::uint32_t>(q) * catalog.factors[g];
        if (!Insert(hashes + catalog.groupStart[g], catalog.GroupSize(g), step, bits, round)) {
          Mark(q);
          break;
        }
      }
    }
  }

  // A fresh round of the hash set, sized to 2^bits slots.
  std::uint64_t NextRound(int bits) {
    std::vector<std::uint64_t>& slots = scratch->slots;
    if (slots.size() < std::size_t{1} << bits) {
      slots.assign(std::size_t{1} << bits, 0);
      scratch->round = 0;
    }
    return ++scratch->round << 32;
  }

  // Adds values[i] + step to the set of `round`, using its first 2^bits slots; false at the first
  // value already there.
  bool Insert(const std::uint32_t* values, std::uint32_t count, std::uint32_t step, int bits,
              std::uint64_t round) {
    std::uint64_t* slots = scratch->slots.data();
    const std::uint32_t mask = (std::uint32_t{1} << bits) - 1;
    for (std::uint32_t i = 0; i < count; ++i) {
      const std::uint64_t entry = round | (values[i] + step);
      std::uint32_t at = (static_cast<std::uint32_t>(entry) * 0x9E3779B1u) >> (32 - bits);
      while ((slots[at] >> 32) == (round >> 32) && slots[at] != entry) at = (at + 1) & mask;
      if (slots[at] == entry) return false;
      slots[at] = entry;
    }
    return true;
  }

  // The same for factors so close that the window wraps around the modulus: sorted keys, every
  // solution of the congruence in the window.
  void SweepPairSlowly(std::size_t groupA, std::size_t groupB, int k) {
    const std::uint32_t* ha = hashes + catalog.groupStart[groupA];
    const std::uint32_t* hb = hashes + catalog.groupStart[groupB];
    const std::uint32_t sizeA = catalog.GroupSize(groupA);
    const std::uint32_t sizeB = catalog.GroupSize(groupB);
    if (k >= 32) {
      // 128 * (M_B - M_A) vanishes: the pair collides at every q or at none.
      std::vector<std::uint32_t> values(hb, hb + sizeB);
      std::sort(values.begin(), values.end());
      for (std::uint32_t a = 0; a < sizeA; ++a) {
        if (std::binary_search(values.begin(), values.end(), ha[a])) {
          MarkAll();
          return;
        }
      }
      return;
    }
    const std::uint32_t delta = catalog.factors[groupB] - catalog.factors[groupA];
    const std::uint32_t inverse = InverseOfOdd(delta >> (k - 7));
    const std::uint32_t lowMask = (std::uint32_t{1} << k) - 1;
    const std::uint64_t modulus = std::uint64_t{1} << (32 - k);
    auto key = [&](std::uint32_t z, std::uint64_t part) {
      return (std::uint64_t{z & lowMask} << 32) | part;
    };
    std::vector<std::uint64_t> keys;
    keys.reserve(sizeB);
    for (std::uint32_t b = 0; b < sizeB; ++b) {
      const std::uint32_t z = inverse * hb[b];
      keys.push_back(key(z, z >> k));
    }
    std::sort(keys.begin(), keys.end());
    const bool wholeBlock = qHigh - qLow + 1 >= modulus;
    for (std::uint32_t a = 0; a < sizeA; ++a) {
      const std::uint32_t z = inverse * ha[a];
      const std::uint64_t part = z >> k;
      auto visit = [&](std::uint64_t from, std::uint64_t to) {
        auto it = std::lower_bound(keys.begin(), keys.end(), key(z, from));
        for (; it != keys.end() && *it <= key(z, to); ++it) {
          const std::uint64_t q0 = (part - (*it & 0xFFFFFFFFu)) & (modulus - 1);
          for (std::uint64_t q = qLow + ((q0 - qLow) & (modulus - 1)); q <= qHigh; q += modulus) {
            Mark(q);
          }
        }
      };
      if (wholeBlock) {
        visit(0, modulus - 1);
        continue;
      }
      const std::uint64_t from = (part - qHigh) & (modulus - 1);
      const std::uint64_t to = (part - qLow) & (modulus - 1);
      if (from <= to) {
        visit(from, to);
      } else {
        visit(from, modulus - 1);
        visit(0, to);
      }
    }
  }

  const Catalog& catalog;
  const std::uint32_t* hashes;
  const std::uint64_t qLow;
  const std::uint64_t qHigh;
  const std::uint64_t wanted;
  std::vector<std::uint8_t>* bad;
  std::uint64_t open;
  const double seedCheckWeight;
  SeedCheckScratch* scratch;
  std::vector<std::uint64_t> filter;
  std::vector<std::uint64_t> crowded;
  std::vector<std::uint32_t> slot;
  std::vector<std::uint32_t> overflow;
};

// The seeds of [first, first + count) that make two texts collide, as bad[seed - first]: exact
// below first + wanted, possibly incomplete above (a residue stops once every seed of it below
// that bound is known to be bad). The residues are taken in the order of their first seed, and
// `wanted` shrinks to the first good seed found.
std::vector<bool> SweepSeeds(Catalog* catalog, std::uint32_t first, std::uint32_t count,
                             bool stopAtFirstGood, double seedCheckWeight) {
  std::vector<bool> bad(count, false);
  const std::uint64_t end = std::uint64_t{first} + count;  // <= 2^32
  std::uint64_t wanted = count;                            // offsets from first still of interest
  std::vector<std::uint32_t> hashes;
  std::vector<std::uint8_t> residueBad;
  SeedCheckScratch scratch;
  for (std::uint32_t block = 0; block < kResidues; block += kLanes) {
    // Residues in the order of their first seed: lanes of first + block, ...
    const std::uint32_t r0 = (first + block) & (kResidues - 1);
    HashLanes(*catalog, r0, &hashes);
    for (std::uint32_t l = 0; l < kLanes; ++l) {
      const std::uint32_t r = (r0 + l) & (kResidues - 1);
      const std::uint64_t offset = (r - first) & (kResidues - 1);  // of the residue's first seed
      if (offset >= wanted || first + offset >= end) continue;
      const std::uint64_t lowest = first + offset;
      const std::uint64_t highest = lowest + (end - 1 - lowest) / kResidues * kResidues;
      const std::uint64_t qLow = lowest / kResidues;
      const std::uint64_t qHigh = highest / kResidues;
      const std::uint64_t qWanted = (wanted - offset + kResidues - 1) / kResidues;
      residueBad.assign(qHigh - qLow + 1, 0);
      const std::uint32_t* laneHashes = hashes.data() + l * catalog->names.size();
      ResidueSweep sweep(*catalog, laneHashes, qLow, qHigh,
                         stopAtFirstGood ? qWanted : qHigh - qLow + 1, &residueBad, seedCheckWeight,
                         &scratch);
      if (catalog->residueState[r] == 0) catalog->residueState[r] = sweep.GroupsApart() ? 2 : 1;
      if (catalog->residueState[r] == 2) {
        sweep.Run();
      } else {
        sweep.MarkAll();
      }
      for (std::uint64_t q = qLow; q <= qHigh; ++q) {
        const std::uint64_t seedOffset = offset + (q - qLow) * kResidues;
        if (residueBad[q - qLow]) {
          bad[seedOffset] = true;
        } else if (stopAtFirstGood && seedOffset < wanted) {
          wanted = seedOffset;
        }
      }
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
                                      std::uint32_t count, double seedCheckWeight) {
  Catalog catalog = MakeCatalog(names);
  return SweepSeeds(&catalog, first, count, false, seedCheckWeight);
}

std::optional<std::uint32_t> FindCollisionFreeSeed(const std::vector<std::string>& names,
                                                   std::uint32_t start) {
  Catalog catalog = MakeCatalog(names);
  // The start seed alone first: small catalogs need no other.
  std::vector<std::uint32_t> hashes;
  hashes.reserve(catalog.names.size());
  for (const std::string& name : catalog.names) hashes.push_back(HashString(name, start));
  if (!HasEqualValues(std::move(hashes))) return start;

  // Then windows of seeds. A window costs about the same whatever its width (each text meets
  // every other group once per residue), so the first is wide enough for most catalogs.
  std::uint64_t covered = 1;
  std::uint32_t first = start + 1;
  std::uint32_t chunk = kFirstChunk;
  while (covered < kSeedCount) {
    const std::uint64_t count =
        std::min<std::uint64_t>({chunk, kSeedCount - first, kSeedCount - covered});
    const std::vector<bool> bad =
        SweepSeeds(&catalog, first, static_cast<std::uint32_t>(count), true, kSeedCheckWeight);
    for (std::uint32_t i = 0; i < count; ++i) {
      if (!bad[i]) return first + i;
    }
    // Many texts of one length can lose every residue; then no seed will do.
    if (std::all_of(catalog.residueState.begin(), catalog.residueState.end(),
                    [](std::int8_t state) { return state == 1; })) {
      return std::nullopt;
    }
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
