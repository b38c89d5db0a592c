// The one boundary between the tool and the operating system. Every OS call the tool makes sits
// behind these functions; platform_posix.cpp and platform_windows.cpp implement them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace quillex::platform {

using Path = std::filesystem::path;

/// True when the user's interface language is Japanese. POSIX: the first non-empty of LC_ALL,
/// LC_MESSAGES, LANG, cut before the first '_', '.' or '@', equals "ja". Windows: the primary
/// language of GetUserDefaultLangID is Japanese (0x11).
bool IsUserLanguageJapanese();

/// The process's multibyte code page: 65001 (UTF-8), 932 (Shift_JIS) or 0 (anything else).
/// POSIX: the codeset of the first non-empty of LC_ALL, LC_CTYPE, LANG. Windows: the runtime's
/// _getmbcp.
int GetMultibyteCodePage();

/// Turns narrow text (a replace file's OUTPUT_NAME) into a path (POSIX: the bytes as given;
/// Windows: decoded as UTF-8 under a UTF-8 runtime locale, else in the ANSI code page, or the OEM
/// one when the file functions use it).
Path PathFromNarrow(std::string_view text);

/// Opens the null device on each standard stream the process was started without (`prog >&-`),
/// before anything else is opened: a file opened later would take the stream's number, and
/// console lines would be written into an output. Windows' runtime keeps those numbers itself.
void KeepStandardStreamsOpen();

/// True when KeepStandardStreamsOpen found standard output closed: what is written there is lost
/// without an error (the one output that is the product, a listing, must fail then).
bool StandardOutputWasClosed();

/// The command line, the program's name first, as the tool reads it. POSIX: `argv` as given.
/// Windows: the wide command line in UTF-8, like all text inside the tool. The narrow `argv`
/// holds it in the ANSI code page, where a character the page lacks becomes a look-alike ("ā"
/// "a", "／" "/"): another input file, or a path out of the output folder.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

/// Turns an argument from CommandLineArguments into a path (POSIX: the bytes as given; Windows:
/// decoded as UTF-8).
Path PathFromArgument(std::string_view argument);

/// The path as UTF-8 bytes, for console messages.
std::string PathToUtf8(const Path& path);

/// `directory` joined with `name`: one separator between them unless the directory already ends
/// in one; an absolute `name` replaces the directory.
Path JoinPath(const Path& directory, const Path& name);

/// `base` with `suffix` appended to its last component as plain text ("msg" + ".bin").
Path AppendToPath(const Path& base, std::string_view suffix);

/// Opens a stream like fopen. `mode` is "rb", "r", "wb" or "w"; text modes translate line ends
/// where the platform does (Windows). Returns nullptr on failure; prints nothing.
std::FILE* OpenStream(const Path& path, const char* mode);

/// Turns the bytes of a file into what reading it in text mode gives (Windows: CR LF becomes LF;
/// POSIX: nothing changes), without text mode's end of file at a Ctrl-Z (0x1A) on Windows, which
/// would drop the rest of the file without a word.
void TranslateTextLineEnds(std::string* bytes);

/// Opens `path` for reading ("rb" or "r") only when it is a regular file, following links: a FIFO
/// is opened without waiting for a writer and refused, like a device, a directory or a missing
/// file. Returns nullptr then; prints nothing.
std::FILE* OpenRegularFile(const Path& path, const char* mode);

/// Finds the size of the file open as `stream` by seeking to its end, as a 64-bit count even
/// where `long` is 32 bits, and seeks back to the start. False when the stream cannot seek (a
/// pipe) or belongs to a directory; prints nothing.
[[nodiscard]] bool GetStreamSize(std::FILE* stream, std::uint64_t* size);

/// Creates a new, empty temporary file in the directory of `target` and opens it for writing
/// (text or binary as `mode` says). On success stores its name in `tempPath` and registers it for
/// removal should the process be ended by a signal (see InstallSignalHandlers) until ReplaceFile
/// or RemoveFileQuietly is called on it. Returns nullptr when no such file can be created; prints
/// nothing. May be called from several threads at once, as may ReplaceFile and RemoveFileQuietly.
std::FILE* CreateTempFileBeside(const Path& target, const char* mode, Path* tempPath);

/// Where a plain open of `target` for writing would write: `target` with symbolic links followed
/// (stored in `file`), so that replacing it keeps the links. False when that file exists but may
/// not be written (a plain open would fail); prints nothing.
bool ResolveWriteTarget(const Path& target, Path* file);

/// `path` in the form in which the system tells file names apart: on Windows the full path,
/// without the trailing dots and blanks that name no other file; elsewhere `path`.
Path::string_type ComparableSpelling(const Path& path);

