#include "platform/output_file.h"

#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif
#ifdef __linux__
#include <sys/sysmacros.h>
#endif

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>

#include "platform/test_temp_dir.h"

namespace quillex {
namespace {

class OutputFileTest : public TempDirTest {
 protected:
  // Every name in the folder: a temporary file left behind shows up here.
  std::set<std::string> Names() {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }
};

#ifndef _WIN32
// A new file's are those of one made by fopen under the same umask. (An existing file keeps its
// own: check_keep_unchanged.sh and ReplaceFileTest.ReplacedFileKeepsOwnerGroupAndMode.)
TEST_F(OutputFileTest, PermissionsAreThoseOfPlainOpen) {
  // Under the usual umask and two others, which tell a fixed mode apart.
  const mode_t usual = ::umask(0);  // read by setting another: each round sets its own
  struct Restore {
    mode_t mask;
    ~Restore() { ::umask(mask); }
  } restore{usual};
  for (const mode_t mask : {usual, mode_t{0027}, mode_t{0002}}) {
    ::umask(mask);
    const std::string suffix = std::to_string(mask);
    std::FILE* plain = std::fopen((dir / ("plain" + suffix)).c_str(), "w");
    ASSERT_NE(plain, nullptr);
    std::fclose(plain);
    OutputFile file;
    ASSERT_TRUE(file.Open(dir / ("new" + suffix), "w"));
    ASSERT_EQ(file.Commit(), CommitResult::Committed);
    EXPECT_EQ(std::filesystem::status(dir / ("new" + suffix)).permissions(),
              std::filesystem::status(dir / ("plain" + suffix)).permissions())
        << "umask " << mask;
  }
}

// Refused as a plain open would refuse it, with --keep-unchanged too (the bytes are equal).
TEST_F(OutputFileTest, ReadOnlyFileIsRefusedLikePlainOpen) {
  std::ofstream(dir / "locked.inc") << "kept";
  std::filesystem::permissions(dir / "locked.inc", std::filesystem::perms::owner_read);
  if (std::ofstream(dir / "locked.inc", std::ios::app)) {
    GTEST_SKIP() << "privileged user: a plain open would succeed too";
  }
  struct Restore {
    ~Restore() { keepUnchangedOutputs = false; }
  } restore;
  for (bool keep : {false, true}) {
    keepUnchangedOutputs = keep;
    OutputFile file;
    EXPECT_FALSE(file.Open(dir / "locked.inc", "w")) << keep;
    EXPECT_EQ(Read("locked.inc"), "kept");
    EXPECT_EQ(Names(), (std::set<std::string>{"locked.inc"}));
  }
}
#endif

TEST_F(OutputFileTest, NameAsLongAsAllowedIsWritten) {
  // The temporary file beside it must not need a longer name than the target.
  const std::string name(255, 'n');
  OutputFile file;
  ASSERT_TRUE(file.Open(dir / name, "w"));
  std::fputs("x", file.Stream());
  ASSERT_EQ(file.Commit(), CommitResult::Committed);
  EXPECT_EQ(Read(name), "x");
  EXPECT_EQ(Names(), (std::set<std::string>{name}));
}

TEST_F(OutputFileTest, AbandonedFileLeavesTargetAlone) {
  std::ofstream(dir / "out.inc") << "kept";
  {
    OutputFile file;
    ASSERT_TRUE(file.Open(dir / "out.inc", "w"));
    std::fputs("lost", file.Stream());
  }
  EXPECT_EQ(Read("out.inc"), "kept");
  EXPECT_EQ(Names(), (std::set<std::string>{"out.inc"}));
}

// --keep-unchanged: a file with the same stored bytes (CR LF included where text mode writes it)
// stays the very same file; any difference, or the option off, replaces it as usual. (The time
// stamps, and links to the outputs, are checked by check_keep_unchanged.sh.)
TEST_F(OutputFileTest, KeepUnchangedLeavesEqualFilesAlone) {
  struct Restore {
    ~Restore() { keepUnchangedOutputs = false; }
  } restore;
  const struct {
    const char* name;
    bool keep;
    std::string before, after;
    bool kept;
  } cases[] = {
      {"same empty file", true, "", "", true},
      {"same text", true, "a\nb\n", "a\nb\n", true},
      {"same size, other bytes", true, "AB", "AC", false},
      {"option off", false, "same", "same", false},
  };
  for (const auto& c : cases) {
    keepUnchangedOutputs = false;
    OutputFile first;
    ASSERT_TRUE(first.Open(dir / "out.inc", "w"));
    first.Write(c.before);
    ASSERT_EQ(first.Commit(), CommitResult::Committed);
    std::filesystem::create_hard_link(dir / "out.inc", dir / "twin");  // one file while kept

    keepUnchangedOutputs = c.keep;
    OutputFile file;
    ASSERT_TRUE(file.Open(dir / "out.inc", "w")) << c.name;
    file.Write(c.after);
    ASSERT_EQ(file.Commit(), CommitResult::Committed) << c.name;
    EXPECT_EQ(platform::IsSameFile(dir / "out.inc", dir / "twin"), c.kept) << c.name;
    std::filesystem::remove(dir / "twin");
    EXPECT_EQ(Names(), (std::set<std::string>{"out.inc"})) << c.name;  // no temporary file left
  }
}

// Bytes placed out of order land where they were put, whole across the pieces the system is
// handed, whether the file is new or replaces one (whose cached pages are let go as the new
// bytes come: its own bytes must stay as they were while the new file is abandoned).
TEST_F(OutputFileTest, PlacedBytesLandAtTheirOffsets) {
  std::string large(std::size_t{5} << 20, '\0');
  for (std::size_t k = 0; k < large.size(); ++k) large[k] = static_cast<char>(k * 7 + k / 251);
  const std::string expected = "head" + large + "tail" + "more";
  {
    std::ofstream(dir / "out.bin", std::ios::binary) << expected.substr(1);
    OutputFile abandoned;
    ASSERT_TRUE(abandoned.Open(dir / "out.bin", "wb"));
    abandoned.Write(large);
  }
  EXPECT_TRUE(Read("out.bin") == expected.substr(1));
  for (const char* run : {"replacing a file", "new file"}) {
    if (std::string(run) == "new file") std::filesystem::remove(dir / "out.bin");
    OutputFile file;
    ASSERT_TRUE(file.Open(dir / "out.bin", "wb"));
    ASSERT_TRUE(file.CanPlace());
    file.Write("he");
    file.Place(4 + large.size(), "tail");  // past the end: a gap until the middle comes
    file.Place(4 + large.size() / 2, std::string_view(large).substr(large.size() / 2));
    file.Place(2, "ad" + large.substr(0, large.size() / 2));
    file.Place(4 + large.size() + 4, "");
    file.Write("more");  // on from the last place
    ASSERT_EQ(file.Commit(), CommitResult::Committed);
    EXPECT_TRUE(Read("out.bin") == expected) << run;
  }
}

#ifdef _WIN32
TEST_F(OutputFileTest, TargetHeldOpenElsewhereIsNotReplaced) {
  std::ofstream(dir / "out.inc") << "kept";
  // As another process would hold it: open without sharing its deletion.
  HANDLE other = ::CreateFileW((dir / "out.inc").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  OutputFile file;
  ASSERT_TRUE(file.Open(dir / "out.inc", "w"));
  file.Write("lost");
  EXPECT_EQ(file.Commit(), CommitResult::NotReplaced);
  ::CloseHandle(other);
  EXPECT_EQ(Read("out.inc"), "kept");
  EXPECT_EQ(Names(), (std::set<std::string>{"out.inc"}));
}

// A scanner that holds a file for a moment delays the replacement instead of failing it.
TEST_F(OutputFileTest, TargetHeldOpenForAMomentIsReplaced) {
  std::ofstream(dir / "out.inc") << "old";
  HANDLE other = ::CreateFileW((dir / "out.inc").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  std::thread scanner([other] {
    ::Sleep(150);
    ::CloseHandle(other);
  });
  OutputFile file;
  ASSERT_TRUE(file.Open(dir / "out.inc", "w"));
  file.Write("new");
  EXPECT_EQ(file.Commit(), CommitResult::Committed);
  scanner.join();
  EXPECT_EQ(Read("out.inc"), "new");
  EXPECT_EQ(Names(), (std::set<std::string>{"out.inc"}));
}

TEST_F(OutputFileTest, FilesPlainOpenRefusesAreRefused) {
  for (DWORD attribute : {FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_SYSTEM}) {
    std::ofstream(dir / "locked.inc") << "kept";
    const std::wstring path = (dir / "locked.inc").native();
    ASSERT_TRUE(::SetFileAttributesW(path.c_str(), attribute));
    OutputFile file;
    EXPECT_FALSE(file.Open(dir / "locked.inc", "w")) << attribute;
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(Read("locked.inc"), "kept");
    EXPECT_EQ(Names(), (std::set<std::string>{"locked.inc"}));
  }
  std::filesystem::create_directory(dir / "folder.inc");
  OutputFile file;
  EXPECT_FALSE(file.Open(dir / "folder.inc", "w"));
}
#endif

#ifndef _WIN32
// Written whole, but a folder took the name meanwhile: the replacement fails, not the write.
TEST_F(OutputFileTest, NameTakenByAFolderIsNotReplaced) {
  OutputFile file;
  ASSERT_TRUE(file.Open(dir / "msg.bin", "wb"));
  file.Write("new");
  std::filesystem::create_directory(dir / "msg.bin");
  EXPECT_EQ(file.Commit(), CommitResult::NotReplaced);
  EXPECT_EQ(Names(), (std::set<std::string>{"msg.bin"}));
  EXPECT_TRUE(std::filesystem::is_directory(dir / "msg.bin"));
}

TEST_F(OutputFileTest, WriteErrorOnDeviceIsReported) {
  // Run as root, a fault that replaced devices would replace the system's /dev/full: root gets a
  // device of its own in the test's folder.
  std::filesystem::path device = "/dev/full";
  if (geteuid() == 0) {
#ifdef __linux__
    device = dir / "full";
    if (mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0) {
      GTEST_SKIP() << "no device can be made here";
    }
#else
    GTEST_SKIP() << "no device of its own for root here";
#endif
  }
  if (!std::filesystem::is_character_file(device)) GTEST_SKIP() << "no " << device;
  OutputFile file;
  ASSERT_TRUE(file.Open(device, "wb"));
  EXPECT_FALSE(file.CanPlace());  // written in place, in order
  file.Write(std::string(1 << 16, 'x'));
  EXPECT_EQ(file.Commit(), CommitResult::WriteFailed);
  EXPECT_TRUE(std::filesystem::is_character_file(device));
}
#endif  // FIFOs and /dev/full are POSIX

}  // namespace
}  // namespace quillex
