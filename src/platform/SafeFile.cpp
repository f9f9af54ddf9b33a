#include "platform/SafeFile.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <stdio.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cerrno>
#include <random>
#include <vector>

#include "platform/FileSystem.h"

namespace pelcrow::platform {

namespace {

std::int64_t Ns(const struct statx_timestamp& t) { return t.tv_sec * 1'000'000'000LL + t.tv_nsec; }

bool SameModified(const TEntryStat& now, const TFileIdentity& id) {
  if (id.WholeSeconds) {
    const auto floorSec = [](std::int64_t ns) { return ns >= 0 ? ns / 1'000'000'000LL : (ns - 999'999'999LL) / 1'000'000'000LL; };
    return floorSec(now.ModifiedNs) == floorSec(id.ModifiedNs);
  }
  return now.ModifiedNs == id.ModifiedNs;
}

bool KnownIdentity(const TFileIdentity& id) { return id.Device != 0 || id.Inode != 0; }

TSafeResult Fail(TSafeFailure f) {
  TSafeResult r;
  r.Failure = f;
  return r;
}

}  // namespace

bool TEntryStat::IsFile() const { return S_ISREG(Mode); }
bool TEntryStat::IsLink() const { return S_ISLNK(Mode); }

int StatEntry(int dirFd, const std::string& name, TEntryStat& out) {
  struct statx stx {};
  if (Sys().StatxAt(dirFd, name.c_str(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_BASIC_STATS, &stx) != 0)
    return errno;
  out.Mode = stx.stx_mode;
  out.Uid = stx.stx_uid;
  out.Gid = stx.stx_gid;
  out.Device = makedev(stx.stx_dev_major, stx.stx_dev_minor);
  out.Inode = stx.stx_ino;
  out.Links = stx.stx_nlink;
  out.Size = static_cast<std::int64_t>(stx.stx_size);
  out.ModifiedNs = Ns(stx.stx_mtime);
  out.AccessedNs = Ns(stx.stx_atime);
  out.ChangedNs = Ns(stx.stx_ctime);
  return 0;
}

bool MatchesIdentity(const TEntryStat& now, const TFileIdentity& scanned) {
  if (!now.IsFile() || now.Size != scanned.Size || !SameModified(now, scanned)) return false;
  if (KnownIdentity(scanned) && (now.Device != scanned.Device || now.Inode != scanned.Inode)) return false;
  return true;
}

bool PossiblySameFile(const TEntryStat& a, const TEntryStat& b) {
  if (a.Inode != b.Inode) return false;
  if (a.Device == b.Device) return true;
  return a.Size == b.Size && a.ModifiedNs == b.ModifiedNs;
}

TSafeResult TSafeResult::System(int err, std::string detail) {
  TSafeResult r;
  r.Failure = TSafeFailure::sfSystem;
  r.Error = err;
  r.Detail = std::move(detail);
  return r;
}

int TCheckedFolder::Open(const std::string& path, TFolderIdentity expected) {
  fPath = path;
  fFd.Reset(Sys().OpenAt(AT_FDCWD, path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC, 0));
  if (!fFd.Valid()) return errno;
  struct stat st {};
  if (Sys().FStat(fFd.Get(), &st) != 0) {
    const int err = errno;
    fFd.Reset();
    return err;
  }
  fId.Device = st.st_dev;
  fId.Inode = st.st_ino;
  if (expected.Known() && (expected.Device != fId.Device || expected.Inode != fId.Inode)) {
    fFd.Reset();
    return ESTALE;
  }
  return 0;
}

std::string TScannedFile::FullPath() const {
  if (!Folder.empty() && Folder.back() == '/') return Folder + Name;
  return Folder + "/" + Name;
}

TSafeResult TSafeFileAction::Prepare(const TScannedFile& Item, const TScannedFile* Kept, bool ContentMustMatch) {
  fPrepared = false;
  fName = Item.Name;
  fKeptName = Kept ? Kept->Name : std::string();
  if (fName.empty() || fName == "." || fName == ".." || fName.find('/') != std::string::npos)
    return TSafeResult::System(EINVAL);
  if (int err = fFolder.Open(Item.Folder, Item.FolderId)) {
    if (err == ESTALE) return Fail(TSafeFailure::sfFolderChanged);
    if (err == ENOENT || err == ENOTDIR) return Fail(TSafeFailure::sfGone);
    return TSafeResult::System(err);
  }
  if (int err = StatEntry(fFolder.Fd(), fName, fItemStat)) {
    if (err == ENOENT || err == ENOTDIR) return Fail(TSafeFailure::sfGone);
    return TSafeResult::System(err);
  }
  if (!MatchesIdentity(fItemStat, Item.Id)) return Fail(TSafeFailure::sfChanged);
  if (Kept != nullptr) {
    if (int err = fKeptFolder.Open(Kept->Folder, Kept->FolderId)) {
      if (err == ESTALE) return Fail(TSafeFailure::sfKeptChanged);
      if (err == ENOENT || err == ENOTDIR) return Fail(TSafeFailure::sfKeptGone);
      return TSafeResult::System(err);
    }
    if (int err = StatEntry(fKeptFolder.Fd(), Kept->Name, fKeptStat)) {
      if (err == ENOENT || err == ENOTDIR) return Fail(TSafeFailure::sfKeptGone);
      return TSafeResult::System(err);
    }
    if (!MatchesIdentity(fKeptStat, Kept->Id)) return Fail(TSafeFailure::sfKeptChanged);
    if (PossiblySameFile(fItemStat, fKeptStat)) return Fail(TSafeFailure::sfKeptSameFile);
    // A change time that moved (or was never recorded) may hide a write that set the
    // modification time back: then only the bytes tell.
    const bool moved = Item.Id.ChangedNs == 0 || Kept->Id.ChangedNs == 0 || fItemStat.ChangedNs != Item.Id.ChangedNs ||
                       fKeptStat.ChangedNs != Kept->Id.ChangedNs;
    if (ContentMustMatch && moved) {
      bool same = false;
      if (int err = SameContentAt(fFolder.Fd(), fName, fKeptFolder.Fd(), Kept->Name, same)) {
        if (err == ENOENT) return Fail(TSafeFailure::sfKeptGone);
        return TSafeResult::System(err);
      }
      if (!same) return Fail(TSafeFailure::sfKeptChanged);
    }
  }
  fPrepared = true;
  return {};
}

TSafeResult TSafeFileAction::Recheck() const {
  if (!fPrepared) return TSafeResult::System(EINVAL);
  TEntryStat now;
  if (int err = StatEntry(fFolder.Fd(), fName, now)) {
    if (err == ENOENT) return Fail(TSafeFailure::sfGone);
    return TSafeResult::System(err);
  }
  if (now.Inode != fItemStat.Inode || now.Device != fItemStat.Device || now.Size != fItemStat.Size ||
      now.ModifiedNs != fItemStat.ModifiedNs || now.Mode != fItemStat.Mode)
    return Fail(TSafeFailure::sfChanged);
  return {};
}

TSafeResult TSafeFileAction::Delete() {
  if (TSafeResult r = Recheck(); !r.Ok()) return r;
  if (Sys().UnlinkAt(fFolder.Fd(), fName.c_str(), 0) != 0) return TSafeResult::System(errno);
  return {};
}

TTrashResult TSafeFileAction::Trash(const std::string& shownPath) {
  if (TSafeResult r = Recheck(); !r.Ok()) {
    TTrashResult t;
    t.Failure = r.Failure == TSafeFailure::sfGone ? TTrashFailure::tfNotFound : TTrashFailure::tfOther;
    t.Error = "cannot move " + shownPath + " to the trash: " +
              (r.Failure == TSafeFailure::sfSystem ? ErrorText(r.Error) : std::string("it has changed since the check"));
    return t;
  }
  return MoveToTrashAt(fFolder.Fd(), fName, shownPath);
}

TSafeResult TSafeFileAction::MoveTo(int dstDir, const std::string& dstName, TTransferInfo& Info,
                                    const std::function<void()>& BeforePublish) {
  if (TSafeResult r = Recheck(); !r.Ok()) return r;
  if (int err = MoveFileAt(fFolder.Fd(), fName, dstDir, dstName, &Info, BeforePublish))
    return TSafeResult::System(err, Info.Detail);
  return {};
}

TSafeResult TSafeFileAction::ReplaceWithLink(const std::string& LinkText) {
  if (TSafeResult r = Recheck(); !r.Ok()) return r;
  std::random_device rd;
  std::string tmp;
  for (int attempt = 0;; ++attempt) {
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, ".%08x.sltmp", static_cast<unsigned>(rd()));
    tmp = "." + fName.substr(0, 200) + suffix;
    if (Sys().SymlinkAt(LinkText.c_str(), fFolder.Fd(), tmp.c_str()) == 0) break;
    if (errno != EEXIST || attempt >= 100) return TSafeResult::System(errno);
  }
  // One exchange: the link takes the name, and what held it is looked at before it goes. A file
  // saved at the name since the check comes back at once.
  if (Sys().RenameAt(fFolder.Fd(), tmp.c_str(), fFolder.Fd(), fName.c_str(), RENAME_EXCHANGE) != 0) {
    TSafeResult r = TSafeResult::System(errno);
    Sys().UnlinkAt(fFolder.Fd(), tmp.c_str(), 0);
    return r;
  }
  TEntryStat was;
  const bool same = StatEntry(fFolder.Fd(), tmp, was) == 0 && was.Inode == fItemStat.Inode &&
                    was.Device == fItemStat.Device && was.Size == fItemStat.Size &&
                    was.ModifiedNs == fItemStat.ModifiedNs;
  if (!same) {
    if (Sys().RenameAt(fFolder.Fd(), tmp.c_str(), fFolder.Fd(), fName.c_str(), RENAME_EXCHANGE) == 0)
      Sys().UnlinkAt(fFolder.Fd(), tmp.c_str(), 0);  // our link, back under its own name
    return Fail(TSafeFailure::sfChanged);
  }
  if (Sys().UnlinkAt(fFolder.Fd(), tmp.c_str(), 0) != 0) {
    // The file cannot go: it takes its name back, and the link goes instead.
    const TSafeResult r = TSafeResult::System(errno);
    if (Sys().RenameAt(fFolder.Fd(), tmp.c_str(), fFolder.Fd(), fName.c_str(), RENAME_EXCHANGE) == 0)
      Sys().UnlinkAt(fFolder.Fd(), tmp.c_str(), 0);
    return r;
  }
  return {};
}

TSafeResult TSafeFileAction::ReadContent(std::string& Bytes, std::size_t Limit) const {
  if (TSafeResult r = Recheck(); !r.Ok()) return r;
  TFd fd(Sys().OpenAt(fFolder.Fd(), fName.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0));
  if (!fd.Valid()) return errno == ENOENT ? Fail(TSafeFailure::sfGone) : TSafeResult::System(errno);
  struct stat st {};
  if (Sys().FStat(fd.Get(), &st) != 0) return TSafeResult::System(errno);
  if (st.st_ino != fItemStat.Inode || static_cast<std::int64_t>(st.st_size) != fItemStat.Size)
    return Fail(TSafeFailure::sfChanged);
  if (static_cast<std::size_t>(st.st_size) > Limit) return TSafeResult::System(EFBIG);
  Bytes.resize(static_cast<std::size_t>(st.st_size));
  std::size_t got = 0;
  if (const int err = ReadFullFd(fd.Get(), Bytes.data(), Bytes.size(), got)) return TSafeResult::System(err);
  if (got != Bytes.size()) return Fail(TSafeFailure::sfChanged);
  return {};
}

TSafeResult TSafeFileAction::ReplaceContent(std::string_view Bytes, int BackupDir, const std::string& BackupName,
                                            TEntryStat& NewStat) {
  if (TSafeResult r = Recheck(); !r.Ok()) return r;
  std::random_device rd;
  std::string tmp;
  TFd fd;
  for (int attempt = 0;; ++attempt) {
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, ".%08x.tmp", static_cast<unsigned>(rd()));
    tmp = "." + fName.substr(0, 200) + suffix;
    fd = TFd(Sys().OpenAt(fFolder.Fd(), tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          static_cast<mode_t>(fItemStat.Mode & 07777)));
    if (fd.Valid()) break;
    if (errno != EEXIST || attempt >= 100) return TSafeResult::System(errno);
  }
  auto dropTmp = [&] { Sys().UnlinkAt(fFolder.Fd(), tmp.c_str(), 0); };
  // The mode of the earlier version, whatever the umask made of it.
  if (WriteAllFd(fd.Get(), Bytes.data(), Bytes.size()) != 0 ||
      Sys().FChmod(fd.Get(), static_cast<mode_t>(fItemStat.Mode & 07777)) != 0 || Sys().FSync(fd.Get()) != 0) {
    const TSafeResult r = TSafeResult::System(errno);
    dropTmp();
    return r;
  }
  fd = TFd();
  auto isItem = [&](int dir, const std::string& name) {
    TEntryStat was;
    return StatEntry(dir, name, was) == 0 && was.Inode == fItemStat.Inode && was.Device == fItemStat.Device &&
           was.Size == fItemStat.Size && was.ModifiedNs == fItemStat.ModifiedNs;
  };
  if (Sys().LinkAt(fFolder.Fd(), fName.c_str(), BackupDir, BackupName.c_str(), 0) != 0) {
    const TSafeResult r = TSafeResult::System(errno, "link");
    dropTmp();
    return r;
  }
  auto dropBackup = [&] { Sys().UnlinkAt(BackupDir, BackupName.c_str(), 0); };
  if (!isItem(BackupDir, BackupName)) {
    dropBackup();
    dropTmp();
    return Fail(TSafeFailure::sfChanged);
  }
  // One exchange: the new version takes the name, and what held it is looked at before it goes.
  if (Sys().RenameAt(fFolder.Fd(), tmp.c_str(), fFolder.Fd(), fName.c_str(), RENAME_EXCHANGE) != 0) {
    const TSafeResult r = TSafeResult::System(errno, "rename");
    dropBackup();
    dropTmp();
    return r;
  }
  if (!isItem(fFolder.Fd(), tmp)) {
    if (Sys().RenameAt(fFolder.Fd(), tmp.c_str(), fFolder.Fd(), fName.c_str(), RENAME_EXCHANGE) == 0) dropTmp();
    dropBackup();
    return Fail(TSafeFailure::sfChanged);
  }
  // The earlier version lives on as the backup link.
  dropTmp();
  if (const int err = StatEntry(fFolder.Fd(), fName, NewStat)) return TSafeResult::System(err);
  return {};
}

namespace {

// A free hidden name beside the file: "." name ".XXXXXXXX." suffix.
template <typename Make>
int MakeTemporary(const std::string& name, const char* suffix, std::string& tmp, Make make) {
  std::random_device rd;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char tail[32];
    std::snprintf(tail, sizeof tail, ".%08x.%s", static_cast<unsigned>(rd()), suffix);
    tmp = "." + name.substr(0, 200) + tail;
    if (make(tmp)) return 0;
    if (errno != EEXIST) return errno;
  }
  return EEXIST;
}

bool SameStat(const TEntryStat& a, const TEntryStat& b) {
  return a.Inode == b.Inode && a.Device == b.Device && a.Size == b.Size && a.ModifiedNs == b.ModifiedNs &&
         a.Mode == b.Mode;
}

constexpr std::uint64_t kDedupeChunk = 16ULL << 20;  // btrfs takes at most this much a call

}  // namespace

