// Probes for the file-system objects that a scan treats specially. Each answers false on any
// error and never follows a link further than it says.
#pragma once

#include <string>

namespace pelcrow::platform {

// A symbolic link to a folder, or a folder on which a bind mount shows another folder (or a
// file system already shown elsewhere). A plain mount point of a volume is not one, nor is "/".
bool IsJunction(const std::string& path);

// A regular file (after following links) with more than one name.
bool IsHardLink(const std::string& path);

// The path itself is a symbolic link, to a file or a folder, dangling or not.
bool IsSymbolicLinkFile(const std::string& path);

}  // namespace pelcrow::platform
