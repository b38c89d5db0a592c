#include "console/catalog.h"

#include <gtest/gtest.h>

#include <string>

namespace quillex {
namespace {

class CatalogTest : public ::testing::Test {
 protected:
  void SetUp() override { saved = useJapanese; }
  void TearDown() override { useJapanese = saved; }

 private:
  bool saved = false;
};

TEST_F(CatalogTest, NumbersOutsideTheCatalogAreInvalid) {
  for (bool japanese : {false, true}) {
    useJapanese = japanese;
    for (std::int32_t index : {-1, 41, INT32_MIN}) {
      EXPECT_EQ(GetMessage(index), "** INVALID MESSAGE **") << index;
    }
  }
  useJapanese = false;
  EXPECT_EQ(GetMessage(40, {FormatArg::OfString("en"), FormatArg::OfString("x.csv"),
                            FormatArg::OfUInt(53249)}),
            "Too many characters to index: en (x.csv) holds 53249 characters; at most 53248 can "
            "be indexed.");
}

TEST_F(CatalogTest, FlagSelectsJapanese) {
  EXPECT_EQ(GetMessage(Msg::Succeeded), "Succeeded.");
  useJapanese = true;
  EXPECT_EQ(GetMessage(Msg::Succeeded), "成功．");
  EXPECT_EQ(GetMessage(Msg::FailedToOpenFile, {FormatArg::OfString("a.txt")}),
            "a.txtをオープンできませんでした．");
}

}  // namespace
}  // namespace quillex
