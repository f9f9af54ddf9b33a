#include "platform/Trash.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "FileFixtures.h"
#include "TestUtil.h"
#include "platform/ProcessLauncher.h"
#include "platform/UriEncoding.h"

namespace pelcrow::platform {
namespace {

using pelcrow::test::Exists;
using pelcrow::test::ModeOf;

namespace fs = std::filesystem;

using pelcrow::test::TScopedEnv;

using pelcrow::test::ReadAll;

void WriteFile(const std::string& path, const std::string& bytes) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}



// A trash of its own in the test folder: HOME and XDG_DATA_HOME point there for trash-cli too.
class TrashTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fRoot = fs::canonical(fDir.path()).string();
    fs::create_directories(fRoot + "/home/data");
    fHome = std::make_unique<TScopedEnv>("HOME", fRoot + "/home");
    fData = std::make_unique<TScopedEnv>("XDG_DATA_HOME", fRoot + "/home/data");
    fTrash = fRoot + "/home/data/Trash";
  }
  void TearDown() override {
    fData.reset();
    fHome.reset();
  }

  // Runs a trash-cli command; its standard output.
  static std::string TrashCli(const std::vector<std::string>& argv, int* status = nullptr) {
    std::string out;
    const int rc = GetProcessLauncher().Run(argv, out, 60000);
    if (status != nullptr) *status = rc;
    return out;
  }
  static bool HaveTrashCli() { return !FindProgram("trash-list").empty() && !FindProgram("trash-put").empty(); }

  // The trash-list lines as "path" only (the date column dropped).
  // Like ListTrashEntries, but only this test's own items (see TrashListPaths).
  std::vector<TTrashEntry> OwnTrashEntries() const {
    std::vector<TTrashEntry> own;
    for (TTrashEntry& e : ListTrashEntries())
      if (e.OriginalPath.compare(0, fRoot.size(), fRoot) == 0) own.push_back(std::move(e));
    return own;
  }
  // trash-list also lists the trash of every mounted volume, where tests running in parallel may
  // have put items: keep this test's own.
  std::vector<std::string> TrashListPaths() const {
    std::vector<std::string> paths;
    std::istringstream lines(TrashCli({"trash-list"}));
    std::string line;
    while (std::getline(lines, line)) {
      if (line.size() > 20 && line.compare(20, fRoot.size(), fRoot) == 0) paths.push_back(line.substr(20));
    }
    std::sort(paths.begin(), paths.end());
    return paths;
  }

  test::TTempDir fDir;
  std::string fRoot;
  std::string fTrash;
  std::unique_ptr<TScopedEnv> fHome, fData;
};

