#include "cli/CliOptions.h"

#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <stdexcept>
#include <utility>

#include "engine/SimilarNames.h"
#include "export/ExportList.h"
#include "platform/ProcessInfo.h"

namespace pelcrow::cli {

namespace {

// Walks a command's arguments. "--name=value" and "--name value" both give a value.
class TArgReader {
 public:
  explicit TArgReader(const std::vector<std::string>& args) : fArgs(args) {}
  // Moves to the next argument; false at the end.
  bool Next() {
    if (fStarted) ++fI;
    fStarted = true;
    if (fI >= fArgs.size()) return false;
    fName = fArgs[fI];
    fHasInline = false;
    const std::size_t eq = fName.find('=');
    if (fName.rfind("--", 0) == 0 && eq != std::string::npos) {
      fInline = fName.substr(eq + 1);
      fName.resize(eq);
      fHasInline = true;
    }
    return true;
  }
  // The argument, without an "=value" part.
  const std::string& Name() const { return fName; }
  const std::string& Raw() const { return fArgs[fI]; }
  bool HasInlineValue() const { return fHasInline; }
  // The option's value: the "=value" part, or else the next argument.
  bool Value(std::string& v) {
    if (fHasInline) {
      v = fInline;
      return true;
    }
    return Following(v);
  }
  // The next argument as it is (a second value of an option); false at the end.
  bool Following(std::string& v) {
    if (fI + 1 >= fArgs.size()) return false;
    v = fArgs[++fI];
    return true;
  }
  // Every argument after this one.
  std::vector<std::string> Rest() const { return {fArgs.begin() + static_cast<std::ptrdiff_t>(fI) + 1, fArgs.end()}; }

