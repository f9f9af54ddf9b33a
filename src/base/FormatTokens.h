// Scanning helpers shared by the date-time writer and reader: the format tokens are ASCII and
// compare without regard to case (the C library's classes would follow the process locale).
#pragma once

#include <cstddef>
#include <string_view>

namespace pelcrow::format_tokens {

inline char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

inline bool StartsWithNoCase(std::string_view text, std::size_t pos, std::string_view what) {
  if (pos > text.size() || text.size() - pos < what.size()) return false;
  for (std::size_t i = 0; i < what.size(); ++i)
    if (Upper(text[pos + i]) != Upper(what[i])) return false;
  return true;
}

// True when the format (outside quotes) carries an am/pm marker, which makes "h" a 12-hour clock.
inline bool HasAmPm(std::string_view f) {
  for (std::size_t i = 0; i < f.size(); ++i) {
    const char c = f[i];
    if (c == '"' || c == '\'') {
      const std::size_t end = f.find(c, i + 1);
      if (end == std::string_view::npos) return false;
      i = end;
      continue;
    }
    if (StartsWithNoCase(f, i, "am/pm") || StartsWithNoCase(f, i, "a/p") || StartsWithNoCase(f, i, "ampm")) return true;
  }
  return false;
}

}  // namespace pelcrow::format_tokens
