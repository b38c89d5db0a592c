#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <new>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "platform/test_temp_dir.h"

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

using ReplaceFileTest = TempDirTest;

TEST_F(ReplaceFileTest, ReplacedFileKeepsOwnerGroupAndMode) {
  if (::geteuid() != 0) GTEST_SKIP() << "only a privileged user can make a file of another owner";
  Path target = dir / "msg.bin";
  std::FILE* old = std::fopen(target.c_str(), "w");
  ASSERT_NE(old, nullptr);
  std::fclose(old);
  ASSERT_EQ(::chown(target.c_str(), 12345, 23456), 0);
  // Every permission class with bits of its own: execute, and write for group and others too.
  ASSERT_EQ(::chmod(target.c_str(), 0763), 0);

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
  EXPECT_EQ(status.st_mode & 07777, 0763u);
}

// Only the start of a long name goes into the temporary file's, cut before a UTF-8 character
// rather than inside it: a file system that keeps names as UTF-8 refuses half a one.
TEST_F(ReplaceFileTest, TemporaryNameKeepsWholeCharacters) {
  const std::string start(62, 'a');
  Path temp;
  std::FILE* stream = CreateTempFileBeside(dir / (start + "\xF0\x9F\x98\x80.inc"), "wb", &temp);
  ASSERT_NE(stream, nullptr);
  std::fclose(stream);
  EXPECT_EQ(temp.filename().native().substr(0, 66), start + ".tmp");
  RemoveFileQuietly(temp);
}

// The names in the folder `dir`, sorted.
std::vector<std::string> Names(const Path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Makes a temporary file beside `target` holding `bytes`; returns its path.
Path TempFileHolding(const Path& target, const std::string& bytes) {
  Path temp;
  std::FILE* stream = CreateTempFileBeside(target, "wb", &temp);
  if (stream == nullptr) return {};
  std::fwrite(bytes.data(), 1, bytes.size(), stream);
  std::fclose(stream);
  return temp;
}

// A large file's old version is freed apart from the move: nothing of it stays behind, and a
// reader that has it open still reads it whole. A move that fails leaves the target as it was.
TEST_F(ReplaceFileTest, LargeOldVersionLeavesNothingBehind) {
  const std::string old(3u << 20, 'o');
  const Path target = Write("msg.bin", old);
  std::ifstream reader(target, std::ios::binary);
  ASSERT_TRUE(ReplaceFile(TempFileHolding(target, "new"), target));
  EXPECT_EQ(Read("msg.bin"), "new");
  WaitForOldVersions();
  EXPECT_EQ(Names(dir), std::vector<std::string>{"msg.bin"});
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(reader), {}), old);

  Write("msg.bin", old);
  EXPECT_FALSE(ReplaceFile(dir / "missing.tmp", target));
  WaitForOldVersions();
  EXPECT_EQ(Names(dir), std::vector<std::string>{"msg.bin"});
  EXPECT_EQ(Read("msg.bin"), old);
}

// The VmFlags of the mapping that holds `address`, from /proc/self/smaps ("" when not found).
std::string MappingFlags(const void* address) {
  std::ifstream smaps("/proc/self/smaps");
  const auto at = reinterpret_cast<std::uintptr_t>(address);
  bool inside = false;
  for (std::string line; std::getline(smaps, line);) {
    std::uintptr_t from = 0;
    std::uintptr_t to = 0;
    char dash = 0;
    std::istringstream range(line);
    if (range >> std::hex >> from >> dash >> to && dash == '-') {
      inside = from <= at && at < to;
    } else if (inside && line.rfind("VmFlags:", 0) == 0) {
      return line;
    }
  }
  return "";
}

TEST(LargePagesTest, LargeBufferIsAdvisedSmallOneIsNot) {
  if (!std::filesystem::exists("/sys/kernel/mm/transparent_hugepage/enabled")) {
    GTEST_SKIP() << "no large pages on request here";
  }
  std::vector<std::uint32_t> large;
  ReserveLarge(large, 4u << 20);  // 16 MB
  const std::string flags = MappingFlags(large.data() + (2u << 20));
  EXPECT_NE(flags.find(" hg"), std::string::npos) << flags;

  std::vector<std::uint32_t> small;
  ReserveLarge(small, 1000);
  EXPECT_EQ(MappingFlags(small.data()).find(" hg"), std::string::npos);
}

