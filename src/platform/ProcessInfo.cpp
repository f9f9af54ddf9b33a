#include "platform/ProcessInfo.h"

#include <unistd.h>

namespace pelcrow::platform {

std::string ExecutablePath() {
  std::string target(256, '\0');
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", target.data(), target.size());
    if (n < 0) return {};
    // A full buffer may have cut the path short: try again with more room.
    if (static_cast<std::size_t>(n) < target.size()) {
      target.resize(static_cast<std::size_t>(n));
      return target;
    }
    if (target.size() >= (1u << 16)) return {};
    target.resize(target.size() * 2);
  }
}

}  // namespace pelcrow::platform
