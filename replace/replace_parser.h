// The replace-file syntax on bytes: splitting a replace file into lines, parsing each line into a
// ReplaceCommand, and the conditional lines of IF, ELIF, ELSE and ENDIF. Prints nothing.
//
// A line is a command line when, after optional blanks (spaces and tabs), it reads "$NAME$" or
// "$NAME:ARGUMENT$"; whatever follows the closing "$" is dropped, its line end included. Every
// other line is a text line and is copied whole. Lines end after "\n"; a NUL byte is an ordinary
// byte of its line.
#pragma once

#include <cstdint>
#include <list>
#include <string>
#include <string_view>

#include "replace/replace_command.h"

namespace quillex {

/// The values of the conditions BINARY, SOURCE and INDEXED in one run.
struct ConditionFlags {
  bool binary = false;
  bool source = false;
  bool indexed = false;
};

/// Parses one line, its "\n" (if any) included, numbered `lineNumber`. A text line gives code
/// PUT with the whole line as argument and no indentation. A command line gives the code of its
/// name (NOP for a name that is not one of the nine, the empty name included), the name, the
/// argument and the indentation. The condition is left at FALSE.
ReplaceCommand ParseReplaceLine(std::string_view line, std::uint32_t lineNumber);

/// Hands each line of `text` to `visit` as ParseReplaceLine parses it, its "\n" included and
/// numbered from 1, until `visit` returns false. False when it did.
template <typename Visit>
bool ForEachReplaceLine(std::string_view text, Visit visit) {
  std::uint32_t lineNumber = 0;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    end = end == std::string_view::npos ? text.size() : end + 1;
    if (!visit(ParseReplaceLine(text.substr(start, end - start), ++lineNumber))) return false;
    start = end;
  }
  return true;
}

/// Parses `text` line by line (numbered from 1) and appends the records to `commands`, in order.
/// OUTPUT_NAME lines leave no record: their argument goes to `outputName`, the last one winning.
/// Stops at the first NOP record or OUTPUT_NAME without argument, stores that record in `failed`
/// and returns false. Time and memory are linear in the size of `text`.
[[nodiscard]] bool ParseReplaceText(std::string_view text, std::list<ReplaceCommand>* commands,
                                    std::string* outputName, ReplaceCommand* failed);

/// Sets the condition of an IF or ELIF record to the code of its argument when that is one of
/// BINARY, SOURCE, INDEXED, TRUE and FALSE (case-sensitive); otherwise to FALSE, returning false
/// so that the caller can warn.
bool ResolveCondition(ReplaceCommand* record);

/// Appends the preprocessor line of an IF, ELIF, ELSE or ENDIF record, after its indentation:
/// "#if 1   /* auto generated: IF:BINARY */\n" and so on, the comment always eight characters
/// after the indentation. REQUIRES: the record has one of those four codes.
void AppendConditionalLine(std::string& out, const ReplaceCommand& record,
                           const ConditionFlags& flags);

}  // namespace quillex
