// TScanEngine: the result model and the scan driver. The user-interface thread owns it; a scan
// runs on one worker (enumerate, prefetch checksums, sort and group, remove repeated entries,
// filter master groups, renumber) and hands its end back to the user-interface thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <stop_token>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "base/PathText.h"
#include "engine/ColumnComparer.h"
#include "engine/FileComparer.h"
#include "engine/FileItem.h"
#include "engine/IgnoreList.h"
#include "platform/SafeFile.h"
#include "engine/ScanProgress.h"
#include "engine/UndoProgress.h"
#include "engine/SearchFilter.h"
#include "engine/SimilarPictures.h"
#include "medialib/MediaLibSync.h"
#include "plugins/ScanEnginePlugin.h"
#include "plugins/ScannerBase.h"
#include "settings/FileMask.h"
#include "settings/PcwSettings.h"

namespace pelcrow {

// Errors of the engine's contract; their texts are fixed English and not translated.
class EScanEngineError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum TSelectMethod : std::uint8_t {
  smSelectAllLeaveOldest,
  smSelectAllLeaveNewest,
  smSelectAllLeaveOriginalName,
};

struct TScanEngineSummaryInfo {
  std::int32_t TotalFiles = 0;
  std::int32_t OriginalFiles = 0;
  std::int64_t OriginalSize = 0;
  std::int32_t DuplicateFiles = 0;
  std::int64_t DuplicateSize = 0;
  friend bool operator==(const TScanEngineSummaryInfo&, const TScanEngineSummaryInfo&) = default;
};

struct TScanEngineStatusInfo {
  std::string Path;
  std::uint8_t PercentComplete = 0;
  std::int32_t FilesScanned = 0;
  TScanEngineStatus EngineStatus = esScanning;
};

// A directory entry as the file checks see it.
struct TSearchRec {
  std::string Name;
  std::int64_t Size = 0;
  std::uint32_t Attr = 0;  // st_mode
  TDateTime Time;
  TDateTime Changed;  // inode change time
  std::uint64_t Device = 0;
  std::uint64_t Inode = 0;
  std::uint64_t LinkCount = 1;
  bool Compressed = false;
};

using TFinishEvent = std::function<void(const TScanEngineSummaryInfo& Info)>;
using TFilterEvent = std::function<bool(const std::string& Path, const TSearchRec& SearchRec)>;

// The results grid as the engine sees it: row count and cell changes, nothing per cell.
class IScanView {
 public:
  virtual ~IScanView() = default;
  virtual void ListChanged(int RowCount) = 0;
  virtual void RowChanged(int Row) = 0;
  virtual void Refresh() = 0;
  // The update bracket: row changes between the two may reach the screen as one. Brackets nest.
  virtual void BeginUpdate() {}
  virtual void EndUpdate() {}
  // Which music tag (0 Title ... 7 Bit rate) the grid shows at a column, or -1.
  virtual int MusicTagAtColumn(int /*GridColumn*/) const { return -1; }
};

// A check that turned away a whole include folder, or the count of files one check rejected:
// what a front end shows when a scan found nothing.
struct TScanRejection {
  std::string Path;   // the include folder (folder rejections)
  std::string Check;  // the check's name, untranslated ("Skip temporary files check")
  std::int64_t Count = 0;
};

// The master-file confirmation is active for the current result set.
extern std::atomic<bool> MasterWarningActive;

// What a scan takes of the user's preferences, as a value handed to BuildFileList: the worker
// never reads a record the user may be editing.
struct TScanSettings {
  TPcwScanOptions ScanOptions = TPcwScanOptions::FromBits(kDefaultScanOptions);
  bool MasterSelectMode = false;
  TMusicTagsOptions MusicTagsOptions = TMusicTagsOptions::FromBits(kDefaultMusicTagsOptions);
  // File-name mode: names this alike (1..100) are one name; 0: equal names only.
  int NameSimilarity = 0;
  // The events the scan logs; empty while logging is off.
  TPcwLogEvents LogEvents;
  // Folders no scan enters (the settings' permanent exclusions).
  std::vector<std::string> PermanentExclusions;
  // Folder of the checksum cache (CRC32 mode); empty: no cache. The results are the same.
  std::string ChecksumCacheFolder;
  // Files changed less than this before the scan are not cached (see TChecksumCache).
  std::int64_t ChecksumCacheSettleNs = 3'000'000'000;
  // The e-mail and contact switches (the plug-in modes).
  TOutlookOptions OutlookOptions = TOutlookOptions::FromBits(kDefaultOutlookOptions);
  // Files and pairs the user does not want in any group (file modes); null: none.
  std::shared_ptr<const TIgnoreList> IgnoreList;
  // The similar-pictures mode's threshold.
  int SimilarityPercent = kDefaultSimilarityPercent;
};

struct TLoadedList;

// Where the mail plug-ins look for their stores.
struct TMailStoreRoots {
  std::vector<std::string> Maildir;
  std::vector<std::string> Thunderbird;
};
// Where the photo mode finds its library and the scripts that drive it; empty: Shotwell's own
// library, the scripts beside the program.
struct TPhotoLibraryLocation {
  std::string ScriptFolder;
  std::string Library;
};
// Shotwell's library of this user: $XDG_DATA_HOME/shotwell/data/photo.db.
std::string DefaultPhotoLibrary();
// The scan's part of a settings record.
TScanSettings ScanSettingsOf(const TPcwSettings& Record);
// The mail stores a settings record names, with "~" and variables expanded.
TMailStoreRoots MailStoreRootsOf(const TPcwSettings& Record);

class TScanEngine {
 public:
  TScanEngine(std::uint8_t ComparisonMode, TPcwCompareOptions CompareOptions);
  ~TScanEngine();
  TScanEngine(const TScanEngine&) = delete;
  TScanEngine& operator=(const TScanEngine&) = delete;

