#include "plugins/PictureScanner.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <map>
#include <unordered_map>
#include <unordered_set>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include "base/PathText.h"
#include "localization/TranslateText.h"
#include "logging/Logger.h"
#include "platform/FileSystem.h"

namespace pelcrow {

namespace {

constexpr const char* kLibraryVariable = "PELCROW_PHOTO_LIBRARY";
constexpr const char* kRunAppScript = "run_app_minimized_if_need";
constexpr const char* kEnumAlbumsScript = "iphoto_scanner_enum_albums";
constexpr const char* kEnumPhotosScript = "iphoto_scanner_enum_photos";
constexpr const char* kDeletePhotoScript = "iphoto_scanner_delete_photo";
constexpr const char* kRestorePhotoScript = "iphoto_scanner_restore_photo";
constexpr const char* kOpenAlbumScript = "iphoto_scanner_open_album";
constexpr const char* kOpenPhotoScript = "iphoto_scanner_open_photo";
constexpr const char* kOpenTrashScript = "iphoto_scanner_open_trash";
constexpr const char* kTrashAlbumType = "trash album";
// The application the start script is asked about.
constexpr const char* kApplicationName = "Shotwell";
constexpr std::uint32_t kCrc32RegisterInit = 0xFFFFFFFFu;

std::string_view Trim(std::string_view s) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

// The lines of a script's result; the line break after the last line adds none.
std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

template <typename T>
bool Decimal(std::string_view s, T& out) {
  s = Trim(s);
  if (s.empty()) return false;
  const auto r = std::from_chars(s.data(), s.data() + s.size(), out);
  return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

int Three(std::uint64_t a, std::uint64_t b) { return a < b ? -1 : (b < a ? 1 : 0); }

std::vector<std::pair<std::string, std::string>> LibraryEnvironment(const std::string& library) {
  return {{kLibraryVariable, library}};
}

std::string ScriptFailure(const std::string& name, int err, const std::string& output) {
  std::string text = platform::ScriptErrorText(name, err);
  const std::string_view said = Trim(output);
  if (!said.empty() && said.size() < 200 && said.find('\n') == std::string_view::npos) text += " (" + std::string(said) + ")";
  return text;
}

std::string RunNamed(const platform::TScriptHost& host, const std::string& name, const std::vector<std::string>& args,
                     int timeoutMs = 120000) {
  std::string out;
  if (const int err = host.Run(name, args, out, timeoutMs)) throw EPhotoLibraryError(ScriptFailure(name, err, out));
  return out;
}

// Reads the file once: the CRC-32 of its first block, and when Full the CRC-32 and the content
// hash of all of it. False when it cannot be read or does not hold the size the scan saw.
bool ReadPicture(const std::string& path, std::int64_t size, bool full, TCrc32Update update, std::uint32_t& shortCrc,
                 std::uint32_t& fullCrc, std::uint64_t hash[2]) {
  platform::TReadOnlyFile f;
  if (f.Open(path, full) != 0) return false;
  std::vector<char> buf(full ? std::size_t(1) << 20 : kPictureShortBlock);
  std::uint32_t reg = kCrc32RegisterInit;
  XXH3_state_t state;
  XXH3_128bits_reset(&state);
  std::int64_t total = 0;
  bool first = true;
  for (;;) {
    // The short checksum is defined on the first block alone, read in one read.
    const std::size_t want = first ? kPictureShortBlock : buf.size();
    const std::int64_t n = f.Read(buf.data(), want);
    if (n < 0) return false;
    update(buf.data(), static_cast<std::size_t>(n), reg);
    XXH3_128bits_update(&state, buf.data(), static_cast<std::size_t>(n));
    total += n;
    if (first) {
      shortCrc = ~reg;
      first = false;
      if (!full && size > static_cast<std::int64_t>(kPictureShortBlock)) return true;
    }
    if (n == 0 || static_cast<std::size_t>(n) < want) break;
  }
  if (total != size) return false;
  fullCrc = ~reg;
  const XXH128_hash_t h = XXH3_128bits_digest(&state);
  hash[0] = h.high64;
  hash[1] = h.low64;
  return true;
}

TFolderPictureLibrary* MakeAlbum(TFolderBase& parent, std::string_view id, std::string_view name,
                                 std::string_view type) {
  auto* album = new TFolderPictureLibrary(&parent);  // the parent owns it
  album->SetId(MakePlainNumber(id));
  album->SetName(std::string(name));
  album->SetAlbumType(std::string(type));
  return album;
}

constexpr std::size_t kMaxAlbumDepth = 64;

struct TAlbumReader {
  const std::vector<std::string_view>& Lines;
  std::size_t Pos = 0;

  static std::size_t Tabs(std::string_view s) {
    std::size_t n = 0;
    while (n < s.size() && s[n] == '\t') ++n;
    return n;
  }
  static std::string_view Strip(std::string_view s, std::size_t depth) {
    const std::size_t n = std::min(Tabs(s), depth);
    return s.substr(n);
  }
  // The albums of one level; a line with fewer tabs ends it. A line deeper than a child of the
  // album before it counts as that level's (no parent to hang it on).
  void Level(TFolderBase& parent, std::size_t depth) {
    while (Pos + 3 <= Lines.size()) {
      const std::size_t tabs = Tabs(Lines[Pos]);
      if (tabs < depth) return;
      const std::size_t strip = std::max(tabs, depth);
      TFolderPictureLibrary* album =
          MakeAlbum(parent, Lines[Pos].substr(strip), Strip(Lines[Pos + 1], strip), Strip(Lines[Pos + 2], strip));
      Pos += 3;
      // Deeper than any library nests: the rest stays on this level (and off the stack).
      if (depth < kMaxAlbumDepth) Level(*album, strip + 1);
    }
  }
};

}  // namespace

// ------------------------------------------------------------------ formats

std::string MakePlainNumber(std::string_view Text) {
  const std::string_view t = Trim(Text);
  const std::size_t e = t.find("E+");
  if (e == std::string_view::npos) return std::string(t);
  std::string mantissa(t.substr(0, e));
  unsigned exponent = 0;
  // An exponent no identifier can have would ask for that many digits: the text stays as it is.
  if (!Decimal(t.substr(e + 2), exponent) || exponent > 40) return std::string(t);
  if (mantissa.size() >= 2 && (mantissa[1] < '0' || mantissa[1] > '9')) mantissa.erase(1, 1);
  if (mantissa.size() < exponent + 1) mantissa.append(exponent + 1 - mantissa.size(), '0');
  return mantissa;
}

bool ParsePhotoList(std::string_view Text, std::vector<TPhotoRecord>& Photos, std::string& Error) {
  Photos.clear();
  const std::vector<std::string_view> lines = Lines(Text);
  if (lines.size() % 5 != 0) {
    Error = "the photo list does not consist of whole records (" + std::to_string(lines.size()) + " lines)";
    return false;
  }
  for (std::size_t i = 0; i < lines.size(); i += 5) {
    TPhotoRecord r;
    r.Id = MakePlainNumber(lines[i]);
    r.FilePath = std::string(lines[i + 1]);
    // A record out of step would give one photo's identifier another's file: never guessed.
    if (r.Id.empty() || r.FilePath.empty() || r.FilePath[0] != '/') {
      Error = "photo record " + std::to_string(i / 5 + 1) + " has no identifier or no absolute file path";
      Photos.clear();
      return false;
    }
    if (!Decimal(lines[i + 2], r.Width)) r.Width = 0;
    if (!Decimal(lines[i + 3], r.Height)) r.Height = 0;
    std::int64_t seconds = 0;
    if (Decimal(MakePlainNumber(lines[i + 4]), seconds) && TDateTime::FitsUnixSeconds(seconds))
      r.Date = TDateTime::FromUnix(seconds);
    Photos.push_back(std::move(r));
  }
  return true;
}

bool ParseAlbumList(std::string_view Text, TFolderBase& Root, std::string& Error) {
  const std::vector<std::string_view> lines = Lines(Text);
  if (lines.size() % 3 != 0) {
    Error = "the album list does not consist of whole records (" + std::to_string(lines.size()) + " lines)";
    return false;
  }
  TAlbumReader reader{lines};
  reader.Level(Root, 0);
  return true;
}

// ------------------------------------------------------------------ items, folders, comparison

void TItemPictureBase::SetFilePath(std::string Path) {
  fFilePath = std::move(Path);
  fCrc32ShortCalculated = fCrc32FullCalculated = fUnreadable = false;
  fFileId = {};
  fFolderId = {};
  platform::TFileInfo info;
  if (platform::Stat(fFilePath, info) != 0 || info.Type != platform::TEntryType::etFile) {
    SetSize(-1);
    return;
  }
  SetSize(info.Size);
  fFileId.Device = info.Device;
  fFileId.Inode = info.Inode;
  fFileId.Size = info.Size;
  fFileId.ModifiedNs = info.Modified.UnixNanoseconds();
  fFileId.ChangedNs = info.Changed.UnixNanoseconds();
  platform::TFileInfo folder;
  if (platform::Stat(ParentOf(fFilePath), folder) == 0) fFolderId = {folder.Device, folder.Inode};
}

std::uint32_t TItemPictureBase::Crc32Short(TCrc32Update Update) const {
  if (fCrc32ShortCalculated) return fCrc32Short;
  std::uint32_t s = 0, f = 0;
  std::uint64_t h[2] = {0, 0};
  if (Size() < 0 || !ReadPicture(fFilePath, Size(), false, Update, s, f, h)) {
    fUnreadable = true;
    return 0;
  }
  fCrc32Short = s;
  fCrc32ShortCalculated = true;
  if (Size() <= static_cast<std::int64_t>(kPictureShortBlock)) {
    fCrc32Full = f;
    fHash[0] = h[0];
    fHash[1] = h[1];
    fCrc32FullCalculated = true;
  }
  return fCrc32Short;
}

std::uint32_t TItemPictureBase::Crc32Full(TCrc32Update Update) const {
  if (fCrc32FullCalculated) return fCrc32Full;
  std::uint32_t s = 0, f = 0;
  std::uint64_t h[2] = {0, 0};
  fCrc32FullCalculated = true;
  if (Size() < 0 || !ReadPicture(fFilePath, Size(), true, Update, s, f, h)) {
    fUnreadable = true;
    fCrc32Full = 4294967295u;
    return fCrc32Full;
  }
  fCrc32Full = f;
  fHash[0] = h[0];
  fHash[1] = h[1];
  return fCrc32Full;
}

void TFolderPictureLibrary::SetAlbumType(std::string Value) {
  fAlbumType = std::move(Value);
  // Theme icons stand for the album kinds; an unknown kind looks like a smart album.
  static const std::map<std::string, std::string, std::less<>> kIcons = {
      {"event", "x-office-calendar"}, {"tag", "tag"}, {"no event", "folder-pictures"}, {kTrashAlbumType, "user-trash"}};
  const auto i = kIcons.find(fAlbumType);
  SetIcon(i != kIcons.end() ? i->second : "folder-saved-search");
}

int ComparePictures(const TItemPictureBase& A, const TItemPictureBase& B, TCrc32Update Update) {
  if (&A == &B || A.FilePath() == B.FilePath()) return 0;
  if (A.Size() != B.Size()) return A.Size() < B.Size() ? -1 : 1;
  if (const int c = Three(B.Crc32Short(Update), A.Crc32Short(Update))) return c;
  if (const int c = Three(B.Crc32Full(Update), A.Crc32Full(Update))) return c;
  if (const int c = Three(A.ContentHash()[0], B.ContentHash()[0])) return c;
  return Three(A.ContentHash()[1], B.ContentHash()[1]);
}

// ------------------------------------------------------------------ scan thread

namespace {

class TScanThreadPictureLibrary final : public TScanThreadBase {
 public:
  explicit TScanThreadPictureLibrary(TScannerPictureLibrary& Scanner)
      : TScanThreadBase(Scanner), fScripts(Scanner.Scripts()), fUpdate(Scanner.Crc32Update()) {}

