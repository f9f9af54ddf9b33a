// The duplicate list file: writing the visible list and reading it back, into the engine or into
// a list of its own on a worker (ListFileLoader.h). Files are UTF-8 with a byte-order mark (a UTF-16 mark is read as
// well, a file without a mark is taken as UTF-8); names and paths are written as their bytes, so a
// name that is not UTF-8 still names its file after a load.
#include "engine/ListFile.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <functional>
#include <memory>
#include <stop_token>
#include <unordered_map>
#include <vector>

#include "base/FormatSettings.h"
#include "base/ParseDateTime.h"
#include "engine/ColumnComparer.h"
#include "engine/GroupWalk.h"
#include "engine/ItemFlags.h"
#include "engine/ListFileLoader.h"
#include "engine/ScanEngine.h"
#include "localization/TextEncoding.h"
#include "platform/FileSystem.h"
#include "platform/AtomicFile.h"

namespace pelcrow {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// "[" followed by commas and then "]", "n]" or "r]": the runs the escape adds a comma to.
// Returns the number of commas and the length of the terminator, or 0 commas when no run starts
// at pos.
std::size_t CommaRun(std::string_view s, std::size_t pos, std::size_t& termLength) {
  std::size_t k = pos + 1;
  while (k < s.size() && s[k] == ',') ++k;
  const std::size_t commas = k - pos - 1;
  if (commas == 0 || k >= s.size()) return 0;
  if (s[k] == ']') {
    termLength = 1;
  } else if ((s[k] == 'n' || s[k] == 'r') && k + 1 < s.size() && s[k + 1] == ']') {
    termLength = 2;
  } else {
    return 0;
  }
  return commas;
}

std::string Escape(std::string_view v) {
  if (v.find_first_of("[\r\n") == std::string_view::npos) return std::string(v);
  std::string out;
  out.reserve(v.size() + 8);
  for (std::size_t i = 0; i < v.size();) {
    const char c = v[i];
    std::size_t term = 0;
    std::size_t commas = 0;
    if (c == '[' && (commas = CommaRun(v, i, term)) > 0) {
      out += '[';
      out.append(commas + 1, ',');
      out.append(v.substr(i + 1 + commas, term));
      i += 1 + commas + term;
    } else if (c == '\n') {
      out += "[,n]";
      ++i;
    } else if (c == '\r') {
      out += "[,r]";
      ++i;
    } else {
      out += c;
      ++i;
    }
  }
  return out;
}

std::string Unescape(std::string_view f) {
  if (f.find("[,") == std::string_view::npos) return std::string(f);
  std::string out;
  out.reserve(f.size());
  for (std::size_t i = 0; i < f.size();) {
    std::size_t term = 0;
    std::size_t commas = 0;
    if (f[i] == '[' && (commas = CommaRun(f, i, term)) > 0) {
      const char t = f[i + 1 + commas];
      if (commas == 1 && t != ']') {
        out += t == 'n' ? '\n' : '\r';
      } else {
        out += '[';
        out.append(commas == 1 ? 1 : commas - 1, ',');
        out.append(f.substr(i + 1 + commas, term));
      }
      i += 1 + commas + term;
    } else {
      out += f[i++];
    }
  }
  return out;
}

void AppendField(std::string& line, std::string_view value) {
  line += Escape(value);
  line += kListFieldSeparator;
}

bool ToInt64(std::string_view s, std::int64_t& v) {
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  if (s.empty()) return false;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  return ec == std::errc() && end == s.data() + s.size();
}

// Where the next separator starts at or after from, or npos.
std::size_t FindSeparator(std::string_view s, std::size_t from) {
  const char* const base = s.data();
  const char* const end = base + s.size();
  const char* p = base + from;
  while (end - p >= 3) {
    p = static_cast<const char*>(std::memchr(p, '[', static_cast<std::size_t>(end - p - 2)));
    if (!p) break;
    if (p[1] == ',' && p[2] == ']') return static_cast<std::size_t>(p - base);
    ++p;
  }
  return std::string_view::npos;
}

// The field as text: the field itself when it holds no escape, else its unescaped copy in buffer.
std::string_view UnescapedView(std::string_view field, std::string& buffer) {
  if (field.find("[,") == std::string_view::npos) return field;
  buffer = Unescape(field);
  return buffer;
}

// The fields of one item line, each ending at the next separator; text after the last one is
// left for later versions.
class TLineReader {
 public:
  TLineReader(std::string_view line, std::size_t lineNumber) : fLine(line), fLineNumber(lineNumber) {}

