// The CSV file as the CSV reader sees it, with the place of every cell and of the first fault:
// what --check needs to point at a line and column. The reader itself keeps no positions.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillex {

/// A place in a text file as an editor shows it: 1-based line (a line feed ends a line) and
/// 1-based column counted in characters (code points), after any byte order mark.
struct TextPosition {
  std::uint32_t line = 1;
  std::uint32_t column = 1;
};

/// Why the CSV reader refuses a file. Fixed order: tests name them.
enum class ScanFault {
  None,
  InvalidUtf8,   // `faultByte` holds the byte
  CutCharacter,  // a UTF-16 or UTF-32 unit, or a UTF-8 sequence worth 0, cut off by the end
  NulCharacter,  // a character that decodes to 0
  LoneCarriageReturn,
  TextAfterQuote,  // at the character after the closing quote
  UnclosedQuote,   // at the opening quote
  TooLarge,        // more than 2^31 - 1 rows or columns
};

/// One cell of the table: a view of its text in the scan, valid while the scan lives.
struct ScannedCell {
  std::string_view text;  // UTF-8, exactly as the CSV reader stores it
  TextPosition position;  // of its first character (its opening quote, if quoted)
};

/// One record as written, before the reader pads or cuts it to the header's length.
struct ScannedRecord {
  TextPosition position;  // of its first character
  std::int64_t fieldCount = 0;
  TextPosition end;             // where it ends: the place of the padding cells of a short record
  std::uint64_t firstCell = 0;  // its first cell in CsvScan::cells
};

/// A cell as stored: where its text starts in CsvScan::texts (it ends where the next one's
/// starts).
struct StoredCell {
  std::uint64_t offset = 0;
  TextPosition position;
};

struct CsvScan {
  /// The cells of the reader's table as written, long records cut to the header's length: every
  /// cell's text held once in `texts`, one flat entry each. The padding cells of short records
  /// are not stored (a table of many languages over short rows is nearly all padding): Cell()
  /// makes them, empty and placed where their record ends.
  std::string texts;
  std::vector<StoredCell> cells;
  std::int32_t columns = 0;
  std::int32_t rows = 0;
  std::vector<ScannedRecord> records;  // one per row

  bool hasCrLf = false;  // anywhere in the file, quoted or not
  bool firstRecordHasLineFeed = false;
  TextPosition firstRecordLineFeed;  // of the first line feed of the first record

  ScanFault fault = ScanFault::None;
  TextPosition faultPosition;
  std::uint32_t faultByte = 0;

  /// The cell at (row, column) of the reader's table; empty outside it.
  ScannedCell Cell(std::int32_t row, std::int32_t column) const;
};

/// Scans a whole file's bytes exactly like the CSV reader parses them (byte order mark, decoding,
/// quoting, CR LF record ends, padding to the header's length). Linear in the size of the file.
/// Takes the bytes: UTF-8 texts are written over them.
CsvScan ScanCsv(std::string bytes);

}  // namespace quillex
