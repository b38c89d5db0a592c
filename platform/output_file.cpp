#include "platform/output_file.h"

namespace quillex {

OutputFile::~OutputFile() { Discard(); }

bool OutputFile::Open(const platform::Path& path, const char* mode) {
  Discard();
  target = path;
  // Through a symbolic link, the file it points to is replaced and the link kept, as a plain
  // open would write through it; a file a plain open may not write is refused likewise.
  if (!platform::ResolveWriteTarget(path, &file)) return false;
  stream = platform::CreateTempFileBeside(file, mode, &temp);
  return stream != nullptr;
}

void OutputFile::Write(std::string_view bytes) {
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), stream);
}

CommitResult OutputFile::Commit() {
  if (stream == nullptr) return CommitResult::NotReplaced;
  platform::SetPermissionsFor(stream, file);
  bool written = std::fflush(stream) == 0 && std::ferror(stream) == 0;
  written = std::fclose(stream) == 0 && written;
  stream = nullptr;
  CommitResult result = CommitResult::WriteFailed;
  if (written) {
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

void OutputFile::Discard() {
  if (stream != nullptr) {
    std::fclose(stream);
    stream = nullptr;
  }
  if (!temp.empty()) {
    platform::RemoveFileQuietly(temp);
    temp.clear();
  }
}

}  // namespace quillex
