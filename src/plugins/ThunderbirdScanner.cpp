#include "plugins/ThunderbirdScanner.h"

#include <algorithm>

#include "base/PathText.h"
#include "base/Trim.h"
#include "localization/TranslateText.h"
#include "platform/FileSystem.h"
#include "plugins/MaildirScanner.h"
#include "plugins/MboxMove.h"
#include "plugins/MimeMessage.h"

namespace pelcrow {

namespace {

constexpr int kMaxFolderDepth = 12;
// Thunderbird's X-Mozilla-Status bit of a message deleted but not compacted away yet.
constexpr unsigned kMozillaExpunged = 0x0008;

bool IsDir(const std::string& p) {
  platform::TFileInfo info;
  return platform::Stat(p, info) == 0 && info.Type == platform::TEntryType::etDirectory;
}

bool IsFile(const std::string& p) {
  platform::TFileInfo info;
  return platform::Stat(p, info) == 0 && info.Type == platform::TEntryType::etFile;
}

bool ReadFileText(const std::string& path, std::string& out) {
  platform::TReadOnlyFile f;
  if (f.Open(path, true) != 0) return false;
  out.clear();
  char buf[65536];
  for (;;) {
    const std::int64_t n = f.Read(buf, sizeof buf);
    if (n < 0) return false;
    if (n == 0) return true;
    out.append(buf, static_cast<std::size_t>(n));
  }
}

// The mbox files of a folder: no extension of Thunderbird's own (.msf, .dat, .json ...), no dot file.
bool IsMboxName(const std::string& name) {
  if (name.empty() || name.front() == '.') return false;
  for (const char* ext : {".msf", ".sbd", ".dat", ".json", ".html", ".sqlite", ".lock", ".tmp"})
    if (name.ends_with(ext)) return false;
  return true;
}

void AddFolders(TFolderBase* node, const std::string& dir, const std::string& root, int depth) {
  if (depth > kMaxFolderDepth) return;
  std::vector<std::string> names;
  platform::ListDirectory(dir, [&](std::string_view n, platform::TEntryType) { names.emplace_back(n); });
  std::sort(names.begin(), names.end());
  auto make = [&](const std::string& name) {
    auto* f = new TMailFolder(node);
    f->SetName(name);
    f->StoreRoot = root;
    f->IsTrash = name == "Trash";
    if (f->IsTrash) f->SetIcon("user-trash");
    return f;
  };
  for (const std::string& name : names) {
    const std::string path = JoinPath(dir, name);
    if (!IsMboxName(name) || !IsFile(path)) continue;
    TMailFolder* f = make(name);
    f->SetId(path);
    if (IsDir(path + ".sbd")) AddFolders(f, path + ".sbd", root, depth + 1);
  }
  // Subfolders whose parent has no mbox of its own.
  for (const std::string& name : names) {
    if (!name.ends_with(".sbd")) continue;
    const std::string base = name.substr(0, name.size() - 4);
    if (std::find(names.begin(), names.end(), base) != names.end() || !IsDir(JoinPath(dir, name))) continue;
    TMailFolder* f = make(base);
    f->SetIsCanStoreItem(false);
    AddFolders(f, JoinPath(dir, name), root, depth + 1);
  }
}

// "From addr Tue Jul  1 10:52:37 2003": the asctime date at its end.
bool FromLineDate(std::string_view line, TDateTime& out) {
  std::vector<std::string_view> tok;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && line[i] == ' ') ++i;
    const std::size_t s = i;
    while (i < line.size() && line[i] != ' ') ++i;
    if (i > s) tok.push_back(line.substr(s, i - s));
  }
  if (tok.size() < 7) return false;
  const std::size_t n = tok.size();
  // Day Mon DD HH:MM:SS YYYY -> "DD Mon YYYY HH:MM:SS +0000"
  const std::string text = std::string(tok[n - 3]) + " " + std::string(tok[n - 4]) + " " + std::string(tok[n - 1]) +
                           " " + std::string(tok[n - 2]) + " +0000";
  return ParseMailDate(text, out);
}

