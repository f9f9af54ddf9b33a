#include "platform/FileSystem.h"
#include "platform/FolderFiles.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <map>

#include "TestUtil.h"

namespace pelcrow::platform {
namespace {

// Entries are stat-ed by name through the open folder: links are not followed by LStatAt, are by
// StatAt; a link to the folder itself is listed only when the caller follows it.
TEST(TDirectoryTest, ListsAndStatsEntriesByName) {
  test::TTempDir dir;
  dir.Write("d/file", "12345");
  ASSERT_EQ(::symlink("file", (dir / "d/link").c_str()), 0);
  ASSERT_EQ(::symlink((dir / "d").c_str(), (dir / "dlink").c_str()), 0);
  const TDirectory d(dir / "d", false);
  ASSERT_EQ(d.Error(), 0);
  std::map<std::string, TEntryType> seen;
  ASSERT_EQ(d.List([&](std::string_view n, TEntryType t) { seen[std::string(n)] = t; }), 0);
  EXPECT_EQ(seen.size(), 2u);
  TFileInfo info;
  ASSERT_EQ(d.LStatAt("file", info), 0);
  EXPECT_EQ(info.Size, 5);
  EXPECT_EQ(info.Type, TEntryType::etFile);
  ASSERT_EQ(d.LStatAt("link", info, true), 0);
  EXPECT_EQ(info.Type, TEntryType::etSymLink);
  ASSERT_EQ(d.StatAt("link", info), 0);
  EXPECT_EQ(info.Size, 5);
  EXPECT_NE(d.LStatAt("missing", info), 0);

  EXPECT_NE(TDirectory(dir / "dlink", false).Error(), 0);
  const TDirectory followed(dir / "dlink", true);
  EXPECT_EQ(followed.Error(), 0);
  EXPECT_EQ(followed.LStatAt("file", info), 0);
}

}  // namespace
}  // namespace pelcrow::platform

namespace pelcrow::platform {
namespace {

// Files opened by name in a folder held open: the next folder replaces it, a FIFO or folder in a
// file's place is refused without blocking, and a name with a slash is taken as a path.
TEST(TFolderFilesTest, OpensFilesFolderByFolder) {
  test::TTempDir dir;
  dir.Write("a/one", "first");
  dir.Write("a/two", "second!");
  dir.Write("b/one", "other");
  ASSERT_EQ(::mkfifo((dir / "a/fifo").c_str(), 0600), 0);
  struct TCase {
    std::string Folder, Name;
    int Error;
    std::string Content;
  };
  TFolderFiles files;
  for (const TCase& c : {TCase{dir / "a", "one", 0, "first"}, TCase{dir / "a", "two", 0, "second!"},
                         TCase{dir / "b", "one", 0, "other"}, TCase{dir / "a", "fifo", EINVAL, ""},
                         TCase{dir.path(), "a", EISDIR, ""}, TCase{dir / "a", "missing", ENOENT, ""},
                         TCase{dir / "gone", "one", ENOENT, ""}, TCase{dir.path(), "a/two", 0, "second!"}}) {
    ASSERT_EQ(files.Open(c.Folder, c.Name, true), c.Error) << c.Folder << " " << c.Name;
    if (c.Error != 0) continue;
    char buf[64];
    const std::int64_t n = files.Read(buf, sizeof buf);
    ASSERT_GE(n, 0);
    EXPECT_EQ(std::string(buf, static_cast<std::size_t>(n)), c.Content) << c.Name;
    EXPECT_EQ(files.Size(), static_cast<std::int64_t>(c.Content.size()));
    files.Close();
  }
  files.CloseFolder();
}

}  // namespace
}  // namespace pelcrow::platform
