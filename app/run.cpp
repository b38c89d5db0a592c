#include "app/run.h"

#include <cstdio>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/options.h"
#include "binary/binary_generator.h"
#include "check/checker.h"
#include "check/seed_search.h"
#include "console/catalog.h"
#include "platform/output_file.h"
#include "platform/platform.h"
#include "replace/text_replace_context.h"
#include "source/source_generator.h"

namespace quillex {
namespace {

constexpr const char* kProgramName = "zorb-quillex";
// From the project's version in CMake: one place to change it.
constexpr const char* kVersion = QUILLEX_VERSION;

int Run(int argc, const char* const* argv);

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

// Prints each path once, in the order of its first appearance, one per line: the form build
// systems read. The bytes of the path as they are, not the console's conversion.
template <typename Generator, typename Request>
int ListOutputs(const Request& request) {
  std::vector<platform::Path> outputs;
  {
    Generator generator;
    if (!generator.ListOutputs(request, &outputs)) return 1;
  }
  // Each file once, however its paths are spelt: the first spelling shows.
  // Compared whole, not component by component.
  std::set<platform::Path::string_type, platform::SpellingOrder> listed;
  WritePlaces places;
  for (const platform::Path& output : outputs) {
    if (!listed.insert(places.Of(output)).second) continue;
    const std::string line = platform::PathToUtf8(output) + "\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
  }
  // A build reads the listing as the run's outputs: a cut one must not pass for the whole, nor
  // one that went nowhere (standard output closed, now the null device).
  if (std::fflush(stdout) != 0 || std::ferror(stdout) || platform::StandardOutputWasClosed()) {
    PrintError(Msg::FailedToWriteFile, {FormatArg::OfString("standard output")});
    return 1;
  }
  return 0;
}

// "--hash-seed auto": replaces the seed with the first one from the default that keeps the
// identifiers apart. An unreadable CSV file keeps the default, for the run to report.
bool ResolveAutoHashSeed(Options& options) {
  if (!options.autoHashSeed) return true;
  options.hashSeed = kDefaultHashSeed;
  if (ChooseHashSeed(options.inputPath, kDefaultHashSeed, &options.hashSeed) ==
      SeedChoice::NoSeed) {
    PrintError(Msg::NoCollisionFreeSeed);
    return false;
  }
  return true;
}

// What each generator is asked for, from the command line.
SourceRequest SourceRequestFor(const Options& options) {
  return {.inputPath = options.inputPath,
          .outputDirectory = options.outputDirectory,
          .prefix = options.prefix,
          .replaceFiles = options.replaceFiles};
}

BinaryRequest BinaryRequestFor(const Options& options) {
  return {.inputPath = options.inputPath,
          .outputDirectory = options.outputDirectory,
          .prefix = options.prefix,
          .replaceFiles = options.replaceFiles,
          .indexing = options.indexing,
          .hashSeed = options.hashSeed};
}

// Answers no list command, and notes that one was asked for.
class NoLists : public TextReplaceCommandProcessor {
 public:
  bool ProcessCommand(std::string&, const ReplaceCommand&, const platform::Path&) override {
    asked = true;
    return false;
  }
  bool asked = false;
};

int RunCheck(Options& options) {
  const bool binary = !options.sourceOutput;
  if (binary && options.autoHashSeed) {
    if (!ResolveAutoHashSeed(options)) return 1;
    PrintLine(Msg::UsingHashSeed, {FormatArg::OfUInt(options.hashSeed)});
  }
  CheckSettings settings{
      .sourceOutput = options.sourceOutput,
      .indexing = binary ? options.indexing : IndexingMode::NoIndexing,
      .hashSeed = options.hashSeed,
      .basePath = platform::PathToUtf8(platform::JoinPath(options.outputDirectory, options.prefix)),
      .outputDirectory = options.outputDirectory,
      .replaceFiles = options.replaceFiles,
      .replaceTexts = {},
      .inputPath = options.inputPath};
  if (!options.replaceFiles.empty()) {
    // A replace file that an earlier one writes is read by the run as that one wrote it: the
    // listing knows that text. Its faults, and the CSV's, are the check's to report in its own
    // form; where the listing fails, the texts it knew up to there are checked, the files after
    // it as they stand. The generator, which loads the whole table, is asked only where such a
    // text holds a list.
    const ConsoleSilence silence;
    std::vector<platform::Path> outputs;
    NoLists none;
    const bool listed = ListReplacedFiles(
        &none,
        {.binary = binary,
         .source = !binary,
         .indexed = binary && options.indexing != IndexingMode::NoIndexing},
        options.outputDirectory, options.replaceFiles, &outputs, &settings.replaceTexts);
    outputs.clear();
    if (!listed && none.asked) {
      (void)(binary ? BinaryGenerator().ListOutputs(BinaryRequestFor(options), &outputs,
                                                    &settings.replaceTexts)
                    : SourceGenerator().ListOutputs(SourceRequestFor(options), &outputs,
                                                    &settings.replaceTexts));
    }
  }
  return CheckInputFile(options.inputPath, settings) ? 0 : 1;
}

}  // namespace

void ChooseConsoleLanguage() {
  if (!platform::IsUserLanguageJapanese()) return;
  const int codePage = platform::GetMultibyteCodePage();
  if (codePage == 65001 || codePage == 932) useJapanese = true;
}

int RunMain(int argc, const char* const* argv) {
  platform::InstallSignalHandlers();
  ChooseConsoleLanguage();
  try {
    return Run(argc, argv);
  } catch (const std::bad_alloc&) {
    // The last resort, not a way to report failures: the unwinding has closed every file and
    // removed every temporary one, so the outputs are as they were before the step.
    PrintOutOfMemory();
    return 1;
  }
}

namespace {

int Run(int argc, const char* const* argv) {
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
  keepUnchangedOutputs = options.keepUnchanged;
  if (options.check) return RunCheck(options);
  if (options.sourceOutput) {
    const SourceRequest request = SourceRequestFor(options);
    // The listing keeps standard error for failures.
    if (options.listOutputs) return ListOutputs<SourceGenerator>(request);
    if (options.indexing != IndexingMode::NoIndexing) PrintWarning(Msg::SourceNoIndexing);
    return Generate<SourceGenerator>(request);
  }
  // The listing too: a run that finds no seed fails before it writes anything.
  if (!ResolveAutoHashSeed(options)) return 1;
  const BinaryRequest request = BinaryRequestFor(options);
  if (options.listOutputs) return ListOutputs<BinaryGenerator>(request);
  return Generate<BinaryGenerator>(request);
}

}  // namespace

}  // namespace quillex
