#include "audiotags/ID3v1.h"

#include <cstring>

#include "audiotags/Genres.h"
#include "audiotags/TagText.h"

namespace pelcrow {

namespace {

constexpr std::size_t kTagLength = 128;
constexpr std::size_t kLyricsFooterLength = 15;  // 6-digit size + "LYRICS200"
constexpr std::size_t kLyricsBeginLength = 11;   // "LYRICSBEGIN"

// A fixed-width field: the text before its terminator without trailing blanks, as Latin-1.
std::string Field(const std::uint8_t* p, std::size_t width) {
  std::string_view raw(reinterpret_cast<const char*>(p), width);
  return Latin1ToUtf8(TrimRightText(CutAtNul(raw)));
}

bool AllDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

}  // namespace

bool TID3v1::ReadFromSource(IByteSource& source) {
  Reset();
  try {
    std::uint64_t size = source.Size();
    std::uint64_t lyricsEnd = size;
    if (size >= kTagLength) {
      std::uint8_t t[kTagLength];
      ReadExact(source, size - kTagLength, t, kTagLength);
      if (std::memcmp(t, "TAG", 3) == 0) {
        Exists = true;
        Title = Field(t + 3, 30);
        Artist = Field(t + 33, 30);
        Album = Field(t + 63, 30);
        Year = Field(t + 93, 4);
        GenreID = t[127];
        Genre = std::string(GenreName(GenreID));
        if ((t[125] == 0 && t[126] != 0) || (t[125] == ' ' && t[126] != ' ')) {
          VersionID = 2;
          Comment = Field(t + 97, 28);
          Track = t[126];
        } else {
          VersionID = 1;
          Comment = Field(t + 97, 30);
        }
        TagSize = kTagLength;
        lyricsEnd = size - kTagLength;
      }
    }
    ReadLyrics3(source, lyricsEnd);
    return true;
  } catch (...) {
    Reset();
    return false;
  }
}

void TID3v1::ReadLyrics3(IByteSource& source, std::uint64_t end) {
  if (end < kLyricsFooterLength + kLyricsBeginLength) return;
  char footer[kLyricsFooterLength];
  ReadExact(source, end - kLyricsFooterLength, footer, kLyricsFooterLength);
  std::string_view f(footer, kLyricsFooterLength);
  if (f.substr(6) != "LYRICS200" || !AllDigits(f.substr(0, 6))) return;
  std::int64_t blockSize = 0;
  ParseInteger(f.substr(0, 6), blockSize);
  std::uint64_t blockEnd = end - kLyricsFooterLength;
  if (blockSize < static_cast<std::int64_t>(kLyricsBeginLength) || static_cast<std::uint64_t>(blockSize) > blockEnd)
    return;
  std::uint64_t pos = blockEnd - static_cast<std::uint64_t>(blockSize);
  char begin[kLyricsBeginLength];
  ReadExact(source, pos, begin, kLyricsBeginLength);
  if (std::string_view(begin, kLyricsBeginLength) != "LYRICSBEGIN") return;
  ExistsLyrics2 = true;
  Lyrics2Size = static_cast<std::uint32_t>(blockSize);
  TagSize += Lyrics2Size + kLyricsFooterLength;
  pos += kLyricsBeginLength;
  // Fields: 3-character id, 5-digit length, data. Lyrics and images are skipped, not read.
  while (pos + 8 <= blockEnd) {
    char head[8];
    ReadExact(source, pos, head, 8);
    std::string_view id(head, 3), len(head + 3, 5);
    if (!AllDigits(len)) break;
    std::int64_t n = 0;
    ParseInteger(len, n);
    pos += 8;
    if (pos + static_cast<std::uint64_t>(n) > blockEnd) break;
    std::string* target = nullptr;
    if (id == "ETT")
      target = &Title;
    else if (id == "EAR")
      target = &Artist;
    else if (id == "EAL")
      target = &Album;
    else if (id == "INF")
      target = &Comment;
    else if (id == "AUT")
      target = &Writer;
    else if (id != "IND" && id != "LYR" && id != "IMG")
      break;
    if (target) {
      std::string data(static_cast<std::size_t>(n), '\0');
      ReadExact(source, pos, data.data(), data.size());
      *target = Latin1ToUtf8(TrimText(data));
    }
    pos += static_cast<std::uint64_t>(n);
  }
}

}  // namespace pelcrow
