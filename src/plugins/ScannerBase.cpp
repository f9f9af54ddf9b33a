#include "plugins/ScannerBase.h"

#include <algorithm>

#include "base/MainThread.h"

namespace pelcrow {

namespace {

int CompareTextNoCase(std::string_view a, std::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 32);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

std::string PathOf(const TItemBase& it) { return it.Folder() ? it.Folder()->FolderPath() : std::string(); }

// Folder, then its descendants depth-first in child order.
void AddWithDescendants(TFolders& list, TFolderBase* f, bool sub) {
  list.Add(f);
  if (!sub) return;
  for (int i = 0; i < f->ChildCount(); ++i) AddWithDescendants(list, f->GetChild(i), true);
}

void RemoveWithDescendants(TFolders& list, TFolderBase* f, bool sub) {
  list.Remove(f);
  if (!sub) return;
  for (int i = 0; i < f->ChildCount(); ++i) RemoveWithDescendants(list, f->GetChild(i), true);
}

}  // namespace

// ------------------------------------------------------------------ folders

void TFolders::Add(TFolderBase* Folder) {
  if (Folder && !Contains(Folder)) fList.push_back(Folder);
}

void TFolders::Remove(TFolderBase* Folder) { fList.erase(std::remove(fList.begin(), fList.end(), Folder), fList.end()); }

bool TFolders::Contains(const TFolderBase* Folder) const {
  return std::find(fList.begin(), fList.end(), Folder) != fList.end();
}

TFolderBase::TFolderBase(TFolderBase* Parent) : fParent(Parent) {
  if (Parent) Parent->fChilds.emplace_back(this);
}

TFolderBase::~TFolderBase() {
  for (auto& c : fChilds) c->fParent = nullptr;
  fChilds.clear();
  // A folder destroyed on its own leaves its parent's children.
  if (fParent) {
    auto& siblings = fParent->fChilds;
    for (auto& c : siblings)
      if (c.get() == this) c.release();
    siblings.erase(std::remove(siblings.begin(), siblings.end(), nullptr), siblings.end());
  }
}

void TFolderBase::DeleteChild(TFolderBase* Child) {
  for (auto& c : fChilds) {
    if (c.get() != Child) continue;
    c->fParent = nullptr;
    c.reset();
  }
  fChilds.erase(std::remove(fChilds.begin(), fChilds.end(), nullptr), fChilds.end());
}

std::string TFolderBase::FolderPath() const {
  std::string path = fName + "/";
  for (const TFolderBase* p = fParent; p && !p->IsRoot(); p = p->fParent) path = p->fName + "/" + path;
  return path;
}

TFolderBase* FindFolderById(TFolderBase& Root, const std::string& Id) {
  if (!Root.IsRoot() && Root.Id() == Id) return &Root;
  for (int i = 0; i < Root.ChildCount(); ++i)
    if (TFolderBase* f = FindFolderById(*Root.GetChild(i), Id)) return f;
  return nullptr;
}

TFolderBase* FindFolderByPath(TFolderBase& Root, const std::string& Path) {
  TFolderBase* at = &Root;
  std::size_t start = 0;
  while (start < Path.size()) {
    std::size_t end = Path.find('/', start);
    if (end == std::string::npos) end = Path.size();
    const std::string_view part(Path.data() + start, end - start);
    TFolderBase* next = nullptr;
    for (int i = 0; i < at->ChildCount() && !next; ++i)
      if (at->GetChild(i)->Name() == part) next = at->GetChild(i);
    if (!next) return nullptr;
    at = next;
    start = end + 1;
  }
  return at == &Root ? nullptr : at;
}

// ------------------------------------------------------------------ items and options

bool TItems::AddIfUnique(std::unique_ptr<TItemBase>& AItem) {
  if (!fIds.insert(AItem->ItemId()).second) return false;
  fList.push_back(std::move(AItem));
  return true;
}

void TItems::Clear() {
  fList.clear();
  fIds.clear();
}

void TItems::Delete(int Index) {
  fIds.erase(fList.at(static_cast<std::size_t>(Index))->ItemId());
  fList.erase(fList.begin() + Index);
}

void TItems::ReindexIds() {
  fIds.clear();
  for (const auto& it : fList) fIds.insert(it->ItemId());
}

void TScanOptionsBase::Assign(const TScanOptionsBase& ASource) {
  fScanInSubFolders = ASource.fScanInSubFolders;
  fCaseSensitive = ASource.fCaseSensitive;
}

// ------------------------------------------------------------------ grouping

void GroupScannedItems(std::vector<std::unique_ptr<TItemBase>>& Items,
                       const std::function<int(const TItemBase&, const TItemBase&)>& Compare,
                       TSummaryInfo& Summary) {
  Summary = {};
  Summary.TotalItemsCount = static_cast<std::int32_t>(Items.size());
  std::stable_sort(Items.begin(), Items.end(), [&](const auto& a, const auto& b) { return Compare(*a, *b) < 0; });
  std::vector<std::unique_ptr<TItemBase>> kept;
  std::int32_t group = 0;
  for (std::size_t i = 0; i < Items.size();) {
    std::size_t j = i + 1;
    while (j < Items.size() && Compare(*Items[j - 1], *Items[j]) == 0) ++j;
    if (j - i > 1) {
      ++group;
      for (std::size_t k = i; k < j; ++k) {
        Items[k]->SetDuplicateGroup(group);
        kept.push_back(std::move(Items[k]));
      }
    }
    i = j;
  }
  Items = std::move(kept);
  // The final order; the paths are computed once, not per comparison.
  std::vector<std::pair<std::string, std::unique_ptr<TItemBase>>> keyed;
  keyed.reserve(Items.size());
  for (auto& it : Items) keyed.emplace_back(PathOf(*it), std::move(it));
  std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
    if (a.second->DuplicateGroup() != b.second->DuplicateGroup())
      return a.second->DuplicateGroup() < b.second->DuplicateGroup();
    if (const int c = CompareTextNoCase(a.first, b.first); c != 0) return c < 0;
    return a.second->Date() < b.second->Date();
  });
  for (std::size_t i = 0; i < keyed.size(); ++i) Items[i] = std::move(keyed[i].second);
  RegroupItems(Items, Summary);
}

