#include "platform/UriEncoding.h"

namespace pelcrow::platform {

namespace {

bool IsUnreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

template <typename Keep>
std::string Encode(std::string_view bytes, Keep keep) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 4);
  for (char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    if (keep(c)) {
      out.push_back(ch);
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 0xF]);
    }
  }
  return out;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string PercentEncodeTrash(std::string_view bytes) {
  return Encode(bytes, [](unsigned char c) { return IsUnreserved(c) || c == '/'; });
}

std::string PercentEncodeGLib(std::string_view bytes) {
  static constexpr std::string_view kSubDelims = "!$&'()*+,=:@/";
  return Encode(bytes, [](unsigned char c) {
    return IsUnreserved(c) || kSubDelims.find(static_cast<char>(c)) != std::string_view::npos;
  });
}

std::string PercentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      const int hi = HexValue(text[i + 1]);
      const int lo = HexValue(text[i + 2]);
      if (hi >= 0 && lo >= 0) {
        out.push_back(static_cast<char>((hi << 4) | lo));
        i += 2;
        continue;
      }
    }
    out.push_back(text[i]);
  }
  return out;
}

std::string FileUriFromPath(std::string_view absolutePath) {
  if (absolutePath.empty() || absolutePath.front() != '/') return {};
  return "file://" + PercentEncodeTrash(absolutePath);
}

}  // namespace pelcrow::platform