TEST_F(TrashTest, NamesSurviveTheRoundTripAndTrashCliSeesThem) {
  struct TCase {
    std::string Name;
    std::string Shown;  // as trash-list prints it: bytes that are not UTF-8 become U+FFFD
  };
  const std::vector<TCase> cases = {
      {"plain.txt", "plain.txt"},
      {"a b.txt", "a b.txt"},
      {"100%.txt", "100%.txt"},
      {"%41.txt", "%41.txt"},  // a literal %41 must not come back as "A"
      {"a+b.txt", "a+b.txt"},
      {"#hash#", "#hash#"},
      {"semi;colon", "semi;colon"},
      {"-rf", "-rf"},
      {"quote'\"\\back", "quote'\"\\back"},
      {"\xC3\xBC\xC3\xB1\xC3\xAF c\xC3\xB6\xC3\xB0\xC3\xA9.txt", "\xC3\xBC\xC3\xB1\xC3\xAF c\xC3\xB6\xC3\xB0\xC3\xA9.txt"},
      {"bad\xFF\xFEname", "bad\xEF\xBF\xBD\xEF\xBF\xBDname"},
  };
  const std::regex infoShape("\\[Trash Info\\]\nPath=([^\n]*)\nDeletionDate=\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\n");
  std::vector<std::string> expectedListing;
  for (const TCase& c : cases) {
    const std::string path = fRoot + "/d/" + c.Name;
    WriteFile(path, "content of " + c.Name);
    const TTrashResult r = MoveToTrash(path);
    ASSERT_TRUE(r.Ok()) << r.Error;
    EXPECT_TRUE(r.Error.empty());
    EXPECT_EQ(r.TrashDir, fTrash);
    EXPECT_EQ(r.OriginalPath, path);
    EXPECT_EQ(r.TrashName, c.Name);
    EXPECT_FALSE(Exists(path));
    EXPECT_EQ(ReadAll(r.TrashedPath()), "content of " + c.Name);
    std::smatch m;
    const std::string info = ReadAll(r.InfoPath());
    ASSERT_TRUE(std::regex_match(info, m, infoShape)) << info;
    EXPECT_EQ(m[1].str(), PercentEncodeTrash(path));
    EXPECT_EQ(ModeOf(r.InfoPath()), 0600u);
    expectedListing.push_back(fRoot + "/d/" + c.Shown);
  }
  EXPECT_EQ(ModeOf(fTrash + "/files"), 0700u);
  EXPECT_EQ(ModeOf(fTrash + "/info"), 0700u);
  EXPECT_EQ(OwnTrashEntries().size(), cases.size());

  if (HaveTrashCli()) {
    std::sort(expectedListing.begin(), expectedListing.end());
    EXPECT_EQ(TrashListPaths(), expectedListing);
  }

  for (const TCase& c : cases) {
    const std::string path = fRoot + "/d/" + c.Name;
    const TTrashResult r = RestoreFromTrash(path);
    ASSERT_TRUE(r.Ok()) << r.Error;
    EXPECT_EQ(ReadAll(path), "content of " + c.Name);
    EXPECT_FALSE(Exists(r.InfoPath()));
  }
  EXPECT_TRUE(OwnTrashEntries().empty());
  if (HaveTrashCli()) {
    EXPECT_TRUE(TrashListPaths().empty());
  }
}

TEST_F(TrashTest, WhatTrashCliTrashedIsRestored) {
  if (!HaveTrashCli()) GTEST_SKIP() << "trash-cli is not installed";
  // trash-cli cannot trash names that are not UTF-8 itself.
  const std::vector<std::string> names = {"a b.txt", "100%+#;.txt", "\xC3\xBC.txt", "x.txt"};
  for (const std::string& n : names) WriteFile(fRoot + "/src/" + n, "peer " + n);
  WriteFile(fRoot + "/src/folder one/inner.txt", "inner");
  WriteFile(fRoot + "/src/sub/x.txt", "other x");
  for (const std::string& n : names) TrashCli({"trash-put", fRoot + "/src/" + n});
  TrashCli({"trash-put", fRoot + "/src/folder one"});
  TrashCli({"trash-put", fRoot + "/src/sub/x.txt"});
  ASSERT_EQ(TrashListPaths().size(), names.size() + 2);

  for (const std::string& n : names) {
    const std::string path = fRoot + "/src/" + n;
    ASSERT_FALSE(Exists(path));
    EXPECT_TRUE(RestoreFromRecycleBin(path)) << n;
    EXPECT_EQ(ReadAll(path), "peer " + n);
  }
  EXPECT_TRUE(RestoreFromRecycleBin(fRoot + "/src/folder one"));
  EXPECT_EQ(ReadAll(fRoot + "/src/folder one/inner.txt"), "inner");
  // The namesake in another folder is still there, under trash-cli's collision name.
  const std::vector<std::string> left = TrashListPaths();
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left[0], fRoot + "/src/sub/x.txt");
  // A path spelled through a symbolic link to its folder finds the entry too.
  fs::create_directory_symlink(fRoot + "/src", fRoot + "/alias");
  EXPECT_TRUE(RestoreFromRecycleBin(fRoot + "/alias/sub/x.txt"));
  EXPECT_EQ(ReadAll(fRoot + "/src/sub/x.txt"), "other x");
  EXPECT_TRUE(TrashListPaths().empty());
}

