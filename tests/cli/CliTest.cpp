// pelcrow-cli as a user runs it: in process for the outputs, and the real binary once.
#include <gtest/gtest.h>

#include <utime.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <sstream>

#include "TestUtil.h"
#include "cli/Cli.h"
#include "engine/IgnoreList.h"
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

// --similar-names in the name mode: names alike by their words meet; a bad threshold is refused.
TEST(CliTest, SimilarNamesAndTagOptions) {
  Settings = TPcwSettings();
  TTempDir dir;
  dir.Write("a/Rhapsody (Remastered).mp3", "one");
  dir.Write("b/Rapsody.mp3", "two");
  dir.Write("c/Other.mp3", "three");
  TResult exact = RunCliCapture({"scan", "--no-skip-temp", "--mode", "name", dir.path()});
  EXPECT_EQ(exact.Code, 1) << exact.Out;
  TResult similar = RunCliCapture({"scan", "--no-skip-temp", "--mode", "name", "--similar-names", dir.path()});
  ASSERT_EQ(similar.Code, 0) << similar.Err;
  EXPECT_EQ(similar.Out, dir / "a/Rhapsody (Remastered).mp3" + "\n" + dir / "b/Rapsody.mp3" + "\n");
  TResult strict = RunCliCapture({"scan", "--no-skip-temp", "--mode", "name", "--similar-names=95", dir.path()});
  EXPECT_EQ(strict.Code, 1) << strict.Out;
  for (const std::vector<std::string>& bad :
       {std::vector<std::string>{"scan", "--similar-names=0", dir.path()}, {"scan", "--similar-names=x", dir.path()},
        {"scan", "--tags", "title,colour", dir.path()}, {"scan", "--tags", "", dir.path()}}) {
    TResult r = RunCliCapture(bad);
    EXPECT_EQ(r.Code, 2) << bad[1];
  }
  TResult tags = RunCliCapture({"scan", "--no-skip-temp", "--mode", "music", "--tags", "title,album", dir.path()});
  EXPECT_NE(tags.Code, 2) << tags.Err;
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
           {{"scan", "--select", "largest", dir.path()}, 2, "unknown selection rule \"largest\""},
           {{"scan", dir.path(), "--select"}, 2, "--select needs a rule"},
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
  EXPECT_NE(help.Out.find("--select oldest|newest|original"), std::string::npos);
}

// Two groups: x.txt (the copy in b/ is older) and report.txt with an older "report - Copy.txt".
class CliSelectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Settings = TPcwSettings();
    fDir.Write("a/x.txt", "same x");
    Age(fDir.Write("b/x.txt", "same x"), 48);
    fDir.Write("a/report.txt", "same report");
    Age(fDir.Write("b/report - Copy.txt", "same report"), 24);
  }
  static void Age(const std::string& path, int hours) {
    namespace fs = std::filesystem;
    fs::last_write_time(path, fs::last_write_time(path) - std::chrono::hours(hours));
  }
  TResult Scan(std::vector<std::string> extra) {
    std::vector<std::string> args{"scan", "--no-skip-temp"};
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back(fDir / "a");
    args.push_back(fDir / "b");
    return RunCliCapture(args);
  }
  TTempDir fDir;
};

// The lines of an output, sorted (groups come in the engine's order).
std::vector<std::string> SortedLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  std::sort(lines.begin(), lines.end());
  return lines;
}

// A --log folder that cannot be written switches the run's log off; the user's own settings file
// (logging, auto-delete, everything else) is left as it was.
TEST_F(CliSelectTest, FailedLogNeverRewritesTheSettingsFile) {
  test::TScopedEnv config("XDG_CONFIG_HOME", fDir / "config");
  Settings = TPcwSettings();
  const std::string file = Settings.GetSettingsFile();
  const std::string stored = "[Logging]\nEnable=1\nAutoDelete=9\n";
  fDir.Write(std::filesystem::path(file).lexically_relative(fDir.path()).string(), stored);
  fDir.Write("plain-file", "x");
  const TResult r = Scan({"--log", fDir / "plain-file/logs"});
  EXPECT_EQ(r.Code, 0) << r.Err;
  EXPECT_EQ(test::ReadAll(file), stored);
}

