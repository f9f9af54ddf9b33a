// Display texts for sizes, durations and dates, shared by the grid, the reports and the tools.
// All of them follow the process-wide format settings and the current language.
#pragma once

#include <cstdint>
#include <string>

namespace pelcrow {

// "1023 B", "1 KB" (whole KB, rounded down), "1.00 MB", "5.00 GB" (two decimals with the
// locale's decimal separator). Negative sizes are shown in bytes.
std::string FormatFileSize(std::int64_t size);

// The size of the file at path as FormatFileSize gives it, or "Unknown" (translated) when it is
// not a readable regular file.
std::string GetFileSizeText(const std::string& path);

// "m:ss" below an hour, "h:mm:ss" from an hour on; fractions of a second are cut off. Negative
// and not-a-number durations count as 0.
std::string FormatDuration(double seconds);

// The locale's short date format with a four-digit year: kept when it has "yyyy", every "yy"
// widened to "yyyy" when it has "yy", "dd.mm.yyyy" when it has no year. With withTime the
// format continues with " hh:nn:ss". Tokens as in base/FormatSettings.h.
std::string GetDisplayDateFormat(bool withTime = false);

// The size unit texts (" B", " KB", " MB", " GB") are translated once and kept; the main window
// calls this when it is created and after the settings dialog, as the language may have changed.
void RebuildFileSizeUnits();

}  // namespace pelcrow
