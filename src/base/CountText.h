// Messages with counts: each "%d" of a (translated) text takes the next number. A translation is
// never used as a format string, so a stray "%s" in a language file cannot crash the program.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

namespace pelcrow {

inline std::string FormatCounts(const std::string& text, std::initializer_list<std::int64_t> values) {
  std::string r;
  auto next = values.begin();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == 'd' && next != values.end()) {
      r += std::to_string(*next++);
      ++i;
    } else {
      r += text[i];
    }
  }
  return r;
}

}  // namespace pelcrow
