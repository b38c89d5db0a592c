#include "check/csv_scan.h"

#include <array>
#include <cstring>
#include <limits>

#include "input/text_decoder.h"

namespace quillex {
namespace {

constexpr std::uint32_t kQuote = '"';
constexpr std::uint32_t kComma = ',';
constexpr std::uint32_t kCarriageReturn = 0x0D;
constexpr std::uint32_t kLineFeed = 0x0A;
constexpr std::int64_t kMaxCount = std::numeric_limits<std::int32_t>::max();

// Mirrors CsvTable::Parse step for step, and remembers where everything stands.
class Scanner {
 public:
  // UTF-8 input is rewritten in place: a cell's text never takes more bytes than it was read
  // from (quotes and separators drop out, an overlong or cut-off sequence re-encodes no longer),
  // so the texts share the file's buffer instead of doubling it. Other encodings may grow (a
  // UTF-16 unit can make three bytes) and go to a buffer of their own.
  explicit Scanner(std::string bytes) {
    bool hasByteOrderMark = false;
    const TextEncoding encoding = DetectByteOrderMark(
        reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), &hasByteOrderMark);
    inPlace = encoding == TextEncoding::Utf8;
    std::string& source = inPlace ? scan.texts : separate;
    source = std::move(bytes);
    reader = CodePointReader::ForBuffer(reinterpret_cast<const unsigned char*>(source.data()),
                                        source.size());
    if (!inPlace) {
      scan.texts.reserve(source.size());
      return;
    }
    // A cell per comma and line feed at most.
    std::size_t ends = 1;
    for (char c : source) ends += (c == ',') + (c == '\n');
    scan.cells.reserve(ends);
  }

  CsvScan Run() {
    enum class State { Unquoted, Quoted, QuoteSeen };
    State state = State::Unquoted;
    TextPosition quoteStart;
    StartField();
    StartRecord();
    for (;;) {
      if (inPlace && state != State::QuoteSeen) CopyPlainRun(state == State::Quoted);
      const TextPosition at = position;
      std::uint32_t codePoint;
      if (!Next(&codePoint)) return Finish();
      const bool end = codePoint == kEnd;
      switch (state) {
        case State::Unquoted:
          if (codePoint == kQuote) {
            quoteStart = at;
            state = State::Quoted;
            continue;
          }
          break;
        case State::Quoted:
          if (end) return Fail(ScanFault::UnclosedQuote, quoteStart);
          if (codePoint == kQuote) {
            state = State::QuoteSeen;
          } else {
            Put(codePoint);
          }
          continue;
        case State::QuoteSeen:
          if (codePoint == kQuote) {
            Put('"');
            state = State::Quoted;
            continue;
          }
          if (codePoint != kComma && codePoint != kCarriageReturn && !end) {
            return Fail(ScanFault::TextAfterQuote, at);
          }
          state = State::Unquoted;
          break;
      }
      if (codePoint == kComma) {
        if (!Emit(false, at)) return Fail(ScanFault::TooLarge, at);
        StartField();
      } else if (codePoint == kCarriageReturn) {
        std::uint32_t following;
        if (!Next(&following)) return Finish();
        if (following != kLineFeed) return Fail(ScanFault::LoneCarriageReturn, at);
        if (!Emit(true, at)) return Fail(ScanFault::TooLarge, at);
        StartField();
        StartRecord();
      } else if (end) {
        if (!Emit(true, at)) return Fail(ScanFault::TooLarge, at);
        return Finish();
      } else {
        Put(codePoint);
      }
    }
  }

 private:
  static constexpr std::uint32_t kEnd = 0xFFFFFFFFu;  // no code point has all bits set

  // Whether the UTF-8 sequence read from byte `from` on is shorter than its lead byte asks for.
  bool IsCutUtf8(std::uint64_t from) const {
    if (reader.encoding != TextEncoding::Utf8) return false;
    const unsigned char lead = reader.data[from];
    const std::uint64_t length = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    return reader.position - from < length;
  }

  // The next code point, moving the position past it. kEnd at the end of the input; false
  // (with the fault set) on a decoding error or a character that decodes to 0.
  bool Next(std::uint32_t* codePoint) {
    if (reader.AtEnd()) {
      *codePoint = kEnd;
      return true;
    }
    const TextPosition at = position;
    const std::uint64_t from = reader.position;
    const std::uint32_t value = reader.NextInline();
    if ((value & kDecodeError) != 0) {
      if (reader.encoding == TextEncoding::Utf8) {
        SetFault(ScanFault::InvalidUtf8, at);
        scan.faultByte = value & 0xFF;
      } else {
        SetFault(ScanFault::CutCharacter, at);
      }
      return false;
    }
    if (value == 0) {
      // A sequence cut off by the end (a lone C0 there) decodes to 0 as well: the file ends in
      // the middle of that character rather than holding a NUL.
      SetFault(IsCutUtf8(from) ? ScanFault::CutCharacter : ScanFault::NulCharacter, at);
      return false;
    }
    if (value == kLineFeed) {
      if (previous == kCarriageReturn) scan.hasCrLf = true;
      if (scan.rows == 0 && !scan.firstRecordHasLineFeed) {
        scan.firstRecordHasLineFeed = true;
        scan.firstRecordLineFeed = at;
      }
      ++position.line;
      position.column = 1;
    } else {
      ++position.column;
    }
    previous = value;
    *codePoint = value;
    return true;
  }

