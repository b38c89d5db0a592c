#include "replace/text_replace_context.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <system_error>

#include "platform/test_temp_dir.h"

namespace quillex {
namespace {

using RunFilesTest = TempDirTest;

// Generated files meet where writing one would write over another: through a symbolic link,
// whether its target is there yet or not. The same name twice and a hard link do not meet, since
// each output replaces the name it is written under.
TEST_F(RunFilesTest, GeneratedFilesMeetThroughSymbolicLinksOnly) {
  Write("messages.csv", "ID,en\r\n");
  Write("msg_id.inc", "old");
  RunFiles files;
  files.Add(dir / "messages.csv");
  EXPECT_FALSE(files.AllowGenerated(dir / "messages.csv"));
  EXPECT_TRUE(files.AllowGenerated(dir / "msg_id.inc"));
  EXPECT_TRUE(files.AllowGenerated(dir / "msg_en.inc"));
  EXPECT_TRUE(files.AllowGenerated(dir / "msg_en.inc"));  // EN and en
  std::error_code error;
  std::filesystem::create_hard_link(dir / "msg_id.inc", dir / "msg_fr.inc", error);
  if (!error) {
    EXPECT_TRUE(files.AllowGenerated(dir / "msg_fr.inc"));
  }

  std::filesystem::create_symlink("msg_id.inc", dir / "msg_de.inc", error);
  if (error) GTEST_SKIP() << "no symbolic links here: " << error.message();
  EXPECT_FALSE(files.AllowGenerated(dir / "msg_de.inc"));
  std::filesystem::create_symlink("msg_ja.inc", dir / "msg_ko.inc");  // not written yet
  EXPECT_TRUE(files.AllowGenerated(dir / "msg_ko.inc"));
  EXPECT_FALSE(files.AllowGenerated(dir / "msg_ja.inc"));
  std::filesystem::create_directory(dir / "sub");
  std::filesystem::create_directory_symlink(dir / "sub", dir / "via");
  EXPECT_TRUE(files.AllowGenerated(dir / "via" / "x.inc"));
  EXPECT_FALSE(files.AllowGenerated(dir / "sub" / "x.inc"));
}

}  // namespace
}  // namespace quillex
