// Placeholder until source output lands.
#include "source/source_generator.h"

namespace quillex {
bool SourceGenerator::Generate(const Options&) { return false; }
bool SourceGenerator::ProcessCommand(std::FILE*, const ReplaceCommand&, const platform::Path&) {
  return true;
}
}  // namespace quillex