// --action works on what --select chose; the dry run names the same files and touches nothing.
TEST_F(CliSelectTest, ActionsDryRunThenTrash) {
  namespace fs = std::filesystem;
  fs::create_directories(fDir / "home/data");
  test::TScopedEnv home("HOME", fDir / "home");
  test::TScopedEnv data("XDG_DATA_HOME", fDir / "home/data");
  const std::string trash = fDir / "home/data/Trash";

  TResult dry = Scan({"--select", "oldest", "--action", "trash", "--dry-run"});
  EXPECT_EQ(dry.Code, 0) << dry.Err;
  EXPECT_EQ(SortedLines(dry.Out),
            (std::vector<std::string>{"would trash " + fDir / "a/report.txt", "would trash " + fDir / "a/x.txt"}));
  for (const char* f : {"a/x.txt", "b/x.txt", "a/report.txt", "b/report - Copy.txt"})
    EXPECT_TRUE(fs::exists(fDir / f)) << f;
  EXPECT_FALSE(fs::exists(trash));

  TResult done = Scan({"--select", "oldest", "--action", "trash"});
  EXPECT_EQ(done.Code, 0) << done.Err;
  EXPECT_EQ(SortedLines(done.Out),
            (std::vector<std::string>{"trashed " + fDir / "a/report.txt", "trashed " + fDir / "a/x.txt"}));
  EXPECT_FALSE(fs::exists(fDir / "a/x.txt"));
  EXPECT_FALSE(fs::exists(fDir / "a/report.txt"));
  EXPECT_EQ(test::ReadAll(fDir / "b/x.txt"), "same x");
  EXPECT_EQ(test::ReadAll(fDir / "b/report - Copy.txt"), "same report");
  EXPECT_EQ(test::FolderEntries(trash + "/files"), (std::vector<std::string>{"report.txt", "x.txt"}));
  EXPECT_EQ(test::FolderEntries(trash + "/info"), (std::vector<std::string>{"report.txt.trashinfo", "x.txt.trashinfo"}));
}

TEST_F(CliSelectTest, ActionFailuresExitWithThree) {
  fDir.Write("a/_x.txt", "in the way");  // the name a prefix rename of a/x.txt wants
  TResult r = Scan({"--select", "oldest", "--action", "rename", "_"});
  EXPECT_EQ(r.Code, 3);
  EXPECT_EQ(SortedLines(r.Out), (std::vector<std::string>{"failed " + fDir / "a/x.txt" + ": File exists",
                                                          "renamed " + fDir / "a/report.txt" + " -> " +
                                                              fDir / "a/_report.txt"}));
  EXPECT_NE(r.Err.find("1 of 2 files were not renamed."), std::string::npos) << r.Err;
  EXPECT_EQ(test::ReadAll(fDir / "a/x.txt"), "same x");
  EXPECT_EQ(test::ReadAll(fDir / "a/_x.txt"), "in the way");

  for (const TExitCase& c : std::vector<TExitCase>{
           {{"scan", "--action", "trash", fDir.path()}, 2, "--action needs --select"},
           {{"scan", "--select", "oldest", "--action", "shred", fDir.path()}, 2, "unknown action \"shred\""},
           {{"scan", "--dry-run", fDir.path()}, 2, "go with --action"},
           {{"scan", "--export", fDir / "list.pdf", fDir.path()}, 2, "--export needs a file ending"},
       }) {
    TResult bad = RunCliCapture(c.Args);
    EXPECT_EQ(bad.Code, c.Code);
    EXPECT_NE(bad.Err.find(c.ErrText), std::string::npos) << bad.Err;
  }
}

