#include "platform/Links.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <memory>

#include "platform/MountTable.h"

namespace pelcrow::platform {

namespace {

std::string RealPath(const std::string& path) {
  std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr), &std::free);
  return resolved ? std::string(resolved.get()) : std::string();
}

bool IsBindMountPoint(const std::string& dir) {
  const std::string real = RealPath(dir);
  if (real.empty() || real == "/") return false;
  const std::vector<TMountEntry> table = ReadMountTable();
  // The last entry for the point is the one in effect.
  for (std::size_t i = table.size(); i-- > 0;)
    if (table[i].MountPoint == real) return IsBindMount(table, i);
  return false;
}

}  // namespace

bool IsJunction(const std::string& path) {
  if (path.empty()) return false;
  struct statx stx {};
  if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_TYPE, &stx) != 0)
    return false;
  if (S_ISLNK(stx.stx_mode)) {
    struct stat target {};
    return ::stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
  }
  if (!S_ISDIR(stx.stx_mode)) return false;
  // Most folders are no mount root, which statx tells without reading the mount table; a
  // kernel that cannot tell gets the table read for every folder.
  if ((stx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0 &&
      (stx.stx_attributes & STATX_ATTR_MOUNT_ROOT) == 0)
    return false;
  return IsBindMountPoint(path);
}

bool IsHardLink(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink > 1;
}

bool IsSymbolicLinkFile(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

}  // namespace pelcrow::platform
