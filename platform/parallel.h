// Splitting a pass over many messages between threads, for the passes whose parts are independent
// and whose results are put together in a fixed order, so that the outputs never depend on how
// the work was split.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace quillex::platform {

/// The threads a pass over `bytes` bytes of text is worth: one below a few megabytes, where
/// starting a thread costs more than it saves; else as many as the processors, at most four.
std::size_t WorkersFor(std::uint64_t bytes);

/// Runs `work`(0) to `work`(parts - 1) and returns once all have returned: part 0 on the calling
/// thread, each other on a thread of its own (or on the calling thread, should the system refuse
/// a thread). The parts must not touch the same data unless only reading it.
void RunParts(std::size_t parts, const std::function<void(std::size_t)>& work);

/// Part `part` of `parts` near-equal parts of [0, count): its first index (its end is the first
/// index of the next part).
inline std::size_t PartStart(std::size_t count, std::size_t parts, std::size_t part) {
  return static_cast<std::size_t>(static_cast<std::uint64_t>(count) * part / parts);
}

}  // namespace quillex::platform
