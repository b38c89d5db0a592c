#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <string>
#include <system_error>
#include <thread>

#include "platform/platform.h"

namespace quillex::platform {
namespace {

// The first non-empty of the given environment variables, or "".
std::string FirstNonEmptyEnv(std::initializer_list<const char*> names) {
  for (const char* name : names) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return value;
  }
  return {};
}

// The permissions a plain open of a new file would give.
void SetDefaultPermissions(std::FILE* stream) {
  // mkstemp creates 0600; a plain fopen would give 0666 less the umask.
  mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(::fileno(stream), 0666 & ~mask);
}

// The temporary files in flight, for the signal handler to remove. Fixed storage, since a handler
// may not allocate. Several threads create and remove files, and the handler may run on any
// thread: the handler first waits for every thread half way through a change (see SignalBlock),
// so that no file is made after it looked and none is seen half registered.
constexpr int kTempSlots = 8;
constexpr std::size_t kTempPathSize = 4096;
char tempPaths[kTempSlots][kTempPathSize];
std::atomic<bool> tempUsed[kTempSlots];
std::mutex tempSlotsMutex;  // one thread at a time changes the slots
// Threads between blocking the signals and unblocking them, and whether a handler runs.
std::atomic<int> tempChanges{0};
std::atomic<bool> dying{false};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free,
              "a signal handler may use lock-free atomics only");

// Every signal that ends the process by default and comes from outside it (a user, a build tool
// stopping a job, a limit reached); not those that say the process itself is broken. SIGPIPE too:
// a console piped into a reader that quits early (`| head`) must not leave a temporary file behind.
constexpr int kTerminationSignals[] = {SIGINT,  SIGTERM, SIGHUP,  SIGPIPE,   SIGQUIT,
                                       SIGALRM, SIGUSR1, SIGUSR2, SIGVTALRM, SIGXCPU};

// Outputs written in place that are open. While one is, SIGPIPE is taken for a pipe written in
// place losing its reader: the write then fails (EPIPE) and the run reports that output as failed,
// as it would a full disk, instead of ending without a word.
std::atomic<int> inPlaceStreams{0};

sigset_t TerminationSignalSet() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal : kTerminationSignals) sigaddset(&set, signal);
  return set;
}

// Holds the termination signals back on this thread for its lifetime (one that arrives meanwhile
// is delivered when it ends), around a change of the temporary files and the syscall it goes
// with. A handler running on another thread meanwhile waits for the block to end.
class SignalBlock {
 public:
  SignalBlock() {
    const sigset_t set = TerminationSignalSet();
    ::pthread_sigmask(SIG_BLOCK, &set, &previous);
    if (depth++ > 0) return;  // counted already
    ++tempChanges;
    if (dying) {
      // A handler on another thread is removing the files: this thread waits for the end.
      --tempChanges;
      for (;;) ::pause();
    }
  }
  ~SignalBlock() {
    if (--depth == 0) --tempChanges;
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  }
  SignalBlock(const SignalBlock&) = delete;
  SignalBlock& operator=(const SignalBlock&) = delete;

 private:
  sigset_t previous;
  static thread_local int depth;  // of the blocks this thread is in
};

thread_local int SignalBlock::depth = 0;

// False when no slot is free. REQUIRES: the termination signals are blocked.
bool RegisterTempFile(const std::string& path) {
  if (path.size() >= kTempPathSize) return false;  // longer than any path open(2) takes
  const std::lock_guard<std::mutex> lock(tempSlotsMutex);
  for (int slot = 0; slot < kTempSlots; ++slot) {
    if (tempUsed[slot]) continue;
    std::memcpy(tempPaths[slot], path.c_str(), path.size() + 1);
    tempUsed[slot] = true;
    return true;
  }
  return false;
}

// REQUIRES: the termination signals are blocked.
void ForgetTempFile(const std::string& path) {
  const std::lock_guard<std::mutex> lock(tempSlotsMutex);
  for (int slot = 0; slot < kTempSlots; ++slot) {
    if (tempUsed[slot] && path == tempPaths[slot]) tempUsed[slot] = false;
  }
}

