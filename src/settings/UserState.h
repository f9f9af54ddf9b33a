// The user's last choices in the main window, kept in the "User" section of the settings file:
// the mask fields, the folder lists of each list kind, the size limits, the move folder and the
// window's place. The window reads and writes the part that belongs to its current mode; the
// rest of the section is kept as it was.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pelcrow {

class TIniFile;

inline constexpr const char* kUserSection = "User";

// Which pair of folder lists the current mode shows.
enum TUserListKind : std::uint8_t { ulkIncludeExclude, ulkMasterSearch, ulkIncludeExcludePhoto, ulkMasterSearchPhoto };

struct TUserState {
  std::string IncludeMasks = "*.*";
  std::string ExcludeMasks;
  std::string IncludeMusicMasks;  // defaults to the music field text
  std::string ExcludeMusicMasks;
  // First and second list for each TUserListKind.
  std::vector<std::string> Lists[4][2];
  // The reference folders of the file modes.
  std::vector<std::string> ReferenceFolders;
  bool CheckMin = false;
  bool CheckMax = false;
  double MinValue = 0;
  double MaxValue = 0;
  std::int32_t MinSize = 1;  // unit index 0..3 = B, KB, MB, GB
  std::int32_t MaxSize = 1;
  std::string PathToMove;
  std::optional<std::int32_t> MainFormTop, MainFormLeft, MainFormWidth, MainFormHeight;
  // The result columns the user gave a width, as "kind:width,..." (the grid reads it).
  std::string GridColumnWidths;

  TUserState();
};

// Missing keys give the defaults; a list that cannot be read is empty; unit indexes outside 0..3
// give KB.
TUserState ReadUserState(const TIniFile& ini);
// Writes every key; the window's place only when it is set.
void WriteUserState(TIniFile& ini, const TUserState& state);

// The settings file's "User" section; a missing file gives the defaults.
TUserState LoadUserStateFile(const std::string& settingsFile);
// Rewrites only the "User" section of the settings file. Returns 0 or an errno value.
int SaveUserStateFile(const std::string& settingsFile, const TUserState& state);

// A size limit in bytes: the value (truncated, at least 0) times 1024 to the power of the unit.
std::int64_t SizeLimitBytes(double value, int unitIndex);

}  // namespace pelcrow
