// The folder monitor on the real kernel's inotify: what a user does in a watched tree and the
// renames it must report, no more and no fewer.
#include "platform/FolderMonitor.h"

#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <atomic>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <functional>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "TestUtil.h"

namespace pelcrow::platform {
namespace {

namespace fs = std::filesystem;
using pelcrow::test::TTempDir;
using namespace std::chrono_literals;

class FolderMonitorTest : public ::testing::Test {
 public:
  FolderMonitorTest() : fMonitor(fLoop) {
    fMonitor.OnFileChange = [this](const TFileRename& r) { fReports.push_back(Rel(r.OldPath) + "->" + Rel(r.NewPath)); };
  }

  int Start(bool subtree = true, std::uint32_t filter = fnFileName) {
    fMonitor.SetFilter(filter);
    fMonitor.SetMonitorSubtree(subtree);
    fMonitor.SetFoldersList({fDir / "w"});
    return fMonitor.SetActive(true);
  }

  // Paths relative to the fixture's folder, so the expectations read short.
  std::string Rel(const std::string& p) const {
    const std::string base = fDir.path() + "/";
    return p.rfind(base, 0) == 0 ? p.substr(base.size()) : p;
  }

  // Runs the user-interface queue until n reports came, or a while has passed.
  void WaitFor(std::size_t n) {
    const auto until = std::chrono::steady_clock::now() + 5s;
    while (fReports.size() < n && std::chrono::steady_clock::now() < until) fLoop.WaitAndProcess(20ms);
  }

