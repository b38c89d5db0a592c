#include "app/command_line.h"

#include <string>

namespace quillex {
namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The value of `c` as a digit of `base`, or -1.
int DigitValue(char c, int base) {
  int digit = -1;
  if (c >= '0' && c <= '9') {
    digit = c - '0';
  } else if (c >= 'a' && c <= 'f') {
    digit = c - 'a' + 10;
  } else if (c >= 'A' && c <= 'F') {
    digit = c - 'A' + 10;
  }
  return digit < base ? digit : -1;
}

enum class Word {
  Version,
  Help,
  Output,
  Prefix,
  Source,
  Replace,
  HashSeed,
  Indexing,
  IndexingAll,
  ListOutputs,
  KeepUnchanged,
  Check,
  None
};

Word Classify(std::string_view argument) {
  if (argument == "-v" || argument == "--version") return Word::Version;
  if (argument == "--help") return Word::Help;
  if (argument == "-o" || argument == "--output") return Word::Output;
  // The usage text has always named "--prefix" while only "--prerix" worked; build scripts may
  // use either.
  if (argument == "-p" || argument == "--prefix" || argument == "--prerix") return Word::Prefix;
  if (argument == "-s" || argument == "--source") return Word::Source;
  if (argument == "--replace") return Word::Replace;
  if (argument == "--hash-seed") return Word::HashSeed;
  if (argument == "--indexing") return Word::Indexing;
  if (argument == "--indexing-all") return Word::IndexingAll;
  if (argument == "--list-outputs") return Word::ListOutputs;
  if (argument == "--keep-unchanged") return Word::KeepUnchanged;
  if (argument == "--check") return Word::Check;
  return Word::None;
}

bool TakesValue(Word word) {
  return word == Word::Output || word == Word::Prefix || word == Word::Replace ||
         word == Word::HashSeed;
}

}  // namespace

bool ParseHashSeed(std::string_view text, std::uint32_t* value) {
  std::size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  int base = 10;
  if (i < text.size() && text[i] == '0') {
    if (i + 1 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
      base = 16;
      i += 2;
    } else {
      base = 8;  // the "0" itself is read as a digit
    }
  }
  std::uint64_t magnitude = 0;
  bool anyDigit = false;
  for (int digit; i < text.size() && (digit = DigitValue(text[i], base)) >= 0; ++i) {
    anyDigit = true;
    magnitude = magnitude * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
    if (magnitude > 0xFFFFFFFFu) return false;
  }
  if (!anyDigit) return false;
  const auto result = static_cast<std::uint32_t>(magnitude);
  *value = negative ? 0u - result : result;
  return true;
}

void PrintOptionError(Msg message, std::string_view argument) {
  PrintError(message, {FormatArg::OfString(std::string(argument))});
}

bool ParseCommandLine(Options* options, int argc, const char* const* argv) {
  if (argc < 2) {
    options->showHelp = true;
    return true;
  }
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    const Word word = Classify(argument);
    if (TakesValue(word)) {
      if (i + 1 >= argc) {
        PrintOptionError(Msg::ParametersMissing, argument);
        return false;
      }
      // The value is taken as it stands, even when it looks like an option word.
      const char* value = argv[++i];
      switch (word) {
        case Word::Output:
          options->outputDirectory = platform::PathFromArgument(value);
          break;
        case Word::Prefix:
          options->prefix = platform::PathFromArgument(value);
          break;
        case Word::Replace:
          options->replaceFiles.push_back(platform::PathFromArgument(value));
          break;
        default:  // Word::HashSeed
          options->autoHashSeed = std::string_view(value) == "auto";
          if (options->autoHashSeed) break;
          if (!ParseHashSeed(value, &options->hashSeed)) {
            PrintOptionError(Msg::InvalidHashSeed, value);
            return false;
          }
          break;
      }
      continue;
    }
    switch (word) {
      case Word::Version:
        options->showVersion = true;
        return true;
      case Word::Help:
        options->showHelp = true;
        return true;
      case Word::Source:
        options->sourceOutput = true;
        break;
      case Word::Indexing:
        options->indexing = IndexingMode::PerLanguage;
        break;
      case Word::IndexingAll:
        options->indexing = IndexingMode::AllLanguages;
        break;
      case Word::ListOutputs:
        options->listOutputs = true;
        break;
      case Word::KeepUnchanged:
        options->keepUnchanged = true;
        break;
      case Word::Check:
        options->check = true;
        break;
      default:
        // An empty argument leaves the input unset, so a later one may still name it.
        if (!options->inputPath.empty()) {
          PrintError(Msg::MultipleInputFiles);
          return false;
        }
        options->inputPath = platform::PathFromArgument(argument);
        break;
    }
  }
  if (options->inputPath.empty()) {
    PrintError(Msg::InputFileNotSpecified);
    return false;
  }
  return true;
}

}  // namespace quillex
