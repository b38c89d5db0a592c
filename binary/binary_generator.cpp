#include "binary/binary_generator.h"

#include "binary/character_list.h"
#include "binary/hash_include.h"
#include "binary/indexed_pool.h"
#include "console/catalog.h"
#include "platform/parallel.h"
#include "replace/text_replace_context.h"

namespace quillex {
namespace {

// Output names: the base path and a suffix.
constexpr std::string_view kBinarySuffix = ".bin";
constexpr std::string_view kIdHashSuffix = "_id_hash.inc";
constexpr std::string_view kLanguageHashSuffix = "_lang_hash.inc";

}  // namespace

bool BinaryGenerator::ListOutputs(const BinaryRequest& request,
                                  std::vector<platform::Path>* outputs,
                                  std::vector<std::optional<std::string>>* replaceTexts) {
  hashSeed = request.hashSeed;
  // Collisions are the real run's business; the names do not depend on them.
  if (!table.Load(request.inputPath, hashSeed)) {
    PrintError(Msg::FailedToReadCsvFile, {PathArg(request.inputPath)});
    return false;
  }
  const platform::Path base = platform::JoinPath(request.outputDirectory, request.prefix);
  for (platform::Path& file :
       GeneratedFiles(base, request.indexing, request.replaceFiles.empty())) {
    outputs->push_back(std::move(file));
  }
  // The conditions as the run has them: a replaced file may be a later replace file.
  return ListReplacedFiles(
      this,
      {.binary = true, .source = false, .indexed = request.indexing != IndexingMode::NoIndexing},
      request.outputDirectory, request.replaceFiles, outputs, replaceTexts);
}

bool BinaryGenerator::Generate(const BinaryRequest& request) {
  hashSeed = request.hashSeed;
  PrintLine(Msg::UsingHashSeed, {FormatArg::OfUInt(hashSeed)});

  if (!LoadMessageTable(request.inputPath)) {
    PrintError(Msg::FailedToReadCsvFile, {PathArg(request.inputPath)});
    return false;
  }
  if (!BuildMessagePool(request.indexing)) return false;
  if (!BuildOffsetPool(table, &messagePool, &offsetPool)) {
    PrintError(Msg::FailedToBuildOffsetPool);
    return false;
  }
  const platform::Path base = platform::JoinPath(request.outputDirectory, request.prefix);
  // A file of the run may bear a generated file's name (a CSV named msg.bin, --replace msg.bin),
  // and a link at one generated name may lead to another (msg_id_hash.inc to msg.bin).
  RunFiles runFiles;
  runFiles.Add(request.inputPath);
  for (const platform::Path& replaceFile : request.replaceFiles) runFiles.Add(replaceFile);
  if (!runFiles.AllowGenerated(
          GeneratedFiles(base, request.indexing, request.replaceFiles.empty()))) {
    return false;
  }
  if (request.indexing != IndexingMode::NoIndexing && !WriteCharacterLists(characterTables, base)) {
    return false;
  }

  const platform::Path binaryPath = platform::AppendToPath(base, kBinarySuffix);
  PrintLine(Msg::OutputBinaryFile, {PathArg(binaryPath)});
  if (!WriteBinaryFile(binaryPath, Image())) {
    PrintError(Msg::FailedToOutputBinaryFile, {PathArg(binaryPath)});
    return false;
  }
  // Nothing reads the pools again: their memory goes to the steps that follow (assigning `{}`
  // would empty them and keep it).
  messagePool.bytes = std::vector<std::uint8_t>();
  messagePool.produce = nullptr;
  messagePool.producePlaced = nullptr;
  offsetPool = std::vector<std::uint32_t>();

  // Replace files receive the hash lines through ProcessCommand instead of the include files.
  if (!request.replaceFiles.empty()) return RunReplaceFiles(request);
  return WriteHashIncludes(base);
}

bool BinaryGenerator::ProcessCommand(std::string& out, const ReplaceCommand& command,
                                     const platform::Path& replaceFile) {
  switch (command.code) {
    case command::IdList:
      WriteHashLines(out, command.indentation, HashedNames(table.messageIds));
      return true;
    case command::LanguageList:
      WriteHashLines(out, command.indentation, HashedNames(table.languages));
      return true;
    default:
      // In practice MESSAGE_LIST: the replaced file is still written, without its lines.
      PrintWarning(Msg::CommandNoBinaryOutput,
                   {PathArg(replaceFile), FormatArg::OfUInt(command.line),
                    FormatArg::OfString(command.name)});
      return true;
  }
}

bool BinaryGenerator::LoadMessageTable(const platform::Path& inputPath) {
  if (!table.Load(inputPath, hashSeed)) return false;
  for (std::size_t j : CollidingIdentifiers(table.messageIds)) {
    const MessageIdEntry& first = table.messageIds[j - 1];
    const MessageIdEntry& second = table.messageIds[j];
    PrintError(Msg::HashCollision,
               {FormatArg::OfString(std::string(first.name)),
                FormatArg::OfString(std::string(second.name)), FormatArg::OfUInt(second.hash)});
  }
  return true;
}

bool BinaryGenerator::BuildMessagePool(IndexingMode indexing) {
  if (indexing == IndexingMode::NoIndexing) {
    return PlanTextPool(table, &messagePool, kTextPoolBlockBytes,
                        platform::WorkersFor(table.csv.text.size()));
  }
  // Only the indexed pools read markup. Counting lays the pool out; its units are encoded as the
  // binary file is written, and only the messages that can print are encoded here.
  // Counting and encoding take several times the work per byte of the passes WorkersFor is
  // sized for: threads pay for them from about half a megabyte of text (a tenth less time at
  // 1 MB, the same at 500 KB, a tenth more at 100 KB).
  constexpr std::uint64_t kIndexedWorkPerByte = 8;
  IndexedPoolPlan plan;
  if (!BuildCharacterTables(
          table, indexing, &characterTables, {}, &plan,
          platform::WorkersFor(kIndexedWorkPerByte * std::uint64_t{table.csv.text.size()}))) {
    return false;
  }
  if (!PlanIndexedPool(table, indexing, characterTables, &plan, &messagePool)) {
    PrintError(Msg::FailedToBuildMessagePool);
    return false;
  }
  return true;
}

BinaryImage BinaryGenerator::Image() const {
  return {.seed = hashSeed,
          .languages = table.languages,
          .messageIds = table.messageIds,
          .offsetPool = offsetPool,
          .messagePool = &messagePool};
}

bool BinaryGenerator::RunReplaceFiles(const BinaryRequest& request) {
  // What a replaced file may not overwrite: the CSV, the files written before, the replace files
  // read so far (a later one is fair game: an earlier replace file may write it).
  const platform::Path base = platform::JoinPath(request.outputDirectory, request.prefix);
  RunFiles runFiles;
  runFiles.Add(request.inputPath);
  for (const platform::Path& file :
       GeneratedFiles(base, request.indexing, /*hashIncludes=*/false)) {
    runFiles.Add(file);
  }
  for (const platform::Path& replaceFile : request.replaceFiles) {
    TextReplaceContext context(this, /*binaryFlag=*/true, /*sourceFlag=*/false,
                               /*indexedFlag=*/messagePool.indexed);
    runFiles.Add(replaceFile);
    if (!context.Execute(request.outputDirectory, replaceFile, &runFiles)) return false;
  }
  return true;
}

std::vector<platform::Path> BinaryGenerator::GeneratedFiles(const platform::Path& base,
                                                            IndexingMode indexing,
                                                            bool hashIncludes) const {
  std::vector<std::string_view> languages;
  if (indexing == IndexingMode::PerLanguage) {
    for (const LanguageEntry& language : table.languages) languages.push_back(language.name);
  }
  return BinaryOutputFiles(base, indexing, languages, hashIncludes);
}

std::vector<platform::Path> BinaryOutputFiles(const platform::Path& base, IndexingMode indexing,
                                              std::span<const std::string_view> languages,
                                              bool hashIncludes) {
  std::vector<platform::Path> files;
  // One character list per language, or one for all.
  if (indexing == IndexingMode::PerLanguage) {
    for (const std::string_view language : languages) {
      // A key that names no file is refused by the run: it writes nothing there.
      if (!platform::IsPlainFileName(language)) continue;
      files.push_back(platform::AppendToPath(base, CharacterListSuffix(language)));
    }
  } else if (indexing == IndexingMode::AllLanguages) {
    files.push_back(platform::AppendToPath(base, CharacterListSuffix("all")));
  }
  files.push_back(platform::AppendToPath(base, kBinarySuffix));
  if (hashIncludes) {
    files.push_back(platform::AppendToPath(base, kIdHashSuffix));
    files.push_back(platform::AppendToPath(base, kLanguageHashSuffix));
  }
  return files;
}

bool BinaryGenerator::WriteHashIncludes(const platform::Path& base) const {
  const platform::Path idPath = platform::AppendToPath(base, kIdHashSuffix);
  PrintLine(Msg::OutputIdList, {PathArg(idPath)});
  if (!WriteHashInclude(idPath, HashedNames(table.messageIds))) {
    PrintError(Msg::FailedToOutputIdHashTable, {PathArg(idPath)});
    return false;
  }
  const platform::Path languagePath = platform::AppendToPath(base, kLanguageHashSuffix);
  PrintLine(Msg::OutputLanguageList, {PathArg(languagePath)});
  if (!WriteHashInclude(languagePath, HashedNames(table.languages))) {
    PrintError(Msg::FailedToOutputLanguageHashTable, {PathArg(languagePath)});
    return false;
  }
  return true;
}

}  // namespace quillex
