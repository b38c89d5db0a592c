#include "format/formatter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace quillex {
namespace {

FormatArg S(const char* text) { return FormatArg::OfString(text); }
FormatArg U(std::uint64_t value) { return FormatArg::OfUInt(value); }
FormatArg I(std::int64_t value) { return FormatArg::OfInt(value); }
FormatArg F(float value) { return FormatArg::OfFloat(value); }
FormatArg H(std::uint64_t value) { return FormatArg::OfHex(value); }

struct FormatCase {
  std::string format;
  FormatArgs args;
  std::string expected;
};

TEST(FormatterTest, FormatString) {
  constexpr float kInf = std::numeric_limits<float>::infinity();
  FormatArg noKind;
  noKind.kind = static_cast<FormatArgKind>(42);
  const FormatCase cases[] = {
      // Argument numbers: the counter counts fields, not arguments, and "~" holds it.
      {"{}{}{}", {S("a"), S("b")}, "ab<!OOR!>"},
      {"{1}{}", {S("a"), S("b")}, "bb"},
      {"{~}{}", {S("a"), S("b")}, "aa"},
      {"{9}{}", {S("a"), S("b")}, "<!OOR!>b"},
      {"{4294967296}", {S("a")}, "<!OOR!>"},  // clamped, still a field
      {"{ 1}{}", {S("a"), S("b")}, "ab"},     // the number must follow "{" directly
      // Text that is no field.
      {"{{}", {}, "{}"},
      {"a}b", {}, "a}b"},
      {"end{", {}, "end{"},
      {"{abc}", {S("x")}, "x"},
      {"{>4f", {S("x")}, "{>4f"},
      {"{a{{b{", {S("x")}, "{a{b{"},  // "{{" still an escape after an unclosed field
      {std::string("ab\0{}", 5), {S("x")}, "ab"},
      // Padding counts bytes, never cuts, and comes before a sign.
      {"{>6}", {S("ab")}, "    ab"},
      {"{f}>4}", {S("ab")}, "}}ab"},
      {"{>8<}", {S("ab")}, "ab      "},
      {"{>1}", {S("abc")}, "abc"},
      {"{>10}", {S("成功．")}, " 成功．"},
      {"{f0>5}", {I(-42)}, "00-42"},
      // Hexadecimal: no sign, no grouping; Hex arguments under any field.
      {"{X}", {U(0)}, "0"},
      {"{X2x}", {U(10)}, "0a"},
      {"{X}", {I(-1)}, "FFFFFFFFFFFFFFFF"},
      {"{+,X}", {U(0x12345)}, "12345"},
      {"{}", {H(0xABC)}, "ABC"},
      {"{x6}", {H(0xABC)}, "000abc"},
      {"{x}", {F(-2.0f)}, "c0000000"},
      // Decimal integers.
      {"{+}", {U(0)}, "+0"},
      {"{+}", {I(-5)}, "-5"},
      {"{}", {I(std::numeric_limits<std::int64_t>::min())}, "-9223372036854775808"},
      {"{}", {U(std::numeric_limits<std::uint64_t>::max())}, "18446744073709551615"},
      {"{,}", {U(1234567)}, "1,234,567"},
      {"{,}", {I(-123456)}, "-123,456"},
      {"{,}", {U(999)}, "999"},
      // Floats: truncated digits in single precision, at most seven when automatic.
      {"{.2}", {F(3.14159f)}, "3.14"},
      {"{}", {F(0.1f)}, "0.1"},
      {"{}", {F(123.456f)}, "123.4560012"},
      {"{}", {F(1.0001f)}, "1.0001000"},  // on past the zeros: the rest is above 1e-7
      {"{.0}", {F(2.5f)}, "2."},
      {"{.3}", {F(std::nextafter(1.0f, 0.0f))}, "0.999"},
      {"{.10}", {F(0.1f)}, "0.1000000000"},
      {"{+}", {F(0.0f)}, "+0.0"},
      {"{}", {F(-0.0f)}, "0.0"},
      {"{,}", {F(1234567.0f)}, "1,234,567.0"},
      {"{,}", {F(1.0f / 3)}, "0.333,333,3"},
      {"{,}", {F(0.125f)}, "0.125"},
      {"{}", {F(18446744073709551616.0f)}, "18446744073709551616.0"},
      {"{}", {F(-std::numeric_limits<float>::max())}, "-340282346638528859811704183484516925440.0"},
      {"{+,.3}", {F(std::numeric_limits<float>::quiet_NaN())}, "nan"},
      {"{+}", {F(kInf)}, "+inf"},
      {"{f*>6}", {F(-kInf)}, "**-inf"},
      // Other kinds.
      {"{}", {FormatArg::OfBool(true)}, "TRUE"},
      {"{}", {FormatArg::OfBool(false)}, "FALSE"},
      {"{.1}", {S("abc")}, "abc"},
      {"{>4}", {noKind}, " N/A"}};
  for (const FormatCase& c : cases) {
    EXPECT_EQ(FormatString(c.format, c.args), c.expected) << c.format;
  }
}

TEST(FormatterTest, ParseField) {
  PlaceholderSpec placeholder;
  // Where the caller goes on after something that is no complete field; its settings are reset.
  // (What a complete field sets shows in the texts FormatString makes of it.)
  struct Case {
    const char* text;
    bool closed;
    std::ptrdiff_t end;
  };
  for (const Case& c :
       {Case{"abc", false, 0}, Case{"{{", false, 1}, Case{"{}", true, 2}, Case{"{12", false, 0},
        Case{"{f", false, 0}, Case{"{f}}", true, 4}, Case{"{99999999999<99999999999}", true, 25}}) {
    EXPECT_EQ(ParseField(c.text, &placeholder) - c.text, c.end) << c.text;
    EXPECT_EQ(placeholder.closed, c.closed) << c.text;
  }
  EXPECT_EQ(placeholder.index, 2147483647);
  EXPECT_EQ(placeholder.width, -2147483647);

  std::int32_t target = 5;
  const char* noDigits = "x1";
  EXPECT_EQ(ParseNumber(noDigits, &target), noDigits);
  EXPECT_EQ(target, 5);
}

// FormatString skips rescanning after an unclosed field; it must agree with scanning every "{"
// afresh, as ParseField alone does, on every short text over the field bytes.
TEST(FormatterTest, AgreesWithPlainScan) {
  const FormatArgs args = {S("A"), S("B")};
  const std::string alphabet = "{}f<1a";
  std::string text;
  for (std::size_t length = 1; length <= 6; ++length) {
    std::vector<std::size_t> digits(length, 0);
    for (bool more = true; more;) {
      text.clear();
      for (std::size_t d : digits) text += alphabet[d];
      std::string plain;
      std::size_t counter = 0;
      for (const char* p = text.c_str(); *p != '\0';) {
        PlaceholderSpec placeholder;
        const char* after = ParseField(p, &placeholder);
        if (!placeholder.closed) {
          plain += *after;
          p = after + 1;
          continue;
        }
        const std::size_t n =
            placeholder.index >= 0 ? static_cast<std::size_t>(placeholder.index) : counter;
        plain += n < args.size() ? RenderArg(args[n], placeholder) : "<!OOR!>";
        if (!placeholder.tilde) ++counter;
        p = after;
      }
      ASSERT_EQ(FormatString(text, args), plain) << text;
      more = false;
      for (std::size_t i = 0; i < length && !more; ++i) {
        more = ++digits[i] < alphabet.size();
        if (!more) digits[i] = 0;
      }
    }
  }
}

// Every "{" of an unclosed run would otherwise scan to the end of the text again: with a million
// of them that is about 10^12 byte steps, so losing the shortcut fails on the test's time limit.
TEST(FormatterTest, UnclosedFieldsStayLinear) {
  for (std::string unit : {"{a", "{f}", "{<"}) {
    std::string format;
    for (int i = 0; i < (1 << 20); ++i) format += unit;
    ASSERT_GE(format.size(), 2u << 20);
    EXPECT_EQ(FormatString(format, {S("x")}), format) << unit;
  }
}

}  // namespace
}  // namespace quillex
