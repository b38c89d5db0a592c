// The one way the tool writes a file: completely or not at all. The bytes go to a temporary file
// beside the target, which replaces the target only once everything was written and closed, so
// a full disk never leaves a truncated file behind a reported success.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <string_view>

#include "platform/platform.h"

namespace quillex {

/// --keep-unchanged: when set, Commit() leaves a target that already holds exactly the new bytes
/// untouched (same inode, same modification time), so that build tools that compare time stamps
/// see no change. Set once by the entry point before the first file is written.
extern bool keepUnchangedOutputs;

/// What became of a file at Commit(). Fixed order of checks: a write failure wins over the rest.
enum class CommitResult {
  Committed,    // the target now holds exactly the bytes written
  WriteFailed,  // a write, flush or close failed (a full disk, a file-size limit)
  NotReplaced,  // written, but the target could not be replaced: counts as a failed open
};

class OutputFile {
 public:
  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  /// Abandons an uncommitted file: the temporary file is removed, the target left as it was.
  ~OutputFile();

  /// Starts writing `target` with mode "w" (text) or "wb" (binary). False when the temporary
  /// file cannot be created or `target` exists but may not be written; prints nothing (the
  /// caller prints its step's message). A symbolic link at `target` is followed: the file it
  /// points to is replaced, the link stays. A target that exists and is not a regular file (a
  /// FIFO, a device) is written in place instead, never replaced; a FIFO without a reader fails
  /// to open.
  [[nodiscard]] bool Open(const platform::Path& target, const char* mode);

  /// The stream to write to. REQUIRES: Open() succeeded and Commit() was not called.
  std::FILE* Stream() const { return stream; }

  /// Appends `bytes`; errors stay on the stream until Commit().
  /// REQUIRES: Open() succeeded and Commit() was not called.
  void Write(std::string_view bytes);

  /// True when Place() may be used: the bytes go to a file of the tool's own, not to a FIFO or a
  /// device written in place. REQUIRES: Open() succeeded.
  bool CanPlace() const { return !temp.empty(); }

  /// Writes `bytes` at `offset` from the file's start, as Write() does at the end; the next
  /// Write() continues after them. Bytes between the end and `offset` read as zeros until
  /// written. A failure to get there stays on the stream until Commit(), as a write error does.
  /// REQUIRES: CanPlace().
  void Place(std::uint64_t offset, std::string_view bytes);

  /// Hands the bytes written so far on, to be written to disk from now: a file system may write
  /// a new file's data before it replaces another, and Commit() then waits for that to start.
  /// For files made side by side and committed one after another: each starts its own.
  void StartWriteBack();

  /// The target as given to Open(), for messages.
  const platform::Path& Target() const { return target; }

  /// Finishes the file and moves it over the target, with the permissions a plain open would
  /// leave (those of the file it replaces, else those of a new file). Prints nothing. Unless the
  /// result is Committed, the temporary file is removed and the target left as it was. Under
  /// keepUnchangedOutputs a regular file that already holds the same bytes is kept instead (the
  /// result is still Committed). A file written in place is only flushed and closed.
  [[nodiscard]] CommitResult Commit();

  /// Abandons the file now (see the destructor).
  void Discard();

 private:
  // Closes `stream` and forgets it; false when its bytes could not all be written.
  bool CloseStream();

  std::FILE* stream = nullptr;
  platform::Path target;       // as given, for messages
  platform::Path file;         // what is replaced: the target with links followed
  platform::Path temp;         // empty when writing in place
  bool replacing = false;      // a regular file is at `file` already
  bool releasing = false;      // its cached bytes are let go as the new ones come
  std::uint64_t unsent = 0;    // bytes written since the system was last asked to write them back
  std::uint64_t sent = 0;      // bytes written in all
  std::uint64_t released = 0;  // the replaced file's bytes before this were let go
  bool misplaced = false;      // a Place() could not get to its offset
};

/// Where writes to paths land, as spellings that compare equal for one place: through a symbolic
/// link at the name to its target, made yet or not, and in the folder the path leads to, however
/// it is spelt ("gen.h", "./gen.h", "/abs/gen.h", through a link to its folder). A folder not
/// made yet (a build makes it before the run) is taken as a plain folder, and a link met after a
/// ".." out of it is still followed. The file system is asked once per folder (a catalog of many
/// languages writes thousands of files into one), and per file for a link.
class WritePlaces {
 public:
  /// Ordered as the system tells names apart (platform::CompareSpellings).
  platform::Path::string_type Of(const platform::Path& path);

 private:
  std::map<platform::Path::string_type, platform::Path::string_type> folders_;
};

}  // namespace quillex
