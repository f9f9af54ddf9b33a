// The overload that reads the global settings lives apart, so that code using only the readers
// (the fuzzer, tools) does not pull in the settings record.
#include "audiotags/AudioTags.h"

namespace pelcrow {

std::string ReadAudioTags(const std::string& FileName, TAudioTagList* List, bool Strict) {
  return ReadAudioTags(FileName, List, Strict, Settings.MusicTagsOptions);
}

}  // namespace pelcrow
