#include "audiotags/ID3v2.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "audiotags/CoverArt.h"
#include "audiotags/TagText.h"

namespace pelcrow {

namespace {

constexpr std::size_t kHeaderLength = 10;

enum TSlot : int {
  sTitle,
  sArtist,
  sAlbum,
  sTrack,
  sYear,
  sGenre,
  sComment,
  sComposer,
  sEncoder,
  sCopyright,
  sLanguage,
  sLink,
  sDate,
  sOrigArtist,
  sGroup,
  sOrigAlbum,
  sSize,
  sCount
};

struct TFrameKind {
  const char* Id34;
  const char* Id2;
  TSlot Slot;
};

constexpr TFrameKind kFrames[] = {
    {"TIT2", "TT2", sTitle},   {"TPE1", "TP1", sArtist},     {"TALB", "TAL", sAlbum},    {"TRCK", "TRK", sTrack},
    {"TYER", "TYE", sYear},    {"TCON", "TCO", sGenre},      {"COMM", "COM", sComment},  {"TCOM", "TCM", sComposer},
    {"TENC", "TEN", sEncoder}, {"TCOP", "TCR", sCopyright},  {"TLAN", "TLA", sLanguage}, {"WXXX", "WXX", sLink},
    {"TDRC", "TOR", sDate},    {"TOPE", "TOA", sOrigArtist}, {"TIT1", "TT1", sGroup},    {"TOAL", "TOT", sOrigAlbum},
    {"TSIZ", "TSI", sSize},
};

int SlotOf(std::string_view id, std::uint8_t version) {
  for (const TFrameKind& k : kFrames)
    if (id == (version == 2 ? k.Id2 : k.Id34)) return k.Slot;
  return -1;
}

std::uint32_t SyncSafe(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0] & 0x7F) << 21 | static_cast<std::uint32_t>(p[1] & 0x7F) << 14 |
         static_cast<std::uint32_t>(p[2] & 0x7F) << 7 | (p[3] & 0x7F);
}

// Removes the zero byte that unsynchronisation puts after every 0xFF.
std::string Resynchronise(std::string_view s) {
  std::string r;
  r.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    r += s[i];
    if (static_cast<unsigned char>(s[i]) == 0xFF && i + 1 < s.size() && s[i + 1] == '\0') ++i;
  }
  return r;
}

// The bytes of the tag after its header, de-unsynchronised on the fly when the whole tag is.
class TTagBody {
 public:
  TTagBody(IByteSource& source, std::uint64_t start, std::uint64_t end, bool unsync)
      : fSource(source), fPos(start), fEnd(end), fUnsync(unsync) {}

  std::uint64_t RawPos() const { return fPos - (fBufLen - fBufPos); }

  // Decoded bytes; fewer only at the end of the tag. `out` may be null to skip.
  std::size_t Read(std::uint8_t* out, std::size_t n) {
    if (!fUnsync) {
      std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(n, fEnd > fPos ? fEnd - fPos : 0));
      std::size_t got = out ? fSource.ReadAt(fPos, out, want) : want;
      fPos += got;
      return got;
    }
    std::size_t k = 0;
    while (k < n) {
      int b = NextRaw();
      if (b < 0) break;
      if (fPrevFF && b == 0) {
        fPrevFF = false;
        continue;
      }
      fPrevFF = b == 0xFF;
      if (out) out[k] = static_cast<std::uint8_t>(b);
      ++k;
    }
    return k;
  }

  void Skip(std::uint64_t n) {
    if (!fUnsync) {
      fPos = n > fEnd - std::min(fPos, fEnd) ? std::max(fPos, fEnd) : fPos + n;
      return;
    }
    while (n > 0) {
      std::size_t step = static_cast<std::size_t>(std::min<std::uint64_t>(n, 1 << 16));
      std::size_t got = Read(nullptr, step);
      if (got < step) return;
      n -= got;
    }
  }

 private:
  int NextRaw() {
    if (fBufPos == fBufLen) {
      if (fPos >= fEnd) return -1;
      fBufLen = fSource.ReadAt(fPos, fBuf.data(),
                               static_cast<std::size_t>(std::min<std::uint64_t>(fBuf.size(), fEnd - fPos)));
      fBufPos = 0;
      fPos += fBufLen;
      if (fBufLen == 0) return -1;
    }
    return fBuf[fBufPos++];
  }

  IByteSource& fSource;
  std::uint64_t fPos;  // raw offset just after the buffered bytes
  std::uint64_t fEnd;
  bool fUnsync;
  bool fPrevFF = false;
  std::array<std::uint8_t, 4096> fBuf{};
  std::size_t fBufPos = 0, fBufLen = 0;
};

