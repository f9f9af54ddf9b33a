// The music server's library (MPD), the back-end of the server role (Sync_iTunes). Paths map to
// URIs relative to the server's music folder; a file outside it is not in the library.
//
// MPD has no call that removes a song: the database follows the disk when a folder is updated.
// So Delete and Rename act after the file went: they update its folder and wait for the job,
// and fix the stored playlists entry by entry (playlistdelete, playlistadd + playlistmove), so
// that AddNew can put an entry back at its remembered position.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "medialib/MediaLibSync.h"
#include "medialib/MpdProtocol.h"

namespace pelcrow {

// The music_directory of an mpd.conf text ("~/" expanded with Home); empty when it has none.
std::string MpdMusicDirectoryFromConfig(std::string_view ConfigText, std::string_view Home);

class TMpdMediaLibPlugin final : public IMediaLibraryPlugin {
 public:
  explicit TMpdMediaLibPlugin(const TMediaLibSyncOptions& Options, TMpdAddress Address = MpdAddressFromEnvironment());

  bool Init() override;
  void AddNew(const std::string& APath, const TPlaylistList* APlayLists) override;
  void Delete(const std::string& APath, std::unique_ptr<TPlaylistList>& APlayLists) override;
  void DeleteRepointing(const std::string& APath, const std::string& AKeptPath,
                        std::unique_ptr<TPlaylistList>& APlayLists) override;
  void Rename(const std::string& AOldFileName, const std::string& ANewFileName) override;
  void Done() override;
  std::string UnavailableReason() const override { return fUnavailable; }

  // For the dead-track cleaner.
  const std::string& MusicDirectory() const { return fMusicDir; }
  // The URI of a path inside the music folder; empty for a path outside it.
  std::string UriOf(const std::string& APath) const;
  std::string PathOf(const std::string& AUri) const;
  std::vector<std::string> PlaylistNames();
  std::vector<std::string> PlaylistEntries(const std::string& AName);
  void DeleteEntry(const std::string& AName, int APosition);
  // Updates the folder of AUri (or the nearest folder above that the server knows; empty: all)
  // and waits for the job.
  void UpdateAndWait(const std::string& AUri);
  bool InDatabase(const std::string& AUri);

 private:
  std::string FindMusicDirectory();
  // Removes AUri's entries from every playlist (highest position first) and records them lowest
  // first; with AKeptUri each is replaced by that song at the same place.
  void TakeOutOfPlaylists(const std::string& AUri, const std::string& AKeptUri, std::unique_ptr<TPlaylistList>& Lists);
  // Puts AUri into playlist AName at APosition (at the end when the list is shorter).
  void InsertEntry(const std::string& AName, const std::string& AUri, int APosition);

  TMediaLibSyncOptions fOptions;
  TMpdAddress fAddress;
  TMpdConnection fConnection;
  std::string fMusicDir;  // without a trailing "/"
  std::string fUnavailable;
};

}  // namespace pelcrow
