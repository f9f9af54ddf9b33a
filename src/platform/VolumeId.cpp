#include "platform/VolumeId.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>

#include <cctype>
#include <cstdio>
#include <cstring>

namespace pelcrow::platform {

namespace {

constexpr unsigned long kExt4Magic = 0xEF53;
constexpr unsigned long kBtrfsMagic = 0x9123683E;

bool SafeKeyText(const char* s) {
  if (!*s) return false;
  for (; *s; ++s)
    if (!(std::isalnum(static_cast<unsigned char>(*s)) || *s == '-')) return false;
  return true;
}

// The by-uuid link whose block device is `device` (udev's names; absent in many containers).
std::string UuidOfBlockDevice(std::uint64_t device) {
  const char* folder = "/dev/disk/by-uuid";
  DIR* d = ::opendir(folder);
  if (!d) return {};
  std::string found;
  while (struct dirent* e = ::readdir(d)) {
    if (e->d_name[0] == '.' || !SafeKeyText(e->d_name)) continue;
    struct stat st {};
    const std::string link = std::string(folder) + "/" + e->d_name;
    if (::stat(link.c_str(), &st) == 0 && S_ISBLK(st.st_mode) && static_cast<std::uint64_t>(st.st_rdev) == device) {
      found = e->d_name;
      break;
    }
  }
  ::closedir(d);
  return found;
}

}  // namespace

std::string VolumeKey(std::uint64_t device, const std::string& pathOnIt) {
  if (std::string uuid = UuidOfBlockDevice(device); !uuid.empty()) return "uuid-" + uuid;
  struct statfs fs {};
  if (!pathOnIt.empty() && ::statfs(pathOnIt.c_str(), &fs) == 0) {
    const auto type = static_cast<unsigned long>(fs.f_type);
    int id[2];
    std::memcpy(id, &fs.f_fsid, sizeof id);
    if ((type == kExt4Magic || type == kBtrfsMagic) && (id[0] != 0 || id[1] != 0)) {
      char text[64];
      std::snprintf(text, sizeof text, "fsid-%lx-%08x%08x", type, static_cast<unsigned>(id[0]),
                    static_cast<unsigned>(id[1]));
      return text;
    }
  }
  const auto dev = static_cast<dev_t>(device);
  return "dev-" + std::to_string(major(dev)) + "-" + std::to_string(minor(dev));
}

}  // namespace pelcrow::platform
