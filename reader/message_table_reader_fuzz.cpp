// libFuzzer target: any bytes give an error or a table whose every message can be read, never a
// read outside the bytes (the sanitizers watch).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "quillex/message_table_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // An exact-size copy, so that a read one byte past the end is caught.
  const std::vector<std::uint8_t> bytes(data, data + size);
  quillex::MessageTableReader table;
  if (table.Load(bytes.data(), bytes.size()) != quillex::ReadStatus::Ok) {
    if (table.MessageCount() != 0 || table.LanguageCount() != 0) std::abort();
    return 0;
  }
  for (std::size_t j = 0; j < table.MessageCount(); ++j) {
    // The search finds the first of equal hashes.
    if (table.FindMessage(table.MessageHash(j)) > j) std::abort();
    for (std::size_t i = 0; i < table.LanguageCount(); ++i) {
      volatile std::size_t sink = table.Text(i, j).size();
      const quillex::UnitString units = table.Units(i, j);
      for (std::size_t k = 0; k < units.size(); ++k) sink = sink + units[k];
    }
  }
  return 0;
}
