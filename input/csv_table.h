// The CSV reader: the whole input file as one flat list of UTF-8 fields.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "input/text_decoder.h"
#include "platform/platform.h"

namespace quillex {

/// Every field of the input in reading order. Records end with CR LF or the end of input, so a
/// final CR LF leaves one more (empty) row. Records are aligned to the first record: a shorter
/// record is padded with empty fields, a longer one cut, so the cell (row, column) is entry
/// row * columns + column. After a successful parse columns >= 1 and rows >= 1.
struct CsvTable {
  std::vector<std::string> fields;
  std::int32_t columns = 0;
  std::int32_t rows = 0;

  /// Reads, decodes (by byte order mark) and parses the file. False when it cannot be read or
  /// does not parse; prints nothing.
  [[nodiscard]] bool Load(const platform::Path& path);

  /// Parses the reader's input to its end, replacing the table. False on a decoding error, a
  /// character that decodes to 0, a CR not followed by LF outside quotes, the end of input
  /// inside quotes, anything but '"', ',', CR LF or the end after a closing quote, or more
  /// than 2^31 - 1 rows or columns; the table is then partly filled and to be discarded.
  [[nodiscard]] bool Parse(CodePointReader& reader);

  /// The field at (row, column), or an empty string when out of range. Valid while the table is.
  const std::string& Cell(std::int32_t row, std::int32_t column) const;
};

}  // namespace quillex
