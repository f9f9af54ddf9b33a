#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <string>

#include "base/PathText.h"
#include "platform/FileTransfer.h"
#include "platform/SysCalls.h"

namespace pelcrow {

using platform::Sys;

namespace {


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

}  // namespace

int WriteFileAtomically(const std::string& path, std::string_view bytes) {
  if (path.empty()) return ENOENT;
  const std::string target = WriteTarget(path);
  const std::string dir = ParentOf(target);
  if (const int err = platform::CreateFolders(dir)) return err;

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
    fd = Sys().OpenAt(AT_FDCWD, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
    if (fd < 0 && errno != EEXIST) return errno;
  }
  if (fd < 0) return EEXIST;

  int err = 0;
  if (keepMode && Sys().FChmod(fd, mode) != 0) err = errno;
  if (err == 0) err = platform::WriteAllFd(fd, bytes.data(), bytes.size());
  if (err == 0 && Sys().FSync(fd) != 0) err = errno;
  if (Sys().Close(fd) != 0 && err == 0 && errno != EINTR) err = errno;
  if (err == 0 && Sys().RenameAt(AT_FDCWD, temp.c_str(), AT_FDCWD, target.c_str(), 0) != 0) err = errno;
  if (err != 0) {
    Sys().UnlinkAt(AT_FDCWD, temp.c_str(), 0);
    return err;
  }
  // The rename itself is durable only once the folder is flushed too; a failure here leaves the
  // new file in place, so it is not reported.
  const platform::TFd dirFd(Sys().OpenAt(AT_FDCWD, dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
  if (dirFd.Valid()) Sys().FSync(dirFd.Get());
  return 0;
}

}  // namespace pelcrow
