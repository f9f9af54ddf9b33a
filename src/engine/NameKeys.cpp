#include "engine/NameKeys.h"
#include "base/Utf8.h"

#include <locale.h>
#include <wctype.h>

#include <cstdint>

namespace pelcrow {

std::string_view NamePart(std::string_view fileName) {
  std::size_t dot = fileName.rfind('.');
  return dot == std::string_view::npos ? fileName : fileName.substr(0, dot);
}

std::string_view ExtensionPart(std::string_view fileName) {
  std::size_t dot = fileName.rfind('.');
  return dot == std::string_view::npos ? std::string_view() : fileName.substr(dot);
}

namespace {

locale_t NeutralLocale() {
  // C.UTF-8 ships with glibc: the same mapping whatever the user's locale.
  static locale_t loc = [] {
    locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    return l;
  }();
  return loc;
}

// Decodes one UTF-8 sequence at s[i]; returns its length, or 0 when it is not valid UTF-8.
std::size_t DecodeUtf8(std::string_view s, std::size_t i, char32_t& cp) {
  auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
  unsigned char c = b(0);
  std::size_t len;
  if (c < 0x80) {
    cp = c;
    return 1;
  } else if ((c & 0xE0) == 0xC0) {
    len = 2;
    cp = c & 0x1F;
  } else if ((c & 0xF0) == 0xE0) {
    len = 3;
    cp = c & 0x0F;
  } else if ((c & 0xF8) == 0xF0) {
    len = 4;
    cp = c & 0x07;
  } else {
    return 0;
  }
  if (i + len > s.size()) return 0;
  for (std::size_t k = 1; k < len; ++k) {
    if ((b(k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b(k) & 0x3F);
  }
  static constexpr char32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

}  // namespace

std::string UpperCaseText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  locale_t loc = NeutralLocale();
  for (std::size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      out += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : static_cast<char>(c);
      ++i;
      continue;
    }
    char32_t cp = 0;
    std::size_t len = DecodeUtf8(text, i, cp);
    if (len == 0) {
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    char32_t up = cp;
    if (loc != static_cast<locale_t>(0)) up = static_cast<char32_t>(towupper_l(static_cast<wint_t>(cp), loc));
    AppendUtf8(out, up);
    i += len;
  }
  return out;
}

}  // namespace pelcrow
