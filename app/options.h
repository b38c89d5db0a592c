// The parsed command line; the run flow hands each generator the part it reads.
#pragma once

#include <cstdint>
#include <vector>

#include "binary/indexing_mode.h"
#include "input/hash.h"
#include "platform/platform.h"

namespace quillex {

struct Options {
  bool showVersion = false;
  bool showHelp = false;
  platform::Path inputPath;
  platform::Path outputDirectory = platform::PathFromArgument("./");
  platform::Path prefix = platform::PathFromArgument("msg");
  std::vector<platform::Path> replaceFiles;  // command-line order
  bool sourceOutput = false;
  IndexingMode indexing = IndexingMode::NoIndexing;
  std::uint32_t hashSeed = kDefaultHashSeed;
  // Additions for build systems; not in the built-in usage text, which stays as it always was.
  bool listOutputs = false;    // --list-outputs: print the paths a run would write, write nothing
  bool keepUnchanged = false;  // --keep-unchanged: leave outputs whose bytes would not change
  bool autoHashSeed =
      false;           // "--hash-seed auto": the first seed from the default without collisions
  bool check = false;  // "--check": diagnostics only, no file written
};

}  // namespace quillex
