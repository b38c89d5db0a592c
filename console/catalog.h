// The console message catalog: every line the tool prints (apart from the version line) is one
// numbered message, in English or Japanese, printed as an error, a warning or a plain line.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "format/formatter.h"
#include "platform/output_file.h"
#include "platform/platform.h"

namespace quillex {

/// Catalog numbers. Fixed: the numbers are part of the catalog's contract.
enum class Msg : std::int32_t {
  UnknownTypefaceName = 0,
  UnsupportedColorName = 1,
  UnsupportedResetTag = 2,
  UnsupportedTypeface = 3,
  ExecuteTextReplace = 4,
  FailedToBuildMessagePool = 5,
  FailedToBuildOffsetPool = 6,
  FailedToCreateIdList = 7,
  FailedToOpenFile = 8,
  FailedToOutputBinaryFile = 9,
  FailedToOutputLanguageHashTable = 10,
  FailedToOutputIdHashTable = 11,
  FailedToOutputCharacterList = 12,
  FailedToReadCsvFile = 13,
  FailedToReadFile = 14,
  HashCollision = 15,
  Usage = 16,
  InputFileNotSpecified = 17,
  InvalidHashSeed = 18,
  LanguageIdNotFound = 19,
  MultipleInputFiles = 20,
  NoReplacementPerformed = 21,  // kept in the catalog, never printed
  OutputNameNotSpecified = 22,
  SourceNoIndexing = 23,
  CommandNoBinaryOutput = 24,
  CommandNoSourceOutput = 25,
  OutputBinaryFile = 26,
  OutputBufferOverflow = 27,
  OutputLanguageList = 28,
  OutputIdList = 29,
  OutputMessageTable = 30,
  OutputCharacterList = 31,
  ParametersMissing = 32,
  Succeeded = 33,
  UnknownCommandName = 34,
  UnknownCondition = 35,
  UnregisteredCharacter = 36,
  UsingHashSeed = 37,
  FailedToWriteFile = 38,
  FailedToOutputMessageTable = 39,
  TooManyCharactersToIndex = 40,
  MessageTableOverwritesIdList = 41,
  OutOfMemory = 42,
  // The texts of --check diagnostics (DiagnosticPrinter).
  CheckInvalidUtf8 = 43,
  CheckCutCharacter = 44,
  CheckNulCharacter = 45,
  CheckLoneCarriageReturn = 46,
  CheckTextAfterQuote = 47,
  CheckUnclosedQuote = 48,
  CheckNoCrLf = 49,
  CheckExtraFields = 50,
  CheckMissingFields = 51,
  CheckFieldMissing = 52,
  CheckFieldAdded = 53,
  CheckColorTagCount = 54,
  CheckFaceTagCount = 55,
  CheckRubyTagCount = 56,
  CheckEmptyTranslation = 57,
  CheckEmptyTranslationCount = 58,
  CheckEmptyIdentifier = 59,
  CheckDuplicateIdentifier = 60,
  CheckHashCollision = 61,
  CheckLanguageFileClash = 62,
  CheckLanguageIdListClash = 63,
  CheckDuplicateLanguage = 64,
  CheckLanguageHashCollision = 65,
  CheckControlCharacter = 66,
  CheckCommentEnd = 67,
  CheckNotIdentifier = 68,
  CheckUnnamedColumn = 69,
  NoCollisionFreeSeed = 70,
  CheckUnknownColorName = 71,
  CheckUnsupportedTypeface = 72,
  CheckUnknownCommand = 73,
  CheckOutputNameWithoutFile = 74,
  CheckUnknownConditionName = 75,
  CheckMessageListLanguage = 76,
  CheckMessageListBinary = 77,
  CheckUnregisteredCharacter = 78,
  CheckTypefaceWithoutList = 79,
  CheckTooManyCharacters = 80,
  CheckLanguagePathSeparator = 81,
  CheckOutputNameZeroByte = 82,
  CheckLanguageListUnnamedColumn = 83,
  OutputIsRunFile = 84,
  CheckLanguageFileNameTooLong = 85,
  CheckOutputNameTooLong = 86,
  CheckReplacedFileIsRunFile = 87,
  CheckOutputIsRunFile = 88,
};

/// Selects the Japanese texts. Written once by the entry point before the first message.
extern bool useJapanese;

/// The console text of message `index` with its placeholders filled, without a line feed.
/// A number outside 0 to 37 gives "** INVALID MESSAGE **": the messages after UsingHashSeed
/// have no number of their own and are asked for by their Msg.
std::string GetMessage(std::int32_t index, const FormatArgs& args = {});
std::string GetMessage(Msg message, const FormatArgs& args = {});

/// A path as a message argument: console messages show paths in UTF-8.
FormatArg PathArg(const platform::Path& path);

/// While one exists, PrintError, PrintWarning and PrintLine print nothing: for work done ahead of
/// a step that reports the same faults in its own form. On the entry point's thread only.
class ConsoleSilence {
 public:
  ConsoleSilence();
  ~ConsoleSilence();
  ConsoleSilence(const ConsoleSilence&) = delete;
  ConsoleSilence& operator=(const ConsoleSilence&) = delete;
};

/// "Error: %s\n" on standard error.
void PrintError(Msg message, const FormatArgs& args = {});
/// "Warning: %s\n" on standard error.
void PrintWarning(Msg message, const FormatArgs& args = {});
/// The text and a line feed on standard output.
void PrintLine(Msg message, const FormatArgs& args = {});

/// "Error: Out of memory." on standard error, for the last-resort handler of the run. Needs no
/// memory of its own: when even the message cannot be built, the English text is printed as is.
void PrintOutOfMemory();
/// Prints "FILE:LINE:COLUMN: error: TEXT [CHECK]" (or "warning:") lines on standard error, the
/// form editors and build logs pick up. Only TEXT, the catalog text of the message, is translated.
/// Lines are held and written many at a time: a catalog with hundreds of thousands of findings
/// would otherwise spend most of its time in one system call per line. Nothing else may be printed
/// while lines are held: Flush() first (the destructor flushes).
class DiagnosticPrinter {
 public:
  DiagnosticPrinter();
  DiagnosticPrinter(const DiagnosticPrinter&) = delete;
  DiagnosticPrinter& operator=(const DiagnosticPrinter&) = delete;
  ~DiagnosticPrinter() { Flush(); }