unsigned MozillaStatus(const std::vector<TMailHeaderField>& fields) {
  const std::string* v = FindMailHeader(fields, "X-Mozilla-Status");
  if (!v) return 0;
  unsigned s = 0;
  for (char c : TrimBlanks(*v)) {
    const int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    if (d < 0) break;
    s = s * 16 + static_cast<unsigned>(d);
  }
  return s;
}

std::int32_t LocalDay(TDateTime t) {
  const TDateTimeParts p = t.ToLocal();
  return p.Year * 400 + p.Month * 32 + p.Day;
}

}  // namespace

std::vector<std::string> ThunderbirdStores(const std::vector<std::string>& Roots) {
  std::vector<std::string> stores;
  auto add = [&](const std::string& s) {
    if (IsDir(s) && std::find(stores.begin(), stores.end(), s) == stores.end()) stores.push_back(s);
  };
  for (const std::string& root : Roots) {
    std::string ini;
    if (!ReadFileText(JoinPath(root, "profiles.ini"), ini)) {
      // A profile folder, or a folder of mbox files given by hand.
      if (IsDir(JoinPath(root, "Mail/Local Folders"))) add(JoinPath(root, "Mail/Local Folders"));
      else add(root);
      continue;
    }
    std::string path;
    bool relative = true, inProfile = false;
    auto flush = [&] {
      if (inProfile && !path.empty()) add(JoinPath(relative ? JoinPath(root, path) : path, "Mail/Local Folders"));
      path.clear();
      relative = true;
    };
    std::size_t pos = 0;
    while (pos < ini.size()) {
      std::size_t end = ini.find('\n', pos);
      if (end == std::string::npos) end = ini.size();
      const std::string_view line = TrimBlanks(std::string_view(ini).substr(pos, end - pos));
      pos = end + 1;
      if (!line.empty() && line.front() == '[') {
        flush();
        inProfile = line.starts_with("[Profile");
      } else if (line.starts_with("Path=")) {
        path = line.substr(5);
      } else if (line.starts_with("IsRelative=")) {
        relative = line.substr(11) != "0";
      }
    }
    flush();
  }
  return stores;
}

std::vector<TMboxMessage> SplitMbox(std::string_view Mbox) {
  std::vector<TMboxMessage> out;
  std::size_t pos = 0;
  bool afterBlank = true;
  while (pos < Mbox.size()) {
    std::size_t end = Mbox.find('\n', pos);
    const std::size_t next = end == std::string_view::npos ? Mbox.size() : end + 1;
    std::string_view line = Mbox.substr(pos, next - pos);
    if (afterBlank && line.starts_with("From ")) {
      if (!out.empty()) {
        // The blank line before the From_ line separates, it is no part of the message.
        std::size_t stop = pos;
        if (stop > out.back().Offset && Mbox[stop - 1] == '\n') --stop;
        if (stop > out.back().Offset && Mbox[stop - 1] == '\r') --stop;
        out.back().Length = stop - out.back().Offset;
      }
      out.push_back({pos, next, 0});
      out.back().Length = Mbox.size() - next;
    }
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    afterBlank = line.empty();
    pos = next;
  }
  // A blank line that ends the file ends the last message as the one before a From_ line does
  // (mail programs write one after every message).
  if (!out.empty() && afterBlank && Mbox.size() > out.back().Offset) {
    std::size_t stop = Mbox.size();
    if (stop > out.back().Offset && Mbox[stop - 1] == '\n') --stop;
    if (stop > out.back().Offset && Mbox[stop - 1] == '\r') --stop;
    out.back().Length = stop - out.back().Offset;
  }
  return out;
}

