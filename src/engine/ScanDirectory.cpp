// Enumeration on the scan worker: walks one include folder, subfolders first, applies every
// folder check and file check in order, logs each rejection, and turns every accepted file into
// an item. Each entry costs one lstat at most; the directory entry's type is used where the file
// system gives it. A folder reached twice (a link to a folder, a bind mount) is walked once, so
// no walk loops.
#include <sys/stat.h>

#include <cstring>
#include <unordered_set>

#include "base/PathText.h"
#include "audiotags/AudioTags.h"
#include "base/MainThread.h"
#include "engine/ScanChecks.h"
#include "engine/ScanEngine.h"
#include "localization/TranslateText.h"
#include "logging/Logger.h"
#include "platform/ProcessInfo.h"
#include "platform/FileSystem.h"
#include "platform/Links.h"
#include "platform/SpecialFolders.h"

namespace pelcrow {

namespace {

// File checks in the order they run; the index counts rejections.
constexpr const char* kFileChecks[] = {kIncludeMasksCheck, kExcludeMasksCheck, kZeroSizeCheck, kMinSizeCheck,
                                       kMaxSizeCheck, kHardLinkCheck, kProtectSystemCheck, kSystemCritical,
                                       kTempFilesCheck, kCompressedCheck, kIncludeHiddenCheck, kSymLinkCheck,
                                       kAudioTagsEmptyCheck, kCustomFilterCheck, kErrorCheck};
constexpr std::size_t kFileCheckCount = sizeof kFileChecks / sizeof kFileChecks[0];

std::size_t FileCheckIndex(const char* check) {
  for (std::size_t i = 0; i < kFileCheckCount; ++i)
    if (std::strcmp(kFileChecks[i], check) == 0) return i;
  return kFileCheckCount - 1;
}

const char* const kCriticalNames[] = {"boot.ini", "AUTOEXEC.BAT", "IO.SYS", "MSDOS.SYS",
                                      "NTDETECT.COM", "ntldr", "pagefile.sys"};

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
    if (x != y) return false;
  }
  return true;
}

const std::vector<TFileMask>& SystemFileMasks() {
  // System file names, plus this platform's shared objects and kernel modules.
  static const std::vector<TFileMask> masks = [] {
    std::vector<TFileMask> m;
    for (const char* t : {"*.dll", "*.sys", "*.ocx", "*.drv", "*.dat", "*.com", "*.so", "*.so.*", "*.ko"})
      m.emplace_back(t);
    return m;
  }();
  return masks;
}

const std::vector<TFileMask>& TempFileMasks() {
  static const std::vector<TFileMask> masks = [] {
    std::vector<TFileMask> m;
    for (const char* t : {"*.tmp", "*.~*", "*~", ".*.swp"}) m.emplace_back(t);
    return m;
  }();
  return masks;
}

bool MatchesAny(const std::vector<TFileMask>& masks, std::string_view name) {
  for (const TFileMask& m : masks)
    if (m.Matches(name)) return true;
  return false;
}

std::string WithoutTrailingDelimiter(std::string p) {
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  return p;
}

std::string WithTrailingDelimiter(std::string p) {
  if (p.empty() || p.back() != '/') p += '/';
  return p;
}

std::string UpperAscii(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return s;
}

// "m:ss" or "h:mm:ss" from a number of seconds; "Unknown" when there is none.
std::string DurationText(const std::string& seconds) {
  if (seconds.empty()) return "Unknown";
  char* end = nullptr;
  double v = std::strtod(seconds.c_str(), &end);
  if (end == seconds.c_str() || *end != '\0' || !(v >= 0) || v > 1e9) return "Unknown";
  auto total = static_cast<long long>(v);
  char buf[48];
  if (total >= 3600)
    std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", total / 3600, total / 60 % 60, total % 60);
  else
    std::snprintf(buf, sizeof buf, "%lld:%02lld", total / 60, total % 60);
  return buf;
}

