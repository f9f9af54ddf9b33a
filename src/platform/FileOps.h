// The few file changes processing needs beyond copying and moving: the owner's write permission
// (what counts as "read-only" here) and symbolic links.
#pragma once

#include <string>

namespace pelcrow::platform {

// A file (not following a final link) whose owner has no write permission.
bool IsOwnerReadOnly(const std::string& path);
// Gives the owner write permission, keeping every other permission bit. Returns 0 or an errno.
int ClearOwnerReadOnly(const std::string& path);

// Creates a symbolic link at linkPath pointing to target; never replaces anything at linkPath.
// Returns 0 or an errno value.
int CreateSymbolicLink(const std::string& target, const std::string& linkPath);
// Whether this user may create symbolic links: on Linux always.
bool HasSymbolicLinkPrivilege();

}  // namespace pelcrow::platform
