// Reading date-times back from the texts FormatDateTime writes: the same tokens (see
// FormatSettings.h), so a text written with a format and a settings record reads back with them.
// Numbers take up to their field's width of digits, so formats without separators ("yyyymmdd")
// read too; names and am/pm markers compare without regard to ASCII case; a time without its
// am/pm marker is a 24-hour time; a blank in the format stands for any run of blanks.
#pragma once

#include <string_view>

#include "base/DateTime.h"
#include "base/FormatSettings.h"

namespace pelcrow {

// The whole text must follow the format (blanks at either end are allowed). Fields the format does
// not name are 1 January 1970, midnight. A two-digit year lies within 50 years after the current
// one. False for a text that does not follow the format or a date that does not exist.
bool TryParseDateTime(std::string_view text, std::string_view format, const TFormatSettings& settings,
                      TDateTime& out);

// The short date, optionally followed by a blank and the long time: the form of date-times in
// list files (the time is left out when it is midnight).
bool TryParseShortDateLongTime(std::string_view text, const TFormatSettings& settings, TDateTime& out);
std::string FormatShortDateLongTime(TDateTime value, const TFormatSettings& settings);

}  // namespace pelcrow