TEST_F(TrashTest, NamesakesGetTheirOwnEntriesAndTheNewestComesBackFirst) {
  const std::string path = fRoot + "/d/x.txt";
  std::vector<TTrashResult> trashed;
  constexpr int kCount = 12;  // beyond the numbered names, into the random tags
  for (int i = 0; i < kCount; ++i) {
    WriteFile(path, "version " + std::to_string(i));
    trashed.push_back(MoveToTrash(path));
    ASSERT_TRUE(trashed.back().Ok()) << trashed.back().Error;
  }
  EXPECT_EQ(trashed[0].TrashName, "x.txt");
  EXPECT_EQ(trashed[1].TrashName, "x.2.txt");
  std::vector<std::string> names;
  for (const TTrashResult& r : trashed) names.push_back(r.TrashName);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(std::unique(names.begin(), names.end()), names.end());
  if (HaveTrashCli()) {
    EXPECT_EQ(TrashListPaths(), std::vector<std::string>(kCount, path));
  }

  // Newest first; with the target back in place, the next restore is refused.
  const TTrashResult newest = RestoreFromTrash(path);
  ASSERT_TRUE(newest.Ok()) << newest.Error;
  EXPECT_EQ(ReadAll(path), "version 11");
  const TTrashResult refused = RestoreFromTrash(path);
  EXPECT_EQ(refused.Failure, TTrashFailure::tfTargetExists);
  EXPECT_EQ(refused.Error.rfind("cannot restore " + path + " from the trash: ", 0), 0u) << refused.Error;
  EXPECT_FALSE(RestoreFromRecycleBin(path));
  EXPECT_EQ(ReadAll(path), "version 11");
  fs::remove(path);
  ASSERT_TRUE(RestoreFromRecycleBin(path));
  EXPECT_EQ(ReadAll(path), "version 10");

  // Undo names its entry exactly, whatever is newer.
  fs::remove(path);
  const TTrashResult exact = RestoreTrashedItem(trashed[3].TrashedPath());
  ASSERT_TRUE(exact.Ok()) << exact.Error;
  EXPECT_EQ(exact.OriginalPath, path);
  EXPECT_EQ(ReadAll(path), "version 3");
  EXPECT_EQ(RestoreTrashedItem(trashed[3].TrashedPath()).Failure, TTrashFailure::tfNotFound);
  EXPECT_EQ(OwnTrashEntries().size(), static_cast<std::size_t>(kCount - 3));
}

TEST_F(TrashTest, RestoreRefusesWhateverHoldsTheTarget) {
  struct TCase {
    const char* Name;
    void (*Occupy)(const std::string& path);
  };
  for (const TCase& c :
       {TCase{"file", [](const std::string& p) { WriteFile(p, "new"); }},
        {"folder", [](const std::string& p) { fs::create_directory(p); }},
        {"dangling link", [](const std::string& p) { fs::create_symlink("/nonexistent/target", p); }}}) {
    const std::string path = fRoot + "/r/item";
    WriteFile(path, "old");
    const TTrashResult r = MoveToTrash(path);
    ASSERT_TRUE(r.Ok()) << r.Error;
    c.Occupy(path);
    EXPECT_EQ(RestoreFromTrash(path).Failure, TTrashFailure::tfTargetExists) << c.Name;
    EXPECT_EQ(RestoreTrashedItem(r.TrashedPath()).Failure, TTrashFailure::tfTargetExists) << c.Name;
    EXPECT_TRUE(Exists(r.TrashedPath())) << c.Name;
    EXPECT_TRUE(Exists(r.InfoPath())) << c.Name;
    fs::remove_all(path);
    EXPECT_TRUE(RestoreFromTrash(path).Ok()) << c.Name;
    EXPECT_EQ(ReadAll(path), "old");
    fs::remove(path);
  }
}

