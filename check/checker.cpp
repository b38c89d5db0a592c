#include "check/checker.h"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <map>
#include <optional>
#include <set>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "binary/binary_generator.h"
#include "binary/character_table.h"
#include "binary/color_names.h"
#include "binary/indexed_pool.h"
#include "input/file_io.h"
#include "markup/markup_parser.h"
#include "replace/replace_parser.h"

namespace quillex {
namespace {

FormatArg Text(std::string_view text) { return FormatArg::OfString(std::string(text)); }
FormatArg Number(std::uint64_t value) { return FormatArg::OfUInt(value); }

// What a message text holds that its translations must hold too.
struct MessageShape {
  std::vector<std::int64_t> arguments;  // argument numbers as the formatter takes them; ascending
  std::uint64_t colorTags = 0;
  std::uint64_t faceTags = 0;
  std::uint64_t rubyTags = 0;
  std::vector<std::string> unknownColors;     // that indexed output cannot store
  std::vector<std::string> unsupportedFaces;  // likewise

  bool HasArgument(std::int64_t argument) const {
    return std::binary_search(arguments.begin(), arguments.end(), argument);
  }
};

// Fills `into` with the shape of `text`. `nodes`, the parser's buffer, and `into` are reused
// from text to text: their storage stays.
void ShapeOf(std::string_view text, MarkupNodes* nodes, MessageShape* into) {
  ParseMarkup(text, nodes);
  MessageShape& shape = *into;
  shape.arguments.clear();
  shape.colorTags = shape.faceTags = shape.rubyTags = 0;
  shape.unknownColors.clear();
  shape.unsupportedFaces.clear();
  std::int64_t counter = 0;
  for (const MarkupNode& node : nodes->nodes) {
    switch (node.type) {
      case MsgNodeType::Subst:
        shape.arguments.push_back(node.spec.index >= 0 ? node.spec.index : counter);
        if (!node.spec.tilde) ++counter;
        break;
      case MsgNodeType::Color:
        ++shape.colorTags;
        if (!FindColorValue(node.text)) shape.unknownColors.emplace_back(node.text);
        break;
      case MsgNodeType::Face:
        ++shape.faceTags;
        if (node.text != "bold") shape.unsupportedFaces.emplace_back(node.text);
        break;
      case MsgNodeType::Ruby:
        ++shape.rubyTags;
        break;
      default:
        break;
    }
  }
  std::sort(shape.arguments.begin(), shape.arguments.end());
  shape.arguments.erase(std::unique(shape.arguments.begin(), shape.arguments.end()),
                        shape.arguments.end());
}

std::string LowerCase(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// The first control character (a line break, say) in `name`, or 0. UTF-8 keeps them single bytes.
std::uint32_t ControlCharacter(std::string_view name) {
  for (char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return byte;
  }
  return 0;
}

// The keywords of C++ (alternative operator spellings included), sorted: none of them can name
// an enumerator.
constexpr std::array<std::string_view, 92> kKeywords = {
    "alignas",       "alignof",     "and",
    "and_eq",        "asm",         "auto",
    "bitand",        "bitor",       "bool",
    "break",         "case",        "catch",
    "char",          "char16_t",    "char32_t",
    "char8_t",       "class",       "co_await",
    "co_return",     "co_yield",    "compl",
    "concept",       "const",       "const_cast",
    "consteval",     "constexpr",   "constinit",
    "continue",      "decltype",    "default",
    "delete",        "do",          "double",
    "dynamic_cast",  "else",        "enum",
    "explicit",      "export",      "extern",
    "false",         "float",       "for",
    "friend",        "goto",        "if",
    "inline",        "int",         "long",
    "mutable",       "namespace",   "new",
    "noexcept",      "not",         "not_eq",
    "nullptr",       "operator",    "or",
    "or_eq",         "private",     "protected",
    "public",        "register",    "reinterpret_cast",
    "requires",      "return",      "short",
    "signed",        "sizeof",      "static",
    "static_assert", "static_cast", "struct",
    "switch",        "template",    "this",
    "thread_local",  "throw",       "true",
    "try",           "typedef",     "typeid",
    "typename",      "union",       "unsigned",
    "using",         "virtual",     "void",
    "volatile",      "wchar_t",     "while",
    "xor",           "xor_eq"};
static_assert(std::is_sorted(kKeywords.begin(), kKeywords.end()));

// What the include files can use as an enumerator: letters, digits and '_', not led by a digit,
// and no keyword; non-ASCII characters are left to the compiler.
bool IsIdentifier(std::string_view name) {
  if (name.empty() || (name[0] >= '0' && name[0] <= '9')) return false;
  const bool word = std::all_of(name.begin(), name.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 0x80 || byte == '_' || (byte >= 'a' && byte <= 'z') ||
           (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9');
  });
  return word && !std::binary_search(kKeywords.begin(), kKeywords.end(), name);
}

// The files a binary run writes other than replaced ones (BinaryOutputFiles), for the languages
// of the scanned header.
std::vector<platform::Path> BinaryOutputsOf(const CsvScan& scan, const CheckSettings& settings,
                                            bool hashIncludes) {
  std::vector<std::string_view> languages;
  for (std::int32_t column = 1; column < scan.columns; ++column) {
    const std::string_view name = scan.Cell(0, column).text;
    if (!name.empty()) languages.push_back(name);
  }
  return BinaryOutputFiles(platform::PathFromArgument(settings.basePath), settings.indexing,
                           languages, hashIncludes);
}

class CsvChecker {
 public:
  CsvChecker(const CsvScan& scan, const CheckSettings& settings,
             const std::vector<IndexingFailure>* indexing)
      : scan(scan), settings(settings), indexing(indexing) {}

  // Hands the findings to `report` in order of position, with the per-language counts of empty
  // texts last, as soon as a row's are known: a catalog can hold millions of findings (one per
  // empty translation), and held until the end they would take many times its size.
  void Run(const DiagnosticReport& report) {
    auto send = [&] {
      for (Diagnostic& finding : found) {
        report(finding);
        spareArgs.push_back(std::move(finding.args));
      }
      found.clear();
    };
    auto hand = [&] {
      SortByPlace(&found);
      send();
    };
    if (scan.fault != ScanFault::None) {
      CheckFault();
      return hand();
    }
    const bool noCrLf = !scan.hasCrLf && scan.firstRecordHasLineFeed;
    if (noCrLf) {
      // Every other finding in the header would follow from this one.
      Add(scan.firstRecordLineFeed, false, Msg::CheckNoCrLf, {}, "line-ends");
    }
    FindLanguages();
    CheckLanguageFiles();
    CheckOutputsAgainstRunFiles();
    if (!noCrLf) CheckLanguages();
    CheckUnnamedColumns();
    // The indexing passes visit the messages in their own order: their findings (errors, one per
    // cell and kind, so few) are placed up front and joined to the rows they lie in.
    std::vector<Diagnostic> indexed;
    if (indexing != nullptr && !settings.sourceOutput &&
        settings.indexing != IndexingMode::NoIndexing) {
      std::swap(found, indexed);
      CheckIndexing();
      std::swap(found, indexed);
      SortByPlace(&indexed);
    }
    FindRepeatedIdentifiers();
    std::size_t nextIndexed = 0;
    for (std::int32_t row = 0; row < scan.rows; ++row) {
      if (row > 0) {
        CheckRecordLength(row);
        CheckRow(row);
      }
      // A row's findings lie before the next record's first character.
      const bool last = row + 1 == scan.rows;
      const TextPosition next = last ? TextPosition() : scan.records[row + 1].position;
      while (nextIndexed < indexed.size() &&
             (last || Before(indexed[nextIndexed].position, next))) {
        found.push_back(std::move(indexed[nextIndexed++]));
      }
      hand();
    }
    // A scan always has a row; were it to have none, what is held would still go out.
    while (nextIndexed < indexed.size()) found.push_back(std::move(indexed[nextIndexed++]));
    hand();
    AddEmptyCounts();
    send();
  }

 private:
  struct Language {
    std::string name;
    std::int32_t column = 0;
    std::uint64_t emptyTexts = 0;
  };

  static bool Before(TextPosition a, TextPosition b) {
    return a.line != b.line ? a.line < b.line : a.column < b.column;
  }

  // By place; findings at one place keep the order of the checks that made them.
  static void SortByPlace(std::vector<Diagnostic>* findings) {
    auto before = [](const Diagnostic& a, const Diagnostic& b) {
      return Before(a.position, b.position);
    };
    // Mostly already so: a sort would take a buffer of its own for every row.
    if (std::is_sorted(findings->begin(), findings->end(), before)) return;
    std::stable_sort(findings->begin(), findings->end(), before);
  }

  void Add(TextPosition position, bool error, Msg message, std::initializer_list<FormatArg> args,
           const char* check) {
    AddWith(position, error, message, args.begin(), args.end(), check);
  }
  void Add(TextPosition position, bool error, Msg message, const FormatArgs& args,
           const char* check) {
    AddWith(position, error, message, args.data(), args.data() + args.size(), check);
  }
  // A catalog can give millions of findings: the argument lists of those handed over are
  // filled again rather than each allocated anew.
  void AddWith(TextPosition position, bool error, Msg message, const FormatArg* first,
               const FormatArg* last, const char* check) {
    FormatArgs args;
    if (!spareArgs.empty()) {
      args = std::move(spareArgs.back());
      spareArgs.pop_back();
    }
    args.assign(first, last);
    found.push_back({position, error, message, std::move(args), check});
  }

  void CheckFault() {
    const TextPosition at = scan.faultPosition;
    switch (scan.fault) {
      case ScanFault::InvalidUtf8:
        return Add(at, true, Msg::CheckInvalidUtf8, {Number(scan.faultByte)}, "csv-encoding");
      case ScanFault::CutCharacter:
        return Add(at, true, Msg::CheckCutCharacter, {}, "csv-encoding");
      case ScanFault::NulCharacter:
        return Add(at, true, Msg::CheckNulCharacter, {}, "csv-nul");
      case ScanFault::LoneCarriageReturn:
        return Add(at, true, Msg::CheckLoneCarriageReturn, {}, "csv-line-end");
      case ScanFault::TextAfterQuote:
        return Add(at, true, Msg::CheckTextAfterQuote, {}, "csv-quote");
      case ScanFault::UnclosedQuote:
        return Add(at, true, Msg::CheckUnclosedQuote, {}, "csv-quote");
      case ScanFault::TooLarge:
        return Add(at, true, Msg::OutOfMemory, {}, "csv-size");
      case ScanFault::None:
        return;
    }
  }

  void CheckRecordLength(std::int32_t row) {
    const ScannedRecord& record = scan.records[static_cast<std::size_t>(row)];
    // A row the run skips loses nothing to its length (a comment may hold commas), unless a
    // quoted cell runs over its line end: then it may have taken in the rows below.
    if (IsSkippedRow(row) && record.end.line == record.position.line) return;
    if (record.fieldCount > scan.columns) {
      Add(record.position, true, Msg::CheckExtraFields, LengthArgs(record), "record-length");
    } else if (record.fieldCount < scan.columns &&
               !(record.fieldCount == 1 && scan.Cell(row, 0).text.empty())) {
      // An empty line (and the one a final CR LF leaves) is a comment row, not a short record.
      Add(record.position, false, Msg::CheckMissingFields, LengthArgs(record), "record-length");
    }
  }

  FormatArgs LengthArgs(const ScannedRecord& record) const {
    return {Number(static_cast<std::uint64_t>(record.fieldCount)),
            Number(static_cast<std::uint64_t>(scan.columns))};
  }

  // The languages whose texts the run reads, the first one first.
  void FindLanguages() {
    for (std::int32_t column = 1; column < scan.columns; ++column) {
      const std::string_view name = scan.Cell(0, column).text;
      if (!name.empty()) languages.push_back({std::string(name), column});
    }
    if (settings.sourceOutput) {
      // Source output falls back to column 1, whatever its header says.
      if (scan.columns > 1) {
        firstColumn = 1;
        firstName = scan.Cell(0, 1).text;
      }
    } else if (!languages.empty()) {
      firstColumn = languages[0].column;
      firstName = languages[0].name;
    }
  }

  // `written`: the name appears in a generated file, where it must be a C++ identifier; `lined`:
  // it appears there or names a file, where a line break or another control character breaks
  // the line it stands in.
  void CheckName(const ScannedCell& cell, bool written, bool lined) {
    if (const std::uint32_t control = ControlCharacter(cell.text)) {
      if (lined) {
        Add(cell.position, true, Msg::CheckControlCharacter, {Number(control)}, "name-syntax");
      }
    } else if (written && !IsIdentifier(cell.text)) {
      Add(cell.position, false, Msg::CheckNotIdentifier, {Text(cell.text)}, "name-syntax");
    }
  }

  // Identifiers go into the identifier list of either output, and into the comments of source
  // output's message tables; language IDs into the binary output's language list, while source
  // output only names its files after them. Replace files take the place of these files and
  // write the names only where a command lists them.
  bool IdentifiersWritten() const {
    return settings.replaceFiles.empty() || settings.replaceListsIds;
  }
  bool IdentifiersInComments() const {
    return settings.sourceOutput &&
           (settings.replaceFiles.empty() || settings.replaceListsMessages);
  }
  bool LanguagesWritten() const {
    return settings.replaceFiles.empty() ? !settings.sourceOutput : settings.replaceListsLanguages;
  }

  // Source output's identifier list, in UTF-8.
  std::string IdListFile() const { return settings.basePath + "_id.inc"; }

  // The file the run writes for a language, in UTF-8; empty where it writes none.
  std::string LanguageFile(const std::string& name) const {
    if (settings.sourceOutput) {
      // Replace files take the place of the include files.
      if (!settings.replaceFiles.empty()) return {};
      return settings.basePath + "_" + LowerCase(name) + ".inc";
    }
    if (settings.indexing == IndexingMode::PerLanguage) {
      return settings.basePath + "_using_" + LowerCase(name) + ".json";
    }
    return {};
  }

  // What stops the run at a language's file, checked even where the whole file is the header (no
  // CR LF), as the run stops there too: a name with a path separator would reach out of the output
  // folder, so the run writes no file for it; a file name longer than the folder allows cannot be
  // made; under source output, a language whose file is the identifier list's.
  void CheckLanguageFiles() {
    const std::string idList = IdListFile();
    // Every language's file is made in one folder: its limit is asked once.
    const std::size_t nameLimit =
        platform::FileNameLimit(platform::PathFromArgument(settings.basePath).parent_path());
    for (const Language& language : languages) {
      const std::string file = LanguageFile(language.name);
      if (file.empty()) continue;
      const TextPosition at = scan.Cell(0, language.column).position;
      if (!platform::IsPlainFileName(language.name)) {
        Add(at, true, Msg::CheckLanguagePathSeparator, {Text(language.name), Text(file)},
            "file-name");
      } else if (platform::PathFromArgument(file).filename().native().size() > nameLimit) {
        Add(at, true, Msg::CheckLanguageFileNameTooLong, {Text(language.name), Text(file)},
            "file-name");
      } else if (settings.sourceOutput && file == idList) {
        Add(at, true, Msg::CheckLanguageIdListClash, {Text(language.name), Text(file)},
            "file-clash");
      }
    }
  }

  // The run writes no output over a file it reads (a CSV named msg.bin), nor where a symbolic
  // link at one output's name leads to another: it asks so of the file system before it writes
  // anything, and so does the check. Placed at the language whose file it is, else at the top.
  void CheckOutputsAgainstRunFiles() {
    if (settings.inputPath.empty() || (settings.sourceOutput && !settings.replaceFiles.empty())) {
      return;  // replaced files instead: checked with the replace files
    }
    RunFiles runFiles;
    runFiles.Add(settings.inputPath);
    for (const platform::Path& replaceFile : settings.replaceFiles) runFiles.Add(replaceFile);
    std::vector<platform::Path> outputs;
    if (settings.sourceOutput) {
      const std::string idList = IdListFile();
      outputs.push_back(platform::PathFromArgument(idList));
      for (const Language& language : languages) {
        const std::string file = LanguageFile(language.name);
        // The run stops before at a language whose file is the identifier list.
        if (file == idList) return;
        if (platform::IsPlainFileName(language.name)) {
          outputs.push_back(platform::PathFromArgument(file));
        }
      }
    } else {
      outputs = BinaryOutputsOf(scan, settings, /*hashIncludes=*/settings.replaceFiles.empty());
    }
    const platform::Path* refused = runFiles.RefusedGenerated(outputs);
    if (refused == nullptr) return;
    TextPosition at{1, 1};
    for (const Language& language : languages) {
      const std::string file = LanguageFile(language.name);
      if (!file.empty() && platform::PathFromArgument(file).native() == refused->native()) {
        at = scan.Cell(0, language.column).position;
        break;
      }
    }
    Add(at, true, Msg::CheckOutputIsRunFile, {PathArg(*refused)}, "file-clash");
  }

  void CheckLanguages() {
    std::map<std::string, const Language*> byName;
    std::map<std::uint32_t, const Language*> byHash;
    // Keyed as the system tells file names apart: names lower-cased in ASCII only may still be
    // one file there ("é" and "É" on Windows), and the run then writes one over the other.
    std::map<platform::Path::string_type, const Language*, platform::SpellingOrder> byFile;
    const std::string idList = IdListFile();
    for (const Language& language : languages) {
      const ScannedCell cell = scan.Cell(0, language.column);
      CheckName(cell, LanguagesWritten(),
                LanguagesWritten() || !LanguageFile(language.name).empty());
      // A file the run never writes, or stops at (CheckLanguageFiles), clashes with none.
      const bool writesFile = platform::IsPlainFileName(language.name);
      if (settings.sourceOutput) {
        const std::string file = LanguageFile(language.name);
        if (file.empty()) {
          // Replace files instead of language files: LANGUAGE_LIST would write the name twice,
          // and MESSAGE_LIST reads the first column of a name only.
          if (auto [it, added] = byName.emplace(language.name, &language); !added) {
            Add(cell.position, true, Msg::CheckDuplicateLanguage,
                {Text(language.name), Number(static_cast<std::uint64_t>(it->second->column) + 1)},
                "duplicate-language");
          }
          continue;
        }
        if (!writesFile || file == idList) continue;
        if (auto [it, added] = byFile.emplace(platform::PathFromArgument(file).native(), &language);
            !added) {
          Add(cell.position, true, Msg::CheckLanguageFileClash,
              {Text(language.name), Text(file), Text(it->second->name),
               Number(static_cast<std::uint64_t>(it->second->column) + 1)},
              "file-clash");
        }
        continue;
      }
      if (auto [it, added] = byName.emplace(language.name, &language); !added) {
        Add(cell.position, true, Msg::CheckDuplicateLanguage,
            {Text(language.name), Number(static_cast<std::uint64_t>(it->second->column) + 1)},
            "duplicate-language");
        continue;
      }
      const std::uint32_t hash = HashString(language.name, settings.hashSeed);
      if (auto [it, added] = byHash.emplace(hash, &language); !added) {
        Add(cell.position, true, Msg::CheckLanguageHashCollision,
            {Text(language.name), Number(hash), Text(it->second->name),
             Number(static_cast<std::uint64_t>(it->second->column) + 1)},
            "hash-collision");
      }
      if (settings.indexing == IndexingMode::PerLanguage && writesFile) {
        const std::string file = LanguageFile(language.name);
        if (auto [it, added] = byFile.emplace(platform::PathFromArgument(file).native(), &language);
            !added) {
          Add(cell.position, true, Msg::CheckLanguageFileClash,
              {Text(language.name), Text(file), Text(it->second->name),
               Number(static_cast<std::uint64_t>(it->second->column) + 1)},
              "file-clash");
        }
      }
    }
  }

  void CheckUnnamedColumns() {
    // A MESSAGE_LIST without an argument reads the first one of them.
    bool firstRead = settings.sourceOutput && !settings.replaceFiles.empty() &&
                     settings.replaceReadsUnnamedColumn;
    for (std::int32_t column = 1; column < scan.columns; ++column) {
      if (!scan.Cell(0, column).text.empty()) continue;
      const bool read = std::exchange(firstRead, false);
      if (read || (settings.sourceOutput && column == 1)) continue;  // column 1: the fallback
      for (std::int32_t row = 1; row < scan.rows; ++row) {
        if (!scan.Cell(row, column).text.empty()) {
          Add(scan.Cell(0, column).position, false, Msg::CheckUnnamedColumn,
              {Number(static_cast<std::uint64_t>(column) + 1)}, "unnamed-column");
          break;
        }
      }
    }
  }

  bool RowHasText(std::int32_t row) const {
    for (std::int32_t column = 1; column < scan.columns; ++column) {
      if (!scan.Cell(row, column).text.empty()) return true;
    }
    return false;
  }

  // Fills `earlier` from the identifiers sorted by (hash, row): repeats share a hash, so each
  // is found among the few identifiers of its hash. A map of every identifier met so far would be
  // a wait on memory for each row of a large catalog.
  void FindRepeatedIdentifiers() {
    struct Key {
      std::uint32_t hash;
      std::int32_t row;
    };
    std::vector<Key> keys;
    for (std::int32_t row = 1; row < scan.rows; ++row) {
      const std::string_view id = scan.Cell(row, 0).text;
      if (id.empty() || (!settings.sourceOutput && id[0] == '#')) continue;  // not checked
      keys.push_back({HashString(id, settings.hashSeed), row});
    }
    std::sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) {
      return a.hash != b.hash ? a.hash < b.hash : a.row < b.row;
    });
    earlier.assign(static_cast<std::size_t>(scan.rows), {});
    // A hash's distinct identifiers and the first row of each (a map: names made to collide can
    // share a hash by the thousand).
    std::unordered_map<std::string_view, std::int32_t> firsts;
    for (std::size_t begin = 0, end = 0; begin < keys.size(); begin = end) {
      end = begin + 1;
      while (end < keys.size() && keys[end].hash == keys[begin].hash) ++end;
      if (end - begin == 1) continue;
      firsts.clear();
      for (std::size_t k = begin; k < end; ++k) {
        const std::int32_t row = keys[k].row;
        Earlier& found = earlier[static_cast<std::size_t>(row)];
        if (auto [first, added] = firsts.emplace(scan.Cell(row, 0).text, row); !added) {
          found.same = first->second;
        } else if (k != begin) {
          found.sameHash = keys[begin].row;
        }
      }
    }
  }

