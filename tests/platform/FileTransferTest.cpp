#include "platform/FileTransfer.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <random>
#include <string>

#include "TestUtil.h"

namespace pelcrow::platform {
namespace {

namespace fs = std::filesystem;
using test::FolderEntries;
using test::ReadAll;

// An old time with a nanosecond part: a copy or restore that drops either shows.
const TDateTime kOldTime = TDateTime::FromUnix(1000000000, 123456789);

struct stat StatOf(const std::string& path) {
  struct stat st {};
  ::lstat(path.c_str(), &st);
  return st;
}

std::int64_t MTimeNs(const std::string& path) {
  const struct stat st = StatOf(path);
  return st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
}

std::string RandomBytes(std::size_t n) {
  std::mt19937 gen(42);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(gen() & 0xFF);
  return s;
}

// A small tmpfs inside the test folder (needs root); unmounted at the end.
class TSmallVolume {
 public:
  TSmallVolume(const std::string& dir, const char* size) : fDir(dir) {
    fs::create_directories(dir);
    const std::string options = std::string("size=") + size;
    fMounted = ::mount("tmpfs", dir.c_str(), "tmpfs", 0, options.c_str()) == 0;
  }
  ~TSmallVolume() {
    if (fMounted) ::umount2(fDir.c_str(), MNT_DETACH);
  }
  bool Mounted() const { return fMounted; }