// Whatever container makes a large buffer, it starts on a large page's bound and is advised;
// the memory up to the next bound is the buffer's, however odd its size.
TEST(LargePagesTest, EveryLargeBufferStartsOnALargePage) {
  if (!QUILLEX_LARGE_BUFFERS_ON_LARGE_PAGES) GTEST_SKIP() << "this build keeps its own allocator";
  const bool advisable = std::filesystem::exists("/sys/kernel/mm/transparent_hugepage/enabled");
  for (std::size_t size :
       {kLargePageBufferBytes, kLargePageBytes, kLargePageBytes + 1, 5 * kLargePageBytes - 3}) {
    std::vector<char> bytes(size, 'x');
    std::string text(size, 'y');
    for (const char* data : {bytes.data(), text.data()}) {
      EXPECT_EQ(reinterpret_cast<std::uintptr_t>(data) % kLargePageBytes, 0u) << size;
      if (advisable) {
        const std::string flags = MappingFlags(data + size - 1);
        EXPECT_NE(flags.find(" hg"), std::string::npos) << size << flags;
      }
    }
  }
}

// A buffer mapped in ahead of its filling has its pages, the shares of every thread's included,
// and keeps every byte it held; it need not start or end on a large page's bound.
TEST(LargePagesTest, MapInLargeGivesPagesAndKeepsBytes) {
  const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  void* probe = mmap(nullptr, page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(probe, MAP_FAILED);
  const bool supported = MapIn(probe, page);
  munmap(probe, page);
  if (!supported) GTEST_SKIP() << "this system cannot be asked to map memory in";

  // Enough large pages for every worker to take a share; small pages (no advice), so that a
  // page is resident only where something mapped it in or wrote it.
  const std::size_t regionBytes = 12 * kLargePageBytes;
  void* region =
      mmap(nullptr, regionBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(region, MAP_FAILED);
  auto* bytes = static_cast<unsigned char*>(region);
  const std::size_t offset = 3 * page + 7;
  const std::size_t size = regionBytes - offset - page - 5;
  // A byte here and there already written: mapping in must not undo it.
  for (std::size_t at = offset; at < offset + size; at += 65537) bytes[at] = 0xA5;

  MapInLarge(bytes + offset, size);

  const auto start = reinterpret_cast<std::uintptr_t>(bytes + offset);
  const std::uintptr_t first = (start + kLargePageBytes - 1) / kLargePageBytes * kLargePageBytes;
  const std::uintptr_t end = (start + size) / kLargePageBytes * kLargePageBytes;
  ASSERT_GE(end - first, 8 * kLargePageBytes);
  std::vector<unsigned char> resident((end - first) / page);
  ASSERT_EQ(mincore(reinterpret_cast<void*>(first), end - first, resident.data()), 0);
  const auto missing = std::count_if(resident.begin(), resident.end(),
                                     [](unsigned char flags) { return (flags & 1) == 0; });
  EXPECT_EQ(missing, 0) << "of " << resident.size() << " pages";
  for (std::size_t at = 0; at < regionBytes; ++at) {
    const bool written = at >= offset && at < offset + size && (at - offset) % 65537 == 0;
    ASSERT_EQ(bytes[at], written ? 0xA5 : 0) << at;
  }
  munmap(region, regionBytes);
}

// A size no memory can hold fails as operator new must, large or not.
TEST(LargePagesTest, ImpossibleSizeThrowsBadAlloc) {
  if (!QUILLEX_LARGE_BUFFERS_ON_LARGE_PAGES) GTEST_SKIP() << "this build keeps its own allocator";
  const std::size_t impossible[] = {std::numeric_limits<std::size_t>::max() / 2,
                                    std::numeric_limits<std::size_t>::max() - 1};
  for (std::size_t size : impossible) {
    EXPECT_THROW(::operator delete(::operator new(size)), std::bad_alloc) << size;
  }
}

class SignalTest : public TempDirTest {
 protected:
  // Runs `child` in a forked process and returns its wait status.
  template <typename Child>
  int RunChild(Child child) {
    pid_t pid = ::fork();
    if (pid == 0) {
      InstallSignalHandlers();
      child();
      ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
  }

  bool Empty() { return std::filesystem::is_empty(dir); }
};

TEST_F(SignalTest, TerminationRemovesTemporaryFileAndKeepsSignal) {
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGQUIT, SIGALRM, SIGUSR1, SIGXCPU}) {
    SCOPED_TRACE(signal);
    int status = RunChild([&] {
      Path temp;
      std::FILE* stream = CreateTempFileBeside(dir / "out.bin", "wb", &temp);
      if (stream == nullptr) ::_exit(2);
      std::fputs("partial", stream);
      std::fflush(stream);
      std::raise(signal);
      ::_exit(3);
    });
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(WTERMSIG(status), signal);
    EXPECT_TRUE(Empty());
  }
}

// A pipe written in place whose reader quits fails the write, as a full disk would, for the run
// to report; once it is closed, a broken pipe (the console's) ends the process again.
TEST_F(SignalTest, PipeWrittenInPlaceWhoseReaderQuitsFailsTheWrite) {
  const Path fifo = dir / "msg.bin";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const Path closed = dir / "closed";
  int status = RunChild([&] {
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    std::FILE* stream = OpenSpecialFileForWriting(fifo, "wb");
    if (reader < 0 || stream == nullptr) ::_exit(2);
    ::close(reader);
    const std::string bytes(1 << 20, 'x');  // more than a pipe holds
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
    if (CloseSpecialFile(stream)) ::_exit(3);
    std::ofstream(closed) << "failed and closed";
    std::raise(SIGPIPE);
  });
  EXPECT_TRUE(std::filesystem::exists(closed));
  ASSERT_TRUE(WIFSIGNALED(status)) << status;
  EXPECT_EQ(WTERMSIG(status), SIGPIPE);
  EXPECT_EQ(std::filesystem::status(fifo).type(), std::filesystem::file_type::fifo);
}

// A handler already there (a profiler's) is kept, as an ignored signal stays ignored.
TEST_F(SignalTest, SignalsHandledAlreadyKeepTheirHandler) {
  int status = RunChild([] {
    std::signal(SIGUSR1, SIG_IGN);
    struct sigaction kept {};
    kept.sa_handler = [](int) { ::_exit(5); };
    ::sigaction(SIGALRM, &kept, nullptr);
    InstallSignalHandlers();
    std::raise(SIGUSR1);
    std::raise(SIGALRM);
  });
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 5);
}

