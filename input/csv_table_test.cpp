#include "input/csv_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace quillex {
namespace {

using Fields = std::vector<std::string>;
using namespace std::string_literals;

Fields FieldsOf(const CsvTable& table) {
  Fields fields;
  for (std::size_t k = 0; k < table.FieldCount(); ++k) fields.emplace_back(table.Field(k));
  return fields;
}

// Parses `bytes` as a file's contents, byte order mark included, through the exact code point
// path.
bool Parse(const std::string& bytes, CsvTable* table) {
  CodePointReader reader = CodePointReader::ForBuffer(
      reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  return table->Parse(reader);
}

// Parses `bytes` through both paths and checks that they agree; returns the ParseBytes result.
bool ParseBoth(const std::string& bytes, CsvTable* table, std::size_t parts = 0) {
  CsvTable exact;
  const bool exactResult = Parse(bytes, &exact);
  const bool result =
      parts == 0 ? table->ParseBytes(bytes) : table->ParseBytesInParts(bytes, parts);
  EXPECT_EQ(result, exactResult) << testing::PrintToString(bytes) << " in " << parts;
  if (result && exactResult) {
    EXPECT_EQ(FieldsOf(*table), FieldsOf(exact)) << testing::PrintToString(bytes);
    EXPECT_EQ(table->columns, exact.columns) << testing::PrintToString(bytes);
    EXPECT_EQ(table->rows, exact.rows) << testing::PrintToString(bytes);
  }
  return result;
}

TEST(CsvTableTest, Grammar) {
  const struct {
    std::string bytes;
    Fields fields;
    int columns, rows;
  } cases[] = {
      {"a,b\r\nc,d", {"a", "b", "c", "d"}, 2, 2},
      {"a,b\r\nc,d\r\n", {"a", "b", "c", "d", "", ""}, 2, 3},  // final CR LF: empty padded row
      {"", {""}, 1, 1},
      {"\xEF\xBB\xBF", {""}, 1, 1},
      {"\"x,\"\"y\"\"\"", {"x,\"y\""}, 1, 1},
      {"\"\",\"a\r\nb\",\"\"\"\"\r\nz", {"", "a\r\nb", "\"", "z", "", ""}, 3, 2},
      {"ab\"c,d\"", {"abc,d"}, 1, 1},  // a quote may open in mid-field
      {"\"a\"\r\n", {"a", ""}, 1, 2},
      {" a\nb\t, ", {" a\nb\t", " "}, 2, 1},  // nothing trimmed, a lone LF is text
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.bytes));
    CsvTable table;
    ASSERT_TRUE(ParseBoth("stale,table\r\nx", &table));
    ASSERT_TRUE(ParseBoth(c.bytes, &table));
    EXPECT_EQ(FieldsOf(table), c.fields);
    EXPECT_EQ(table.columns, c.columns);
    EXPECT_EQ(table.rows, c.rows);
  }
}

// A lone CR, NUL, overlong NUL and cut-off units also fail in the bad-csv-* cases.
TEST(CsvTableTest, MalformedInputFails) {
  const std::string utf16 = "\xFF\xFE", utf32 = "\xFF\xFE\0\0"s;
  const std::string cases[] = {
      // CR without LF; anything but '"', ',', CR LF or the end after a closing quote
      "a\r", "a,\"b\"\rc", "\"ab\"c", "\"ab\" ", "\"ab\"\n",
      // end inside quotes
      "a,\"open",
      // decoding errors in every state: invalid lead byte, UTF-32 bit 31
      "a\xFF", "\"a\x80\"", "\"a\"\xFF", "a\r\xFF", utf32 + "\0\0\0\x80"s,
      // a character that decodes to 0 never passes as the end of input
      "\"a\0\""s, "\"a\"\0"s, "a\r\0"s, "a,b\xC0", utf16 + "a\0\0\0"s, utf32 + "a\0\0\0\0\0\0\0"s};
  for (const std::string& bytes : cases) {
    CsvTable table;
    EXPECT_FALSE(ParseBoth(bytes, &table));
  }
}

TEST(CsvTableTest, CellOutOfRangeIsEmpty) {
  CsvTable table;
  ASSERT_TRUE(ParseBoth("a,b\r\nc,d", &table));
  EXPECT_EQ(table.Cell(1, 0), "c");
  for (auto [row, column] : {std::pair{-1, 0}, {0, -1}, {2, 0}, {0, 2}, {INT32_MIN, INT32_MAX}}) {
    EXPECT_EQ(table.Cell(row, column), "") << row << "," << column;
  }
  EXPECT_EQ(CsvTable().Cell(0, 0), "");
}

