#include <gtest/gtest.h>

#include <string>

#include "AudioBuilders.h"
#include "audiotags/MPEGaudio.h"

namespace pelcrow {
namespace {

using namespace test;

TMPEGaudio Read(const std::string& bytes, bool expectRead = true) {
  TStringSource src(bytes);
  TMPEGaudio m;
  EXPECT_EQ(m.ReadFromSource(src), expectRead);
  return m;
}

// A Xing header in the first frame of an MPEG-1 layer III stereo stream (offset 36).
std::string XingFrame(std::uint32_t flags, std::uint32_t frames, std::uint32_t bytes) {
  std::string f = Mpeg1L3Header128() + std::string(32, '\0') + "Xing" + BE(flags, 4);
  if (flags & 1) f += BE(frames, 4);
  if (flags & 2) f += BE(bytes, 4);
  if (flags & 4) f += std::string(100, '\x10');
  if (flags & 8) f += BE(77, 4);
  f.resize(kMpeg1L3Frame128, '\0');
  return f;
}

TEST(MPEGaudioTest, FrameLengths) {
  struct TCase {
    std::string Header;
    int Length, BitRate, SampleRate;
  } cases[] = {
      {MpegHeader(3, 1, 9, 0), 417, 128, 44100},         // MPEG-1 layer III
      {MpegHeader(3, 1, 9, 0, true), 418, 128, 44100},   // padding slot of one byte
      {MpegHeader(2, 1, 4, 0), 104, 32, 22050},          // MPEG-2 layer III: 576 samples
      {MpegHeader(3, 3, 14, 1), 448, 448, 48000},        // layer I
      {MpegHeader(3, 3, 14, 1, true), 452, 448, 48000},  // layer I pads four bytes
      {MpegHeader(3, 2, 14, 2), 1728, 384, 32000},       // layer II, the longest frame searched
      {MpegHeader(0, 1, 1, 2), 72, 8, 8000},             // MPEG-2.5
      {MpegHeader(2, 3, 8, 0), 278, 128, 22050},         // MPEG-2 layer I has 384 samples too
  };
  for (const auto& c : cases) {
    const auto* b = reinterpret_cast<const std::uint8_t*>(c.Header.data());
    ASSERT_TRUE(TMPEGaudio::IsFrameHeader(b));
    TFrameData f = TMPEGaudio::DecodeHeader(b);
    EXPECT_EQ(TMPEGaudio::FrameLength(f), c.Length);
    EXPECT_EQ(TMPEGaudio::TableBitRate(f), c.BitRate);
    EXPECT_EQ(TMPEGaudio::TableSampleRate(f), c.SampleRate);
  }
}

TEST(MPEGaudioTest, HeaderTestRejectsReservedFields) {
  struct TCase {
    std::uint8_t B[4];
    bool Valid;
  } cases[] = {
      {{0xFF, 0xFB, 0x90, 0x00}, true},  {{0xFE, 0xFB, 0x90, 0x00}, false},  // sync
      {{0xFF, 0xCB, 0x90, 0x00}, false},                                     // sync of the second byte
      {{0xFF, 0xEB, 0x90, 0x00}, false},                                     // reserved version
      {{0xFF, 0xF9, 0x90, 0x00}, false},                                     // reserved layer
      {{0xFF, 0xFB, 0x00, 0x00}, false},                                     // free format
      {{0xFF, 0xFB, 0xF0, 0x00}, false},                                     // bit-rate index 15
      {{0xFF, 0xFB, 0x9C, 0x00}, false},                                     // sample-rate index 3
      {{0xFF, 0xFB, 0x90, 0x02}, false},                                     // emphasis 2
  };
  for (const auto& c : cases) EXPECT_EQ(TMPEGaudio::IsFrameHeader(c.B), c.Valid);
}

TEST(MPEGaudioTest, ConstantBitRateDurationFromAudioBytes) {
  // 4,000,000 bytes of 128 kbit/s audio without tags: 250 seconds.
  std::string s = MpegFrames(Mpeg1L3Header128(), kMpeg1L3Frame128, 2);
  s.resize(4000000, '\0');
  TStringSource src(s);
  TMPEGaudio m;
  ASSERT_TRUE(m.ReadFromSource(src));
  EXPECT_TRUE(m.Valid());
  EXPECT_EQ(m.MPEGStart, 0u);
  EXPECT_EQ(m.MPEGEnd, 4000000u);
  EXPECT_EQ(m.BitRate(), 128);
  EXPECT_EQ(m.Duration(), 250.0);
  // Only headers and the first frames are read, never the audio.
  EXPECT_LT(src.BytesRead, 16384u);
}

TEST(MPEGaudioTest, XingHeaderGivesFramesAndBytes) {
  std::string s = XingFrame(0x0F, 1000, 1000 * kMpeg1L3Frame128) + MpegFrames(Mpeg1L3Header128(), kMpeg1L3Frame128, 20);
  TMPEGaudio m = Read(s);
  ASSERT_TRUE(m.Frame.Found);
  EXPECT_TRUE(m.VBR.Found);
  EXPECT_EQ(std::string(m.VBR.ID, 4), "Xing");
  EXPECT_EQ(m.VBR.Frames, 1000u);
  EXPECT_EQ(m.VBR.Scale, 77);
  // 1000 frames of 1152 samples at 44100 Hz, whatever the file size.
  EXPECT_DOUBLE_EQ(m.Duration(), 1000.0 * 144 * 8 / 44100);
  EXPECT_NEAR(m.Duration(), 26.12, 0.005);
  EXPECT_EQ(m.BitRate(), 128);
  EXPECT_TRUE(m.Valid());
}

TEST(MPEGaudioTest, XingFieldsFollowTheirFlags) {
  // Without the frame count there is nothing to time the file by: the CBR rule applies.
  std::string s = XingFrame(0x02, 0, 5000) + MpegFrames(Mpeg1L3Header128(), kMpeg1L3Frame128, 9);
  TMPEGaudio m = Read(s);
  EXPECT_TRUE(m.VBR.Found);
  EXPECT_EQ(m.VBR.Frames, 0u);
  EXPECT_EQ(m.VBR.Bytes, 5000u);
  EXPECT_DOUBLE_EQ(m.Duration(), s.size() * 8 / 128000.0);
  // Frames only: the count is read from the first field.
  m = Read(XingFrame(0x01, 500, 0) + MpegFrames(Mpeg1L3Header128(), kMpeg1L3Frame128, 9));
  EXPECT_EQ(m.VBR.Frames, 500u);
}

TEST(MPEGaudioTest, VbriHeaderSitsBehindTheSideInformation) {
  // Mono MPEG-1: a Xing header would be at 21, VBRI is always at 36.
  std::string h = MpegHeader(3, 1, 9, 0, false, 3);
  std::string first =
      h + std::string(32, '\0') + "VBRI" + BE(1, 2) + BE(0, 2) + BE(0x0050, 2) + BE(300 * 417, 4) + BE(300, 4);
  first.resize(417, '\0');
  TMPEGaudio m = Read(first + MpegFrames(h, 417, 5));
  ASSERT_TRUE(m.VBR.Found);
  EXPECT_EQ(std::string(m.VBR.ID, 4), "VBRI");
  EXPECT_EQ(m.VBR.Frames, 300u);
  EXPECT_EQ(m.VBR.Bytes, 300u * 417);
  EXPECT_EQ(m.VBR.Scale, 0x50);
  EXPECT_DOUBLE_EQ(m.Duration(), 300.0 * 1152 / 44100);
}

TEST(MPEGaudioTest, FrameSearchFindsTheFirstFrameWhereverItLies) {
  struct TCase {
    std::size_t TagBytes, Junk;
  } cases[] = {{0, 0}, {0, 2000}, {0, 1729}, {0, 3458}, {0, 5000}, {200, 5000}, {200, 123457}};
  for (const auto& c : cases) {
    std::string tag = c.TagBytes ? Id3v2Tag(3, Id3v2Text(3, "TIT2", "x"), c.TagBytes - 22) : std::string();
    ASSERT_EQ(tag.size(), c.TagBytes);
    std::string s = tag + std::string(c.Junk, '\0') + MpegFrames(Mpeg1L3Header128(), kMpeg1L3Frame128, 20);
    TMPEGaudio m = Read(s);
    ASSERT_TRUE(m.Frame.Found) << c.Junk;
    EXPECT_EQ(m.MPEGStart, c.TagBytes + c.Junk) << c.Junk;
    EXPECT_TRUE(m.Valid());
  }
}

TEST(MPEGaudioTest, SearchGivesUpAfterALongRunOfJunk) {
  std::string s(TMPEGaudio::kMaxFrameSearch + 4096, '\0');
  s += MpegFrames(Mpeg1L3Header128(), kMpeg1L3Frame128, 20);
  TStringSource src(s);
  TMPEGaudio m;
  EXPECT_TRUE(m.ReadFromSource(src));
  EXPECT_FALSE(m.Frame.Found);
  EXPECT_FALSE(m.Valid());
  EXPECT_LT(src.BytesRead, 2 * TMPEGaudio::kMaxFrameSearch + 65536);
}

TEST(MPEGaudioTest, ValidityBounds) {
  struct TCase {
    const char* Name;
    std::string Bytes;
    bool Found, Valid;
    int BitRate;
  } cases[] = {
      // 0.05 s at 192 kbit/s: a frame is found, but too short to count.
      {"192 kbit/s for 0.05 s",
       [] {
         std::string s = MpegFrames(MpegHeader(3, 1, 11, 0), 626, 1) + MpegHeader(3, 1, 11, 0);
         s.resize(1200, '\0');
         return s;
       }(),
       true, false, 192},
      {"layer I at 448 kbit/s", MpegFrames(MpegHeader(3, 3, 14, 0), 487, 20), true, true, 448},
      {"free format", MpegFrames(MpegHeader(3, 1, 0, 0), 417, 20), false, false, 0},
      {"MPEG-2 layer I", MpegFrames(MpegHeader(2, 3, 8, 0), 278, 100), true, true, 128},
      {"a lone header", MpegFrames(Mpeg1L3Header128(), kMpeg1L3Frame128, 1), false, false, 0},
  };
  for (const auto& c : cases) {
    TMPEGaudio m = Read(c.Bytes);
    EXPECT_EQ(m.Frame.Found, c.Found) << c.Name;
    EXPECT_EQ(m.Valid(), c.Valid) << c.Name;
    EXPECT_EQ(m.BitRate(), c.BitRate) << c.Name;
  }
}

TEST(MPEGaudioTest, ShortFilesAndOtherFormats) {
  TMPEGaudio m = Read("ID3", false);  // shorter than an ID3v2 header
  EXPECT_FALSE(m.Frame.Found);
  // Chance sync words inside another format's data do not make it MPEG.
  for (std::string magic : {std::string("fLaC"), std::string("OggS"), std::string(".RMF"), BE(24, 4) + "ftyp"}) {
    std::string s = magic + std::string(100, '\0') + MpegFrames(Mpeg1L3Header128(), kMpeg1L3Frame128, 20);
    m = Read(s);
    EXPECT_FALSE(m.Frame.Found) << magic;
  }
}

TEST(MPEGaudioTest, TagsEndTheAudioAndNoFrameResetsThem) {
  std::string v1 = Id3v1Tag("T", "A", "B", "2000", "", 1, 17);
  std::string audio = MpegFrames(Mpeg1L3Header128(), kMpeg1L3Frame128, 10);
  std::string tag = Id3v2Tag(3, Id3v2Text(3, "TIT2", "Title") + Id3v2Text(3, "TSIZ", "4170"));
  TMPEGaudio m = Read(tag + audio + v1);
  EXPECT_EQ(m.MPEGStart, tag.size());
  EXPECT_EQ(m.MPEGEnd, tag.size() + audio.size());
  EXPECT_EQ(m.AudioSizeTag, 4170u);
  EXPECT_DOUBLE_EQ(m.Duration(), audio.size() * 8 / 128000.0);
  // Without a frame the tags are dropped as well.
  m = Read(tag + std::string(5000, '\0') + v1);
  EXPECT_FALSE(m.ID3v2.Exists);
  EXPECT_FALSE(m.ID3v1.Exists);
}

}  // namespace
}  // namespace pelcrow