  // A row without an identifier, or a comment row (source output takes it as a message): the
  // run reads none of its texts.
  bool IsSkippedRow(std::int32_t row) const {
    const std::string_view id = scan.Cell(row, 0).text;
    return id.empty() || (!settings.sourceOutput && id[0] == '#');
  }

  void CheckRow(std::int32_t row) {
    const ScannedCell id = scan.Cell(row, 0);
    if (id.text.empty()) {
      if (RowHasText(row)) {
        Add(scan.records[static_cast<std::size_t>(row)].position, false, Msg::CheckEmptyIdentifier,
            {}, "empty-identifier");
      }
      return;
    }
    if (IsSkippedRow(row)) return;
    CheckName(id, IdentifiersWritten(), IdentifiersWritten() || IdentifiersInComments());
    if (IdentifiersInComments() && id.text.find("*/") != std::string::npos) {
      Add(id.position, true, Msg::CheckCommentEnd, {Text(id.text)}, "name-syntax");
    }
    const Earlier& before = earlier[static_cast<std::size_t>(row)];
    if (before.same >= 0) {
      Add(id.position, true, Msg::CheckDuplicateIdentifier,
          {Text(id.text), Number(scan.Cell(before.same, 0).position.line)}, "duplicate-identifier");
    } else if (!settings.sourceOutput && before.sameHash >= 0) {
      const ScannedCell first = scan.Cell(before.sameHash, 0);
      Add(id.position, true, Msg::CheckHashCollision,
          {Text(id.text), Number(HashString(id.text, settings.hashSeed)), Text(first.text),
           Number(first.position.line)},
          "hash-collision");
    }
    CheckMessages(row);
  }

