#include "audiotags/OggVorbis.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "audiotags/TagText.h"

namespace pelcrow {

namespace {

constexpr std::size_t kPageHeaderLength = 27;

// The bytes of one logical packet, following its segments across page boundaries (a comment
// header with embedded cover art spans many pages).
class TOggPacketReader {
 public:
  TOggPacketReader(IByteSource& source, std::uint64_t firstPage) : fSource(source), fDataPos(firstPage) {
    LoadPage();
    BeginSegment();
  }

  // Copies up to `n` bytes of the current packet (`out` may be null to skip); fewer at its end.
  std::uint64_t Read(std::uint8_t* out, std::uint64_t n) {
    std::uint64_t done = 0;
    while (done < n) {
      if (fSegmentLeft == 0) {
        if (fSegmentLength < 255) break;  // the packet ends here
        NextSegment();
        continue;
      }
      std::uint64_t step = std::min<std::uint64_t>(n - done, fSegmentLeft);
      if (out) ReadExact(fSource, fDataPos, out + done, static_cast<std::size_t>(step));
      fDataPos += step;
      fSegmentLeft -= step;
      done += step;
    }
    return done;
  }

  void ReadExactly(void* out, std::size_t n) {
    if (Read(static_cast<std::uint8_t*>(out), n) != n) throw EAudioFormat("packet too short");
  }

  // Skips the rest of the current packet and positions at the start of the next one.
  void NextPacket() {
    Read(nullptr, std::numeric_limits<std::uint64_t>::max());
    NextSegment();
  }

 private:
  void LoadPage() {
    // Pages without segments carry nothing; each costs at least its header, so this ends.
    for (;;) {
      std::uint8_t h[kPageHeaderLength];
      ReadExact(fSource, fDataPos, h, kPageHeaderLength);
      if (std::memcmp(h, "OggS", 4) != 0) throw EAudioFormat("not an Ogg page");
      fSegmentCount = h[26];
      ReadExact(fSource, fDataPos + kPageHeaderLength, fLacing, fSegmentCount);
      fDataPos += kPageHeaderLength + fSegmentCount;
      fSegment = 0;
      if (fSegmentCount > 0) return;
    }
  }
  void BeginSegment() {
    fSegmentLength = fLacing[fSegment];
    fSegmentLeft = fSegmentLength;
  }
  void NextSegment() {
    if (++fSegment >= fSegmentCount) LoadPage();
    BeginSegment();
  }

