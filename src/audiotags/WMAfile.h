// Windows Media Audio: the header objects of an ASF file (file and stream properties, content
// description and extended content description).
#pragma once

#include <cstdint>
#include <string>

#include "audiotags/ByteSource.h"

namespace pelcrow {

class TWMAfile {
 public:
  // Strings longer than this many characters are cut; the rest of their bytes is skipped.
  static constexpr std::size_t kMaxStringChars = 250;

  bool Valid = false;
  std::uint64_t FileSize = 0;
  std::uint8_t ChannelModeID = 0;
  std::uint32_t SampleRate = 0;
  double Duration = 0;
  std::uint32_t BitRate = 0;  // kbit/s
  std::string Title, Artist, Album, Year, Genre, Comment;
  std::uint32_t Track = 0;

  void Reset() { *this = TWMAfile(); }
  // False when the file is not ASF or cannot be read; Valid tells whether the header made sense.
  bool ReadFromSource(IByteSource& source);
};

}  // namespace pelcrow