extern "C" void RemoveTempFilesAndDie(int signal) {
  if (signal == SIGPIPE && inPlaceStreams > 0) return;
  dying = true;
  while (tempChanges != 0) {
    const timespec pause{0, 100000};
    ::nanosleep(&pause, nullptr);
  }
  for (int slot = 0; slot < kTempSlots; ++slot) {
    if (tempUsed[slot]) ::unlink(tempPaths[slot]);
  }
  // Ends the process as the signal would have: the caller sees the same status.
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

// The name of a new temporary file beside `target`, as CreateTempFileBeside makes them.
std::string TempPatternBeside(const Path& target) {
  // Only the start of the target's name: a name that just fits the file system's limit must not
  // fail for its temporary file alone.
  constexpr std::size_t kNameStart = 64;
  const std::string whole = target.filename().native();
  std::size_t kept = std::min(whole.size(), kNameStart);
  // Never half a UTF-8 character: a file system that keeps names as UTF-8 refuses one.
  while (kept > 0 && kept < whole.size() &&
         (static_cast<unsigned char>(whole[kept]) & 0xC0) == 0x80) {
    --kept;
  }
  std::string name = whole.substr(0, kept) + ".tmpXXXXXX";
  return (target.parent_path() / name).native();
}

// Removes `path` and drops it from the temporary files.
void RemoveTempFile(const std::string& path) {
  SignalBlock block;
  ::unlink(path.c_str());
  ForgetTempFile(path);
}

}  // namespace

bool IsUserLanguageJapanese() {
  std::string locale = FirstNonEmptyEnv({"LC_ALL", "LC_MESSAGES", "LANG"});
  return locale.substr(0, locale.find_first_of("_.@")) == "ja";
}

int GetMultibyteCodePage() {
  std::string locale = FirstNonEmptyEnv({"LC_ALL", "LC_CTYPE", "LANG"});
  std::size_t dot = locale.find('.');
  if (dot == std::string::npos) return 0;
  std::string codeset;
  for (std::size_t i = dot + 1; i < locale.size() && locale[i] != '@'; ++i) {
    char c = locale[i];
    if (c == '-' || c == '_') continue;
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    codeset += c;
  }
  if (codeset == "utf8") return 65001;
  if (codeset == "sjis" || codeset == "shiftjis" || codeset == "cp932" || codeset == "windows31j" ||
      codeset == "mskanji") {
    return 932;
  }
  return 0;
}

Path PathFromNarrow(std::string_view text) { return Path(std::string(text)); }

namespace {
bool standardOutputClosed = false;
}  // namespace

bool StandardOutputWasClosed() { return standardOutputClosed; }

void KeepStandardStreamsOpen() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    if (fd == 1) standardOutputClosed = true;
    // The lowest free number is this one.
    const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (opened > fd) ::close(opened);
  }
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

Path PathFromArgument(std::string_view argument) { return PathFromNarrow(argument); }

void TranslateTextLineEnds(std::string*) {}

std::string PathToUtf8(const Path& path) { return path.string(); }

Path JoinPath(const Path& directory, const Path& name) { return directory / name; }

Path AppendToPath(const Path& base, std::string_view suffix) {
  return Path(base.native() + std::string(suffix));
}

std::FILE* OpenStream(const Path& path, const char* mode) { return std::fopen(path.c_str(), mode); }

std::FILE* OpenRegularFile(const Path& path, const char* mode) {
  // O_NONBLOCK: a FIFO without a writer would otherwise hold the open forever.
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat status;
  std::FILE* stream = nullptr;
  if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) == 0) {
    stream = ::fdopen(fd, mode);
  }
  if (stream == nullptr) ::close(fd);
  return stream;
}

// A 32-bit off_t would cut the size of files of 2 GiB or more.
static_assert(sizeof(off_t) >= 8, "build with _FILE_OFFSET_BITS=64");

bool GetStreamSize(std::FILE* stream, std::uint64_t* size) {
  // Some file systems let a directory seek to a huge end, and its read fails only afterwards.
  struct stat status;
  if (::fstat(::fileno(stream), &status) != 0 || S_ISDIR(status.st_mode)) return false;
  if (::fseeko(stream, 0, SEEK_END) != 0) return false;
  off_t end = ::ftello(stream);
  if (end < 0 || ::fseeko(stream, 0, SEEK_SET) != 0) return false;
  *size = static_cast<std::uint64_t>(end);
  return true;
}

std::FILE* CreateTempFileBeside(const Path& target, const char* mode, Path* tempPath) {
  std::string pattern = TempPatternBeside(target);
  // Created and registered in one step as far as the signals can tell: no file escapes removal.
  SignalBlock block;
  int fd = ::mkstemp(pattern.data());
  if (fd < 0) return nullptr;
  std::FILE* stream = ::fdopen(fd, mode);
  if (stream == nullptr) {
    ::close(fd);
    ::unlink(pattern.c_str());
    return nullptr;
  }
  RegisterTempFile(pattern);
  *tempPath = Path(pattern);
  return stream;
}

bool ResolveWriteTarget(const Path& target, Path* file) {
  Path resolved = target;
  // open(2) gives up on chains longer than this; access() below then fails with ELOOP too.
  for (int depth = 0; depth < 40; ++depth) {
    std::error_code error;
    Path link = std::filesystem::read_symlink(resolved, error);
    if (error) break;  // not a link, or missing
    resolved = link.is_absolute() ? link : resolved.parent_path() / link;
  }
  *file = resolved;
  return ::access(resolved.c_str(), W_OK) == 0 || errno == ENOENT;
}