  void CheckMessages(std::int32_t row) {
    if (firstColumn < 0) return;
    const std::string_view first = scan.Cell(row, firstColumn).text;
    bool shaped = false;
    if (!settings.sourceOutput && !first.empty()) {
      ShapeOf(first, &markup, &firstShape);
      shaped = true;
      CheckTagNames(scan.Cell(row, firstColumn).position, firstShape);
    }
    for (Language& language : languages) {
      if (language.column == firstColumn) continue;
      const ScannedCell cell = scan.Cell(row, language.column);
      if (cell.text.empty()) {
        if (!first.empty()) {
          Add(cell.position, false, Msg::CheckEmptyTranslation, {Text(firstName)},
              "empty-translation");
          ++language.emptyTexts;
        }
        continue;
      }
      ShapeOf(cell.text, &markup, &textShape);
      // Only binary output reads the markup; indexed output stores colours and typefaces.
      if (!settings.sourceOutput) CheckTagNames(cell.position, textShape);
      if (first.empty()) continue;
      if (!shaped) {
        ShapeOf(first, &markup, &firstShape);
        shaped = true;
      }
      CompareShapes(cell.position, firstShape, textShape);
    }
  }

  void CheckTagNames(TextPosition at, const MessageShape& shape) {
    for (const std::string& name : shape.unknownColors) {
      Add(at, false, Msg::CheckUnknownColorName, {Text(name)}, "color-name");
    }
    for (const std::string& name : shape.unsupportedFaces) {
      Add(at, false, Msg::CheckUnsupportedTypeface, {Text(name)}, "typeface-name");
    }
  }

