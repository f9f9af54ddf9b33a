// An APE tag (version 1 or 2) located by its "APETAGEX" footer at the end of the audio data. Only
// text items are kept; binary items (cover art) are skipped without being read.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "audiotags/ByteSource.h"

namespace pelcrow {

class TAPETag {
 public:
  bool Exists = false;
  std::uint32_t Version = 0;  // 1000 or 2000
  std::uint32_t Size = 0;     // items and footer, plus the header when there is one

  void Reset() { *this = TAPETag(); }
  // Looks for the footer ending at `end` (the file length minus the trailing ID3v1/Lyrics3 bytes).
  // Returns false only when the source cannot be read.
  bool ReadFromSource(IByteSource& source, std::uint64_t end);
  // The first value of the first item named `key` (names compare without regard to ASCII case).
  std::string Value(std::string_view key) const;

 private:
  std::vector<std::pair<std::string, std::string>> fItems;  // upper-case key, value
};

}  // namespace pelcrow
