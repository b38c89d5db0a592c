// Character usage lists: one JSON file per character table, listing every character of every
// typeface with its code point, text, index and use count, so that a reader of the binary file
// can turn indexes back into characters.
#pragma once

#include <string>
#include <string_view>

#include "binary/character_table.h"
#include "platform/platform.h"

namespace quillex {

/// The JSON document of `table`, as written to its file: an object with one member per typeface
/// whose value is the array of its characters in index order ({"code", "index", "name",
/// "useCount"}), or null for a list without characters; the document is null for a table
/// without lists.
std::string CharacterListJson(const CharacterTable& table);

/// The file suffix of the table `key`: "_using_", the key with A-Z lowered, ".json".
std::string CharacterListSuffix(std::string_view key);

/// Writes the list of every table to `base` + CharacterListSuffix(key), each completely or not
/// at all, and prints "Output list of using characters: {}" once a file is in place. At the first
/// file that cannot be written, or whose key holds a path separator (it names no file), prints
/// error "Failed to output the list of using characters: {}"
/// (after "Failed to write file: {}" when the writing itself failed) and returns false; the
/// files written before it stay, and none after it is written. The documents are made on up to
/// `workers` threads (0: as many as the lists are worth); the files and lines are the same.
[[nodiscard]] bool WriteCharacterLists(const CharacterTables& tables, const platform::Path& base,
                                       std::size_t workers = 0);

}  // namespace quillex
