#include "input/csv_table.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>  // the SSSE3 check of self-encoding UTF-8
#endif

#include "input/file_io.h"
#include "markup/byte_words.h"
#include "platform/parallel.h"

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

constexpr std::int32_t kMaxCount = std::numeric_limits<std::int32_t>::max();

// Records the field ends, aligning every record to the first. The field being built always
// starts at the last end recorded, so each path only says where its field's bytes stop.
class TableBuilder {
 public:
  // For the whole table, or the first part of it: the first record gives the columns.
  explicit TableBuilder(CsvTable* table) : target(*table) {
    target.fieldEnds.clear();
    target.columns = 0;
    target.rows = 0;
  }

  // For a later part, into `part` (its field ends and rows only), with records aligned to
  // `columns` and fields from `start` on; `carriageReturns` bounds its records.
  TableBuilder(CsvTable* part, std::int32_t columns, std::uint64_t start,
               std::uint64_t carriageReturns)
      : target(*part), countingColumns(false), begin(start), recordBound(carriageReturns) {
    target.fieldEnds.clear();
    target.columns = columns;
    target.rows = 0;
    ReserveRest();
  }

  // The position in `text` where the field being built starts.
  std::uint64_t FieldStart() const {
    return target.fieldEnds.empty() ? begin : target.fieldEnds.back();
  }

  // Ends the field at `*end`. A field beyond the first record's count is dropped: `*end` then
  // moves back to the field's start, so the caller overwrites its bytes. A record ending short is
  // padded with empty fields. False when the table would outgrow its 32-bit counts.
  [[nodiscard]] bool Emit(std::uint64_t* end, bool endsRecord) {
    CsvTable& table = target;
    if (countingColumns) {
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
      table.fieldEnds.resize(
          table.fieldEnds.size() + static_cast<std::size_t>(table.columns - fieldInRecord), *end);
    }
    if (countingColumns) {
      countingColumns = false;
      ReserveRest();
    }
    fieldInRecord = 0;
    return true;
  }

  // The number of CR bytes of the input, which bounds the number of records still to come.
  void ExpectRecordsUpTo(std::uint64_t carriageReturns) { recordBound = carriageReturns; }

 private:
  // Every record holds `columns` fields, so the list's final size is known within the CR LF
  // pairs inside quotes: reserved once instead of grown by copying.
  void ReserveRest() {
    if (recordBound == 0 || target.columns < 1) return;
    const std::uint64_t columns = static_cast<std::uint64_t>(target.columns);
    const std::uint64_t limit = target.fieldEnds.max_size() / 2;
    if (recordBound > limit / columns) return;
    target.fieldEnds.reserve(static_cast<std::size_t>((recordBound + 1) * columns));
  }

  CsvTable& target;
  bool countingColumns = true;     // in the table's first record
  std::uint64_t begin = 0;         // where the first field starts
  std::int64_t fieldInRecord = 0;  // wider than the counts: a long record may go far beyond
  std::uint64_t recordBound = 0;
};

using byte_words::CountMarked;
using byte_words::kHighs;
using byte_words::MatchBytesExactly;

// Eight bytes with the first in the lowest byte, so that the lowest match is the first.
std::uint64_t LoadLittleEndian(const char* bytes) {
  std::uint64_t v;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&v, bytes, 8);
  } else {
    v = 0;
    for (int k = 7; k >= 0; --k) v = (v << 8) | static_cast<unsigned char>(bytes[k]);
  }
  return v;
}

// The position of the first ',', '"' or CR at or after `from`, or `size`.
std::size_t FindUnquotedStop(const char* bytes, std::size_t from, std::size_t size) {
  return byte_words::FindAny<',', '"', '\r'>(bytes, from, size);
}

