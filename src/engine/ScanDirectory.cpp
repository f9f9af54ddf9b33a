// Enumeration on the scan worker: walks one include folder, subfolders first, and turns every
// accepted file into an item. Symbolic links are never followed, and a folder reached twice
// (bind mounts) is not walked again, so a walk always ends.
#include <unordered_set>

#include "engine/ScanEngine.h"
#include "platform/FileSystem.h"

namespace pelcrow {

namespace {

struct TDirId {
  std::uint64_t Device, Inode;
  bool operator==(const TDirId&) const = default;
};
struct TDirIdHash {
  std::size_t operator()(const TDirId& d) const { return std::hash<std::uint64_t>()(d.Inode * 31 + d.Device); }
};

std::string WithoutTrailingDelimiter(std::string p) {
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  return p;
}

std::string WithTrailingDelimiter(std::string p) {
  if (p.empty() || p.back() != '/') p += '/';
  return p;
}

}  // namespace

bool TScanEngine::InMasterFolder(const std::string& Dir) const {
  if (!fMasterSelectMode || fCompareMode >= cmEmails) return false;
  const std::string d = WithTrailingDelimiter(Dir);
  for (const std::string& m : fMasterFilePaths) {
    const std::string x = WithTrailingDelimiter(DeleteExtendedPrefix(m));
    if (d.compare(0, x.size(), x) == 0) return true;
  }
  return false;
}

void TScanEngine::ScanDirectory(const std::string& ADir, bool Recursive, bool SkipOwnFiles,
                                const std::stop_token& Stop) {
  std::unordered_set<TDirId, TDirIdHash> visited;
  std::function<void(const std::string&, bool)> walk = [&](const std::string& dirIn, bool skipOwn) {
    if (Stop.stop_requested()) return;
    const std::string dir = WithoutTrailingDelimiter(DeleteExtendedPrefix(dirIn));
    platform::TFileInfo info;
    if (platform::LStat(dir, info) != 0 || info.Type != platform::TEntryType::etDirectory) return;
    if (!visited.insert({info.Device, info.Inode}).second) return;
    {
      std::lock_guard<std::mutex> g(ScanEngineLock);
      ScanEngineProgress.Path = dir;
      ScanEngineProgress.Scanned = fSummaryInfo.TotalFiles;
    }
    const std::string prefix = dir == "/" ? dir : dir + "/";
    std::vector<std::string> subfolders;
    std::vector<std::pair<std::string, platform::TEntryType>> files;
    platform::ListDirectory(dir, [&](std::string_view name, platform::TEntryType type) {
      if (type == platform::TEntryType::etUnknown) {
        platform::TFileInfo ei;
        type = platform::LStat(prefix + std::string(name), ei) == 0 ? ei.Type : platform::TEntryType::etOther;
      }
      if (type == platform::TEntryType::etDirectory)
        subfolders.emplace_back(name);
      else
        files.emplace_back(std::string(name), type);
    });
    if (Recursive) {
      for (const std::string& sub : subfolders) {
        if (Stop.stop_requested()) return;
        if (!fScanOptions.Contains(soIncludeHidden) && sub[0] == '.') continue;
        walk(prefix + sub, false);
      }
    }
    fScanningMaster = InMasterFolder(dir);
    if (skipOwn) return;
    TItemString sharedPath(dir);
    for (const auto& [name, type] : files) {
      if (Stop.stop_requested()) return;
      platform::TFileInfo fi;
      std::string full = prefix + name;
      bool ok = platform::LStat(full, fi) == 0;
      TSearchRec rec;
      rec.Name = name;
      if (ok) {
        rec.Size = fi.Size;
        rec.Attr = fi.Mode;
        rec.Time = fi.Modified;
      }
      if (!ok || fi.Type != platform::TEntryType::etFile) {
        // Links, FIFOs, sockets and devices are never candidates: reading a FIFO blocks.
        ++fSummaryInfo.TotalFiles;
        continue;
      }
      InternalFilter(dir, sharedPath, rec, fi.Device, fi.Inode, fi.LinkCount);
    }
  };
  walk(ADir, SkipOwnFiles);
}

bool TScanEngine::InternalFilter(const std::string& Path, const TItemString& SharedPath,
                                 const TSearchRec& SearchRec, std::uint64_t Device, std::uint64_t Inode,
                                 std::uint64_t Links) {
  (void)Path;
  ++fSummaryInfo.TotalFiles;
  if (fScanOptions.Contains(soSkipZero) && SearchRec.Size == 0) return false;
  if (FileSizeMin > 0 && SearchRec.Size < FileSizeMin) return false;
  if (FileSizeMax > 0 && SearchRec.Size > FileSizeMax) return false;
  if (!fScanOptions.Contains(soIncludeHidden) && !SearchRec.Name.empty() && SearchRec.Name[0] == '.') return false;
  auto* item = new TFileItem;
  item->Name = SearchRec.Name;
  item->Path = SharedPath;
  item->Size = SearchRec.Size;
  item->Modified = SearchRec.Time;
  item->Master = fScanningMaster;
  item->Category = DetectCategory(SearchRec.Name);
  item->Device = Device;
  item->Inode = Inode;
  item->fSingleLink = Links <= 1;
  fFiles.push_back(item);
  return true;
}

}  // namespace pelcrow