// Decodes and re-encodes `bytes` as the exact path does; false when a character decodes to 0 or
// to an error, which the CSV reader rejects.
bool ReEncode(const std::string& bytes, std::string* out) {
  CodePointReader reader;
  reader.data = reinterpret_cast<const unsigned char*>(bytes.data());
  reader.size = bytes.size();
  out->clear();
  while (!reader.AtEnd()) {
    std::uint32_t codePoint = reader.Next();
    if (codePoint == 0 || (codePoint & kDecodeError) != 0) return false;
    AppendUtf8(out, codePoint);
  }
  return true;
}

// The check accepts `bytes` exactly when they re-encode to themselves, counting their CR and quote
// bytes then.
void ExpectSelfEncodingAsModel(const std::string& bytes) {
  std::string reEncoded;
  const bool same = ReEncode(bytes, &reEncoded) && reEncoded == bytes;
  ByteCounts counts;
  ASSERT_EQ(IsSelfEncodingUtf8(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                               &counts),
            same)
      << testing::PrintToString(bytes);
  if (same) {
    EXPECT_EQ(counts.carriageReturns, std::count(bytes.begin(), bytes.end(), '\r'));
    EXPECT_EQ(counts.quotes, std::count(bytes.begin(), bytes.end(), '"'));
  }
}

// Accepted input must re-encode to itself, or the byte path would differ from the code point
// path; every well-formed sequence must be accepted, or nothing would take the byte path.
TEST(SelfEncodingUtf8Test, AcceptsExactlyWhatReEncodesToItself) {
  std::mt19937 random(13);
  for (int round = 0; round < 20000; ++round) {
    // ASCII and CR first, so that the bytes after it start at every offset within a word and
    // a block of 16.
    std::string bytes(random() % 40, 'x');
    for (char& byte : bytes) byte = "\rx\"x"[random() % 4];
    for (int n = static_cast<int>(random() % 12); n > 0; --n) {
      // Bytes near every boundary of the UTF-8 forms, then and now a whole character.
      static const unsigned char kBytes[] = {0x00, 0x0D, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F,
                                             0xA0, 0xBF, 0xC0, 0xC1, 0xC2, 0xDF, 0xE0, 0xED,
                                             0xEF, 0xF0, 0xF4, 0xF7, 0xF8, 0xFF};
      if (random() % 4 == 0) {
        std::uint32_t codePoint = 1 + random() % 0x1FFFFF;
        AppendUtf8(&bytes, codePoint >> (random() % 21));
      } else {
        bytes.push_back(static_cast<char>(kBytes[random() % sizeof kBytes]));
        // Half the time continuation bytes after it, up to a whole sequence's worth.
        for (int k = random() % 2 == 0 ? static_cast<int>(random() % 4) : 0; k > 0; --k) {
          bytes.push_back(static_cast<char>(kBytes[4 + random() % 6]));  // 0x80 to 0xBF
        }
      }
    }
    ASSERT_NO_FATAL_FAILURE(ExpectSelfEncodingAsModel(bytes));
  }
}

// Every three bytes near the edges of the forms, and four from a lead, against the model: across
// the end of the first block of 16, and at the input's end (a sequence cut off there).
TEST(SelfEncodingUtf8Test, ShortSequencesAcrossBlockEnds) {
  static const unsigned char kBytes[] = {0x00, 0x0D, 0x22, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F,
                                         0xA0, 0xBF, 0xC0, 0xC1, 0xC2, 0xDF, 0xE0, 0xE1, 0xED,
                                         0xEF, 0xF0, 0xF1, 0xF4, 0xF5, 0xF7, 0xF8, 0xFF};
  static const unsigned char kAfterLead[] = {0x41, 0x80, 0x8F, 0x90, 0xA0, 0xBF, 0xC2};
  std::vector<std::string> probes;
  for (unsigned char a : kBytes) {
    for (unsigned char b : kBytes) {
      for (unsigned char c : kBytes) probes.push_back({char(a), char(b), char(c)});
    }
    for (unsigned char b : kAfterLead) {
      for (unsigned char c : kAfterLead) {
        for (unsigned char d : kAfterLead) probes.push_back({char(a), char(b), char(c), char(d)});
      }
    }
  }
  for (const std::string& probe : probes) {
    for (const std::size_t at : {12u, 13u, 14u, 15u, 16u, 33u}) {
      std::string bytes(37, '\r');
      for (std::size_t k = 1; k < bytes.size(); k += 3) bytes[k] = '"';
      bytes.replace(at, probe.size(), probe);
      if (at == 33) bytes.resize(at + probe.size());
      ASSERT_NO_FATAL_FAILURE(ExpectSelfEncodingAsModel(bytes));
    }
  }
}

