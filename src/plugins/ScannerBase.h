// The generic scanner framework: a folder tree of the source, items, options, and a scan thread
// that enumerates the chosen folders on a worker of its own, groups equal items and hands them to
// the scanner on the user-interface thread. A scanner subclass binds it to one source (a mail
// store, an address book, a photo library) by giving the tree, the items of a folder and the
// comparison.
//
// Threads: the scanner lives on the user-interface thread. The thread object copies what it needs
// when it is created there; its worker then touches only its own lists, and progress and the end
// reach the scanner through GetMainThread().Post, never by a blocking call.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "base/DateTime.h"

namespace pelcrow {

enum TScanStatus : std::uint8_t { ssNone, ssScanning, ssProcessing, ssBuildingList, ssStopping };

struct TScanInfo {
  std::string ScanPath;
  std::int32_t PercentComplete = 0;
  std::int32_t ItemsScanned = 0;
  TScanStatus Status = ssNone;
};

struct TSummaryInfo {
  std::int32_t TotalItemsCount = 0;
  std::int32_t OriginalItemsCount = 0;
  std::int64_t OriginalItemsSize = 0;
  std::int32_t DuplicateItemsCount = 0;
  std::int64_t DuplicateItemsSize = 0;
};

class TScannerBase;
using TScanProgress = std::function<void(void* Sender, TScanInfo AScanInfo)>;

class TFolderBase;

// A list of folders that does not own them; Add keeps each folder once.
class TFolders {
 public:
  void Add(TFolderBase* Folder);
  void Remove(TFolderBase* Folder);
  void Clear() { fList.clear(); }
  int Count() const { return static_cast<int>(fList.size()); }
  TFolderBase* operator[](int Index) const { return fList.at(static_cast<std::size_t>(Index)); }
  bool Contains(const TFolderBase* Folder) const;
  auto begin() const { return fList.begin(); }
  auto end() const { return fList.end(); }

 private:
  std::vector<TFolderBase*> fList;
};

// A folder of the source. Its parent owns it; a folder made with a parent appends itself to the
// parent's children, and destroying a folder destroys its subtree.
class TFolderBase {
 public:
  // Parent nullptr: a folder without owner (the root).
  explicit TFolderBase(TFolderBase* Parent);
  virtual ~TFolderBase();
  TFolderBase(const TFolderBase&) = delete;
  TFolderBase& operator=(const TFolderBase&) = delete;

  // The names from the top-level folder down to this one, each followed by "/".
  virtual std::string FolderPath() const;
  const std::string& Id() const { return fId; }
  void SetId(std::string Id) { fId = std::move(Id); }
  const std::string& Name() const { return fName; }
  void SetName(std::string Name) { fName = std::move(Name); }
  // The icon a front end shows (a theme icon name).
  const std::string& Icon() const { return fIcon; }
  void SetIcon(std::string Icon) { fIcon = std::move(Icon); }
  bool IsCanStoreItem() const { return fIsCanStoreItem; }
  void SetIsCanStoreItem(bool Value) { fIsCanStoreItem = Value; }
  TFolderBase* Parent() const { return fParent; }
  int ChildCount() const { return static_cast<int>(fChilds.size()); }
  TFolderBase* GetChild(int AIndex) const { return fChilds.at(static_cast<std::size_t>(AIndex)).get(); }
  // Destroys the child (and its subtree).
  void DeleteChild(TFolderBase* Child);
  virtual bool IsRoot() const { return false; }

 private:
  TFolderBase* fParent;
  std::string fId, fName, fIcon = "folder";
  std::vector<std::unique_ptr<TFolderBase>> fChilds;
  bool fIsCanStoreItem = true;
};

// The whole source: no name, nothing in paths.
class TFolderRoot final : public TFolderBase {
 public:
  TFolderRoot() : TFolderBase(nullptr) {}
  std::string FolderPath() const override { return {}; }
  bool IsRoot() const override { return true; }
};

// Depth-first, pre-order, children in order: the first folder with the identifier.
TFolderBase* FindFolderById(TFolderBase& Root, const std::string& Id);
// The path split at "/" (a trailing "/" adds no part); each part the first child of that exact name.
TFolderBase* FindFolderByPath(TFolderBase& Root, const std::string& Path);

class TItemBase {
 public:
  virtual ~TItemBase() = default;
  const std::string& ItemId() const { return fItemId; }
  void SetItemId(std::string Id) { fItemId = std::move(Id); }
  TFolderBase* Folder() const { return fFolder; }
  void SetFolder(TFolderBase* Folder) { fFolder = Folder; }
  bool IsDeleted() const { return fIsDeleted; }
  void SetIsDeleted(bool Value) { fIsDeleted = Value; }
  std::int32_t DuplicateGroup() const { return fDuplicateGroup; }
  void SetDuplicateGroup(std::int32_t Value) { fDuplicateGroup = Value; }
  bool IsChecked() const { return fIsChecked; }
  void SetIsChecked(bool Value) { fIsChecked = Value; }
  std::int64_t Size() const { return fSize; }
  void SetSize(std::int64_t Value) { fSize = Value; }
  TDateTime Date() const { return fDate; }
  void SetDate(TDateTime Value) { fDate = Value; }

