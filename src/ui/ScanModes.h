// The comparison modes as the window groups them: the file modes (content, name, music tags),
// the mail modes and the photo library.
#pragma once

#include <cstdint>

#include "settings/PcwSettings.h"

namespace pelcrow::ui {

inline bool IsFileModeValue(std::uint8_t mode) { return IsFileComparisonMode(mode); }
inline bool IsMailModeValue(std::uint8_t mode) { return mode == cmEmails || mode == cmContacts; }
// File modes, mail modes and the photo mode each have their own lists and tree.
inline int ModeFamily(std::uint8_t mode) { return IsFileModeValue(mode) ? 0 : IsMailModeValue(mode) ? 1 : 2; }

// The current mode, from the settings.
inline bool IsFileMode() { return IsFileModeValue(Settings.ComparisonMode()); }
inline bool IsMailMode() { return IsMailModeValue(Settings.ComparisonMode()); }
inline bool IsMusicMode() { return Settings.ComparisonMode() == cmMusicTags; }
// The first list holds the master folders, the second the search range.
inline bool IsMasterMode() { return Settings.MasterSelectMode && IsFileMode(); }

}  // namespace pelcrow::ui