// The counts are kept in a byte per lane of a block: runs of a counted byte over 255 blocks long
// must be summed before a lane wraps.
TEST(SelfEncodingUtf8Test, CountsLongRunsOfCountedBytes) {
  for (const std::size_t run : {std::size_t{16 * 255}, std::size_t{16 * 256}, std::size_t{70000}}) {
    const std::string bytes = std::string(run, '"') + std::string(run, '\r') + "\n";
    ByteCounts counts;
    ASSERT_TRUE(IsSelfEncodingUtf8(reinterpret_cast<const unsigned char*>(bytes.data()),
                                   bytes.size(), &counts));
    EXPECT_EQ(counts.quotes, run);
    EXPECT_EQ(counts.carriageReturns, run);
  }
}

// In parts on threads, a buffer gets the answer and the counts of one pass, whatever lies across
// the places where parts may start: a whole or a cut-off sequence, a stray continuation byte, a
// NUL, a CR LF, or continuation bytes to the end.
TEST(SelfEncodingUtf8Test, PartsAgreeWithOnePass) {
  const std::size_t size = std::size_t{9} << 9;  // whole halves, thirds and quarters
  const std::string probes[] = {"\xC3\xA9",     "\xE6\xBC\xA2", "\xF0\x9F\x98\x80", "\xE6\xBC",
                                "\xBC\xA2",     "\xC3",         "\xE0\x80\x80",     "\0"s,
                                "\r\n\xC3\xA9", "\xF8\x80\x80"};
  std::string bytes(size, 'a');
  for (std::size_t at = 50; at < size; at += 97) bytes[at] = '\r';
  for (std::size_t at = 20; at < size; at += 89) bytes[at] = '"';
  const std::string plain = bytes;
  for (const std::string& probe : probes) {
    for (std::size_t shift = 0; shift < probe.size(); ++shift) {
      bytes = plain;
      for (const std::size_t start : {size / 4, size / 3, size / 2, size / 3 * 2, size / 4 * 3}) {
        bytes.replace(start - shift, probe.size(), probe);
      }
      for (const bool tail : {false, true}) {
        if (tail) std::fill(bytes.begin() + size / 2, bytes.end(), '\x80');
        const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
        ByteCounts onePass;
        const bool whole = IsSelfEncodingUtf8(data, size, &onePass);
        for (std::size_t parts = 2; parts <= 4; ++parts) {
          std::vector<CheckedPart> checked;
          ASSERT_EQ(IsSelfEncodingUtf8InParts(data, size, parts, &checked), whole)
              << testing::PrintToString(probe) << " shifted " << shift << (tail ? ", tail" : "")
              << " in " << parts;
          if (!whole) continue;
          EXPECT_EQ(onePass.carriageReturns, std::count(bytes.begin(), bytes.end(), '\r'));
          EXPECT_EQ(onePass.quotes, std::count(bytes.begin(), bytes.end(), '"'));
          ASSERT_EQ(checked.size(), parts);
          ByteCounts sum;
          for (std::size_t k = 0; k < parts; ++k) {
            // Each part begins at the first byte from its share on that is not a continuation.
            const std::size_t begin = checked[k].begin;
            const std::size_t share = size / parts * k;
            ASSERT_GE(begin, share);
            for (std::size_t at = share; at < begin; ++at) EXPECT_EQ(data[at] & 0xC0, 0x80);
            if (begin < size) {
              EXPECT_NE(data[begin] & 0xC0, 0x80);
            }
            sum.carriageReturns += checked[k].counts.carriageReturns;
            sum.quotes += checked[k].counts.quotes;
          }
          EXPECT_EQ(sum.carriageReturns, onePass.carriageReturns);
          EXPECT_EQ(sum.quotes, onePass.quotes);
        }
      }
    }
  }
}

// Cases at the edges between the byte path and the code point path: the special bytes next to
// characters of every length, broken sequences (which take the code point path), every grammar
// failure and every encoding. Both paths must give the same table or both fail.
TEST(CsvTableTest, BytePathMatchesCodePointPath) {
  const std::string utf16le = "\xFF\xFE", utf32le = "\xFF\xFE\0\0"s, mark = "\xEF\xBB\xBF";
  const std::string pieces[] = {
      ",", "\"", "\"\"", "\r\n", "\r", "\n", "a", " ", "\x7F", "\xC2\x80", "\xDF\xBF",
      "\xE0\xA0\x80", "\xEF\xBF\xBF", "\xF0\x90\x80\x80", "\xF7\xBF\xBF\xBF",
      "\xC1\xA2",  // overlong '"': the code point path reads a quote here
      "\xC0\xAC",  // overlong ','
      "\xC3\x22",  // a quote swallowed as a continuation byte
      "\xE0\x80\x8D", "\xC3", "\x80", "\xFF", "\0"s, "\xED\xA0\x80",
  };
  CsvTable table;
  for (const std::string& prefix : {""s, mark, "x"s, "12345678"s}) {
    for (const std::string& a : pieces) {
      for (const std::string& b : pieces) {
        for (const std::string& c : pieces) {
          ParseBoth(prefix + a + b + c, &table);
          ParseBoth(prefix + "\"" + a + b + c, &table);
          ParseBoth(prefix + "I,e,j\r\n" + a + b + "," + c, &table);
        }
      }
    }
  }
  for (const std::string& bytes : {utf16le + "a\0,\0\"\0\r\0\n\0\"\0"s, utf16le + "a"s,
                                   "\xFE\xFF\0a\0,\0\r\0\n"s, utf32le + "a\0\0\0,\0\0\0"s,
                                   "\0\0\xFE\xFF\0\0\0a"s, mark, mark + mark}) {
    ParseBoth(bytes, &table);
  }
}