TEST_F(CliSelectTest, ExportWritesTheFormatOfTheExtension) {
  TResult r = Scan({"--export", fDir / "list.csv"});
  EXPECT_EQ(r.Code, 0) << r.Err;
  const std::string csv = test::ReadAll(fDir / "list.csv");
  EXPECT_NE(csv.find("\"File Name\",\"Path\",\"Dup. Group\",\"Size\",\"Modified\"\r\n"), std::string::npos) << csv;
  EXPECT_NE(csv.find(fDir / "b"), std::string::npos);
  ASSERT_EQ(Scan({"--save", fDir / "l.dup"}).Code, 0);
  r = RunCliCapture({"load", "--export", fDir / "list.html", fDir / "l.dup"});
  EXPECT_EQ(r.Code, 0) << r.Err;
  EXPECT_NE(test::ReadAll(fDir / "list.html").find("<TABLE class=\"duplist\""), std::string::npos);
}

struct TSelectCase {
  const char* Rule;
  const char* KeptX;
  const char* KeptReport;
};

TEST_F(CliSelectTest, TextMarksWhatEachRuleKeepsAndSelects) {
  for (const TSelectCase& c : std::vector<TSelectCase>{
           {"oldest", "b/x.txt", "b/report - Copy.txt"},
           {"newest", "a/x.txt", "a/report.txt"},
           {"original", "b/x.txt", "a/report.txt"},  // equal names: the older; else the shorter name
       }) {
    TResult r = Scan({"--select", c.Rule});
    ASSERT_EQ(r.Code, 0) << r.Err;
    for (const std::string f : {"a/x.txt", "b/x.txt", "a/report.txt", "b/report - Copy.txt"}) {
      const bool kept = f == c.KeptX || f == c.KeptReport;
      EXPECT_NE(r.Out.find((kept ? "keep   " : "select ") + fDir / f + "\n"), std::string::npos)
          << c.Rule << " " << f << "\n" << r.Out;
    }
    // In each group the kept copy comes first.
    EXPECT_EQ(r.Out.rfind("keep   ", 0), 0u) << r.Out;
    EXPECT_NE(r.Out.find("\n\nkeep   "), std::string::npos) << r.Out;
  }
}

TEST_F(CliSelectTest, CsvAndJsonCarryTheAction) {
  TResult csv = Scan({"--select", "newest", "--format", "csv"});
  ASSERT_EQ(csv.Code, 0) << csv.Err;
  EXPECT_EQ(csv.Out.rfind("Group,Size,Path,Action\r\n", 0), 0u) << csv.Out;
  EXPECT_NE(csv.Out.find("," + fDir / "a/x.txt" + ",keep\r\n"), std::string::npos) << csv.Out;
  EXPECT_NE(csv.Out.find("," + fDir / "b/report - Copy.txt" + ",select\r\n"), std::string::npos) << csv.Out;

  TResult json = Scan({"--select", "newest", "--format", "json"});
  ASSERT_EQ(json.Code, 0) << json.Err;
  EXPECT_NE(json.Out.find("\"keep\": [\"" + fDir / "a/x.txt" + "\"], \"select\": [\"" + fDir / "b/x.txt" + "\"]"),
            std::string::npos) << json.Out;
  EXPECT_NE(json.Out.find("\"SelectedFiles\": 2, \"SelectedSize\": 17}}"), std::string::npos) << json.Out;

  // Without a rule the formats stay as they were.
  EXPECT_EQ(Scan({"--format", "csv"}).Out.rfind("Group,Size,Path\r\n", 0), 0u);
  EXPECT_EQ(Scan({"--format", "json"}).Out.find("\"keep\""), std::string::npos);
}

TEST_F(CliSelectTest, MasterFileIsNeverSelected) {
  // The master copy is the newest of its group: keeping the oldest would select it.
  fDir.Write("m/x.txt", "same x");
  TResult r = Scan({"--select", "oldest", "--master", fDir / "m"});
  ASSERT_EQ(r.Code, 0) << r.Err;
  EXPECT_NE(r.Out.find("keep   " + fDir / "m/x.txt" + "\n"), std::string::npos) << r.Out;
  EXPECT_NE(r.Err.find("--select oldest stopped at the master file " + fDir / "m/x.txt"), std::string::npos) << r.Err;
  // Kept as the oldest, the master needs no question and the rule runs to the end.
  Age(fDir / "m/x.txt", 72);
  r = Scan({"--select", "oldest", "--master", fDir / "m"});
  EXPECT_NE(r.Out.find("keep   " + fDir / "m/x.txt" + "\n"), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("select " + fDir / "b/x.txt" + "\n"), std::string::npos) << r.Out;
  EXPECT_EQ(r.Err.find("stopped"), std::string::npos) << r.Err;
}