TEST_F(TrashTest, FolderGoesWholeAndIsListedInDirectorySizes) {
  const std::string album = fRoot + "/music/my album";
  WriteFile(album + "/01 a.mp3", std::string(10000, 'a'));
  WriteFile(album + "/cd 2/02.mp3", std::string(70000, 'b'));
  fs::create_hard_link(album + "/01 a.mp3", album + "/cd 2/same.mp3");
  fs::create_symlink("/nonexistent", album + "/link");
  const TTrashResult r = MoveToTrash(album);
  ASSERT_TRUE(r.Ok()) << r.Error;
  EXPECT_FALSE(Exists(album));
  EXPECT_EQ(ReadAll(r.TrashedPath() + "/cd 2/02.mp3"), std::string(70000, 'b'));

  const std::string sizes = ReadAll(fTrash + "/directorysizes");
  struct stat info {};
  ASSERT_EQ(::stat(r.InfoPath().c_str(), &info), 0);
  std::string du;
  if (GetProcessLauncher().Run({"du", "-B1", "-s", r.TrashedPath()}, du, 30000) == 0) {
    const std::string bytes = du.substr(0, du.find('\t'));
    EXPECT_EQ(sizes, bytes + " " + std::to_string(info.st_mtime) + " my%20album\n");
  } else {
    EXPECT_TRUE(sizes.ends_with(" my%20album\n")) << sizes;
  }
  EXPECT_EQ(ModeOf(fTrash + "/directorysizes"), 0600u);

  // A second folder adds a line; restoring removes only its own.
  WriteFile(fRoot + "/music/other/x", "x");
  const TTrashResult other = MoveToTrash(fRoot + "/music/other");
  ASSERT_TRUE(other.Ok()) << other.Error;
  ASSERT_TRUE(RestoreFromTrash(album).Ok());
  EXPECT_EQ(ReadAll(album + "/01 a.mp3"), std::string(10000, 'a'));
  EXPECT_TRUE(fs::is_symlink(album + "/link"));
  const std::string after = ReadAll(fTrash + "/directorysizes");
  EXPECT_EQ(after.find("my%20album"), std::string::npos) << after;
  EXPECT_NE(after.find(" other\n"), std::string::npos) << after;
}

TEST_F(TrashTest, RestoreRecreatesMissingFolders) {
  const std::string path = fRoot + "/gone/deeper/f.txt";
  WriteFile(path, "f");
  ASSERT_TRUE(MoveToTrash(path).Ok());
  fs::remove_all(fRoot + "/gone");
  ASSERT_TRUE(RestoreFromRecycleBin(path));
  EXPECT_EQ(ReadAll(path), "f");
}

TEST_F(TrashTest, SymbolicLinksGoAsLinks) {
  WriteFile(fRoot + "/target.txt", "target");
  fs::create_symlink(fRoot + "/target.txt", fRoot + "/link");
  fs::create_directory(fRoot + "/folder");
  fs::create_directory_symlink(fRoot + "/folder", fRoot + "/folder-link");
  for (const char* name : {"link", "folder-link"}) {
    const TTrashResult r = MoveToTrash(fRoot + "/" + name);
    ASSERT_TRUE(r.Ok()) << r.Error;
    EXPECT_TRUE(fs::is_symlink(r.TrashedPath())) << name;
  }
  EXPECT_EQ(ReadAll(fRoot + "/target.txt"), "target");
  EXPECT_TRUE(fs::is_directory(fRoot + "/folder"));
  ASSERT_TRUE(RestoreFromRecycleBin(fRoot + "/link"));
  EXPECT_TRUE(fs::is_symlink(fRoot + "/link"));
}

TEST_F(TrashTest, RelativePathsAndFolderLinksNameTheRealPlace) {
  WriteFile(fRoot + "/real/f.txt", "f");
  fs::create_directory_symlink(fRoot + "/real", fRoot + "/via");
  const std::string cwd = fs::current_path().string();
  fs::current_path(fRoot);
  const TTrashResult r = MoveToTrash("via/./../via/f.txt");
  fs::current_path(cwd);
  ASSERT_TRUE(r.Ok()) << r.Error;
  EXPECT_EQ(r.OriginalPath, fRoot + "/real/f.txt");
  EXPECT_TRUE(fs::is_directory(fRoot + "/via"));
  ASSERT_TRUE(RestoreFromTrash(fRoot + "/via/f.txt").Ok());
  EXPECT_EQ(ReadAll(fRoot + "/real/f.txt"), "f");
}

