// MPEG audio streams (MPEG-1, 2 and 2.5, layers I to III): the first frame, the Xing or VBRI header
// of a VBR file, and from them the bit rate and duration; plus the ID3v2 tag in front, the ID3v1
// tag (with Lyrics3) and an APE tag at the end.
#pragma once

#include <cstdint>

#include "audiotags/APETag.h"
#include "audiotags/ByteSource.h"
#include "audiotags/ID3v1.h"
#include "audiotags/ID3v2.h"

namespace pelcrow {

struct TFrameData {
  bool Found = false;
  std::uint64_t Position = 0;
  std::uint16_t Size = 0;
  bool Xing = false;  // the six bytes after the header are zero
  std::uint8_t Data[4] = {0, 0, 0, 0};
  std::uint8_t VersionID = 1;  // 0 MPEG-2.5, 1 reserved, 2 MPEG-2, 3 MPEG-1
  std::uint8_t LayerID = 0;    // 1 layer III, 2 layer II, 3 layer I
  bool ProtectionBit = false;
  std::uint8_t BitRateID = 0;
  std::uint8_t SampleRateID = 3;
  bool PaddingBit = false;
  bool PrivateBit = false;
  std::uint8_t ModeID = 4;  // 3 single channel
  std::uint8_t ModeExtensionID = 4;
  bool CopyrightBit = false;
  bool OriginalBit = false;
  std::uint8_t EmphasisID = 2;
};

struct TVBRData {
  bool Found = false;
  char ID[4] = {0, 0, 0, 0};  // "Xing" or "VBRI"
  std::uint32_t Frames = 0;
  std::uint32_t Bytes = 0;
  std::uint8_t Scale = 0;
};

class TMPEGaudio {
 public:
  // The frame search reads this much at a time and looks at start offsets in its first half.
  static constexpr std::size_t kSearchBuffer = 3458;
  static constexpr std::size_t kMaxFrameLength = 1729;
  // No sync is looked for further than this behind the ID3v2 tag: a file with that much junk in
  // front is not MPEG audio, and the search must not read whole files of other formats.
  static constexpr std::uint64_t kMaxFrameSearch = 1 << 20;

  TID3v1 ID3v1;
  TID3v2 ID3v2;
  TAPETag APEtag;
  std::uint64_t FileLength = 0;
  TFrameData Frame;
  TVBRData VBR;
  std::uint64_t MPEGStart = 0;
  std::uint64_t MPEGEnd = 0;
  std::uint64_t AudioSizeTag = 0;

  void Reset();
  // False when the tags cannot be read (a file shorter than 10 bytes) or on a read error. A file
  // without a frame reads fine but is left reset.
  bool ReadFromSource(IByteSource& source);

  int BitRate() const;  // kbit/s
  int SampleRate() const;
  double Duration() const;
  bool Valid() const;

  static bool IsFrameHeader(const std::uint8_t* b);
  static TFrameData DecodeHeader(const std::uint8_t* b);
  static int TableBitRate(const TFrameData& f);
  static int TableSampleRate(const TFrameData& f);
  static int Coefficient(const TFrameData& f);
  static int Padding(const TFrameData& f);
  static int FrameLength(const TFrameData& f);

 private:
  bool SearchFrame(IByteSource& source, std::uint64_t start);
  void ReadVBR(IByteSource& source);
};

}  // namespace pelcrow
