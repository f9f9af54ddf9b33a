// What the order and the number of reads may take from the system: where a file's data starts on
// its disk, and whether that disk seeks.
#pragma once

#include <cstdint>
#include <string>

namespace pelcrow::platform {

// The physical byte offset of the file's first extent (FIEMAP), or 0 when the file system does
// not say (tmpfs, network file systems, inline data, a file that cannot be opened).
std::uint64_t FirstExtentOffset(const std::string& path);

// True when the block device behind the file system of `device` reports itself rotating (a
// partition answers for its disk); false when it does not or cannot be found, and for virtual
// disks, whose flag says nothing about the storage behind them.
bool IsRotatingDevice(std::uint64_t device);

}  // namespace pelcrow::platform
