// The one boundary between the tool and the operating system. Every OS call the tool makes sits
// behind these functions; platform_posix.cpp and platform_windows.cpp implement them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

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

/// Turns a narrow command-line argument into a path (POSIX: the bytes as given; Windows: decoded
/// as UTF-8 under a UTF-8 runtime locale, else in the ANSI code page, or the OEM one when the
/// file functions use it).
Path PathFromNarrow(std::string_view text);

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

/// Finds the size of the file open as `stream` by seeking to its end, as a 64-bit count even
/// where `long` is 32 bits, and seeks back to the start. False when the stream cannot seek (a
/// pipe) or belongs to a directory; prints nothing.
[[nodiscard]] bool GetStreamSize(std::FILE* stream, std::uint64_t* size);

/// Creates a new, empty temporary file in the directory of `target` and opens it for writing
/// (text or binary as `mode` says). On success stores its name in `tempPath`. Returns nullptr
/// when no such file can be created; prints nothing.
std::FILE* CreateTempFileBeside(const Path& target, const char* mode, Path* tempPath);

/// Where a plain open of `target` for writing would write: `target` with symbolic links followed
/// (stored in `file`), so that replacing it keeps the links. False when that file exists but may
/// not be written (a plain open would fail); prints nothing.
bool ResolveWriteTarget(const Path& target, Path* file);

/// Gives the finished temporary file the permissions a plain open of `file` would leave: those
/// of `file` when it exists (an open keeps them, and its owner and group as far as the user may
/// set them), else those of a new file.
/// REQUIRES: `stream` came from CreateTempFileBeside and is still open.
void SetPermissionsFor(std::FILE* stream, const Path& file);

/// Moves `from` over `to` in one step, replacing an existing file. False on failure.
bool ReplaceFile(const Path& from, const Path& to);

/// True when `path` exists and is the same file as `other`: same device and file identity, so two
/// paths, symbolic links or hard links to one file count as one. False when either is missing or
/// cannot be examined (the write that follows then reports the problem).
bool IsSameFile(const Path& path, const Path& other);

/// Removes a file, ignoring every error.
void RemoveFileQuietly(const Path& path);

}  // namespace quillex::platform
