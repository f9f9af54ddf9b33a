// The columns of the result list per mode and the text of each cell: one definition for the grid,
// the exports and the command-line report, so they always show the same thing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/FileItem.h"

namespace pelcrow {

enum TResultColumn : int {
  rcCheck,
  rcName,
  rcPath,
  rcDupGroup,
  rcSize,
  rcModified,
  rcTag,  // + tag index 0..7: Title, Artist, Album, Track, Year, Genre, Duration, Bit rate
  rcSubject = rcTag + 8,
  rcFrom,
  rcTo,
  rcReceived,
  rcFullName,
  rcEmail1,
  rcEmail2,
  rcEmail3,
  rcSimilarity,  // similar-pictures mode: percent like the group's first picture
};

// The grid's columns for a mode, the check column first. ShownTags: bit N shows tag column N in
// the music mode.
std::vector<int> ResultColumnsFor(std::uint8_t Mode, std::uint8_t ShownTags);
// The column's caption, untranslated ("" for the check column).
const char* ResultColumnCaption(int Column);
// The cell's text as the grid shows it.
std::string ResultCellText(const TFileItem& Item, int Column);

}  // namespace pelcrow
