// The placeholder formatter: fills "{}" fields of a format text from a list of arguments. Its
// field grammar is also the substitution syntax of the message markup.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quillex {

enum class FormatArgKind : std::int32_t {
  Int = 1,    // signed 64-bit
  UInt = 2,   // unsigned 64-bit
  Float = 3,  // 32-bit float, stored in the low half of `value`
  Bool = 4,
  String = 5,  // `text`
  Hex = 6,     // 64-bit, always shown in hexadecimal
};

/// One formatter argument. A kind outside the enumeration renders as "N/A".
struct FormatArg {
  FormatArgKind kind = FormatArgKind::String;
  std::uint64_t value = 0;
  std::string text;

  static FormatArg OfInt(std::int64_t v);
  static FormatArg OfUInt(std::uint64_t v);
  static FormatArg OfFloat(float v);
  static FormatArg OfBool(bool v);
  static FormatArg OfString(std::string v);
  static FormatArg OfHex(std::uint64_t v);
};

using FormatArgs = std::vector<FormatArg>;

/// A parsed field and its settings. Substitution nodes keep a copy and the binary encoder writes
/// its fields out, so the field order and defaults are part of the output format.
struct PlaceholderSpec {
  bool closed = false;      // the closing "}" was found
  std::int32_t index = -1;  // -1: the next automatic argument
  std::int32_t width = 0;   // > 0 right-aligned, < 0 left-aligned
  std::int32_t precision = -1;
  bool comma = false;
  bool plus = false;
  char fill = ' ';
  bool tilde = false;        // does not advance the automatic counter
  std::int32_t hexMode = 0;  // 0 decimal, 1 upper-case hex, 2 lower-case hex
  std::int32_t hexDigits = 0;
};

/// Formats `format` (read up to its first zero byte) with `args`. Never fails: a field without
/// an argument renders as "<!OOR!>", a malformed field is copied as text.
std::string FormatString(const std::string& format, const FormatArgs& args);

/// FormatString of the zero-terminated `format`, appended to `out`: a caller that makes many
/// lines keeps one buffer.
void AppendFormatted(std::string* out, const char* format, const FormatArgs& args);

/// Parses the field at `p` in a zero-terminated text into `placeholder` (reset to defaults first).
/// Returns the position after the field when `placeholder->closed`; otherwise the position of the
/// byte the caller copies as literal text (`p` itself, or p + 1 for "{{").
const char* ParseField(const char* p, PlaceholderSpec* placeholder);

/// ParseField over the text [p, end), read as if a zero byte followed it: a view that need not be
/// zero-terminated. Never reads at or after `end`.
const char* ParseField(const char* p, const char* end, PlaceholderSpec* placeholder);

/// Reads a run of decimal digits at `p` into `target` and returns the position after it; without
/// a digit both stay unchanged. A run above 2147483647 clamps to 2147483647.
const char* ParseNumber(const char* p, std::int32_t* target);

/// Renders one argument under `placeholder`, padded. A `Float` under "X"/"x" shows its 32-bit
/// pattern; not-a-number renders as "nan" (no sign), infinities as "inf" and "-inf" ("+inf" with
/// "+"). The thousands separator is the locale's, else ','.
std::string RenderArg(const FormatArg& arg, const PlaceholderSpec& placeholder);

/// Pads `text` with `placeholder.fill` to |placeholder.width| bytes; never cuts.
std::string PadField(const PlaceholderSpec& placeholder, std::string text);

}  // namespace quillex
