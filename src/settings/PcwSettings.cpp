#include "settings/PcwSettings.h"

#include <exception>
#include <filesystem>
#include <string_view>

#include "base/UserPrompt.h"
#include "localization/TranslateText.h"
#include "platform/SpecialFolders.h"

namespace pelcrow {

TPcwSettings Settings;

namespace {

// Only ASCII letters change case in the exclusion check, whatever the locale.
char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string UpperWithTrailingDelimiter(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 1);
  for (char c : text) out.push_back(AsciiUpper(c));
  if (out.empty() || out.back() != '/') out.push_back('/');
  return out;
}

std::string_view WithoutExtendedPrefix(std::string_view path, std::string& buffer) {
  constexpr std::string_view kUncPrefix = "\\\\?\\UNC\\";
  constexpr std::string_view kPrefix = "\\\\?\\";
  if (path.starts_with(kUncPrefix)) {
    buffer = "\\\\";
    buffer.append(path.substr(kUncPrefix.size()));
    return buffer;
  }
  if (path.starts_with(kPrefix)) return path.substr(kPrefix.size());
  return path;
}

// Length of the character starting at text[i]: a whole UTF-8 sequence when well-formed, else one
// byte, so that names which are not UTF-8 still match byte by byte.
std::size_t CharLength(std::string_view text, std::size_t i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  std::size_t n = 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    n = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    n = 3;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    n = 4;
  }
  if (i + n > text.size()) return 1;
  for (std::size_t k = 1; k < n; ++k) {
    if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 1;
  }
  return n;
}

std::string DefaultLogDirectory(const std::string& settingsPath) {
  return settingsPath.empty() ? std::string() : settingsPath + "Logs";
}

}  // namespace

const char* ComparisonModeCaption(std::uint8_t mode) {
  switch (mode) {
    case cmCRC32: return "CRC32 Checksum + FileSize";
    case cmByteByByte: return "Byte-by-Byte Comparison";
    case cmFileName: return "Filename Only (fast scan)";
    case cmMusicTags: return "Compare Music Tags";
    case cmEmails: return "Emails";
    case cmContacts: return "Contacts";
    case cmPhotoLibrary: return "iPhoto Library";
    case cmSimilarPictures: return "Similar Pictures";
    default: return "";
  }
}

TPcwSettings::TPcwSettings()
    : fSettingsPath(SettingsFolder()),
      LogDirectory(DefaultLogDirectory(fSettingsPath)),
      PermanentExclusions(TPcwSpecialFolders::GetDefaultExclusions()) {}

void TPcwSettings::SetComparisonMode(unsigned mode) {
  const auto value = static_cast<std::uint8_t>(mode & 0xFFu);
  if (value == FComparisonMode) return;
  FComparisonMode = value;
  if (OnChangeComparisonMode) OnChangeComparisonMode(value);
}

