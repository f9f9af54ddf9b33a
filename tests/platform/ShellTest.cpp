#include "platform/Shell.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "TestUtil.h"
#include "platform/ProcessLauncher.h"

namespace pelcrow::platform {
namespace {

namespace fs = std::filesystem;
using TArgv = std::vector<std::string>;

// Records what would be started and answers the session-bus questions from its lists.
class TFakeLauncher final : public IProcessLauncher {
 public:
  std::set<std::string> Programs{"xdg-open", "gio", "gdbus"};
  bool BusRunning = true;
  std::set<std::string> OwnedNames, ActivatableNames;
  std::vector<TArgv> Started, Ran;

  bool HasProgram(const std::string& name) override { return Programs.count(name) != 0; }
  bool Start(const TArgv& argv) override {
    Started.push_back(argv);
    return true;
  }
  // Programs in Failing start but end at once with status 1.
  std::set<std::string> Failing;
  bool StartChecked(const TArgv& argv, int, TLaunchFailure& failure) override {
    if (!HasProgram(argv[0])) {
      failure = {TLaunchFailure::lfNotFound, argv[0], 0};
      return false;
    }
    Started.push_back(argv);
    if (!Failing.count(argv[0])) return true;
    failure = {TLaunchFailure::lfExitStatus, argv[0], 1};
    return false;
  }
  int Run(const TArgv& argv, std::string& output, int) override {
    Ran.push_back(argv);
    output.clear();
    if (!BusRunning || argv.size() < 9 || argv[0] != "gdbus") return 1;
    if (argv[8] == "org.freedesktop.DBus.NameHasOwner" && argv.size() == 10) {
      bool owned = false;
      for (const std::string& n : OwnedNames) owned = owned || argv[9] == "'" + n + "'";
      output = owned ? "(true,)\n" : "(false,)\n";
      return 0;
    }
    if (argv[8] == "org.freedesktop.DBus.ListActivatableNames" && argv.size() == 9) {
      output = "(['org.freedesktop.DBus'";
      for (const std::string& n : ActivatableNames) output += ", '" + n + "'";
      output += "],)\n";
      return 0;
    }
    return 1;
  }
};

class ShellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fRoot = fs::canonical(fDir.path()).string();
    SetProcessLauncher(&fLauncher);
  }
  void TearDown() override { SetProcessLauncher(nullptr); }

  static TArgv Bus(const std::string& dest, const std::string& path, const std::string& method,
                   const TArgv& args) {
    TArgv argv{"gdbus", "call", "--session", "--dest", dest, "--object-path", path, "--method", method};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
  }
  static TArgv FileManager(const std::string& method, const std::string& uri) {
    return Bus("org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
               "org.freedesktop.FileManager1." + method, {"['" + uri + "']", "''"});
  }

  test::TTempDir fDir;
  std::string fRoot;
  TFakeLauncher fLauncher;
};

constexpr const char* kFileManager = "org.freedesktop.FileManager1";
constexpr const char* kPortal = "org.freedesktop.portal.Desktop";

