#include "console/catalog.h"

#include <gtest/gtest.h>

namespace quillex {
namespace {

// What each message reads as, and the Shift_JIS console's form of it, show in the end-to-end cases
// (the shift-jis and japanese-system ones); numbers outside the catalog cannot come from a run.
TEST(CatalogTest, NumbersOutsideTheCatalogAreInvalid) {
  const bool saved = useJapanese;
  // The first number past the last catalog entry.
  const auto pastLast = static_cast<std::int32_t>(Msg::CheckTooManyCharacters) + 1;
  for (bool japanese : {false, true}) {
    useJapanese = japanese;
    for (std::int32_t index : {-1, pastLast, INT32_MIN}) {
      EXPECT_EQ(GetMessage(index), "** INVALID MESSAGE **") << index;
    }
  }
  useJapanese = saved;
}

}  // namespace
}  // namespace quillex
