#include "localization/TextEncoding.h"
#include "base/Utf8.h"

#include <cstdint>

namespace pelcrow {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point at text[i]; len is how many bytes it took. Overlong forms, surrogates
// and values past U+10FFFF are invalid, and an invalid lead byte stands for itself (Latin-1).
char32_t NextCodePoint(std::string_view text, std::size_t i, std::size_t& len) {
  const auto c = static_cast<unsigned char>(text[i]);
  len = 1;
  if (c < 0x80) return c;
  std::size_t need = 0;
  char32_t v = 0;
  if ((c & 0xE0) == 0xC0) {
    need = 2;
    v = c & 0x1F;
  } else if ((c & 0xF0) == 0xE0) {
    need = 3;
    v = c & 0x0F;
  } else if ((c & 0xF8) == 0xF0) {
    need = 4;
    v = c & 0x07;
  } else {
    return c;
  }
  const char32_t min = need == 2 ? 0x80 : need == 3 ? 0x800 : 0x10000;
  if (i + need > text.size()) return c;
  for (std::size_t k = 1; k < need; ++k) {
    const auto b = static_cast<unsigned char>(text[i + k]);
    if ((b & 0xC0) != 0x80) return c;
    v = (v << 6) | (b & 0x3F);
  }
  if (v < min || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) return c;
  len = need;
  return v;
}

}  // namespace

std::string ToValidUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size();) {
    std::size_t len = 0;
    const char32_t cp = NextCodePoint(bytes, i, len);
    if (len > 1 || cp < 0x80) {
      out.append(bytes.substr(i, len));
    } else {
      AppendUtf8(out, cp);
    }
    i += len;
  }
  return out;
}

std::string DecodeTextBytes(std::string_view bytes) {
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") return ToValidUtf8(bytes.substr(3));
  if (bytes.size() >= 2 && (bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF")) {
    std::string text = DecodeUtf16(bytes.substr(2), bytes[0] == '\xFE');
    // A file cut in the middle of a unit says so in the text.
    if (bytes.size() % 2 != 0) AppendUtf8(text, kReplacement);
    return text;
  }
  return ToValidUtf8(bytes);
}

void AppendUtf16LE(std::string& out, std::string_view text) {
  auto put = [&out](char32_t u) {
    out.push_back(static_cast<char>(u & 0xFF));
    out.push_back(static_cast<char>((u >> 8) & 0xFF));
  };
  for (std::size_t i = 0; i < text.size();) {
    std::size_t len = 0;
    char32_t cp = NextCodePoint(text, i, len);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      put(0xD800 + (cp >> 10));
      put(0xDC00 + (cp & 0x3FF));
    } else {
      put(cp);
    }
    i += len;
  }
}

std::size_t CharacterCount(std::string_view text) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < text.size(); ++n) {
    std::size_t len = 0;
    NextCodePoint(text, i, len);
    i += len;
  }
  return n;
}

}  // namespace pelcrow