/// Orders two ComparableSpelling results as the system tells them apart: on Windows ignoring case
/// by the system's own table; elsewhere byte by byte. Less than, equal to or greater than 0.
int CompareSpellings(const Path::string_type& a, const Path::string_type& b);

/// CompareSpellings as an ordering, for sets and maps keyed by spelling.
struct SpellingOrder {
  bool operator()(const Path::string_type& a, const Path::string_type& b) const {
    return CompareSpellings(a, b) < 0;
  }
};

/// True when `path` is a symbolic link (or, on Windows, another reparse point), whether or not
/// what it leads to exists.
bool IsSymbolicLink(const Path& path);

/// True when `target` exists (links followed) and is not a regular file: a FIFO, a device, a
/// directory. Such a file is written in place, never replaced by a file of the tool's own.
bool IsSpecialFile(const Path& target);

/// Opens an existing special file for writing in place as a plain open would, but without waiting
/// for a FIFO to get a reader: a FIFO nobody reads fails to open. The stream blocks as usual
/// afterwards. Returns nullptr on failure; prints nothing. Until CloseSpecialFile, a write to a
/// pipe whose reader has gone fails, as a full disk's does, rather than ending the process.
std::FILE* OpenSpecialFileForWriting(const Path& target, const char* mode);

/// Closes a stream from OpenSpecialFileForWriting; false when any of its bytes could not be
/// written.
bool CloseSpecialFile(std::FILE* stream);

/// Gives the finished temporary file the permissions a plain open of `file` would leave: those
/// of `file` when it exists (an open keeps them, and its owner and group as far as the user may
/// set them), else those of a new file.
/// REQUIRES: `stream` came from CreateTempFileBeside and is still open.
void SetPermissionsFor(std::FILE* stream, const Path& file);

/// Asks the system to start writing what `stream` holds so far to its disk, without waiting for
/// it: only a hint, and nothing where unsupported. Flushes the stream's buffer first.
void StartWriteBack(std::FILE* stream);

/// Moves the position of `stream`, a regular file's, to `offset` bytes from its start (past the
/// end leaves a gap that reads as zeros until written), flushing its buffer first. False on
/// failure.
bool SeekStream(std::FILE* stream, std::uint64_t offset);

/// Tells the system that the bytes [`offset`, `offset` + `length`) of the regular file `file`
/// will not be read again (it is being replaced), so that the memory caching them can go to
/// what is written next. Only a hint: no byte changes, pages in use elsewhere stay, and nothing
/// happens where unsupported or when `file` cannot be opened.
void ReleaseCachedBytes(const Path& file, std::uint64_t offset, std::uint64_t length);

/// Moves `from` over `to` in one step, replacing an existing file, and drops `from` from the
/// temporary files to remove on a signal. False on failure. The old version of a large `to` may
/// be freed on a thread of its own after the move, under a temporary name beside it meanwhile:
/// see WaitForOldVersions.
bool ReplaceFile(const Path& from, const Path& to);

/// Returns once every old version ReplaceFile is freeing is gone. The process also waits for
/// them as it exits.
void WaitForOldVersions();

/// What tells a file from every other whatever path leads to it (POSIX: device and inode;
/// Windows: volume and file index), for sets of files compared many times.
struct FileIdentity {
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
  auto operator<=>(const FileIdentity&) const = default;
};

/// The identity of the file `path` leads to; false when it is missing or cannot be examined.
bool IdentifyFile(const Path& path, FileIdentity* identity);

/// True when `path` exists and is the same file as `other`: same device and file identity, so two
/// paths, symbolic links or hard links to one file count as one. False when either is missing or
/// cannot be examined (the write that follows then reports the problem).
inline bool IsSameFile(const Path& path, const Path& other) {
  FileIdentity a;
  FileIdentity b;
  return IdentifyFile(path, &a) && IdentifyFile(other, &b) && a == b;
}

/// Removes a file, ignoring every error, and drops it from the temporary files to remove on a
/// signal.
void RemoveFileQuietly(const Path& path);

/// True when `name` can only name a file within the folder it is joined to: it holds no path
/// separator ("/", and also "\" and the stream separator ":" on Windows), nor, on Windows, a
/// character no file name there may hold (`<>"|?*`, control characters). Text from the input that
/// becomes part of a file name must pass this test, or a cell could write outside the output
/// folder.
bool IsPlainFileName(std::string_view name);

/// The longest file name `folder` may hold, in the units of Path::native(): the folder's own limit
/// where it exists and tells one (POSIX, in bytes), else 255 (on Windows, UTF-16 units).
std::size_t FileNameLimit(const Path& folder);

