#include "console/catalog.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace quillex {
namespace {

// The first number past the last catalog entry.
constexpr std::int32_t kPastLast = static_cast<std::int32_t>(Msg::CheckTooManyCharacters) + 1;

// POSIX: the console's code page follows the locale (LC_ALL first), so each test pins it.
// Windows: it is the system's, so a test that needs the other kind of console is skipped; the
// suite runs on an English and on a Japanese system.
#ifdef _WIN32
#define QUILLEX_REQUIRE_CONSOLE(shiftJis, locale)              \
  if ((platform::GetMultibyteCodePage() == 932) != (shiftJis)) \
  GTEST_SKIP() << ((shiftJis) ? "needs a code page 932 system" \
                              : "needs a system other than code page 932")
#else
#define QUILLEX_REQUIRE_CONSOLE(shiftJis, locale) SetLocale(locale)
#endif

class CatalogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedJapanese = useJapanese;
#ifndef _WIN32
    if (const char* locale = std::getenv("LC_ALL")) savedLocale = locale;
    SetLocale("C.UTF-8");
#endif
  }
  void TearDown() override {
    useJapanese = savedJapanese;
#ifndef _WIN32
    savedLocale ? ::setenv("LC_ALL", savedLocale->c_str(), 1) : ::unsetenv("LC_ALL");
#endif
  }
#ifndef _WIN32
  static void SetLocale(const char* locale) { ::setenv("LC_ALL", locale, 1); }
#endif

 private:
  bool savedJapanese = false;
  std::optional<std::string> savedLocale;
};

TEST_F(CatalogTest, NumbersOutsideTheCatalogAreInvalid) {
  for (bool japanese : {false, true}) {
    useJapanese = japanese;
    for (std::int32_t index : {-1, kPastLast, INT32_MIN}) {
      EXPECT_EQ(GetMessage(index), "** INVALID MESSAGE **") << index;
    }
  }
}

TEST_F(CatalogTest, ShiftJisConsoleGetsShiftJis) {
  QUILLEX_REQUIRE_CONSOLE(true, "ja_JP.SJIS");
  const FormatArgs unmapped = {
      FormatArg::OfString("\xC3\xA9\xEF\xBD\x9E\xEF\xBD\xB1.csv")};  // é～ｱ
  const struct {
    bool japanese;
    std::int32_t index;
    FormatArgs args;
    std::string expected;
  } cases[] = {
      {true,
       42,
       {},
       "\x83\x81\x83\x82\x83\x8A\x82\xAA\x95\x73\x91\xAB\x82\xB5\x82\xC4\x82\xA2\x82\xDC\x82\xB7"
       "\x81\x44"},
      {true, 33, {}, "\x90\xAC\x8C\xF7\x81\x44"},
      {false, 33, {}, "Succeeded."},
      // English text too: its arguments are converted.
      {false, 13, unmapped, "Failed to read CSV file: \xE9????.csv"},
      {true, 13, unmapped,
       "CSV\x83t\x83@\x83\x43\x83\x8B\x82\xCC\x93\xC7\x82\xDD\x8D\x9E\x82\xDD\x82\xC9\x8E\xB8\x94s"
       "\x82\xB5\x82\xDC\x82\xB5\x82\xBD: \xE9????.csv"},
      // An argument that is not UTF-8 (here already Shift_JIS): the English text, in UTF-8.
      {true, 13, {FormatArg::OfString("\x82\xA0.csv")}, "Failed to read CSV file: \x82\xA0.csv"},
      {true,
       15,
       {FormatArg::OfString("\x82\xA0"), FormatArg::OfString("b"), FormatArg::OfUInt(0x1234)},
       "Hash value collision detected: \x82\xA0 = b (0x00001234)"},
  };
  for (const auto& c : cases) {
    useJapanese = c.japanese;
    EXPECT_EQ(GetMessage(c.index, c.args), c.expected) << c.index << " " << c.japanese;
  }
}

}  // namespace
}  // namespace quillex