bool TSafeFileAction::KeptUnchanged() const {
  TEntryStat now;
  return fKeptFolder.IsOpen() && StatEntry(fKeptFolder.Fd(), fKeptName, now) == 0 && SameStat(now, fKeptStat);
}

TSafeResult TSafeFileAction::SameAsKept() const {
  bool same = false;
  if (int err = SameContentAt(fFolder.Fd(), fName, fKeptFolder.Fd(), fKeptName, same)) {
    if (err == ENOENT) return Fail(TSafeFailure::sfGone);
    return TSafeResult::System(err);
  }
  if (!same) return Fail(TSafeFailure::sfKeptChanged);
  return {};
}

TSafeResult TSafeFileAction::SwapIn(const std::string& tmp, TEntryStat& NewStat) {
  // One exchange: the new file takes the name, and what held it is looked at before it goes. A
  // file saved at the name since the check comes back at once.
  if (Sys().RenameAt(fFolder.Fd(), tmp.c_str(), fFolder.Fd(), fName.c_str(), RENAME_EXCHANGE) != 0) {
    const TSafeResult r = TSafeResult::System(errno, "rename");
    Sys().UnlinkAt(fFolder.Fd(), tmp.c_str(), 0);
    return r;
  }
  TEntryStat was;
  if (StatEntry(fFolder.Fd(), tmp, was) != 0 || !SameStat(was, fItemStat)) {
    if (Sys().RenameAt(fFolder.Fd(), tmp.c_str(), fFolder.Fd(), fName.c_str(), RENAME_EXCHANGE) == 0)
      Sys().UnlinkAt(fFolder.Fd(), tmp.c_str(), 0);
    return Fail(TSafeFailure::sfChanged);
  }
  if (Sys().UnlinkAt(fFolder.Fd(), tmp.c_str(), 0) != 0) {
    const TSafeResult r = TSafeResult::System(errno, "unlink");
    if (Sys().RenameAt(fFolder.Fd(), tmp.c_str(), fFolder.Fd(), fName.c_str(), RENAME_EXCHANGE) == 0)
      Sys().UnlinkAt(fFolder.Fd(), tmp.c_str(), 0);
    return r;
  }
  if (const int err = StatEntry(fFolder.Fd(), fName, NewStat)) return TSafeResult::System(err);
  return {};
}