  std::string_view Raw() {
    ++fField;
    const std::size_t end = FindSeparator(fLine, fPos);
    if (end == std::string_view::npos) Fail(kListTooFewFields);
    std::string_view field = fLine.substr(fPos, end - fPos);
    fPos = end + kListFieldSeparator.size();
    return field;
  }
  std::string Text() { return Unescape(Raw()); }
  // A text field as an item string, copied once.
  TItemString Item() {
    std::string buffer;
    return TItemString(UnescapedView(Raw(), buffer));
  }
  std::int64_t Int64() {
    std::int64_t v = 0;
    if (!ToInt64(Raw(), v)) Fail(kListNotANumber);
    return v;
  }
  // 32-bit values, signed or unsigned as written; only the low 32 bits are kept.
  std::uint32_t UInt32() {
    const std::int64_t v = Int64();
    if (v < -2147483648LL || v > 4294967295LL) Fail(kListNumberOutOfRange);
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(v) & 0xFFFFFFFFu);
  }
  bool Flag() { return Int64() == 1; }
  TDateTime Date(const TFormatSettings& fs) {
    TDateTime t;
    if (!TryParseShortDateLongTime(Raw(), fs, t)) Fail(kListNotADate);
    return t;
  }
  void Skip(int count) {
    for (int k = 0; k < count; ++k) Raw();
  }
  // Fields a later version added: all of them as numbers, or false (the line leaves them out).
  bool Optional(std::int64_t* values, int count) {
    const std::size_t pos = fPos;
    const int field = fField;
    for (int k = 0; k < count; ++k) {
      const std::size_t end = FindSeparator(fLine, fPos);
      if (end == std::string_view::npos || !ToInt64(fLine.substr(fPos, end - fPos), values[k])) {
        fPos = pos;
        fField = field;
        return false;
      }
      fPos = end + kListFieldSeparator.size();
      ++fField;
    }
    return true;
  }
  [[noreturn]] void Fail(const char* what) const {
    throw EListFileError("line " + std::to_string(fLineNumber) + ", field " + std::to_string(fField) + ": " + what,
                         TListFileFault::lfBadLine, fLineNumber, fField, what);
  }

 private:
  std::string_view fLine;
  std::size_t fLineNumber;
  std::size_t fPos = 0;
  int fField = 0;
};

// Lines ended by CR LF, LF or CR; a final line break does not start another line.
class TLineSplitter {
 public:
  explicit TLineSplitter(std::string_view text) : fText(text) {}
  bool Next(std::string_view& line) {
    if (fPos >= fText.size()) return false;
    const char* const begin = fText.data() + fPos;
    const std::size_t rest = fText.size() - fPos;
    const char* lf = static_cast<const char*>(std::memchr(begin, '\n', rest));
    const std::size_t span = lf ? static_cast<std::size_t>(lf - begin) : rest;
    const char* cr = static_cast<const char*>(std::memchr(begin, '\r', span));
    if (cr) {
      line = std::string_view(begin, static_cast<std::size_t>(cr - begin));
      fPos += line.size() + (cr + 1 == lf ? 2 : 1);
    } else {
      line = std::string_view(begin, span);
      fPos += span + (lf ? 1 : 0);
    }
    return true;
  }
  std::size_t Position() const { return fPos; }

 private:
  std::string_view fText;
  std::size_t fPos = 0;
};

