#include "plugins/MailScanner.h"

#include <algorithm>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include "localization/TextEncoding.h"
#include "platform/Shell.h"

namespace pelcrow {

namespace {

// Text compared by character code; without case sensitivity a-z equal A-Z and nothing else folds.
int CompareText(std::string_view a, std::string_view b, bool caseSensitive) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (!caseSensitive) {
      if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 32);
      if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 32);
    }
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

template <typename T>
int Three(T a, T b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

bool SamePathNoCase(const std::string& a, const std::string& b) { return CompareText(a, b, false) == 0; }

class TMailScanThread final : public TScanThreadBase {
 public:
  TMailScanThread(TMailScanner& Scanner) : TScanThreadBase(Scanner), fScanner(Scanner) {
    const TOlScanOptions o = static_cast<const TMailScanOptions&>(ScanOptions()).Options;
    fOptions = o;
    // The trash folders are never scanned, nor what lies below them.
    std::vector<TFolderBase*> trash;
    CollectTrash(Scanner.RootFolder(), trash);
    for (TFolderBase* f : trash) ExcludeScanFolder(f, true);
  }

 protected:
  void ScanFolder(TFolderBase& AFolder) override {
    auto& folder = static_cast<TMailFolder&>(AFolder);
    if (!folder.IsCanStoreItem()) return;
    const std::string path = folder.FolderPath();
    const bool body = fOptions.Contains(TOlScanOption::olBody) || fOptions.Contains(TOlScanOption::olBodySize);
    auto last = std::chrono::steady_clock::now();
    fScanner.ReadFolder(
        folder, body, fOptions.Contains(TOlScanOption::olCaseSensitive),
        [&](std::unique_ptr<TMailItem> item) {
          item->SetFolder(&folder);
          item->ScannedFolder = &folder;
          std::unique_ptr<TItemBase> base = std::move(item);
          Items().AddIfUnique(base);
          return !Terminated();
        },
        [&](std::int32_t index, std::int32_t count) {
          // Every message would flood the user-interface thread: a folder's last one and a few a second.
          const auto now = std::chrono::steady_clock::now();
          if (index != count - 1 && now - last < std::chrono::milliseconds(50)) return;
          last = now;
          TMailScanner* s = &fScanner;
          PostToMain([s, path, index, count] {
            if (s->OnFolderProgress) s->OnFolderProgress(s, path, index, count);
          });
        });
  }

  int CompareItems(const TItemBase& A, const TItemBase& B) const override {
    return CompareMails(static_cast<const TMailItem&>(A), static_cast<const TMailItem&>(B), fOptions);
  }

 private:
  static void CollectTrash(TFolderBase& f, std::vector<TFolderBase*>& out) {
    if (!f.IsRoot() && static_cast<TMailFolder&>(f).IsTrash) out.push_back(&f);
    for (int i = 0; i < f.ChildCount(); ++i) CollectTrash(*f.GetChild(i), out);
  }
  TMailScanner& fScanner;
  TOlScanOptions fOptions;
};

void CaptionNodes(TFolderBase& f, int parent, TPluginFolderTree& tree, std::vector<TOlFolder>& folders) {
  for (int i = 0; i < f.ChildCount(); ++i) {
    auto* c = static_cast<TMailFolder*>(f.GetChild(i));
    folders.push_back({c->Id(), c->StoreRoot, c->FolderPath(), c->IsCanStoreItem()});
    tree.push_back({"     " + c->Name(), parent, static_cast<int>(folders.size()) - 1});
    CaptionNodes(*c, static_cast<int>(tree.size()) - 1, tree, folders);
  }
}

}  // namespace

void TMailScanOptions::Assign(const TScanOptionsBase& ASource) {
  TScanOptionsBase::Assign(ASource);
  if (const auto* m = dynamic_cast<const TMailScanOptions*>(&ASource)) Options = m->Options;
}

int CompareMails(const TMailItem& A, const TMailItem& B, TOlScanOptions Options) {
  const bool cs = Options.Contains(TOlScanOption::olCaseSensitive);
  int c = 0;
  if (Options.Contains(TOlScanOption::olEmailFrom) && (c = CompareText(A.From, B.From, cs)) != 0) return c;
  if (Options.Contains(TOlScanOption::olEmailTo) && (c = CompareText(A.To_, B.To_, cs)) != 0) return c;
  if (Options.Contains(TOlScanOption::olSubject) && (c = CompareText(A.Subject, B.Subject, cs)) != 0) return c;
  if (Options.Contains(TOlScanOption::olReceivedDate) && (c = Three(A.ReceivedDay, B.ReceivedDay)) != 0) return c;
  if (Options.Contains(TOlScanOption::olBodySize) && (c = Three(A.BodyLength, B.BodyLength)) != 0) return c;
  if (Options.Contains(TOlScanOption::olBody)) {
    // The bodies are kept as 128-bit hashes: equal bodies group exactly as text would, in
    // another order between groups.
    if ((c = Three(A.BodyHash[0], B.BodyHash[0])) != 0) return c;
    if ((c = Three(A.BodyHash[1], B.BodyHash[1])) != 0) return c;
  }
  return 0;
}

