#include "replace/text_replace_context.h"

#include <algorithm>
#include <cstddef>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "console/catalog.h"
#include "input/file_io.h"
#include "platform/output_file.h"

namespace quillex {

void RunFiles::Add(const platform::Path& path, bool anew) {
  platform::FileIdentity identity;
  if (!anew && platform::IdentifyFile(path, &identity)) {
    files_.insert(identity);
  } else {
    places_.insert(writePlaces_.Of(path));
  }
}

bool RunFiles::Holds(const platform::Path& output) const {
  if ((files_.empty() && places_.empty()) || platform::IsSpecialFile(output)) return false;
  platform::FileIdentity identity;
  if (!files_.empty() && platform::IdentifyFile(output, &identity) && files_.contains(identity)) {
    return true;
  }
  return !places_.empty() && places_.contains(writePlaces_.Of(output));
}

bool RunFiles::Allow(const platform::Path& output) const {
  if (!Holds(output)) return true;
  PrintError(Msg::OutputIsRunFile, {PathArg(output)});
  return false;
}

bool RunFiles::AllowGenerated(const std::vector<platform::Path>& outputs) const {
  const platform::Path* refused = RefusedGenerated(outputs);
  if (refused == nullptr) return true;
  PrintError(Msg::OutputIsRunFile, {PathArg(*refused)});
  return false;
}

const platform::Path* RunFiles::RefusedGenerated(const std::vector<platform::Path>& outputs) const {
  std::vector<bool> links(outputs.size(), false);
  bool anyLink = false;
  for (std::size_t k = 0; k < outputs.size(); ++k) {
    if (Holds(outputs[k])) return &outputs[k];
    links[k] = platform::IsSymbolicLink(outputs[k]);
    anyLink = anyLink || links[k];
  }
  if (!anyLink) return nullptr;  // each is written under its own name
  // Where each output is written: its folder's identity and its name there, made yet or not.
  // Names that differ only in case meet where they are one file (a file system that ignores
  // case); other names of one file are hard links, each output replacing its own.
  using Name = platform::Path::string_type;
  using Place = std::pair<platform::FileIdentity, Name>;
  const auto folded = [](Name name) {
    for (auto& c : name) {
      if (c >= 'A' && c <= 'Z') c = static_cast<Name::value_type>(c - 'A' + 'a');
    }
    return name;
  };
  std::map<Place, std::size_t> places;
  std::map<platform::FileIdentity, std::pair<Place, std::size_t>> files;
  for (std::size_t k = 0; k < outputs.size(); ++k) {
    const platform::Path& output = outputs[k];
    platform::Path target;
    Place place;
    // A file that may not be written fails at its writing; one in a folder that is missing too.
    if (platform::IsSpecialFile(output) || !platform::ResolveWriteTarget(output, &target) ||
        !platform::IdentifyFile(target.has_parent_path() ? target.parent_path() : ".",
                                &place.first)) {
      continue;
    }
    place.second = target.filename().native();
    const auto [at, added] = places.try_emplace(place, k);
    std::size_t met = added || outputs[at->second].native() == output.native() ? k : at->second;
    platform::FileIdentity file;
    if (met == k && platform::IdentifyFile(target, &file)) {
      const auto [known, first] = files.try_emplace(file, place, k);
      const Place& earlier = known->second.first;
      if (!first && earlier.first == place.first && earlier.second != place.second &&
          folded(earlier.second) == folded(place.second)) {
        met = known->second.second;
      }
    }
    // The link is named: the other name is the file it leads to.
    if (met != k) return &outputs[links[k] ? k : met];
  }
  return nullptr;
}

bool TextReplaceContext::LoadCommands(const platform::Path& replaceFile) {
  std::string text;
  if (!ReadTextFile(replaceFile, &text)) {
    PrintError(Msg::FailedToReadFile, {PathArg(replaceFile)});
    return false;
  }
  return ParseCommands(replaceFile, text);
}

bool TextReplaceContext::ParseCommands(const platform::Path& replaceFile, const std::string& text) {
  std::string name;
  ReplaceCommand failed;
  if (!ParseReplaceText(text, &commands, &name, &failed)) {
    if (failed.code == command::OutputName) {
      PrintError(Msg::OutputNameNotSpecified,
                 {PathArg(replaceFile), FormatArg::OfUInt(failed.line)});
    } else {
      PrintError(Msg::UnknownCommandName, {PathArg(replaceFile), FormatArg::OfUInt(failed.line),
                                           FormatArg::OfString(failed.name)});
    }
    return false;
  }
  if (!name.empty()) outputName = platform::PathFromNarrow(name);
  for (ReplaceCommand& record : commands) {
    if (record.code != command::If && record.code != command::Elif) continue;
    if (!ResolveCondition(&record)) {
      PrintWarning(Msg::UnknownCondition, {PathArg(replaceFile), FormatArg::OfUInt(record.line),
                                           FormatArg::OfString(record.argument)});
    }
  }
  return true;
}

platform::Path ReplacedFilePath(const platform::Path& outputDirectory,
                                const platform::Path& replaceFile, const platform::Path& outputName,
                                bool planned) {
  platform::Path path =
      platform::JoinPath(outputDirectory, outputName.empty() ? replaceFile.filename() : outputName);
  // Never write over the replace file itself, whichever path leads to it. A device or pipe is
  // none (and a pipe would be connected to by examining it).
  if (platform::IsSpecialFile(path)) return path;
  bool same = platform::IsSameFile(path, replaceFile);
  if (!same && planned) {
    WritePlaces places;
    same = platform::CompareSpellings(places.Of(path), places.Of(replaceFile)) == 0;
  }
  return same ? platform::AppendToPath(path, ".replaced") : path;
}

template <typename Flush>
bool TextReplaceContext::Replace(const platform::Path& replaceFile, std::string& out, Flush flush) {
  for (const ReplaceCommand& record : commands) {
    switch (record.code) {
      case command::Put:
        out += record.argument;
        break;
      case command::If:
      case command::Elif:
      case command::Else:
      case command::EndIf:
        AppendConditionalLine(out, record, flags);
        break;
      default:
        if (!processor->ProcessCommand(out, record, replaceFile)) return false;
        flush();
        break;
    }
  }
  return true;
}

bool TextReplaceContext::Execute(const platform::Path& outputDirectory,
                                 const platform::Path& replaceFile, const RunFiles* runFiles) {
  if (!LoadCommands(replaceFile)) return false;
  const platform::Path outputPath =
      ReplacedFilePath(outputDirectory, replaceFile, outputName, /*planned=*/false);
  PrintLine(Msg::ExecuteTextReplace, {PathArg(replaceFile), PathArg(outputPath)});
  // An OUTPUT_NAME may name the CSV, a template read before, or the binary file. The replace
  // file itself (among the run's files) may be reached again through a link at its ".replaced"
  // name.
  if (runFiles != nullptr && !runFiles->Allow(outputPath)) return false;

  OutputFile file;
  // A NUL inside the name would cut the path the system sees short of the path shown.
  if (outputPath.native().find('\0') != platform::Path::string_type::npos ||
      !file.Open(outputPath, "w")) {
    PrintError(Msg::FailedToOpenFile, {PathArg(outputPath)});
    return false;
  }
  // A list can be as large as the catalog's identifiers: on to the file rather than held with
  // the rest (and regrown to twice its size by the next line appended).
  std::string out;
  if (!Replace(replaceFile, out, [&file, &out] {
        file.Write(out);
        out.clear();
      })) {
    return false;  // whatever stood at the output path stays
  }
  file.Write(out);
  if (!CommitOutput(file)) {
    PrintError(Msg::FailedToOpenFile, {PathArg(outputPath)});
    return false;
  }
  return true;
}

bool TextReplaceContext::ListOutput(const platform::Path& outputDirectory,
                                    const platform::Path& replaceFile, platform::Path* output,
                                    const std::string* planned) {
  if (!(planned != nullptr ? ParseCommands(replaceFile, *planned) : LoadCommands(replaceFile))) {
    return false;
  }
  *output = ReplacedFilePath(outputDirectory, replaceFile, outputName, planned != nullptr);
  // Execute could not open it either.
  if (output->native().find('\0') != platform::Path::string_type::npos) {
    PrintError(Msg::FailedToOpenFile, {PathArg(*output)});
    return false;
  }
  return true;
}

bool TextReplaceContext::ReplacedText(const platform::Path& replaceFile, std::string* text) {
  text->clear();
  return Replace(replaceFile, *text, [] {});
}

bool ListReplacedFiles(TextReplaceCommandProcessor* processor, const ConditionFlags& flags,
                       const platform::Path& outputDirectory,
                       std::span<const platform::Path> replaceFiles,
                       std::vector<platform::Path>* outputs,
                       std::vector<std::optional<std::string>>* texts) {
  if (texts != nullptr) texts->assign(replaceFiles.size(), std::nullopt);
  using Spelling = platform::Path::string_type;
  WritePlaces places;
  std::vector<Spelling> readAt;  // each replace file's place
  for (const platform::Path& replaceFile : replaceFiles) readAt.push_back(places.Of(replaceFile));
  // What the run will have written at a place a later replace file is read from, by place.
  std::map<Spelling, std::string, platform::SpellingOrder> written;
  for (std::size_t k = 0; k < replaceFiles.size(); ++k) {
    TextReplaceContext context(processor, flags.binary, flags.source, flags.indexed);
    const auto planned = written.find(readAt[k]);
    // Known before it is listed: a text that fails is what the run fails on.
    if (texts != nullptr && planned != written.end()) (*texts)[k] = planned->second;
    platform::Path output;
    if (!context.ListOutput(outputDirectory, replaceFiles[k], &output,
                            planned == written.end() ? nullptr : &planned->second)) {
      return false;
    }
    outputs->push_back(output);
    // A device or pipe is written in place and read as what it is; the run refuses to read one.
    if (platform::IsSpecialFile(output)) continue;
    const Spelling place = places.Of(output);
    const bool readLater =
        std::any_of(readAt.begin() + static_cast<std::ptrdiff_t>(k) + 1, readAt.end(),
                    [&](const Spelling& at) { return platform::CompareSpellings(at, place) == 0; });
    if (!readLater) continue;
    std::string text;
    if (!context.ReplacedText(replaceFiles[k], &text)) return false;
    written.insert_or_assign(place, std::move(text));
  }
  return true;
}

}  // namespace quillex
