#include "ui/MediaLibNotices.h"

#include "base/UserPrompt.h"

namespace pelcrow::ui {

void TMediaLibNotices::ShowLibraryUnavailable(TMediaLibrary, const std::string& AText) {
  GetUserPrompt().ShowMessage(TMessageKind::mkInformation, AText);
}

}  // namespace pelcrow::ui