void SetMailBody(TMailItem& Item, const std::string& Body, bool CaseSensitive) {
  Item.BodyLength = static_cast<std::uint32_t>(CharacterCount(Body));
  XXH128_hash_t h;
  if (CaseSensitive) {
    h = XXH3_128bits(Body.data(), Body.size());
  } else {
    std::string folded = Body;
    for (char& ch : folded)
      if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 32);
    h = XXH3_128bits(folded.data(), folded.size());
  }
  Item.BodyHash[0] = h.high64;
  Item.BodyHash[1] = h.low64;
}

// ------------------------------------------------------------------ scanner

TMailScanner::TMailScanner(std::vector<std::string> StoreRoots) : fStoreRoots(std::move(StoreRoots)) {
  TScannerBase::OnScanComplete = [this] {
    if (IScanEnginePlugin::OnScanComplete) IScanEnginePlugin::OnScanComplete();
  };
}

TMailScanner::~TMailScanner() = default;

void TMailScanner::Connect() { Open(); }

std::unique_ptr<TScanThreadBase> TMailScanner::CreateScanThread() { return std::make_unique<TMailScanThread>(*this); }

std::unique_ptr<TScanOptionsBase> TMailScanner::CreateScanOptions() const {
  auto o = std::make_unique<TMailScanOptions>();
  o->SetScanInSubFolders(o->Options.Contains(TOlScanOption::olSubfolders));
  return o;
}

void TMailScanner::SetScanOptionBits(std::uint8_t Bits) {
  auto& o = static_cast<TMailScanOptions&>(ScanOptions());
  o.Options = TOlScanOptions::FromBits(Bits);
  o.SetScanInSubFolders(o.Options.Contains(TOlScanOption::olSubfolders));
  o.SetCaseSensitive(o.Options.Contains(TOlScanOption::olCaseSensitive));
}

std::uint8_t TMailScanner::ScanOptionBits() const {
  return static_cast<const TMailScanOptions&>(ScanOptions()).Options.ToBits();
}

void TMailScanner::ScanHandedOver(TScanThreadBase&) {}

void TMailScanner::CancelScan() { AbandonScan(); }

TMailItem& TMailScanner::Item(std::int32_t Index) const {
  if (Index < 0 || Index >= Items().Count())
    throw EMailStoreError("List index out of bounds (" + std::to_string(Index) + ")");
  return static_cast<TMailItem&>(*Items()[Index]);
}

void TMailScanner::PopulateFolderTree(TPluginFolderTree& TreeView, std::vector<TOlFolder>& Folders) {
  TreeView.clear();
  Folders.clear();
  CaptionNodes(RootFolder(), -1, TreeView, Folders);
}

TMailFolder* TMailScanner::FolderOf(const TOlFolder& Folder) {
  TFolderBase* f = Folder.EntryID.empty() ? nullptr : FindFolderById(RootFolder(), Folder.EntryID);
  if (!f) f = FindFolderByPath(RootFolder(), Folder.FolderPath);
  return static_cast<TMailFolder*>(f);
}

std::int32_t TMailScanner::AddScanFolder(const TOlFolder& Folder) {
  TMailFolder* f = FolderOf(Folder);
  if (!f) return -1;
  ScanFolders().Add(f);
  for (int i = 0; i < ScanFolders().Count(); ++i)
    if (ScanFolders()[i] == f) return i;
  return -1;
}

std::int32_t TMailScanner::AddExcludeFolder(const TOlFolder& Folder) {
  TMailFolder* f = FolderOf(Folder);
  if (!f) return -1;
  ExcludeFolders().Add(f);
  for (int i = 0; i < ExcludeFolders().Count(); ++i)
    if (ExcludeFolders()[i] == f) return i;
  return -1;
}

void TMailScanner::ExportItem(std::int32_t ItemIndex, TExportData& ItemData) const {
  const TMailItem& it = Item(ItemIndex);
  ItemData = {};
  ItemData.DupGroup = it.DuplicateGroup();
  ItemData.Path = it.Folder() ? it.Folder()->FolderPath() : std::string();
  ItemData.Size = it.Size();
  ItemData.From = it.From;
  ItemData.To_ = it.To_;
  ItemData.Subject = it.Subject;
  ItemData.DateTime = it.Date();
}

void TMailScanner::Clear() {
  Items().Clear();
  fSummaryInfo = {};
}

void TMailScanner::Regroup() {
  const std::int32_t total = fSummaryInfo.TotalItemsCount;
  RegroupItems(Items().List(), fSummaryInfo);
  Items().ReindexIds();
  fSummaryInfo.TotalItemsCount = total;
}

void TMailScanner::RemoveItem(std::int32_t Index) {
  Item(Index);
  Items().Delete(Index);
  if (fUpdateCount == 0) Regroup();
}

