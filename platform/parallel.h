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

/// Splits [0, `count`) into `parts` near-equal ranges (fewer when there are fewer items, but always
/// one) and runs `work`(part, begin, end) for each, returning once all have returned: part 0 on
/// the calling thread, each other on a thread of its own (or on the calling thread, should the
/// system refuse a thread). The parts must not touch the same data unless only reading it. An
/// exception a part throws is thrown again here once every part has ended.
void RunParts(std::size_t count, std::size_t parts,
              const std::function<void(std::size_t, std::size_t, std::size_t)>& work);

}  // namespace quillex::platform