std::unique_ptr<TMusicTagsInfo> MusicTagsFrom(const TAudioTagList& list) {
  auto tags = std::make_unique<TMusicTagsInfo>();
  tags->Title = AudioTagValue(list, "Title");
  tags->Artist = AudioTagValue(list, "Artist");
  tags->Album = AudioTagValue(list, "Album");
  tags->Track = AudioTagValue(list, "Track");
  tags->Year = AudioTagValue(list, "Year");
  tags->Genre = AudioTagValue(list, "Genre");
  tags->Duration = DurationText(AudioTagValue(list, "Duration"));
  std::string rate = AudioTagValue(list, "BitRate");
  bool blank = rate.find_first_not_of(" \t") == std::string::npos;
  tags->BitRate = blank ? rate : rate + " kbps";
  return tags;
}

struct TDirId {
  std::uint64_t Device, Inode;
  bool operator==(const TDirId&) const = default;
};
struct TDirIdHash {
  std::size_t operator()(const TDirId& d) const {
    return std::hash<std::uint64_t>()(d.Inode) ^ (std::hash<std::uint64_t>()(d.Device) << 1);
  }
};

}  // namespace

struct TScanEngine::TWalk {
  const std::stop_token& Stop;
  std::unordered_set<TDirId, TDirIdHash> Visited;
  // Music mode: what the checks read of the file being judged.
  std::string TagText;
  std::unique_ptr<TMusicTagsInfo> Tags;
};

void TScanEngine::PrepareFilters() {
  fMaskError.clear();
  fIncludeMasks.clear();
  fExcludeMasks.clear();
  try {
    for (const std::string& m : fIncludeFileMasks) fIncludeMasks.emplace_back(m);
    for (const std::string& m : fExcludeFileMasks) fExcludeMasks.emplace_back(m);
  } catch (const EMaskError& e) {
    // Every file of the scan is then rejected with this error, as the mask rule asks.
    fMaskError = e.what();
  }
  fIncludeRejections.clear();
  fRejectCounts.assign(kFileCheckCount, 0);
  fAcceptedFiles = 0;
}

std::vector<TScanRejection> TScanEngine::FileRejections() const {
  std::vector<TScanRejection> r;
  for (std::size_t i = 0; i < fRejectCounts.size() && i < kFileCheckCount; ++i)
    if (fRejectCounts[i] > 0) r.push_back({std::string(), kFileChecks[i], fRejectCounts[i]});
  return r;
}

bool TScanEngine::InMasterFolder(const std::string& Dir) const {
  if (!fMasterSelectMode || !IsFileComparisonMode(fCompareMode)) return false;
  for (const std::string& m : fMasterFilePaths)
    if (TPcwSpecialFolders::IsInFolder(Dir, WithoutTrailingDelimiter(DeleteExtendedPrefix(m)))) return true;
  return false;
}

void TScanEngine::LogFolderSkipped(const std::string& Dir, const std::string& Data) {
  if (fLogEvents.Contains(leFolderSkipped)) LogEvent(leFolderSkipped, WithTrailingDelimiter(Dir), "", Data);
}

void TScanEngine::RejectFile(const std::string& Path, const std::string& Name, const char* Check,
                             const std::string& Error) {
  ++fRejectCounts[FileCheckIndex(Check)];
  if (!fLogEvents.Contains(leFileSkipped)) return;
  std::string data;
  if (Check == kSystemCritical)
    data = kSystemCritical;
  else if (Check == kErrorCheck)
    data = "[" + TranslateText(kErrorCheck) + " " + Error + "]";
  else
    data = "[" + TranslateText(Check) + "]";
  LogEvent(leFileSkipped, WithTrailingDelimiter(Path), Name, data);
}

