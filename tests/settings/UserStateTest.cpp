// The "User" section: the window's last choices survive a restart without touching the rest of
// the settings file.
#include <gtest/gtest.h>

#include "TestUtil.h"
#include "settings/FileMasks.h"
#include "settings/IniFile.h"
#include "settings/UserState.h"

namespace pelcrow {
namespace {

using test::ReadAll;
using test::TTempDir;

TEST(UserStateTest, DefaultsWithoutAFile) {
  const TUserState s = LoadUserStateFile("/nonexistent/pelcrow.settings");
  EXPECT_EQ(s.IncludeMasks, "*.*");
  EXPECT_EQ(s.ExcludeMasks, "");
  EXPECT_EQ(s.IncludeMusicMasks, DefaultMusicMaskField());
  EXPECT_EQ(s.MinSize, 1);
  EXPECT_EQ(s.MaxSize, 1);
  EXPECT_FALSE(s.CheckMin);
  EXPECT_FALSE(s.MainFormTop.has_value());
  for (const auto& kind : s.Lists)
    for (const auto& list : kind) EXPECT_TRUE(list.empty());
}

TEST(UserStateTest, RoundTripKeepsOtherSections) {
  TTempDir dir;
  const std::string file = dir.Write("pelcrow.settings", "[File Search]\nComparisonMode=3\n\n[Mine]\nkey=value\n");
  TUserState s;
  s.IncludeMasks = "*.JPG;*.PNG;";
  s.ExcludeMusicMasks = "*.WAV;";
  s.Lists[ulkIncludeExclude][0] = {"/home/ann/Pictures/", "/data/a b\xff/"};
  s.Lists[ulkMasterSearch][1] = {"/backup/"};
  s.ReferenceFolders = {"/archive/keep/"};
  s.CheckMax = true;
  s.MaxValue = 700;
  s.MaxSize = 2;
  s.PathToMove = "/home/ann/dups/";
  s.MainFormWidth = 1024;
  s.MainFormHeight = 700;
  s.MainFormTop = 10;
  s.MainFormLeft = 20;
  ASSERT_EQ(SaveUserStateFile(file, s), 0);

  const TUserState r = LoadUserStateFile(file);
  EXPECT_EQ(r.IncludeMasks, s.IncludeMasks);
  EXPECT_EQ(r.ExcludeMusicMasks, s.ExcludeMusicMasks);
  EXPECT_EQ(r.Lists[ulkIncludeExclude][0], s.Lists[ulkIncludeExclude][0]);
  EXPECT_EQ(r.Lists[ulkMasterSearch][1], s.Lists[ulkMasterSearch][1]);
  EXPECT_TRUE(r.Lists[ulkIncludeExcludePhoto][0].empty());
  EXPECT_EQ(r.ReferenceFolders, s.ReferenceFolders);
  EXPECT_TRUE(r.CheckMax);
  EXPECT_EQ(r.MaxValue, 700);
  EXPECT_EQ(r.MaxSize, 2);
  EXPECT_EQ(r.PathToMove, s.PathToMove);
  EXPECT_EQ(r.MainFormWidth, 1024);
  EXPECT_EQ(r.MainFormLeft, 20);

  TIniFile ini;
  ASSERT_EQ(ini.LoadFromFile(file), 0);
  EXPECT_EQ(ini.ReadInteger("File Search", "ComparisonMode", 0), 3);
  EXPECT_EQ(ini.ReadString("Mine", "key", ""), "value");
  // Lists are stored as hexadecimal bytes of CR LF lines.
  EXPECT_EQ(ini.ReadString("User", "SearchPaths", ""), HexEncode("/backup/\r\n"));
}

TEST(UserStateTest, OutOfRangeValuesFallBack) {
  TIniFile ini;
  ini.SetText("[User]\nMinSize=9\nMaxSize=-1\nMinValue=-5\nIncludePaths=zz\n");
  const TUserState s = ReadUserState(ini);
  EXPECT_EQ(s.MinSize, 1);
  EXPECT_EQ(s.MaxSize, 1);
  EXPECT_EQ(s.MinValue, 0);
  EXPECT_TRUE(s.Lists[ulkIncludeExclude][0].empty());  // unreadable list: empty
}

TEST(UserStateTest, UnreadableFileIsNotOverwritten) {
  TTempDir dir;
  EXPECT_NE(SaveUserStateFile(dir.path(), TUserState{}), 0);  // a folder, not a file
  EXPECT_NE(SaveUserStateFile("", TUserState{}), 0);
}

struct TLimitCase {
  double Value;
  int Unit;
  std::int64_t Bytes;
};

class SizeLimitTest : public ::testing::TestWithParam<TLimitCase> {};

TEST_P(SizeLimitTest, ValueTimesUnit) {
  EXPECT_EQ(SizeLimitBytes(GetParam().Value, GetParam().Unit), GetParam().Bytes);
}

INSTANTIATE_TEST_SUITE_P(Cases, SizeLimitTest,
                         ::testing::Values(TLimitCase{2, 2, 2097152}, TLimitCase{1.9, 1, 1024}, TLimitCase{5, 0, 5},
                                           TLimitCase{3, 3, 3221225472LL}, TLimitCase{0, 2, 0},
                                           TLimitCase{-1, 1, 0}, TLimitCase{1, 7, 0},
                                           TLimitCase{999999986991104.0, 3, INT64_MAX}),
    [](const auto& p) { return "Case" + std::to_string(p.index); });

}  // namespace
}  // namespace pelcrow
