#include "console/catalog.h"

#include <gtest/gtest.h>

namespace quillex {
namespace {

// What each message reads as, and the Shift_JIS console's form of it, show in the end-to-end cases
// (the shift-jis and japanese-system ones); numbers outside the catalog cannot come from a run.
TEST(CatalogTest, NumbersOutsideTheCatalogAreInvalid) {
  const bool saved = useJapanese;
  // The texts added after the numbered messages are no numbers of their own.
  const auto lastAdded = static_cast<std::int32_t>(Msg::CheckOutputNameZeroByte);
  for (bool japanese : {false, true}) {
    useJapanese = japanese;
    for (std::int32_t index : {-1, 38, lastAdded, lastAdded + 1, INT32_MIN, INT32_MAX}) {
      EXPECT_EQ(GetMessage(index), "** INVALID MESSAGE **") << index;
    }
    EXPECT_NE(GetMessage(37), "** INVALID MESSAGE **");
    EXPECT_NE(GetMessage(Msg::FailedToWriteFile), "** INVALID MESSAGE **");
  }
  useJapanese = saved;
}

// Lines held for one write come out whole and in order, past the size at which they are written
// out, and a line break inside a text is written as an escape (one finding, one whole line; the
// line feed and zero byte escapes also show in bad-chk-line-break-in-name and
// bad-chk-replace-zero-byte).
TEST(CatalogTest, DiagnosticLinesComeOutWholeAndInOrder) {
  auto line = [](std::uint32_t number, bool error, const std::string& name) {
    return "in.txt:" + std::to_string(number) + ":3: " + (error ? "error: " : "warning: ") +
           GetMessage(Msg::CheckUnknownCommand, {FormatArg::OfString(name)}) +
           " [replace-command]\n";
  };
  std::string expected;
  testing::internal::CaptureStderr();
  {
    DiagnosticPrinter printer;
    for (std::uint32_t number = 1; number <= 2000; ++number) {
      const bool error = number % 3 == 0;
      const std::string name = "COMMAND_" + std::to_string(number) + std::string(number % 50, 'x');
      printer.Print("in.txt", number, 3, error, Msg::CheckUnknownCommand,
                    {FormatArg::OfString(name)}, "replace-command");
      expected += line(number, error, name);
    }
    printer.Print("in.txt", 2001, 3, true, Msg::CheckUnknownCommand,
                  {FormatArg::OfString("A\r\nB\n")}, "replace-command");
    expected += line(2001, true, "A\\r\\nB\\n");
  }
  const std::string printed = testing::internal::GetCapturedStderr();
  ASSERT_GT(expected.size(), 128u * 1024);  // several writes
  EXPECT_EQ(printed, expected);
}

}  // namespace
}  // namespace quillex
