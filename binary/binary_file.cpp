#include "binary/binary_file.h"

#include <cstdio>
#include <cstring>
#include <limits>

#include "app/catalog.h"
#include "binary/binary_format.h"
#include "input/hash.h"
#include "input/output_file.h"

namespace quillex {
namespace {

// Writes the fields into a fixed buffer. A field that does not fit the rest is skipped and marks
// the buffer as overflowed, so a wrong size can never write past the end.
class FieldWriter {
 public:
  explicit FieldWriter(std::vector<std::uint8_t>* buffer) : buffer_(*buffer) {}

  void Put32(std::uint64_t value) {
    if (!Fits(4)) return;
    for (int shift = 0; shift < 32; shift += 8) {
      buffer_[position_++] = static_cast<std::uint8_t>(value >> shift);
    }
  }

  void PutBytes(std::span<const std::uint8_t> bytes) {
    if (!Fits(bytes.size())) return;
    if (!bytes.empty()) std::memcpy(buffer_.data() + position_, bytes.data(), bytes.size());
    position_ += bytes.size();
  }

  bool Overflowed() const { return overflowed_; }

 private:
  bool Fits(std::size_t size) {
    if (size > buffer_.size() - position_) overflowed_ = true;
    return !overflowed_;
  }

  std::vector<std::uint8_t>& buffer_;
  std::size_t position_ = 0;
  bool overflowed_ = false;
};

// 36 + 4 * (L + N + N * L) + P, or false when it does not fit a size_t.
bool TotalSize(const BinaryImage& image, std::size_t* total) {
  constexpr std::size_t kMax = std::numeric_limits<std::size_t>::max();
  std::size_t words = image.languages.size();
  std::size_t pool = image.messagePool->bytes.size();
  if (image.messageIds.size() > kMax - words) return false;
  words += image.messageIds.size();
  if (image.offsetPool.size() > kMax - words) return false;
  words += image.offsetPool.size();
  if (words > (kMax - binary_format::kFixedFieldsSize) / 4) return false;
  std::size_t size = binary_format::kFixedFieldsSize + 4 * words;
  if (pool > kMax - size) return false;
  *total = size + pool;
  return true;
}

}  // namespace

bool LayOutBinaryFile(const BinaryImage& image, std::vector<std::uint8_t>* bytes) {
  std::size_t total = 0;
  bytes->clear();
  if (TotalSize(image, &total)) bytes->resize(total);

  FieldWriter out(bytes);
  const std::vector<std::uint8_t>& pool = image.messagePool->bytes;
  out.Put32(image.seed);
  out.Put32(HashString(binary_format::kStartMarkerText, image.seed));
  out.Put32(binary_format::kReserved);
  out.Put32(image.languages.size());
  out.Put32(image.messageIds.size());
  out.Put32(static_cast<std::uint32_t>(image.messagePool->indexed
                                           ? binary_format::PoolKind::UnitStrings
                                           : binary_format::PoolKind::Utf8Text));
  for (const LanguageEntry& language : image.languages) out.Put32(language.hash);
  for (const MessageIdEntry& id : image.messageIds) out.Put32(id.hash);
  out.Put32(4 * image.offsetPool.size());
  for (std::uint32_t offset : image.offsetPool) out.Put32(offset);
  out.Put32(pool.size());
  out.PutBytes(pool);
  out.Put32(HashString(binary_format::kEndMarkerText, image.seed));

  if (out.Overflowed()) {
    PrintError(Msg::OutputBufferOverflow);
    bytes->clear();
    return false;
  }
  return true;
}

bool WriteBinaryFile(const platform::Path& path, const BinaryImage& image) {
  std::vector<std::uint8_t> bytes;
  if (!LayOutBinaryFile(image, &bytes)) return false;
  OutputFile file;
  if (!file.Open(path, "wb")) return false;
  std::fwrite(bytes.data(), 1, bytes.size(), file.Stream());
  return file.Commit();
}

}  // namespace quillex
