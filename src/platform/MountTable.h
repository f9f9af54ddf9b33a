// The mounts this process sees (/proc/self/mountinfo): which volume a path lies on, where that
// volume's top folder is, and whether a mount is a bind mount.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pelcrow::platform {

struct TMountEntry {
  std::string MountPoint;    // absolute, escapes decoded
  std::string Root;          // folder of the mounted file system shown here; "/" for all of it
  std::string FsType;        // "ext4", "tmpfs", "fuse.sshfs" ...
  std::string Source;        // "/dev/sda1", "server:/export" ...
  std::string SuperOptions;  // "rw,subvol=/@home" ...
  std::uint32_t Major = 0;
  std::uint32_t Minor = 0;
};

// In the kernel's order (a later mount hides an earlier one on the same point); empty on error.
std::vector<TMountEntry> ReadMountTable();
std::vector<TMountEntry> ParseMountInfo(std::string_view text);

// Index of the mount that holds resolvedPath (absolute, symbolic links resolved): the longest
// mount point equal to it or above it, the later one of equal points. -1 when none matches.
int FindMountOf(const std::vector<TMountEntry>& table, std::string_view resolvedPath);

// True when the mount shows a part of a file system, or all of one that an earlier mount
// already shows: a bind mount. A btrfs subvolume mounted by name is not one.
bool IsBindMount(const std::vector<TMountEntry>& table, std::size_t index);

// "a" is "b" or a folder above it, compared by whole components.
bool IsPathOrParentOf(std::string_view parent, std::string_view path);

}  // namespace pelcrow::platform
