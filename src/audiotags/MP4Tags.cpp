#include "audiotags/MP4Tags.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>

#include "audiotags/CoverArt.h"
#include "audiotags/Genres.h"
#include "audiotags/TagText.h"

namespace pelcrow {

namespace {

struct TAtom {
  std::uint64_t Payload = 0;  // first byte after the atom's header
  std::uint64_t End = 0;      // clipped to the enclosing range
};

class TAtomWalker {
 public:
  explicit TAtomWalker(IByteSource& source) : fSource(source), fFileSize(source.Size()) {}

  // Calls `onAtom(type, atom)` for each atom in [pos, end) until it returns false. A size that
  // cannot be right ends the walk: nothing after it can be located.
  void ForEach(std::uint64_t pos, std::uint64_t end, const std::function<bool(const char*, const TAtom&)>& onAtom) {
    end = std::min(end, fFileSize);
    while (end >= 8 && pos <= end - 8) {
      std::uint8_t h[16];
      ReadExact(fSource, pos, h, 8);
      std::uint64_t size = BE32(h);
      TAtom a;
      a.Payload = pos + 8;
      if (size == 0) {
        size = fFileSize - pos;
      } else if (size == 1) {
        if (pos + 16 > end) return;
        ReadExact(fSource, pos + 8, h + 8, 8);
        size = BE64(h + 8);
        a.Payload = pos + 16;
        if (size < 16) return;
      } else if (size < 8) {
        return;
      }
      a.End = size > end - pos ? end : pos + size;
      char type[5] = {static_cast<char>(h[4]), static_cast<char>(h[5]), static_cast<char>(h[6]),
                      static_cast<char>(h[7]), 0};
      if (a.Payload <= a.End && !onAtom(type, a)) return;
      if (size > end - pos) return;
      pos += size;
    }
  }

  bool Find(std::uint64_t pos, std::uint64_t end, const char* wanted, TAtom& found) {
    bool hit = false;
    ForEach(pos, end, [&](const char* type, const TAtom& a) {
      if (std::memcmp(type, wanted, 4) != 0) return true;
      found = a;
      hit = true;
      return false;
    });
    return hit;
  }

  // Up to `count` bytes of a payload, never past its atom.
  std::string Read(const TAtom& a, std::uint64_t offset, std::size_t count) {
    if (a.Payload + offset >= a.End) return std::string();
    return ReadUpTo(fSource, a.Payload + offset,
                    static_cast<std::size_t>(std::min<std::uint64_t>(count, a.End - a.Payload - offset)));
  }

 private:
  IByteSource& fSource;
  std::uint64_t fFileSize;
};

}  // namespace

namespace {

// The movie header's duration in seconds; false when it has none.
bool ReadDuration(TAtomWalker& walk, const TAtom& moov, double& duration) {
  TAtom mvhd;
  if (!walk.Find(moov.Payload, moov.End, "mvhd", mvhd)) return false;
  std::string h = walk.Read(mvhd, 0, 32);
  const std::uint8_t* p = Bytes(h);
  // Version 1 has 64-bit times and duration.
  if (h.size() >= 24 && p[0] == 0 && BE32(p + 12) != 0) {
    duration = static_cast<double>(BE32(p + 16)) / BE32(p + 12);
    return true;
  }
  if (h.size() >= 32 && p[0] == 1 && BE32(p + 20) != 0) {
    duration = static_cast<double>(BE64(p + 24)) / BE32(p + 20);
    return true;
  }
  return false;
}

// The text field an item of the list fills, or nullptr.
std::string* TextFieldOf(TMP4Tags& tags, std::string_view t) {
  if (t == "\xA9" "day") return &tags.Year;
  if (SameTextAscii(t, "\xA9" "gen")) return &tags.Genre;
  if (SameTextAscii(t, "\xA9" "nam")) return &tags.Title;
  if (SameTextAscii(t, "\xA9" "art")) return &tags.Artist;
  if (SameTextAscii(t, "\xA9" "alb")) return &tags.Album;
  return nullptr;
}

// The iTunes item list (moov/udta/meta/ilst); true when it gave a tag.
bool ReadItemList(TAtomWalker& walk, const TAtom& moov, TMP4Tags& tags) {
  TAtom udta, meta, ilst;
  if (!walk.Find(moov.Payload, moov.End, "udta", udta) || !walk.Find(udta.Payload, udta.End, "meta", meta) ||
      !walk.Find(meta.Payload + 4, meta.End, "ilst", ilst))
    return false;
  bool tagSet = false;
  walk.ForEach(ilst.Payload, ilst.End, [&](const char* type, const TAtom& item) {
    TAtom data;
    if (!walk.Find(item.Payload, item.End, "data", data)) return true;
    std::string value = walk.Read(data, 8, kMaxTagTextBytes);
    const std::uint64_t valueLength = data.End - std::min(data.End, data.Payload + 8);
    const std::string_view t(type, 4);
    if (std::string* text = TextFieldOf(tags, t)) {
      *text = SanitizeUtf8(value);
      tagSet = true;
    } else if (SameTextAscii(t, "gnre") && valueLength == 2 && value.size() == 2) {
      const std::uint16_t id = BE16(Bytes(value));
      if (id < kGenreCount) {
        tags.Genre = std::string(GenreName(id));
        tagSet = true;
      }
    } else if (SameTextAscii(t, "trkn") && valueLength == 8 && value.size() == 8) {
      tags.Track = BE16(Bytes(value) + 2);
      tagSet = true;
    }
    return true;
  });
  return tagSet;
}

// The bytes of all samples of a sound track's sample table (stsz).
double SampleBytes(TAtomWalker& walk, const TAtom& stsz, std::uint32_t sampleSize, std::uint32_t count) {
  if (sampleSize != 0) return static_cast<double>(sampleSize) * count;
  if (static_cast<std::uint64_t>(count) * 4 > stsz.End - stsz.Payload - 12) throw EAudioFormat("sample table too short");
  std::uint64_t sum = 0;
  for (std::uint64_t done = 0; done < count;) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count - done, 4096));
    std::string chunk = walk.Read(stsz, 12 + done * 4, n * 4);
    if (chunk.size() != n * 4) throw EAudioFormat("sample table too short");
    for (std::size_t k = 0; k < n; ++k) sum += BE32(Bytes(chunk) + 4 * k);
    done += n;
  }
  return static_cast<double>(sum);
}