TEST_F(TrashTest, NamesAtTheLengthLimitStillFit) {
  const std::string name = std::string(250, 'n') + ".data";  // 255 bytes: NAME.trashinfo would not fit
  const std::string path = fRoot + "/long/" + name;
  WriteFile(path, "long");
  const TTrashResult r = MoveToTrash(path);
  ASSERT_TRUE(r.Ok()) << r.Error;
  EXPECT_LE(r.TrashName.size() + 10, 255u);
  EXPECT_TRUE(r.TrashName.ends_with(".data")) << r.TrashName;
  ASSERT_TRUE(RestoreFromRecycleBin(path));
  EXPECT_EQ(ReadAll(path), "long");

  // A cut never splits a multi-byte character.
  std::string wide;
  while (wide.size() + 2 <= 254) wide += "\xC3\xA9";
  const std::string widePath = fRoot + "/long/" + wide;
  WriteFile(widePath, "wide");
  const TTrashResult w = MoveToTrash(widePath);
  ASSERT_TRUE(w.Ok()) << w.Error;
  EXPECT_EQ(w.TrashName.size() % 2, 0u);
  EXPECT_EQ(wide.rfind(w.TrashName, 0), 0u);
}

TEST_F(TrashTest, StrayItemsKeepTheirNames) {
  WriteFile(fTrash + "/files/x.txt", "stray without info");
  fs::create_directories(fTrash + "/info");
  WriteFile(fRoot + "/x.txt", "mine");
  const TTrashResult r = MoveToTrash(fRoot + "/x.txt");
  ASSERT_TRUE(r.Ok()) << r.Error;
  EXPECT_NE(r.TrashName, "x.txt");
  EXPECT_EQ(ReadAll(fTrash + "/files/x.txt"), "stray without info");
  // An info file whose item is gone is passed over on restore.
  WriteFile(fTrash + "/info/ghost.trashinfo",
            "[Trash Info]\nPath=" + PercentEncodeTrash(fRoot + "/x.txt") + "\nDeletionDate=2999-01-01T00:00:00\n");
  ASSERT_TRUE(RestoreFromRecycleBin(fRoot + "/x.txt"));
  EXPECT_EQ(ReadAll(fRoot + "/x.txt"), "mine");
}

TEST_F(TrashTest, InfoFilesOfOtherToolsAreRead) {
  // No final newline, blanks around "=", a comment, lower-case escapes, another group first.
  WriteFile(fTrash + "/files/a", "a");
  WriteFile(fTrash + "/info/a.trashinfo",
            "[Other]\nPath=/wrong\n# comment\n[Trash Info]\nPath = " + fRoot + "/in%2fo/%c3%a4 b\n"
            "DeletionDate = 2020-02-29T23:59:59");
  WriteFile(fTrash + "/files/b", "b");
  WriteFile(fTrash + "/info/b.trashinfo", "not an info file");
  const std::vector<TTrashEntry> entries = OwnTrashEntries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].OriginalPath, fRoot + "/in/o/\xC3\xA4 b");
  EXPECT_EQ(entries[0].DeletionDate.ToIsoText(), "2020-02-29 23:59:59");
  ASSERT_TRUE(RestoreFromRecycleBin(fRoot + "/in/o/\xC3\xA4 b"));
  EXPECT_EQ(ReadAll(fRoot + "/in/o/\xC3\xA4 b"), "a");
}

TEST_F(TrashTest, FailuresSayWhy) {
  const std::string missing = fRoot + "/missing.txt";
  TTrashResult r = MoveToTrash(missing);
  EXPECT_EQ(r.Failure, TTrashFailure::tfNotFound);
  EXPECT_EQ(r.Error, "cannot move " + missing + " to the trash: No such file or directory");
  EXPECT_FALSE(r);
  EXPECT_TRUE(r.TrashedPath().empty());
  EXPECT_EQ(MoveToTrash(fRoot + "/no/such/folder/f").Failure, TTrashFailure::tfNotFound);
  EXPECT_FALSE(MoveToTrash("/").Ok());
  EXPECT_FALSE(MoveToTrash("").Ok());

  r = RestoreFromTrash(fRoot + "/never.txt");
  EXPECT_EQ(r.Failure, TTrashFailure::tfNotFound);
  EXPECT_EQ(r.Error, "cannot restore " + fRoot + "/never.txt from the trash: not in the trash");
  EXPECT_FALSE(RestoreFromRecycleBin(fRoot + "/never.txt"));
  EXPECT_EQ(RestoreTrashedItem(fRoot + "/not-a-trash/x").Failure, TTrashFailure::tfNotFound);

  // The trash never swallows itself or what it holds.
  WriteFile(fRoot + "/f.txt", "f");
  const TTrashResult in = MoveToTrash(fRoot + "/f.txt");
  ASSERT_TRUE(in.Ok());
  EXPECT_EQ(MoveToTrash(in.TrashedPath()).Failure, TTrashFailure::tfOther);
  EXPECT_EQ(MoveToTrash(fTrash).Failure, TTrashFailure::tfOther);
  EXPECT_EQ(MoveToTrash(fRoot + "/home").Failure, TTrashFailure::tfOther);
  EXPECT_TRUE(Exists(in.TrashedPath()));
}

