// The ID3v1 genre list with the Winamp extensions (148 names), shared by the ID3v1 and MP4 readers.
#pragma once

#include <cstddef>
#include <string_view>

namespace pelcrow {

inline constexpr std::size_t kGenreCount = 148;

// The name for a genre number; empty for kGenreCount and above.
std::string_view GenreName(std::size_t index);

}  // namespace pelcrow