  void CompareShapes(TextPosition at, const MessageShape& first, const MessageShape& shape) {
    for (std::int64_t argument : first.arguments) {
      if (!shape.HasArgument(argument)) {
        Add(at, true, Msg::CheckFieldMissing,
            {Number(static_cast<std::uint64_t>(argument)), Text(firstName)}, "field-mismatch");
      }
    }
    for (std::int64_t argument : shape.arguments) {
      if (!first.HasArgument(argument)) {
        Add(at, true, Msg::CheckFieldAdded,
            {Number(static_cast<std::uint64_t>(argument)), Text(firstName)}, "field-mismatch");
      }
    }
    auto compare = [&](std::uint64_t here, std::uint64_t there, Msg message) {
      if (here != there) {
        Add(at, false, message, {Number(here), Number(there), Text(firstName)}, "tag-count");
      }
    };
    compare(shape.colorTags, first.colorTags, Msg::CheckColorTagCount);
    compare(shape.faceTags, first.faceTags, Msg::CheckFaceTagCount);
    compare(shape.rubyTags, first.rubyTags, Msg::CheckRubyTagCount);
  }

  // Places what the indexing passes of the run failed on. The warnings they give are the
  // color-name and typeface-name checks' already.
  void CheckIndexing() {
    std::set<std::tuple<std::uint32_t, std::uint32_t, Msg>> placed;  // one per cell and kind
    for (const IndexingFailure& failure : *indexing) {
      TextPosition at;
      if (failure.row < 0) {
        // A list too long is no single message's fault: the header cell of the language whose
        // table it is (with --indexing-all the first language, as the one table serves all).
        at = scan.Cell(0, failure.column).position;
      } else {
        // The cell whose text failed: the first language's when the cell is empty and falls
        // back to it.
        const ScannedCell cell = scan.Cell(failure.row, failure.column);
        at = cell.text.empty() && firstColumn > 0 ? scan.Cell(failure.row, firstColumn).position
                                                  : cell.position;
      }
      if (!placed.emplace(at.line, at.column, failure.message).second) continue;
      switch (failure.message) {
        case Msg::UnregisteredCharacter:
          Add(at, true, Msg::CheckUnregisteredCharacter,
              {failure.args[0], failure.args[1], Text(failure.typeface)}, "indexed-character");
          break;
        case Msg::UnknownTypefaceName:
          Add(at, true, Msg::CheckTypefaceWithoutList, failure.args, "indexed-typeface");
          break;
        case Msg::TooManyCharactersToIndex:
          Add(at, true, Msg::CheckTooManyCharacters, failure.args, "indexed-list-size");
          break;
        default:
          break;
      }
    }
  }

