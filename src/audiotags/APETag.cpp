#include "audiotags/APETag.h"

#include <algorithm>
#include <cstring>

#include "audiotags/TagText.h"

namespace pelcrow {

namespace {

constexpr std::size_t kFooterLength = 32;
constexpr std::size_t kMaxKeyLength = 255;
constexpr std::size_t kMaxItems = 256;

}  // namespace

bool TAPETag::ReadFromSource(IByteSource& source, std::uint64_t end) {
  Reset();
  try {
    if (end < kFooterLength || end > source.Size()) return true;
    std::uint8_t f[kFooterLength];
    ReadExact(source, end - kFooterLength, f, kFooterLength);
    if (std::memcmp(f, "APETAGEX", 8) != 0) return true;
    std::uint32_t version = LE32(f + 8), tagSize = LE32(f + 12), count = LE32(f + 16), flags = LE32(f + 20);
    if ((version != 1000 && version != 2000) || tagSize < kFooterLength || tagSize > end) return true;
    Exists = true;
    Version = version;
    Size = tagSize + ((flags & 0x80000000u) ? static_cast<std::uint32_t>(kFooterLength) : 0);
    std::uint64_t pos = end - tagSize;
    const std::uint64_t itemsEnd = end - kFooterLength;
    for (std::uint32_t i = 0; i < count && i < kMaxItems && pos + 8 < itemsEnd; ++i) {
      std::uint8_t ih[8];
      ReadExact(source, pos, ih, 8);
      std::uint32_t valueSize = LE32(ih), itemFlags = LE32(ih + 4);
      std::string key = ReadUpTo(
          source, pos + 8, static_cast<std::size_t>(std::min<std::uint64_t>(kMaxKeyLength + 1, itemsEnd - pos - 8)));
      std::size_t z = key.find('\0');
      if (z == std::string::npos || z < 2) break;
      key.resize(z);
      std::uint64_t valuePos = pos + 8 + z + 1;
      if (valueSize > itemsEnd - std::min(valuePos, itemsEnd)) break;
      // Flag bits 1-2: 0 text, 1 binary, 2 external locator.
      if (((itemFlags >> 1) & 3) == 0) {
        std::string value = ReadUpTo(source, valuePos, std::min<std::size_t>(valueSize, kMaxTagTextBytes));
        std::string upper = UpperAscii(key);
        bool seen = std::any_of(fItems.begin(), fItems.end(), [&](const auto& it) { return it.first == upper; });
        if (!seen) fItems.emplace_back(std::move(upper), std::string(TrimText(SanitizeUtf8(CutAtNul(value)))));
      }
      pos = valuePos + valueSize;
    }
    return true;
  } catch (...) {
    Reset();
    return false;
  }
}

std::string TAPETag::Value(std::string_view key) const {
  for (const auto& [k, v] : fItems)
    if (SameTextAscii(k, key)) return v;
  return std::string();
}

}  // namespace pelcrow
