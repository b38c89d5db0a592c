#include "format/formatter.h"

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstring>
#include <limits>

namespace quillex {
namespace {

constexpr char kOutOfRange[] = "<!OOR!>";

// The locale's thousands separator. The "C" locale has none; a zero byte must never reach the
// result, so ',' stands in.
char ThousandsSeparator() {
  const std::lconv* conv = std::localeconv();
  if (conv != nullptr && conv->thousands_sep != nullptr && conv->thousands_sep[0] != '\0') {
    return conv->thousands_sep[0];
  }
  return ',';
}

char DecimalPoint() {
  const std::lconv* conv = std::localeconv();
  if (conv != nullptr && conv->decimal_point != nullptr && conv->decimal_point[0] != '\0') {
    return conv->decimal_point[0];
  }
  return '.';
}

// Appends `digits` (most significant first), grouped by three from the right when `comma`.
void AppendGrouped(std::string* out, const std::string& digits, bool comma) {
  if (!comma) {
    *out += digits;
    return;
  }
  const char separator = ThousandsSeparator();
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i != 0 && (digits.size() - i) % 3 == 0) *out += separator;
    *out += digits[i];
  }
}

std::string DecimalDigits(std::uint64_t magnitude) {
  char buffer[24];
  char* end = buffer + sizeof buffer;
  char* p = end;
  do {
    *--p = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  return std::string(p, end);
}

// Decimal digits of a whole float of any size. Beyond 2^64 a float is its 24-bit mantissa times
// a power of two, so the digits come exactly from doubling the mantissa's digits.
std::string WholeFloatDigits(float whole) {
  if (whole < 18446744073709551616.0f) return DecimalDigits(static_cast<std::uint64_t>(whole));
  int exponent = 0;
  const float mantissa = std::frexp(whole, &exponent);  // whole = mantissa * 2^exponent
  std::string digits = DecimalDigits(static_cast<std::uint64_t>(std::ldexp(mantissa, 24)));
  for (int i = 0; i < exponent - 24; ++i) {
    int carry = 0;
    for (std::size_t j = digits.size(); j-- > 0;) {
      const int d = (digits[j] - '0') * 2 + carry;
      digits[j] = static_cast<char>('0' + d % 10);
      carry = d / 10;
    }
    if (carry != 0) digits.insert(digits.begin(), '1');
  }
  return digits;
}

std::string RenderHex(std::uint64_t value, bool lowerCase, std::int32_t minDigits) {
  const char* alphabet = lowerCase ? "0123456789abcdef" : "0123456789ABCDEF";
  char buffer[16];
  char* end = buffer + sizeof buffer;
  char* p = end;
  do {
    *--p = alphabet[value & 0xF];
    value >>= 4;
  } while (value != 0);
  const auto count = static_cast<std::int32_t>(end - p);
  std::string out;
  if (minDigits > count) out.assign(static_cast<std::size_t>(minDigits - count), '0');
  out.append(p, end);
  return out;
}

std::string RenderInteger(bool negative, std::uint64_t magnitude,
                          const PlaceholderSpec& placeholder) {
  std::string out;
  if (negative) {
    out += '-';
  } else if (placeholder.plus) {
    out += '+';
  }
  AppendGrouped(&out, DecimalDigits(magnitude), placeholder.comma);
  return out;
}

// Not-a-number shows no sign at all; infinities take a sign like any other number.
std::string RenderFloat(float value, const PlaceholderSpec& placeholder) {
  if (std::isnan(value)) return "nan";
  std::string out;
  if (value < 0.0f) {
    out += '-';
  } else if (placeholder.plus) {
    out += '+';
  }
  const float magnitude = std::fabs(value);
  if (std::isinf(magnitude)) return out + "inf";

  const float whole = std::floor(magnitude);
  AppendGrouped(&out, WholeFloatDigits(whole), placeholder.comma);
  out += DecimalPoint();

  // Digits are truncated, never rounded, and computed in single precision throughout.
  const bool automatic = placeholder.precision < 0;
  const std::int32_t count = automatic ? 7 : placeholder.precision;
  float fraction = magnitude - whole;
  const char separator = placeholder.comma ? ThousandsSeparator() : '\0';
  for (std::int32_t i = 0; i < count; ++i) {
    if (placeholder.comma && i != 0 && i % 3 == 0) out += separator;
    fraction *= 10.0f;
    // A fraction just below 1 can round up to 10 when multiplied; it still reads as a 9.
    const float digit = std::fmin(std::floor(fraction), 9.0f);
    out += static_cast<char>('0' + static_cast<int>(digit));
    fraction -= digit;
    if (automatic && fraction < 1e-7f) break;
  }
  return out;
}

float FloatOf(const FormatArg& arg) {
  const auto bits = static_cast<std::uint32_t>(arg.value);
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

}  // namespace

FormatArg FormatArg::OfInt(std::int64_t v) {
  return {FormatArgKind::Int, static_cast<std::uint64_t>(v), {}};
}

FormatArg FormatArg::OfUInt(std::uint64_t v) { return {FormatArgKind::UInt, v, {}}; }

FormatArg FormatArg::OfFloat(float v) {
  std::uint32_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  return {FormatArgKind::Float, bits, {}};
}

FormatArg FormatArg::OfBool(bool v) { return {FormatArgKind::Bool, v ? 1u : 0u, {}}; }

FormatArg FormatArg::OfString(std::string v) { return {FormatArgKind::String, 0, std::move(v)}; }

FormatArg FormatArg::OfHex(std::uint64_t v) { return {FormatArgKind::Hex, v, {}}; }

namespace {

// The field grammar over any text: `peek(q)` is the byte at q, or 0 at the end of the text.

template <typename Peek>
const char* ParseNumberWith(const char* p, std::int32_t* target, Peek peek) {
  if (peek(p) < '0' || peek(p) > '9') return p;
  std::int64_t value = 0;
  constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
  for (; peek(p) >= '0' && peek(p) <= '9'; ++p) {
    if (value < kMax) value = std::min(kMax, value * 10 + (*p - '0'));
  }
  *target = static_cast<std::int32_t>(value);
  return p;
}

template <typename Peek>
const char* ParseFieldWith(const char* p, PlaceholderSpec* placeholder, Peek peek) {
  *placeholder = PlaceholderSpec{};
  if (peek(p) != '{') return p;
  if (peek(p + 1) == '{') return p + 1;
  if (peek(p + 1) == '}') {
    placeholder->closed = true;
    return p + 2;
  }
  const char* q = ParseNumberWith(p + 1, &placeholder->index, peek);
  for (;;) {
    switch (peek(q)) {
      case '\0':
        return p;
      case '}':
        placeholder->closed = true;
        return q + 1;
      case '+':
        placeholder->plus = true;
        ++q;
        break;
      case ',':
        placeholder->comma = true;
        ++q;
        break;
      case '~':
        placeholder->tilde = true;
        ++q;
        break;
      case '<':
        q = ParseNumberWith(q + 1, &placeholder->width, peek);
        placeholder->width = -placeholder->width;
        break;
      case '>':
        q = ParseNumberWith(q + 1, &placeholder->width, peek);
        break;
      case '.':
        q = ParseNumberWith(q + 1, &placeholder->precision, peek);
        break;
      case 'X':
        q = ParseNumberWith(q + 1, &placeholder->hexDigits, peek);
        placeholder->hexMode = 1;
        break;
      case 'x':
        q = ParseNumberWith(q + 1, &placeholder->hexDigits, peek);
        placeholder->hexMode = 2;
        break;
      case 'f':
        if (peek(q + 1) == '\0') return p;
        placeholder->fill = q[1];
        q += 2;
        break;
      default:
        ++q;
        break;
    }
  }
}

char PeekTerminated(const char* q) { return *q; }

}  // namespace

const char* ParseNumber(const char* p, std::int32_t* target) {
  return ParseNumberWith(p, target, PeekTerminated);
}

const char* ParseField(const char* p, PlaceholderSpec* placeholder) {
  return ParseFieldWith(p, placeholder, PeekTerminated);
}

const char* ParseField(const char* p, const char* end, PlaceholderSpec* placeholder) {
  return ParseFieldWith(p, placeholder, [end](const char* q) { return q < end ? *q : '\0'; });
}

std::string PadField(const PlaceholderSpec& placeholder, std::string text) {
  const std::uint64_t width =
      placeholder.width < 0 ? 0 - static_cast<std::int64_t>(placeholder.width) : placeholder.width;
  if (width <= text.size()) return text;
  const std::size_t count = static_cast<std::size_t>(width) - text.size();
  if (placeholder.width > 0) {
    text.insert(0, count, placeholder.fill);
  } else {
    text.append(count, placeholder.fill);
  }
  return text;
}

std::string RenderArg(const FormatArg& arg, const PlaceholderSpec& placeholder) {
  const bool hex = placeholder.hexMode == 1 || placeholder.hexMode == 2;
  const bool lower = placeholder.hexMode == 2;
  std::string out;
  switch (arg.kind) {
    case FormatArgKind::Int: {
      const auto value = static_cast<std::int64_t>(arg.value);
      if (hex) {
        out = RenderHex(arg.value, lower, placeholder.hexDigits);
      } else {
        out = RenderInteger(value < 0, value < 0 ? 0 - arg.value : arg.value, placeholder);
      }
      break;
    }
    case FormatArgKind::UInt:
      out = hex ? RenderHex(arg.value, lower, placeholder.hexDigits)
                : RenderInteger(false, arg.value, placeholder);
      break;
    case FormatArgKind::Float:
      // In hexadecimal a float shows its bit pattern, the only exact view of it.
      out = hex ? RenderHex(arg.value & 0xFFFFFFFFu, lower, placeholder.hexDigits)
                : RenderFloat(FloatOf(arg), placeholder);
      break;
    case FormatArgKind::Bool:
      out = arg.value != 0 ? "TRUE" : "FALSE";
      break;
    case FormatArgKind::String:
      out = arg.text;
      break;
    case FormatArgKind::Hex:
      out = RenderHex(arg.value, lower, placeholder.hexDigits);
      break;
    default:
      out = "N/A";
      break;
  }
  return PadField(placeholder, std::move(out));
}

std::string FormatString(const std::string& format, const FormatArgs& args) {
  std::string result;
  result.reserve(format.size());
  AppendFormatted(&result, format.c_str(), args);
  return result;
}

void AppendFormatted(std::string* out, const char* format, const FormatArgs& args) {
  std::string& result = *out;
  std::uint64_t counter = 0;
  // A field that runs off the end means every later "{" does too: each scan rejoins the same
  // byte positions right after its "{". From then on only the "{{" escape is left to apply,
  // which keeps a text full of unclosed braces linear.
  bool restUnterminated = false;
  const char* p = format;
  while (*p != '\0') {
    if (restUnterminated && *p == '{') {
      result += '{';
      p += p[1] == '{' ? 2 : 1;
      continue;
    }
    if (*p != '{') {
      // Copy the literal run up to the next field in one go.
      const char* next = std::strchr(p, '{');
      if (next == nullptr) next = p + std::strlen(p);
      result.append(p, next);
      p = next;
      continue;
    }
    PlaceholderSpec placeholder;
    const char* after = ParseField(p, &placeholder);
    if (!placeholder.closed) {
      if (after == p) restUnterminated = true;
      result += *after;
      p = after + 1;
      continue;
    }
    const std::uint64_t number =
        placeholder.index >= 0 ? static_cast<std::uint64_t>(placeholder.index) : counter;
    if (number < args.size()) {
      result += RenderArg(args[number], placeholder);
    } else {
      result += kOutOfRange;
    }
    if (!placeholder.tilde) ++counter;
    p = after;
  }
}

}  // namespace quillex
