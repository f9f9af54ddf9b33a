#include "medialib/MediaLibSync.h"

#include <exception>
#include <string_view>

#include "base/PathText.h"
#include "localization/TranslateText.h"
#include "logging/Logger.h"

namespace pelcrow {

namespace {

struct TSyncState {
  TMediaLibraryFactory Factories[2];
  // Back-ends of the open bracket whose Init succeeded.
  std::unique_ptr<IMediaLibraryPlugin> Plugins[2];
  IMediaLibStatus* Status = nullptr;
  TPcwLogEvents LogEvents;  // of the last begin
};

TSyncState& State() {
  static TSyncState state;
  return state;
}

void ShowWait(const std::string& text) {
  if (IMediaLibStatus* s = State().Status) s->ShowWaitText(text);
}
void ShowStatus(const std::string& text) {
  if (IMediaLibStatus* s = State().Status) s->ShowStatusText(text);
}

std::string NoPrefix(const std::string& path) { return DeleteExtendedPrefix(path); }

// Runs one back-end operation: status line, logging, and no exception past it.
template <class Op>
void Run(TMediaLibrary library, std::string_view action, const std::string& subject, Op&& op) {
  IMediaLibraryPlugin* plugin = State().Plugins[library].get();
  if (plugin == nullptr) return;
  ShowStatus(TranslateText("Synchronizing:") + " " + subject);
  const std::string what = TranslateText(action) + " ";
  try {
    op(*plugin);
    if (State().LogEvents.Contains(leMediaLibSyncOk)) LogEvent(leMediaLibSyncOk, what, subject, "OK");
  } catch (const std::exception& e) {
    if (State().LogEvents.Contains(leMediaLibSyncFail)) LogEvent(leMediaLibSyncFail, what, subject, e.what());
  } catch (...) {
    if (State().LogEvents.Contains(leMediaLibSyncFail))
      LogEvent(leMediaLibSyncFail, what, subject, "unknown error");
  }
}

const char* LibraryName(TMediaLibrary library) { return library == mliTunes ? "MPD" : "Rhythmbox"; }

// Creates and initialises one back-end; false when it has none or its Init fails. A library that
// cannot be reached is switched off in the run's options and counts as not needed.
bool Start(TMediaLibrary library, TMediaLibSyncOptions& options) {
  TSyncState& s = State();
  if (!s.Factories[library]) return false;
  std::unique_ptr<IMediaLibraryPlugin> plugin;
  bool ok = false;
  std::string unavailable;
  try {
    plugin = s.Factories[library](options);
    ok = plugin && plugin->Init();
    if (!ok && plugin) unavailable = plugin->UnavailableReason();
  } catch (const std::exception& e) {
    unavailable = e.what();
  }
  if (ok) {
    s.Plugins[library] = std::move(plugin);
    return true;
  }
  if (unavailable.empty()) return false;
  (library == mliTunes ? options.iTunes : options.WMP) = false;
  const std::string text = std::string(LibraryName(library)) + " " + TranslateText("is not reachable:") + " " +
                           unavailable + ". " + TranslateText("Its library is not synchronized in this run.");
  WriteLog(text, lsvWarning);
  if (IMediaLibStatus* status = s.Status) status->ShowLibraryUnavailable(library, text);
  return true;
}

void Finish(TMediaLibrary library) {
  std::unique_ptr<IMediaLibraryPlugin> plugin = std::move(State().Plugins[library]);
  if (!plugin) return;
  try {
    plugin->Done();
  } catch (...) {
  }
}

}  // namespace

TMediaLibraryFactory RegisterMediaLibrary(TMediaLibrary ALibrary, TMediaLibraryFactory AFactory) {
  TMediaLibraryFactory previous = std::move(State().Factories[ALibrary]);
  State().Factories[ALibrary] = std::move(AFactory);
  return previous;
}

void SetMediaLibStatus(IMediaLibStatus* AStatus) { State().Status = AStatus; }

TMediaLibSyncOptions MediaLibSyncOptionsOf(const TPcwSettings& Record) {
  TMediaLibSyncOptions o;
  o.WMP = Record.Sync_WMP;
  o.iTunes = Record.Sync_iTunes;
  o.LogEvents = Record.LogEvents;
  o.RepointToKept = Record.Sync_RepointToKept;
  o.MpdMusicDirectory = Record.MpdMusicDirectory;
  return o;
}

bool BeginMediaLibSync(TMediaLibSyncOptions& Options) {
  State().LogEvents = Options.LogEvents;
  if (!Options.WMP && !Options.iTunes) return true;
  // A bracket that was opened again without being closed (processing retries a failed begin)
  // must not leak the back-ends it started.
  Finish(mliTunes);
  Finish(mlWMP);
  const std::string text = TranslateText("Initializing synchronization...");
  ShowWait(text);
  ShowStatus(text);
  TSyncState& s = State();
  // A library whose back-end this platform lacks is not synchronised, without a complaint:
  // there is nothing the user could do about it.
  bool ok = true;
  if (Options.iTunes && s.Factories[mliTunes]) ok = Start(mliTunes, Options);
  if (ok && Options.WMP && s.Factories[mlWMP]) ok = Start(mlWMP, Options);
  ShowStatus("");
  return ok;
}

bool BeginMediaLibSync(const TMediaLibSyncOptions& Options) {
  TMediaLibSyncOptions copy = Options;
  return BeginMediaLibSync(copy);
}

void EndMediaLibSync() {
  const std::string text = TranslateText("Finalizing synchronization...");
  ShowWait(text);
  ShowStatus(text);
  Finish(mliTunes);
  Finish(mlWMP);
  ShowStatus("");
}

void MediaLibDeleteWMP(const std::string& APath, std::unique_ptr<TPlaylistList>& APlayLists) {
  const std::string path = NoPrefix(APath);
  Run(mlWMP, "WMP track delete", path, [&](IMediaLibraryPlugin& p) { p.Delete(path, APlayLists); });
}

void MediaLibDeleteITunes(const std::string& APath, std::unique_ptr<TPlaylistList>& APlayLists) {
  const std::string path = NoPrefix(APath);
  Run(mliTunes, "iTunes track delete", path, [&](IMediaLibraryPlugin& p) { p.Delete(path, APlayLists); });
}

void MediaLibDeleteITunesRepointing(const std::string& APath, const std::string& AKeptPath,
                                    std::unique_ptr<TPlaylistList>& APlayLists) {
  const std::string path = NoPrefix(APath);
  const std::string kept = NoPrefix(AKeptPath);
  Run(mliTunes, "iTunes track delete", path,
      [&](IMediaLibraryPlugin& p) { p.DeleteRepointing(path, kept, APlayLists); });
}

void MediaLibAddWMP(const std::string& APath, const TPlaylistList* APlayLists) {
  const std::string path = NoPrefix(APath);
  Run(mlWMP, "WMP track add", path, [&](IMediaLibraryPlugin& p) { p.AddNew(path, APlayLists); });
}

void MediaLibAddAll(const std::string& APath, const TPlaylistList* APlayLists, const TMediaLibSyncOptions& Libraries) {
  const std::string path = NoPrefix(APath);
  if (Libraries.WMP)
    Run(mlWMP, "WMP track add", path, [&](IMediaLibraryPlugin& p) { p.AddNew(path, APlayLists); });
  if (Libraries.iTunes)
    Run(mliTunes, "iTunes track add", path, [&](IMediaLibraryPlugin& p) { p.AddNew(path, APlayLists); });
}

void MediaLibRenameITunes(const std::string& AOldFileName, const std::string& ANewFileName) {
  const std::string oldPath = NoPrefix(AOldFileName);
  const std::string newPath = NoPrefix(ANewFileName);
  Run(mliTunes, "iTunes track rename", oldPath + " -> " + newPath,
      [&](IMediaLibraryPlugin& p) { p.Rename(oldPath, newPath); });
}

}  // namespace pelcrow
