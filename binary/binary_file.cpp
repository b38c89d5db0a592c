#include "binary/binary_file.h"

#include <bit>
#include <cstdio>
#include <limits>
#include <string_view>

#include "binary/binary_format.h"
#include "console/catalog.h"
#include "input/hash.h"
#include "platform/output_file.h"

namespace quillex {
namespace {

constexpr std::size_t kEndMarkerSize = 4;

std::string_view AsBytes(const std::vector<std::uint8_t>& bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// Writes the fields into a fixed buffer. A field that does not fit the rest is skipped and marks
// the buffer as overflowed, so a wrong size can never write past the end.
class FieldWriter {
 public:
  explicit FieldWriter(std::vector<std::uint8_t>* out) : buffer(*out) {}

  void Put32(std::uint64_t value) {
    if (!Fits(4)) return;
    for (int shift = 0; shift < 32; shift += 8) {
      buffer[position++] = static_cast<std::uint8_t>(value >> shift);
    }
  }

  bool Overflowed() const { return overflowed; }

 private:
  bool Fits(std::size_t size) {
    if (size > buffer.size() - position) overflowed = true;
    return !overflowed;
  }

  std::vector<std::uint8_t>& buffer;
  std::size_t position = 0;
  bool overflowed = false;
};

constexpr std::size_t kPoolSizeSize = 4;

// 28 + 4 * (L + N): the fields before the offset table, or false when it does not fit a size_t.
bool HeadSize(const BinaryImage& image, std::size_t* size) {
  constexpr std::size_t kMax = std::numeric_limits<std::size_t>::max();
  constexpr std::size_t kFixed = binary_format::kFixedFieldsSize - kEndMarkerSize - kPoolSizeSize;
  std::size_t words = image.languages.size();
  if (image.messageIds.size() > kMax - words) return false;
  words += image.messageIds.size();
  if (words > (kMax - kFixed) / 4) return false;
  *size = kFixed + 4 * words;
  return true;
}

// Writes the offset table in little-endian order: as it lies in memory on a little-endian
// machine, through a small buffer elsewhere.
void WriteOffsets(OutputFile& file, std::span<const std::uint32_t> offsets) {
  if constexpr (std::endian::native == std::endian::little) {
    file.Write({reinterpret_cast<const char*>(offsets.data()), offsets.size() * 4});
  } else {
    char buffer[4096];
    std::size_t used = 0;
    for (std::uint32_t offset : offsets) {
      for (int shift = 0; shift < 32; shift += 8) {
        buffer[used++] = static_cast<char>(offset >> shift);
      }
      if (used == sizeof buffer) {
        file.Write({buffer, used});
        used = 0;
      }
    }
    file.Write({buffer, used});
  }
}

}  // namespace

bool LayOutBinaryFile(const BinaryImage& image, BinaryFileFields* fields) {
  std::size_t headSize = 0;
  fields->head.clear();
  if (HeadSize(image, &headSize)) fields->head.resize(headSize);
  fields->middle.assign(kPoolSizeSize, 0);
  fields->tail.assign(kEndMarkerSize, 0);

  FieldWriter head(&fields->head);
  head.Put32(image.seed);
  head.Put32(HashString(binary_format::kStartMarkerText, image.seed));
  head.Put32(binary_format::kReserved);
  head.Put32(image.languages.size());
  head.Put32(image.messageIds.size());
  head.Put32(static_cast<std::uint32_t>(image.messagePool->indexed
                                            ? binary_format::PoolKind::UnitStrings
                                            : binary_format::PoolKind::Utf8Text));
  for (const LanguageEntry& language : image.languages) head.Put32(language.hash);
  for (const MessageIdEntry& id : image.messageIds) head.Put32(id.hash);
  head.Put32(4 * image.offsetPool.size());
  FieldWriter middle(&fields->middle);
  middle.Put32(PoolSize(*image.messagePool));
  FieldWriter tail(&fields->tail);
  tail.Put32(HashString(binary_format::kEndMarkerText, image.seed));

  if (head.Overflowed() || middle.Overflowed() || tail.Overflowed()) {
    PrintError(Msg::OutputBufferOverflow);
    fields->head.clear();
    fields->middle.clear();
    fields->tail.clear();
    return false;
  }
  return true;
}

bool WriteBinaryFile(const platform::Path& path, const BinaryImage& image) {
  BinaryFileFields fields;
  if (!LayOutBinaryFile(image, &fields)) return false;
  OutputFile file;
  if (!file.Open(path, "wb")) return false;
  // Write errors stay on the stream; the commit finds them.
  file.Write(AsBytes(fields.head));
  WriteOffsets(file, image.offsetPool);
  file.Write(AsBytes(fields.middle));
  const MessagePool& pool = *image.messagePool;
  const std::uint64_t poolStart =
      fields.head.size() + 4 * std::uint64_t{image.offsetPool.size()} + fields.middle.size();
  const bool placed = pool.producePlaced && file.CanPlace();
  bool produced = true;
  if (placed) {
    // Made out of order, each piece goes to its place after the offsets.
    produced = pool.producePlaced(image.offsetPool,
                                  [&file, poolStart](std::uint64_t offset, std::string_view piece) {
                                    file.Place(poolStart + offset, piece);
                                  });
  } else if (pool.produce) {
    produced =
        pool.produce(image.offsetPool, [&file](std::string_view piece) { file.Write(piece); });
  } else {
    file.Write(AsBytes(pool.bytes));
  }
  if (!produced) {
    // The offsets already written would not match the pool.
    PrintError(Msg::OutputBufferOverflow);
    return false;
  }
  if (placed) {
    file.Place(poolStart + PoolSize(pool), AsBytes(fields.tail));
  } else {
    file.Write(AsBytes(fields.tail));
  }
  return CommitOutput(file);
}

}  // namespace quillex
