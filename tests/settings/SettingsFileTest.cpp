#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "TestUtil.h"
#include "base/MainThread.h"
#include "base/UserPrompt.h"
#include "localization/LanguageController.h"
#include "logging/Logger.h"
#include "platform/SpecialFolders.h"
#include "settings/FileMasks.h"
#include "settings/IniFile.h"
#include "settings/PcwSettings.h"

namespace pelcrow {
namespace {

namespace fs = std::filesystem;

using pelcrow::test::TScopedEnv;

class TScopedBaseName {
 public:
  explicit TScopedBaseName(const std::string& name) { TPcwSettings::SetSettingsBaseName(name); }
  ~TScopedBaseName() { TPcwSettings::SetSettingsBaseName(""); }
};

using test::FolderEntries;
using test::ReadAll;

std::string Join(const std::vector<std::string>& list) {
  std::string out;
  for (const std::string& s : list) out += s + "|";
  return out;
}

// A private home and XDG folders per test, and the settings base name fixed to "pelcrow".
class SettingsFileTest : public ::testing::Test {
 protected:
  std::string SettingsFolder() const { return fDir / "config/pelcrow"; }
  std::string SettingsFile() const { return fDir / "config/pelcrow/pelcrow.settings"; }
  void WriteSettings(const std::string& bytes) const { fDir.Write("config/pelcrow/pelcrow.settings", bytes); }
  std::string ReadSettings() const { return ReadAll(SettingsFile()); }
  TIniFile SavedIni() const {
    TIniFile ini;
    EXPECT_EQ(ini.LoadFromFile(SettingsFile()), 0);
    return ini;
  }
  // A record as a fresh process has it after its first load.
  TPcwSettings Loaded() const {
    TPcwSettings s;
    s.LoadSettings(true);
    return s;
  }

