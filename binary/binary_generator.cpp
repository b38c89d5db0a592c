#include "binary/binary_generator.h"

#include "app/catalog.h"
#include "binary/hash_include.h"
#include "replace/text_replace_context.h"

namespace quillex {
bool BinaryGenerator::Generate(const Options& options) {
  hashSeed = options.hashSeed;
  PrintLine(Msg::UsingHashSeed, {FormatArg::OfUInt(hashSeed)});

  if (!LoadMessageTable(options.inputPath)) {
    PrintError(Msg::FailedToReadCsvFile, {PathArg(options.inputPath)});
    return false;
  }
  if (!BuildMessagePool(options.indexing)) return false;
  if (!BuildOffsetPool(table, messagePool.bytes.size(), &offsetPool)) {
    PrintError(Msg::FailedToBuildOffsetPool);
    return false;
  }
  // The character usage lists of indexed runs belong here, before the binary file.

  const platform::Path base = platform::JoinPath(options.outputDirectory, options.prefix);
  const platform::Path binaryPath = platform::AppendToPath(base, ".bin");
  PrintLine(Msg::OutputBinaryFile, {PathArg(binaryPath)});
  if (!WriteBinaryFile(binaryPath, Image())) {
    PrintError(Msg::FailedToOutputBinaryFile, {PathArg(binaryPath)});
    return false;
  }

  // Replace files receive the hash lines through ProcessCommand instead of the include files.
  if (!options.replaceFiles.empty()) return RunReplaceFiles(options);
  return WriteHashIncludes(base);
}

bool BinaryGenerator::ProcessCommand(std::FILE* out, const ReplaceCommand& command,
                                     const platform::Path& replaceFile) {
  switch (command.code) {
    case command::IdList:
      WriteHashLines(out, command.indentation, table.messageIds);
      return true;
    case command::LanguageList:
      WriteHashLines(out, command.indentation, table.languages);
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
  return table.Load(inputPath, hashSeed);
}

bool BinaryGenerator::BuildMessagePool(IndexingMode indexing) {
  if (indexing == IndexingMode::NoIndexing) return BuildTextPool(&table, &messagePool);
  // Indexed pools (character tables and 16-bit unit strings) are not built yet: refuse plainly
  // rather than write a file the application would misread.
  PrintError(Msg::FailedToBuildMessagePool);
  return false;
}

BinaryImage BinaryGenerator::Image() const {
  return {.seed = hashSeed,
          .languages = table.languages,
          .messageIds = table.messageIds,
          .offsetPool = offsetPool,
          .messagePool = &messagePool};
}

bool BinaryGenerator::RunReplaceFiles(const Options& options) {
  for (const platform::Path& replaceFile : options.replaceFiles) {
    TextReplaceContext context(this, /*binaryFlag=*/true, /*sourceFlag=*/false,
                               /*indexedFlag=*/messagePool.indexed);
    if (!context.Execute(options.outputDirectory, replaceFile)) return false;
  }
  return true;
}

bool BinaryGenerator::WriteHashIncludes(const platform::Path& base) const {
  const platform::Path idPath = platform::AppendToPath(base, "_id_hash.inc");
  PrintLine(Msg::OutputIdList, {PathArg(idPath)});
  if (!WriteHashInclude(idPath, table.messageIds)) {
    PrintError(Msg::FailedToOutputIdHashTable, {PathArg(idPath)});
    return false;
  }
  const platform::Path languagePath = platform::AppendToPath(base, "_lang_hash.inc");
  PrintLine(Msg::OutputLanguageList, {PathArg(languagePath)});
  if (!WriteHashInclude(languagePath, table.languages)) {
    PrintError(Msg::FailedToOutputLanguageHashTable, {PathArg(languagePath)});
    return false;
  }
  return true;
}

}  // namespace quillex