TEST_F(ShellTest, OpenersPassThePathAsOneArgument) {
  // A name that a shell would split, expand and run.
  const std::string name = "a b;$(touch x)`id`'\"\\ %.txt";
  const std::string file = fDir.Write(name, "x");
  const std::string uriName = "a%20b%3B%24%28touch%20x%29%60id%60%27%22%5C%20%25.txt";
  const std::string fileUri = "file://" + fRoot + "/" + uriName;

  struct TCase {
    const char* Name;
    bool (*Call)(const std::string&);
    std::string Argument;
    std::set<std::string> Owned, Activatable, Programs;
    bool Result;
    std::vector<TArgv> Started;
  };
  const std::set<std::string> all{"xdg-open", "gio", "gdbus"};
  const std::vector<TCase> cases = {
      {"OpenFile", OpenFile, file, {}, {}, all, true, {{"xdg-open", file}}},
      {"OpenFile with gio only", OpenFile, file, {}, {}, {"gio"}, true, {{"gio", "open", file}}},
      {"OpenFile without openers", OpenFile, file, {}, {}, {"gdbus"}, false, {}},
      {"OpenFile of a missing file", OpenFile, fRoot + "/missing", {}, {}, all, false, {}},
      {"OpenDocument of a file", OpenDocument, file, {}, {}, all, true, {{"xdg-open", file}}},
      {"OpenDocument of an address", OpenDocument, "https://example.org/a?b=1&c=2#d", {}, {}, all, true,
       {{"xdg-open", "https://example.org/a?b=1&c=2#d"}}},
      {"OpenDocument of mail", OpenDocument, "mailto:ann@example.org", {}, {}, all, true,
       {{"xdg-open", "mailto:ann@example.org"}}},
      {"OpenDocument of an option", OpenDocument, "--help", {}, {}, all, false, {}},
      {"OpenFolderInExplorer, file manager running", OpenFolderInExplorer, fRoot, {kFileManager}, {}, all, true,
       {FileManager("ShowFolders", "file://" + fRoot)}},
      {"OpenFolderInExplorer, file manager startable", OpenFolderInExplorer, fRoot, {}, {kFileManager}, all, true,
       {FileManager("ShowFolders", "file://" + fRoot)}},
      {"OpenFolderInExplorer without file manager", OpenFolderInExplorer, fRoot, {}, {}, all, true,
       {{"xdg-open", fRoot}}},
      {"OpenFolderInExplorer of a missing folder", OpenFolderInExplorer, fRoot + "/gone", {kFileManager}, {}, all,
       false, {}},
      {"ShowFileProperties", ShowFileProperties, file, {kFileManager}, {}, all, true,
       {FileManager("ShowItemProperties", fileUri)}},
      {"ShowFileProperties without file manager", ShowFileProperties, file, {kPortal}, {}, all, false, {}},
      {"OpenWith", OpenWith, file, {kPortal}, {}, all, true,
       {Bus(kPortal, "/org/freedesktop/portal/desktop", "org.freedesktop.portal.OpenURI.OpenURI",
            {"''", "'" + fileUri + "'", "{'ask': <true>}"})}},
      {"OpenWith without portal", OpenWith, file, {kFileManager}, {}, all, false, {}},
      {"OpenWith without gdbus", OpenWith, file, {kPortal}, {}, {"xdg-open"}, false, {}},
  };
  for (const TCase& c : cases) {
    fLauncher.Started.clear();
    fLauncher.OwnedNames = c.Owned;
    fLauncher.ActivatableNames = c.Activatable;
    fLauncher.Programs = c.Programs;
    EXPECT_EQ(c.Call(c.Argument), c.Result) << c.Name;
    EXPECT_EQ(fLauncher.Started, c.Started) << c.Name;
  }
}

// A helper that fails at once is a failure with its reason; a refused file-manager call falls
// back to the default handler.
TEST_F(ShellTest, FailuresCarryTheirReason) {
  const std::string file = fDir.Write("f.txt", "x");
  using TCall = bool (*)(const std::string&, TLaunchFailure&);
  struct TCase {
    const char* Name;
    TCall Call;
    std::string Argument;
    std::set<std::string> Programs, Failing;
    bool Result;
    std::vector<TArgv> Started;
    TLaunchFailure::TKind Kind;
    std::string Program;
  };
  const std::set<std::string> all{"xdg-open", "gio", "gdbus"};
  const TArgv showFolder = FileManager("ShowFolders", "file://" + fRoot);
  const std::vector<TCase> cases = {
      {"folder, bus call refused", OpenFolderInExplorer, fRoot, all, {"gdbus"}, true,
       {showFolder, {"xdg-open", fRoot}}, TLaunchFailure::lfNone, ""},
      {"folder, bus call and handler fail", OpenFolderInExplorer, fRoot, all, {"gdbus", "xdg-open"}, false,
       {showFolder, {"xdg-open", fRoot}}, TLaunchFailure::lfExitStatus, "xdg-open"},
      {"folder gone", OpenFolderInExplorer, fRoot + "/gone", all, {}, false, {}, TLaunchFailure::lfMissing, ""},
      {"file without handler", OpenFile, file, {"gio"}, {"gio"}, false, {{"gio", "open", file}},
       TLaunchFailure::lfExitStatus, "gio"},
      {"file without openers", OpenFile, file, {"gdbus"}, {}, false, {}, TLaunchFailure::lfNoOpener, ""},
      {"properties refused", ShowFileProperties, file, all, {"gdbus"}, false,
       {FileManager("ShowItemProperties", "file://" + file)}, TLaunchFailure::lfExitStatus, "gdbus"},
  };
  fLauncher.OwnedNames = {kFileManager};
  for (const TCase& c : cases) {
    fLauncher.Started.clear();
    fLauncher.Programs = c.Programs;
    fLauncher.Failing = c.Failing;
    TLaunchFailure failure;
    EXPECT_EQ(c.Call(c.Argument, failure), c.Result) << c.Name;
    EXPECT_EQ(fLauncher.Started, c.Started) << c.Name;
    EXPECT_EQ(failure.Kind, c.Kind) << c.Name;
    EXPECT_EQ(failure.Program, c.Program) << c.Name;
  }
  // A user's program gets the absolute path, and one that is not installed is named.
  fLauncher.Started.clear();
  fLauncher.Programs = {"gimp"};
  TLaunchFailure failure;
  EXPECT_TRUE(OpenWithProgram("gimp", file, failure));
  EXPECT_EQ(fLauncher.Started, (std::vector<TArgv>{{"gimp", file}}));
  EXPECT_FALSE(OpenWithProgram("nope", file, failure));
  EXPECT_EQ(failure.Kind, TLaunchFailure::lfNotFound);
  EXPECT_EQ(failure.Program, "nope");
}

