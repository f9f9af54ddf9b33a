// The CRC-32 of a whole file, read in large blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stop_token>
#include <string>

namespace pelcrow {

// Returns 0 and sets crc, or returns the errno value of the failed open or read (ECANCELED when
// stopped). The CRC32 tool reads in the blocks its users know from the other platform.
int ComputeFileCRC32(const std::string& path, std::uint32_t& crc, const std::stop_token& stop = {},
                     std::size_t blockSize = std::size_t{1} << 20);

}  // namespace pelcrow