  std::vector<TLeftOutPhoto> LeftOut;
  std::string Error;

 protected:
  void Initialize() override {
    Guard([&] {
      RunNamed(fScripts, kRunAppScript, {kApplicationName});
      if (fScripts.ScriptPath(kEnumPhotosScript).empty())
        throw EPhotoLibraryError(platform::ScriptErrorText(kEnumPhotosScript, ENOENT));
      // The library's trash is never scanned, even when it was chosen.
      for (TFolderBase* f : ScanFolders())
        if (static_cast<TFolderPictureLibrary*>(f)->AlbumType() == kTrashAlbumType) {
          ExcludeScanFolder(f, false);
          break;
        }
    });
  }

  void ScanFolder(TFolderBase& AFolder) override {
    Guard([&] {
      fScanInfo.ScanPath = AFolder.FolderPath();
      std::vector<TPhotoRecord> photos;
      std::string error;
      if (!ParsePhotoList(RunNamed(fScripts, kEnumPhotosScript, {AFolder.Id()}), photos, error))
        throw EPhotoLibraryError("album " + AFolder.FolderPath() + ": " + error);
      auto last = std::chrono::steady_clock::now();
      for (TPhotoRecord& r : photos) {
        if (Terminated()) return;
        // A photo of several albums belongs to the first one scanned.
        if (!fSeen.insert(r.Id).second) continue;
        auto item = std::make_unique<TItemPictureLibrary>();
        item->SetItemId(r.Id);
        item->SetFilePath(r.FilePath);
        item->SetWidth(r.Width);
        item->SetHeight(r.Height);
        item->SetDate(r.Date);
        item->SetFolder(&AFolder);
        ++fScanInfo.ItemsScanned;
        if (item->Size() < 0) {
          // Missing files would all compare equal: they are listed, never grouped.
          LeftOut.push_back({r.Id, r.FilePath, AFolder.FolderPath(), "missing"});
        } else {
          std::unique_ptr<TItemBase> base = std::move(item);
          Items().AddIfUnique(base);
        }
        const auto now = std::chrono::steady_clock::now();
        if (now - last >= std::chrono::milliseconds(50)) {
          last = now;
          ReportProgress();
        }
      }
      ReportProgress();
    });
  }

