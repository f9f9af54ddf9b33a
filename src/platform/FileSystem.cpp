#include "platform/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace pelcrow::platform {

namespace {

TEntryType TypeOfMode(mode_t m) {
  if (S_ISREG(m)) return TEntryType::etFile;
  if (S_ISDIR(m)) return TEntryType::etDirectory;
  if (S_ISLNK(m)) return TEntryType::etSymLink;
  return TEntryType::etOther;
}

void FillInfo(const struct stat& st, TFileInfo& info) {
  info.Type = TypeOfMode(st.st_mode);
  info.Size = static_cast<std::int64_t>(st.st_size);
  info.Modified = TDateTime::FromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
  info.Changed = TDateTime::FromUnix(st.st_ctim.tv_sec, st.st_ctim.tv_nsec);
  info.Device = static_cast<std::uint64_t>(st.st_dev);
  info.Inode = static_cast<std::uint64_t>(st.st_ino);
  info.LinkCount = static_cast<std::uint64_t>(st.st_nlink);
  info.Mode = static_cast<std::uint32_t>(st.st_mode);
}

int StatxAt(int dirFd, const char* name, TFileInfo& info) {
  struct statx stx {};
  if (::statx(dirFd, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT,
              STATX_TYPE | STATX_MODE | STATX_NLINK | STATX_INO | STATX_SIZE | STATX_MTIME | STATX_CTIME, &stx) != 0)
    return errno;
  info.Mode = stx.stx_mode;
  info.Type = TypeOfMode(stx.stx_mode);
  info.Size = static_cast<std::int64_t>(stx.stx_size);
  info.Modified = TDateTime::FromUnix(stx.stx_mtime.tv_sec, stx.stx_mtime.tv_nsec);
  info.Changed = TDateTime::FromUnix(stx.stx_ctime.tv_sec, stx.stx_ctime.tv_nsec);
  info.Device = static_cast<std::uint64_t>(makedev(stx.stx_dev_major, stx.stx_dev_minor));
  info.Inode = stx.stx_ino;
  info.LinkCount = stx.stx_nlink;
  info.Compressed = (stx.stx_attributes & STATX_ATTR_COMPRESSED) != 0;
  return 0;
}

int ReadEntries(int fd, const std::function<void(std::string_view name, TEntryType type)>& onEntry) {
  // The stream owns its own descriptor, so the caller's stays open for the *at calls.
  const int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (own < 0) return errno;
  DIR* d = ::fdopendir(own);
  if (!d) {
    const int err = errno;
    ::close(own);
    return err;
  }
  while (struct dirent* e = ::readdir(d)) {
    const char* n = e->d_name;
    if (n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0'))) continue;
    TEntryType t = TEntryType::etUnknown;
    switch (e->d_type) {
      case DT_REG: t = TEntryType::etFile; break;
      case DT_DIR: t = TEntryType::etDirectory; break;
      case DT_LNK: t = TEntryType::etSymLink; break;
      case DT_UNKNOWN: t = TEntryType::etUnknown; break;
      default: t = TEntryType::etOther; break;
    }
    onEntry(std::string_view(n), t);
  }
  ::closedir(d);
  return 0;
}

}  // namespace

TDirectory::TDirectory(const std::string& dir, bool FollowLink) {
  fFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | (FollowLink ? 0 : O_NOFOLLOW));
  if (fFd < 0) fError = errno;
}

TDirectory::~TDirectory() {
  if (fFd >= 0) ::close(fFd);
}

int TDirectory::List(const std::function<void(std::string_view name, TEntryType type)>& onEntry) const {
  if (fFd < 0) return fError;
  return ReadEntries(fFd, onEntry);
}

int TDirectory::LStatAt(const std::string& name, TFileInfo& info, bool withAttributes) const {
  if (fFd < 0) return fError;
  if (withAttributes) return StatxAt(fFd, name.c_str(), info);
  struct stat st {};
  if (::fstatat(fFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return errno;
  FillInfo(st, info);
  return 0;
}

int TDirectory::StatAt(const std::string& name, TFileInfo& info) const {
  if (fFd < 0) return fError;
  struct stat st {};
  if (::fstatat(fFd, name.c_str(), &st, 0) != 0) return errno;
  FillInfo(st, info);
  return 0;
}

int LStat(const std::string& path, TFileInfo& info) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return errno;
  FillInfo(st, info);
  return 0;
}

int LStatWithAttributes(const std::string& path, TFileInfo& info) { return StatxAt(AT_FDCWD, path.c_str(), info); }

int Stat(const std::string& path, TFileInfo& info) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return errno;
  FillInfo(st, info);
  return 0;
}

int ListDirectory(const std::string& dir,
                  const std::function<void(std::string_view name, TEntryType type)>& onEntry, bool FollowLink) {
  const TDirectory d(dir, FollowLink);
  return d.List(onEntry);
}

std::string ErrorText(int err) {
  char buf[256];
  // GNU strerror_r returns the text, which may or may not be in buf.
  const char* s = ::strerror_r(err, buf, sizeof buf);
  return s ? std::string(s) : std::string("error ") + std::to_string(err);
}

int TReadOnlyFile::Open(const std::string& path, bool sequential) { return OpenAt(AT_FDCWD, path.c_str(), sequential); }

int TReadOnlyFile::OpenAt(int dirFd, const char* name, bool sequential) {
  Close();
  fError = 0;
  // O_NOATIME keeps a scan from touching access times; only the owner may ask for it.
  int fd = ::openat(dirFd, name, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NOATIME | O_NONBLOCK);
  if (fd < 0 && errno == EPERM) fd = ::openat(dirFd, name, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return fError = errno;
  // Only regular files are read: a FIFO or device found in its place must not block or act.
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    fError = errno;
  } else if (!S_ISREG(st.st_mode)) {
    fError = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
  }
  if (fError != 0) {
    ::close(fd);
    return fError;
  }
  if (sequential) ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  fFd = fd;
  fSize = static_cast<std::int64_t>(st.st_size);
  fOffset = 0;
  return 0;
}

std::int64_t TReadOnlyFile::Read(void* buffer, std::size_t count) {
  if (fFd < 0) {
    fError = EBADF;
    return -1;
  }
  auto* p = static_cast<char*>(buffer);
  std::size_t done = 0;
  while (done < count) {
    ssize_t n = ::read(fFd, p + done, count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      fError = errno;
      return -1;
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
    if (done < count && fOffset + static_cast<std::int64_t>(done) >= fSize) break;
  }
  fOffset += static_cast<std::int64_t>(done);
  return static_cast<std::int64_t>(done);
}

void TReadOnlyFile::Close() {
  if (fFd >= 0) ::close(fFd);
  fFd = -1;
}

int ReadableFileSize(const std::string& path, std::int64_t& size) {
  // Checked before opening: opening a device or FIFO can block or act on the device.
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return errno;
  if (!S_ISREG(st.st_mode)) return EINVAL;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return errno;
  const bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  ::close(fd);
  if (!ok) return EINVAL;
  size = static_cast<std::int64_t>(st.st_size);
  return 0;
}

}  // namespace pelcrow::platform
