#include "platform/parallel.h"

#include <algorithm>
#include <exception>
#include <system_error>
#include <thread>
#include <utility>
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

WriteBehind::WriteBehind(std::function<void(std::string_view)> write) : write_(std::move(write)) {
  try {
    thread_ = std::thread(&WriteBehind::Run, this);
  } catch (const std::system_error&) {
    // Written on the caller's thread instead.
  }
}

WriteBehind::~WriteBehind() {
  if (!thread_.joinable()) return;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    done_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void WriteBehind::Hand(std::string* piece) {
  if (!thread_.joinable()) {
    write_(*piece);
    piece->clear();
    return;
  }
  {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return !hasPending_; });
    std::swap(*piece, pending_);
    hasPending_ = true;
  }
  changed_.notify_all();
  piece->clear();
}

void WriteBehind::Run() {
  std::string current;
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return hasPending_ || done_; });
      if (!hasPending_) return;  // done, and everything written
      std::swap(current, pending_);
      hasPending_ = false;
    }
    changed_.notify_all();
    write_(current);
    current.clear();
  }
}

}  // namespace quillex::platform
