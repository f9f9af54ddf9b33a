#include "medialib/DeadTrackCleaner.h"

#include <exception>

#include "localization/TranslateText.h"
#include "logging/Logger.h"
#include "medialib/MpdLibrary.h"
#include "platform/FileTransfer.h"

namespace pelcrow {

namespace {

bool IsStream(const std::string& uri) { return uri.find("://") != std::string::npos; }

// Walks one playlist from its last entry to its first; the number of dead entries.
int CleanPlaylist(TMpdMediaLibPlugin& Mpd, const std::string& Name, bool DryRun, const TMediaLibSyncOptions& Options,
                  const std::atomic<bool>& Cancel, const std::function<void(const TDeadTrack&)>& OnDead) {
  const std::vector<std::string> entries = Mpd.PlaylistEntries(Name);
  int dead = 0;
  for (int i = static_cast<int>(entries.size()) - 1; i >= 0 && !Cancel; --i) {
    const std::string& uri = entries[static_cast<std::size_t>(i)];
    if (IsStream(uri)) continue;
    const std::string path = Mpd.PathOf(uri);
    if (platform::PathExists(path)) continue;
    ++dead;
    if (OnDead) OnDead(TDeadTrack{Name, i, path});
    if (DryRun) continue;
    try {
      Mpd.DeleteEntry(Name, i);
      if (Options.LogEvents.Contains(leMediaLibSyncOk))
        LogEvent(leMediaLibSyncOk, TranslateText("Delete invalid track"), Name + ": " + path, "");
    } catch (const std::exception& e) {
      if (Options.LogEvents.Contains(leMediaLibSyncFail))
        LogEvent(leMediaLibSyncFail, TranslateText("Delete invalid track"), Name + ": " + path, e.what());
    }
  }
  return dead;
}

}  // namespace

int CleanDeadTracks(const TMediaLibSyncOptions& Options, bool DryRun, IDeadTrackCleanerLog& Log,
                    const std::atomic<bool>& Cancel, const std::function<void(const TDeadTrack&)>& OnDead) {
  if (Cancel) return 0;
  Log.SetProgress(0);
  Log.AddLogLine(TranslateText("Connecting to MPD ..."), true);
  TMpdMediaLibPlugin mpd(Options);
  if (!mpd.Init()) {
    Log.AddLogLine(TranslateText("Connecting to MPD FAILED!"), false);
    Log.AddLogLine(mpd.UnavailableReason(), true);
    return -1;
  }
  Log.AddLogLine(TranslateText("Connecting to MPD - Complete."), false);
  int dead = 0;
  if (!Cancel) {
    Log.AddLogLine(TranslateText("Processing tracks ..."), true);
    try {
      // The database follows the disk first, so that a client shows no dead songs either.
      if (!DryRun) mpd.UpdateAndWait(std::string());
      const std::vector<std::string> names = mpd.PlaylistNames();
      for (std::size_t k = 0; k < names.size() && !Cancel; ++k) {
        Log.SetProgress(static_cast<int>(k * 100 / names.size()));
        dead += CleanPlaylist(mpd, names[k], DryRun, Options, Cancel, OnDead);
      }
    } catch (const std::exception& e) {
      Log.AddLogLine(e.what(), true);
    }
    Log.AddLogLine(std::to_string(dead) + " " +
                       TranslateText(DryRun ? "Invalid Tracks Found." : "Invalid Tracks Deleted."),
                   false);
    Log.SetProgress(100);
  }
  mpd.Done();
  Log.AddLogLine(TranslateText("MPD Dead Track Cleaner was Successful!"), true);
  return dead;
}

}  // namespace pelcrow
