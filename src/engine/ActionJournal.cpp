#include "engine/ActionJournal.h"

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <unordered_map>

#include "base/PathText.h"
#include "engine/FileItem.h"
#include "platform/FileSystem.h"
#include "platform/FileTransfer.h"
#include "platform/SpecialFolders.h"
#include "platform/Trash.h"
#include "plugins/MboxMove.h"

namespace pelcrow {

namespace {

constexpr const char* kSuffix = ".journal";
constexpr std::size_t kFlushEvery = 256;

// Fields are bytes; the separator, line breaks, control bytes and % itself are %XX.
std::string Escape(std::string_view v) {
  std::string out;
  out.reserve(v.size());
  for (unsigned char c : v) {
    if (c < 0x20 || c == '%' || c == 0x7F) {
      char buf[4];
      std::snprintf(buf, sizeof buf, "%%%02X", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

int Hex(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string Unescape(std::string_view v) {
  std::string out;
  out.reserve(v.size());
  for (std::size_t i = 0; i < v.size(); ++i) {
    if (v[i] == '%' && i + 2 < v.size() && Hex(v[i + 1]) >= 0 && Hex(v[i + 2]) >= 0) {
      out += static_cast<char>(Hex(v[i + 1]) * 16 + Hex(v[i + 2]));
      i += 2;
    } else {
      out += v[i];
    }
  }
  return out;
}

std::vector<std::string_view> Split(std::string_view line) {
  std::vector<std::string_view> f;
  std::size_t start = 0;
  for (;;) {
    const std::size_t tab = line.find('\t', start);
    f.push_back(line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
    if (tab == std::string_view::npos) break;
    start = tab + 1;
  }
  return f;
}

template <typename T>
T Num(std::string_view s) {
  T v{};
  std::from_chars(s.data(), s.data() + s.size(), v);
  return v;
}

class TLine {
 public:
  explicit TLine(char kind) { fText += kind; }
  TLine& Add(std::string_view v) {
    fText += '\t';
    fText += Escape(v);
    return *this;
  }
  template <typename T>
  TLine& Num(T v) {
    fText += '\t';
    fText += std::to_string(v);
    return *this;
  }
  std::string Text() const { return fText + "\n"; }

 private:
  std::string fText;
};

std::string FileOf(const std::string& id) { return TActionJournal::Directory() + "/" + id + kSuffix; }

std::string PlanLine(const TJournalItem& it) {
  const platform::TEntryStat& s = it.Source;
  const platform::TFileIdentity& t = it.TargetId;
  TLine l('P');
  l.Num(it.Seq).Num(static_cast<int>(it.ActionType)).Add(it.Folder).Add(it.Name);
  l.Num(it.FolderId.Device).Num(it.FolderId.Inode);
  l.Num(s.Device).Num(s.Inode).Num(s.Size).Num(s.ModifiedNs).Num(s.AccessedNs).Num(s.ChangedNs);
  l.Num(s.Mode).Num(s.Uid).Num(s.Gid);
  l.Add(it.Target).Num(t.Device).Num(t.Inode).Num(t.Size).Num(t.ModifiedNs).Num(t.ChangedNs);
  // Known before the act: the trash entry a photo becomes is the library's record of it.
  if (it.ActionType == faTrashPhoto) l.Add(it.TrashDir).Add(it.TrashName);
  // Older readers stop at the fields they know.
  if (it.Mbox.Used) {
    const TMboxMessageRef& m = it.Mbox;
    l.Add("mbox").Add(m.FromLine).Num(m.Digest[0]).Num(m.Digest[1]).Num(m.Length).Num(m.SourceAt).Num(m.TargetAt);
  }
  return l.Text();
}

std::string DoneLine(const TJournalItem& it) {
  TLine l('D');
  l.Num(it.Seq).Add(it.Target).Num(it.TargetId.Device).Num(it.TargetId.Inode).Add(it.TrashDir).Add(it.TrashName);
  l.Num(it.TargetId.Size).Num(it.TargetId.ModifiedNs);
  if (it.ActionType == faHardLink || it.ActionType == faClone)
    l.Num(it.Result.Device).Num(it.Result.Inode).Num(it.Result.Size).Num(it.Result.ModifiedNs);
  std::string text = l.Text();
  if (it.Media) text += TLine('M').Num(it.Seq).Text();
  for (const TPlaylistInfo& p : it.PlayLists)
    text += TLine('L').Num(it.Seq).Num(static_cast<int>(p.Origin)).Num(p.Position).Add(p.Name).Add(p.ReplacedBy).Text();
  return text;
}

bool ParsePlan(const std::vector<std::string_view>& f, TJournalItem& it) {
  if (f.size() < 22) return false;
  it.Seq = Num<std::uint32_t>(f[1]);
  it.ActionType = static_cast<std::uint8_t>(Num<int>(f[2]));
  it.Folder = Unescape(f[3]);
  it.Name = Unescape(f[4]);
  it.FolderId.Device = Num<std::uint64_t>(f[5]);
  it.FolderId.Inode = Num<std::uint64_t>(f[6]);
  platform::TEntryStat& s = it.Source;
  s.Device = Num<std::uint64_t>(f[7]);
  s.Inode = Num<std::uint64_t>(f[8]);
  s.Size = Num<std::int64_t>(f[9]);
  s.ModifiedNs = Num<std::int64_t>(f[10]);
  s.AccessedNs = Num<std::int64_t>(f[11]);
  s.ChangedNs = Num<std::int64_t>(f[12]);
  s.Mode = Num<std::uint32_t>(f[13]);
  s.Uid = Num<std::uint32_t>(f[14]);
  s.Gid = Num<std::uint32_t>(f[15]);
  it.Target = Unescape(f[16]);
  it.TargetId.Device = Num<std::uint64_t>(f[17]);
  it.TargetId.Inode = Num<std::uint64_t>(f[18]);
  it.TargetId.Size = Num<std::int64_t>(f[19]);
  it.TargetId.ModifiedNs = Num<std::int64_t>(f[20]);
  it.TargetId.ChangedNs = Num<std::int64_t>(f[21]);
  if (f.size() >= 29 && f[22] == "mbox") {
    TMboxMessageRef& m = it.Mbox;
    m.Used = true;
    m.FromLine = Unescape(f[23]);
    m.Digest[0] = Num<std::uint64_t>(f[24]);
    m.Digest[1] = Num<std::uint64_t>(f[25]);
    m.Length = Num<std::int64_t>(f[26]);
    m.SourceAt = Num<std::int64_t>(f[27]);
    m.TargetAt = Num<std::int64_t>(f[28]);
  } else if (f.size() >= 24) {
    it.TrashDir = Unescape(f[22]);
    it.TrashName = Unescape(f[23]);
  }
  return it.Seq != 0 && !it.Name.empty();
}

int ReadText(const std::string& path, std::string& text) {
  platform::TReadOnlyFile f;
  if (int err = f.Open(path, true)) return err;
  char buf[65536];
  for (;;) {
    const std::int64_t n = f.Read(buf, sizeof buf);
    if (n < 0) return f.LastError();
    if (n == 0) return 0;
    text.append(buf, static_cast<std::size_t>(n));
  }
}

}  // namespace

std::string TJournalItem::FullPath() const {
  if (!Folder.empty() && Folder.back() == '/') return Folder + Name;
  return Folder + "/" + Name;
}

int TJournalAction::Undoable() const {
  if (InProgress) return 0;
  return static_cast<int>(std::count_if(Items.begin(), Items.end(), [](const TJournalItem& i) {
    return i.State == TJournalItem::jsDone || i.LeftoverCopy;
  }));
}

TActionJournal::~TActionJournal() { Flush(true); }

std::string TActionJournal::Directory() {
  return TPcwSpecialFolders::GetUserStateDirectory() + "/pelcrow/journal";
}

int TActionJournal::Begin(std::uint8_t ActionType, TDateTime Started, int ExpireDays) {
  const std::string dir = Directory();
  if (int err = platform::CreateFolders(dir)) return err;
  if (ExpireDays > 0) {
    const std::int64_t limit = TDateTime::Now().UnixNanoseconds() - static_cast<std::int64_t>(ExpireDays) * 86'400'000'000'000LL;
    for (const TJournalAction& a : ReadAll())
      if (a.Started.UnixNanoseconds() < limit) platform::DeleteFileOrLink(FileOf(a.Id));
  }
  // Names sort by time; the pid and a counter keep two actions of one second apart.
  static unsigned counter = 0;
  for (int attempt = 0; attempt < 1000; ++attempt) {
    char name[96];
    std::snprintf(name, sizeof name, "%020lld-%d-%u", static_cast<long long>(Started.UnixNanoseconds()),
                  static_cast<int>(::getpid()), ++counter);
    if (platform::PathExists(FileOf(name))) continue;
    fId = name;
    break;
  }
  if (int err = fFile.Open(FileOf(fId), true)) return err;
  TLine h('H');
  h.Num(1).Num(static_cast<int>(ActionType)).Num(Started.UnixNanoseconds()).Num(static_cast<int>(::getpid()));
  if (int err = fFile.Append(h.Text())) return err;
  return fFile.Sync();
}

int TActionJournal::Plan(std::vector<TJournalItem*>& Items) {
  if (!IsOpen()) return EBADF;
  if (int err = Flush(false)) return err;
  std::string text;
  for (TJournalItem* it : Items) {
    it->JournalId = fId;
    it->Seq = fNextSeq++;
    it->State = TJournalItem::jsPlanned;
    text += PlanLine(*it);
  }
  if (int err = fFile.Append(text)) return err;
  return fFile.Sync();
}

int TActionJournal::Retarget(const TJournalItem& Item) {
  if (!IsOpen()) return EBADF;
  if (int err = Flush(false)) return err;
  if (int err = fFile.Append(PlanLine(Item))) return err;
  return fFile.Sync();
}

void TActionJournal::Done(const TJournalItem& Item) {
  fPending += DoneLine(Item);
  if (fPending.size() > kFlushEvery * 128) Flush(false);
}

void TActionJournal::CopyStarting(const TJournalItem& Item) {
  fPending += TLine('C').Num(Item.Seq).Text();
  Flush(false);
}

void TActionJournal::Failed(const TJournalItem& Item) { fPending += TLine('F').Num(Item.Seq).Text(); }

int TActionJournal::Flush(bool Sync) {
  if (!IsOpen()) return 0;
  if (!fPending.empty()) {
    if (int err = fFile.Append(fPending)) return err;
    fPending.clear();
  }
  return Sync ? fFile.Sync() : 0;
}

int TActionJournal::MarkUndone(const TJournalItem& Item) {
  platform::TAppendFile f;
  if (int err = f.Open(FileOf(Item.JournalId))) return err;
  if (int err = f.Append(TLine('U').Num(Item.Seq).Text())) return err;
  return f.Sync();
}

int TActionJournal::MarkUndoAppend(const TJournalItem& Item, std::int64_t At) {
  platform::TAppendFile f;
  if (int err = f.Open(FileOf(Item.JournalId))) return err;
  if (int err = f.Append(TLine('W').Num(Item.Seq).Num(At).Text())) return err;
  return f.Sync();
}

namespace {

// The records that tell what became of one planned item.
void ApplyItemRecord(char Kind, const std::vector<std::string_view>& f, TJournalItem& it) {
  switch (Kind) {
    case 'C': it.CopyStarted = true; break;
    case 'D':
      if (f.size() < 7) break;
      it.State = TJournalItem::jsDone;
      it.Target = Unescape(f[2]);
      it.TargetId.Device = Num<std::uint64_t>(f[3]);
      it.TargetId.Inode = Num<std::uint64_t>(f[4]);
      it.TrashDir = Unescape(f[5]);
      it.TrashName = Unescape(f[6]);
      if (f.size() >= 9) {
        it.TargetId.Size = Num<std::int64_t>(f[7]);
        it.TargetId.ModifiedNs = Num<std::int64_t>(f[8]);
      }
      if (f.size() >= 13) {
        it.Result.Device = Num<std::uint64_t>(f[9]);
        it.Result.Inode = Num<std::uint64_t>(f[10]);
        it.Result.Size = Num<std::int64_t>(f[11]);
        it.Result.ModifiedNs = Num<std::int64_t>(f[12]);
      }
      break;
    case 'M': it.Media = true; break;
    case 'W':
      if (f.size() >= 3) it.UndoAppendAt = Num<std::int64_t>(f[2]);
      break;
    case 'L':
      if (f.size() >= 6)
        it.PlayLists.emplace_back(Unescape(f[4]), Num<std::int32_t>(f[3]),
                                  static_cast<TPlayListOrigin>(Num<int>(f[2]) & 3), Unescape(f[5]));
      break;
    case 'F': it.State = TJournalItem::jsFailed; break;
    case 'U': it.State = TJournalItem::jsUndone; break;
    default: break;
  }
}

}  // namespace

int TActionJournal::Read(const std::string& Id, TJournalAction& Action) {
  std::string text;
  if (int err = ReadText(FileOf(Id), text)) return err;
  Action = {};
  Action.Id = Id;
  Action.InProgress = platform::IsLockedByWriter(FileOf(Id));
  std::vector<TJournalItem>& items = Action.Items;
  std::unordered_map<std::uint32_t, std::size_t> bySeq;
  auto find = [&](std::uint32_t seq) -> TJournalItem* {
    const auto i = bySeq.find(seq);
    return i == bySeq.end() ? nullptr : &items[i->second];
  };
  std::size_t start = 0;
  bool header = false;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    // A line cut short by a crash has no line break: it never counts.
    if (end == std::string::npos) break;
    const std::vector<std::string_view> f = Split(std::string_view(text).substr(start, end - start));
    start = end + 1;
    if (f.empty() || f[0].size() != 1) continue;
    const char kind = f[0][0];
    if (kind == 'H') {
      if (f.size() >= 4 && Num<int>(f[1]) == 1) {
        header = true;
        Action.ActionType = static_cast<std::uint8_t>(Num<int>(f[2]));
        Action.Started = TDateTime::FromUnixNanoseconds(Num<std::int64_t>(f[3]));
      }
    } else if (kind == 'P') {
      TJournalItem plan;
      if (!ParsePlan(f, plan)) continue;
      plan.JournalId = Id;
      // A retarget repeats the plan of its sequence number with the new target.
      if (TJournalItem* old = find(plan.Seq)) {
        old->Target = plan.Target;
        if (plan.Mbox.Used) old->Mbox = plan.Mbox;
      } else {
        bySeq.emplace(plan.Seq, items.size());
        items.push_back(std::move(plan));
      }
    } else if (TJournalItem* it = f.size() >= 2 ? find(Num<std::uint32_t>(f[1])) : nullptr) {
      ApplyItemRecord(kind, f, *it);
    }
  }
  if (!header) return EINVAL;
  // A pass that still runs has outcomes only in its memory: what the disk shows says nothing yet.
  if (Action.InProgress) return 0;
  std::vector<platform::TTrashEntry> trash;
  bool trashRead = false;
  for (TJournalItem& it : items) {
    if (it.State != TJournalItem::jsPlanned) continue;
    if (it.ActionType == faRecycle && !trashRead) {
      trash = platform::ListTrashEntries();
      trashRead = true;
    }
    SettleUnfinished(it, trash);
  }
  return 0;
}

std::vector<TJournalAction> TActionJournal::ReadAll() {
  std::vector<std::string> ids;
  const std::string suffix = kSuffix;
  platform::ListDirectory(Directory(), [&](std::string_view name, platform::TEntryType) {
    if (name.size() > suffix.size() && name.substr(name.size() - suffix.size()) == suffix)
      ids.emplace_back(name.substr(0, name.size() - suffix.size()));
  });
  std::sort(ids.begin(), ids.end());
  std::vector<TJournalAction> actions;
  for (const std::string& id : ids) {
    TJournalAction a;
    if (Read(id, a) == 0) actions.push_back(std::move(a));
  }
  std::stable_sort(actions.begin(), actions.end(),
                   [](const TJournalAction& a, const TJournalAction& b) { return a.Started < b.Started; });
  return actions;
}

void SettleUnfinished(TJournalItem& Item, const std::vector<platform::TTrashEntry>& Trash) {
  if (Item.Mbox.Used) {
    // Appended first, cut after: a message in the target is moved, one in both is a leftover copy.
    bool leftover = false;
    const bool reached = MboxMoveReachedTarget(Item.Mbox, Item.FullPath(), Item.Source, Item.Target, leftover);
    Item.State = reached && !leftover ? TJournalItem::jsDone : TJournalItem::jsFailed;
    Item.LeftoverCopy = reached && leftover;
    return;
  }
  platform::TCheckedFolder folder;
  platform::TEntryStat now;
  const bool folderOk = folder.Open(Item.Folder, Item.FolderId) == 0;
  const bool present = folderOk && platform::StatEntry(folder.Fd(), Item.Name, now) == 0;
  if (Item.ActionType == faTrashPhoto) {
    // Only the library knows whether its flag was set; undo asks it and takes "not in the
    // trash" as back already.
    Item.State = TJournalItem::jsDone;
    return;
  }
  if (present && Item.ActionType == faCreateLink && now.IsLink()) {
    Item.State = TJournalItem::jsDone;
    return;
  }
  if (present && (Item.ActionType == faHardLink || Item.ActionType == faClone) && now.IsFile() &&
      (now.Inode != Item.Source.Inode || now.Device != Item.Source.Device)) {
    // Another file holds the name: the link or clone swapped in (a file saved there since would
    // not hold the kept copy's bytes, which undo checks before it touches it).
    Item.Result = {now.Device, now.Inode, now.Size, now.ModifiedNs, now.ChangedNs, false};
    Item.State = TJournalItem::jsDone;
    return;
  }
  if (present && now.Inode == Item.Source.Inode && now.Device == Item.Source.Device) {
    Item.State = TJournalItem::jsFailed;
    Item.LeftoverCopy = (Item.ActionType == faMove || Item.ActionType == faRename || Item.ActionType == faMoveMessage ||
                         Item.ActionType == faMoveContact) &&
                        Item.CopyStarted;
    return;
  }
  switch (Item.ActionType) {
    case faMergeContact: {
      // Done when the earlier version waits as its link in the trash folder and another file
      // holds the name: that one is what the action wrote.
      platform::TCheckedFolder trash;
      platform::TEntryStat kept;
      if (present && !Item.Target.empty() && trash.Open(ParentOf(Item.Target)) == 0 &&
          platform::StatEntry(trash.Fd(), BaseOf(Item.Target), kept) == 0 && kept.Inode == Item.Source.Inode &&
          kept.Device == Item.Source.Device) {
        Item.TargetId = {now.Device, now.Inode, now.Size, now.ModifiedNs, now.ChangedNs, false};
        Item.State = TJournalItem::jsDone;
      } else {
        Item.State = TJournalItem::jsFailed;
      }
      return;
    }
    case faMove:
    case faMoveMessage:
    case faMoveContact:
    case faRename: {
      platform::TCheckedFolder to;
      platform::TEntryStat there;
      if (!Item.Target.empty() && to.Open(ParentOf(Item.Target)) == 0 &&
          platform::StatEntry(to.Fd(), BaseOf(Item.Target), there) == 0 && there.IsFile() &&
          there.Size == Item.Source.Size && there.ModifiedNs == Item.Source.ModifiedNs) {
        Item.TargetId.Device = there.Device;
        Item.TargetId.Inode = there.Inode;
        Item.State = TJournalItem::jsDone;
      } else {
        Item.State = TJournalItem::jsFailed;
      }
      return;
    }
    case faRecycle:
      // The entry the trash gave it: the one that holds its inode.
      for (const platform::TTrashEntry& e : Trash) {
        platform::TFileInfo info;
        if (BaseOf(e.OriginalPath) != Item.Name || platform::LStat(e.TrashedPath(), info) != 0) continue;
        if (info.Inode != Item.Source.Inode || info.Device != Item.Source.Device) continue;
        Item.TrashDir = e.TrashDir;
        Item.TrashName = e.TrashName;
        break;
      }
      Item.State = TJournalItem::jsDone;
      return;
    default:
      // Deleted, or replaced by the link (whose name another file may have taken since): undone
      // from the kept copy.
      Item.State = TJournalItem::jsDone;
      return;
  }
}

}  // namespace pelcrow
