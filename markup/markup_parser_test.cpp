#include "markup/markup_parser.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "markup/byte_words.h"
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

// The markup examples (tests/e2e/bin-indexing-markup-examples) show in the encoded units, and
// the fields' settings in IndexedPoolTest.SubstitutionFields and FormatterTest.ParseField (the
// same field parser); these are the cases between them.
TEST(MarkupParserTest, Parses) {
  const std::string d = "Subst -1 0 -1 000 32 0 0";  // a field with every default
  const std::pair<std::string, Nodes> cases[] = {
      {"", {}},
      {"ab\0<#x>"s, {"Text: \"ab\""}},  // stops at NUL
      {"<#a b<{#>", {"Color: \"a b<{#\""}},
      {"a{\n}b", {"Text: \"a\"", d, "Text: \"b\""}},  // a field may span lines
      // resets: one node per letter
      {"</$x>", {"Reset: \"$\" 2", "Reset: \"x\" 0"}},
      // name runs stop at line breaks and the end; the first '>' closes
      {"<$a\r>", {"Text: \"<$a\r>\""}},
      {"<#a\n<#b>", {"Text: \"<#a\n\"", "Color: \"b\""}},
      // ruby: "::" and "==" are escapes in the base only
      {"<@a==:=b>", {"Ruby: \"a=\" : \"=b\""}},
      {"<@a:::b>", {"Ruby: \"a:\" : \"b\""}},
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

// The byte scan reads sixteen bytes, eight, or one at a time, and ends a range with a load that
// overlaps bytes already passed: every length and start around those steps, against a byte loop.
TEST(ByteWordsTest, FindAnyMatchesAByteLoop) {
  std::mt19937 random(20261208);
  auto plain = [](const std::string& text, std::size_t from, std::size_t to,
                  std::string_view bytes) {
    while (from < to && bytes.find(text[from]) == std::string_view::npos) ++from;
    return from;
  };
  for (int round = 0; round < 3000; ++round) {
    // Mostly filler, so that stops fall anywhere, and sometimes none at all.
    std::string text(random() % 70, 'a');
    const std::size_t stops = random() % 4;
    for (std::size_t n = 0; n < stops && !text.empty(); ++n) {
      text[random() % text.size()] = "{<\0>\n\r\x80"[random() % 7];
    }
    for (std::size_t to = 0; to <= text.size(); ++to) {
      for (std::size_t from = 0; from <= to; ++from) {
        const char* data = text.data();
        ASSERT_EQ((byte_words::FindAny<'{', '<'>(data, from, to)), plain(text, from, to, "{<"))
            << testing::PrintToString(text) << " " << from << " " << to;
        ASSERT_EQ((byte_words::FindAny<'\0'>(data, from, to)), plain(text, from, to, "\0"s))
            << testing::PrintToString(text) << " " << from << " " << to;
        ASSERT_EQ((byte_words::FindAny<'>', '\n', '\r'>(data, from, to)),
                  plain(text, from, to, ">\n\r"))
            << testing::PrintToString(text) << " " << from << " " << to;
      }
    }
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
