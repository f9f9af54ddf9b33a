// The duplicate list file: writing the visible list and reading it back into the engine. Runs on
// the user-interface thread. Files are UTF-8 with a byte-order mark (a UTF-16 mark is read as
// well, a file without a mark is taken as UTF-8); names and paths are written as their bytes, so a
// name that is not UTF-8 still names its file after a load.
#include "engine/ListFile.h"

#include <charconv>
#include <memory>
#include <unordered_map>
#include <vector>

#include "base/FormatSettings.h"
#include "base/ParseDateTime.h"
#include "engine/GroupWalk.h"
#include "engine/ItemFlags.h"
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

// The fields of one item line, each ending at the next separator; text after the last one is
// left for later versions.
class TLineReader {
 public:
  TLineReader(std::string_view line, std::size_t lineNumber) : fLine(line), fLineNumber(lineNumber) {}

  std::string_view Raw() {
    ++fField;
    const std::size_t end = fLine.find(kListFieldSeparator, fPos);
    if (end == std::string_view::npos) Fail("too few fields");
    std::string_view field = fLine.substr(fPos, end - fPos);
    fPos = end + kListFieldSeparator.size();
    return field;
  }
  std::string Text() { return Unescape(Raw()); }
  std::int64_t Int64() {
    std::int64_t v = 0;
    if (!ToInt64(Raw(), v)) Fail("not a number");
    return v;
  }
  // 32-bit values, signed or unsigned as written; only the low 32 bits are kept.
  std::uint32_t UInt32() {
    const std::int64_t v = Int64();
    if (v < -2147483648LL || v > 4294967295LL) Fail("number out of range");
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(v) & 0xFFFFFFFFu);
  }
  bool Flag() { return Int64() == 1; }
  TDateTime Date(const TFormatSettings& fs) {
    TDateTime t;
    if (!TryParseShortDateLongTime(Raw(), fs, t)) Fail("not a date");
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
      const std::size_t end = fLine.find(kListFieldSeparator, fPos);
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
    throw EListFileError("line " + std::to_string(fLineNumber) + ", field " + std::to_string(fField) + ": " +
                         what);
  }

 private:
  std::string_view fLine;
  std::size_t fLineNumber;
  std::size_t fPos = 0;
  int fField = 0;
};

// Lines ended by CR LF, LF or CR; a final line break does not start another line.
std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines.push_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

std::string ReadWholeFile(const std::string& path) {
  platform::TReadOnlyFile file;
  if (int e = file.Open(path, true)) throw EListFileError("cannot read " + path + ": " + platform::ErrorText(e));
  std::string bytes;
  char buffer[65536];
  for (;;) {
    const std::int64_t n = file.Read(buffer, sizeof buffer);
    if (n < 0) throw EListFileError("cannot read " + path + ": " + platform::ErrorText(file.LastError()));
    if (n == 0) break;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  return bytes;
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
    throw EListFileError("cannot write " + AFileName + ": " + platform::ErrorText(e));
}

void TScanEngine::LoadFromFile(IScanView* AFileList, const std::string& AFileName, bool AMasterSelectMode) {
  CheckNotExecuting();
  std::string bytes;
  try {
    bytes = ReadWholeFile(AFileName);
  } catch (const EListFileError&) {
    fFileList = AFileList;
    ClearResults();
    ShowNoRows();
    throw;
  }
  LoadFromText(AFileList, bytes, AMasterSelectMode);
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

// What the lines of one list share while they are read.
struct TListReading {
  const TFormatSettings& Format;
  bool MusicMode;
  // The files of one folder share one path text, as after a scan.
  std::unordered_map<std::string, TItemString> Folders;
  std::unordered_map<std::string, platform::TFolderIdentity> FolderIds;
};

void ReadIdentityFields(TLineReader& r, const std::string& Path, TFileItem& it, TListReading& Reading) {
  std::int64_t extra[6];
  if (!r.Optional(extra, 6)) return;
  std::int64_t similarity = 0;
  if (r.Optional(&similarity, 1) && similarity > 0 && similarity <= 100)
    it.Similarity = static_cast<std::uint8_t>(similarity);
  it.Device = static_cast<std::uint64_t>(extra[0]);
  it.Inode = static_cast<std::uint64_t>(extra[1]);
  if (extra[2] != 0 || extra[3] != 0)
    Reading.FolderIds[Path] = {static_cast<std::uint64_t>(extra[2]), static_cast<std::uint64_t>(extra[3])};
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
  it->Name = TItemString(r.Text());
  it->Category = TScanEngine::DetectCategory(it->Name.view());
  std::string path = r.Text();
  auto folder = Reading.Folders.find(path);
  if (folder == Reading.Folders.end()) folder = Reading.Folders.emplace(path, TItemString(path)).first;
  it->Path = folder->second;
  it->AudioTagValues = TItemString(r.Text());
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
  ReadIdentityFields(r, path, *it, Reading);
  return it;
}

}  // namespace

void TScanEngine::LoadFromText(IScanView* AFileList, std::string_view ABytes, bool AMasterSelectMode) {
  CheckNotExecuting();
  fFileList = AFileList;
  ClearResults();
  fMasterSelectMode = AMasterSelectMode;
  // A loaded list shows every category, as a new scan does.
  fCurrentCategoryFilter = fcAllFiles;
  // The grid must never show rows of freed items, also when the load fails.
  ShowNoRows();

  std::string decoded;
  const std::vector<std::string_view> lines = SplitLines(ListTextOf(ABytes, decoded));
  if (lines.empty()) return;
  if (lines[0] != kListFileHeader) throw EListFileError("not a duplicate list of this version");

  // Items are read into a list of their own: a file that fails half-way leaves no results.
  const std::shared_ptr<const TFormatSettings> fs = GetFormatSettings();
  TListReading reading{*fs, fCompareMode == cmMusicTags, {}, {}};
  std::vector<std::unique_ptr<TFileItem>> items;
  items.reserve(lines.size() - 1);
  for (std::size_t n = 1; n < lines.size(); ++n)
    if (!lines[n].empty()) items.push_back(ReadListLine(lines[n], n + 1, reading));

  fFiles.reserve(items.size());
  for (auto& it : items) fFiles.push_back(it.release());
  MarkReferenceItems();
  fFolderIds = std::move(reading.FolderIds);
  fSummaryInfo.TotalFiles = ItemCount();
  UpdateSummaryInfo();
  SortResults(fFileList, 2, soAsc);
  MasterWarningActive = fMasterSelectMode && IsFileComparisonMode(fCompareMode);
}

}  // namespace pelcrow
