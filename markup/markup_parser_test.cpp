#include "markup/markup_parser.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "markup/markup_check.h"

namespace quillex {
namespace {

using Nodes = std::vector<std::string>;
using namespace std::string_literals;

using markup_check::Describe;

Nodes Parse(const std::string& text, bool rescan = false) {
  MsgNodeList nodes;
  if (rescan) {
    detail::ParseMarkupRescanning(text, &nodes);
  } else {
    ParseMarkup(text, &nodes);
  }
  Nodes out;
  for (const auto& node : nodes) out.push_back(Describe(*node));
  return out;
}

// The flat path over a copy of `text` in a buffer of exactly its size, no NUL after it (the
// sanitizer build catches a read past the end), into `reused`, which still holds an earlier
// parse: nothing of that may leak into this one.
Nodes ParseFlat(const std::string& text, MarkupNodes* reused, bool rescan = false) {
  std::unique_ptr<char[]> buffer(new char[text.size() + 1]);
  char* bytes = buffer.get() + 1;  // nor a byte before it that a stray read could find
  text.copy(bytes, text.size());
  const std::string_view view(bytes, text.size());
  if (rescan) {
    detail::ParseMarkupRescanning(view, reused);
  } else {
    ParseMarkup(view, reused);
  }
  Nodes out;
  for (const MarkupNode& node : reused->nodes) {
    // Every view lies in the text or in the buffer of unescaped bytes.
    for (std::string_view part : {node.text, node.ruby}) {
      auto inside = [part](std::string_view range) {
        return part.empty() || (part.data() >= range.data() &&
                                part.data() + part.size() <= range.data() + range.size());
      };
      EXPECT_TRUE(inside(view) || inside(reused->unescaped)) << testing::PrintToString(text);
    }
    out.push_back(Describe(*MakeMsgNode(node)));
  }
  return out;
}

// The output stage dispatches on the type codes, so they are pinned here.
TEST(MarkupParserTest, TypeCodes) {
  MsgNodeList nodes;
  ParseMarkup("a{}<#><$><@{0}=c></>", &nodes);
  ASSERT_EQ(nodes.size(), 6u);
  for (std::uint32_t code = 0; code < 6; ++code) {
    EXPECT_EQ(static_cast<std::uint32_t>(nodes[code]->GetType()), code);
  }
}

TEST(MarkupParserTest, Parses) {
  const std::string d = "Subst -1 0 -1 000 32 0 0";  // a field with every default
  const std::pair<std::string, Nodes> cases[] = {
      {"Hello", {"Text: \"Hello\""}},
      {"", {}},
      {"ab\0<#x>"s, {"Text: \"ab\""}},  // stops at NUL
      {"A<#red>B</#>C",
       {"Text: \"A\"", "Color: \"red\"", "Text: \"B\"", "Reset: \"#\" 1", "Text: \"C\""}},
      {"<#red><$bold>", {"Color: \"red\"", "Face: \"bold\""}},
      {"<#a b<{#>", {"Color: \"a b<{#\""}},
      // escapes
      {"{{x}", {"Text: \"{x}\""}},
      {"a}}b", {"Text: \"a}}b\""}},
      {"a<<b", {"Text: \"a<b\""}},
      {"<<#red>", {"Text: \"<#red>\""}},
      // substitutions: may span lines; a fill of '}' does not close them
      {"{}", {d}},
      {"{0}", {"Subst 0 0 -1 000 32 0 0"}},
      {"{0", {"Text: \"{0\""}},
      {"{1f0>8X}", {"Subst 1 8 -1 000 48 1 0"}},
      {"{<4}", {"Subst -1 -4 -1 000 32 0 0"}},
      {"{+,~.3x2}", {"Subst -1 0 3 111 32 2 2"}},
      {"a{\n}b", {"Text: \"a\"", d, "Text: \"b\""}},
      {"{f}", {"Text: \"{f}\""}},
      {"{99999999999}", {"Subst 2147483647 0 -1 000 32 0 0"}},
      // resets: one node per letter
      {"</>", {"Reset: \"a\" 3"}},
      {"</a#>", {"Reset: \"a\" 3", "Reset: \"#\" 1"}},
      {"</$x>", {"Reset: \"$\" 2", "Reset: \"x\" 0"}},
      // name runs stop at line breaks and the end; the first '>' closes
      {"<#re\nd>", {"Text: \"<#re\nd>\""}},
      {"<$a\r>", {"Text: \"<$a\r>\""}},
      {"x<#red", {"Text: \"x<#red\""}},
      {"<#a\n<#b>", {"Text: \"<#a\n\"", "Color: \"b\""}},
      // ruby: "::" and "==" are escapes in the base only
      {"<@漢字:かんじ>", {"Ruby: \"漢字\" : \"かんじ\""}},
      {"<@a::b:c>", {"Ruby: \"a:b\" : \"c\""}},
      {"<@a:b::c>", {"Ruby: \"a\" : \"b::c\""}},
      {"<@a==:=b>", {"Ruby: \"a=\" : \"=b\""}},
      {"<@a:::b>", {"Ruby: \"a:\" : \"b\""}},
      {"<@:x>", {"Text: \"<@:x>\""}},
      {"<@x:>", {"Text: \"<@x:>\""}},
      {"<@abc>", {"Text: \"<@abc>\""}},
      {"<@a:b>c>", {"Ruby: \"a\" : \"b\"", "Text: \"c>\""}},
      // a failed ruby costs one byte; the separator after its '>' belongs to a later tag
      {"<@a><@b:c>", {"Text: \"<@a>\"", "Ruby: \"b\" : \"c\""}},
      {"<@a:><@b=c>", {"Text: \"<@a:>\"", "Ruby: \"b\" = \"c\""}},
  };
  MarkupNodes reused;
  for (const auto& [text, nodes] : cases) {
    EXPECT_EQ(Parse(text), nodes) << text;
    EXPECT_EQ(ParseFlat(text, &reused), nodes) << text;
  }
}

// Whether every byte before the first NUL is accounted for, in order, by a text byte, an escape
// or the tag of a node.
::testing::AssertionResult ConsumesEveryByte(const std::string& input) {
  MsgNodeList nodes;
  ParseMarkup(input, &nodes);
  const markup_check::ByteAccount account =
      markup_check::AccountForEveryByte(input.substr(0, input.find('\0')), nodes);
  if (account.complete) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "node " << account.node << " at byte " << account.byte;
}

// Random texts always end, lose no byte, and parse the same without the remembered scans and on
// the flat path, whose text is a view with nothing after it.
TEST(MarkupParserTest, RandomBytesAreNeverLost) {
  std::mt19937 random(20240611);
  MarkupNodes reused, reusedRescanning;
  const std::vector<std::string> pieces = {
      "{",  "}", "<", ">", "<#", "<$", "</", "<@", ":",  "=",
      "f",  "0", "9", ".", "X",  "+",  "a",  "\n", "\r", "text without tags",
      "\0"s};
  for (int round = 0; round < 20000; ++round) {
    std::string input;
    for (std::size_t n = random() % 24; n > 0; --n) {
      input += random() % 8 == 0 ? std::string(1, static_cast<char>(random()))
                                 : pieces[random() % pieces.size()];
    }
    ASSERT_TRUE(ConsumesEveryByte(input)) << testing::PrintToString(input);
    const Nodes nodes = Parse(input);
    ASSERT_EQ(nodes, Parse(input, true)) << testing::PrintToString(input);
    ASSERT_EQ(nodes, ParseFlat(input, &reused)) << testing::PrintToString(input);
    ASSERT_EQ(nodes, ParseFlat(input, &reusedRescanning, true)) << testing::PrintToString(input);
  }
}

// Openers whose closer never comes must not cost a scan to the end each. A million openers make
// such a scan cost about 10^12 byte steps, minutes even at memchr speed, so a parser that loses
// its remembered scans fails on the test's time limit instead of merely slowing down.
TEST(MarkupParserTest, UnclosedOpenersStayLinear) {
  for (std::string unit : {"<#", "<@a", "<@a::", "{f}", "{a", "</\n"}) {
    std::string input;
    for (int i = 0; i < (1 << 20); ++i) input += unit;
    ASSERT_GE(input.size(), 2u << 20);
    if (unit[1] == '@') input += ">";  // closes the name run, but there is no separator
    EXPECT_TRUE(Parse(input) == Nodes{"Text: \"" + input + "\""}) << unit;
  }
}

}  // namespace
}  // namespace quillex
