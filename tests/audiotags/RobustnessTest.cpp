// Truncated and damaged files must be rejected or read partially, never crash, hang or read
// outside the file. The fuzzer (tests/fuzz/fuzz_audiotags.cpp) searches further.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "AudioBuilders.h"
#include "audiotags/AudioTags.h"
#include "audiotags/FLACfile.h"
#include "audiotags/MP4Tags.h"
#include "audiotags/MPEGaudio.h"
#include "audiotags/OggVorbis.h"
#include "audiotags/RealMediaFile.h"
#include "audiotags/TagText.h"
#include "audiotags/WMAfile.h"

namespace pelcrow {
namespace {

using namespace test;

std::string Slurp(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A source that fails every check a reader could skip: reads past the end are counted.
class TCheckedSource : public TStringSource {
 public:
  using TStringSource::TStringSource;
  std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override {
    if (offset > Size()) ++ReadsPastEnd;
    return TStringSource::ReadAt(offset, buffer, count);
  }
  int ReadsPastEnd = 0;
};

// Runs every reader and the facade over the bytes; the values must be valid UTF-8 text.
void ReadEverything(const std::string& bytes) {
  TCheckedSource src(bytes);
  {
    TMPEGaudio r;
    r.ReadFromSource(src);
    (void)r.Valid();
  }
  {
    TMP4Tags r;
    r.ReadFromSource(src);
  }
  {
    TFLACfile r;
    r.ReadFromSource(src);
  }
  {
    TOggVorbis r;
    r.ReadFromSource(src);
    (void)r.Valid();
  }
  {
    TWMAfile r;
    r.ReadFromSource(src);
  }
  {
    TRealMediaFile r;
    r.ReadFromSource(src);
  }
  if (auto p = TAudioParserClass::Recognize(src)) {
    for (auto tag : {mtTitle, mtArtist, mtAlbum, mtTrack, mtYear, mtGenre, mtDuration, mtBitRate}) {
      std::string v = p->Value(tag);
      EXPECT_EQ(SanitizeUtf8(v), v);
    }
  }
  EXPECT_EQ(src.ReadsPastEnd, 0);
}

std::vector<std::filesystem::path> Files(const std::string& folder, const std::string& skipExtension) {
  std::vector<std::filesystem::path> files;
  std::filesystem::path dir = std::filesystem::path(AudioFixture(folder));
  if (!std::filesystem::is_directory(dir)) return files;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    if (e.is_regular_file() && e.path().extension() != skipExtension) files.push_back(e.path());
  std::sort(files.begin(), files.end());
  return files;
}

TEST(AudioRobustnessTest, TruncatedFixtures) {
  for (const auto& path : Files(".", ".sh")) {
    SCOPED_TRACE(path.filename().string());
    const std::string bytes = Slurp(path);
    for (std::size_t n = 0; n < bytes.size(); n += (n < 600 ? 1 : 97)) ReadEverything(bytes.substr(0, n));
    // Cut at the front too: the trailing tags alone.
    for (std::size_t n = 1; n < bytes.size(); n += 211) ReadEverything(bytes.substr(n));
  }
}

TEST(AudioRobustnessTest, DamagedFixtures) {
  std::mt19937 rng(20240601);
  for (const auto& path : Files(".", ".sh")) {
    SCOPED_TRACE(path.filename().string());
    const std::string bytes = Slurp(path);
    for (int round = 0; round < 300; ++round) {
      std::string damaged = bytes;
      // Damage the structure near the front, where the headers are, and anywhere else.
      for (int k = 0; k < 4; ++k) {
        std::size_t at = rng() % (k < 2 ? std::min<std::size_t>(bytes.size(), 1024) : bytes.size());
        damaged[at] = static_cast<char>(rng() % 4 == 0 ? 0xFF : rng());
      }
      ReadEverything(damaged);
    }
  }
}

TEST(AudioRobustnessTest, HugeClaimedSizesAreNotTrusted) {
  const std::string cases[] = {
      // ID3v2 frame sizes and counts far beyond the tag.
      Id3v2Tag(3, "TIT2" + BE(0x7FFFFFFF, 4) + std::string(2, '\0') + "x") + std::string(5000, '\0'),
      // A Vorbis comment claiming four gigabytes.
      "fLaC" + FlacStreamInfo(44100, 2, 16, 44100, false) + FlacBlock(4, LE(0xFFFFFFFF, 4) + "v", true),
      // An Ogg comment count of four billion with nothing behind it.
      OggPage(VorbisIdentification(2, 44100, 128000), 0, 0, Lacing(30)) +
          OggPage(std::string("\x03vorbis", 7) + LE(0, 4) + LE(0xFFFFFFFF, 4), 0, 1, Lacing(15)),
      // ASF with four billion header objects.
      Guid(0x75B22630, 0x668E, 0x11CF, 0xA6D900AA0062CE6CULL) + LE(30, 8) + LE(0xFFFFFFFF, 4) + "\x01\x02",
      // MP4 sample table with four billion entries.
      Mp4File(Mp4Mvhd(1, 1) + Mp4SoundTrack(BE(0, 4) + BE(0, 4) + BE(0xFFFFFFFF, 4))),
      // APE footer with an item count of four billion.
      MpegFrames(Mpeg1L3Header128(), kMpeg1L3Frame128, 10) + "APETAGEX" + LE(2000, 4) + LE(32, 4) + LE(0xFFFFFFFF, 4) +
          LE(0, 4) + std::string(8, '\0'),
  };
  for (const auto& c : cases) ReadEverything(c);
}

}  // namespace
}  // namespace pelcrow