  IByteSource& fSource;
  std::uint64_t fDataPos;
  std::uint8_t fLacing[255] = {};
  std::size_t fSegmentCount = 0;
  std::size_t fSegment = 0;
  std::size_t fSegmentLength = 0;
  std::uint64_t fSegmentLeft = 0;
};

}  // namespace

bool TOggVorbis::ReadFromSource(IByteSource& source) {
  Reset();
  try {
    FileSize = source.Size();
    std::uint8_t id3[10];
    if (source.ReadAt(0, id3, 10) == 10 && std::memcmp(id3, "ID3", 3) == 0) {
      std::uint64_t size = (static_cast<std::uint64_t>(id3[6]) << 21) + (static_cast<std::uint64_t>(id3[7]) << 14) +
                           (static_cast<std::uint64_t>(id3[8]) << 7) + id3[9] + 10;
      if (id3[5] & 0x10) size += 10;
      ID3v2Size = size > FileSize ? 0 : size;
    }
    std::uint8_t magic[4];
    ReadExact(source, ID3v2Size, magic, 4);
    if (std::memcmp(magic, "OggS", 4) != 0) {
      Reset();
      return false;
    }
    TOggPacketReader packets(source, ID3v2Size);
    std::uint8_t ident[30];
    packets.ReadExactly(ident, sizeof ident);
    if (std::memcmp(ident, "\x01vorbis", 7) != 0) {
      Reset();
      return false;
    }
    ChannelModeID = ident[11];
    SampleRate = LE32(ident + 12);
    NominalBitRate = static_cast<std::int32_t>(LE32(ident + 20));
    BitRateNominal = static_cast<std::uint16_t>(NominalBitRate / 1000);

    packets.NextPacket();
    std::uint8_t kind[7];
    if (packets.Read(kind, 7) == 7 && std::memcmp(kind, "\x03vorbis", 7) == 0) {
      auto entry = [&]() -> std::string {
        std::uint8_t len[4];
        packets.ReadExactly(len, 4);
        std::uint32_t n = LE32(len);
        std::string s(std::min<std::size_t>(n, kMaxEntryBytes), '\0');
        packets.ReadExactly(s.data(), s.size());
        if (packets.Read(nullptr, n - s.size()) != n - s.size()) throw EAudioFormat("comment too short");
        return std::string(TrimText(s));
      };
      Vendor = Utf8Prefix(entry());
      std::uint8_t countBytes[4];
      packets.ReadExactly(countBytes, 4);
      std::string title, artist, album, track, date, genre, comment, performer, description;
      struct TField {
        const char* Name;
        std::string* Value;
      };
      const TField fields[] = {{"TITLE", &title},       {"ARTIST", &artist},       {"ALBUM", &album},
                               {"TRACKNUMBER", &track}, {"DATE", &date},           {"GENRE", &genre},
                               {"COMMENT", &comment},   {"PERFORMER", &performer}, {"DESCRIPTION", &description}};
      // Every comment takes at least its length field from the packet, which the file bounds.
      for (std::uint32_t i = 0, count = LE32(countBytes); i < count; ++i) {
        std::string c = entry();
        std::size_t eq = c.find('=');
        if (eq == std::string::npos) continue;
        std::string name = UpperAscii(std::string_view(c).substr(0, eq));
        for (const TField& f : fields)
          if (name == f.Name) *f.Value = Utf8Prefix(TrimText(std::string_view(c).substr(eq + 1)));
      }
      Title = title;
      Artist = artist.empty() ? performer : artist;
      Album = album;
      Track = static_cast<std::uint16_t>(TrackNumberOf(track, 0xFFFF));
      Date = date;
      Genre = genre;
      Comment = comment.empty() ? description : comment;
    }
    FindSamples(source);
    return true;
  } catch (...) {
    Reset();
    return false;
  }
}

void TOggVorbis::FindSamples(IByteSource& source) {
  for (int attempt = 1; attempt <= 50; ++attempt) {
    std::uint64_t back = static_cast<std::uint64_t>(attempt) * 241 + 10;
    if (back > FileSize) break;
    std::string window = ReadUpTo(source, FileSize - back, 251);
    for (std::size_t i = window.size() >= 4 ? window.size() - 4 + 1 : 0; i-- > 0;) {
      if (window.compare(i, 4, "OggS") != 0) continue;
      std::uint8_t h[kPageHeaderLength];
      if (source.ReadAt(FileSize - back + i, h, kPageHeaderLength) < kPageHeaderLength) continue;
      // A granule of -1 marks a page on which no packet ends: no sample count there.
      std::uint64_t granule = LE64(h + 6);
      Samples = granule > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) ? 0 : granule;
      return;
    }
  }
}

double TOggVorbis::Duration() const {
  if (Samples > 0) return SampleRate > 0 ? static_cast<double>(Samples) / SampleRate : 0;
  if (NominalBitRate != 0 && ChannelModeID != 0)
    return (static_cast<double>(FileSize) - static_cast<double>(ID3v2Size)) / NominalBitRate / ChannelModeID / 125 * 2;
  return 0;
}

int TOggVorbis::BitRate() const {
  double d = Duration();
  if (!(d > 0)) return 0;
  double kbps = std::nearbyint((static_cast<double>(FileSize) - static_cast<double>(ID3v2Size)) / d / 125);
  return kbps > 1e9 ? 1000000000 : static_cast<int>(kbps);
}

bool TOggVorbis::Valid() const {
  return (ChannelModeID == 1 || ChannelModeID == 2 || ChannelModeID == 6) && SampleRate >= 1 && Duration() > 0.1 &&
         BitRate() != 0;
}

}  // namespace pelcrow
