// Opening and reading files by platform path.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "platform/platform.h"

namespace quillex {

struct FileCloser {
  void operator()(std::FILE* stream) const { std::fclose(stream); }
};
/// An open stream that closes when it goes out of scope.
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

/// The one way the tool opens a file for reading ("rb", "r"). Closes what `slot` held first.
/// Returns true when `slot` holds an open stream afterwards; prints nothing.
[[nodiscard]] bool OpenFile(FileHandle* slot, const platform::Path& path, const char* mode);

/// Reads the whole file ("rb") into `contents` in one block, replacing what it held. False when
/// the file is not a regular file (a directory, a FIFO, a device: a FIFO is not waited for) or
/// cannot be opened or sized, the buffer cannot be allocated, or the bytes read are fewer or more
/// than the size said (a /proc file, a file growing meanwhile); `contents` is then unspecified.
/// Prints nothing.
[[nodiscard]] bool ReadWholeFile(const platform::Path& path, std::string* contents);

/// Reads the whole file as text into `contents`, replacing what it held: line ends translated as
/// text mode does where the platform does (Windows), every byte kept, Ctrl-Z (0x1A) included. False
/// when the file is not a regular file (a directory, a FIFO, a device: a FIFO is not waited for),
/// cannot be opened or a read fails; `contents` is then unspecified. Prints nothing.
[[nodiscard]] bool ReadTextFile(const platform::Path& path, std::string* contents);

}  // namespace quillex