TSafeResult TSafeFileAction::ReplaceWithHardLink(TEntryStat& NewStat) {
  if (TSafeResult r = Recheck(); !r.Ok()) return r;
  if (fKeptName.empty()) return TSafeResult::System(EINVAL);
  if (fKeptStat.Device != fItemStat.Device) return TSafeResult::System(EXDEV);
  // Whatever the scan compared, the link is made only over equal bytes: the file's own data
  // goes with it.
  if (TSafeResult r = SameAsKept(); !r.Ok()) return r;
  std::string tmp;
  if (const int err = MakeTemporary(fName, "hltmp", tmp, [&](const std::string& t) {
        return Sys().LinkAt(fKeptFolder.Fd(), fKeptName.c_str(), fFolder.Fd(), t.c_str(), 0) == 0;
      }))
    return TSafeResult::System(err, "link");
  TEntryStat made;
  if (StatEntry(fFolder.Fd(), tmp, made) != 0 || !SameStat(made, fKeptStat) || !KeptUnchanged()) {
    Sys().UnlinkAt(fFolder.Fd(), tmp.c_str(), 0);
    return Fail(TSafeFailure::sfKeptChanged);
  }
  return SwapIn(tmp, NewStat);
}

TSafeResult TSafeFileAction::ReplaceWithClone(TEntryStat& NewStat, bool& Deduped) {
  Deduped = false;
  if (TSafeResult r = Recheck(); !r.Ok()) return r;
  if (fKeptName.empty()) return TSafeResult::System(EINVAL);
  if (fKeptStat.Device != fItemStat.Device) return TSafeResult::System(EXDEV);
  if (fItemStat.Size == 0) return TSafeResult::System(EINVAL, "empty file");
  TFd kept(Sys().OpenAt(fKeptFolder.Fd(), fKeptName.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0));
  if (!kept.Valid()) return TSafeResult::System(errno, "open");
  struct stat ks {};
  if (Sys().FStat(kept.Get(), &ks) != 0) return TSafeResult::System(errno);
  if (ks.st_ino != fKeptStat.Inode || ks.st_size != fKeptStat.Size) return Fail(TSafeFailure::sfKeptChanged);
  {
    // Read-only is enough for the file's owner: the kernel lets an owner dedupe.
    TFd item(Sys().OpenAt(fFolder.Fd(), fName.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0));
    if (!item.Valid()) return TSafeResult::System(errno, "open");
    struct stat is {};
    if (Sys().FStat(item.Get(), &is) != 0) return TSafeResult::System(errno);
    if (is.st_ino != fItemStat.Inode || is.st_size != fItemStat.Size) return Fail(TSafeFailure::sfChanged);
    std::vector<unsigned char> buf(sizeof(file_dedupe_range) + sizeof(file_dedupe_range_info));
    auto* range = reinterpret_cast<file_dedupe_range*>(buf.data());
    const std::uint64_t size = static_cast<std::uint64_t>(fItemStat.Size);
    int unsupported = 0;
    for (std::uint64_t at = 0; at < size;) {
      std::fill(buf.begin(), buf.end(), 0);
      range->src_offset = at;
      range->src_length = std::min(kDedupeChunk, size - at);
      range->dest_count = 1;
      range->info[0].dest_fd = item.Get();
      range->info[0].dest_offset = at;
      if (::ioctl(kept.Get(), FIDEDUPERANGE, range) != 0) {
        const int err = errno;
        if (at == 0 && (err == EOPNOTSUPP || err == ENOTTY || err == EINVAL || err == ENOSYS)) {
          unsupported = err;
          break;
        }
        if (err == EXDEV) return TSafeResult::System(EXDEV);
        return TSafeResult::System(err, "FIDEDUPERANGE");
      }
      const file_dedupe_range_info& info = range->info[0];
      if (info.status == FILE_DEDUPE_RANGE_DIFFERS) return Fail(TSafeFailure::sfKeptChanged);
      if (info.status < 0) {
        if (at == 0 && (info.status == -EOPNOTSUPP || info.status == -EINVAL)) {
          unsupported = -info.status;
          break;
        }
        return TSafeResult::System(-info.status, "FIDEDUPERANGE");
      }
      if (info.bytes_deduped == 0) return TSafeResult::System(EIO, "FIDEDUPERANGE");
      at += info.bytes_deduped;
    }
    if (unsupported == 0) {
      Deduped = true;
      if (const int err = StatEntry(fFolder.Fd(), fName, NewStat)) return TSafeResult::System(err);
      return {};
    }
  }
  // No dedupe call: a clone of the kept copy after our own compare.
  if (TSafeResult r = SameAsKept(); !r.Ok()) return r;
  TFd out;
  std::string tmp;
  if (const int err = MakeTemporary(fName, "cltmp", tmp, [&](const std::string& t) {
        out = TFd(Sys().OpenAt(fFolder.Fd(), t.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        return out.Valid();
      }))
    return TSafeResult::System(err, "create");
  auto drop = [&](TSafeResult r) {
    out = TFd();
    Sys().UnlinkAt(fFolder.Fd(), tmp.c_str(), 0);
    return r;
  };
  if (::ioctl(out.Get(), FICLONE, kept.Get()) != 0) {
    const int err = errno;
    return drop(TSafeResult::System(err == ENOTTY || err == EINVAL ? EOPNOTSUPP : err, "FICLONE"));
  }
  // The clone stands for the file: its owner, mode and times.
  struct timespec times[2] = {{fItemStat.AccessedNs / 1'000'000'000LL, fItemStat.AccessedNs % 1'000'000'000LL},
                              {fItemStat.ModifiedNs / 1'000'000'000LL, fItemStat.ModifiedNs % 1'000'000'000LL}};
  for (struct timespec& t : times)
    if (t.tv_nsec < 0) {
      t.tv_nsec += 1'000'000'000LL;
      --t.tv_sec;
    }
  struct stat os {};
  if (Sys().FStat(out.Get(), &os) != 0) return drop(TSafeResult::System(errno));
  if ((os.st_uid != fItemStat.Uid || os.st_gid != fItemStat.Gid) && Sys().FChown(out.Get(), fItemStat.Uid, fItemStat.Gid) != 0)
    return drop(TSafeResult::System(errno, "chown"));
  if (Sys().FChmod(out.Get(), static_cast<mode_t>(fItemStat.Mode & 07777)) != 0 || Sys().FUtimens(out.Get(), times) != 0 ||
      Sys().FSync(out.Get()) != 0)
    return drop(TSafeResult::System(errno));
  // A write to the kept copy after the compare would have moved its time.
  if (!KeptUnchanged()) return drop(Fail(TSafeFailure::sfKeptChanged));
  out = TFd();
  return SwapIn(tmp, NewStat);
}

}  // namespace pelcrow::platform
