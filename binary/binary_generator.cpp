// Placeholder until binary output lands.
#include "binary/binary_generator.h"

namespace quillex {
bool BinaryGenerator::Generate(const Options&) { return false; }
bool BinaryGenerator::ProcessCommand(std::FILE*, const ReplaceCommand&, const platform::Path&) {
  return true;
}
}  // namespace quillex
