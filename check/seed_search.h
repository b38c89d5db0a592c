// The search behind "--hash-seed auto": the first seed, counting up from a start, under which no
// two distinct identifiers share a hash.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace quillex {

enum class SeedChoice { Found, Unreadable, NoSeed };

/// FindCollisionFreeSeed over the identifiers binary output reads from the CSV file at `csvPath`
/// (comment rows left out), stored in `seed`. Unreadable when the CSV reader refuses the file
/// (the run then reports it); NoSeed when no seed will do. Prints nothing.
SeedChoice ChooseHashSeed(const platform::Path& csvPath, std::uint32_t start, std::uint32_t* seed);

/// The first seed start, start + 1, ... (wrapping at 2^32) under which HashString gives every
/// text of `names` its own hash. Equal texts are one text. Nothing when no seed does (a catalog
/// of millions of identifiers, or many of one length). Takes about 128 hashes per identifier
/// and, for each of them, a step per other identifier length, for every million seeds it counts.
std::optional<std::uint32_t> FindCollisionFreeSeed(const std::vector<std::string>& names,
                                                   std::uint32_t start);

/// How many sweep steps per identifier checking one seed on its own is reckoned to cost: the
/// search sweeps pairs of identifier lengths until checking the seeds still open one by one is
/// cheaper.
constexpr double kSeedCheckWeight = 4;

/// The seeds of [first, first + count) under which two distinct texts of `names` share a hash:
/// bad[i] is true for first + i. Counts up to 2^20 seeds at a time. REQUIRES: first + count
/// does not pass 2^32. `seedCheckWeight` only moves the work between the two methods (0: check
/// each seed on its own, a huge value: sweep only), not the result.
std::vector<bool> SeedsWithCollisions(const std::vector<std::string>& names, std::uint32_t first,
                                      std::uint32_t count,
                                      double seedCheckWeight = kSeedCheckWeight);

/// The factor by which a text's hash moves with its seed: HashString(text, s) equals
/// HashString(text, s % 128) + 128 * SeedFactor(text) * (s / 128), modulo 2^32.
std::uint32_t SeedFactor(const std::string& text);

}  // namespace quillex