  void AddEmptyCounts() {
    for (const Language& language : languages) {
      if (language.emptyTexts == 0) continue;
      Add(scan.Cell(0, language.column).position, false, Msg::CheckEmptyTranslationCount,
          {Text(language.name), Text(firstName), Number(language.emptyTexts)}, "empty-translation");
    }
  }

  const CsvScan& scan;
  const CheckSettings& settings;
  const std::vector<IndexingFailure>* indexing;
  std::vector<Language> languages;
  std::int32_t firstColumn = -1;
  std::string firstName;
  MarkupNodes markup;       // the parser's buffer, for every text
  MessageShape firstShape;  // of the row's first-language text
  MessageShape textShape;   // of the text being compared with it
  // Per row, the earlier row whose identifier it repeats, or else the first earlier one with
  // another identifier of the same hash; -1 for none.
  struct Earlier {
    std::int32_t same = -1;
    std::int32_t sameHash = -1;
  };
  std::vector<Earlier> earlier;
  std::vector<Diagnostic> found;
  std::vector<FormatArgs> spareArgs;  // of findings handed over, for Add to fill again
};

// Column of the "$" that opens a command: the indentation is blanks, one byte each.
TextPosition CommandPosition(const ReplaceCommand& record) {
  return {record.line, static_cast<std::uint32_t>(record.indentation.size()) + 1};
}

}  // namespace