// The folder checks of one folder, in order; nullptr when the folder may be walked.
const char* TScanEngine::FolderCheck(const std::string& Dir, bool IsLink) const {
  const std::string upperDir = UpperAscii(WithTrailingDelimiter(Dir));
  for (const std::string& e : fExcludeFilePaths) {
    const std::string plain = DeleteExtendedPrefix(e);
    if (plain.find_first_of("*?") != std::string::npos) {
      if (WildcardMatch(UpperAscii(WithTrailingDelimiter(plain)) + "*", upperDir)) return kExcludePathsCheck;
    } else if (!plain.empty() && TPcwSpecialFolders::IsInFolder(Dir, WithoutTrailingDelimiter(plain))) {
      return kExcludePathsCheck;
    }
  }
  // A link to a folder is judged by where it leads as well: a link must not carry the scan into
  // a permanently excluded or system folder.
  std::vector<std::string> targets = {Dir};
  if (IsLink) {
    if (std::string real = platform::ResolvedPath(Dir); !real.empty()) targets.push_back(std::move(real));
  }
  for (const std::string& t : targets)
    if (!fExclusions.CheckExclusionFolder(t, true)) return kExcludePathsCheck;
  for (const std::string& t : targets) {
    int reason = 0;
    if (TPcwSpecialFolders::CheckSpecialPathName(t, reason, fScanOptions)) {
      // The real folder of a link may be hidden without the link being so: judge hiddenness
      // by the name the user sees.
      if (reason == 2) return kProtectSysAppFoldersCheck;
      if (reason == 7 && t == Dir) return kIncludeHiddenCheck;
    }
  }
  if (fScanOptions.Contains(soSkipNtfsJunction) && platform::IsJunction(Dir)) return kJunctionCheck;
  if (fScanOptions.Contains(soSkipTemp)) {
    for (const std::string& t : TPcwSpecialFolders::GetTempDirectories())
      if (TPcwSpecialFolders::IsInFolder(Dir, t)) return kTempFolderCheck;
  }
  if (fScanOptions.Contains(soSkipRecycler)) {
    for (const std::string& r : TPcwSpecialFolders::GetRecyclerNames()) {
      if (r.find('/') != std::string::npos) {
        if (TPcwSpecialFolders::IsInFolder(Dir, r)) return kRecyclerCheck;
      } else {
        // A trash folder at the top of a volume: any component of that name.
        const std::string needle = "/" + r + "/";
        if (WithTrailingDelimiter(Dir).find(needle) != std::string::npos) return kRecyclerCheck;
      }
    }
  }
  return nullptr;
}

void TScanEngine::ScanDirectory(const std::string& ADir, bool Recursive, bool SkipOwnFiles,
                                const std::stop_token& Stop) {
  TWalk walk{Stop, {}, {}, {}};
  ScanFolder(walk, ADir, Recursive, SkipOwnFiles, true);
}

namespace {

struct TListedEntry {
  std::string Name;
  platform::TFileInfo Info;
  int Error;
};

struct TFolderListing {
  std::vector<std::string> Subfolders;
  std::vector<TListedEntry> Files;
};

// Files are stat-ed by name while the folder is open (one name for the kernel to resolve, not the
// whole path), and judged after the subfolders, so only one folder is open at a time.
int ListFolder(const std::string& Dir, bool IsLink, bool StatFiles, bool WantAttributes, TFolderListing& Listing) {
  const platform::TDirectory folder(Dir, IsLink);
  return folder.List([&](std::string_view n, platform::TEntryType type) {
    std::string name(n);
    platform::TFileInfo info;
    int e = -1;  // not stat-ed yet
    if (type == platform::TEntryType::etUnknown) {
      e = folder.LStatAt(name, info, WantAttributes);
      type = e == 0 ? info.Type : platform::TEntryType::etOther;
    }
    if (type == platform::TEntryType::etSymLink) {
      // Links to folders are listed as folders; the folder checks decide whether to follow.
      platform::TFileInfo target;
      if (folder.StatAt(name, target) == 0 && target.Type == platform::TEntryType::etDirectory) type = target.Type;
    }
    if (type == platform::TEntryType::etDirectory) {
      Listing.Subfolders.push_back(std::move(name));
      return;
    }
    if (StatFiles && e < 0) e = folder.LStatAt(name, info, WantAttributes);
    Listing.Files.push_back({std::move(name), info, e < 0 ? 0 : e});
  });
}

TSearchRec SearchRecOf(const TListedEntry& Entry) {
  const platform::TFileInfo& fi = Entry.Info;
  TSearchRec rec;
  rec.Name = Entry.Name;
  rec.Size = fi.Size;
  rec.Attr = fi.Mode;
  rec.Time = fi.Modified;
  rec.Changed = fi.Changed;
  rec.Device = fi.Device;
  rec.Inode = fi.Inode;
  rec.LinkCount = fi.LinkCount;
  rec.Compressed = fi.Compressed;
  return rec;
}

}  // namespace