// The grammar on bytes, for input that IsSelfEncodingUtf8 accepted: there every byte below 0x80
// is the character itself, so the separators can be found without decoding. Parses
// bytes[begin, end) and moves the fields down as they are read, from `writeFrom` on (the write
// position never passes the read position); `*written` is where they end. With `last`, `end` is
// the end of the input; else the range must end with a record, as the later parts of a parse in
// parts begin at one. Reads nothing outside the range but below it.
bool ParseRange(char* bytes, std::size_t begin, std::size_t end, std::uint64_t writeFrom, bool last,
                TableBuilder& builder, std::uint64_t* written) {
  std::size_t read = begin;
  std::uint64_t write = writeFrom;
  std::size_t recordEnd = begin;  // where the last record ended

  // Moves [from, to) to the write position. Most fields are short and far enough behind to be
  // moved 16 bytes at a time, whole pieces that may run past the field: ahead of the write
  // position lie only bytes already read, and past `to` there is room to read.
  auto take = [&](std::size_t from, std::size_t to) {
    const std::size_t length = to - from;
    if (write != from) {
      if (from - write >= 16 && end - to >= 16) {
        for (std::size_t k = 0; k < length; k += 16) {
          std::memcpy(bytes + write + k, bytes + from + k, 16);
        }
      } else {
        std::memmove(bytes + write, bytes + from, length);
      }
    }
    write += length;
  };
  // Ends the field and the record when a CR LF is at `read`; false on a lone CR.
  auto endRecord = [&]() {
    if (read + 1 >= end || bytes[read + 1] != '\n') return false;
    read += 2;
    recordEnd = read;
    return builder.Emit(&write, true);
  };

  for (;;) {
    // Unquoted: up to a separator, a quote, a CR or the end.
    const std::size_t stop = FindUnquotedStop(bytes, read, end);
    take(read, stop);
    read = stop;
    if (read == end) break;
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
      const void* quote = std::memchr(bytes + read, '"', end - read);
      if (quote == nullptr) return false;  // the end of input inside quotes
      const std::size_t at = static_cast<std::size_t>(static_cast<const char*>(quote) - bytes);
      take(read, at);
      read = at + 1;
      if (read == end || bytes[read] != '"') break;
      bytes[write++] = '"';  // a doubled quote
      ++read;
    }
    // After a closing quote: a separator, CR LF or the end only.
    if (read == end) break;
    if (bytes[read] == ',') {
      ++read;
      if (!builder.Emit(&write, false)) return false;
    } else if (bytes[read] != '\r' || !endRecord()) {
      return false;
    }
  }
  *written = write;
  if (!last) return recordEnd == end;
  return builder.Emit(written, true);
}

// Where the first record that starts at or after `from` begins, or kNoRecord: past the first CR
// LF outside quotes, `quoted` telling whether `from` is inside them. Every quote toggles: a
// doubled one inside quotes closes and opens them again.
constexpr std::size_t kNoRecord = static_cast<std::size_t>(-1);
std::size_t NextRecordStart(const char* bytes, std::size_t from, std::size_t size, bool quoted) {
  std::size_t at = from;
  for (;;) {
    if (quoted) {
      const void* quote = std::memchr(bytes + at, '"', size - at);
      if (quote == nullptr) return kNoRecord;
      at = static_cast<std::size_t>(static_cast<const char*>(quote) - bytes) + 1;
      quoted = false;
      continue;
    }
    at = FindUnquotedStop(bytes, at, size);
    if (at == size) return kNoRecord;
    if (bytes[at] == '"') {
      quoted = true;
    } else if (bytes[at] == '\r' && at + 1 < size && bytes[at + 1] == '\n') {
      return at + 2;
    }
    ++at;  // a separator, or a lone CR (which the part's parse refuses)
  }
}

// The fields of the first record, as the grammar reads it when it is well formed: those of a
// later part are aligned to it before the first part has read it.
std::int32_t FirstRecordFields(const char* bytes, std::size_t from, std::size_t size) {
  std::uint64_t fields = 1;
  bool quoted = false;
  for (std::size_t at = from; at < size; ++at) {
    const char c = bytes[at];
    if (c == '"') {
      quoted = !quoted;
    } else if (!quoted && c == ',') {
      ++fields;
    } else if (!quoted && c == '\r' && at + 1 < size && bytes[at + 1] == '\n') {
      break;
    }
  }
  return static_cast<std::int32_t>(std::min<std::uint64_t>(fields, kMaxCount));
}

