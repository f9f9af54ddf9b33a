// The folder tree's data: which top nodes exist, the kinds of volumes, the subfolders offered,
// and typed paths.
#include <gtest/gtest.h>

#include <filesystem>

#include "TestUtil.h"
#include "platform/FolderTree.h"

namespace pelcrow::platform {
namespace {

using test::TTempDir;

TMountEntry Mount(std::string point, std::string fs, std::string source) {
  TMountEntry m;
  m.MountPoint = std::move(point);
  m.FsType = std::move(fs);
  m.Source = std::move(source);
  m.Root = "/";
  return m;
}

struct TKindCase {
  const char* Point;
  const char* Fs;
  const char* Source;
  TFolderNodeKind Kind;
};
void PrintTo(const TKindCase& c, std::ostream* os) { *os << c.Point << " " << c.Fs; }

class VolumeKindTest : public ::testing::TestWithParam<TKindCase> {};

TEST_P(VolumeKindTest, FromTypeAndPlace) {
  const TKindCase& c = GetParam();
  EXPECT_EQ(VolumeKind(Mount(c.Point, c.Fs, c.Source)), c.Kind);
}

INSTANTIATE_TEST_SUITE_P(
    Mounts, VolumeKindTest,
    ::testing::Values(TKindCase{"/", "ext4", "/dev/sda1", fkFolder},
                      TKindCase{"/data", "ext4", "/dev/sdb1", fkVolume},
                      TKindCase{"/media/ann/USB", "vfat", "/dev/sdc1", fkRemovable},
                      TKindCase{"/run/media/ann/Stick", "exfat", "/dev/sdd1", fkRemovable},
                      TKindCase{"/mnt/nas", "nfs4", "nas:/export", fkNetwork},
                      TKindCase{"/mnt/share", "cifs", "//srv/share", fkNetwork},
                      TKindCase{"/home/ann/remote", "fuse.sshfs", "ann@host:", fkNetwork},
                      TKindCase{"/media/cdrom", "iso9660", "/dev/sr0", fkOptical},
                      TKindCase{"/tmp", "tmpfs", "tmpfs", fkRamDisk},
                      TKindCase{"/proc", "proc", "proc", fkFolder},
                      TKindCase{"/sys/fs/cgroup", "cgroup2", "cgroup2", fkFolder},
                      TKindCase{"/run/user/1000", "tmpfs", "tmpfs", fkFolder},
                      TKindCase{"/dev/shm", "tmpfs", "tmpfs", fkFolder},
                      TKindCase{"/boot/efi", "vfat", "/dev/sda2", fkFolder},
                      TKindCase{"/snap/core/1", "squashfs", "/dev/loop0", fkFolder},
                      TKindCase{"/merged", "overlay", "overlay", fkFolder}),
    [](const auto& p) { return "Case" + std::to_string(p.index); });

TEST(FolderTreeTest, RootsAreHomeDesktopFileSystemThenVolumes) {
  const std::vector<TMountEntry> mounts = {Mount("/", "ext4", "/dev/sda1"), Mount("/proc", "proc", "proc"),
                                           Mount("/home/ann", "ext4", "/dev/sda3"),
                                           Mount("/media/ann/USB", "vfat", "/dev/sdc1"),
                                           Mount("/media/ann/USB", "vfat", "/dev/sdc1"),
                                           Mount("/mnt/nas", "nfs", "nas:/x")};
  const auto roots = GetFolderTreeRoots(mounts, "/home/ann/", "/home/ann/Desktop");
  const std::vector<TFolderNode> expected = {{"Home", "/home/ann", fkHome},
                                             {"Desktop", "/home/ann/Desktop", fkDesktop},
                                             {"File System", "/", fkFileSystem},
                                             {"USB", "/media/ann/USB", fkRemovable},
                                             {"nas", "/mnt/nas", fkNetwork}};
  EXPECT_EQ(roots, expected);
  // A desktop that is the home folder itself is not shown twice.
  EXPECT_EQ(GetFolderTreeRoots({}, "/home/ann", "/home/ann").size(), 2u);
}

TEST(FolderTreeTest, SubfoldersSortedWithoutFilesLinksOrHiddenFolders) {
  TTempDir dir;
  for (const char* d : {"beta", "Alpha", "gamma", ".hidden"}) std::filesystem::create_directories(dir / d);
  dir.Write("file.txt", "x");
  std::filesystem::create_directory_symlink(dir / "beta", dir / "link");
  auto options = TPcwScanOptions::FromBits(kDefaultScanOptions).Exclude(soSkipTemp);
  std::vector<std::string> names;
  for (const auto& n : ListSubfolders(dir.path(), options)) {
    names.push_back(n.Caption);
    EXPECT_EQ(n.Path, dir / n.Caption);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "beta", "gamma"}));
  auto withHidden = options;
  withHidden.Include(soIncludeHidden);
  EXPECT_EQ(ListSubfolders(dir.path(), withHidden).size(), 4u);
  EXPECT_TRUE(ListSubfolders(dir / "missing", options).empty());
}

TEST(FolderTreeTest, SystemFoldersAreNotOfferedWhileSkipped) {
  auto skip = TPcwScanOptions::FromBits(kDefaultScanOptions);
  std::vector<std::string> top;
  for (const auto& n : ListSubfolders("/", skip)) top.push_back(n.Path);
  for (const char* sys : {"/proc", "/sys", "/usr", "/etc"}) {
    EXPECT_EQ(std::count(top.begin(), top.end(), sys), 0) << sys;
  }
  std::vector<std::string> all;
  for (const auto& n : ListSubfolders("/", skip.Exclude(soSkipSysAppFolders))) all.push_back(n.Path);
  EXPECT_EQ(std::count(all.begin(), all.end(), "/usr"), 1);
}

struct TTypedCase {
  const char* Typed;
  const char* Entry;
};

class NormalizeTypedPathTest : public ::testing::TestWithParam<TTypedCase> {};

TEST_P(NormalizeTypedPathTest, BecomesAFolderEntry) {
  EXPECT_EQ(NormalizeTypedPath(GetParam().Typed, "/home/ann"), GetParam().Entry);
}

INSTANTIATE_TEST_SUITE_P(Cases, NormalizeTypedPathTest,
                         ::testing::Values(TTypedCase{"/data//photos", "/data/photos/"},
                                           TTypedCase{"  /data/x/  ", "/data/x/"},
                                           TTypedCase{"~", "/home/ann/"}, TTypedCase{"~/Music", "/home/ann/Music/"},
                                           TTypedCase{"~ann", "~ann/"}, TTypedCase{"*/Temp", "*/Temp/"},
                                           TTypedCase{"   ", ""}, TTypedCase{"/", "/"},
                                           TTypedCase{"test/B", "/home/ann/test/B/"},
                                           TTypedCase{"./test/../Music/.", "/home/ann/Music/"},
                                           TTypedCase{"/data/../../x", "/x/"}, TTypedCase{"a*/b", "a*/b/"}),
    [](const auto& p) { return "Case" + std::to_string(p.index); });

TEST(FolderTreeTest, FolderEntryHasOneTrailingSlash) {
  EXPECT_EQ(FolderEntry("/a/b"), "/a/b/");
  EXPECT_EQ(FolderEntry("/a/b//"), "/a/b/");
  EXPECT_EQ(FolderEntry("/"), "/");
}

}  // namespace
}  // namespace pelcrow::platform