TEST_F(TrashTest, EncodingsKeepBytes) {
  struct TCase {
    std::string Bytes, Trash, GLib;
  };
  for (const TCase& c : {TCase{"/a b/c", "/a%20b/c", "/a%20b/c"},
                         {"x%y+z#;", "x%25y%2Bz%23%3B", "x%25y+z%23%3B"},
                         {"[a]!$&'()*,=:@~-._", "%5Ba%5D%21%24%26%27%28%29%2A%2C%3D%3A%40~-._",
                          "%5Ba%5D!$&'()*,=:@~-._"},
                         {"\xC3\xBC\xFF", "%C3%BC%FF", "%C3%BC%FF"},
                         {std::string("nul\0x", 5), "nul%00x", "nul%00x"}}) {
    EXPECT_EQ(PercentEncodeTrash(c.Bytes), c.Trash);
    EXPECT_EQ(PercentEncodeGLib(c.Bytes), c.GLib);
    EXPECT_EQ(PercentDecode(c.Trash), c.Bytes);
    EXPECT_EQ(PercentDecode(c.GLib), c.Bytes);
  }
  EXPECT_EQ(PercentDecode("100%"), "100%");
  EXPECT_EQ(PercentDecode("%4"), "%4");
  EXPECT_EQ(PercentDecode("%zz%4a"), "%zzJ");
  EXPECT_EQ(FileUriFromPath("/tmp/a b#"), "file:///tmp/a%20b%23");
  EXPECT_EQ(FileUriFromPath("relative"), "");
}