// The whole file; false when Stop was asked for. Progress gets the bytes read.
bool ReadWholeFile(const std::string& path, std::string& bytes, const std::stop_token& Stop,
                   const std::function<void(std::int64_t Done, std::int64_t Total)>& Progress) {
  platform::TReadOnlyFile file;
  if (int e = file.Open(path, true))
    throw EListFileError("cannot read " + path + ": " + platform::ErrorText(e), TListFileFault::lfUnreadable, 0, 0,
                         platform::ErrorText(e));
  // The size only sizes the buffer: a file that grows meanwhile is still read whole.
  platform::TFileInfo info;
  const std::int64_t size = platform::Stat(path, info) == 0 ? info.Size : 0;
  constexpr std::size_t kChunk = 1 << 20;
  if (size > 0) bytes.reserve(static_cast<std::size_t>(size) + kChunk);
  for (;;) {
    if (Stop.stop_requested()) return false;
    const std::size_t at = bytes.size();
    // Grows past the size seen at opening when the file grew meanwhile.
    bytes.resize(at + kChunk);
    const std::int64_t n = file.Read(bytes.data() + at, kChunk);
    if (n < 0) {
      const std::string reason = platform::ErrorText(file.LastError());
      throw EListFileError("cannot read " + path + ": " + reason, TListFileFault::lfUnreadable, 0, 0, reason);
    }
    bytes.resize(at + static_cast<std::size_t>(n));
    if (n == 0) break;
    if (Progress) Progress(static_cast<std::int64_t>(bytes.size()), size);
  }
  return true;
}

}  // namespace

std::string DefaultListFileName(TDateTime Now) { return "DupFiles" + FormatDateTime("yyyymmdd-hhnnss", Now) + ".dup"; }

std::string EscapeListField(std::string_view AValue) { return Escape(AValue); }
std::string UnescapeListField(std::string_view AField) { return Unescape(AField); }

namespace {

// The .dup writer: the header line, then one line per visible row (groups need no marks: each
// line carries its group number).
class TListFileWriter final : public IGroupWalkHandler {
 public:
  TListFileWriter(const TScanEngine& Engine, std::string& Text)
      : fEngine(Engine), fText(Text), fFs(GetFormatSettings()) {}

  void Head() override {
    fText += kUtf8Bom;
    fText += kListFileHeader;
    fText += "\r\n";
  }

  void Row(int, const TFileItem& Item) override {
    fLine.clear();
    AppendFirstVersionFields(Item);
    // Past the fields of the first version (which readers of it leave alone): what the scan saw
    // of the file and its folder, so that a list acted on later is checked against it.
    // Rows that no scan saw on disk (plug-in rows) keep the first version's fields only.
    if (Item.Device != 0 || Item.Inode != 0) {
      const platform::TFolderIdentity folder = fEngine.FolderIdentity(Item.Path.view());
      for (std::uint64_t v : {Item.Device, Item.Inode, folder.Device, folder.Inode})
        AppendField(fLine, std::to_string(v));
      AppendField(fLine, std::to_string(Item.Modified.UnixNanoseconds()));
      AppendField(fLine, std::to_string(Item.Changed.UnixNanoseconds()));
      // Then the likeness of the similar-pictures mode, which no checksum can tell again.
      if (Item.Similarity != 0) AppendField(fLine, std::to_string(Item.Similarity));
    }
    fText += fLine;
    fText += "\r\n";
  }

 private:
  void AppendFirstVersionFields(const TFileItem& it) {
    std::string& line = fLine;
    AppendField(line, it.Name.view());
    AppendField(line, it.Path.view());
    AppendField(line, it.AudioTagValues.view());
    AppendField(line, std::to_string(it.Size));
    AppendField(line, std::to_string(it.CRC32));
    AppendField(line, std::to_string(it.ShortCRC32));
    AppendField(line, FormatShortDateLongTime(it.Modified, *fFs));
    AppendField(line, std::to_string(it.DupGroup));
    AppendField(line, std::to_string(it.SortGroup));
    AppendField(line, it.fSelected ? "1" : "0");
    AppendField(line, it.fProcessed ? "1" : "0");
    if (const TMusicTagsInfo* t = it.MusicTags.get()) {
      for (const std::string* v : {&t->Title, &t->Artist, &t->Album, &t->Track, &t->Year, &t->Genre, &t->Duration,
                                   &t->BitRate})
        AppendField(line, *v);
    } else {
      for (int k = 0; k < 8; ++k) line += kListFieldSeparator;
    }
    const TEmailInfo* m = it.Emails.get();
    if (m) {
      AppendField(line, m->From);
      AppendField(line, m->To_);
      AppendField(line, m->Subject);
      AppendField(line, FormatShortDateLongTime(m->ReceivedDate, *fFs));
      AppendField(line, std::to_string(m->OutlookIndex));
    } else {
      for (int k = 0; k < 5; ++k) line += kListFieldSeparator;
    }
    AppendField(line, it.Master ? "1" : "0");
    if (m) {
      AppendField(line, m->Address1);
      AppendField(line, m->Address2);
      AppendField(line, m->Address3);
    } else {
      for (int k = 0; k < 3; ++k) line += kListFieldSeparator;
    }
  }

