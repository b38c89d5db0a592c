#include "app/catalog.h"

#include <gtest/gtest.h>

#include <string>

#include "app/scoped_env.h"

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
  for (std::int32_t index : {-1, 41, 1000, INT32_MIN}) {
    EXPECT_EQ(GetMessage(index), "** INVALID MESSAGE **") << index;
  }
  useJapanese = 1;
  EXPECT_EQ(GetMessage(41), "** INVALID MESSAGE **");
  EXPECT_EQ(GetMessage(40, {FormatArg::OfString("en"), FormatArg::OfString("x.csv"),
                            FormatArg::OfUInt(53249)}),
            "インデックス化できる文字数を超えました: en (x.csv) は53249文字です．"
            "インデックス化できるのは53248文字までです．");
}

TEST_F(CatalogTest, LanguageFollowsTheFlag) {
  EXPECT_EQ(GetMessage(Msg::Succeeded), "Succeeded.");
  useJapanese = 1;
  EXPECT_EQ(GetMessage(Msg::Succeeded), "成功．");
  // Only the value 1 selects Japanese.
  useJapanese = 2;
  EXPECT_EQ(GetMessage(Msg::Succeeded), "Succeeded.");
}

TEST_F(CatalogTest, ShiftJisConsoleStillGetsUtf8) {
  ScopedEnv lcAll("LC_ALL", "ja_JP.SJIS");
  useJapanese = 1;
  EXPECT_EQ(GetMessage(Msg::Succeeded), "成功．");
}

TEST_F(CatalogTest, PlaceholdersAreFilled) {
  EXPECT_EQ(GetMessage(Msg::HashCollision, {FormatArg::OfString("a"), FormatArg::OfString("b"),
                                            FormatArg::OfUInt(0x1234)}),
            "Hash value collision detected: a = b (0x00001234)");
  EXPECT_EQ(GetMessage(Msg::UnregisteredCharacter,
                       {FormatArg::OfString("あ"), FormatArg::OfUInt(0x3042)}),
            "Unregistered character detected.: あ (U+3042)");
  EXPECT_EQ(GetMessage(Msg::UnregisteredCharacter,
                       {FormatArg::OfString("x"), FormatArg::OfUInt(0x1F600)}),
            "Unregistered character detected.: x (U+1F600)");
  EXPECT_EQ(GetMessage(Msg::UsingHashSeed, {FormatArg::OfUInt(0xA3F6C23E)}),
            "Using hash seed value: 0xA3F6C23E");
  // Missing arguments show as such instead of failing.
  EXPECT_EQ(GetMessage(Msg::FailedToOpenFile), "Failed to open file: <!OOR!>");
  useJapanese = 1;
  EXPECT_EQ(GetMessage(Msg::FailedToOpenFile, {FormatArg::OfString("a.txt")}),
            "a.txtをオープンできませんでした．");
  EXPECT_EQ(GetMessage(Msg::LanguageIdNotFound, {FormatArg::OfString("r.txt"), FormatArg::OfUInt(3),
                                                 FormatArg::OfString("fr")}),
            "r.txt: 3: 言語ID \"fr\" が見つかりませんでした．");
}

TEST_F(CatalogTest, PrintedLines) {
  testing::internal::CaptureStderr();
  PrintError(Msg::ParametersMissing, {FormatArg::OfString("-o")});
  PrintWarning(Msg::SourceNoIndexing);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Error: Parameters is missing: -o\n"
            "Warning: The source code output does not support indexed strings.\n");
  testing::internal::CaptureStdout();
  PrintLine(Msg::OutputBinaryFile, {FormatArg::OfString("./msg.bin")});
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Output binary file: ./msg.bin\n");
}

}  // namespace
}  // namespace quillex
