// The formatter: any format text with any arguments renders without failing; a text whose every
// "{" is doubled comes back unchanged (up to its first NUL), whatever the arguments.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "format/formatter.h"

namespace {

using quillex::FormatArg;
using quillex::FormatArgs;

// Widths pad to as many bytes as they say: a width of two thousand million is a valid field that
// no caller writes. Fields are kept to sane widths so that a run measures the parser, not memset.
bool HasHugeWidth(const std::string& format) {
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '{') continue;
    quillex::PlaceholderSpec spec;
    quillex::ParseField(format.c_str() + i, &spec);
    if (spec.width > 4096 || spec.width < -4096 || spec.precision > 4096 || spec.hexDigits > 4096) {
      return true;
    }
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Layout: one byte with the argument count, then 9 bytes per argument (kind, value), then the
  // format text.
  std::size_t count = size > 0 ? data[0] % 8 : 0;
  std::size_t at = 1;
  FormatArgs args;
  for (std::size_t n = 0; n < count && at + 9 <= size; ++n, at += 9) {
    FormatArg arg;
    arg.kind = static_cast<quillex::FormatArgKind>(data[at] % 8);  // 0 and 7 are no kind
    std::memcpy(&arg.value, data + at + 1, 8);
    arg.text = std::to_string(arg.value);
    args.push_back(arg);
  }
  const std::string format(reinterpret_cast<const char*>(data) + std::min(at, size),
                           size - std::min(at, size));
  if (HasHugeWidth(format)) return 0;
  const std::string once = quillex::FormatString(format, args);
  if (quillex::FormatString(format, args) != once) std::abort();

  const std::string literal = format.substr(0, format.find('\0'));
  std::string doubled;
  for (char c : literal) doubled += c == '{' ? std::string("{{") : std::string(1, c);
  if (quillex::FormatString(doubled, args) != literal) std::abort();
  return 0;
}
