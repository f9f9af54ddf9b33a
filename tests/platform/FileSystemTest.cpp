#include "platform/FileSystem.h"

#include <gtest/gtest.h>
#include <unistd.h>

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
