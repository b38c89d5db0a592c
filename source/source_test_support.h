// Helpers shared by the unit tests of source output: tables built in memory, streams read back.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "input/csv_table.h"

namespace quillex {

/// A table of `columns` columns holding `fields` row by row (the first row is the header).
inline CsvTable MakeTable(std::int32_t columns, std::vector<std::string> fields) {
  CsvTable table;
  table.columns = columns;
  table.rows = static_cast<std::int32_t>(fields.size()) / columns;
  table.fields = std::move(fields);
  return table;
}

/// Everything written to `stream` so far, read from its start; closes the stream.
inline std::string ReadBackAndClose(std::FILE* stream) {
  std::string text;
  std::rewind(stream);
  char block[4096];
  std::size_t n;
  while ((n = std::fread(block, 1, sizeof block, stream)) > 0) text.append(block, n);
  std::fclose(stream);
  return text;
}

}  // namespace quillex
