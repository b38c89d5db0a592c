#include "source/source_generator.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "platform/test_temp_dir.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quillex {
namespace {

// The include files, ID_LIST (the identifier list's lines) and a missing language are covered end
// to end; these are the header cells the end-to-end replace files do not reach.
TEST(SourceGeneratorTest, ListCommandsOverEmptyHeaderCells) {
  SourceGenerator generator;
  ASSERT_TRUE(generator.table.ParseBytes("ID,EN,,Ja-JP\r\nHELLO,Hi,x,\r\n,lost,lost,\r\n#E,,,"));
  auto process = [&generator](std::uint32_t code, const char* argument, const char* indentation) {
    ReplaceCommand command;
    command.code = code;
    command.argument = argument;
    command.indentation = indentation;
    std::string lines;
    EXPECT_TRUE(generator.ProcessCommand(lines, command, "r.h")) << argument;
    return lines;
  };
  EXPECT_EQ(process(command::LanguageList, "", "\t "), "\t EN,\n\t ,\n\t Ja-JP,\n");
  // An empty text takes that of column 1, and stays empty when that is empty too.
  EXPECT_EQ(process(command::MessageList, "Ja-JP", "  "),
            "  /* HELLO */ \"\\x48\\x69\",\n  /* #E */ \"\",\n");
  // An empty argument names the first column without a language ID.
  EXPECT_EQ(process(command::MessageList, "", "  "),
            "  /* HELLO */ \"\\x78\",\n  /* #E */ \"\",\n");
}

// The include files of a large table are made several at a time: the console and the folder must
// show the same as when they are made one after another, failures included, and a failure must
// leave no file of the languages after it, nor any temporary file.
class IncludeFilesTest : public TempDirTest {
 protected:
  Outcome Run(const std::string& csv, std::size_t threads) {
    SourceGenerator generator;
    EXPECT_TRUE(generator.table.ParseBytes(csv));
    generator.threads = threads;
    return RunInEmptyDir([&] { return generator.WriteIncludeFiles(dir / "msg"); });
  }
};

TEST_F(IncludeFilesTest, SeveralAtOnceShowWhatOneAfterAnotherDoes) {
  // "en" names EN's file again: the later column's messages win.
  const std::string fine = "ID,EN,de,,ja,en\r\nA,a1,a2,a3,a4,\r\nB,b1,,b3,b4,b5\r\n";
  // "a/b" names no file: it fails after the files before it, and before those after it.
  const std::string failing = "ID,EN,de,a/b,ja,en\r\nA,a1,a2,a3,a4,a5\r\nB,b1,,b3,b4,b5\r\n";
  for (const std::string& csv : {fine, failing}) {
    const Outcome alone = Run(csv, 1);
    EXPECT_EQ(alone.succeeded, csv == fine);
    EXPECT_EQ(alone.files.count("msg_ja.inc"), csv == fine ? 1u : 0u);
    // B's message in "en", or in EN when the run stops before "en".
    EXPECT_NE(alone.files.at("msg_en.inc").find(csv == fine ? "\\x62\\x35" : "\\x62\\x31"),
              std::string::npos);
    for (std::size_t threads : {2, 3, 8}) {
      for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(testing::Message() << threads << " threads, round " << round);
        const Outcome together = Run(csv, threads);
        EXPECT_EQ(together.succeeded, alone.succeeded);
        EXPECT_EQ(together.out, alone.out);
        EXPECT_EQ(together.err, alone.err);
        EXPECT_EQ(together.files, alone.files);
      }
    }
  }
}

#ifndef _WIN32
// Of a large table, a FIFO's file is opened in its turn, once the files before it are in place:
// its reader may read them first. Opened ahead, it would find no reader yet, or one that has not
// seen them.
TEST_F(IncludeFilesTest, FifoIsOpenedOnceTheFilesBeforeItAreInPlace) {
  // The identifier list and de's file are made side by side; en's is the FIFO.
  std::string csv = "ID,de,en\r\n";
  for (int k = 0; k < 200000; ++k) {
    csv += "ID" + std::to_string(k) + ",Eine Meldung die etwas l\xC3\xA4nger ist,t\r\n";
  }
  SourceGenerator generator;
  ASSERT_TRUE(generator.table.ParseBytes(csv));
  generator.threads = 2;
  const std::filesystem::path fifo = dir / "msg_en.inc";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::atomic<bool> opening = false;
  bool filesInPlace = false;
  std::string received;
  std::thread reader([&] {
    opening = true;
    std::ifstream in(fifo, std::ios::binary);  // held until the run opens the FIFO
    filesInPlace =
        std::filesystem::exists(dir / "msg_id.inc") && std::filesystem::exists(dir / "msg_de.inc");
    received.assign(std::istreambuf_iterator<char>(in), {});
  });
  while (!opening) std::this_thread::yield();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // into its open
  ::testing::internal::CaptureStdout();
  const bool written = generator.WriteIncludeFiles(dir / "msg");
  ::testing::internal::GetCapturedStdout();
  // Lets the reader go should the run have failed to open the FIFO.
  const int release = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
  if (release >= 0) ::close(release);
  reader.join();
  EXPECT_TRUE(written);
  EXPECT_TRUE(filesInPlace);
  EXPECT_NE(received.find("/* ID199999 */"), std::string::npos);
}
#endif

}  // namespace
}  // namespace quillex