void TPcwSettings::ResetToDefaults() {
  // Left alone: fSettingsFile, LastFileSearchMode, ShellContextMenu, the four mask lists,
  // DbgAUServer and the event handlers.
  fSettingsPath = SettingsFolder();
  SetComparisonMode(cmCRC32);

  CompareOptions = TPcwCompareOptions();
  ScanOptions = TPcwScanOptions::FromBits(kDefaultScanOptions);
  MasterSelectMode = false;
  CheckForUpdates = true;
  MaximizeOnStartup = true;
  LaunchWizard = false;
  KeepUserSettings = true;
  ShowQuickTips = true;
  QuickTipIndex = -1;
  Sync_iTunes = true;
  Sync_WMP = true;
  Sync_iPhoto = true;
  Sync_RepointToKept = false;
  MpdMusicDirectory.clear();
  TranslationLanguageCode = "en";
  ShowPreview = true;
  DisableSafetyLock = false;
  UndoJournalDays = 30;
  UseChecksumCache = true;
  SimilarityPercent = kDefaultSimilarityPercent;
  EnableLogging = false;
  LogDirectory.clear();
  AutoDeleteLogPeriod = 0;
  LogEvents = TPcwLogEvents();
  MusicTagsOptions = TMusicTagsOptions::FromBits(kDefaultMusicTagsOptions);
  SimilarNames = false;
  NameSimilarity = 80;
  OutlookOptions = TOutlookOptions::FromBits(kDefaultOutlookOptions);
  MaildirStores = kDefaultMaildirStores;
  ThunderbirdProfiles = kDefaultThunderbirdProfiles;
  AddressBooks = kDefaultAddressBooks;
  PhotoLibrary.clear();
  PhotoScriptFolder.clear();
  PermanentExclusions = TPcwSpecialFolders::GetDefaultExclusions();
  DupMovePathToMove.clear();
  DupMoveKeepFolderStructure = true;
  // Unlike a missing key, a reset shows the assistant's rename text in the editor.
  DupRenamePrefixStr = "_Duplicate_";
  DupRenameSetAsPrefix = true;
  DupDeleteMoveToTrash = true;

  // Nothing is read from disk here: open editors only refresh from the record.
  LoadSettings(false);
}

bool TPcwSettings::CheckExclusionFolder(const std::string& aPath, bool BeSilent) const {
  std::string buffer;
  const std::string p = UpperWithTrailingDelimiter(WithoutExtendedPrefix(aPath, buffer));
  for (const std::string& entry : PermanentExclusions) {
    // An empty entry would become "/" and shut out every folder.
    if (entry.empty()) continue;
    const std::string x = UpperWithTrailingDelimiter(entry);
    if (p.starts_with(x) || WildcardMatch(x + "*", p)) {
      if (!BeSilent) {
        GetUserPrompt().ShowMessage(TMessageKind::mkError, TranslateText(kExclusionFolderMessage));
      }
      return false;
    }
  }
  return true;
}

bool TPcwSettings::CheckLogFolder(const std::string& aPath, bool BeSilent) const {
  namespace fs = std::filesystem;
  std::string buffer;
  // Normalised first: ".." must not lead from our folder into another program's.
  const fs::path p = fs::path(WithoutExtendedPrefix(aPath, buffer)).lexically_normal();
  const fs::path own = fs::path(fSettingsPath).lexically_normal();
  if (!fSettingsPath.empty() && p.is_absolute() && TPcwSpecialFolders::IsInFolder(p.string(), own.string()))
    return true;
  return CheckExclusionFolder(aPath, BeSilent);
}

void TPcwSettings::RetrieveShellContextMenuStatus() {
  try {
    ShellContextMenu = TPcwSpecialFolders::IsShellContextMenuInstalled();
  } catch (const std::exception&) {
    ShellContextMenu = false;
  }
}

// Iterative form of the recursive rule: on a mismatch only the most recent '*' needs to take one
// more character, which keeps the work at O(pattern * text) and the stack flat.
bool WildcardMatch(std::string_view pattern, std::string_view text) {
  constexpr std::size_t kNone = std::string_view::npos;
  std::size_t pi = 0;
  std::size_t ti = 0;
  std::size_t starPattern = kNone;
  std::size_t starText = 0;
  while (ti < text.size()) {
    if (pi < pattern.size()) {
      const char pc = pattern[pi];
      if (pc == '*') {
        starPattern = pi++;
        starText = ti;
        continue;
      }
      if (pc == '?') {
        ++pi;
        ti += CharLength(text, ti);
        continue;
      }
      if (AsciiLower(pc) == AsciiLower(text[ti])) {
        ++pi;
        ++ti;
        continue;
      }
    }
    if (starPattern == kNone) return false;
    starText += CharLength(text, starText);
    ti = starText;
    pi = starPattern + 1;
  }
  while (pi < pattern.size() && pattern[pi] == '*') ++pi;
  return pi == pattern.size();
}

}  // namespace pelcrow
