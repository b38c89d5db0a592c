#include "source/source_generator.h"

#include <optional>
#include <string>

#include "console/catalog.h"
#include "platform/parallel.h"
#include "replace/text_replace_context.h"
#include "source/source_lines.h"

namespace quillex {
namespace {

platform::Path IdentifierListPath(const platform::Path& base) {
  return platform::AppendToPath(base, "_id.inc");
}

platform::Path MessageTablePath(const platform::Path& base, std::string_view languageId) {
  return platform::AppendToPath(base, "_" + LowerCaseLanguageId(languageId) + ".inc");
}

}  // namespace

bool SourceGenerator::ListOutputs(const SourceRequest& request,
                                  std::vector<platform::Path>* outputs) {
  if (!table.Load(request.inputPath)) {
    PrintError(Msg::FailedToReadCsvFile, {PathArg(request.inputPath)});
    return false;
  }
  if (!request.replaceFiles.empty()) {
    for (const platform::Path& replaceFile : request.replaceFiles) {
      TextReplaceContext context(this, /*binaryFlag=*/false, /*sourceFlag=*/true,
                                 /*indexedFlag=*/false);
      platform::Path output;
      if (!context.ListOutput(request.outputDirectory, replaceFile, &output)) return false;
      outputs->push_back(output);
    }
    return true;
  }
  const platform::Path base = platform::JoinPath(request.outputDirectory, request.prefix);
  if (!CheckFileNames(base)) return false;
  outputs->push_back(IdentifierListPath(base));
  for (std::int32_t column = 1; column < table.columns; ++column) {
    // A language ID that names no file is refused by the run: it writes nothing there.
    if (!table.Cell(0, column).empty() && platform::IsPlainFileName(table.Cell(0, column))) {
      outputs->push_back(MessageTablePath(base, table.Cell(0, column)));
    }
  }
  return true;
}

bool SourceGenerator::Generate(const SourceRequest& request) {
  if (!table.Load(request.inputPath)) {
    PrintError(Msg::FailedToReadCsvFile, {PathArg(request.inputPath)});
    return false;
  }

  if (!request.replaceFiles.empty()) {
    // Replaced files take the place of the include files.
    for (const platform::Path& replaceFile : request.replaceFiles) {
      TextReplaceContext context(this, /*binaryFlag=*/false, /*sourceFlag=*/true,
                                 /*indexedFlag=*/false);
      if (!context.Execute(request.outputDirectory, replaceFile)) return false;
    }
    return true;
  }

  platform::Path base = platform::JoinPath(request.outputDirectory, request.prefix);
  if (!CheckFileNames(base)) return false;
  if (!WriteIdentifierList(base)) return false;
  for (std::int32_t column = 1; column < table.columns; ++column) {
    // A column without a language ID is no language: skipped without a word.
    if (table.Cell(0, column).empty()) continue;
    if (!WriteMessageTable(base, column)) return false;
  }
  return true;
}

bool SourceGenerator::ProcessCommand(std::string& out, const ReplaceCommand& command,
                                     const platform::Path& replaceFile) {
  switch (command.code) {
    case command::IdList:
      WriteIdentifierLines(out, table, command.indentation);
      return true;
    case command::LanguageList:
      WriteLanguageLines(out, table, command.indentation);
      return true;
    case command::MessageList:
      // Matched byte for byte: the header's spelling, not the lower-cased file name.
      for (std::int32_t column = 1; column < table.columns; ++column) {
        if (table.Cell(0, column) == command.argument) {
          WriteMessageLines(out, table, column, command.indentation);
          return true;
        }
      }
      PrintError(Msg::LanguageIdNotFound, {PathArg(replaceFile), FormatArg::OfUInt(command.line),
                                           FormatArg::OfString(command.argument)});
      return false;
    default:
      PrintWarning(Msg::CommandNoSourceOutput,
                   {PathArg(replaceFile), FormatArg::OfUInt(command.line),
                    FormatArg::OfString(command.name)});
      return true;
  }
}

bool SourceGenerator::CheckFileNames(const platform::Path& base) const {
  const platform::Path idPath = IdentifierListPath(base);
  for (std::int32_t column = 1; column < table.columns; ++column) {
    std::string_view languageId = table.Cell(0, column);
    if (languageId.empty()) continue;
    if (MessageTablePath(base, languageId) == idPath) {
      PrintError(Msg::MessageTableOverwritesIdList, {PathArg(idPath)});
      return false;
    }
  }
  return true;
}

bool SourceGenerator::WriteIdentifierList(const platform::Path& base) {
  platform::Path path = IdentifierListPath(base);
  PrintLine(Msg::OutputIdList, {PathArg(path)});
  std::string lines;
  WriteIdentifierLines(lines, table, {});
  if (!WriteOutputFile(path, "w", lines)) {
    PrintError(Msg::FailedToCreateIdList, {PathArg(base)});
    return false;
  }
  return true;
}

bool SourceGenerator::WriteMessageTable(const platform::Path& base, std::int32_t column) {
  std::string_view languageId = table.Cell(0, column);
  if (languageId.empty()) return false;
  platform::Path path = MessageTablePath(base, languageId);
  PrintLine(Msg::OutputMessageTable, {PathArg(path)});
  // A separator would make the cell a path of its own, reaching out of the output folder: such a
  // language ID names no file, like a name that cannot be opened.
  if (!platform::IsPlainFileName(languageId)) {
    PrintError(Msg::FailedToOutputMessageTable, {PathArg(path)});
    return false;
  }
  auto produce = [this, column](OutputFile& file) {
    messageLines.clear();
    // For a large table the lines are made here while those before them are written on another
    // thread: each takes about as long as the other.
    std::optional<platform::WriteBehind> writer;
    if (platform::WorkersFor(table.text.size()) > 1) {
      writer.emplace([&file](std::string_view lines) { file.Write(lines); });
    }
    WriteMessageLines(messageLines, table, column, {}, [&](std::string& lines) {
      if (writer) {
        writer->Hand(&lines);
      } else {
        file.Write(lines);
        lines.clear();
      }
    });
  };
  if (!WriteOutputFile(path, "w", produce)) {
    PrintError(Msg::FailedToOutputMessageTable, {PathArg(path)});
    return false;
  }
  return true;
}

}  // namespace quillex
