#include "app/catalog.h"

#include <gtest/gtest.h>

#include <string>

namespace quillex {
namespace {

class CatalogTest : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = useJapanese; }
  void TearDown() override { useJapanese = saved_; }

 private:
  std::int32_t saved_ = 0;
};

TEST_F(CatalogTest, NumbersOutsideTheCatalogAreInvalid) {
  for (std::int32_t japanese : {0, 1}) {
    useJapanese = japanese;
    for (std::int32_t index : {-1, 41, INT32_MIN}) {
      EXPECT_EQ(GetMessage(index), "** INVALID MESSAGE **") << index;
    }
  }
  useJapanese = 0;
  EXPECT_EQ(GetMessage(40, {FormatArg::OfString("en"), FormatArg::OfString("x.csv"),
                            FormatArg::OfUInt(53249)}),
            "Too many characters to index: en (x.csv) holds 53249 characters; at most 53248 can "
            "be indexed.");
}

TEST_F(CatalogTest, OnlyTheValueOneSelectsJapanese) {
  EXPECT_EQ(GetMessage(Msg::Succeeded), "Succeeded.");
  useJapanese = 1;
  EXPECT_EQ(GetMessage(Msg::Succeeded), "成功．");
  EXPECT_EQ(GetMessage(Msg::FailedToOpenFile, {FormatArg::OfString("a.txt")}),
            "a.txtをオープンできませんでした．");
  useJapanese = 2;
  EXPECT_EQ(GetMessage(Msg::Succeeded), "Succeeded.");
}

}  // namespace
}  // namespace quillex
