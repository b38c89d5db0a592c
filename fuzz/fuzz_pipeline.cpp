// The whole default pipeline, from CSV bytes to the output files in a temporary folder. A run
// fails when the bytes do not parse as CSV; a run leaves no temporary file; a run that succeeds
// leaves the three outputs, and its binary file has the size and markers its layout demands,
// with every offset pointing at a NUL-terminated text inside the pool.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

#include "fuzz/pipeline_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quillex;
  using namespace quillex::fuzz;
  const std::string csv(reinterpret_cast<const char*>(data), size);
  // The seed varies with the input, so that markers and hashes are checked under many seeds.
  const std::uint32_t seed = kDefaultHashSeed ^ static_cast<std::uint32_t>(size * 2654435761u);
  const bool succeeded = RunBinaryOutput(csv, IndexingMode::NoIndexing, seed);
  if (!ParsesAsCsv(csv)) Check(!succeeded);
  const std::set<std::string> all = {"msg.bin", "msg_id_hash.inc", "msg_lang_hash.inc"};
  const std::set<std::string> outputs = Outputs();
  if (!succeeded) {
    for (const std::string& name : outputs) Check(all.count(name) == 1);  // no temporary file
    return 0;
  }
  Check(outputs == all);
  CheckBinaryFile(ReadOutput("msg.bin"), seed, binary_format::PoolKind::Utf8Text);
  return 0;
}
