#include "source/source_generator.h"

#include <algorithm>
#include <exception>
#include <functional>
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
  std::string suffix = "_";
  suffix += LowerCaseLanguageId(languageId);
  suffix += ".inc";
  return platform::AppendToPath(base, suffix);
}

}  // namespace

bool SourceGenerator::ListOutputs(const SourceRequest& request,
                                  std::vector<platform::Path>* outputs,
                                  std::vector<std::optional<std::string>>* replaceTexts) {
  columnsByLanguage.clear();  // views into the table being replaced
  if (!table.Load(request.inputPath)) {
    PrintError(Msg::FailedToReadCsvFile, {PathArg(request.inputPath)});
    return false;
  }
  if (!request.replaceFiles.empty()) {
    return ListReplacedFiles(this, {.binary = false, .source = true, .indexed = false},
                             request.outputDirectory, request.replaceFiles, outputs, replaceTexts);
  }
  const platform::Path base = platform::JoinPath(request.outputDirectory, request.prefix);
  if (!CheckFileNames(base)) return false;
  for (platform::Path& file : IncludeFiles(base)) outputs->push_back(std::move(file));
  return true;
}

bool SourceGenerator::Generate(const SourceRequest& request) {
  columnsByLanguage.clear();  // views into the table being replaced
  if (!table.Load(request.inputPath)) {
    PrintError(Msg::FailedToReadCsvFile, {PathArg(request.inputPath)});
    return false;
  }

  if (!request.replaceFiles.empty()) {
    // Replaced files take the place of the include files. None may overwrite the CSV or a
    // replace file read so far.
    RunFiles runFiles;
    runFiles.Add(request.inputPath);
    for (const platform::Path& replaceFile : request.replaceFiles) {
      TextReplaceContext context(this, /*binaryFlag=*/false, /*sourceFlag=*/true,
                                 /*indexedFlag=*/false);
      runFiles.Add(replaceFile);
      if (!context.Execute(request.outputDirectory, replaceFile, &runFiles)) return false;
    }
    return true;
  }

  platform::Path base = platform::JoinPath(request.outputDirectory, request.prefix);
  if (!CheckFileNames(base)) return false;
  // A CSV may bear an include file's name (messages_en.inc with -p messages), and a link at a
  // message table's name may lead to the identifier list.
  RunFiles runFiles;
  runFiles.Add(request.inputPath);
  if (!runFiles.AllowGenerated(IncludeFiles(base))) return false;
  return WriteIncludeFiles(base);
}

bool SourceGenerator::WriteIncludeFiles(const platform::Path& base) {
  // The identifier list first (column 0 here), then every column with a language ID; a column
  // without one is no language: skipped without a word.
  std::vector<std::int32_t> columns{0};
  for (std::int32_t column = 1; column < table.columns; ++column) {
    if (!table.Cell(0, column).empty()) columns.push_back(column);
  }
  // For a large table the files are written side by side, each on one thread from start to end:
  // writing a file costs the system about as much as making its lines, and the files never wait
  // for each other. A lone message table instead makes its lines while those before them are
  // written on another thread.
  const std::size_t workers = std::min<std::size_t>(
      threads != 0 ? threads : platform::WorkersFor(table.text.size()), columns.size());
  const bool writeBehind = workers > 1 && columns.size() - 1 < workers;
  return platform::RunInTurn(columns.size(), workers, [&](std::size_t job, platform::Turn& turn) {
    IncludeFile file;
    file.turn = &turn;
    // One file at a time, its line comes before its work: it tells what the run is busy with.
    file.inTurnFirst = workers == 1;
    return columns[job] == 0 ? WriteIdentifierList(base, file)
                             : WriteMessageTable(base, columns[job], file, writeBehind);
  });
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
    case command::MessageList: {
      // Matched byte for byte: the header's spelling, not the lower-cased file name; the first
      // column of each spelling, found once for every command of every replace file.
      if (columnsByLanguage.empty()) {
        for (std::int32_t column = table.columns - 1; column >= 1; --column) {
          columnsByLanguage[table.Cell(0, column)] = column;
        }
      }
      const auto found = columnsByLanguage.find(command.argument);
      if (found != columnsByLanguage.end()) {
        WriteMessageLines(out, table, found->second, command.indentation);
        return true;
      }
      PrintError(Msg::LanguageIdNotFound, {PathArg(replaceFile), FormatArg::OfUInt(command.line),
                                           FormatArg::OfString(command.argument)});
      return false;
    }
    default:
      PrintWarning(Msg::CommandNoSourceOutput,
                   {PathArg(replaceFile), FormatArg::OfUInt(command.line),
                    FormatArg::OfString(command.name)});
      return true;
  }
}

