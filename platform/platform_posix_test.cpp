#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/platform.h"

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
  for (const char* locale :
       {"ja_JP.Shift_JIS", "ja_JP.cp932", "ja_JP.Windows-31J", "x.MS_Kanji", "ja_JP.sjis@x"}) {
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

TEST(ReplaceFileTest, ReplacedFileKeepsOwnerGroupAndMode) {
  if (::geteuid() != 0) GTEST_SKIP() << "only a privileged user can make a file of another owner";
  Path dir =
      std::filesystem::temp_directory_path() / ("quillex_platform_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  Path target = dir / "msg.bin";
  std::FILE* old = std::fopen(target.c_str(), "w");
  ASSERT_NE(old, nullptr);
  std::fclose(old);
  ASSERT_EQ(::chown(target.c_str(), 12345, 23456), 0);
  ASSERT_EQ(::chmod(target.c_str(), 0640), 0);

  Path temp;
  std::FILE* stream = CreateTempFileBeside(target, "wb", &temp);
  ASSERT_NE(stream, nullptr);
  SetPermissionsFor(stream, target);
  std::fclose(stream);
  ASSERT_TRUE(ReplaceFile(temp, target));
  struct stat status;
  ASSERT_EQ(::stat(target.c_str(), &status), 0);
  EXPECT_EQ(status.st_uid, 12345u);
  EXPECT_EQ(status.st_gid, 23456u);
  EXPECT_EQ(status.st_mode & 07777, 0640u);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace quillex::platform
