// Ogg Vorbis files: the identification and comment headers of the first logical stream and the
// granule position of the last page for the duration.
#pragma once

#include <cstdint>
#include <string>

#include "audiotags/ByteSource.h"

namespace pelcrow {

class TOggVorbis {
 public:
  // Comment entries longer than this are cut; the rest of their bytes is skipped.
  static constexpr std::size_t kMaxEntryBytes = 500;

  std::uint64_t FileSize = 0;
  std::uint8_t ChannelModeID = 0;  // channel count
  std::uint32_t SampleRate = 0;
  std::int32_t NominalBitRate = 0;   // bit/s as stored
  std::uint16_t BitRateNominal = 0;  // kbit/s
  std::uint64_t Samples = 0;
  std::uint64_t ID3v2Size = 0;
  std::string Vendor, Title, Artist, Album, Date, Genre, Comment;
  std::uint16_t Track = 0;

  void Reset() { *this = TOggVorbis(); }
  // False when the file is not Ogg Vorbis or cannot be read.
  bool ReadFromSource(IByteSource& source);
  double Duration() const;
  int BitRate() const;  // kbit/s over the whole file
  bool Valid() const;

 private:
  void FindSamples(IByteSource& source);
};

}  // namespace pelcrow
