#include "binary/character_list.h"

#include <gtest/gtest.h>

#include <string>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "platform/test_temp_dir.h"

namespace quillex {
namespace {

CharacterTable Count(std::initializer_list<std::pair<const char*, const char*>> texts) {
  CharacterTable table;
  for (auto [face, text] : texts) CountText(text, &table[face]);
  for (auto& [face, list] : table) list.Number();
  return table;
}

// A list file's key lowers A to Z and nothing else, as the language files of source output do.
TEST(CharacterListTest, SuffixLowersOnlyAToZ) {
  EXPECT_EQ(CharacterListSuffix("@AZ[`az{\xC3\x89"), "_using_@az[`az{\xC3\x89.json");
}

// The layout, the null lists and the file names show in the end-to-end cases' JSON lists; these
// names are what those cases lack.
TEST(CharacterListTest, NamesStayUtf8AndQuotesAreEscaped) {
  EXPECT_EQ(CharacterListJson(Count({{"ルビ", "あ\""}})),
            "{\n\t\"ルビ\" : \n\t[\n"
            "\t\t{\n\t\t\t\"code\" : 34,\n\t\t\t\"index\" : 0,\n\t\t\t\"name\" : \"\\\"\",\n"
            "\t\t\t\"useCount\" : 1\n\t\t},\n"
            "\t\t{\n\t\t\t\"code\" : 12354,\n\t\t\t\"index\" : 1,\n\t\t\t\"name\" : \"あ\",\n"
            "\t\t\t\"useCount\" : 1\n\t\t}\n\t]\n}");
}

// The documents of later tables are made while earlier ones are written: the console and the
// folder must show what writing them one after another shows, a failure included, and a failure
// must leave no list of the tables after it, nor a temporary file.
class CharacterListFilesTest : public TempDirTest {};

TEST_F(CharacterListFilesTest, SeveralAtOnceShowWhatOneAfterAnotherDoes) {
  // "fr/x" names no file: the run fails there, between "en" and "ja".
  for (const bool failing : {false, true}) {
    CharacterTables tables;
    for (const char* key : {"de", "en", "ja", "ko", "ru", "zh", "fr/x"}) {
      if (!failing && std::string_view(key) == "fr/x") continue;
      tables[key] = Count({{"default", key}, {"bold", "Ab"}, {"ruby", "かな"}});
    }
    auto run = [&](std::size_t workers) {
      return RunInEmptyDir([&] { return WriteCharacterLists(tables, dir / "msg", workers); });
    };
    const Outcome alone = run(1);
    EXPECT_EQ(alone.succeeded, !failing);
    EXPECT_EQ(alone.files.size(), failing ? 2u : 6u);
    for (std::size_t workers : {2, 3, 8}) {
      for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(testing::Message() << workers << " workers, round " << round);
        const Outcome together = run(workers);
        EXPECT_EQ(together.succeeded, alone.succeeded);
        EXPECT_EQ(together.out, alone.out);
        EXPECT_EQ(together.err, alone.err);
        EXPECT_EQ(together.files, alone.files);
      }
    }
  }
}

#ifndef _WIN32
// A FIFO at a list's name is sent the list in its turn only, as what it is sent cannot be taken
// back: after a list before it fails, it is sent nothing. The lists run side by side, so the
// FIFO's job starts before the failure is known.
TEST_F(CharacterListFilesTest, FifoIsSentNothingAfterAnEarlierFailure) {
  CharacterTables tables;
  for (const char* key : {"de", "fr/x", "ja"}) tables[key] = Count({{"default", key}});
  const std::filesystem::path fifo = dir / "msg_using_ja.json";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);  // lets a writer open it
  ASSERT_GE(reader, 0);
  for (int round = 0; round < 20; ++round) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_FALSE(WriteCharacterLists(tables, dir / "msg", 3));
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    char byte = 0;
    EXPECT_LE(::read(reader, &byte, 1), 0) << "round " << round;
  }
  ::close(reader);
}
#endif

}  // namespace
}  // namespace quillex
