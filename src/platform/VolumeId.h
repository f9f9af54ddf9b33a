// A name for the file system behind a device number that survives a remount where the system
// gives one: the UUID of its block device, or the file-system id that ext4 and btrfs derive from
// their UUID (btrfs: per subvolume). Otherwise the device number itself.
#pragma once

#include <cstdint>
#include <string>

namespace pelcrow::platform {

// pathOnIt is any path on that file system (statfs needs one). The key holds only [A-Za-z0-9-].
std::string VolumeKey(std::uint64_t device, const std::string& pathOnIt);

}  // namespace pelcrow::platform
