// The CRC-32 of a whole file, read in large blocks.
#pragma once

#include <cstdint>
#include <stop_token>
#include <string>

namespace pelcrow {

// Returns 0 and sets crc, or returns the errno value of the failed open or read.
int ComputeFileCRC32(const std::string& path, std::uint32_t& crc, const std::stop_token& stop = {});

}  // namespace pelcrow