// The user's ignore list is honoured unless --no-ignore-list; --ignore-list names another one.
TEST_F(CliSelectTest, IgnoreListKeepsPairsAndFilesOut) {
  test::TScopedEnv data("XDG_DATA_HOME", fDir / "data");
  TIgnoreList own;
  own.AddPair(fDir / "a/x.txt", fDir / "b/x.txt");
  ASSERT_EQ(own.Save(fDir / "data/pelcrow/ignore-list"), 0);
  TIgnoreList other;
  other.AddFile(fDir / "b/report - Copy.txt");
  ASSERT_EQ(other.Save(fDir / "other-list"), 0);
  const std::string x = fDir / "a/x.txt" + "\n" + fDir / "b/x.txt" + "\n";
  const std::string report = fDir / "a/report.txt" + "\n" + fDir / "b/report - Copy.txt" + "\n";
  TResult r = Scan({});
  ASSERT_EQ(r.Code, 0) << r.Err;
  EXPECT_EQ(r.Out, report);
  r = Scan({"--no-ignore-list"});
  EXPECT_EQ(SortedLines(r.Out), SortedLines(x + "\n" + report));
  r = Scan({"--ignore-list", fDir / "other-list"});
  EXPECT_EQ(r.Out, x);
  r = Scan({"--ignore-list", fDir / "missing"});
  EXPECT_EQ(r.Code, 2);
  EXPECT_NE(r.Err.find("cannot read the ignore list " + fDir / "missing"), std::string::npos) << r.Err;
}

TEST_F(CliSelectTest, ReferenceFileIsNeverSelected) {
  // The reference copy is the newest: keeping the oldest would select it, so both others go.
  fDir.Write("r/x.txt", "same x");
  fDir.Write("r/only.txt", "reference alone");
  fDir.Write("r/only2.txt", "reference alone");
  TResult r = Scan({"--select", "oldest", "--reference", fDir / "r", "--no-ignore-list"});
  ASSERT_EQ(r.Code, 0) << r.Err;
  EXPECT_NE(r.Out.find("keep   " + fDir / "r/x.txt" + "\n"), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("select " + fDir / "a/x.txt" + "\n"), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("select " + fDir / "b/x.txt" + "\n"), std::string::npos) << r.Out;
  EXPECT_EQ(r.Out.find("only"), std::string::npos) << r.Out;  // a group of references alone
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
  std::string cmd = std::string(test::CliPath()) + " scan --no-skip-temp --format json '" + dir.path() + "'";
  FILE* p = ::popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string out;
  char buf[4096];
  while (std::size_t n = std::fread(buf, 1, sizeof buf, p)) out.append(buf, n);
  int status = ::pclose(p);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_NE(out.find("n\\udcff.txt"), std::string::npos) << out;
}

// The text output as groups, each an unordered set of paths; the order of the groups is kept.
std::vector<std::set<std::string>> TextGroups(const std::string& out) {
  std::vector<std::set<std::string>> groups(1);
  std::size_t start = 0;
  while (start < out.size()) {
    std::size_t end = out.find('\n', start);
    if (end == std::string::npos) end = out.size();
    std::string line = out.substr(start, end - start);
    if (line.empty()) {
      groups.emplace_back();
    } else {
      groups.back().insert(line);
    }
    start = end + 1;
  }
  if (groups.back().empty()) groups.pop_back();
  return groups;
}

std::string RunBinary(const std::string& args, int& code) {
  std::string cmd = std::string(test::CliPath()) + " " + args + " 2>/dev/null";
  FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) {
    code = -1;
    return {};
  }
  std::string out;
  char buf[4096];
  while (std::size_t n = std::fread(buf, 1, sizeof buf, p)) out.append(buf, n);
  code = WEXITSTATUS(::pclose(p));
  return out;
}