  // Waits until the monitor watches `count` folders (a folder made after the start is watched
  // shortly after it appears).
  bool WaitForWatches(int count) {
    const auto until = std::chrono::steady_clock::now() + 5s;
    while (fMonitor.WatchCount() < count && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(5ms);
    return fMonitor.WatchCount() >= count;
  }

  // A last rename whose report proves every event before it was handled: what came before it is
  // then all there is.
  void Sentinel() {
    Write("w/sentinel", "");
    fs::rename(fDir / "w/sentinel", fDir / "w/sentinel2");
  }

  void Write(const std::string& rel, const std::string& bytes) { fDir.Write(rel, bytes); }
  void Move(const std::string& from, const std::string& to) { fs::rename(fDir / from, fDir / to); }

  TTempDir fDir;
  TQueueMainThread fLoop;
  TFolderMonitor fMonitor;
  std::vector<std::string> fReports;
};

struct TCase {
  const char* Name;
  bool Subtree;
  std::function<void(FolderMonitorTest&)> Prepare;
  std::function<void(FolderMonitorTest&)> Act;
  std::vector<std::string> Expected;
};

class FolderMonitorCases : public FolderMonitorTest {
 public:
  void Run(const TCase& c) {
    SCOPED_TRACE(c.Name);
    fs::remove_all(fDir / "w");
    fs::remove_all(fDir / "out");
    fs::create_directories(fDir / "w");
    fs::create_directories(fDir / "out");
    fReports.clear();
    fMonitor.SetActive(false);
    if (c.Prepare) c.Prepare(*this);
    ASSERT_EQ(Start(c.Subtree), 0);
    int folders = 1;
    if (c.Subtree) {
      for (const auto& e : fs::recursive_directory_iterator(fDir / "w")) folders += e.is_directory() ? 1 : 0;
    }
    ASSERT_TRUE(WaitForWatches(folders));
    c.Act(*this);
    Sentinel();
    std::vector<std::string> expected = c.Expected;
    expected.push_back("w/sentinel->w/sentinel2");
    WaitFor(expected.size());
    fLoop.WaitAndProcess(80ms);  // anything late would show up now
    EXPECT_EQ(fReports, expected);
  }
};

TEST_F(FolderMonitorCases, EachOperationGivesTheRenamesItMade) {
  const std::vector<TCase> cases = {
      {"one rename, one report", true, [](auto& t) { t.Write("w/x.txt", "x"); },
       [](auto& t) { t.Move("w/x.txt", "w/y.txt"); }, {"w/x.txt->w/y.txt"}},
      {"create, write and delete report nothing", true, nullptr,
       [](auto& t) {
         t.Write("w/new.txt", "1");
         std::ofstream(t.fDir / "w/new.txt", std::ios::app) << "more";
         fs::remove(t.fDir / "w/new.txt");
         fs::create_directories(t.fDir / "w/newdir");
         fs::remove(t.fDir / "w/newdir");
       },
       {}},
      {"a rename in a subfolder", true, [](auto& t) { t.Write("w/a/b/x", "x"); },
       [](auto& t) { t.Move("w/a/b/x", "w/a/b/y"); }, {"w/a/b/x->w/a/b/y"}},
      {"a rename in a subfolder is not seen without the subtree", false, [](auto& t) { t.Write("w/a/x", "x"); },
       [](auto& t) { t.Move("w/a/x", "w/a/y"); }, {}},
      {"a move between watched folders pairs", true,
       [](auto& t) {
         t.Write("w/a/x", "x");
         fs::create_directories(t.fDir / "w/b");
       },
       [](auto& t) { t.Move("w/a/x", "w/b/x"); }, {"w/a/x->w/b/x"}},
      {"a move out of the tree is no rename", true, [](auto& t) { t.Write("w/x", "x"); },
       [](auto& t) { t.Move("w/x", "out/x"); }, {}},
      {"a move into the tree is no rename", true, [](auto& t) { t.Write("out/x", "x"); },
       [](auto& t) { t.Move("out/x", "w/x"); }, {}},
      {"a folder rename is not a file rename", true, [](auto& t) { fs::create_directories(t.fDir / "w/d"); },
       [](auto& t) { t.Move("w/d", "w/e"); }, {}},
      {"a name that is not UTF-8 comes back byte for byte", true, [](auto& t) { t.Write("w/\xff\xfe.txt", "x"); },
       [](auto& t) { t.Move("w/\xff\xfe.txt", "w/\xfe\xff.txt"); }, {"w/\xff\xfe.txt->w/\xfe\xff.txt"}},
  };
  for (const TCase& c : cases) Run(c);
}

TEST_F(FolderMonitorTest, AFolderMadeAfterTheStartIsWatched) {
  fs::create_directories(fDir / "w");
  ASSERT_EQ(Start(), 0);
  ASSERT_TRUE(WaitForWatches(1));
  fs::create_directories(fDir / "w/later/deeper");
  ASSERT_TRUE(WaitForWatches(3));
  Write("w/later/deeper/x", "x");
  Move("w/later/deeper/x", "w/later/deeper/y");
  WaitFor(1);
  EXPECT_EQ(fReports, std::vector<std::string>{"w/later/deeper/x->w/later/deeper/y"});
}

TEST_F(FolderMonitorTest, AHundredQuickRenamesComeInOrder) {
  fs::create_directories(fDir / "w");
  for (int i = 0; i < 100; ++i) Write("w/f" + std::to_string(i), "x");
  ASSERT_EQ(Start(), 0);
  std::vector<std::string> expected;
  for (int i = 0; i < 100; ++i) {
    Move("w/f" + std::to_string(i), "w/g" + std::to_string(i));
    expected.push_back("w/f" + std::to_string(i) + "->w/g" + std::to_string(i));
  }
  WaitFor(100);
  EXPECT_EQ(fReports, expected);
}

TEST_F(FolderMonitorTest, ARenamedFolderReportsTheRenamesInsideItUnderItsNewPath) {
  Write("w/d/sub/x", "x");
  ASSERT_EQ(Start(true, fnFileName | fnDirName), 0);
  ASSERT_TRUE(WaitForWatches(3));
  Move("w/d", "w/e");
  Move("w/e/sub/x", "w/e/sub/y");
  WaitFor(2);
  EXPECT_EQ(fReports, (std::vector<std::string>{"w/d->w/e", "w/e/sub/x->w/e/sub/y"}));
}

TEST_F(FolderMonitorTest, AFolderMovedOutIsNoLongerWatched) {
  Write("w/d/x", "x");
  fs::create_directories(fDir / "out");
  ASSERT_EQ(Start(), 0);
  ASSERT_TRUE(WaitForWatches(2));
  Move("w/d", "out/d");
  Move("out/d/x", "out/d/y");
  Sentinel();
  WaitFor(1);
  fLoop.WaitAndProcess(80ms);
  EXPECT_EQ(fReports, std::vector<std::string>{"w/sentinel->w/sentinel2"});
  EXPECT_EQ(fMonitor.WatchCount(), 1);
}

TEST_F(FolderMonitorTest, StartingWithoutFoldersOrWithNoneThatExist) {
  EXPECT_EQ(fMonitor.SetActive(true), 0);  // nothing to watch: nothing starts, nothing fails
  EXPECT_FALSE(fMonitor.Active());
  fMonitor.SetFoldersList({fDir / "missing", fDir / "also-missing"});
  EXPECT_EQ(fMonitor.SetActive(true), ENOENT);
  EXPECT_FALSE(fMonitor.Active());
  // One folder that can be watched is enough; the others are skipped.
  fs::create_directories(fDir / "w");
  fMonitor.SetFoldersList({fDir / "missing", fDir / "w"});
  EXPECT_EQ(fMonitor.SetActive(true), 0);
  EXPECT_TRUE(fMonitor.Active());
  EXPECT_EQ(fMonitor.WatchCount(), 1);
}

TEST_F(FolderMonitorTest, NothingIsReportedAfterTheStop) {
  fs::create_directories(fDir / "w");
  Write("w/x", "x");
  ASSERT_EQ(Start(), 0);
  Move("w/x", "w/y");
  std::this_thread::sleep_for(100ms);  // the report is queued for the user-interface thread now
  fMonitor.SetActive(false);
  fLoop.WaitAndProcess(50ms);
  EXPECT_TRUE(fReports.empty());
  // Restarted, it reports again.
  ASSERT_EQ(fMonitor.SetActive(true), 0);
  Move("w/y", "w/z");
  WaitFor(1);
  EXPECT_EQ(fReports, std::vector<std::string>{"w/y->w/z"});
}

// The system's limit on watches: one clear line for the log, however many folders it leaves out,
// and the folders that are watched keep reporting.
TEST_F(FolderMonitorTest, TheWatchLimitGivesOneLogLine) {
  for (const char* d : {"a", "b", "c", "d", "e"}) Write(std::string("w/") + d + "/x", "x");
  static std::atomic<int> allowed;
  allowed = 3;
  struct TRestore {
    ~TRestore() { detail::InotifyAddWatch = ::inotify_add_watch; }
  } restore;
  detail::InotifyAddWatch = [](int fd, const char* path, std::uint32_t mask) {
    if (allowed-- <= 0) {
      errno = ENOSPC;
      return -1;
    }
    return ::inotify_add_watch(fd, path, mask);
  };
  std::vector<std::string> notices;
  fMonitor.OnNotice = [&](const std::string& line) { notices.push_back(line); };
  ASSERT_EQ(Start(), 0);
  ASSERT_TRUE(WaitForWatches(3));
  fs::create_directories(fDir / "w/later");  // refused as well, and not said again
  Sentinel();
  WaitFor(1);
  fLoop.WaitAndProcess(80ms);
  EXPECT_EQ(fReports, std::vector<std::string>{"w/sentinel->w/sentinel2"});
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_NE(notices[0].find("limit of inotify watches"), std::string::npos) << notices[0];
  EXPECT_NE(notices[0].find("max_user_watches"), std::string::npos) << notices[0];
  EXPECT_EQ(fMonitor.WatchCount(), 3);
}

// More events than the kernel queues: the monitor walks the folders again, says so once, and a
// folder made while events were being lost is watched all the same.
TEST_F(FolderMonitorTest, ALostEventQueueIsAnsweredByWalkingAgain) {
  int queued = 16384;
  std::ifstream("/proc/sys/fs/inotify/max_queued_events") >> queued;
  fs::create_directories(fDir / "w/flood");
  static std::atomic<bool> held, entered;
  held = true;
  entered = false;
  struct TRestore {
    ~TRestore() {
      held = false;
      detail::InotifyAddWatch = ::inotify_add_watch;
    }
  } restore;
  // The worker is kept busy placing the watch of "slow" while the queue overflows.
  detail::InotifyAddWatch = [](int fd, const char* path, std::uint32_t mask) {
    const std::string p(path);
    const auto until = std::chrono::steady_clock::now() + 20s;
    if (p.size() >= 5 && p.compare(p.size() - 5, 5, "/slow") == 0) {
      entered = true;
      while (held && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(1ms);
    }
    return ::inotify_add_watch(fd, path, mask);
  };
  std::vector<std::string> notices;
  fMonitor.OnNotice = [&](const std::string& line) { notices.push_back(line); };
  ASSERT_EQ(Start(), 0);
  ASSERT_TRUE(WaitForWatches(2));
  fs::create_directories(fDir / "w/slow");
  for (int i = 0; i < 5000 && !entered; ++i) std::this_thread::sleep_for(1ms);
  ASSERT_TRUE(entered);
  for (int i = 0; i < queued + 500; ++i) std::ofstream(fDir / ("w/flood/" + std::to_string(i)));
  fs::create_directories(fDir / "w/missed");
  held = false;
  ASSERT_TRUE(WaitForWatches(4));
  Write("w/missed/x", "x");
  Move("w/missed/x", "w/missed/y");
  WaitFor(1);
  EXPECT_EQ(fReports, std::vector<std::string>{"w/missed/x->w/missed/y"});
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_NE(notices[0].find("events were lost"), std::string::npos) << notices[0];
}

}  // namespace
}  // namespace pelcrow::platform