  // Before the sort: one entry per file on disk, and no file that cannot be read, so that the
  // comparison only ever sees readable, distinct files.
  void PrepareGroups() override {
    auto& list = Items().List();
    std::vector<bool> drop(list.size(), false);
    auto leave = [&](std::size_t k, std::string reason) {
      const auto& p = Picture(list[k]);
      LeftOut.push_back({p.ItemId(), p.FilePath(), p.Folder() ? p.Folder()->FolderPath() : std::string(), std::move(reason)});
      drop[k] = true;
    };
    std::map<std::pair<std::uint64_t, std::uint64_t>, std::size_t> byFile;
    for (std::size_t k = 0; k < list.size(); ++k) {
      const auto& p = Picture(list[k]);
      const auto [at, fresh] = byFile.emplace(std::make_pair(p.FileId().Device, p.FileId().Inode), k);
      if (!fresh) leave(k, "the same file as photo " + list[at->second]->ItemId());
    }
    std::unordered_map<std::int64_t, int> sizes;
    for (std::size_t k = 0; k < list.size(); ++k)
      if (!drop[k]) ++sizes[list[k]->Size()];
    std::map<std::pair<std::int64_t, std::uint32_t>, int> shorts;
    for (std::size_t k = 0; k < list.size() && !Terminated(); ++k) {
      if (drop[k] || sizes[list[k]->Size()] < 2) continue;
      const auto& p = Picture(list[k]);
      const std::uint32_t s = p.Crc32Short(fUpdate);
      if (p.Unreadable())
        leave(k, "unreadable");
      else
        ++shorts[{p.Size(), s}];
    }
    for (std::size_t k = 0; k < list.size() && !Terminated(); ++k) {
      if (drop[k] || sizes[list[k]->Size()] < 2) continue;
      const auto& p = Picture(list[k]);
      if (shorts[{p.Size(), p.Crc32Short(fUpdate)}] < 2) continue;
      p.Crc32Full(fUpdate);
      if (p.Unreadable()) leave(k, "unreadable");
    }
    std::size_t k = 0;
    std::erase_if(list, [&](const std::unique_ptr<TItemBase>&) { return drop[k++]; });
    Items().ReindexIds();
  }