std::vector<Diagnostic> CheckReplaceText(std::string_view text, const CsvScan* scan,
                                         const CheckSettings& settings,
                                         const ReplacedFileCheck* replaced) {
  std::vector<Diagnostic> found;
  auto add = [&](const ReplaceCommand& record, bool error, Msg message, FormatArgs args,
                 const char* check) {
    found.push_back({CommandPosition(record), error, message, std::move(args), check});
  };
  std::optional<ReplaceCommand> lastOutputName;      // the one that names the output
  bool parses = true;                                // the run gets as far as writing
  std::unordered_set<std::string_view> languageIds;  // the header's cells, at the first need
  ForEachReplaceLine(text, [&](ReplaceCommand record) {
    switch (record.code) {
      case command::Nop:
        add(record, true, Msg::CheckUnknownCommand, {Text(record.name)}, "replace-command");
        parses = false;
        break;
      case command::OutputName:
        if (record.argument.empty()) {
          add(record, true, Msg::CheckOutputNameWithoutFile, {}, "replace-command");
          parses = false;
        }
        lastOutputName = record;
        break;
      case command::If:
      case command::Elif:
        if (!ResolveCondition(&record)) {
          add(record, false, Msg::CheckUnknownConditionName, {Text(record.argument)},
              "replace-condition");
        }
        break;
      case command::LanguageList:
        // In source output every column gives a line, one without a language ID a bare ",".
        if (settings.sourceOutput && scan != nullptr && scan->fault == ScanFault::None) {
          for (std::int32_t column = 1; column < scan->columns; ++column) {
            if (!scan->Cell(0, column).text.empty()) continue;
            add(record, false, Msg::CheckLanguageListUnnamedColumn,
                {Number(static_cast<std::uint64_t>(column) + 1)}, "replace-language");
          }
        }
        break;
      case command::MessageList:
        if (!settings.sourceOutput) {
          add(record, false, Msg::CheckMessageListBinary, {}, "replace-command");
        } else if (scan != nullptr && scan->fault == ScanFault::None) {
          // Matched byte for byte against every header cell, as the run does.
          if (languageIds.empty()) {
            for (std::int32_t column = 1; column < scan->columns; ++column) {
              languageIds.insert(scan->Cell(0, column).text);
            }
          }
          if (!languageIds.contains(record.argument)) {
            add(record, true, Msg::CheckMessageListLanguage, {Text(record.argument)},
                "replace-language");
          }
        }
        break;
      default:
        break;
    }
    return true;  // every line, so that one pass shows all
  });
  // The run refuses a name with a zero byte, which the system would see cut short, cannot
  // open one longer than its folder allows, and does not write over a file it reads or has
  // written before.
  std::optional<Diagnostic> unopened;
  const TextPosition namedAt =
      lastOutputName ? CommandPosition(*lastOutputName) : TextPosition{1, 1};
  if (lastOutputName && lastOutputName->argument.find('\0') != std::string::npos) {
    unopened = Diagnostic{.position = namedAt,
                          .error = true,
                          .message = Msg::CheckOutputNameZeroByte,
                          .args = {},
                          .check = "replace-command"};
  } else if (const platform::Path named = lastOutputName
                                              ? platform::PathFromNarrow(lastOutputName->argument)
                                              : platform::Path();
             !named.empty() &&
             !platform::FileNameFits(platform::JoinPath(settings.outputDirectory, named))) {
    unopened = Diagnostic{.position = namedAt,
                          .error = true,
                          .message = Msg::CheckOutputNameTooLong,
                          .args = {PathArg(platform::JoinPath(settings.outputDirectory, named))},
                          .check = "replace-command"};
  } else if (replaced != nullptr && parses) {
    const platform::Path output =
        ReplacedFilePath(settings.outputDirectory, replaced->replaceFile, named, replaced->planned);
    if (replaced->runFiles.Holds(output)) {
      unopened = Diagnostic{.position = namedAt,
                            .error = true,
                            .message = Msg::CheckReplacedFileIsRunFile,
                            .args = {PathArg(output)},
                            .check = "replace-output"};
    }
  }
  if (unopened) {
    // Among the others by its line: every finding before it is of a line above.
    const auto at = std::find_if(found.begin(), found.end(), [&](const Diagnostic& d) {
      return d.position.line > unopened->position.line;
    });
    found.insert(at, std::move(*unopened));
  }
  return found;
}