TEST(CliTest, SavedListLoadsBackToTheSameGroups) {
  Settings = TPcwSettings();
  TTempDir dir;
  dir.Write("in/a/x[,]y.txt", "first content");
  dir.Write("in/b/x[,]y.txt", "first content");
  dir.Write("in/b/zweite Größe.txt", "second content!");
  dir.Write("in/c/второй.txt", "second content!");
  dir.Write("in/c/third", "third content, three copies");
  dir.Write("in/d/third", "third content, three copies");
  dir.Write("in/d/third2", "third content, three copies");
  dir.Write("in/single", "alone");
  const std::string list = dir / "out/list.dup";
  TResult scan = RunCliCapture({"scan", "--no-skip-temp", "--save", list, dir / "in"});
  ASSERT_EQ(scan.Code, 0) << scan.Err;
  ASSERT_EQ(TextGroups(scan.Out).size(), 3u);
  TResult load = RunCliCapture({"load", list});
  ASSERT_EQ(load.Code, 0) << load.Err;
  EXPECT_EQ(TextGroups(load.Out), TextGroups(scan.Out));

  // The dup format: the same bytes on standard output as in the saved file, and loadable.
  TResult dup = RunCliCapture({"scan", "--no-skip-temp", "--format", "dup", dir / "in"});
  ASSERT_EQ(dup.Code, 0);
  EXPECT_EQ(dup.Out, test::ReadAll(list));
  TResult dupToFile = RunCliCapture({"scan", "--no-skip-temp", "--format=dup", "--save", dir / "two.dup", dir / "in"});
  EXPECT_EQ(dupToFile.Code, 0);
  EXPECT_EQ(dupToFile.Out, "");
  EXPECT_EQ(test::ReadAll(dir / "two.dup"), dup.Out);

  // Every format of load reads the same list.
  TResult json = RunCliCapture({"load", "--format", "json", list});
  EXPECT_EQ(json.Code, 0);
  EXPECT_NE(json.Out.find("\"summary\": {\"TotalFiles\": 7, \"OriginalFiles\": 3"), std::string::npos) << json.Out;
  TResult csv = RunCliCapture({"load", "--format=csv", list});
  EXPECT_EQ(csv.Code, 0);
  EXPECT_NE(csv.Out.find("1,13,\"" + dir / "in/a/x[,]y.txt" + "\"\r\n"), std::string::npos) << csv.Out;
  // The search filter: name pattern and group text.
  const auto all = TextGroups(scan.Out);
  EXPECT_EQ(TextGroups(RunCliCapture({"load", "--groups", "3,,1-", list}).Out),
            (std::vector<std::set<std::string>>{all[0], all[2]}));
  EXPECT_EQ(TextGroups(RunCliCapture({"load", "--name=*.TXT", list}).Out),
            (std::vector<std::set<std::string>>{all[0], all[1]}));
  TResult none = RunCliCapture({"load", "--name", "third?", "--groups", "1-2", list});
  EXPECT_EQ(none.Code, 1);
  EXPECT_EQ(none.Out, "");
  TResult again = RunCliCapture({"load", "--format", "dup", list});
  EXPECT_EQ(TextGroups(RunCliCapture({"load", dir.Write("again.dup", again.Out)}).Out), TextGroups(scan.Out));
}

