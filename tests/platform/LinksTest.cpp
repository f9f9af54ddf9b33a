#include "platform/Links.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "TestUtil.h"
#include "platform/MountTable.h"

namespace pelcrow::platform {
namespace {

namespace fs = std::filesystem;

TEST(LinksTest, ProbesOnEveryKindOfObject) {
  test::TTempDir dir;
  dir.Write("file", "x");
  dir.Write("linked", "y");
  fs::create_hard_link(dir / "linked", dir / "linked-2");
  fs::create_directory(dir / "folder");
  fs::create_symlink(dir / "file", dir / "to-file");
  fs::create_symlink(dir / "linked", dir / "to-linked");
  fs::create_directory_symlink(dir / "folder", dir / "to-folder");
  fs::create_symlink("folder", dir / "to-folder-relative");
  fs::create_symlink(dir / "to-folder", dir / "to-to-folder");
  fs::create_symlink(dir / "missing", dir / "dangling");
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);

  struct TCase {
    std::string Name;
    bool Junction, HardLink, SymLink;
  };
  for (const TCase& c : {TCase{"file", false, false, false},
                         {"linked", false, true, false},
                         {"linked-2", false, true, false},
                         {"folder", false, false, false},
                         {"to-file", false, false, true},
                         {"to-linked", false, true, true},  // the link is followed to the file
                         {"to-folder", true, false, true},
                         {"to-folder-relative", true, false, true},
                         {"to-to-folder", true, false, true},
                         {"dangling", false, false, true},
                         {"fifo", false, false, false},
                         {"missing", false, false, false}}) {
    const std::string p = dir / c.Name;
    EXPECT_EQ(IsJunction(p), c.Junction) << c.Name;
    EXPECT_EQ(IsHardLink(p), c.HardLink) << c.Name;
    EXPECT_EQ(IsSymbolicLinkFile(p), c.SymLink) << c.Name;
  }
  EXPECT_FALSE(IsJunction(""));
  EXPECT_FALSE(IsHardLink(""));
  EXPECT_FALSE(IsSymbolicLinkFile(""));
  EXPECT_FALSE(IsJunction("/"));
}

// Bind mounts are junctions, plain mounts of a volume are not. Needs the right to mount.
TEST(LinksTest, BindMountIsAJunctionAndAVolumeIsNot) {
  test::TTempDir dir;
  fs::create_directories(dir / "source/inner");
  fs::create_directories(dir / "bind");
  fs::create_directories(dir / "volume");
  if (::mount(dir.path().c_str(), (dir / "bind").c_str(), nullptr, MS_BIND, nullptr) != 0)
    GTEST_SKIP() << "cannot bind-mount here";
  const bool volumeMounted = ::mount("tmpfs", (dir / "volume").c_str(), "tmpfs", 0, "size=64k") == 0;
  EXPECT_TRUE(IsJunction(dir / "bind"));
  EXPECT_FALSE(IsJunction(dir / "bind/source"));  // below the bind: an ordinary folder
  if (volumeMounted) {
    EXPECT_FALSE(IsJunction(dir / "volume"));
    ::umount2((dir / "volume").c_str(), MNT_DETACH);
  }
  ::umount2((dir / "bind").c_str(), MNT_DETACH);
  EXPECT_FALSE(IsJunction(dir / "bind"));
}

TEST(MountTableTest, ParsesMountInfoLines) {
  const char* text =
      "22 28 0:21 / /proc rw,relatime - proc proc rw\n"
      "28 1 254:0 / / rw,relatime shared:1 - ext4 /dev/vda rw,discard\n"
      "46 28 7:0 / /media/my\\040disk rw,relatime shared:5 master:2 - ext4 /dev/loop0 rw\n"
      "47 28 254:0 /srv/data /mnt/data rw - ext4 /dev/vda rw\n"
      "garbage line\n"
      "48 28 0:40 /@home /home rw - btrfs /dev/sdb rw,subvol=/@home\n"
      "49 28 0:40 /@home/ann /mnt/ann rw - btrfs /dev/sdb rw,subvol=/@home\n"
      "50 28 254:0 / /mnt/again rw - ext4 /dev/vda rw\n";
  const std::vector<TMountEntry> t = ParseMountInfo(text);
  ASSERT_EQ(t.size(), 7u);
  EXPECT_EQ(t[0].MountPoint, "/proc");
  EXPECT_EQ(t[0].FsType, "proc");
  EXPECT_EQ(t[1].Major, 254u);
  EXPECT_EQ(t[1].Minor, 0u);
  EXPECT_EQ(t[2].MountPoint, "/media/my disk");
  EXPECT_EQ(t[2].FsType, "ext4");
  EXPECT_EQ(t[2].Source, "/dev/loop0");
  EXPECT_EQ(t[3].Root, "/srv/data");
  EXPECT_EQ(t[4].SuperOptions, "rw,subvol=/@home");

  struct TBindCase {
    std::size_t Index;
    bool Bind;
  };
  for (TBindCase c : {TBindCase{0, false}, {1, false}, {2, false}, {3, true}, {4, false}, {5, true}, {6, true}})
    EXPECT_EQ(IsBindMount(t, c.Index), c.Bind) << t[c.Index].MountPoint;
  EXPECT_FALSE(IsBindMount(t, 99));

  struct TFindCase {
    const char* Path;
    const char* MountPoint;
  };
  for (TFindCase c : {TFindCase{"/", "/"},
                      {"/etc/passwd", "/"},
                      {"/media/my disk", "/media/my disk"},
                      {"/media/my disk/a/b", "/media/my disk"},
                      {"/media/my diskette", "/"},
                      {"/proc/1", "/proc"},
                      {"/home/ann", "/home"}}) {
    const int i = FindMountOf(t, c.Path);
    ASSERT_GE(i, 0) << c.Path;
    EXPECT_EQ(t[static_cast<std::size_t>(i)].MountPoint, c.MountPoint) << c.Path;
  }
  // A later mount on the same point hides the earlier one.
  const std::vector<TMountEntry> stacked = ParseMountInfo(
      "1 0 8:1 / / rw - ext4 a rw\n2 1 8:2 / /m rw - ext4 b rw\n3 1 8:3 / /m rw - ext4 c rw\n");
  EXPECT_EQ(FindMountOf(stacked, "/m/x"), 2);
  EXPECT_EQ(FindMountOf({}, "/x"), -1);
}

TEST(MountTableTest, ReadsThisProcessesMounts) {
  const std::vector<TMountEntry> t = ReadMountTable();
  ASSERT_FALSE(t.empty());
  EXPECT_GE(FindMountOf(t, "/"), 0);
  EXPECT_TRUE(IsPathOrParentOf("/a", "/a/b"));
  EXPECT_TRUE(IsPathOrParentOf("/a", "/a"));
  EXPECT_FALSE(IsPathOrParentOf("/a", "/ab"));
  EXPECT_TRUE(IsPathOrParentOf("/", "/ab"));
}

}  // namespace
}  // namespace pelcrow::platform
