#include "platform/DesktopApps.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestUtil.h"
#include "platform/UriEncoding.h"

namespace pelcrow::platform {
namespace {

using TArgv = std::vector<std::string>;

struct TExecCase {
  const char* Exec;
  TArgv Expected;  // empty: the line cannot be read
};

TEST(DesktopAppsTest, ExecLinesExpandWithDesktopEntryQuoting) {
  const std::string f = "/home/u/My Files/a \"b\" $c.txt";
  const std::string uri = FileUriFromPath(f);
  const TExecCase cases[] = {
      {"viewer %f", {"viewer", f}},
      {"viewer %F --new", {"viewer", f, "--new"}},
      {"viewer %u", {"viewer", uri}},
      {"viewer %U", {"viewer", uri}},
      // No file code: the file comes last.
      {"viewer --open", {"viewer", "--open", f}},
      // %i %c %k and deprecated codes go; an argument left empty by them goes too.
      {"viewer %i %c %k %f %m", {"viewer", f}},
      {"viewer --name=%c %f", {"viewer", "--name=", f}},
      {"viewer 100%% %f", {"viewer", "100%", f}},
      // Quoted arguments keep their spaces; inside them \" \` \$ \\ are escapes.
      {"\"/opt/My App/run\" \"--title=a \\\"b\\\"\" %f", {"/opt/My App/run", "--title=a \"b\"", f}},
      {"sh -c \"echo \\$1 \\\\ \\`x\\`\" %f", {"sh", "-c", "echo $1 \\ `x`", f}},
      {"viewer  \t %f", {"viewer", f}},
      {"\"\" %f", {"", f}},
      // Unreadable lines start nothing.
      {"\"viewer %f", {}},
      {"", {}},
      {"%i %c", {}},
  };
  for (const TExecCase& c : cases) EXPECT_EQ(ExpandExec(c.Exec, f), c.Expected) << c.Exec;
}

class DesktopAppsFixture : public ::testing::Test {
 protected:
  test::TTempDir fDir;
  test::TScopedEnv fDataHome{"XDG_DATA_HOME", fDir / "home"};
  test::TScopedEnv fDataDirs{"XDG_DATA_DIRS", fDir / "sys" + ":" + fDir / "none" + ":relative"};
  test::TScopedEnv fConfigHome{"XDG_CONFIG_HOME", fDir / "config"};
  test::TScopedEnv fConfigDirs{"XDG_CONFIG_DIRS", fDir / "etc"};

  void Entry(const std::string& rel, const std::string& body) {
    fDir.Write(rel, "# a comment\n[Desktop Entry]\nType=Application\n" + body + "\n[Desktop Action New]\nExec=wrong\n");
  }
  static std::vector<std::string> Names(const std::vector<TDesktopApp>& apps) {
    std::vector<std::string> out;
    for (const TDesktopApp& a : apps) out.push_back(a.Name);
    return out;
  }
};

// Where the associations come from and what is left out, in one home and one system folder.
TEST_F(DesktopAppsFixture, ApplicationsForATypeAndItsAncestors) {
  // The user's entry hides the system's of the same id.
  Entry("home/applications/viewer.desktop", "Name=Viewer\nName[de]=Betrachter\nExec=viewer %f\nMimeType=text/plain;");
  Entry("sys/applications/viewer.desktop", "Name=System Viewer\nExec=sysviewer %f\nMimeType=text/plain;");
  // Known only through the folder's cache.
  Entry("sys/applications/editor.desktop", "Name=Editor\nExec=editor %U");
  fDir.Write("sys/applications/mimeinfo.cache", "[MIME Cache]\ntext/plain=editor.desktop;missing.desktop;\n");
  // A subfolder's name is part of the id; it matches the more specific type.
  Entry("sys/applications/kde/writer.desktop", "Name=Writer\nExec=writer\nMimeType=text/x-log;");
  // Left out: hidden, not an application, TryExec not installed, association removed.
  Entry("sys/applications/gone.desktop", "Name=Gone\nExec=gone\nHidden=true\nMimeType=text/plain;");
  fDir.Write("sys/applications/link.desktop", "[Desktop Entry]\nType=Link\nName=Link\nURL=x\nMimeType=text/plain;\n");
  Entry("sys/applications/try.desktop", "Name=Try\nExec=try\nTryExec=pelcrow-no-such-program\nMimeType=text/plain;");
  Entry("sys/applications/removed.desktop", "Name=Removed\nExec=removed\nMimeType=text/plain;");
  Entry("sys/applications/other.desktop", "Name=Other type\nExec=other\nMimeType=image/png;");
  // The defaults and added associations come first, in file order.
  Entry("sys/applications/zed.desktop", "Name=Zed\nExec=zed");
  Entry("sys/applications/added.desktop", "Name=Added\nExec=added");
  fDir.Write("config/mimeapps.list",
             "[Default Applications]\ntext/x-log=zed.desktop\n[Removed Associations]\ntext/plain=removed.desktop;\n");
  fDir.Write("etc/mimeapps.list", "[Added Associations]\ntext/plain=added.desktop;removed.desktop;\n");

  const std::vector<TDesktopApp> apps = ApplicationsForTypes({"text/x-log", "text/plain"});
  EXPECT_EQ(Names(apps), (std::vector<std::string>{"Zed", "Added", "Editor", "Viewer", "Writer"}));
  ASSERT_EQ(apps.size(), 5u);
  EXPECT_EQ(apps[3].Exec, "viewer %f");
  EXPECT_EQ(apps[3].File, fDir / "home/applications/viewer.desktop");
  EXPECT_EQ(apps[4].Id, "kde-writer.desktop");
  EXPECT_TRUE(ApplicationsForTypes({"application/x-nothing"}).empty());
}

class TRecordingLauncher final : public IProcessLauncher {
 public:
  std::vector<TArgv> Started;
  bool HasProgram(const std::string& name) override { return name == "viewer"; }
  bool Start(const TArgv& argv) override {
    if (!HasProgram(argv[0])) return false;
    Started.push_back(argv);
    return true;
  }
  int Run(const TArgv&, std::string&, int) override { return -1; }
};

TEST_F(DesktopAppsFixture, StartingAnApplicationSaysWhyItFailed) {
  TRecordingLauncher launcher;
  SetProcessLauncher(&launcher);
  const std::string file = fDir.Write("a b.txt", "x");
  TLaunchFailure failure;
  EXPECT_TRUE(OpenWithApplication({"v.desktop", "Viewer", "viewer --new %u", ""}, file, failure));
  ASSERT_EQ(launcher.Started.size(), 1u);
  EXPECT_EQ(launcher.Started[0], (TArgv{"viewer", "--new", FileUriFromPath(file)}));

  EXPECT_FALSE(OpenWithApplication({"n.desktop", "Nothing", "pelcrow-no-such-program %f", ""}, file, failure));
  EXPECT_EQ(failure.Kind, TLaunchFailure::lfNotFound);
  EXPECT_EQ(failure.Program, "pelcrow-no-such-program");
  EXPECT_FALSE(OpenWithApplication({"q.desktop", "Quote", "\"viewer %f", ""}, file, failure));
  EXPECT_EQ(failure.Kind, TLaunchFailure::lfNotFound);
  EXPECT_FALSE(OpenWithApplication({"v.desktop", "Viewer", "viewer %f", ""}, fDir / "gone.txt", failure));
  EXPECT_EQ(failure.Kind, TLaunchFailure::lfMissing);
  EXPECT_EQ(launcher.Started.size(), 1u);
  SetProcessLauncher(nullptr);
}

}  // namespace
}  // namespace pelcrow::platform
