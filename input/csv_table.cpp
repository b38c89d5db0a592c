#include "input/csv_table.h"

#include <limits>

#include "input/file_io.h"

namespace quillex {
namespace {

constexpr std::uint32_t kEndOfInput = 0;
constexpr std::uint32_t kQuote = '"';
constexpr std::uint32_t kComma = ',';
constexpr std::uint32_t kCarriageReturn = 0x0D;
constexpr std::uint32_t kLineFeed = 0x0A;

bool IsError(std::uint32_t codePoint) { return (codePoint & kDecodeError) != 0; }

// The next code point, where 0 means the end of the buffer only: a character that decodes to 0
// comes back as an error, since taking it for the end would silently drop the rest of the file.
std::uint32_t NextCodePoint(CodePointReader& reader) {
  if (reader.AtEnd()) return kEndOfInput;
  std::uint32_t codePoint = reader.Next();
  return codePoint == 0 ? kDecodeError : codePoint;
}

// Builds the table one field at a time, aligning every record to the first.
class TableBuilder {
 public:
  explicit TableBuilder(CsvTable* table) : target(table) {
    target->fields.clear();
    target->columns = 0;
    target->rows = 0;
  }

  std::string& Field() { return field; }

  // Stores the buffer as the next field and clears it. A field beyond the first record's count
  // is dropped; a record ending short is padded with empty fields. False when the table would
  // outgrow its 32-bit counts.
  [[nodiscard]] bool Emit(bool endsRecord) {
    CsvTable& table = *target;
    if (table.rows == 0) {
      if (table.columns == kMaxCount) return false;
      ++table.columns;
      table.fields.emplace_back(field);  // a copy, so the buffer keeps its capacity
    } else if (fieldInRecord < table.columns) {
      table.fields.emplace_back(field);
    }
    field.clear();
    ++fieldInRecord;
    if (!endsRecord) return true;
    if (table.rows == kMaxCount) return false;
    ++table.rows;
    if (fieldInRecord < table.columns) {
      table.fields.resize(table.fields.size() +
                          static_cast<std::size_t>(table.columns - fieldInRecord));
    }
    fieldInRecord = 0;
    return true;
  }

 private:
  static constexpr std::int32_t kMaxCount = std::numeric_limits<std::int32_t>::max();

  CsvTable* target;
  std::string field;
  std::int64_t fieldInRecord = 0;  // wider than the counts: a long record may go far beyond
};

}  // namespace

bool CsvTable::Load(const platform::Path& path) {
  std::string contents;
  if (!ReadWholeFile(path, &contents)) return false;
  CodePointReader reader = CodePointReader::ForBuffer(
      reinterpret_cast<const unsigned char*>(contents.data()), contents.size());
  return Parse(reader);
}

bool CsvTable::Parse(CodePointReader& reader) {
  enum class State { Unquoted, Quoted, QuoteSeen };
  TableBuilder builder(this);
  std::string& buffer = builder.Field();
  State state = State::Unquoted;
  for (;;) {
    std::uint32_t codePoint = NextCodePoint(reader);
    if (IsError(codePoint)) return false;
    switch (state) {
      case State::Unquoted:
        if (codePoint == kQuote) {
          state = State::Quoted;  // text before the quote stays in the field
          continue;
        }
        break;
      case State::Quoted:
        if (codePoint == kEndOfInput) return false;
        if (codePoint == kQuote) {
          state = State::QuoteSeen;
        } else {
          AppendUtf8(&buffer, codePoint);
        }
        continue;
      case State::QuoteSeen:
        if (codePoint == kQuote) {
          buffer.push_back('"');
          state = State::Quoted;
          continue;
        }
        // Only a separator, a record end or the end of input may follow a closing quote.
        if (codePoint != kComma && codePoint != kCarriageReturn && codePoint != kEndOfInput) {
          return false;
        }
        state = State::Unquoted;
        break;
    }
    // Unquoted text, or what follows a closing quote.
    if (codePoint == kComma) {
      if (!builder.Emit(false)) return false;
    } else if (codePoint == kCarriageReturn) {
      // Records end with CR LF only; a lone CR is malformed.
      if (NextCodePoint(reader) != kLineFeed || !builder.Emit(true)) return false;
    } else if (codePoint == kEndOfInput) {
      return builder.Emit(true);
    } else {
      AppendUtf8(&buffer, codePoint);  // a lone LF included
    }
  }
}

const std::string& CsvTable::Cell(std::int32_t row, std::int32_t column) const {
  static const std::string kEmpty;
  if (row < 0 || row >= rows || column < 0 || column >= columns) return kEmpty;
  std::uint64_t index = static_cast<std::uint64_t>(row) * static_cast<std::uint64_t>(columns) +
                        static_cast<std::uint64_t>(column);
  return index < fields.size() ? fields[index] : kEmpty;
}

}  // namespace quillex