  // Starts a scan; the caller has cleared the results and set masks, paths and size limits.
  void BuildFileList(IScanView* FileList, const TScanSettings& Options);
  // Asks a running scan to end; returns at once.
  void Stop();
  void ClearResults();
  void ResetProgress();
  void GetCurrentProgress(TScanEngineStatusInfo& ProgressInfo) const;
  // Waits for a running worker to finish (front ends that have no event loop of their own).
  void WaitForWorker();

  void SetCompareMode(std::uint8_t ComparisonMode, TPcwCompareOptions CompareOptions);
  // Whether the result set was made in the master select mode: BuildFileList and the list loads
  // set it; results made by AddItem set it here.
  bool MasterSelectMode() const { return fMasterSelectMode; }
  void SetMasterSelectMode(bool Value) { fMasterSelectMode = Value; }
  std::uint8_t CompareMode() const { return fCompareMode; }
  TFileComparerClass* FileComparer() const { return fFileComparer.get(); }

  std::string GetIncludeFileMasks() const;
  void SetIncludeFileMasks(const std::string& Value);
  std::string GetExcludeFileMasks() const;
  void SetExcludeFileMasks(const std::string& Value);
  const std::vector<std::string>& IncludeFileMaskList() const { return fIncludeFileMasks; }
  const std::vector<std::string>& ExcludeFileMaskList() const { return fExcludeFileMasks; }
  const std::vector<std::string>& GetIncludeFilePaths() const { return fIncludeFilePaths; }
  void SetIncludeFilePaths(const std::vector<std::string>* Value);
  const std::vector<std::string>& GetExcludeFilePaths() const { return fExcludeFilePaths; }
  void SetExcludeFilePaths(const std::vector<std::string>* Value);
  const std::vector<std::string>& GetMasterFilePaths() const { return fMasterFilePaths; }
  void SetMasterFilePaths(const std::vector<std::string>* Value);
  // Folders whose files are searched too but always stay: a group made of them alone is dropped,
  // and no rule or check ever selects one of them.
  const std::vector<std::string>& GetReferenceFilePaths() const { return fReferenceFilePaths; }
  void SetReferenceFilePaths(const std::vector<std::string>* Value);
  // Marks the items under a reference folder (and unchecks them); the scan and the list loads
  // call it.
  void MarkReferenceItems();
  bool InReferenceFolder(std::string_view Dir) const;

  bool ScanThreadExecuting() const { return fExecuting.load(std::memory_order_acquire); }
  const TScanEngineSummaryInfo& SummaryInfo() const { return fSummaryInfo; }

