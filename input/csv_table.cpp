#include "input/csv_table.h"

#include <bit>
#include <cstring>
#include <limits>
#include <utility>

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

// Records the field ends, aligning every record to the first. The field being built always
// starts at the last end recorded, so each path only says where its field's bytes stop.
class TableBuilder {
 public:
  explicit TableBuilder(CsvTable* table) : target(*table) {
    target.fieldEnds.clear();
    target.columns = 0;
    target.rows = 0;
  }

  // The position in `text` where the field being built starts.
  std::uint64_t FieldStart() const {
    return target.fieldEnds.empty() ? 0 : target.fieldEnds.back();
  }

  // Ends the field at `*end`. A field beyond the first record's count is dropped: `*end` then
  // moves back to the field's start, so the caller overwrites its bytes. A record ending short is
  // padded with empty fields. False when the table would outgrow its 32-bit counts.
  [[nodiscard]] bool Emit(std::uint64_t* end, bool endsRecord) {
    CsvTable& table = target;
    if (table.rows == 0) {
      if (table.columns == kMaxCount) return false;
      ++table.columns;
      table.fieldEnds.push_back(*end);
    } else if (fieldInRecord < table.columns) {
      table.fieldEnds.push_back(*end);
    } else {
      *end = FieldStart();
    }
    ++fieldInRecord;
    if (!endsRecord) return true;
    if (table.rows == kMaxCount) return false;
    ++table.rows;
    if (fieldInRecord < table.columns) {
      table.fieldEnds.resize(table.fieldEnds.size() +
                                 static_cast<std::size_t>(table.columns - fieldInRecord),
                             *end);
    }
    if (table.rows == 1) ReserveRest();
    fieldInRecord = 0;
    return true;
  }

  // The number of CR bytes of the input, which bounds the number of records still to come.
  void ExpectRecordsUpTo(std::uint64_t carriageReturns) { recordBound = carriageReturns; }

 private:
  static constexpr std::int32_t kMaxCount = std::numeric_limits<std::int32_t>::max();

  // Every record holds `columns` fields, so the list's final size is known within the CR LF
  // pairs inside quotes: reserved once instead of grown by copying.
  void ReserveRest() {
    if (recordBound == 0) return;
    const std::uint64_t columns = static_cast<std::uint64_t>(target.columns);
    const std::uint64_t limit = target.fieldEnds.max_size() / 2;
    if (recordBound > limit / columns) return;
    target.fieldEnds.reserve(static_cast<std::size_t>((recordBound + 1) * columns));
  }

  CsvTable& target;
  std::int64_t fieldInRecord = 0;  // wider than the counts: a long record may go far beyond
  std::uint64_t recordBound = 0;
};

// The grammar on bytes, for input that IsSelfEncodingUtf8 accepted: there every byte below 0x80
// is the character itself, so the separators can be found without decoding. Fields are moved
// down within `text` as they are read (the write position never passes the read position).
bool ParseInPlace(CsvTable* table, std::size_t start, std::uint64_t carriageReturns) {
  TableBuilder builder(table);
  builder.ExpectRecordsUpTo(carriageReturns);
  char* const bytes = table->text.data();
  const std::size_t size = table->text.size();
  std::size_t read = start;
  std::uint64_t write = 0;

  // Moves [from, to) to the write position.
  auto take = [&](std::size_t from, std::size_t to) {
    if (write != from) std::memmove(bytes + write, bytes + from, to - from);
    write += to - from;
  };
  // Ends the field and the record when a CR LF is at `read`; false on a lone CR.
  auto endRecord = [&]() {
    if (read + 1 >= size || bytes[read + 1] != '\n') return false;
    read += 2;
    return builder.Emit(&write, true);
  };

  for (;;) {
    // Unquoted: up to a separator, a quote, a CR or the end.
    std::size_t stop = read;
    while (stop < size && bytes[stop] != ',' && bytes[stop] != '"' && bytes[stop] != '\r') {
      ++stop;
    }
    take(read, stop);
    read = stop;
    if (read == size) break;
    if (bytes[read] == ',') {
      ++read;
      if (!builder.Emit(&write, false)) return false;
      continue;
    }
    if (bytes[read] == '\r') {
      if (!endRecord()) return false;
      continue;
    }
    // Quoted: the text already taken stays in the field.
    ++read;
    for (;;) {
      const void* quote = std::memchr(bytes + read, '"', size - read);
      if (quote == nullptr) return false;  // the end of input inside quotes
      const std::size_t at = static_cast<std::size_t>(static_cast<const char*>(quote) - bytes);
      take(read, at);
      read = at + 1;
      if (read == size || bytes[read] != '"') break;
      bytes[write++] = '"';  // a doubled quote
      ++read;
    }
    // After a closing quote: a separator, CR LF or the end only.
    if (read == size) break;
    if (bytes[read] == ',') {
      ++read;
      if (!builder.Emit(&write, false)) return false;
    } else if (bytes[read] != '\r' || !endRecord()) {
      return false;
    }
  }
  if (!builder.Emit(&write, true)) return false;
  table->text.resize(static_cast<std::size_t>(write));
  return true;
}