// Splits the checked input of `table` (its bytes from `start` on) into fields in place. With
// several checked parts, the parse runs in as many parts on threads of their own, each beginning
// at the first record in its checked part, found from the quotes before it; each later part's
// fields are then moved down behind the part before.
bool ParseInPlace(CsvTable* table, std::size_t start, const std::vector<CheckedPart>& checked) {
  char* const bytes = table->text.data();
  const std::size_t size = table->text.size();
  std::uint64_t carriageReturns = 0;
  for (const CheckedPart& part : checked) carriageReturns += part.counts.carriageReturns;
  std::vector<std::size_t> begins = {start};
  std::vector<std::uint64_t> partCrs = {0};  // the CR bytes of each part, about
  std::uint64_t quotesBefore = 0;
  for (std::size_t k = 0; k < checked.size(); ++k) {
    const std::size_t from = start + checked[k].begin;
    if (k > 0 && from > begins.back()) {
      const std::size_t at = NextRecordStart(bytes, from, size, quotesBefore % 2 == 1);
      if (at == kNoRecord) break;
      begins.push_back(at);
      partCrs.push_back(0);
    }
    partCrs.back() += checked[k].counts.carriageReturns;
    quotesBefore += checked[k].counts.quotes;
  }
  const std::size_t parts = begins.size();
  const std::int32_t columns = parts > 1 ? FirstRecordFields(bytes, start, begins[1]) : 0;
  std::vector<CsvTable> later(parts - 1);  // the field ends and rows of the later parts
  std::vector<std::uint64_t> written(parts, 0);
  std::vector<char> parsed(parts, 0);
  platform::RunParts(parts, parts, [&](std::size_t part, std::size_t, std::size_t) {
    const bool last = part + 1 == parts;
    const std::size_t end = last ? size : begins[part + 1];
    if (part == 0) {
      TableBuilder builder(table);
      builder.ExpectRecordsUpTo(carriageReturns);  // room for every part's fields
      parsed[0] = ParseRange(bytes, start, end, 0, last, builder, &written[0]);
    } else {
      TableBuilder builder(&later[part - 1], columns, begins[part], partCrs[part]);
      parsed[part] =
          ParseRange(bytes, begins[part], end, begins[part], last, builder, &written[part]);
    }
  });
  if (std::find(parsed.begin(), parsed.end(), 0) != parsed.end()) return false;
  // A later part can only be aligned as the first record was: checked here, in case the
  // first part read its first record otherwise.
  if (parts > 1 && table->columns != columns) return false;
  std::uint64_t end = written[0];
  std::int64_t rows = table->rows;
  for (std::size_t part = 1; part < parts; ++part) {
    const std::uint64_t from = begins[part];
    std::memmove(bytes + end, bytes + from, static_cast<std::size_t>(written[part] - from));
    const std::uint64_t shift = from - end;
    const FieldEnds& ends = later[part - 1].fieldEnds;
    for (std::size_t k = 0; k < ends.size(); ++k) table->fieldEnds.push_back(ends[k] - shift);
    rows += later[part - 1].rows;
    end += written[part] - from;
  }
  if (rows > kMaxCount) return false;
  table->rows = static_cast<std::int32_t>(rows);
  table->text.resize(static_cast<std::size_t>(end));
  return true;
}

// A mask of the first `count` bytes (0 to 8) of a word from LoadLittleEndian.
std::uint64_t FirstBytes(int count) {
  return count == 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * count)) - 1;
}

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#define QUILLEX_UTF8_BLOCKS 1

// IsSelfEncodingUtf8 on 16 bytes at a time, for processors with SSSE3 (nearly every x86-64 one):
// each byte is looked at with the three before it. A pair of bytes that no accepted input holds
// has one flag set in all three of these lookups: by the first byte's high nibble, its low
// nibble, and the second byte's high nibble.
namespace pairs {
constexpr char kTooShort = 1 << 0;        // a lead, then no continuation
constexpr char kTooLong = 1 << 1;         // ASCII, then a continuation
constexpr char kOverlong3 = 1 << 2;       // E0, then 80 to 9F
constexpr char kNoLead = 1 << 3;          // F8 to FF, then a continuation: never a lead
constexpr char kOverlong2 = 1 << 5;       // C0 or C1, then a continuation
constexpr char kOverlong4 = 1 << 6;       // F0, then 80 to 8F
constexpr char kTwoContinuations = -128;  // right only as the third or fourth byte
constexpr char kCarry = kTooShort | kTooLong | kTwoContinuations;  // whatever the low nibble
}  // namespace pairs