 private:
  std::string fItemId;
  TFolderBase* fFolder = nullptr;
  bool fIsDeleted = false;
  std::int32_t fDuplicateGroup = 0;
  bool fIsChecked = false;
  std::int64_t fSize = 0;
  TDateTime fDate;
};

// Owns its items; AddIfUnique refuses a second item of an identifier (exact comparison).
class TItems {
 public:
  bool AddIfUnique(std::unique_ptr<TItemBase>& AItem);
  int Count() const { return static_cast<int>(fList.size()); }
  TItemBase* operator[](int Index) const { return fList.at(static_cast<std::size_t>(Index)).get(); }
  void Clear();
  void Delete(int Index);
  std::vector<std::unique_ptr<TItemBase>>& List() { return fList; }
  // After the list was reordered or filtered directly.
  void ReindexIds();

 private:
  std::vector<std::unique_ptr<TItemBase>> fList;
  std::unordered_set<std::string> fIds;
};

class TScanOptionsBase {
 public:
  virtual ~TScanOptionsBase() = default;
  virtual void Assign(const TScanOptionsBase& ASource);
  bool ScanInSubFolders() const { return fScanInSubFolders; }
  void SetScanInSubFolders(bool Value) { fScanInSubFolders = Value; }
  bool CaseSensitive() const { return fCaseSensitive; }
  void SetCaseSensitive(bool Value) { fCaseSensitive = Value; }

 private:
  bool fScanInSubFolders = false;
  bool fCaseSensitive = false;
};

class TScanThreadBase {
 public:
  // On the user-interface thread: copies the options and expands the scanner's folder lists.
  explicit TScanThreadBase(TScannerBase& AScanner);
  virtual ~TScanThreadBase();
  TScanThreadBase(const TScanThreadBase&) = delete;
  TScanThreadBase& operator=(const TScanThreadBase&) = delete;

  void Start();
  void Terminate() { fTerminated.store(true, std::memory_order_relaxed); }
  bool Terminated() const { return fTerminated.load(std::memory_order_relaxed); }
  void WaitFor();

  TScanProgress OnScanProress;
  // Runs on the user-interface thread after the worker ended.
  std::function<void(TScanThreadBase&)> OnTerminate;

  TItems& Items() { return fItems; }
  const TSummaryInfo& SummaryInfo() const { return fSummaryInfo; }
  const TFolders& ScanFolders() const { return fScanFolders; }

 protected:
  virtual void Initialize() {}
  virtual void Finalize() {}
  virtual void ScanFolder(TFolderBase& AFolder) = 0;
  // After the last folder, before the grouping (a scan that was stopped does not get here).
  virtual void BeforeGrouping() {}
  // 0 exactly when the two items are duplicates of each other.
  virtual int CompareItems(const TItemBase& A, const TItemBase& B) const = 0;
  // Hands a copy of ScanInfo to the user-interface thread.
  void ReportProgress();
  // Runs Fn on the user-interface thread unless the thread object is gone by then.
  void PostToMain(std::function<void()> Fn);
  // Takes the folder (and with Subfolders its descendants) out of the list to scan.
  void ExcludeScanFolder(TFolderBase* Folder, bool Subfolders);
  const TScanOptionsBase& ScanOptions() const { return *fScanOptions; }
  TScanInfo fScanInfo;

