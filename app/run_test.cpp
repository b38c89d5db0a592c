#include "app/run.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/catalog.h"
#include "app/scoped_env.h"

namespace quillex {
namespace {

// The locale variables the console language depends on, with only LANG set (nullptr = unset).
struct LocaleScope {
  explicit LocaleScope(const char* lang)
      : all("LC_ALL", nullptr),
        messages("LC_MESSAGES", nullptr),
        ctype("LC_CTYPE", nullptr),
        langVariable("LANG", lang) {}
  ScopedEnv all, messages, ctype, langVariable;
};

class RunTest : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = useJapanese; }
  void TearDown() override { useJapanese = saved_; }

  // Runs the tool in-process, in English, capturing its output.
  int Run(std::vector<const char*> args) {
    LocaleScope locale(nullptr);
    useJapanese = 0;
    args.insert(args.begin(), "zorb-quillex");
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int status = RunMain(static_cast<int>(args.size()), args.data());
    out_ = testing::internal::GetCapturedStdout();
    err_ = testing::internal::GetCapturedStderr();
    return status;
  }

  // Whether a locale selects the Japanese catalog.
  bool Japanese(const char* lang) {
    LocaleScope locale(lang);
    useJapanese = 0;
    ChooseConsoleLanguage();
    return useJapanese == 1;
  }

  std::string out_;
  std::string err_;

 private:
  std::int32_t saved_ = 0;
};

TEST_F(RunTest, JapaneseNeedsUtf8OrShiftJisConsole) {
  EXPECT_TRUE(Japanese("ja_JP.UTF-8"));
  EXPECT_TRUE(Japanese("ja_JP.SJIS"));
  EXPECT_FALSE(Japanese("ja_JP.eucJP"));
  EXPECT_FALSE(Japanese("ja_JP"));
  EXPECT_FALSE(Japanese("en_US.UTF-8"));
  EXPECT_FALSE(Japanese(nullptr));
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