// Checks the bytes of `data` in whole blocks of 16 and returns how many it checked; `*valid` is
// false when they hold a NUL or a pair no accepted input holds, or a third or fourth byte of a
// sequence that is not a continuation. A sequence cut off at the last block's end is not
// noticed: the caller checks it. Adds the CR and '"' bytes checked to `*counts`.
__attribute__((target("ssse3"))) std::size_t CheckBlocks(const unsigned char* data,
                                                         std::size_t size, bool* valid,
                                                         ByteCounts* counts) {
  using namespace pairs;
  const __m128i byte1High = _mm_setr_epi8(
      kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong,
      kTwoContinuations, kTwoContinuations, kTwoContinuations, kTwoContinuations,
      kTooShort | kOverlong2, kTooShort, kTooShort | kOverlong3, kTooShort | kNoLead | kOverlong4);
  const __m128i byte1Low = _mm_setr_epi8(
      kCarry | kOverlong3 | kOverlong2 | kOverlong4, kCarry | kOverlong2, kCarry, kCarry, kCarry,
      kCarry, kCarry, kCarry, kCarry | kNoLead, kCarry | kNoLead, kCarry | kNoLead,
      kCarry | kNoLead, kCarry | kNoLead, kCarry | kNoLead, kCarry | kNoLead, kCarry | kNoLead);
  constexpr char kContinuation = kTooLong | kOverlong2 | kTwoContinuations | kNoLead;
  const __m128i byte2High =
      _mm_setr_epi8(kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort,
                    kTooShort, kContinuation | kOverlong3 | kOverlong4, kContinuation | kOverlong3,
                    kContinuation, kContinuation, kTooShort, kTooShort, kTooShort, kTooShort);
  const __m128i nibble = _mm_set1_epi8(0x0F);
  const __m128i zero = _mm_setzero_si128();
  const __m128i thirdLead = _mm_set1_epi8(static_cast<char>(0xE0 - 0x80));
  const __m128i fourthLead = _mm_set1_epi8(static_cast<char>(0xF0 - 0x80));
  const __m128i highBit = _mm_set1_epi8(static_cast<char>(0x80));
  const __m128i carriageReturn = _mm_set1_epi8('\r');
  const __m128i quote = _mm_set1_epi8('"');
  __m128i previous = zero;
  __m128i error = zero;
  __m128i crs = zero;  // per byte lane, summed before it can wrap
  __m128i quotes = zero;
  ByteCounts counted;
  auto sum = [&zero](__m128i* lanes) {
    const __m128i sums = _mm_sad_epu8(*lanes, zero);
    *lanes = zero;
    return static_cast<std::uint64_t>(_mm_cvtsi128_si32(sums)) +
           static_cast<std::uint64_t>(_mm_extract_epi16(sums, 4));
  };
  auto sumLanes = [&] {
    counted.carriageReturns += sum(&crs);
    counted.quotes += sum(&quotes);
  };
  int lanesFilled = 0;
  std::size_t i = 0;
  for (; size - i >= 16; i += 16) {
    const __m128i input = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
    const __m128i prev1 = _mm_alignr_epi8(input, previous, 15);
    const __m128i flags = _mm_and_si128(
        _mm_and_si128(_mm_shuffle_epi8(byte1High, _mm_and_si128(_mm_srli_epi16(prev1, 4), nibble)),
                      _mm_shuffle_epi8(byte1Low, _mm_and_si128(prev1, nibble))),
        _mm_shuffle_epi8(byte2High, _mm_and_si128(_mm_srli_epi16(input, 4), nibble)));
    // A continuation after a continuation must be a sequence's third or fourth byte, and those
    // must be continuations: the high bits of both sides have to agree.
    const __m128i third = _mm_subs_epu8(_mm_alignr_epi8(input, previous, 14), thirdLead);
    const __m128i fourth = _mm_subs_epu8(_mm_alignr_epi8(input, previous, 13), fourthLead);
    const __m128i must = _mm_and_si128(_mm_or_si128(third, fourth), highBit);
    error = _mm_or_si128(error, _mm_xor_si128(must, flags));
    error = _mm_or_si128(error, _mm_cmpeq_epi8(input, zero));
    crs = _mm_sub_epi8(crs, _mm_cmpeq_epi8(input, carriageReturn));
    quotes = _mm_sub_epi8(quotes, _mm_cmpeq_epi8(input, quote));
    if (++lanesFilled == 255) {
      sumLanes();
      lanesFilled = 0;
    }
    previous = input;
  }
  sumLanes();
  *valid = _mm_movemask_epi8(_mm_cmpeq_epi8(error, zero)) == 0xFFFF;
  counts->carriageReturns += counted.carriageReturns;
  counts->quotes += counted.quotes;
  return i;
}

