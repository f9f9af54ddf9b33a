// The locale-dependent formats of the process: dates, times, number separators and the names of
// months and days. One record serves the whole program; the app fills it from the system locale
// at start-up, the CLI and the tests keep the fixed English defaults.
//
// Date-time formats use these tokens (letters are case-insensitive, as in the settings and list
// files written by earlier versions):
//   d dd          day of month, without / with leading zero
//   ddd dddd      short / long day name
//   ddddd dddddd  the short / long date format
//   m mm          month, or minutes when the token follows an hour token (hh:mm)
//   mmm mmmm      short / long month name
//   yy yyyy       two- / four-digit year (y counts as yy, yyy as yyyy)
//   h hh          hour; a 12-hour clock when the format holds am/pm, a/p or ampm
//   n nn          minutes
//   s ss          seconds
//   z zzz         milliseconds
//   t tt          the short / long time format
//   c             the short date format, a blank and the long time format
//   am/pm a/p     the literal markers; ampm gives TimeAMString / TimePMString
//   "..." '...'   literal text
// Every other character, the separators "/" and ":" included, is copied as it is: a locale's
// formats already carry its own separators.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <string_view>

#include "base/DateTime.h"

namespace pelcrow {

struct TFormatSettings {
  std::string ShortDateFormat = "M/d/yyyy";
  std::string LongDateFormat = "dddd, mmmm d, yyyy";
  std::string ShortTimeFormat = "h:nn AMPM";
  std::string LongTimeFormat = "h:nn:ss AMPM";
  std::string TimeAMString = "AM";
  std::string TimePMString = "PM";
  // Separators are texts: several locales group thousands with a multi-byte space.
  std::string DecimalSeparator = ".";
  std::string ThousandSeparator = ",";
  std::string ListSeparator = ",";
  std::array<std::string, 12> ShortMonthNames{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::array<std::string, 12> LongMonthNames{"January", "February", "March",     "April",
                                             "May",     "June",     "July",      "August",
                                             "September", "October", "November", "December"};
  // Sunday first.
  std::array<std::string, 7> ShortDayNames{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  std::array<std::string, 7> LongDayNames{"Sunday",   "Monday", "Tuesday", "Wednesday",
                                          "Thursday", "Friday", "Saturday"};
};

// The current record. Callers keep the pointer for as long as they format with it; a later
// SetFormatSettings never changes a record already handed out, so workers may format freely.
std::shared_ptr<const TFormatSettings> GetFormatSettings();
void SetFormatSettings(const TFormatSettings& settings);

// Formats a local date-time with the tokens above.
std::string FormatDateTime(std::string_view format, TDateTime value, const TFormatSettings& settings);
std::string FormatDateTime(std::string_view format, TDateTime value);

// Whole number with the thousand separator every three digits ("1,234,567").
std::string FormatThousands(long long value, const TFormatSettings& settings);
std::string FormatThousands(long long value);

// Turns a Unicode (CLDR) date-time pattern, the form the system locale reports ("M/d/yy",
// "dd.MM.yyyy", "HH:mm:ss", "h:mm:ss AP"), into the tokens above. Literal text is kept quoted.
std::string DateTimeFormatFromLocalePattern(std::string_view pattern);

}  // namespace pelcrow