void TMailScanner::EndUpdate() {
  if (--fUpdateCount > 0) return;
  fUpdateCount = 0;
  Regroup();
}

void TMailScanner::RemoveItemsByFolder(std::int32_t Index, bool Subfolders) {
  const std::string path = Item(Index).Folder() ? Item(Index).Folder()->FolderPath() : std::string();
  for (int i = Items().Count() - 1; i >= 0; --i) {
    const TMailItem& it = Item(i);
    const std::string p = it.Folder() ? it.Folder()->FolderPath() : std::string();
    if (SamePathNoCase(p, path) || (Subfolders && p.size() >= path.size() && SamePathNoCase(p.substr(0, path.size()), path)))
      Items().Delete(i);
  }
  Regroup();
}

const TMailItem* TMailScanner::KeptOf(const TMailItem& AItem) const {
  for (int i = 0; i < Items().Count(); ++i) {
    const TMailItem& it = Item(i);
    if (&it != &AItem && it.DuplicateGroup() == AItem.DuplicateGroup() && !it.IsChecked() && !it.IsDeleted())
      return &it;
  }
  return nullptr;
}

void TMailScanner::RequireRecorder() const {
  // A change nobody recorded could not be undone: the store stays as it is.
  if (!fRecorder) throw EMailStoreError("no action journal: the change could not be undone");
}

void TMailScanner::DeleteItem(std::int32_t Index) {
  TMailItem& it = Item(Index);
  if (it.IsDeleted()) return;
  RequireRecorder();
  auto* folder = static_cast<TMailFolder*>(it.Folder());
  if (!folder) throw EMailStoreError("the message has no folder");
  MoveMessage(it, TrashFor(*folder), true, KeptOf(it));
  TScannerBase::DeleteItem(it);
}

void TMailScanner::ReportMoveProgress(std::size_t Position, std::size_t Count, std::int32_t& Last) {
  if (!fOnMoveProgress || Count == 0) return;
  const auto p = static_cast<std::int32_t>((Position + 1) * 100 / Count);
  if (p == Last) return;
  Last = p;
  fOnMoveProgress(this, p);
}

std::int32_t TMailScanner::DeleteSelected() {
  std::int32_t done = 0, last = -1;
  const std::size_t n = static_cast<std::size_t>(Items().Count());
  for (std::size_t i = 0; i < n; ++i) {
    if (Item(static_cast<std::int32_t>(i)).IsChecked()) {
      DeleteItem(static_cast<std::int32_t>(i));
      ++done;
    }
    ReportMoveProgress(i, n, last);
  }
  return done;
}

std::int32_t TMailScanner::MoveSelected(const TOlFolder& Destination) {
  TMailFolder* dest = FolderOf(Destination);
  if (!dest) throw EMailStoreError("no such folder in the store: " + Destination.FolderPath);
  RequireRecorder();
  std::int32_t moved = 0, last = -1;
  const std::size_t n = static_cast<std::size_t>(Items().Count());
  for (std::size_t i = 0; i < n; ++i) {
    TMailItem& it = Item(static_cast<std::int32_t>(i));
    if (it.IsChecked() && !it.IsDeleted() && it.Folder() && !SamePathNoCase(it.Folder()->FolderPath(), dest->FolderPath())) {
      MoveMessage(it, *dest, false, nullptr);
      TScannerBase::MoveItem(it, dest);
      ++moved;
    }
    ReportMoveProgress(i, n, last);
  }
  return moved;
}

bool TMailScanner::MoveItemTo(std::int32_t Index, const TOlFolder& Destination) {
  TMailItem& it = Item(Index);
  TMailFolder* dest = FolderOf(Destination);
  if (!dest || !dest->IsCanStoreItem()) throw EMailStoreError("no such folder in the store: " + Destination.FolderPath);
  if (it.IsDeleted() || !it.Folder() || SamePathNoCase(it.Folder()->FolderPath(), dest->FolderPath())) return false;
  RequireRecorder();
  MoveMessage(it, *dest, false, nullptr);
  TScannerBase::MoveItem(it, dest);
  return true;
}

void TMailScanner::ItemRestored(std::int32_t Index) {
  TMailItem& it = Item(Index);
  it.SetIsDeleted(false);
  it.SetFolder(it.ScannedFolder);
  it.Sub = it.ScannedSub;
  it.FileName = it.ScannedName;
}

void TMailScanner::DisplayItem(std::int32_t Index) { platform::OpenDocument(ItemLocation(Item(Index))); }

void TMailScanner::DisplayFolder(std::int32_t Index) {
  if (const TFolderBase* f = Item(Index).Folder()) platform::OpenFolderInExplorer(f->Id());
}

void TMailScanner::DisplayDeletedItemsFolder() {
  for (int i = 0; i < RootFolder().ChildCount(); ++i) {
    auto* top = static_cast<TMailFolder*>(RootFolder().GetChild(i));
    platform::OpenFolderInExplorer(TrashFor(*top).Id());
    return;
  }
}

}  // namespace pelcrow
