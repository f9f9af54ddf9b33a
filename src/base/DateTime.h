// One small value type for date-times: a point in time with nanosecond resolution.
// Shown and parsed as local time; ordered and stored as a point in time, so daylight-saving
// changes never reorder "oldest" and "newest".
#pragma once

#include <cstdint>
#include <string>

namespace pelcrow {

// Without TZ, the C library looks at /etc/localtime again on every local-time conversion (a
// system call per date of a million-row list). Programs call this once at start-up, before any
// thread runs: it names the zone file so the zone is read once.
void PrepareLocalTime();

struct TDateTimeParts {
  int Year = 1970, Month = 1, Day = 1, Hour = 0, Minute = 0, Second = 0, MilliSecond = 0;
};

class TDateTime {
 public:
  constexpr TDateTime() = default;
  static constexpr TDateTime FromUnixNanoseconds(std::int64_t ns) { return TDateTime(ns); }
  // Seconds a time stamp can hold (nanoseconds in 64 bits: the years 1677 to 2262).
  static constexpr bool FitsUnixSeconds(std::int64_t seconds) {
    return seconds > -9223372036LL && seconds < 9223372036LL;
  }
  static TDateTime FromUnix(std::int64_t seconds, std::int64_t nanoseconds = 0) {
    return TDateTime(seconds * 1000000000LL + nanoseconds);
  }
  static TDateTime Now();
  // Local-time fields to a point in time; false when the fields do not form a date.
  static bool FromLocal(const TDateTimeParts& parts, TDateTime& out);

  constexpr std::int64_t UnixNanoseconds() const { return fNs; }
  std::int64_t UnixSeconds() const;
  TDateTimeParts ToLocal() const;
  // "yyyy-mm-dd hh:nn:ss" in local time: the neutral format of logs and tests.
  std::string ToIsoText() const;

  constexpr bool IsZero() const { return fNs == 0; }
  friend constexpr auto operator<=>(TDateTime a, TDateTime b) = default;

 private:
  constexpr explicit TDateTime(std::int64_t ns) : fNs(ns) {}
  std::int64_t fNs = 0;
};

}  // namespace pelcrow
