// Reading a small file whole (configuration and library files).
#pragma once

#include <cstdint>
#include <string>

namespace pelcrow::platform {

// 0 or an errno value; a file larger than Limit bytes gives EFBIG.
int ReadWholeFile(const std::string& Path, std::string& Text, std::int64_t Limit = 512LL << 20);

}  // namespace pelcrow::platform
