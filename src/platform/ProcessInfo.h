// Facts about this process that only the operating system knows.
#pragma once

#include <string>

namespace pelcrow::platform {

// The full path of the running program (/proc/self/exe); empty when the system does not say.
std::string ExecutablePath();

}  // namespace pelcrow::platform