  const TScanEngine& fEngine;
  std::string& fText;
  const std::shared_ptr<const TFormatSettings> fFs;
  std::string fLine;
};

}  // namespace

std::string TScanEngine::ListFileText() const {
  std::string text;
  TListFileWriter writer(*this, text);
  WalkVisibleGroups(*this, writer);
  return text;
}

void TScanEngine::SaveToFile(const std::string& AFileName) {
  if (int e = WriteFileAtomically(AFileName, ListFileText()))
    throw EListFileError("cannot write " + AFileName + ": " + platform::ErrorText(e), TListFileFault::lfNotWritten, 0,
                         0, platform::ErrorText(e));
}

namespace {

// The text of a list file without its byte order mark, decoded to UTF-8 when it is UTF-16.
std::string_view ListTextOf(std::string_view Bytes, std::string& Decoded) {
  if (Bytes.substr(0, kUtf8Bom.size()) == kUtf8Bom) return Bytes.substr(kUtf8Bom.size());
  if (Bytes.size() >= 2 && ((Bytes[0] == '\xFF' && Bytes[1] == '\xFE') || (Bytes[0] == '\xFE' && Bytes[1] == '\xFF'))) {
    Decoded = DecodeTextBytes(Bytes);
    return Decoded;
  }
  return Bytes;
}

// A folder of the list: the files of one folder share one path text, as after a scan.
struct TListFolder {
  TItemString Path;
  platform::TFolderIdentity Id;
};

// What the lines of one list share while they are read.
struct TListReading {
  const TFormatSettings& Format;
  bool MusicMode;
  // Keyed by a view of the folder's own text.
  std::unordered_map<std::string_view, TListFolder> Folders;
  TListFolder* LastFolder = nullptr;