TEST_F(ShellTest, RelativePathsBecomeAbsolute) {
  fDir.Write("-n", "option-like name");
  const std::string cwd = fs::current_path().string();
  fs::current_path(fRoot);
  const bool opened = OpenFile("-n");
  fs::current_path(cwd);
  EXPECT_TRUE(opened);
  EXPECT_EQ(fLauncher.Started, (std::vector<TArgv>{{"xdg-open", fRoot + "/-n"}}));
}

TEST_F(ShellTest, BusQuestions) {
  fLauncher.OwnedNames = {"a.b"};
  fLauncher.ActivatableNames = {"c.d"};
  EXPECT_TRUE(SessionBusHasName("a.b"));
  EXPECT_TRUE(SessionBusHasName("c.d"));
  EXPECT_FALSE(SessionBusHasName("e.f"));
  EXPECT_FALSE(SessionBusHasName("a"));  // a prefix of a listed name is not that name
  ASSERT_FALSE(fLauncher.Ran.empty());
  EXPECT_EQ(fLauncher.Ran.front(),
            Bus("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner", {"'a.b'"}));
  fLauncher.BusRunning = false;
  EXPECT_FALSE(SessionBusHasName("a.b"));
}

TEST_F(ShellTest, RecycleBinInTheFileManagerOrAsAFolder) {
  fLauncher.OwnedNames = {kFileManager};
  EXPECT_TRUE(OpenRecycleBin());
  EXPECT_EQ(fLauncher.Started, (std::vector<TArgv>{FileManager("ShowFolders", "trash:///")}));

  // Without a file manager: the home trash's files folder, made if the account has none yet.
  const char* old = std::getenv("XDG_DATA_HOME");
  const std::optional<std::string> saved = old ? std::optional<std::string>(old) : std::nullopt;
  ::setenv("XDG_DATA_HOME", (fRoot + "/data").c_str(), 1);
  fLauncher.OwnedNames.clear();
  fLauncher.Started.clear();
  const bool opened = OpenRecycleBin();
  if (saved) {
    ::setenv("XDG_DATA_HOME", saved->c_str(), 1);
  } else {
    ::unsetenv("XDG_DATA_HOME");
  }
  EXPECT_TRUE(opened);
  EXPECT_EQ(fLauncher.Started, (std::vector<TArgv>{{"xdg-open", fRoot + "/data/Trash/files"}}));
  EXPECT_TRUE(fs::is_directory(fRoot + "/data/Trash/files"));
}

// The real launcher: arguments arrive byte for byte, nothing goes through a shell.
class ProcessLauncherTest : public ::testing::Test {
 protected:
  test::TTempDir fDir;
  TProcessLauncher fLauncher;
};

