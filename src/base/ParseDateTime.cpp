#include "base/ParseDateTime.h"

#include <array>
#include <string>

#include "base/FormatTokens.h"

namespace pelcrow {

namespace {

using format_tokens::HasAmPm;
using format_tokens::StartsWithNoCase;
using format_tokens::Upper;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }



struct TFields {
  TDateTimeParts Parts;
  bool TwoDigitYear = false;
  int Pm = -1;  // -1 no marker, 0 am, 1 pm
  bool TwelveHour = false;
};

class TParser {
 public:
  TParser(std::string_view text, const TFormatSettings& s) : fText(text), fS(s) {}

  bool Parse(std::string_view f, TFields& v, int depth) {
    if (depth > 3) return false;
    const bool twelveHour = HasAmPm(f);
    if (twelveHour) v.TwelveHour = true;
    return format_tokens::WalkFormat(f, [&](const format_tokens::TFormatToken& t) {
      switch (t.Kind) {
        case format_tokens::TFormatToken::tkLiteral: return Literal(t.Text);
        case format_tokens::TFormatToken::tkMarker:
          if (t.Text.size() == 5) return Marker(v, "am", "pm");
          if (t.Text.size() == 3) return Marker(v, "a", "p");
          return Marker(v, fS.TimeAMString, fS.TimePMString);
        case format_tokens::TFormatToken::tkField: return Field(t.Letter, t.Count, t.AfterHour, v, depth);
      }
      return false;
    });
  }

  void SkipBlanks() {
    while (fPos < fText.size() && IsBlank(fText[fPos])) ++fPos;
  }
  bool AtEnd() const { return fPos == fText.size(); }

 private:
  // The field of letter u (upper case) repeated count times.
  bool Field(char u, std::size_t count, bool afterHour, TFields& v, int depth) {
    TDateTimeParts& p = v.Parts;
    switch (u) {
      case 'D':
        if (count <= 2) {
          if (!Number(2, p.Day)) return false;
        } else if (count <= 4) {
          if (!DayName(count == 3)) return false;
        } else if (!Parse(count == 5 ? fS.ShortDateFormat : fS.LongDateFormat, v, depth + 1)) {
          return false;
        }
        break;
      case 'M':
        if (afterHour && count <= 2) {
          if (!Number(2, p.Minute)) return false;
        } else if (count <= 2) {
          if (!Number(2, p.Month)) return false;
        } else if (!MonthName(count == 3, p.Month)) {
          return false;
        }
        break;
      case 'Y': {
        std::size_t digits = 0;
        if (!Number(count <= 2 ? 2 : 4, p.Year, &digits)) return false;
        v.TwoDigitYear = digits <= 2;
        break;
      }
      case 'H':
        if (!Number(2, p.Hour)) return false;
        break;
      case 'N':
        if (!Number(2, p.Minute)) return false;
        break;
      case 'S':
        if (!Number(2, p.Second)) return false;
        break;
      case 'Z':
        if (!Number(3, p.MilliSecond)) return false;
        break;
      case 'T':
        if (!Parse(count >= 2 ? fS.LongTimeFormat : fS.ShortTimeFormat, v, depth + 1)) return false;
        break;
      case 'C':
        if (!Parse(fS.ShortDateFormat, v, depth + 1) || !Literal(" ") || !Parse(fS.LongTimeFormat, v, depth + 1))
          return false;
        break;
      default:
        break;
    }
    return true;
  }

  bool Literal(std::string_view lit) {
    for (char c : lit) {
      if (IsBlank(c)) {
        SkipBlanks();
        continue;
      }
      if (fPos >= fText.size() || Upper(fText[fPos]) != Upper(c)) return false;
      ++fPos;
    }
    return true;
  }

  bool Number(std::size_t maxDigits, int& out, std::size_t* digits = nullptr) {
    std::size_t n = 0;
    int value = 0;
    while (n < maxDigits && fPos < fText.size() && IsDigit(fText[fPos])) {
      value = value * 10 + (fText[fPos] - '0');
      ++fPos;
      ++n;
    }
    if (n == 0) return false;
    out = value;
    if (digits) *digits = n;
    return true;
  }

  // The longest of the names that the text continues with (a long name may begin with a short one).
  template <std::size_t N>
  bool OneOf(const std::array<std::string, N>& names, int& index) {
    std::size_t best = 0;
    for (std::size_t k = 0; k < N; ++k) {
      const std::string& n = names[k];
      if (!n.empty() && n.size() > best && StartsWithNoCase(fText, fPos, n)) {
        best = n.size();
        index = static_cast<int>(k);
      }
    }
    fPos += best;
    return best > 0;
  }

  // The day name says nothing the date does not.
  bool DayName(bool shortNames) {
    int index = 0;
    return shortNames ? OneOf(fS.ShortDayNames, index) : OneOf(fS.LongDayNames, index);
  }

  bool MonthName(bool shortNames, int& month) {
    int index = 0;
    if (!(shortNames ? OneOf(fS.ShortMonthNames, index) : OneOf(fS.LongMonthNames, index))) return false;
    month = index + 1;
    return true;
  }

  bool Marker(TFields& v, std::string_view am, std::string_view pm) {
    // The longer marker first, so that "a" does not take the start of "am".
    const bool pmFirst = pm.size() > am.size();
    for (int round = 0; round < 2; ++round) {
      const bool isPm = (round == 0) == pmFirst;
      std::string_view m = isPm ? pm : am;
      if (!m.empty() && StartsWithNoCase(fText, fPos, m)) {
        fPos += m.size();
        v.Pm = isPm ? 1 : 0;
        return true;
      }
    }
    return true;  // no marker: a 24-hour time
  }

  std::string_view fText;
  const TFormatSettings& fS;
  std::size_t fPos = 0;
};

bool Finish(TFields& v, TDateTime& out) {
  TDateTimeParts p = v.Parts;
  if (v.TwoDigitYear) {
    const int now = TDateTime::Now().ToLocal().Year;
    p.Year += 2000;
    if (p.Year > now + 50) p.Year -= 100;
  }
  if (v.TwelveHour && v.Pm >= 0) {
    if (p.Hour < 1 || p.Hour > 12) return false;
    p.Hour = p.Hour % 12 + (v.Pm == 1 ? 12 : 0);
  }
  return TDateTime::FromLocal(p, out);
}

}  // namespace

bool TryParseDateTime(std::string_view text, std::string_view format, const TFormatSettings& settings,
                      TDateTime& out) {
  TParser parser(text, settings);
  TFields v;
  parser.SkipBlanks();
  if (!parser.Parse(format, v, 0)) return false;
  parser.SkipBlanks();
  return parser.AtEnd() && Finish(v, out);
}

bool TryParseShortDateLongTime(std::string_view text, const TFormatSettings& settings, TDateTime& out) {
  TParser parser(text, settings);
  TFields v;
  parser.SkipBlanks();
  if (!parser.Parse(settings.ShortDateFormat, v, 0)) return false;
  parser.SkipBlanks();
  if (!parser.AtEnd()) {
    if (!parser.Parse(settings.LongTimeFormat, v, 0)) return false;
    parser.SkipBlanks();
  }
  return parser.AtEnd() && Finish(v, out);
}

std::string FormatShortDateLongTime(TDateTime value, const TFormatSettings& settings) {
  std::string text = FormatDateTime(settings.ShortDateFormat, value, settings);
  const TDateTimeParts p = value.ToLocal();
  if (p.Hour != 0 || p.Minute != 0 || p.Second != 0) text += " " + FormatDateTime(settings.LongTimeFormat, value, settings);
  return text;
}

}  // namespace pelcrow