  void Print(std::string_view file, std::uint32_t line, std::uint32_t column, bool error,
             Msg message, const FormatArgs& args, std::string_view check);
  /// Writes the lines held, after whatever standard output holds.
  void Flush();

 private:
  std::string pending_;
  std::string line_;     // the line being made, reused
  const bool shiftJis_;  // the console's code page, asked once rather than for every line
};

/// Commits `file`. A failed write prints "Failed to write file: {}" with the target; a target
/// that could not be replaced prints nothing (it counts as a failed open). True when committed;
/// otherwise the caller prints its step's message.
[[nodiscard]] bool CommitOutput(OutputFile& file);

/// Writes `bytes` to `path` (mode "w" or "wb") through OutputFile: completely or not at all.
/// False after "Failed to write file: {}" for a failed write, or silently when the file cannot be
/// created or replaced; the caller prints its step's message.
[[nodiscard]] bool WriteOutputFile(const platform::Path& path, const char* mode,
                                   std::string_view bytes);

/// WriteOutputFile with the bytes handed to the file by `produce` piece by piece (through
/// OutputFile::Write), so that a large file is never held whole. `produce` runs only when the file
/// could be created.
[[nodiscard]] bool WriteOutputFile(const platform::Path& path, const char* mode,
                                   const std::function<void(OutputFile&)>& produce);

}  // namespace quillex
