#include "audiotags/FLACfile.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>

#include "audiotags/TagText.h"

namespace pelcrow {

namespace {

constexpr std::size_t kMaxExtraFields = 64;

}  // namespace

bool TFLACfile::ReadFromSource(IByteSource& source) {
  Reset();
  try {
    if (!ID3v2.ReadFromSource(source)) {
      Reset();
      return false;
    }
    FileLength = source.Size();
    std::uint64_t pos = ID3v2.Exists ? ID3v2.Size : 0;
    ReadExact(source, pos, &Header, sizeof Header);
    if (std::memcmp(Header.StreamMarker, "fLaC", 4) != 0) {
      Reset();
      return false;
    }
    const auto* h = reinterpret_cast<const std::uint8_t*>(&Header);
    SampleRate = static_cast<std::uint32_t>(h[18]) << 12 | static_cast<std::uint32_t>(h[19]) << 4 | h[20] >> 4;
    Channels = static_cast<std::uint8_t>(((h[20] >> 1) & 7) + 1);
    BitsPerSample = static_cast<std::uint8_t>(((h[20] & 1) << 4 | h[21] >> 4) + 1);
    // The sample count has 36 bits; the top four sit in the low half of byte 21.
    Samples = static_cast<std::uint64_t>(h[21] & 0x0F) << 32 | BE32(h + 22);
    pos += sizeof Header;

    bool last = (h[4] & 0x80) != 0;
    while (!last) {
      std::uint8_t bh[4];
      ReadExact(source, pos, bh, 4);
      last = (bh[0] & 0x80) != 0;
      const int type = bh[0] & 0x7F;
      const std::uint32_t length = BE24(bh + 1);
      if (length == 0) break;
      if (type == 127) {  // invalid by definition
        Samples = 0;
        break;
      }
      pos += 4;
      if (pos + length > FileLength) throw EAudioFormat("metadata block beyond the end of the file");
      if (type == 4) ReadComments(source, pos, pos + length);
      // Other blocks (seek table, application, cue sheet, picture, reserved types) are not needed.
      pos += length;
    }
    if (IsValid()) {
      AudioOffset = pos;
      double kbps =
          std::nearbyint((static_cast<double>(FileLength) - static_cast<double>(AudioOffset)) / 1000 * 8 / Duration());
      Bitrate = kbps < 0 ? 0 : kbps > 4294967295.0 ? 4294967295u : static_cast<std::uint32_t>(kbps);
    }
    return true;
  } catch (...) {
    Reset();
    return false;
  }
}

void TFLACfile::ReadComments(IByteSource& source, std::uint64_t pos, std::uint64_t end) {
  auto readLength = [&]() -> std::uint32_t {
    if (pos + 4 > end) throw EAudioFormat("truncated comment block");
    std::uint8_t b[4];
    ReadExact(source, pos, b, 4);
    pos += 4;
    return LE32(b);
  };
  auto readText = [&](std::uint32_t n) -> std::string {
    if (n > end - pos) throw EAudioFormat("truncated comment block");
    std::string s = ReadUpTo(source, pos, std::min<std::size_t>(n, kMaxTagTextBytes));
    pos += n;
    return s;
  };
  Vendor = Utf8Prefix(readText(readLength()));
  const std::uint32_t count = readLength();
  Exists = count > 0;
  struct TField {
    const char* Name;
    std::string* Value;
  };
  const TField known[] = {{"TITLE", &Title},
                          {"ARTIST", &Artist},
                          {"ALBUM", &Album},
                          {"TRACKNUMBER", &TrackString},
                          {"DATE", &Year},
                          {"GENRE", &Genre},
                          {"COMMENT", &Comment},
                          {"COMPOSER", &Composer},
                          {"PERFORMER", &Performer},
                          {"DESCRIPTION", &Description},
                          {"ISRC", &ISRC}};
  bool seen[std::size(known)] = {};
  // Each comment takes at least its 4-byte length, so the block's size bounds the loop.
  for (std::uint32_t i = 0; i < count; ++i) {
    std::string c = readText(readLength());
    std::size_t eq = c.find('=');
    if (eq == std::string::npos) continue;
    std::string name = UpperAscii(std::string_view(c).substr(0, eq));
    std::string value = Utf8Prefix(std::string_view(c).substr(eq + 1));
    // Only the first occurrence of a name counts.
    auto it = std::find_if(std::begin(known), std::end(known), [&](const TField& f) { return name == f.Name; });
    if (it != std::end(known)) {
      std::size_t k = static_cast<std::size_t>(it - std::begin(known));
      if (!seen[k]) {
        seen[k] = true;
        *it->Value = std::move(value);
      }
    } else if (ExtraFields.size() < kMaxExtraFields &&
               std::none_of(ExtraFields.begin(), ExtraFields.end(), [&](const auto& f) { return f.first == name; })) {
      ExtraFields.emplace_back(std::move(name), std::move(value));
    }
  }
}

bool TFLACfile::IsValid() const {
  return std::memcmp(Header.StreamMarker, "fLaC", 4) == 0 && Channels != 0 && SampleRate > 0 && BitsPerSample != 0 &&
         Samples > 0;
}

double TFLACfile::Duration() const { return SampleRate > 0 ? static_cast<double>(Samples) / SampleRate : 0; }

}  // namespace pelcrow
