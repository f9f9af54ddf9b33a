// A file's place in a media library's playlist, remembered when processing takes the file out of
// the library so that undo can put it back there.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pelcrow {

// The library a remembered playlist belongs to.
enum TPlayListOrigin : std::uint8_t { ploWMP, ploITunes, ploIPhoto };

struct TPlaylistInfo {
  std::string Name;
  std::int32_t Position = 0;
  TPlayListOrigin Origin = ploWMP;
};

using TPlaylistList = std::vector<TPlaylistInfo>;

}  // namespace pelcrow
