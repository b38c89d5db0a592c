#include "platform/platform.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

// After the standard headers: the runtime's ctype headers define short macros (_S1, _M1 ...) that
// collide with names inside them.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <locale.h>
#include <mbctype.h>
#include <sys/stat.h>
#undef ReplaceFile  // the Windows API's own, a macro that would rename ours

namespace quillex::platform {
namespace {

std::wstring ToWide(std::string_view text, UINT codePage) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  int length = ::MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(codePage, 0, text.data(), size, wide.data(), length);
  return wide;
}

std::string ToUtf8(std::wstring_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  int length = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return {};
  std::string narrow(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, narrow.data(), length, nullptr, nullptr);
  return narrow;
}

// The narrow file-system encoding: UTF-8 under a UTF-8 runtime locale, else the code page the
// file functions use (ANSI, or OEM when switched to it).
UINT NarrowCodePage() {
  if (::___lc_codepage_func() == CP_UTF8) return CP_UTF8;
  return ::AreFileApisANSI() ? CP_ACP : CP_OEMCP;
}

// Modes are UTF-8 text; the conversion keeps the terminating NUL.
std::wstring WideMode(const char* mode) {
  int length = ::MultiByteToWideChar(CP_UTF8, 0, mode, -1, nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, mode, -1, wide.data(), length);
  wide.resize(static_cast<std::size_t>(length - 1));
  return wide;
}

// Different in every attempt and every process, so that two runs never pick the same name.
std::uint64_t NextTempNumber() {
  // Files are made on several threads at once.
  static std::atomic<std::uint64_t> counter{0};
  LARGE_INTEGER ticks;
  ::QueryPerformanceCounter(&ticks);
  std::uint64_t value = (static_cast<std::uint64_t>(::GetCurrentProcessId()) << 32) ^
                        static_cast<std::uint64_t>(ticks.QuadPart) ^ (++counter * 0x9E3779B97F4A7C15u);
  return value & 0xFFFFFFFFFFull;
}

// The temporary files in flight, for the console control handler to remove. Each is made and
// registered, or moved or removed and dropped, under the lock, which the handler takes for good:
// no file is made after it looked, and none is seen half registered. Never destroyed, since the
// handler may run while the process exits.
std::mutex tempFilesMutex;
std::vector<std::wstring>& TempFiles() {
  static auto* files = new std::vector<std::wstring>;
  return *files;
}

// REQUIRES: tempFilesMutex held.
void ForgetTempFile(const std::wstring& path) {
  std::vector<std::wstring>& files = TempFiles();
  const auto found = std::find(files.begin(), files.end(), path);
  if (found != files.end()) files.erase(found);
}

// Opens what `path` leads to (links followed) to be examined, not read or written: no access
// asked and every kind of sharing granted, so that a file others hold open is examined too. The
// flag lets folders be opened as well.
HANDLE OpenToExamine(const Path& path) {
  return ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// The absolute form of `path` that the system would open, as GetFullPathName gives it; "" when
// there is none.
std::wstring FullPath(const Path& path) {
  const DWORD size = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (size == 0) return {};
  std::wstring full(size, L'\0');
  const DWORD length = ::GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
  if (length == 0 || length >= size) return {};
  full.resize(length);
  return full;
}

// The path of the file open as `handle`, links followed, in its plain form ("C:\dir\name" or
// "\\server\share\name"); "" when the system does not say.
std::wstring FinalPath(HANDLE handle) {
  const DWORD size = ::GetFinalPathNameByHandleW(handle, nullptr, 0, FILE_NAME_NORMALIZED);
  if (size == 0) return {};
  std::wstring final(size, L'\0');
  const DWORD length =
      ::GetFinalPathNameByHandleW(handle, final.data(), size, FILE_NAME_NORMALIZED);
  if (length == 0 || length >= size) return {};
  final.resize(length);
  constexpr std::wstring_view kUnc = L"\\\\?\\UNC\\";
  constexpr std::wstring_view kLong = L"\\\\?\\";
  if (final.starts_with(kUnc)) return L"\\\\" + final.substr(kUnc.size());
  if (final.starts_with(kLong)) return final.substr(kLong.size());
  return final;
}

bool SameNameIgnoringCase(std::wstring_view a, std::wstring_view b) {
  return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace

bool IsUserLanguageJapanese() { return (::GetUserDefaultLangID() & 0x3FF) == LANG_JAPANESE; }

int GetMultibyteCodePage() {
  int codePage = ::_getmbcp();
  // This runtime (msvcrt) knows no UTF-8 multibyte code page and reports 0 on a system whose
  // ANSI code page is UTF-8; the universal runtime, which starts with that code page, says 65001.
  if (codePage == 0 && ::GetACP() == CP_UTF8) codePage = CP_UTF8;
  return codePage == 65001 || codePage == 932 ? codePage : 0;
}

Path PathFromNarrow(std::string_view text) { return Path(ToWide(text, NarrowCodePage())); }

// Split here by the system's rules rather than by CommandLineToArgvW, whose library brings the
// window system with it: twice this program's start-up time, for one call. The rules: the
// program's name runs to the next quote if it starts with one, else to the first blank, without
// escapes. In the other arguments, blanks outside quotes end an argument; 2n backslashes and a
// quote are n backslashes and a quote that opens or closes; 2n + 1 backslashes and a quote are n
// backslashes and a literal quote; other backslashes are themselves; of quotes in a row, every
// third is a literal one, and two close what one opened.
std::vector<std::string> ArgumentsFromCommandLine(const wchar_t* commandLine) {
  std::vector<std::string> arguments;
  if (commandLine == nullptr || *commandLine == L'\0') return arguments;
  const auto blank = [](wchar_t c) { return c == L' ' || c == L'\t'; };
  const bool quoted = *commandLine == L'"';
  const wchar_t* name = quoted ? commandLine + 1 : commandLine;
  const wchar_t* at = name;
  while (*at != L'\0' && (quoted ? *at != L'"' : !blank(*at))) ++at;
  arguments.push_back(ToUtf8(std::wstring_view(name, static_cast<std::size_t>(at - name))));
  if (quoted && *at == L'"') ++at;
  while (blank(*at)) ++at;
  std::wstring argument;
  while (*at != L'\0') {  // an argument starts here
    argument.clear();
    int quotes = 0;  // 1 inside quotes
    std::size_t backslashes = 0;
    while (*at != L'\0' && !(blank(*at) && quotes == 0)) {
      if (*at != L'"') {
        backslashes = *at == L'\\' ? backslashes + 1 : 0;
        argument += *at++;
        continue;
      }
      argument.resize(argument.size() - (backslashes + 1) / 2);
      if (backslashes % 2 == 0) {
        ++quotes;
      } else {
        argument += L'"';
      }
      backslashes = 0;
      for (++at; *at == L'"'; ++at) {
        if (++quotes == 3) {
          argument += L'"';
          quotes = 0;
        }
      }
      if (quotes == 2) quotes = 0;
    }
    arguments.push_back(ToUtf8(argument));
    while (blank(*at)) ++at;
  }
  return arguments;
}

void KeepStandardStreamsOpen() {}

// Without a handle the runtime's writes to standard output fail, and a listing reports it.
bool StandardOutputWasClosed() { return false; }

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  std::vector<std::string> arguments = ArgumentsFromCommandLine(::GetCommandLineW());
  // A parent may start a program with an empty command line: the runtime's arguments then.
  if (arguments.empty()) {
    for (int i = 0; i < argc; ++i) arguments.push_back(ToUtf8(ToWide(argv[i], CP_ACP)));
  }
  return arguments;
}

Path PathFromArgument(std::string_view argument) { return Path(ToWide(argument, CP_UTF8)); }

void TranslateTextLineEnds(std::string* bytes) {
  std::string& text = *bytes;
  std::size_t kept = 0;
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n') continue;
    text[kept++] = text[at];
  }
  text.resize(kept);
}

std::string PathToUtf8(const Path& path) { return ToUtf8(path.native()); }

Path JoinPath(const Path& directory, const Path& name) { return directory / name; }

// Suffixes are the tool's own text, UTF-8 like everything inside it (a language name may be
// Japanese): decoded as such, not in the narrow code page.
Path AppendToPath(const Path& base, std::string_view suffix) {
  return Path(base.native() + ToWide(suffix, CP_UTF8));
}

std::FILE* OpenStream(const Path& path, const char* mode) {
  const std::wstring wideMode = WideMode(mode);
  if (wideMode.empty()) return nullptr;
  return ::_wfopen(path.c_str(), wideMode.c_str());
}

bool GetStreamSize(std::FILE* stream, std::uint64_t* size) {
  struct _stati64 status;
  if (::_fstati64(::_fileno(stream), &status) != 0 || (status.st_mode & _S_IFDIR) != 0) return false;
  if (::_fseeki64(stream, 0, SEEK_END) != 0) return false;
  const __int64 end = ::_ftelli64(stream);
  if (end < 0 || ::_fseeki64(stream, 0, SEEK_SET) != 0) return false;
  *size = static_cast<std::uint64_t>(end);
  return true;
}

std::FILE* CreateTempFileBeside(const Path& target, const char* mode, Path* tempPath) {
  // Only the start of the target's name, so that a name at the length limit still gets one.
  constexpr std::size_t kNameStart = 64;
  const std::wstring whole = target.filename().native();
  std::size_t kept = std::min(whole.size(), kNameStart);
  // Never half a surrogate pair: a name holding one is refused where names are kept as UTF-8.
  if (kept < whole.size() && IS_LOW_SURROGATE(whole[kept])) --kept;
  const std::wstring start = whole.substr(0, kept);
  const bool binary = std::string_view(mode).find('b') != std::string_view::npos;
  for (int attempt = 0; attempt < 100; ++attempt) {
    wchar_t suffix[32];
    ::swprintf(suffix, 32, L".tmp%010llx", static_cast<unsigned long long>(NextTempNumber()));
    Path candidate = target.parent_path() / (start + suffix);
    const std::lock_guard<std::mutex> lock(tempFilesMutex);
    // Created exclusively: an existing file of that name is never opened. Its deletion is
    // shared, so that the control handler can remove it while it is being written.
    HANDLE handle = ::CreateFileW(candidate.c_str(), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      if (::GetLastError() == ERROR_FILE_EXISTS) continue;
      return nullptr;
    }
    const int fd = ::_open_osfhandle(reinterpret_cast<std::intptr_t>(handle),
                                     _O_WRONLY | (binary ? _O_BINARY : _O_TEXT));
    if (fd < 0) {
      ::CloseHandle(handle);
      ::DeleteFileW(candidate.c_str());
      return nullptr;
    }
    std::FILE* stream = ::_fdopen(fd, mode);
    if (stream == nullptr) {
      ::_close(fd);
      ::DeleteFileW(candidate.c_str());
      return nullptr;
    }
    TempFiles().push_back(candidate.native());
    *tempPath = candidate;
    return stream;
  }
  return nullptr;
}

bool ResolveWriteTarget(const Path& target, Path* file) {
  *file = target;
  HANDLE handle = OpenToExamine(target);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  }
  BY_HANDLE_FILE_INFORMATION information;
  const bool known = ::GetFileInformationByHandle(handle, &information) != 0;
  const std::wstring final = FinalPath(handle);
  ::CloseHandle(handle);
  if (!known) return false;
  // A plain open for writing fails on these: a folder, a read-only file, and (since it asks for
  // normal attributes) a hidden or system file.
  constexpr DWORD kRefused = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY |
                             FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  if ((information.dwFileAttributes & kRefused) != 0) return false;
  // A link, or a folder link on the way, leads elsewhere: the file there is the one replaced, so
  // that the links stay.
  if (!final.empty() && !SameNameIgnoringCase(FullPath(target), final)) *file = Path(final);
  return true;
}