// The bit rate of the sound tracks (trak/mdia with a "soun" handler); true when one gave it.
bool ReadBitRate(TAtomWalker& walk, const TAtom& moov, TMP4Tags& tags) {
  bool bitRateSet = false;
  walk.ForEach(moov.Payload, moov.End, [&](const char* type, const TAtom& trak) {
    if (std::memcmp(type, "trak", 4) != 0) return true;
    walk.ForEach(trak.Payload, trak.End, [&](const char* mtype, const TAtom& mdia) {
      if (std::memcmp(mtype, "mdia", 4) != 0) return true;
      TAtom hdlr, minf, stbl, stsz;
      if (!walk.Find(mdia.Payload, mdia.End, "hdlr", hdlr) || walk.Read(hdlr, 8, 4) != "soun") return true;
      if (!walk.Find(mdia.Payload, mdia.End, "minf", minf) || !walk.Find(minf.Payload, minf.End, "stbl", stbl) ||
          !walk.Find(stbl.Payload, stbl.End, "stsz", stsz))
        return true;
      std::string head = walk.Read(stsz, 0, 12);
      if (head.size() < 12 || !(tags.Duration > 0)) return true;
      const double total = SampleBytes(walk, stsz, BE32(Bytes(head) + 4), BE32(Bytes(head) + 8));
      const double rate = std::nearbyint(total / 1024 / tags.Duration) * 8;
      tags.BitRate = rate > 4294967295.0 ? 4294967295u : static_cast<std::uint32_t>(rate);
      bitRateSet = true;
      return true;
    });
    return true;
  });
  return bitRateSet;
}

}  // namespace

bool TMP4Tags::ReadFromSource(IByteSource& source) {
  Reset();
  try {
    const std::uint64_t fileSize = source.Size();
    TAtomWalker walk(source);
    TAtom ftyp, moov;
    if (!walk.Find(0, fileSize, "ftyp", ftyp) || !walk.Find(ftyp.End, fileSize, "moov", moov)) {
      Reset();
      return false;
    }
    const bool durationSet = ReadDuration(walk, moov, Duration);
    const bool tagSet = ReadItemList(walk, moov, *this);
    const bool bitRateSet = ReadBitRate(walk, moov, *this);
    IsValid = durationSet || tagSet || bitRateSet;
    return true;
  } catch (...) {
    Reset();
    return false;
  }
}

// The first picture of the "covr" item; its data type says the format.
bool ReadMP4Cover(IByteSource& source, TCoverArt& art) {
  art = TCoverArt();
  try {
    const std::uint64_t fileSize = source.Size();
    TAtomWalker walk(source);
    TAtom ftyp, moov, udta, meta, ilst, covr, data;
    if (!walk.Find(0, fileSize, "ftyp", ftyp) || !walk.Find(ftyp.End, fileSize, "moov", moov) ||
        !walk.Find(moov.Payload, moov.End, "udta", udta) || !walk.Find(udta.Payload, udta.End, "meta", meta) ||
        !walk.Find(meta.Payload + 4, meta.End, "ilst", ilst) || !walk.Find(ilst.Payload, ilst.End, "covr", covr) ||
        !walk.Find(covr.Payload, covr.End, "data", data))
      return false;
    const std::string head = walk.Read(data, 0, 8);
    if (head.size() < 8 || data.End - data.Payload - 8 > kMaxCoverArtBytes) return false;
    switch (BE32(Bytes(head)) & 0xFFFFFF) {
      case 13: art.MimeType = "image/jpeg"; break;
      case 14: art.MimeType = "image/png"; break;
      case 27: art.MimeType = "image/bmp"; break;
      default: break;
    }
    art.PictureType = 3;
    art.Data = walk.Read(data, 8, static_cast<std::size_t>(data.End - data.Payload - 8));
    return !art.Data.empty();
  } catch (...) {
    art = TCoverArt();
    return false;
  }
}

}  // namespace pelcrow
