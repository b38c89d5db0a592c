// The CSV reader: the whole input file as one flat list of UTF-8 fields.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "input/text_decoder.h"
#include "platform/platform.h"

namespace quillex {

/// Nondecreasing byte positions at 4 bytes each: the high bits are kept once per 4 GiB crossed,
/// not once per position. A list of mostly empty cells is mostly these positions.
class FieldEnds {
 public:
  std::size_t size() const { return low_.size(); }
  bool empty() const { return low_.empty(); }
  std::size_t capacity() const { return low_.capacity(); }
  std::size_t max_size() const { return low_.max_size(); }

  /// REQUIRES: k < size().
  std::uint64_t operator[](std::size_t k) const {
    if (wraps_.empty()) [[likely]]
      return low_[k];
    return WideAt(k);
  }
  std::uint64_t back() const { return (*this)[size() - 1]; }

  /// The address of position k, to ask for its cache line ahead.
  const void* Address(std::size_t k) const { return low_.data() + k; }

  /// REQUIRES: `end` is at least back().
  void push_back(std::uint64_t end) {
    Wrap(end);
    low_.push_back(static_cast<std::uint32_t>(end));
  }
  /// Grows to `count` positions, the new ones `end`. REQUIRES: as for push_back.
  void resize(std::size_t count, std::uint64_t end) {
    Wrap(end);
    low_.resize(count, static_cast<std::uint32_t>(end));
  }
  void reserve(std::size_t count) { platform::ReserveLarge(low_, count); }
  void clear() {
    low_.clear();
    wraps_.clear();
  }

 private:
  std::uint64_t WideAt(std::size_t k) const;

  void Wrap(std::uint64_t end) {
    while ((end >> 32) > wraps_.size()) wraps_.push_back(low_.size());
  }

  std::vector<std::uint32_t> low_;
  std::vector<std::size_t> wraps_;  // [n - 1]: the first position at or above n * 2^32
};

/// Every field of the input in reading order. Records end with CR LF or the end of input, so a
/// final CR LF leaves one more (empty) row. Records are aligned to the first record: a shorter
/// record is padded with empty fields, a longer one cut, so the cell (row, column) is field
/// row * columns + column. After a successful parse columns >= 1 and rows >= 1.
///
/// The fields lie back to back in `text`, without separators: field k is the bytes from
/// fieldEnds[k - 1] (0 for the first) to fieldEnds[k]. For UTF-8 input that decodes and
/// re-encodes to itself, `text` is the file's own buffer with the fields moved down over the
/// quotes and separators, so the input is held once and every cell is a view into it.
struct CsvTable {
  std::string text;
  FieldEnds fieldEnds;
  std::int32_t columns = 0;
  std::int32_t rows = 0;

  /// Reads, decodes (by byte order mark) and parses the file. False when it cannot be read or
  /// does not parse; prints nothing.
  [[nodiscard]] bool Load(const platform::Path& path);

  /// Parses a file's whole contents, byte order mark included, replacing the table; takes the
  /// buffer over. UTF-8 that re-encodes to itself is split on bytes in place; anything else goes
  /// through Parse with a code point reader, which gives the same table. False as for Parse.
  /// Large contents are checked and split in parts on threads (platform::WorkersFor).
  [[nodiscard]] bool ParseBytes(std::string contents);

  /// ParseBytes with the byte path in up to `parts` parts, each on a thread of its own: the
  /// contents are checked in parts, then split on bytes in parts that begin at records. The
  /// table does not depend on `parts`.
  [[nodiscard]] bool ParseBytesInParts(std::string contents, std::size_t parts);

  /// The exact path: parses the reader's input to its end, replacing the table. False on a
  /// decoding error, a character that decodes to 0, a CR not followed by LF outside quotes, the
  /// end of input inside quotes, anything but '"', ',', CR LF or the end after a closing quote,
  /// or more than 2^31 - 1 rows or columns; the table is then partly filled and to be discarded.
  /// REQUIRES: the reader's buffer is not `text`.
  [[nodiscard]] bool Parse(CodePointReader& reader);

  std::size_t FieldCount() const { return fieldEnds.size(); }

  /// Field `index` in reading order. REQUIRES: index < FieldCount().
  std::string_view Field(std::size_t index) const {
    std::uint64_t begin = index == 0 ? 0 : fieldEnds[index - 1];
    return {text.data() + begin, static_cast<std::size_t>(fieldEnds[index] - begin)};
  }

  /// The field at (row, column), or an empty view when out of range. Valid while the table is
  /// unchanged.
  std::string_view Cell(std::int32_t row, std::int32_t column) const {
    if (row < 0 || row >= rows || column < 0 || column >= columns) return {};
    const std::uint64_t index =
        static_cast<std::uint64_t>(row) * static_cast<std::uint64_t>(columns) +
        static_cast<std::uint64_t>(column);
    return index < fieldEnds.size() ? Field(static_cast<std::size_t>(index)) : std::string_view();
  }
};

/// What a check of the input counts: the CR bytes bound the number of records, and the quotes
/// before a place tell whether it lies inside a quoted field (an odd number).
struct ByteCounts {
  std::uint64_t carriageReturns = 0;
  std::uint64_t quotes = 0;
};

/// True when `data` decodes to code points that re-encode to exactly the same bytes and none of
/// them is 0: ASCII without NUL and well-formed sequences, encoded surrogates and values up to
/// 0x1FFFFF included. Overlong, cut-off and broken sequences and stray bytes give false. Adds
/// the number of CR bytes and of '"' bytes to `*counts`.
bool IsSelfEncodingUtf8(const unsigned char* data, std::size_t size, ByteCounts* counts);

/// One part of a check in parts: where it begins in the data, and its counts.
struct CheckedPart {
  std::size_t begin = 0;
  ByteCounts counts;
};

/// IsSelfEncodingUtf8 in up to `parts` parts, each on a thread of its own, with the same answer.
/// Each part after the first begins at a byte that is not a continuation byte. On success
/// `*checked` holds the parts in order, with their counts; their sum is the one pass's.
bool IsSelfEncodingUtf8InParts(const unsigned char* data, std::size_t size, std::size_t parts,
                               std::vector<CheckedPart>* checked);

}  // namespace quillex
