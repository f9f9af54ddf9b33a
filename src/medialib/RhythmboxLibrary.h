// The player's library (Rhythmbox), the back-end of the player role (Sync_WMP), edited in its
// files while Rhythmbox is stopped: rhythmdb.xml (the songs) and playlists.xml (static playlists
// hold <location> children). Only the entries concerned change; every other byte, unknown
// elements included, stays as it was, and each file is replaced atomically at Done.
//
// While Rhythmbox runs (it rewrites both files on exit) the playlists follow over its D-Bus
// interface, or, for a run that moves files, Rhythmbox is closed first when the user agrees.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include <vector>

#include "medialib/MediaLibSync.h"

namespace pelcrow {

namespace platform {
class TSessionBus;
}

// Text as XML element content or attribute, and back (the five entities and &#N; / &#xN;).
std::string XmlEscape(std::string_view Text);
std::string XmlUnescape(std::string_view Text);
// "file://" + the path in GLib's escaping, as Rhythmbox writes it.
std::string RhythmboxUri(std::string_view Path);

class TRhythmboxMediaLibPlugin final : public IMediaLibraryPlugin {
 public:
  explicit TRhythmboxMediaLibPlugin(const TMediaLibSyncOptions& Options);

  bool Init() override;
  void AddNew(const std::string& APath, const TPlaylistList* APlayLists) override;
  void Delete(const std::string& APath, std::unique_ptr<TPlaylistList>& APlayLists) override;
  void Rename(const std::string& AOldFileName, const std::string& ANewFileName) override;
  void Done() override;
  std::string UnavailableReason() const override { return fUnavailable; }

  // The library's files as they are now (edited in memory until Done).
  const std::string& Database() const { return fDb; }
  const std::string& Playlists() const { return fPlaylists; }
  // True while the run talks to a running Rhythmbox instead of editing its files.
  bool Live() const { return fLive; }
  // How long to wait for Rhythmbox to take a file in, and to close.
  void SetWaits(int EntryMs, int CloseMs) {
    fEntryWaitMs = EntryMs;
    fCloseWaitMs = CloseMs;
  }

 private:
  bool LoadFiles();
  bool StartLive(const platform::TSessionBus& bus);
  bool CloseRhythmbox(const platform::TSessionBus& bus);
  bool IsLivePlaylist(const std::string& Name) const;
  void AddNewLive(const std::string& APath, const TPlaylistList* APlayLists);
  void RemoveFromDatabaseText(const std::string& APath);
  void RemoveFromPlaylistsText(const std::string& APath, TPlaylistList& AFound);
  void AddToDatabaseText(const std::string& APath);
  // At the remembered position, or at the end with AAppend.
  void AddToPlaylistsText(const std::string& APath, const TPlaylistInfo& info, bool AAppend);

  std::string fDir, fDbFile, fPlaylistsFile;
  std::string fDb, fPlaylists;
  bool fLoaded = false, fDbChanged = false, fPlaylistsChanged = false;
  // The entry Delete took out last, so that the AddNew of a move keeps its ratings and counts.
  std::string fLastRemoved;
  std::string fUnavailable;
  bool fMovesFiles = false;
  bool fLive = false;
  std::vector<std::string> fLivePlaylists;
  // The song Delete took out over the bus last, with its properties as Rhythmbox gave them.
  std::string fLastRemovedPath, fLastRemovedProps;
  int fEntryWaitMs = 10000, fCloseWaitMs = 30000;
};

}  // namespace pelcrow
