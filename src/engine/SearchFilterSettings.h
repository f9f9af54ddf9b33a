// The search criteria across runs (the settings file's "SearchFilterFiles" section) and the text
// the filter bar shows for them.
#pragma once

#include <string>

#include "engine/SearchFilter.h"
#include "settings/IniFile.h"

namespace pelcrow {

// The criteria of a first run: any name, dates from a year ago to today, 1 KB.
TSearchFilterFiles DefaultSearchFilter(TDateTime Now);
// Missing or unreadable values keep the defaults.
TSearchFilterFiles ReadSearchFilter(const TIniFile& Ini, TDateTime Now);
void WriteSearchFilter(TIniFile& Ini, const TSearchFilterFiles& Filter);
// The global criteria into the settings file (only their section is rewritten).
int SaveSearchFilterFiles(const std::string& SettingsFile);

// "Filter by: '*.jpg'; Date between: 1/2/2024 and 3/4/2024; File size: larger than 5 MB;
// Dup. Group: 1-5", every word translated, dates in the short date format.
std::string SearchFilterLabel(const TSearchFilterFiles& Filter);

}  // namespace pelcrow
