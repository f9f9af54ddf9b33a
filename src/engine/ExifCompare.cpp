#include "engine/ExifCompare.h"

#include <algorithm>
#include <vector>

#include "engine/FileChecksums.h"
#include "platform/FileSystem.h"
#include "services/Crc32.h"

namespace pelcrow {

namespace {

// Buffered byte reader with skipping; any read error ends the walk quietly.
class TByteReader {
 public:
  explicit TByteReader(platform::TReadOnlyFile& f) : fFile(f) {}
  bool Next(std::uint8_t& b) {
    if (fPos == fLen && !Fill()) return false;
    b = fBuf[fPos++];
    ++fOffset;
    return true;
  }
  bool Skip(std::int64_t n) {
    while (n > 0) {
      if (fPos == fLen && !Fill()) return false;
      std::int64_t take = std::min<std::int64_t>(n, static_cast<std::int64_t>(fLen - fPos));
      fPos += static_cast<std::size_t>(take);
      fOffset += take;
      n -= take;
    }
    return true;
  }
  std::int64_t Offset() const { return fOffset; }

 private:
  bool Fill() {
    std::int64_t n = fFile.Read(fBuf, sizeof fBuf);
    if (n <= 0) return false;
    fLen = static_cast<std::size_t>(n);
    fPos = 0;
    return true;
  }
  platform::TReadOnlyFile& fFile;
  std::uint8_t fBuf[16384];
  std::size_t fPos = 0, fLen = 0;
  std::int64_t fOffset = 0;
};

}  // namespace

std::vector<TExifBlock> GetExifLocation(const std::string& fileName) {
  std::vector<TExifBlock> blocks;
  platform::TReadOnlyFile f;
  if (f.Open(fileName, false) != 0) return blocks;
  TByteReader r(f);
  std::uint8_t b0 = 0, b1 = 0;
  if (!r.Next(b0) || !r.Next(b1) || b0 != 0xFF || b1 != 0xD8) return blocks;
  std::uint8_t b = 0;
  while (r.Next(b)) {
    if (b == 0xFF) continue;  // fill byte
    std::uint8_t marker = b;
    std::int64_t markerPos = r.Offset() - 2;
    bool noLength = marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD9);
    if (!noLength) {
      std::uint8_t hi = 0, lo = 0;
      if (!r.Next(hi) || !r.Next(lo)) break;
      std::uint32_t len = (static_cast<std::uint32_t>(hi) << 8) | lo;
      if (marker == 0xE1) {
        auto size = static_cast<std::uint16_t>(len + 2);
        if (size != 0) blocks.push_back({markerPos, size});
      }
      // A length below 2 cannot be skipped backwards: the file is malformed, stop.
      if (len < 2 || !r.Skip(static_cast<std::int64_t>(len) - 2)) break;
    }
    if (marker == 0xDA) break;
  }
  return blocks;
}

bool ExifStrippedChecksum(const std::string& fileName, std::uint32_t& crc) {
  crc = 0;
  std::vector<TExifBlock> blocks = GetExifLocation(fileName);
  if (blocks.empty()) return false;
  platform::TReadOnlyFile f;
  if (f.Open(fileName, false) != 0) return true;  // no bytes: checksum 0
  std::vector<char> buf(kCRCBlockSize);
  std::int64_t n = f.Read(buf.data(), buf.size());
  if (n < 0) return true;
  for (const TExifBlock& blk : blocks) {
    if (blk.Position >= n) continue;
    std::int64_t end = std::min<std::int64_t>(n, blk.Position + blk.Size);
    std::fill(buf.begin() + blk.Position, buf.begin() + end, '\0');
  }
  std::uint32_t c = kCRC32Init;
  UpdateCRC32(buf.data(), static_cast<std::size_t>(n), c);
  crc = ~c;
  return true;
}

bool CompareExif(const std::string& file1, const std::string& file2) {
  std::uint32_t c1 = 0, c2 = 0;
  if (!ExifStrippedChecksum(file1, c1) || !ExifStrippedChecksum(file2, c2)) return false;
  return c1 == c2;
}

}  // namespace pelcrow
