// The replace-file loader: any text splits into lines and parses; every record belongs to its own
// line, in order, and is what parsing that line alone gives; a text line is carried whole; a text
// accepted whole has every line accounted for; a refused one stops at its first bad line.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <list>
#include <string>
#include <string_view>
#include <vector>

#include "replace/replace_command.h"
#include "replace/replace_parser.h"

namespace {

using namespace quillex;

void Check(bool condition) {
  if (!condition) std::abort();
}

bool Same(const ReplaceCommand& a, const ReplaceCommand& b) {
  return a.code == b.code && a.condition == b.condition && a.name == b.name &&
         a.argument == b.argument && a.indentation == b.indentation && a.line == b.line;
}

// A line the text-level parser refuses: a name that is none of the commands, or an output name
// without one.
bool Refused(const ReplaceCommand& record) {
  return record.code == command::Nop ||
         (record.code == command::OutputName && record.argument.empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string_view> lines;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    end = end == std::string_view::npos ? text.size() : end + 1;
    lines.push_back(text.substr(start, end - start));
    start = end;
  }

  std::list<ReplaceCommand> commands;
  std::string outputName;
  ReplaceCommand failed;
  const bool ok = ParseReplaceText(text, &commands, &outputName, &failed);

  std::uint32_t next = 1;  // the first line not yet accounted for
  std::string lastName;
  auto skipOutputNames = [&](std::uint32_t upTo) {
    for (; next < upTo; ++next) {
      ReplaceCommand alone = ParseReplaceLine(lines[next - 1], next);
      Check(alone.code == command::OutputName && !alone.argument.empty());
      lastName = alone.argument;
    }
  };
  for (const ReplaceCommand& record : commands) {
    Check(record.line >= next && record.line <= lines.size());
    skipOutputNames(record.line);
    Check(Same(record, ParseReplaceLine(lines[record.line - 1], record.line)));
    Check(!Refused(record) && record.code != command::OutputName);
    if (record.name.empty()) {
      Check(record.code == command::Put && record.argument == lines[record.line - 1]);
    }
    next = record.line + 1;
  }
  if (ok) {
    skipOutputNames(static_cast<std::uint32_t>(lines.size()) + 1);
    Check(outputName == lastName);
  } else {
    Check(failed.line >= next && failed.line <= lines.size());
    skipOutputNames(failed.line);
    Check(Refused(failed) && Same(failed, ParseReplaceLine(lines[failed.line - 1], failed.line)));
  }
  return 0;
}