  PFileItem Item(int AIndex) const;
  int ItemCount() const { return static_cast<int>(fFiles.size()); }
  int RealItemCount() const;
  bool ItemValid(int AIndex) const;
  bool IsOutlookExpressMode() const { return false; }
  void FillPathList(std::vector<std::string>& AList) const;
  bool CheckRow(int AIndex) const;
  bool CheckProcessed(int AIndex) const;
  void UpdateSummaryInfo();
  void UpdateGrid(int AIndex, bool DoRefresh);
  static TFilterCategory DetectCategory(std::string_view AFileName);

  // Threads that read checksums before the sort; 0 = one per core (at most 8).
  void SetChecksumThreads(unsigned Threads) { fChecksumThreads = Threads; }
  // How the similar-pictures mode reads pictures; without one that mode's scan fails.
  void SetPictureDecoder(TPictureDecoder Decoder) { fPictureDecoder = std::move(Decoder); }
  // Off: checksums are read lazily by the sort alone (the results are the same).
  void SetChecksumPrefetch(bool Enabled) { fPrefetch = Enabled; }
  // Include folders a folder check turned away, and how many files each file check rejected,
  // in the last scan.
  const std::vector<TScanRejection>& IncludeRejections() const { return fIncludeRejections; }
  std::vector<TScanRejection> FileRejections() const;
  // Files of the last scan whose checksums came from the checksum cache.
  std::int64_t ChecksumCacheHits() const { return fCacheHits; }
  // Files the enumeration of the last scan accepted as candidates.
  std::int64_t AcceptedFiles() const { return fAcceptedFiles; }
  // Text of the exception that ended the last worker, if any.
  const std::string& LastWorkerError() const { return fWorkerError; }

  TFilterEvent OnFilter;
  TFinishEvent OnFinishedScan;
  std::int64_t FileSizeMin = 0;
  std::int64_t FileSizeMax = 0;

  // ---- selection rules (Selection.cpp); FileList is the grid, normally the engine's own view.
  void AutoSelect(IScanView* FileList, TSelectMethod ASelectMethod);
  void SelectAll(IScanView* FileList);
  void UnSelectAll(IScanView* FileList);
  void ReverseSelection(IScanView* FileList);
  void SelectAllExceptThisFolder(IScanView* FileList, int ItemIndex, bool Recursive);
  void SelectAllExceptThisFolder(IScanView* FileList, const std::string& AFolder, bool Recursive);
  void SelectAllInGroupButThisOne(IScanView* FileList, int ItemIndex);
  void SelectDuplicatesInSameFolder(const std::string& AFolder, bool ASelectInSubFolders);
  PFileItem OriginalItem(PFileItem AItem) const;
  // The copies of the item's group that may stand as its kept copy when it is processed: the
  // unchecked ones, then (AlsoChecked: the run processes this row alone) the checked ones;
  // never a processed row or the item itself. Empty when no other copy is to stay.
  std::vector<PFileItem> KeptCandidates(PFileItem AItem, bool AlsoChecked) const;
  // The visible row of each group that the selection keeps, by row: a reference copy, else the
  // group's first unchecked copy in list order; no row where every copy is checked or processed.
  std::vector<char> KeptRows() const;

  // ---- what the scan recorded of each folder and file (processing checks against it)
  platform::TFolderIdentity FolderIdentity(std::string_view Folder) const;
  void SetFolderIdentity(const std::string& Folder, platform::TFolderIdentity Id);
  platform::TScannedFile ScannedFile(const TFileItem& Item) const;

  // ---- list order (ScanEngine.cpp)
  void SortResults(IScanView* FileList, int AColIndex, TColumnSortOrder ASortOrder);
  std::int32_t LastSortColumn() const { return fLastSortColumn; }
  TColumnSortOrder LastSortOrder() const { return fLastSortOrder; }
  // Rows the grid was last told it has.
  int GridRowCount() const { return fGridRowCount; }