// A signal while a replaced file's old version is being freed leaves only the new version: the
// finished file stays.
TEST_F(SignalTest, OldVersionBeingFreedIsRemovedToo) {
  const Path target = Write("msg.bin", std::string(3u << 20, 'o'));
  int status = RunChild([&] {
    if (!ReplaceFile(TempFileHolding(target, "new"), target)) ::_exit(3);
    std::raise(SIGTERM);
  });
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(Names(dir), std::vector<std::string>{"msg.bin"});
  EXPECT_EQ(Read("msg.bin"), "new");
}

// Files made and replaced on other threads while the handler runs: the handler waits for the
// thread half way through, so that no temporary file is left behind.
TEST_F(SignalTest, FilesMadeOnOtherThreadsAreRemovedToo) {
  for (int round = 0; round < 30; ++round) {
    SCOPED_TRACE(round);
    int status = RunChild([&] {
      for (const char* name : {"a", "b"}) {
        std::thread([target = dir / name] {
          for (;;) {
            Path temp;
            std::FILE* stream = CreateTempFileBeside(target, "w", &temp);
            if (stream == nullptr) ::_exit(2);
            std::fclose(stream);
            if (!ReplaceFile(temp, target)) ::_exit(3);
          }
        }).detach();
      }
      std::this_thread::sleep_for(std::chrono::microseconds(200 + 97 * round));
      std::raise(SIGTERM);
    });
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    for (const std::string& name : Names(dir)) EXPECT_TRUE(name == "a" || name == "b") << name;
  }
}

}  // namespace
}  // namespace quillex::platform