 private:
  const std::vector<std::string>& fArgs;
  std::size_t fI = 0;
  bool fStarted = false;
  std::string fName, fInline;
  bool fHasInline = false;
};

constexpr TSelectRuleName kSelectRules[] = {
    {"oldest", smSelectAllLeaveOldest},
    {"newest", smSelectAllLeaveNewest},
    {"original", smSelectAllLeaveOriginalName},
};

constexpr TActionKind kActionKinds[] = {
    {"trash", nullptr, "the freedesktop.org trash (the desktop's Recycle Bin)", poDelete, false, "trashed"},
    {"delete", nullptr, "delete permanently", poDelete, true, "deleted"},
    {"move", "DIR",
     "move into DIR (created if missing); a name taken there gets\n\"(1)\", \"(2)\" ... before its extension", poMove,
     false, "moved"},
    {"rename", "TEXT", "put TEXT before the name (after the name with --postfix)", poRename, false, "renamed"},
    {"link", nullptr, "replace the file with a symbolic link to its group's kept copy", poLink, false, "linked"},
    {"hardlink", nullptr,
     "replace the file with a hard link to its group's kept copy\n(same file system; the bytes are compared first)", poHardLink,
     false, "hard-linked"},
    {"clone", nullptr,
     "make the file share its group's kept copy's blocks\n(copy-on-write: btrfs, XFS; FIDEDUPERANGE, else FICLONE)", poClone,
     false, "cloned"},
    {"merge", nullptr,
     "contacts mode: add to the contact the rule keeps every address\nof the others it lacks (up to three), then move the others\ninto the address book's trash folder",
     poDelete, false, "merged"},
};

// The scan options that --OPTION and --no-OPTION switch.
struct TScanSwitch {
  const char* Name;
  TPcwScanOption Option;
  const char* Help;
};

constexpr TScanSwitch kScanSwitches[] = {
    {"skip-temp", soSkipTemp, "skip temporary files and folders"},
    {"protect-system", soProtectSystem, "skip system files: *.so, *.dll, ...; devices and FIFOs always"},
    {"skip-system-folders", soSkipSysAppFolders, "skip system and application folders"},
    {"skip-compressed", soSkipCompressed, "skip files with the compressed attribute"},
    {"skip-zero", soSkipZero, "skip empty files"},
    {"subdirs", soScanSubdirs, "scan subfolders"},
    {"skip-trash", soSkipRecycler, "do not scan the trash"},
    {"include-hidden", soIncludeHidden, "include hidden files and folders"},
    {"skip-junctions", soSkipNtfsJunction, "do not follow links to folders and bind mounts"},
    {"skip-hard-links", soSkipNtfsHardLinks, "skip files with more than one hard link"},
    {"exclude-container", soExcludeContainer, "scan only the subfolders of each FOLDER"},
};

// The name of --OPTION or --no-OPTION; nullptr when it is none.
const TScanSwitch* FindScanSwitch(const std::string& arg, bool& on) {
  if (arg.rfind("--", 0) != 0) return nullptr;
  std::string name = arg.substr(2);
  on = name.rfind("no-", 0) != 0;
  if (!on) name = name.substr(3);
  for (const TScanSwitch& s : kScanSwitches)
    if (name == s.Name) return &s;
  return nullptr;
}

bool ParseSize(const std::string& text, std::int64_t& out) {
  if (text.empty()) return false;
  std::size_t used = 0;
  long long v = 0;
  try {
    v = std::stoll(text, &used);
  } catch (...) {
    return false;
  }
  if (v < 0) return false;
  std::string unit = text.substr(used);
  std::int64_t mul = 1;
  if (unit.empty() || unit == "B") mul = 1;
  else if (unit == "K" || unit == "k" || unit == "KB") mul = 1024;
  else if (unit == "M" || unit == "MB") mul = 1024 * 1024;
  else if (unit == "G" || unit == "GB") mul = 1024LL * 1024 * 1024;
  else return false;
  out = static_cast<std::int64_t>(v) * mul;
  return true;
}

std::string ApplyMode(TCliArgs& a, const std::string& v) {
  if (v == "crc") a.Mode = cmCRC32;
  else if (v == "bytes") a.Mode = cmByteByByte;
  else if (v == "name") a.Mode = cmFileName;
  else if (v == "music") a.Mode = cmMusicTags;
  else if (v == "mail") a.Mode = cmEmails;
  else if (v == "contacts") a.Mode = cmContacts;
  else if (v == "photos") a.Mode = cmPhotoLibrary;
  else if (v == "similar-pictures") a.Mode = cmSimilarPictures;
  else return "unknown mode \"" + v + "\" (use crc, bytes, name, music, mail, contacts, photos or similar-pictures)";
  return {};
}

std::string ApplyCompare(TCliArgs& a, const std::string& v) {
  for (std::size_t start = 0; start <= v.size();) {
    const std::size_t comma = v.find(',', start);
    const std::string part = v.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    if (part == "name") a.Compare.Include(coFileName);
    else if (part == "ext") a.Compare.Include(coExtension);
    else if (part == "size") a.Compare.Include(coFileSize);
    else if (part == "exif") a.Compare.Include(coEXIF);
    else if (!part.empty()) return "unknown compare option \"" + part + "\" (use name, ext, size, exif)";
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return {};
}

std::string ApplySimilarNames(TCliArgs& a, const std::string& v) {
  if (v.empty()) {
    a.NameSimilarity = kDefaultNameSimilarity;
    return {};
  }
  int n = 0;
  const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), n);
  if (ec != std::errc() || end != v.data() + v.size() || n < 1 || n > 100)
    return "--similar-names takes a similarity from 1 to 100, not \"" + v + "\"";
  a.NameSimilarity = n;
  return {};
}

constexpr std::pair<const char*, TMusicTagsOption> kTagNames[] = {
    {"title", mtTitle}, {"artist", mtArtist}, {"album", mtAlbum},       {"track", mtTrack},
    {"year", mtYear},   {"genre", mtGenre},   {"duration", mtDuration}, {"bitrate", mtBitRate},
};

std::string ApplyTags(TCliArgs& a, const std::string& v) {
  a.TagsGiven = true;
  a.Tags = TMusicTagsOptions();
  for (std::size_t start = 0; start <= v.size();) {
    const std::size_t comma = v.find(',', start);
    const std::string part = v.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    bool known = part.empty();
    for (const auto& [name, tag] : kTagNames)
      if (part == name) {
        a.Tags.Include(tag);
        known = true;
      }
    if (!known)
      return "unknown tag \"" + part + "\" (use title, artist, album, track, year, genre, duration, bitrate)";
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  if (a.Tags.Empty()) return "--tags needs at least one tag";
  return {};
}

std::string ApplySelect(TCliArgs& a, const std::string& v) {
  a.Rule = nullptr;
  for (const TSelectRuleName& r : kSelectRules)
    if (v == r.Name) a.Rule = &r;
  return a.Rule ? std::string() : "unknown selection rule \"" + v + "\" (use oldest, newest or original)";
}

std::string ApplyAction(TCliArgs& a, const std::string& v, TArgReader& arg) {
  const TActionKind* kind = nullptr;
  for (const TActionKind& k : kActionKinds)
    if (v == k.Name) kind = &k;
  if (!kind) return "unknown action \"" + v + "\" (use trash, delete, move DIR, rename TEXT, link, hardlink, clone or merge)";
  a.Action.Kind = kind;
  if (!kind->Argument) return {};
  if (!arg.Following(a.Action.Argument) || a.Action.Argument.empty())
    return "--action " + v + (kind->Operation == poMove ? " needs a folder" : " needs a text");
  if (kind->Operation == poRename && a.Action.Argument.find('/') != std::string::npos)
    return "--action rename: the text cannot contain \"/\"";
  return {};
}

std::string ApplyThreads(TCliArgs& a, const std::string& v) {
  try {
    const int n = std::stoi(v);
    if (n < 1 || n > 64) throw std::out_of_range(v);
    a.Threads = static_cast<unsigned>(n);
  } catch (...) {
    return "--threads needs a number from 1 to 64";
  }
  return {};
}

std::string ApplySimilarity(TCliArgs& a, const std::string& v) {
  try {
    std::size_t end = 0;
    const int n = std::stoi(v, &end);
    if (end != v.size() || n < kMinSimilarityPercent || n > 100) throw std::out_of_range(v);
    a.Similarity = n;
  } catch (...) {
    return "--similarity needs a percentage from " + std::to_string(kMinSimilarityPercent) + " to 100";
  }
  return {};
}

std::string ApplyExport(TCliArgs& a, const std::string& v) {
  a.ExportFile = v;
  TExportFormat f = efTXT;
  return ExportFormatFromFileName(v, f) ? std::string() : "--export needs a file ending in .txt, .csv or .html";
}

std::string ApplyGroups(TCliArgs& a, const std::string& v) {
  a.Filter.SetDupGroupPattern(v);
  if (a.Filter.fPrepareadDupGroupPattern.empty()) return "--groups needs a list such as 1-5,8";
  a.Filter.fSearchByDupGroup = true;
  a.Filtered = true;
  return {};
}

std::string ApplySync(TCliArgs& a, const std::string& v) {
  a.SyncGiven = true;
  a.SyncMpd = a.SyncRhythmbox = false;
  for (std::size_t start = 0; start <= v.size();) {
    const std::size_t comma = v.find(',', start);
    const std::string part = v.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    if (part == "mpd") a.SyncMpd = true;
    else if (part == "rhythmbox") a.SyncRhythmbox = true;
    else if (!part.empty()) return "unknown media library \"" + part + "\" (use mpd, rhythmbox)";
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return {};
}

// vkOptional: a switch that may carry a value after "=".
enum TValueKind { vkSwitch, vkValue, vkOptional };

// One option. Apply sets what it stands for from its value (empty for a switch) and returns the
// message of a wrong value, or empty.
struct TOptionSpec {
  const char* Name;
  TValueKind Kind;
  const char* ValueName;  // as help shows the value
  unsigned Commands;
  const char* Missing;  // the message when the value is missing
  const char* Help;     // nullptr: the command's own text describes it
  std::string (*Apply)(TCliArgs& Args, const std::string& Value, TArgReader& Reader);
};

constexpr unsigned ccScanLoad = ccScan | ccLoad;

// In the order --help lists them.
const TOptionSpec kOptions[] = {
    {"--mode", vkValue, "crc|bytes|name|music|mail|contacts|photos|similar-pictures", ccScan, "--mode needs a value",
     "how files are compared (default crc: CRC32 checksum plus\nsize, confirmed by a 128-bit content hash); mail: duplicate\ne-mails of mail stores; contacts: duplicate contacts of vCard\naddress books; photos: duplicate pictures of the Shotwell\nphoto library; similar-pictures: pictures that look alike\n(re-saved, re-compressed or resized copies)",
     [](TCliArgs& a, const std::string& v, TArgReader&) { return ApplyMode(a, v); }},
    {"--similarity", vkValue, "N", ccScan, "--similarity needs a value",
     "similar-pictures mode: how alike pictures must be, in percent\n(default: the settings' value, 90)",
     [](TCliArgs& a, const std::string& v, TArgReader&) { return ApplySimilarity(a, v); }},
    {"--compare", vkValue, "name,ext,size,exif", ccScan, "--compare needs a value",
     "what must also be equal: file name, extension, size\n(name and music modes), EXIF-free picture data (name mode)",
     [](TCliArgs& a, const std::string& v, TArgReader&) { return ApplyCompare(a, v); }},
    {"--similar-names", vkOptional, nullptr, ccScan, nullptr,
     "name mode: names alike by their words are one name (case,\npunctuation, \"(1)\", copy, Kopie, remastered ignored);\n--similar-names=N sets how alike, 1 to 100 (default 80)",
     [](TCliArgs& a, const std::string& v, TArgReader&) { return ApplySimilarNames(a, v); }},
    {"--tags", vkValue, "TAGS", ccScan, "--tags needs a list of tags",
     "music mode: the tags that must be equal, of title, artist,\nalbum, track, year, genre, duration, bitrate (\"title,album\";\ndefault: the settings', first title and artist)",
     [](TCliArgs& a, const std::string& v, TArgReader&) { return ApplyTags(a, v); }},
    {"--include-mask", vkValue, "MASKS", ccScan, "--include-mask needs a value",
     "only names matching one of MASKS (\"*.jpg;*.png\"; default *.*)",
     [](TCliArgs& a, const std::string& v, TArgReader&) { return a.IncludeMasks = v, std::string(); }},
    {"--exclude-mask", vkValue, "MASKS", ccScan, "--exclude-mask needs a value", "never names matching one of MASKS",
     [](TCliArgs& a, const std::string& v, TArgReader&) { return a.ExcludeMasks = v, std::string(); }},
    {"--store", vkValue, "PATH", ccScan, "--store needs a path",
     "mail mode: a Maildir store, or a Thunderbird profile or Local\nFolders (repeatable; default: the settings' stores)",
     [](TCliArgs& a, const std::string& v, TArgReader&) {
       a.Stores.push_back(Absolute(v));
       return std::string();
     }},
    {"--addressbook", vkValue, "PATH", ccScan, "--addressbook needs a path",
     "contacts mode: an address book (a folder of .vcf files, a folder\nof such folders, or one .vcf file; repeatable; default: the\nsettings' address books)",
     [](TCliArgs& a, const std::string& v, TArgReader&) {
       a.AddressBooks.push_back(Absolute(v));
       return std::string();
     }},
    {"--folder", vkValue, "PATH", ccScan, "--folder needs a folder path",
     "mail mode: scan this folder of the store, as the folder tree shows\nit (\"Maildir/Work/\"; repeatable; default: every folder); photo\nmode: this album (\"Holiday/\"; default: every album)",
     [](TCliArgs& a, const std::string& v, TArgReader&) {
       a.MailFolders.push_back(v);
       return std::string();
     }},
    {"--library", vkValue, "FILE", ccScan, "--library needs a file",
     "photo mode: the Shotwell library, its photo.db (default: the\nsettings' PhotoLibrary, else ~/.local/share/shotwell/data/photo.db)",
     [](TCliArgs& a, const std::string& v, TArgReader&) {
       a.PhotoLibrary = Absolute(v);
       return std::string();
     }},
    {"--exclude", vkValue, "FOLDER", ccScan, "--exclude needs a folder",
     "skip this folder; * and ? make it a pattern (repeatable)",
     [](TCliArgs& a, const std::string& v, TArgReader&) {
       a.Excludes.push_back(v.find_first_of("*?") == std::string::npos ? Absolute(v) : v);
       return std::string();
     }},
    {"--master", vkValue, "FOLDER", ccScan, "--master needs a folder",
     "master folder: keep only groups with a file from a master\nfolder and one from elsewhere (repeatable; also "
     "scanned)",
     [](TCliArgs& a, const std::string& v, TArgReader&) { return a.Masters.push_back(Absolute(v)), std::string(); }},
    {"--reference", vkValue, "FOLDER", ccScan, "--reference needs a folder",
     "reference folder: also scanned; its files are never selected,\nand a group of its files alone is not shown "
     "(repeatable)",
     [](TCliArgs& a, const std::string& v, TArgReader&) { return a.References.push_back(Absolute(v)), std::string(); }},
    {"--ignore-list", vkValue, "FILE", ccScan, "--ignore-list needs a file",
     "leave out the files and pairs of this ignore list (default:\n~/.local/share/pelcrow/ignore-list, which the "
     "window's\n\"Ignore this file\" and \"Ignore this pair\" fill)",
     [](TCliArgs& a, const std::string& v, TArgReader&) {
       a.IgnoreListFile = Absolute(v);
       return v.empty() ? std::string("--ignore-list needs a file") : std::string();
     }},
    {"--no-ignore-list", vkSwitch, nullptr, ccScan, nullptr, "honour no ignore list",
     [](TCliArgs& a, const std::string&, TArgReader&) { return a.NoIgnoreList = true, std::string(); }},
    {"--min-size", vkValue, "SIZE, --max-size SIZE", ccScan, "--min-size needs a size such as 4096, 100K or 2G",
     "size limits in bytes, or with K, M, G",
     [](TCliArgs& a, const std::string& v, TArgReader&) {
       return ParseSize(v, a.MinSize) ? std::string() : "--min-size needs a size such as 4096, 100K or 2G";
     }},
    {"--max-size", vkValue, "SIZE", ccScan, "--max-size needs a size such as 4096, 100K or 2G", nullptr,
     [](TCliArgs& a, const std::string& v, TArgReader&) {
       return ParseSize(v, a.MaxSize) ? std::string() : "--max-size needs a size such as 4096, 100K or 2G";
     }},
    {"--format", vkValue, "text|csv|json|dup", ccScanLoad, "--format needs a value",
     "text: one full path per line, groups separated by a blank\nline; csv: Group,Size,Path; json: {\"groups\": "
     "[{\"group\": N,\n\"size\": BYTES, \"files\": [...]}], \"summary\": {...}};\ndup: the duplicate list file (to "
     "FILE with --save)",
     [](TCliArgs& a, const std::string& v, TArgReader&) { return a.Format = v, std::string(); }},
    {"--save", vkValue, "FILE", ccScan, "--save needs a file",
     "also save the duplicate list to FILE (load reads it back)",
     [](TCliArgs& a, const std::string& v, TArgReader&) {
       a.SaveFile = v;
       return v.empty() ? std::string("--save needs a file") : std::string();
     }},
    {"--select", vkValue, "oldest|newest|original", ccScanLoad, "--select needs a rule",
     "apply a selection rule: keep the oldest, the newest or\nthe copy with the original name (the one a copy's name "
     "was\nmade from; else the oldest) of each group and select the\nothers. Nothing is changed on disk. text: each "
     "line starts\nwith \"keep   \" or \"select \"; csv: a last column Action\n(keep or select); json: \"keep\" and "
     "\"select\" lists per\ngroup, SelectedFiles and SelectedSize in the summary. With\n--master a master file is "
     "never selected: the rule stops\nwhere it would select one",
     [](TCliArgs& a, const std::string& v, TArgReader&) { return ApplySelect(a, v); }},
    {"--action", vkValue, "ACTION", ccScanLoad, "--action needs trash, delete, move DIR, rename TEXT or link",
     "process the files --select selected (needs --select):",
     [](TCliArgs& a, const std::string& v, TArgReader& r) { return ApplyAction(a, v, r); }},
    {"--dry-run", vkSwitch, nullptr, ccScanLoad, nullptr, "with --action: print \"would ...\" lines, change nothing",
     [](TCliArgs& a, const std::string&, TArgReader&) { return a.Action.DryRun = true, std::string(); }},
    {"--keep-structure", vkSwitch, nullptr, ccScanLoad, nullptr,
     "with --action move: keep each file's folders below DIR\n(/a/b/f.txt goes to DIR/a/b/f.txt)",
     [](TCliArgs& a, const std::string&, TArgReader&) { return a.Action.KeepStructure = true, std::string(); }},
    {"--postfix", vkSwitch, nullptr, ccScanLoad, nullptr,
     "with --action rename: TEXT goes before the extension\n(a.b.txt with _x gives a.b_x.txt)",
     [](TCliArgs& a, const std::string&, TArgReader&) { return a.Action.Postfix = true, std::string(); }},
    {"--export", vkValue, "FILE", ccScanLoad, "--export needs a file ending in .txt, .csv or .html",
     "also export the list as the grid shows it (file-mode\ncolumns), in the format of FILE's extension: .txt "
     "report,\n.csv or .html (scan: before any --action)",
     [](TCliArgs& a, const std::string& v, TArgReader&) { return ApplyExport(a, v); }},
    {"--null", vkSwitch, nullptr, ccScan | ccLoad | ccUndo, nullptr,
     "text output and action lines end in a NUL byte and show\npaths as they are (otherwise control characters and "
     "\\ in\npaths are escaped: \\n, \\t, \\\\, \\ooo)",
     [](TCliArgs& a, const std::string&, TArgReader&) { return a.NullEnded = true, std::string(); }},
    {"--sync", vkValue, "mpd|rhythmbox|mpd,rhythmbox", ccScanLoad | ccUndo, "--sync needs mpd, rhythmbox or both",
     "with --action, and undo: the media libraries that follow\nthe music files (default: the settings' switches;\nMPD "
     "is found through MPD_HOST and MPD_PORT)",
     [](TCliArgs& a, const std::string& v, TArgReader&) { return ApplySync(a, v); }},
    {"--no-sync", vkSwitch, nullptr, ccScanLoad | ccUndo, nullptr, "no media library follows",
     [](TCliArgs& a, const std::string&, TArgReader&) {
       a.SyncGiven = true;
       a.SyncMpd = a.SyncRhythmbox = false;
       return std::string();
     }},
    {"--threads", vkValue, "N", ccScan, "--threads needs a number",
     "threads that read checksums (default: one per core)",
     [](TCliArgs& a, const std::string& v, TArgReader&) { return ApplyThreads(a, v); }},
    {"--no-cache", vkSwitch, nullptr, ccScan, nullptr,
     "read every file, neither using nor updating the checksum\ncache (~/.cache/pelcrow/checksums)",
     [](TCliArgs& a, const std::string&, TArgReader&) { return a.NoCache = true, std::string(); }},
    {"--log", vkValue, "FOLDER", ccScan, "--log needs a folder",
     "write the scan log (found and skipped files and folders)\ninto FOLDER/yyyy-mm-dd.log",
     [](TCliArgs& a, const std::string& v, TArgReader&) { return a.LogDir = Absolute(v), std::string(); }},
    {"--name", vkValue, "PATTERN", ccLoad, "--name needs a pattern", nullptr,
     [](TCliArgs& a, const std::string& v, TArgReader&) {
       a.Filter.fFileNamePattern = v;
       a.Filtered = true;
       return std::string();
     }},
    {"--groups", vkValue, "LIST", ccLoad, "--groups needs a list such as 1-5,8", nullptr,
     [](TCliArgs& a, const std::string& v, TArgReader&) { return ApplyGroups(a, v); }},
    {"--list", vkSwitch, nullptr, ccUndo, nullptr, nullptr,
     [](TCliArgs& a, const std::string&, TArgReader&) { return a.List = true, std::string(); }},
    {"--dry-run", vkSwitch, nullptr, ccMedialib, nullptr, nullptr,
     [](TCliArgs& a, const std::string&, TArgReader&) { return a.DryRun = true, std::string(); }},
    {"--action", vkValue, "ID", ccUndo, "--action needs an ID or a number from --list", nullptr,
     [](TCliArgs& a, const std::string& v, TArgReader&) {
       a.UndoAction = v;
       return v.empty() ? std::string("--action needs an ID or a number from --list") : std::string();
     }},
};

// After the action list of --action.
constexpr const char* kActionNote =
    "The safety lock applies: no group ever loses every copy. A file\nthat is no longer what the scan found, or whose "
    "kept copy is\ngone, is not deleted or linked; a read-only file (no write\npermission for its owner) is not "
    "deleted or moved. One line per\nfile replaces the group listing: what was done (\"trashed PATH\",\n\"moved PATH -> "
    "TARGET\", ...) or \"failed PATH: REASON\"";

const TOptionSpec* FindOption(TCommand command, const std::string& name) {
  for (const TOptionSpec& o : kOptions)
    if ((o.Commands & command) && name == o.Name) return &o;
  return nullptr;
}

// Applies one option argument; false with Error set when it is wrong or unknown.
bool ApplyOption(TCommand command, TArgReader& arg, TCliArgs& args, std::string& error) {
  const std::string& name = arg.Name();
  const TOptionSpec* o = FindOption(command, name);
  if (!o) {
    bool on = true;
    const TScanSwitch* s = command == ccScan ? FindScanSwitch(name, on) : nullptr;
    if (!s || arg.HasInlineValue()) {
      error = "unknown option " + arg.Raw();
      return false;
    }
    args.ScanOptions.Set(s->Option, on);
    return true;
  }
  std::string value;
  if (o->Kind == vkSwitch && arg.HasInlineValue()) {
    error = "unknown option " + arg.Raw();
    return false;
  }
  if (o->Kind == vkOptional && arg.HasInlineValue()) arg.Value(value);
  if (o->Kind == vkValue && !arg.Value(value)) {
    error = o->Missing;
    return false;
  }
  error = o->Apply(args, value, arg);
  return error.empty();
}

// Help lines: the first after a column of Width, the others below it.
void AddHelp(std::string& out, const std::string& left, std::size_t indent, std::size_t width, const std::string& help) {
  std::string line = std::string(indent, ' ') + left;
  if (!left.empty())
    line += line.size() + 2 <= indent + width ? std::string(indent + width - line.size(), ' ') : std::string(2, ' ');
  std::size_t start = 0;
  for (bool first = true;; first = false) {
    const std::size_t end = help.find('\n', start);
    out += (first ? line : std::string(indent + width, ' ')) + help.substr(start, end - start) + "\n";
    if (end == std::string::npos) break;
    start = end + 1;
  }
}

// The commands as --help and the manual page list them: the synopsis (continued lines already
// indented as --help shows them) and the description, broken where --help breaks it.
struct TCommandDoc {
  const char* Synopsis;
  const char* Description;
};

constexpr TCommandDoc kCommandDocs[] = {
    {"scan [OPTIONS] FOLDER...", "Finds duplicate files below the folders and prints the duplicate groups."},
    {"load [--format FORMAT] [--name PATTERN] [--groups LIST] [--export FILE]\n"
     "       [--select RULE [--action ACTION ...]] FILE.dup",
     "Prints the duplicate groups of a list saved by scan --save (same formats), only the\n"
     "files whose name matches PATTERN (* and ?, any letter case) and whose group number\n"
     "is in LIST (\"1-5,8,10-12\"). --select and --action work as for scan; every file is\n"
     "checked against what the list recorded before anything is done to it."},
    {"undo [--list] [--action ID] [--sync LIBRARIES | --no-sync]",
     "Puts back what the last action (of scan or load --action, or of the desktop app) did,\n"
     "from the action journal in $XDG_STATE_HOME/pelcrow/journal; --list shows the journal,\n"
     "--action ID undoes that action (an ID or a number --list shows)."},
    {"medialib clean [--dry-run]",
     "Removes from MPD's stored playlists every entry whose file no longer exists, after\n"
     "updating its database (--dry-run: only lists them). The entries removed cannot be\n"
     "undone: their files are gone. MPD is found through MPD_HOST and MPD_PORT."},
    {"crc32 FILE...", "Prints the CRC-32 of each file as 8 upper-case hex digits, or Error."},
    {"--help", "Shows this text."},
    {"--version", "Shows the version."},
};

constexpr const char* kUsageLine = "Usage: pelcrow-cli COMMAND [OPTIONS] ...\n";

constexpr const char* kExitStatus =
    "\n"
    "Exit status: 0 duplicates found (scan, load) or all checksums computed (crc32);\n"
    "1 no duplicates found, or a file could not be read; 2 bad arguments or folders, or a list\n"
    "or export that cannot be saved or loaded; 3 --action could not process every selected file\n"
    "(or the safety lock refused the selection), or undo could not put back every file;\n"
    "undo: 1 nothing left to undo.\n"
    "Progress goes to standard error when it is a terminal.\n";

constexpr std::size_t kOptionIndent = 2, kOptionWidth = 30, kItemIndent = 6, kItemWidth = 21;

}  // namespace

bool ParseArgs(TCommand Command, const std::vector<std::string>& Arguments, TCliArgs& Args, std::string& Error) {
  const bool operands = Command != ccUndo;
  for (TArgReader arg(Arguments); arg.Next();) {
    const std::string& a = arg.Name();
    if (operands && a == "--") {
      const std::vector<std::string> rest = arg.Rest();
      Args.Operands.insert(Args.Operands.end(), rest.begin(), rest.end());
      break;
    }
    if (operands && (a.size() < 2 || a[0] != '-')) {
      Args.Operands.push_back(a);
      continue;
    }
    if (!ApplyOption(Command, arg, Args, Error)) return false;
  }
  return true;
}

std::string CheckSelectAction(const TCliArgs& Args) {
  const TCliAction& action = Args.Action;
  if (action.Kind && !Args.Rule) return "--action needs --select: it processes the files a rule selected";
  if (action.Kind && std::string_view(action.Kind->Name) == "merge" && Args.Mode != cmContacts)
    return "--action merge goes with --mode contacts";
  if (!action.Kind && (action.DryRun || action.KeepStructure || action.Postfix))
    return "--dry-run, --keep-structure and --postfix go with --action";
  return std::string();
}

std::string UsageText() {
  std::string out = std::string(kUsageLine) + "\nCommands:\n";
  for (const TCommandDoc& c : kCommandDocs) {
    out += std::string("  ") + c.Synopsis + "\n";
    AddHelp(out, std::string(), 6, 0, c.Description);
  }
  out += "\n";
  out += "Scan options:\n";
  for (const TOptionSpec& o : kOptions) {
    if (!(o.Commands & ccScan) || !o.Help) continue;
    AddHelp(out, std::string(o.Name) + (o.ValueName ? std::string(" ") + o.ValueName : ""), kOptionIndent,
            kOptionWidth, o.Help);
    if (std::string_view(o.Name) != "--action") continue;
    for (const TActionKind& k : kActionKinds)
      AddHelp(out, std::string(k.Name) + (k.Argument ? std::string(" ") + k.Argument : ""), kItemIndent, kItemWidth,
              k.Help);
    AddHelp(out, std::string(), kItemIndent + kItemWidth, 0, kActionNote);
  }
  AddHelp(out, "--[no-]OPTION", kOptionIndent, kOptionWidth, "switch a scan option on or off:");
  const TPcwScanOptions defaults = TPcwScanOptions::FromBits(kDefaultScanOptions);
  for (const TScanSwitch& s : kScanSwitches)
    AddHelp(out, s.Name, kItemIndent, kItemWidth, std::string(s.Help) + (defaults.Contains(s.Option) ? " (on)" : " (off)"));
  return out + kExitStatus;
}

namespace {

// Text as roff reads it: backslashes and hyphens escaped, a line never starting with a control
// character.
std::string Roff(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') out += "\\e";
    else if (c == '-') out += "\\-";
    else out += c;
  }
  if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
  return out;
}

// Help text broken for the terminal, joined again for the manual page (man fills its lines).
std::string RoffParagraph(std::string_view text) {
  std::string joined(text);
  for (char& c : joined)
    if (c == '\n') c = ' ';
  return Roff(joined) + "\n";
}

// An option as the manual page's tagged paragraph shows it: the name bold, the value in italics.
void RoffItem(std::string& out, std::string_view name, const char* value, std::string_view help) {
  out += ".TP\n\\fB" + Roff(name) + "\\fR";
  if (value) out += " \\fI" + Roff(value) + "\\fR";
  out += "\n" + RoffParagraph(help);
}

// The choices of a value written "a|b|c"; empty for any other value.
std::vector<std::string> Choices(const char* valueName) {
  std::vector<std::string> out;
  if (!valueName) return out;
  const std::string v = valueName;
  if (v.find('|') == std::string::npos || v.find(' ') != std::string::npos) return out;
  for (std::size_t start = 0;;) {
    const std::size_t bar = v.find('|', start);
    out.push_back(v.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  return out;
}

}  // namespace

std::string ManPage(std::string_view Version) {
  std::string out = ".TH PELCROW\\-CLI 1 \"\" \"Pelcrow " + Roff(Version) + "\" \"User Commands\"\n.nh\n";
  out += ".SH NAME\npelcrow\\-cli \\- find duplicate files from the command line\n";
  out += ".SH SYNOPSIS\n";
  for (const TCommandDoc& c : kCommandDocs) {
    std::string synopsis = c.Synopsis;
    for (std::size_t nl; (nl = synopsis.find("\n")) != std::string::npos;) {
      std::size_t next = nl + 1;
      while (next < synopsis.size() && synopsis[next] == ' ') ++next;
      synopsis.replace(nl, next - nl, " ");
    }
    out += ".br\n\\fBpelcrow\\-cli\\fR " + Roff(synopsis) + "\n";
  }
  out += ".SH DESCRIPTION\nPelcrow finds duplicate files in the folders it is given and shows them as numbered\n"
         "duplicate groups; a rule can select copies and an action process them.\n";
  out += ".SH COMMANDS\n";
  for (const TCommandDoc& c : kCommandDocs) {
    std::string name = c.Synopsis;
    name = name.substr(0, name.find(' '));
    out += ".TP\n\\fB" + Roff(name) + "\\fR\n" + RoffParagraph(c.Description);
  }
  out += ".SH SCAN OPTIONS\n";
  for (const TOptionSpec& o : kOptions) {
    if (!(o.Commands & ccScan) || !o.Help) continue;
    RoffItem(out, o.Name, o.ValueName, o.Help);
    if (std::string_view(o.Name) != "--action") continue;
    out += ".RS\n";
    for (const TActionKind& k : kActionKinds) RoffItem(out, k.Name, k.Argument, k.Help);
    out += ".PP\n" + RoffParagraph(kActionNote) + ".RE\n";
  }
  RoffItem(out, "--[no-]OPTION", nullptr, "switch a scan option on or off:");
  out += ".RS\n";
  const TPcwScanOptions defaults = TPcwScanOptions::FromBits(kDefaultScanOptions);
  for (const TScanSwitch& sw : kScanSwitches)
    RoffItem(out, sw.Name, nullptr, std::string(sw.Help) + (defaults.Contains(sw.Option) ? " (on)" : " (off)"));
  out += ".RE\n";
  std::string_view status = kExitStatus;
  const std::string_view label = "Exit status: ";
  status.remove_prefix(status.find(label) + label.size());
  out += ".SH EXIT STATUS\n" + RoffParagraph(status);
  out += ".SH FILES\n.TP\n\\fI$XDG_STATE_HOME/pelcrow/journal/\\fR\nthe action journal undo reads "
         "(by default \\fI~/.local/state/pelcrow/journal/\\fR)\n";
  out += ".SH SEE ALSO\n\\fBpelcrow\\fR(1)\n";
  return out;
}

std::vector<std::string> CommandNames() {
  std::vector<std::string> out;
  for (const TCommandDoc& c : kCommandDocs) {
    const std::string synopsis = c.Synopsis;
    out.push_back(synopsis.substr(0, synopsis.find(' ')));
  }
  return out;
}

std::vector<TOptionCompletion> CompletionOptions(TCommand Command) {
  std::vector<TOptionCompletion> out;
  auto add = [&](const std::string& name, const char* value, const char* help) {
    for (const TOptionCompletion& o : out)
      if (o.Name == name) return;
    TOptionCompletion o;
    o.Name = name;
    if (value) {
      const std::string v = value;
      o.Choices = Choices(value);
      o.Value = !o.Choices.empty() ? TOptionCompletion::cvChoice
                : v == "FOLDER" || v == "DIR" ? TOptionCompletion::cvFolder
                : v == "FILE" ? TOptionCompletion::cvFile
                              : TOptionCompletion::cvText;
    }
    std::string h = help ? help : "";
    o.Help = h.substr(0, h.find('\n'));
    out.push_back(std::move(o));
  };
  for (const TOptionSpec& o : kOptions) {
    if (!(o.Commands & Command)) continue;
    // "SIZE, --max-size SIZE" shows two options in one line of --help.
    const std::string value = o.ValueName ? std::string(o.ValueName).substr(0, std::string(o.ValueName).find(',')) : "";
    add(o.Name, o.ValueName ? value.c_str() : nullptr, o.Help);
    if (std::string_view(o.Name) == "--action" && Command != ccUndo) {
      TOptionCompletion& a = out.back();
      a.Value = TOptionCompletion::cvChoice;
      for (const TActionKind& k : kActionKinds) a.Choices.push_back(k.Name);
    }
  }
  if (Command == ccScan)
    for (const TScanSwitch& sw : kScanSwitches) {
      add(std::string("--") + sw.Name, nullptr, sw.Help);
      add(std::string("--no-") + sw.Name, nullptr, sw.Help);
    }
  return out;
}

std::string Absolute(const std::string& Path) {
  if (!Path.empty() && Path[0] == '/') return Path;
  std::string r = platform::CurrentDirectory();
  if (r.empty() || r.back() != '/') r += '/';
  r += Path;
  return r;
}

}  // namespace pelcrow::cli
