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
                const TFormatSettings& s, int depth);

// One date or time written field by field; the named formats (ddddd, t, c...) nest one level.
struct TDateWriter {
  std::string& out;
  const TDateTimeParts& p;
  int dayOfWeek;
  const TFormatSettings& s;
  int depth;
  bool twelveHour;

  void Nested(std::string_view f) const { FormatInto(out, f, p, dayOfWeek, s, depth + 1); }

  // "am/pm", "a/p" or "ampm" as written in the format.
  void AmPm(std::string_view marker) const {
    const bool pm = p.Hour >= 12;
    if (marker.size() == 5) {
      out.append(marker.substr(pm ? 3 : 0, 2));
    } else if (marker.size() == 3) {
      out.push_back(marker[pm ? 2 : 0]);
    } else {
      out += pm ? s.TimePMString : s.TimeAMString;
    }
  }

  void Day(std::size_t count) const {
    if (count <= 2) {
      AppendNumber(out, p.Day, static_cast<int>(count));
    } else if (count == 3) {
      out += s.ShortDayNames[static_cast<std::size_t>(dayOfWeek)];
    } else if (count == 4) {
      out += s.LongDayNames[static_cast<std::size_t>(dayOfWeek)];
    } else {
      Nested(count == 5 ? s.ShortDateFormat : s.LongDateFormat);
    }
  }

  // 'm' right after an hour is the minute.
  void Month(std::size_t count, bool afterHour) const {
    if (afterHour && count <= 2) {
      AppendNumber(out, p.Minute, static_cast<int>(count));
    } else if (count <= 2) {
      AppendNumber(out, p.Month, static_cast<int>(count));
    } else {
      out += (count == 3 ? s.ShortMonthNames : s.LongMonthNames)[static_cast<std::size_t>(p.Month - 1)];
    }
  }

  void Hour(std::size_t count) const {
    int h = p.Hour;
    if (twelveHour) {
      h %= 12;
      if (h == 0) h = 12;
    }
    AppendNumber(out, h, count >= 2 ? 2 : 1);
  }

  // The field of letter u (upper case) repeated count times.
  void Field(char u, std::size_t count, bool afterHour) const {
    switch (u) {
      case 'D': Day(count); break;
      case 'M': Month(count, afterHour); break;
      case 'Y': AppendNumber(out, count <= 2 ? ((p.Year % 100) + 100) % 100 : p.Year, count <= 2 ? 2 : 4); break;
      case 'H': Hour(count); break;
      case 'N': AppendNumber(out, p.Minute, count >= 2 ? 2 : 1); break;
      case 'S': AppendNumber(out, p.Second, count >= 2 ? 2 : 1); break;
      case 'Z': AppendNumber(out, p.MilliSecond, count >= 3 ? 3 : 1); break;
      case 'T': Nested(count >= 2 ? s.LongTimeFormat : s.ShortTimeFormat); break;
      case 'C':
        Nested(s.ShortDateFormat);
        out.push_back(' ');
        Nested(s.LongTimeFormat);
        break;
      default: break;
    }
  }
};

void FormatInto(std::string& out, std::string_view f, const TDateTimeParts& p, int dayOfWeek,
                const TFormatSettings& s, int depth) {
  // A format that names itself (ddddd inside the short date format) must not recurse for ever.
  if (depth > 3) return;
  const TDateWriter w{out, p, dayOfWeek, s, depth, HasAmPm(f)};
  format_tokens::WalkFormat(f, [&](const format_tokens::TFormatToken& t) {
    switch (t.Kind) {
      case format_tokens::TFormatToken::tkLiteral: out.append(t.Text); break;
      case format_tokens::TFormatToken::tkMarker: w.AmPm(t.Text); break;
      case format_tokens::TFormatToken::tkField: w.Field(t.Letter, t.Count, t.AfterHour); break;
    }
    return true;
  });
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

namespace {

// The quoted text of a locale pattern from the quote at i, appended to literal ('' inside or
// outside quotes is a quote); the index after it.
std::size_t ReadQuoted(std::string_view pattern, std::size_t i, std::string& literal) {
  if (i + 1 < pattern.size() && pattern[i + 1] == '\'') {
    literal.push_back('\'');
    return i + 2;
  }
  ++i;
  while (i < pattern.size()) {
    if (pattern[i] == '\'') {
      if (i + 1 < pattern.size() && pattern[i + 1] == '\'') {
        literal.push_back('\'');
        i += 2;
        continue;
      }
      return i + 1;
    }
    literal.push_back(pattern[i++]);
  }
  return i;
}

// Our token for count repeats of the locale letter c; nullptr for a letter without one.
const char* TokenOfLocaleField(char c, std::size_t count) {
  switch (c) {
    case 'd': return count == 1 ? "d" : count == 2 ? "dd" : count == 3 ? "ddd" : "dddd";
    case 'E':
    case 'c': return count >= 4 ? "dddd" : "ddd";
    case 'M':
    case 'L': return count == 1 ? "m" : count == 2 ? "mm" : count == 3 ? "mmm" : "mmmm";
    case 'y': return count == 2 ? "yy" : "yyyy";
    case 'h':
    case 'H': return count >= 2 ? "hh" : "h";
    case 'm': return count >= 2 ? "nn" : "n";
    case 's': return count >= 2 ? "ss" : "s";
    case 'z':
    case 'S': return count >= 3 ? "zzz" : "z";
    case 'a':
    case 'A': return "ampm";
    default: return nullptr;
  }
}

}  // namespace

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

  std::size_t i = 0;
  while (i < pattern.size()) {
    const char c = pattern[i];
    if (c == '\'') {
      i = ReadQuoted(pattern, i, literal);
      continue;
    }
    if (!IsLetter(c)) {
      literal.push_back(c);
      ++i;
      continue;
    }
    std::size_t count = 1;
    while (i + count < pattern.size() && pattern[i + count] == c) ++count;
    if (const char* token = TokenOfLocaleField(c, count)) {
      flushLiteral();
      out += token;
      // Qt spells the marker "AP" / "ap".
      const bool marker = c == 'a' || c == 'A';
      if (marker && i + count < pattern.size() && (pattern[i + count] == 'P' || pattern[i + count] == 'p')) ++count;
    } else if (c == 't') {
      // The time zone has no token here: drop it and the blank before it.
      if (!literal.empty() && literal.back() == ' ') literal.pop_back();
    } else {
      literal.append(count, c);
    }
    i += count;
  }
  flushLiteral();
  return out;
}

}  // namespace pelcrow
