#include "replace/replace_parser.h"

namespace quillex {
namespace {

// Names and conditions are matched by their hash, which stops at a NUL byte; since a NUL is an
// ordinary byte of a line here, "ID_LIST\0x" must not pass for ID_LIST.
std::uint32_t CodeOf(std::string_view name) {
  return name.find('\0') == std::string_view::npos ? CommandCode(name) : command::Nop;
}

bool IsRecognisedCode(std::uint32_t code) {
  switch (code) {
    case command::Put:
    case command::OutputName:
    case command::If:
    case command::Elif:
    case command::Else:
    case command::EndIf:
    case command::IdList:
    case command::LanguageList:
    case command::MessageList:
      return true;
    default:
      return false;
  }
}

bool ConditionValue(std::uint32_t code, const ConditionFlags& flags) {
  switch (code) {
    case condition::Binary:
      return flags.binary;
    case condition::Source:
      return flags.source;
    case condition::Indexed:
      return flags.indexed;
    case condition::True:
      return true;
    default:
      return false;
  }
}

}  // namespace

ReplaceCommand ParseReplaceLine(std::string_view line, std::uint32_t lineNumber) {
  ReplaceCommand record;
  record.line = lineNumber;
  std::size_t dollar = line.find_first_not_of(" \t");
  std::size_t nameEnd = std::string_view::npos;
  std::size_t argumentEnd = std::string_view::npos;
  if (dollar != std::string_view::npos && line[dollar] == '$') {
    nameEnd = line.find_first_of(":$", dollar + 1);
    argumentEnd = nameEnd;
    if (nameEnd != std::string_view::npos && line[nameEnd] == ':') {
      argumentEnd = line.find('$', nameEnd + 1);
    }
  }
  if (argumentEnd == std::string_view::npos) {
    // No complete "$NAME$" or "$NAME:ARGUMENT$" after the blanks: copied as it stands.
    record.code = command::Put;
    record.argument = line;
    return record;
  }
  record.indentation = line.substr(0, dollar);
  record.name = line.substr(dollar + 1, nameEnd - dollar - 1);
  if (argumentEnd != nameEnd) record.argument = line.substr(nameEnd + 1, argumentEnd - nameEnd - 1);
  std::uint32_t code = CodeOf(record.name);
  record.code = IsRecognisedCode(code) ? code : command::Nop;
  return record;
}

bool ParseReplaceText(std::string_view text, std::list<ReplaceCommand>* commands,
                      std::string* outputName, ReplaceCommand* failed) {
  return ForEachReplaceLine(text, [&](ReplaceCommand record) {
    if (record.code == command::Nop ||
        (record.code == command::OutputName && record.argument.empty())) {
      *failed = std::move(record);
      return false;
    }
    if (record.code == command::OutputName) {
      *outputName = std::move(record.argument);
    } else {
      commands->push_back(std::move(record));
    }
    return true;
  });
}

bool ResolveCondition(ReplaceCommand* record) {
  std::uint32_t code = CodeOf(record->argument);
  bool known = code == condition::Binary || code == condition::Source ||
               code == condition::Indexed || code == condition::True || code == condition::False;
  record->condition = known ? code : condition::False;
  return known;
}

void AppendConditionalLine(std::string& out, const ReplaceCommand& record,
                           const ConditionFlags& flags) {
  const char value = ConditionValue(record.condition, flags) ? '1' : '0';
  out.append(record.indentation);
  switch (record.code) {
    case command::If:
      out.append("#if ").append(1, value).append("   /* auto generated: IF:");
      out.append(record.argument).append(" */\n");
      break;
    case command::Elif:
      out.append("#elif ").append(1, value).append(" /* auto generated: ELIF:");
      out.append(record.argument).append(" */\n");
      break;
    case command::Else:
      out.append("#else   /* auto generated */\n");
      break;
    default:
      out.append("#endif  /* auto generated */\n");
      break;
  }
}

}  // namespace quillex
