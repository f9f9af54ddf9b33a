#include "plugins/ContactsScanner.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <numeric>
#include <unordered_map>

#include "base/PathText.h"
#include "localization/TranslateText.h"
#include "platform/FileSystem.h"
#include "platform/FileTransfer.h"
#include "platform/Shell.h"
#include "platform/SpecialFolders.h"
#include "plugins/MaildirScanner.h"
#include "plugins/VCard.h"

namespace pelcrow {

namespace {

// A tree deeper than this is no address book a program made.
constexpr int kMaxFolderDepth = 4;
// A card file larger than this holds pictures, not contacts worth comparing: read no further.
constexpr std::size_t kMaxCardFileBytes = 64u << 20;

std::string FoldAscii(std::string_view s, bool upper) {
  std::string r(s);
  for (char& c : r) {
    if (upper && c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    if (!upper && c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return r;
}

bool IsDir(const std::string& p) {
  platform::TFileInfo info;
  return platform::LStat(p, info) == 0 && info.Type == platform::TEntryType::etDirectory;
}

bool IsCardName(std::string_view n) {
  return n.size() > 4 && n.front() != '.' && FoldAscii(n.substr(n.size() - 4), false) == ".vcf";
}

std::vector<std::string> Entries(const std::string& dir, bool dirs) {
  std::vector<std::string> names;
  platform::ListDirectory(dir, [&](std::string_view name, platform::TEntryType type) {
    if (name.empty() || name.front() == '.') return;
    const bool isDir = type == platform::TEntryType::etDirectory;
    if (type == platform::TEntryType::etUnknown || isDir == dirs) names.emplace_back(name);
  });
  std::sort(names.begin(), names.end());
  return names;
}

bool HoldsCards(const std::string& dir) {
  for (const std::string& n : Entries(dir, false))
    if (IsCardName(n)) return true;
  return false;
}

TContactFolder* NewFolder(TFolderBase* parent, const std::string& name, const std::string& id, const std::string& root,
                          bool canStore) {
  auto* f = new TContactFolder(parent);
  f->SetName(name);
  f->SetId(id);
  f->StoreRoot = root;
  f->SetIsCanStoreItem(canStore);
  f->SetIcon("x-office-address-book");
  return f;
}

void AddChildren(TContactFolder* node, const std::string& dir, const std::string& root, int depth) {
  if (depth > kMaxFolderDepth) return;
  for (const std::string& name : Entries(dir, true)) {
    const std::string path = JoinPath(dir, name);
    if (!IsDir(path)) continue;
    TContactFolder* child = NewFolder(node, name, path, root, HoldsCards(path));
    AddChildren(child, path, root, depth + 1);
    if (!child->IsCanStoreItem() && child->ChildCount() == 0) node->DeleteChild(child);
  }
}

bool ReadWhole(const std::string& path, std::string& out) {
  platform::TReadOnlyFile f;
  if (f.Open(path, true) != 0) return false;
  out.clear();
  char buf[65536];
  while (out.size() < kMaxCardFileBytes) {
    const std::int64_t n = f.Read(buf, sizeof buf);
    if (n < 0) return false;
    if (n == 0) break;
    out.append(buf, static_cast<std::size_t>(n));
  }
  return true;
}

// The contacts of one card file, handed to Add (false: the scan was stopped).
bool ReadCardFile(TContactFolder& folder, const std::string& dir, const std::string& name,
                  const std::function<bool(std::unique_ptr<TContactItem>)>& Add) {
  const std::string file = JoinPath(dir, name);
  platform::TFileInfo info, dirInfo;
  std::string bytes;
  if (platform::LStat(file, info) != 0 || info.Type != platform::TEntryType::etFile || platform::LStat(dir, dirInfo) != 0 ||
      !ReadWhole(file, bytes))
    return true;
  const std::vector<TVCard> cards = ParseVCards(bytes);
  for (std::size_t k = 0; k < cards.size(); ++k) {
    const TVCard& c = cards[k];
    auto item = std::make_unique<TContactItem>();
    item->SetItemId(file + "#" + std::to_string(k));
    item->FullName = c.FullName;
    item->Emails = c.Emails;
    item->Uid = c.Uid;
    item->FileName = name;
    item->SharedFile = cards.size() > 1 || folder.SingleFile;
    item->SetSize(static_cast<std::int64_t>(c.End - c.Begin));
    item->SetDate(c.Rev.IsZero() ? info.Modified : c.Rev);
    item->DirId = {dirInfo.Device, dirInfo.Inode};
    item->FileId = {info.Device, info.Inode, info.Size, info.Modified.UnixNanoseconds(), info.Changed.UnixNanoseconds(),
                    false};
    item->ScannedFolder = &folder;
    item->ScannedName = name;
    item->ScannedEmails = item->Emails;
    item->ScannedFileId = item->FileId;
    item->SetFolder(&folder);
    if (!Add(std::move(item))) return false;
  }
  return true;
}

class TContactScanThread final : public TScanThreadBase {
 public:
  explicit TContactScanThread(TContactsScanner& Scanner) : TScanThreadBase(Scanner), fScanner(Scanner) {
    fOptions = static_cast<const TContactScanOptions&>(ScanOptions()).Options;
  }

 protected:
  void ScanFolder(TFolderBase& AFolder) override {
    auto& folder = static_cast<TContactFolder&>(AFolder);
    if (!folder.IsCanStoreItem()) return;
    const std::string path = folder.FolderPath();
    std::string dir = folder.Id();
    std::vector<std::string> names;
    if (folder.SingleFile) {
      names.push_back(BaseOf(dir));
      dir = ParentOf(dir);
    } else {
      for (const std::string& n : Entries(dir, false))
        if (IsCardName(n)) names.push_back(n);
    }
    const auto count = static_cast<std::int32_t>(names.size());
    auto last = std::chrono::steady_clock::now();
    for (std::int32_t k = 0; k < count; ++k) {
      const bool go = ReadCardFile(folder, dir, names[static_cast<std::size_t>(k)], [&](std::unique_ptr<TContactItem> it) {
        std::unique_ptr<TItemBase> base = std::move(it);
        Items().AddIfUnique(base);
        return !Terminated();
      });
      if (!go) return;
      const auto now = std::chrono::steady_clock::now();
      if (k != count - 1 && now - last < std::chrono::milliseconds(50)) continue;
      last = now;
      TContactsScanner* s = &fScanner;
      PostToMain([s, path, k, count] {
        if (s->OnFolderProgress) s->OnFolderProgress(s, path, k, count);
      });
    }
  }

  void PrepareGroups() override {
    std::vector<const TContactItem*> contacts;
    for (int i = 0; i < Items().Count(); ++i) contacts.push_back(static_cast<const TContactItem*>(Items()[i]));
    const std::vector<std::int64_t> keys = ContactGroupKeys(contacts, fOptions);
    for (int i = 0; i < Items().Count(); ++i)
      static_cast<TContactItem*>(Items()[i])->GroupKey = keys[static_cast<std::size_t>(i)];
  }

  int CompareItems(const TItemBase& A, const TItemBase& B) const override {
    const std::int64_t a = static_cast<const TContactItem&>(A).GroupKey, b = static_cast<const TContactItem&>(B).GroupKey;
    return a < b ? -1 : (b < a ? 1 : 0);
  }

 private:
  TContactsScanner& fScanner;
  TOlContactScanOptions fOptions;
};

void CaptionNodes(TFolderBase& f, int parent, TPluginFolderTree& tree, std::vector<TOlFolder>& folders) {
  for (int i = 0; i < f.ChildCount(); ++i) {
    auto* c = static_cast<TContactFolder*>(f.GetChild(i));
    folders.push_back({c->Id(), c->StoreRoot, c->FolderPath(), c->IsCanStoreItem()});
    tree.push_back({"     " + c->Name(), parent, static_cast<int>(folders.size()) - 1});
    CaptionNodes(*c, static_cast<int>(tree.size()) - 1, tree, folders);
  }
}

std::string Unquoted(std::string_view v) {
  while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
  while (!v.empty() && (v.back() == ' ' || v.back() == '\t' || v.back() == '\r')) v.remove_suffix(1);
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) v = v.substr(1, v.size() - 2);
  return std::string(v);
}

// Each "key = value" line of the text with the section it is in and its depth ("[[x]]" is 2).
template <typename Fn>
void WalkIni(std::string_view text, Fn fn) {
  std::string section;
  int depth = 0;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t nl = text.find('\n', pos);
    if (nl == std::string_view::npos) nl = text.size();
    std::string_view line = text.substr(pos, nl - pos);
    pos = nl + 1;
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    if (line.empty() || line.front() == '#' || line.front() == ';') continue;
    if (line.front() == '[') {
      int d = 0;
      while (d < static_cast<int>(line.size()) && line[static_cast<std::size_t>(d)] == '[') ++d;
      const std::size_t close = line.find(']');
      section = Unquoted(line.substr(static_cast<std::size_t>(d), close == std::string_view::npos ? std::string_view::npos : close - static_cast<std::size_t>(d)));
      depth = d;
      continue;
    }
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    fn(section, depth, Unquoted(line.substr(0, eq)), Unquoted(line.substr(eq + 1)));
  }
}

std::string ConfigText(const char* envVar, std::initializer_list<const char*> homePaths) {
  std::vector<std::string> candidates;
  if (const char* v = std::getenv(envVar); v && *v) candidates.emplace_back(v);
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  const std::string home = TPcwSpecialFolders::GetHomeDirectory();
  for (const char* p : homePaths) {
    const std::string_view s(p);
    if (s.starts_with(".config/") && xdg && *xdg) candidates.push_back(JoinPath(xdg, s.substr(8)));
    candidates.push_back(JoinPath(home, s));
  }
  std::string text;
  for (const std::string& c : candidates)
    if (ReadWhole(c, text)) return text;
  return {};
}

}  // namespace

// ------------------------------------------------------------------ grouping and paths

void TContactScanOptions::Assign(const TScanOptionsBase& ASource) {
  TScanOptionsBase::Assign(ASource);
  if (const auto* m = dynamic_cast<const TContactScanOptions*>(&ASource)) Options = m->Options;
}

std::vector<std::int64_t> ContactGroupKeys(const std::vector<const TContactItem*>& Contacts,
                                           TOlContactScanOptions Options) {
  const bool byName = Options.Contains(TOlContactScanOption::ocFullName);
  const bool byEmail = Options.Contains(TOlContactScanOption::ocEmail);
  std::vector<std::size_t> parent(Contacts.size());
  std::iota(parent.begin(), parent.end(), std::size_t{0});
  auto find = [&](std::size_t i) {
    while (parent[i] != i) i = parent[i] = parent[parent[i]];
    return i;
  };
  std::unordered_map<std::string, std::size_t> first;
  auto join = [&](const std::string& key, std::size_t i) {
    const auto [at, fresh] = first.emplace(key, i);
    if (!fresh) parent[find(i)] = find(at->second);
  };
  for (std::size_t i = 0; i < Contacts.size(); ++i) {
    const TContactItem& c = *Contacts[i];
    const std::string name = byName ? FoldAscii(c.FullName, true) : std::string();
    if (!byEmail) {
      join(name, i);
    } else if (c.Emails.empty()) {
      join(std::string(1, '\1') + name, i);
    } else {
      for (const std::string& a : c.Emails) join(name + '\0' + FoldAscii(a, false), i);
    }
  }
  std::vector<std::int64_t> keys(Contacts.size());
  for (std::size_t i = 0; i < Contacts.size(); ++i) keys[i] = static_cast<std::int64_t>(find(i));
  return keys;
}

std::vector<std::string> KhardAddressBooks(std::string_view Config) {
  // Only the subsections of [addressbooks] name address books.
  std::vector<std::string> books;
  bool inBooks = false;
  std::size_t pos = 0;
  while (pos < Config.size()) {
    std::size_t nl = Config.find('\n', pos);
    if (nl == std::string_view::npos) nl = Config.size();
    std::string_view line = Config.substr(pos, nl - pos);
    pos = nl + 1;
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    if (line.starts_with("[[")) continue;
    if (line.starts_with("[")) {
      inBooks = line.starts_with("[addressbooks]");
      continue;
    }
    const std::size_t eq = line.find('=');
    if (inBooks && eq != std::string_view::npos && Unquoted(line.substr(0, eq)) == "path")
      books.push_back(Unquoted(line.substr(eq + 1)));
  }
  return books;
}

std::vector<std::string> VdirsyncerAddressBooks(std::string_view Config) {
  struct TStorage {
    std::string Type, Path, FileExt;
  };
  std::vector<std::pair<std::string, TStorage>> storages;
  WalkIni(Config, [&](const std::string& section, int, const std::string& key, const std::string& value) {
    if (!section.starts_with("storage ")) return;
    if (storages.empty() || storages.back().first != section) storages.push_back({section, {}});
    TStorage& s = storages.back().second;
    if (key == "type") s.Type = value;
    else if (key == "path") s.Path = value;
    else if (key == "fileext") s.FileExt = value;
  });
  std::vector<std::string> out;
  for (const auto& [name, s] : storages)
    if (s.Type == "filesystem" && FoldAscii(s.FileExt, false) == ".vcf" && !s.Path.empty()) out.push_back(s.Path);
  return out;
}

std::vector<std::string> ExpandAddressBookPaths(const std::string& Text) {
  std::vector<std::string> out;
  auto add = [&](const std::string& path) {
    for (std::string& p : ExpandStorePaths(path))
      if (std::find(out.begin(), out.end(), p) == out.end()) out.push_back(std::move(p));
  };
  std::size_t start = 0;
  while (start <= Text.size()) {
    std::size_t end = Text.find(';', start);
    if (end == std::string::npos) end = Text.size();
    const std::string part = Unquoted(std::string_view(Text).substr(start, end - start));
    start = end + 1;
    if (part == "khard") {
      for (const std::string& p : KhardAddressBooks(ConfigText("KHARD_CONFIG", {".config/khard/khard.conf"}))) add(p);
    } else if (part == "vdirsyncer") {
      for (const std::string& p :
           VdirsyncerAddressBooks(ConfigText("VDIRSYNCER_CONFIG", {".vdirsyncer/config", ".config/vdirsyncer/config"})))
        add(p);
    } else if (!part.empty()) {
      add(part);
    }
  }
  return out;
}

// ------------------------------------------------------------------ scanner

TContactsScanner::TContactsScanner(std::vector<std::string> StoreRoots) : fStoreRoots(std::move(StoreRoots)) {
  TScannerBase::OnScanComplete = [this] {
    if (IScanEnginePlugin::OnScanComplete) IScanEnginePlugin::OnScanComplete();
  };
}

TContactsScanner::~TContactsScanner() = default;

void TContactsScanner::InitializeSource() {
  fRoots.clear();
  for (const std::string& r : fStoreRoots) {
    platform::TFileInfo info;
    if (platform::Stat(r, info) != 0) continue;
    if (info.Type == platform::TEntryType::etDirectory || (info.Type == platform::TEntryType::etFile && IsCardName(BaseOf(r))))
      fRoots.push_back(r);
  }
  if (fRoots.empty()) throw EContactStoreError("no address book found");
}

void TContactsScanner::PopulateFolders() {
  for (const std::string& root : fRoots) {
    if (!IsDir(root)) {
      NewFolder(&RootFolder(), BaseOf(root), root, root, true)->SingleFile = true;
      continue;
    }
    TContactFolder* top = NewFolder(&RootFolder(), BaseOf(root), root, root, true);
    AddChildren(top, root, root, 0);
    // A folder of address books holds none itself.
    if (top->ChildCount() > 0 && !HoldsCards(root)) top->SetIsCanStoreItem(false);
  }
}

std::unique_ptr<TScanThreadBase> TContactsScanner::CreateScanThread() {
  return std::make_unique<TContactScanThread>(*this);
}

std::unique_ptr<TScanOptionsBase> TContactsScanner::CreateScanOptions() const {
  auto o = std::make_unique<TContactScanOptions>();
  o->SetScanInSubFolders(o->Options.Contains(TOlContactScanOption::ocSubfolders));
  return o;
}

void TContactsScanner::SetScanOptionBits(std::uint8_t Bits) {
  auto& o = static_cast<TContactScanOptions&>(ScanOptions());
  o.Options = TOlContactScanOptions::FromBits(Bits);
  o.SetScanInSubFolders(o.Options.Contains(TOlContactScanOption::ocSubfolders));
}

std::uint8_t TContactsScanner::ScanOptionBits() const {
  return static_cast<const TContactScanOptions&>(ScanOptions()).Options.ToBits();
}

TContactItem& TContactsScanner::Item(std::int32_t Index) const {
  if (Index < 0 || Index >= Items().Count())
    throw EContactStoreError("List index out of bounds (" + std::to_string(Index) + ")");
  return static_cast<TContactItem&>(*Items()[Index]);
}

void TContactsScanner::PopulateFolderTree(TPluginFolderTree& TreeView, std::vector<TOlFolder>& Folders) {
  TreeView.clear();
  Folders.clear();
  CaptionNodes(RootFolder(), -1, TreeView, Folders);
}

TContactFolder* TContactsScanner::FolderOf(const TOlFolder& Folder) {
  TFolderBase* f = Folder.EntryID.empty() ? nullptr : FindFolderById(RootFolder(), Folder.EntryID);
  if (!f) f = FindFolderByPath(RootFolder(), Folder.FolderPath);
  return static_cast<TContactFolder*>(f);
}

std::int32_t TContactsScanner::AddScanFolder(const TOlFolder& Folder) {
  TContactFolder* f = FolderOf(Folder);
  if (!f) return -1;
  ScanFolders().Add(f);
  for (int i = 0; i < ScanFolders().Count(); ++i)
    if (ScanFolders()[i] == f) return i;
  return -1;
}

std::int32_t TContactsScanner::AddExcludeFolder(const TOlFolder& Folder) {
  TContactFolder* f = FolderOf(Folder);
  if (!f) return -1;
  ExcludeFolders().Add(f);
  for (int i = 0; i < ExcludeFolders().Count(); ++i)
    if (ExcludeFolders()[i] == f) return i;
  return -1;
}

void TContactsScanner::SetEmailChecked(std::int32_t ItemIndex, std::int32_t EmailIndex, bool AValue) {
  if (EmailIndex < 1 || EmailIndex > 3) return;
  Item(ItemIndex).EmailChecked[EmailIndex - 1] = AValue;
}

bool TContactsScanner::GetEmailChecked(std::int32_t ItemIndex, std::int32_t EmailIndex) const {
  if (EmailIndex < 1 || EmailIndex > 3) return false;
  return Item(ItemIndex).EmailChecked[EmailIndex - 1];
}

void TContactsScanner::ExportItem(std::int32_t ItemIndex, TExportData& ItemData) const {
  const TContactItem& it = Item(ItemIndex);
  ItemData = {};
  ItemData.DupGroup = it.DuplicateGroup();
  ItemData.Path = it.Folder() ? it.Folder()->FolderPath() : std::string();
  ItemData.Size = it.Size();
  ItemData.DateTime = it.Date();
  ItemData.Name = it.FullName;
  std::string* slots[] = {&ItemData.Address1, &ItemData.Address2, &ItemData.Address3};
  for (std::size_t k = 0; k < 3 && k < it.Emails.size(); ++k) *slots[k] = it.Emails[k];
}

void TContactsScanner::Clear() {
  Items().Clear();
  fSummaryInfo = {};
}

void TContactsScanner::RemoveItem(std::int32_t Index) {
  Item(Index);
  Items().Delete(Index);
  const std::int32_t total = fSummaryInfo.TotalItemsCount;
  RegroupItems(Items().List(), fSummaryInfo);
  Items().ReindexIds();
  fSummaryInfo.TotalItemsCount = total;
}

std::string TContactsScanner::ItemLocation(const TContactItem& AItem) const {
  if (!AItem.Folder()) return {};
  const auto* f = static_cast<const TContactFolder*>(AItem.Folder());
  return f->SingleFile ? f->Id() : JoinPath(f->Id(), AItem.FileName);
}

std::string TContactsScanner::TrashFolderOf(const TContactItem& AItem) const {
  const std::string file = ItemLocation(AItem);
  return file.empty() ? std::string() : JoinPath(ParentOf(file), kContactTrashName);
}

void TContactsScanner::RequireWritable(const TContactItem& AItem) const {
  if (AItem.SharedFile)
    throw EContactStoreError(
        TranslateText("an address book file of several contacts is only read in this version: nothing was changed"));
  // A change nobody recorded could not be undone: the address book stays as it is.
  if (!fRecorder) throw EContactStoreError("no action journal: the change could not be undone");
  if (!AItem.Folder()) throw EContactStoreError("the contact has no address book");
}

const TContactItem* TContactsScanner::KeptOf(const TContactItem& AItem) const {
  for (int i = 0; i < Items().Count(); ++i) {
    const TContactItem& it = Item(i);
    if (&it != &AItem && it.DuplicateGroup() == AItem.DuplicateGroup() && !it.IsChecked() && !it.IsDeleted())
      return &it;
  }
  return nullptr;
}

namespace {

std::string SafeFailureText(const platform::TSafeResult& r) {
  switch (r.Failure) {
    case platform::TSafeFailure::sfGone: return TranslateText("the contact is gone from its address book");
    case platform::TSafeFailure::sfKeptGone: return TranslateText("the contact that stays is gone");
    case platform::TSafeFailure::sfKeptChanged: return TranslateText("the contact that stays has changed");
    case platform::TSafeFailure::sfSystem:
      return r.Detail.empty() ? platform::ErrorText(r.Error) : r.Detail + ": " + platform::ErrorText(r.Error);
    default: return TranslateText("the contact has changed since the scan");
  }
}

// The trash folder, opened (made when missing), and a name in it that nothing holds yet.
std::string OpenTrash(const std::string& trashDir, const std::string& name, platform::TCheckedFolder& trash) {
  if (const int err = platform::CreateFolders(trashDir))
    throw EContactStoreError("cannot create the trash folder " + trashDir + ": " + platform::ErrorText(err));
  if (const int err = trash.Open(trashDir))
    throw EContactStoreError("cannot open " + trashDir + ": " + platform::ErrorText(err));
  const std::size_t dot = name.rfind('.');
  const std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
  const std::string ext = dot == std::string::npos ? std::string() : name.substr(dot);
  for (int n = 0; n < 10000; ++n) {
    const std::string candidate = n == 0 ? name : stem + "(" + std::to_string(n) + ")" + ext;
    platform::TEntryStat st;
    if (platform::StatEntry(trash.Fd(), candidate, st) == ENOENT) return candidate;
  }
  throw EContactStoreError("no free name in " + trashDir);
}

}  // namespace

void TContactsScanner::DeleteItem(std::int32_t Index) {
  TContactItem& it = Item(Index);
  if (it.IsDeleted()) return;
  RequireWritable(it);
  const std::string dir = it.Folder()->Id();
  const platform::TScannedFile item{dir, it.FileName, it.DirId, it.FileId};
  std::unique_ptr<platform::TScannedFile> kept;
  if (const TContactItem* k = KeptOf(it); k && k->Folder() && !k->SharedFile)
    kept = std::make_unique<platform::TScannedFile>(
        platform::TScannedFile{k->Folder()->Id(), k->FileName, k->DirId, k->FileId});
  platform::TSafeFileAction action;
  if (const platform::TSafeResult r = action.Prepare(item, kept.get(), false); !r.Ok())
    throw EContactStoreError(SafeFailureText(r));
  platform::TCheckedFolder trash;
  const std::string trashDir = TrashFolderOf(it);
  const std::string name = OpenTrash(trashDir, action.Name(), trash);
  TStoreMove move;
  move.Folder = dir;
  move.Name = action.Name();
  move.FolderId = it.DirId;
  move.Source = action.ItemStat();
  move.Target = JoinPath(trashDir, name);
  move.DeleteAction = true;
  if (const int err = fRecorder->Planned(move))
    throw EContactStoreError("cannot write the action journal: " + platform::ErrorText(err));
  platform::TTransferInfo info;
  if (const platform::TSafeResult m = action.MoveTo(trash.Fd(), name, info); !m.Ok()) {
    fRecorder->Failed(move);
    throw EContactStoreError(SafeFailureText(m));
  }
  move.TargetId = {move.Source.Device, info.Inode, move.Source.Size, move.Source.ModifiedNs, 0, false};
  fRecorder->Done(move);
  TScannerBase::DeleteItem(it);
}

std::vector<std::string> TContactsScanner::MergedAddresses(std::int32_t Index) const {
  const TContactItem& t = Item(Index);
  std::vector<std::string> have;
  for (const std::string& a : t.Emails) have.push_back(FoldAscii(a, false));
  std::vector<std::string> added;
  for (int i = 0; i < Items().Count(); ++i) {
    const TContactItem& o = Item(i);
    if (&o == &t || o.IsDeleted() || o.DuplicateGroup() != t.DuplicateGroup()) continue;
    for (std::size_t k = 0; k < 3 && k < o.Emails.size(); ++k) {
      if (!o.EmailChecked[k] || have.size() >= 3) continue;
      const std::string folded = FoldAscii(o.Emails[k], false);
      if (std::find(have.begin(), have.end(), folded) != have.end()) continue;
      have.push_back(folded);
      added.push_back(o.Emails[k]);
    }
  }
  return added;
}

void TContactsScanner::MergeItem(std::int32_t Index) {
  TContactItem& t = Item(Index);
  if (t.IsDeleted()) return;
  const std::vector<std::string> added = MergedAddresses(Index);
  if (added.empty()) return;
  RequireWritable(t);
  const std::string dir = t.Folder()->Id();
  const platform::TScannedFile item{dir, t.FileName, t.DirId, t.FileId};
  platform::TSafeFileAction action;
  if (const platform::TSafeResult r = action.Prepare(item, nullptr, false); !r.Ok())
    throw EContactStoreError(SafeFailureText(r));
  std::string bytes;
  if (const platform::TSafeResult r = action.ReadContent(bytes, kMaxCardFileBytes); !r.Ok())
    throw EContactStoreError(SafeFailureText(r));
  const std::vector<TVCard> cards = ParseVCards(bytes);
  if (cards.size() != 1) throw EContactStoreError(TranslateText("the contact has changed since the scan"));
  const std::string merged = AddVCardEmails(bytes, cards.front(), added, TDateTime::Now());
  platform::TCheckedFolder trash;
  const std::string trashDir = TrashFolderOf(t);
  const std::string backup = OpenTrash(trashDir, action.Name(), trash);
  TStoreRewrite rw;
  rw.Folder = dir;
  rw.Name = action.Name();
  rw.FolderId = t.DirId;
  rw.Source = action.ItemStat();
  rw.Backup = JoinPath(trashDir, backup);
  if (const int err = fRecorder->PlannedRewrite(rw))
    throw EContactStoreError("cannot write the action journal: " + platform::ErrorText(err));
  platform::TEntryStat now;
  if (const platform::TSafeResult r = action.ReplaceContent(merged, trash.Fd(), backup, now); !r.Ok()) {
    fRecorder->FailedRewrite(rw);
    throw EContactStoreError(SafeFailureText(r));
  }
  rw.NewId = {now.Device, now.Inode, now.Size, now.ModifiedNs, now.ChangedNs, false};
  fRecorder->DoneRewrite(rw);
  t.Emails.insert(t.Emails.end(), added.begin(), added.end());
  t.FileId = rw.NewId;
}

std::int32_t TContactsScanner::DeleteSelected() {
  std::int32_t done = 0;
  for (std::int32_t i = 0; i < Items().Count(); ++i) {
    if (!Item(i).IsChecked()) continue;
    DeleteItem(i);
    ++done;
    if (fOnMoveProgress) fOnMoveProgress(this, (i + 1) * 100 / Items().Count());
  }
  return done;
}

void TContactsScanner::ItemRestored(std::int32_t Index) {
  TContactItem& it = Item(Index);
  it.SetIsDeleted(false);
  it.SetFolder(it.ScannedFolder);
  it.FileName = it.ScannedName;
  it.Emails = it.ScannedEmails;
  it.FileId = it.ScannedFileId;
}

void TContactsScanner::DisplayItem(std::int32_t Index) { platform::OpenDocument(ItemLocation(Item(Index))); }

void TContactsScanner::DisplayFolder(std::int32_t Index) {
  if (const TFolderBase* f = Item(Index).Folder()) platform::OpenFolderInExplorer(static_cast<const TContactFolder*>(f)->SingleFile ? ParentOf(f->Id()) : f->Id());
}

void TContactsScanner::DisplayDeletedItemsFolder() {
  if (RootFolder().ChildCount() == 0) return;
  const auto* top = static_cast<TContactFolder*>(RootFolder().GetChild(0));
  platform::OpenFolderInExplorer(JoinPath(top->SingleFile ? ParentOf(top->Id()) : top->Id(), kContactTrashName));
}

}  // namespace pelcrow