 private:
  std::string fDir;
  bool fMounted = false;
};

TEST(FileTransferTest, CopyKeepsBytesPermissionsAndTimes) {
  test::TTempDir dir;
  const std::string contents[] = {std::string(), std::string("x"), std::string("a\0b\r\n\xFF", 6),
                                  RandomBytes(3 * 1024 * 1024 + 17)};
  int n = 0;
  for (const std::string& bytes : contents) {
    SCOPED_TRACE(bytes.size());
    const std::string src = dir.Write("src" + std::to_string(n), bytes);
    const std::string dst = dir / ("sub/dst" + std::to_string(n++));
    fs::create_directories(dir / "sub");
    ASSERT_EQ(::chmod(src.c_str(), 0640), 0);
    ASSERT_EQ(WriteFileTimes(src, kOldTime, kOldTime), 0);
    ASSERT_EQ(CopyFileNoOverwrite(src, dst), 0);
    EXPECT_EQ(ReadAll(dst), bytes);
    EXPECT_EQ(StatOf(dst).st_mode & 07777, 0640u);
    EXPECT_EQ(MTimeNs(dst), kOldTime.UnixNanoseconds());
    EXPECT_EQ(ReadAll(src), bytes);
  }
  // No temporary file is left beside the copies.
  EXPECT_EQ(FolderEntries(dir / "sub"), (std::vector<std::string>{"dst0", "dst1", "dst2", "dst3"}));
}

TEST(FileTransferTest, CopyRefusesAndLeavesNothing) {
  test::TTempDir dir;
  const std::string src = dir.Write("src", "new");
  const std::string existing = dir.Write("existing", "old");
  fs::create_directories(dir / "folder");
  struct TCase {
    std::string Source, Target;
    int Error;
  };
  for (const TCase& c : {TCase{src, existing, EEXIST},
                         {src, dir / "folder", EEXIST},
                         {dir / "missing", dir / "t1", ENOENT},
                         {dir / "folder", dir / "t2", EISDIR},
                         {src, dir / "no-such-folder/t3", ENOENT}}) {
    SCOPED_TRACE(c.Source + " -> " + c.Target);
    EXPECT_EQ(CopyFileNoOverwrite(c.Source, c.Target), c.Error);
  }
  EXPECT_EQ(ReadAll(existing), "old");
  EXPECT_EQ(FolderEntries(dir.path()), (std::vector<std::string>{"existing", "folder", "src"}));
  EXPECT_TRUE(FolderEntries(dir / "folder").empty());
}

TEST(FileTransferTest, FullVolumeLeavesNoPartialTarget) {
  test::TTempDir dir;
  TSmallVolume volume(dir / "vol", "64k");
  if (!volume.Mounted()) GTEST_SKIP() << "cannot mount a tmpfs here";
  const std::string bytes = RandomBytes(1024 * 1024);
  const std::string src = dir.Write("big", bytes);
  EXPECT_EQ(CopyFileNoOverwrite(src, dir / "vol/big"), ENOSPC);
  // Across file systems a move is a copy: it fails the same way and keeps the source.
  EXPECT_EQ(MoveFileNoOverwrite(src, dir / "vol/big"), ENOSPC);
  EXPECT_TRUE(FolderEntries(dir / "vol").empty());
  EXPECT_EQ(ReadAll(src), bytes);
}

TEST(FileTransferTest, MoveWithinAVolumeRenames) {
  test::TTempDir dir;
  const std::string src = dir.Write("a/src", "content");
  const ino_t inode = StatOf(src).st_ino;
  fs::create_directories(dir / "b");
  ASSERT_EQ(MoveFileNoOverwrite(src, dir / "b/dst"), 0);
  EXPECT_FALSE(PathExists(src));
  EXPECT_EQ(ReadAll(dir / "b/dst"), "content");
  EXPECT_EQ(StatOf(dir / "b/dst").st_ino, inode);

  const std::string other = dir.Write("a/other", "other");
  EXPECT_EQ(MoveFileNoOverwrite(other, dir / "b/dst"), EEXIST);
  EXPECT_EQ(ReadAll(other), "other");
  EXPECT_EQ(ReadAll(dir / "b/dst"), "content");
  EXPECT_EQ(MoveFileNoOverwrite(dir / "a/missing", dir / "b/x"), ENOENT);
  EXPECT_FALSE(PathExists(dir / "b/x"));
}

TEST(FileTransferTest, MoveAcrossVolumesCopiesAndRemovesTheSource) {
  test::TTempDir dir;
  TSmallVolume volume(dir / "vol", "8m");
  if (!volume.Mounted()) GTEST_SKIP() << "cannot mount a tmpfs here";
  const std::string bytes = RandomBytes(2 * 1024 * 1024 + 5);
  const std::string src = dir.Write("src", bytes);
  ASSERT_EQ(WriteFileTimes(src, kOldTime, kOldTime), 0);
  ASSERT_EQ(MoveFileNoOverwrite(src, dir / "vol/dst"), 0);
  EXPECT_FALSE(PathExists(src));
  EXPECT_EQ(ReadAll(dir / "vol/dst"), bytes);
  EXPECT_EQ(MTimeNs(dir / "vol/dst"), kOldTime.UnixNanoseconds());

  // Back again onto a name that is taken: nothing moves.
  const std::string taken = dir.Write("taken", "mine");
  EXPECT_EQ(MoveFileNoOverwrite(dir / "vol/dst", taken), EEXIST);
  EXPECT_EQ(ReadAll(taken), "mine");
  EXPECT_EQ(ReadAll(dir / "vol/dst"), bytes);
  EXPECT_EQ(FolderEntries(dir / "vol"), (std::vector<std::string>{"dst"}));
}

TEST(FileTransferTest, TimesRoundTripAndNeverFollowALink) {
  test::TTempDir dir;
  const std::string file = dir.Write("file", "x");
  const TDateTime before = TDateTime::Now();
  TFileTimes t;
  ASSERT_EQ(ReadFileTimes(file, t), 0);
  // ext4, btrfs, xfs and tmpfs keep a birth time; where none is kept it reads as zero.
  if (!t.Created.IsZero()) {
    EXPECT_LE(t.Created.UnixNanoseconds(), before.UnixNanoseconds());
  }

  const TDateTime accessed = TDateTime::FromUnix(1100000000, 5);
  ASSERT_EQ(WriteFileTimes(file, accessed, kOldTime), 0);
  ASSERT_EQ(ReadFileTimes(file, t), 0);
  EXPECT_EQ(t.Accessed, accessed);
  EXPECT_EQ(t.Modified, kOldTime);

  fs::create_symlink(file, dir / "link");
  ASSERT_EQ(WriteFileTimes(dir / "link", TDateTime::FromUnix(5), TDateTime::FromUnix(5)), 0);
  EXPECT_EQ(MTimeNs(file), kOldTime.UnixNanoseconds());
  EXPECT_EQ(ReadFileTimes(dir / "missing", t), ENOENT);
  EXPECT_EQ(WriteFileTimes(dir / "missing", kOldTime, kOldTime), ENOENT);
}

TEST(FileTransferTest, FoldersAndLinks) {
  test::TTempDir dir;
  const TDateTime before = TDateTime::Now();
  ASSERT_EQ(CreateFolders(dir / "a/b/c"), 0);
  EXPECT_EQ(CreateFolders(dir / "a/b/c"), 0);
  const std::string file = dir.Write("file", "x");
  EXPECT_EQ(CreateFolders(dir / "file/sub"), ENOTDIR);
  EXPECT_EQ(CreateFolders(file), ENOTDIR);

  TDateTime created;
  ASSERT_EQ(FolderCreationTime(dir / "a/b/c", created), 0);
  EXPECT_GE(created.UnixNanoseconds() + 2000000000LL, before.UnixNanoseconds());
  EXPECT_LE(created, TDateTime::Now());
  EXPECT_EQ(FolderCreationTime(dir / "none", created), ENOENT);

  EXPECT_EQ(RemoveEmptyFolder(dir / "a/b"), ENOTEMPTY);
  EXPECT_EQ(RemoveEmptyFolder(dir / "a/b/c"), 0);
  EXPECT_FALSE(PathExists(dir / "a/b/c"));

  fs::create_symlink(dir / "gone", dir / "dangling");
  EXPECT_TRUE(PathExists(dir / "dangling"));
  EXPECT_TRUE(IsSymLink(dir / "dangling"));
  EXPECT_FALSE(IsSymLink(file));
  EXPECT_EQ(DeleteFileOrLink(dir / "dangling"), 0);
  EXPECT_FALSE(PathExists(dir / "dangling"));
  EXPECT_EQ(DeleteFileOrLink(dir / "a"), EISDIR);
}

}  // namespace
}  // namespace pelcrow::platform
