#include "platform/parallel.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

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