  int CompareItems(const TItemBase& A, const TItemBase& B) const override {
    return ComparePictures(static_cast<const TItemPictureBase&>(A), static_cast<const TItemPictureBase&>(B), fUpdate);
  }

 private:
  static const TItemPictureBase& Picture(const std::unique_ptr<TItemBase>& it) {
    return static_cast<const TItemPictureBase&>(*it);
  }
  // Keeps the reason of a failure: the framework ends the scan on any exception, empty.
  template <typename Fn>
  void Guard(Fn&& fn) {
    try {
      fn();
    } catch (const std::exception& e) {
      if (Error.empty()) Error = e.what();
      throw;
    }
  }
  platform::TScriptHost fScripts;
  TCrc32Update fUpdate;
  std::unordered_set<std::string> fSeen;
};

}  // namespace

// ------------------------------------------------------------------ scanners

std::string TScannerPictureBase::GetPreviewFilePath(const TItemBase& AItem) const {
  const auto* p = dynamic_cast<const TItemPictureBase*>(&AItem);
  return p ? p->FilePath() : std::string();
}

std::unique_ptr<TScanOptionsBase> TScannerPictureBase::CreateScanOptions() const {
  return std::make_unique<TScanOptionsPictureBase>();
}

TScannerPictureLibrary::TScannerPictureLibrary(std::string ScriptFolder, std::string Library, TCrc32Update Update)
    : TScannerPictureBase(Update), fLibrary(std::move(Library)), fScripts(std::move(ScriptFolder), LibraryEnvironment(fLibrary)) {}

std::string TScannerPictureLibrary::RunScript(const std::string& Name, const std::vector<std::string>& Arguments) const {
  return RunNamed(fScripts, Name, Arguments);
}

void TScannerPictureLibrary::InitializeSource() {
  std::string out;
  const int err = fScripts.Run(kPhotoCheckScript, {}, out, 30000);
  if (err != 0) throw EPhotoLibraryError(ScriptFailure(kPhotoCheckScript, err, out));
  if (Trim(out).empty()) throw EPhotoLibraryError("no photo library the scripts can read is at " + fLibrary);
}

void TScannerPictureLibrary::PopulateFolders() {
  RunScript(kRunAppScript, {kApplicationName});
  std::string error;
  if (!ParseAlbumList(RunScript(kEnumAlbumsScript, {}), RootFolder(), error)) throw EPhotoLibraryError(error);
}

std::unique_ptr<TScanThreadBase> TScannerPictureLibrary::CreateScanThread() {
  return std::make_unique<TScanThreadPictureLibrary>(*this);
}

void TScannerPictureLibrary::ScanHandedOver(TScanThreadBase& Thread) {
  auto& t = static_cast<TScanThreadPictureLibrary&>(Thread);
  fLeftOut = std::move(t.LeftOut);
  fLastError = std::move(t.Error);
  if (!fLastError.empty()) WriteLog("Photo library scan failed: " + fLastError, lsvError);
  for (const TLeftOutPhoto& p : fLeftOut)
    WriteLog("Photo " + p.Id + " in " + p.Album + " left out (" + p.Reason + "): " + p.FilePath, lsvWarning);
}

void TScannerPictureLibrary::DeleteItem(TItemBase& AItem) {
  RunScript(kDeletePhotoScript, {AItem.ItemId()});
  TScannerBase::DeleteItem(AItem);
}

void TScannerPictureLibrary::MoveItem(TItemBase&, TFolderBase*) {}

void TScannerPictureLibrary::DisplayItem(TItemBase& AItem) {
  RunScript(kOpenPhotoScript, {AItem.Folder() ? AItem.Folder()->Id() : std::string(), AItem.ItemId()});
}

void TScannerPictureLibrary::DisplayFolder(TFolderBase& AFolder) { RunScript(kOpenAlbumScript, {AFolder.Id()}); }

void TScannerPictureLibrary::DisplayTrash() { RunScript(kOpenTrashScript, {}); }

bool RestoreLibraryPhoto(const std::string& ScriptFolder, const std::string& Library, const std::string& PhotoId,
                         const std::string& FilePath, std::string& Why) {
  const platform::TScriptHost host(ScriptFolder, LibraryEnvironment(Library));
  std::string out;
  const int err = host.Run(kRestorePhotoScript, {PhotoId, FilePath}, out, 30000);
  if (err == 0) return true;
  Why = Trim(out) == "gone" ? TranslateText("the photo library no longer holds it (its trash was emptied)")
                            : ScriptFailure(kRestorePhotoScript, err, out);
  return false;
}

}  // namespace pelcrow