  TListFolder& Folder(std::string_view Path) {
    // Files of one folder often follow each other.
    if (LastFolder && LastFolder->Path.view() == Path) return *LastFolder;
    auto f = Folders.find(Path);
    if (f == Folders.end()) {
      TItemString text(Path);
      const std::string_view key = text.view();
      f = Folders.emplace(key, TListFolder{std::move(text), {}}).first;
    }
    LastFolder = &f->second;
    return f->second;
  }
};

void ReadIdentityFields(TLineReader& r, TFileItem& it, TListFolder& Folder) {
  std::int64_t extra[6];
  if (!r.Optional(extra, 6)) return;
  std::int64_t similarity = 0;
  if (r.Optional(&similarity, 1) && similarity > 0 && similarity <= 100)
    it.Similarity = static_cast<std::uint8_t>(similarity);
  it.Device = static_cast<std::uint64_t>(extra[0]);
  it.Inode = static_cast<std::uint64_t>(extra[1]);
  if (extra[2] != 0 || extra[3] != 0) Folder.Id = {static_cast<std::uint64_t>(extra[2]), static_cast<std::uint64_t>(extra[3])};
  // The exact time, where the date field keeps whole seconds.
  if (TDateTime::FromUnixNanoseconds(extra[4]).UnixSeconds() == it.Modified.UnixSeconds())
    it.Modified = TDateTime::FromUnixNanoseconds(extra[4]);
  else
    it.Device = it.Inode = 0;  // the fields do not belong to this line's file
  it.Changed = TDateTime::FromUnixNanoseconds(extra[5]);
}

std::unique_ptr<TFileItem> ReadListLine(std::string_view Line, std::size_t LineNo, TListReading& Reading) {
  TLineReader r(Line, LineNo);
  auto it = std::make_unique<TFileItem>();
  it->Name = r.Item();
  it->Category = TScanEngine::DetectCategory(it->Name.view());
  std::string pathBuffer;
  TListFolder& folder = Reading.Folder(UnescapedView(r.Raw(), pathBuffer));
  it->Path = folder.Path;
  it->AudioTagValues = r.Item();
  it->Size = r.Int64();
  it->CRC32 = static_cast<std::uint32_t>(static_cast<std::uint64_t>(r.Int64()) & 0xFFFFFFFFu);
  it->ShortCRC32 = static_cast<std::uint32_t>(static_cast<std::uint64_t>(r.Int64()) & 0xFFFFFFFFu);
  it->Modified = r.Date(Reading.Format);
  it->DupGroup = r.UInt32();
  it->SortGroup = r.UInt32();
  SetFileSelected(it.get(), r.Flag());
  SetFileProcessed(it.get(), r.Flag());
  if (Reading.MusicMode) {
    auto tags = std::make_unique<TMusicTagsInfo>();
    for (std::string* v : {&tags->Title, &tags->Artist, &tags->Album, &tags->Track, &tags->Year, &tags->Genre,
                           &tags->Duration, &tags->BitRate})
      *v = r.Text();
    it->MusicTags = std::move(tags);
  } else {
    r.Skip(8);
  }
  r.Skip(5);  // a loaded item never has e-mail data
  it->Master = r.Flag();
  r.Skip(3);
  ReadIdentityFields(r, *it, folder);
  return it;
}

void FreeItems(std::vector<PFileItem>& Items) {
  for (PFileItem it : Items) delete it;
  Items.clear();
}

}  // namespace

TLoadedList::TLoadedList(TLoadedList&& Other) noexcept
    : Items(std::move(Other.Items)),
      FolderIds(std::move(Other.FolderIds)),
      Summary(Other.Summary),
      SortedByGroup(Other.SortedByGroup) {
  Other.Items.clear();
}

TLoadedList& TLoadedList::operator=(TLoadedList&& Other) noexcept {
  if (this != &Other) {
    FreeItems(Items);
    Items = std::move(Other.Items);
    Other.Items.clear();
    FolderIds = std::move(Other.FolderIds);
    Summary = Other.Summary;
    SortedByGroup = Other.SortedByGroup;
  }
  return *this;
}

TLoadedList::~TLoadedList() { FreeItems(Items); }

bool ReadListBytes(std::string_view Bytes, const TListReadOptions& Options, TLoadedList& List,
                   const std::stop_token& Stop, const TListReadProgress& Progress) {
  std::string decoded;
  const std::string_view text = ListTextOf(Bytes, decoded);
  TLineSplitter lines(text);
  std::string_view line;
  if (!lines.Next(line)) return true;  // an empty file is an empty list
  if (line != kListFileHeader) throw EListFileError("not a duplicate list of this version", TListFileFault::lfNotAList);

  const std::shared_ptr<const TFormatSettings> fs = Options.Format ? Options.Format : GetFormatSettings();
  TListReading reading{*fs, Options.CompareMode == cmMusicTags, {}, nullptr};
  int percent = -1;
  for (std::size_t n = 2; lines.Next(line); ++n) {
    if ((n & 4095) == 0) {
      if (Stop.stop_requested()) return false;
      // Reading the lines is most of the work: 0 to 90 percent.
      const int now = static_cast<int>(static_cast<std::uint64_t>(lines.Position()) * 90 / std::max<std::size_t>(text.size(), 1));
      if (Progress && now != percent) Progress(percent = now);
    }
    if (line.empty()) continue;
    std::unique_ptr<TFileItem> it = ReadListLine(line, n, reading);
    List.Items.push_back(it.get());
    it.release();
  }
  for (auto& [path, folder] : reading.Folders)
    if (folder.Id.Known()) List.FolderIds.emplace(std::string(path), folder.Id);
  if (Stop.stop_requested()) return false;
  List.Summary = SummaryOfList(List.Items);
  List.Summary.TotalFiles = static_cast<std::int32_t>(List.Items.size());
  // The order the engine shows a loaded list in (by group, ascending), where the mode's column
  // for it is the group number.
  if (Options.CompareMode < cmEmails && !List.Items.empty()) {
    if (Progress) Progress(95);
    SortByColumnKey(List.Items, 2, soAsc);
    NumberBandsOf(List.Items);
    List.SortedByGroup = true;
  }
  if (Progress) Progress(100);
  return !Stop.stop_requested();
}