std::vector<IndexingFailure> FindIndexingFailures(const MessageTable& table, IndexingMode mode) {
  std::vector<IndexingFailure> failures;
  auto collect = [&](const IndexingFault& fault) {
    if (!fault.error || fault.language >= table.languages.size()) return;
    failures.push_back(
        {.row = fault.id == IndexingFault::kNoId ? -1 : table.messageIds[fault.id].row,
         .column = table.languages[fault.language].column,
         .message = fault.message,
         .args = fault.args,
         .typeface = std::string(fault.typeface)});
  };
  CharacterTables tables;
  IndexedPoolPlan plan;  // names the messages that can fail: only those are encoded
  // Too long a list stops a run before encoding; the messages are checked all the same.
  (void)BuildCharacterTables(table, mode, &tables, collect, &plan);
  // The run's warnings of ignored tags are no findings: only errors are asked for.
  (void)ReportIndexingFaults(table, mode, tables, plan, collect, /*errorsOnly=*/true);
  return failures;
}

void CheckCsv(const CsvScan& scan, const CheckSettings& settings,
              const std::vector<IndexingFailure>* indexing, const DiagnosticReport& report) {
  CsvChecker(scan, settings, indexing).Run(report);
}

std::vector<Diagnostic> CheckCsv(const CsvScan& scan, const CheckSettings& settings,
                                 const std::vector<IndexingFailure>* indexing) {
  std::vector<Diagnostic> found;
  CheckCsv(scan, settings, indexing, [&](const Diagnostic& finding) { found.push_back(finding); });
  return found;
}