std::string UnquoteMboxMessage(std::string_view Bytes) {
  std::string out;
  out.reserve(Bytes.size());
  std::size_t pos = 0;
  while (pos < Bytes.size()) {
    std::size_t k = pos;
    while (k < Bytes.size() && Bytes[k] == '>') ++k;
    if (k > pos && Bytes.substr(k).starts_with("From ")) ++pos;  // one level of quoting goes
    const std::size_t end = Bytes.find('\n', pos);
    const std::size_t next = end == std::string_view::npos ? Bytes.size() : end + 1;
    out.append(Bytes.substr(pos, next - pos));
    pos = next;
  }
  return out;
}

TThunderbirdScanner::TThunderbirdScanner(std::vector<std::string> ProfileRoots) : TMailScanner(std::move(ProfileRoots)) {}

void TThunderbirdScanner::InitializeSource() {
  fStores = ThunderbirdStores(StoreRoots());
  if (fStores.empty()) throw EMailStoreError("no Thunderbird profile with Local Folders found");
}

void TThunderbirdScanner::PopulateFolders() {
  for (const std::string& store : fStores) {
    auto* top = new TMailFolder(&RootFolder());
    top->SetName(BaseOf(store));
    top->SetId(store);
    top->StoreRoot = store;
    top->SetIsCanStoreItem(false);
    AddFolders(top, store, store, 0);
  }
}

std::string TThunderbirdScanner::ItemLocation(const TMailItem& AItem) const {
  return AItem.Folder() ? AItem.Folder()->Id() : std::string();
}

void TThunderbirdScanner::ReadFolder(const TMailFolder& Folder, bool WantBody, bool CaseSensitive,
                                     const std::function<bool(std::unique_ptr<TMailItem>)>& Add,
                                     const std::function<void(std::int32_t, std::int32_t)>& Progress) const {
  std::string mbox;
  platform::TFileInfo info;
  if (platform::Stat(Folder.Id(), info) != 0 || !ReadFileText(Folder.Id(), mbox)) return;
  const std::vector<TMboxMessage> messages = SplitMbox(mbox);
  const auto count = static_cast<std::int32_t>(messages.size());
  for (std::int32_t k = 0; k < count; ++k) {
    const TMboxMessage& m = messages[static_cast<std::size_t>(k)];
    const std::string bytes = UnquoteMboxMessage(std::string_view(mbox).substr(m.Offset, m.Length));
    std::string_view body;
    const std::vector<TMailHeaderField> fields = ParseMailHeaders(bytes, body);
    if ((MozillaStatus(fields) & kMozillaExpunged) == 0) {
      auto item = std::make_unique<TMailItem>();
      TMailFields f;
      ReadMailFields(bytes, WantBody, f);
      item->SetItemId(Folder.Id() + "#" + std::to_string(m.FromLine));
      item->From = std::move(f.From);
      item->To_ = std::move(f.To);
      item->Subject = std::move(f.Subject);
      TDateTime when = info.Modified;
      if (f.HasReceived) when = f.Received;
      else FromLineDate(std::string_view(mbox).substr(m.FromLine, m.Offset - m.FromLine), when);
      item->SetDate(when);
      item->ReceivedDay = LocalDay(when);
      if (WantBody) SetMailBody(*item, f.Body, CaseSensitive);
      item->SetSize(static_cast<std::int64_t>(m.Length));
      item->Offset = static_cast<std::int64_t>(m.Offset);
      item->Length = static_cast<std::int64_t>(m.Length);
      item->FromLine = static_cast<std::int64_t>(m.FromLine);
      MboxDigest(std::string_view(mbox).substr(m.Offset, m.Length), item->Digest, item->DigestLength);
      item->FileId = {info.Device, info.Inode, info.Size, info.Modified.UnixNanoseconds(), info.Changed.UnixNanoseconds(), false};
      if (!Add(std::move(item))) return;
    }
    Progress(k, count);
  }
}

