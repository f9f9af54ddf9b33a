// Arbitrary bytes through every audio tag reader and the tag facade.
#include <cstddef>
#include <cstdint>
#include <string>

#include "audiotags/AudioTags.h"
#include "audiotags/FLACfile.h"
#include "audiotags/MP4Tags.h"
#include "audiotags/MPEGaudio.h"
#include "audiotags/OggVorbis.h"
#include "audiotags/RealMediaFile.h"
#include "audiotags/WMAfile.h"

using namespace pelcrow;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TMemoryByteSource source(data, size);
  {
    TMPEGaudio r;
    r.ReadFromSource(source);
    (void)r.Valid();
  }
  {
    TMP4Tags r;
    r.ReadFromSource(source);
  }
  {
    TFLACfile r;
    r.ReadFromSource(source);
    (void)r.IsValid();
  }
  {
    TOggVorbis r;
    r.ReadFromSource(source);
    (void)r.Valid();
  }
  {
    TWMAfile r;
    r.ReadFromSource(source);
  }
  {
    TRealMediaFile r;
    r.ReadFromSource(source);
  }
  TAudioTagList list;
  ReadAudioTags(source, &list, false, TMusicTagsOptions::FromBits(0xFF));
  return 0;
}
