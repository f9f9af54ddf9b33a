#include "plugins/MaildirScanner.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>

#include "base/PathText.h"
#include "base/Utf8.h"
#include "localization/TranslateText.h"
#include "platform/AtomicFile.h"
#include "platform/FileSystem.h"
#include "platform/FileTransfer.h"
#include "platform/SpecialFolders.h"
#include "plugins/MimeMessage.h"

namespace pelcrow {

namespace {

// A tree deeper than this is no mail store a program made.
constexpr int kMaxFolderDepth = 12;
// A message larger than this is read only as far as its headers and first parts go.
constexpr std::size_t kMaxMessageBytes = 64u << 20;

bool IsDir(const std::string& p) {
  platform::TFileInfo info;
  return platform::LStat(p, info) == 0 && info.Type == platform::TEntryType::etDirectory;
}

bool IsTrashName(std::string_view n) {
  static const char* const kNames[] = {"trash", "deleted items", "deleted messages", "deleted"};
  std::string l(n);
  for (char& c : l)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return std::any_of(std::begin(kNames), std::end(kNames), [&](const char* k) { return l == k; });
}

bool LessNoCase(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
  });
}

std::vector<std::string> SubDirs(const std::string& dir) {
  std::vector<std::string> names;
  platform::ListDirectory(dir, [&](std::string_view name, platform::TEntryType type) {
    if (type == platform::TEntryType::etDirectory || type == platform::TEntryType::etUnknown) names.emplace_back(name);
  });
  std::sort(names.begin(), names.end(), LessNoCase);
  return names;
}

TMailFolder* NewFolder(TFolderBase* parent, const std::string& name, const std::string& dir, const std::string& root) {
  auto* f = new TMailFolder(parent);
  f->SetName(name);
  f->SetId(dir);
  f->StoreRoot = root;
  f->SetIsCanStoreItem(!dir.empty() && IsMaildirFolder(dir));
  f->IsTrash = IsTrashName(name);
  if (f->IsTrash) f->SetIcon("user-trash");
  return f;
}

TMailFolder* ChildNamed(TFolderBase* parent, const std::string& name) {
  for (int i = 0; i < parent->ChildCount(); ++i)
    if (parent->GetChild(i)->Name() == name) return static_cast<TMailFolder*>(parent->GetChild(i));
  return nullptr;
}

// Plain nested Maildirs (and KMail's ".name.directory" children) below dir.
void AddNested(TMailFolder* node, const std::string& dir, const std::string& root, int depth) {
  if (depth > kMaxFolderDepth) return;
  for (const std::string& name : SubDirs(dir)) {
    if (name == "cur" || name == "new" || name == "tmp" || name.front() == '.') continue;
    const std::string path = JoinPath(dir, name);
    if (!IsDir(path)) continue;
    TMailFolder* child = NewFolder(node, DecodeModifiedUtf7(name), path, root);
    AddNested(child, path, root, depth + 1);
    const std::string kmail = JoinPath(dir, "." + name + ".directory");
    if (IsDir(kmail)) AddNested(child, kmail, root, depth + 1);
    // A folder that neither holds mail nor leads to any is no folder of the store.
    if (!child->IsCanStoreItem() && child->ChildCount() == 0) node->DeleteChild(child);
  }
}

// Maildir++ folders ".A.B" of a root that is itself a Maildir.
void AddMaildirPlusPlus(TMailFolder* top, const std::string& root) {
  for (const std::string& name : SubDirs(root)) {
    if (name.size() < 2 || name[0] != '.' || name.ends_with(".directory")) continue;
    const std::string path = JoinPath(root, name);
    if (!IsMaildirFolder(path)) continue;
    TMailFolder* at = top;
    std::size_t start = 1;
    while (start <= name.size()) {
      std::size_t dot = name.find('.', start);
      if (dot == std::string::npos) dot = name.size();
      const std::string part = DecodeModifiedUtf7(std::string_view(name).substr(start, dot - start));
      const bool last = dot == name.size();
      TMailFolder* next = ChildNamed(at, part);
      if (!next) next = NewFolder(at, part, last ? path : std::string(), root);
      if (last && next->Id().empty()) {
        next->SetId(path);
        next->SetIsCanStoreItem(true);
      }
      at = next;
      start = dot + 1;
    }
  }
}