bool CheckInputFile(const platform::Path& inputPath, const CheckSettings& given) {
  // The replace files are read once, first: what they write decides some findings of the CSV
  // file, which come before theirs. One that cannot be read is reported in its turn below.
  CheckSettings settings = given;
  if (settings.inputPath.empty()) settings.inputPath = inputPath;
  std::vector<std::optional<std::string>> replaceTexts;
  if (!settings.replaceFiles.empty()) {
    settings.replaceListsIds = false;
    settings.replaceListsLanguages = false;
    settings.replaceListsMessages = false;
    settings.replaceReadsUnnamedColumn = false;
  }
  for (std::size_t k = 0; k < settings.replaceFiles.size(); ++k) {
    const platform::Path& replaceFile = settings.replaceFiles[k];
    std::optional<std::string>& text = replaceTexts.emplace_back(std::string());
    if (k < settings.replaceTexts.size() && settings.replaceTexts[k]) {
      text = settings.replaceTexts[k];
    } else if (!ReadTextFile(replaceFile, &*text)) {
      text.reset();
      continue;
    }
    ForEachReplaceLine(*text, [&](const ReplaceCommand& record) {
      settings.replaceListsIds |= record.code == command::IdList;
      settings.replaceListsLanguages |= record.code == command::LanguageList;
      settings.replaceListsMessages |= record.code == command::MessageList;
      settings.replaceReadsUnnamedColumn |=
          record.code == command::MessageList && record.argument.empty();
      return true;
    });
  }
  bool clean = true;
  std::optional<DiagnosticPrinter> printer;
  std::string file;
  auto print = [&](const Diagnostic& finding) {
    printer->Print(file, finding.position.line, finding.position.column, finding.error,
                   finding.message, finding.args, finding.check);
    if (finding.error) clean = false;
  };
  // The indexing passes need the table as a run loads it, and the scan holds the file again:
  // one after the other, so that the two never take memory at once.
  std::optional<std::vector<IndexingFailure>> indexing;
  if (!settings.sourceOutput && settings.indexing != IndexingMode::NoIndexing) {
    MessageTable table;
    // A file the reader refuses fails the scan too, which then reports why.
    if (table.Load(inputPath, settings.hashSeed)) {
      indexing = FindIndexingFailures(table, settings.indexing);
    }
  }
  std::optional<CsvScan> scan;
  {
    std::string contents;
    if (ReadWholeFile(inputPath, &contents)) scan = ScanCsv(std::move(contents));
  }
  if (scan) {
    file = platform::PathToUtf8(inputPath);
    printer.emplace();
    CheckCsv(*scan, settings, indexing ? &*indexing : nullptr, print);
    printer.reset();
  } else {
    PrintError(Msg::FailedToReadCsvFile, {PathArg(inputPath)});
    clean = false;
  }
  // What the replaced files may not be written over: the CSV file, the replace files read so
  // far, and under binary output the files written before them.
  RunFiles runFiles;
  if (!settings.replaceFiles.empty()) {
    runFiles.Add(inputPath);
    if (!settings.sourceOutput && scan && scan->fault == ScanFault::None) {
      for (const platform::Path& generated :
           BinaryOutputsOf(*scan, settings, /*hashIncludes=*/false)) {
        runFiles.Add(generated, /*anew=*/true);
      }
    }
  }
  // The replace files are checked even when the CSV file is not, so that one pass shows all.
  for (std::size_t k = 0; k < replaceTexts.size(); ++k) {
    const platform::Path& replaceFile = settings.replaceFiles[k];
    // One that an earlier replace file writes is made anew by the run.
    const bool planned = k < settings.replaceTexts.size() && settings.replaceTexts[k];
    runFiles.Add(replaceFile, /*anew=*/planned);
    if (!replaceTexts[k]) {
      PrintError(Msg::FailedToReadFile, {PathArg(replaceFile)});
      clean = false;
      continue;
    }
    file = platform::PathToUtf8(replaceFile);
    printer.emplace();
    const ReplacedFileCheck replaced{replaceFile, planned, runFiles};
    for (const Diagnostic& finding :
         CheckReplaceText(*replaceTexts[k], scan ? &*scan : nullptr, settings, &replaced)) {
      print(finding);
    }
    printer.reset();
  }
  return clean;
}

}  // namespace quillex
