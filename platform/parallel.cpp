#include "platform/parallel.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "platform/platform.h"

#if defined(__unix__) || defined(__APPLE__)
#include <pthread.h>
#define QUILLEX_HAS_FORK 1
#else
#define QUILLEX_HAS_FORK 0
#endif

namespace quillex::platform {

std::size_t WorkersFor(std::uint64_t bytes) {
  constexpr std::uint64_t kMinimumBytes = std::uint64_t{4} << 20;
  return bytes < kMinimumBytes ? 1 : MostWorkers();
}

std::size_t MostWorkers() {
  constexpr std::size_t kMostWorkers = 4;
  const std::size_t processors = std::thread::hardware_concurrency();  // 0 when unknown
  return std::clamp<std::size_t>(processors, 1, kMostWorkers);
}

void MapInLarge(void* data, std::size_t bytes) {
  // Whole large pages only, so that no two threads fault in the same one.
  const auto start = reinterpret_cast<std::uintptr_t>(data);
  const std::uintptr_t first = (start + kLargePageBytes - 1) / kLargePageBytes * kLargePageBytes;
  const std::uintptr_t end = (start + bytes) / kLargePageBytes * kLargePageBytes;
  if (end <= first || WorkersFor(end - first) < 2) return;
  // The first page on this thread, which also tells whether the system takes the request.
  if (!MapIn(reinterpret_cast<void*>(first), kLargePageBytes)) return;
  const std::uintptr_t rest = first + kLargePageBytes;
  RunParts((end - rest) / kLargePageBytes, MostWorkers(),
           [rest](std::size_t, std::size_t from, std::size_t to) {
             // Declined (short of memory): the pages come as the buffer is filled, as without it.
             MapIn(reinterpret_cast<void*>(rest + from * kLargePageBytes),
                   (to - from) * kLargePageBytes);
           });
}

namespace {

// Threads kept from one pass to the next, sleeping in between: passes come by the thousand where
// the work is cut fine (the indexed pool is written in dozens of passes, a test's in one per
// message), and starting a thread costs far more than waking one on some systems (Windows, and
// Wine most of all).
class Workers {
 public:
  // The pool, made on first use. Never destroyed: its threads sleep until the process ends, and
  // a forked child, which has none of them, makes a pool of its own.
  static Workers* Get() {
    static std::once_flag made;
    std::call_once(made, [] {
      pool.store(new Workers());
#if QUILLEX_HAS_FORK
      ::pthread_atfork(nullptr, nullptr, [] { pool.store(nullptr); });
#endif
    });
    Workers* workers = pool.load();
    if (workers == nullptr) {  // in a forked child, on its one thread
      workers = new Workers();
      pool.store(workers);
    }
    return workers;
  }

  // Runs `part`(k) for every k in [0, parts): 0 here, the others on the pool's threads. False,
  // having run nothing, when the pool is busy (a pass within a pass, or on another thread), the
  // parts are too many, or the system refuses a thread.
  bool Run(std::size_t parts, const std::function<void(std::size_t)>& part) {
    std::unique_lock<std::mutex> busy(busy_, std::try_to_lock);
    if (!busy.owns_lock() || parts > kMostParts || !Grow(parts - 1)) return false;
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      job_ = &part;
      remaining_ = parts - 1;
      // The pass's number and its parts in one word: a thread that wakes late sees both of the
      // latest pass.
      pass_ = ((pass_ >> kPartsBits) + 1) << kPartsBits | parts;
    }
    wake_.notify_all();
    part(0);
    std::unique_lock<std::mutex> lock(mutex_);
    finished_.wait(lock, [this] { return remaining_ == 0; });
    return true;
  }

 private:
  static constexpr int kPartsBits = 16;
  static constexpr std::size_t kMostParts = (std::size_t{1} << kPartsBits) - 1;

  // Makes sure `count` threads serve; false when the system refuses one.
  bool Grow(std::size_t count) {
    while (threads_.size() < count) {
      try {
        std::uint64_t current;
        {
          const std::lock_guard<std::mutex> lock(mutex_);
          current = pass_;
        }
        // The pass it first waits for is the next, whenever the thread starts.
        threads_.emplace_back(&Workers::Serve, this, threads_.size() + 1, current);
      } catch (const std::system_error&) {
        return false;
      }
    }
    return true;
  }