// The Maildir time of a file name ("1700000000.M1P2Q3.host"), else the file's time.
TDateTime FileNameTime(const std::string& name, TDateTime modified) {
  std::int64_t t = 0;
  std::size_t i = 0;
  while (i < name.size() && i < 12 && name[i] >= '0' && name[i] <= '9') t = t * 10 + (name[i++] - '0');
  if (i > 0 && i < name.size() && name[i] == '.' && t > 0 && TDateTime::FitsUnixSeconds(t)) return TDateTime::FromUnix(t);
  return modified;
}

std::int32_t LocalDay(TDateTime t) {
  const TDateTimeParts p = t.ToLocal();
  return p.Year * 400 + p.Month * 32 + p.Day;
}

bool ReadWhole(const std::string& path, std::int64_t size, std::string& out) {
  platform::TReadOnlyFile f;
  if (f.Open(path, true) != 0) return false;
  const std::size_t n = static_cast<std::size_t>(std::min<std::int64_t>(size, kMaxMessageBytes));
  out.resize(n);
  const std::int64_t got = f.Read(out.data(), n);
  if (got < 0) return false;
  out.resize(static_cast<std::size_t>(got));
  return true;
}

std::string UniquePart(const std::string& name) { return name.substr(0, name.find(':')); }

}  // namespace

std::vector<std::string> ExpandStorePaths(const std::string& Text) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start <= Text.size()) {
    std::size_t end = Text.find(';', start);
    if (end == std::string::npos) end = Text.size();
    std::string p(Text.substr(start, end - start));
    start = end + 1;
    while (!p.empty() && (p.back() == ' ' || p.back() == '/') && p.size() > 1) p.pop_back();
    while (!p.empty() && p.front() == ' ') p.erase(0, 1);
    if (p.empty()) continue;
    if (p == "~" || p.starts_with("~/")) p = TPcwSpecialFolders::GetHomeDirectory() + p.substr(1);
    if (p.front() == '$') {
      const std::size_t slash = p.find('/');
      const std::string var = p.substr(1, slash == std::string::npos ? std::string::npos : slash - 1);
      const char* v = std::getenv(var.c_str());
      if (!v || !*v) continue;
      p = std::string(v) + (slash == std::string::npos ? std::string() : p.substr(slash));
    }
    if (std::find(out.begin(), out.end(), p) == out.end()) out.push_back(p);
    if (start > Text.size()) break;
  }
  return out;
}

std::string DecodeModifiedUtf7(std::string_view Name) {
  std::string out;
  for (std::size_t i = 0; i < Name.size(); ++i) {
    if (Name[i] != '&') {
      out += Name[i];
      continue;
    }
    const std::size_t end = Name.find('-', i + 1);
    if (end == std::string_view::npos) {
      out.append(Name.substr(i));
      break;
    }
    if (end == i + 1) {
      out += '&';
    } else {
      std::string b64(Name.substr(i + 1, end - i - 1));
      std::replace(b64.begin(), b64.end(), ',', '/');
      out += DecodeUtf16(DecodeBase64(b64), true);
    }
    i = end;
  }
  return out;
}

bool IsMaildirFolder(const std::string& Dir) { return IsDir(JoinPath(Dir, "cur")) && IsDir(JoinPath(Dir, "new")); }

TMaildirScanner::TMaildirScanner(std::vector<std::string> StoreRoots) : TMailScanner(std::move(StoreRoots)) {}

void TMaildirScanner::InitializeSource() {
  fRoots.clear();
  for (const std::string& r : StoreRoots())
    if (IsDir(r)) fRoots.push_back(r);
  if (fRoots.empty()) throw EMailStoreError("no Maildir store found");
}

