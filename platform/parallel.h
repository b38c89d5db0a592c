// Splitting a pass over many messages between threads, for the passes whose parts are independent
// and whose results are put together in a fixed order, so that the outputs never depend on how
// the work was split.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace quillex::platform {

/// The threads a pass over `bytes` bytes of text is worth: one below a few megabytes, where
/// starting a thread costs more than it saves; else as many as the processors, at most four.
std::size_t WorkersFor(std::uint64_t bytes);

/// The threads of a pass that is worth more than one: as many as the processors, at most four.
std::size_t MostWorkers();

/// Splits [0, `count`) into `parts` near-equal ranges (fewer when there are fewer items, but always
/// one) and runs `work`(part, begin, end) for each, returning once all have returned: part 0 on
/// the calling thread, each other on a thread of its own (or on the calling thread, should the
/// system refuse a thread). The parts must not touch the same data unless only reading it. An
/// exception a part throws is thrown again here once every part has ended.
void RunParts(std::size_t count, std::size_t parts,
              const std::function<void(std::size_t, std::size_t, std::size_t)>& work);

/// What a job of RunInTurn holds to wait for its turn.
class Turn {
 public:
  /// Returns once every job before this one has ended: true when they all succeeded, false when
  /// one failed (the job must then leave no trace and return). Steps that must happen in job
  /// order (printing, replacing a file) come after it. Waits only the first time.
  bool Take();

 private:
  friend bool RunInTurn(std::size_t, std::size_t, const std::function<bool(std::size_t, Turn&)>&);
  struct Shared;
  Turn(Shared& shared, std::size_t job) : shared_(shared), job_(job) {}

  Shared& shared_;
  std::size_t job_;
  bool taken_ = false;
  bool earlierSucceeded_ = false;
};

/// Runs jobs 0 to `count` - 1 on up to `workers` threads (those of RunParts), each taking the
/// next job as it finishes one, so that the jobs' work overlaps while their outcomes come in job
/// order, as if run one after another: `job`(index, turn) does its work, takes its turn (see
/// Turn::Take; a job that does not is given it as it returns) and returns whether it succeeded.
/// After a failure no further job starts. True when every job succeeded. An exception a job
/// throws fails it in its turn and is thrown again here once every job has ended.
bool RunInTurn(std::size_t count, std::size_t workers,
               const std::function<bool(std::size_t, Turn&)>& job);

/// Hands pieces of bytes to `write` on a thread of its own, in the order given, while the caller
/// makes the next: the caller waits only when it is a whole piece ahead. Without a thread (the
/// system refused one) each piece is written on the caller's. The destructor waits until every
/// piece is written.
class WriteBehind {
 public:
  explicit WriteBehind(std::function<void(std::string_view)> write);
  ~WriteBehind();
  WriteBehind(const WriteBehind&) = delete;
  WriteBehind& operator=(const WriteBehind&) = delete;

  /// Takes `*piece` over to be written; `*piece` is left empty, with the room of a piece written
  /// before, for the next.
  void Hand(std::string* piece);

 private:
  void Run();

  std::function<void(std::string_view)> write_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::string pending_;
  bool hasPending_ = false;
  bool done_ = false;
  std::thread thread_;
};

}  // namespace quillex::platform
