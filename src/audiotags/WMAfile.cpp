#include "audiotags/WMAfile.h"

#include <algorithm>
#include <cstring>

#include "audiotags/TagText.h"

namespace pelcrow {

namespace {

using TGuid = std::uint8_t[16];

// GUIDs as stored: the first three fields little-endian.
constexpr TGuid kHeaderObject = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                 0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr TGuid kFileProperties = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                   0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
constexpr TGuid kStreamProperties = {0x91, 0x07, 0xDC, 0xB7, 0xB7, 0xA9, 0xCF, 0x11,
                                     0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
constexpr TGuid kContentDescription = {0x33, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                       0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr TGuid kExtendedContentDescription = {0x40, 0xA4, 0xD0, 0xD2, 0x07, 0xE3, 0xD2, 0x11,
                                               0x97, 0xF0, 0x00, 0xA0, 0xC9, 0x5E, 0xA8, 0x50};
constexpr TGuid kAudioMedia = {0x40, 0x9E, 0x69, 0xF8, 0x4D, 0x5B, 0xCF, 0x11,
                               0xA8, 0xFD, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B};

constexpr std::size_t kObjectHeaderLength = 24;

bool SameGuid(const std::uint8_t* p, const TGuid& g) { return std::memcmp(p, g, 16) == 0; }

// Reads within one header object; running past its end is a malformed file.
class TObjectReader {
 public:
  TObjectReader(IByteSource& source, std::uint64_t pos, std::uint64_t end) : fSource(source), fPos(pos), fEnd(end) {}
  std::uint16_t Word() {
    std::uint8_t b[2];
    Bytes(b, 2);
    return LE16(b);
  }
  void Bytes(void* out, std::size_t n) {
    if (n > fEnd - std::min(fPos, fEnd)) throw EAudioFormat("object too short");
    ReadExact(fSource, fPos, out, n);
    fPos += n;
  }
  // A UTF-16LE string of `byteLength` bytes, of which the first kMaxStringChars characters count.
  std::string String(std::size_t byteLength) {
    if (byteLength > fEnd - std::min(fPos, fEnd)) throw EAudioFormat("object too short");
    std::string raw = ReadUpTo(fSource, fPos, std::min(byteLength, TWMAfile::kMaxStringChars * 2));
    fPos += byteLength;
    return Utf16ToUtf8(raw, false);
  }
  void Skip(std::size_t n) {
    if (n > fEnd - std::min(fPos, fEnd)) throw EAudioFormat("object too short");
    fPos += n;
  }

 private:
  IByteSource& fSource;
  std::uint64_t fPos, fEnd;
};

}  // namespace

namespace {

// What the header objects say, before it is judged.
struct THeaderFacts {
  std::uint32_t MaxBitRate = 0, AvgBytesPerSec = 0, SampleRate = 0;
  std::uint16_t Channels = 0;
  std::string Title, Artist, Album, Track, TrackNumber, Year, Genre, Comment;
};

void ReadContentDescription(TObjectReader& r, THeaderFacts& f) {
  std::uint16_t len[5];
  for (auto& l : len) l = r.Word();
  f.Title = r.String(len[0]);
  f.Artist = r.String(len[1]);
  r.String(len[2]);
  f.Comment = r.String(len[3]);
}

// The text field an extended descriptor fills, or nullptr.
std::string* TextFieldOf(THeaderFacts& f, const std::string& name) {
  if (name == "WM/TITLE") return &f.Title;
  if (name == "WM/AUTHOR") return &f.Artist;
  if (name == "WM/ALBUMTITLE") return &f.Album;
  if (name == "WM/TRACK") return &f.Track;
  if (name == "WM/TRACKNUMBER") return &f.TrackNumber;
  if (name == "WM/YEAR") return &f.Year;
  if (name == "WM/GENRE") return &f.Genre;
  if (name == "WM/DESCRIPTION") return &f.Comment;
  return nullptr;
}

void ReadExtendedContentDescription(TObjectReader& r, THeaderFacts& f) {
  for (std::uint16_t k = 0, count = r.Word(); k < count; ++k) {
    const std::uint16_t nameLength = r.Word();
    const std::string name = UpperAscii(TrimText(r.String(nameLength)));
    const std::uint16_t type = r.Word();
    const std::uint16_t valueLength = r.Word();
    if (type != 0) {
      // Players store the one-based WM/TrackNumber as a number; other numbers are not needed.
      if (name == "WM/TRACKNUMBER" && ((type == 3 && valueLength == 4) || (type == 4 && valueLength == 8) ||
                                       (type == 5 && valueLength == 2))) {
        std::uint8_t b[8];
        r.Bytes(b, valueLength);
        f.TrackNumber = std::to_string(type == 3 ? LE32(b) : type == 4 ? LE64(b) : LE16(b));
      } else {
        r.Skip(valueLength);
      }
      continue;
    }
    std::string value = r.String(valueLength);
    if (std::string* field = TextFieldOf(f, name)) *field = std::move(value);
  }
}

// One header object at pos, ending at end.
void ReadHeaderObject(IByteSource& source, const std::uint8_t* oh, std::uint64_t pos, std::uint64_t end,
                      THeaderFacts& f) {
  if (SameGuid(oh, kFileProperties)) {
    std::uint8_t b[4];
    if (pos + 104 <= end) {
      ReadExact(source, pos + 100, b, 4);
      f.MaxBitRate = LE32(b);
    }
  } else if (SameGuid(oh, kStreamProperties)) {
    // Only an audio stream describes the sound; a video stream's format block is no WAVEFORMATEX.
    std::uint8_t b[90];
    if (pos + sizeof b <= end) {
      ReadExact(source, pos, b, sizeof b);
      if (SameGuid(b + 24, kAudioMedia)) {
        f.Channels = LE16(b + 80);
        f.SampleRate = LE32(b + 82);
        f.AvgBytesPerSec = LE32(b + 86);
      }
    }
  } else if (SameGuid(oh, kContentDescription)) {
    TObjectReader r(source, pos + kObjectHeaderLength, end);
    ReadContentDescription(r, f);
  } else if (SameGuid(oh, kExtendedContentDescription)) {
    TObjectReader r(source, pos + kObjectHeaderLength, end);
    ReadExtendedContentDescription(r, f);
  }
}

}  // namespace

bool TWMAfile::ReadFromSource(IByteSource& source) {
  Reset();
  try {
    FileSize = source.Size();
    std::uint8_t head[30];
    ReadExact(source, 0, head, sizeof head);
    if (!SameGuid(head, kHeaderObject)) {
      Reset();
      return false;
    }
    const std::uint32_t objects = LE32(head + 24);
    THeaderFacts f;
    std::uint64_t pos = sizeof head;
    for (std::uint32_t i = 0; i < objects; ++i) {
      std::uint8_t oh[kObjectHeaderLength];
      if (pos + sizeof oh > FileSize || source.ReadAt(pos, oh, sizeof oh) < sizeof oh) break;
      const std::uint64_t size = LE32(oh + 16);
      // An object smaller than its own header would make the walk stand still or go back.
      if (size < kObjectHeaderLength) break;
      ReadHeaderObject(source, oh, pos, std::min(pos + size, FileSize), f);
      pos += size;
    }
    Valid = f.MaxBitRate > 0 && f.MaxBitRate < 320000 && (f.Channels == 1 || f.Channels == 2) && f.SampleRate >= 8000 &&
            f.SampleRate <= 96000 && f.AvgBytesPerSec > 0 && f.AvgBytesPerSec < 40000;
    if (Valid) {
      ChannelModeID = static_cast<std::uint8_t>(f.Channels);
      SampleRate = f.SampleRate;
      Duration = static_cast<double>(FileSize) * 8 / f.MaxBitRate;
      BitRate = f.AvgBytesPerSec * 8 / 1000;
      Title = TrimText(f.Title);
      Artist = TrimText(f.Artist);
      Album = TrimText(f.Album);
      Year = TrimText(f.Year);
      Genre = TrimText(f.Genre);
      Comment = TrimText(f.Comment);
      std::int64_t n = 0;
      const std::string track = TrimText(f.TrackNumber).empty() ? f.Track : f.TrackNumber;
      Track = ParseInteger(TrimText(track), n) && n >= 0 && n <= 0xFFFFFFFF ? static_cast<std::uint32_t>(n) : 0;
    }
    return true;
  } catch (...) {
    Reset();
    return false;
  }
}

}  // namespace pelcrow
