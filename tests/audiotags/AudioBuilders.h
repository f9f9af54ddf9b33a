// Builders of small audio files for the tag reader tests: MPEG frames, ID3 tags, FLAC, Ogg, ASF
// and MP4 structures, assembled in memory and read through a memory source or written to disk.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "audiotags/ByteSource.h"

namespace pelcrow::test {

inline std::string AudioFixture(const std::string& name) {
  return (std::filesystem::path(__FILE__).parent_path().parent_path() / "data" / "audio" / name).string();
}

inline std::string BE(std::uint64_t v, int bytes) {
  std::string s;
  for (int i = bytes - 1; i >= 0; --i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}
inline std::string LE(std::uint64_t v, int bytes) {
  std::string s;
  for (int i = 0; i < bytes; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}
inline std::string SyncSafe(std::uint32_t v) {
  std::string s;
  for (int i = 3; i >= 0; --i) s += static_cast<char>((v >> (7 * i)) & 0x7F);
  return s;
}
inline std::string Utf16LE(const std::u16string& s) {
  std::string r;
  for (char16_t c : s) r += LE(c, 2);
  return r;
}
inline std::string Utf16BE(const std::u16string& s) {
  std::string r;
  for (char16_t c : s) r += BE(c, 2);
  return r;
}

// A reader's view of a string; counts what the readers ask for.
class TStringSource : public IByteSource {
 public:
  explicit TStringSource(std::string bytes) : fBytes(std::move(bytes)) {}
  std::uint64_t Size() const override { return fBytes.size(); }
  std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override {
    ++Reads;
    if (offset >= fBytes.size()) return 0;
    std::size_t n = std::min<std::size_t>(count, fBytes.size() - static_cast<std::size_t>(offset));
    std::memcpy(buffer, fBytes.data() + offset, n);
    BytesRead += n;
    return n;
  }
  std::uint64_t BytesRead = 0;
  std::uint64_t Reads = 0;

 private:
  std::string fBytes;
};

// ------------------------------------------------------------------ MPEG audio
// Header bytes: version id 3 = MPEG-1, 2 = MPEG-2, 0 = MPEG-2.5; layer id 1 = III, 2 = II, 3 = I.
inline std::string MpegHeader(int versionId, int layerId, int bitRateIndex, int sampleRateIndex, bool padding = false,
                              int mode = 0) {
  std::string h(4, '\0');
  h[0] = static_cast<char>(0xFF);
  h[1] = static_cast<char>(0xE0 | (versionId << 3) | (layerId << 1) | 1);
  h[2] = static_cast<char>((bitRateIndex << 4) | (sampleRateIndex << 2) | (padding ? 2 : 0));
  h[3] = static_cast<char>(mode << 6);
  return h;
}
// MPEG-1 layer III, 128 kbit/s, 44100 Hz, stereo: 417 bytes a frame.
inline std::string Mpeg1L3Header128() { return MpegHeader(3, 1, 9, 0); }
constexpr std::size_t kMpeg1L3Frame128 = 417;

// `count` frames of `frameLength` bytes, each starting with `header`, the rest zero.
inline std::string MpegFrames(const std::string& header, std::size_t frameLength, std::size_t count) {
  std::string s;
  for (std::size_t i = 0; i < count; ++i) {
    s += header;
    s.append(frameLength - header.size(), '\0');
  }
  return s;
}

// ------------------------------------------------------------------ ID3
inline std::string Id3v2Frame(int version, const std::string& id, const std::string& data, std::uint8_t flags2 = 0) {
  if (version == 2) return id + BE(data.size(), 3) + data;
  std::string size = version == 4 ? SyncSafe(static_cast<std::uint32_t>(data.size())) : BE(data.size(), 4);
  return id + size + std::string(1, '\0') + std::string(1, static_cast<char>(flags2)) + data;
}
// A text frame with encoding byte `encoding` followed by `text` as given.
inline std::string Id3v2Text(int version, const std::string& id, const std::string& text, std::uint8_t encoding = 0) {
  return Id3v2Frame(version, id, std::string(1, static_cast<char>(encoding)) + text);
}
inline std::string Id3v2Tag(int version, const std::string& frames, std::size_t padding = 0, std::uint8_t flags = 0) {
  std::string body = frames + std::string(padding, '\0');
  return std::string("ID3") + static_cast<char>(version) + '\0' + static_cast<char>(flags) +
         SyncSafe(static_cast<std::uint32_t>(body.size())) + body;
}
// An attached picture: APIC (2.3, 2.4) with a MIME type, or PIC (2.2) with a three-letter format.
inline std::string Id3v2Picture(int version, const std::string& mimeOrFormat, int pictureType,
                                const std::string& description, const std::string& data, std::uint8_t encoding = 0) {
  const std::string terminator(encoding == 1 || encoding == 2 ? 2 : 1, '\0');
  std::string body = std::string(1, static_cast<char>(encoding)) + mimeOrFormat + (version == 2 ? "" : std::string(1, '\0')) +
                     std::string(1, static_cast<char>(pictureType)) + description + terminator + data;
  return Id3v2Frame(version, version == 2 ? "PIC" : "APIC", body);
}
inline std::string Field(const std::string& s, std::size_t width) {
  std::string r = s.substr(0, width);
  r.resize(width, '\0');
  return r;
}
// ID3v1.1 when track > 0, else ID3v1.0 with a 30-byte comment.
inline std::string Id3v1Tag(const std::string& title, const std::string& artist, const std::string& album,
                            const std::string& year, const std::string& comment, int track, int genre) {
  std::string t = "TAG" + Field(title, 30) + Field(artist, 30) + Field(album, 30) + Field(year, 4);
  if (track > 0)
    t += Field(comment, 28) + '\0' + static_cast<char>(track);
  else
    t += Field(comment, 30);
  return t + static_cast<char>(genre);
}
inline std::string Lyrics3Block(const std::vector<std::pair<std::string, std::string>>& fields) {
  std::string b = "LYRICSBEGIN";
  for (const auto& [id, value] : fields) {
    std::string len = std::to_string(value.size());
    b += id + std::string(5 - len.size(), '0') + len + value;
  }
  std::string size = std::to_string(b.size());
  return b + std::string(6 - size.size(), '0') + size + "LYRICS200";
}

// ------------------------------------------------------------------ FLAC
inline std::string FlacStreamInfo(std::uint32_t sampleRate, int channels, int bits, std::uint64_t samples, bool last) {
  std::string info(34, '\0');
  info[10] = static_cast<char>(sampleRate >> 12);
  info[11] = static_cast<char>(sampleRate >> 4);
  info[12] = static_cast<char>(((sampleRate & 0xF) << 4) | ((channels - 1) << 1) | ((bits - 1) >> 4));
  info[13] = static_cast<char>((((bits - 1) & 0xF) << 4) | ((samples >> 32) & 0xF));
  std::string s = BE(samples & 0xFFFFFFFFu, 4);
  info.replace(14, 4, s);
  return std::string(1, static_cast<char>(last ? 0x80 : 0)) + BE(34, 3) + info;
}
inline std::string FlacBlock(int type, const std::string& data, bool last) {
  return std::string(1, static_cast<char>((last ? 0x80 : 0) | type)) + BE(data.size(), 3) + data;
}
inline std::string FlacPicture(int pictureType, const std::string& mime, const std::string& data) {
  return BE(pictureType, 4) + BE(mime.size(), 4) + mime + BE(4, 4) + "desc" + BE(1, 4) + BE(1, 4) + BE(24, 4) + BE(0, 4) +
         BE(data.size(), 4) + data;
}
inline std::string VorbisComments(const std::string& vendor, const std::vector<std::string>& comments) {
  std::string s = LE(vendor.size(), 4) + vendor + LE(comments.size(), 4);
  for (const auto& c : comments) s += LE(c.size(), 4) + c;
  return s;
}

// ------------------------------------------------------------------ Ogg
inline std::string OggPage(const std::string& data, std::uint64_t granule, std::uint32_t sequence,
                           const std::vector<std::uint8_t>& lacing) {
  std::string h = "OggS";
  h += '\0';
  h += '\0';
  h += LE(granule, 8) + LE(1, 4) + LE(sequence, 4) + LE(0, 4);
  h += static_cast<char>(lacing.size());
  for (auto l : lacing) h += static_cast<char>(l);
  return h + data;
}
// Lacing values of one packet of `size` bytes that ends on this page.
inline std::vector<std::uint8_t> Lacing(std::size_t size) {
  std::vector<std::uint8_t> l(size / 255, 255);
  l.push_back(static_cast<std::uint8_t>(size % 255));
  return l;
}
inline std::string VorbisIdentification(int channels, std::uint32_t sampleRate, std::int32_t nominal) {
  return std::string("\x01vorbis", 7) + LE(0, 4) + static_cast<char>(channels) + LE(sampleRate, 4) + LE(0, 4) +
         LE(static_cast<std::uint32_t>(nominal), 4) + LE(0, 4) + static_cast<char>(0xB8) + static_cast<char>(1);
}

// ------------------------------------------------------------------ ASF
inline std::string Guid(std::uint32_t d1, std::uint16_t d2, std::uint16_t d3, std::uint64_t d4) {
  return LE(d1, 4) + LE(d2, 2) + LE(d3, 2) + BE(d4, 8);
}
inline std::string AsfObject(const std::string& guid, const std::string& payload) {
  return guid + LE(24 + payload.size(), 8) + payload;
}
inline std::string AsfHeader(const std::vector<std::string>& objects) {
  std::string body;
  for (const auto& o : objects) body += o;
  return Guid(0x75B22630, 0x668E, 0x11CF, 0xA6D900AA0062CE6CULL) + LE(30 + body.size(), 8) + LE(objects.size(), 4) +
         std::string("\x01\x02", 2) + body;
}
inline std::string AsfFileProperties(std::uint32_t maxBitRate) {
  std::string p(76, '\0');  // object offsets 24..99; the maximum bit rate sits at 100
  p += LE(maxBitRate, 4);
  return AsfObject(Guid(0x8CABDCA1, 0xA947, 0x11CF, 0x8EE400C00C205365ULL), p);
}
inline std::string AsfStreamProperties(int channels, std::uint32_t sampleRate, std::uint32_t bytesPerSecond,
                                       bool audio = true) {
  std::string p = audio ? Guid(0xF8699E40, 0x5B4D, 0x11CF, 0xA8FD00805F5C442BULL)
                        : Guid(0xBC19EFC0, 0x5B4D, 0x11CF, 0xA8FD00805F5C442BULL);
  p += std::string(16, '\0');  // error correction type
  p += std::string(8, '\0') + LE(18, 4) + LE(0, 4) + LE(1, 2) + LE(0, 4);
  p += LE(0x161, 2) + LE(channels, 2) + LE(sampleRate, 4) + LE(bytesPerSecond, 4) + LE(0, 2) + LE(16, 2) + LE(0, 2);
  return AsfObject(Guid(0xB7DC0791, 0xA9B7, 0x11CF, 0x8EE600C00C205365ULL), p);
}
inline std::string AsfString(const std::u16string& s) { return Utf16LE(s) + std::string(2, '\0'); }
inline std::string AsfContentDescription(const std::u16string& title, const std::u16string& author) {
  std::string t = AsfString(title), a = AsfString(author);
  return AsfObject(Guid(0x75B22633, 0x668E, 0x11CF, 0xA6D900AA0062CE6CULL),
                   LE(t.size(), 2) + LE(a.size(), 2) + LE(0, 2) + LE(0, 2) + LE(0, 2) + t + a);
}
struct TAsfDescriptor {
  std::u16string Name;
  int Type;
  std::string Value;  // raw bytes
};
inline std::string AsfExtendedContent(const std::vector<TAsfDescriptor>& descriptors) {
  std::string p = LE(descriptors.size(), 2);
  for (const auto& d : descriptors) {
    std::string n = AsfString(d.Name);
    p += LE(n.size(), 2) + n + LE(d.Type, 2) + LE(d.Value.size(), 2) + d.Value;
  }
  return AsfObject(Guid(0xD2D0A440, 0xE307, 0x11D2, 0x97F000A0C95EA850ULL), p);
}

// ------------------------------------------------------------------ MP4
inline std::string Atom(const std::string& type, const std::string& payload) {
  return BE(8 + payload.size(), 4) + type + payload;
}
inline std::string Mp4DataItem(const std::string& type, int dataType, const std::string& value) {
  return Atom(type, Atom("data", BE(dataType, 4) + BE(0, 4) + value));
}
inline std::string Mp4Mvhd(std::uint32_t timeScale, std::uint32_t duration) {
  return Atom("mvhd", BE(0, 4) + BE(0, 4) + BE(0, 4) + BE(timeScale, 4) + BE(duration, 4) + std::string(80, '\0'));
}
inline std::string Mp4SoundTrack(const std::string& stszPayload, const std::string& handler = "soun") {
  std::string hdlr = Atom("hdlr", BE(0, 4) + BE(0, 4) + handler + std::string(12, '\0') + std::string(1, '\0'));
  return Atom("trak", Atom("mdia", hdlr + Atom("minf", Atom("stbl", Atom("stsz", stszPayload)))));
}
inline std::string Mp4Ilst(const std::string& items) {
  return Atom("udta", Atom("meta", BE(0, 4) + Atom("hdlr", std::string(25, '\0')) + Atom("ilst", items)));
}
inline std::string Mp4File(const std::string& moovPayload) {
  return Atom("ftyp", "M4A " + BE(0, 4) + "M4A isom") + Atom("moov", moovPayload) + Atom("mdat", std::string(16, '\0'));
}

}  // namespace pelcrow::test
