// The indexed pipeline: the first byte chooses --indexing or --indexing-all, the rest is the CSV
// file. A run fails when the bytes do not parse as CSV; a run leaves no temporary file; a run that
// succeeds leaves the binary file, both hash lists and one character list per table (just
// "_using_all.json" for --indexing-all), and its binary file holds 16-bit unit strings, each
// ending in 0xFFFF inside the pool.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

#include "fuzz/pipeline_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quillex;
  using namespace quillex::fuzz;
  if (size == 0) return 0;
  const IndexingMode indexing =
      data[0] % 2 == 0 ? IndexingMode::PerLanguage : IndexingMode::AllLanguages;
  const std::string csv(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::uint32_t seed = kDefaultHashSeed ^ static_cast<std::uint32_t>(size * 2654435761u);
  const bool succeeded = RunBinaryOutput(csv, indexing, seed);
  if (!ParsesAsCsv(csv)) Check(!succeeded);
  std::set<std::string> lists;
  for (const std::string& name : Outputs()) {
    if (name == "msg.bin" || name == "msg_id_hash.inc" || name == "msg_lang_hash.inc") continue;
    // Anything else is a character list: no temporary file is ever left.
    Check(name.rfind("msg_using_", 0) == 0 && name.size() > 15 &&
          name.compare(name.size() - 5, 5, ".json") == 0);
    lists.insert(name);
  }
  if (!succeeded) return 0;
  const std::uint64_t languages =
      CheckBinaryFile(ReadOutput("msg.bin"), seed, binary_format::PoolKind::UnitStrings);
  if (indexing == IndexingMode::AllLanguages) {
    Check(lists == std::set<std::string>{"msg_using_all.json"});
  } else {
    Check(lists.size() <= languages);  // languages whose keys lower-case alike share a file
  }
  return 0;
}
