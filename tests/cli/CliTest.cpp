// pelcrow-cli as a user runs it: in process for the outputs, and the real binary once.
#include <gtest/gtest.h>

#include <sstream>

#include "TestUtil.h"
#include "cli/Cli.h"
#include "settings/PcwSettings.h"

namespace pelcrow {
namespace {

using test::TTempDir;

struct TResult {
  int Code;
  std::string Out, Err;
};

TResult RunCliCapture(std::vector<std::string> args) {
  std::ostringstream out, err;
  int code = cli::RunCli(args, out, err);
  return {code, out.str(), err.str()};
}

TEST(CliTest, Crc32PrintsUpperCaseHexOrError) {
  TTempDir dir;
  std::string f = dir.Write("digits", "123456789");
  std::string e = dir.Write("empty", "");
  TResult r = RunCliCapture({"crc32", f, e, dir / "missing"});
  EXPECT_EQ(r.Code, 1);
  EXPECT_EQ(r.Out, "CBF43926  " + f + "\n00000000  " + e + "\nError  " + dir / "missing" + "\n");
  EXPECT_NE(r.Err.find("cannot read"), std::string::npos);
  EXPECT_EQ(RunCliCapture({"crc32", f}).Code, 0);
}

TEST(CliTest, ScanPrintsGroupsAsTextAndJson) {
  Settings = TPcwSettings();
  TTempDir dir;
  dir.Write("a/x.txt", "duplicate one");
  dir.Write("b/x.txt", "duplicate one");
  dir.Write("c/y.txt", "duplicate two!");
  dir.Write("c/z.txt", "duplicate two!");
  dir.Write("c/single.txt", "alone");
  TResult text = RunCliCapture({"scan", "--no-skip-temp", dir.path()});
  ASSERT_EQ(text.Code, 0) << text.Err;
  EXPECT_EQ(text.Out, dir / "a/x.txt" + "\n" + dir / "b/x.txt" + "\n\n" + dir / "c/y.txt" + "\n" + dir / "c/z.txt" + "\n");
  TResult json = RunCliCapture({"scan", "--no-skip-temp", "--format", "json", dir.path()});
  ASSERT_EQ(json.Code, 0);
  EXPECT_EQ(json.Out, "{\"groups\": [{\"group\": 1, \"size\": 13, \"files\": [\"" + dir / "a/x.txt" + "\", \"" +
                          dir / "b/x.txt" + "\"]}, {\"group\": 2, \"size\": 14, \"files\": [\"" + dir / "c/y.txt" +
                          "\", \"" + dir / "c/z.txt" +
                          "\"]}], \"summary\": {\"TotalFiles\": 5, \"OriginalFiles\": 2, \"OriginalSize\": 27, "
                          "\"DuplicateFiles\": 2, \"DuplicateSize\": 27}}\n");
}

struct TExitCase {
  std::vector<std::string> Args;
  int Code;
  const char* ErrText;
};

TEST(CliTest, ExitCodesAndMessages) {
  TTempDir dir;
  dir.Write("only", "x");
  std::string file = dir.Write("file", "y");
  for (const TExitCase& c : std::vector<TExitCase>{
           {{"scan", "--no-skip-temp", dir.path()}, 1, ""},
           {{"scan"}, 2, "no folder given"},
           {{"scan", dir / "nope"}, 2, "No such file or directory"},
           {{"scan", file}, 2, "not a folder"},
           {{"scan", "--format", "xml", dir.path()}, 2, "unknown format"},
           {{"scan", "--bogus", dir.path()}, 2, "unknown option"},
           {{"frobnicate"}, 2, "unknown command"},
           {{}, 2, "Usage"},
       }) {
    TResult r = RunCliCapture(c.Args);
    EXPECT_EQ(r.Code, c.Code) << (c.Args.empty() ? "" : c.Args[0]);
    EXPECT_NE(r.Err.find(c.ErrText), std::string::npos) << r.Err;
  }
  TResult help = RunCliCapture({"--help"});
  EXPECT_EQ(help.Code, 0);
  EXPECT_NE(help.Out.find("crc32 FILE"), std::string::npos);
}

TEST(CliTest, SaysWhichCheckTurnedEverythingAway) {
  Settings = TPcwSettings();
  TTempDir dir;
  dir.Write(".hidden/a.txt", "same");
  dir.Write(".hidden/b.txt", "same");
  dir.Write("plain/a.txt", "same");
  dir.Write("plain/b.txt", "same");
  TResult folder = RunCliCapture({"scan", "--no-skip-temp", dir / ".hidden"});
  EXPECT_EQ(folder.Code, 1);
  EXPECT_NE(folder.Err.find("was skipped by the Include Hidden objects check (--include-hidden scans it)"),
            std::string::npos) << folder.Err;
  EXPECT_EQ(RunCliCapture({"scan", "--no-skip-temp", "--include-hidden", dir / ".hidden"}).Code, 0);
  TResult files = RunCliCapture({"scan", "--no-skip-temp", "--include-mask", "*.jpg", dir / "plain"});
  EXPECT_EQ(files.Code, 1);
  EXPECT_NE(files.Err.find("examined 2 files but accepted none"), std::string::npos) << files.Err;
  EXPECT_NE(files.Err.find("2 rejected by the Include masks check"), std::string::npos) << files.Err;
}

TEST(CliTest, JsonKeepsUndecodableBytesRecoverable) {
  EXPECT_EQ(cli::JsonString("a\"b\\c\n"), "\"a\\\"b\\\\c\\n\"");
  EXPECT_EQ(cli::JsonString("\xC3\xA4"), "\"\xC3\xA4\"");
  EXPECT_EQ(cli::JsonString("x\xFFy"), "\"x\\udcffy\"");
  EXPECT_EQ(cli::JsonString("\xED\xA0\x80"), "\"\\udced\\udca0\\udc80\"");  // an encoded surrogate is not UTF-8
}

TEST(CliTest, RealBinaryScansAFolderWithAnUndecodableName) {
  TTempDir dir;
  dir.Write("n\xFF.txt", "same");
  dir.Write("m.txt", "same");
  std::string cmd = std::string(PELCROW_CLI_PATH) + " scan --no-skip-temp --format json '" + dir.path() + "'";
  FILE* p = ::popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string out;
  char buf[4096];
  while (std::size_t n = std::fread(buf, 1, sizeof buf, p)) out.append(buf, n);
  int status = ::pclose(p);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_NE(out.find("n\\udcff.txt"), std::string::npos) << out;
}

}  // namespace
}  // namespace pelcrow
