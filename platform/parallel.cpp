#include "platform/parallel.h"

#include <algorithm>
#include <exception>
#include <system_error>
#include <thread>
#include <vector>

namespace quillex::platform {

std::size_t WorkersFor(std::uint64_t bytes) {
  constexpr std::uint64_t kMinimumBytes = std::uint64_t{4} << 20;
  constexpr std::size_t kMostWorkers = 4;
  if (bytes < kMinimumBytes) return 1;
  const std::size_t processors = std::thread::hardware_concurrency();  // 0 when unknown
  return std::clamp<std::size_t>(processors, 1, kMostWorkers);
}

void RunParts(std::size_t count, std::size_t parts,
              const std::function<void(std::size_t, std::size_t, std::size_t)>& work) {
  parts = std::clamp<std::size_t>(parts, 1, std::max<std::size_t>(count, 1));
  // What a part threw (running out of memory), thrown again here once every part has ended: a
  // thread may not end by an exception, and the run's last resort must still see it.
  std::vector<std::exception_ptr> failures(parts);
  auto run = [&](std::size_t part) {
    try {
      work(part, static_cast<std::size_t>(std::uint64_t{count} * part / parts),
           static_cast<std::size_t>(std::uint64_t{count} * (part + 1) / parts));
    } catch (...) {
      failures[part] = std::current_exception();
    }
  };
  std::vector<std::thread> threads;
  std::vector<std::size_t> refused;  // parts no thread could be started for
  for (std::size_t part = 1; part < parts; ++part) {
    try {
      threads.emplace_back(run, part);
    } catch (const std::system_error&) {
      refused.push_back(part);
    }
  }
  run(0);
  for (std::size_t part : refused) run(part);
  for (std::thread& thread : threads) thread.join();
  for (const std::exception_ptr& failure : failures) {
    if (failure) std::rethrow_exception(failure);
  }
}

}  // namespace quillex::platform