// Random catalogs from pieces that stress the grammar and the decoder, against the code point
// path as the model; some split in parts, which then begin anywhere: inside quotes, at a doubled
// quote, a lone CR, a broken sequence, or with no record after them.
TEST(CsvTableTest, BytePathMatchesCodePointPathOnRandomInput) {
  static const std::string kPieces[] = {
      ",", ",", "\"", "\"", "\r\n", "\r\n", "\n", "\r", "id", "text", " ", "\xC3\xA9",
      "\xE6\xBC\xA2", "\xF0\x9F\x98\x80", "<#red>", "{0}", "\xC3", "\x80", "\xC1\xA2", "\0"s,
  };
  std::mt19937 random(7);
  CsvTable table;
  int parsed = 0;
  for (int round = 0; round < 20000; ++round) {
    std::string bytes = random() % 8 == 0 ? "\xEF\xBB\xBF" : "";
    const int brokenOdds = random() % 2 == 0 ? 17 : 0;  // half the inputs stay well formed
    for (int n = static_cast<int>(random() % 40); n > 0; --n) {
      std::size_t pick = random() % std::size(kPieces);
      if (pick >= std::size(kPieces) - 4 && (brokenOdds == 0 || random() % brokenOdds != 0)) {
        pick = 0;
      }
      bytes += kPieces[pick];
    }
    if (ParseBoth(bytes, &table)) ++parsed;
    if (round % 8 == 0) ParseBoth(bytes, &table, 2 + static_cast<std::size_t>(round / 8 % 3));
  }
  EXPECT_GT(parsed, 2000);  // the cases must not all be grammar failures
}

// A header of many languages above short rows: every row is padded to the header's width, and
// each padding cell costs one field end, not a string.
TEST(CsvTableTest, ManyShortRowsStayCheap) {
  std::string csv = "ID";
  for (int language = 0; language < 2000; ++language) csv += ",l" + std::to_string(language);
  for (int row = 0; row < 2000; ++row) csv += "\r\nM" + std::to_string(row) + ",hi";
  CsvTable table;
  ASSERT_TRUE(table.ParseBytes(csv));
  EXPECT_EQ(table.rows, 2001);
  EXPECT_EQ(table.FieldCount(), 2001u * 2001u);
  EXPECT_EQ(table.Cell(2000, 0), "M1999");
  EXPECT_EQ(table.Cell(2000, 1), "hi");
  EXPECT_EQ(table.Cell(2000, 2), "");
  EXPECT_LE(table.fieldEnds.capacity(), 2u * table.FieldCount());
}

// Positions kept at 4 bytes read back as the 64-bit ones a plain list holds, across any number
// of 4 GiB steps, single or skipped at once, by one position or by a run of padding.
TEST(CsvTableTest, FieldEndsKeepTheHighBits) {
  std::mt19937_64 random(7);
  for (int round = 0; round < 200; ++round) {
    FieldEnds ends;
    std::vector<std::uint64_t> model;
    std::uint64_t end = 0;
    for (int n = static_cast<int>(random() % 60); n > 0; --n) {
      switch (random() % 4) {
        case 0:
          end += random() % 3;
          break;
        case 1:
          end += (random() % 3) << 32;  // to, or over, the next steps
          break;
        case 2:
          end = (end | 0xFFFFFFFFull) + random() % 2;  // just below or at a step
          break;
        default:
          end += random() % (1ull << 33);
          break;
      }
      if (random() % 3 == 0) {
        const std::size_t count = model.size() + random() % 4;
        ends.resize(count, end);
        model.resize(count, end);
      } else {
        ends.push_back(end);
        model.push_back(end);
      }
    }
    ASSERT_EQ(ends.size(), model.size());
    for (std::size_t k = 0; k < model.size(); ++k) {
      ASSERT_EQ(ends[k], model[k]) << round << " " << k;
    }
  }
}

}  // namespace
}  // namespace quillex
