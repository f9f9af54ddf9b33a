#include "platform/SysCalls.h"

#include <stdio.h>
#include <sys/file.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string_view>

namespace pelcrow::platform {

namespace {

TRealSysCalls gReal;
std::atomic<ISysCalls*> gCalls{&gReal};

}  // namespace

int TRealSysCalls::OpenAt(int dirFd, const char* path, int flags, mode_t mode) {
  return ::openat(dirFd, path, flags, mode);
}
int TRealSysCalls::Close(int fd) { return ::close(fd); }
ssize_t TRealSysCalls::Read(int fd, void* buffer, std::size_t count) { return ::read(fd, buffer, count); }
ssize_t TRealSysCalls::Write(int fd, const void* buffer, std::size_t count) { return ::write(fd, buffer, count); }
int TRealSysCalls::StatxAt(int dirFd, const char* path, int flags, unsigned mask, struct statx* out) {
  return ::statx(dirFd, path, flags, mask, out);
}
int TRealSysCalls::FStat(int fd, struct stat* out) { return ::fstat(fd, out); }
int TRealSysCalls::UnlinkAt(int dirFd, const char* name, int flags) { return ::unlinkat(dirFd, name, flags); }
int TRealSysCalls::RenameAt(int fromDir, const char* from, int toDir, const char* to, unsigned flags) {
  return ::renameat2(fromDir, from, toDir, to, flags);
}
int TRealSysCalls::LinkAt(int fromDir, const char* from, int toDir, const char* to, int flags) {
  return ::linkat(fromDir, from, toDir, to, flags);
}
int TRealSysCalls::SymlinkAt(const char* target, int dirFd, const char* name) {
  return ::symlinkat(target, dirFd, name);
}
ssize_t TRealSysCalls::ReadlinkAt(int dirFd, const char* name, char* buffer, std::size_t size) {
  return ::readlinkat(dirFd, name, buffer, size);
}
int TRealSysCalls::MkdirAt(int dirFd, const char* name, mode_t mode) { return ::mkdirat(dirFd, name, mode); }
int TRealSysCalls::FChmod(int fd, mode_t mode) { return ::fchmod(fd, mode); }
int TRealSysCalls::FChown(int fd, uid_t uid, gid_t gid) { return ::fchown(fd, uid, gid); }
int TRealSysCalls::FUtimens(int fd, const struct timespec times[2]) { return ::futimens(fd, times); }
int TRealSysCalls::UtimensAt(int dirFd, const char* name, const struct timespec times[2], int flags) {
  return ::utimensat(dirFd, name, times, flags);
}
int TRealSysCalls::FSync(int fd) { return ::fsync(fd); }
ssize_t TRealSysCalls::CopyFileRange(int in, int out, std::size_t count) {
  return ::copy_file_range(in, nullptr, out, nullptr, count, 0);
}
ssize_t TRealSysCalls::ListXattr(int fd, char* list, std::size_t size) { return ::flistxattr(fd, list, size); }
ssize_t TRealSysCalls::GetXattr(int fd, const char* name, void* value, std::size_t size) {
  return ::fgetxattr(fd, name, value, size);
}
int TRealSysCalls::SetXattr(int fd, const char* name, const void* value, std::size_t size) {
  return ::fsetxattr(fd, name, value, size, 0);
}

ISysCalls& Sys() { return *gCalls.load(std::memory_order_acquire); }

ISysCalls* SetSysCalls(ISysCalls* calls) {
  ISysCalls* old = gCalls.exchange(calls ? calls : &gReal, std::memory_order_acq_rel);
  return old == &gReal ? nullptr : old;
}

void TFd::Reset(int fd) noexcept {
  if (fFd >= 0) Sys().Close(fFd);
  fFd = fd;
}

int WriteAllFd(int fd, const void* data, std::size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t w = Sys().Write(fd, p, size);
    if (w < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (w == 0) return EIO;  // a write that makes no progress would loop for ever
    p += w;
    size -= static_cast<std::size_t>(w);
  }
  return 0;
}

int ReadFullFd(int fd, void* data, std::size_t size, std::size_t& got) {
  char* p = static_cast<char*>(data);
  got = 0;
  while (got < size) {
    const ssize_t r = Sys().Read(fd, p + got, size - got);
    if (r < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (r == 0) break;
    got += static_cast<std::size_t>(r);
  }
  return 0;
}

int TAppendFile::Open(const std::string& path, bool Exclusive) {
  fFd.Reset(Sys().OpenAt(AT_FDCWD, path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (!fFd.Valid()) return errno;
  if (Exclusive && ::flock(fFd.Get(), LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    fFd.Reset();
    return err;
  }
  const off_t size = ::lseek(fFd.Get(), 0, SEEK_END);
  if (size > 0 && ::lseek(fFd.Get(), size - 1, SEEK_SET) == size - 1) {
    char last = '\n';
    if (Sys().Read(fFd.Get(), &last, 1) == 1 && last != '\n') return Append("\n");
  }
  return 0;
}

bool IsLockedByWriter(const std::string& path) {
  TFd fd(Sys().OpenAt(AT_FDCWD, path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW, 0));
  if (!fd.Valid()) return false;
  if (::flock(fd.Get(), LOCK_SH | LOCK_NB) == 0) return false;
  return errno == EWOULDBLOCK;
}

int TAppendFile::Append(const std::string& bytes) {
  if (!fFd.Valid()) return EBADF;
  return WriteAllFd(fFd.Get(), bytes.data(), bytes.size());
}

int TAppendFile::Sync() {
  if (!fFd.Valid()) return EBADF;
  return Sys().FSync(fFd.Get()) == 0 ? 0 : errno;
}

std::string FolderRealPath(int dirFd) {
  const std::string proc = "/proc/self/fd/" + std::to_string(dirFd);
  std::string buf(4096, '\0');
  for (;;) {
    const ssize_t n = Sys().ReadlinkAt(AT_FDCWD, proc.c_str(), buf.data(), buf.size());
    if (n < 0) return {};
    if (static_cast<std::size_t>(n) < buf.size()) {
      buf.resize(static_cast<std::size_t>(n));
      break;
    }
    buf.resize(buf.size() * 2);
  }
  // A folder removed meanwhile reads "/x (deleted)": no path names it any more.
  if (buf.empty() || buf.front() != '/') return {};
  static constexpr std::string_view kDeleted = " (deleted)";
  if (buf.size() > kDeleted.size() && buf.compare(buf.size() - kDeleted.size(), kDeleted.size(), kDeleted) == 0) {
    struct stat st {};
    if (Sys().FStat(dirFd, &st) != 0 || st.st_nlink == 0) return {};
  }
  return buf;
}

}  // namespace pelcrow::platform