// The temporary file is made in the target's folder and so inherits the folder's security, as a
// new file would; an open that truncates a file keeps its attributes, which the checks in
// ResolveWriteTarget leave plain.
void SetPermissionsFor(std::FILE*, const Path&) {}

bool ReplaceFile(const Path& from, const Path& to) {
  // Fails while another process holds either file open without sharing its deletion: the old
  // file then stays as it was. A virus scanner or an indexer looks at a new file for a moment,
  // so a refusal is tried again for about a second before it counts.
  DWORD wait = 8;
  for (DWORD waited = 0;; waited += wait, wait *= 2) {
    {
      const std::lock_guard<std::mutex> lock(tempFilesMutex);
      if (::MoveFileExW(from.c_str(), to.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0) {
        ForgetTempFile(from.native());
        return true;
      }
    }
    const DWORD error = ::GetLastError();
    const bool held = error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ||
                      error == ERROR_LOCK_VIOLATION;
    if (!held || waited >= 1000) return false;
    ::Sleep(wait);
  }
}

// The move frees the old version itself: nothing is left to wait for.
void WaitForOldVersions() {}

namespace {

// The volume and the file's index on it: together they name one file, whatever path leads there.
bool GetFileIdentity(const Path& path, BY_HANDLE_FILE_INFORMATION* information) {
  HANDLE handle = OpenToExamine(path);
  if (handle == INVALID_HANDLE_VALUE) return false;
  const bool known = ::GetFileInformationByHandle(handle, information) != 0;
  ::CloseHandle(handle);
  return known;
}

}  // namespace

bool IdentifyFile(const Path& path, FileIdentity* identity) {
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileIdentity(path, &information)) return false;
  *identity = {information.dwVolumeSerialNumber,
               std::uint64_t{information.nFileIndexHigh} << 32 | information.nFileIndexLow};
  return true;
}

