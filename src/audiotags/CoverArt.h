// The picture a song carries for its album: ID3v2 APIC (PIC in 2.2) frames, FLAC PICTURE blocks
// and the MP4 "covr" item. The bytes are returned as stored (JPEG, PNG, ...); decoding them is
// the caller's business.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "audiotags/ByteSource.h"

namespace pelcrow {

struct TCoverArt {
  std::string MimeType;  // as the file states it; may be empty or "-->" (a link, no bytes)
  std::uint8_t PictureType = 0;  // 3 = front cover
  std::string Data;
};

// Pictures larger than this are passed over: a preview never needs them and a damaged size must
// not make us allocate gigabytes.
inline constexpr std::size_t kMaxCoverArtBytes = 16u << 20;

// The front cover, else the first picture with bytes; false when the file has none, is not a
// format that carries pictures, or cannot be read. Never throws.
bool ReadCoverArt(IByteSource& Source, TCoverArt& Art);
bool ReadCoverArt(const std::string& FileName, TCoverArt& Art);

// The format readers behind ReadCoverArt, same contract.
bool ReadID3v2Picture(IByteSource& Source, TCoverArt& Art);
bool ReadFlacPicture(IByteSource& Source, TCoverArt& Art);
bool ReadMP4Cover(IByteSource& Source, TCoverArt& Art);

}  // namespace pelcrow
