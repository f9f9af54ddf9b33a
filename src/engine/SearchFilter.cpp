#include "engine/SearchFilter.h"

#include <algorithm>
#include <limits>

namespace pelcrow {

TSearchFilterFiles SearchFilterFiles;

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsSeparator(char c) { return c == ',' || c == '-'; }

// One character: a well-formed UTF-8 sequence as its code point, any other byte as itself moved
// past the code point range, so that it only ever equals the same byte.
std::vector<char32_t> Characters(std::string_view s) {
  std::vector<char32_t> out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    const std::size_t len = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
    bool ok = len != 0 && i + len <= s.size();
    char32_t cp = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
    for (std::size_t k = 1; ok && k < len; ++k) {
      const auto b = static_cast<unsigned char>(s[i + k]);
      if ((b & 0xC0) != 0x80) ok = false;
      cp = (cp << 6) | (b & 0x3F);
    }
    static constexpr char32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (ok && (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) ok = false;
    if (ok) {
      out.push_back(cp);
      i += len;
    } else {
      out.push_back(0x110000 + c);
      ++i;
    }
  }
  return out;
}

// Lower case for the scripts whose case pairs sit at fixed offsets: ASCII, Latin-1, Latin
// Extended-A, Greek and Cyrillic.
char32_t Fold(char32_t c) {
  if (c >= 'A' && c <= 'Z') return c + 32;
  if (c < 0xC0) return c;
  if (c <= 0xDE && c != 0xD7) return c + 32;
  if (c >= 0x100 && c <= 0x137 && (c & 1) == 0) return c + 1;
  if (c >= 0x139 && c <= 0x148 && (c & 1) == 1) return c + 1;
  if (c >= 0x14A && c <= 0x177 && (c & 1) == 0) return c + 1;
  if (c == 0x178) return 0xFF;
  if (c >= 0x179 && c <= 0x17E && (c & 1) == 1) return c + 1;
  if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 32;
  if (c >= 0x400 && c <= 0x40F) return c + 80;
  if (c >= 0x410 && c <= 0x42F) return c + 32;
  return c;
}

}  // namespace

std::string NormalizeDupGroupPattern(std::string_view AText) {
  std::string reversed;
  for (std::size_t i = AText.size(); i-- > 0;) {
    const char c = AText[i];
    if (IsDigit(c)) {
      reversed.push_back(c);
    } else if (IsSeparator(c) && !reversed.empty() && IsDigit(reversed.back())) {
      reversed.push_back(c);
    }
  }
  while (!reversed.empty() && IsSeparator(reversed.back())) reversed.pop_back();
  return std::string(reversed.rbegin(), reversed.rend());
}

std::vector<TDupGroupRange> ParseDupGroupPattern(std::string_view AText) {
  std::vector<TDupGroupRange> ranges;
  TDupGroupRange current;
  bool hasNumber = false;
  auto store = [&] {
    if (hasNumber) ranges.push_back(current);
    hasNumber = false;
  };
  for (std::size_t i = 0; i < AText.size();) {
    if (!IsDigit(AText[i])) {
      if (AText[i] == ',') store();
      ++i;
      continue;
    }
    std::uint64_t value = 0;
    for (; i < AText.size() && IsDigit(AText[i]); ++i)
      if (value <= std::numeric_limits<std::uint32_t>::max()) value = value * 10 + static_cast<unsigned>(AText[i] - '0');
    if (value == 0 || value > std::numeric_limits<std::uint32_t>::max()) continue;
    const auto n = static_cast<std::uint32_t>(value);
    if (!hasNumber) {
      current = {n, n};
      hasNumber = true;
    } else {
      if (n < current.GroupFrom) current.GroupFrom = n;
      if (n > current.GroupTo) current.GroupTo = n;
    }
  }
  store();
  return ranges;
}

namespace {

bool MatchCharacters(const std::vector<char32_t>& name, const std::vector<char32_t>& pat) {
  // Greedy with one backtrack point: the last star may take one more character.
  std::size_t n = 0, p = 0, starP = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pat.size() && pat[p] == '*') {
      starP = p++;
      starN = n;
    } else if (p < pat.size() && (pat[p] == '?' || Fold(pat[p]) == Fold(name[n]))) {
      ++p;
      ++n;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pat.size() && pat[p] == '*') ++p;
  return p == pat.size();
}

TDateTime LocalMidnight(TDateTime t) {
  const TDateTimeParts p = t.ToLocal();
  TDateTimeParts day;
  day.Year = p.Year;
  day.Month = p.Month;
  day.Day = p.Day;
  TDateTime out = t;
  TDateTime::FromLocal(day, out);
  return out;
}

}  // namespace

bool MatchesFileNamePattern(std::string_view AName, std::string_view APattern) {
  if (APattern.empty()) APattern = "*";
  return MatchCharacters(Characters(AName), Characters(APattern));
}

TSearchFilterMatcher::TSearchFilterMatcher(const TSearchFilterFiles& AFilter)
    : fFilter(AFilter), fPattern(Characters(AFilter.fFileNamePattern.empty() ? "*" : AFilter.fFileNamePattern)) {
  fMatchAll = std::all_of(fPattern.begin(), fPattern.end(), [](char32_t c) { return c == '*'; });
  if (fFilter.fSearchByDate) {
    fFrom = LocalMidnight(fFilter.fStartDate);
    // Noon of the day after, back to its midnight: a day need not have 24 hours.
    fTo = LocalMidnight(TDateTime::FromUnix(LocalMidnight(fFilter.fEndDate).UnixSeconds() + 36 * 3600));
  }
}

bool TSearchFilterMatcher::Matches(const TFileItem& AItem) const {
  if (fFilter.fSearchBySize) {
    const std::int64_t size = AItem.Size >> (10 * static_cast<int>(fFilter.fSizeMeasure));
    switch (fFilter.fSizeCondition) {
      case sscEqual: if (size != fFilter.fFileSize) return false; break;
      case sscLargeThan: if (size <= fFilter.fFileSize) return false; break;
      case sscLessThan: if (size >= fFilter.fFileSize) return false; break;
    }
  }
  if (fFilter.fSearchByDate && (AItem.Modified < fFrom || AItem.Modified >= fTo)) return false;
  if (fFilter.fSearchByDupGroup) {
    bool inRange = false;
    for (const TDupGroupRange& r : fFilter.fPrepareadDupGroupPattern) {
      if (AItem.DupGroup >= r.GroupFrom && AItem.DupGroup <= r.GroupTo) {
        inRange = true;
        break;
      }
    }
    if (!inRange) return false;
  }
  if (fMatchAll) return true;
  return MatchCharacters(Characters(AItem.Name.view()), fPattern);
}

void TSearchFilterFiles::SetDupGroupPattern(std::string_view AText) {
  fDupGroupPattern = NormalizeDupGroupPattern(AText);
  fPrepareadDupGroupPattern = ParseDupGroupPattern(fDupGroupPattern);
}

bool TSearchFilterFiles::Matches(const TFileItem& AItem) const { return TSearchFilterMatcher(*this).Matches(AItem); }

}  // namespace pelcrow
