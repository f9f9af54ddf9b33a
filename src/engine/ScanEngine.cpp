#include "engine/ScanEngine.h"

#include "base/PathText.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "base/MainThread.h"
#include "engine/ChecksumCache.h"
#include "engine/NameKeys.h"
#include "logging/Logger.h"
#include "platform/FileSystem.h"
#include "platform/SpecialFolders.h"

namespace pelcrow {

TScanEngineProgressInfo ScanEngineProgress;
std::mutex ScanEngineLock;
std::atomic<bool> MasterWarningActive{false};

namespace {

constexpr const char* kStillExecuting = "Scan thread still executing";

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

// A listed folder as the folder tests take it: no extended prefix, no trailing delimiter.
std::string ListedFolder(const std::string& entry) {
  std::string p = DeleteExtendedPrefix(entry);
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  return p;
}

std::string Trim(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

}  // namespace

std::string TFileItem::FullPath() const {
  std::string_view p = Path.view();
  std::string r;
  r.reserve(p.size() + 1 + Name.size());
  r.append(p);
  if (r.empty() || r.back() != '/') r += '/';
  r.append(Name.view());
  return r;
}

TScanEngine::TScanEngine(std::uint8_t ComparisonMode, TPcwCompareOptions CompareOptions)
    : fSelf(std::make_shared<TScanEngine*>(this)) {
  SetCompareMode(ComparisonMode, CompareOptions);
}

TScanEngine::~TScanEngine() {
  Stop();
  // The worker must not run on under freed lists: wait for it. Its queued end hand-over
  // sees fSelf gone and does nothing.
  if (fScanThread.joinable()) fScanThread.join();
  fSelf.reset();
  CleanupScannerPlugin();
  FreeList(fFiles);
  FreeList(fFilesHiddenByFilter);
  FreeList(fFilesHiddenByCategory);
}

void TScanEngine::FreeList(std::vector<PFileItem>& List) {
  for (PFileItem it : List) delete it;
  List.clear();
}

// ------------------------------------------------------------------ masks and paths

std::vector<std::string>& TScanEngine::GetTargetSL(int Index) {
  switch (Index) {
    case 0: return fIncludeFileMasks;
    case 1: return fExcludeFileMasks;
    case 2: return fIncludeFilePaths;
    case 3: return fExcludeFilePaths;
    case 4: return fMasterFilePaths;
    case 5: return fReferenceFilePaths;
    default: throw EScanEngineError("TScanEngine: invalid TargetSL index value");
  }
}

const std::vector<std::string>& TScanEngine::GetTargetSL(int Index) const {
  return const_cast<TScanEngine*>(this)->GetTargetSL(Index);
}

void TScanEngine::CheckNotExecuting() const {
  if (ScanThreadExecuting()) throw EScanEngineError(kStillExecuting);
}

std::string TScanEngine::GetMasks(int Index) const {
  std::string joined;
  const auto& list = GetTargetSL(Index);
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (i) joined += ';';
    joined += list[i];
  }
  joined.erase(std::remove(joined.begin(), joined.end(), ' '), joined.end());
  return joined;
}

void TScanEngine::SetMasks(int Index, const std::string& Value) {
  CheckNotExecuting();
  std::vector<std::string>& list = GetTargetSL(Index);
  list.clear();
  const std::string s = Trim(Value);
  const std::size_t n = s.size();
  std::size_t i = 0;
  while (i < n) {
    std::size_t start = i;
    while (i < n && s[i] != ';' && !IsBlank(s[i])) ++i;
    list.push_back(s.substr(start, i - start));
    while (i < n && IsBlank(s[i])) ++i;
    if (i < n && s[i] == ';') {
      ++i;
      if (i == n) list.emplace_back();  // a final ';' leaves an empty mask
      while (i < n && IsBlank(s[i])) ++i;
    }
  }
}

std::string TScanEngine::GetIncludeFileMasks() const { return GetMasks(0); }
void TScanEngine::SetIncludeFileMasks(const std::string& Value) { SetMasks(0, Value); }
std::string TScanEngine::GetExcludeFileMasks() const { return GetMasks(1); }
void TScanEngine::SetExcludeFileMasks(const std::string& Value) { SetMasks(1, Value); }

void TScanEngine::SetPaths(int Index, const std::vector<std::string>* Value) {
  CheckNotExecuting();
  std::vector<std::string>& list = GetTargetSL(Index);
  list.clear();
  if (Value) list = *Value;
}

void TScanEngine::SetIncludeFilePaths(const std::vector<std::string>* Value) { SetPaths(2, Value); }
void TScanEngine::SetExcludeFilePaths(const std::vector<std::string>* Value) { SetPaths(3, Value); }
void TScanEngine::SetMasterFilePaths(const std::vector<std::string>* Value) { SetPaths(4, Value); }
void TScanEngine::SetReferenceFilePaths(const std::vector<std::string>* Value) { SetPaths(5, Value); }

// ------------------------------------------------------------------ comparer

void TScanEngine::SetCompareMode(std::uint8_t ComparisonMode, TPcwCompareOptions CompareOptions) {
  // The worker sorts with the comparer: replacing it under a running scan would free it there.
  CheckNotExecuting();
  fFileComparer.reset();
  if (ComparisonMode > kLastComparisonMode) throw EScanEngineError("Invalid Comparison Mode specified");
  fFileComparer = CreateFileComparer(ComparisonMode, &fFiles, CompareOptions);
  // The mail plug-in serves mode 4 alone, the contacts plug-in mode 5.
  if (ComparisonMode != fCompareMode) CleanupScannerPlugin();
  fCompareMode = ComparisonMode;
}

// ------------------------------------------------------------------ lifecycle

void TScanEngine::ResetProgress() {
  std::lock_guard<std::mutex> g(ScanEngineLock);
  ScanEngineProgress.Path.clear();
  ScanEngineProgress.Current = 0;
  ScanEngineProgress.Total = 0;
  ScanEngineProgress.Scanned = 0;
  ScanEngineProgress.Status = esScanning;
}

void TScanEngine::ClearResults() {
  CheckNotExecuting();
  FreeList(fFiles);
  FreeList(fFilesHiddenByFilter);
  FreeList(fFilesHiddenByCategory);
  fFolderIds.clear();
  fLastSortColumn = -1;
  fLastSortCount = 0;
  fLastSortOrder = soAsc;
  fSummaryInfo = {};
  ResetProgress();
}

void TScanEngine::GetCurrentProgress(TScanEngineStatusInfo& ProgressInfo) const {
  std::lock_guard<std::mutex> g(ScanEngineLock);
  ProgressInfo.Path = ScanEngineProgress.Path;
  std::int64_t pct = 0;
  if (ScanEngineProgress.Total > 0) pct = ScanEngineProgress.Current * 100 / ScanEngineProgress.Total;
  // Only the low 8 bits are kept: 300 % reads as 44.
  ProgressInfo.PercentComplete = static_cast<std::uint8_t>(static_cast<std::uint64_t>(pct) & 0xFF);
  ProgressInfo.FilesScanned = static_cast<std::int32_t>(static_cast<std::uint64_t>(ScanEngineProgress.Scanned) & 0xFFFFFFFFu);
  ProgressInfo.EngineStatus = ScanEngineProgress.Status;
}

TScanSettings ScanSettingsOf(const TPcwSettings& Record) {
  TScanSettings s;
  s.ScanOptions = Record.ScanOptions;
  s.MasterSelectMode = Record.MasterSelectMode;
  s.MusicTagsOptions = Record.MusicTagsOptions;
  s.NameSimilarity = Record.SimilarNames ? Record.NameSimilarity : 0;
  if (Record.EnableLogging) s.LogEvents = Record.LogEvents;
  s.PermanentExclusions = Record.PermanentExclusions;
  if (Record.UseChecksumCache) s.ChecksumCacheFolder = ChecksumCacheFolder();
  s.OutlookOptions = Record.OutlookOptions;
  s.SimilarityPercent = Record.SimilarityPercent;
  return s;
}

void TScanEngine::BuildFileList(IScanView* FileList, const TScanSettings& Options) {
  CheckNotExecuting();
  if (fScanThread.joinable()) fScanThread.join();  // a finished worker not yet handed back
  ResetProgress();
  fScanOptions = Options.ScanOptions;
  fFileList = FileList;
  FreeList(fFiles);
  // New results show every category; a category kept from the last results would hide rows
  // again at the next filter change.
  fCurrentCategoryFilter = fcAllFiles;
  fMasterSelectMode = Options.MasterSelectMode;
  fMusicTagsOptions = Options.MusicTagsOptions;
  fNameSimilarity = Options.NameSimilarity;
  fLogEvents = Options.LogEvents;
  fExclusions.PermanentExclusions = Options.PermanentExclusions;
  fCacheFolder = Options.ChecksumCacheFolder;
  fCacheSettleNs = Options.ChecksumCacheSettleNs;
  fCacheHits = 0;
  fIgnoreList = Options.IgnoreList;
  fSimilarityPercent = Options.SimilarityPercent;
  PrepareFilters();
  fPublished = false;
  fWorkerError.clear();
  MasterWarningActive = fMasterSelectMode && IsFileComparisonMode(fCompareMode);
  if (fCompareMode == cmPhotoLibrary) {
    StartPhotoScan();
    return;
  }
  if (fCompareMode == cmEmails || fCompareMode == cmContacts) {
    StartPluginScan(Options);
    return;
  }
  fExecuting.store(true, std::memory_order_release);
  fScanThread = std::jthread([this](std::stop_token st) { ExecuteScan(std::move(st)); });
}

void TScanEngine::Stop() {
  if (!ScanThreadExecuting()) return;
  if (fPhotoScanner && fPhotoScanner->Scanning()) {
    // Forgotten at once, with no results, as a plug-in scan.
    fPhotoScanner->AbandonScan();
    std::weak_ptr<TScanEngine*> self = fSelf;
    GetMainThread().Post([self] {
      if (auto s = self.lock()) (*s)->FinishPluginScan();
    });
    return;
  }
  if (fCurrentPlugin && !fScanThread.joinable()) {
    // A plug-in scan: forgotten at once, with no results.
    fCurrentPlugin->CancelScan();
    std::weak_ptr<TScanEngine*> self = fSelf;
    GetMainThread().Post([self] {
      if (auto s = self.lock()) (*s)->FinishPluginScan();
    });
    return;
  }
  {
    std::lock_guard<std::mutex> g(ScanEngineLock);
    ScanEngineProgress.Status = esStopping;
  }
  fScanThread.request_stop();
}

void TScanEngine::WaitForWorker() {
  if (fScanThread.joinable()) fScanThread.join();
}

void TScanEngine::ScanThreadTerminated() {
  if (fScanThread.joinable()) fScanThread.join();
  fExecuting.store(false, std::memory_order_release);
  if (fPublished && fFileList) UpdateGrid(-1, false);
  if (OnFinishedScan) OnFinishedScan(fSummaryInfo);
}

void TScanEngine::ExecuteScan(std::stop_token Stop) {
  fScanStarted = TDateTime::Now();
  try {
    fSummaryInfo.TotalFiles = 0;
    ResetProgress();
    if (IsFileComparisonMode(fCompareMode)) {
      const bool recursive = fScanOptions.Contains(soScanSubdirs);
      const bool skipOwn = fScanOptions.Contains(soExcludeContainer);
      for (const std::string& dir : fIncludeFilePaths) {
        if (Stop.stop_requested()) break;
        ScanDirectory(dir, recursive, skipOwn, Stop);
      }
      // Reference folders are searched as well; one inside an include folder was walked already.
      for (const std::string& dir : fReferenceFilePaths) {
        if (Stop.stop_requested()) break;
        const std::string plain = ListedFolder(dir);
        const bool walked = std::any_of(fIncludeFilePaths.begin(), fIncludeFilePaths.end(), [&](const std::string& inc) {
          return TPcwSpecialFolders::IsInFolder(plain, ListedFolder(inc));
        });
        if (!walked) ScanDirectory(dir, recursive, skipOwn, Stop);
      }
      if (fIgnoreList && !fIgnoreList->Empty()) {
        // Ignored files are not read at all.
        std::erase_if(fFiles, [this](PFileItem it) {
          if (!fIgnoreList->IgnoresFile(it->FullPath())) return false;
          delete it;
          return true;
        });
      }
      if (!Stop.stop_requested()) CompareFiles(Stop);
      if (!Stop.stop_requested() && fIgnoreList && fIgnoreList->HasPairs())
        ApplyIgnoreList(fFiles, *fIgnoreList, GroupCounter);
      if (!Stop.stop_requested() && !fReferenceFilePaths.empty()) {
        MarkReferenceItems();
        FilterReferenceGroups();
      }
      if (!Stop.stop_requested() && fMasterSelectMode) FilterMasterGroups(Stop);
      if (!Stop.stop_requested()) {
        Renumber();
        UpdateSummaryInfo();
        {
          std::lock_guard<std::mutex> g(ScanEngineLock);
          ScanEngineProgress.Path.clear();
          ScanEngineProgress.Status = esBuildingList;
        }
        fPublished = true;
      }
    }
    // Modes 4 and 5 need a scanner plug-in; none is built into this version, so the scan ends
    // with empty results.
  } catch (const std::exception& e) {
    fWorkerError = e.what();
  } catch (...) {
    fWorkerError = "unknown error";
  }
  std::weak_ptr<TScanEngine*> self = fSelf;
  GetMainThread().Post([self] {
    if (auto s = self.lock()) (*s)->ScanThreadTerminated();
  });
}

// ------------------------------------------------------------------ comparison phase

void TScanEngine::CompareFiles(const std::stop_token& Stop) {
  ResetComparisonCounters();
  {
    std::lock_guard<std::mutex> g(ScanEngineLock);
    ScanEngineProgress.Path.clear();
    ScanEngineProgress.Current = 0;
    ScanEngineProgress.Total = 0;
    ScanEngineProgress.Scanned = fSummaryInfo.TotalFiles;
    ScanEngineProgress.Status = esProcessing;
  }
  if (fCompareMode == cmSimilarPictures) {
    TSimilarPicturesOptions pictures;
    pictures.Decoder = fPictureDecoder;
    pictures.SimilarityPercent = fSimilarityPercent;
    pictures.Threads = fChecksumThreads;
    std::unique_ptr<TChecksumCache> cache;
    if (!fCacheFolder.empty()) {
      cache = std::make_unique<TChecksumCache>(fCacheFolder, fScanStarted, fCacheSettleNs);
      pictures.Cache = cache.get();
    }
    GroupSimilarPictures(fFiles, pictures, Stop);
    if (cache) {
      fCacheHits = cache->Hits();
      if (!Stop.stop_requested())
        if (int err = cache->Save(); err != 0)
          WriteLog("cannot write the checksum cache in " + fCacheFolder + ": " + platform::ErrorText(err), lsvWarning);
    }
    return;
  }
  if (!fFileComparer) return;
  TGroupingOptions options;
  options.Prefetch = fPrefetch;
  options.Threads = fChecksumThreads;
  options.MusicOptions = fMusicTagsOptions;
  options.NameSimilarity = fNameSimilarity;
  // Only the checksum mode: the byte-by-byte mode promises to look at the bytes themselves, and
  // the music mode keeps tag keys where the cache keeps file checksums.
  std::unique_ptr<TChecksumCache> cache;
  if (!fCacheFolder.empty() && fCompareMode == cmCRC32) {
    cache = std::make_unique<TChecksumCache>(fCacheFolder, fScanStarted, fCacheSettleNs);
    options.Cache = cache.get();
  }
  GroupDuplicates(*fFileComparer, Stop, options);
  if (cache) {
    fCacheHits = cache->Hits();
    if (!Stop.stop_requested())
      if (int err = cache->Save(); err != 0)
        WriteLog("cannot write the checksum cache in " + fCacheFolder + ": " + platform::ErrorText(err), lsvWarning);
  }
}

void TScanEngine::FilterMasterGroups(const std::stop_token& Stop) {
  // The list is ordered by group, master items first within each group.
  auto removeProcessed = [this] {
    std::size_t out = 0;
    for (PFileItem it : fFiles) {
      if (it->fProcessed) {
        delete it;
      } else {
        fFiles[out++] = it;
      }
    }
    fFiles.resize(out);
  };
  if (Stop.stop_requested()) return;
  std::uint32_t m = 0;
  for (PFileItem it : fFiles) {
    if (it->Master)
      m = it->DupGroup;
    else
      it->fProcessed = it->DupGroup != m;
  }
  if (Stop.stop_requested()) return;
  removeProcessed();  // groups without a master lose their other items
  if (Stop.stop_requested()) return;
  bool mark = false;
  std::uint32_t group = 0;
  bool first = true;
  for (std::size_t k = fFiles.size(); k-- > 0;) {
    PFileItem it = fFiles[k];
    if (first || it->DupGroup != group) {
      group = it->DupGroup;
      mark = it->Master;  // the group's last item is a master: masters only
      first = false;
    }
    it->fProcessed = mark;
  }
  if (Stop.stop_requested()) return;
  removeProcessed();
}

void TScanEngine::MarkReferenceItems() {
  for (std::vector<PFileItem>* list : {&fFiles, &fFilesHiddenByFilter, &fFilesHiddenByCategory})
    for (PFileItem it : *list) {
      it->Reference = IsFileComparisonMode(fCompareMode) && InReferenceFolder(it->Path.view());
      if (it->Reference) it->fSelected = false;
    }
}

bool TScanEngine::InReferenceFolder(std::string_view Dir) const {
  const std::string dir(Dir);
  for (const std::string& r : fReferenceFilePaths)
    if (!r.empty() && TPcwSpecialFolders::IsInFolder(dir, ListedFolder(r))) return true;
  return false;
}

void TScanEngine::FilterReferenceGroups() {
  // A group of reference copies alone leaves nothing to do. The list is ordered by group.
  std::vector<char> drop(fFiles.size(), 0);
  std::size_t i = 0;
  while (i < fFiles.size()) {
    std::size_t j = i + 1;
    while (j < fFiles.size() && fFiles[j]->DupGroup == fFiles[i]->DupGroup) ++j;
    const bool allReference = std::all_of(fFiles.begin() + static_cast<std::ptrdiff_t>(i),
                                          fFiles.begin() + static_cast<std::ptrdiff_t>(j),
                                          [](PFileItem it) { return it->Reference; });
    if (allReference) std::fill(drop.begin() + static_cast<std::ptrdiff_t>(i), drop.begin() + static_cast<std::ptrdiff_t>(j), 1);
    i = j;
  }
  std::size_t out = 0;
  for (std::size_t k = 0; k < fFiles.size(); ++k) {
    if (drop[k]) {
      delete fFiles[k];
    } else {
      fFiles[out++] = fFiles[k];
    }
  }
  fFiles.resize(out);
}

void TScanEngine::Renumber() {
  std::uint32_t count = 0;
  std::uint32_t previous = 0;
  for (PFileItem it : fFiles) {
    if (it->DupGroup != previous) {
      previous = it->DupGroup;
      ++count;
    }
    it->DupGroup = it->SortGroup = count;
  }
}

// ------------------------------------------------------------------ results

TScanEngineSummaryInfo SummaryOfList(const std::vector<PFileItem>& Files) {
  TScanEngineSummaryInfo s;
  std::unordered_set<std::uint32_t> seen;
  seen.reserve(Files.size() / 2 + 1);
  for (PFileItem it : Files) {
    if (seen.insert(it->DupGroup).second) {
      ++s.OriginalFiles;
      s.OriginalSize += it->Size;
    } else {
      s.DuplicateSize += it->Size;
    }
  }
  s.DuplicateFiles = static_cast<std::int32_t>(Files.size()) - s.OriginalFiles;
  return s;
}

void TScanEngine::UpdateSummaryInfo() {
  const std::int32_t totalFiles = fSummaryInfo.TotalFiles;
  fSummaryInfo = SummaryOfList(fFiles);
  fSummaryInfo.TotalFiles = totalFiles;
}

void TScanEngine::UpdateGrid(int AIndex, bool DoRefresh) {
  if (!fFileList) return;
  if (AIndex >= ItemCount()) throw EScanEngineError("UpdateGrid: invalid row index specified");
  if (AIndex < 0) {
    fGridRowCount = ItemCount();
    fFileList->ListChanged(fGridRowCount);
  } else {
    fFileList->RowChanged(AIndex);
  }
  if (DoRefresh) fFileList->Refresh();
}

void TScanEngine::SortResults(IScanView* FileList, int AColIndex, TColumnSortOrder ASortOrder) {
  if (FileList) fFileList = FileList;
  if (fFiles.empty()) {
    fLastSortCount = 0;
    return;
  }
  if (AColIndex < 0) return;
  const std::int32_t count = ItemCount();
  if (AColIndex == fLastSortColumn && ASortOrder == fLastSortOrder && count == fLastSortCount &&
      fGridRowCount == count)
    return;  // already in this order
  fLastSortColumn = AColIndex;
  fLastSortOrder = ASortOrder;
  fLastSortCount = count;
  std::int32_t key = AColIndex;
  if (fCompareMode == cmEmails) {
    static constexpr std::int32_t kMail[] = {18, 13, 14, 15, 16, 17, 19, 20};
    if (AColIndex >= static_cast<int>(std::size(kMail))) throw EScanEngineError("Invalid column index");
    key = kMail[AColIndex];
  } else if (fCompareMode == cmContacts) {
    static constexpr std::int32_t kContacts[] = {20, 21, 22, 23, 24, 25, 26, 27, 1, 2};
    if (AColIndex >= static_cast<int>(std::size(kContacts))) throw EScanEngineError("Invalid column index");
    key = kContacts[AColIndex];
  } else if (fCompareMode == cmSimilarPictures && AColIndex == 5) {
    key = kSimilaritySortKey;
  } else if (AColIndex > 4 && fFileList) {
    // Music tag columns sit where the grid placed them.
    const int tag = fFileList->MusicTagAtColumn(AColIndex + 1);
    if (tag >= 0) key = 5 + tag;
  }
  if (!SortByColumnKey(fFiles, key, ASortOrder)) {
    const TColumnComparer cmp(&fFiles, key, ASortOrder);
    QuickSortItems(fFiles, [&cmp](PFileItem l, PFileItem r) { return cmp.Compare(l, r); });
  }
  NumberBands();
  UpdateGrid(-1, true);
}

void NumberBandsOf(std::vector<PFileItem>& Files) {
  // From 1, as the scan numbers them: the shading of the first group does not flip with the order.
  std::uint32_t band = 0;
  for (std::size_t k = 0; k < Files.size(); ++k) {
    if (k == 0 || Files[k]->DupGroup != Files[k - 1]->DupGroup) ++band;
    Files[k]->SortGroup = band;
  }
}

void TScanEngine::NumberBands() { NumberBandsOf(fFiles); }

PFileItem TScanEngine::Item(int AIndex) const {
  if (AIndex < 0 || AIndex >= ItemCount()) throw EScanEngineError("TScanEngine.Item: Invalid item index specified.");
  return fFiles[static_cast<std::size_t>(AIndex)];
}

int TScanEngine::RealItemCount() const {
  return static_cast<int>(fFiles.size() + fFilesHiddenByFilter.size() + fFilesHiddenByCategory.size());
}

bool TScanEngine::ItemValid(int AIndex) const {
  if (AIndex < 0 || AIndex >= ItemCount()) return false;
  if (fCompareMode != cmPhotoLibrary) return true;
  // A row of the photo mode is valid while the scanner still holds its item.
  const TItemBase* item = fFiles[static_cast<std::size_t>(AIndex)]->PhotoScannerItem;
  TScannerBase* scanner = PhotoScannerIfMade();
  if (!scanner || !item) return false;
  for (const auto& p : scanner->Items().List())
    if (p.get() == item) return true;
  return false;
}

void TScanEngine::FillPathList(std::vector<std::string>& AList) const {
  AList.reserve(AList.size() + fFiles.size());
  for (PFileItem it : fFiles) AList.push_back(it->Path.str());
}

bool TScanEngine::CheckRow(int AIndex) const {
  if (AIndex < 0 || AIndex >= ItemCount()) return false;
  return (fFiles[static_cast<std::size_t>(AIndex)]->SortGroup & 1u) != 0;
}

bool TScanEngine::CheckProcessed(int AIndex) const {
  if (AIndex < 0 || AIndex >= ItemCount()) return false;
  return fFiles[static_cast<std::size_t>(AIndex)]->fProcessed;
}


namespace {

struct TCategoryList {
  TFilterCategory Category;
  const char* List;
};

constexpr TCategoryList kCategoryLists[] = {
    {fcArchives, "*.7Z;*.ACE;*.ALZ;*.ARC;*.ARJ;*.BZ2;*.BZ2;*.CAB;*.JAR;*.LZH;*.PAK;*.RAR;*.AT3;*.TGZ;*.TAR;*.GZ;*.UHA;*.ZIP;"},
    {fcDocuments, "*.MDB;*.ADP;*.MDA;*.MDE;*.ADE;*.XL;*.XLA;*.XLS;*.XLSX;*.XLT;*.XLM;*.XLC;*.XLW;*.PPS;*.PPT;*.PPTX;*.DOC;*.DOCX;*.WRI;*.CSV;*.ODT;*.ODS;*.ODG;*.ODP;*.ODM;*.ODF;*.PDF;*.TXT;*.RTF;"},
    {fcMusic, "*.M4A;*.M4P;*.MP2;*.AAC;*.AIFF;*.APE;*.AU;*.FLAC;*.MID;*.MP3;*.OGG;*.RAW;*.WAV;*.WMA;*.MP3PRO;*.RM;*.RA;"},
    {fcPictures, "*.BMP;*.GIF;*.ICO;*.JNG;*.JPG;*.JPEG;*.JPE;*.JP2;*.JPC;*.J2K;*.PNG;*.TIF;*.TIFF;*.EPS;*.CLP;*.CRW;*.CR2;*.DCX;*.EXR;*.KDC;*.PCX;*.PSD;*.RAW;*.SFW;*.WMF;"},
    {fcVideo, "*.3GP;*.MP4;*.SWF;*.FLA;*.FLV;*.MKV;*.MPEG;*.MPG;*.M1V;*.MP2;*.MPA;*.MPE;*.MOV;*.AVI;*.WMV;*.DIVX;"},
};

TFilterCategory CategoryBySearch(std::string_view AFileName) {
  std::string key = "*" + ExtensionKeyOf(AFileName) + ";";
  for (const auto& l : kCategoryLists)
    if (std::string_view(l.List).find(key) != std::string_view::npos) return l.Category;
  return fcOther;
}

// Every extension of the lists, the first list naming it winning (as the search does).
const std::unordered_map<std::string_view, TFilterCategory>& CategoryByExtension() {
  static const auto map = [] {
    std::unordered_map<std::string_view, TFilterCategory> m;
    for (const auto& l : kCategoryLists) {
      const std::string_view list(l.List);
      for (std::size_t b = 0; b < list.size();) {
        const std::size_t e = list.find(';', b);
        m.try_emplace(list.substr(b + 1, e - b - 1), l.Category);  // without the '*'
        b = e + 1;
      }
    }
    return m;
  }();
  return map;
}

}  // namespace

TFilterCategory TScanEngine::DetectCategory(std::string_view AFileName) {
  // Called for every file found: a short ASCII extension is looked up directly. Others (where
  // upper case may map a letter into ASCII, or ';' and '*' could match across entries) take the
  // search through the lists.
  const std::string_view ext = ExtensionPart(AFileName);
  if (ext.empty()) return fcOther;
  char upper[8];
  if (ext.size() > sizeof upper) return CategoryBySearch(AFileName);
  for (std::size_t k = 0; k < ext.size(); ++k) {
    char c = ext[k];
    if (static_cast<unsigned char>(c) >= 0x80 || c == ';' || c == '*') return CategoryBySearch(AFileName);
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    upper[k] = c;
  }
  const auto& map = CategoryByExtension();
  const auto it = map.find(std::string_view(upper, ext.size()));
  return it == map.end() ? fcOther : it->second;
}

}  // namespace pelcrow
