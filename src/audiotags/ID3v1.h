// The ID3v1 tag in the last 128 bytes of a file, with the Lyrics3 version 2 block that may sit just
// before it and whose extended fields replace the short ones.
#pragma once

#include <cstdint>
#include <string>

#include "audiotags/ByteSource.h"

namespace pelcrow {

class TID3v1 {
 public:
  bool Exists = false;
  std::uint8_t VersionID = 0;  // 1 = ID3v1.0, 2 = ID3v1.1
  std::string Title, Artist, Album, Year, Comment, Genre;
  std::uint8_t Track = 0;
  std::uint8_t GenreID = 0;
  bool ExistsLyrics2 = false;
  std::uint32_t Lyrics2Size = 0;  // of the block, without the 15-byte size and marker
  std::string Writer;
  std::uint32_t TagSize = 0;  // bytes at the end of the file taken by the tag and the Lyrics3 block

  void Reset() { *this = TID3v1(); }
  // Returns false only when the source cannot be read; a file without the tag reads fine.
  bool ReadFromSource(IByteSource& source);

 private:
  void ReadLyrics3(IByteSource& source, std::uint64_t end);
};

}  // namespace pelcrow