void RemoveFileQuietly(const Path& path) {
  const std::lock_guard<std::mutex> lock(tempFilesMutex);
  ::DeleteFileW(path.c_str());
  ForgetTempFile(path.native());
}

std::FILE* OpenRegularFile(const Path& path, const char* mode) {
  std::FILE* stream = OpenStream(path, mode);
  if (stream == nullptr) return nullptr;
  // A device (NUL, CON) or a pipe has no size to trust: only a disk file is read.
  const HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream)));
  if (::GetFileType(handle) != FILE_TYPE_DISK) {
    std::fclose(stream);
    return nullptr;
  }
  return stream;
}

Path::string_type ComparableSpelling(const Path& path) {
  std::wstring spelling = FullPath(path);
  return spelling.empty() ? path.native() : spelling;
}

int CompareSpellings(const Path::string_type& a, const Path::string_type& b) {
  // Ordinal and without case by the system's table, as the file system compares names.
  return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) -
         CSTR_EQUAL;
}

bool IsSymbolicLink(const Path& path) {
  // A device or pipe is no link, and is not asked: a pipe's one connection would go to it.
  if (IsSpecialFile(path)) return false;
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// The system names a device (NUL, CON, COM1) or a pipe in its device space ("\\.\NUL"). Asked of
// the name alone: opening a pipe would already connect to it.
bool IsSpecialFile(const Path& target) {
  constexpr std::wstring_view kDevices = L"\\\\.\\";
  const std::wstring full = FullPath(target);
  if (!full.starts_with(kDevices)) return false;
  const std::wstring_view name = std::wstring_view(full).substr(kDevices.size());
  // "\\.\C:\out\msg.bin" is a disk file by another name.
  constexpr std::wstring_view kPipes = L"pipe\\";
  return name.find(L'\\') == std::wstring_view::npos ||
         (name.size() > kPipes.size() &&
          SameNameIgnoringCase(name.substr(0, kPipes.size()), kPipes));
}

std::FILE* OpenSpecialFileForWriting(const Path& target, const char* mode) {
  return OpenStream(target, mode);
}

// A pipe without a reader fails the write here (ERROR_NO_DATA): no signal to hold back.
bool CloseSpecialFile(std::FILE* stream) {
  const bool written = std::ferror(stream) == 0;
  return std::fclose(stream) == 0 && written;
}

// A colon names a stream of a file: "msg_a:b.inc" would make an empty "msg_a" and fail. The
// other characters no file name here may hold fail the open as surely.
bool IsPlainFileName(std::string_view name) {
  constexpr std::string_view kRefused = "/\\:<>\"|?*";
  return std::none_of(name.begin(), name.end(), [&](char c) {
    return static_cast<unsigned char>(c) < 0x20 || kRefused.find(c) != std::string_view::npos;
  });
}

std::size_t FileNameLimit(const Path&) {
  // The file systems Windows writes to hold 255 UTF-16 units a name.
  return 255;
}

void StartWriteBack(std::FILE* stream) {
  // No call here starts the write-back without waiting for it: the flush is all there is to do.
  std::fflush(stream);
}

bool SeekStream(std::FILE* stream, std::uint64_t offset) {
  if (offset > static_cast<std::uint64_t>(INT64_MAX)) return false;
  return ::_fseeki64(stream, static_cast<__int64>(offset), SEEK_SET) == 0;
}

void ReleaseCachedBytes(const Path&, std::uint64_t, std::uint64_t) {
  // The cache manager offers no such hint for a file opened by path; a replaced file's pages go
  // when it is replaced.
}

bool MapIn(void*, std::size_t) {
  // Without a request for it, the pages would have to be touched, which is what filling does.
  return false;
}

void AdviseLargePages(void*, std::size_t) {
  // Large pages need the "lock pages in memory" privilege and memory of their own: not for a
  // build tool's heap.
}

BOOL WINAPI RemoveTempFilesAndEnd(DWORD) {
  // On a thread of its own, while the run's threads go on: the lock, never given back, holds
  // every later change of the files until the process ends. A file still open goes as the end
  // closes it.
  tempFilesMutex.lock();
  for (const std::wstring& path : TempFiles()) ::DeleteFileW(path.c_str());
  // The status of a console program ended by the event, and at once: nothing of the run's may
  // run on.
  ::TerminateProcess(::GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
  return TRUE;
}

// Windows has neither SIGXFSZ nor SIGHUP; Ctrl-C, Ctrl-Break and closing the console reach a
// console program as control events. Ctrl-C ignored from the start stays ignored: the system
// then calls no handler for it.
void InstallSignalHandlers() { ::SetConsoleCtrlHandler(RemoveTempFilesAndEnd, TRUE); }

}  // namespace quillex::platform