void RegroupItems(std::vector<std::unique_ptr<TItemBase>>& Items, TSummaryInfo& Summary) {
  // Consecutive items of one group value form a group; a group of one goes.
  std::vector<std::unique_ptr<TItemBase>> kept;
  kept.reserve(Items.size());
  std::int32_t number = 0;
  Summary.OriginalItemsCount = Summary.DuplicateItemsCount = 0;
  Summary.OriginalItemsSize = Summary.DuplicateItemsSize = 0;
  for (std::size_t i = 0; i < Items.size();) {
    std::size_t j = i + 1;
    while (j < Items.size() && Items[j]->DuplicateGroup() == Items[i]->DuplicateGroup()) ++j;
    if (j - i > 1) {
      ++number;
      ++Summary.OriginalItemsCount;
      Summary.OriginalItemsSize += Items[i]->Size();
      for (std::size_t k = i; k < j; ++k) {
        if (k > i) {
          ++Summary.DuplicateItemsCount;
          Summary.DuplicateItemsSize += Items[k]->Size();
        }
        Items[k]->SetDuplicateGroup(number);
        kept.push_back(std::move(Items[k]));
      }
    }
    i = j;
  }
  Items = std::move(kept);
}

// ------------------------------------------------------------------ scan thread

TScanThreadBase::TScanThreadBase(TScannerBase& AScanner)
    : fScanOptions(AScanner.CreateScanOptions()), fSelf(std::make_shared<TScanThreadBase*>(this)) {
  fScanOptions->Assign(AScanner.ScanOptions());
  const bool sub = fScanOptions->ScanInSubFolders();
  for (TFolderBase* f : AScanner.ScanFolders()) AddWithDescendants(fScanFolders, f, sub);
  for (TFolderBase* f : AScanner.ExcludeFolders()) RemoveWithDescendants(fScanFolders, f, sub);
}

TScanThreadBase::~TScanThreadBase() {
  Terminate();
  WaitFor();
  fSelf.reset();
}

void TScanThreadBase::Start() {
  fThread = std::thread([this] { Execute(); });
}

void TScanThreadBase::WaitFor() {
  if (fThread.joinable()) fThread.join();
}

void TScanThreadBase::ReportProgress() {
  std::weak_ptr<TScanThreadBase*> self = fSelf;
  GetMainThread().Post([self, info = fScanInfo] {
    if (auto s = self.lock())
      if ((*s)->OnScanProress) (*s)->OnScanProress(*s, info);
  });
}

void TScanThreadBase::PostToMain(std::function<void()> Fn) {
  std::weak_ptr<TScanThreadBase*> self = fSelf;
  GetMainThread().Post([self, fn = std::move(Fn)] {
    if (self.lock()) fn();
  });
}

void TScanThreadBase::ExcludeScanFolder(TFolderBase* Folder, bool Subfolders) {
  RemoveWithDescendants(fScanFolders, Folder, Subfolders);
}

void TScanThreadBase::Execute() {
  fScanInfo.Status = ssScanning;
  try {
    Initialize();
    for (TFolderBase* f : fScanFolders) {
      fScanInfo.ScanPath = f->FolderPath();
      ScanFolder(*f);
      if (Terminated()) break;
    }
    if (!Terminated()) BeforeGrouping();
    if (!Terminated()) {
      fScanInfo.Status = ssProcessing;
      GroupScannedItems(fItems.List(), [this](const TItemBase& a, const TItemBase& b) { return CompareItems(a, b); },
                        fSummaryInfo);
    }
  } catch (...) {
    // Whatever failed, the scan ends with nothing; the completion still takes place.
    fTerminated = true;
  }
  if (Terminated()) {
    fSummaryInfo = {};
    fItems.Clear();
  }
  try {
    Finalize();
  } catch (...) {
  }
  fScanInfo.Status = ssBuildingList;
  std::weak_ptr<TScanThreadBase*> self = fSelf;
  GetMainThread().Post([self] {
    if (auto s = self.lock())
      if ((*s)->OnTerminate) (*s)->OnTerminate(**s);
  });
}

