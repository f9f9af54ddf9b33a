// What media-library synchronisation tells the desktop user: a library that cannot be reached is
// said in an information box, once per processing run or undo (the run leaves it out after that).
// The setting stays on: a server that is down now is usually up again next time.
#pragma once

#include "medialib/MediaLibSync.h"

namespace pelcrow::ui {

class TMediaLibNotices final : public IMediaLibStatus {
 public:
  TMediaLibNotices() { SetMediaLibStatus(this); }
  ~TMediaLibNotices() override { SetMediaLibStatus(nullptr); }
  TMediaLibNotices(const TMediaLibNotices&) = delete;
  TMediaLibNotices& operator=(const TMediaLibNotices&) = delete;

  void ShowWaitText(const std::string&) override {}
  void ShowStatusText(const std::string&) override {}
  void ShowLibraryUnavailable(TMediaLibrary ALibrary, const std::string& AText) override;
};

}  // namespace pelcrow::ui
