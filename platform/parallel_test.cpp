#include "platform/parallel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <new>
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

}  // namespace
}  // namespace quillex::platform