// A program that fails within the wait is a failure with its status; one still running counts as
// started.
TEST_F(ProcessLauncherTest, StartCheckedReportsEarlyFailures) {
  const std::string badInterpreter = fDir.Write("bad", "#!/pelcrow/no/such/interpreter\n");
  fs::permissions(badInterpreter, fs::perms::owner_all);
  struct TCase {
    const char* Name;
    TArgv Argv;
    bool Result;
    TLaunchFailure::TKind Kind;
    int Code;
  };
  const std::vector<TCase> cases = {
      {"exits 0", {"true"}, true, TLaunchFailure::lfNone, 0},
      {"exits 3", {"sh", "-c", "exit 3"}, false, TLaunchFailure::lfExitStatus, 3},
      {"killed", {"sh", "-c", "kill -9 $$"}, false, TLaunchFailure::lfSignal, 9},
      {"not installed", {"no-such-program-pelcrow"}, false, TLaunchFailure::lfNotFound, 0},
      {"exec fails", {badInterpreter}, false, TLaunchFailure::lfCannotStart, ENOENT},
      {"still running", {"sleep", "5"}, true, TLaunchFailure::lfNone, 0},
  };
  for (const TCase& c : cases) {
    TLaunchFailure failure;
    EXPECT_EQ(fLauncher.StartChecked(c.Argv, 300, failure), c.Result) << c.Name;
    EXPECT_EQ(failure.Kind, c.Kind) << c.Name;
    EXPECT_EQ(failure.Code, c.Code) << c.Name;
  }
}

TEST_F(ProcessLauncherTest, RunPassesArgumentsVerbatimAndReportsTheStatus) {
  std::string out;
  EXPECT_EQ(fLauncher.Run({"printf", "%s|%s|%s", "a b", "$(echo no)", "*"}, out, 10000), 0);
  EXPECT_EQ(out, "a b|$(echo no)|*");
  EXPECT_EQ(fLauncher.Run({"sh", "-c", "exit 3"}, out, 10000), 3);
  EXPECT_EQ(fLauncher.Run({"sh", "-c", "kill -9 $$"}, out, 10000), -1);
  EXPECT_EQ(fLauncher.Run({"no-such-program-pelcrow"}, out, 10000), -1);
  EXPECT_EQ(fLauncher.Run({}, out, 10000), -1);
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(fLauncher.Run({"sleep", "10"}, out, 200), -1);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
  EXPECT_EQ(fLauncher.Run({"cat"}, out, 10000), 0);  // standard input is empty, not ours
  EXPECT_EQ(out, "");
}

TEST_F(ProcessLauncherTest, StartDetachesAndTakesNamesAsTheyAre) {
  const std::string name = "a b;$(touch pwned)`touch pwned2`'\"\\";
  const std::string target = fDir / name;
  ASSERT_TRUE(fLauncher.Start({"touch", target}));
  for (int i = 0; i < 500 && !fs::exists(target); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_TRUE(fs::exists(target));
  EXPECT_FALSE(fs::exists(fDir / "pwned"));
  EXPECT_FALSE(fs::exists("pwned"));
  EXPECT_FALSE(fs::exists("pwned2"));
  EXPECT_FALSE(fLauncher.Start({"no-such-program-pelcrow"}));
  EXPECT_FALSE(fLauncher.Start({}));
  // Found but not startable: the exec failure comes back as false.
  const std::string notProgram = fDir.Write("not-a-program", "\x7f" "ELF garbage");
  fs::permissions(notProgram, fs::perms::owner_all);
  EXPECT_FALSE(fLauncher.Start({notProgram}));
}

TEST_F(ProcessLauncherTest, FindsProgramsInPath) {
  EXPECT_FALSE(FindProgram("sh").empty());
  EXPECT_EQ(FindProgram("/bin/sh"), "/bin/sh");
  EXPECT_EQ(FindProgram(""), "");
  EXPECT_EQ(FindProgram("no-such-program-pelcrow"), "");
  EXPECT_EQ(FindProgram(fDir / "nothing"), "");
  const std::string plain = fDir.Write("plain", "x");
  EXPECT_EQ(FindProgram(plain), "");  // not executable
  EXPECT_TRUE(fLauncher.HasProgram("sh"));
}

}  // namespace
}  // namespace pelcrow::platform
