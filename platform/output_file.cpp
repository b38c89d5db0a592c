#include "platform/output_file.h"

namespace quillex {

OutputFile::~OutputFile() { Discard(); }

bool OutputFile::Open(const platform::Path& target, const char* mode) {
  Discard();
  target_ = target;
  // Through a symbolic link, the file it points to is replaced and the link kept, as a plain
  // open would write through it; a file a plain open may not write is refused likewise.
  if (!platform::ResolveWriteTarget(target, &file_)) return false;
  stream_ = platform::CreateTempFileBeside(file_, mode, &temp_);
  return stream_ != nullptr;
}

void OutputFile::Write(std::string_view bytes) {
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), stream_);
}

CommitResult OutputFile::Commit() {
  if (stream_ == nullptr) return CommitResult::NotReplaced;
  platform::SetPermissionsFor(stream_, file_);
  bool written = std::fflush(stream_) == 0 && std::ferror(stream_) == 0;
  written = std::fclose(stream_) == 0 && written;
  stream_ = nullptr;
  CommitResult result = CommitResult::WriteFailed;
  if (written) {
    if (platform::ReplaceFile(temp_, file_)) {
      temp_.clear();
      return CommitResult::Committed;
    }
    result = CommitResult::NotReplaced;
  }
  platform::RemoveFileQuietly(temp_);
  temp_.clear();
  return result;
}

void OutputFile::Discard() {
  if (stream_ != nullptr) {
    std::fclose(stream_);
    stream_ = nullptr;
  }
  if (!temp_.empty()) {
    platform::RemoveFileQuietly(temp_);
    temp_.clear();
  }
}

}  // namespace quillex
