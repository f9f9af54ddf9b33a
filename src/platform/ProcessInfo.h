// Facts about this process that only the operating system knows.
#pragma once

#include <string>

namespace pelcrow::platform {

// The full path of the running program (/proc/self/exe); empty when the system does not say.
std::string ExecutablePath();
// The working folder; "/" when it cannot be read (it was removed).
std::string CurrentDirectory();
// Standard error (or another descriptor) is a terminal: progress is worth drawing there.
bool IsTerminal(int fd);
// The path with every symbolic link resolved; empty when it does not exist.
std::string ResolvedPath(const std::string& path);
// 0 when this process may list the folder and enter it, else the errno that says why not.
int FolderAccessError(const std::string& path);

}  // namespace pelcrow::platform
