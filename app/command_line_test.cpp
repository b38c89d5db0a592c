#include "app/command_line.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace quillex {
namespace {

using platform::Path;

// Parses `args` (the program name is added in front) and captures the error output.
struct Parsed {
  bool ok = false;
  Options options;
  std::string errors;
};

Parsed Parse(std::initializer_list<const char*> args) {
  std::vector<const char*> argv = {"zorb-quillex"};
  argv.insert(argv.end(), args.begin(), args.end());
  Parsed parsed;
  testing::internal::CaptureStderr();
  parsed.ok = ParseCommandLine(&parsed.options, static_cast<int>(argv.size()), argv.data());
  parsed.errors = testing::internal::GetCapturedStderr();
  return parsed;
}

// Bases, sign and white space ("-" negates modulo 2^32); the first character that is no digit
// of the base ends the number. No digit, or a magnitude above 32 bits: false, the value stays.
// (fuzz_command_line checks any text against a plain model of this grammar.)
TEST(ParseHashSeedTest, AcceptedAndRejected) {
  const std::pair<const char*, std::uint32_t> accepted[] = {{"0XaB", 0xAB},
                                                            {"017", 15},
                                                            {"2750857790", 0xA3F6C23E},
                                                            {"0xFFFFFFFF", 0xFFFFFFFF},
                                                            {" \t\n\v\f\r+42", 42},
                                                            {"-0x10", 0xFFFFFFF0},
                                                            {"-4294967295", 1},
                                                            {"09", 0},
                                                            {"0x1g", 1},
                                                            {"0xcdef", 0xCDEF}};
  for (const auto& [text, expected] : accepted) {
    std::uint32_t seed = 123;
    EXPECT_TRUE(ParseHashSeed(text, &seed)) << text;
    EXPECT_EQ(seed, expected) << text;
  }
  for (const char* text : {"", "-0X", "x1", "+-1", " ", "-4294967296", "0x100000000",
                           "040000000000", "99999999999999999999999"}) {
    std::uint32_t seed = 123;
    EXPECT_FALSE(ParseHashSeed(text, &seed)) << text;
    EXPECT_EQ(seed, 123u) << text;
  }
}

TEST(ParseCommandLineTest, SettingsAndLaterOnesWin) {
  Parsed p =
      Parse({"-o",          "a",  "--output",    "out",    "--prefix",       "p1",        "-p",
             "pre",         "-s", "--replace",   "r1.txt", "--indexing-all", "--replace", "r2.txt",
             "--hash-seed", "1",  "--hash-seed", "0x1F",   "--indexing",     "in.csv"});
  ASSERT_TRUE(p.ok) << p.errors;
  EXPECT_EQ(p.errors, "");
  EXPECT_EQ(p.options.outputDirectory, Path("out"));
  EXPECT_EQ(p.options.prefix, Path("pre"));
  EXPECT_TRUE(p.options.sourceOutput);
  EXPECT_EQ(p.options.replaceFiles, (std::vector<Path>{"r1.txt", "r2.txt"}));
  EXPECT_EQ(p.options.indexing, IndexingMode::PerLanguage);
  EXPECT_EQ(p.options.hashSeed, 0x1Fu);
  EXPECT_EQ(p.options.inputPath, Path("in.csv"));
  EXPECT_FALSE(p.options.showVersion || p.options.showHelp);

  p = Parse({"--source", "--indexing-all", "a.csv"});
  ASSERT_TRUE(p.ok);
  EXPECT_TRUE(p.options.sourceOutput);
  EXPECT_EQ(p.options.indexing, IndexingMode::AllLanguages);

  // A later number takes the place of "auto".
  p = Parse({"--hash-seed", "auto", "--hash-seed", "7", "a.csv"});
  EXPECT_FALSE(p.options.autoHashSeed || p.options.check);
  EXPECT_EQ(p.options.hashSeed, 7u);
  p = Parse({"--hash-seed", "Auto", "a.csv"});
  EXPECT_FALSE(p.ok);

  // An empty argument leaves the input file unset for a later one.
  p = Parse({"", "a.csv"});
  ASSERT_TRUE(p.ok) << p.errors;
  EXPECT_EQ(p.options.inputPath, Path("a.csv"));
}

}  // namespace
}  // namespace quillex
