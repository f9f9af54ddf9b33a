#include "medialib/RhythmboxLibrary.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

#include "base/PathText.h"
#include "base/UserPrompt.h"
#include "localization/TranslateText.h"
#include "logging/Logger.h"
#include "platform/AtomicFile.h"
#include "platform/FileSystem.h"
#include "platform/FileTransfer.h"
#include "platform/RunningPrograms.h"
#include "platform/SessionBus.h"
#include "platform/UriEncoding.h"
#include "platform/WholeFile.h"

namespace pelcrow {

namespace {

constexpr const char* kBusName = "org.gnome.Rhythmbox3";
constexpr const char* kAppPath = "/org/gnome/Rhythmbox3";
constexpr const char* kPlaylistManagerPath = "/org/gnome/Rhythmbox3/PlaylistManager";
constexpr const char* kPlaylistManager = "org.gnome.Rhythmbox3.PlaylistManager";
constexpr const char* kRhythmDbPath = "/org/gnome/Rhythmbox3/RhythmDB";
constexpr const char* kRhythmDb = "org.gnome.Rhythmbox3.RhythmDB";

// One element of a file: [Begin, End) covers its whole lines (indentation and line break).
struct TChunk {
  std::size_t Begin = 0, End = 0;
  std::size_t TagEnd = 0;  // just after the start tag's ">"
  bool Empty = false;      // <tag .../>
};

std::size_t LineStart(const std::string& text, std::size_t pos) {
  while (pos > 0 && (text[pos - 1] == ' ' || text[pos - 1] == '\t')) --pos;
  return pos;
}

std::size_t LineEnd(const std::string& text, std::size_t pos) {
  while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t' || text[pos] == '\r')) ++pos;
  return pos < text.size() && text[pos] == '\n' ? pos + 1 : pos;
}

// Every <Tag ...> ... </Tag> of text, in order.
std::vector<TChunk> Elements(const std::string& text, std::string_view tag, std::size_t from = 0,
                             std::size_t to = std::string::npos) {
  std::vector<TChunk> out;
  const std::string open = "<" + std::string(tag), close = "</" + std::string(tag) + ">";
  for (std::size_t pos = text.find(open, from); pos != std::string::npos && pos < to; pos = text.find(open, pos + 1)) {
    const char after = pos + open.size() < text.size() ? text[pos + open.size()] : '\0';
    if (after != ' ' && after != '>' && after != '/' && after != '\n' && after != '\t') continue;
    const std::size_t gt = text.find('>', pos);
    if (gt == std::string::npos) break;
    TChunk c;
    c.Begin = LineStart(text, pos);
    c.TagEnd = gt + 1;
    c.Empty = text[gt - 1] == '/';
    std::size_t end = gt + 1;
    if (!c.Empty) {
      const std::size_t e = text.find(close, gt);
      if (e == std::string::npos || e > to) break;
      end = e + close.size();
    }
    c.End = LineEnd(text, end);
    out.push_back(c);
    pos = end - 1;
  }
  return out;
}

// The content of the first <Tag>...</Tag> inside the range, unescaped; empty without one.
std::string ChildText(const std::string& text, std::string_view tag, std::size_t from, std::size_t to) {
  const std::string open = "<" + std::string(tag) + ">", close = "</" + std::string(tag) + ">";
  const std::size_t b = text.find(open, from);
  if (b == std::string::npos || b >= to) return {};
  const std::size_t e = text.find(close, b);
  if (e == std::string::npos || e > to) return {};
  return XmlUnescape(std::string_view(text).substr(b + open.size(), e - b - open.size()));
}

std::string Attribute(const std::string& text, std::string_view name, std::size_t from, std::size_t tagEnd) {
  const std::string key = " " + std::string(name) + "=\"";
  const std::size_t b = text.find(key, from);
  if (b == std::string::npos || b >= tagEnd) return {};
  const std::size_t e = text.find('"', b + key.size());
  if (e == std::string::npos || e >= tagEnd) return {};
  return XmlUnescape(std::string_view(text).substr(b + key.size(), e - b - key.size()));
}

// A location's path: compared as decoded bytes, whatever escaping wrote it.
std::string PathOfUri(const std::string& uri) {
  constexpr std::string_view scheme = "file://";
  if (uri.compare(0, scheme.size(), scheme) != 0) return {};
  return platform::PercentDecode(std::string_view(uri).substr(scheme.size()));
}

std::string LocationLine(const std::string& path, const std::string& indent) {
  return indent + "<location>" + XmlEscape(RhythmboxUri(path)) + "</location>\n";
}

struct TStaticPlaylist {
  std::string Name;
  TChunk Chunk;
};

std::vector<TStaticPlaylist> StaticPlaylists(const std::string& text) {
  std::vector<TStaticPlaylist> out;
  for (const TChunk& c : Elements(text, "playlist"))
    if (Attribute(text, "type", c.Begin, c.TagEnd) == "static") out.push_back({Attribute(text, "name", c.Begin, c.TagEnd), c});
  return out;
}

}  // namespace

std::string XmlEscape(std::string_view Text) {
  std::string out;
  for (char c : Text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string XmlUnescape(std::string_view Text) {
  static const std::pair<std::string_view, char> kEntities[] = {
      {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
  std::string out;
  for (std::size_t i = 0; i < Text.size(); ++i) {
    if (Text[i] != '&') {
      out += Text[i];
      continue;
    }
    bool done = false;
    for (const auto& [name, ch] : kEntities)
      if (Text.substr(i, name.size()) == name) {
        out += ch;
        i += name.size() - 1;
        done = true;
        break;
      }
    const std::size_t semi = Text.find(';', i);
    if (!done && Text.substr(i, 2) == "&#" && semi != std::string_view::npos && semi - i < 10) {
      const bool hex = Text.substr(i, 3) == "&#x";
      const unsigned long v = std::strtoul(std::string(Text.substr(i + (hex ? 3 : 2), semi - i - (hex ? 3 : 2))).c_str(), nullptr, hex ? 16 : 10);
      if (v < 0x80) out += static_cast<char>(v);  // the player writes only ASCII this way
      i = semi;
      done = true;
    }
    if (!done) out += '&';
  }
  return out;
}

std::string RhythmboxUri(std::string_view Path) { return "file://" + platform::PercentEncodeGLib(Path); }

TRhythmboxMediaLibPlugin::TRhythmboxMediaLibPlugin(const TMediaLibSyncOptions& Options)
    : fDir(Options.RhythmboxDirectory), fMovesFiles(Options.MovesFiles) {
  if (fDir.empty()) {
    const char* data = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    fDir = data && *data ? std::string(data) + "/rhythmbox" : std::string(home ? home : "") + "/.local/share/rhythmbox";
  }
  fDbFile = JoinPath(fDir, "rhythmdb.xml");
  fPlaylistsFile = JoinPath(fDir, "playlists.xml");
}

void TRhythmboxMediaLibPlugin::RemoveFromDatabaseText(const std::string& APath) {
  const std::vector<TChunk> entries = Elements(fDb, "entry");
  for (auto e = entries.rbegin(); e != entries.rend(); ++e) {
    if (PathOfUri(ChildText(fDb, "location", e->TagEnd, e->End)) != APath) continue;
    fLastRemoved = fDb.substr(e->Begin, e->End - e->Begin);
    fDb.erase(e->Begin, e->End - e->Begin);
    fDbChanged = true;
  }
}

void TRhythmboxMediaLibPlugin::RemoveFromPlaylistsText(const std::string& APath, TPlaylistList& AFound) {
  const std::vector<TStaticPlaylist> lists = StaticPlaylists(fPlaylists);
  for (auto p = lists.rbegin(); p != lists.rend(); ++p) {
    if (p->Chunk.Empty) continue;
    const std::vector<TChunk> locations = Elements(fPlaylists, "location", p->Chunk.TagEnd, p->Chunk.End);
    std::vector<int> hits;
    for (std::size_t k = 0; k < locations.size(); ++k)
      if (PathOfUri(ChildText(fPlaylists, "location", locations[k].Begin, locations[k].End)) == APath)
        hits.push_back(static_cast<int>(k));
    for (auto h = hits.rbegin(); h != hits.rend(); ++h) {
      const TChunk& l = locations[static_cast<std::size_t>(*h)];
      fPlaylists.erase(l.Begin, l.End - l.Begin);
      fPlaylistsChanged = true;
    }
    // Lowest first within a playlist, as AddNew puts them back.
    for (int h : hits) AFound.emplace_back(p->Name, h, ploWMP);
  }
}

void TRhythmboxMediaLibPlugin::AddToDatabaseText(const std::string& APath) {
  bool present = false;
  for (const TChunk& e : Elements(fDb, "entry"))
    present = present || PathOfUri(ChildText(fDb, "location", e.TagEnd, e.End)) == APath;
  if (!present) {
    std::string entry = fLastRemoved;
    const std::size_t b = entry.find("<location>"), e = entry.find("</location>");
    if (!entry.empty() && b != std::string::npos && e != std::string::npos) {
      entry.replace(b + 10, e - b - 10, XmlEscape(RhythmboxUri(APath)));
    } else {
      // Rhythmbox reads the rest from the file: its time differs from the one stored.
      entry = "  <entry type=\"song\">\n    <title>" + XmlEscape(BaseOf(APath)) + "</title>\n" +
              LocationLine(APath, "    ") + "    <mtime>0</mtime>\n  </entry>\n";
    }
    fDb.insert(fDb.rfind("</rhythmdb>"), entry);
    fDbChanged = true;
  }
  fLastRemoved.clear();
}

void TRhythmboxMediaLibPlugin::AddToPlaylistsText(const std::string& APath, const TPlaylistInfo& info, bool AAppend) {
  TStaticPlaylist* target = nullptr;
  std::vector<TStaticPlaylist> lists = StaticPlaylists(fPlaylists);
  for (TStaticPlaylist& p : lists)
    if (p.Name == info.Name) target = &p;
  if (target == nullptr) {
    const std::size_t end = fPlaylists.rfind("</rhythmdb-playlists>");
    if (end == std::string::npos) return;
    fPlaylists.insert(end, "  <playlist name=\"" + XmlEscape(info.Name) + "\" show-browser=\"true\" browser-position=\"180\" "
                           "search-type=\"search-match\" type=\"static\">\n" + LocationLine(APath, "    ") + "  </playlist>\n");
    fPlaylistsChanged = true;
    return;
  }
  const TChunk c = target->Chunk;
  if (c.Empty) {
    // <playlist .../> becomes <playlist ...> with the one entry.
    const std::size_t slash = c.TagEnd - 2;
    fPlaylists.replace(slash, 2, ">\n" + LocationLine(APath, "    ") + "  </playlist>");
  } else {
    const std::vector<TChunk> locations = Elements(fPlaylists, "location", c.TagEnd, c.End);
    const std::size_t at = !AAppend && info.Position >= 0 && static_cast<std::size_t>(info.Position) < locations.size()
                               ? locations[static_cast<std::size_t>(info.Position)].Begin
                               : LineStart(fPlaylists, fPlaylists.rfind("</playlist>", c.End));
    fPlaylists.insert(at, LocationLine(APath, "    "));
  }
  fPlaylistsChanged = true;
}

// While Rhythmbox runs, deleting a song and putting it back (undo, or a failed delete) go over
// D-Bus: its playlists lose and regain the entry, and Rhythmbox itself drops missing files. A move
// or rename needs its files instead: only there does the entry keep its first-seen date, unknown
// elements and playlist places, and the old location go from the library; so a run that moves asks
// to close Rhythmbox first.
bool TRhythmboxMediaLibPlugin::Init() {
  fUnavailable.clear();
  fLoaded = fLive = false;
  fLivePlaylists.clear();
  fLastRemovedPath.clear();
  // No library: the user does not use Rhythmbox, and there is nothing to tell.
  if (!platform::PathExists(fDbFile)) return true;
  if (platform::IsProgramRunning("rhythmbox")) {
    const platform::TSessionBus bus;
    // One of another session, or not reachable: it rewrites these files when it ends.
    if (!bus.NameHasOwner(kBusName)) {
      fUnavailable = "Rhythmbox is running (it rewrites its library when it ends): close it to synchronize";
      return false;
    }
    if (!fMovesFiles) return StartLive(bus);
    if (!GetUserPrompt().AskOkCancel(TranslateText("$APP_NAME$ needs to close Rhythmbox application before synchronization."))) {
      fUnavailable = TranslateText("it is running and was not closed");
      return false;
    }
    if (!CloseRhythmbox(bus)) {
      fUnavailable = TranslateText("it did not close in time");
      return false;
    }
  }
  return LoadFiles();
}

bool TRhythmboxMediaLibPlugin::LoadFiles() {
  if (const int err = platform::ReadWholeFile(fDbFile, fDb)) {
    fUnavailable = "cannot read " + fDbFile + ": " + platform::ErrorText(err);
    return false;
  }
  if (fDb.find("<rhythmdb") == std::string::npos || fDb.find("</rhythmdb>") == std::string::npos) {
    fUnavailable = fDbFile + " is not a Rhythmbox library";
    return false;
  }
  if (platform::ReadWholeFile(fPlaylistsFile, fPlaylists) != 0) fPlaylists.clear();
  fLoaded = true;
  fDbChanged = fPlaylistsChanged = false;
  return true;
}

bool TRhythmboxMediaLibPlugin::StartLive(const platform::TSessionBus& bus) {
  // Its playlists file, as it last saved it, tells which playlists hold a song and where (the
  // bus tells neither); it is kept in step with the changes made here but never written.
  if (!LoadFiles()) return false;
  // Just started, it loads its playlists after its songs and lists none until then.
  const bool hasPlaylists = !StaticPlaylists(fPlaylists).empty();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(fEntryWaitMs);
  for (;;) {
    std::string reply;
    if (!bus.Call(kBusName, kPlaylistManagerPath, std::string(kPlaylistManager) + ".GetPlaylists", {}, reply)) {
      fLoaded = false;
      fUnavailable = "Rhythmbox does not answer on the session bus";
      return false;
    }
    fLivePlaylists = platform::GVariantStrings(reply);
    if (!fLivePlaylists.empty() || !hasPlaylists || std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  fLive = true;
  return true;
}

bool TRhythmboxMediaLibPlugin::CloseRhythmbox(const platform::TSessionBus& bus) {
  const int pid = bus.NameOwnerPid(kBusName);
  std::string reply;
  if (!bus.Call(kBusName, kAppPath, "org.gtk.Actions.Activate", {"'quit'", "[]", "{}"}, reply)) {
    WriteLog("Rhythmbox did not take the request to quit", lsvWarning);
    return false;
  }
  // It writes both files as it ends, and only then gives the name up and exits.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(fCloseWaitMs);
  while (std::chrono::steady_clock::now() < deadline) {
    const bool alive = pid > 0 ? platform::IsProcessAlive(pid) : platform::IsProgramRunning("rhythmbox");
    if (!alive && !bus.NameHasOwner(kBusName)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

bool TRhythmboxMediaLibPlugin::IsLivePlaylist(const std::string& Name) const {
  return std::find(fLivePlaylists.begin(), fLivePlaylists.end(), Name) != fLivePlaylists.end();
}

void TRhythmboxMediaLibPlugin::Delete(const std::string& APath, std::unique_ptr<TPlaylistList>& APlayLists) {
  if (!APlayLists) APlayLists = std::make_unique<TPlaylistList>();
  if (!fLoaded) return;
  if (!fLive) {
    RemoveFromDatabaseText(APath);
    RemoveFromPlaylistsText(APath, *APlayLists);
    return;
  }
  const platform::TSessionBus bus;
  const std::string uri = RhythmboxUri(APath);
  // Its counts and rating, in case the song comes back at another place (a move).
  fLastRemovedPath = APath;
  if (!bus.Call(kBusName, kRhythmDbPath, std::string(kRhythmDb) + ".GetEntryProperties", {platform::GVariantQuote(uri)},
                fLastRemovedProps))
    fLastRemovedProps.clear();
  TPlaylistList found;
  RemoveFromPlaylistsText(APath, found);
  std::string failed;
  for (const TPlaylistInfo& info : found) {
    // Deleted since its last save: nothing to take the song out of, nor to put it back into.
    if (!IsLivePlaylist(info.Name)) continue;
    const bool again = std::any_of(APlayLists->begin(), APlayLists->end(), [&](const TPlaylistInfo& i) {
      return i.Origin == ploWMP && i.Name == info.Name;
    });
    APlayLists->push_back(info);
    if (again) continue;
    std::string reply;
    if (!bus.Call(kBusName, kPlaylistManagerPath, std::string(kPlaylistManager) + ".RemoveFromPlaylist",
                  {platform::GVariantQuote(info.Name), platform::GVariantQuote(uri)}, reply))
      failed += (failed.empty() ? "" : ", ") + info.Name;
  }
  if (!failed.empty()) throw std::runtime_error("Rhythmbox did not remove it from the playlist(s) " + failed);
}

void TRhythmboxMediaLibPlugin::AddNew(const std::string& APath, const TPlaylistList* APlayLists) {
  if (!fLoaded) return;
  if (fLive) {
    AddNewLive(APath, APlayLists);
    return;
  }
  AddToDatabaseText(APath);
  if (!APlayLists) return;
  for (const TPlaylistInfo& info : *APlayLists)
    if (info.Origin == ploWMP) AddToPlaylistsText(APath, info, false);
}

void TRhythmboxMediaLibPlugin::AddNewLive(const std::string& APath, const TPlaylistList* APlayLists) {
  const platform::TSessionBus bus;
  const std::string uri = RhythmboxUri(APath);
  const std::string getEntry = std::string(kRhythmDb) + ".GetEntryProperties";
  std::string props;
  const bool known = bus.Call(kBusName, kRhythmDbPath, getEntry, {platform::GVariantQuote(uri)}, props);
  if (!known || props.find("'hidden': <true>") != std::string::npos) {
    // Loading without playing puts the file into the library (again); playlists ignore a song
    // until its entry exists, so wait for it.
    std::string reply;
    bus.Call(kBusName, kAppPath, "org.gtk.Actions.Activate",
             {"'load-uri'", "[<(" + platform::GVariantQuote(uri) + ", false)>]", "{}"}, reply);
    bool found = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(fEntryWaitMs);
    while (!found && std::chrono::steady_clock::now() < deadline) {
      found = bus.Call(kBusName, kRhythmDbPath, getEntry, {platform::GVariantQuote(uri)}, props);
      if (!found) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (!found) {
      fLastRemovedPath.clear();
      throw std::runtime_error("Rhythmbox did not take the file into its library");
    }
  }
  std::string failed;
  if (APlayLists) {
    for (const TPlaylistInfo& info : *APlayLists) {
      if (info.Origin != ploWMP) continue;
      std::string reply;
      if (!IsLivePlaylist(info.Name)) {
        if (!bus.Call(kBusName, kPlaylistManagerPath, std::string(kPlaylistManager) + ".CreatePlaylist",
                      {platform::GVariantQuote(info.Name)}, reply)) {
          failed += (failed.empty() ? "" : ", ") + info.Name;
          continue;
        }
        fLivePlaylists.push_back(info.Name);
      }
      // The bus can only append: the song goes to the end of the playlist.
      if (bus.Call(kBusName, kPlaylistManagerPath, std::string(kPlaylistManager) + ".AddToPlaylist",
                   {platform::GVariantQuote(info.Name), platform::GVariantQuote(uri)}, reply)) {
        AddToPlaylistsText(APath, info, true);
      } else {
        failed += (failed.empty() ? "" : ", ") + info.Name;
      }
    }
  }
  // A move without closing Rhythmbox: the new entry takes over what the old one had earned.
  if (!fLastRemovedPath.empty() && fLastRemovedPath != APath && !fLastRemovedProps.empty()) {
    std::string dict;
    for (const char* key : {"play-count", "rating", "last-played"}) {
      const std::optional<std::string> v = platform::GVariantDictValue(fLastRemovedProps, key);
      if (!v || platform::GVariantNumber(*v) == 0) continue;
      dict += (dict.empty() ? "{" : ", ") + platform::GVariantQuote(key) + ": <" + *v + ">";
    }
    std::string reply;
    if (!dict.empty())
      bus.Call(kBusName, kRhythmDbPath, std::string(kRhythmDb) + ".SetEntryProperties",
               {platform::GVariantQuote(uri), dict + "}"}, reply);
  }
  fLastRemovedPath.clear();
  if (!failed.empty()) throw std::runtime_error("Rhythmbox did not add it to the playlist(s) " + failed);
}

void TRhythmboxMediaLibPlugin::Rename(const std::string& AOldFileName, const std::string& ANewFileName) {
  std::unique_ptr<TPlaylistList> lists;
  Delete(AOldFileName, lists);
  AddNew(ANewFileName, lists.get());
}

void TRhythmboxMediaLibPlugin::Done() {
  if (!fLoaded) return;
  // Rhythmbox owns its files while it runs.
  if (fLive) {
    fLoaded = fLive = false;
    return;
  }
  if (fDbChanged) {
    if (const int err = WriteFileAtomically(fDbFile, fDb))
      WriteLog("cannot write " + fDbFile + ": " + platform::ErrorText(err), lsvError);
  }
  if (fPlaylistsChanged) {
    if (const int err = WriteFileAtomically(fPlaylistsFile, fPlaylists))
      WriteLog("cannot write " + fPlaylistsFile + ": " + platform::ErrorText(err), lsvError);
  }
  fLoaded = false;
}

}  // namespace pelcrow
