#include "localization/Formatting.h"


#include <array>
#include <cmath>
#include <cstdio>
#include <mutex>

#include "base/FormatSettings.h"
#include "localization/TranslateText.h"
#include "platform/FileSystem.h"

namespace pelcrow {

namespace {

enum TSizeUnit { suB, suKB, suMB, suGB };

struct TSizeUnits {
  std::mutex Lock;
  bool Built = false;
  std::array<std::string, 4> Texts;
};

TSizeUnits& SizeUnits() {
  static TSizeUnits units;
  return units;
}

void BuildUnits(TSizeUnits& u) {
  static constexpr std::array<const char*, 4> kUnits{"B", "KB", "MB", "GB"};
  for (std::size_t i = 0; i < kUnits.size(); ++i) u.Texts[i] = " " + TranslateText(kUnits[i]);
  u.Built = true;
}

std::string UnitText(TSizeUnit unit) {
  TSizeUnits& u = SizeUnits();
  std::lock_guard lock(u.Lock);
  if (!u.Built) BuildUnits(u);
  return u.Texts[unit];
}

std::string TwoDecimals(double value) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.2f", value);
  std::string text = buf;
  const std::string& sep = GetFormatSettings()->DecimalSeparator;
  if (std::size_t dot = text.find('.'); dot != std::string::npos) text.replace(dot, 1, sep);
  return text;
}

// printf("%2d") then blanks to zeros, the way the duration parts are padded.
std::string TwoDigits(long long value) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%2lld", value);
  std::string text = buf;
  for (char& c : text)
    if (c == ' ') c = '0';
  return text;
}

}  // namespace

std::string FormatFileSize(std::int64_t size) {
  if (size < 1024) return std::to_string(size) + UnitText(suB);
  if (size < 1048576) return std::to_string(size / 1024) + UnitText(suKB);
  if (size < 1073741824) return TwoDecimals(static_cast<double>(size) / 1048576.0) + UnitText(suMB);
  return TwoDecimals(static_cast<double>(size) / 1073741824.0) + UnitText(suGB);
}

std::string GetFileSizeText(const std::string& path) {
  std::int64_t size = 0;
  if (platform::ReadableFileSize(path, size) == 0) return FormatFileSize(size);
  return TranslateText("Unknown");
}

std::string FormatDuration(double seconds) {
  long long total = 0;
  // About 292 billion years fit; larger values are capped rather than overflowing.
  if (std::isfinite(seconds) && seconds > 0)
    total = seconds >= 9.2e18 ? 9200000000000000000LL : static_cast<long long>(seconds);
  const long long h = total / 3600;
  const long long rest = total % 3600;
  const long long m = rest / 60;
  const long long s = rest % 60;
  if (h != 0) return std::to_string(h) + ":" + TwoDigits(m) + ":" + TwoDigits(s);
  return std::to_string(m) + ":" + TwoDigits(s);
}

std::string GetDisplayDateFormat(bool withTime) {
  std::string format = GetFormatSettings()->ShortDateFormat;
  if (format.find("yyyy") == std::string::npos) {
    if (format.find("yy") != std::string::npos) {
      std::string widened;
      for (std::size_t i = 0; i < format.size();) {
        if (format.compare(i, 2, "yy") == 0) {
          widened += "yyyy";
          i += 2;
        } else {
          widened.push_back(format[i++]);
        }
      }
      format = std::move(widened);
    } else {
      format = "dd.mm.yyyy";
    }
  }
  if (withTime) format += " hh:nn:ss";
  return format;
}

void RebuildFileSizeUnits() {
  TSizeUnits& u = SizeUnits();
  std::lock_guard lock(u.Lock);
  BuildUnits(u);
}

}  // namespace pelcrow
