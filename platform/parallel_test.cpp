#include "platform/parallel.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <new>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace quillex::platform {
namespace {

TEST(RunPartsTest, VisitsEveryItemOnceInContiguousParts) {
  for (std::size_t count = 0; count <= 9; ++count) {
    for (std::size_t parts = 0; parts <= 5; ++parts) {
      SCOPED_TRACE(testing::Message() << count << " items, " << parts << " parts");
      std::vector<std::atomic<int>> visits(count);
      std::vector<std::atomic<int>> ran(6);
      RunParts(count, parts, [&](std::size_t part, std::size_t begin, std::size_t end) {
        ++ran[part];
        EXPECT_LT(begin, end + (count == 0));  // empty only without items
        for (std::size_t k = begin; k < end; ++k) ++visits[k];
      });
      for (const auto& v : visits) EXPECT_EQ(v, 1);
      EXPECT_EQ(ran[0], 1);  // the one part even without items
      for (std::size_t part = 1; part < ran.size(); ++part) {
        EXPECT_EQ(ran[part], part < std::min(parts, count) ? 1 : 0);
      }
    }
  }
}

// Out of memory in a worker reaches the caller, where the run's last resort catches it, after
// every part has ended (a thread ended by an exception would abort the run).
TEST(RunPartsTest, ThrowsWhatAPartThrewOnceAllHaveEnded) {
  for (std::size_t failing : {0, 2}) {
    std::vector<std::atomic<int>> ran(4);
    EXPECT_THROW(RunParts(8, 4,
                          [&](std::size_t part, std::size_t, std::size_t) {
                            ++ran[part];
                            if (part == failing) throw std::bad_alloc();
                          }),
                 std::bad_alloc);
    for (const auto& r : ran) EXPECT_EQ(r, 1);
  }
}

// The threads serve pass after pass: passes from two threads at once, and a pass within a
// pass, each still get every part run once.
TEST(RunPartsTest, PassesAtOnceAndWithinEachOther) {
  std::atomic<std::size_t> items{0};
  auto passes = [&] {
    for (int round = 0; round < 50; ++round) {
      // Parts of 1, 1 and 2 items, each a pass of one item more in two parts.
      RunParts(4, 3, [&](std::size_t, std::size_t begin, std::size_t end) {
        RunParts(end - begin + 1, 2,
                 [&](std::size_t, std::size_t from, std::size_t to) { items += to - from; });
      });
    }
  };
  std::thread other(passes);
  passes();
  other.join();
  EXPECT_EQ(items, 2u * 50u * 7u);
}

#ifndef _WIN32
// A forked child has none of its parent's threads: its passes run on threads of its own.
TEST(RunPartsTest, ForkedChildRunsItsOwnPasses) {
  std::atomic<int> parts{0};
  RunParts(3, 3, [&](std::size_t, std::size_t, std::size_t) { ++parts; });
  ASSERT_EQ(parts, 3);
  const pid_t child = ::fork();
  if (child == 0) {
    ::alarm(10);  // a pass waiting for the parent's threads would wait for ever
    parts = 0;
    RunParts(3, 3, [&](std::size_t, std::size_t, std::size_t) { ++parts; });
    ::_exit(parts == 3 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}
#endif

// However long each job's work takes, what jobs do in turn happens in job order, one job at a
// time; a job that never takes its turn still holds up the next.
TEST(RunInTurnTest, OutcomesComeInJobOrder) {
  std::mt19937 random(7);
  for (std::size_t workers : {1, 2, 3, 5}) {
    SCOPED_TRACE(testing::Message() << workers << " workers");
    std::vector<int> pauses(60);
    for (int& pause : pauses) pause = static_cast<int>(random() % 300);
    std::vector<std::size_t> order;
    std::atomic<int> running{0};
    std::atomic<int> mostRunning{0};
    std::atomic<int> inTurnNow{0};
    std::atomic<bool> overlapped{false};
    ASSERT_TRUE(RunInTurn(pauses.size(), workers, [&](std::size_t job, Turn& turn) {
      const int now = ++running;
      if (now > mostRunning) mostRunning = now;
      std::this_thread::sleep_for(std::chrono::microseconds(pauses[job]));
      --running;
      if (job % 3 == 2) return true;
      if (!turn.Take()) return false;
      if (++inTurnNow != 1) overlapped = true;
      order.push_back(job);
      std::this_thread::sleep_for(std::chrono::microseconds(pauses[job] / 4));
      EXPECT_TRUE(turn.Take());  // once taken, taken
      --inTurnNow;
      return true;
    }));
    ASSERT_EQ(order.size(), 40u);
    EXPECT_TRUE(std::is_sorted(order.begin(), order.end()));
    EXPECT_FALSE(overlapped);
    EXPECT_LE(mostRunning, static_cast<int>(workers));
  }
  EXPECT_TRUE(RunInTurn(0, 2, [](std::size_t, Turn&) { return false; }));
}

// A failed job ends the run in its turn: the jobs before it finish as they would have, no job
// after it does anything in turn, and no new job starts. A job that throws fails the same way,
// and the exception comes out once every job has ended.
TEST(RunInTurnTest, FailureStopsTheJobsAfterIt) {
  for (std::size_t workers : {1, 2, 4}) {
    for (bool throws : {false, true}) {
      SCOPED_TRACE(testing::Message() << workers << " workers, throws " << throws);
      std::vector<std::size_t> inTurn;
      std::atomic<std::size_t> started{0};
      std::atomic<int> running{0};
      auto job = [&](std::size_t index, Turn& turn) {
        ++started;
        ++running;
        // Later jobs finish their work first, so they wait for the failing one.
        std::this_thread::sleep_for(std::chrono::microseconds(index == 5 ? 2000 : 100));
        --running;
        if (index == 5 && throws) throw std::bad_alloc();
        if (!turn.Take()) return false;
        inTurn.push_back(index);
        return index != 5;
      };
      bool result = true;
      bool thrown = false;
      try {
        result = RunInTurn(50, workers, job);
      } catch (const std::bad_alloc&) {
        thrown = true;
        EXPECT_EQ(running, 0);
      }
      EXPECT_EQ(thrown, throws);
      if (!throws) {
        EXPECT_FALSE(result);
      }
      std::vector<std::size_t> expected{0, 1, 2, 3, 4};
      if (!throws) expected.push_back(5);
      EXPECT_EQ(inTurn, expected);
      EXPECT_LE(started, 5 + workers);
    }
  }
}

// Pieces come out whole and in order, however the two threads' speeds differ, and all of them
// before the writer is gone.
TEST(WriteBehindTest, WritesEveryPieceInOrder) {
  std::mt19937 random(5);
  std::string written;
  std::string expected;
  {
    WriteBehind writer([&](std::string_view piece) {
      if (random() % 8 == 0) std::this_thread::sleep_for(std::chrono::microseconds(50));
      written.append(piece).push_back('|');
    });
    std::string piece;
    for (int k = 0; k < 2000; ++k) {
      piece.assign(k % 37 * 11, static_cast<char>('a' + k % 26));
      expected.append(piece).push_back('|');
      writer.Hand(&piece);
      ASSERT_TRUE(piece.empty());
    }
  }
  EXPECT_EQ(written, expected);

  // A slow writer still has pieces to write when the caller is done.
  written.clear();
  {
    WriteBehind writer([&](std::string_view piece) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      written.append(piece);
    });
    for (const char* text : {"one ", "two ", "three"}) {
      std::string piece = text;
      writer.Hand(&piece);
    }
  }
  EXPECT_EQ(written, "one two three");
}

}  // namespace
}  // namespace quillex::platform
