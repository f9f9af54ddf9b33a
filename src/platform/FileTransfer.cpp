#include "platform/FileTransfer.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

namespace pelcrow::platform {

namespace {

constexpr std::size_t kBufferSize = 1 << 20;

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

std::string ParentOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Closes a descriptor on every path out.
class TFd {
 public:
  explicit TFd(int fd = -1) : fFd(fd) {}
  ~TFd() { Reset(); }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  int Get() const { return fFd; }
  void Reset(int fd = -1) {
    if (fFd >= 0) ::close(fFd);
    fFd = fd;
  }

 private:
  int fFd;
};

int WriteAll(int fd, const char* p, std::size_t n) {
  while (n > 0) {
    const ssize_t w = ::write(fd, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    p += w;
    n -= static_cast<std::size_t>(w);
  }
  return 0;
}

int ReadSome(int fd, char* p, std::size_t n, std::size_t& got) {
  got = 0;
  while (got < n) {
    const ssize_t r = ::read(fd, p + got, n - got);
    if (r < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (r == 0) break;
    got += static_cast<std::size_t>(r);
  }
  return 0;
}

// Copies from the current offsets to the end of `in`: in the kernel where it can, else through a
// buffer.
int CopyData(int in, int out) {
  bool kernel = true;
  for (;;) {
    const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, kBufferSize, 0);
    if (n > 0) continue;
    if (n == 0) return 0;
    if (errno == EINTR) continue;
    // Nothing was copied yet when these come (old kernels, file systems that refuse it).
    if (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP || errno == EBADF) {
      kernel = false;
      break;
    }
    return errno;
  }
  if (kernel) return 0;
  std::vector<char> buffer(kBufferSize);
  for (;;) {
    std::size_t got = 0;
    if (int err = ReadSome(in, buffer.data(), buffer.size(), got)) return err;
    if (got == 0) return 0;
    if (int err = WriteAll(out, buffer.data(), got)) return err;
  }
}

// Both files hold the same bytes.
int SameContent(const std::string& a, const std::string& b, bool& same) {
  same = false;
  TFd fa(::open(a.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
  if (fa.Get() < 0) return errno;
  TFd fb(::open(b.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
  if (fb.Get() < 0) return errno;
  ::posix_fadvise(fa.Get(), 0, 0, POSIX_FADV_SEQUENTIAL);
  ::posix_fadvise(fb.Get(), 0, 0, POSIX_FADV_SEQUENTIAL);
  std::vector<char> ba(kBufferSize), bb(kBufferSize);
  for (;;) {
    std::size_t na = 0, nb = 0;
    if (int err = ReadSome(fa.Get(), ba.data(), ba.size(), na)) return err;
    if (int err = ReadSome(fb.Get(), bb.data(), bb.size(), nb)) return err;
    if (na != nb || std::memcmp(ba.data(), bb.data(), na) != 0) return 0;
    if (na == 0) break;
  }
  same = true;
  return 0;
}

// Gives the complete temporary file `tmpName` the name `target`, unless something has it.
int PublishNamed(const std::string& tmpName, const std::string& target) {
  if (::renameat2(AT_FDCWD, tmpName.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // A file system without the no-replace rename: a hard link fails on an existing name too.
  if (::link(tmpName.c_str(), target.c_str()) == 0) {
    ::unlink(tmpName.c_str());
    return 0;
  }
  if (errno == EEXIST) return EEXIST;
  // No hard links either (vfat): check, then rename; the window between is unavoidable there.
  if (PathExists(target)) return EEXIST;
  return ::rename(tmpName.c_str(), target.c_str()) == 0 ? 0 : errno;
}

}  // namespace

int ReadFileTimes(const std::string& path, TFileTimes& times) {
  struct statx stx {};
  if (::statx(AT_FDCWD, path.c_str(), AT_NO_AUTOMOUNT,
              STATX_ATIME | STATX_MTIME | STATX_CTIME | STATX_BTIME, &stx) != 0)
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
  return ::utimensat(AT_FDCWD, path.c_str(), ts, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
}

int FolderCreationTime(const std::string& path, TDateTime& created) {
  struct statx stx {};
  if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_BTIME | STATX_CTIME, &stx) != 0)
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
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
  const std::string parent = ParentOf(path);
  if (parent != path) {
    if (int err = CreateFolders(parent)) return err;
  }
  if (::mkdir(path.c_str(), 0777) == 0) return 0;
  if (errno == EEXIST && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return 0;
  return errno;
}

int RemoveEmptyFolder(const std::string& path) { return ::rmdir(path.c_str()) == 0 ? 0 : errno; }

int DeleteFileOrLink(const std::string& path) { return ::unlink(path.c_str()) == 0 ? 0 : errno; }

bool PathExists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

bool IsSymLink(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

int CopyFileNoOverwrite(const std::string& source, const std::string& target) {
  TFd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (in.Get() < 0) return errno;
  struct stat st {};
  if (::fstat(in.Get(), &st) != 0) return errno;
  // A FIFO or device in the source's place is never read.
  if (!S_ISREG(st.st_mode)) return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
  if (PathExists(target)) return EEXIST;
  ::posix_fadvise(in.Get(), 0, 0, POSIX_FADV_SEQUENTIAL);

  const std::string dir = ParentOf(target);
  std::string tmpName;  // empty: an unnamed file
  TFd out(::open(dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
  if (out.Get() < 0) {
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return errno;
    std::string name = dir + "/.pelcrow-copy-XXXXXX";
    std::vector<char> buf(name.begin(), name.end());
    buf.push_back('\0');
    out.Reset(::mkostemp(buf.data(), O_CLOEXEC));
    if (out.Get() < 0) return errno;
    tmpName.assign(buf.data());
  }
  auto fail = [&](int err) {
    out.Reset();
    if (!tmpName.empty()) ::unlink(tmpName.c_str());
    return err;
  };

  if (int err = CopyData(in.Get(), out.Get())) return fail(err);
  if (::fchmod(out.Get(), st.st_mode & 0777) != 0) return fail(errno);
  const struct timespec ts[2] = {st.st_atim, st.st_mtim};
  if (::futimens(out.Get(), ts) != 0) return fail(errno);
  if (::fsync(out.Get()) != 0) return fail(errno);

  if (tmpName.empty()) {
    const std::string procPath = "/proc/self/fd/" + std::to_string(out.Get());
    if (::linkat(AT_FDCWD, procPath.c_str(), AT_FDCWD, target.c_str(), AT_SYMLINK_FOLLOW) != 0)
      return fail(errno);
    return 0;  // the unnamed file now has its name; closing keeps it
  }
  out.Reset();
  if (int err = PublishNamed(tmpName, target)) {
    ::unlink(tmpName.c_str());
    return err;
  }
  return 0;
}

int MoveFileNoOverwrite(const std::string& source, const std::string& target) {
  struct stat st {};
  if (::lstat(source.c_str(), &st) != 0) return errno;
  if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return 0;
  int err = errno;
  if (err == EINVAL || err == ENOSYS) {
    // The file system lacks the no-replace rename.
    if (PathExists(target)) return EEXIST;
    if (::rename(source.c_str(), target.c_str()) == 0) return 0;
    err = errno;
  }
  if (err != EXDEV) return err;
  if (!S_ISREG(st.st_mode)) return EXDEV;

  if (int e = CopyFileNoOverwrite(source, target)) return e;
  bool same = false;
  int e = SameContent(source, target, same);
  if (e == 0 && !same) e = EIO;  // the source changed while it was copied
  if (e == 0) {
    // The copy's name must be on disk before the source goes.
    TFd dir(::open(ParentOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() >= 0) ::fsync(dir.Get());
    if (::unlink(source.c_str()) == 0) return 0;
    e = errno;
  }
  ::unlink(target.c_str());
  return e;
}

}  // namespace pelcrow::platform
