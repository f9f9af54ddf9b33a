// MP4 audio (iTunes-style metadata): the movie header for the duration, the "ilst" items for the
// tags and the sample sizes of the sound track for the bit rate.
#pragma once

#include <cstdint>
#include <string>

#include "audiotags/ByteSource.h"

namespace pelcrow {

class TMP4Tags {
 public:
  bool IsValid = false;
  std::string Year, Genre, Title, Artist, Album;
  std::uint32_t Track = 0;
  std::uint32_t BitRate = 0;  // kbit/s
  double Duration = 0;

  void Reset() { *this = TMP4Tags(); }
  // False when the file is not MP4 or cannot be read.
  bool ReadFromSource(IByteSource& source);
};

}  // namespace pelcrow