std::string DecodeText(std::uint8_t encoding, std::string_view s) {
  std::string text;
  switch (encoding) {
    case 0:
      text = Latin1ToUtf8(CutAtNul(s));
      break;
    case 1:
    case 2: {
      // Encoding 1 carries a byte-order mark; encoding 2 is big-endian without one.
      bool big = encoding == 2;
      if (s.size() >= 2) {
        auto b0 = static_cast<unsigned char>(s[0]), b1 = static_cast<unsigned char>(s[1]);
        if (b0 == 0xFF && b1 == 0xFE) {
          big = false;
          s.remove_prefix(2);
        } else if (b0 == 0xFE && b1 == 0xFF) {
          big = true;
          s.remove_prefix(2);
        }
      }
      text = Utf16ToUtf8(s, big);
      break;
    }
    default:
      s = CutAtNul(s);
      if (s.substr(0, 3) == "\xEF\xBB\xBF") s.remove_prefix(3);
      text = SanitizeUtf8(s);
      break;
  }
  return std::string(TrimText(text));
}

// COMM: encoding, 3-byte language, description with its terminator, then the text.
std::string DecodeComment(std::uint8_t encoding, std::string_view s) {
  if (s.size() < 3) return std::string();
  s.remove_prefix(3);
  std::size_t end = std::string_view::npos;
  if (encoding == 1 || encoding == 2) {
    for (std::size_t i = 0; i + 1 < s.size(); i += 2)
      if (s[i] == '\0' && s[i + 1] == '\0') {
        end = i + 2;
        break;
      }
  } else {
    std::size_t z = s.find('\0');
    if (z != std::string_view::npos) end = z + 1;
  }
  if (end == std::string_view::npos) return std::string();
  return DecodeText(encoding, s.substr(end));
}

// True when a frame header, padding or the end of the tag begins at `offset`.
bool LooksLikeFrameStart(IByteSource& source, std::uint64_t offset, std::uint64_t tagEnd) {
  if (offset == tagEnd) return true;
  if (offset > tagEnd) return false;
  std::uint8_t id[4] = {0, 0, 0, 0};
  std::size_t got = source.ReadAt(offset, id, std::min<std::uint64_t>(4, tagEnd - offset));
  if (got == 0) return false;
  if (id[0] == 0) return true;
  if (got < 4) return false;
  for (std::uint8_t c : id)
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
  return true;
}

// The frame's size as its version writes it. 2.4 sizes are sync-safe, but some writers stored
// plain ones: the reading that lands on the next frame is kept.
std::uint64_t FrameSize(const std::uint8_t* fh, std::uint8_t version, IByteSource& source, std::uint64_t dataPos,
                        std::uint64_t tagEnd) {
  if (version == 2) return BE24(fh + 3);
  const std::uint32_t plain = BE32(fh + 4);
  if (version == 3 || ((fh[4] | fh[5] | fh[6] | fh[7]) & 0x80)) return plain;
  const std::uint64_t syncSafe = SyncSafe(fh + 4);
  if (syncSafe != plain && !LooksLikeFrameStart(source, dataPos + syncSafe, tagEnd) &&
      LooksLikeFrameStart(source, dataPos + plain, tagEnd))
    return plain;
  return syncSafe;
}

// Compressed and encrypted frames (and 2.4's reserved flags) cannot be read.
bool Unreadable(std::uint8_t version, std::uint8_t formatFlags) {
  if (version == 3) return (formatFlags & 0xC0) != 0;
  if (version == 4) return (formatFlags & 0x8C) != 0;
  return false;
}

// The frame's text without the prefixes its flags add, resynchronised where it was unsynchronised.
std::string_view FramePayload(std::string_view d, std::uint8_t version, std::uint8_t formatFlags, bool wholeTagUnsync,
                              std::string& resynced) {
  if (version == 3 && (formatFlags & 0x20)) d.remove_prefix(std::min<std::size_t>(1, d.size()));
  if (version == 4) {
    if (formatFlags & 0x40) d.remove_prefix(std::min<std::size_t>(1, d.size()));
    if (formatFlags & 0x01) d.remove_prefix(std::min<std::size_t>(4, d.size()));
    if ((formatFlags & 0x02) || wholeTagUnsync) {
      resynced = Resynchronise(d);
      d = resynced;
    }
  }
  return d;
}