void TMaildirScanner::PopulateFolders() {
  for (const std::string& root : fRoots) {
    std::string label = BaseOf(root);
    if (label.size() > 1 && label.front() == '.') label.erase(0, 1);
    TMailFolder* top = NewFolder(&RootFolder(), label, root, root);
    top->IsTrash = false;
    if (top->IsCanStoreItem()) AddMaildirPlusPlus(top, root);
    AddNested(top, root, root, 0);
    if (!top->IsCanStoreItem() && top->ChildCount() == 0) RootFolder().DeleteChild(top);
  }
  if (RootFolder().ChildCount() == 0) throw EMailStoreError("no Maildir folder found in " + fRoots.front());
}

std::string TMaildirScanner::ItemLocation(const TMailItem& AItem) const {
  return AItem.Folder() ? JoinPath(JoinPath(AItem.Folder()->Id(), AItem.Sub), AItem.FileName) : std::string();
}

void TMaildirScanner::ReadFolder(const TMailFolder& Folder, bool WantBody, bool CaseSensitive,
                                 const std::function<bool(std::unique_ptr<TMailItem>)>& Add,
                                 const std::function<void(std::int32_t, std::int32_t)>& Progress) const {
  struct TEntry {
    const char* Sub;
    std::string Name;
  };
  std::vector<TEntry> entries;
  for (const char* sub : {"new", "cur"}) {
    platform::ListDirectory(JoinPath(Folder.Id(), sub), [&](std::string_view name, platform::TEntryType type) {
      if (name.empty() || name.front() == '.') return;
      if (type == platform::TEntryType::etFile || type == platform::TEntryType::etUnknown)
        entries.push_back({sub, std::string(name)});
    });
  }
  const auto count = static_cast<std::int32_t>(entries.size());
  std::string bytes;
  for (std::int32_t k = 0; k < count; ++k) {
    const TEntry& e = entries[static_cast<std::size_t>(k)];
    const std::string subDir = JoinPath(Folder.Id(), e.Sub);
    platform::TFileInfo info, dirInfo;
    const std::string file = JoinPath(subDir, e.Name);
    if (platform::LStat(file, info) == 0 && info.Type == platform::TEntryType::etFile &&
        platform::LStat(subDir, dirInfo) == 0 && ReadWhole(file, info.Size, bytes)) {
      auto item = std::make_unique<TMailItem>();
      TMailFields f;
      ReadMailFields(bytes, WantBody, f);
      item->SetItemId(Folder.Id() + "/" + UniquePart(e.Name));
      item->From = std::move(f.From);
      item->To_ = std::move(f.To);
      item->Subject = std::move(f.Subject);
      item->SetDate(f.HasReceived ? f.Received : FileNameTime(e.Name, info.Modified));
      item->ReceivedDay = LocalDay(item->Date());
      if (WantBody) SetMailBody(*item, f.Body, CaseSensitive);
      item->SetSize(info.Size);
      item->Sub = item->ScannedSub = e.Sub;
      item->FileName = item->ScannedName = e.Name;
      item->SubId = {dirInfo.Device, dirInfo.Inode};
      item->FileId = {info.Device, info.Inode, info.Size, info.Modified.UnixNanoseconds(),
                      info.Changed.UnixNanoseconds(), false};
      if (!Add(std::move(item))) return;
    }
    Progress(k, count);
  }
}

TMailFolder& TMaildirScanner::TrashFor(TMailFolder& Folder) {
  // The nearest trash up the folder's ancestors; the store's top when none exists yet.
  TFolderBase* top = &Folder;
  for (TFolderBase* at = &Folder; at && !at->IsRoot(); at = at->Parent()) {
    for (int i = 0; i < at->ChildCount(); ++i) {
      auto* c = static_cast<TMailFolder*>(at->GetChild(i));
      if (c->IsTrash && c->IsCanStoreItem()) return *c;
    }
    top = at;
  }
  auto* store = static_cast<TMailFolder*>(top);
  // Maildir++ stores keep it as ".Trash" of the root, nested stores as a "Trash" Maildir.
  const std::string dir = JoinPath(store->Id(), store->IsCanStoreItem() ? ".Trash" : "Trash");
  for (const char* sub : {"cur", "new", "tmp"})
    if (const int err = platform::CreateFolders(JoinPath(dir, sub)))
      throw EMailStoreError("cannot create the trash folder " + dir + ": " + platform::ErrorText(err));
  if (store->IsCanStoreItem()) WriteFileAtomically(JoinPath(dir, "maildirfolder"), "");
  TMailFolder* trash = NewFolder(store, "Trash", dir, store->StoreRoot);
  trash->IsTrash = true;
  return *trash;
}

