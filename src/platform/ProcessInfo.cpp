#include "platform/ProcessInfo.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

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

std::string CurrentDirectory() {
  std::unique_ptr<char, decltype(&std::free)> cwd(::getcwd(nullptr, 0), &std::free);
  return cwd ? std::string(cwd.get()) : std::string("/");
}

bool IsTerminal(int fd) { return ::isatty(fd) != 0; }

std::string ResolvedPath(const std::string& path) {
  std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
  return real ? std::string(real.get()) : std::string();
}

int FolderAccessError(const std::string& path) { return ::access(path.c_str(), R_OK | X_OK) == 0 ? 0 : errno; }

}  // namespace pelcrow::platform
