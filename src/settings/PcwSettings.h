// The user's preferences: one value record, one global instance `Settings`. Every subsystem reads
// its options from here; the settings file fills and writes it whole.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/ScanOptions.h"
#include "base/Set.h"

namespace pelcrow {

// Comparison modes (values of ComparisonMode).
enum : std::uint8_t {
  cmCRC32 = 0,
  cmByteByByte = 1,
  cmFileName = 2,
  cmMusicTags = 3,
  cmEmails = 4,
  cmContacts = 5,
  cmPhotoLibrary = 6,
  cmSimilarPictures = 7,
};
inline constexpr std::uint8_t kLastComparisonMode = 7;
// The similar-pictures mode groups pictures at least this alike (percent of equal hash bits).
inline constexpr int kDefaultSimilarityPercent = 90;
inline constexpr int kMinSimilarityPercent = 50;
// The modes that compare files found in folders (not the items of a store or library).
inline constexpr bool IsFileComparisonMode(std::uint8_t mode) { return mode <= cmMusicTags || mode == cmSimilarPictures; }
// Caption of a comparison mode as the settings dialog shows it; empty for an unknown mode.
const char* ComparisonModeCaption(std::uint8_t mode);

enum TPcwCompareOption : unsigned { coFileName, coExtension, coFileSize, coEXIF };
using TPcwCompareOptions = TSet<TPcwCompareOption, std::uint8_t>;


enum TPcwLogEvent : unsigned {
  leScanStarted,
  leScanFinished,
  leInfo,
  leFileFound,
  leFileSkipped,
  leFolderScanned,
  leFolderSkipped,
  leFileRenamed,
  leFileMoved,
  leFileDeleted,
  leError,
  leSymLink,
  leMediaLibSyncOk,
  leMediaLibSyncFail,
};
using TPcwLogEvents = TSet<TPcwLogEvent, std::uint16_t>;

enum TMusicTagsOption : unsigned {
  mtTitle,
  mtArtist,
  mtAlbum,
  mtTrack,
  mtYear,
  mtGenre,
  mtDuration,
  mtBitRate,
  mtCombined,
};
using TMusicTagsOptions = TSet<TMusicTagsOption, std::uint16_t>;
inline constexpr std::uint16_t kDefaultMusicTagsOptions = 259;

enum TOutlookOption : unsigned {
  olFrom,
  olTo,
  olSubject,
  olReceivedDate,
  olBodySize,
  olContent,
  olSubfolders,
  olCaseSensitive,
  olContactEmail,
  olContactName,
  olContactSubfolders,
};
using TOutlookOptions = TSet<TOutlookOption, std::uint16_t>;
inline constexpr std::uint16_t kDefaultOutlookOptions = 1911;
inline constexpr const char* kDefaultMaildirStores = "$MAILDIR;~/Maildir;~/.local/share/mail;~/.local/share/local-mail";
inline constexpr const char* kDefaultThunderbirdProfiles = "~/.thunderbird;~/.var/app/org.mozilla.Thunderbird/.thunderbird";
// "khard" and "vdirsyncer" stand for the address books those programs' configurations name.
inline constexpr const char* kDefaultAddressBooks = "~/.local/share/contacts;khard;vdirsyncer";

using TChangeComparisonModeEvent = std::function<void(std::uint8_t)>;

class TIniFile;

struct TPcwSettings {
  // Field order follows the settings record; see the .cpp for the defaults.
  std::uint8_t FComparisonMode = 0;
  std::string fSettingsPath;
  std::string fSettingsFile;
  std::uint8_t LastFileSearchMode = 0;
  TPcwCompareOptions CompareOptions;
  TPcwScanOptions ScanOptions = TPcwScanOptions::FromBits(kDefaultScanOptions);
  bool MasterSelectMode = false;
  bool CheckForUpdates = true;
  bool MaximizeOnStartup = true;
  bool LaunchWizard = false;
  bool KeepUserSettings = true;
  bool ShowQuickTips = true;
  std::int32_t QuickTipIndex = -1;
  bool Sync_iTunes = true;
  bool Sync_WMP = true;
  bool Sync_iPhoto = true;
  // A deleted duplicate's playlist entries point to the group's kept copy instead of going.
  bool Sync_RepointToKept = false;
  // The music server's music folder, for a server that does not tell it (reached over TCP);
  // empty: asked of the server, then read from its configuration.
  std::string MpdMusicDirectory;
  std::string TranslationLanguageCode = "en";
  bool ShowPreview = true;
  bool ShellContextMenu = false;
  bool DisableSafetyLock = false;
  // Days the action journal keeps an action for undo (0: for ever).
  int UndoJournalDays = 30;
  // Checksums of files read by earlier scans are kept and reused while the files are unchanged.
  bool UseChecksumCache = true;
  // Similar-pictures mode: how alike two pictures must be, in percent.
  int SimilarityPercent = kDefaultSimilarityPercent;
  bool EnableLogging = false;
  std::string LogDirectory;
  std::int32_t AutoDeleteLogPeriod = 0;
  TPcwLogEvents LogEvents;
  TMusicTagsOptions MusicTagsOptions = TMusicTagsOptions::FromBits(kDefaultMusicTagsOptions);
  // File-name mode: names at least NameSimilarity (1..100) alike are one name.
  bool SimilarNames = false;
  int NameSimilarity = 80;
  TOutlookOptions OutlookOptions = TOutlookOptions::FromBits(kDefaultOutlookOptions);
  // The mail stores of the e-mail mode, ";"-separated; "~" and "$VAR" are expanded.
  std::string MaildirStores = kDefaultMaildirStores;
  std::string ThunderbirdProfiles = kDefaultThunderbirdProfiles;
  // The address books of the contacts mode (folders of .vcf files, .vcf files), the same way.
  std::string AddressBooks = kDefaultAddressBooks;
  // The photo mode's library (Shotwell's photo.db; "~" and "$VAR" are expanded) and the folder
  // of the scripts that drive it; empty: Shotwell's own library, the scripts beside the program.
  std::string PhotoLibrary;
  std::string PhotoScriptFolder;
  std::vector<std::string> PermanentExclusions;
  std::string IncludeFileMasks;
  std::string IncludeMusicFileMasks;
  std::string ExcludeFileMasks;
  std::string ExcludeMusicFileMasks;
  std::string DupMovePathToMove;
  bool DupMoveKeepFolderStructure = true;
  std::string DupRenamePrefixStr;
  bool DupRenameSetAsPrefix = true;
  bool DupDeleteMoveToTrash = true;
  std::string DbgAUServer;
  TChangeComparisonModeEvent OnChangeComparisonMode;
  // Called when the record has been refilled (reset or loaded) so that open editors refresh.
  std::function<void()> OnSettingsLoaded;

