#include "platform/platform.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace quillex::platform {
namespace {

class LocaleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LC_CTYPE", "LANG"}) unsetenv(name);
  }
};

TEST_F(LocaleTest, LanguageComesFromFirstNonEmptyVariable) {
  EXPECT_FALSE(IsUserLanguageJapanese());
  setenv("LANG", "ja_JP.UTF-8", 1);
  EXPECT_TRUE(IsUserLanguageJapanese());
  setenv("LC_MESSAGES", "en_US.UTF-8", 1);
  EXPECT_FALSE(IsUserLanguageJapanese());
  setenv("LC_ALL", "", 1);  // empty counts as unset
  EXPECT_FALSE(IsUserLanguageJapanese());
  setenv("LC_ALL", "ja", 1);
  EXPECT_TRUE(IsUserLanguageJapanese());
  setenv("LC_ALL", "ja@euro", 1);
  EXPECT_TRUE(IsUserLanguageJapanese());
  setenv("LC_ALL", "jam_JM", 1);
  EXPECT_FALSE(IsUserLanguageJapanese());
}

TEST_F(LocaleTest, CodePageFromCodeset) {
  EXPECT_EQ(GetMultibyteCodePage(), 0);
  setenv("LANG", "ja_JP.UTF-8", 1);
  EXPECT_EQ(GetMultibyteCodePage(), 65001);
  setenv("LC_CTYPE", "ja_JP.SJIS", 1);
  EXPECT_EQ(GetMultibyteCodePage(), 932);
  for (const char* locale : {"ja_JP.Shift_JIS", "ja_JP.cp932", "ja_JP.Windows-31J", "x.MS_Kanji",
                             "ja_JP.sjis@x"}) {
    setenv("LC_ALL", locale, 1);
    EXPECT_EQ(GetMultibyteCodePage(), 932) << locale;
  }
  for (const char* locale : {"ja_JP.eucJP", "C", "ja_JP", "en_US.ISO-8859-1", "ja_JP@utf8"}) {
    setenv("LC_ALL", locale, 1);
    EXPECT_EQ(GetMultibyteCodePage(), 0) << locale;
  }
  setenv("LC_ALL", "en_US.utf8@x", 1);
  EXPECT_EQ(GetMultibyteCodePage(), 65001);
}

TEST(PathTest, JoinAndAppend) {
  EXPECT_EQ(JoinPath("./", "msg").native(), "./msg");
  EXPECT_EQ(JoinPath("gen", "out/tables").native(), "gen/out/tables");
  EXPECT_EQ(JoinPath("gen", "/abs/x").native(), "/abs/x");
  EXPECT_EQ(AppendToPath("./msg", ".bin").native(), "./msg.bin");
  EXPECT_EQ(AppendToPath("dir/", "_id.inc").native(), "dir/_id.inc");
}

TEST(TempFileTest, ReplacesTargetWithDefaultPermissions) {
  Path dir = std::filesystem::temp_directory_path() / "quillex_platform_test";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  Path target = dir / "out.txt";
  { std::ofstream(target) << "old"; }

  Path temp;
  std::FILE* stream = CreateTempFileBeside(target, "w", &temp);
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(temp.parent_path(), dir);
  std::fputs("new", stream);
  SetDefaultPermissions(stream);
  ASSERT_EQ(std::fclose(stream), 0);
  ASSERT_TRUE(ReplaceFile(temp, target));

  std::ifstream in(target);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "new");
  mode_t mask = umask(0);
  umask(mask);
  struct stat info;
  ASSERT_EQ(stat(target.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask);
  EXPECT_FALSE(std::filesystem::exists(temp));

  // A directory at the target is not replaced, and no temporary file can be made in a missing one.
  std::filesystem::create_directories(dir / "sub");
  stream = CreateTempFileBeside(dir / "sub", "wb", &temp);
  ASSERT_NE(stream, nullptr);
  std::fclose(stream);
  EXPECT_FALSE(ReplaceFile(temp, dir / "sub"));
  RemoveFileQuietly(temp);
  EXPECT_EQ(CreateTempFileBeside(dir / "missing" / "x", "w", &temp), nullptr);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace quillex::platform
