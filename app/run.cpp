#include "app/run.h"

#include <cstdio>

#include "console/catalog.h"
#include "app/command_line.h"
#include "app/options.h"
#include "binary/binary_generator.h"
#include "platform/platform.h"
#include "source/source_generator.h"

namespace quillex {
namespace {

constexpr const char* kProgramName = "zorb-quillex";
// From the project's version in CMake: one place to change it.
constexpr const char* kVersion = QUILLEX_VERSION;

void PrintVersionLine() {
  std::printf("%s version %s (compiled at %s %s)\n", kProgramName, kVersion, __DATE__, __TIME__);
}

// The generator lives only for its one call and is gone before the success line.
template <typename Generator, typename Request>
int Generate(const Request& request) {
  bool succeeded = false;
  {
    Generator generator;
    succeeded = generator.Generate(request);
  }
  if (!succeeded) return 1;
  PrintLine(Msg::Succeeded);
  return 0;
}

}  // namespace

void ChooseConsoleLanguage() {
  if (!platform::IsUserLanguageJapanese()) return;
  const int codePage = platform::GetMultibyteCodePage();
  if (codePage == 65001 || codePage == 932) useJapanese = true;
}

int RunMain(int argc, const char* const* argv) {
  ChooseConsoleLanguage();
  Options options;
  if (!ParseCommandLine(&options, argc, argv)) return 1;
  if (options.showVersion) {
    PrintVersionLine();
    return 0;
  }
  if (options.showHelp) {
    PrintVersionLine();
    PrintLine(Msg::Usage);
    return 0;
  }
  if (options.sourceOutput) {
    if (options.indexing != IndexingMode::NoIndexing) PrintWarning(Msg::SourceNoIndexing);
    return Generate<SourceGenerator>(SourceRequest{.inputPath = options.inputPath,
                                                   .outputDirectory = options.outputDirectory,
                                                   .prefix = options.prefix,
                                                   .replaceFiles = options.replaceFiles});
  }
  return Generate<BinaryGenerator>(BinaryRequest{.inputPath = options.inputPath,
                                                 .outputDirectory = options.outputDirectory,
                                                 .prefix = options.prefix,
                                                 .replaceFiles = options.replaceFiles,
                                                 .indexing = options.indexing,
                                                 .hashSeed = options.hashSeed});
}

}  // namespace quillex
