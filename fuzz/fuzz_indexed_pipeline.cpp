// The indexed pipeline: the first byte chooses --indexing or --indexing-all, the rest is the CSV
// file. A run fails when the bytes do not parse as CSV; a run leaves no temporary file; a run that
// succeeds leaves the binary file, both hash lists and one character list per table (just
// "_using_all.json" for --indexing-all), and its binary file holds 16-bit unit strings, each
// ending in 0xFFFF inside the pool. Counted and encoded on one thread and handed over in order,
// or on three and placed out of order, the character tables and the pool's bytes are the same.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

#include "binary/character_table.h"
#include "binary/indexed_pool.h"
#include "fuzz/pipeline_check.h"
#include "input/message_table.h"

namespace {

using namespace quillex;

// The character tables and pool bytes of `table` with `workers` threads, handed over in order or
// `placed`; false when either pass fails.
bool EncodeWith(const MessageTable& table, IndexingMode indexing, std::size_t workers, bool placed,
                CharacterTables* tables, std::string* bytes) {
  IndexedPoolPlan plan;
  MessagePool pool;
  if (!BuildCharacterTables(
          table, indexing, tables, [](const IndexingFault&) {}, &plan, workers) ||
      !PlanIndexedPool(table, indexing, *tables, &plan, &pool)) {
    return false;
  }
  if (!placed) {
    return pool.produce(pool.offsets, [bytes](std::string_view piece) { bytes->append(piece); });
  }
  bytes->assign(PoolSize(pool), '\0');
  std::uint64_t placedBytes = 0;
  const bool produced =
      pool.producePlaced(pool.offsets, [&](std::uint64_t offset, std::string_view piece) {
        quillex::fuzz::Check(offset + piece.size() <= bytes->size());
        bytes->replace(offset, piece.size(), piece);
        placedBytes += piece.size();
      });
  return produced && placedBytes == bytes->size();
}

bool SameTables(const CharacterTables& a, const CharacterTables& b) {
  if (a.size() != b.size()) return false;
  for (auto i = a.begin(), j = b.begin(); i != a.end(); ++i, ++j) {
    if (i->first != j->first || i->second.size() != j->second.size()) return false;
    for (auto k = i->second.begin(), l = j->second.begin(); k != i->second.end(); ++k, ++l) {
      const auto& x = k->second.Characters();
      const auto& y = l->second.Characters();
      if (k->first != l->first || x.size() != y.size()) return false;
      for (std::size_t c = 0; c < x.size(); ++c) {
        if (x[c].code != y[c].code || x[c].index != y[c].index || x[c].useCount != y[c].useCount ||
            x[c].name != y[c].name) {
          return false;
        }
      }
    }
  }
  return true;
}

}  // namespace

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
  MessageTable table;
  Check(table.Load(Folder() / "in.csv", seed));
  CharacterTables alone, shared;
  std::string aloneBytes, sharedBytes;
  Check(EncodeWith(table, indexing, 1, /*placed=*/false, &alone, &aloneBytes));
  Check(EncodeWith(table, indexing, 3, /*placed=*/true, &shared, &sharedBytes));
  Check(SameTables(alone, shared) && aloneBytes == sharedBytes);
  const std::uint64_t languages =
      CheckBinaryFile(ReadOutput("msg.bin"), seed, binary_format::PoolKind::UnitStrings);
  if (indexing == IndexingMode::AllLanguages) {
    Check(lists == std::set<std::string>{"msg_using_all.json"});
  } else {
    Check(lists.size() <= languages);  // languages whose keys lower-case alike share a file
  }
  return 0;
}