Path::string_type ComparableSpelling(const Path& path) { return path.native(); }

int CompareSpellings(const Path::string_type& a, const Path::string_type& b) {
  return a.compare(b);
}

bool IsSymbolicLink(const Path& path) {
  struct stat status;
  return ::lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode);
}

bool IsSpecialFile(const Path& target) {
  struct stat status;
  return ::stat(target.c_str(), &status) == 0 && !S_ISREG(status.st_mode);
}

std::FILE* OpenSpecialFileForWriting(const Path& target, const char* mode) {
  // The flags of a plain fopen "w", plus O_NONBLOCK for the open alone: a FIFO without a reader
  // then fails at once (ENXIO) instead of holding the run.
  int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  std::FILE* stream = nullptr;
  if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) == 0) stream = ::fdopen(fd, mode);
  if (stream == nullptr) {
    ::close(fd);
    return nullptr;
  }
  ++inPlaceStreams;
  return stream;
}

bool CloseSpecialFile(std::FILE* stream) {
  // The last bytes go to the pipe here, so the count drops only after them.
  const bool written = std::ferror(stream) == 0;
  const bool closed = std::fclose(stream) == 0 && written;
  --inPlaceStreams;
  return closed;
}

void SetPermissionsFor(std::FILE* stream, const Path& file) {
  struct stat status;
  if (::stat(file.c_str(), &status) == 0 && S_ISREG(status.st_mode)) {
    // An open keeps the file's owner and group too; where the user may not give them (only its
    // own owner, only its own groups), the new file stays the user's, as any new file would.
    if (::fchown(::fileno(stream), status.st_uid, status.st_gid) != 0) {
      // Nothing to undo: the file keeps the user's owner and group.
    }
    // Set-user-ID and the like stay off: writing a file clears them too.
    ::fchmod(::fileno(stream), status.st_mode & 0777);
  } else {
    SetDefaultPermissions(stream);
  }
}

namespace {

// Freeing the blocks of a large file can take a good part of a second (a file system that
// discards freed blocks waits for the disk): replacing a file would wait for that, and a run
// replacing several would wait for each. So the old version is kept by a second name while the
// new one moves in, and that name is removed on a thread of its own while the run goes on. One
// old version at a time: the disk never holds more than one beyond what a plain move needs.
class OldVersions {
 public:
  OldVersions() = default;
  OldVersions(const OldVersions&) = delete;
  OldVersions& operator=(const OldVersions&) = delete;
  ~OldVersions() { Wait(); }

  // Gives the file at `target` a second, temporary name, registered for removal on a signal,
  // when it is worth freeing apart: a large regular file of one name. "" otherwise, or when the
  // file system refuses.
  std::string Keep(const Path& target) {
    constexpr off_t kWorthKeeping = off_t{1} << 20;
    struct stat status;
    if (::lstat(target.c_str(), &status) != 0 || !S_ISREG(status.st_mode) || status.st_nlink != 1 ||
        status.st_size < kWorthKeeping) {
      return {};
    }
    Wait();
    std::string pattern = TempPatternBeside(target);
    SignalBlock block;
    // mkstemp finds a free name; link(2) then takes it, as it cannot replace a file.
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) return {};
    ::close(fd);
    ::unlink(pattern.c_str());
    if (::link(target.c_str(), pattern.c_str()) != 0) return {};
    if (!RegisterTempFile(pattern)) {
      ::unlink(pattern.c_str());
      return {};
    }
    return pattern;
  }

  // Removes `path` (from Keep) on a thread of its own, or here should the system refuse one.
  void Remove(const std::string& path) {
    Wait();
    try {
      remover_ = std::thread([path] {
        // A signal is handled on the run's own threads, never half way through this one.
        const sigset_t set = TerminationSignalSet();
        ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
        RemoveTempFile(path);
      });
    } catch (const std::system_error&) {
      RemoveTempFile(path);
    }
  }

  void Wait() {
    if (remover_.joinable()) remover_.join();
  }

 private:
  std::thread remover_;
};

OldVersions& Old() {
  static OldVersions old;
  return old;
}

// Files may be replaced from several threads: one at a time, as their old versions go.
std::mutex replacing;

}  // namespace

bool ReplaceFile(const Path& from, const Path& to) {
  const std::lock_guard<std::mutex> lock(replacing);
  const std::string old = Old().Keep(to);
  {
    SignalBlock block;
    if (std::rename(from.c_str(), to.c_str()) != 0) {
      // `to` is as it was: the second name only goes.
      if (!old.empty()) RemoveTempFile(old);
      return false;
    }
    ForgetTempFile(from.native());
  }
  if (!old.empty()) Old().Remove(old);
  return true;
}

