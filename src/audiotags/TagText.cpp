#include "audiotags/TagText.h"
#include "base/Utf8.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace pelcrow {

void ReadExact(IByteSource& source, std::uint64_t offset, void* buffer, std::size_t count) {
  if (source.ReadAt(offset, buffer, count) != count) throw EAudioFormat("unexpected end of data");
}

std::string ReadUpTo(IByteSource& source, std::uint64_t offset, std::size_t count) {
  std::string s(count, '\0');
  s.resize(source.ReadAt(offset, s.data(), count));
  return s;
}

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Length of the well-formed sequence at s[i], 0 when malformed, -1 when cut off by the end.
int SequenceAt(std::string_view s, std::size_t i, char32_t& cp) {
  auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
  unsigned char c = b(0);
  int len;
  if (c < 0x80) {
    cp = c;
    return 1;
  } else if (c >= 0xC2 && c <= 0xDF) {
    len = 2;
    cp = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    len = 3;
    cp = c & 0x0F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    len = 4;
    cp = c & 0x07;
  } else {
    return 0;
  }
  for (int k = 1; k < len; ++k) {
    if (i + static_cast<std::size_t>(k) >= s.size()) return -1;
    if ((b(static_cast<std::size_t>(k)) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b(static_cast<std::size_t>(k)) & 0x3F);
  }
  static constexpr char32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

}  // namespace

std::string Latin1ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (char c : bytes) AppendUtf8(out, static_cast<unsigned char>(c));
  return out;
}

std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian) { return DecodeUtf16(bytes, bigEndian, true); }

std::string SanitizeUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size();) {
    char32_t cp = 0;
    int len = SequenceAt(bytes, i, cp);
    if (len < 0) break;
    if (len == 0) {
      AppendUtf8(out, kReplacement);
      ++i;
    } else {
      out.append(bytes.substr(i, static_cast<std::size_t>(len)));
      i += static_cast<std::size_t>(len);
    }
  }
  return out;
}

std::string Utf8Prefix(std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    char32_t cp = 0;
    int len = SequenceAt(bytes, i, cp);
    if (len <= 0) break;
    i += static_cast<std::size_t>(len);
  }
  return std::string(bytes.substr(0, i));
}

std::string_view CutAtNul(std::string_view bytes) {
  std::size_t z = bytes.find('\0');
  return z == std::string_view::npos ? bytes : bytes.substr(0, z);
}

std::string_view TrimText(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

std::string_view TrimRightText(std::string_view s) {
  std::size_t e = s.size();
  while (e > 0 && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(0, e);
}

std::string UpperAscii(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return r;
}

bool SameTextAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

bool ParseInteger(std::string_view s, std::int64_t& value) {
  if (!s.empty() && s[0] == '+') s.remove_prefix(1);
  if (s.empty()) return false;
  auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  return ec == std::errc() && ptr == s.data() + s.size();
}

std::int64_t TrackNumberOf(std::string_view text, std::int64_t maxValue) {
  std::int64_t n = 0;
  if (!ParseInteger(TrimText(text.substr(0, text.find('/'))), n) || n < 0 || n > maxValue) return 0;
  return n;
}

std::string DurationText(double seconds) {
  if (!std::isfinite(seconds)) return std::string();
  char buf[64];
  auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, seconds);
  return ec == std::errc() ? std::string(buf, ptr) : std::string();
}

}  // namespace pelcrow
