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

// One piece of a date-time format: literal text (quoted or a character without meaning), an
// am/pm marker, or a field letter (upper case) repeated Count times.
struct TFormatToken {
  enum TKind { tkLiteral, tkMarker, tkField } Kind;
  std::string_view Text;  // the literal text, or the marker as written ("am/pm", "a/p", "ampm")
  char Letter = 0;
  std::size_t Count = 0;
  bool AfterHour = false;  // a field right after an hour: 'm' is then the minute
};

// Hands every token of f to fn in order; stops at the first fn that returns false. The writer
// and the reader walk formats alike through this.
template <class Fn>
bool WalkFormat(std::string_view f, Fn&& fn) {
  bool afterHour = false;
  std::size_t i = 0;
  while (i < f.size()) {
    const char c = f[i];
    TFormatToken t{TFormatToken::tkLiteral, f.substr(i, 1)};
    if (c == '"' || c == '\'') {
      std::size_t end = f.find(c, i + 1);
      if (end == std::string_view::npos) end = f.size();
      t.Text = f.substr(i + 1, end - i - 1);
      i = end < f.size() ? end + 1 : end;
      if (!fn(t)) return false;
      continue;
    }
    const char u = Upper(c);
    if (u == 'A') {
      for (std::string_view m : {"am/pm", "a/p", "ampm"}) {
        if (StartsWithNoCase(f, i, m)) {
          t = {TFormatToken::tkMarker, f.substr(i, m.size())};
          break;
        }
      }
      i += t.Text.size();
      afterHour = false;
      if (!fn(t)) return false;
      continue;
    }
    if (std::string_view("DMYHNSZTC").find(u) == std::string_view::npos) {
      ++i;
      if (!fn(t)) return false;
      continue;
    }
    std::size_t count = 1;
    while (i + count < f.size() && Upper(f[i + count]) == u) ++count;
    t = {TFormatToken::tkField, f.substr(i, count), u, count, afterHour};
    i += count;
    afterHour = u == 'H';
    if (!fn(t)) return false;
  }
  return true;
}

}  // namespace pelcrow::format_tokens
