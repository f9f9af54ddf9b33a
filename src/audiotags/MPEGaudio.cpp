#include "audiotags/MPEGaudio.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "audiotags/TagText.h"

namespace pelcrow {

namespace {

constexpr std::uint8_t kMPEG1 = 3;                 // version id; 2 is MPEG-2, 0 MPEG-2.5
constexpr std::uint8_t kLayerII = 2, kLayerI = 3;  // layer id; 1 is layer III

// kbit/s by [MPEG-1 or not][layer I, II, III][index].
constexpr int kBitRates[2][3][16] = {
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}},
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}},
};

// Hz by [version id][sample-rate id].
constexpr int kSampleRates[4][4] = {
    {11025, 12000, 8000, 0}, {0, 0, 0, 0}, {22050, 24000, 16000, 0}, {44100, 48000, 32000, 0}};

// The start of another format that a chance pair of sync words in its data must not turn into MPEG.
bool IsOtherFormat(const std::uint8_t* b, std::size_t n) {
  static constexpr std::uint8_t kAsf[8] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11};
  if (n >= 4 && (std::memcmp(b, "fLaC", 4) == 0 || std::memcmp(b, "OggS", 4) == 0 || std::memcmp(b, ".RMF", 4) == 0))
    return true;
  if (n >= 8 && (std::memcmp(b, kAsf, 8) == 0 || std::memcmp(b + 4, "ftyp", 4) == 0)) return true;
  return false;
}

}  // namespace

void TMPEGaudio::Reset() { *this = TMPEGaudio(); }

bool TMPEGaudio::IsFrameHeader(const std::uint8_t* b) {
  return b[0] == 0xFF && b[1] >= 0xE0 && ((b[1] >> 3) & 3) != 1 && (b[1] & 6) != 0 && b[2] >= 16 && b[2] < 240 &&
         ((b[2] >> 2) & 3) != 3 && (b[3] & 3) != 2;
}

TFrameData TMPEGaudio::DecodeHeader(const std::uint8_t* b) {
  TFrameData f;
  std::memcpy(f.Data, b, 4);
  f.VersionID = (b[1] >> 3) & 3;
  f.LayerID = (b[1] >> 1) & 3;
  f.ProtectionBit = (b[1] & 1) == 0;
  f.BitRateID = b[2] >> 4;
  f.SampleRateID = (b[2] >> 2) & 3;
  f.PaddingBit = (b[2] & 2) != 0;
  f.PrivateBit = (b[2] & 1) != 0;
  f.ModeID = b[3] >> 6;
  f.ModeExtensionID = (b[3] >> 4) & 3;
  f.CopyrightBit = (b[3] & 8) != 0;
  f.OriginalBit = (b[3] & 4) != 0;
  f.EmphasisID = b[3] & 3;
  return f;
}

int TMPEGaudio::TableBitRate(const TFrameData& f) {
  if (f.VersionID == 1 || f.LayerID == 0 || f.LayerID > 3 || f.BitRateID > 15) return 0;
  return kBitRates[f.VersionID == kMPEG1 ? 1 : 0][3 - f.LayerID][f.BitRateID];
}

int TMPEGaudio::TableSampleRate(const TFrameData& f) {
  if (f.VersionID > 3 || f.SampleRateID > 3) return 0;
  return kSampleRates[f.VersionID][f.SampleRateID];
}

int TMPEGaudio::Coefficient(const TFrameData& f) {
  // Samples per frame / 8: 384 for layer I in every version, 1152 for layer II, 1152 or 576 for III.
  if (f.LayerID == kLayerI) return 48;
  if (f.LayerID == kLayerII || f.VersionID == kMPEG1) return 144;
  return 72;
}

int TMPEGaudio::Padding(const TFrameData& f) { return f.PaddingBit ? (f.LayerID == kLayerI ? 4 : 1) : 0; }

int TMPEGaudio::FrameLength(const TFrameData& f) {
  int sr = TableSampleRate(f);
  if (sr == 0) return 0;
  return static_cast<int>(static_cast<std::int64_t>(Coefficient(f)) * TableBitRate(f) * 1000 / sr) + Padding(f);
}