std::vector<platform::Path> SourceGenerator::IncludeFiles(const platform::Path& base) const {
  std::vector<platform::Path> files = {IdentifierListPath(base)};
  for (std::int32_t column = 1; column < table.columns; ++column) {
    // A language ID that names no file is refused by the run: it writes nothing there.
    if (!table.Cell(0, column).empty() && platform::IsPlainFileName(table.Cell(0, column))) {
      files.push_back(MessageTablePath(base, table.Cell(0, column)));
    }
  }
  return files;
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

bool SourceGenerator::Write(IncludeFile& file, const platform::Path& path,
                            const std::function<void(OutputFile&)>& produce) {
  // A FIFO or a device is opened in turn too: its reader may be waiting for the files before.
  if (!file.inTurnFirst && platform::IsSpecialFile(path)) file.inTurnFirst = true;
  if (file.inTurnFirst && !BeginTurn(file)) return false;
  const bool opened = !path.empty() && file.output.Open(path, "w");
  std::exception_ptr failure;  // running out of memory: shown in turn, after the file's line
  if (opened) {
    try {
      produce(file.output);
    } catch (...) {
      failure = std::current_exception();
    }
  }
  if (!file.inTurnFirst && !BeginTurn(file)) return false;
  if (failure) std::rethrow_exception(failure);
  return opened && CommitOutput(file.output);
}

bool SourceGenerator::BeginTurn(IncludeFile& file) {
  if (!file.turn->Take()) return false;
  PrintLine(file.line, {PathArg(file.shown)});
  return true;
}

bool SourceGenerator::WriteIdentifierList(const platform::Path& base, IncludeFile& file) {
  const platform::Path path = IdentifierListPath(base);
  file.line = Msg::OutputIdList;
  file.shown = path;
  const bool written = Write(file, path, [this](OutputFile& output) {
    std::string lines;
    WriteIdentifierLines(lines, table, {});
    output.Write(lines);
  });
  if (!written && file.turn->Take()) {
    PrintError(Msg::FailedToCreateIdList, {PathArg(base)});
  }
  return written;
}

bool SourceGenerator::WriteMessageTable(const platform::Path& base, std::int32_t column,
                                        IncludeFile& file, bool writeBehind) {
  std::string_view languageId = table.Cell(0, column);
  const platform::Path path = MessageTablePath(base, languageId);
  file.line = Msg::OutputMessageTable;
  file.shown = path;
  // A separator would make the cell a path of its own, reaching out of the output folder: such a
  // language ID names no file, like a name that cannot be opened.
  const platform::Path target = platform::IsPlainFileName(languageId) ? path : platform::Path();
  const bool written = Write(file, target, [&](OutputFile& output) {
    std::string lines;
    std::optional<platform::WriteBehind> writer;
    if (writeBehind) writer.emplace([&output](std::string_view piece) { output.Write(piece); });
    WriteMessageLines(lines, table, column, {}, [&](std::string& piece) {
      if (writer) {
        writer->Hand(&piece);
      } else {
        output.Write(piece);
        piece.clear();
      }
    });
  });
  if (!written && file.turn->Take()) {
    PrintError(Msg::FailedToOutputMessageTable, {PathArg(path)});
  }
  return written;
}

}  // namespace quillex
