// The dead-track cleaner: every playlist entry of the music server's library whose file no
// longer exists is removed, after the database was brought up to date with the disk. Entries that
// are not files (streams) are never touched. Runs on the caller's thread: the cleaner window runs
// it on its worker, the command line directly.
//
// Removed entries are dead (their files are gone), so the clean-up is not recorded for undo.
#pragma once

#include <atomic>
#include <functional>
#include <string>

#include "medialib/MediaLibSync.h"

namespace pelcrow {

// Where the cleaner reports. AddLogLine: NewLine false replaces the last line (texts translated).
class IDeadTrackCleanerLog {
 public:
  virtual ~IDeadTrackCleanerLog() = default;
  virtual void AddLogLine(const std::string& AText, bool ANewLine) = 0;
  virtual void SetProgress(int APercent) = 0;
};

struct TDeadTrack {
  std::string Playlist;
  int Position = 0;
  std::string Path;
};

// The number of dead entries found (and, unless DryRun, removed), or -1 when the server could not
// be reached. OnDead sees each one. Cancel is tested between entries.
int CleanDeadTracks(const TMediaLibSyncOptions& Options, bool DryRun, IDeadTrackCleanerLog& Log,
                    const std::atomic<bool>& Cancel, const std::function<void(const TDeadTrack&)>& OnDead = {});

}  // namespace pelcrow
