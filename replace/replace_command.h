// The generator interface of replace files: the command codes, one parsed replace-file line, and
// the base class through which the replace processor asks a generator for its lines.
#pragma once

#include <cstdint>
#include <string>

#include "input/hash.h"
#include "platform/platform.h"

namespace quillex {

/// Command and condition codes: the names hashed with the fixed seed, whatever the run's seed.
constexpr std::uint32_t CommandCode(std::string_view name) {
  return HashString(name, kDefaultHashSeed);
}

namespace command {
constexpr std::uint32_t Put = CommandCode("PUT");
constexpr std::uint32_t OutputName = CommandCode("OUTPUT_NAME");
constexpr std::uint32_t If = CommandCode("IF");
constexpr std::uint32_t Elif = CommandCode("ELIF");
constexpr std::uint32_t Else = CommandCode("ELSE");
constexpr std::uint32_t EndIf = CommandCode("ENDIF");
constexpr std::uint32_t IdList = CommandCode("ID_LIST");
constexpr std::uint32_t LanguageList = CommandCode("LANGUAGE_LIST");
constexpr std::uint32_t MessageList = CommandCode("MESSAGE_LIST");
constexpr std::uint32_t Nop = CommandCode("NOP");  // not a recognised name
}  // namespace command

namespace condition {
constexpr std::uint32_t Binary = CommandCode("BINARY");
constexpr std::uint32_t Source = CommandCode("SOURCE");
constexpr std::uint32_t Indexed = CommandCode("INDEXED");
constexpr std::uint32_t True = CommandCode("TRUE");
constexpr std::uint32_t False = CommandCode("FALSE");
}  // namespace condition

/// One line of a replace file.
struct ReplaceCommand {
  std::uint32_t code = command::Nop;
  std::uint32_t condition = condition::False;
  std::string name;         // as written; empty for text lines
  std::string argument;     // after the colon; the whole line for text lines
  std::string indentation;  // blanks before the "$"; empty for text lines
  std::uint32_t line = 0;   // 1-based
};

/// The base of both generators.
class TextReplaceCommandProcessor {
 public:
  virtual ~TextReplaceCommandProcessor() = default;

  /// Appends the lines of an ID_LIST, LANGUAGE_LIST or MESSAGE_LIST command to `out`, each
  /// starting with the command's indentation and ending in "\n". Returns false (after printing
  /// its error) to abandon the replaced file; an unsupported command warns and returns true.
  virtual bool ProcessCommand(std::string& out, const ReplaceCommand& command,
                              const platform::Path& replaceFile) = 0;
};

}  // namespace quillex
