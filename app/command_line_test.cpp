#include "app/command_line.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace quillex {
namespace {

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

using platform::Path;

struct SeedCase {
  const char* text;
  std::uint32_t seed;
};

TEST(ParseHashSeedTest, AcceptedTexts) {
  const SeedCase cases[] = {
      // Bases.
      {"0x1F", 0x1F},
      {"0XaB", 0xAB},
      {"017", 15},
      {"0", 0},
      {"2750857790", 0xA3F6C23E},
      {"0xFFFFFFFF", 0xFFFFFFFF},
      // Sign and white space; "-" negates modulo 2^32.
      {"-1", 0xFFFFFFFF},
      {" \t\n\v\f\r+42", 42},
      {"-0x10", 0xFFFFFFF0},
      {"-4294967295", 1},
      // The first character that is no digit of the base ends the number.
      {"7z", 7},
      {"12abc", 12},
      {"09", 0},
      {"0x1g", 1},
  };
  for (const SeedCase& c : cases) {
    std::uint32_t seed = 123;
    EXPECT_TRUE(ParseHashSeed(c.text, &seed)) << c.text;
    EXPECT_EQ(seed, c.seed) << c.text;
  }
}

TEST(ParseHashSeedTest, FailuresKeepTheValue) {
  for (const char* text : {"", "0x", "0X", "-0x", "x1", "+", "--1", "+-1", " ", "4294967296",
                           "0x100000000", "040000000000", "99999999999999999999999"}) {
    std::uint32_t seed = 123;
    EXPECT_FALSE(ParseHashSeed(text, &seed)) << text;
    EXPECT_EQ(seed, 123u) << text;
  }
}

TEST(ParseCommandLineTest, EveryOptionWord) {
  Parsed p = Parse({"-o", "out", "-p", "pre", "-s", "--replace", "r1.txt", "--indexing-all",
                    "--replace", "r2.txt", "--hash-seed", "0x1F", "in.csv"});
  ASSERT_TRUE(p.ok) << p.errors;
  EXPECT_EQ(p.errors, "");
  EXPECT_EQ(p.options.outputDirectory, Path("out"));
  EXPECT_EQ(p.options.prefix, Path("pre"));
  EXPECT_TRUE(p.options.sourceOutput);
  EXPECT_EQ(p.options.replaceFiles, (std::vector<Path>{"r1.txt", "r2.txt"}));
  EXPECT_EQ(p.options.indexing, IndexingMode::AllLanguages);
  EXPECT_EQ(p.options.hashSeed, 0x1Fu);
  EXPECT_EQ(p.options.inputPath, Path("in.csv"));
  EXPECT_FALSE(p.options.showVersion);
  EXPECT_FALSE(p.options.showHelp);

  p = Parse({"--output", "o2", "--source", "--indexing", "a.csv"});
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.options.outputDirectory, Path("o2"));
  EXPECT_TRUE(p.options.sourceOutput);
  EXPECT_EQ(p.options.indexing, IndexingMode::PerLanguage);
}

TEST(ParseCommandLineTest, BothPrefixSpellingsWork) {
  for (const char* word : {"-p", "--prefix", "--prerix"}) {
    Parsed p = Parse({word, "x", "a.csv"});
    ASSERT_TRUE(p.ok) << word << ": " << p.errors;
    EXPECT_EQ(p.options.prefix, Path("x"));
    EXPECT_EQ(p.options.inputPath, Path("a.csv"));
  }
}

TEST(ParseCommandLineTest, LaterSettingsWin) {
  Parsed p = Parse({"-o", "a", "-o", "b", "--indexing-all", "--indexing", "--hash-seed", "1",
                    "--hash-seed", "2", "in.csv"});
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.options.outputDirectory, Path("b"));
  EXPECT_EQ(p.options.indexing, IndexingMode::PerLanguage);
  EXPECT_EQ(p.options.hashSeed, 2u);
}

TEST(ParseCommandLineTest, ValueIsTakenWhateverItLooksLike) {
  Parsed p = Parse({"-o", "--help", "a.csv"});
  ASSERT_TRUE(p.ok);
  EXPECT_FALSE(p.options.showHelp);
  EXPECT_EQ(p.options.outputDirectory, Path("--help"));
  p = Parse({"--replace", "-v", "a.csv"});
  ASSERT_TRUE(p.ok);
  EXPECT_FALSE(p.options.showVersion);
  EXPECT_EQ(p.options.replaceFiles, std::vector<Path>{"-v"});
}

TEST(ParseCommandLineTest, MissingValue) {
  for (const char* word :
       {"-o", "--output", "-p", "--prefix", "--prerix", "--replace", "--hash-seed"}) {
    Parsed p = Parse({"a.csv", word});
    EXPECT_FALSE(p.ok) << word;
    EXPECT_EQ(p.errors, std::string("Error: Parameters is missing: ") + word + "\n");
  }
}

TEST(ParseCommandLineTest, EmptyArgumentLeavesRoomForTheInputFile) {
  Parsed p = Parse({"", "a.csv"});
  ASSERT_TRUE(p.ok) << p.errors;
  EXPECT_EQ(p.options.inputPath, Path("a.csv"));
}

}  // namespace
}  // namespace quillex
