#include "platform/ReadOrder.h"

#include <fcntl.h>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <string_view>
#include <fstream>

namespace pelcrow::platform {

std::uint64_t FirstExtentOffset(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW);
  if (fd < 0) return 0;
  // The request and room for one extent after it, aligned for both.
  alignas(struct fiemap) unsigned char buffer[sizeof(struct fiemap) + sizeof(struct fiemap_extent)] = {};
  auto* map = reinterpret_cast<struct fiemap*>(buffer);
  map->fm_length = FIEMAP_MAX_OFFSET;
  map->fm_extent_count = 1;
  std::uint64_t offset = 0;
  if (::ioctl(fd, FS_IOC_FIEMAP, map) == 0 && map->fm_mapped_extents == 1) {
    struct fiemap_extent extent;
    std::memcpy(&extent, buffer + sizeof(struct fiemap), sizeof extent);
    if (!(extent.fe_flags & (FIEMAP_EXTENT_UNKNOWN | FIEMAP_EXTENT_DATA_INLINE))) offset = extent.fe_physical;
  }
  ::close(fd);
  return offset;
}

bool IsRotatingDevice(std::uint64_t device) {
  const auto dev = static_cast<dev_t>(device);
  const std::string base = "/sys/dev/block/" + std::to_string(major(dev)) + ":" + std::to_string(minor(dev));
  // Virtual disks (virtio, Xen) say "rotational" unless the host tells them otherwise, whatever
  // lies behind them; one reader there makes a scan wait on latency it could overlap.
  char target[PATH_MAX];
  const ssize_t n = ::readlink(base.c_str(), target, sizeof target - 1);
  if (n > 0) {
    const std::string_view t(target, static_cast<std::size_t>(n));
    if (t.find("/virtio") != std::string_view::npos || t.find("/block/xvd") != std::string_view::npos) return false;
  }
  for (const char* queue : {"/queue/rotational", "/../queue/rotational"}) {
    std::ifstream in(base + queue);
    int value = 0;
    if (in >> value) return value == 1;
  }
  return false;
}

}  // namespace pelcrow::platform