TEST(CliTest, LoadExitCodesAndMessages) {
  Settings = TPcwSettings();
  TTempDir dir;
  const std::string empty = dir.Write("empty.dup", "\xEF\xBB\xBF[Version 1]\r\n");
  const std::string wrong = dir.Write("wrong.dup", "[Version 9]\r\n");
  const std::string cut = dir.Write("cut.dup", "[Version 1]\r\na[,]/p[,][,]1[,]0[,]0[,]1/2/20");
  for (const TExitCase& c : std::vector<TExitCase>{
           {{"load", empty}, 1, ""},
           {{"load", wrong}, 2, "Duplicate list structure is not supported by current Pelcrow version."},
           {{"load", cut}, 2, "not supported"},
           {{"load", dir / "missing.dup"}, 2, "not supported"},
           {{"load", dir.path()}, 2, "not supported"},
           {{"load"}, 2, "no list file given"},
           {{"load", empty, wrong}, 2, "one list file at a time"},
           {{"load", "--format", "xml", empty}, 2, "unknown format"},
           {{"load", "--bogus", empty}, 2, "unknown option"},
           {{"load", "--groups", ",-", empty}, 2, "--groups needs a list"},
           {{"scan", "--save"}, 2, "--save needs a file"},
       }) {
    TResult r = RunCliCapture(c.Args);
    EXPECT_EQ(r.Code, c.Code) << c.Args.back();
    EXPECT_NE(r.Err.find(c.ErrText), std::string::npos) << r.Err;
    if (c.Code == 2) {
      EXPECT_EQ(r.Out, "");
    }
  }
  // A save that cannot be written fails the scan with the message.
  dir.Write("in/a", "same");
  dir.Write("in/b", "same");
  TResult r = RunCliCapture({"scan", "--no-skip-temp", "--save", empty + "/x.dup", dir / "in"});
  EXPECT_EQ(r.Code, 2);
  EXPECT_NE(r.Err.find("Failed to save Duplicate list."), std::string::npos) << r.Err;
}

TEST(CliTest, RealBinarySavesAndLoadsAList) {
  TTempDir dir;
  dir.Write("in/p\xFF.txt", "same bytes");
  dir.Write("in/q [,] r.txt", "same bytes");
  dir.Write("in/line\nbreak.txt", "same bytes");
  int code = -1;
  const std::string scanned = RunBinary("scan --no-skip-temp --save '" + dir / "l.dup" + "' '" + dir / "in" + "'", code);
  ASSERT_EQ(code, 0);
  const std::string loaded = RunBinary("load '" + dir / "l.dup" + "'", code);
  EXPECT_EQ(code, 0);
  EXPECT_EQ(TextGroups(loaded), TextGroups(scanned));
  // The name with a line break stays one line, escaped as ls --quoting-style=escape shows it.
  EXPECT_EQ(TextGroups(loaded).front().size(), 3u);
  EXPECT_NE(loaded.find("/in/line\\nbreak.txt\n"), std::string::npos) << loaded;
  // --null: the paths as they are, each record ended by a NUL byte.
  const std::string raw = RunBinary("load --null '" + dir / "l.dup" + "'", code);
  EXPECT_NE(raw.find("/in/line\nbreak.txt" + std::string(1, '\0')), std::string::npos);
}

}  // namespace
}  // namespace pelcrow

namespace pelcrow {
namespace {

using test::ReadAll;
using test::TTempDir;

// A shell command with the test's own home, trash and journal.
std::string InHome(const TTempDir& dir, const std::string& cmd) {
  return "HOME='" + dir / "home" + "' XDG_DATA_HOME='" + dir / "home/data" + "' XDG_STATE_HOME='" + dir / "home/state" +
         "' " + cmd;
}

int Shell(const std::string& cmd, std::string* out = nullptr) {
  FILE* p = ::popen((cmd + " 2>&1").c_str(), "r");
  if (!p) return -1;
  std::string text;
  char buf[4096];
  while (std::size_t n = std::fread(buf, 1, sizeof buf, p)) text.append(buf, n);
  if (out) *out = text;
  return WEXITSTATUS(::pclose(p));
}

TEST(CliTest, TrashThenUndoBringsEverythingBackAndTrashCliAgrees) {
  TTempDir dir;
  std::filesystem::create_directories(dir / "home/data");
  const std::string cli = test::CliPath();
  for (int i = 0; i < 5; ++i) {
    dir.Write("in/a/f" + std::to_string(i), "content " + std::to_string(i));
    dir.Write("in/b/f" + std::to_string(i), "content " + std::to_string(i));
    ASSERT_EQ(::utime((dir / "in/b/f" + std::to_string(i)).c_str(), nullptr), 0);
  }
  std::string out;
  ASSERT_EQ(Shell(InHome(dir, cli + " scan --no-skip-temp --select oldest --action trash '" + dir / "in" + "'"), &out), 0)
      << out;
  int trashed = 0;
  for (int i = 0; i < 5; ++i) trashed += !std::filesystem::exists(dir / "in/a/f" + std::to_string(i)) +
                                         !std::filesystem::exists(dir / "in/b/f" + std::to_string(i));
  EXPECT_EQ(trashed, 5);
  ASSERT_EQ(Shell(InHome(dir, cli + " undo"), &out), 0) << out;
  EXPECT_NE(out.find("restored "), std::string::npos) << out;
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(ReadAll(dir / "in/a/f" + std::to_string(i)), "content " + std::to_string(i));
    EXPECT_EQ(ReadAll(dir / "in/b/f" + std::to_string(i)), "content " + std::to_string(i));
  }
  EXPECT_EQ(Shell(InHome(dir, cli + " undo"), &out), 1);
  EXPECT_NE(out.find("nothing left to undo"), std::string::npos) << out;

