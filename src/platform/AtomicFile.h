// Replacing a file whole without ever leaving a truncated or half-written one: the bytes go to a
// temporary file beside the target, are flushed to disk, and the temporary file is renamed over
// the target. A reader sees the old file or the new one, never a mix; after a crash or a full disk
// the old file is still there.
#pragma once

#include <string>
#include <string_view>

namespace pelcrow {

// Creates the target's folder (and parents) when missing. A symbolic link at path is kept: the
// file it points to is the one replaced. An existing file's permission bits are kept; a new file
// gets 0666 less the umask. Returns 0 or an errno value; on failure no temporary file is left.
int WriteFileAtomically(const std::string& path, std::string_view bytes);

}  // namespace pelcrow
