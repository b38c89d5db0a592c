#include "platform/output_file.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

namespace quillex {

bool keepUnchangedOutputs = false;

namespace {

// True when `a` and `b` are regular files with the same bytes. Anything else (a missing file, a
// FIFO or device, which must not be read here, an unreadable file) counts as different.
bool SameContents(const platform::Path& a, const platform::Path& b) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(a, error) || !std::filesystem::is_regular_file(b, error)) {
    return false;
  }
  const std::uintmax_t size = std::filesystem::file_size(a, error);
  if (error || std::filesystem::file_size(b, error) != size || error) return false;
  std::FILE* first = platform::OpenStream(a, "rb");
  std::FILE* second = platform::OpenStream(b, "rb");
  bool same = first != nullptr && second != nullptr;
  std::vector<char> bufferA(1 << 16), bufferB(1 << 16);
  while (same) {
    const std::size_t readA = std::fread(bufferA.data(), 1, bufferA.size(), first);
    const std::size_t readB = std::fread(bufferB.data(), 1, bufferB.size(), second);
    same = readA == readB && std::memcmp(bufferA.data(), bufferB.data(), readA) == 0;
    if (readA < bufferA.size()) {
      // Both ended together, and without a read error.
      same = same && std::ferror(first) == 0 && std::ferror(second) == 0;
      break;
    }
  }
  if (first != nullptr) std::fclose(first);
  if (second != nullptr) std::fclose(second);
  return same;
}

}  // namespace

OutputFile::~OutputFile() { Discard(); }

bool OutputFile::Open(const platform::Path& path, const char* mode) {
  Discard();
  target = path;
  replacing = false;
  releasing = false;
  unsent = 0;
  sent = 0;
  released = 0;
  misplaced = false;
  // A FIFO or a device is written in place, as a plain open would: replacing it with a regular
  // file would take it away from whoever reads it (or, as root, from the whole system).
  if (platform::IsSpecialFile(path)) {
    file = path;
    stream = platform::OpenSpecialFileForWriting(path, mode);
    return stream != nullptr;
  }
  // Through a symbolic link, the file it points to is replaced and the link kept, as a plain
  // open would write through it; a file a plain open may not write is refused likewise.
  if (!platform::ResolveWriteTarget(path, &file)) return false;
  std::error_code error;
  replacing = std::filesystem::is_regular_file(file, error);
  // Unless it is compared with the new bytes at the end, nothing reads the replaced file again.
  releasing = replacing && !keepUnchangedOutputs;
  stream = platform::CreateTempFileBeside(file, mode, &temp);
  return stream != nullptr;
}

void OutputFile::Write(std::string_view bytes) {
  // Handed over in pieces of 256 KB at most. One call with a whole block (8 MB and more) has the
  // kernel back the file's cache with large folios, which on the build machine are costly to
  // set up: runs on a 1 GB catalog took 13 s in the default mode and 27 s with -s so, against
  // 9.5 s and 11 to 16 s with pieces.
  constexpr std::size_t kPiece = std::size_t{256} << 10;
  constexpr std::uint64_t kWriteBackStep = std::uint64_t{4} << 20;
  while (!bytes.empty()) {
    const std::size_t size = std::min(bytes.size(), kPiece);
    // The replaced file's cached pages are let go just ahead of the bytes that replace them, so
    // that the system reuses their memory rather than finding more; both files would otherwise
    // be held until the rename. On the build machine, a virtual one whose fresh memory is dear,
    // replacing a cached 2.3 GB file took 6 to 7 s so and 2 s with them let go.
    if (releasing && sent + size > released) {
      platform::ReleaseCachedBytes(file, released, kWriteBackStep);
      released += kWriteBackStep;
    }
    sent += size;
    std::fwrite(bytes.data(), 1, size, stream);
    bytes.remove_prefix(size);
    // A file system may write the new file's data to disk before it replaces another (ext4 and
    // btrfs do, so that a crash cannot leave an empty file), and the rename then waits for that
    // to start: 10 ms per 15 MB file here, most of a rebuild's extra time. Asked for as the
    // bytes come, it overlaps with making the rest.
    unsent += size;
    if (unsent >= kWriteBackStep) StartWriteBack();
  }
}

void OutputFile::StartWriteBack() {
  if (stream != nullptr && replacing) {
    platform::StartWriteBack(stream);
    unsent = 0;
  }
}

void OutputFile::Place(std::uint64_t offset, std::string_view bytes) {
  if (!platform::SeekStream(stream, offset)) {
    misplaced = true;
    return;
  }
  Write(bytes);
}

CommitResult OutputFile::Commit() {
  if (stream == nullptr) return CommitResult::NotReplaced;
  const bool inPlace = temp.empty();
  if (!inPlace) platform::SetPermissionsFor(stream, file);
  bool written = std::fflush(stream) == 0 && std::ferror(stream) == 0 && !misplaced;
  written = CloseStream() && written;
  if (inPlace) return written ? CommitResult::Committed : CommitResult::WriteFailed;
  CommitResult result = CommitResult::WriteFailed;
  if (written) {
    if (keepUnchangedOutputs && SameContents(temp, file)) {
      platform::RemoveFileQuietly(temp);
      temp.clear();
      return CommitResult::Committed;
    }
    if (platform::ReplaceFile(temp, file)) {
      temp.clear();
      return CommitResult::Committed;
    }
    result = CommitResult::NotReplaced;
  }
  platform::RemoveFileQuietly(temp);
  temp.clear();
  return result;
}

bool OutputFile::CloseStream() {
  // A file written in place is closed the way it was opened.
  const bool closed = temp.empty() ? platform::CloseSpecialFile(stream) : std::fclose(stream) == 0;
  stream = nullptr;
  return closed;
}

void OutputFile::Discard() {
  if (stream != nullptr) CloseStream();
  if (!temp.empty()) {
    platform::RemoveFileQuietly(temp);
    temp.clear();
  }
}

platform::Path::string_type WritePlaces::Of(const platform::Path& path) {
  // A ".." after a link leaves the link's target, so only the file system tells which folder a
  // path names: folder by folder from the root, each that exists made canonical.
  const auto resolved = [](const platform::Path& folder) {
    std::error_code error;
    const platform::Path absolute = std::filesystem::absolute(folder, error);
    if (error) return folder.native();
    platform::Path file = absolute.root_path();
    for (const platform::Path& part : absolute.relative_path()) {
      if (part.empty() || part == ".") continue;
      if (part == "..") {
        file = file.parent_path();
        continue;
      }
      file /= part;
      if (std::filesystem::exists(file, error)) {
        platform::Path real = std::filesystem::canonical(file, error);
        if (!error) file = std::move(real);
      }
    }
    return file.native();
  };
  platform::Path target = path;
  if (platform::IsSymbolicLink(path)) {
    (void)platform::ResolveWriteTarget(path, &target);  // a refusal is the writer's to report
  }
  const platform::Path parent = target.parent_path();
  auto [folder, added] = folders_.try_emplace(parent.native());
  if (added) folder->second = resolved(parent.empty() ? platform::Path(".") : parent);
  platform::Path::string_type place = folder->second;
  place += platform::Path::preferred_separator;
  place += target.filename().native();
  return platform::ComparableSpelling(place);
}

}  // namespace quillex
