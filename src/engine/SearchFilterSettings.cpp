#include "engine/SearchFilterSettings.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "base/FormatSettings.h"
#include "base/ParseDateTime.h"
#include "localization/TranslateText.h"

namespace pelcrow {

namespace {

constexpr const char* kSection = "SearchFilterFiles";

// Midnight of the local day.
TDateTime Day(TDateTime t) {
  TDateTimeParts p = t.ToLocal();
  p.Hour = p.Minute = p.Second = p.MilliSecond = 0;
  TDateTime d;
  return TDateTime::FromLocal(p, d) ? d : t;
}

TDateTime YearBefore(TDateTime t) {
  TDateTimeParts p = t.ToLocal();
  p.Year -= 1;
  p.Hour = p.Minute = p.Second = p.MilliSecond = 0;
  TDateTime d;
  if (TDateTime::FromLocal(p, d)) return d;
  p.Day = 28;  // 29 February
  return TDateTime::FromLocal(p, d) ? d : t;
}

TDateTime ReadDate(const TIniFile& ini, const char* key, TDateTime fallback) {
  const std::optional<std::string> v = ini.ReadValue(kSection, key);
  TDateTime d;
  if (v && TryParseDateTime(*v, GetFormatSettings()->ShortDateFormat, *GetFormatSettings(), d)) return d;
  return fallback;
}

std::string DateText(TDateTime t) { return FormatDateTime(GetFormatSettings()->ShortDateFormat, t); }

}  // namespace

TSearchFilterFiles DefaultSearchFilter(TDateTime Now) {
  TSearchFilterFiles f;
  f.fStartDate = YearBefore(Now);
  f.fEndDate = Day(Now);
  f.fFileSize = 1;
  f.fSizeMeasure = ssmKBytes;
  return f;
}

TSearchFilterFiles ReadSearchFilter(const TIniFile& Ini, TDateTime Now) {
  TSearchFilterFiles f = DefaultSearchFilter(Now);
  f.fFileNamePattern = Ini.ReadString(kSection, "FileNamePattern", "*");
  if (f.fFileNamePattern.empty()) f.fFileNamePattern = "*";
  f.fSearchByDate = Ini.ReadBool(kSection, "SearchByDate", false);
  f.fStartDate = ReadDate(Ini, "StartDate", f.fStartDate);
  f.fEndDate = ReadDate(Ini, "EndDate", f.fEndDate);
  f.fSearchBySize = Ini.ReadBool(kSection, "SearchBySize", false);
  const int condition = Ini.ReadInteger(kSection, "SizeCondition", 0);
  f.fSizeCondition = condition >= sscEqual && condition <= sscLessThan ? static_cast<TSizeSearchCondition>(condition) : sscEqual;
  f.fFileSize = Ini.ReadInteger(kSection, "FileSize", 1);
  const int measure = Ini.ReadInteger(kSection, "SizeMeathure", 1);
  f.fSizeMeasure = measure >= ssmBytes && measure <= ssmGBytes ? static_cast<TSizeSearchMeathure>(measure) : ssmKBytes;
  f.fSearchByDupGroup = Ini.ReadBool(kSection, "SearchByDupGroup", false);
  f.SetDupGroupPattern(Ini.ReadString(kSection, "DupGroupPattern", ""));
  return f;
}

void WriteSearchFilter(TIniFile& Ini, const TSearchFilterFiles& f) {
  Ini.WriteString(kSection, "FileNamePattern", f.fFileNamePattern);
  Ini.WriteBool(kSection, "SearchByDate", f.fSearchByDate);
  Ini.WriteString(kSection, "StartDate", DateText(f.fStartDate));
  Ini.WriteString(kSection, "EndDate", DateText(f.fEndDate));
  Ini.WriteBool(kSection, "SearchBySize", f.fSearchBySize);
  Ini.WriteInteger(kSection, "SizeCondition", f.fSizeCondition);
  // The file keeps a 32-bit value; larger sizes are written at its limit.
  Ini.WriteInteger(kSection, "FileSize", static_cast<std::int32_t>(std::min<std::int64_t>(f.fFileSize, INT32_MAX)));
  Ini.WriteInteger(kSection, "SizeMeathure", f.fSizeMeasure);
  Ini.WriteBool(kSection, "SearchByDupGroup", f.fSearchByDupGroup);
  Ini.WriteString(kSection, "DupGroupPattern", f.fDupGroupPattern);
}

int SaveSearchFilterFiles(const std::string& SettingsFile) {
  if (SettingsFile.empty()) return ENOENT;
  TIniFile ini;
  // The other sections must survive; a file that cannot be read is not overwritten.
  if (int e = ini.LoadFromFile(SettingsFile)) return e;
  WriteSearchFilter(ini, SearchFilterFiles);
  return ini.UpdateFile(SettingsFile);
}

std::string SearchFilterLabel(const TSearchFilterFiles& f) {
  std::string s = TranslateText("Filter by:") + " '" + f.fFileNamePattern + "'";
  if (f.fSearchByDate)
    s += "; " + TranslateText("Date between:") + " " + DateText(f.fStartDate) + " " + TranslateText("and") + " " +
         DateText(f.fEndDate);
  if (f.fSearchBySize) {
    static const char* const kConditions[] = {"equal", "larger than", "less than"};
    static const char* const kUnits[] = {"B", "KB", "MB", "GB"};
    s += "; " + TranslateText("File size:") + " " + TranslateText(kConditions[f.fSizeCondition]) + " " +
         std::to_string(f.fFileSize) + " " + TranslateText(kUnits[f.fSizeMeasure]);
  }
  if (f.fSearchByDupGroup) s += "; " + TranslateText("Dup. Group:") + " " + f.fDupGroupPattern;
  return s;
}

}  // namespace pelcrow