  // ---- undo (Undo.cpp)
  // The file times of an item's file, kept in PFileTimes just before processing; absent when
  // they cannot be read.
  static void SaveFileTimes(PFileItem AItem);
  // Puts the kept access and modification times on ATarget (a creation time cannot be set
  // here: the file keeps its own). Errors are ignored.
  static void RestoreFileTimes(PFileItem AItem, const std::string& ATarget);
  static void ReleaseFileTimes(PFileItem AItem);
  // How many items the action processed and its type (kNoAction when none).
  void GetActionInfo(int ActionNo, int& AffectedCount, std::uint8_t& ActionType) const;
  // Reverts every item the action processed, the media libraries following as MediaLibs says;
  // false when the user asked to retry the rest.
  bool UndoAction(int ActionNo, int TotalCount, TDateTime ActionStarted, const TMediaLibSyncOptions& MediaLibs);
  // Whether undoing the action moves music files back.
  bool MovesBack(int ActionNo) const;
  void SetUndoProgress(IUndoProgress* AProgress) { fUndoProgress = AProgress; }

  // ---- duplicate list file (ListFile.cpp)
  // Failures throw EListFileError (engine/ListFile.h). Writes the visible list; the file is replaced whole or not at all.
  void SaveToFile(const std::string& AFileName);
  // The bytes SaveToFile writes.
  std::string ListFileText() const;
  // Replaces the results by the list in the file; AFileList becomes the engine's grid. A file
  // that cannot be read or is not a list of this version leaves the results empty. The list is
  // taken as a result set of the master select mode when AMasterSelectMode is set.
  void LoadFromFile(IScanView* AFileList, const std::string& AFileName, bool AMasterSelectMode = false);
  // The same from the file's bytes.
  void LoadFromText(IScanView* AFileList, std::string_view ABytes, bool AMasterSelectMode = false);
  // Replaces the results by a list read away from the engine (engine/ListFileLoader.h), as
  // LoadFromFile would have; AList is left empty. With APrevious the replaced items move there
  // for the caller to free, instead of being freed here.
  void TakeList(IScanView* AFileList, TLoadedList&& AList, bool AMasterSelectMode,
                std::vector<PFileItem>* APrevious = nullptr);

  // ---- result views: filter, categories, pruning (ResultViews.cpp)
  // Hides the visible items that do not match (they move to the filter's hidden list).
  void FilterResults(IScanView* FileList, const TSearchFilterFiles& AFilesFilter);
  void CloseFilterResults(IScanView* FileList);
  // ASetOnly: only remember the category; InternalCall: move items but leave the grid alone.
  void SetCategoryFilter(TFilterCategory AFilter, bool ASetOnly, bool InternalCall);
  TFilterCategory CurrentCategoryFilter() const { return fCurrentCategoryFilter; }
  // Destroy visible items (AIndex is a visible row): all with the row's extension (case-sensitive),
  // all in the row's folder, all in that folder and its subfolders. Groups of one may remain.
  void RemoveByExtension(int AIndex);
  void RemoveByFolder(int AIndex);
  void RemoveByFolderSub(int AIndex);
  // Applies the ignore list to the results (all three lists): ignored files leave, groups holding
  // an ignored pair are split, groups left with one item leave. Returns the items that left.
  std::size_t IgnoreInResults(const TIgnoreList& List);
  // Destroys processed items, then the items left without a partner, in all three lists.
  void CleanResolved();
  // Share (percent) of the category in the total size of all items; Found: one item has it.
  double GetStatsByCategory(TFilterCategory AFilter, bool& Found) const;
  // "count / size text" of the checked visible items; ActiveCount: unprocessed visible items.
  std::string GetSelectedInfo(int& SelCount, int& ActiveCount) const;
  // Refreshes a row's data from its source; throws for a row outside the visible list.
  void UpdateItem(int AIndex);

