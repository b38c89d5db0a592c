#include "format/formatter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace quillex {
namespace {

FormatArg S(const char* text) { return FormatArg::OfString(text); }
FormatArg U(std::uint64_t value) { return FormatArg::OfUInt(value); }
FormatArg I(std::int64_t value) { return FormatArg::OfInt(value); }
FormatArg F(float value) { return FormatArg::OfFloat(value); }

std::string Format(const std::string& format, const FormatArgs& args = {}) {
  return FormatString(format, args);
}

PlaceholderSpec Parse(const char* text, std::ptrdiff_t* consumed = nullptr) {
  PlaceholderSpec placeholder;
  const char* end = ParseField(text, &placeholder);
  if (consumed != nullptr) *consumed = end - text;
  return placeholder;
}

TEST(FormatterTest, MissingArgumentRendersOutOfRange) {
  EXPECT_EQ(Format("{}"), "<!OOR!>");
  EXPECT_EQ(Format("{}{}{}", {S("a"), S("b")}), "ab<!OOR!>");
  EXPECT_EQ(Format("{5}", {S("a")}), "<!OOR!>");
}

TEST(FormatterTest, CounterCountsFieldsNotArguments) {
  EXPECT_EQ(Format("{1}{}", {S("a"), S("b")}), "bb");
  EXPECT_EQ(Format("{~}{}", {S("a"), S("b")}), "aa");
  EXPECT_EQ(Format("{0}{0}", {S("a"), S("b")}), "aa");
  // A field without an argument still advances the counter.
  EXPECT_EQ(Format("{9}{}", {S("a"), S("b")}), "<!OOR!>b");
}

TEST(FormatterTest, BracesOutsideFieldsAreText) {
  EXPECT_EQ(Format("{{}"), "{}");
  EXPECT_EQ(Format("a}b"), "a}b");
  EXPECT_EQ(Format("end{"), "end{");
  EXPECT_EQ(Format("{{{}", {S("x")}), "{x");
}

TEST(FormatterTest, UnterminatedFieldIsCopied) {
  EXPECT_EQ(Format("{abc", {S("x")}), "{abc");
  EXPECT_EQ(Format("{abc}", {S("x")}), "x");
  // A "{" inside a field is one more ignored byte.
  EXPECT_EQ(Format("{a{}", {S("x")}), "x");
  EXPECT_EQ(Format("{>4f", {S("x")}), "{>4f");
  // After an unterminated field the "{{" escape still applies.
  EXPECT_EQ(Format("{a{{b{", {S("x")}), "{a{b{");
}

// Every "{" of an unclosed run would otherwise scan to the end of the text again.
TEST(FormatterTest, UnclosedFieldsStayLinear) {
  for (std::string unit : {"{a", "{f}", "{<"}) {
    std::string format;
    for (int i = 0; i < (1 << 18); ++i) format += unit;
    EXPECT_EQ(Format(format, {S("x")}), format) << unit;
  }
}

TEST(FormatterTest, FormatEndsAtFirstZeroByte) {
  EXPECT_EQ(Format(std::string("ab\0{}", 5), {S("x")}), "ab");
}

TEST(FormatterTest, ParseFieldSettings) {
  std::ptrdiff_t consumed = 0;
  PlaceholderSpec placeholder = Parse("{3+,~<7.2X8}tail", &consumed);
  EXPECT_TRUE(placeholder.closed);
  EXPECT_EQ(consumed, 12);
  EXPECT_EQ(placeholder.index, 3);
  EXPECT_TRUE(placeholder.plus);
  EXPECT_TRUE(placeholder.comma);
  EXPECT_TRUE(placeholder.tilde);
  EXPECT_EQ(placeholder.width, -7);
  EXPECT_EQ(placeholder.precision, 2);
  EXPECT_EQ(placeholder.hexMode, 1);
  EXPECT_EQ(placeholder.hexDigits, 8);
  EXPECT_EQ(placeholder.fill, ' ');

  placeholder = Parse("{f}>4}", &consumed);
  EXPECT_TRUE(placeholder.closed);
  EXPECT_EQ(consumed, 6);
  EXPECT_EQ(placeholder.fill, '}');
  EXPECT_EQ(placeholder.width, 4);

  EXPECT_EQ(Parse("{>8<}").width, -8);
  EXPECT_EQ(Parse("{x}").hexMode, 2);
  EXPECT_EQ(Parse("{X2x}").hexDigits, 2);  // a later "x" without digits keeps the count
  EXPECT_EQ(Parse("{X2x}").hexMode, 2);
  EXPECT_EQ(Parse("{ 1}").index, -1);  // the number must follow "{" directly
}

TEST(FormatterTest, ParseFieldNonFields) {
  std::ptrdiff_t consumed = 0;
  EXPECT_FALSE(Parse("abc", &consumed).closed);
  EXPECT_EQ(consumed, 0);
  EXPECT_FALSE(Parse("{{", &consumed).closed);
  EXPECT_EQ(consumed, 1);
  EXPECT_FALSE(Parse("{12", &consumed).closed);
  EXPECT_EQ(consumed, 0);
  EXPECT_FALSE(Parse("{f", &consumed).closed);
  EXPECT_EQ(consumed, 0);
  PlaceholderSpec placeholder = Parse("{}", &consumed);
  EXPECT_TRUE(placeholder.closed);
  EXPECT_EQ(consumed, 2);
  EXPECT_EQ(placeholder.index, -1);
}

TEST(FormatterTest, HugeNumbersClampAndStayFields) {
  std::int32_t target = 5;
  const char* text = "99999999999999999999x";
  EXPECT_EQ(ParseNumber(text, &target), text + 20);
  EXPECT_EQ(target, 2147483647);
  target = 5;
  const char* noDigits = "x1";
  EXPECT_EQ(ParseNumber(noDigits, &target), noDigits);
  EXPECT_EQ(target, 5);
  const char* leadingZeros = "007}";
  EXPECT_EQ(ParseNumber(leadingZeros, &target), leadingZeros + 3);
  EXPECT_EQ(target, 7);

  PlaceholderSpec placeholder = Parse("{99999999999<99999999999}");
  EXPECT_TRUE(placeholder.closed);
  EXPECT_EQ(placeholder.index, 2147483647);
  EXPECT_EQ(placeholder.width, -2147483647);
  EXPECT_EQ(Format("{4294967296}", {S("a")}), "<!OOR!>");
}

TEST(FormatterTest, Hexadecimal) {
  EXPECT_EQ(Format("{f0>8X}", {U(0x1234)}), "00001234");
  EXPECT_EQ(Format("{f0>8X}", {U(0)}), "00000000");
  EXPECT_EQ(Format("{X4}", {U(255)}), "00FF");
  EXPECT_EQ(Format("{x}", {U(255)}), "ff");
  EXPECT_EQ(Format("{X}", {U(0)}), "0");
  EXPECT_EQ(Format("{X}", {I(-1)}), "FFFFFFFFFFFFFFFF");
  EXPECT_EQ(Format("{+,X}", {U(0x12345)}), "12345");
  EXPECT_EQ(Format("U+{f0>4X}", {U(0x1F600)}), "U+1F600");
  // Hex arguments are hexadecimal under any field.
  EXPECT_EQ(Format("{}", {FormatArg::OfHex(0xABC)}), "ABC");
  EXPECT_EQ(Format("{x6}", {FormatArg::OfHex(0xABC)}), "000abc");
  // A float shows its bit pattern.
  EXPECT_EQ(Format("{X}", {F(1.0f)}), "3F800000");
  EXPECT_EQ(Format("{x}", {F(-2.0f)}), "c0000000");
}

TEST(FormatterTest, DecimalIntegers) {
  EXPECT_EQ(Format("{+}", {U(0)}), "+0");
  EXPECT_EQ(Format("{+}", {I(-5)}), "-5");
  EXPECT_EQ(Format("{}", {I(std::numeric_limits<std::int64_t>::min())}), "-9223372036854775808");
  EXPECT_EQ(Format("{}", {U(std::numeric_limits<std::uint64_t>::max())}), "18446744073709551615");
  EXPECT_EQ(Format("{,}", {U(1234567)}), "1,234,567");
  EXPECT_EQ(Format("{,}", {I(-123456)}), "-123,456");
  EXPECT_EQ(Format("{,}", {U(999)}), "999");
  EXPECT_EQ(Format("{f0>5}", {I(-42)}), "00-42");
}

TEST(FormatterTest, Floats) {
  EXPECT_EQ(Format("{}", {F(2.5f)}), "2.5");
  EXPECT_EQ(Format("{.2}", {F(3.14159f)}), "3.14");
  EXPECT_EQ(Format("{}", {F(-0.5f)}), "-0.5");
  EXPECT_EQ(Format("{}", {F(1.0f)}), "1.0");
  EXPECT_EQ(Format("{}", {F(0.1f)}), "0.1");
  EXPECT_EQ(Format("{.0}", {F(2.5f)}), "2.");
  EXPECT_EQ(Format("{.3}", {F(2.9999f)}), "2.999");  // truncated, not rounded
  EXPECT_EQ(Format("{+}", {F(0.0f)}), "+0.0");
  EXPECT_EQ(Format("{,}", {F(1234567.0f)}), "1,234,567.0");
  EXPECT_EQ(Format("{,.7}", {F(0.5f)}), "0.500,000,0");
  EXPECT_EQ(Format("{,}", {F(0.125f)}), "0.125");  // no separator when no digit follows
}

TEST(FormatterTest, FloatsBeyondIntegerRange) {
  EXPECT_EQ(Format("{}", {F(18446744073709551616.0f)}), "18446744073709551616.0");
  EXPECT_EQ(Format("{}", {F(-std::numeric_limits<float>::max())}),
            "-340282346638528859811704183484516925440.0");
}

TEST(FormatterTest, FractionNearOneNeverShowsAColon) {
  const float justBelowOne = std::nextafter(1.0f, 0.0f);
  EXPECT_EQ(Format("{.3}", {F(justBelowOne)}), "0.999");
}

TEST(FormatterTest, NotANumberAndInfinities) {
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_EQ(Format("{}", {F(nan)}), "nan");
  EXPECT_EQ(Format("{+,.3}", {F(nan)}), "nan");
  EXPECT_EQ(Format("{}", {F(inf)}), "inf");
  EXPECT_EQ(Format("{+}", {F(inf)}), "+inf");
  EXPECT_EQ(Format("{}", {F(-inf)}), "-inf");
  EXPECT_EQ(Format("{f*>6}", {F(-inf)}), "**-inf");
}

TEST(FormatterTest, OtherKinds) {
  EXPECT_EQ(Format("{}", {FormatArg::OfBool(true)}), "TRUE");
  EXPECT_EQ(Format("{<6}", {FormatArg::OfBool(true)}), "TRUE  ");
  EXPECT_EQ(Format("{}", {FormatArg::OfBool(false)}), "FALSE");
  EXPECT_EQ(Format("{.1}", {S("abc")}), "abc");  // precision does not cut text
  FormatArg noKind;
  noKind.kind = static_cast<FormatArgKind>(42);
  EXPECT_EQ(Format("{>4}", {noKind}), " N/A");
}

TEST(FormatterTest, Padding) {
  EXPECT_EQ(Format("{<6}", {S("ab")}), "ab    ");
  EXPECT_EQ(Format("{>6}", {S("ab")}), "    ab");
  EXPECT_EQ(Format("{f*>6}", {S("ab")}), "****ab");
  EXPECT_EQ(Format("{>1}", {S("abc")}), "abc");
  // Width counts bytes: the nine bytes of this text get one fill byte.
  EXPECT_EQ(Format("{>10}", {S("成功．")}), " 成功．");
}

}  // namespace
}  // namespace quillex
