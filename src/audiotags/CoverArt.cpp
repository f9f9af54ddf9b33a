#include "audiotags/CoverArt.h"

#include <cstring>

#include "audiotags/ID3v2.h"
#include "audiotags/TagText.h"

namespace pelcrow {

namespace {

// A PICTURE block: type, MIME type, description, width, height, depth, colours, then the bytes,
// every length and number a big-endian 32-bit value.
bool DecodeFlacPicture(IByteSource& source, std::uint64_t pos, std::uint64_t end, TCoverArt& art) {
  auto number = [&]() -> std::uint32_t {
    if (end - pos < 4) throw EAudioFormat("truncated picture block");
    std::uint8_t b[4];
    ReadExact(source, pos, b, 4);
    pos += 4;
    return BE32(b);
  };
  auto text = [&](std::uint32_t n) -> std::string {
    if (n > end - pos) throw EAudioFormat("truncated picture block");
    std::string s = ReadUpTo(source, pos, n);
    pos += n;
    return s;
  };
  art.PictureType = static_cast<std::uint8_t>(number());
  const std::uint32_t mimeLength = number();
  if (mimeLength > 256) return false;
  art.MimeType = text(mimeLength);
  const std::uint32_t descriptionLength = number();
  if (descriptionLength > end - pos) return false;
  pos += descriptionLength;
  for (int i = 0; i < 4; ++i) number();
  const std::uint32_t length = number();
  if (length == 0 || length > end - pos) return false;
  art.Data = text(length);
  return true;
}

}  // namespace

bool ReadFlacPicture(IByteSource& source, TCoverArt& art) {
  art = TCoverArt();
  try {
    TID3v2 id3;
    if (!id3.ReadFromSource(source)) return false;
    std::uint64_t pos = id3.Exists ? id3.Size : 0;
    const std::uint64_t size = source.Size();
    char marker[4];
    ReadExact(source, pos, marker, 4);
    if (std::memcmp(marker, "fLaC", 4) != 0) return false;
    pos += 4;
    bool found = false;
    for (bool last = false; !last && size - pos >= 4;) {
      std::uint8_t bh[4];
      ReadExact(source, pos, bh, 4);
      last = (bh[0] & 0x80) != 0;
      const int type = bh[0] & 0x7F;
      const std::uint32_t length = BE24(bh + 1);
      pos += 4;
      if (type == 127 || length > size - pos) break;
      if (type == 6 && length <= kMaxCoverArtBytes + 4096) {
        TCoverArt candidate;
        if (DecodeFlacPicture(source, pos, pos + length, candidate)) {
          if (candidate.PictureType == 3) {
            art = std::move(candidate);
            return true;
          }
          if (!found) {
            art = std::move(candidate);
            found = true;
          }
        }
      }
      pos += length;
    }
    return found;
  } catch (...) {
    art = TCoverArt();
    return false;
  }
}

bool ReadCoverArt(IByteSource& source, TCoverArt& art) {
  // FLAC first: its leading ID3v2 tag, if any, is a stray one and the blocks are what counts.
  return ReadFlacPicture(source, art) || ReadMP4Cover(source, art) || ReadID3v2Picture(source, art);
}

bool ReadCoverArt(const std::string& fileName, TCoverArt& art) {
  art = TCoverArt();
  TFileByteSource source;
  if (source.Open(fileName) != 0) return false;
  try {
    return ReadCoverArt(source, art);
  } catch (...) {
    return false;
  }
}

}  // namespace pelcrow
