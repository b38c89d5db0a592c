#include "input/file_io.h"

#include <cstdint>
#include <new>

#include "platform/platform.h"

namespace quillex {

bool OpenFile(FileHandle* slot, const platform::Path& path, const char* mode) {
  slot->reset();  // closed before the open, so the same file is never open twice
  slot->reset(platform::OpenStream(path, mode));
  return *slot != nullptr;
}

bool ReadWholeFile(const platform::Path& path, std::string* contents) {
  // Only a regular file has a size to trust: a device or a FIFO would read as an empty table.
  FileHandle file(platform::OpenRegularFile(path, "rb"));
  if (file == nullptr) return false;
  std::uint64_t size = 0;
  if (!platform::GetStreamSize(file.get(), &size)) return false;
  contents->clear();
  if (size > contents->max_size()) return false;
  try {
    platform::AssignLarge(*contents, static_cast<std::size_t>(size));
  } catch (const std::bad_alloc&) {
    return false;  // too large for memory: a read failure like any other
  }
  // Every byte must arrive: a short read would leave zeros that decode as text.
  std::size_t read = std::fread(contents->data(), 1, contents->size(), file.get());
  if (read != contents->size() || std::ferror(file.get()) != 0) return false;
  // And no more than the size said: a /proc file says 0, a growing file says too little; either
  // would be cut short without a word.
  return std::fgetc(file.get()) == EOF && std::ferror(file.get()) == 0;
}

bool ReadTextFile(const platform::Path& path, std::string* contents) {
  // A device would be read forever (/dev/zero fills memory) and a FIFO could hold the open. Read
  // as bytes: Windows text mode would end the file at a Ctrl-Z byte, dropping the rest unseen.
  FileHandle file(platform::OpenRegularFile(path, "rb"));
  if (file == nullptr) return false;
  contents->clear();
  char block[64 * 1024];
  std::size_t read;
  while ((read = std::fread(block, 1, sizeof block, file.get())) > 0) contents->append(block, read);
  if (std::ferror(file.get()) != 0) return false;
  platform::TranslateTextLineEnds(contents);
  return true;
}

}  // namespace quillex
