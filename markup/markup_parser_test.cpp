#include "markup/markup_parser.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace quillex {
namespace {

std::string DescribeSpec(const PlaceholderSpec& s) {
  return "Subst " + std::to_string(s.index) + " " + std::to_string(s.width) + " " +
         std::to_string(s.precision) + " " + std::to_string(s.comma) + std::to_string(s.plus) +
         std::to_string(s.tilde) + " " + std::to_string(static_cast<unsigned char>(s.fill)) + " " +
         std::to_string(s.hexMode) + " " + std::to_string(s.hexDigits);
}

// Dump, plus what Dump leaves out: the reset target and the whole substitution field.
std::string Describe(const MsgNode& node) {
  switch (node.GetType()) {
    case MsgNodeType::Subst:
      return DescribeSpec(static_cast<const SubstMsgNode&>(node).spec);
    case MsgNodeType::Reset:
      return node.Dump() + " " +
             std::to_string(static_cast<int>(static_cast<const ResetMsgNode&>(node).target));
    default:
      return node.Dump();
  }
}

std::vector<std::string> Parse(const std::string& text, bool rescan = false) {
  MsgNodeList nodes;
  (rescan ? detail::ParseMarkupRescanning : ParseMarkup)(text, &nodes);
  std::vector<std::string> out;
  for (const auto& node : nodes) out.push_back(Describe(*node));
  return out;
}

using Nodes = std::vector<std::string>;

TEST(MarkupParserTest, PlainTextAndEmpty) {
  EXPECT_EQ(Parse("Hello"), Nodes({"Text: \"Hello\""}));
  EXPECT_EQ(Parse(""), Nodes());
  EXPECT_EQ(Parse(std::string("ab\0<#x>", 7)), Nodes({"Text: \"ab\""}));  // stops at NUL
}

TEST(MarkupParserTest, TagsSplitTextRuns) {
  EXPECT_EQ(Parse("A<#red>B</#>C"), Nodes({"Text: \"A\"", "Color: \"red\"", "Text: \"B\"",
                                           "Reset: \"#\" 1", "Text: \"C\""}));
  EXPECT_EQ(Parse("<#red><$bold>"), Nodes({"Color: \"red\"", "Face: \"bold\""}));
  EXPECT_EQ(Parse("<#><$>"), Nodes({"Color: \"\"", "Face: \"\""}));
  EXPECT_EQ(Parse("<#a b<{#>"), Nodes({"Color: \"a b<{#\""}));
}

TEST(MarkupParserTest, Escapes) {
  EXPECT_EQ(Parse("{{x}"), Nodes({"Text: \"{x}\""}));
  EXPECT_EQ(Parse("a}}b"), Nodes({"Text: \"a}}b\""}));
  EXPECT_EQ(Parse("a<<b"), Nodes({"Text: \"a<b\""}));
  EXPECT_EQ(Parse("<<#red>"), Nodes({"Text: \"<#red>\""}));
}

TEST(MarkupParserTest, Substitutions) {
  EXPECT_EQ(Parse("{}"), Nodes({"Subst -1 0 -1 000 32 0 0"}));
  EXPECT_EQ(Parse("{0}"), Nodes({"Subst 0 0 -1 000 32 0 0"}));
  EXPECT_EQ(Parse("{0"), Nodes({"Text: \"{0\""}));
  EXPECT_EQ(Parse("{1f0>8X}"), Nodes({"Subst 1 8 -1 000 48 1 0"}));
  EXPECT_EQ(Parse("{<4}"), Nodes({"Subst -1 -4 -1 000 32 0 0"}));
  EXPECT_EQ(Parse("{+,~.3x2}"), Nodes({"Subst -1 0 3 111 32 2 2"}));
  // A substitution may span lines; a fill of '}' does not close it.
  EXPECT_EQ(Parse("a{\n}b"), Nodes({"Text: \"a\"", "Subst -1 0 -1 000 32 0 0", "Text: \"b\""}));
  EXPECT_EQ(Parse("{f}"), Nodes({"Text: \"{f}\""}));
  EXPECT_EQ(Parse("{f"), Nodes({"Text: \"{f\""}));
  EXPECT_EQ(Parse("{99999999999}"), Nodes({"Subst 2147483647 0 -1 000 32 0 0"}));
}

TEST(MarkupParserTest, Resets) {
  EXPECT_EQ(Parse("</>"), Nodes({"Reset: \"a\" 3"}));
  EXPECT_EQ(Parse("</a#>"), Nodes({"Reset: \"a\" 3", "Reset: \"#\" 1"}));
  EXPECT_EQ(Parse("</#$>"), Nodes({"Reset: \"#\" 1", "Reset: \"$\" 2"}));
  EXPECT_EQ(Parse("</x>"), Nodes({"Reset: \"x\" 0"}));
}

TEST(MarkupParserTest, NameRunsStopAtLineBreaks) {
  EXPECT_EQ(Parse("<#re\nd>"), Nodes({"Text: \"<#re\nd>\""}));
  EXPECT_EQ(Parse("<$a\r>"), Nodes({"Text: \"<$a\r>\""}));
  EXPECT_EQ(Parse("x<#red"), Nodes({"Text: \"x<#red\""}));
  // The first '>' closes, even one that a later opener would also see.
  EXPECT_EQ(Parse("<#a\n<#b>"), Nodes({"Text: \"<#a\n\"", "Color: \"b\""}));
}

TEST(MarkupParserTest, Ruby) {
  EXPECT_EQ(Parse("<@漢字:かんじ>"), Nodes({"Ruby: \"漢字\" : \"かんじ\""}));
  EXPECT_EQ(Parse("<@漢字=かんじ>"), Nodes({"Ruby: \"漢字\" = \"かんじ\""}));
  EXPECT_EQ(Parse("<@a::b:c>"), Nodes({"Ruby: \"a:b\" : \"c\""}));
  EXPECT_EQ(Parse("<@a:b::c>"), Nodes({"Ruby: \"a\" : \"b::c\""}));
  EXPECT_EQ(Parse("<@a==:=b>"), Nodes({"Ruby: \"a=\" : \"=b\""}));
  EXPECT_EQ(Parse("<@a:::b>"), Nodes({"Ruby: \"a:\" : \"b\""}));
  EXPECT_EQ(Parse("<@:x>"), Nodes({"Text: \"<@:x>\""}));
  EXPECT_EQ(Parse("<@x:>"), Nodes({"Text: \"<@x:>\""}));
  EXPECT_EQ(Parse("<@abc>"), Nodes({"Text: \"<@abc>\""}));
  EXPECT_EQ(Parse("<@a::>"), Nodes({"Text: \"<@a::>\""}));
  EXPECT_EQ(Parse("<@a:b>c>"), Nodes({"Ruby: \"a\" : \"b\"", "Text: \"c>\""}));
  // A failed ruby costs one byte; the separator after its '>' belongs to a later tag.
  EXPECT_EQ(Parse("<@a><@b:c>"), Nodes({"Text: \"<@a>\"", "Ruby: \"b\" : \"c\""}));
  EXPECT_EQ(Parse("<@a:><@b=c>"), Nodes({"Text: \"<@a:>\"", "Ruby: \"b\" = \"c\""}));
}

// Walks the input alongside the nodes and checks that every byte before the first NUL is
// accounted for, in order, by a text byte, an escape or the tag of a node.
::testing::AssertionResult ConsumesEveryByte(const std::string& input) {
  const std::string s = input.substr(0, input.find('\0'));
  MsgNodeList nodes;
  ParseMarkup(input, &nodes);
  std::size_t i = 0;
  auto expect = [&](const std::string& raw) {
    if (s.compare(i, raw.size(), raw) != 0) return false;
    i += raw.size();
    return true;
  };
  for (std::size_t n = 0; n < nodes.size(); ++n) {
    const MsgNode& node = *nodes[n];
    bool ok = true;
    switch (node.GetType()) {
      case MsgNodeType::Text: {
        const std::string& text = static_cast<const TextMsgNode&>(node).text;
        ok = !text.empty() && (n == 0 || nodes[n - 1]->GetType() != MsgNodeType::Text);
        for (char c : text) {
          bool escape = (c == '{' || c == '<') && i + 1 < s.size() && s[i + 1] == c;
          ok = ok && expect(escape ? std::string(2, c) : std::string(1, c));
        }
        break;
      }
      case MsgNodeType::Subst: {
        PlaceholderSpec placeholder;
        const char* end = ParseField(s.c_str() + i, &placeholder);
        ok = placeholder.closed && DescribeSpec(placeholder) == Describe(node);
        i = end - s.c_str();
        break;
      }
      case MsgNodeType::Color:
        ok = expect("<#" + static_cast<const ColorMsgNode&>(node).name + ">");
        break;
      case MsgNodeType::Face:
        ok = expect("<$" + static_cast<const FaceMsgNode&>(node).name + ">");
        break;
      case MsgNodeType::Reset:
        if (expect("</>")) {
          ok = static_cast<const ResetMsgNode&>(node).character == 'a';
          break;
        }
        ok = expect("</");
        for (; ok && n < nodes.size() && nodes[n]->GetType() == MsgNodeType::Reset; ++n) {
          ok = expect(std::string(1, static_cast<const ResetMsgNode&>(*nodes[n]).character));
          if (i < s.size() && s[i] == '>') break;
        }
        ok = ok && expect(">");
        break;
      case MsgNodeType::Ruby: {
        const auto& ruby = static_cast<const RubyMsgNode&>(node);
        std::string raw = "<@";
        for (char c : ruby.base)
          raw += (c == ':' || c == '=') ? std::string(2, c) : std::string(1, c);
        ok = !ruby.base.empty() && !ruby.ruby.empty() &&
             expect(raw + (ruby.equalsSeparator ? "=" : ":") + ruby.ruby + ">");
        break;
      }
    }
    if (!ok) return ::testing::AssertionFailure() << "node " << n << " at byte " << i;
  }
  if (i != s.size()) return ::testing::AssertionFailure() << "stopped at byte " << i;
  return ::testing::AssertionSuccess();
}

TEST(MarkupParserTest, RandomBytesAreNeverLost) {
  std::mt19937 random(20240611);
  const std::vector<std::string> pieces = {"{", "}", "<", ">", "<#", "<$", "</", "<@", ":", "=",
                                           "f", "0", "9", ".", "X",  "+",  "a",  "\n", "\r"};
  for (int round = 0; round < 20000; ++round) {
    std::string input;
    for (std::size_t n = random() % 24; n > 0; --n) {
      input += random() % 8 == 0 ? std::string(1, static_cast<char>(random()))
                                 : pieces[random() % pieces.size()];
    }
    ASSERT_TRUE(ConsumesEveryByte(input)) << testing::PrintToString(input);
    ASSERT_EQ(Parse(input), Parse(input, true)) << testing::PrintToString(input);
  }
}

// Openers whose closer never comes must not cost a scan to the end each: without remembered
// scans these texts take minutes.
TEST(MarkupParserTest, UnclosedOpenersStayLinear) {
  for (std::string unit : {"<#", "<@a", "<@a::", "{f}", "{a", "</\n"}) {
    std::string input;
    for (int i = 0; i < (1 << 19); ++i) input += unit;
    if (unit[1] == '@') input += ">";  // closes the name run, but there is no separator
    MsgNodeList nodes;
    ParseMarkup(input, &nodes);
    ASSERT_EQ(nodes.size(), 1u) << unit;
    EXPECT_EQ(static_cast<const TextMsgNode&>(*nodes[0]).text, input) << unit;
  }
}

}  // namespace
}  // namespace quillex
