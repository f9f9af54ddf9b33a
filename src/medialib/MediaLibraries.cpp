#include "medialib/MediaLibraries.h"

#include "medialib/MediaLibSync.h"
#include "medialib/MpdLibrary.h"
#include "medialib/RhythmboxLibrary.h"

namespace pelcrow {

void RegisterDefaultMediaLibraries() {
  RegisterMediaLibrary(mlWMP, [](const TMediaLibSyncOptions& o) { return std::make_unique<TRhythmboxMediaLibPlugin>(o); });
  RegisterMediaLibrary(mliTunes, [](const TMediaLibSyncOptions& o) { return std::make_unique<TMpdMediaLibPlugin>(o); });
}

}  // namespace pelcrow