bool HasBlockChecks() {
  static const bool kSsse3 = __builtin_cpu_supports("ssse3");
  return kSsse3;
}
#endif

}  // namespace

bool IsSelfEncodingUtf8(const unsigned char* data, std::size_t size, ByteCounts* counts) {
  // Per lead byte: the length of its sequence (0: never a lead) and the lowest second byte of
  // the shortest form. Only shortest forms re-encode to themselves: the decoder turns a longer
  // form into fewer bytes (or into 0), and a stray or cut-off byte into something else again.
  struct Lead {
    unsigned char length;
    unsigned char secondLow;
  };
  static constexpr auto kLeads = [] {
    std::array<Lead, 256> leads{};
    for (int b = 0x01; b < 0x80; ++b) leads[b] = {1, 0};
    for (int b = 0xC2; b <= 0xDF; ++b) leads[b] = {2, 0x80};
    for (int b = 0xE0; b <= 0xEF; ++b) leads[b] = {3, 0x80};
    for (int b = 0xF0; b <= 0xF7; ++b) leads[b] = {4, 0x80};
    leads[0xE0].secondLow = 0xA0;
    leads[0xF0].secondLow = 0x90;
    return leads;
  }();
  auto continuations = [data](std::size_t at, int count) {
    unsigned char all = 0x80;
    unsigned char any = 0;
    for (int k = 0; k < count; ++k) {
      all &= data[at + k];
      any |= data[at + k];
    }
    return all == 0x80 && (any & 0x40) == 0;  // every byte 10xxxxxx
  };
  std::size_t i = 0;
  ByteCounts counted;
#ifdef QUILLEX_UTF8_BLOCKS
  if (HasBlockChecks()) {
    bool valid = true;
    i = CheckBlocks(data, size, &valid, &counted);
    if (!valid) return false;
    // The sequence the blocks end in may run on, or be cut off: checked whole from its lead
    // below. Its bytes before `i` are a lead and continuations, so no byte is counted twice.
    std::size_t lead = i;
    for (int back = 0; back < 4 && lead > 0; ++back) {
      if ((data[--lead] & 0xC0) != 0x80) break;
    }
    if (lead < i && data[lead] >= 0xC0) i = lead;
  }
#endif
  while (i < size) {
    // Eight bytes at a time: all of them while they are ASCII, else the ASCII bytes before the
    // first other one (in mixed text most words hold one, and byte by byte those before it
    // would cost as much as the sequence).
    while (size - i >= 8) {
      const std::uint64_t v = LoadLittleEndian(reinterpret_cast<const char*>(data + i));
      const std::uint64_t high = v & kHighs;
      const int ascii = high == 0 ? 8 : std::countr_zero(high) / 8;
      const std::uint64_t taken = FirstBytes(ascii);
      if ((MatchBytesExactly(v, 0) & taken) != 0) return false;  // a NUL byte
      counted.carriageReturns +=
          static_cast<std::uint64_t>(CountMarked(MatchBytesExactly(v, '\r') & taken));
      counted.quotes += static_cast<std::uint64_t>(CountMarked(MatchBytesExactly(v, '"') & taken));
      i += static_cast<std::size_t>(ascii);
      if (ascii < 8) break;
    }
    if (i == size) break;
    const unsigned char lead = data[i];
    // The sequences of most text, checked straight: two bytes (Latin, Cyrillic) and three
    // (CJK); the table below gives the same answer, more slowly.
    if (lead >= 0xE0 && lead <= 0xEF && size - i >= 3) {
      const unsigned char second = data[i + 1];
      if ((second & 0xC0) != 0x80 || (data[i + 2] & 0xC0) != 0x80) return false;
      if (lead == 0xE0 && second < 0xA0) return false;  // overlong
      i += 3;
      continue;
    }
    if (lead >= 0xC2 && lead <= 0xDF && size - i >= 2) {
      if ((data[i + 1] & 0xC0) != 0x80) return false;
      i += 2;
      continue;
    }
    const Lead form = kLeads[lead];
    if (form.length == 1) {
      counted.carriageReturns += lead == '\r';
      counted.quotes += lead == '"';
      ++i;
      continue;
    }
    if (form.length == 0 || size - i < form.length) return false;  // NUL, stray or cut off
    if (data[i + 1] < form.secondLow || !continuations(i + 1, form.length - 1)) return false;
    i += form.length;
  }
  counts->carriageReturns += counted.carriageReturns;
  counts->quotes += counted.quotes;
  return true;
}

