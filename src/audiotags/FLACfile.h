// FLAC files: STREAMINFO for the stream properties and the Vorbis comment block for the tags. An
// ID3v2 tag in front of the stream is skipped.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "audiotags/ByteSource.h"
#include "audiotags/ID3v2.h"

namespace pelcrow {

struct TFlacHeader {
  char StreamMarker[4];
  std::uint8_t MetaDataBlockHeader[4];
  std::uint8_t Info[18];
  std::uint8_t MD5Sum[16];
};
static_assert(sizeof(TFlacHeader) == 42);

class TFLACfile {
 public:
  TID3v2 ID3v2;
  TFlacHeader Header{};
  std::uint8_t Channels = 0;
  std::uint32_t SampleRate = 0;
  std::uint8_t BitsPerSample = 0;
  std::uint64_t Samples = 0;
  std::uint64_t FileLength = 0;
  std::uint64_t AudioOffset = 0;
  std::uint32_t Bitrate = 0;  // kbit/s
  bool Exists = false;        // the Vorbis comment block holds at least one comment
  std::string Vendor;
  std::string Title, Artist, Album, TrackString, Year, Genre, Comment, Composer, Performer, Description, ISRC;
  std::vector<std::pair<std::string, std::string>> ExtraFields;  // other names, first occurrence

  void Reset() { *this = TFLACfile(); }
  // False when the file is not FLAC or cannot be read.
  bool ReadFromSource(IByteSource& source);
  bool IsValid() const;
  double Duration() const;

 private:
  void ReadComments(IByteSource& source, std::uint64_t pos, std::uint64_t end);
};

}  // namespace pelcrow
