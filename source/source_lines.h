// The lines of source output: identifier lines, language lines and message lines with every byte
// of a message escaped. The include files and the list commands of replace files share them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "input/csv_table.h"

namespace quillex {

// The table is read as source output sees it: row 0 holds the language IDs in columns 1 and up,
// column 0 the identifiers, rows 1 and up the messages. A row with an empty identifier is skipped
// everywhere, so line n of every message table belongs to line n of the identifier list.
//
// Every line starts with `indentation` and ends with "\n"; the writers append to `out`.

/// "IDENTIFIER,\n" for each message row, in table order.
void WriteIdentifierLines(std::string& out, const CsvTable& table, const std::string& indentation);

/// "LANGUAGE,\n" for each column from 1 on, also for an empty language ID.
void WriteLanguageLines(std::string& out, const CsvTable& table, const std::string& indentation);

/// "/* IDENTIFIER */ \"\xHH...\",\n" for each message row: the message of `column`, or of column
/// 1 when that is empty, with every byte written as an upper-case hexadecimal escape. With
/// `flush`, hands `out` over (to empty it) whenever it holds a few hundred kilobytes, and once at
/// the end: the lines, four times the size of their texts, are then never held whole.
void WriteMessageLines(std::string& out, const CsvTable& table, std::int32_t column,
                       const std::string& indentation,
                       const std::function<void(std::string&)>& flush = {});

/// Appends every byte of `bytes` as `\xHH`, with upper-case hexadecimal digits.
void AppendHexEscaped(std::string* text, std::string_view bytes);

/// `languageId` with "A" to "Z" lower-cased; every other byte, non-ASCII ones included, is kept.
std::string LowerCaseLanguageId(std::string_view languageId);

}  // namespace quillex
