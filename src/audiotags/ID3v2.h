// The ID3v2 tag at the start of a file (versions 2.2, 2.3 and 2.4): the text frames the music mode
// needs, decoded into UTF-8. Only the first frame of each kind counts, and only its first
// kMaxFrameBytes bytes are read.
#pragma once

#include <cstdint>
#include <string>

#include "audiotags/ByteSource.h"

namespace pelcrow {

class TID3v2 {
 public:
  static constexpr std::size_t kMaxFrameBytes = 500;

  bool Exists = false;
  std::uint8_t VersionID = 0;  // major version: 2, 3 or 4 carry frames
  std::uint32_t Size = 0;      // whole tag with header and footer; 0 when the file is shorter
  std::string Title, Artist, Album, TrackString, Year, Genre, Comment, Composer, Encoder, Copyright, Language, Link,
      TSIZ;
  std::uint16_t Track = 0;

  void Reset() { *this = TID3v2(); }
  // Returns false only when fewer than 10 bytes can be read; a file without the tag reads fine.
  bool ReadFromSource(IByteSource& source);
};

}  // namespace pelcrow