// ------------------------------------------------------------------ scanner

TScannerBase::TScannerBase() : fRootFolder(std::make_unique<TFolderRoot>()) {}

TScannerBase::~TScannerBase() {
  if (fScanThread) {
    fScanThread->OnTerminate = nullptr;
    fScanThread.reset();  // stops and joins: the worker never waits for this thread
  }
  fItems.Clear();
  fScanFolders.Clear();
  fExcludeFolders.Clear();
  fRootFolder.reset();
  if (fOpened) FinalizeSource();
}

void TScannerBase::Open() {
  fScanOptions = CreateScanOptions();
  InitializeSource();
  fOpened = true;
  PopulateFolders();
}

void TScannerBase::GetScanFolderPaths(std::vector<std::string>& APaths) const {
  APaths.clear();
  for (TFolderBase* f : fScanFolders) APaths.push_back(f->FolderPath());
}

void TScannerBase::GetExcludeFolderPaths(std::vector<std::string>& APaths) const {
  APaths.clear();
  for (TFolderBase* f : fExcludeFolders) APaths.push_back(f->FolderPath());
}

void TScannerBase::SetScanFolderPaths(const std::vector<std::string>& APaths) {
  for (const std::string& p : APaths) fScanFolders.Add(FindFolderByPath(*fRootFolder, p));
}

void TScannerBase::SetExcludeFolderPaths(const std::vector<std::string>& APaths) {
  for (const std::string& p : APaths) fExcludeFolders.Add(FindFolderByPath(*fRootFolder, p));
}

TFolderBase* TScannerBase::AddScanFolderFromDialog(TFolderBase* Chosen) {
  if (!Chosen || fScanFolders.Contains(Chosen)) return nullptr;
  fScanFolders.Add(Chosen);
  return Chosen;
}

TFolderBase* TScannerBase::AddExcludeFolderFromDialog(TFolderBase* Chosen) {
  if (!Chosen || fExcludeFolders.Contains(Chosen)) return nullptr;
  fExcludeFolders.Add(Chosen);
  return Chosen;
}

void TScannerBase::StartScan() {
  if (fScanThread) return;
  fScanInfo = {};
  fScanInfo.Status = ssScanning;
  fSummaryInfo = {};
  fScanThread = CreateScanThread();
  fScanThread->OnScanProress = [this](void*, TScanInfo info) { ThreadProgress(info); };
  fScanThread->OnTerminate = [this](TScanThreadBase& t) { ThreadTerminated(t); };
  fScanThread->Start();
}

void TScannerBase::CancelScan() {
  if (fScanThread) fScanThread->Terminate();
}

void TScannerBase::AbandonScan() {
  if (!fScanThread) return;
  fScanThread->OnTerminate = nullptr;
  fScanThread->OnScanProress = nullptr;
  fScanThread.reset();  // stops and joins; what it posted is dropped
}

void TScannerBase::ThreadProgress(const TScanInfo& Info) {
  fScanInfo = Info;
  if (OnScanProgress) OnScanProgress(this, fScanInfo);
}

void TScannerBase::ThreadTerminated(TScanThreadBase& Thread) {
  Thread.WaitFor();
  fItems.Clear();
  for (auto& it : Thread.Items().List()) fItems.List().push_back(std::move(it));
  Thread.Items().Clear();
  fItems.ReindexIds();
  fSummaryInfo = Thread.SummaryInfo();
  fScanInfo.Status = ssBuildingList;
  ScanHandedOver(Thread);
  fScanThread.reset();  // the thread's end is its own: no later CancelScan reaches it
  if (OnScanComplete) OnScanComplete();
}

void TScannerBase::RefreshFoldersTree() {
  std::vector<std::string> scan, exclude;
  GetScanFolderPaths(scan);
  GetExcludeFolderPaths(exclude);
  fScanFolders.Clear();
  fExcludeFolders.Clear();
  std::vector<std::string> ids;
  for (int i = 0; i < fItems.Count(); ++i) ids.push_back(fItems[i]->Folder() ? fItems[i]->Folder()->Id() : std::string());
  for (int i = 0; i < fItems.Count(); ++i) fItems[i]->SetFolder(nullptr);
  fRootFolder = std::make_unique<TFolderRoot>();
  PopulateFolders();
  for (int i = fItems.Count() - 1; i >= 0; --i) {
    TFolderBase* f = FindFolderById(*fRootFolder, ids[static_cast<std::size_t>(i)]);
    if (f)
      fItems[i]->SetFolder(f);
    else
      fItems.Delete(i);
  }
  SetScanFolderPaths(scan);
  SetExcludeFolderPaths(exclude);
}

void TScannerBase::DeleteItem(TItemBase& AItem) {
  AItem.SetIsDeleted(true);
  AItem.SetIsChecked(false);
}

void TScannerBase::MoveItem(TItemBase& AItem, TFolderBase* ADestFolder) {
  AItem.SetIsDeleted(true);
  AItem.SetIsChecked(false);
  AItem.SetFolder(ADestFolder);
}

}  // namespace pelcrow