void WaitForOldVersions() {
  const std::lock_guard<std::mutex> lock(replacing);
  Old().Wait();
}

bool IdentifyFile(const Path& path, FileIdentity* identity) {
  struct stat status;
  if (::stat(path.c_str(), &status) != 0) return false;
  *identity = {static_cast<std::uint64_t>(status.st_dev),
               static_cast<std::uint64_t>(status.st_ino)};
  return true;
}

void RemoveFileQuietly(const Path& path) {
  SignalBlock block;
  ::unlink(path.c_str());
  ForgetTempFile(path.native());
}

bool IsPlainFileName(std::string_view name) { return name.find('/') == std::string_view::npos; }

std::size_t FileNameLimit(const Path& folder) {
  const long limit = ::pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
  return limit > 0 ? static_cast<std::size_t>(limit) : 255;
}

void StartWriteBack(std::FILE* stream) {
  std::fflush(stream);
#ifdef SYNC_FILE_RANGE_WRITE
  // The whole file: pages already on their way or written are skipped at little cost.
  ::sync_file_range(::fileno(stream), 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
}

bool SeekStream(std::FILE* stream, std::uint64_t offset) {
  if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) return false;
  return ::fseeko(stream, static_cast<off_t>(offset), SEEK_SET) == 0;
}

void ReleaseCachedBytes(const Path& file, std::uint64_t offset, std::uint64_t length) {
#ifdef POSIX_FADV_DONTNEED
  const int descriptor = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (descriptor < 0) return;
  ::posix_fadvise(descriptor, static_cast<off_t>(offset), static_cast<off_t>(length),
                  POSIX_FADV_DONTNEED);
  ::close(descriptor);
#else
  (void)file;
  (void)offset;
  (void)length;
#endif
}

void AdviseLargePages(void* data, std::size_t bytes) {
#ifdef MADV_HUGEPAGE
  // Below a large page the hint would gain nothing.
  constexpr std::uintptr_t kMinimum = kLargePageBytes;
  if (bytes < kMinimum) return;
  // The advice applies to whole pages: those entirely inside the buffer.
  const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  const auto start = reinterpret_cast<std::uintptr_t>(data);
  const std::uintptr_t first = (start + page - 1) / page * page;
  const std::uintptr_t end = (start + bytes) / page * page;
  if (end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
#else
  (void)data;
  (void)bytes;
#endif
}

bool MapIn(void* data, std::size_t bytes) {
#ifdef MADV_POPULATE_WRITE
  return madvise(data, bytes, MADV_POPULATE_WRITE) == 0;
#else
  (void)data;
  (void)bytes;
  return false;
#endif
}

void InstallSignalHandlers() {
  std::signal(SIGXFSZ, SIG_IGN);
  struct sigaction action {};
  action.sa_handler = RemoveTempFilesAndDie;
  action.sa_mask = TerminationSignalSet();
  for (int signal : kTerminationSignals) {
    struct sigaction previous {};
    // A signal ignored from the start (nohup, a background job) stays ignored, and one handled
    // already (a profiler's timer) stays the handler's.
    if (::sigaction(signal, nullptr, &previous) != 0 || previous.sa_handler != SIG_DFL) continue;
    ::sigaction(signal, &action, nullptr);
  }
}

}  // namespace quillex::platform

// Every large buffer, whatever container makes it, is advised for large pages as it is made:
// where a page fault is dear (a virtual machine's first touch of its memory costs microseconds
// per 4 KB page), touching a few hundred megabytes in small pages outweighs the work done on
// them; so does faulting a buffer of a few hundred kilobytes in a page at a time. The buffer
// starts and ends on a large page's bounds, so that all of it can be one.
#if QUILLEX_LARGE_BUFFERS_ON_LARGE_PAGES
// Out of line: inlined into a caller in this file, it has the compiler pair its malloc with the
// matching operator delete and warn of a mismatch that is none.
[[gnu::noinline]] void* operator new(std::size_t size) {
  if (size == 0) size = 1;
  constexpr std::size_t kLargePage = quillex::platform::kLargePageBytes;
  const bool large =
      size >= quillex::platform::kLargePageBufferBytes && size <= SIZE_MAX - kLargePage;
  for (;;) {
    if (large) {
      const std::size_t rounded = (size + kLargePage - 1) / kLargePage * kLargePage;
      if (void* bytes = std::aligned_alloc(kLargePage, rounded)) {
        quillex::platform::AdviseLargePages(bytes, rounded);
        return bytes;
      }
    } else if (void* bytes = std::malloc(size)) {
      return bytes;
    }
    // As the standard operator new: the handler may free memory, or throw.
    const std::new_handler handler = std::get_new_handler();
    if (handler == nullptr) throw std::bad_alloc();
    handler();
  }
}
#endif