  TPcwSettings();

  std::uint8_t ComparisonMode() const { return FComparisonMode; }
  // Stores the low 8 bits of mode; a real change is reported to OnChangeComparisonMode once.
  void SetComparisonMode(unsigned mode);

  // With true, refills the record from the settings file (a missing or unreadable file gives the
  // defaults; the four mask lists are read on the first load only); in both forms open editors
  // then refresh through OnSettingsLoaded.
  void LoadSettings(bool ReLoadFromFile);
  // Only the media-library switches from the settings file (the command line follows those).
  void LoadMediaLibSettings();
  // Writes every stored field to the settings file, keeping the sections and keys of other owners,
  // switches the language and restarts the logger. Throws std::runtime_error when the file cannot
  // be read or written; the file on disk is then left as it was.
  void SaveSettings();
  // $XDG_CONFIG_HOME/<base>/<base>.settings, computed once (the folder is created then); empty
  // when the user has no configuration folder.
  std::string GetSettingsFile();

  // The base name of the settings folder and file; the executable's base name unless a front end
  // fixed it (the app and the command line share "pelcrow"). Set it before the first
  // GetSettingsFile; an empty name or one holding "/" goes back to the executable's name.
  static void SetSettingsBaseName(std::string name);
  static std::string GetSettingsBaseName();

  void ResetToDefaults();
  // True when aPath may be scanned; false when it lies in a permanent exclusion (with BeSilent
  // false the user is told why).
  bool CheckExclusionFolder(const std::string& aPath, bool BeSilent) const;
  // The same for a log folder, except that the program's own folder (the settings folder and
  // below, where the default log folder lies) always passes: the exclusions keep scans out of
  // configuration folders, not the program's log.
  bool CheckLogFolder(const std::string& aPath, bool BeSilent) const;
  void RetrieveShellContextMenuStatus();
  // What a save also does (switch the language, restart the log):
  // the layers that own those set it, as settings know neither.
  static void SetSavingHook(std::function<void(TPcwSettings&)> Hook);

 private:
  // The settings folder with a trailing "/"; empty without a configuration folder.
  static std::string SettingsFolder();
  void ReadFromIni(const TIniFile& ini);
  void ReadFileSearch(const TIniFile& ini);
  void ReadPreferences(const TIniFile& ini);
  void ReadLogging(const TIniFile& ini);
  void ReadAssistantAndStores(const TIniFile& ini);
  void ReadFileMasks(const TIniFile& ini);
  void WriteToIni(TIniFile& ini) const;

  // Only the first load of a record reads the mask lists; later loads keep them as they are.
  bool fFirstLoad = true;
};

extern TPcwSettings Settings;

// Wildcard rule of the exclusion checks: '*' any run, '?' any one character, other characters
// equal after ASCII lower-casing; when the text ends only '*' may remain in the pattern.
bool WildcardMatch(std::string_view pattern, std::string_view text);

// Text of the notice shown when a folder lies in a permanent exclusion (untranslated).
inline constexpr const char* kExclusionFolderMessage =
    "This folder cannot be selected because it is in exclusion list.\r\n"
    "Please go to Settings->Advanced Settings to get more details.";

}  // namespace pelcrow