bool TMPEGaudio::SearchFrame(IByteSource& source, std::uint64_t start) {
  // Consecutive buffers overlap by half, so every start offset is tried once; the extra 4 bytes
  // let a frame of the largest length at the last offset be confirmed.
  constexpr std::size_t kRead = kSearchBuffer + 4;
  std::uint8_t buf[kRead];
  for (std::uint64_t at = start; at - start < kMaxFrameSearch; at += kMaxFrameLength + 1) {
    std::size_t got = source.ReadAt(at, buf, kRead);
    if (at == start && IsOtherFormat(buf, got)) return false;
    for (std::size_t i = 0; i <= kMaxFrameLength && i + 4 <= got; ++i) {
      if (!IsFrameHeader(buf + i)) continue;
      TFrameData f = DecodeHeader(buf + i);
      std::size_t len = static_cast<std::size_t>(FrameLength(f));
      if (len == 0 || i + len + 4 > got || !IsFrameHeader(buf + i + len)) continue;
      f.Found = true;
      f.Position = at + i;
      f.Size = static_cast<std::uint16_t>(len);
      f.Xing = i + 10 <= got && std::all_of(buf + i + 4, buf + i + 10, [](std::uint8_t c) { return c == 0; });
      Frame = f;
      return true;
    }
    if (got < kRead) break;
  }
  return false;
}

void TMPEGaudio::ReadVBR(IByteSource& source) {
  const bool mono = Frame.ModeID == 3;
  const std::uint64_t xingAt = Frame.Position + (Frame.VersionID == kMPEG1 ? (mono ? 21 : 36) : (mono ? 13 : 21));
  std::string x = ReadUpTo(source, xingAt, 120);
  const std::uint8_t* p = Bytes(x);
  if (x.size() >= 8 && x.compare(0, 4, "Xing") == 0) {
    // Fields follow in flag order; a missing one takes no room.
    std::uint32_t flags = BE32(p + 4);
    std::size_t at = 8;
    auto field = [&](std::uint32_t bit, std::size_t width) -> const std::uint8_t* {
      if (!(flags & bit)) return nullptr;
      const std::uint8_t* q = at + width <= x.size() ? p + at : nullptr;
      at += width;
      return q;
    };
    if (const std::uint8_t* q = field(1, 4)) VBR.Frames = BE32(q);
    if (const std::uint8_t* q = field(2, 4)) VBR.Bytes = BE32(q);
    field(4, 100);
    if (const std::uint8_t* q = field(8, 4)) VBR.Scale = q[3];
    VBR.Found = true;
    std::memcpy(VBR.ID, "Xing", 4);
    return;
  }
  // VBRI sits 32 bytes behind the header whatever the version and channel mode.
  std::string v = ReadUpTo(source, Frame.Position + 36, 18);
  if (v.size() == 18 && v.compare(0, 4, "VBRI") == 0) {
    const std::uint8_t* q = Bytes(v);
    VBR.Scale = q[9];
    VBR.Bytes = BE32(q + 10);
    VBR.Frames = BE32(q + 14);
    VBR.Found = true;
    std::memcpy(VBR.ID, "VBRI", 4);
  }
}

bool TMPEGaudio::ReadFromSource(IByteSource& source) {
  Reset();
  try {
    if (!ID3v2.ReadFromSource(source) || !ID3v1.ReadFromSource(source)) {
      Reset();
      return false;
    }
    FileLength = source.Size();
    if (!SearchFrame(source, ID3v2.Exists ? ID3v2.Size : 0)) {
      Reset();
      return true;
    }
    MPEGStart = Frame.Position;
    MPEGEnd = FileLength - std::min<std::uint64_t>(ID3v1.TagSize, FileLength);
    ReadVBR(source);
    std::int64_t tsiz = 0;
    if (!ID3v2.TSIZ.empty() && ParseInteger(ID3v2.TSIZ, tsiz) && tsiz >= 0)
      AudioSizeTag = static_cast<std::uint64_t>(tsiz);
    if (!APEtag.ReadFromSource(source, MPEGEnd)) APEtag.Reset();
    return true;
  } catch (...) {
    Reset();
    return false;
  }
}

int TMPEGaudio::SampleRate() const { return Frame.Found ? TableSampleRate(Frame) : 0; }

int TMPEGaudio::BitRate() const {
  if (!Frame.Found) return 0;
  if (VBR.Found && VBR.Frames > 0) {
    double kbps =
        (static_cast<double>(VBR.Bytes) / VBR.Frames - Padding(Frame)) * SampleRate() / Coefficient(Frame) / 1000;
    // Far out of range stays out of range instead of wrapping.
    if (!(kbps < 1e6)) return 1000000;
    return static_cast<int>(std::nearbyint(kbps));
  }
  return TableBitRate(Frame);
}

double TMPEGaudio::Duration() const {
  if (!Frame.Found) return 0;
  if (VBR.Found && VBR.Frames > 0) return static_cast<double>(VBR.Frames) * Coefficient(Frame) * 8 / SampleRate();
  int kbps = TableBitRate(Frame);
  if (kbps == 0) return 0;
  return (static_cast<double>(MPEGEnd) - static_cast<double>(MPEGStart)) * 8 / (kbps * 1000.0);
}

bool TMPEGaudio::Valid() const {
  int rate = BitRate();
  return Frame.Found && rate >= 8 && rate <= 448 && Duration() >= 0.1;
}

}  // namespace pelcrow