bool ReadListFile(const std::string& FileName, const TListReadOptions& Options, TLoadedList& List,
                  const std::stop_token& Stop, const TListReadProgress& Progress) {
  std::string bytes;
  // Reading the file from a warm cache is quick beside the parse: up to 10 percent.
  const auto readProgress = [&](std::int64_t done, std::int64_t total) {
    if (Progress && total > 0) Progress(static_cast<int>(std::min<std::int64_t>(done, total) * 10 / total));
  };
  if (!ReadWholeFile(FileName, bytes, Stop, readProgress)) return false;
  const TListReadProgress parseProgress = [&](int percent) {
    if (Progress) Progress(10 + percent * 9 / 10);
  };
  return ReadListBytes(bytes, Options, List, Stop, parseProgress);
}

void TScanEngine::LoadFromFile(IScanView* AFileList, const std::string& AFileName, bool AMasterSelectMode) {
  CheckNotExecuting();
  std::string bytes;
  try {
    ReadWholeFile(AFileName, bytes, {}, {});
  } catch (const EListFileError&) {
    fFileList = AFileList;
    ClearResults();
    ShowNoRows();
    throw;
  }
  LoadFromText(AFileList, bytes, AMasterSelectMode);
}

void TScanEngine::LoadFromText(IScanView* AFileList, std::string_view ABytes, bool AMasterSelectMode) {
  CheckNotExecuting();
  fFileList = AFileList;
  ClearResults();
  fMasterSelectMode = AMasterSelectMode;
  // A loaded list shows every category, as a new scan does.
  fCurrentCategoryFilter = fcAllFiles;
  // The grid must never show rows of freed items, also when the load fails.
  ShowNoRows();
  // Items are read into a list of their own: a file that fails half-way leaves no results.
  TLoadedList list;
  ReadListBytes(ABytes, {fCompareMode, GetFormatSettings()}, list);
  TakeList(AFileList, std::move(list), AMasterSelectMode);
}

void TScanEngine::TakeList(IScanView* AFileList, TLoadedList&& AList, bool AMasterSelectMode,
                           std::vector<PFileItem>* APrevious) {
  CheckNotExecuting();
  fFileList = AFileList;
  // The grid must never show rows of items that are freed or handed away.
  ShowNoRows();
  if (APrevious) {
    for (std::vector<PFileItem>* l : {&fFiles, &fFilesHiddenByFilter, &fFilesHiddenByCategory}) {
      APrevious->insert(APrevious->end(), l->begin(), l->end());
      l->clear();
    }
  }
  ClearResults();
  fMasterSelectMode = AMasterSelectMode;
  fCurrentCategoryFilter = fcAllFiles;
  fFiles = std::move(AList.Items);
  AList.Items.clear();
  fFolderIds = std::move(AList.FolderIds);
  AList.FolderIds.clear();
  fSummaryInfo = AList.Summary;
  // Before the sort: reference copies must come in unchecked, whatever the file says.
  MarkReferenceItems();
  if (AList.SortedByGroup && !fFiles.empty()) {
    // Sorted and numbered where the list was read: what SortResults by the group column does.
    fLastSortColumn = 2;
    fLastSortOrder = soAsc;
    fLastSortCount = ItemCount();
    UpdateGrid(-1, true);
  } else {
    SortResults(fFileList, 2, soAsc);
  }
  MasterWarningActive = fMasterSelectMode && IsFileComparisonMode(fCompareMode);
}

}  // namespace pelcrow