  // ---- plug-in modes (PluginScan.cpp)
  // The mail plug-in of mode 4, made on first use from the first store that answers (Maildir,
  // then Thunderbird); nullptr in the other modes or when no store answers.
  IScanEnginePlugin* ScannerPlugin();
  void CleanupScannerPlugin();
  void SetMailStores(TMailStoreRoots Roots);
  const TMailStoreRoots& MailStores() const { return fMailStores; }
  // The address books of the contacts mode: folders of .vcf files, or .vcf files.
  void SetContactStores(std::vector<std::string> Roots);
  const std::vector<std::string>& ContactStores() const { return fContactStores; }
  // The photo-library scanner of mode 6, made on first use; nullptr in the other modes or when the
  // library cannot be read (then the notice is shown, the mode falls back to CRC32 plus size and
  // OnPhotoModeFallback tells the front end, which keeps the mode in its settings).
  TScannerBase* PhotoScanner();
  // The scanner if it was made, without making it.
  TScannerBase* PhotoScannerIfMade() const;
  void SetPhotoLibrary(TPhotoLibraryLocation Location);
  const TPhotoLibraryLocation& PhotoLibrary() const { return fPhotoLibrary; }
  std::function<void()> OnPhotoModeFallback;
  // Rows from the photo scanner's items (after its scan); rows whose item is gone leave.
  void CopyPhotoRecords();
  void SyncPhotoRecords();
  // The plug-in item behind a row, or -1 for a file row.
  static int PluginIndex(const TFileItem& Item) { return Item.Emails ? Item.Emails->OutlookIndex : -1; }

  // Test access to the lists behind the visible one.
  std::vector<PFileItem>& FilesHiddenByFilter() { return fFilesHiddenByFilter; }
  std::vector<PFileItem>& FilesHiddenByCategory() { return fFilesHiddenByCategory; }
  // Appends an item the engine takes ownership of (list files, tests).
  void AddItem(PFileItem Item) { fFiles.push_back(Item); }

 private:
  std::vector<std::string>& GetTargetSL(int Index);
  const std::vector<std::string>& GetTargetSL(int Index) const;
  void SetMasks(int Index, const std::string& Value);
  std::string GetMasks(int Index) const;
  void SetPaths(int Index, const std::vector<std::string>* Value);
  void CheckNotExecuting() const;
  void FreeList(std::vector<PFileItem>& List);

  void ExecuteScan(std::stop_token Stop);
  struct TWalk;
  void ScanDirectory(const std::string& ADir, bool Recursive, bool SkipOwnFiles, const std::stop_token& Stop);
  bool EnterFolder(TWalk& Walk, const std::string& Dir, bool IsLink, bool IsIncludePath);
  void ScanFolder(TWalk& Walk, const std::string& ADir, bool Recursive, bool SkipOwnFiles, bool IsIncludePath);
  const char* FolderCheck(const std::string& Dir, bool IsLink) const;
  bool InternalFilter(TWalk& Walk, const std::string& Path, const TItemString& SharedPath, const TSearchRec& SearchRec);
  const char* FileCheck(TWalk& Walk, const std::string& Path, const TSearchRec& SearchRec);
  bool CountsAsScanned(const std::string& Name) const;
  void PrepareFilters();
  void LogFolderSkipped(const std::string& Dir, const std::string& Data);
  void RejectFile(const std::string& Path, const std::string& Name, const char* Check, const std::string& Error);
  void CompareFiles(const std::stop_token& Stop);
  void FilterMasterGroups(const std::stop_token& Stop);
  void FilterReferenceGroups();
  void Renumber();
  // SortGroup of every visible item: the running number of its run of equal groups, from 1.
  void NumberBands();
  void ScanThreadTerminated();
  bool InMasterFolder(const std::string& Dir) const;

  TPcwScanOptions fScanOptions;
  std::vector<std::string> fIncludeFileMasks;
  std::vector<std::string> fExcludeFileMasks;
  std::vector<std::string> fIncludeFilePaths;
  std::vector<std::string> fExcludeFilePaths;
  std::vector<std::string> fMasterFilePaths;
  std::vector<std::string> fReferenceFilePaths;
  std::shared_ptr<const TIgnoreList> fIgnoreList;
  std::vector<PFileItem> fFiles;
  std::vector<PFileItem> fFilesHiddenByFilter;
  std::vector<PFileItem> fFilesHiddenByCategory;
  // Folder text -> the folder's identity as the scan (or the loaded list) saw it.
  std::unordered_map<std::string, platform::TFolderIdentity> fFolderIds;
  bool fDisableRemoveNotification = false;
  IScanView* fFileList = nullptr;
  std::jthread fScanThread;
  std::atomic<bool> fExecuting{false};
  TScanEngineSummaryInfo fSummaryInfo;
  TFileComparerClassPtr fFileComparer;
  std::int32_t fLastSortColumn = -1;
  TColumnSortOrder fLastSortOrder = soAsc;
  std::int32_t fLastSortCount = 0;
  TFilterCategory fCurrentCategoryFilter = fcAllFiles;
  int fGridRowCount = 0;
  std::uint8_t fCompareMode = 0;
  bool fScanningMaster = false;

