#include "settings/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <string>

namespace pelcrow {

namespace {

std::string ParentOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// mkdir -p; an existing folder is success.
int MakeFolders(const std::string& dir) {
  struct stat st {};
  if (::stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
  if (errno != ENOENT) return errno;
  const std::string parent = ParentOf(dir);
  if (parent != dir) {
    if (const int err = MakeFolders(parent)) return err;
  }
  if (::mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) return errno;
  return 0;
}

// Follows a symbolic link at path so that a link kept by the user (for example into a dotfiles
// repository) is not replaced by a plain file.
std::string WriteTarget(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return path;  // a dangling link is replaced
  std::string target(resolved);
  std::free(resolved);
  return target;
}

int WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return EIO;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return 0;
}

int Fsync(int fd) {
  while (::fsync(fd) != 0) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

}  // namespace

int WriteFileAtomically(const std::string& path, std::string_view bytes) {
  if (path.empty()) return ENOENT;
  const std::string target = WriteTarget(path);
  const std::string dir = ParentOf(target);
  if (const int err = MakeFolders(dir)) return err;

  mode_t mode = 0666;  // the umask applies when the file is created
  bool keepMode = false;
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0) {
    mode = st.st_mode & 07777;
    keepMode = true;
  }

  static std::atomic<unsigned> counter{0};
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = target + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0 && errno != EEXIST) return errno;
  }
  if (fd < 0) return EEXIST;

  int err = 0;
  if (keepMode && ::fchmod(fd, mode) != 0) err = errno;
  if (err == 0) err = WriteAll(fd, bytes);
  if (err == 0) err = Fsync(fd);
  if (::close(fd) != 0 && err == 0 && errno != EINTR) err = errno;
  if (err == 0 && ::rename(temp.c_str(), target.c_str()) != 0) err = errno;
  if (err != 0) {
    ::unlink(temp.c_str());
    return err;
  }
  // The rename itself is durable only once the folder is flushed too; a failure here leaves the
  // new file in place, so it is not reported.
  const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    Fsync(dirFd);
    ::close(dirFd);
  }
  return 0;
}

}  // namespace pelcrow
