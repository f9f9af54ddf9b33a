#include "platform/FileOps.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace pelcrow::platform {

bool IsOwnerReadOnly(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || S_ISLNK(st.st_mode)) return false;
  return (st.st_mode & S_IWUSR) == 0;
}

int ClearOwnerReadOnly(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return errno;
  if (S_ISLNK(st.st_mode)) return EINVAL;  // chmod would change the link's target
  return ::chmod(path.c_str(), (st.st_mode & 07777) | S_IWUSR) == 0 ? 0 : errno;
}

int CreateSymbolicLink(const std::string& target, const std::string& linkPath) {
  return ::symlink(target.c_str(), linkPath.c_str()) == 0 ? 0 : errno;
}

bool HasSymbolicLinkPrivilege() { return true; }

}  // namespace pelcrow::platform
