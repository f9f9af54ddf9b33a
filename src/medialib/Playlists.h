// A file's place in a media library's playlist, remembered when processing takes the file out of
// the library so that undo can put it back there.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace pelcrow {

// The library a remembered playlist belongs to.
enum TPlayListOrigin : std::uint8_t { ploWMP, ploITunes, ploIPhoto };

struct TPlaylistInfo {
  TPlaylistInfo() = default;
  TPlaylistInfo(std::string AName, std::int32_t APosition, TPlayListOrigin AOrigin, std::string AReplacedBy = {})
      : Name(std::move(AName)), Position(APosition), Origin(AOrigin), ReplacedBy(std::move(AReplacedBy)) {}

  std::string Name;
  std::int32_t Position = 0;
  TPlayListOrigin Origin = ploWMP;
  // The kept copy whose entry took this one's place (re-pointing instead of dropping); empty when
  // the entry was dropped.
  std::string ReplacedBy;
};

using TPlaylistList = std::vector<TPlaylistInfo>;

}  // namespace pelcrow