/// True when the last component of `path` is within FileNameLimit of its folder.
inline bool FileNameFits(const Path& path) {
  return path.filename().native().size() <= FileNameLimit(path.parent_path());
}

/// The size of a large page, as most systems that offer them on request have it.
inline constexpr std::size_t kLargePageBytes = std::size_t{2} << 20;

/// The smallest buffer that operator new puts on large pages of its own (below). Where a page
/// fault is dear, one large page's costs less than the 128 small pages' of a quarter of it, and
/// a buffer this size or larger wastes at most three times its size.
inline constexpr std::size_t kLargePageBufferBytes = kLargePageBytes / 4;

/// Whether this build's operator new gives every buffer of kLargePageBufferBytes or more memory
/// that starts on a large page's bound and is advised for large pages (AdviseLargePages), whatever
/// container asks: POSIX builds, except under a sanitizer, whose own operator new tracks every
/// allocation.
#if defined(_WIN32) || defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define QUILLEX_LARGE_BUFFERS_ON_LARGE_PAGES 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || \
    __has_feature(memory_sanitizer)
#define QUILLEX_LARGE_BUFFERS_ON_LARGE_PAGES 0
#endif
#endif
#ifndef QUILLEX_LARGE_BUFFERS_ON_LARGE_PAGES
#define QUILLEX_LARGE_BUFFERS_ON_LARGE_PAGES 1
#endif

/// Asks that `bytes` of memory at `data`, a large buffer not yet filled, be backed by large pages
/// where the system offers them on request: a table of hundreds of megabytes then takes a few
/// hundred page faults instead of a fault per 4 KB, and reads at random over it miss the address
/// cache far less. Only a hint: does nothing for small buffers, or where unsupported (Windows
/// grants large pages only to privileged accounts). Where free memory is fragmented the system
/// may first compact it, or fall back to small pages.
void AdviseLargePages(void* data, std::size_t bytes);

/// Asks the system to give the `bytes` of memory at `data` (whole pages, of a buffer about to be
/// written) their pages now, as writing them would. False where it cannot be asked, or declined.
bool MapIn(void* data, std::size_t bytes);

/// Gives the memory of `bytes` at `data`, a large buffer about to be filled in full, its pages now,
/// on several threads (MapIn), where the system can be asked to: the first touch of each page is
/// the system's work of finding and zeroing it, which otherwise falls page by page on the one
/// thread that fills the buffer, and on a virtual machine costs more than the filling. Only a
/// hint: does nothing for buffers of a few megabytes, or where unsupported.
void MapInLarge(void* data, std::size_t bytes);

/// Makes room for `count` elements in `container` (a vector or string about to be filled) and
/// advises large pages for it.
template <class Container>
void ReserveLarge(Container& container, std::size_t count) {
  container.reserve(count);
  AdviseLargePages(container.data(), container.capacity() * sizeof(*container.data()));
}

/// Replaces what `container` held with `count` zero (value-initialized) elements, in memory
/// advised for large pages (ReserveLarge) and mapped in on several threads (MapInLarge).
template <class Container>
void AssignLarge(Container& container, std::size_t count) {
  container.clear();
  ReserveLarge(container, count);
  MapInLarge(container.data(), count * sizeof(*container.data()));
  container.resize(count);
}

/// Sets the process up for the whole run. Call once at start-up:
/// - a file-size limit makes writes fail (a write error the tool reports) instead of killing the
///   process (SIGXFSZ is ignored);
/// - a signal from outside that would end the process (an interrupt, termination, hang-up, quit,
///   broken pipe, alarm, user signal or CPU-time limit), unless ignored or handled when the
///   process started, first removes the temporary files in flight (on every thread), then ends
///   the process with that signal as before. A broken pipe while an output is written in place
///   fails that write instead (see OpenSpecialFileForWriting). On Windows the same holds for
///   Ctrl-C, Ctrl-Break and closing the console (RemoveTempFilesAndEnd).
void InstallSignalHandlers();

#ifdef _WIN32
/// The console control handler that InstallSignalHandlers sets (a Windows HandlerRoutine):
/// removes the temporary files in flight and ends the process with the status of a console
/// program ended by Ctrl-C. Never returns.
int __stdcall RemoveTempFilesAndEnd(unsigned long event);

/// Splits a wide command line as the system does, into UTF-8 arguments (CommandLineArguments).
std::vector<std::string> ArgumentsFromCommandLine(const wchar_t* commandLine);
#endif

}  // namespace quillex::platform
