#include "app/run.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>

#include "console/catalog.h"

namespace quillex {
namespace {

// Whether LANG = `lang`, with the other locale variables unset, selects the Japanese catalog.
// The environment and the flag are put back afterwards.
bool Japanese(const char* lang) {
  const char* names[] = {"LC_ALL", "LC_MESSAGES", "LC_CTYPE", "LANG"};
  std::optional<std::string> saved[4];
  for (int i = 0; i < 4; ++i) {
    if (const char* value = std::getenv(names[i])) saved[i] = value;
    if (i < 3) ::unsetenv(names[i]);
  }
  ::setenv("LANG", lang, 1);
  const bool savedFlag = std::exchange(useJapanese, false);
  ChooseConsoleLanguage();
  const bool japanese = std::exchange(useJapanese, savedFlag);
  for (int i = 0; i < 4; ++i) {
    saved[i] ? ::setenv(names[i], saved[i]->c_str(), 1) : ::unsetenv(names[i]);
  }
  return japanese;
}

TEST(RunTest, JapaneseNeedsJapaneseUserAndUtf8OrShiftJisConsole) {
  EXPECT_TRUE(Japanese("ja_JP.UTF-8"));
  EXPECT_TRUE(Japanese("ja_JP.SJIS"));
  EXPECT_FALSE(Japanese("ja_JP.eucJP"));
  EXPECT_FALSE(Japanese("ja_JP"));
  EXPECT_FALSE(Japanese("en_US.UTF-8"));
  EXPECT_FALSE(Japanese("en_US.SJIS"));
}

}  // namespace
}  // namespace quillex
