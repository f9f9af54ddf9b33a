#include "platform/FileTransfer.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>
#include <vector>

#include "base/PathText.h"
#include "platform/SysCalls.h"

namespace pelcrow::platform {

namespace {

constexpr std::size_t kBufferSize = 1 << 20;
constexpr int kReadFlags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW | O_NONBLOCK;

TDateTime FromStatx(const struct statx_timestamp& t) { return TDateTime::FromUnix(t.tv_sec, t.tv_nsec); }

struct timespec ToTimespec(TDateTime t) {
  const std::int64_t ns = t.UnixNanoseconds();
  std::int64_t sec = ns / 1000000000LL;
  std::int64_t rem = ns % 1000000000LL;
  if (rem < 0) {
    rem += 1000000000LL;
    --sec;
  }
  struct timespec ts {};
  ts.tv_sec = static_cast<time_t>(sec);
  ts.tv_nsec = static_cast<long>(rem);
  return ts;
}

int OpenFolderPath(const std::string& dir, TFd& fd) {
  fd.Reset(Sys().OpenAt(AT_FDCWD, dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC, 0));
  return fd.Valid() ? 0 : errno;
}

// Copies from the current offsets to the end of `in`: in the kernel where it can, else through a
// buffer.
int CopyData(int in, int out, bool OwnData = false) {
  bool kernel = !OwnData;
  bool any = false;
  while (kernel) {
    const ssize_t n = Sys().CopyFileRange(in, out, kBufferSize);
    if (n > 0) {
      any = true;
      continue;
    }
    if (n == 0) return 0;
    if (errno == EINTR) continue;
    // Nothing was copied yet when these come (old kernels, file systems that refuse it).
    if (!any && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP || errno == EBADF)) {
      kernel = false;
      break;
    }
    return errno;
  }
  if (kernel) return 0;
  std::vector<char> buffer(kBufferSize);
  for (;;) {
    std::size_t got = 0;
    if (int err = ReadFullFd(in, buffer.data(), buffer.size(), got)) return err;
    if (got == 0) return 0;
    if (int err = WriteAllFd(out, buffer.data(), got)) return err;
  }
}

// Both open files hold the same bytes from their current offsets on.
int SameData(int a, int b, bool& same) {
  same = false;
  std::vector<char> ba(kBufferSize), bb(kBufferSize);
  for (;;) {
    std::size_t na = 0, nb = 0;
    if (int err = ReadFullFd(a, ba.data(), ba.size(), na)) return err;
    if (int err = ReadFullFd(b, bb.data(), bb.size(), nb)) return err;
    if (na != nb || std::memcmp(ba.data(), bb.data(), na) != 0) return 0;
    if (na == 0) break;
  }
  same = true;
  return 0;
}

// Every extended attribute of `in` set on `out`; the first one that cannot be kept fails.
int CopyXattrs(int in, int out, std::string& detail) {
  ssize_t size = Sys().ListXattr(in, nullptr, 0);
  if (size < 0) return errno == ENOTSUP || errno == EOPNOTSUPP ? 0 : errno;
  if (size == 0) return 0;
  std::vector<char> names(static_cast<std::size_t>(size));
  size = Sys().ListXattr(in, names.data(), names.size());
  if (size < 0) return errno;
  std::vector<char> value;
  for (std::size_t pos = 0; pos < static_cast<std::size_t>(size);) {
    const char* name = names.data() + pos;
    pos += std::strlen(name) + 1;
    ssize_t n = Sys().GetXattr(in, name, nullptr, 0);
    if (n < 0) return errno;
    value.resize(static_cast<std::size_t>(n));
    n = Sys().GetXattr(in, name, value.data(), value.size());
    if (n < 0) return errno;
    if (Sys().SetXattr(out, name, value.data(), static_cast<std::size_t>(n)) != 0) {
      const int err = errno;
      detail = std::string("cannot keep the extended attribute ") + name;
      return err;
    }
  }
  return 0;
}

// A new, unnamed file in dstDir (O_TMPFILE); where the file system has none, a hidden temporary
// name. tmpName says which.
int CreateTemporary(int dstDir, TFd& out, std::string& tmpName) {
  tmpName.clear();
  out.Reset(Sys().OpenAt(dstDir, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
  if (out.Valid()) return 0;
  if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return errno;
  std::random_device rd;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char name[40];
    std::snprintf(name, sizeof name, ".pelcrow-copy-%08x", static_cast<unsigned>(rd()));
    out.Reset(Sys().OpenAt(dstDir, name, O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (out.Valid()) {
      tmpName = name;
      return 0;
    }
    if (errno != EEXIST) return errno;
  }
  return EEXIST;
}

// Gives the complete temporary file its name, unless something has that name.
int Publish(int out, const std::string& tmpName, int dstDir, const std::string& dstName) {
  if (tmpName.empty()) {
    const std::string procPath = "/proc/self/fd/" + std::to_string(out);
    return Sys().LinkAt(AT_FDCWD, procPath.c_str(), dstDir, dstName.c_str(), AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
  }
  if (Sys().RenameAt(dstDir, tmpName.c_str(), dstDir, dstName.c_str(), RENAME_NOREPLACE) == 0) return 0;
  int err = errno;
  if (err != EINVAL && err != ENOSYS) return err;
  // No no-replace rename here: a hard link fails on an existing name too.
  if (Sys().LinkAt(dstDir, tmpName.c_str(), dstDir, dstName.c_str(), 0) == 0) {
    Sys().UnlinkAt(dstDir, tmpName.c_str(), 0);
    return 0;
  }
  return errno;
}

// Owner and mode of the source (or of meta) on the new file.
int ApplyMeta(int out, const struct stat& src, const TFileMeta* meta, std::string& detail) {
  struct stat now {};
  if (Sys().FStat(out, &now) != 0) return errno;
  const uid_t uid = meta && meta->Given ? meta->Uid : src.st_uid;
  const gid_t gid = meta && meta->Given ? meta->Gid : src.st_gid;
  if ((uid != now.st_uid || gid != now.st_gid) && Sys().FChown(out, uid, gid) != 0) {
    const int err = errno;
    detail = "cannot keep the owner " + std::to_string(uid) + ":" + std::to_string(gid);
    return err;
  }
  // After the owner: a change of owner clears the set-user-ID and set-group-ID bits.
  const mode_t mode = (meta && meta->Given ? meta->Mode : src.st_mode) & 07777;
  if (Sys().FChmod(out, mode) != 0) {
    const int err = errno;
    detail = "cannot keep the mode bits";
    return err;
  }
  return 0;
}

int ApplyTimes(int out, const struct stat& src, const TFileMeta* meta) {
  struct timespec ts[2] = {src.st_atim, src.st_mtim};
  if (meta && meta->Given) {
    ts[0] = ToTimespec(meta->Accessed);
    ts[1] = ToTimespec(meta->Modified);
  }
  return Sys().FUtimens(out, ts) == 0 ? 0 : errno;
}

// The regular file `name` of dir, opened for reading (never a FIFO or device, never a link).
int OpenRegular(int dir, const std::string& name, TFd& in, struct stat& st) {
  in.Reset(Sys().OpenAt(dir, name.c_str(), kReadFlags, 0));
  if (!in.Valid()) return errno == ELOOP ? EINVAL : errno;
  if (Sys().FStat(in.Get(), &st) != 0) return errno;
  if (!S_ISREG(st.st_mode)) return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
  return 0;
}

int SyncFolder(int dir) {
  TFd d(Sys().OpenAt(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
  if (!d.Valid()) return errno;
  return Sys().FSync(d.Get()) == 0 ? 0 : errno;
}

}  // namespace

int ReadFileTimes(const std::string& path, TFileTimes& times) {
  struct statx stx {};
  if (Sys().StatxAt(AT_FDCWD, path.c_str(), AT_NO_AUTOMOUNT, STATX_ATIME | STATX_MTIME | STATX_CTIME | STATX_BTIME,
                    &stx) != 0)
    return errno;
  times = {};
  if ((stx.stx_mask & STATX_BTIME) != 0) times.Created = FromStatx(stx.stx_btime);
  times.Accessed = FromStatx(stx.stx_atime);
  times.Modified = FromStatx(stx.stx_mtime);
  times.Changed = FromStatx(stx.stx_ctime);
  return 0;
}

int WriteFileTimes(const std::string& path, TDateTime accessed, TDateTime modified) {
  const struct timespec ts[2] = {ToTimespec(accessed), ToTimespec(modified)};
  return Sys().UtimensAt(AT_FDCWD, path.c_str(), ts, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
}

int FolderCreationTime(const std::string& path, TDateTime& created) {
  struct statx stx {};
  if (Sys().StatxAt(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_BTIME | STATX_CTIME, &stx) != 0)
    return errno;
  // Without a birth time the change time stands in. Unlike the modification time no program can
  // set it, so a folder made after a moment never reads as older than that moment (archive tools
  // and copies set modification times back). It does move forward whenever an entry is added or
  // removed, so a folder that existed before may read as newer; callers that remove "new" empty
  // folders can then remove an old empty one, which loses no file.
  created = FromStatx((stx.stx_mask & STATX_BTIME) != 0 ? stx.stx_btime : stx.stx_ctime);
  return 0;
}

int CreateFolders(const std::string& path) {
  if (path.empty()) return ENOENT;
  struct statx stx {};
  if (Sys().StatxAt(AT_FDCWD, path.c_str(), 0, STATX_TYPE, &stx) == 0) return S_ISDIR(stx.stx_mode) ? 0 : ENOTDIR;
  const std::string parent = ParentOf(path);
  if (parent != path) {
    if (int err = CreateFolders(parent)) return err;
  }
  if (Sys().MkdirAt(AT_FDCWD, path.c_str(), 0777) == 0) return 0;
  if (errno == EEXIST && Sys().StatxAt(AT_FDCWD, path.c_str(), 0, STATX_TYPE, &stx) == 0 && S_ISDIR(stx.stx_mode))
    return 0;
  return errno;
}

int RemoveEmptyFolder(const std::string& path) {
  return Sys().UnlinkAt(AT_FDCWD, path.c_str(), AT_REMOVEDIR) == 0 ? 0 : errno;
}

int DeleteFileOrLink(const std::string& path) { return Sys().UnlinkAt(AT_FDCWD, path.c_str(), 0) == 0 ? 0 : errno; }

bool PathExists(const std::string& path) {
  struct statx stx {};
  return Sys().StatxAt(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_TYPE, &stx) == 0;
}

bool IsSymLink(const std::string& path) {
  struct statx stx {};
  return Sys().StatxAt(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_TYPE, &stx) == 0 && S_ISLNK(stx.stx_mode);
}

namespace {

int CopyFileAtPublishing(int srcDir, const std::string& srcName, int dstDir, const std::string& dstName,
                         TTransferInfo* info, const TFileMeta* meta, const std::function<void()>& BeforePublish);

}  // namespace

int CopyFileAt(int srcDir, const std::string& srcName, int dstDir, const std::string& dstName, TTransferInfo* info,
               const TFileMeta* meta) {
  return CopyFileAtPublishing(srcDir, srcName, dstDir, dstName, info, meta, {});
}

namespace {

int CopyFileAtPublishing(int srcDir, const std::string& srcName, int dstDir, const std::string& dstName,
                         TTransferInfo* info, const TFileMeta* meta, const std::function<void()>& BeforePublish) {
  TTransferInfo local;
  TTransferInfo& out = info ? *info : local;
  out = {};
  TFd in;
  struct stat st {};
  if (int err = OpenRegular(srcDir, srcName, in, st)) return err;
  struct statx exists {};
  if (Sys().StatxAt(dstDir, dstName.c_str(), AT_SYMLINK_NOFOLLOW, STATX_TYPE, &exists) == 0) return EEXIST;
  ::posix_fadvise(in.Get(), 0, 0, POSIX_FADV_SEQUENTIAL);

  TFd tmp;
  std::string tmpName;
  if (int err = CreateTemporary(dstDir, tmp, tmpName)) return err;
  auto fail = [&](int err) {
    tmp.Reset();
    if (!tmpName.empty()) Sys().UnlinkAt(dstDir, tmpName.c_str(), 0);
    return err;
  };
  if (int err = CopyData(in.Get(), tmp.Get(), meta && meta->OwnData)) return fail(err);
  // Owner first (a change of owner clears set-ID bits and file capabilities), then the mode,
  // the extended attributes, and the times last.
  if (int err = ApplyMeta(tmp.Get(), st, meta, out.Detail)) return fail(err);
  if (int err = CopyXattrs(in.Get(), tmp.Get(), out.Detail)) return fail(err);
  if (int err = ApplyTimes(tmp.Get(), st, meta)) return fail(err);
  if (Sys().FSync(tmp.Get()) != 0) return fail(errno);
  struct stat made {};
  if (Sys().FStat(tmp.Get(), &made) != 0) return fail(errno);
  if (BeforePublish) BeforePublish();
  if (int err = Publish(tmp.Get(), tmpName, dstDir, dstName)) return fail(err);
  out.Inode = made.st_ino;
  out.Copied = true;
  return 0;
}

}  // namespace

int MoveFileAt(int srcDir, const std::string& srcName, int dstDir, const std::string& dstName, TTransferInfo* info,
               const std::function<void()>& BeforePublish) {
  TTransferInfo local;
  TTransferInfo& out = info ? *info : local;
  out = {};
  struct statx src {};
  if (Sys().StatxAt(srcDir, srcName.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, &src) != 0) return errno;
  if (Sys().RenameAt(srcDir, srcName.c_str(), dstDir, dstName.c_str(), RENAME_NOREPLACE) == 0) {
    out.Inode = src.stx_ino;
    return 0;
  }
  int err = errno;
  if (err == EINVAL || err == ENOSYS) {
    // The file system lacks the no-replace rename: a hard link fails on an existing name.
    if (Sys().LinkAt(srcDir, srcName.c_str(), dstDir, dstName.c_str(), 0) == 0) {
      if (Sys().UnlinkAt(srcDir, srcName.c_str(), 0) == 0) {
        out.Inode = src.stx_ino;
        return 0;
      }
      err = errno;
      Sys().UnlinkAt(dstDir, dstName.c_str(), 0);
      return err;
    }
    err = errno;
  }
  if (err != EXDEV) return err;
  if (!S_ISREG(src.stx_mode)) return EXDEV;

  if (int e = CopyFileAtPublishing(srcDir, srcName, dstDir, dstName, &out, nullptr, BeforePublish)) return e;
  const std::uint64_t copyInode = out.Inode;
  // Removes the copy again, and only the copy: the name may have been taken over meanwhile.
  auto undoCopy = [&](int e, const char* why) {
    struct statx now {};
    if (Sys().StatxAt(dstDir, dstName.c_str(), AT_SYMLINK_NOFOLLOW, STATX_INO, &now) == 0 && now.stx_ino == copyInode)
      Sys().UnlinkAt(dstDir, dstName.c_str(), 0);
    out = {};
    if (why) out.Detail = why;
    return e;
  };
  TFd a, b;
  struct stat sa {}, sb {};
  int e = OpenRegular(srcDir, srcName, a, sa);
  if (e == 0) e = OpenRegular(dstDir, dstName, b, sb);
  bool same = false;
  if (e == 0) e = SameData(a.Get(), b.Get(), same);
  if (e != 0) return undoCopy(e, nullptr);
  // The source changed while it was copied: the copy is not what the source is now.
  if (!same || sa.st_ino != src.stx_ino || sb.st_ino != copyInode ||
      sa.st_mtim.tv_sec != src.stx_mtime.tv_sec || sa.st_mtim.tv_nsec != static_cast<long>(src.stx_mtime.tv_nsec))
    return undoCopy(EIO, "the file changed while it was copied");
  // The copy's name must be on disk before the source goes.
  if (int s = SyncFolder(dstDir)) return undoCopy(s, nullptr);
  if (Sys().UnlinkAt(srcDir, srcName.c_str(), 0) != 0) return undoCopy(errno, nullptr);
  out.Inode = copyInode;
  out.Copied = true;
  return 0;
}

int SameContentAt(int dirA, const std::string& nameA, int dirB, const std::string& nameB, bool& same) {
  same = false;
  TFd a, b;
  struct stat sa {}, sb {};
  if (int err = OpenRegular(dirA, nameA, a, sa)) return err;
  if (int err = OpenRegular(dirB, nameB, b, sb)) return err;
  if (sa.st_size != sb.st_size) return 0;
  ::posix_fadvise(a.Get(), 0, 0, POSIX_FADV_SEQUENTIAL);
  ::posix_fadvise(b.Get(), 0, 0, POSIX_FADV_SEQUENTIAL);
  return SameData(a.Get(), b.Get(), same);
}

int CopyFileNoOverwrite(const std::string& source, const std::string& target) {
  TFd from, to;
  if (int err = OpenFolderPath(ParentOf(source), from)) return err;
  if (int err = OpenFolderPath(ParentOf(target), to)) return err;
  // Following a final link at the source, as a copy of "the file" means.
  struct statx stx {};
  std::string name = BaseOf(source);
  if (Sys().StatxAt(from.Get(), name.c_str(), AT_SYMLINK_NOFOLLOW, STATX_TYPE, &stx) == 0 && S_ISLNK(stx.stx_mode)) {
    char buf[4096];
    const ssize_t n = Sys().ReadlinkAt(from.Get(), name.c_str(), buf, sizeof buf - 1);
    if (n < 0) return errno;
    std::string link(buf, static_cast<std::size_t>(n));
    if (link.empty() || link.front() != '/') link = ParentOf(source) + "/" + link;
    if (int err = OpenFolderPath(ParentOf(link), from)) return err;
    name = BaseOf(link);
  }
  return CopyFileAt(from.Get(), name, to.Get(), BaseOf(target));
}

int MoveFileNoOverwrite(const std::string& source, const std::string& target) {
  TFd from, to;
  if (int err = OpenFolderPath(ParentOf(source), from)) return err;
  if (int err = OpenFolderPath(ParentOf(target), to)) return err;
  return MoveFileAt(from.Get(), BaseOf(source), to.Get(), BaseOf(target));
}

}  // namespace pelcrow::platform
