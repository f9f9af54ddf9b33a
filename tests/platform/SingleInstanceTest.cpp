// One copy per user: the queue of handed-over folders, the lock and the wake-up socket.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <thread>
#include <filesystem>
#include <fstream>

#include "TestUtil.h"
#include "platform/SingleInstance.h"

namespace pelcrow::platform {
namespace {

using test::TTempDir;

// Socket paths are limited to 107 bytes; the build tree may lie deep, so the instance folder
// lives in a short temporary folder.
class TShortDir {
 public:
  TShortDir() {
    char tmpl[] = "/tmp/pcw-XXXXXX";
    fPath = ::mkdtemp(tmpl);
  }
  ~TShortDir() { std::filesystem::remove_all(fPath); }
  const std::string& path() const { return fPath; }

 private:
  std::string fPath;
};

TEST(ShellQueueTest, DrainsInQueuedOrderComparingNumbers) {
  TTempDir dir;
  TShellQueue queue(dir / "queue");
  std::vector<std::string> args;
  for (int i = 1; i <= 12; ++i) args.push_back("/data/" + std::to_string(i));
  ASSERT_TRUE(queue.Add(args, 4120));
  // Lexically 4120_10 would come before 4120_2.
  EXPECT_EQ(queue.Drain(), args);
  EXPECT_TRUE(queue.Drain().empty());
  EXPECT_TRUE(test::FolderEntries(dir / "queue").empty());
}

TEST(ShellQueueTest, OrphanedEntriesAreTakenAndStrangersIgnored) {
  TTempDir dir;
  // Written by copies that ended before anyone drained; one of them half-written.
  dir.Write("queue/200_7_1", "/b");
  dir.Write("queue/100_9_2", "/a2");
  dir.Write("queue/100_9_1", "/a1");
  dir.Write("queue/.300_1_1", "/half");
  dir.Write("queue/notes.txt", "x");
  TShellQueue queue(dir / "queue");
  EXPECT_EQ(queue.Drain(), (std::vector<std::string>{"/a1", "/a2", "/b"}));
  EXPECT_EQ(test::FolderEntries(dir / "queue"), (std::vector<std::string>{".300_1_1", "notes.txt"}));
}

TEST(ShellQueueTest, KeepsBytesOfNamesThatAreNotUtf8) {
  TTempDir dir;
  TShellQueue queue(dir / "queue");
  const std::string odd = "/data/a b\xff\xfe";
  ASSERT_TRUE(queue.Add({odd}, 1));
  EXPECT_EQ(queue.Drain(), std::vector<std::string>{odd});
}

TEST(SingleInstanceTest, SecondCopyWakesTheFirstAndFirstDrainsItsFolders) {
  TShortDir dir;
  TSingleInstance first(dir.path());
  ASSERT_TRUE(first.CheckSingleInstance());
  ASSERT_GE(first.ServerHandle(), 0);
  EXPECT_FALSE(first.AcceptWakeUps());

  TSingleInstance second(dir.path());
  second.ShellQueueAdd({"/x/one", "/x/two"});
  EXPECT_FALSE(second.CheckSingleInstance(200));
  EXPECT_TRUE(first.AcceptWakeUps());
  EXPECT_EQ(first.DrainQueue(), (std::vector<std::string>{"/x/one", "/x/two"}));

  EXPECT_EQ(first.ActivationToken(), "");

  // Without arguments a later start only pokes, handing on its activation token.
  {
    test::TScopedEnv token("XDG_ACTIVATION_TOKEN", std::string("kwin-4711"));
    TSingleInstance third(dir.path());
    EXPECT_FALSE(third.CheckSingleInstance(200));
  }
  EXPECT_TRUE(first.AcceptWakeUps());
  EXPECT_EQ(first.ActivationToken(), "kwin-4711");
  EXPECT_TRUE(first.DrainQueue().empty());
}

TEST(SingleInstanceTest, SimultaneousStartsLeaveOneCopyAndLoseNothing) {
  TShortDir dir;
  constexpr int kStarts = 10;
  std::vector<std::unique_ptr<TSingleInstance>> copies;
  for (int i = 0; i < kStarts; ++i) copies.push_back(std::make_unique<TSingleInstance>(dir.path()));
  std::vector<int> first(kStarts, 0);
  std::vector<std::thread> starts;
  for (int i = 0; i < kStarts; ++i) {
    starts.emplace_back([&, i] {
      copies[i]->ShellQueueAdd({"/start/" + std::to_string(i)});
      first[i] = copies[i]->CheckSingleInstance(2000) ? 1 : 0;
    });
  }
  for (auto& t : starts) t.join();
  ASSERT_EQ(std::count(first.begin(), first.end(), 1), 1);
  TSingleInstance& winner = *copies[std::find(first.begin(), first.end(), 1) - first.begin()];
  std::vector<std::string> drained = winner.DrainQueue();
  std::sort(drained.begin(), drained.end());
  std::vector<std::string> expected;
  for (int i = 0; i < kStarts; ++i) expected.push_back("/start/" + std::to_string(i));
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(drained, expected);
}

TEST(SingleInstanceTest, NextStartAfterTheFirstEndedIsFirstAgain) {
  TShortDir dir;
  {
    TSingleInstance first(dir.path());
    ASSERT_TRUE(first.CheckSingleInstance());
  }
  TSingleInstance again(dir.path());
  EXPECT_TRUE(again.CheckSingleInstance());
}

TEST(SingleInstanceTest, SocketLeftByACrashedCopyDoesNotBlockListening) {
  TShortDir dir;
  // A bound socket whose owner died: the file stays, nobody listens.
  {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string path = dir.path() + "/instance.sock";
    std::memcpy(addr.sun_path, path.c_str(), path.size());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ::close(fd);
  }
  TSingleInstance first(dir.path());
  ASSERT_TRUE(first.CheckSingleInstance(200));
  EXPECT_GE(first.ServerHandle(), 0);
  EXPECT_TRUE(WakeRunningInstance(first.SocketPath()));
  EXPECT_TRUE(first.AcceptWakeUps());
}

TEST(SingleInstanceTest, LockHeldWithoutListenerQueuesAndGivesUp) {
  TShortDir dir;
  // A copy that holds the lock but is not listening yet (still starting).
  const int lock = ::open((dir.path() + "/instance.lock").c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_EQ(::flock(lock, LOCK_EX | LOCK_NB), 0);
  TSingleInstance late(dir.path());
  late.ShellQueueAdd({"/q"});
  EXPECT_FALSE(late.CheckSingleInstance(150));
  // The holder drains once it listens.
  EXPECT_EQ(TShellQueue(dir.path() + "/queue").Drain(), std::vector<std::string>{"/q"});
  ::close(lock);
}

TEST(SingleInstanceTest, NoUsableFolderCountsAsFirst) {
  TSingleInstance nowhere("");
  EXPECT_TRUE(nowhere.CheckSingleInstance());
  EXPECT_TRUE(nowhere.DrainQueue().empty());
}

TEST(SingleInstanceTest, InstanceFolderIsPrivate) {
  TShortDir dir;
  test::TScopedEnv rt("XDG_RUNTIME_DIR", dir.path());
  const std::string folder = GetInstanceDirectory();
  ASSERT_EQ(folder, dir.path() + "/pelcrow");
  EXPECT_EQ(std::filesystem::status(folder).permissions() & std::filesystem::perms::all, std::filesystem::perms::owner_all);
}

struct TAbsCase {
  std::vector<std::string> Args;
  std::vector<std::string> Expected;
};

class MakeArgumentsAbsoluteTest : public ::testing::TestWithParam<TAbsCase> {};

TEST_P(MakeArgumentsAbsoluteTest, ResolvesAgainstTheWorkingFolder) {
  EXPECT_EQ(MakeArgumentsAbsolute(GetParam().Args, "/home/ann/work"), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MakeArgumentsAbsoluteTest,
    ::testing::Values(TAbsCase{{"pics"}, {"/home/ann/work/pics"}}, TAbsCase{{"/abs//x/"}, {"/abs/x"}},
                      TAbsCase{{"../b", "./c/.."}, {"/home/ann/b", "/home/ann/work"}},
                      TAbsCase{{"", "a b"}, {"/home/ann/work/a b"}}, TAbsCase{{"/.."}, {"/"}}),
    [](const auto& p) { return "Case" + std::to_string(p.index); });

}  // namespace
}  // namespace pelcrow::platform
