#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/output_file.h"
#include "platform/platform.h"
#include "platform/test_temp_dir.h"

#include <windows.h>
#undef ReplaceFile  // the Windows API macro would rename the platform function

namespace quillex::platform {
namespace {

TEST(PathTest, JoinAndAppend) {
  const struct {
    const wchar_t* directory;
    const wchar_t* name;
    const wchar_t* joined;
  } joins[] = {
      {L"./", L"msg", L"./msg"},
      {L"out", L"msg", L"out\\msg"},
      {L"out\\", L"sub/msg", L"out\\sub/msg"},
      {L"out", L"C:\\abs\\msg", L"C:\\abs\\msg"},
  };
  for (const auto& c : joins) {
    EXPECT_EQ(JoinPath(c.directory, c.name).native(), c.joined) << PathToUtf8(c.joined);
  }
  // Suffixes are UTF-8 (a language name may be Japanese), whatever the code page.
  EXPECT_EQ(AppendToPath(L"out\\Pre", "_\xE6\x97\xA5\xE6\x9C\xAC.inc").native(),
            L"out\\Pre_\u65E5\u672C.inc");
  EXPECT_EQ(PathToUtf8(L"\u6210\u7E3E\u00E9.csv"), "\xE6\x88\x90\xE7\xB8\xBE\xC3\xA9.csv");
}

TEST(PathTest, ArgumentsAreInTheSystemCodePage) {
  EXPECT_EQ(PathFromNarrow("a/b.csv").native(), L"a/b.csv");
  EXPECT_EQ(PathFromNarrow("").native(), L"");
  switch (::GetACP()) {
    case 932:
      EXPECT_EQ(PathFromNarrow("\x90\xAC\x8C\xF7.csv").native(), L"\u6210\u529F.csv");
      break;
    case 1252:
      EXPECT_EQ(PathFromNarrow("\xE9.csv").native(), L"\u00E9.csv");
      break;
    default:
      GTEST_SKIP() << "no sample for code page " << ::GetACP();
  }
}

// The runner states which system it started: its user language and code page must come through.
TEST(LocaleTest, SystemIsTheOneTheRunnerStarted) {
  const char* expected = std::getenv("QUILLEX_WINDOWS_LOCALE");
  if (expected == nullptr) GTEST_SKIP() << "QUILLEX_WINDOWS_LOCALE is not set";
  if (std::string(expected) == "ja") {
    EXPECT_TRUE(IsUserLanguageJapanese());
    EXPECT_EQ(GetMultibyteCodePage(), 932);
  } else {
    EXPECT_FALSE(IsUserLanguageJapanese());
    EXPECT_EQ(GetMultibyteCodePage(), 0);
  }
}

using StreamTest = TempDirTest;

TEST_F(StreamTest, TextModesTranslateLineEnds) {
  const Path path = dir / L"\u6210\u7E3E.txt";  // a name outside every narrow code page
  std::FILE* out = OpenStream(path, "w");
  ASSERT_NE(out, nullptr);
  std::fputs("a\nb\n", out);
  std::fclose(out);
  EXPECT_EQ(Read(path), "a\r\nb\r\n");

  std::FILE* in = OpenStream(path, "r");
  ASSERT_NE(in, nullptr);
  char line[16];
  ASSERT_NE(std::fgets(line, sizeof line, in), nullptr);
  EXPECT_EQ(std::string(line), "a\n");
  std::fclose(in);

  in = OpenStream(path, "rb");
  ASSERT_NE(in, nullptr);
  std::uint64_t size = 0;
  EXPECT_TRUE(GetStreamSize(in, &size));
  EXPECT_EQ(size, 6u);
  std::fclose(in);

  EXPECT_EQ(OpenStream(dir / "missing", "rb"), nullptr);
  EXPECT_EQ(OpenStream(path, "bad mode"), nullptr);
}

TEST_F(StreamTest, TemporaryFilesAreNewAndRemovable) {
  Path first;
  Path second;
  std::FILE* a = CreateTempFileBeside(dir / "msg.bin", "wb", &first);
  std::FILE* b = CreateTempFileBeside(dir / "msg.bin", "wb", &second);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_NE(first, second);
  EXPECT_EQ(first.parent_path(), dir);
  std::fclose(a);
  std::fclose(b);
  ASSERT_TRUE(ReplaceFile(first, dir / "msg.bin"));
  ASSERT_TRUE(ReplaceFile(second, dir / "msg.bin"));
  EXPECT_FALSE(ReplaceFile(second, dir / "msg.bin"));  // already moved
  RemoveFileQuietly(dir / "msg.bin");
  RemoveFileQuietly(dir / "msg.bin");
  EXPECT_TRUE(std::filesystem::is_empty(dir));
  Path unused;
  EXPECT_EQ(CreateTempFileBeside(dir / "missing" / "msg.bin", "wb", &unused), nullptr);
}

// Only the start of a long name goes into the temporary file's, cut before a surrogate pair
// rather than inside it: a lone half is refused where names are kept as UTF-8.
TEST_F(StreamTest, TemporaryNameKeepsWholeCharacters) {
  const std::wstring start(63, L'a');
  Path temp;
  std::FILE* stream = CreateTempFileBeside(dir / (start + L"\U00020BB7.inc"), "wb", &temp);
  ASSERT_NE(stream, nullptr);
  std::fclose(stream);
  EXPECT_EQ(temp.filename().native().substr(0, 67), start + L".tmp");
  RemoveFileQuietly(temp);
}

TEST_F(StreamTest, SameFileByAnyPath) {
  std::ofstream(dir / "a.h") << "a";
  std::ofstream(dir / "b.h") << "a";
  ASSERT_TRUE(::CreateHardLinkW((dir / "link.h").c_str(), (dir / "a.h").c_str(), nullptr));
  const struct {
    Path path;
    Path other;
    bool same;
  } cases[] = {
      {dir / "a.h", dir / "a.h", true},
      {dir / "a.h", Path(dir.native() + L"/./a.h"), true},
      {dir / "a.h", dir / "sub" / ".." / "A.H", true},  // names are case-blind here
      {dir / "a.h", dir / "link.h", true},
      {dir / "a.h", dir / "b.h", false},                // equal contents, other file
      {dir / "a.h", dir / "missing.h", false},
      {dir / "missing.h", dir / "missing.h", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsSameFile(c.path, c.other), c.same)
        << PathToUtf8(c.path) << " " << PathToUtf8(c.other);
  }
}

std::vector<std::wstring> Names(const Path& dir) {
  std::vector<std::wstring> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    names.push_back(entry.path().filename().native());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// NUL and the like are written in place as a plain open would, never replaced; a disk file
// named through the device space is still a file.
TEST_F(StreamTest, DevicesAreWrittenInPlace) {
  EXPECT_TRUE(IsSpecialFile(L"NUL"));
  EXPECT_TRUE(IsSpecialFile(dir / "NUL"));
  EXPECT_TRUE(IsSpecialFile(L"\\\\.\\pipe\\quillex-nobody"));
  EXPECT_FALSE(IsSpecialFile(dir / "msg.bin"));
  EXPECT_FALSE(IsSpecialFile(Path(L"\\\\.\\" + (dir / "msg.bin").native())));
  OutputFile out;
  ASSERT_TRUE(out.Open(L"NUL", "wb"));
  out.Write("discarded");
  EXPECT_EQ(out.Commit(), CommitResult::Committed);
  EXPECT_TRUE(std::filesystem::is_empty(dir));
}

// Replacing a file through a link replaces the file it leads to and keeps the link. Skipped
// where the system makes no links (Wine's CreateSymbolicLink makes none).
TEST_F(StreamTest, LinksAreFollowedAndKept) {
  Write("real.inc", "old");
  ::CreateSymbolicLinkW((dir / "link.inc").c_str(), L"real.inc",
                        SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
  if (::GetFileAttributesW((dir / "link.inc").c_str()) == INVALID_FILE_ATTRIBUTES) {
    GTEST_SKIP() << "no symbolic link was made";
  }
  OutputFile out;
  ASSERT_TRUE(out.Open(dir / "link.inc", "wb"));
  out.Write("new");
  ASSERT_EQ(out.Commit(), CommitResult::Committed);
  EXPECT_EQ(Read("real.inc"), "new");
  EXPECT_NE(::GetFileAttributesW((dir / "link.inc").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
}

// Ctrl-C, Ctrl-Break or closing the console: the temporary files in flight go, a finished file
// stays, and the process ends as the event ends a console program. The handler never returns,
// so it runs in a child process, which writes into the parent's folder: the folder is named in
// the environment the child inherits (the child runs the test's start again).
TEST(ControlEventTest, TemporaryFilesInFlightAreRemoved) {
  constexpr const wchar_t* kVariable = L"QUILLEX_CONTROL_TEST_DIR";
  wchar_t inherited[1024];
  const bool child = ::GetEnvironmentVariableW(kVariable, inherited, 1024) != 0;
  const Path dir = child ? Path(inherited)
                         : std::filesystem::path(::testing::TempDir()) /
                               ("quillex_control_" + std::to_string(::GetCurrentProcessId()));
  if (!child) {
    std::filesystem::create_directory(dir);
    ::SetEnvironmentVariableW(kVariable, dir.c_str());
  }
  EXPECT_EXIT(
      {
        Path finished;
        Path inFlight;
        std::FILE* done = CreateTempFileBeside(dir / "kept", "w", &finished);
        std::FILE* open = CreateTempFileBeside(dir / "out.bin", "wb", &inFlight);
        if (done == nullptr || open == nullptr) std::_Exit(2);
        std::fclose(done);
        if (!ReplaceFile(finished, dir / "kept")) std::_Exit(3);
        std::fputs("partial", open);
        std::fflush(open);
        RemoveTempFilesAndEnd(CTRL_BREAK_EVENT);
        std::_Exit(4);
      },
      ::testing::ExitedWithCode(static_cast<int>(STATUS_CONTROL_C_EXIT)), "");
  ::SetEnvironmentVariableW(kVariable, nullptr);
  EXPECT_EQ(Names(dir), std::vector<std::wstring>{L"kept"});
  std::filesystem::remove_all(dir);
}

// A language ID or table key becomes part of a file name: either separator would lead out of the
// output folder.
// Split from the wide command line, not the ANSI argv: a character the code page lacks stays
// itself instead of a look-alike ("／" would be "/", out of the output folder).
TEST(PathTest, ArgumentsKeepCharactersOutsideTheCodePage) {
  const std::vector<std::string> arguments =
      ArgumentsFromCommandLine(L"zorb-quillex.exe -p \xFF0E\xFF0E\xFF0Fm \"\x0101 b.csv\"");
  ASSERT_EQ(arguments.size(), 4u);
  EXPECT_EQ(arguments[1], "-p");
  EXPECT_EQ(arguments[2], "\xEF\xBC\x8E\xEF\xBC\x8E\xEF\xBC\x8Fm");
  EXPECT_EQ(arguments[3], "\xC4\x81 b.csv");
  EXPECT_EQ(PathFromArgument(arguments[3]).native(), L"\x0101 b.csv");
}

// The command line is split as the system splits it: against CommandLineToArgvW itself, loaded
// for this test only, on random lines of the characters that matter.
TEST(PathTest, ArgumentsAreSplitAsTheSystemSplitsThem) {
  using Split = wchar_t** (__stdcall*)(const wchar_t*, int*);
  const HMODULE shell = ::LoadLibraryW(L"shell32.dll");
  ASSERT_NE(shell, nullptr);
  const auto split = reinterpret_cast<Split>(
      reinterpret_cast<void*>(::GetProcAddress(shell, "CommandLineToArgvW")));
  ASSERT_NE(split, nullptr);
  const auto expected = [&](const std::wstring& line) {
    int count = 0;
    wchar_t** wide = split(line.c_str(), &count);
    std::vector<std::string> out;
    for (int i = 0; i < count; ++i) {
      const std::wstring argument = wide[i];
      out.push_back(PathToUtf8(Path(argument)));
    }
    ::LocalFree(wide);
    return out;
  };
  std::vector<std::wstring> lines = {
      L"a", L"\"a b\" c", L"\"a\"b c", L"a\t b  ", L"a \"\"", L"a \\\\\"b c\"",
      L"a \\\"b", L"a \"b\"\"c\"", L"a \"\"\"\"\"\"", L"a b\\\\ c\\", L"\"\" x",
  };
  const wchar_t pieces[] = {L'a', L' ', L'\t', L'\\', L'"', L'\x0101'};
  std::srand(7);
  for (int n = 0; n < 3000; ++n) {
    std::wstring line = n % 2 == 0 ? L"p" : L"\"p q\"";
    const int length = std::rand() % 12;
    for (int i = 0; i < length; ++i) line += pieces[std::rand() % std::size(pieces)];
    lines.push_back(line);
  }
  for (const std::wstring& line : lines) {
    EXPECT_EQ(ArgumentsFromCommandLine(line.c_str()), expected(line)) << PathToUtf8(Path(line));
  }
  ::FreeLibrary(shell);
}

TEST(PathTest, SeparatorMakesNoPlainName) {
  EXPECT_TRUE(IsPlainFileName("ja-JP"));
  EXPECT_TRUE(IsPlainFileName(".."));
  EXPECT_FALSE(IsPlainFileName("x/../y"));
  EXPECT_FALSE(IsPlainFileName("x\\..\\y"));
  EXPECT_FALSE(IsPlainFileName("\\"));
  EXPECT_FALSE(IsPlainFileName("a:b"));  // a stream of the file "a"
  for (std::string_view refused : {"a?b", "a*", "<a>", "a\"b", "a|b", "a\tb", "a\x1F"}) {
    EXPECT_FALSE(IsPlainFileName(refused)) << refused;
  }
  EXPECT_TRUE(IsPlainFileName("\xC3\xA9 a.b-c_d"));  // é, a space, dots and dashes
}

}  // namespace
}  // namespace quillex::platform