// A small ext4 volume of its own, loop-mounted inside the test folder (needs root).
class TrashVolumeTest : public TrashTest {
 protected:
  void SetUp() override {
    // Tests run in parallel processes: loop devices and the mount table are shared, so one
    // volume test at a time.
    std::filesystem::create_directories(test::TestWorkDir());
    fLockFd = ::open((std::string(test::TestWorkDir()) + "/loop-volume.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fLockFd >= 0) ::flock(fLockFd, LOCK_EX);
    TrashTest::SetUp();
    fVolume = fRoot + "/vol";
    fs::create_directories(fVolume);
    const std::string image = fRoot + "/vol.img";
    std::string out;
    IProcessLauncher& run = GetProcessLauncher();
    if (::geteuid() != 0 || FindProgram("mkfs.ext4").empty() ||
        run.Run({"truncate", "-s", "8M", image}, out, 30000) != 0 ||
        run.Run({"mkfs.ext4", "-q", "-F", image}, out, 60000) != 0 ||
        run.Run({"mount", "-o", "loop", image, fVolume}, out, 60000) != 0)
      GTEST_SKIP() << "cannot mount a loop volume here";
    fMounted = true;
  }
  void TearDown() override {
    if (fMounted) {
      std::string out;
      GetProcessLauncher().Run({"umount", "-l", fVolume}, out, 60000);
    }
    TrashTest::TearDown();
    if (fLockFd >= 0) ::close(fLockFd);
  }
  std::string fVolume;
  bool fMounted = false;
  int fLockFd = -1;
};

TEST_F(TrashVolumeTest, VolumeTrashFolderFollowsTheRules) {
  struct TCase {
    const char* Name;
    void (*Prepare)(const std::string& volume);
    const char* TrashDir;  // relative to the volume
  };
  for (const TCase& c : {
           TCase{"no .Trash", [](const std::string&) {}, ".Trash-0"},
           {"sticky .Trash",
            [](const std::string& v) {
              fs::create_directory(v + "/.Trash");
              ::chmod((v + "/.Trash").c_str(), 01777);
            },
            ".Trash/0"},
           {"plain .Trash",
            [](const std::string& v) {
              fs::create_directory(v + "/.Trash");
              ::chmod((v + "/.Trash").c_str(), 0777);
            },
            ".Trash-0"},
           {".Trash linked to a sticky folder",
            [](const std::string& v) {
              fs::create_directory(v + "/sticky");
              ::chmod((v + "/sticky").c_str(), 01777);
              fs::create_directory_symlink(v + "/sticky", v + "/.Trash");
            },
            ".Trash-0"},
       }) {
    for (const char* old : {".Trash", ".Trash-0", "sticky"}) fs::remove_all(fVolume + "/" + old);
    c.Prepare(fVolume);
    const std::string path = fVolume + "/sub/f x%.txt";
    WriteFile(path, c.Name);
    const TTrashResult r = MoveToTrash(path);
    ASSERT_TRUE(r.Ok()) << c.Name << ": " << r.Error;
    EXPECT_EQ(r.TrashDir, fVolume + "/" + c.TrashDir) << c.Name;
    EXPECT_EQ(ModeOf(r.TrashDir), 0700u) << c.Name;
    // Relative to the top of the volume, as the other tools write it.
    EXPECT_NE(ReadAll(r.InfoPath()).find("\nPath=sub/f%20x%25.txt\n"), std::string::npos) << c.Name;
    EXPECT_EQ(r.OriginalPath, path);
    if (HaveTrashCli()) {
      EXPECT_EQ(TrashListPaths(), std::vector<std::string>{path}) << c.Name;
    }

    const std::string folder = fVolume + "/sub/folder";
    WriteFile(folder + "/x", "x");
    ASSERT_TRUE(MoveToTrash(folder).Ok()) << c.Name;
    EXPECT_NE(ReadAll(r.TrashDir + "/directorysizes").find(" folder\n"), std::string::npos) << c.Name;

    ASSERT_TRUE(RestoreFromRecycleBin(path)) << c.Name;
    EXPECT_EQ(ReadAll(path), c.Name);
    ASSERT_TRUE(RestoreFromRecycleBin(folder)) << c.Name;
    EXPECT_EQ(ReadAll(folder + "/x"), "x");
    fs::remove_all(fVolume + "/sub");
  }
}

TEST_F(TrashVolumeTest, TrashCliAndWeShareTheVolumeTrash) {
  if (!HaveTrashCli()) GTEST_SKIP() << "trash-cli is not installed";
  const std::string theirs = fVolume + "/music/s 1.mp3";
  WriteFile(theirs, "theirs");
  TrashCli({"trash-put", theirs});
  ASSERT_FALSE(Exists(theirs));
  ASSERT_TRUE(RestoreFromRecycleBin(theirs));
  EXPECT_EQ(ReadAll(theirs), "theirs");

  const std::string ours = fVolume + "/music/\xC3\xBC #2.mp3";
  WriteFile(ours, "ours");
  ASSERT_TRUE(MoveToTrash(ours).Ok());
  EXPECT_EQ(TrashListPaths(), std::vector<std::string>{ours});
}

TEST_F(TrashVolumeTest, ReadOnlyVolumeHasNoTrash) {
  const std::string path = fVolume + "/keep.txt";
  WriteFile(path, "keep");
  std::string out;
  ASSERT_EQ(GetProcessLauncher().Run({"mount", "-o", "remount,ro", fVolume}, out, 60000), 0);
  const TTrashResult r = MoveToTrash(path);
  EXPECT_EQ(r.Failure, TTrashFailure::tfNoTrash);
  EXPECT_EQ(r.Error, "cannot move " + path + " to the trash: " + std::string(kNoTrashText));
  EXPECT_EQ(ReadAll(path), "keep");
}

}  // namespace
}  // namespace pelcrow::platform