  // Most bytes of a catalog are ASCII that is text as it stands: in UTF-8 rewritten in place, a
  // run of them is moved down at once, one column each, rather than read, placed and written a
  // character at a time. A quote, a line end, NUL and every byte of a longer character go the
  // character's way; so does a comma outside quotes.
  void CopyPlainRun(bool quoted) {
    static constexpr auto kPlain = [] {
      std::array<std::array<bool, 256>, 2> plain{};
      for (std::size_t byte = 1; byte < 0x80; ++byte) {
        const bool special = byte == '"' || byte == '\r' || byte == '\n';
        plain[0][byte] = !special && byte != ',';
        plain[1][byte] = !special;
      }
      return plain;
    }();
    const std::array<bool, 256>& plain = kPlain[quoted ? 1 : 0];
    const unsigned char* const data = reader.data;
    const std::uint64_t start = reader.position;
    std::uint64_t at = start;
    while (at < reader.size && plain[data[at]]) ++at;
    if (at == start) return;
    const std::size_t count = static_cast<std::size_t>(at - start);
    std::memmove(scan.texts.data() + written, data + start, count);
    written += count;
    position.column += static_cast<std::uint32_t>(count);
    previous = data[at - 1];
    reader.position = at;
  }

  void StartField() {
    fieldStart = position;
    fieldOffset = kept;
  }

  // Writes `codePoint` as UTF-8 at the end of the field being read.
  void Put(std::uint32_t codePoint) {
    if (!inPlace) {
      AppendUtf8(&scan.texts, codePoint);
      written = scan.texts.size();
      return;
    }
    written += WriteUtf8(codePoint, scan.texts.data() + written);
  }

  void StartRecord() {
    recordStart = position;
    fieldsInRecord = 0;
  }

  // The reader's TableBuilder::Emit, with places: `end` is where the field ends.
  bool Emit(bool endsRecord, TextPosition end) {
    if (scan.rows == 0) {
      if (scan.columns == kMaxCount) return false;
      ++scan.columns;
      Store();
    } else if (fieldsInRecord < scan.columns) {
      Store();
    }
    // A cell cut off the end of a long record leaves nothing.
    Rewind(kept);
    ++fieldsInRecord;
    if (!endsRecord) return true;
    if (scan.rows == kMaxCount) return false;
    ++scan.rows;
    scan.records.push_back({.position = recordStart,
                            .fieldCount = fieldsInRecord,
                            .end = end,
                            .firstCell = recordCell});
    recordCell = scan.cells.size();
    return true;
  }

  void Store() {
    scan.cells.push_back({.offset = fieldOffset, .position = fieldStart});
    kept = written;
  }

  void Rewind(std::size_t to) {
    written = to;
    if (!inPlace) scan.texts.resize(to);
  }

  void SetFault(ScanFault fault, TextPosition at) {
    scan.fault = fault;
    scan.faultPosition = at;
  }

  CsvScan Fail(ScanFault fault, TextPosition at) {
    SetFault(fault, at);
    return Finish();
  }

  // The texts end with the last cell stored: a field cut short by a fault, and the rest of the
  // file's bytes in place, are no text.
  CsvScan Finish() {
    scan.texts.resize(kept);
    return std::move(scan);
  }

  CsvScan scan;
  std::string separate;  // the input, when it is not rewritten in place
  bool inPlace = false;
  CodePointReader reader;
  TextPosition position;
  TextPosition fieldStart;
  TextPosition recordStart;
  std::int64_t fieldsInRecord = 0;
  std::uint64_t recordCell = 0;  // the first cell of the record being read
  std::uint32_t previous = 0;
  std::size_t written = 0;      // bytes of text written
  std::size_t kept = 0;         // of which the cells stored so far hold
  std::size_t fieldOffset = 0;  // where the field being read starts
};

}  // namespace

ScannedCell CsvScan::Cell(std::int32_t row, std::int32_t column) const {
  if (row < 0 || row >= rows || column < 0 || column >= columns) return {};
  const ScannedRecord& record = records[static_cast<std::size_t>(row)];
  if (column >= record.fieldCount) return {.text = {}, .position = record.end};
  const std::uint64_t index = record.firstCell + static_cast<std::uint64_t>(column);
  const std::uint64_t end = index + 1 < cells.size() ? cells[index + 1].offset : texts.size();
  return {.text = std::string_view(texts).substr(cells[index].offset, end - cells[index].offset),
          .position = cells[index].position};
}

CsvScan ScanCsv(std::string bytes) { return Scanner(std::move(bytes)).Run(); }

}  // namespace quillex
