// The parsed command line: the one record every generator reads.
#pragma once

#include <cstdint>
#include <vector>

#include "input/hash.h"
#include "platform/platform.h"

namespace quillex {

/// Fixed values.
enum class IndexingMode : std::int32_t {
  NoIndexing = 0,
  PerLanguage = 1,   // --indexing: one character table per language
  AllLanguages = 2,  // --indexing-all: one table shared by all languages
};

struct Options {
  bool showVersion = false;
  bool showHelp = false;
  platform::Path inputPath;
  platform::Path outputDirectory = platform::PathFromNarrow("./");
  platform::Path prefix = platform::PathFromNarrow("msg");
  std::vector<platform::Path> replaceFiles;  // command-line order
  bool sourceOutput = false;
  IndexingMode indexing = IndexingMode::NoIndexing;
  std::uint32_t hashSeed = kDefaultHashSeed;
};

}  // namespace quillex
