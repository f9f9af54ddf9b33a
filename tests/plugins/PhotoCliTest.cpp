#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

#include <sys/wait.h>
#include <unistd.h>

#include "PhotoFixtures.h"

namespace pelcrow {
namespace {

std::string Cli(const test::TTempDir& dir, const std::string& args) {
  return test::RunOutput("XDG_STATE_HOME=" + test::Quoted(dir / "state") + " " + test::CliPath() + " " + args);
}

// Scan, delete all but one copy into Shotwell's trash, undo: the library's own rows say where
// each picture is, and no picture file is touched.
TEST(PhotoCli, DeletesIntoShotwellsTrashAndUndoes) {
  test::TTempDir dir;
  test::TShotwellLibrary lib(dir);
  lib.Event(1, "Holiday");
  lib.Event(2, "Garden");
  const std::string a = dir.Write("pics/a.jpg", "same"), b = dir.Write("pics/b.jpg", "same");
  lib.Photo(1, a, 1, 1500000000);
  lib.Photo(2, b, 2, 1600000000);
  lib.Photo(3, dir.Write("pics/c.jpg", "other"), 2);
  lib.Photo(4, dir / "pics/gone.jpg", 2);
  const std::string mode = " --mode photos --library " + test::Quoted(lib.Db);

  EXPECT_EQ(Cli(dir, "scan" + mode), b + "\n" + a + "\n" + "pelcrow-cli: photo 4 in Garden/ left out (missing): " +
                                         (dir / "pics/gone.jpg") + "\n");
  EXPECT_EQ(Cli(dir, "scan --folder Holiday" + mode), "");
  const std::string json = Cli(dir, "scan --format json --folder Holiday --folder Garden/" + mode);
  EXPECT_NE(json.find("\"DuplicateFiles\": 1"), std::string::npos) << json;
  EXPECT_NE(Cli(dir, "scan --folder Nowhere" + mode).find("no album Nowhere/"), std::string::npos);
  lib.Sql("delete from PhotoTable where id = 4");

  EXPECT_EQ(Cli(dir, "scan --select oldest --action delete --dry-run --folder Holiday --folder Garden" + mode),
            "would trash " + b + " -> the photo library's trash\n");
  EXPECT_EQ(lib.Trashed(2), "0\n");
  EXPECT_EQ(Cli(dir, "scan --select oldest --action delete --folder Holiday --folder Garden" + mode),
            "trashed " + b + " -> the photo library's trash\n");
  EXPECT_EQ(lib.Trashed(2), "1\n");
  EXPECT_EQ(lib.Trashed(1), "0\n");
  EXPECT_TRUE(std::filesystem::exists(b));  // Shotwell's trash keeps the file where it is
  EXPECT_EQ(Cli(dir, "scan" + mode).find(b), std::string::npos);  // and the next scan no longer sees it
  const std::string list = Cli(dir, "undo --list");
  EXPECT_NE(list.find("trashed pictures  1 to undo"), std::string::npos) << list;

  EXPECT_EQ(Cli(dir, "undo"), "restored " + b + "\n");
  EXPECT_EQ(lib.Trashed(2), "0\n");
  EXPECT_NE(Cli(dir, "undo").find("nothing left to undo"), std::string::npos);
}

// A process named shotwell of this user, on the data folder (the name comes from the file it
// was started as; the shell stays, waiting for its sleep).
pid_t StartShotwell(const test::TTempDir& dir, const std::string& dataFolder) {
  const std::string fake = dir / "bin/shotwell";
  if (!std::filesystem::exists(fake)) {
    std::filesystem::create_directories(dir / "bin");
    std::filesystem::create_symlink("/bin/sh", fake);
  }
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setpgid(0, 0);  // with its sleep, ended as one group
    ::execl(fake.c_str(), "shotwell", "-c", "sleep 30; :", "-d", dataFolder.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::usleep(200000);
  return pid;
}

TEST(PhotoCli, NeverChangesTheLibraryWhileShotwellRunsOnIt) {
  test::TTempDir dir;
  test::TShotwellLibrary lib(dir);
  lib.Event(1, "Holiday");
  lib.Photo(1, dir.Write("pics/a.jpg", "same"), 1, 1500000000);
  lib.Photo(2, dir.Write("pics/b.jpg", "same"), 1, 1600000000);
  const std::string mode = " --mode photos --library " + test::Quoted(lib.Db);
  const pid_t other = StartShotwell(dir, dir / "elsewhere");
  const pid_t ours = StartShotwell(dir, dir / "shotwell");
  const std::string out = Cli(dir, "scan --select oldest --action delete" + mode);
  EXPECT_NE(out.find("failed " + (dir / "pics/b.jpg") + ": Shotwell is running"), std::string::npos) << out;
  EXPECT_EQ(lib.Trashed(2), "0\n");
  // Ended but not yet reaped, it writes nothing any more; the Shotwell of another library never
  // writes this one: the library may change.
  ::kill(-ours, SIGTERM);
  siginfo_t info{};
  ::waitid(P_PID, static_cast<id_t>(ours), &info, WEXITED | WNOWAIT);
  EXPECT_EQ(Cli(dir, "scan --select oldest --action delete" + mode),
            "trashed " + (dir / "pics/b.jpg") + " -> the photo library's trash\n");
  EXPECT_EQ(lib.Trashed(2), "1\n");
  ::kill(-other, SIGTERM);
  ::waitpid(ours, nullptr, 0);
  ::waitpid(other, nullptr, 0);
}

TEST(PhotoCli, SaysWhenThereIsNoLibraryAndRefusesOtherActions) {
  test::TTempDir dir;
  const std::string out = Cli(dir, "scan --mode photos --library " + test::Quoted(dir / "none.db"));
  EXPECT_EQ(out, "pelcrow-cli: cannot open the photo library: no photo library the scripts can read is at " +
                     (dir / "none.db") + " (--library names another)\n");
  EXPECT_NE(Cli(dir, "scan --mode photos --select oldest --action move /tmp").find("photo mode has one action"),
            std::string::npos);
  EXPECT_NE(Cli(dir, "scan --mode photos /tmp").find("use --library and --folder"), std::string::npos);
}

}  // namespace
}  // namespace pelcrow
