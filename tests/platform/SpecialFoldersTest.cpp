#include "platform/SpecialFolders.h"

#include <gtest/gtest.h>

#include "TestUtil.h"
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace pelcrow {
namespace {

namespace fs = std::filesystem;

using pelcrow::test::TScopedEnv;

// The variables the user folders depend on, all set at once for one case.
struct TUserEnv {
  std::optional<std::string> Home, Data, State, Cache, Config;
};

class TScopedUserEnv {
 public:
  explicit TScopedUserEnv(const TUserEnv& e)
      : fHome("HOME", e.Home),
        fData("XDG_DATA_HOME", e.Data),
        fState("XDG_STATE_HOME", e.State),
        fCache("XDG_CACHE_HOME", e.Cache),
        fConfig("XDG_CONFIG_HOME", e.Config) {}

 private:
  TScopedEnv fHome, fData, fState, fCache, fConfig;
};

fs::path FreshTestDir() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  const fs::path dir = fs::path(test::TestWorkDir()) / "platform" /
                       (std::string(info->test_suite_name()) + "." + info->name());
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

void ExpectCleanList(const std::vector<std::string>& list, const char* what) {
  std::set<std::string> seen;
  for (const std::string& e : list) {
    EXPECT_FALSE(e.empty()) << what;
    EXPECT_NE(e, "/") << what;
    EXPECT_TRUE(e.size() < 2 || e.back() != '/') << what << ": " << e;
    EXPECT_TRUE(seen.insert(e).second) << what << " repeats " << e;
  }
}

const std::vector<std::string> kFixedExclusions = {
    "/bin", "/sbin", "/lib*", "/boot", "/etc", "/proc", "/sys",
    "/dev", "/run",  "/usr",  "/opt",  "/snap", "/var/lib", "/var/cache"};

std::vector<std::string> Fixed(std::vector<std::string> user) {
  std::vector<std::string> all = kFixedExclusions;
  all.insert(all.end(), user.begin(), user.end());
  return all;
}

TEST(SpecialFoldersTest, DefaultExclusionsFollowTheEnvironment) {
  struct TCase {
    const char* Name;
    TUserEnv Env;
    std::vector<std::string> Expected;
  };
  const TCase cases[] = {
      {"plain home",
       {"/home/ann", std::nullopt, std::nullopt, std::nullopt, std::nullopt},
       Fixed({"/home/ann/.local/share", "/home/ann/.local/state", "/home/ann/.cache",
              "/home/ann/.config"})},
      {"home with trailing slash",
       {"/home/ann/", std::nullopt, std::nullopt, std::nullopt, std::nullopt},
       Fixed({"/home/ann/.local/share", "/home/ann/.local/state", "/home/ann/.cache",
              "/home/ann/.config"})},
      {"all XDG variables",
       {"/home/ann", "/x/data", "/x/state/", "/x//cache", "/x/config"},
       Fixed({"/x/data", "/x/state", "/x/cache", "/x/config"})},
      {"relative and empty values are ignored",
       {"/home/ann", "rel/data", "", std::nullopt, "./cfg"},
       Fixed({"/home/ann/.local/share", "/home/ann/.local/state", "/home/ann/.cache",
              "/home/ann/.config"})},
      {"no duplicates, never the root",
       {"/home/ann", "/x/same", "/x/same/", "/etc", "/"},
       Fixed({"/x/same"})},
  };
  for (const TCase& c : cases) {
    TScopedUserEnv env(c.Env);
    const std::vector<std::string> got = TPcwSpecialFolders::GetDefaultExclusions();
    EXPECT_EQ(got, c.Expected) << c.Name;
    ExpectCleanList(got, c.Name);
  }
}

TEST(SpecialFoldersTest, UserFoldersAndHome) {
  struct TCase {
    TUserEnv Env;
    std::string Home, Config, Data;
  };
  const TCase cases[] = {
      {{"/home/ann", std::nullopt, std::nullopt, std::nullopt, std::nullopt},
       "/home/ann", "/home/ann/.config", "/home/ann/.local/share"},
      {{"/", std::nullopt, std::nullopt, std::nullopt, std::nullopt},
       "/", "/.config", "/.local/share"},
      {{"/home/ann", "/d", std::nullopt, std::nullopt, "/c/"}, "/home/ann", "/c", "/d"},
  };
  for (const TCase& c : cases) {
    TScopedUserEnv env(c.Env);
    EXPECT_EQ(TPcwSpecialFolders::GetHomeDirectory(), c.Home);
    EXPECT_EQ(TPcwSpecialFolders::GetUserConfigDirectory(), c.Config);
    EXPECT_EQ(TPcwSpecialFolders::GetUserDataDirectory(), c.Data);
  }

  // Without $HOME the password database answers; whatever it says is absolute.
  TScopedUserEnv noHome({std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt});
  const std::string home = TPcwSpecialFolders::GetHomeDirectory();
  EXPECT_TRUE(home.empty() || home.front() == '/') << home;
}

TEST(SpecialFoldersTest, TempPath) {
  const std::pair<std::optional<std::string>, std::string> cases[] = {
      {std::nullopt, "/tmp"}, {"", "/tmp"}, {"rel", "/tmp"}, {"/x/tmp/", "/x/tmp"}};
  for (const auto& [value, expected] : cases) {
    TScopedEnv tmp("TMPDIR", value);
    EXPECT_EQ(TPcwSpecialFolders::GetTempPath(), expected) << value.value_or("(unset)");
  }
}

TEST(SpecialFoldersTest, ReadUserDirectorySkipsDisabledAndMissingFolders) {
  const fs::path dir = FreshTestDir();
  const std::string home = (dir / "home").string();
  fs::create_directories(dir / "home/Music");
  fs::create_directories(dir / "home/Desktop");
  fs::create_directories(dir / "elsewhere/Pics");
  fs::create_directories(dir / "home/.config");
  std::ofstream(dir / "home/.config/user-dirs.dirs")
      << "# This file is written by xdg-user-dirs-update\n"
      << "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\r\n"
      << "XDG_DOCUMENTS_DIR=\"$HOME/\"\n"
      << "  XDG_MUSIC_DIR = \"$HOME/Music\"\n"
      << "XDG_MUSIC_DIRX=\"$HOME/Desktop\"\n"
      << "XDG_PICTURES_DIR=\"" << (dir / "elsewhere/Pics/").string() << "\"\n"
      << "XDG_VIDEOS_DIR=\"$HOME/Videos\"\n"
      << "XDG_TEMPLATES_DIR=\"$HOME\"\n"
      << "XDG_PUBLICSHARE_DIR=\"\"\n"
      << "XDG_DOWNLOAD_DIR=\"Downloads\"\n"
      << "#XDG_EXTRA_DIR=\"$HOME/Music\"\n"
      << "XDG_OTHER_DIR=\"$HOMEMusic\"\n";

  TScopedUserEnv env({home, std::nullopt, std::nullopt, std::nullopt, std::nullopt});
  const std::pair<const char*, std::string> cases[] = {
      {"XDG_DESKTOP_DIR", home + "/Desktop"},
      {"XDG_DOCUMENTS_DIR", ""},  // "$HOME/" means disabled
      {"XDG_MUSIC_DIR", home + "/Music"},
      {"XDG_PICTURES_DIR", (dir / "elsewhere/Pics").string()},
      {"XDG_VIDEOS_DIR", ""},     // does not exist
      {"XDG_TEMPLATES_DIR", ""},  // "$HOME" alone
      {"XDG_PUBLICSHARE_DIR", ""},
      {"XDG_DOWNLOAD_DIR", ""},   // relative
      {"XDG_EXTRA_DIR", ""},      // commented out
      {"XDG_OTHER_DIR", ""},
      {"XDG_MISSING_DIR", ""},
  };
  for (const auto& [key, expected] : cases) {
    EXPECT_EQ(TPcwSpecialFolders::ReadUserDirectory(key), expected) << key;
  }

  // The file is looked up in $XDG_CONFIG_HOME; a later line overrides an earlier one.
  fs::create_directories(dir / "cfg");
  std::ofstream(dir / "cfg/user-dirs.dirs") << "XDG_MUSIC_DIR=\"$HOME/Nope\"\n"
                                            << "XDG_MUSIC_DIR=\"$HOME/Desktop\"\n";
  {
    TScopedEnv config("XDG_CONFIG_HOME", (dir / "cfg").string());
    EXPECT_EQ(TPcwSpecialFolders::ReadUserDirectory("XDG_MUSIC_DIR"), home + "/Desktop");
    EXPECT_EQ(TPcwSpecialFolders::ReadUserDirectory("XDG_PICTURES_DIR"), "");
  }
  {
    TScopedEnv config("XDG_CONFIG_HOME", (dir / "nothing").string());
    EXPECT_EQ(TPcwSpecialFolders::ReadUserDirectory("XDG_MUSIC_DIR"), "");
  }
}

TEST(SpecialFoldersTest, CachedListsAreClean) {
  const auto& system = TPcwSpecialFolders::GetSystemDirectories();
  ExpectCleanList(system, "system");
  for (const char* d : {"/bin", "/sbin", "/boot", "/etc", "/proc", "/sys", "/dev", "/run"}) {
    EXPECT_NE(std::find(system.begin(), system.end(), d), system.end()) << d;
  }
  // The /lib* pattern is expanded to real folders here: these entries are compared as text.
  for (const std::string& e : system) {
    EXPECT_EQ(e.find('*'), std::string::npos) << e;
    if (e.starts_with("/lib")) {
      EXPECT_TRUE(fs::is_directory(e)) << e;
    }
  }
  if (fs::is_directory("/lib")) {
    EXPECT_NE(std::find(system.begin(), system.end(), "/lib"), system.end());
  }

  const auto& apps = TPcwSpecialFolders::GetAppDirectories();
  ExpectCleanList(apps, "apps");
  for (const char* d : {"/usr", "/opt", "/snap", "/var/lib", "/var/cache"}) {
    EXPECT_NE(std::find(apps.begin(), apps.end(), d), apps.end()) << d;
  }

  const auto& temp = TPcwSpecialFolders::GetTempDirectories();
  ExpectCleanList(temp, "temp");
  EXPECT_NE(std::find(temp.begin(), temp.end(), "/var/tmp"), temp.end());

  const auto& recycler = TPcwSpecialFolders::GetRecyclerNames();
  ASSERT_GE(recycler.size(), 2u);
  EXPECT_EQ(recycler[0], ".Trash");
  EXPECT_EQ(recycler[1], ".Trash-" + std::to_string(::getuid()));
  if (recycler.size() > 2) {
    EXPECT_TRUE(recycler[2].ends_with("/Trash")) << recycler[2];
  }

  // Cached: the same object on every call.
  EXPECT_EQ(&TPcwSpecialFolders::GetSystemDirectories(), &system);
  for (const auto* list :
       {&TPcwSpecialFolders::GetDocumentsDirectory(), &TPcwSpecialFolders::GetMusicDirectory(),
        &TPcwSpecialFolders::GetPicturesDirectory(), &TPcwSpecialFolders::GetVideosDirectory()}) {
    EXPECT_LE(list->size(), 1u);
    for (const std::string& e : *list) EXPECT_TRUE(fs::is_directory(e)) << e;
  }
}

TEST(SpecialFoldersTest, ExecutableBaseNameAndContextMenuEntry) {
  const std::string name = TPcwSpecialFolders::GetExecutableBaseName();
  EXPECT_EQ(name, fs::read_symlink("/proc/self/exe").stem().string());
  EXPECT_EQ(name.find('/'), std::string::npos);

  TScopedEnv data("XDG_DATA_HOME", "/x/data");
  EXPECT_EQ(TPcwSpecialFolders::GetShellContextMenuEntryFile(),
            "/x/data/applications/pelcrow-scan.desktop");
}

struct TSpecialCase {
  std::string Path;
  std::vector<TPcwScanOption> Options;
  bool Special;
  int Reason;
};

TEST(SpecialFoldersTest, CheckSpecialPathName) {
  const std::string work = std::string(test::TestWorkDir()) + "/SpecialFoldersTest.Check";
  fs::create_directories(work + "/.hidden/sub");
  fs::create_directories(work + "/usr/lib");
  const std::vector<TSpecialCase> cases = {
      {"/usr/lib", {soSkipSysAppFolders}, true, 2},
      {"/usr", {soSkipSysAppFolders}, true, 2},
      {"/etc/", {soSkipSysAppFolders}, true, 2},
      {"/usr/lib", {}, false, 0},
      {work + "/usr/lib", {soSkipSysAppFolders}, false, 0},  // a component match, not a substring
      {work + "/.hidden", {}, true, 7},
      {work + "/.hidden", {soIncludeHidden}, false, 0},
      {work + "/.hidden/sub", {}, false, 0},  // only the folder's own name counts
      {"/", {soSkipSysAppFolders}, false, 0},
      {work + "/missing", {soSkipSysAppFolders}, false, 0},
      {"\\\\?\\/usr", {soSkipSysAppFolders}, true, 2},
  };
  for (const TSpecialCase& c : cases) {
    TPcwScanOptions options;
    for (TPcwScanOption o : c.Options) options.Include(o);
    int reason = 0;
    EXPECT_EQ(TPcwSpecialFolders::CheckSpecialPathName(c.Path, reason, options), c.Special) << c.Path;
    if (c.Special) {
      EXPECT_EQ(reason, c.Reason) << c.Path;
    }
  }
  fs::remove_all(work);
}

TEST(SpecialFoldersTest, IsInFolderComparesWholeComponents) {
  EXPECT_TRUE(TPcwSpecialFolders::IsInFolder("/usr/lib", "/usr"));
  EXPECT_TRUE(TPcwSpecialFolders::IsInFolder("/usr/", "/usr"));
  EXPECT_FALSE(TPcwSpecialFolders::IsInFolder("/usr2", "/usr"));
  EXPECT_FALSE(TPcwSpecialFolders::IsInFolder("/home/ann/backup/etc/x", "/etc"));
  EXPECT_TRUE(TPcwSpecialFolders::IsInFolder("/anything", "/"));
}

}  // namespace
}  // namespace pelcrow
