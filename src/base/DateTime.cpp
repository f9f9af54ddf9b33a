#include "base/DateTime.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace pelcrow {

void PrepareLocalTime() {
  if (!std::getenv("TZ")) ::setenv("TZ", ":/etc/localtime", 0);
  ::tzset();
}

TDateTime TDateTime::Now() {
  auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                std::chrono::system_clock::now().time_since_epoch())
                .count();
  return TDateTime(static_cast<std::int64_t>(ns));
}

std::int64_t TDateTime::UnixSeconds() const {
  // Floor division so that times before 1970 still split into seconds and a positive remainder.
  std::int64_t s = fNs / 1000000000LL;
  if (fNs % 1000000000LL < 0) --s;
  return s;
}

TDateTimeParts TDateTime::ToLocal() const {
  std::time_t t = static_cast<std::time_t>(UnixSeconds());
  std::tm tm{};
  localtime_r(&t, &tm);
  TDateTimeParts p;
  p.Year = tm.tm_year + 1900;
  p.Month = tm.tm_mon + 1;
  p.Day = tm.tm_mday;
  p.Hour = tm.tm_hour;
  p.Minute = tm.tm_min;
  p.Second = tm.tm_sec;
  p.MilliSecond = static_cast<int>((fNs - UnixSeconds() * 1000000000LL) / 1000000LL);
  return p;
}

bool TDateTime::FromLocal(const TDateTimeParts& p, TDateTime& out) {
  if (p.Month < 1 || p.Month > 12 || p.Day < 1 || p.Day > 31 || p.Hour < 0 || p.Hour > 23 ||
      p.Minute < 0 || p.Minute > 59 || p.Second < 0 || p.Second > 59 || p.MilliSecond < 0 ||
      p.MilliSecond > 999)
    return false;
  std::tm tm{};
  tm.tm_year = p.Year - 1900;
  tm.tm_mon = p.Month - 1;
  tm.tm_mday = p.Day;
  tm.tm_hour = p.Hour;
  tm.tm_min = p.Minute;
  tm.tm_sec = p.Second;
  tm.tm_isdst = -1;
  std::time_t t = mktime(&tm);
  // mktime normalises 31 February into March: such a date does not exist.
  if (tm.tm_mday != p.Day || tm.tm_mon != p.Month - 1) return false;
  // Nanoseconds since 1970 in 64 bits reach the years 1677 to 2262 only.
  if (t < -9223372035 || t > 9223372035) return false;
  out = FromUnix(static_cast<std::int64_t>(t), p.MilliSecond * 1000000LL);
  return true;
}

std::string TDateTime::ToIsoText() const {
  TDateTimeParts p = ToLocal();
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", p.Year, p.Month, p.Day, p.Hour,
                p.Minute, p.Second);
  return buf;
}

}  // namespace pelcrow