// Whether the walk goes into Dir: it exists, passes the folder checks and was not walked before.
bool TScanEngine::EnterFolder(TWalk& Walk, const std::string& Dir, bool IsLink, bool IsIncludePath) {
  platform::TFileInfo self;
  if (platform::Stat(Dir, self) != 0 || self.Type != platform::TEntryType::etDirectory) return false;
  if (const char* check = FolderCheck(Dir, IsLink)) {
    if (IsIncludePath) fIncludeRejections.push_back({Dir, check, 0});
    LogFolderSkipped(Dir, "[" + TranslateText(check) + "]");
    return false;
  }
  if (!Walk.Visited.insert({self.Device, self.Inode}).second) return false;
  SetFolderIdentity(Dir, {self.Device, self.Inode});
  std::lock_guard<std::mutex> g(ScanEngineLock);
  ScanEngineProgress.Path = Dir;
  ScanEngineProgress.Scanned = fSummaryInfo.TotalFiles;
  return true;
}

void TScanEngine::ScanFolder(TWalk& Walk, const std::string& ADir, bool Recursive, bool SkipOwnFiles,
                             bool IsIncludePath) {
  if (Walk.Stop.stop_requested()) return;
  const std::string dir = WithoutTrailingDelimiter(DeleteExtendedPrefix(ADir));
  platform::TFileInfo own;
  const bool isLink = platform::LStat(dir, own) == 0 && own.Type == platform::TEntryType::etSymLink;
  if (!EnterFolder(Walk, dir, isLink, IsIncludePath)) return;
  TFolderListing listing;
  if (const int err = ListFolder(dir, isLink, !SkipOwnFiles, fScanOptions.Contains(soSkipCompressed), listing)) {
    LogFolderSkipped(dir, "[" + TranslateText(kErrorCheck) + " " + platform::ErrorText(err) + "]");
    return;
  }
  if (Recursive) {
    const std::string prefix = dir == "/" ? dir : dir + "/";
    for (const std::string& sub : listing.Subfolders) {
      if (Walk.Stop.stop_requested()) return;
      ScanFolder(Walk, prefix + sub, true, false, false);
    }
  }
  fScanningMaster = InMasterFolder(dir);
  if (SkipOwnFiles) {
    LogEvent(leInfo, WithTrailingDelimiter(dir), "*.*", "[" + TranslateText(kContainerCheck) + "]");
  } else {
    TItemString sharedPath(dir);
    for (const TListedEntry& entry : listing.Files) {
      if (Walk.Stop.stop_requested()) return;
      if (entry.Error != 0) {
        if (CountsAsScanned(entry.Name)) ++fSummaryInfo.TotalFiles;
        RejectFile(dir, entry.Name, kErrorCheck, platform::ErrorText(entry.Error));
        continue;
      }
      InternalFilter(Walk, dir, sharedPath, SearchRecOf(entry));
    }
  }
  if (fLogEvents.Contains(leFolderScanned)) LogEvent(leFolderScanned, WithTrailingDelimiter(dir), "", "");
}

// The music mode looks at audio files only: a file its masks turn away was never a candidate, so
// "Files scanned" leaves it out as a user reads it.
bool TScanEngine::CountsAsScanned(const std::string& Name) const {
  return fCompareMode != cmMusicTags || MatchesAny(fIncludeMasks, Name);
}

