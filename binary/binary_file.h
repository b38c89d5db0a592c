// The binary message table file: header, language and identifier hashes, offset table and message
// pool, laid out byte for byte as docs/binary_format.md describes.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "binary/message_pool.h"
#include "input/message_table.h"
#include "platform/platform.h"

namespace quillex {

/// What goes into the file. Views only: the data must outlive the image.
struct BinaryImage {
  std::uint32_t seed = 0;
  std::span<const LanguageEntry> languages;
  std::span<const MessageIdEntry> messageIds;
  std::span<const std::uint32_t> offsetPool;  // messageIds.size() * languages.size() entries
  const MessagePool* messagePool = nullptr;
};

/// Every field of the file in buffers of their exact size, around the offset table and the pool:
/// `head` holds the fields up to the offset table's size, `middle` the pool size, `tail` the end
/// marker. The file is `head`, the offset table, `middle`, the pool bytes, then `tail`; the table
/// and the pool are written from the image (never copied: they are most of the file).
struct BinaryFileFields {
  std::vector<std::uint8_t> head;
  std::vector<std::uint8_t> middle;
  std::vector<std::uint8_t> tail;
};

/// Lays out the fields. REQUIRES: every count and size fits 32 bits (BuildOffsetPool checked
/// them). When a field does not fit the rest of its buffer (a fault of the layout code, or a size
/// beyond memory) prints "Output buffer overflow detected." and returns false.
[[nodiscard]] bool LayOutBinaryFile(const BinaryImage& image, BinaryFileFields* fields);

/// Lays out the file and writes it to `path` through OutputFile. False after the layout's
/// error, after "Failed to write file: {}" for a failed write, or silently when the file cannot
/// be created; the caller prints "Failed to output binary file: {}".
[[nodiscard]] bool WriteBinaryFile(const platform::Path& path, const BinaryImage& image);

}  // namespace quillex
