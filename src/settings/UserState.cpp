#include "settings/UserState.h"

#include <cerrno>
#include <cmath>
#include <limits>

#include "settings/FileMasks.h"
#include "settings/IniFile.h"

namespace pelcrow {
namespace {

constexpr const char* kListKeys[4][2] = {
    {"IncludePaths", "ExcludePaths"},
    {"MasterPaths", "SearchPaths"},
    {"IncludePathsPhoto", "ExcludePathsPhoto"},
    {"MasterPathsPhoto", "SearchPathsPhoto"},
};

std::int32_t UnitIndex(const TIniFile& ini, const char* key) {
  const std::int32_t v = ini.ReadInteger(kUserSection, key, 1);
  return v >= 0 && v <= 3 ? v : 1;
}

double SizeValue(const TIniFile& ini, const char* key) {
  const double v = ini.ReadFloat(kUserSection, key, 0);
  return std::isfinite(v) && v >= 0 ? v : 0;
}

std::optional<std::int32_t> OptionalInt(const TIniFile& ini, const char* key) {
  if (!ini.ValueExists(kUserSection, key)) return std::nullopt;
  return ini.ReadInteger(kUserSection, key, 0);
}

}  // namespace

TUserState::TUserState() : IncludeMusicMasks(DefaultMusicMaskField()) {}

TUserState ReadUserState(const TIniFile& ini) {
  TUserState s;
  s.IncludeMasks = ini.ReadString(kUserSection, "IncludeMasks", s.IncludeMasks);
  s.ExcludeMasks = ini.ReadString(kUserSection, "ExcludeMasks", s.ExcludeMasks);
  s.IncludeMusicMasks = ini.ReadString(kUserSection, "IncludeMusicMasks", s.IncludeMusicMasks);
  s.ExcludeMusicMasks = ini.ReadString(kUserSection, "ExcludeMusicMasks", s.ExcludeMusicMasks);
  for (int k = 0; k < 4; ++k) {
    for (int i = 0; i < 2; ++i) {
      if (auto list = ini.ReadTextList(kUserSection, kListKeys[k][i])) {
        for (std::string& e : *list)
          if (!e.empty()) s.Lists[k][i].push_back(std::move(e));
      }
    }
  }
  if (auto list = ini.ReadTextList(kUserSection, "ReferenceFolders"))
    for (std::string& e : *list)
      if (!e.empty()) s.ReferenceFolders.push_back(std::move(e));
  s.CheckMin = ini.ReadBool(kUserSection, "CheckMin", false);
  s.CheckMax = ini.ReadBool(kUserSection, "CheckMax", false);
  s.MinValue = SizeValue(ini, "MinValue");
  s.MaxValue = SizeValue(ini, "MaxValue");
  s.MinSize = UnitIndex(ini, "MinSize");
  s.MaxSize = UnitIndex(ini, "MaxSize");
  s.PathToMove = ini.ReadString(kUserSection, "PathToMove", "");
  s.MainFormTop = OptionalInt(ini, "MainFormTop");
  s.MainFormLeft = OptionalInt(ini, "MainFormLeft");
  s.MainFormWidth = OptionalInt(ini, "MainFormWidth");
  s.MainFormHeight = OptionalInt(ini, "MainFormHeight");
  s.GridColumnWidths = ini.ReadString(kUserSection, "GridColumnWidths", "");
  return s;
}

void WriteUserState(TIniFile& ini, const TUserState& s) {
  ini.WriteString(kUserSection, "IncludeMasks", s.IncludeMasks);
  ini.WriteString(kUserSection, "ExcludeMasks", s.ExcludeMasks);
  ini.WriteString(kUserSection, "IncludeMusicMasks", s.IncludeMusicMasks);
  ini.WriteString(kUserSection, "ExcludeMusicMasks", s.ExcludeMusicMasks);
  for (int k = 0; k < 4; ++k) {
    for (int i = 0; i < 2; ++i) ini.WriteTextList(kUserSection, kListKeys[k][i], s.Lists[k][i]);
  }
  ini.WriteTextList(kUserSection, "ReferenceFolders", s.ReferenceFolders);
  ini.WriteBool(kUserSection, "CheckMin", s.CheckMin);
  ini.WriteBool(kUserSection, "CheckMax", s.CheckMax);
  ini.WriteFloat(kUserSection, "MinValue", s.MinValue);
  ini.WriteFloat(kUserSection, "MaxValue", s.MaxValue);
  ini.WriteInteger(kUserSection, "MinSize", s.MinSize);
  ini.WriteInteger(kUserSection, "MaxSize", s.MaxSize);
  ini.WriteString(kUserSection, "PathToMove", s.PathToMove);
  if (s.MainFormTop) ini.WriteInteger(kUserSection, "MainFormTop", *s.MainFormTop);
  if (s.MainFormLeft) ini.WriteInteger(kUserSection, "MainFormLeft", *s.MainFormLeft);
  if (s.MainFormWidth) ini.WriteInteger(kUserSection, "MainFormWidth", *s.MainFormWidth);
  if (s.MainFormHeight) ini.WriteInteger(kUserSection, "MainFormHeight", *s.MainFormHeight);
  ini.WriteString(kUserSection, "GridColumnWidths", s.GridColumnWidths);
}

TUserState LoadUserStateFile(const std::string& settingsFile) {
  TIniFile ini;
  if (!settingsFile.empty()) ini.LoadFromFile(settingsFile);
  return ReadUserState(ini);
}

int SaveUserStateFile(const std::string& settingsFile, const TUserState& state) {
  if (settingsFile.empty()) return ENOENT;
  TIniFile ini;
  // Read first: the other sections belong to the settings record and must survive; a file that
  // exists but cannot be read is not overwritten.
  if (int e = ini.LoadFromFile(settingsFile)) return e;
  WriteUserState(ini, state);
  return ini.UpdateFile(settingsFile);
}

std::int64_t SizeLimitBytes(double value, int unitIndex) {
  if (!(value > 0) || unitIndex < 0 || unitIndex > 3) return 0;
  const double bytes = std::trunc(value) * std::pow(1024.0, unitIndex);
  if (bytes >= static_cast<double>(std::numeric_limits<std::int64_t>::max())) return std::numeric_limits<std::int64_t>::max();
  return static_cast<std::int64_t>(bytes);
}

}  // namespace pelcrow
