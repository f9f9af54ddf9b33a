// Paths as text: the few operations every layer needs, written once. Paths are the operating
// system's bytes; nothing here touches the disk.
#pragma once

#include <string>
#include <string_view>

namespace pelcrow {

// The Windows extended-length prefixes "\\?\" and "\\?\UNC\" removed (a list written elsewhere may
// carry them); the UNC form keeps its "\\".
std::string DeleteExtendedPrefix(std::string_view Path);
// Folder + "/" + name, without doubling a trailing "/".
std::string JoinPath(std::string_view Folder, std::string_view Name);
// The folder part ("." for a bare name, "/" for a file at the root).
std::string ParentOf(std::string_view Path);
// The last component.
std::string BaseOf(std::string_view Path);

}  // namespace pelcrow
