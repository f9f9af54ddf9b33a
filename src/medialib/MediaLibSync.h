// Media-library synchronisation: when the program deletes, moves or renames a music file, the
// user's media libraries follow, and the file's playlist memberships are remembered so that undo
// can put them back. Each library is reached through a back-end (IMediaLibraryPlugin) that a
// platform registers; a library without a registered back-end is simply not synchronised.
//
// Processing and undo bracket their work with BeginMediaLibSync / EndMediaLibSync and call the
// per-file operations in between, all on the user-interface thread. A per-file operation never
// throws and never stops the file work: a failure is only logged (if the user asked for it).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "medialib/Playlists.h"
#include "settings/PcwSettings.h"

namespace pelcrow {

// One library's back-end. Paths arrive without an extended-length prefix.
class IMediaLibraryPlugin {
 public:
  virtual ~IMediaLibraryPlugin() = default;
  // Connects to the library; false means synchronisation with it is off (the back-end tells the
  // user and switches its setting off itself).
  virtual bool Init() = 0;
  // Adds the file to the library and to the playlists of this library's origin in the list
  // (which may be absent).
  virtual void AddNew(const std::string& APath, const TPlaylistList* APlayLists) = 0;
  // Removes the file's entry and appends the playlists that held it (creating the list).
  virtual void Delete(const std::string& APath, std::unique_ptr<TPlaylistList>& APlayLists) = 0;
  virtual void Rename(const std::string& AOldFileName, const std::string& ANewFileName) = 0;
  // Releases the connection.
  virtual void Done() = 0;
  // After an Init that returned false: why the library cannot be reached. Empty when the user
  // declined (the bracket then fails and is tried again); otherwise the library is left out for
  // the rest of the caller's run, with one notice.
  virtual std::string UnavailableReason() const { return {}; }
  // Delete, but each playlist entry is re-pointed to AKeptPath (the group's kept copy) instead of
  // dropped; the remembered entries say so, for undo.
  virtual void DeleteRepointing(const std::string& APath, const std::string& AKeptPath,
                                std::unique_ptr<TPlaylistList>& APlayLists) {
    (void)AKeptPath;
    Delete(APath, APlayLists);
  }
};

// The two library roles: the music player's library (Sync_WMP) and the music server's (Sync_iTunes).
enum TMediaLibrary : std::uint8_t { mlWMP, mliTunes };

struct TMediaLibSyncOptions;
using TMediaLibraryFactory = std::function<std::unique_ptr<IMediaLibraryPlugin>(const TMediaLibSyncOptions&)>;

// Installs the back-end factory of a library (an empty one removes it); returns the one replaced.
TMediaLibraryFactory RegisterMediaLibrary(TMediaLibrary ALibrary, TMediaLibraryFactory AFactory);

// Where the main window shows what synchronisation is doing. Texts arrive translated; an empty
// text clears. Both let the window repaint.
class IMediaLibStatus {
 public:
  virtual ~IMediaLibStatus() = default;
  virtual void ShowWaitText(const std::string& AText) = 0;
  virtual void ShowStatusText(const std::string& AText) = 0;
  // A library could not be reached and is left out of this run (AText says which and why,
  // translated). Said once per run; a front end may also switch the library off.
  virtual void ShowLibraryUnavailable(TMediaLibrary ALibrary, const std::string& AText) {
    (void)ALibrary;
    (void)AText;
  }
};
void SetMediaLibStatus(IMediaLibStatus* AStatus);

// Which libraries follow the program's file work, and which of their outcomes are logged.
struct TMediaLibSyncOptions {
  bool WMP = false;     // the player's library (Sync_WMP)
  bool iTunes = false;  // the server's library (Sync_iTunes)
  TPcwLogEvents LogEvents;
  // A deleted duplicate's playlist entries point to its group's kept copy instead of going.
  bool RepointToKept = false;
  // The server's music folder when it cannot tell (over TCP); empty: ask it, then its config.
  std::string MpdMusicDirectory;
  // The player's library folder; empty: $XDG_DATA_HOME/rhythmbox.
  std::string RhythmboxDirectory;
  // The run moves or renames music files: a running player is asked to close first, as only its
  // stopped library keeps a moved song's whole entry and playlist places.
  bool MovesFiles = false;
};
// The synchronisation's part of a settings record.
TMediaLibSyncOptions MediaLibSyncOptionsOf(const TPcwSettings& Record);

// Creates and initialises the back-ends of the libraries switched on (the server's first; the
// player's only if that worked or was not needed). True when every back-end it initialised
// succeeded, and at once when both are off. The log events hold until the next begin.
// A library that cannot be reached is switched off in Options (the caller's run), logged and
// told to the status once; it does not make the begin fail.
bool BeginMediaLibSync(TMediaLibSyncOptions& Options);
// The same for options the caller keeps no copy of (what is switched off is forgotten).
bool BeginMediaLibSync(const TMediaLibSyncOptions& Options);
// Ends and releases the back-ends the last BeginMediaLibSync created.
void EndMediaLibSync();

// Per-file operations; each does nothing when its back-end is not initialised.
void MediaLibDeleteWMP(const std::string& APath, std::unique_ptr<TPlaylistList>& APlayLists);
void MediaLibDeleteITunes(const std::string& APath, std::unique_ptr<TPlaylistList>& APlayLists);
// The server's Delete that re-points the playlist entries to AKeptPath (Options.RepointToKept).
void MediaLibDeleteITunesRepointing(const std::string& APath, const std::string& AKeptPath,
                                    std::unique_ptr<TPlaylistList>& APlayLists);
void MediaLibAddWMP(const std::string& APath, const TPlaylistList* APlayLists);
// The player's AddNew if Libraries.WMP is on, then the server's if Libraries.iTunes is on.
void MediaLibAddAll(const std::string& APath, const TPlaylistList* APlayLists, const TMediaLibSyncOptions& Libraries);
void MediaLibRenameITunes(const std::string& AOldFileName, const std::string& ANewFileName);

}  // namespace pelcrow
