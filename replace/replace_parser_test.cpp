#include "replace/replace_parser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <regex>
#include <string>
#include <vector>

namespace quillex {
namespace {

using namespace std::string_literals;

// The record's fields in one comparable line.
std::string Describe(const ReplaceCommand& r) {
  return std::to_string(r.line) + " " + std::to_string(r.code) + " [" + r.name + "] [" +
         r.argument + "] [" + r.indentation + "]";
}

ReplaceCommand Record(std::uint32_t code, std::string name, std::string argument,
                      std::string indentation, std::uint32_t line = 1) {
  ReplaceCommand r;
  r.code = code;
  r.name = std::move(name);
  r.argument = std::move(argument);
  r.indentation = std::move(indentation);
  r.line = line;
  return r;
}

// A plain model of the syntax: one regular expression per line, lines cut after each "\n".
std::vector<std::string> ModelParse(const std::string& text, std::string* outputName, bool* ok) {
  static const std::regex command("^([ \t]*)\\$([^:$]*)(?::([^$]*))?\\$");
  static const std::vector<std::string> names = {"PUT",     "OUTPUT_NAME",   "IF",
                                                 "ELIF",    "ELSE",          "ENDIF",
                                                 "ID_LIST", "LANGUAGE_LIST", "MESSAGE_LIST"};
  std::vector<std::string> records;
  std::vector<std::string> lines(1);
  for (char c : text) {
    lines.back() += c;
    if (c == '\n') lines.emplace_back();
  }
  if (lines.back().empty()) lines.pop_back();
  *ok = true;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    auto number = static_cast<std::uint32_t>(i + 1);
    std::smatch match;
    if (!std::regex_search(lines[i], match, command)) {
      records.push_back(Describe(Record(command::Put, "", lines[i], "", number)));
      continue;
    }
    std::string name = match[2];
    bool known = std::find(names.begin(), names.end(), name) != names.end();
    ReplaceCommand r =
        Record(known ? CommandCode(name) : command::Nop, name, match[3], match[1], number);
    if (!known || (name == "OUTPUT_NAME" && r.argument.empty())) {
      *ok = false;
      records.push_back(Describe(r));
      return records;
    }
    if (name == "OUTPUT_NAME") {
      *outputName = r.argument;
    } else {
      records.push_back(Describe(r));
    }
  }
  return records;
}

TEST(ReplaceParserTest, MatchesAPlainModelOnRandomText) {
  // A lone CR ends no line; a vertical tab or a byte order mark is no indentation.
  const std::vector<std::string> pieces = {
      " ",   "\t", "$",           ":",       "\n",   "\r\n",      "x",     "\0"s,  "ID_LIST",
      "PUT", "IF", "OUTPUT_NAME", "id_list", "TRUE", "$ID_LIST$", "$PUT:", "$IF:", "$OUTPUT_NAME:",
      "\r",  "\v", "\xEF\xBB\xBF"};
  std::mt19937 random(12345);
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    int count = std::uniform_int_distribution<int>(0, 14)(random);
    for (int i = 0; i < count; ++i) {
      text += pieces[std::uniform_int_distribution<std::size_t>(0, pieces.size() - 1)(random)];
    }
    std::string modelName;
    bool modelOk = false;
    std::vector<std::string> expected = ModelParse(text, &modelName, &modelOk);

    std::list<ReplaceCommand> commands;
    std::string outputName;
    ReplaceCommand failed;
    bool ok = ParseReplaceText(text, &commands, &outputName, &failed);
    std::vector<std::string> got;
    for (const ReplaceCommand& r : commands) got.push_back(Describe(r));
    if (!ok) got.push_back(Describe(failed));
    ASSERT_EQ(ok, modelOk) << text;
    ASSERT_EQ(got, expected) << text;
    if (ok) {
      ASSERT_EQ(outputName, modelName) << text;
    }
  }
}

// Long lines are read whole and parsed in one pass: a quadratic scan would take minutes here.
TEST(ReplaceParserTest, LongLinesTakeLinearTime) {
  const std::size_t size = 16 * 1024 * 1024;
  const std::string texts[] = {
      std::string(size, 'a') + "\n$ID_LIST$\n",
      "$PUT:" + std::string(size, ':') + "\n",  // no closing "$": one text line
      "  " + std::string(size, '\t') + "\n",
  };
  for (const std::string& text : texts) {
    auto start = std::chrono::steady_clock::now();
    std::list<ReplaceCommand> commands;
    std::string outputName;
    ReplaceCommand failed;
    ASSERT_TRUE(ParseReplaceText(text, &commands, &outputName, &failed));
    EXPECT_EQ(commands.front().argument.size(), text.find('\n') + 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  }
  // Many short lines: the line numbers of later lines stay right.
  std::string many;
  for (int i = 0; i < 200000; ++i) many += "$PUT:x$\n";
  many += "$BAD$\n";
  std::list<ReplaceCommand> commands;
  std::string outputName;
  ReplaceCommand failed;
  ASSERT_FALSE(ParseReplaceText(many, &commands, &outputName, &failed));
  EXPECT_EQ(failed.line, 200001u);
  EXPECT_EQ(commands.size(), 200000u);
}

}  // namespace
}  // namespace quillex
