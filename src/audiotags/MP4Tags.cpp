#include "audiotags/MP4Tags.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>

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
    bool durationSet = false, tagSet = false, bitRateSet = false;

    TAtom mvhd;
    if (walk.Find(moov.Payload, moov.End, "mvhd", mvhd)) {
      std::string h = walk.Read(mvhd, 0, 32);
      const std::uint8_t* p = Bytes(h);
      // Version 1 has 64-bit times and duration.
      if (h.size() >= 24 && p[0] == 0 && BE32(p + 12) != 0) {
        Duration = static_cast<double>(BE32(p + 16)) / BE32(p + 12);
        durationSet = true;
      } else if (h.size() >= 32 && p[0] == 1 && BE32(p + 20) != 0) {
        Duration = static_cast<double>(BE64(p + 24)) / BE32(p + 20);
        durationSet = true;
      }
    }

    TAtom udta, meta, ilst;
    if (walk.Find(moov.Payload, moov.End, "udta", udta) && walk.Find(udta.Payload, udta.End, "meta", meta) &&
        walk.Find(meta.Payload + 4, meta.End, "ilst", ilst)) {
      walk.ForEach(ilst.Payload, ilst.End, [&](const char* type, const TAtom& item) {
        TAtom data;
        if (!walk.Find(item.Payload, item.End, "data", data)) return true;
        std::string value = walk.Read(data, 8, kMaxTagTextBytes);
        const std::uint64_t valueLength = data.End - std::min(data.End, data.Payload + 8);
        std::string_view t(type, 4);
        std::string* text = nullptr;
        if (t ==
            "\xA9"
            "day")
          text = &Year;
        else if (SameTextAscii(t,
                               "\xA9"
                               "gen"))
          text = &Genre;
        else if (SameTextAscii(t,
                               "\xA9"
                               "nam"))
          text = &Title;
        else if (SameTextAscii(t,
                               "\xA9"
                               "art"))
          text = &Artist;
        else if (SameTextAscii(t,
                               "\xA9"
                               "alb"))
          text = &Album;
        if (text) {
          *text = SanitizeUtf8(value);
          tagSet = true;
        } else if (SameTextAscii(t, "gnre") && valueLength == 2 && value.size() == 2) {
          std::uint16_t id = BE16(Bytes(value));
          if (id < kGenreCount) {
            Genre = std::string(GenreName(id));
            tagSet = true;
          }
        } else if (SameTextAscii(t, "trkn") && valueLength == 8 && value.size() == 8) {
          Track = BE16(Bytes(value) + 2);
          tagSet = true;
        }
        return true;
      });
    }

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
        if (head.size() < 12 || !(Duration > 0)) return true;
        const std::uint32_t sampleSize = BE32(Bytes(head) + 4), count = BE32(Bytes(head) + 8);
        double total = 0;
        if (sampleSize != 0) {
          total = static_cast<double>(sampleSize) * count;
        } else {
          if (static_cast<std::uint64_t>(count) * 4 > stsz.End - stsz.Payload - 12)
            throw EAudioFormat("sample table too short");
          std::uint64_t sum = 0;
          for (std::uint64_t done = 0; done < count;) {
            std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count - done, 4096));
            std::string chunk = walk.Read(stsz, 12 + done * 4, n * 4);
            if (chunk.size() != n * 4) throw EAudioFormat("sample table too short");
            for (std::size_t k = 0; k < n; ++k) sum += BE32(Bytes(chunk) + 4 * k);
            done += n;
          }
          total = static_cast<double>(sum);
        }
        double rate = std::nearbyint(total / 1024 / Duration) * 8;
        BitRate = rate > 4294967295.0 ? 4294967295u : static_cast<std::uint32_t>(rate);
        bitRateSet = true;
        return true;
      });
      return true;
    });

    IsValid = durationSet || tagSet || bitRateSet;
    return true;
  } catch (...) {
    Reset();
    return false;
  }
}

}  // namespace pelcrow
