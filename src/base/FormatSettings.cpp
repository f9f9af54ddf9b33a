#include "base/FormatSettings.h"

#include <atomic>
#include <cstdio>

#include "base/FormatTokens.h"

namespace pelcrow {

namespace {

using format_tokens::HasAmPm;
using format_tokens::StartsWithNoCase;
using format_tokens::Upper;

std::atomic<std::shared_ptr<const TFormatSettings>>& CurrentSettings() {
  static std::atomic<std::shared_ptr<const TFormatSettings>> current{
      std::make_shared<const TFormatSettings>()};
  return current;
}

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }


// 0 = Sunday (Sakamoto's method, proleptic Gregorian calendar).
int DayOfWeek(int y, int m, int d) {
  static constexpr int kOffsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  if (m < 3) y -= 1;
  int w = (y + y / 4 - y / 100 + y / 400 + kOffsets[m - 1] + d) % 7;
  return w < 0 ? w + 7 : w;
}

void AppendNumber(std::string& out, int value, int width) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%0*d", width, value);
  out += buf;
}

void FormatInto(std::string& out, std::string_view f, const TDateTimeParts& p, int dayOfWeek,
                const TFormatSettings& s, int depth) {
  // A format that names itself (ddddd inside the short date format) must not recurse for ever.
  if (depth > 3) return;
  const bool twelveHour = HasAmPm(f);
  bool afterHour = false;
  std::size_t i = 0;
  while (i < f.size()) {
    const char c = f[i];
    if (c == '"' || c == '\'') {
      std::size_t end = f.find(c, i + 1);
      if (end == std::string_view::npos) end = f.size();
      out.append(f.substr(i + 1, end - i - 1));
      i = end < f.size() ? end + 1 : end;
      continue;
    }
    const char u = Upper(c);
    if (u == 'A') {
      const bool pm = p.Hour >= 12;
      if (StartsWithNoCase(f, i, "am/pm")) {
        out.append(f.substr(pm ? i + 3 : i, 2));
        i += 5;
      } else if (StartsWithNoCase(f, i, "a/p")) {
        out.push_back(f[pm ? i + 2 : i]);
        i += 3;
      } else if (StartsWithNoCase(f, i, "ampm")) {
        out += pm ? s.TimePMString : s.TimeAMString;
        i += 4;
      } else {
        out.push_back(c);
        ++i;
      }
      afterHour = false;
      continue;
    }
    if (std::string_view("DMYHNSZTC").find(u) == std::string_view::npos) {
      out.push_back(c);
      ++i;
      continue;
    }
    std::size_t count = 1;
    while (i + count < f.size() && Upper(f[i + count]) == u) ++count;
    i += count;
    bool hourToken = false;
    switch (u) {
      case 'D':
        if (count <= 2) {
          AppendNumber(out, p.Day, static_cast<int>(count));
        } else if (count == 3) {
          out += s.ShortDayNames[static_cast<std::size_t>(dayOfWeek)];
        } else if (count == 4) {
          out += s.LongDayNames[static_cast<std::size_t>(dayOfWeek)];
        } else if (count == 5) {
          FormatInto(out, s.ShortDateFormat, p, dayOfWeek, s, depth + 1);
        } else {
          FormatInto(out, s.LongDateFormat, p, dayOfWeek, s, depth + 1);
        }
        break;
      case 'M':
        if (afterHour && count <= 2) {
          AppendNumber(out, p.Minute, static_cast<int>(count));
        } else if (count <= 2) {
          AppendNumber(out, p.Month, static_cast<int>(count));
        } else if (count == 3) {
          out += s.ShortMonthNames[static_cast<std::size_t>(p.Month - 1)];
        } else {
          out += s.LongMonthNames[static_cast<std::size_t>(p.Month - 1)];
        }
        break;
      case 'Y':
        if (count <= 2) {
          AppendNumber(out, ((p.Year % 100) + 100) % 100, 2);
        } else {
          AppendNumber(out, p.Year, 4);
        }
        break;
      case 'H': {
        int h = p.Hour;
        if (twelveHour) {
          h %= 12;
          if (h == 0) h = 12;
        }
        AppendNumber(out, h, count >= 2 ? 2 : 1);
        hourToken = true;
        break;
      }
      case 'N':
        AppendNumber(out, p.Minute, count >= 2 ? 2 : 1);
        break;
      case 'S':
        AppendNumber(out, p.Second, count >= 2 ? 2 : 1);
        break;
      case 'Z':
        AppendNumber(out, p.MilliSecond, count >= 3 ? 3 : 1);
        break;
      case 'T':
        FormatInto(out, count >= 2 ? s.LongTimeFormat : s.ShortTimeFormat, p, dayOfWeek, s, depth + 1);
        break;
      case 'C':
        FormatInto(out, s.ShortDateFormat, p, dayOfWeek, s, depth + 1);
        out.push_back(' ');
        FormatInto(out, s.LongTimeFormat, p, dayOfWeek, s, depth + 1);
        break;
      default:
        break;
    }
    afterHour = hourToken;
  }
}

}  // namespace

