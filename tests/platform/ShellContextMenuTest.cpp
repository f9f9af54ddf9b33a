// The folder entry of the file managers: what is written, where, with which rights, and that
// removing it leaves everything else as it was.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "TestUtil.h"
#include "platform/ProcessLauncher.h"
#include "platform/ShellContextMenu.h"
#include "platform/SpecialFolders.h"

namespace pelcrow::platform {
namespace {

using test::ReadAll;
using test::TScopedEnv;
using test::TTempDir;

// Records what would run; xdg-mime answers with a file manager.
class TRecordingLauncher final : public IProcessLauncher {
 public:
  bool HasProgram(const std::string& name) override { return name == "xdg-mime" || name == "update-desktop-database"; }
  bool Start(const std::vector<std::string>& argv) override {
    Calls.push_back(argv);
    return true;
  }
  int Run(const std::vector<std::string>& argv, std::string& output, int) override {
    Calls.push_back(argv);
    output = argv.size() > 1 && argv[1] == "query" ? "org.gnome.Nautilus.desktop\n" : "";
    return 0;
  }
  std::vector<std::vector<std::string>> Calls;
};

class ShellContextMenuTest : public ::testing::Test {
 protected:
  TTempDir fDir;
  TScopedEnv fHome{"HOME", fDir.path()};
  TScopedEnv fData{"XDG_DATA_HOME", fDir / "data"};
  TScopedEnv fConfig{"XDG_CONFIG_HOME", fDir / "config"};
  TRecordingLauncher fLauncher;
  void SetUp() override { SetProcessLauncher(&fLauncher); }
  void TearDown() override { SetProcessLauncher(nullptr); }
};

bool Executable(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && (st.st_mode & S_IXUSR);
}

TEST_F(ShellContextMenuTest, InstallWritesEveryEntryAndRemoveTakesThemAway) {
  const std::string exe = "/opt/my apps/pelcrow";
  ASSERT_FALSE(TPcwSpecialFolders::IsShellContextMenuInstalled());
  ASSERT_EQ(InstallShellContextMenu(exe), 0);
  const TContextMenuFiles f = GetContextMenuFiles();
  EXPECT_TRUE(TPcwSpecialFolders::IsShellContextMenuInstalled());

  const std::string desktop = ReadAll(f.DesktopEntry);
  EXPECT_NE(desktop.find("Type=Application\n"), std::string::npos);
  EXPECT_NE(desktop.find("Version=1.0\n"), std::string::npos);
  EXPECT_NE(desktop.find("MimeType=inode/directory;\n"), std::string::npos);
  EXPECT_NE(desktop.find("NoDisplay=true\n"), std::string::npos);
  EXPECT_NE(desktop.find("Exec=\"/opt/my apps/pelcrow\" %F\n"), std::string::npos);
  EXPECT_EQ(desktop.find("TryExec"), std::string::npos);

  EXPECT_TRUE(Executable(f.DolphinServiceMenu));
  EXPECT_NE(ReadAll(f.DolphinServiceMenu).find("Actions=scan;"), std::string::npos);
  EXPECT_TRUE(Executable(f.NautilusScript));
  EXPECT_EQ(ReadAll(f.NautilusScript), "#!/bin/sh\nexec '/opt/my apps/pelcrow' \"$@\"\n");
  EXPECT_NE(ReadAll(f.ThunarActions).find("<command>'/opt/my apps/pelcrow' %F</command>"), std::string::npos);

  // The current folder handler was pinned before our entry appeared, then the cache rebuilt.
  ASSERT_GE(fLauncher.Calls.size(), 3u);
  EXPECT_EQ(fLauncher.Calls[1],
            (std::vector<std::string>{"xdg-mime", "default", "org.gnome.Nautilus.desktop", "inode/directory"}));
  EXPECT_EQ(fLauncher.Calls[2].front(), "update-desktop-database");

  ASSERT_EQ(RemoveShellContextMenu(), 0);
  EXPECT_FALSE(TPcwSpecialFolders::IsShellContextMenuInstalled());
  EXPECT_FALSE(std::filesystem::exists(f.DolphinServiceMenu));
  EXPECT_FALSE(std::filesystem::exists(f.NautilusScript));
  EXPECT_EQ(ReadAll(f.ThunarActions).find("pelcrow"), std::string::npos);
  EXPECT_EQ(RemoveShellContextMenu(), 0);  // nothing left to remove is no error
}

TEST_F(ShellContextMenuTest, ThunarActionsOfOthersSurviveByteForByte) {
  const std::string others =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<actions>\n<action>\n\t<icon>utilities-terminal</icon>\n"
      "\t<name>Open Terminal Here</name>\n\t<unique-id>1-1</unique-id>\n\t<command>exo-open %f</command>\n"
      "\t<patterns>*</patterns>\n\t<directories/>\n</action>\n</actions>\n";
  fDir.Write("config/Thunar/uca.xml", others);
  ASSERT_EQ(InstallShellContextMenu("/usr/bin/pelcrow"), 0);
  ASSERT_EQ(InstallShellContextMenu("/usr/bin/pelcrow"), 0);  // again: still one action of ours
  const std::string merged = ReadAll(fDir / "config/Thunar/uca.xml");
  EXPECT_EQ(merged.find("pelcrow-scan"), merged.rfind("pelcrow-scan"));
  EXPECT_NE(merged.find("Open Terminal Here"), std::string::npos);
  ASSERT_EQ(RemoveShellContextMenu(), 0);
  EXPECT_EQ(ReadAll(fDir / "config/Thunar/uca.xml"), others);
}

TEST_F(ShellContextMenuTest, HelperCommandLine) {
  EXPECT_EQ(RunShellContextMenuHelper({"-e", "/usr/bin/pelcrow"}), 0);
  EXPECT_TRUE(TPcwSpecialFolders::IsShellContextMenuInstalled());
  EXPECT_EQ(RunShellContextMenuHelper({"-d"}), 0);
  EXPECT_FALSE(TPcwSpecialFolders::IsShellContextMenuInstalled());
  EXPECT_EQ(RunShellContextMenuHelper({"/home/ann/Pictures"}), -1);
  EXPECT_EQ(RunShellContextMenuHelper({}), -1);
}

TEST_F(ShellContextMenuTest, InstalledEntryPassesDesktopFileValidate) {
  const std::string validator = FindProgram("desktop-file-validate");
  if (validator.empty()) GTEST_SKIP() << "desktop-file-validate not installed";
  SetProcessLauncher(nullptr);
  ASSERT_EQ(InstallShellContextMenu("/opt/a b/pel$crow"), 0);
  std::string out;
  EXPECT_EQ(GetProcessLauncher().Run({validator, GetContextMenuFiles().DesktopEntry}, out, 10000), 0) << out;
}

struct TQuoteCase {
  const char* Arg;
  const char* Quoted;
};

class DesktopExecQuoteTest : public ::testing::TestWithParam<TQuoteCase> {};

TEST_P(DesktopExecQuoteTest, QuotesReservedCharacters) {
  EXPECT_EQ(DesktopExecQuote(GetParam().Arg), GetParam().Quoted);
}

INSTANTIATE_TEST_SUITE_P(Cases, DesktopExecQuoteTest,
                         ::testing::Values(TQuoteCase{"/usr/bin/pelcrow", "/usr/bin/pelcrow"},
                                           TQuoteCase{"/a b/p", "\"/a b/p\""},
                                           TQuoteCase{"/a$b", "\"/a\\\\$b\""},
                                           TQuoteCase{"/100%", "/100%%"},
                                           TQuoteCase{"/q\"x", "\"/q\\\\\"x\""},
                                           TQuoteCase{"/back\\slash", "\"/back\\\\\\\\slash\""}),
    [](const auto& p) { return "Case" + std::to_string(p.index); });

}  // namespace
}  // namespace pelcrow::platform
