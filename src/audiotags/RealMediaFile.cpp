#include "audiotags/RealMediaFile.h"

#include <cstring>

#include "audiotags/TagText.h"

namespace pelcrow {

namespace {

constexpr std::size_t kChunkHeaderLength = 10;  // identifier, 32-bit size, 16-bit version

}  // namespace

bool TRealMediaFile::ReadFromSource(IByteSource& source) {
  Reset();
  try {
    const std::uint64_t fileSize = source.Size();
    std::uint8_t h[kChunkHeaderLength];
    ReadExact(source, 0, h, sizeof h);
    if (std::memcmp(h, ".RMF", 4) != 0) return false;
    const std::uint32_t headerSize = BE32(h + 4);
    if (headerSize < 18) return false;
    std::uint8_t fileHeader[8];  // file version, header count
    ReadExact(source, kChunkHeaderLength, fileHeader, sizeof fileHeader);
    // Every chunk moves the walk forward by at least its own header, so the file bounds it.
    for (std::uint64_t pos = headerSize; pos + kChunkHeaderLength <= fileSize;) {
      ReadExact(source, pos, h, sizeof h);
      const std::uint32_t size = BE32(h + 4);
      if (std::memcmp(h, "CONT", 4) == 0) {
        std::uint64_t at = pos + kChunkHeaderLength;
        auto field = [&]() {
          std::uint8_t len[2];
          ReadExact(source, at, len, 2);
          std::string s(BE16(len), '\0');
          ReadExact(source, at + 2, s.data(), s.size());
          at += 2 + s.size();
          return Latin1ToUtf8(CutAtNul(s));
        };
        Title = field();
        Author = field();
        Copyright = field();
        Comment = field();
        MediaFormat = TRealMediaFormat::RealMedia;
        IsValid = true;
        return true;
      }
      if (size < kChunkHeaderLength) return false;
      pos += size;
    }
    return false;
  } catch (...) {
    Reset();
    return false;
  }
}

}  // namespace pelcrow
