#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

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

std::string PathToUtf8(const Path& path) { return path.string(); }

Path JoinPath(const Path& directory, const Path& name) { return directory / name; }

Path AppendToPath(const Path& base, std::string_view suffix) {
  return Path(base.native() + std::string(suffix));
}

std::FILE* OpenStream(const Path& path, const char* mode) { return std::fopen(path.c_str(), mode); }

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
  // Only the start of the target's name: a name that just fits the file system's limit must not
  // fail for its temporary file alone.
  constexpr std::size_t kNameStart = 64;
  std::string name = target.filename().native().substr(0, kNameStart) + ".tmpXXXXXX";
  std::string pattern = (target.parent_path() / name).native();
  int fd = ::mkstemp(pattern.data());
  if (fd < 0) return nullptr;
  std::FILE* stream = ::fdopen(fd, mode);
  if (stream == nullptr) {
    ::close(fd);
    ::unlink(pattern.c_str());
    return nullptr;
  }
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

bool ReplaceFile(const Path& from, const Path& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}

bool IsSameFile(const Path& path, const Path& other) {
  struct stat a;
  struct stat b;
  if (::stat(path.c_str(), &a) != 0 || ::stat(other.c_str(), &b) != 0) return false;
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

void RemoveFileQuietly(const Path& path) { ::unlink(path.c_str()); }

}  // namespace quillex::platform
