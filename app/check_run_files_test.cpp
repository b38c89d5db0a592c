// --check against the run itself: an output the run refuses to write (it would write over a file
// the run reads or has written, or through a link over another output) is an error of the check,
// and only such an output.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "app/run.h"
#include "platform/test_temp_dir.h"

namespace quillex {
namespace {

namespace fs = std::filesystem;

struct Result {
  int status = 0;
  std::string err;
};

Result RunTool(const std::vector<std::string>& args) {
  std::vector<const char*> argv = {"zorb-quillex"};
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  Result result;
  result.status = RunMain(static_cast<int>(argv.size()), argv.data());
  (void)testing::internal::GetCapturedStdout();
  result.err = testing::internal::GetCapturedStderr();
  return result;
}

using CheckRunFilesTest = TempDirTest;

TEST_F(CheckRunFilesTest, ReportsExactlyTheOutputsTheRunRefuses) {
  enum Link { kNone, kSymbolic, kHard, kHardToEarlierOutput };
  struct Case {
    const char* name;
    std::vector<std::string> options;  // before the replace files
    // "name:text", made in tpl/, or a path in the case's folder that is not made; the output
    // folder is out/.
    std::vector<std::string> replaceFiles;
    std::string refusedAs;  // the check's tag where the run refuses an output
    Link link = kNone;      // made before the runs, both paths in the case's folder
    std::string linkAt = {};
    std::string linkTarget = {};
    std::string csv = "messages.csv";  // in out/
  };
  const std::vector<Case> cases = {
      {"csv", {}, {"a.h:$OUTPUT_NAME:messages.csv$\n"}, "[replace-output]"},
      {"csv-other-spelling", {}, {"a.h:$OUTPUT_NAME:../out/./messages.csv$\n"}, "[replace-output]"},
      {"binary-file", {}, {"a.h:$OUTPUT_NAME:msg.bin$\n"}, "[replace-output]"},
      {"character-list",
       {"--indexing"},
       {"a.h:$OUTPUT_NAME:msg_using_en.json$\n"},
       "[replace-output]"},
      {"list-for-all",
       {"--indexing-all"},
       {"a.h:$OUTPUT_NAME:msg_using_all.json$\n"},
       "[replace-output]"},
      // Files that these runs do not write.
      {"hash-include", {}, {"a.h:$OUTPUT_NAME:msg_id_hash.inc$\n"}, ""},
      {"list-of-other-mode", {}, {"a.h:$OUTPUT_NAME:msg_using_en.json$\n"}, ""},
      {"source-binary-file", {"-s"}, {"a.h:$OUTPUT_NAME:msg.bin$\n"}, ""},
      {"source-csv", {"-s"}, {"a.h:$OUTPUT_NAME:messages.csv$\n"}, "[replace-output]"},
      {"symbolic-link-to-csv",
       {},
       {"a.h:$OUTPUT_NAME:gen.h$\n"},
       "[replace-output]",
       kSymbolic,
       "out/gen.h",
       "out/messages.csv"},
      {"hard-link-to-csv",
       {},
       {"a.h:$OUTPUT_NAME:gen.h$\n"},
       "[replace-output]",
       kHard,
       "out/gen.h",
       "out/messages.csv"},
      // The run writes the binary file anew: its old version's other name is another file.
      {"hard-link-to-old-binary-file",
       {},
       {"a.h:$OUTPUT_NAME:gen.h$\n"},
       "",
       kHardToEarlierOutput,
       "out/gen.h",
       "out/msg.bin"},
      {"earlier-replace-file",
       {},
       {"a.h:// a\n", "b.h:$OUTPUT_NAME:../tpl/a.h$\n"},
       "[replace-output]"},
      // The later one is read as written here.
      {"later-replace-file", {}, {"a.h:$OUTPUT_NAME:../tpl/b.h$\n", "b.h:// b\n"}, ""},
      {"itself", {}, {"a.h:$OUTPUT_NAME:../tpl/a.h$\n"}, ""},
      {"itself-through-link",
       {},
       {"a.h:$OUTPUT_NAME:../tpl/a.h$\n"},
       "[replace-output]",
       kSymbolic,
       "tpl/a.h.replaced",
       "tpl/a.h"},
      // Without OUTPUT_NAME: under the replace file's own name.
      {"named-as-csv", {}, {"messages.csv:// x\n"}, "[replace-output]"},
      {"named-as-binary-file", {}, {"msg.bin:// x\n"}, "[replace-output]"},
      {"replaced-files-meet", {}, {"a.h:$OUTPUT_NAME:gen.h$\n", "b.h:$OUTPUT_NAME:gen.h$\n"}, ""},
      // Generated files: over the files the run reads, or meeting through a link.
      {"csv-named-as-binary-file", {}, {}, "[file-clash]", kNone, "", "", "msg.bin"},
      {"csv-named-as-message-table", {"-s"}, {}, "[file-clash]", kNone, "", "", "msg_en.inc"},
      {"csv-named-as-hash-include", {}, {"a.h:// a\n"}, "", kNone, "", "", "msg_id_hash.inc"},
      {"link-to-replace-file",
       {"--indexing"},
       {"a.h:// a\n"},
       "[file-clash]",
       kSymbolic,
       "out/msg_using_en.json",
       "tpl/a.h"},
      {"link-to-csv", {"-s"}, {}, "[file-clash]", kSymbolic, "out/msg_id.inc", "out/messages.csv"},
      {"link-to-other-output",
       {},
       {},
       "[file-clash]",
       kSymbolic,
       "out/msg_id_hash.inc",
       "out/msg.bin"},
      {"link-to-other-message-table",
       {"-s"},
       {},
       "[file-clash]",
       kSymbolic,
       "out/msg_en.inc",
       "out/msg_id.inc"},
      {"link-elsewhere", {}, {}, "", kSymbolic, "out/msg_id_hash.inc", "out/elsewhere.inc"},
      // A replace file not made yet, which the run would make as an output and then read.
      {"replace-file-made-by-run", {}, {"out/msg.bin"}, "[file-clash]"},
#ifndef _WIN32  // Windows replaces a link whose target is missing instead of writing through it
      {"replace-file-made-through-link",
       {"--indexing"},
       {"tpl/new.h"},
       "[file-clash]",
       kSymbolic,
       "out/msg_using_en.json",
       "tpl/new.h"},
#endif
      {"hard-link-between-outputs",
       {},
       {},
       "",
       kHard,
       "out/msg_id_hash.inc",
       "out/msg_lang_hash.inc"},
  };
  int compared = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path root = dir / c.name;
    fs::create_directories(root / "out");
    fs::create_directories(root / "tpl");
    Write(std::string(c.name) + "/out/" + c.csv, "ID,en\r\nHELLO,Hello\r\n");
    if (c.link == kHard && !fs::exists(root / c.linkTarget)) {
      Write(std::string(c.name) + "/" + c.linkTarget, "");
    }
    std::vector<std::string> args = c.options;
    args.insert(args.end(), {"-o", (root / "out").string()});
    for (const std::string& entry : c.replaceFiles) {
      if (entry.find(':') == std::string::npos) {  // a path in the case's folder, not made
        args.insert(args.end(), {"--replace", (root / entry).string()});
        continue;
      }
      const std::string name = entry.substr(0, entry.find(':'));
      Write(std::string(c.name) + "/tpl/" + name, entry.substr(entry.find(':') + 1));
      args.insert(args.end(), {"--replace", (root / "tpl" / name).string()});
    }
    args.push_back((root / "out" / c.csv).string());
    std::error_code error;
    if (c.link == kSymbolic) {
      fs::create_symlink(root / c.linkTarget, root / c.linkAt, error);
    } else if (c.link != kNone) {
      if (c.link == kHardToEarlierOutput) {
        ASSERT_EQ(RunTool(args).status, 0);
        fs::remove(root / c.linkAt);
      }
      fs::create_hard_link(root / c.linkTarget, root / c.linkAt, error);
    }
    if (error) continue;  // a system without such links
    std::vector<std::string> check = args;
    check.insert(check.begin(), "--check");
    const Result checked = RunTool(check);
    const Result run = RunTool(args);
    const bool refused = !c.refusedAs.empty();
    const auto shows = [&](const char* tag) { return checked.err.find(tag) != std::string::npos; };
    EXPECT_EQ(shows("[replace-output]") || shows("[file-clash]"), refused) << checked.err;
    if (refused) {
      EXPECT_TRUE(shows(c.refusedAs.c_str())) << checked.err;
    }
    // Nothing else is wrong with these runs.
    EXPECT_EQ(checked.status, refused ? 1 : 0) << checked.err;
    EXPECT_EQ(run.status, refused ? 1 : 0) << run.err;
    // Whatever the run made of it, the CSV is as it was.
    EXPECT_EQ(Read(fs::path(c.name) / "out" / c.csv), "ID,en\r\nHELLO,Hello\r\n");
    ++compared;
  }
  EXPECT_GE(compared, 20);
}

}  // namespace
}  // namespace quillex
