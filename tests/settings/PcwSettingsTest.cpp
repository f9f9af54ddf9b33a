#include "settings/PcwSettings.h"

#include <gtest/gtest.h>

#include "TestUtil.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "base/UserPrompt.h"
#include "localization/TranslateText.h"
#include "platform/SpecialFolders.h"

namespace pelcrow {
namespace {

namespace fs = std::filesystem;

using pelcrow::test::TScopedEnv;

fs::path FreshTestDir() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  const fs::path dir = fs::path(test::TestWorkDir()) / "settings" /
                       (std::string(info->test_suite_name()) + "." + info->name());
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

TEST(PcwSettingsTest, OptionSetBitValues) {
  const TPcwScanOptions expectedScan{soSkipTemp,     soProtectSystem,   soSkipSysAppFolders,
                                     soSkipZero,     soScanSubdirs,     soSkipRecycler,
                                     soSkipNtfsJunction, soSkipMacApp};
  EXPECT_EQ(expectedScan.ToBits(), 4727);
  const TPcwSettings s;
  EXPECT_EQ(s.ScanOptions, expectedScan);
  for (unsigned bit = 0; bit < 16; ++bit) {
    const bool on = bit == 0 || bit == 1 || bit == 2 || bit == 4 || bit == 5 || bit == 6 ||
                    bit == 9 || bit == 12;
    EXPECT_EQ((s.ScanOptions.ToBits() >> bit) & 1u, on ? 1u : 0u) << "bit " << bit;
  }

  EXPECT_EQ(s.MusicTagsOptions, (TMusicTagsOptions{mtTitle, mtArtist, mtCombined}));
  EXPECT_EQ(s.MusicTagsOptions.ToBits(), 259);
  TOutlookOptions allButTwo;
  for (unsigned m = olFrom; m <= olContactSubfolders; ++m) {
    if (m != olReceivedDate && m != olCaseSensitive) {
      allButTwo.Include(static_cast<TOutlookOption>(m));
    }
  }
  EXPECT_EQ(s.OutlookOptions, allButTwo);
  EXPECT_EQ(s.OutlookOptions.ToBits(), 1911);
  EXPECT_TRUE(s.CompareOptions.Empty());
  EXPECT_TRUE(s.LogEvents.Empty());

  // The stored integers depend on these ordinals.
  EXPECT_EQ(coEXIF, 3u);
  EXPECT_EQ(soRemoveEmpty, 8u);
  EXPECT_EQ(soExcludeContainer, 11u);
  EXPECT_EQ(soSkipMacApp, 12u);
  EXPECT_EQ(leError, 10u);
  EXPECT_EQ(leMediaLibSyncFail, 13u);
  EXPECT_EQ(mtCombined, 8u);
  EXPECT_EQ(olContactSubfolders, 10u);
}

TEST(PcwSettingsTest, ComparisonModeCaptions) {
  const std::pair<unsigned, std::string> cases[] = {
      {0, "CRC32 Checksum + FileSize"}, {1, "Byte-by-Byte Comparison"},
      {2, "Filename Only (fast scan)"}, {3, "Compare Music Tags"},
      {4, "Emails"},                    {5, "Contacts"},
      {6, "iPhoto Library"},            {7, "Similar Pictures"},
      {8, ""},                          {255, ""},
  };
  for (const auto& [mode, caption] : cases) {
    EXPECT_EQ(ComparisonModeCaption(static_cast<std::uint8_t>(mode)), caption) << mode;
  }
}

TEST(PcwSettingsTest, ConstructorComputesPathsAndExclusions) {
  const fs::path dir = FreshTestDir();
  TScopedEnv config("XDG_CONFIG_HOME", (dir / "config").string());
  const TPcwSettings s;
  const std::string expectedPath =
      (dir / "config").string() + "/" + TPcwSpecialFolders::GetExecutableBaseName() + "/";
  EXPECT_EQ(s.fSettingsPath, expectedPath);
  EXPECT_EQ(s.LogDirectory, expectedPath + "Logs");
  EXPECT_TRUE(s.fSettingsFile.empty());
  EXPECT_EQ(s.PermanentExclusions, TPcwSpecialFolders::GetDefaultExclusions());
  EXPECT_EQ(s.ComparisonMode(), 0);
  EXPECT_EQ(s.QuickTipIndex, -1);
  EXPECT_EQ(s.TranslationLanguageCode, "en");
  EXPECT_TRUE(s.DupRenamePrefixStr.empty());
  // Computing the folder must not create it; that is left to locating the settings file.
  EXPECT_FALSE(fs::exists(dir / "config"));
}

TEST(PcwSettingsTest, SetComparisonModeNotifiesRealChangesOnce) {
  struct TCase {
    unsigned Start;
    unsigned Set;
    std::uint8_t Stored;
    std::vector<std::uint8_t> Calls;
  };
  const TCase cases[] = {
      {0, 0, 0, {}},          // same value: silent
      {3, 3, 3, {}},
      {0, 1, 1, {1}},
      {0, 256 + 1, 1, {1}},   // only the low 8 bits count
      {0, 256, 0, {}},        // 256 is 0 again
      {2, 0x1FF, 255, {255}},
      {6, 0, 0, {0}},
  };
  for (const TCase& c : cases) {
    TPcwSettings s;
    s.FComparisonMode = static_cast<std::uint8_t>(c.Start);
    std::vector<std::uint8_t> calls;
    s.OnChangeComparisonMode = [&](std::uint8_t m) { calls.push_back(m); };
    s.SetComparisonMode(c.Set);
    EXPECT_EQ(s.ComparisonMode(), c.Stored) << c.Start << " -> " << c.Set;
    EXPECT_EQ(calls, c.Calls) << c.Start << " -> " << c.Set;
  }

  TPcwSettings unassigned;
  unassigned.SetComparisonMode(4);
  EXPECT_EQ(unassigned.ComparisonMode(), 4);
}

TEST(PcwSettingsTest, ResetToDefaultsResetsExactlyTheResetColumn) {
  const fs::path dir = FreshTestDir();
  TScopedEnv config("XDG_CONFIG_HOME", (dir / "config").string());
  const TPcwSettings fresh;

  TPcwSettings s;
  s.FComparisonMode = cmMusicTags;
  s.fSettingsPath = "/elsewhere/";
  s.fSettingsFile = "/elsewhere/x.settings";
  s.LastFileSearchMode = 2;
  s.CompareOptions = TPcwCompareOptions{coFileName, coEXIF};
  s.ScanOptions = TPcwScanOptions{soIncludeHidden};
  s.MasterSelectMode = true;
  s.CheckForUpdates = false;
  s.MaximizeOnStartup = false;
  s.LaunchWizard = true;
  s.KeepUserSettings = false;
  s.ShowQuickTips = false;
  s.QuickTipIndex = 7;
  s.Sync_iTunes = false;
  s.Sync_WMP = false;
  s.Sync_iPhoto = false;
  s.TranslationLanguageCode = "de";
  s.ShowPreview = false;
  s.ShellContextMenu = true;
  s.DisableSafetyLock = true;
  s.EnableLogging = true;
  s.LogDirectory = "/var/log/x";
  s.AutoDeleteLogPeriod = 30;
  s.LogEvents = TPcwLogEvents{leFileFound, leSymLink};
  s.MusicTagsOptions = TMusicTagsOptions{mtAlbum};
  s.OutlookOptions = TOutlookOptions{olCaseSensitive};
  s.PermanentExclusions = {"/only"};
  s.IncludeFileMasks = "inc";
  s.IncludeMusicFileMasks = "incm";
  s.ExcludeFileMasks = "exc";
  s.ExcludeMusicFileMasks = "excm";
  s.DupMovePathToMove = "/target";
  s.DupMoveKeepFolderStructure = false;
  s.DupRenamePrefixStr = "old_";
  s.DupRenameSetAsPrefix = false;
  s.DupDeleteMoveToTrash = false;
  s.DbgAUServer = "host";
  std::vector<std::uint8_t> modeCalls;
  s.OnChangeComparisonMode = [&](std::uint8_t m) { modeCalls.push_back(m); };
  int loadedCalls = 0;
  s.OnSettingsLoaded = [&] { ++loadedCalls; };

  s.ResetToDefaults();

  // Reset to the defaults of a fresh record.
  EXPECT_EQ(s.ComparisonMode(), 0);
  EXPECT_EQ(s.fSettingsPath, fresh.fSettingsPath);
  EXPECT_EQ(s.CompareOptions, fresh.CompareOptions);
  EXPECT_EQ(s.ScanOptions.ToBits(), 4727);
  EXPECT_EQ(s.MasterSelectMode, false);
  EXPECT_EQ(s.CheckForUpdates, true);
  EXPECT_EQ(s.MaximizeOnStartup, true);
  EXPECT_EQ(s.LaunchWizard, false);
  EXPECT_EQ(s.KeepUserSettings, true);
  EXPECT_EQ(s.ShowQuickTips, true);
  EXPECT_EQ(s.QuickTipIndex, -1);
  EXPECT_TRUE(s.Sync_iTunes && s.Sync_WMP && s.Sync_iPhoto);
  EXPECT_EQ(s.TranslationLanguageCode, "en");
  EXPECT_EQ(s.ShowPreview, true);
  EXPECT_EQ(s.DisableSafetyLock, false);
  EXPECT_EQ(s.EnableLogging, false);
  EXPECT_EQ(s.AutoDeleteLogPeriod, 0);
  EXPECT_TRUE(s.LogEvents.Empty());
  EXPECT_EQ(s.MusicTagsOptions.ToBits(), 259);
  EXPECT_EQ(s.OutlookOptions.ToBits(), 1911);
  EXPECT_EQ(s.PermanentExclusions, fresh.PermanentExclusions);
  EXPECT_TRUE(s.DupMovePathToMove.empty());
  EXPECT_EQ(s.DupMoveKeepFolderStructure, true);
  EXPECT_EQ(s.DupRenameSetAsPrefix, true);
  EXPECT_EQ(s.DupDeleteMoveToTrash, true);
  // Reset values that differ from a missing key.
  EXPECT_EQ(s.DupRenamePrefixStr, "_Duplicate_");
  EXPECT_TRUE(s.LogDirectory.empty());
  // Left as they were.
  EXPECT_EQ(s.fSettingsFile, "/elsewhere/x.settings");
  EXPECT_EQ(s.LastFileSearchMode, 2);
  EXPECT_EQ(s.ShellContextMenu, true);
  EXPECT_EQ(s.IncludeFileMasks, "inc");
  EXPECT_EQ(s.IncludeMusicFileMasks, "incm");
  EXPECT_EQ(s.ExcludeFileMasks, "exc");
  EXPECT_EQ(s.ExcludeMusicFileMasks, "excm");
  EXPECT_EQ(s.DbgAUServer, "host");
  // The mode change is reported once; open editors are refreshed once.
  EXPECT_EQ(modeCalls, std::vector<std::uint8_t>{0});
  EXPECT_EQ(loadedCalls, 1);

  s.ResetToDefaults();  // the mode is already 0: no second report
  EXPECT_EQ(modeCalls.size(), 1u);
  EXPECT_EQ(loadedCalls, 2);
}

TEST(PcwSettingsTest, CheckExclusionFolderCases) {
  struct TCase {
    std::vector<std::string> Exclusions;
    std::string Path;
    bool Allowed;
  };
  const TCase cases[] = {
      {{"/usr"}, "/usr/lib", false},
      {{"/usr"}, "/USR", false},  // ASCII letters compare without case
      {{"/usr"}, "/usr", false},
      {{"/usr"}, "/usr/", false},
      {{"/usr"}, "/usr2", true},
      {{"/usr"}, "/home/ann/usr", true},
      {{"/USR/"}, "/usr/share", false},
      {{"/?emp*"}, "/Temporary/x", false},
      {{"/?emp*"}, "/temp", false},
      {{"/?emp*"}, "/home/temp", true},
      {{"/lib*"}, "/lib64/x", false},
      {{"/lib*"}, "/lib", false},
      {{"/lib*"}, "/usr/lib", true},
      {{"/etc"}, "/home/ann/backup/etc/x", true},  // a prefix, not a substring
      {{"/etc"}, "/etc/x", false},
      {{"/etc"}, "/etcetera", true},
      {{"/opt", "/usr"}, "/usr/x", false},
      {{}, "/usr", true},
      {{"/usr"}, "", true},
      // An empty entry would otherwise become "/" and shut out everything.
      {{""}, "/home/ann", true},
      {{"", "/home"}, "/home/ann", false},
      // Extended-length prefixes are stripped before the comparison.
      {{"/usr"}, R"(\\?\/usr/lib)", false},
      {{R"(\\server\share)"}, R"(\\?\UNC\server\share)", false},
      {{R"(\\server\share)"}, R"(\\?\UNC\server\other)", true},
      // Only ASCII letters change case; '?' stands for one whole UTF-8 character.
      {{"/données"}, "/Données/x", false},
      {{"/données"}, "/DONNÉES/x", true},
      {{"/?tude*"}, "/étude/x", false},
  };
  for (const TCase& c : cases) {
    TPcwSettings s;
    s.PermanentExclusions = c.Exclusions;
    EXPECT_EQ(s.CheckExclusionFolder(c.Path, true), c.Allowed)
        << "path '" << c.Path << "' first exclusion '"
        << (c.Exclusions.empty() ? "" : c.Exclusions.front()) << "'";
  }
}

TEST(PcwSettingsTest, CheckExclusionFolderTellsTheUserUnlessSilent) {
  test::TScriptedPrompt prompt;
  TPcwSettings s;
  s.PermanentExclusions = {"/usr", "/usr/lib"};  // both match: still one notice

  EXPECT_FALSE(s.CheckExclusionFolder("/usr/lib/x", true));
  EXPECT_TRUE(prompt.Messages.empty());

  EXPECT_TRUE(s.CheckExclusionFolder("/home/ann", false));
  EXPECT_TRUE(prompt.Messages.empty());

  EXPECT_FALSE(s.CheckExclusionFolder("/usr/lib/x", false));
  ASSERT_EQ(prompt.Messages.size(), 1u);
  EXPECT_EQ(prompt.Messages[0].first, TMessageKind::mkError);
  EXPECT_EQ(prompt.Messages[0].second,
            "This folder cannot be selected because it is in exclusion list.\r\n"
            "Please go to Settings->Advanced Settings to get more details.");
  EXPECT_EQ(prompt.Messages[0].second, TranslateText(kExclusionFolderMessage));
}

TEST(PcwSettingsTest, DefaultExclusionsShutOutSystemFoldersOnly) {
  TScopedEnv home("HOME", "/home/ann");
  TScopedEnv data("XDG_DATA_HOME", std::nullopt);
  TScopedEnv config("XDG_CONFIG_HOME", std::nullopt);
  TPcwSettings s;
  s.PermanentExclusions = TPcwSpecialFolders::GetDefaultExclusions();
  const std::pair<std::string, bool> cases[] = {
      {"/usr/share/doc", false},         {"/lib64", false},
      {"/proc/self", false},             {"/home/ann/.config/x", false},
      {"/home/ann/.local/share/Trash", false},
      {"/home/ann/Music", true},         {"/home/ann/backup/etc", true},
      {"/srv/usr", true},                {"/media/disk/bin", true},
  };
  for (const auto& [path, allowed] : cases) {
    EXPECT_EQ(s.CheckExclusionFolder(path, true), allowed) << path;
  }
}

// The recursive rule exactly as stated: the oracle for the iterative matcher on ASCII text.
bool ReferenceMatch(std::string_view p, std::string_view t) {
  const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
  if (t.empty()) return p.find_first_not_of('*') == std::string_view::npos;
  if (p.empty()) return false;
  if (p[0] == '*') {
    if (p.size() == 1) return true;
    return ReferenceMatch(p.substr(1), t) || ReferenceMatch(p, t.substr(1));
  }
  if (p[0] == '?') return ReferenceMatch(p.substr(1), t.substr(1));
  return lower(p[0]) == lower(t[0]) && ReferenceMatch(p.substr(1), t.substr(1));
}

TEST(WildcardMatchTest, Cases) {
  struct TCase {
    std::string_view Pattern;
    std::string_view Text;
    bool Match;
  };
  const TCase cases[] = {
      {"", "", true},          {"*", "", true},          {"**", "", true},
      {"", "a", false},        {"?", "", false},         {"*?", "", false},
      {"*", "anything", true}, {"a*", "A", true},        {"*a", "bbba", true},
      {"a?c", "abc", true},    {"a?c", "ac", false},     {"a?c", "abbc", false},
      {"*.txt", "notes.TXT", true},  {"*x*y", "axbxcy", true},  {"a*b*c", "abab", false},
      {"/USR/*", "/USR/", true},     {"/USR/*", "/USR", false}, {"ab", "abc", false},
      {"?", "é", true},        {"??", "é", false},       {"?", "\xff", true},
      {"?x", "\xc3x", true},  // a lone lead byte is one character
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(WildcardMatch(c.Pattern, c.Text), c.Match)
        << "'" << c.Pattern << "' vs '" << c.Text << "'";
  }
}

TEST(WildcardMatchTest, AgreesWithTheRecursiveRule) {
  std::mt19937 rng(20240501);  // fixed seed: failures must be reproducible
  const std::string_view patternChars = "ab*?A";
  const std::string_view textChars = "abAB";
  for (int i = 0; i < 20000; ++i) {
    std::string p(rng() % 8, ' ');
    for (char& ch : p) ch = patternChars[rng() % patternChars.size()];
    std::string t(rng() % 9, ' ');
    for (char& ch : t) ch = textChars[rng() % textChars.size()];
    ASSERT_EQ(WildcardMatch(p, t), ReferenceMatch(p, t)) << "'" << p << "' vs '" << t << "'";
  }
}

TEST(WildcardMatchTest, ManyStarsOnLongTextsStayCheap) {
  // Plain recursion takes exponential time here and deep recursion overflows the stack.
  const std::string text(200000, 'a');
  std::string pattern;
  for (int i = 0; i < 40; ++i) pattern += "*a";
  EXPECT_FALSE(WildcardMatch(pattern + "*b", text));
  EXPECT_TRUE(WildcardMatch(pattern + "*", text));
  EXPECT_TRUE(WildcardMatch(std::string(100000, '*'), text));
  EXPECT_TRUE(WildcardMatch(std::string(200000, '?'), text));
}

TEST(PcwSettingsTest, RetrieveShellContextMenuStatusFollowsTheDesktopEntry) {
  const fs::path dir = FreshTestDir();
  TScopedEnv home("HOME", (dir / "home").string());
  TScopedEnv data("XDG_DATA_HOME", std::nullopt);
  const fs::path apps = dir / "home/.local/share/applications";
  const fs::path entry = apps / "pelcrow-scan.desktop";
  TPcwSettings s;

  s.ShellContextMenu = true;
  s.RetrieveShellContextMenuStatus();
  EXPECT_FALSE(s.ShellContextMenu);  // missing folder

  fs::create_directories(apps);
  std::ofstream(entry) << "[Desktop Entry]\n";
  s.RetrieveShellContextMenuStatus();
  EXPECT_TRUE(s.ShellContextMenu);

  {
    TScopedEnv otherData("XDG_DATA_HOME", (dir / "data").string());
    s.RetrieveShellContextMenuStatus();
    EXPECT_FALSE(s.ShellContextMenu);
    fs::create_directories(dir / "data/applications/pelcrow-scan.desktop");  // not a file
    s.RetrieveShellContextMenuStatus();
    EXPECT_FALSE(s.ShellContextMenu);
  }

  fs::remove(entry);
  s.ShellContextMenu = true;
  s.RetrieveShellContextMenuStatus();
  EXPECT_FALSE(s.ShellContextMenu);
}

}  // namespace
}  // namespace pelcrow