  // The loop of the thread that runs part `k` of every pass that has one, from the pass after
  // `seen` on.
  void Serve(std::size_t k, std::uint64_t seen) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wake_.wait(lock, [&] { return pass_ != seen; });
      seen = pass_;
      // Not a part of this pass: the pass may end, and the next begin, without this thread.
      if (k >= (seen & kMostParts)) continue;
      const std::function<void(std::size_t)>& job = *job_;
      lock.unlock();
      job(k);
      lock.lock();
      if (--remaining_ == 0) finished_.notify_one();
    }
  }

  static inline std::atomic<Workers*> pool{nullptr};

  std::mutex busy_;                   // held by the pass under way
  std::mutex mutex_;                  // guards what follows
  std::condition_variable wake_;      // a new pass
  std::condition_variable finished_;  // the last part of a pass done
  std::uint64_t pass_ = 0;
  std::size_t remaining_ = 0;
  const std::function<void(std::size_t)>* job_ = nullptr;
  std::vector<std::thread> threads_;
};

}  // namespace

void RunParts(std::size_t count, std::size_t parts,
              const std::function<void(std::size_t, std::size_t, std::size_t)>& work) {
  parts = std::clamp<std::size_t>(parts, 1, std::max<std::size_t>(count, 1));
  // What a part threw (running out of memory), thrown again here once every part has ended: a
  // thread may not end by an exception, and the run's last resort must still see it.
  std::vector<std::exception_ptr> failures(parts);
  const std::function<void(std::size_t)> run = [&](std::size_t part) {
    try {
      work(part, static_cast<std::size_t>(std::uint64_t{count} * part / parts),
           static_cast<std::size_t>(std::uint64_t{count} * (part + 1) / parts));
    } catch (...) {
      failures[part] = std::current_exception();
    }
  };
  if (parts == 1) {
    run(0);
  } else if (!Workers::Get()->Run(parts, run)) {
    // A thread of its own for each part, or the caller's should the system refuse one.
    std::vector<std::thread> threads;
    std::vector<std::size_t> refused;
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
  }
  for (const std::exception_ptr& failure : failures) {
    if (failure) std::rethrow_exception(failure);
  }
}

struct Turn::Shared {
  std::mutex mutex;
  std::condition_variable ended;  // a job ended
  std::size_t next = 0;           // the next job to start
  std::size_t turn = 0;           // the job whose turn it is
  bool failed = false;
  std::exception_ptr failure;
};

bool Turn::Take() {
  if (!taken_) {
    std::unique_lock<std::mutex> lock(shared_.mutex);
    shared_.ended.wait(lock, [this] { return shared_.turn == job_ || shared_.failed; });
    earlierSucceeded_ = !shared_.failed;
    taken_ = true;
  }
  return earlierSucceeded_;
}

bool RunInTurn(std::size_t count, std::size_t workers,
               const std::function<bool(std::size_t, Turn&)>& job) {
  Turn::Shared shared;
  workers = std::clamp<std::size_t>(workers, 1, std::max<std::size_t>(count, 1));
  // Each thread's jobs start in increasing order and wait only for earlier ones, all of which
  // have started: the earliest job under way never waits, so the jobs cannot wait in a circle.
  RunParts(workers, workers, [&](std::size_t, std::size_t, std::size_t) {
    for (;;) {
      std::size_t index;
      {
        const std::lock_guard<std::mutex> lock(shared.mutex);
        if (shared.failed || shared.next == count) return;
        index = shared.next++;
      }
      Turn turn(shared, index);
      bool succeeded = false;
      std::exception_ptr failure;
      try {
        succeeded = job(index, turn);
      } catch (...) {
        failure = std::current_exception();
      }
      const bool inTurn = turn.Take();
      {
        const std::lock_guard<std::mutex> lock(shared.mutex);
        if (!inTurn) return;  // an earlier job failed: this one counts for nothing
        if (succeeded && !failure) {
          ++shared.turn;
        } else {
          shared.failed = true;
          shared.failure = failure;
        }
      }
      shared.ended.notify_all();
    }
  });
  if (shared.failure) std::rethrow_exception(shared.failure);
  return !shared.failed;
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
