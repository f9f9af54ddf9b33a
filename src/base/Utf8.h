// Writing code points as UTF-8, and reading UTF-16: the one encoder and decoder the text readers
// (tags, language files, settings, name keys) share.
#pragma once

#include <string>
#include <string_view>

namespace pelcrow {

inline void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// UTF-16 code units (little- or big-endian bytes; an odd last byte is ignored) as UTF-8. Unpaired
// surrogates become U+FFFD. StopAtZero: the text ends at the first zero unit (tag frames).
inline std::string DecodeUtf16(std::string_view bytes, bool bigEndian, bool stopAtZero = false) {
  const auto unit = [&](std::size_t k) -> char32_t {
    const auto b0 = static_cast<unsigned char>(bytes[2 * k]);
    const auto b1 = static_cast<unsigned char>(bytes[2 * k + 1]);
    return bigEndian ? (static_cast<char32_t>(b0) << 8) | b1 : (static_cast<char32_t>(b1) << 8) | b0;
  };
  constexpr char32_t kReplacement = 0xFFFD;
  const std::size_t units = bytes.size() / 2;
  std::string out;
  out.reserve(units * 3 / 2);
  for (std::size_t k = 0; k < units; ++k) {
    const char32_t u = unit(k);
    if (u == 0 && stopAtZero) break;
    if (u >= 0xD800 && u <= 0xDBFF && k + 1 < units) {
      const char32_t low = unit(k + 1);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
        ++k;
        continue;
      }
    }
    AppendUtf8(out, (u >= 0xD800 && u <= 0xDFFF) ? kReplacement : u);
  }
  return out;
}

}  // namespace pelcrow
