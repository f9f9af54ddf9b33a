#include "platform/FolderFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace pelcrow::platform {

TFolderFiles::~TFolderFiles() { CloseFolder(); }

void TFolderFiles::Close() {
  if (fFd >= 0) ::close(fFd);
  fFd = -1;
}

void TFolderFiles::CloseFolder() {
  Close();
  if (fDirFd >= 0) ::close(fDirFd);
  fDirFd = -1;
  fFolder.clear();
}

int TFolderFiles::Open(std::string_view Folder, std::string_view Name, bool Sequential) {
  Close();
  fError = 0;
  int dirFd = AT_FDCWD;
  if (Name.find('/') == std::string_view::npos && !Folder.empty()) {
    if (fDirFd < 0 || Folder != fFolder) {
      CloseFolder();
      fFolder.assign(Folder);
      // O_PATH: nothing is read from the folder itself, and no read permission is needed to hold it.
      fDirFd = ::open(fFolder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
      if (fDirFd < 0) fFolder.clear();
    }
    if (fDirFd >= 0) dirFd = fDirFd;
  }
  if (dirFd == AT_FDCWD) {
    // An empty folder is the root, as in a result row's full path.
    fName.assign(Folder);
    if (fName.empty() || fName.back() != '/') fName += '/';
    fName.append(Name);
  } else {
    fName.assign(Name);
  }
  // O_NOATIME keeps a scan from touching access times; only the owner may ask for it.
  int fd = ::openat(dirFd, fName.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NOATIME | O_NONBLOCK);
  if (fd < 0 && errno == EPERM) fd = ::openat(dirFd, fName.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
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
  if (Sequential) ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  fFd = fd;
  fSize = static_cast<std::int64_t>(st.st_size);
  fOffset = 0;
  return 0;
}

std::int64_t TFolderFiles::Read(void* Buffer, std::size_t Count) {
  if (fFd < 0) {
    fError = EBADF;
    return -1;
  }
  auto* p = static_cast<char*>(Buffer);
  std::size_t done = 0;
  while (done < Count) {
    const ssize_t n = ::read(fFd, p + done, Count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      fError = errno;
      return -1;
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
    // A short read that reaches the size is the end: no further read to learn it.
    if (done < Count && fOffset + static_cast<std::int64_t>(done) >= fSize) break;
  }
  fOffset += static_cast<std::int64_t>(done);
  return static_cast<std::int64_t>(done);
}

}  // namespace pelcrow::platform
