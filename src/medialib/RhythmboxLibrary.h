// The player's library (Rhythmbox), the back-end of the player role (Sync_WMP), edited in its
// files while Rhythmbox is stopped: rhythmdb.xml (the songs) and playlists.xml (static playlists
// hold <location> children). Only the entries concerned change; every other byte, unknown
// elements included, stays as it was, and each file is replaced atomically at Done.
//
// While Rhythmbox runs it rewrites both files on exit, so the library is left out of the run (a
// notice says so); its D-Bus interface is not used yet.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "medialib/MediaLibSync.h"

namespace pelcrow {

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

 private:
  std::string fDir, fDbFile, fPlaylistsFile;
  std::string fDb, fPlaylists;
  bool fLoaded = false, fDbChanged = false, fPlaylistsChanged = false;
  // The entry Delete took out last, so that the AddNew of a move keeps its ratings and counts.
  std::string fLastRemoved;
  std::string fUnavailable;
};

}  // namespace pelcrow