// Counts the bytes equal to `byte` in the word `v`, exactly.
int CountBytesEqual(std::uint64_t v, unsigned char byte) {
  constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
  const std::uint64_t x = v ^ (0x0101010101010101ull * byte);
  const std::uint64_t zero = ~(((x & kLow7) + kLow7) | x | kLow7);
  return std::popcount(zero);
}

}  // namespace

bool IsSelfEncodingUtf8(const unsigned char* data, std::size_t size,
                        std::uint64_t* carriageReturns) {
  constexpr std::uint64_t kHigh = 0x8080808080808080ull;
  constexpr std::uint64_t kOnes = 0x0101010101010101ull;
  auto isContinuation = [](unsigned char b) { return (b & 0xC0) == 0x80; };
  std::size_t i = 0;
  std::uint64_t crs = 0;
  while (i < size) {
    // Eight ASCII bytes at a time.
    while (size - i >= 8) {
      std::uint64_t v;
      std::memcpy(&v, data + i, 8);
      if ((v & kHigh) != 0) break;
      if (((v - kOnes) & ~v & kHigh) != 0) return false;  // a NUL byte
      crs += static_cast<std::uint64_t>(CountBytesEqual(v, '\r'));
      i += 8;
    }
    if (i == size) break;
    const unsigned char lead = data[i];
    if (lead < 0x80) {
      if (lead == 0) return false;
      if (lead == '\r') ++crs;
      ++i;
      continue;
    }
    // The shortest form of each length only: the decoder would turn a longer form into fewer
    // bytes (or into 0), and a stray or cut-off byte into something else again.
    std::size_t following;
    unsigned char secondLow = 0x80;
    if (lead >= 0xC2 && lead <= 0xDF) {
      following = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      following = 2;
      if (lead == 0xE0) secondLow = 0xA0;
    } else if (lead >= 0xF0 && lead <= 0xF7) {
      following = 3;
      if (lead == 0xF0) secondLow = 0x90;
    } else {
      return false;
    }
    if (size - i - 1 < following) return false;
    if (data[i + 1] < secondLow) return false;
    for (std::size_t k = 1; k <= following; ++k) {
      if (!isContinuation(data[i + k])) return false;
    }
    i += following + 1;
  }
  *carriageReturns += crs;
  return true;
}

bool CsvTable::Load(const platform::Path& path) {
  std::string contents;
  if (!ReadWholeFile(path, &contents)) return false;
  return ParseBytes(std::move(contents));
}

bool CsvTable::ParseBytes(std::string contents) {
  const auto* data = reinterpret_cast<const unsigned char*>(contents.data());
  CodePointReader reader = CodePointReader::ForBuffer(data, contents.size());
  std::uint64_t carriageReturns = 0;
  if (reader.encoding == TextEncoding::Utf8 &&
      IsSelfEncodingUtf8(data + reader.position, contents.size() - reader.position,
                         &carriageReturns)) {
    text = std::move(contents);
    return ParseInPlace(this, static_cast<std::size_t>(reader.position), carriageReturns);
  }
  text.clear();
  return Parse(reader);
}

bool CsvTable::Parse(CodePointReader& reader) {
  enum class State { Unquoted, Quoted, QuoteSeen };
  TableBuilder builder(this);
  text.clear();
  State state = State::Unquoted;
  // Ends the field at the end of `text`, dropping its bytes when the builder drops the field.
  auto emit = [&](bool endsRecord) {
    std::uint64_t end = text.size();
    if (!builder.Emit(&end, endsRecord)) return false;
    text.resize(static_cast<std::size_t>(end));
    return true;
  };
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
          AppendUtf8(&text, codePoint);
        }
        continue;
      case State::QuoteSeen:
        if (codePoint == kQuote) {
          text.push_back('"');
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
      if (!emit(false)) return false;
    } else if (codePoint == kCarriageReturn) {
      // Records end with CR LF only; a lone CR is malformed.
      if (NextCodePoint(reader) != kLineFeed || !emit(true)) return false;
    } else if (codePoint == kEndOfInput) {
      return emit(true);
    } else {
      AppendUtf8(&text, codePoint);  // a lone LF included
    }
  }
}

std::string_view CsvTable::Cell(std::int32_t row, std::int32_t column) const {
  if (row < 0 || row >= rows || column < 0 || column >= columns) return {};
  std::uint64_t index = static_cast<std::uint64_t>(row) * static_cast<std::uint64_t>(columns) +
                        static_cast<std::uint64_t>(column);
  return index < fieldEnds.size() ? Field(static_cast<std::size_t>(index)) : std::string_view();
}

}  // namespace quillex
