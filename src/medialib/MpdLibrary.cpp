#include "medialib/MpdLibrary.h"

#include <chrono>
#include <cstdlib>
#include <thread>

#include "base/PathText.h"
#include "base/Trim.h"
#include "platform/WholeFile.h"

namespace pelcrow {

namespace {

constexpr int kConnectTimeoutMs = 2000;
// An update of a folder takes a moment; of a whole large library, minutes: this is how long the
// processing waits for one before it goes on without it.
constexpr auto kUpdateWait = std::chrono::seconds(60);
constexpr auto kUpdatePoll = std::chrono::milliseconds(20);

std::string WithoutTrailingSlash(std::string dir) {
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

// The URI's folder part; empty for a song at the top.
std::string UriFolder(const std::string& uri) {
  const std::size_t slash = uri.rfind('/');
  return slash == std::string::npos ? std::string() : uri.substr(0, slash);
}

std::string EnvOr(const char* name, const std::string& fallback) {
  const char* v = std::getenv(name);
  return v && *v ? std::string(v) : fallback;
}

}  // namespace

std::string MpdMusicDirectoryFromConfig(std::string_view ConfigText, std::string_view Home) {
  std::string found;
  std::size_t start = 0;
  while (start < ConfigText.size()) {
    std::size_t end = ConfigText.find('\n', start);
    if (end == std::string_view::npos) end = ConfigText.size();
    std::string_view line = TrimBlanks(ConfigText.substr(start, end - start));
    start = end + 1;
    constexpr std::string_view key = "music_directory";
    if (line.substr(0, key.size()) != key) continue;
    line = TrimBlanks(line.substr(key.size()));
    if (line.size() < 2 || line.front() != '"') continue;
    const std::size_t close = line.find('"', 1);
    if (close == std::string_view::npos) continue;
    std::string dir(line.substr(1, close - 1));
    if (dir.size() >= 1 && dir[0] == '~' && (dir.size() == 1 || dir[1] == '/')) dir = std::string(Home) + dir.substr(1);
    found = dir;  // the last one counts, as in MPD
  }
  return found;
}

TMpdMediaLibPlugin::TMpdMediaLibPlugin(const TMediaLibSyncOptions& Options, TMpdAddress Address)
    : fOptions(Options), fAddress(std::move(Address)) {}

bool TMpdMediaLibPlugin::Init() {
  fUnavailable.clear();
  std::string error;
  if (fConnection.Connect(fAddress, kConnectTimeoutMs, error) != 0) {
    fUnavailable = "MPD at " + fAddress.Text() + ": " + error;
    return false;
  }
  try {
    fMusicDir = WithoutTrailingSlash(FindMusicDirectory());
  } catch (const std::exception& e) {
    fUnavailable = "MPD at " + fAddress.Text() + ": " + e.what();
    return false;
  }
  if (fMusicDir.empty() || fMusicDir[0] != '/') {
    fUnavailable = "MPD at " + fAddress.Text() + ": its music folder is not known (set MpdMusicDirectory)";
    fConnection.Close();
    return false;
  }
  return true;
}

std::string TMpdMediaLibPlugin::FindMusicDirectory() {
  if (!fOptions.MpdMusicDirectory.empty()) return fOptions.MpdMusicDirectory;
  // Only a client on the server's socket may ask.
  if (fConnection.IsLocal()) {
    const TMpdReply r = fConnection.Command("config");
    if (r.Ok && !r.Value("music_directory").empty()) return r.Value("music_directory");
  }
  // Over the network the server does not say: its own configuration, where mpd looks for it.
  const std::string home = EnvOr("HOME", "");
  const std::string config = EnvOr("XDG_CONFIG_HOME", home + "/.config");
  for (const std::string& file : {config + "/mpd/mpd.conf", home + "/.mpdconf", home + "/.mpd/mpd.conf",
                                  std::string("/etc/mpd.conf")}) {
    std::string text;
    if (platform::ReadWholeFile(file, text, 1 << 20) != 0) continue;
    const std::string dir = MpdMusicDirectoryFromConfig(text, home);
    if (!dir.empty()) return dir;
  }
  return {};
}

std::string TMpdMediaLibPlugin::UriOf(const std::string& APath) const {
  if (fMusicDir.empty() || APath.size() <= fMusicDir.size() + 1) return {};
  if (APath.compare(0, fMusicDir.size(), fMusicDir) != 0) return {};
  if (fMusicDir != "/" && APath[fMusicDir.size()] != '/') return {};
  return APath.substr(fMusicDir == "/" ? 1 : fMusicDir.size() + 1);
}

std::string TMpdMediaLibPlugin::PathOf(const std::string& AUri) const { return JoinPath(fMusicDir, AUri); }

std::vector<std::string> TMpdMediaLibPlugin::PlaylistNames() {
  return fConnection.Checked("listplaylists").Values("playlist");
}

std::vector<std::string> TMpdMediaLibPlugin::PlaylistEntries(const std::string& AName) {
  return fConnection.Checked("listplaylist " + MpdQuote(AName)).Values("file");
}

void TMpdMediaLibPlugin::DeleteEntry(const std::string& AName, int APosition) {
  fConnection.Checked("playlistdelete " + MpdQuote(AName) + " " + std::to_string(APosition));
}

bool TMpdMediaLibPlugin::InDatabase(const std::string& AUri) {
  const TMpdReply r = fConnection.Command("find " + MpdFileFilter(AUri));
  return r.Ok && r.Value("file") == AUri;
}

void TMpdMediaLibPlugin::UpdateAndWait(const std::string& AUri) {
  // A folder that is gone (its last file moved away) is refused: its parent is updated instead.
  TMpdReply r;
  for (std::string dir = UriFolder(AUri);; dir = UriFolder(dir)) {
    r = fConnection.Command(dir.empty() ? std::string("update") : "update " + MpdQuote(dir));
    if (r.Ok || dir.empty()) break;
  }
  if (!r.Ok) throw TMpdError("MPD: " + r.AckText);
  const long job = std::strtol(r.Value("updating_db").c_str(), nullptr, 10);
  const auto deadline = std::chrono::steady_clock::now() + kUpdateWait;
  while (std::chrono::steady_clock::now() < deadline) {
    const TMpdReply status = fConnection.Checked("status");
    // A later job running means ours has ended.
    if (!status.Has("updating_db") || std::strtol(status.Value("updating_db").c_str(), nullptr, 10) > job) return;
    std::this_thread::sleep_for(kUpdatePoll);
  }
  throw TMpdError("MPD's database update did not end in time");
}

void TMpdMediaLibPlugin::TakeOutOfPlaylists(const std::string& AUri, const std::string& AKeptUri,
                                            std::unique_ptr<TPlaylistList>& Lists) {
  if (!Lists) Lists = std::make_unique<TPlaylistList>();
  for (const std::string& name : PlaylistNames()) {
    const std::vector<std::string> entries = PlaylistEntries(name);
    std::vector<int> positions;
    for (std::size_t i = 0; i < entries.size(); ++i)
      if (entries[i] == AUri) positions.push_back(static_cast<int>(i));
    // Highest first, so that the lower positions stay where they were.
    for (auto p = positions.rbegin(); p != positions.rend(); ++p) {
      DeleteEntry(name, *p);
      if (!AKeptUri.empty()) InsertEntry(name, AKeptUri, *p);
    }
    for (int p : positions) Lists->push_back({name, p, ploITunes, AKeptUri.empty() ? std::string() : PathOf(AKeptUri)});
  }
}

void TMpdMediaLibPlugin::InsertEntry(const std::string& AName, const std::string& AUri, int APosition) {
  fConnection.Checked("playlistadd " + MpdQuote(AName) + " " + MpdQuote(AUri));
  const int last = static_cast<int>(PlaylistEntries(AName).size()) - 1;
  if (APosition >= 0 && APosition < last)
    fConnection.Checked("playlistmove " + MpdQuote(AName) + " " + std::to_string(last) + " " + std::to_string(APosition));
}

void TMpdMediaLibPlugin::Delete(const std::string& APath, std::unique_ptr<TPlaylistList>& APlayLists) {
  const std::string uri = UriOf(APath);
  if (uri.empty()) return;
  TakeOutOfPlaylists(uri, std::string(), APlayLists);
  UpdateAndWait(uri);
}

void TMpdMediaLibPlugin::DeleteRepointing(const std::string& APath, const std::string& AKeptPath,
                                          std::unique_ptr<TPlaylistList>& APlayLists) {
  const std::string uri = UriOf(APath);
  if (uri.empty()) return;
  const std::string kept = UriOf(AKeptPath);
  // A kept copy the server does not know cannot stand in a playlist.
  TakeOutOfPlaylists(uri, !kept.empty() && InDatabase(kept) ? kept : std::string(), APlayLists);
  UpdateAndWait(uri);
}

void TMpdMediaLibPlugin::AddNew(const std::string& APath, const TPlaylistList* APlayLists) {
  const std::string uri = UriOf(APath);
  if (uri.empty()) return;
  UpdateAndWait(uri);
  if (!InDatabase(uri)) throw TMpdError("MPD did not add " + uri + " to its database");
  if (!APlayLists) return;
  for (const TPlaylistInfo& p : *APlayLists) {
    if (p.Origin != ploITunes) continue;
    if (!p.ReplacedBy.empty()) {
      // The kept copy stood in for it: it goes again, if it is still there.
      const std::vector<std::string> entries = PlaylistEntries(p.Name);
      const std::string kept = UriOf(p.ReplacedBy);
      if (p.Position >= 0 && p.Position < static_cast<int>(entries.size()) && entries[p.Position] == kept)
        DeleteEntry(p.Name, p.Position);
    }
    InsertEntry(p.Name, uri, p.Position);
  }
}

void TMpdMediaLibPlugin::Rename(const std::string& AOldFileName, const std::string& ANewFileName) {
  const std::string oldUri = UriOf(AOldFileName);
  const std::string newUri = UriOf(ANewFileName);
  if (oldUri.empty() && newUri.empty()) return;
  if (!oldUri.empty()) UpdateAndWait(oldUri);
  if (newUri.empty()) {
    // Moved out of the library: its playlist entries stay (MPD keeps stale entries), so that
    // moving it back restores them; the dead-track cleaner removes them if it stays away.
    return;
  }
  UpdateAndWait(newUri);
  if (!InDatabase(newUri)) throw TMpdError("MPD did not add " + newUri + " to its database");
  if (oldUri.empty()) return;
  for (const std::string& name : PlaylistNames()) {
    const std::vector<std::string> entries = PlaylistEntries(name);
    for (std::size_t i = 0; i < entries.size(); ++i) {
      if (entries[i] != oldUri) continue;
      DeleteEntry(name, static_cast<int>(i));
      InsertEntry(name, newUri, static_cast<int>(i));
    }
  }
}

void TMpdMediaLibPlugin::Done() { fConnection.Close(); }

}  // namespace pelcrow