  // Taken when the scan starts (the exclusions as a record of their own, for its folder check).
  TPcwSettings fExclusions;
  bool fMasterSelectMode = false;
  TPcwLogEvents fLogEvents;
  std::vector<TFileMask> fIncludeMasks;
  std::vector<TFileMask> fExcludeMasks;
  std::string fMaskError;
  std::vector<TScanRejection> fIncludeRejections;
  std::vector<std::int64_t> fRejectCounts;
  std::int64_t fAcceptedFiles = 0;
  TMusicTagsOptions fMusicTagsOptions;
  int fNameSimilarity = 0;
  unsigned fChecksumThreads = 0;
  std::string fCacheFolder;
  std::int64_t fCacheSettleNs = 0;
  std::int64_t fCacheHits = 0;
  TDateTime fScanStarted;
  bool fPrefetch = true;
  TPictureDecoder fPictureDecoder;
  int fSimilarityPercent = kDefaultSimilarityPercent;
  // The worker reached publishing (not stopped): the grid is rebuilt when it ends.
  bool fPublished = false;
  std::string fWorkerError;
  // ---- plug-in modes
  void StartPluginScan(const TScanSettings& Options);
  void ApplyPluginOptions(TOutlookOptions Options);
  void PluginFolderProgress(const std::string& FolderPath, std::int32_t Index, std::int32_t Count);
  void PluginScanComplete();
  void FinishPluginScan();
  std::unique_ptr<IScanEnginePlugin> fCurrentPlugin;
  // ---- photo mode (PhotoScan.cpp)
  void StartPhotoScan();
  void PhotoScanComplete();
  std::unique_ptr<TScannerBase> fPhotoScanner;
  TPhotoLibraryLocation fPhotoLibrary;
  std::int32_t fOutlookTotal = 0;
  TMailStoreRoots fMailStores;
  std::vector<std::string> fContactStores;
  // The mode the plug-in held in fCurrentPlugin serves.
  std::uint8_t fPluginMode = 0;

  // Lets a hand-over queued by the worker notice that the engine is gone.
  std::shared_ptr<TScanEngine*> fSelf;

  // ---- selection rules (Selection.cpp)
  // Takes the grid a rule was given; refuses while a scan runs.
  void BeginSelection(IScanView* FileList);
  // Sets the check of row Index and updates the row when it changed; false when refused.
  bool SetSelection(int Index, bool Value);

  // ---- undo
  bool UndoItem(PFileItem Item, std::vector<std::string>& ErrorLog, TDateTime ActionStarted);
  // An item whose action left no journal record (made by hand, as tests do).
  bool UndoItemUnrecorded(PFileItem Item, std::vector<std::string>& ErrorLog, TDateTime ActionStarted);
  bool RestoreFromTrashSince(const std::string& APath, TDateTime ActionStarted);
  IUndoProgress* fUndoProgress = nullptr;
  // The libraries of the undo walk under way.
  TMediaLibSyncOptions fUndoLibraries;
  // The trash listing, read once per undo when an item is to come back from the trash.
  struct TUndoTrashIndex;
  std::shared_ptr<TUndoTrashIndex> fTrashIndex;

  // ---- duplicate list file, result views (ListFile.cpp, ResultViews.cpp)
  // Tells the grid it has no rows (before items are freed or reordered).
  void ShowNoRows();
  // Rebuilds the grid in the last sort order (groups ascending when none), then the summary.
  void ReShow();
  // The same after items were destroyed: the summary first, in the order of that moment.
  void ReShowAfterPruning();
};

// The summary figures of a visible list (TotalFiles left 0): the first item of each group in the
// list's order counts as its original.
TScanEngineSummaryInfo SummaryOfList(const std::vector<PFileItem>& Files);
// SortGroup of every item: the running number of its run of equal groups, from 1.
void NumberBandsOf(std::vector<PFileItem>& Files);

// The item as the scan saw it, in the folder of that identity (unknown: {}).
platform::TScannedFile ScannedFileOf(const TFileItem& Item, platform::TFolderIdentity FolderId);

}  // namespace pelcrow