const char* TScanEngine::FileCheck(TWalk& Walk, const std::string& Path, const TSearchRec& SearchRec) {
  const std::string& name = SearchRec.Name;
  if (!fMaskError.empty()) throw std::runtime_error(fMaskError);
  if (!MatchesAny(fIncludeMasks, name)) return kIncludeMasksCheck;
  if (MatchesAny(fExcludeMasks, name)) return kExcludeMasksCheck;
  if (fScanOptions.Contains(soSkipZero) && SearchRec.Size == 0) return kZeroSizeCheck;
  if (FileSizeMin > 0 && SearchRec.Size < FileSizeMin) return kMinSizeCheck;
  if (FileSizeMax > 0 && SearchRec.Size > FileSizeMax) return kMaxSizeCheck;
  const bool regular = S_ISREG(SearchRec.Attr);
  const bool link = S_ISLNK(SearchRec.Attr);
  if (fScanOptions.Contains(soSkipNtfsHardLinks) && regular && SearchRec.LinkCount > 1) return kHardLinkCheck;
  if (fScanOptions.Contains(soProtectSystem) && MatchesAny(SystemFileMasks(), name)) return kProtectSystemCheck;
  // FIFOs, sockets and devices are never candidates, whatever the options: reading a FIFO
  // blocks and opening a device acts on it.
  if (!regular && !link) return kProtectSystemCheck;
  for (const char* critical : kCriticalNames)
    if (EqualNoCase(name, critical)) return kSystemCritical;
  if (fScanOptions.Contains(soSkipTemp) && MatchesAny(TempFileMasks(), name)) return kTempFilesCheck;
  if (fScanOptions.Contains(soSkipCompressed) && SearchRec.Compressed) return kCompressedCheck;
  if (!fScanOptions.Contains(soIncludeHidden) && !name.empty() && name[0] == '.') return kIncludeHiddenCheck;
  if (link) return kSymLinkCheck;
  if (fCompareMode == cmMusicTags) {
    const std::string full = WithTrailingDelimiter(Path) + name;
    TAudioTagList list;
    Walk.TagText = ReadAudioTags(full, &list, true, fMusicTagsOptions);
    if (Walk.TagText.empty()) {
      if (!fMusicTagsOptions.Contains(mtCombined)) return kAudioTagsEmptyCheck;
      // Compared by content; the lenient read only fills the columns.
      list.clear();
      ReadAudioTags(full, &list, false, fMusicTagsOptions);
    }
    Walk.Tags = MusicTagsFrom(list);
  }
  if (OnFilter && !Walk.Stop.stop_requested()) {
    bool keep = true;
    const TFilterEvent& filter = OnFilter;
    GetMainThread().Call([&] { keep = filter(Path, SearchRec); });
    if (!keep) return kCustomFilterCheck;
  }
  return nullptr;
}

bool TScanEngine::InternalFilter(TWalk& Walk, const std::string& Path, const TItemString& SharedPath,
                                 const TSearchRec& SearchRec) {
  if (CountsAsScanned(SearchRec.Name)) ++fSummaryInfo.TotalFiles;
  if (Walk.Stop.stop_requested()) return false;
  Walk.TagText.clear();
  Walk.Tags.reset();
  try {
    if (const char* check = FileCheck(Walk, Path, SearchRec)) {
      RejectFile(Path, SearchRec.Name, check, "");
      return false;
    }
  } catch (const std::exception& e) {
    RejectFile(Path, SearchRec.Name, kErrorCheck, e.what());
    return false;
  }
  auto* item = new TFileItem;
  item->Name = SearchRec.Name;
  item->Path = SharedPath;
  item->Size = SearchRec.Size;
  item->Modified = SearchRec.Time;
  item->Changed = SearchRec.Changed;
  item->Master = fScanningMaster;
  item->Category = DetectCategory(SearchRec.Name);
  item->Device = SearchRec.Device;
  item->Inode = SearchRec.Inode;
  item->fSingleLink = SearchRec.LinkCount <= 1;
  item->AudioTagValues = Walk.TagText;
  item->MusicTags = std::move(Walk.Tags);
  fFiles.push_back(item);
  ++fAcceptedFiles;
  if (fLogEvents.Contains(leFileFound)) LogEvent(leFileFound, WithTrailingDelimiter(Path), SearchRec.Name, "");
  return true;
}

}  // namespace pelcrow