  // What we trash, trash-cli restores; what it restored by hand, undo counts as back.
  if (Shell("command -v trash-restore >/dev/null") != 0) GTEST_SKIP() << "trash-cli is not installed";
  ASSERT_EQ(Shell(InHome(dir, cli + " scan --no-skip-temp --select oldest --action trash '" + dir / "in" + "'"), &out), 0);
  ASSERT_EQ(Shell(InHome(dir, "trash-list"), &out), 0);
  EXPECT_NE(out.find(dir / "in/"), std::string::npos) << out;
  const std::string gone = std::filesystem::exists(dir / "in/a/f0") ? dir / "in/b/f0" : dir / "in/a/f0";
  ASSERT_EQ(Shell("echo 0 | " + InHome(dir, "trash-restore '" + gone + "'"), &out), 0) << out;
  EXPECT_EQ(ReadAll(gone), "content 0") << out;
  ASSERT_EQ(Shell(InHome(dir, cli + " undo"), &out), 0) << out;
  for (int i = 0; i < 5; ++i) EXPECT_EQ(ReadAll(dir / "in/a/f" + std::to_string(i)), "content " + std::to_string(i));
}

// A permanent delete and a replacement by links, each undone from the journal by the command line.
TEST(CliTest, DeleteAndLinkAreUndoneFromTheJournal) {
  for (const char* action : {"delete", "link", "hardlink"}) {
    SCOPED_TRACE(action);
    TTempDir dir;
    std::filesystem::create_directories(dir / "home/data");
    const std::string cli = test::CliPath();
    dir.Write("in/a/f", "bytes of f");
    dir.Write("in/b/f", "bytes of f");
    ASSERT_EQ(::utime((dir / "in/b/f").c_str(), nullptr), 0);
    std::string out;
    ASSERT_EQ(Shell(InHome(dir, cli + " scan --no-skip-temp --select oldest --action " + action + " '" + dir / "in" + "'"), &out), 0)
        << out;
    if (std::string_view(action) == "hardlink") {
      EXPECT_NE(out.find("hard-linked " + dir / "in/b/f"), std::string::npos) << out;
      EXPECT_EQ(std::filesystem::hard_link_count(dir / "in/a/f"), 2u);
    }
    ASSERT_EQ(Shell(InHome(dir, cli + " undo"), &out), 0) << out;
    EXPECT_EQ(ReadAll(dir / "in/b/f"), "bytes of f");
    EXPECT_FALSE(std::filesystem::is_symlink(dir / "in/b/f"));
    EXPECT_EQ(std::filesystem::hard_link_count(dir / "in/b/f"), 1u);
    EXPECT_EQ(std::filesystem::hard_link_count(dir / "in/a/f"), 1u);
    EXPECT_EQ(Shell(InHome(dir, cli + " undo"), &out), 1) << out;
  }
}

// kill -9 in the middle of a move pass (to another file system, so that each file is copied):
// every file is at its source or whole at its target, and undo brings back every one.
TEST(CliTest, UndoAfterAKilledMovePass) {
  TTempDir dir;
  std::filesystem::create_directories(dir / "home/data");
  const std::string other = "/dev/shm/pelcrow-killed-move-" + std::to_string(::getpid());
  std::filesystem::remove_all(other);
  if (!std::filesystem::create_directories(other)) GTEST_SKIP() << "no /dev/shm here";
  const std::string cli = test::CliPath();
  const int n = 60;
  const std::string body(1 << 20, 'k');
  for (int i = 0; i < n; ++i) {
    dir.Write("in/a/f" + std::to_string(i), body + std::to_string(i));
    dir.Write("in/b/f" + std::to_string(i), body + std::to_string(i));
  }
  const std::string move =
      cli + " scan --no-skip-temp --select oldest --action move '" + other + "/out' '" + dir / "in" + "' >/dev/null";
  // Killed as soon as the first file stands at the target.
  std::string out;
  Shell(InHome(dir, "sh -c \"" + move + " & pid=\\$!; while kill -0 \\$pid 2>/dev/null && [ -z \\\"\\$(ls -A '" + other +
                        "/out' 2>/dev/null)\\\" ]; do sleep 0.005; done; kill -9 \\$pid; wait \\$pid\""),
        &out);
  std::string listed;
  Shell(InHome(dir, cli + " undo --list"), &listed);
  // Killed in the middle: something is to undo (files moved, or a copy published), not all.
  const std::size_t count = listed.find(" to undo");
  ASSERT_NE(count, std::string::npos) << listed;
  const int toUndo = std::stoi(listed.substr(listed.rfind(' ', count - 1) + 1));
  EXPECT_GE(toUndo, 1) << listed;
  EXPECT_LT(toUndo, n) << listed;
  EXPECT_EQ(Shell(InHome(dir, cli + " undo"), &out), 0) << out << listed;
  for (int i = 0; i < n; ++i) {
    const std::string want = body + std::to_string(i);
    EXPECT_EQ(ReadAll(dir / "in/a/f" + std::to_string(i)), want) << i << "\n" << listed;
    EXPECT_EQ(ReadAll(dir / "in/b/f" + std::to_string(i)), want) << i;
  }
  // No copy is left behind at the target.
  std::size_t left = 0;
  if (std::filesystem::exists(other + "/out"))
    for ([[maybe_unused]] const auto& e : std::filesystem::recursive_directory_iterator(other + "/out"))
      left += e.is_regular_file();
  EXPECT_EQ(left, 0u) << listed;
  std::filesystem::remove_all(other);
}

// --null belongs to the run that gives it: the next run in the same process escapes again.
TEST(CliTest, NullEndedOutputDoesNotOutliveItsRun) {
  Settings = TPcwSettings();
  TTempDir dir;
  dir.Write("a\nb.txt", "same");
  dir.Write("c.txt", "same");
  TResult raw = RunCliCapture({"scan", "--no-skip-temp", "--null", dir.path()});
  EXPECT_NE(raw.Out.find(dir / "a\nb.txt" + std::string(1, '\0')), std::string::npos) << raw.Out;
  TResult escaped = RunCliCapture({"scan", "--no-skip-temp", dir.path()});
  EXPECT_NE(escaped.Out.find(dir / "a\\nb.txt\n"), std::string::npos) << escaped.Out;
  EXPECT_EQ(escaped.Out.find('\0'), std::string::npos);
}

// The help is made from the option table: every scan switch with the default it really has, and
// every action --action takes.
TEST(CliTest, HelpShowsWhatTheParserTakes) {
  const std::string help = RunCliCapture({"--help"}).Out;
  for (const char* line : {"      skip-temp            skip temporary files and folders (on)\n",
                           "      include-hidden       include hidden files and folders (off)\n",
                           "      move DIR             move into DIR (created if missing)",
                           "  --threads N                   threads that read checksums"}) {
    EXPECT_NE(help.find(line), std::string::npos) << line;
  }
  Settings = TPcwSettings();
  TTempDir dir;
  for (const char* option : {"--include-hidden", "--no-skip-temp", "--skip-hard-links", "--no-exclude-container"})
    EXPECT_NE(RunCliCapture({"scan", option, dir / "missing"}).Err.find("cannot scan"), std::string::npos) << option;
}

}  // namespace
}  // namespace pelcrow
