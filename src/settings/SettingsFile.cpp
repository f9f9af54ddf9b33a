// Loading and saving the settings record: where the file lies, every section and key with its
// default and encoding, and the order of both directions with their side effects.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

#include "base/Trim.h"
#include "platform/FileSystem.h"
#include "platform/SpecialFolders.h"
#include "settings/FileMasks.h"
#include "settings/IniFile.h"
#include "settings/PcwSettings.h"

namespace pelcrow {

namespace {

// Sections and keys.
constexpr std::string_view kAdvanced = "Advanced";
constexpr std::string_view kPermanentExclusions = "PermanentExclusions";

constexpr std::string_view kFileSearch = "File Search";
constexpr std::string_view kComparisonMode = "ComparisonMode";
constexpr std::string_view kLastFSMode = "LastFSMode";
constexpr std::string_view kCompareOptions = "CompareOptions";
constexpr std::string_view kScanOptions = "ScanOptions42";
constexpr std::string_view kMasterSelect = "MasterSelect";

constexpr std::string_view kPreferences = "Preferences";
constexpr std::string_view kCheckForUpdates = "CheckForUpdates";
constexpr std::string_view kMaximizeOnStartup = "MaximizeOnStartup";
constexpr std::string_view kLaunchWizard = "LaunchWizard";
constexpr std::string_view kKeepUserSettings = "KeepUserSettings";
constexpr std::string_view kShowQuickTips = "ShowQuickTips";
constexpr std::string_view kQuickTipIndex = "QuickTipIndex";
constexpr std::string_view kTranslationLanguageCode = "TranslationLanguageCode";
constexpr std::string_view kSyncITunes = "Sync_iTunes";
constexpr std::string_view kSyncWMP = "Sync_WMP";
constexpr std::string_view kSyncIPhoto = "Sync_iPhoto";
constexpr std::string_view kPhotoLibrary = "PhotoLibrary";
constexpr std::string_view kPhotoScriptFolder = "PhotoScriptFolder";
constexpr std::string_view kSyncRepointToKept = "Sync_RepointToKept";
constexpr std::string_view kMpdMusicDirectory = "MpdMusicDirectory";
constexpr std::string_view kShowPreview = "ShowPreview";
constexpr std::string_view kDisableSafetyLock = "DisableSafetyLock";
constexpr std::string_view kUndoJournalDays = "UndoJournalDays";
constexpr std::string_view kSimilarity = "SimilarityPercent";
constexpr std::string_view kChecksumCache = "ChecksumCache";
constexpr std::string_view kSimilarNames = "SimilarNames";
constexpr std::string_view kNameSimilarity = "NameSimilarity";
constexpr std::string_view kDbgAUServer = "DbgAUServer";

constexpr std::string_view kLogging = "Logging";
constexpr std::string_view kEnable = "Enable";
constexpr std::string_view kLogDirectory = "LogDirectory";
constexpr std::string_view kAutoDelete = "AutoDelete";
constexpr std::string_view kEvents = "Events";

constexpr std::string_view kMusicTags = "MusicTags";
constexpr std::string_view kOutlook = "Outlook";
constexpr std::string_view kOptions = "Options";

constexpr std::string_view kAssistant = "Assistant";
constexpr std::string_view kPathToMove = "PathToMove";
constexpr std::string_view kPrefixStr = "PrefixStr";
constexpr std::string_view kKeepFS = "KeepFS";
constexpr std::string_view kSetAsPrefix = "SetAsPrefix";
constexpr std::string_view kMoveToTrash = "MoveToTrash";

constexpr std::string_view kFileMask = "File Mask";
constexpr std::string_view kMusicFileMask = "Music File Mask";
constexpr std::string_view kInclude = "Include";
constexpr std::string_view kExclude = "Exclude";

constexpr const char* kDefaultLanguageCode = "en";

// How many low bits of the stored integer belong to each option set.
constexpr unsigned kCompareOptionBits = 4;
constexpr unsigned kScanOptionBits = 13;
constexpr unsigned kMusicTagsOptionBits = 9;
constexpr unsigned kOutlookOptionBits = 11;

// "Events" does not follow the enumeration order: stored bit n is kEventBits[n].
constexpr TPcwLogEvent kEventBits[] = {
    leFileFound,   leFileSkipped,   leFileRenamed, leFileMoved,      leFileDeleted,
    leFolderScanned, leFolderSkipped, leSymLink,   leMediaLibSyncOk, leMediaLibSyncFail,
};

constexpr std::uint32_t LowBits(unsigned count) { return (1u << count) - 1u; }

template <typename TSetType>
TSetType ReadOptionSet(const TIniFile& ini, std::string_view section, std::string_view key,
                       unsigned bits, std::uint32_t defaultBits) {
  using TBits = decltype(TSetType().ToBits());
  const auto stored = static_cast<std::uint32_t>(
      ini.ReadInteger(section, key, static_cast<std::int32_t>(defaultBits)));
  return TSetType::FromBits(static_cast<TBits>(stored & LowBits(bits)));
}

template <typename TSetType>
void WriteOptionSet(TIniFile& ini, std::string_view section, std::string_view key, TSetType set,
                    unsigned bits) {
  ini.WriteInteger(section, key,
                   static_cast<std::int32_t>(static_cast<std::uint32_t>(set.ToBits()) & LowBits(bits)));
}

TPcwLogEvents UnpackLogEvents(std::uint32_t stored) {
  TPcwLogEvents events;
  for (std::size_t bit = 0; bit < std::size(kEventBits); ++bit) {
    if ((stored >> bit) & 1u) events.Include(kEventBits[bit]);
  }
  return events;
}

std::int32_t PackLogEvents(TPcwLogEvents events) {
  std::uint32_t stored = 0;
  for (std::size_t bit = 0; bit < std::size(kEventBits); ++bit) {
    if (events.Contains(kEventBits[bit])) stored |= 1u << bit;
  }
  return static_cast<std::int32_t>(stored);
}

// An integer that must lie in [low, high]; anything else reads as the default, so that a garbage
// mode never reaches code that indexes by it.
std::int32_t ReadRange(const TIniFile& ini, std::string_view section, std::string_view key,
                       std::int32_t low, std::int32_t high, std::int32_t defaultValue) {
  const std::int32_t value = ini.ReadInteger(section, key, defaultValue);
  return (value < low || value > high) ? defaultValue : value;
}

std::function<void(TPcwSettings&)>& SavingHook() {
  static std::function<void(TPcwSettings&)> hook;
  return hook;
}

std::string& SettingsBaseNameOverride() {
  static std::string name;
  return name;
}

}  // namespace

// ----------------------------------------------------------------------------------- location

void TPcwSettings::SetSettingsBaseName(std::string name) {
  if (name == "." || name == ".." || name.find_first_of(std::string_view("/\0", 2)) != std::string::npos) {
    name.clear();
  }
  SettingsBaseNameOverride() = std::move(name);
}

std::string TPcwSettings::GetSettingsBaseName() {
  const std::string& name = SettingsBaseNameOverride();
  return name.empty() ? TPcwSpecialFolders::GetExecutableBaseName() : name;
}

std::string TPcwSettings::SettingsFolder() {
  std::string folder = TPcwSpecialFolders::GetUserConfigDirectory();
  if (folder.empty()) return {};
  if (folder.back() != '/') folder.push_back('/');
  folder += GetSettingsBaseName();
  folder.push_back('/');
  return folder;
}

std::string TPcwSettings::GetSettingsFile() {
  if (!fSettingsFile.empty()) return fSettingsFile;
  const std::string folder = SettingsFolder();
  if (folder.empty()) return {};
  // Best effort: saving creates the folder again if this fails.
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  fSettingsPath = folder;
  fSettingsFile = folder + GetSettingsBaseName() + ".settings";
  return fSettingsFile;
}

// -------------------------------------------------------------------------------------- load

void TPcwSettings::SetSavingHook(std::function<void(TPcwSettings&)> Hook) { SavingHook() = std::move(Hook); }

void TPcwSettings::LoadSettings(bool ReLoadFromFile) {
  if (ReLoadFromFile) {
    TIniFile ini;
    const std::string file = GetSettingsFile();
    // A file that cannot be read loads as the defaults; SaveSettings then refuses to overwrite it.
    if (!file.empty()) ini.LoadFromFile(file);
    ReadFromIni(ini);
    fFirstLoad = false;
  }
  if (OnSettingsLoaded) OnSettingsLoaded();
}

void TPcwSettings::LoadMediaLibSettings() {
  TIniFile ini;
  const std::string file = GetSettingsFile();
  if (!file.empty()) ini.LoadFromFile(file);
  Sync_iTunes = ini.ReadBool(kPreferences, kSyncITunes, true);
  Sync_WMP = ini.ReadBool(kPreferences, kSyncWMP, true);
  Sync_RepointToKept = ini.ReadBool(kPreferences, kSyncRepointToKept, false);
  MpdMusicDirectory = ini.ReadString(kPreferences, kMpdMusicDirectory, "");
  // The photo library is one too: the command line finds it where the app does.
  PhotoLibrary = ini.ReadString(kPreferences, kPhotoLibrary, "");
  PhotoScriptFolder = ini.ReadString(kPreferences, kPhotoScriptFolder, "");
}

void TPcwSettings::ReadFromIni(const TIniFile& ini) {
  ReadFileSearch(ini);
  ReadPreferences(ini);
  ReadLogging(ini);
  ReadAssistantAndStores(ini);
  ReadFileMasks(ini);
}

void TPcwSettings::ReadFileSearch(const TIniFile& ini) {
  // A missing key, and a value that is not whole hexadecimal pairs, give the default list; a
  // present empty value gives an empty list.
  if (auto list = ini.ReadTextList(kAdvanced, kPermanentExclusions)) {
    PermanentExclusions = std::move(*list);
  } else {
    PermanentExclusions = TPcwSpecialFolders::GetDefaultExclusions();
  }
  SetComparisonMode(static_cast<unsigned>(
      ReadRange(ini, kFileSearch, kComparisonMode, 0, kLastComparisonMode, cmCRC32)));
  LastFileSearchMode =
      static_cast<std::uint8_t>(ReadRange(ini, kFileSearch, kLastFSMode, 0, cmFileName, cmCRC32));
  CompareOptions =
      ReadOptionSet<TPcwCompareOptions>(ini, kFileSearch, kCompareOptions, kCompareOptionBits, 0);
  ScanOptions = ReadOptionSet<TPcwScanOptions>(ini, kFileSearch, kScanOptions, kScanOptionBits,
                                               kDefaultScanOptions);
  MasterSelectMode = ini.ReadBool(kFileSearch, kMasterSelect, false);
}

void TPcwSettings::ReadPreferences(const TIniFile& ini) {
  CheckForUpdates = ini.ReadBool(kPreferences, kCheckForUpdates, true);
  MaximizeOnStartup = ini.ReadBool(kPreferences, kMaximizeOnStartup, true);
  LaunchWizard = ini.ReadBool(kPreferences, kLaunchWizard, false);
  KeepUserSettings = ini.ReadBool(kPreferences, kKeepUserSettings, true);
  ShowQuickTips = ini.ReadBool(kPreferences, kShowQuickTips, true);
  // -1 is "none yet"; nothing below it is an index.
  QuickTipIndex = ReadRange(ini, kPreferences, kQuickTipIndex, -1, INT32_MAX, -1);
  TranslationLanguageCode =
      std::string(TrimSpaces(ini.ReadString(kPreferences, kTranslationLanguageCode, kDefaultLanguageCode)));
  if (TranslationLanguageCode.empty()) TranslationLanguageCode = kDefaultLanguageCode;
  Sync_iTunes = ini.ReadBool(kPreferences, kSyncITunes, true);
  Sync_WMP = ini.ReadBool(kPreferences, kSyncWMP, true);
  Sync_iPhoto = ini.ReadBool(kPreferences, kSyncIPhoto, true);
  Sync_RepointToKept = ini.ReadBool(kPreferences, kSyncRepointToKept, false);
  MpdMusicDirectory = ini.ReadString(kPreferences, kMpdMusicDirectory, "");
  ShowPreview = ini.ReadBool(kPreferences, kShowPreview, true);
  DisableSafetyLock = ini.ReadBool(kPreferences, kDisableSafetyLock, false);
  UndoJournalDays = std::max(0, static_cast<int>(ini.ReadInteger(kPreferences, kUndoJournalDays, 30)));
  UseChecksumCache = ini.ReadBool(kPreferences, kChecksumCache, true);
  SimilarNames = ini.ReadBool(kPreferences, kSimilarNames, false);
  NameSimilarity = std::clamp(static_cast<int>(ini.ReadInteger(kPreferences, kNameSimilarity, 80)), 1, 100);
  SimilarityPercent = ReadRange(ini, kFileSearch, kSimilarity, kMinSimilarityPercent, 100, kDefaultSimilarityPercent);
  PhotoLibrary = ini.ReadString(kPreferences, kPhotoLibrary, "");
  PhotoScriptFolder = ini.ReadString(kPreferences, kPhotoScriptFolder, "");
  DbgAUServer = ini.ReadString(kPreferences, kDbgAUServer, "");
  RetrieveShellContextMenuStatus();
}

void TPcwSettings::ReadLogging(const TIniFile& ini) {
  EnableLogging = ini.ReadBool(kLogging, kEnable, false);
  LogDirectory = ini.ReadString(kLogging, kLogDirectory, "");
  // An empty folder cannot hold a log; earlier versions stored one after the check below had
  // dropped the default folder.
  const std::string defaultFolder = fSettingsPath.empty() ? std::string() : fSettingsPath + "Logs/";
  if (LogDirectory.empty()) LogDirectory = defaultFolder;
  if (!CheckLogFolder(LogDirectory, true)) {
    // A refused folder falls back to the default one, as an empty one does, so that loading what
    // was saved gives the same record again.
    LogDirectory = LogDirectory != defaultFolder && CheckLogFolder(defaultFolder, true) ? defaultFolder : "";
    EnableLogging = false;
  }
  AutoDeleteLogPeriod = ini.ReadInteger(kLogging, kAutoDelete, 0);
  LogEvents = UnpackLogEvents(static_cast<std::uint32_t>(ini.ReadInteger(kLogging, kEvents, 0)));
}

// The music tags, the assistant's stored choices and the mail stores.
void TPcwSettings::ReadAssistantAndStores(const TIniFile& ini) {
  MusicTagsOptions = ReadOptionSet<TMusicTagsOptions>(ini, kMusicTags, kOptions, kMusicTagsOptionBits,
                                                      kDefaultMusicTagsOptions);

  DupMovePathToMove = ini.ReadString(kAssistant, kPathToMove, "");
  DupRenamePrefixStr = ini.ReadString(kAssistant, kPrefixStr, "");
  DupMoveKeepFolderStructure = ini.ReadBool(kAssistant, kKeepFS, true);
  DupRenameSetAsPrefix = ini.ReadBool(kAssistant, kSetAsPrefix, true);
  DupDeleteMoveToTrash = ini.ReadBool(kAssistant, kMoveToTrash, true);
  if (!CheckExclusionFolder(DupMovePathToMove, true)) DupMovePathToMove.clear();

  OutlookOptions = ReadOptionSet<TOutlookOptions>(ini, kOutlook, kOptions, kOutlookOptionBits,
                                                  kDefaultOutlookOptions);
  MaildirStores = ini.ReadString(kOutlook, "MaildirStores", kDefaultMaildirStores);
  ThunderbirdProfiles = ini.ReadString(kOutlook, "ThunderbirdProfiles", kDefaultThunderbirdProfiles);
  AddressBooks = ini.ReadString(kOutlook, "AddressBooks", kDefaultAddressBooks);
}

void TPcwSettings::ReadFileMasks(const TIniFile& ini) {
  // Later loads keep the lists in memory: a list edited in the file while the program runs
  // takes effect at the next start.
  if (fFirstLoad) {
    IncludeFileMasks = ini.ReadString(kFileMask, kInclude, DefaultIncludeFileMasks());
    ExcludeFileMasks = ini.ReadString(kFileMask, kExclude, DefaultExcludeFileMasks());
    IncludeMusicFileMasks = ini.ReadString(kMusicFileMask, kInclude, DefaultMusicFileMasks());
    ExcludeMusicFileMasks = ini.ReadString(kMusicFileMask, kExclude, DefaultMusicFileMasks());
  }
  IncludeFileMasks = MaskListOrDefault(IncludeFileMasks, DefaultIncludeFileMasks());
  ExcludeFileMasks = MaskListOrDefault(ExcludeFileMasks, DefaultExcludeFileMasks());
  IncludeMusicFileMasks = MaskListOrDefault(IncludeMusicFileMasks, DefaultMusicFileMasks());
  ExcludeMusicFileMasks = MaskListOrDefault(ExcludeMusicFileMasks, DefaultMusicFileMasks());
}

// -------------------------------------------------------------------------------------- save

void TPcwSettings::SaveSettings() {
  const std::string file = GetSettingsFile();
  TIniFile ini;
  // The document is read first so that the sections of other owners ("User",
  // "SearchFilterFiles") and keys written by hand survive; a file that exists but cannot be read
  // is therefore never overwritten.
  const int readError = file.empty() ? 0 : ini.LoadFromFile(file);

  // The side effects come before the keys are filled in: restarting the logger may itself save
  // (a log that cannot be written switches logging off), and the outer save must then write the
  // record as that left it rather than the state from before.
  if (SavingHook()) SavingHook()(*this);

  WriteToIni(ini);

  if (file.empty()) throw std::runtime_error("cannot write settings file: no configuration folder");
  if (readError != 0) {
    throw std::runtime_error("cannot read settings file " + file + ": " + platform::ErrorText(readError));
  }
  if (const int err = ini.UpdateFile(file)) {
    throw std::runtime_error("cannot write settings file " + file + ": " + platform::ErrorText(err));
  }
}

void TPcwSettings::WriteToIni(TIniFile& ini) const {
  ini.WriteInteger(kFileSearch, kLastFSMode, LastFileSearchMode);
  ini.WriteInteger(kFileSearch, kComparisonMode, FComparisonMode);
  WriteOptionSet(ini, kFileSearch, kCompareOptions, CompareOptions, kCompareOptionBits);
  WriteOptionSet(ini, kFileSearch, kScanOptions, ScanOptions, kScanOptionBits);
  ini.WriteBool(kFileSearch, kMasterSelect, MasterSelectMode);

  ini.WriteBool(kPreferences, kCheckForUpdates, CheckForUpdates);
  ini.WriteBool(kPreferences, kMaximizeOnStartup, MaximizeOnStartup);
  ini.WriteBool(kPreferences, kLaunchWizard, LaunchWizard);
  ini.WriteBool(kPreferences, kKeepUserSettings, KeepUserSettings);
  ini.WriteBool(kPreferences, kShowQuickTips, ShowQuickTips);
  ini.WriteInteger(kPreferences, kQuickTipIndex, QuickTipIndex);
  ini.WriteBool(kPreferences, kSyncITunes, Sync_iTunes);
  ini.WriteBool(kPreferences, kSyncWMP, Sync_WMP);
  ini.WriteBool(kPreferences, kSyncIPhoto, Sync_iPhoto);
  ini.WriteBool(kPreferences, kSyncRepointToKept, Sync_RepointToKept);
  ini.WriteString(kPreferences, kMpdMusicDirectory, MpdMusicDirectory);
  ini.WriteBool(kPreferences, kShowPreview, ShowPreview);
  ini.WriteString(kPreferences, kPhotoLibrary, PhotoLibrary);
  ini.WriteString(kPreferences, kPhotoScriptFolder, PhotoScriptFolder);
  ini.WriteBool(kPreferences, kDisableSafetyLock, DisableSafetyLock);
  ini.WriteInteger(kPreferences, kUndoJournalDays, UndoJournalDays);
  ini.WriteBool(kPreferences, kChecksumCache, UseChecksumCache);
  ini.WriteBool(kPreferences, kSimilarNames, SimilarNames);
  ini.WriteInteger(kPreferences, kNameSimilarity, NameSimilarity);
  ini.WriteInteger(kFileSearch, kSimilarity, SimilarityPercent);
  ini.WriteString(kPreferences, kTranslationLanguageCode, TranslationLanguageCode);

  ini.WriteBool(kLogging, kEnable, EnableLogging);
  // A folder name holding a line break cannot stand on one line; the key is dropped then and the
  // next load falls back to the default folder rather than reading half a name.
  ini.WriteString(kLogging, kLogDirectory, LogDirectory);
  ini.WriteInteger(kLogging, kAutoDelete, AutoDeleteLogPeriod);
  ini.WriteInteger(kLogging, kEvents, PackLogEvents(LogEvents));

  WriteOptionSet(ini, kMusicTags, kOptions, MusicTagsOptions, kMusicTagsOptionBits);
  ini.WriteTextList(kAdvanced, kPermanentExclusions, PermanentExclusions);
  WriteOptionSet(ini, kOutlook, kOptions, OutlookOptions, kOutlookOptionBits);
  ini.WriteString(kOutlook, "MaildirStores", MaildirStores);
  ini.WriteString(kOutlook, "ThunderbirdProfiles", ThunderbirdProfiles);
  ini.WriteString(kOutlook, "AddressBooks", AddressBooks);

  ini.WriteString(kAssistant, kPathToMove, DupMovePathToMove);
  ini.WriteString(kAssistant, kPrefixStr, DupRenamePrefixStr);
  ini.WriteBool(kAssistant, kKeepFS, DupMoveKeepFolderStructure);
  ini.WriteBool(kAssistant, kSetAsPrefix, DupRenameSetAsPrefix);
  ini.WriteBool(kAssistant, kMoveToTrash, DupDeleteMoveToTrash);
  ini.WriteString(kFileMask, kInclude, IncludeFileMasks);
  ini.WriteString(kFileMask, kExclude, ExcludeFileMasks);
  ini.WriteString(kMusicFileMask, kInclude, IncludeMusicFileMasks);
  ini.WriteString(kMusicFileMask, kExclude, ExcludeMusicFileMasks);
}

}  // namespace pelcrow