std::shared_ptr<const TFormatSettings> GetFormatSettings() { return CurrentSettings().load(); }

void SetFormatSettings(const TFormatSettings& settings) {
  CurrentSettings().store(std::make_shared<const TFormatSettings>(settings));
}

std::string FormatDateTime(std::string_view format, TDateTime value, const TFormatSettings& settings) {
  const TDateTimeParts p = value.ToLocal();
  std::string out;
  out.reserve(format.size() + 8);
  FormatInto(out, format, p, DayOfWeek(p.Year, p.Month, p.Day), settings, 0);
  return out;
}

std::string FormatDateTime(std::string_view format, TDateTime value) {
  return FormatDateTime(format, value, *GetFormatSettings());
}

std::string FormatThousands(long long value, const TFormatSettings& settings) {
  // The magnitude as unsigned so that the most negative value has one too.
  unsigned long long magnitude =
      value < 0 ? 0ULL - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
  const std::string digits = std::to_string(magnitude);
  std::string out;
  if (value < 0) out.push_back('-');
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += settings.ThousandSeparator;
    out.push_back(digits[i]);
  }
  return out;
}

std::string FormatThousands(long long value) { return FormatThousands(value, *GetFormatSettings()); }

std::string DateTimeFormatFromLocalePattern(std::string_view pattern) {
  std::string out;
  std::string literal;  // pending literal text, written quoted when it holds letters
  auto flushLiteral = [&] {
    if (literal.empty()) return;
    bool letters = false;
    for (char c : literal)
      if (IsLetter(c)) letters = true;
    if (letters) {
      const char q = literal.find('"') == std::string::npos ? '"' : '\'';
      out.push_back(q);
      out += literal;
      out.push_back(q);
    } else {
      out += literal;
    }
    literal.clear();
  };
  auto token = [&](std::string_view t) {
    flushLiteral();
    out += t;
  };

  std::size_t i = 0;
  while (i < pattern.size()) {
    const char c = pattern[i];
    if (c == '\'') {
      // '' is a quote; 'text' is literal text in which '' is a quote.
      if (i + 1 < pattern.size() && pattern[i + 1] == '\'') {
        literal.push_back('\'');
        i += 2;
        continue;
      }
      ++i;
      while (i < pattern.size()) {
        if (pattern[i] == '\'') {
          if (i + 1 < pattern.size() && pattern[i + 1] == '\'') {
            literal.push_back('\'');
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        literal.push_back(pattern[i++]);
      }
      continue;
    }
    if (!IsLetter(c)) {
      literal.push_back(c);
      ++i;
      continue;
    }
    std::size_t count = 1;
    while (i + count < pattern.size() && pattern[i + count] == c) ++count;
    switch (c) {
      case 'd':
        token(count == 1 ? "d" : count == 2 ? "dd" : count == 3 ? "ddd" : "dddd");
        break;
      case 'E':
      case 'c':
        token(count >= 4 ? "dddd" : "ddd");
        break;
      case 'M':
      case 'L':
        token(count == 1 ? "m" : count == 2 ? "mm" : count == 3 ? "mmm" : "mmmm");
        break;
      case 'y':
        token(count == 2 ? "yy" : "yyyy");
        break;
      case 'h':
      case 'H':
        token(count >= 2 ? "hh" : "h");
        break;
      case 'm':
        token(count >= 2 ? "nn" : "n");
        break;
      case 's':
        token(count >= 2 ? "ss" : "s");
        break;
      case 'z':
      case 'S':
        token(count >= 3 ? "zzz" : "z");
        break;
      case 'a':
      case 'A':
        token("ampm");
        // Qt spells the marker "AP" / "ap".
        if (i + count < pattern.size() && (pattern[i + count] == 'P' || pattern[i + count] == 'p')) ++count;
        break;
      case 't':
        // The time zone has no token here: drop it and the blank before it.
        if (!literal.empty() && literal.back() == ' ') literal.pop_back();
        break;
      default:
        literal.append(count, c);
        break;
    }
    i += count;
  }
  flushLiteral();
  return out;
}

}  // namespace pelcrow
