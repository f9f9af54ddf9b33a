#include "medialib/MediaLibraries.h"

#include "medialib/MediaLibSync.h"
#include "medialib/MpdLibrary.h"

namespace pelcrow {

void RegisterDefaultMediaLibraries() {
  RegisterMediaLibrary(mliTunes, [](const TMediaLibSyncOptions& o) { return std::make_unique<TMpdMediaLibPlugin>(o); });
}

}  // namespace pelcrow
