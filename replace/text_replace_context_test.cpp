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
  EXPECT_FALSE(files.AllowGenerated({dir / "msg_id.inc", dir / "messages.csv"}));
  EXPECT_TRUE(files.AllowGenerated({dir / "msg_id.inc", dir / "msg_en.inc", dir / "msg_en.inc"}));
  std::error_code error;
  std::filesystem::create_hard_link(dir / "msg_id.inc", dir / "msg_fr.inc", error);
  if (!error) {
    EXPECT_TRUE(files.AllowGenerated({dir / "msg_id.inc", dir / "msg_fr.inc"}));
  }

  std::filesystem::create_symlink("msg_id.inc", dir / "msg_de.inc", error);
  if (error) GTEST_SKIP() << "no symbolic links here: " << error.message();
  EXPECT_FALSE(files.AllowGenerated({dir / "msg_id.inc", dir / "msg_de.inc"}));
  EXPECT_FALSE(files.AllowGenerated({dir / "msg_de.inc", dir / "msg_fr.inc", dir / "msg_id.inc"}));
  EXPECT_TRUE(files.AllowGenerated({dir / "msg_de.inc", dir / "msg_fr.inc"}));
  std::filesystem::create_directory(dir / "sub");
  std::filesystem::create_directory_symlink(dir / "sub", dir / "via");
  EXPECT_FALSE(
      files.AllowGenerated({dir / "via" / "x.inc", dir / "msg_de.inc", dir / "sub" / "x.inc"}));
#ifndef _WIN32
  // A link whose target is not made yet is read for where it leads, in either order. (The
  // Windows layer reads no link whose target is missing.)
  std::filesystem::create_symlink("msg_ja.inc", dir / "msg_ko.inc");
  EXPECT_FALSE(files.AllowGenerated({dir / "msg_ko.inc", dir / "msg_ja.inc"}));
  EXPECT_FALSE(files.AllowGenerated({dir / "msg_ja.inc", dir / "msg_ko.inc"}));
#endif
}

}  // namespace
}  // namespace quillex