// Steps over the extended header when the tag has one; false when it is damaged.
bool SkipExtendedHeader(TTagBody& body, std::uint8_t version, std::uint8_t flags) {
  if (!(flags & 0x40)) return true;
  std::uint8_t ext[4];
  if (body.Read(ext, 4) < 4) return false;
  if (version == 3) {
    body.Skip(BE32(ext));
  } else {
    std::uint32_t n = SyncSafe(ext);
    if (n < 4) return false;
    body.Skip(n - 4);
  }
  return true;
}

// One APIC (or 2.2 PIC) payload: encoding, MIME type (2.2: a three-letter format), picture type,
// description, bytes.
bool DecodePicture(std::string_view d, std::uint8_t version, TCoverArt& art) {
  if (d.empty() || static_cast<std::uint8_t>(d[0]) > 3) return false;
  const auto encoding = static_cast<std::uint8_t>(d[0]);
  d.remove_prefix(1);
  if (version == 2) {
    if (d.size() < 3) return false;
    const std::string format = UpperAscii(d.substr(0, 3));
    art.MimeType = format == "JPG" ? "image/jpeg" : format == "PNG" ? "image/png" : format == "-->" ? "-->" : "";
    d.remove_prefix(3);
  } else {
    const std::size_t z = d.find('\0');
    if (z == std::string_view::npos) return false;
    art.MimeType = Latin1ToUtf8(d.substr(0, z));
    d.remove_prefix(z + 1);
  }
  if (d.empty()) return false;
  art.PictureType = static_cast<std::uint8_t>(d[0]);
  d.remove_prefix(1);
  std::size_t end = std::string_view::npos;
  if (encoding == 1 || encoding == 2) {
    for (std::size_t i = 0; i + 1 < d.size(); i += 2)
      if (d[i] == '\0' && d[i + 1] == '\0') {
        end = i + 2;
        break;
      }
  } else {
    const std::size_t z = d.find('\0');
    if (z != std::string_view::npos) end = z + 1;
  }
  if (end == std::string_view::npos) return false;
  art.Data.assign(d.substr(end));
  // A link to a picture elsewhere carries a URL, not a picture.
  return !art.Data.empty() && art.MimeType != "-->";
}

// The text of the first frame of every slot, up to the end of the tag or its padding.
std::array<std::string, sCount> ReadFrames(IByteSource& source, TTagBody& body, std::uint8_t version,
                                           std::uint64_t tagEnd, bool wholeTagUnsync) {
  std::array<bool, sCount> found{};
  std::array<std::string, sCount> values;
  const std::size_t headerLength = version == 2 ? 6 : 10;
  while (body.RawPos() < tagEnd) {
    std::uint8_t fh[10];
    if (body.Read(fh, headerLength) < headerLength) break;
    if (fh[0] < 'A' || fh[0] > 'Z') break;
    const std::string_view id(reinterpret_cast<const char*>(fh), version == 2 ? 3 : 4);
    const std::uint8_t formatFlags = version == 2 ? 0 : fh[9];
    const std::uint64_t frameSize = FrameSize(fh, version, source, body.RawPos(), tagEnd);
    const int slot = SlotOf(id, version);
    if (slot < 0 || found[static_cast<std::size_t>(slot)] || Unreadable(version, formatFlags) || frameSize == 0) {
      body.Skip(frameSize);
      continue;
    }
    std::string data(static_cast<std::size_t>(std::min<std::uint64_t>(frameSize, TID3v2::kMaxFrameBytes)), '\0');
    data.resize(body.Read(reinterpret_cast<std::uint8_t*>(data.data()), data.size()));
    body.Skip(frameSize - data.size());
    std::string resynced;
    std::string_view d = FramePayload(data, version, formatFlags, wholeTagUnsync, resynced);
    if (d.empty() || static_cast<std::uint8_t>(d[0]) > 3) continue;
    const auto encoding = static_cast<std::uint8_t>(d[0]);
    d.remove_prefix(1);
    found[static_cast<std::size_t>(slot)] = true;
    values[static_cast<std::size_t>(slot)] = slot == sComment ? DecodeComment(encoding, d) : DecodeText(encoding, d);
  }
  return values;
}

// The first four characters of a date; its digits are ASCII, so code points are counted.
std::string YearOfDate(const std::string& date) {
  std::size_t i = 0;
  for (int n = 0; n < 4 && i < date.size(); ++n) {
    ++i;
    while (i < date.size() && (static_cast<unsigned char>(date[i]) & 0xC0) == 0x80) ++i;
  }
  return date.substr(0, i);
}

}  // namespace

