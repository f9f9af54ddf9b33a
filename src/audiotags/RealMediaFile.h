// RealMedia files: the ".RMF" header and the content-description chunk ("CONT").
#pragma once

#include <cstdint>
#include <string>

#include "audiotags/ByteSource.h"

namespace pelcrow {

enum class TRealMediaFormat : std::uint8_t { RealAudio3, RealAudio4, RealAudio5, RealMedia };

class TRealMediaFile {
 public:
  bool IsValid = false;
  TRealMediaFormat MediaFormat = TRealMediaFormat::RealMedia;
  std::string Title, Author, Copyright, Comment;

  void Reset() { *this = TRealMediaFile(); }
  // True only when the content-description chunk was found and read.
  bool ReadFromSource(IByteSource& source);
};

}  // namespace pelcrow