  test::TTempDir fDir;
  TScopedEnv fHome{"HOME", fDir / "home"};
  TScopedEnv fConfig{"XDG_CONFIG_HOME", fDir / "config"};
  TScopedEnv fData{"XDG_DATA_HOME", fDir / "data"};
  TScopedEnv fState{"XDG_STATE_HOME", fDir / "state"};
  TScopedEnv fCache{"XDG_CACHE_HOME", fDir / "cache"};
  TScopedBaseName fBaseName{"pelcrow"};
};

TEST_F(SettingsFileTest, LocationFollowsTheConfigFolderAndTheBaseName) {
  TPcwSettings s;
  EXPECT_EQ(s.GetSettingsFile(), SettingsFile());
  EXPECT_EQ(s.fSettingsPath, SettingsFolder() + "/");
  EXPECT_TRUE(fs::is_directory(SettingsFolder()));  // created when the path is computed
  EXPECT_FALSE(fs::exists(SettingsFile()));

  // Cached: a later change of the environment does not move the file of this record.
  {
    TScopedEnv other("XDG_CONFIG_HOME", fDir / "elsewhere");
    EXPECT_EQ(s.GetSettingsFile(), SettingsFile());
  }

  // Without XDG_CONFIG_HOME the file lies under ~/.config.
  {
    ::unsetenv("XDG_CONFIG_HOME");
    TPcwSettings h;
    EXPECT_EQ(h.GetSettingsFile(), fDir / "home/.config/pelcrow/pelcrow.settings");
    ::setenv("XDG_CONFIG_HOME", (fDir / "config").c_str(), 1);
  }

  const std::pair<std::string, std::string> names[] = {
      {"pelcrow-cli", "pelcrow-cli"},
      {"", TPcwSpecialFolders::GetExecutableBaseName()},
      {"a/b", TPcwSpecialFolders::GetExecutableBaseName()},
      {"..", TPcwSpecialFolders::GetExecutableBaseName()},
  };
  for (const auto& [name, expected] : names) {
    TPcwSettings::SetSettingsBaseName(name);
    EXPECT_EQ(TPcwSettings::GetSettingsBaseName(), expected) << name;
    TPcwSettings b;
    EXPECT_EQ(b.GetSettingsFile(), fDir / ("config/" + expected + "/" + expected + ".settings")) << name;
  }
}

// The defaults of a missing key, as a record shows them after loading a file without any keys.
void ExpectDefaults(const TPcwSettings& s) {
  EXPECT_EQ(s.ComparisonMode(), 0);
  EXPECT_EQ(s.LastFileSearchMode, 0);
  EXPECT_TRUE(s.CompareOptions.Empty());
  EXPECT_EQ(s.ScanOptions.ToBits(), 4727);
  EXPECT_FALSE(s.MasterSelectMode);
  EXPECT_TRUE(s.CheckForUpdates);
  EXPECT_TRUE(s.MaximizeOnStartup);
  EXPECT_FALSE(s.LaunchWizard);
  EXPECT_TRUE(s.KeepUserSettings);
  EXPECT_TRUE(s.ShowQuickTips);
  EXPECT_EQ(s.QuickTipIndex, -1);
  EXPECT_EQ(s.TranslationLanguageCode, "en");
  EXPECT_TRUE(s.Sync_iTunes);
  EXPECT_TRUE(s.Sync_WMP);
  EXPECT_TRUE(s.Sync_iPhoto);
  EXPECT_TRUE(s.ShowPreview);
  EXPECT_FALSE(s.DisableSafetyLock);
  EXPECT_TRUE(s.DbgAUServer.empty());
  EXPECT_FALSE(s.EnableLogging);
  EXPECT_EQ(s.AutoDeleteLogPeriod, 0);
  EXPECT_TRUE(s.LogEvents.Empty());
  EXPECT_EQ(s.MusicTagsOptions.ToBits(), 259);
  EXPECT_EQ(s.OutlookOptions.ToBits(), 1911);
  EXPECT_EQ(s.PermanentExclusions, TPcwSpecialFolders::GetDefaultExclusions());
  EXPECT_TRUE(s.DupMovePathToMove.empty());
  EXPECT_TRUE(s.DupRenamePrefixStr.empty());
  EXPECT_TRUE(s.DupMoveKeepFolderStructure);
  EXPECT_TRUE(s.DupRenameSetAsPrefix);
  EXPECT_TRUE(s.DupDeleteMoveToTrash);
  EXPECT_EQ(s.IncludeFileMasks, DefaultIncludeFileMasks());
  EXPECT_EQ(s.ExcludeFileMasks, DefaultExcludeFileMasks());
  EXPECT_EQ(s.IncludeMusicFileMasks, DefaultMusicFileMasks());
  EXPECT_EQ(s.ExcludeMusicFileMasks, DefaultMusicFileMasks());
}

TEST_F(SettingsFileTest, MissingOrEmptyFilesGiveTheDefaults) {
  const std::pair<const char*, std::optional<std::string>> files[] = {
      {"missing", std::nullopt},
      {"empty", ""},
      {"mark only", "\xEF\xBB\xBF"},
      {"UTF-16 mark only", "\xFF\xFE"},
      {"other sections only", "[User]\nIncludePaths=2F0D0A\n[SearchFilterFiles]\nFileSize=3\n"},
      {"sections without keys", "[File Search]\n[Preferences]\n[Logging]\n[Advanced]\n"},
      {"binary garbage", std::string("\x00\x01\xFF[\x00]=\x7F\n\r\r\n==\n[[[", 20)},
  };
  for (const auto& [name, bytes] : files) {
    SCOPED_TRACE(name);
    fs::remove_all(SettingsFolder());
    if (bytes) WriteSettings(*bytes);
    const TPcwSettings s = Loaded();
    ExpectDefaults(s);
    // The default log folder lies beside the settings file, inside the default exclusion of the
    // configuration folder; the program's own folder is not what that exclusion is for.
    EXPECT_EQ(s.LogDirectory, SettingsFolder() + "/Logs/");
  }
}

// Logging switched on with the default exclusions: the program's own folders keep logging on, a
// folder of another program's configuration is still dropped.
TEST_F(SettingsFileTest, OwnLogFolderPassesTheExclusionCheck) {
  struct TCase {
    const char* Label;
    std::optional<std::string> Stored;  // nullopt: no key
    std::string Expected;               // empty: refused, our own folder instead and logging off
  };
  const std::string own = SettingsFolder() + "/Logs/";
  const TCase cases[] = {
      {"no key", std::nullopt, own},
      {"the default, stored", own, own},
      // Written by earlier versions after the check had dropped the default.
      {"empty", std::string(), own},
      {"another folder of ours", SettingsFolder() + "/old logs", SettingsFolder() + "/old logs"},
      {"beside ours, not ours", SettingsFolder() + " logs", ""},
      {"out of ours by ..", SettingsFolder() + "/../other/logs", ""},
      {"another program's configuration", fDir / "config/other/logs", ""},
      {"the user's own folder", fDir / "home/logs", fDir / "home/logs"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Label);
    TIniFile ini;
    ini.WriteBool("Logging", "Enable", true);
    if (c.Stored) ini.WriteString("Logging", "LogDirectory", *c.Stored);
    ASSERT_EQ(ini.UpdateFile(SettingsFile()), 0);
    const TPcwSettings s = Loaded();
    ASSERT_EQ(s.PermanentExclusions, TPcwSpecialFolders::GetDefaultExclusions());
    EXPECT_EQ(s.LogDirectory, c.Expected.empty() ? own : c.Expected);
    EXPECT_EQ(s.EnableLogging, !c.Expected.empty());
  }
}

TEST_F(SettingsFileTest, DefaultLogFolderIsBesideTheSettingsFile) {
  // Without exclusions the default log folder survives the check.
  WriteSettings("[Advanced]\nPermanentExclusions=\n[Logging]\nEnable=1\n");
  const TPcwSettings s = Loaded();
  EXPECT_TRUE(s.PermanentExclusions.empty());
  EXPECT_EQ(s.LogDirectory, SettingsFolder() + "/Logs/");
  EXPECT_TRUE(s.EnableLogging);
}

// One key of the file: how to give its field a value that is not the default, the text that
// value is stored as, and how to show the field for comparison.
struct TKeyCase {
  std::string Section;
  std::string Key;
  std::function<void(TPcwSettings&)> Set;
  std::string Stored;
  std::function<std::string(const TPcwSettings&)> Show;
};

std::string B(bool v) { return v ? "true" : "false"; }

std::vector<TKeyCase> KeyTable(const std::string& dir) {
  const std::string logDir = dir + "/logs ü/";
  const std::string moveDir = dir + "/move to/Données";
  const std::vector<std::string> exclusions = {"/usr", "/srv/Ärchiv ü", "/lib*"};
  return {
      {"Advanced", "PermanentExclusions", [=](TPcwSettings& s) { s.PermanentExclusions = exclusions; },
       HexEncode("/usr\r\n/srv/Ärchiv ü\r\n/lib*\r\n"),
       [](const TPcwSettings& s) { return Join(s.PermanentExclusions); }},
      {"File Search", "ComparisonMode", [](TPcwSettings& s) { s.SetComparisonMode(cmMusicTags); }, "3",
       [](const TPcwSettings& s) { return std::to_string(s.ComparisonMode()); }},
      {"File Search", "SimilarityPercent", [](TPcwSettings& s) { s.SimilarityPercent = 82; }, "82",
       [](const TPcwSettings& s) { return std::to_string(s.SimilarityPercent); }},
      {"File Search", "LastFSMode", [](TPcwSettings& s) { s.LastFileSearchMode = 2; }, "2",
       [](const TPcwSettings& s) { return std::to_string(s.LastFileSearchMode); }},
      {"File Search", "CompareOptions", [](TPcwSettings& s) { s.CompareOptions = {coFileName, coEXIF}; }, "9",
       [](const TPcwSettings& s) { return std::to_string(s.CompareOptions.ToBits()); }},
      {"File Search", "ScanOptions42",
       [](TPcwSettings& s) { s.ScanOptions = {soIncludeHidden, soRemoveEmpty, soSkipMacApp}; }, "4480",
       [](const TPcwSettings& s) { return std::to_string(s.ScanOptions.ToBits()); }},
      {"File Search", "MasterSelect", [](TPcwSettings& s) { s.MasterSelectMode = true; }, "1",
       [](const TPcwSettings& s) { return B(s.MasterSelectMode); }},
      {"Preferences", "CheckForUpdates", [](TPcwSettings& s) { s.CheckForUpdates = false; }, "0",
       [](const TPcwSettings& s) { return B(s.CheckForUpdates); }},
      {"Preferences", "MaximizeOnStartup", [](TPcwSettings& s) { s.MaximizeOnStartup = false; }, "0",
       [](const TPcwSettings& s) { return B(s.MaximizeOnStartup); }},
      {"Preferences", "LaunchWizard", [](TPcwSettings& s) { s.LaunchWizard = true; }, "1",
       [](const TPcwSettings& s) { return B(s.LaunchWizard); }},
      {"Preferences", "KeepUserSettings", [](TPcwSettings& s) { s.KeepUserSettings = false; }, "0",
       [](const TPcwSettings& s) { return B(s.KeepUserSettings); }},
      {"Preferences", "ShowQuickTips", [](TPcwSettings& s) { s.ShowQuickTips = false; }, "0",
       [](const TPcwSettings& s) { return B(s.ShowQuickTips); }},
      {"Preferences", "QuickTipIndex", [](TPcwSettings& s) { s.QuickTipIndex = 7; }, "7",
       [](const TPcwSettings& s) { return std::to_string(s.QuickTipIndex); }},
      // A code without a language file: the global language stays English.
      {"Preferences", "TranslationLanguageCode", [](TPcwSettings& s) { s.TranslationLanguageCode = "zz"; },
       "zz", [](const TPcwSettings& s) { return s.TranslationLanguageCode; }},
      {"Preferences", "Sync_iTunes", [](TPcwSettings& s) { s.Sync_iTunes = false; }, "0",
       [](const TPcwSettings& s) { return B(s.Sync_iTunes); }},
      {"Preferences", "Sync_WMP", [](TPcwSettings& s) { s.Sync_WMP = false; }, "0",
       [](const TPcwSettings& s) { return B(s.Sync_WMP); }},
      {"Preferences", "Sync_iPhoto", [](TPcwSettings& s) { s.Sync_iPhoto = false; }, "0",
       [](const TPcwSettings& s) { return B(s.Sync_iPhoto); }},
      {"Preferences", "Sync_RepointToKept", [](TPcwSettings& s) { s.Sync_RepointToKept = true; }, "1",
       [](const TPcwSettings& s) { return B(s.Sync_RepointToKept); }},
      {"Preferences", "MpdMusicDirectory", [](TPcwSettings& s) { s.MpdMusicDirectory = "/srv/music"; },
       "/srv/music", [](const TPcwSettings& s) { return s.MpdMusicDirectory; }},
      {"Preferences", "PhotoLibrary", [](TPcwSettings& s) { s.PhotoLibrary = "~/Shotwell/data/photo.db"; },
       "~/Shotwell/data/photo.db", [](const TPcwSettings& s) { return s.PhotoLibrary; }},
      {"Preferences", "PhotoScriptFolder", [](TPcwSettings& s) { s.PhotoScriptFolder = "/opt/photo-scripts"; },
       "/opt/photo-scripts", [](const TPcwSettings& s) { return s.PhotoScriptFolder; }},
      {"Preferences", "ShowPreview", [](TPcwSettings& s) { s.ShowPreview = false; }, "0",
       [](const TPcwSettings& s) { return B(s.ShowPreview); }},
      {"Preferences", "DisableSafetyLock", [](TPcwSettings& s) { s.DisableSafetyLock = true; }, "1",
       [](const TPcwSettings& s) { return B(s.DisableSafetyLock); }},
      {"Preferences", "UndoJournalDays", [](TPcwSettings& s) { s.UndoJournalDays = 7; }, "7",
       [](const TPcwSettings& s) { return std::to_string(s.UndoJournalDays); }},
      {"Preferences", "ChecksumCache", [](TPcwSettings& s) { s.UseChecksumCache = false; }, "0",
       [](const TPcwSettings& s) { return B(s.UseChecksumCache); }},
      {"Preferences", "SimilarNames", [](TPcwSettings& s) { s.SimilarNames = true; }, "1",
       [](const TPcwSettings& s) { return B(s.SimilarNames); }},
      {"Preferences", "NameSimilarity", [](TPcwSettings& s) { s.NameSimilarity = 65; }, "65",
       [](const TPcwSettings& s) { return std::to_string(s.NameSimilarity); }},
      {"Logging", "Enable", [](TPcwSettings& s) { s.EnableLogging = true; }, "1",
       [](const TPcwSettings& s) { return B(s.EnableLogging); }},
      {"Logging", "LogDirectory", [=](TPcwSettings& s) { s.LogDirectory = logDir; }, logDir,
       [](const TPcwSettings& s) { return s.LogDirectory; }},
      {"Logging", "AutoDelete", [](TPcwSettings& s) { s.AutoDeleteLogPeriod = 30; }, "30",
       [](const TPcwSettings& s) { return std::to_string(s.AutoDeleteLogPeriod); }},
      {"Logging", "Events", [](TPcwSettings& s) { s.LogEvents = {leFileDeleted, leMediaLibSyncFail}; }, "528",
       [](const TPcwSettings& s) { return std::to_string(s.LogEvents.ToBits()); }},
      {"MusicTags", "Options", [](TPcwSettings& s) { s.MusicTagsOptions = {mtAlbum, mtYear}; }, "20",
       [](const TPcwSettings& s) { return std::to_string(s.MusicTagsOptions.ToBits()); }},
      {"Assistant", "PathToMove", [=](TPcwSettings& s) { s.DupMovePathToMove = moveDir; }, moveDir,
       [](const TPcwSettings& s) { return s.DupMovePathToMove; }},
      // Blanks at both ends are part of the text.
      {"Assistant", "PrefixStr", [](TPcwSettings& s) { s.DupRenamePrefixStr = " (copie) "; }, " (copie) ",
       [](const TPcwSettings& s) { return s.DupRenamePrefixStr; }},
      {"Assistant", "KeepFS", [](TPcwSettings& s) { s.DupMoveKeepFolderStructure = false; }, "0",
       [](const TPcwSettings& s) { return B(s.DupMoveKeepFolderStructure); }},
      {"Assistant", "SetAsPrefix", [](TPcwSettings& s) { s.DupRenameSetAsPrefix = false; }, "0",
       [](const TPcwSettings& s) { return B(s.DupRenameSetAsPrefix); }},
      {"Assistant", "MoveToTrash", [](TPcwSettings& s) { s.DupDeleteMoveToTrash = false; }, "0",
       [](const TPcwSettings& s) { return B(s.DupDeleteMoveToTrash); }},
      {"Outlook", "Options", [](TPcwSettings& s) { s.OutlookOptions = {olCaseSensitive, olContactName}; }, "640",
       [](const TPcwSettings& s) { return std::to_string(s.OutlookOptions.ToBits()); }},
      {"Outlook", "MaildirStores", [](TPcwSettings& s) { s.MaildirStores = "~/Mail;/srv/mail"; }, "~/Mail;/srv/mail",
       [](const TPcwSettings& s) { return s.MaildirStores; }},
      {"Outlook", "AddressBooks", [](TPcwSettings& s) { s.AddressBooks = "~/contacts;khard"; }, "~/contacts;khard",
       [](const TPcwSettings& s) { return s.AddressBooks; }},
      {"Outlook", "ThunderbirdProfiles", [](TPcwSettings& s) { s.ThunderbirdProfiles = "~/tb"; }, "~/tb",
       [](const TPcwSettings& s) { return s.ThunderbirdProfiles; }},
      {"File Mask", "Include",
       [](TPcwSettings& s) { s.IncludeFileMasks = "\"Bilder ä | *.JPG;*.PNG\",*.TXT;"; },
       "\"Bilder ä | *.JPG;*.PNG\",*.TXT;", [](const TPcwSettings& s) { return s.IncludeFileMasks; }},
      {"File Mask", "Exclude", [](TPcwSettings& s) { s.ExcludeFileMasks = "\"Größe | *.BAK\""; },
       "\"Größe | *.BAK\"", [](const TPcwSettings& s) { return s.ExcludeFileMasks; }},
      {"Music File Mask", "Include", [](TPcwSettings& s) { s.IncludeMusicFileMasks = "\"Musique | *.MP3\""; },
       "\"Musique | *.MP3\"", [](const TPcwSettings& s) { return s.IncludeMusicFileMasks; }},
      {"Music File Mask", "Exclude", [](TPcwSettings& s) { s.ExcludeMusicFileMasks = "*.WAV"; }, "*.WAV",
       [](const TPcwSettings& s) { return s.ExcludeMusicFileMasks; }},
  };
}

TEST_F(SettingsFileTest, EveryKeyRoundTrips) {
  const std::vector<TKeyCase> table = KeyTable(fDir.path());
  const TPcwSettings defaults = Loaded();
  fs::remove_all(SettingsFolder());

  TPcwSettings s;
  s.LoadSettings(true);
  for (const TKeyCase& k : table) {
    k.Set(s);
    ASSERT_NE(k.Show(s), k.Show(defaults)) << k.Key << ": the table must move every field off its default";
  }
  s.SaveSettings();

  // Stored as the file format says, and nothing else in these sections.
  const TIniFile ini = SavedIni();
  for (const TKeyCase& k : table) {
    EXPECT_EQ(ini.ReadValue(k.Section, k.Key), k.Stored) << k.Section << "/" << k.Key;
  }
  for (const std::string& section : ini.ReadSections()) {
    for (const std::string& key : ini.ReadSection(section)) {
      const bool known = std::any_of(table.begin(), table.end(), [&](const TKeyCase& k) {
        return k.Section == section && k.Key == key;
      });
      EXPECT_TRUE(known) << "unexpected key " << section << "/" << key;
    }
  }
  const std::string bytes = ReadSettings();
  EXPECT_TRUE(bytes.starts_with("\xEF\xBB\xBF"));
  EXPECT_NE(bytes.find("Données"), std::string::npos);  // UTF-8 as it is, not replaced

  // A new process reads everything back.
  const TPcwSettings fresh = Loaded();
  for (const TKeyCase& k : table) EXPECT_EQ(k.Show(fresh), k.Show(s)) << k.Section << "/" << k.Key;

  // Reset, then reload the same record.
  s.ResetToDefaults();
  s.LoadSettings(true);
  for (const TKeyCase& k : table) EXPECT_EQ(k.Show(s), k.Show(fresh)) << k.Section << "/" << k.Key;
}

TEST_F(SettingsFileTest, StoredValuesLoadByTheFileRules) {
  struct TCase {
    const char* Name;
    std::string File;
    std::function<void(const TPcwSettings&)> Check;
  };
  const std::vector<std::string> defaultExclusions = TPcwSpecialFolders::GetDefaultExclusions();
  const TCase cases[] = {
      {"Events 1", "[Logging]\nEvents=1\n",
       [](const TPcwSettings& s) { EXPECT_EQ(s.LogEvents, TPcwLogEvents{leFileFound}); }},
      {"Events 128", "[Logging]\nEvents=128\n",
       [](const TPcwSettings& s) { EXPECT_EQ(s.LogEvents, TPcwLogEvents{leSymLink}); }},
      {"Events all bits", "[Logging]\nEvents=-1\n",
       [](const TPcwSettings& s) {
         const TPcwLogEvents ten{leFileFound, leFileSkipped, leFileRenamed, leFileMoved, leFileDeleted,
                                 leFolderScanned, leFolderSkipped, leSymLink, leMediaLibSyncOk,
                                 leMediaLibSyncFail};
         EXPECT_EQ(s.LogEvents, ten);
       }},
      {"Events garbage", "[Logging]\nEvents=lots\n",
       [](const TPcwSettings& s) { EXPECT_TRUE(s.LogEvents.Empty()); }},
      {"ScanOptions 0 is stored", "[File Search]\nScanOptions42=0\n",
       [](const TPcwSettings& s) { EXPECT_TRUE(s.ScanOptions.Empty()); }},
      {"ScanOptions high bits dropped", "[File Search]\nScanOptions42=65535\n",
       [](const TPcwSettings& s) { EXPECT_EQ(s.ScanOptions.ToBits(), 0x1FFF); }},
      {"ScanOptions garbage", "[File Search]\nScanOptions42=4727x\n",
       [](const TPcwSettings& s) { EXPECT_EQ(s.ScanOptions.ToBits(), 4727); }},
      {"option sets keep their own bits", "[File Search]\nCompareOptions=255\n[MusicTags]\nOptions=-1\n"
       "[Outlook]\nOptions=65535\n",
       [](const TPcwSettings& s) {
         EXPECT_EQ(s.CompareOptions.ToBits(), 0xF);
         EXPECT_EQ(s.MusicTagsOptions.ToBits(), 0x1FF);
         EXPECT_EQ(s.OutlookOptions.ToBits(), 0x7FF);
       }},
      {"option sets garbage", "[MusicTags]\nOptions=\n[Outlook]\nOptions=x\n",
       [](const TPcwSettings& s) {
         EXPECT_EQ(s.MusicTagsOptions.ToBits(), 259);
         EXPECT_EQ(s.OutlookOptions.ToBits(), 1911);
       }},
      {"modes in range", "[File Search]\nComparisonMode=6\nLastFSMode=2\n",
       [](const TPcwSettings& s) {
         EXPECT_EQ(s.ComparisonMode(), 6);
         EXPECT_EQ(s.LastFileSearchMode, 2);
       }},
      {"modes out of range", "[File Search]\nComparisonMode=300\nLastFSMode=3\n",
       [](const TPcwSettings& s) {
         EXPECT_EQ(s.ComparisonMode(), 0);
         EXPECT_EQ(s.LastFileSearchMode, 0);
       }},
      {"negative mode", "[File Search]\nComparisonMode=-1\nLastFSMode=-2\n",
       [](const TPcwSettings& s) {
         EXPECT_EQ(s.ComparisonMode(), 0);
         EXPECT_EQ(s.LastFileSearchMode, 0);
       }},
      {"Booleans", "[Preferences]\nMaximizeOnStartup=0\nShowPreview=5\nLaunchWizard=-1\n"
       "CheckForUpdates=yes\nShowQuickTips=\nDisableSafetyLock=1.0\n",
       [](const TPcwSettings& s) {
         EXPECT_FALSE(s.MaximizeOnStartup);
         EXPECT_TRUE(s.ShowPreview);       // any non-zero integer is true
         EXPECT_TRUE(s.LaunchWizard);
         EXPECT_TRUE(s.CheckForUpdates);   // not a number: the default
         EXPECT_TRUE(s.ShowQuickTips);
         EXPECT_FALSE(s.DisableSafetyLock);
       }},
      {"QuickTipIndex garbage", "[Preferences]\nQuickTipIndex=99999999999\n",
       [](const TPcwSettings& s) { EXPECT_EQ(s.QuickTipIndex, -1); }},
      {"QuickTipIndex below -1", "[Preferences]\nQuickTipIndex=-7\n",
       [](const TPcwSettings& s) { EXPECT_EQ(s.QuickTipIndex, -1); }},
      {"language code", "[Preferences]\nTranslationLanguageCode= de \n",
       [](const TPcwSettings& s) { EXPECT_EQ(s.TranslationLanguageCode, "de"); }},
      {"empty language code", "[Preferences]\nTranslationLanguageCode=\n",
       [](const TPcwSettings& s) { EXPECT_EQ(s.TranslationLanguageCode, "en"); }},
      {"DbgAUServer is read", "[Preferences]\nDbgAUServer=updates.example\n",
       [](const TPcwSettings& s) { EXPECT_EQ(s.DbgAUServer, "updates.example"); }},
      {"exclusions present but empty", "[Advanced]\nPermanentExclusions=\n",
       [](const TPcwSettings& s) { EXPECT_TRUE(s.PermanentExclusions.empty()); }},
      {"exclusions odd digits", "[Advanced]\nPermanentExclusions=2F7573720D0A2F6\n",
       [=](const TPcwSettings& s) { EXPECT_EQ(s.PermanentExclusions, defaultExclusions); }},
      {"exclusions not hex", "[Advanced]\nPermanentExclusions=/usr\n",
       [=](const TPcwSettings& s) { EXPECT_EQ(s.PermanentExclusions, defaultExclusions); }},
      {"exclusions cut after a whole byte", "[Advanced]\nPermanentExclusions=2F7573720D0A2F6F\n",
       [](const TPcwSettings& s) { EXPECT_EQ(s.PermanentExclusions, (std::vector<std::string>{"/usr", "/o"})); }},
      {"exclusions lower-case hex and LF only", "[Advanced]\nPermanentExclusions=2f7573720a2f6f70740a\n",
       [](const TPcwSettings& s) { EXPECT_EQ(s.PermanentExclusions, (std::vector<std::string>{"/usr", "/opt"})); }},
      {"blank masks", "[File Mask]\nInclude=   \nExclude=\t\n[Music File Mask]\nInclude= \nExclude=\n",
       [](const TPcwSettings& s) {
         EXPECT_EQ(s.IncludeFileMasks, DefaultIncludeFileMasks());
         EXPECT_EQ(s.ExcludeFileMasks, DefaultExcludeFileMasks());
         EXPECT_EQ(s.IncludeMusicFileMasks, DefaultMusicFileMasks());
         EXPECT_EQ(s.ExcludeMusicFileMasks, DefaultMusicFileMasks());
       }},
      {"AutoDelete garbage", "[Logging]\nAutoDelete=ten\n",
       [](const TPcwSettings& s) { EXPECT_EQ(s.AutoDeleteLogPeriod, 0); }},
      {"keys and sections without case", "[file search]\ncomparisonmode=2\n[PREFERENCES]\nSHOWQUICKTIPS=0\n"
       "[advanced]\npermanentexclusions=2F6F70740D0A\n[file mask]\ninclude=*.TXT;\n",
       [](const TPcwSettings& s) {
         EXPECT_EQ(s.ComparisonMode(), 2);
         EXPECT_FALSE(s.ShowQuickTips);
         EXPECT_EQ(s.PermanentExclusions, std::vector<std::string>{"/opt"});
         EXPECT_EQ(s.IncludeFileMasks, "*.TXT;");
       }},
      {"CR LF and hand-made blanks", "\xEF\xBB\xBF[Logging]\r\n  AutoDelete = 12 \r\n\r\n[Assistant]\r\nKeepFS = 0\r\n",
       [](const TPcwSettings& s) {
         EXPECT_EQ(s.AutoDeleteLogPeriod, 12);
         EXPECT_FALSE(s.DupMoveKeepFolderStructure);
       }},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    WriteSettings(c.File);
    c.Check(Loaded());
  }
}

TEST_F(SettingsFileTest, FoldersInAnExclusionAreDroppedOnLoad) {
  const std::string excluded = fDir / "excluded";
  const std::string allowed = fDir / "allowed";
  TIniFile ini;
  ini.WriteTextList("Advanced", "PermanentExclusions", {excluded});
  ini.WriteBool("Logging", "Enable", true);
  ini.WriteString("Logging", "LogDirectory", excluded + "/logs");
  ini.WriteString("Assistant", "PathToMove", excluded + "/move");
  ASSERT_EQ(ini.UpdateFile(SettingsFile()), 0);
  TPcwSettings s = Loaded();
  // The log falls back to our own folder, switched off, as a stored empty folder does: a record
  // loaded, saved and loaded again is the same.
  EXPECT_EQ(s.LogDirectory, SettingsFolder() + "/Logs/");
  EXPECT_FALSE(s.EnableLogging);
  EXPECT_TRUE(s.DupMovePathToMove.empty());
  s.SaveSettings();
  const TPcwSettings again = Loaded();
  EXPECT_EQ(again.LogDirectory, s.LogDirectory);
  EXPECT_FALSE(again.EnableLogging);

  ini.WriteString("Logging", "LogDirectory", allowed + "/logs");
  ini.WriteString("Assistant", "PathToMove", allowed + "/move");
  ASSERT_EQ(ini.UpdateFile(SettingsFile()), 0);
  s = Loaded();
  EXPECT_EQ(s.LogDirectory, allowed + "/logs");
  EXPECT_TRUE(s.EnableLogging);
  EXPECT_EQ(s.DupMovePathToMove, allowed + "/move");
}

TEST_F(SettingsFileTest, MaskListsAreReadOnTheFirstLoadOnly) {
  WriteSettings("[File Mask]\nInclude=*.ONE;\n[Music File Mask]\nExclude=*.WAV;\n");
  TPcwSettings s;
  s.LoadSettings(true);
  EXPECT_EQ(s.IncludeFileMasks, "*.ONE;");
  EXPECT_EQ(s.ExcludeMusicFileMasks, "*.WAV;");
  EXPECT_EQ(s.ExcludeFileMasks, DefaultExcludeFileMasks());

  WriteSettings("[File Mask]\nInclude=*.TWO;\n[Preferences]\nShowPreview=0\n");
  s.ExcludeFileMasks = "  ";
  s.LoadSettings(true);
  EXPECT_FALSE(s.ShowPreview);                 // the rest is reloaded
  EXPECT_EQ(s.IncludeFileMasks, "*.ONE;");     // the lists are not
  EXPECT_EQ(s.ExcludeMusicFileMasks, "*.WAV;");
  EXPECT_EQ(s.ExcludeFileMasks, DefaultExcludeFileMasks());  // but a blank one is still mended

  EXPECT_EQ(Loaded().IncludeFileMasks, "*.TWO;");  // the next start sees the change
}

TEST_F(SettingsFileTest, LoadingNotifiesTheModeAndTheEditors) {
  WriteSettings("[File Search]\nComparisonMode=3\n");
  TPcwSettings s;
  std::vector<std::uint8_t> modes;
  int refreshed = 0;
  s.OnChangeComparisonMode = [&](std::uint8_t m) { modes.push_back(m); };
  s.OnSettingsLoaded = [&] { ++refreshed; };

  s.LoadSettings(true);
  EXPECT_EQ(modes, std::vector<std::uint8_t>{3});
  EXPECT_EQ(refreshed, 1);
  s.LoadSettings(true);  // same mode: no second report
  EXPECT_EQ(modes.size(), 1u);
  EXPECT_EQ(refreshed, 2);

  // Without reading, only the editors refresh; a reset reads nothing either.
  s.ShowPreview = false;
  s.LoadSettings(false);
  EXPECT_EQ(refreshed, 3);
  EXPECT_FALSE(s.ShowPreview);
  s.ResetToDefaults();
  EXPECT_EQ(refreshed, 4);
  EXPECT_EQ(s.ComparisonMode(), 0);
  EXPECT_EQ(modes, (std::vector<std::uint8_t>{3, 0}));
}

TEST_F(SettingsFileTest, SavingKeepsOtherSectionsAndKeys) {
  const std::string user =
      "[User]\n"
      "IncludePaths=2F686F6D652F616E6E2F4D7573696B0D0A\n"
      "IncludeMasks=*.*\n"
      "MinValue=1.5\n"
      "MainFormTop=12\n";
  const std::string filter =
      "[SearchFilterFiles]\n"
      "FileNamePattern=*Données*\n"
      "SizeMeathure=1\n";
  WriteSettings("\xEF\xBB\xBF; kept comment\n\n" + user + "\n" +
                "[Preferences]\nDbgAUServer=updates.example\nFutureKey=x y \nShowPreview=1\n\n" + filter);
  TPcwSettings s = Loaded();
  s.ShowPreview = false;
  s.SaveSettings();

  const std::string saved = ReadSettings();
  EXPECT_NE(saved.find("; kept comment\n\n" + user), std::string::npos) << saved;
  EXPECT_NE(saved.find(filter), std::string::npos) << saved;
  const TIniFile ini = SavedIni();
  EXPECT_EQ(ini.ReadValue("Preferences", "DbgAUServer"), "updates.example");  // read only, kept
  EXPECT_EQ(ini.ReadValue("Preferences", "FutureKey"), "x y ");
  EXPECT_EQ(ini.ReadValue("Preferences", "ShowPreview"), "0");
}

TEST_F(SettingsFileTest, SavingUpdatesKeysWhateverTheirCase) {
  WriteSettings("[file search]\ncomparisonmode=2\n[PREFERENCES]\nshowquicktips=1\n");
  TPcwSettings s = Loaded();
  s.SetComparisonMode(cmByteByByte);
  s.ShowQuickTips = false;
  s.SaveSettings();
  const std::string saved = ReadSettings();
  EXPECT_NE(saved.find("[file search]\ncomparisonmode=1\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("[PREFERENCES]\nshowquicktips=0\n"), std::string::npos) << saved;
  EXPECT_EQ(saved.find("ComparisonMode"), std::string::npos) << saved;
  EXPECT_EQ(saved.find("ShowQuickTips"), std::string::npos) << saved;
}

TEST_F(SettingsFileTest, NamesOutsideAsciiSurvive) {
  TPcwSettings s = Loaded();
  s.PermanentExclusions = {"/srv/Ärchiv", "/home/ann/写真", "/mnt/caf\xE9"};  // the last is Latin-1 bytes
  s.IncludeFileMasks = "\"Фото | *.JPG\",\"Ünïcödé | *.TXT\"";
  s.ExcludeMusicFileMasks = "\"Müsik | *.MP3\"";
  s.LogDirectory = fDir / "journaux d'été/";
  s.DupMovePathToMove = fDir / "Doppelt/\xFF";
  s.SaveSettings();

  const TPcwSettings r = Loaded();
  EXPECT_EQ(r.PermanentExclusions, s.PermanentExclusions);
  EXPECT_EQ(r.IncludeFileMasks, s.IncludeFileMasks);
  EXPECT_EQ(r.ExcludeMusicFileMasks, s.ExcludeMusicFileMasks);
  EXPECT_EQ(r.LogDirectory, s.LogDirectory);
  EXPECT_EQ(r.DupMovePathToMove, s.DupMovePathToMove);

  // The same text in a UTF-16 file with its mark reads the same.
  TIniFile ini = SavedIni();
  const std::string utf8 = "[File Mask]\nInclude=\"Фото | *.JPG\"\n[Advanced]\nPermanentExclusions=" +
                           HexEncode("/home/ann/写真\r\n") + "\n";
  std::u16string units;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    char32_t cp = c;
    std::size_t n = 1;
    if (c >= 0xF0) {
      cp = c & 0x07, n = 4;
    } else if (c >= 0xE0) {
      cp = c & 0x0F, n = 3;
    } else if (c >= 0xC0) {
      cp = c & 0x1F, n = 2;
    }
    for (std::size_t k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    i += n;
    units.push_back(static_cast<char16_t>(cp));  // all within the basic plane here
  }
  std::string bytes = "\xFF\xFE";
  for (char16_t u : units) {
    bytes.push_back(static_cast<char>(u & 0xFF));
    bytes.push_back(static_cast<char>(u >> 8));
  }
  WriteSettings(bytes);
  const TPcwSettings w = Loaded();
  EXPECT_EQ(w.IncludeFileMasks, "\"Фото | *.JPG\"");
  EXPECT_EQ(w.PermanentExclusions, std::vector<std::string>{"/home/ann/写真"});
}

TEST_F(SettingsFileTest, ALineBreakInAValueCannotInjectKeys) {
  TPcwSettings s = Loaded();
  s.PermanentExclusions = {};
  s.LogDirectory = fDir / "x\n[Preferences]\nDisableSafetyLock=1\n";
  s.DupMovePathToMove = "/a\r\n[Assistant]\r\nMoveToTrash=0";
  s.IncludeFileMasks = "*.A;\n[File Search]\nScanOptions42=0";
  s.SaveSettings();

  const TPcwSettings r = Loaded();
  EXPECT_FALSE(r.DisableSafetyLock);
  EXPECT_TRUE(r.DupDeleteMoveToTrash);
  EXPECT_EQ(r.ScanOptions.ToBits(), 4727);
  // What could not be stored reads as its default.
  EXPECT_EQ(r.LogDirectory, SettingsFolder() + "/Logs/");
  EXPECT_TRUE(r.DupMovePathToMove.empty());
  EXPECT_EQ(r.IncludeFileMasks, DefaultIncludeFileMasks());
}

TEST_F(SettingsFileTest, SavingCreatesTheFolderAndLeavesNoTemporaryFile) {
  TPcwSettings s = Loaded();
  fs::remove_all(fDir / "config");
  s.SaveSettings();
  EXPECT_EQ(FolderEntries(SettingsFolder()), std::vector<std::string>{"pelcrow.settings"});
  s.QuickTipIndex = 3;
  s.SaveSettings();
  EXPECT_EQ(FolderEntries(SettingsFolder()), std::vector<std::string>{"pelcrow.settings"});
  EXPECT_EQ(Loaded().QuickTipIndex, 3);
}

TEST_F(SettingsFileTest, AFolderThatCannotBeMadeFailsWithoutAPartialFile) {
  // As root no permission stops a write; a regular file where the folder should be does.
  const std::string blocker = fDir.Write("config/pelcrow", "a file, not a folder");
  TPcwSettings s = Loaded();  // reads as the defaults
  ExpectDefaults(s);
  try {
    s.SaveSettings();
    FAIL() << "saving must fail";
  } catch (const std::runtime_error& e) {
    EXPECT_TRUE(std::string(e.what()).starts_with("cannot write settings file " + SettingsFile() + ": "))
        << e.what();
  }
  EXPECT_EQ(ReadAll(blocker), "a file, not a folder");
  EXPECT_EQ(FolderEntries(fDir / "config"), std::vector<std::string>{"pelcrow"});
}

TEST_F(SettingsFileTest, AFailedWriteKeepsTheOldFile) {
  const std::string old = "\xEF\xBB\xBF[Preferences]\nQuickTipIndex=4\n[User]\nPathToMove=/x\n";
  WriteSettings(old);
  TPcwSettings s = Loaded();
  s.IncludeFileMasks = std::string(100000, 'm');  // far past the limit below

  rlimit saved {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 8192;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  bool threw = false;
  try {
    s.SaveSettings();
  } catch (const std::runtime_error&) {
    threw = true;
  }
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previousHandler);

  EXPECT_TRUE(threw);
  EXPECT_EQ(ReadSettings(), old);
  EXPECT_EQ(FolderEntries(SettingsFolder()), std::vector<std::string>{"pelcrow.settings"});
}

TEST_F(SettingsFileTest, AFileThatCannotBeReadIsNotOverwritten) {
  // Too large to be a settings file: it loads as the defaults and saving must not replace it
  // with a file that lacks every other owner's section.
  WriteSettings("[User]\nIncludePaths=2F0D0A\n");
  fs::resize_file(SettingsFile(), (16u << 20) + 1);
  TPcwSettings s = Loaded();
  ExpectDefaults(s);
  try {
    s.SaveSettings();
    FAIL() << "saving must fail";
  } catch (const std::runtime_error& e) {
    EXPECT_TRUE(std::string(e.what()).starts_with("cannot read settings file " + SettingsFile() + ": "))
        << e.what();
  }
  EXPECT_EQ(fs::file_size(SettingsFile()), (16u << 20) + 1);
  EXPECT_TRUE(ReadAll(SettingsFile()).starts_with("[User]\nIncludePaths=2F0D0A\n"));
}

TEST_F(SettingsFileTest, SavingSwitchesTheLanguage) {
  TLanguageController& controller = GetLanguageController();
  const std::string previousFolder = controller.LanguagesFolder();
  fDir.Write("lang/Xx.lng", ";LangName=Test\nCancel=Abbruch\n");
  controller.SetLanguagesFolder(fDir / "lang");

  TPcwSettings s = Loaded();
  s.TranslationLanguageCode = "xx";
  s.SaveSettings();
  EXPECT_EQ(controller.CurrentLanguageCode(), "xx");
  EXPECT_EQ(controller.Translate("Cancel"), "Abbruch");

  s.TranslationLanguageCode = "en";
  s.SaveSettings();
  EXPECT_EQ(controller.CurrentLanguageCode(), "en");
  controller.SetLanguagesFolder(previousFolder);
}

// The logger follows the process-wide record: borrowed for one test and put back, with the
// logger closed.
class TBorrowedSettings {
 public:
  TBorrowedSettings() : fSaved(Settings) { Settings = TPcwSettings(); }
  ~TBorrowedSettings() {
    StopLogging();
    Settings = fSaved;
  }
  TBorrowedSettings(const TBorrowedSettings&) = delete;
  TBorrowedSettings& operator=(const TBorrowedSettings&) = delete;

 private:
  TPcwSettings fSaved;
};

TEST_F(SettingsFileTest, SavingRestartsTheLogOnTheSavedFolder) {
  const TBorrowedSettings borrowed;
  Settings.LoadSettings(true);
  Settings.PermanentExclusions = {};
  Settings.EnableLogging = true;
  Settings.LogDirectory = fDir / "logs";
  Settings.SaveSettings();
  const std::string first = GetLogger().LogFileName();
  EXPECT_TRUE(first.starts_with(fDir / "logs/")) << first;

  Settings.LogDirectory = fDir / "other logs";
  Settings.SaveSettings();
  EXPECT_TRUE(GetLogger().LogFileName().starts_with(fDir / "other logs/")) << GetLogger().LogFileName();

  Settings.EnableLogging = false;
  Settings.SaveSettings();
  EXPECT_TRUE(GetLogger().LogFileName().empty());
  EXPECT_EQ(SavedIni().ReadValue("Logging", "Enable"), "0");
}

TEST_F(SettingsFileTest, ALogThatCannotBeWrittenIsSwitchedOffInTheSavedFile) {
  const TBorrowedSettings borrowed;
  TQueueMainThread loop;
  SetMainThread(&loop);
  test::TScriptedPrompt prompt;

  Settings.LoadSettings(true);
  Settings.PermanentExclusions = {};
  Settings.EnableLogging = true;
  Settings.LogDirectory = fDir.Write("blocker", "a file") + "/logs";
  // Restarting the log fails; the logger switches logging off and saves from inside this save.
  // The outer save must not write the old "on" back over that.
  Settings.SaveSettings();
  loop.ProcessEvents();
  EXPECT_FALSE(Settings.EnableLogging);
  EXPECT_EQ(SavedIni().ReadValue("Logging", "Enable"), "0");
  ASSERT_EQ(prompt.Messages.size(), 1u);
  EXPECT_EQ(prompt.Messages[0].second, kUnableToWriteLogMessage);
  SetMainThread(nullptr);
}

}  // namespace
}  // namespace pelcrow