 private:
  void Execute();
  void Group();
  TFolders fScanFolders;
  TItems fItems;
  TSummaryInfo fSummaryInfo;
  std::unique_ptr<TScanOptionsBase> fScanOptions;
  std::atomic<bool> fTerminated{false};
  std::thread fThread;
  // Lets the posted hand-over find out that the thread object was given up.
  std::shared_ptr<TScanThreadBase*> fSelf;
};

// Groups sorted items in place: runs that CompareItems calls equal become groups 1, 2, ...; lone
// items go; then the order is group, folder path (ASCII case ignored), date. Fills Summary.
void GroupScannedItems(std::vector<std::unique_ptr<TItemBase>>& Items,
                       const std::function<int(const TItemBase&, const TItemBase&)>& Compare,
                       TSummaryInfo& Summary);
// The same statistics and numbering for items already in group order (after removals).
void RegroupItems(std::vector<std::unique_ptr<TItemBase>>& Items, TSummaryInfo& Summary);

class TScannerBase {
 public:
  TScannerBase();
  virtual ~TScannerBase();
  TScannerBase(const TScannerBase&) = delete;
  TScannerBase& operator=(const TScannerBase&) = delete;

  // Calls InitializeSource and PopulateFolders (a subclass's constructor cannot: they are
  // virtual); throws when the source is not reachable.
  void Open();

  const TScanInfo& ScanInfo() const { return fScanInfo; }
  const TSummaryInfo& SummaryInfo() const { return fSummaryInfo; }
  TScanOptionsBase& ScanOptions() { return *fScanOptions; }
  const TScanOptionsBase& ScanOptions() const { return *fScanOptions; }
  TFolders& ScanFolders() { return fScanFolders; }
  TFolders& ExcludeFolders() { return fExcludeFolders; }
  const TFolders& ScanFolders() const { return fScanFolders; }
  const TFolders& ExcludeFolders() const { return fExcludeFolders; }
  TFolderRoot& RootFolder() { return *fRootFolder; }
  TItems& Items() { return fItems; }
  const TItems& Items() const { return fItems; }
  TScanProgress OnScanProgress;
  std::function<void()> OnScanComplete;

  void GetScanFolderPaths(std::vector<std::string>& APaths) const;
  void GetExcludeFolderPaths(std::vector<std::string>& APaths) const;
  void SetScanFolderPaths(const std::vector<std::string>& APaths);
  void SetExcludeFolderPaths(const std::vector<std::string>& APaths);
  // The folder a front end's dialog chose, appended unless it is in the list already.
  TFolderBase* AddScanFolderFromDialog(TFolderBase* Chosen);
  TFolderBase* AddExcludeFolderFromDialog(TFolderBase* Chosen);

  void StartScan();
  void CancelScan();
  // Stops the running scan and forgets it: no hand-over and no OnScanComplete.
  void AbandonScan();
  bool Scanning() const { return fScanThread != nullptr; }
  void RefreshFoldersTree();

  virtual void DeleteItem(TItemBase& AItem);
  virtual void MoveItem(TItemBase& AItem, TFolderBase* ADestFolder);
  virtual bool CanDisplayItems() const { return false; }
  virtual void DisplayItem(TItemBase&) {}
  virtual bool CanDisplayFolders() const { return false; }
  virtual void DisplayFolder(TFolderBase&) {}
  virtual bool CanDisplayTrash() const { return false; }
  virtual void DisplayTrash() {}
  virtual bool CanPreviewFile() const { return false; }
  virtual std::string GetPreviewFilePath(const TItemBase&) const { return {}; }

 protected:
  virtual void InitializeSource() {}
  virtual void FinalizeSource() {}
  virtual void PopulateFolders() = 0;
  virtual std::unique_ptr<TScanThreadBase> CreateScanThread() = 0;
  virtual std::unique_ptr<TScanOptionsBase> CreateScanOptions() const = 0;
  // The hand-over has moved the thread's items into Items (before OnScanComplete).
  virtual void ScanHandedOver(TScanThreadBase&) {}
  TSummaryInfo fSummaryInfo;

 private:
  friend class TScanThreadBase;
  void ThreadProgress(const TScanInfo& Info);
  void ThreadTerminated(TScanThreadBase& Thread);
  TScanInfo fScanInfo;
  std::unique_ptr<TScanOptionsBase> fScanOptions;
  std::unique_ptr<TScanThreadBase> fScanThread;
  TFolders fScanFolders, fExcludeFolders;
  std::unique_ptr<TFolderRoot> fRootFolder;
  TItems fItems;
  bool fOpened = false;
};

}  // namespace pelcrow
