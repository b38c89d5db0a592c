// The CSV reader over raw bytes: whatever the bytes, parsing ends; the in-place byte path, whole
// or split in parts on threads, and the code point path give the same table (or all fail); a
// table they accept, written back as CSV in each of the five encodings (with its byte order
// mark), parses to the same table.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "input/csv_table.h"
#include "input/text_decoder.h"

namespace {

using quillex::CodePointReader;
using quillex::CsvTable;
using quillex::TextEncoding;

std::vector<std::uint32_t> CodePoints(std::string_view utf8) {
  CodePointReader reader{reinterpret_cast<const unsigned char*>(utf8.data()), utf8.size(),
                         TextEncoding::Utf8, 0, false};
  std::vector<std::uint32_t> out;
  while (!reader.AtEnd()) out.push_back(reader.Next());
  return out;
}

// The table as CSV code points: every field quoted, records joined by CR LF, none after the last
// (a final CR LF would add a record).
std::vector<std::uint32_t> WriteBack(const CsvTable& table) {
  std::vector<std::uint32_t> text;
  for (std::size_t i = 0; i < table.FieldCount(); ++i) {
    if (i > 0 && i % static_cast<std::size_t>(table.columns) == 0) {
      text.push_back('\r');
      text.push_back('\n');
    } else if (i > 0) {
      text.push_back(',');
    }
    text.push_back('"');
    for (std::uint32_t c : CodePoints(table.Field(i))) {
      if (c == '"') text.push_back('"');
      text.push_back(c);
    }
    text.push_back('"');
  }
  return text;
}

void PutUnit(std::string* out, std::uint32_t unit, int bytes, bool bigEndian) {
  for (int i = 0; i < bytes; ++i) {
    int shift = bigEndian ? 8 * (bytes - 1 - i) : 8 * i;
    out->push_back(static_cast<char>((unit >> shift) & 0xFF));
  }
}

// The code points in `encoding` with its byte order mark; false when UTF-16 cannot carry them.
bool Encode(const std::vector<std::uint32_t>& text, TextEncoding encoding, std::string* out) {
  const bool big = encoding == TextEncoding::Utf16BE || encoding == TextEncoding::Utf32BE;
  switch (encoding) {
    case TextEncoding::Utf8:
      *out = "\xEF\xBB\xBF";
      for (std::uint32_t c : text) quillex::AppendUtf8(out, c);
      return true;
    case TextEncoding::Utf16BE:
    case TextEncoding::Utf16LE:
      PutUnit(out, 0xFEFF, 2, big);
      for (std::uint32_t c : text) {
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
        if (c >= 0x10000) {
          PutUnit(out, 0xD800 + ((c - 0x10000) >> 10), 2, big);
          PutUnit(out, 0xDC00 + ((c - 0x10000) & 0x3FF), 2, big);
        } else {
          PutUnit(out, c, 2, big);
        }
      }
      return true;
    case TextEncoding::Utf32BE:
    case TextEncoding::Utf32LE:
      PutUnit(out, 0xFEFF, 4, big);
      for (std::uint32_t c : text) PutUnit(out, c, 4, big);
      return true;
  }
  return false;
}

bool Parse(const std::string& bytes, CsvTable* table) {
  auto reader = CodePointReader::ForBuffer(reinterpret_cast<const unsigned char*>(bytes.data()),
                                           bytes.size());
  return table->Parse(reader);
}

bool SameTable(const CsvTable& a, const CsvTable& b) {
  if (a.columns != b.columns || a.rows != b.rows || a.FieldCount() != b.FieldCount()) return false;
  for (std::size_t i = 0; i < a.FieldCount(); ++i) {
    if (a.Field(i) != b.Field(i)) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  CsvTable table;
  const bool parsed = Parse(bytes, &table);
  CsvTable fast;
  if (fast.ParseBytes(bytes) != parsed) std::abort();
  CsvTable split;
  if (split.ParseBytesInParts(bytes, 2 + size % 3) != parsed) std::abort();
  if (!parsed) return 0;
  if (!SameTable(table, fast) || !SameTable(table, split)) std::abort();
  if (table.columns < 1 || table.rows < 1 ||
      table.FieldCount() != static_cast<std::size_t>(table.columns) * table.rows) {
    std::abort();  // the table's shape is its contract
  }
  const std::vector<std::uint32_t> text = WriteBack(table);
  for (TextEncoding encoding : {TextEncoding::Utf8, TextEncoding::Utf16BE, TextEncoding::Utf16LE,
                                TextEncoding::Utf32BE, TextEncoding::Utf32LE}) {
    std::string encoded;
    if (!Encode(text, encoding, &encoded)) continue;
    CsvTable again;
    if (!Parse(encoded, &again) || !SameTable(again, table)) std::abort();
  }
  return 0;
}