bool IsSelfEncodingUtf8InParts(const unsigned char* data, std::size_t size, std::size_t parts,
                               std::vector<CheckedPart>* checked) {
  // Each part after the first starts at a byte that is not a continuation byte, so the parts
  // hold whole sequences exactly when the whole does: one across a part's start is cut off.
  parts = std::max<std::size_t>(parts, 1);
  checked->assign(parts, CheckedPart());
  for (std::size_t k = 1; k < parts; ++k) {
    std::size_t at = std::max(size / parts * k, (*checked)[k - 1].begin);
    while (at < size && (data[at] & 0xC0) == 0x80) ++at;
    (*checked)[k].begin = at;
  }
  std::vector<char> selfEncoding(parts, 0);
  platform::RunParts(parts, parts, [&](std::size_t part, std::size_t, std::size_t) {
    CheckedPart& piece = (*checked)[part];
    const std::size_t end = part + 1 < parts ? (*checked)[part + 1].begin : size;
    selfEncoding[part] = IsSelfEncodingUtf8(data + piece.begin, end - piece.begin, &piece.counts);
  });
  return std::find(selfEncoding.begin(), selfEncoding.end(), 0) == selfEncoding.end();
}

std::uint64_t FieldEnds::WideAt(std::size_t k) const {
  const auto high = static_cast<std::uint64_t>(std::upper_bound(wraps_.begin(), wraps_.end(), k) -
                                               wraps_.begin());
  return high << 32 | low_[k];
}

bool CsvTable::Load(const platform::Path& path) {
  std::string contents;
  if (!ReadWholeFile(path, &contents)) return false;
  return ParseBytes(std::move(contents));
}

bool CsvTable::ParseBytes(std::string contents) {
  const std::size_t parts = platform::WorkersFor(contents.size());
  return ParseBytesInParts(std::move(contents), parts);
}

bool CsvTable::ParseBytesInParts(std::string contents, std::size_t parts) {
  const auto* data = reinterpret_cast<const unsigned char*>(contents.data());
  CodePointReader reader = CodePointReader::ForBuffer(data, contents.size());
  const std::size_t start = static_cast<std::size_t>(reader.position);
  std::vector<CheckedPart> checked;
  if (reader.encoding == TextEncoding::Utf8 &&
      IsSelfEncodingUtf8InParts(data + start, contents.size() - start, parts, &checked)) {
    text = std::move(contents);
    return ParseInPlace(this, start, checked);
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

}  // namespace quillex