bool TID3v2::ReadFromSource(IByteSource& source) {
  Reset();
  try {
    std::uint8_t h[kHeaderLength];
    if (source.ReadAt(0, h, kHeaderLength) < kHeaderLength) return false;
    if (std::memcmp(h, "ID3", 3) != 0) return true;
    Exists = true;
    VersionID = h[3];
    const std::uint8_t flags = h[5];
    std::uint64_t size = (static_cast<std::uint64_t>(h[6]) << 21) + (static_cast<std::uint64_t>(h[7]) << 14) +
                         (static_cast<std::uint64_t>(h[8]) << 7) + h[9] + kHeaderLength;
    if (flags & 0x10) size += kHeaderLength;
    if (size > source.Size()) size = 0;
    Size = static_cast<std::uint32_t>(size);
    if (VersionID < 2 || VersionID > 4 || Size == 0) return true;
    // In 2.2 this flag means a compressed tag, which nobody can read.
    if (VersionID == 2 && (flags & 0x40)) return true;

    const std::uint64_t tagEnd = Size;
    const bool wholeTagUnsync = (flags & 0x80) != 0;
    TTagBody body(source, kHeaderLength, tagEnd, wholeTagUnsync && VersionID < 4);
    if (!SkipExtendedHeader(body, VersionID, flags)) return true;

    const std::array<std::string, sCount> values = ReadFrames(source, body, VersionID, tagEnd, wholeTagUnsync);
    Title = values[sTitle].empty() ? values[sGroup] : values[sTitle];
    Artist = values[sArtist].empty() ? values[sOrigArtist] : values[sArtist];
    Album = values[sAlbum].empty() ? values[sOrigAlbum] : values[sAlbum];
    TrackString = values[sTrack];
    Track = static_cast<std::uint16_t>(TrackNumberOf(TrackString, 0xFFFF));
    Year = values[sYear].empty() ? YearOfDate(values[sDate]) : values[sYear];
    Genre = values[sGenre];
    std::size_t paren = Genre.rfind(')');
    if (paren != std::string::npos) Genre.erase(0, paren + 1);
    Comment = values[sComment];
    Composer = values[sComposer];
    Encoder = values[sEncoder];
    Copyright = values[sCopyright];
    Language = values[sLanguage];
    Link = values[sLink];
    TSIZ = values[sSize];
    return true;
  } catch (...) {
    Reset();
    return false;
  }
}

bool ReadID3v2Picture(IByteSource& source, TCoverArt& art) {
  art = TCoverArt();
  try {
    TID3v2 tag;
    if (!tag.ReadFromSource(source) || !tag.Exists || tag.VersionID < 2 || tag.VersionID > 4 || tag.Size == 0)
      return false;
    std::uint8_t h[kHeaderLength];
    if (source.ReadAt(0, h, kHeaderLength) < kHeaderLength) return false;
    const std::uint8_t version = tag.VersionID, flags = h[5];
    if (version == 2 && (flags & 0x40)) return false;
    const std::uint64_t tagEnd = tag.Size;
    const bool wholeTagUnsync = (flags & 0x80) != 0;
    TTagBody body(source, kHeaderLength, tagEnd, wholeTagUnsync && version < 4);
    if (!SkipExtendedHeader(body, version, flags)) return false;
    const std::size_t headerLength = version == 2 ? 6 : 10;
    bool found = false;
    while (body.RawPos() < tagEnd) {
      std::uint8_t fh[10];
      if (body.Read(fh, headerLength) < headerLength) break;
      if (fh[0] < 'A' || fh[0] > 'Z') break;
      const std::string_view id(reinterpret_cast<const char*>(fh), version == 2 ? 3 : 4);
      const std::uint8_t formatFlags = version == 2 ? 0 : fh[9];
      const std::uint64_t frameSize = FrameSize(fh, version, source, body.RawPos(), tagEnd);
      if (id != (version == 2 ? "PIC" : "APIC") || Unreadable(version, formatFlags) || frameSize == 0 ||
          frameSize > kMaxCoverArtBytes + 4096) {
        body.Skip(frameSize);
        continue;
      }
      std::string data(static_cast<std::size_t>(frameSize), '\0');
      data.resize(body.Read(reinterpret_cast<std::uint8_t*>(data.data()), data.size()));
      std::string resynced;
      TCoverArt candidate;
      if (!DecodePicture(FramePayload(data, version, formatFlags, wholeTagUnsync, resynced), version, candidate))
        continue;
      if (candidate.PictureType == 3) {
        art = std::move(candidate);
        return true;
      }
      if (!found) {
        art = std::move(candidate);
        found = true;
      }
    }
    return found;
  } catch (...) {
    art = TCoverArt();
    return false;
  }
}

}  // namespace pelcrow