TMailFolder& TThunderbirdScanner::TrashFor(TMailFolder& Folder) {
  TFolderBase* top = &Folder;
  while (top->Parent() && !top->Parent()->IsRoot()) top = top->Parent();
  for (int i = 0; i < top->ChildCount(); ++i) {
    auto* c = static_cast<TMailFolder*>(top->GetChild(i));
    if (c->IsTrash) return *c;
  }
  // Thunderbird takes an mbox named Trash for its trash: the first delete makes it.
  auto* store = static_cast<TMailFolder*>(top);
  auto* trash = new TMailFolder(store);
  trash->SetName("Trash");
  trash->SetId(JoinPath(store->Id(), "Trash"));
  trash->StoreRoot = store->StoreRoot;
  trash->IsTrash = true;
  trash->SetIcon("user-trash");
  return *trash;
}

namespace {

TMboxMessageRef RefOf(const TMailItem& Item) {
  TMboxMessageRef ref;
  ref.Used = true;
  ref.Digest[0] = Item.Digest[0];
  ref.Digest[1] = Item.Digest[1];
  ref.Length = Item.DigestLength;
  return ref;
}

}  // namespace

void TThunderbirdScanner::CheckKept(const TMailItem& Kept) const {
  std::string mbox;
  if (!Kept.Folder() || !ReadFileText(Kept.Folder()->Id(), mbox))
    throw EMailStoreError(TranslateText("the copy that stays is gone"));
  const std::vector<TMboxMessage> split = SplitMbox(mbox);
  for (const TMboxMessage& m : split) {
    if (static_cast<std::int64_t>(m.FromLine) != Kept.FromLine) continue;
    std::uint64_t d[2];
    std::int64_t len = 0;
    MboxDigest(std::string_view(mbox).substr(m.Offset, m.Length), d, len);
    if (d[0] == Kept.Digest[0] && d[1] == Kept.Digest[1] && len == Kept.DigestLength) return;
    break;
  }
  throw EMailStoreError(TranslateText("the copy that stays has changed"));
}

void TThunderbirdScanner::MoveMessage(TMailItem& AItem, TMailFolder& Destination, bool IsDelete, const TMailItem* Kept) {
  auto* from = static_cast<TMailFolder*>(AItem.Folder());
  if (!from || !Destination.IsCanStoreItem()) throw EMailStoreError(TranslateText("no such folder in the store"));
  if (Kept) CheckKept(*Kept);
  TMboxTransfer t;
  t.Source = from->Id();
  t.Target = Destination.Id();
  t.Ref = RefOf(AItem);
  t.At = AItem.FromLine;
  t.CreateTarget = IsDelete;
  TStoreMove move;
  bool planned = false;
  TMboxTransferHooks hooks;
  hooks.BeforeAppend = [&](const TMboxTransferResult& r) {
    move.Folder = ParentOf(t.Source);
    move.Name = BaseOf(t.Source);
    move.FolderId = r.SourceFolder;
    move.Source = r.SourceBefore;
    move.Target = t.Target;
    move.DeleteAction = IsDelete;
    move.Mbox = r.Ref;
    const int err = Recorder()->Planned(move);
    planned = err == 0;
    return err;
  };
  const TMboxTransferResult r = TransferMboxMessage(t, hooks);
  if (!r.Ok) {
    // A copy in both stays unsettled: the journal finds it and undo removes it.
    if (planned && !r.CopyLeft) Recorder()->Failed(move);
    throw EMailStoreError(r.Why);
  }
  move.TargetId = {r.TargetAfter.Device, r.TargetAfter.Inode, r.TargetAfter.Size, r.TargetAfter.ModifiedNs, 0, false};
  Recorder()->Done(move);
  // The messages behind it in its old file moved up by what was cut.
  const auto cutEnd = static_cast<std::int64_t>(r.CutFrom + r.CutLength);
  for (std::int32_t i = 0; i < GetCount(); ++i) {
    TMailItem& other = Item(i);
    if (&other == &AItem || !other.Folder() || other.Folder()->Id() != t.Source || other.FromLine < cutEnd) continue;
    other.FromLine -= static_cast<std::int64_t>(r.CutLength);
    other.Offset -= static_cast<std::int64_t>(r.CutLength);
  }
  AItem.FromLine = r.NewFromLine;
  AItem.Offset = r.NewOffset;
}

}  // namespace pelcrow
