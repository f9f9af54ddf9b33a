// Arbitrary bytes as the photo library scripts' results: the photo list either parses into
// whole records whose files are absolute paths or is refused with nothing kept; the album list
// builds a tree whose every album has a name path; a number is made plain without growing past
// what an exponent of an identifier can ask for.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "plugins/PictureScanner.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

int CountAlbums(pelcrow::TFolderBase& f) {
  int n = f.IsRoot() ? 0 : 1;
  if (!f.IsRoot()) Check(!f.FolderPath().empty() && f.FolderPath().back() == '/');
  for (int i = 0; i < f.ChildCount(); ++i) n += CountAlbums(*f.GetChild(i));
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::vector<pelcrow::TPhotoRecord> photos;
  std::string error;
  if (pelcrow::ParsePhotoList(bytes, photos, error)) {
    for (const pelcrow::TPhotoRecord& p : photos) Check(!p.Id.empty() && !p.FilePath.empty() && p.FilePath[0] == '/');
  } else {
    Check(photos.empty() && !error.empty());
  }

  pelcrow::TFolderRoot root;
  if (pelcrow::ParseAlbumList(bytes, root, error)) Check(CountAlbums(root) * 3 <= static_cast<int>(size) + 3);

  const std::string plain = pelcrow::MakePlainNumber(bytes.substr(0, 64));
  Check(plain.size() <= 64 + 41);
  return 0;
}
