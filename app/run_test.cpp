#include "app/run.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "app/catalog.h"
#include "app/scoped_env.h"

namespace quillex {
namespace {

class RunTest : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = useJapanese; }
  void TearDown() override { useJapanese = saved_; }

  // Runs the tool in-process with the locale variables as given (nullptr = unset).
  int Run(std::vector<const char*> args, const char* lang = nullptr) {
    ScopedEnv lcAll("LC_ALL", nullptr);
    ScopedEnv lcMessages("LC_MESSAGES", nullptr);
    ScopedEnv lcCtype("LC_CTYPE", nullptr);
    ScopedEnv langEnv("LANG", lang);
    useJapanese = 0;
    args.insert(args.begin(), "zorb-quillex");
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int status = RunMain(static_cast<int>(args.size()), args.data());
    out_ = testing::internal::GetCapturedStdout();
    err_ = testing::internal::GetCapturedStderr();
    return status;
  }

  // Which catalog language a locale selects.
  bool Japanese(const char* lang) {
    ScopedEnv lcAll("LC_ALL", nullptr);
    ScopedEnv lcMessages("LC_MESSAGES", nullptr);
    ScopedEnv lcCtype("LC_CTYPE", nullptr);
    ScopedEnv langEnv("LANG", lang);
    useJapanese = 0;
    ChooseConsoleLanguage();
    return useJapanese == 1;
  }

  std::string out_;
  std::string err_;

 private:
  std::int32_t saved_ = 0;
};

const std::regex kVersionLine(
    "zorb-quillex version 1\\.3\\.0 \\(compiled at [A-Z][a-z]{2} [ 0-9][0-9] [0-9]{4} "
    "[0-9]{2}:[0-9]{2}:[0-9]{2}\\)\n");

TEST_F(RunTest, JapaneseNeedsUtf8OrShiftJisConsole) {
  EXPECT_TRUE(Japanese("ja_JP.UTF-8"));
  EXPECT_TRUE(Japanese("ja_JP.SJIS"));
  EXPECT_FALSE(Japanese("ja_JP.eucJP"));
  EXPECT_FALSE(Japanese("ja_JP"));
  EXPECT_FALSE(Japanese("en_US.UTF-8"));
  EXPECT_FALSE(Japanese(nullptr));
}

TEST_F(RunTest, VersionLineOnly) {
  EXPECT_EQ(Run({"a.csv", "-o", "x", "-v"}), 0);
  EXPECT_TRUE(std::regex_match(out_, kVersionLine)) << out_;
  EXPECT_EQ(err_, "");
}

TEST_F(RunTest, HelpIsVersionLineThenUsage) {
  EXPECT_EQ(Run({}), 0);
  const std::string usage = GetMessage(Msg::Usage) + "\n";
  ASSERT_GT(out_.size(), usage.size());
  EXPECT_TRUE(std::regex_match(out_.substr(0, out_.size() - usage.size()), kVersionLine));
  EXPECT_TRUE(out_.ends_with(usage));
  EXPECT_EQ(err_, "");

  EXPECT_EQ(Run({"a.csv", "--help"}, "ja_JP.UTF-8"), 0);
  EXPECT_TRUE(out_.ends_with("\n   このヘルプを表示します．\n"));
}

TEST_F(RunTest, UsageErrorEndsWithStatusOne) {
  EXPECT_EQ(Run({"a.csv", "b.csv", "-v"}), 1);
  EXPECT_EQ(out_, "");
  EXPECT_EQ(err_, "Error: Multiple input files are specified.\n");
  EXPECT_EQ(Run({"-o"}, "ja_JP.UTF-8"), 1);
  EXPECT_EQ(err_, "Error: パラメータが不足しています: -o\n");
}

TEST_F(RunTest, SourceOutputWarnsAboutIndexing) {
  // The input does not exist, so the generator fails after the warning.
  EXPECT_EQ(Run({"-s", "--indexing", "no-such-dir/none.csv"}), 1);
  EXPECT_TRUE(
      err_.starts_with("Warning: The source code output does not support indexed strings.\n"))
      << err_;
  EXPECT_EQ(out_.find("Succeeded."), std::string::npos);
  EXPECT_EQ(Run({"--indexing-all", "no-such-dir/none.csv"}), 1);
  EXPECT_EQ(err_.find("Warning:"), std::string::npos);
}

}  // namespace
}  // namespace quillex
