#include "input/output_file.h"

#include "app/catalog.h"

namespace quillex {

OutputFile::~OutputFile() { Discard(); }

bool OutputFile::Open(const platform::Path& target, const char* mode) {
  Discard();
  target_ = target;
  stream_ = platform::CreateTempFileBeside(target, mode, &temp_);
  return stream_ != nullptr;
}

bool OutputFile::Commit() {
  if (stream_ == nullptr) return false;
  platform::SetDefaultPermissions(stream_);
  bool written = std::fflush(stream_) == 0 && std::ferror(stream_) == 0;
  written = std::fclose(stream_) == 0 && written;
  stream_ = nullptr;
  if (!written) {
    PrintError(Msg::FailedToWriteFile, {FormatArg::OfString(platform::PathToUtf8(target_))});
  } else if (platform::ReplaceFile(temp_, target_)) {
    temp_.clear();
    return true;
  }
  platform::RemoveFileQuietly(temp_);
  temp_.clear();
  return false;
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