void TMaildirScanner::MoveMessage(TMailItem& AItem, TMailFolder& Destination, bool IsDelete, const TMailItem* Kept) {
  auto* from = static_cast<TMailFolder*>(AItem.Folder());
  platform::TScannedFile item{JoinPath(from->Id(), AItem.Sub), AItem.FileName, AItem.SubId, AItem.FileId};
  // A mail program renames a message when its flags change: the same file under a new name.
  platform::TEntryStat now;
  platform::TCheckedFolder sub;
  if (sub.Open(item.Folder, item.FolderId) == 0 && platform::StatEntry(sub.Fd(), item.Name, now) != 0) {
    const std::string unique = UniquePart(AItem.FileName);
    platform::ListDirectory(item.Folder, [&](std::string_view name, platform::TEntryType) {
      if (UniquePart(std::string(name)) == unique) item.Name = name;
    });
  }
  std::unique_ptr<platform::TScannedFile> kept;
  if (Kept && Kept->Folder())
    kept = std::make_unique<platform::TScannedFile>(platform::TScannedFile{
        JoinPath(Kept->Folder()->Id(), Kept->Sub), Kept->FileName, Kept->SubId, Kept->FileId});
  platform::TSafeFileAction action;
  const platform::TSafeResult r = action.Prepare(item, kept.get(), false);
  if (!r.Ok()) {
    const char* why = r.Failure == platform::TSafeFailure::sfGone          ? "the message is gone from its folder"
                      : r.Failure == platform::TSafeFailure::sfKeptGone    ? "the copy that stays is gone"
                      : r.Failure == platform::TSafeFailure::sfKeptChanged ? "the copy that stays has changed"
                      : r.Failure == platform::TSafeFailure::sfSystem      ? nullptr
                                                                            : "the message has changed since the scan";
    throw EMailStoreError(why ? TranslateText(why) : platform::ErrorText(r.Error));
  }
  const std::string curDir = JoinPath(Destination.Id(), "cur");
  platform::TCheckedFolder dst;
  if (const int err = dst.Open(curDir)) throw EMailStoreError("cannot open " + curDir + ": " + platform::ErrorText(err));
  // A message from new/ has been seen now: in cur/ it carries the info part.
  std::string name = action.Name();
  if (name.find(':') == std::string::npos) name += ":2,";
  TStoreMove move;
  move.Folder = item.Folder;
  move.Name = action.Name();
  move.FolderId = item.FolderId;
  move.Source = action.ItemStat();
  move.Target = JoinPath(curDir, name);
  move.DeleteAction = IsDelete;
  if (const int err = Recorder()->Planned(move))
    throw EMailStoreError("cannot write the action journal: " + platform::ErrorText(err));
  platform::TTransferInfo info;
  const platform::TSafeResult m = action.MoveTo(dst.Fd(), name, info);
  if (!m.Ok()) {
    Recorder()->Failed(move);
    throw EMailStoreError(m.Failure == platform::TSafeFailure::sfSystem ? platform::ErrorText(m.Error)
                                                                         : TranslateText("the message has changed since the scan"));
  }
  move.TargetId = {move.Source.Device, info.Inode, move.Source.Size, move.Source.ModifiedNs, 0, false};
  Recorder()->Done(move);
  AItem.Sub = "cur";
  AItem.FileName = name;
}

}  // namespace pelcrow
