#include "cli/Cli.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <iomanip>
#include <sstream>

#include "base/MainThread.h"
#include "base/ParseDateTime.h"
#include "base/UserPrompt.h"
#include "engine/ListFile.h"
#include "engine/Processing.h"
#include "engine/ResultColumns.h"
#include "engine/SafetyLock.h"
#include "engine/ScanEngine.h"
#include "localization/TranslateText.h"
#include "export/ExportList.h"
#include "export/PathListing.h"
#include "logging/Logger.h"
#include "platform/FileSystem.h"
#include "services/FileCrc32.h"
#include "settings/PcwSettings.h"

namespace pelcrow::cli {

namespace {

constexpr int kExitOk = 0;
constexpr int kExitNone = 1;
constexpr int kExitUsage = 2;
constexpr int kExitActionFailed = 3;

const char* const kUsage =
    "Usage: pelcrow-cli COMMAND [OPTIONS] ...\n"
    "\n"
    "Commands:\n"
    "  scan [OPTIONS] FOLDER...\n"
    "      Finds duplicate files below the folders and prints the duplicate groups.\n"
    "  load [--format FORMAT] [--name PATTERN] [--groups LIST] [--export FILE]\n"
    "       [--select RULE [--action ACTION ...]] FILE.dup\n"
    "      Prints the duplicate groups of a list saved by scan --save (same formats), only the\n"
    "      files whose name matches PATTERN (* and ?, any letter case) and whose group number\n"
    "      is in LIST (\"1-5,8,10-12\"). --select and --action work as for scan; every file is\n"
    "      checked against what the list recorded before anything is done to it.\n"
    "  undo [--list] [--action ID]\n"
    "      Puts back what the last action (of scan or load --action, or of the desktop app) did,\n"
    "      from the action journal in $XDG_STATE_HOME/pelcrow/journal; --list shows the journal,\n"
    "      --action ID undoes that action (an ID or a number --list shows).\n"
    "  crc32 FILE...\n"
    "      Prints the CRC-32 of each file as 8 upper-case hex digits, or Error.\n"
    "  --help\n"
    "      Shows this text.\n"
    "\n"
    "Scan options:\n"
    "  --mode crc|bytes|name|music   how files are compared (default crc: CRC32 checksum plus\n"
    "                                size, confirmed by a 128-bit content hash)\n"
    "  --compare name,ext,size,exif  what must also be equal: file name, extension, size\n"
    "                                (name and music modes), EXIF-free picture data (name mode)\n"
    "  --include-mask MASKS          only names matching one of MASKS (\"*.jpg;*.png\"; default *.*)\n"
    "  --exclude-mask MASKS          never names matching one of MASKS\n"
    "  --exclude FOLDER              skip this folder; * and ? make it a pattern (repeatable)\n"
    "  --master FOLDER               master folder: keep only groups with a file from a master\n"
    "                                folder and one from elsewhere (repeatable; also scanned)\n"
    "  --min-size SIZE, --max-size SIZE   size limits in bytes, or with K, M, G\n"
    "  --format text|csv|json|dup    text: one full path per line, groups separated by a blank\n"
    "                                line; csv: Group,Size,Path; json: {\"groups\": [{\"group\": N,\n"
    "                                \"size\": BYTES, \"files\": [...]}], \"summary\": {...}};\n"
    "                                dup: the duplicate list file (to FILE with --save)\n"
    "  --save FILE                   also save the duplicate list to FILE (load reads it back)\n"
    "  --select oldest|newest|original  apply a selection rule: keep the oldest, the newest or\n"
    "                                the copy with the original name (the one a copy's name was\n"
    "                                made from; else the oldest) of each group and select the\n"
    "                                others. Nothing is changed on disk. text: each line starts\n"
    "                                with \"keep   \" or \"select \"; csv: a last column Action\n"
    "                                (keep or select); json: \"keep\" and \"select\" lists per\n"
    "                                group, SelectedFiles and SelectedSize in the summary. With\n"
    "                                --master a master file is never selected: the rule stops\n"
    "                                where it would select one\n"
    "  --action ACTION               process the files --select selected (needs --select):\n"
    "      trash                the freedesktop.org trash (the desktop's Recycle Bin)\n"
    "      delete               delete permanently\n"
    "      move DIR             move into DIR (created if missing); a name taken there gets\n"
    "                           \"(1)\", \"(2)\" ... before its extension\n"
    "      rename TEXT          put TEXT before the name (after the name with --postfix)\n"
    "      link                 replace the file with a symbolic link to its group's kept copy\n"
    "                           The safety lock applies: no group ever loses every copy. A file\n"
    "                           that is no longer what the scan found, or whose kept copy is\n"
    "                           gone, is not deleted or linked; a read-only file (no write\n"
    "                           permission for its owner) is not deleted or moved. One line per\n"
    "                           file replaces the group listing: what was done (\"trashed PATH\",\n"
    "                           \"moved PATH -> TARGET\", ...) or \"failed PATH: REASON\"\n"
    "  --dry-run                     with --action: print \"would ...\" lines, change nothing\n"
    "  --keep-structure              with --action move: keep each file's folders below DIR\n"
    "                                (/a/b/f.txt goes to DIR/a/b/f.txt)\n"
    "  --postfix                     with --action rename: TEXT goes before the extension\n"
    "                                (a.b.txt with _x gives a.b_x.txt)\n"
    "  --export FILE                 also export the list as the grid shows it (file-mode\n"
    "                                columns), in the format of FILE's extension: .txt report,\n"
    "                                .csv or .html (scan: before any --action)\n"
    "  --null                        text output and action lines end in a NUL byte and show\n"
    "                                paths as they are (otherwise control characters and \\ in\n"
    "                                paths are escaped: \\n, \\t, \\\\, \\ooo)\n"
    "  --threads N                   threads that read checksums (default: one per core)\n"
    "  --log FOLDER                  write the scan log (found and skipped files and folders)\n"
    "                                into FOLDER/yyyy-mm-dd.log\n"
    "  --[no-]OPTION                 switch a scan option on or off:\n"
    "      skip-temp            skip temporary files and folders (on)\n"
    "      protect-system       skip system files: *.so, *.dll, ...; devices and FIFOs always (on)\n"
    "      skip-system-folders  skip system and application folders (on)\n"
    "      skip-compressed      skip files with the compressed attribute (off)\n"
    "      skip-zero            skip empty files (on)\n"
    "      subdirs              scan subfolders (on)\n"
    "      skip-trash           do not scan the trash (on)\n"
    "      include-hidden       include hidden files and folders (off)\n"
    "      skip-junctions       do not follow links to folders and bind mounts (on)\n"
    "      skip-hard-links      skip files with more than one hard link (off)\n"
    "      exclude-container    scan only the subfolders of each FOLDER (off)\n"
    "\n"
    "Exit status: 0 duplicates found (scan, load) or all checksums computed (crc32);\n"
    "1 no duplicates found, or a file could not be read; 2 bad arguments or folders, or a list\n"
    "or export that cannot be saved or loaded; 3 --action could not process every selected file\n"
    "(or the safety lock refused the selection), or undo could not put back every file;\n"
    "undo: 1 nothing left to undo.\n"
    "Progress goes to standard error when it is a terminal.\n";

struct TOptionName {
  const char* Name;
  TPcwScanOption Option;
};

constexpr TOptionName kScanOptionNames[] = {
    {"skip-temp", soSkipTemp},           {"protect-system", soProtectSystem},
    {"skip-system-folders", soSkipSysAppFolders}, {"skip-compressed", soSkipCompressed},
    {"skip-zero", soSkipZero},           {"subdirs", soScanSubdirs},
    {"skip-trash", soSkipRecycler},      {"include-hidden", soIncludeHidden},
    {"skip-junctions", soSkipNtfsJunction}, {"skip-hard-links", soSkipNtfsHardLinks},
    {"exclude-container", soExcludeContainer},
};

// What a user can do about a check that turned files or folders away.
std::string Remedy(const std::string& check) {
  static const std::pair<const char*, const char*> kRemedies[] = {
      {"Exclude paths check", "it is excluded by --exclude or by the permanent exclusions of the settings"},
      {"Protect System and Application folders check", "--no-skip-system-folders scans it"},
      {"Include Hidden objects check", "--include-hidden scans it"},
      {"Skip NTFS junction check", "--no-skip-junctions follows it"},
      {"Skip temporary files check", "--no-skip-temp scans it"},
      {"Do NOT scan Recycle bin check", "--no-skip-trash scans it"},
      {"Include masks check", "--include-mask chooses the names"},
      {"Exclude masks check", "--exclude-mask chooses the names"},
      {"Skip Zero-sized files check", "--no-skip-zero keeps them"},
      {"Min FileSize check", "--min-size sets the limit"},
      {"Max FileSize check", "--max-size sets the limit"},
      {"Skip NTFS hard link check", "--no-skip-hard-links keeps them"},
      {"Protect system files check", "--no-protect-system keeps system names; devices and FIFOs are never read"},
      {"[System Critical]", "system files are never scanned"},
      {"Skip Compressed files check", "--no-skip-compressed keeps them"},
      {"Symbolic link check", "links are never compared; their targets are"},
      {"AudioTags empty check", "files without the selected tags are left out in the music mode"},
      {"Error:", "see the log"},
  };
  for (const auto& [c, r] : kRemedies)
    if (check == c) return r;
  return {};
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

std::string Absolute(const std::string& p) {
  if (!p.empty() && p[0] == '/') return p;
  std::string cwd;
  if (char* c = ::getcwd(nullptr, 0)) {
    cwd = c;
    std::free(c);
  }
  std::string r = cwd;
  if (r.empty() || r.back() != '/') r += '/';
  r += p;
  return r;
}

// Selection rules of --select, by the name the user gives.
struct TSelectRuleName {
  const char* Name;
  TSelectMethod Method;
};

constexpr TSelectRuleName kSelectRules[] = {
    {"oldest", smSelectAllLeaveOldest},
    {"newest", smSelectAllLeaveNewest},
    {"original", smSelectAllLeaveOriginalName},
};

// The grid of a front end without one.
class TNoGrid final : public IScanView {
 public:
  void ListChanged(int) override {}
  void RowChanged(int) override {}
  void Refresh() override {}
};

// Without a user to ask, every question is answered No (so a master file is never selected) and
// notices go to the error stream. Installed for its scope.
class TCliPrompt final : public IUserPrompt {
 public:
  explicit TCliPrompt(std::ostream& err) : fErr(err), fPrevious(&GetUserPrompt()) { SetUserPrompt(this); }
  ~TCliPrompt() override { SetUserPrompt(fPrevious); }
  TCliPrompt(const TCliPrompt&) = delete;
  TCliPrompt& operator=(const TCliPrompt&) = delete;

  void ShowMessage(TMessageKind, const std::string& text) override { fErr << "pelcrow-cli: " << text << "\n"; }
  bool Confirm(const std::string&) override { return false; }
  bool ConfirmWithCheck(const std::string&, const std::string&, bool&) override { return false; }
  TCheckSelectionAnswer CheckSelection(const std::string& message, bool) override {
    ShowMessage(TMessageKind::mkWarning, message);
    return {};
  }
  bool ShowUndoErrors(const std::string& statusText, const std::vector<std::string>&) override {
    ShowMessage(TMessageKind::mkWarning, statusText);
    return false;
  }
  // Nobody to ask: a read-only file is left alone and reported as failed.
  TReadOnlyAnswer AskReadOnly(const std::string&) override { return TReadOnlyAnswer::raNoToAll; }

 private:
  std::ostream& fErr;
  IUserPrompt* fPrevious;
};

// After a rule: the first item it left unchecked beyond its group's kept copy, which is where a
// refused check stopped it; nullptr when it ran to the end.
PFileItem RuleStoppedAt(const TScanEngine& engine) {
  bool kept = false;
  std::uint32_t group = 0;
  for (int i = 0; i < engine.ItemCount(); ++i) {
    PFileItem it = engine.Item(i);
    if (it->fProcessed) continue;
    if (!kept || it->DupGroup != group) {
      kept = true;
      group = it->DupGroup;
    } else if (!it->fSelected) {
      return it;
    }
  }
  return nullptr;
}

bool KnownFormat(const std::string& format) {
  return format == "text" || format == "json" || format == "csv" || format == "dup";
}

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
  std::vector<std::string> Rest() const {
    return {fArgs.begin() + static_cast<std::ptrdiff_t>(fI) + 1, fArgs.end()};
  }

 private:
  const std::vector<std::string>& fArgs;
  std::size_t fI = 0;
  bool fStarted = false;
  std::string fName, fInline;
  bool fHasInline = false;
};

int RunCrc32(const std::vector<std::string>& files, std::ostream& out, std::ostream& err) {
  if (files.empty()) {
    err << "pelcrow-cli crc32: no file given\n" << kUsage;
    return kExitUsage;
  }
  int rc = kExitOk;
  for (const std::string& f : files) {
    std::uint32_t crc = 0;
    int e = ComputeFileCRC32(f, crc);
    if (e == 0) {
      char hex[9];
      std::snprintf(hex, sizeof hex, "%08X", crc);
      out << hex << "  " << f << "\n";
    } else {
      out << "Error  " << f << "\n";
      err << "pelcrow-cli: cannot read " << f << ": " << platform::ErrorText(e) << "\n";
      rc = kExitNone;
    }
  }
  return rc;
}

// --null: records end in NUL and paths are raw; otherwise a path that holds a line break or a
// tab cannot split a line, as with ls --quoting-style=escape.
bool gNullEnded = false;

std::string Shown(std::string_view path) { return gNullEnded ? std::string(path) : EscapedPath(path); }

void EndLine(std::ostream& out) { out.put(gNullEnded ? '\0' : '\n'); }

void PrintProgress(const TScanEngine& engine, std::ostream& err) {
  TScanEngineStatusInfo info;
  engine.GetCurrentProgress(info);
  std::string line;
  switch (info.EngineStatus) {
    case esScanning: line = "Scanning ... " + std::to_string(info.FilesScanned) + " files  " + info.Path; break;
    case esProcessing: line = "Processing ... " + std::to_string(info.PercentComplete) + "%  " + info.Path; break;
    case esBuildingList: line = "Building list ..."; break;
    case esStopping: line = "Stopping ..."; break;
  }
  if (line.size() > 100) line = line.substr(0, 97) + "...";
  err << "\r\033[K" << line << std::flush;
}

// The visible groups in one of the output formats; Marks adds what a selection rule decided per file.
void PrintGroups(const TScanEngine& engine, const std::string& format, bool Marks, std::ostream& out) {
  if (format == "dup") {
    out << engine.ListFileText();
    out.flush();
    return;
  }
  const TListingFormat listing = format == "text" ? lfText : format == "csv" ? lfCsv : lfJson;
  WriteListing(out, engine, listing, TListingOptions{Marks, gNullEnded});
}

// What --action asked for.
struct TCliAction {
  bool Given = false;
  std::string Kind;  // trash, delete, move, rename, link
  std::string Argument;
  bool DryRun = false;
  bool KeepStructure = false;
  bool Postfix = false;
};

// Writes the list as the grid would show it; false (with the reason on err) when it cannot.
bool ExportTo(const TScanEngine& engine, const std::string& file, const std::vector<std::string>& dirs,
              std::ostream& err) {
  TExportFormat format = efTXT;
  ExportFormatFromFileName(file, format);
  TExportInfo info;
  info.Info = engine.SummaryInfo();
  info.Dirs = dirs;
  const int e = ExportList(format, engine, ResultColumnsFor(engine.CompareMode(), 0), info, file);
  if (e == 0) return true;
  err << "pelcrow-cli: cannot export to " << file << ": " << platform::ErrorText(e) << "\n";
  return false;
}

// --select, --action and the options that go with them, as scan and load take them. Returns
// true when `a` was one of them; Error is set when its value is wrong.
bool ParseSelectAction(TArgReader& arg, const std::string& a, const TSelectRuleName*& rule, TCliAction& action,
                       std::string& Error) {
  const bool hasValue = arg.HasInlineValue();
  std::string v;
  if (a == "--select") {
    if (!arg.Value(v)) {
      Error = "--select needs a rule";
      return true;
    }
    rule = nullptr;
    for (const TSelectRuleName& r : kSelectRules)
      if (v == r.Name) rule = &r;
    if (!rule) Error = "unknown selection rule \"" + v + "\" (use oldest, newest or original)";
  } else if (a == "--action") {
    if (!arg.Value(action.Kind)) {
      Error = "--action needs trash, delete, move DIR, rename TEXT or link";
      return true;
    }
    action.Given = true;
    if (action.Kind == "move" || action.Kind == "rename") {
      if (!arg.Following(action.Argument) || action.Argument.empty())
        Error = "--action " + action.Kind + (action.Kind == "move" ? " needs a folder" : " needs a text");
      else if (action.Kind == "rename" && action.Argument.find('/') != std::string::npos)
        Error = "--action rename: the text cannot contain \"/\"";
    } else if (action.Kind != "trash" && action.Kind != "delete" && action.Kind != "link") {
      Error = "unknown action \"" + action.Kind + "\" (use trash, delete, move DIR, rename TEXT or link)";
    }
  } else if (a == "--dry-run" && !hasValue) {
    action.DryRun = true;
  } else if (a == "--keep-structure" && !hasValue) {
    action.KeepStructure = true;
  } else if (a == "--postfix" && !hasValue) {
    action.Postfix = true;
  } else if (a == "--null" && !hasValue) {
    gNullEnded = true;
  } else {
    return false;
  }
  return true;
}

// What --action may be given with.
std::string CheckSelectAction(const TSelectRuleName* rule, const TCliAction& action) {
  if (action.Given && !rule) return "--action needs --select: it processes the files a rule selected";
  if (!action.Given && (action.DryRun || action.KeepStructure || action.Postfix))
    return "--dry-run, --keep-structure and --postfix go with --action";
  return std::string();
}

// Processes the selected files in one pass; a file that fails is reported and left as it is.
int RunAction(TScanEngine& engine, const TCliAction& action, const std::string& logDir, std::ostream& out,
              std::ostream& err) {
  TCliPrompt prompt(err);
  if (!HasPendingSelection(engine)) return engine.ItemCount() > 0 ? kExitOk : kExitNone;
  // The command line never overrides the lock, whatever the settings say.
  const bool savedLock = Settings.DisableSafetyLock;
  Settings.DisableSafetyLock = false;
  const bool allowed = CheckSelectionProtection(engine, false);
  Settings.DisableSafetyLock = savedLock;
  if (!allowed) {
    err << "pelcrow-cli: the safety lock refused the selection: nothing was processed\n";
    return kExitActionFailed;
  }
  TProcessingOptions options;
  options.DryRun = action.DryRun;
  options.JournalExpireDays = Settings.UndoJournalDays;
  const char* done = "";
  if (action.Kind == "trash" || action.Kind == "delete") {
    options.Operation = poDelete;
    options.Permanent = action.Kind == "delete";
    done = options.Permanent ? "deleted" : "trashed";
  } else if (action.Kind == "move") {
    options.Operation = poMove;
    options.MoveFolder = Absolute(action.Argument);
    options.KeepFolderStructure = action.KeepStructure;
    done = "moved";
  } else if (action.Kind == "rename") {
    options.Operation = poRename;
    options.RenameText = action.Argument;
    options.RenamePrefix = !action.Postfix;
    done = "renamed";
  } else {
    options.Operation = poLink;
    done = "linked";
  }
  const bool logging = !logDir.empty() && !action.DryRun;
  if (logging) {
    Settings.EnableLogging = true;
    Settings.LogDirectory = logDir;
    Settings.LogEvents = TPcwLogEvents{leFileDeleted, leFileMoved, leFileRenamed, leSymLink, leError};
    StartLogging(logDir, TPcwLogEvents{leInfo});
  }
  TActionHistory history;
  TProcessingRun run(engine, history, options);
  run.OnItem = [&](PFileItem item, const TItemOutcome& o) {
    const std::string path = item->FullPath();
    if (!o.Ok) {
      out << "failed " << Shown(path) << ": " << o.Reason;
      EndLine(out);
      return;
    }
    out << (action.DryRun ? std::string("would ") + (action.Kind == "delete" ? "delete" : action.Kind) : std::string(done))
        << " " << Shown(path);
    if (options.Operation != poDelete) out << " -> " << Shown(o.Target);
    EndLine(out);
  };
  const TPassResult r = run.RunPass();
  if (!action.DryRun) run.RemoveEmptyFolders();
  if (logging) {
    StopLogging();
    Settings.EnableLogging = false;
  }
  out.flush();
  if (r.Failed == 0) return kExitOk;
  err << "pelcrow-cli: " << run.FailureHead(r) << "\n";
  return kExitActionFailed;
}

int RunScan(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::string format = "text";
  std::vector<std::string> paths, excludes, masters;
  std::string includeMasks = "*.*", excludeMasks;
  std::uint8_t mode = cmCRC32;
  TPcwCompareOptions compare;
  TPcwScanOptions options = Settings.ScanOptions;
  std::int64_t minSize = 0, maxSize = 0;
  unsigned threads = 0;
  std::string logDir, saveFile, exportFile;
  const TSelectRuleName* rule = nullptr;
  TCliAction action;
  auto bad = [&](const std::string& what) {
    err << "pelcrow-cli scan: " << what << "\n" << "Try 'pelcrow-cli --help'.\n";
    return kExitUsage;
  };
  for (TArgReader arg(args); arg.Next();) {
    const std::string a = arg.Name();
    const bool hasValue = arg.HasInlineValue();
    auto next = [&arg](std::string& v) { return arg.Value(v); };
    if (a == "--") {
      const std::vector<std::string> rest = arg.Rest();
      paths.insert(paths.end(), rest.begin(), rest.end());
      break;
    }
    if (a.size() < 2 || a[0] != '-') {
      paths.push_back(a);
      continue;
    }
    std::string v;
    if (a == "--format") {
      if (!next(format)) return bad("--format needs a value");
    } else if (a == "--mode") {
      if (!next(v)) return bad("--mode needs a value");
      if (v == "crc") mode = cmCRC32;
      else if (v == "bytes") mode = cmByteByByte;
      else if (v == "name") mode = cmFileName;
      else if (v == "music") mode = cmMusicTags;
      else return bad("unknown mode \"" + v + "\" (use crc, bytes, name or music)");
    } else if (a == "--compare") {
      if (!next(v)) return bad("--compare needs a value");
      std::size_t start = 0;
      while (start <= v.size()) {
        std::size_t comma = v.find(',', start);
        std::string part = v.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (part == "name") compare.Include(coFileName);
        else if (part == "ext") compare.Include(coExtension);
        else if (part == "size") compare.Include(coFileSize);
        else if (part == "exif") compare.Include(coEXIF);
        else if (!part.empty()) return bad("unknown compare option \"" + part + "\" (use name, ext, size, exif)");
        if (comma == std::string::npos) break;
        start = comma + 1;
      }
    } else if (a == "--include-mask") {
      if (!next(includeMasks)) return bad("--include-mask needs a value");
    } else if (a == "--exclude-mask") {
      if (!next(excludeMasks)) return bad("--exclude-mask needs a value");
    } else if (a == "--exclude") {
      if (!next(v)) return bad("--exclude needs a folder");
      excludes.push_back(v.find_first_of("*?") == std::string::npos ? Absolute(v) : v);
    } else if (a == "--master") {
      if (!next(v)) return bad("--master needs a folder");
      masters.push_back(Absolute(v));
    } else if (a == "--min-size" || a == "--max-size") {
      if (!next(v) || !ParseSize(v, a == "--min-size" ? minSize : maxSize))
        return bad(a + " needs a size such as 4096, 100K or 2G");
    } else if (a == "--save") {
      if (!next(saveFile) || saveFile.empty()) return bad("--save needs a file");
    } else if (a == "--log") {
      if (!next(logDir)) return bad("--log needs a folder");
      logDir = Absolute(logDir);
    } else if (std::string error; ParseSelectAction(arg, a, rule, action, error)) {
      if (!error.empty()) return bad(error);
    } else if (a == "--export") {
      TExportFormat f = efTXT;
      if (!next(exportFile) || !ExportFormatFromFileName(exportFile, f))
        return bad("--export needs a file ending in .txt, .csv or .html");
    } else if (a == "--threads") {
      if (!next(v)) return bad("--threads needs a number");
      try {
        int n = std::stoi(v);
        if (n < 1 || n > 64) throw std::out_of_range(v);
        threads = static_cast<unsigned>(n);
      } catch (...) {
        return bad("--threads needs a number from 1 to 64");
      }
    } else {
      bool on = true;
      std::string name = a.substr(2);
      if (name.rfind("no-", 0) == 0) {
        on = false;
        name = name.substr(3);
      }
      bool known = false;
      for (const TOptionName& o : kScanOptionNames) {
        if (name == o.Name) {
          options.Set(o.Option, on);
          known = true;
        }
      }
      if (!known || hasValue) return bad("unknown option " + arg.Raw());
    }
  }
  if (!KnownFormat(format)) return bad("unknown format \"" + format + "\" (use text, csv, json or dup)");
  if (std::string error = CheckSelectAction(rule, action); !error.empty()) return bad(error);
  paths.insert(paths.end(), masters.begin(), masters.end());
  if (paths.empty()) return bad("no folder given");
  for (std::string& p : paths) {
    p = Absolute(p);
    platform::TFileInfo info;
    int e = platform::Stat(p, info);
    if (e != 0) {
      err << "pelcrow-cli: cannot scan " << p << ": " << platform::ErrorText(e) << "\n";
      return kExitUsage;
    }
    if (info.Type != platform::TEntryType::etDirectory) {
      err << "pelcrow-cli: cannot scan " << p << ": not a folder\n";
      return kExitUsage;
    }
    if (::access(p.c_str(), R_OK | X_OK) != 0) {
      err << "pelcrow-cli: cannot scan " << p << ": " << platform::ErrorText(errno) << "\n";
      return kExitUsage;
    }
  }

  TQueueMainThread mainThread;
  SetMainThread(&mainThread);
  if (!logDir.empty()) {
    Settings.EnableLogging = true;
    Settings.LogDirectory = logDir;
    Settings.LogEvents = TPcwLogEvents{leFileFound, leFileSkipped, leFolderScanned, leFolderSkipped};
    StartLogging(logDir, TPcwLogEvents{leInfo});
    WriteLog("Scan started");
  }
  const bool savedMaster = Settings.MasterSelectMode;
  Settings.MasterSelectMode = !masters.empty();
  TScanEngine engine(mode, compare);
  try {
    engine.SetIncludeFileMasks(includeMasks);
    engine.SetExcludeFileMasks(excludeMasks);
  } catch (const std::exception& e) {
    SetMainThread(nullptr);
    Settings.MasterSelectMode = savedMaster;
    return bad(e.what());
  }
  engine.SetIncludeFilePaths(&paths);
  engine.SetExcludeFilePaths(&excludes);
  engine.SetMasterFilePaths(&masters);
  engine.FileSizeMin = minSize;
  engine.FileSizeMax = maxSize;
  engine.SetChecksumThreads(threads);
  bool finished = false;
  engine.OnFinishedScan = [&](const TScanEngineSummaryInfo&) { finished = true; };
  const bool showProgress = ::isatty(STDERR_FILENO) != 0;
  TNoGrid grid;
  engine.BuildFileList(&grid, options);
  Settings.MasterSelectMode = savedMaster;
  auto last = std::chrono::steady_clock::now();
  while (!finished) {
    mainThread.WaitAndProcess(std::chrono::milliseconds(100));
    if (showProgress && std::chrono::steady_clock::now() - last >= std::chrono::seconds(1)) {
      PrintProgress(engine, err);
      last = std::chrono::steady_clock::now();
    }
  }
  if (showProgress) err << "\r\033[K" << std::flush;
  if (!logDir.empty()) {
    WriteLog("Scan finished");
    StopLogging();
    Settings.EnableLogging = false;
  }
  mainThread.ProcessEvents();
  SetMainThread(nullptr);
  if (!engine.LastWorkerError().empty()) {
    err << "pelcrow-cli: the scan failed: " << engine.LastWorkerError() << "\n";
    return kExitUsage;
  }

  PFileItem stoppedAt = nullptr;
  if (rule) {
    TCliPrompt prompt(err);
    engine.AutoSelect(&grid, rule->Method);
    stoppedAt = RuleStoppedAt(engine);
  }

  const TScanEngineSummaryInfo& s = engine.SummaryInfo();
  const int n = engine.ItemCount();
  if (!saveFile.empty()) {
    try {
      engine.SaveToFile(saveFile);
    } catch (const std::exception& e) {
      err << "pelcrow-cli: " << TranslateText(kListSaveFailedMessage) << " " << e.what() << "\n";
      return kExitUsage;
    }
  }
  if (!exportFile.empty() && !ExportTo(engine, exportFile, paths, err)) return kExitUsage;
  if (!action.Given && (format != "dup" || saveFile.empty())) PrintGroups(engine, format, rule != nullptr, out);
  out.flush();
  if (stoppedAt) {
    err << "pelcrow-cli: --select " << rule->Name << " stopped at the master file " << stoppedAt->FullPath()
        << " (group " << stoppedAt->DupGroup
        << "): the command line never selects a master file, so nothing after it is selected\n";
  }

  // Say why nothing could be compared: which check turned away a folder or every file.
  for (const TScanRejection& r : engine.IncludeRejections())
    err << "pelcrow-cli: " << r.Path << " was skipped by the " << r.Check << " (" << Remedy(r.Check) << ")\n";
  if (engine.AcceptedFiles() == 0 && s.TotalFiles > 0) {
    err << "pelcrow-cli: examined " << s.TotalFiles << " files but accepted none:\n";
    for (const TScanRejection& r : engine.FileRejections())
      err << "  " << r.Count << " rejected by the " << r.Check << " (" << Remedy(r.Check) << ")\n";
  }
  if (action.Given) return RunAction(engine, action, logDir, out, err);
  return n > 0 ? kExitOk : kExitNone;
}

int RunLoad(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::string format = "text";
  std::vector<std::string> files;
  auto bad = [&](const std::string& what) {
    err << "pelcrow-cli load: " << what << "\n" << "Try 'pelcrow-cli --help'.\n";
    return kExitUsage;
  };
  TSearchFilterFiles filter;
  bool filtered = false;
  std::string exportFile;
  const TSelectRuleName* rule = nullptr;
  TCliAction action;
  for (TArgReader arg(args); arg.Next();) {
    const std::string a = arg.Name();
    auto next = [&arg](std::string& v) { return arg.Value(v); };
    std::string v;
    if (std::string error; ParseSelectAction(arg, a, rule, action, error)) {
      if (!error.empty()) return bad(error);
    } else if (a == "--format") {
      if (!next(format)) return bad("--format needs a value");
    } else if (a == "--name") {
      if (!next(v)) return bad("--name needs a pattern");
      filter.fFileNamePattern = v;
      filtered = true;
    } else if (a == "--groups") {
      if (!next(v)) return bad("--groups needs a list such as 1-5,8");
      filter.SetDupGroupPattern(v);
      if (filter.fPrepareadDupGroupPattern.empty()) return bad("--groups needs a list such as 1-5,8");
      filter.fSearchByDupGroup = true;
      filtered = true;
    } else if (a == "--export") {
      TExportFormat f = efTXT;
      if (!next(exportFile) || !ExportFormatFromFileName(exportFile, f))
        return bad("--export needs a file ending in .txt, .csv or .html");
    } else if (a == "--") {
      const std::vector<std::string> rest = arg.Rest();
      files.insert(files.end(), rest.begin(), rest.end());
      break;
    } else if (a.size() >= 2 && a[0] == '-') {
      return bad("unknown option " + arg.Raw());
    } else {
      files.push_back(a);
    }
  }
  if (!KnownFormat(format)) return bad("unknown format \"" + format + "\" (use text, csv, json or dup)");
  if (files.size() != 1) return bad(files.empty() ? "no list file given" : "one list file at a time");
  if (std::string error = CheckSelectAction(rule, action); !error.empty()) return bad(error);
  TScanEngine engine(Settings.ComparisonMode(), Settings.CompareOptions);
  try {
    engine.LoadFromFile(nullptr, files[0]);
  } catch (const std::exception& e) {
    err << "pelcrow-cli: " << files[0] << ": " << TranslateText(kListNotSupportedMessage) << " (" << e.what()
        << ")\n";
    return kExitUsage;
  }
  if (filtered) engine.FilterResults(nullptr, filter);
  TNoGrid grid;
  PFileItem stoppedAt = nullptr;
  if (rule) {
    TCliPrompt prompt(err);
    engine.AutoSelect(&grid, rule->Method);
    stoppedAt = RuleStoppedAt(engine);
  }
  if (!exportFile.empty() && !ExportTo(engine, exportFile, engine.GetIncludeFilePaths(), err)) return kExitUsage;
  if (!action.Given) PrintGroups(engine, format, rule != nullptr, out);
  if (stoppedAt)
    err << "pelcrow-cli: --select " << rule->Name << " stopped at the master file " << Shown(stoppedAt->FullPath())
        << "\n";
  if (action.Given) return RunAction(engine, action, std::string(), out, err);
  return engine.ItemCount() > 0 ? kExitOk : kExitNone;
}

const char* ActionVerb(std::uint8_t type) {
  switch (type) {
    case faDelete: return "deleted";
    case faRecycle: return "trashed";
    case faMove: return "moved";
    case faRename: return "renamed";
    case faCreateLink: return "linked";
    default: return "unknown";
  }
}

// pelcrow-cli undo: the journal's last action (or the one named) put back.
int RunUndo(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  bool list = false;
  std::string which;
  auto bad = [&](const std::string& what) {
    err << "pelcrow-cli undo: " << what << "\n" << "Try 'pelcrow-cli --help'.\n";
    return kExitUsage;
  };
  for (TArgReader arg(args); arg.Next();) {
    const std::string a = arg.Name();
    if (a == "--list" && !arg.HasInlineValue()) {
      list = true;
    } else if (a == "--null" && !arg.HasInlineValue()) {
      gNullEnded = true;
    } else if (a == "--action") {
      if (!arg.Value(which) || which.empty()) return bad("--action needs an ID or a number from --list");
    } else {
      return bad("unknown option " + arg.Raw());
    }
  }
  std::vector<TJournalAction> actions = TActionJournal::ReadAll();
  const std::shared_ptr<const TFormatSettings> fs = GetFormatSettings();
  if (list) {
    int number = 0;
    for (const TJournalAction& a : actions) {
      ++number;
      int undone = 0;
      for (const TJournalItem& it : a.Items) undone += it.State == TJournalItem::jsUndone;
      out << number << "  " << a.Id << "  " << FormatShortDateLongTime(a.Started, *fs) << "  "
          << ActionVerb(a.ActionType) << "  " << a.Undoable() << " to undo, " << undone << " undone";
      EndLine(out);
      for (const TJournalItem& it : a.Items) {
        const char* state = it.State == TJournalItem::jsDone ? "done  " : it.State == TJournalItem::jsUndone ? "undone" : "failed";
        out << "    " << state << " " << Shown(it.FullPath());
        if (!it.Target.empty()) out << (it.ActionType == faMove || it.ActionType == faRename ? " -> " : " (kept: ") << Shown(it.Target)
                                    << (it.ActionType == faMove || it.ActionType == faRename ? "" : ")");
        EndLine(out);
      }
    }
    return kExitOk;
  }
  TJournalAction* target = nullptr;
  if (!which.empty()) {
    int number = 0;
    const bool numeric = which.find_first_not_of("0123456789") == std::string::npos && which.size() < 9;
    for (TJournalAction& a : actions) {
      ++number;
      if (a.Id == which || (numeric && std::stoi(which) == number)) target = &a;
    }
    if (!target) return bad("no action " + which + " in the journal (see --list)");
    if (target->Undoable() == 0) {
      err << "pelcrow-cli: action " << which << " has nothing left to undo\n";
      return kExitNone;
    }
  } else {
    for (auto i = actions.rbegin(); i != actions.rend() && !target; ++i)
      if (i->Undoable() > 0) target = &*i;
    if (!target) {
      err << "pelcrow-cli: there is nothing left to undo\n";
      return kExitNone;
    }
  }
  std::vector<std::string> log;
  std::vector<TJournalItem::TState> before;
  for (const TJournalItem& it : target->Items) before.push_back(it.State);
  UndoJournalAction(*target, log);
  int restored = 0;
  for (std::size_t k = 0; k < target->Items.size(); ++k) {
    const TJournalItem& it = target->Items[k];
    if (before[k] != TJournalItem::jsDone || it.State != TJournalItem::jsUndone) continue;
    ++restored;
    out << "restored " << Shown(it.FullPath());
    EndLine(out);
  }
  for (const std::string& line : log) {
    out << "failed " << Shown(line);
    EndLine(out);
  }
  out.flush();
  if (log.empty()) return kExitOk;
  err << "pelcrow-cli: " << log.size() << " of " << (log.size() + static_cast<std::size_t>(restored))
      << " files were not restored\n";
  return kExitActionFailed;
}

}  // namespace

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) {
    err << kUsage;
    return kExitUsage;
  }
  const std::string& cmd = args[0];
  std::vector<std::string> rest(args.begin() + 1, args.end());
  if (cmd == "--help" || cmd == "-h" || cmd == "help") {
    out << kUsage;
    return kExitOk;
  }
  if (cmd == "crc32") return RunCrc32(rest, out, err);
  if (cmd == "scan") return RunScan(rest, out, err);
  if (cmd == "load") return RunLoad(rest, out, err);
  if (cmd == "undo") return RunUndo(rest, out, err);
  err << "pelcrow-cli: unknown command \"" << cmd << "\"\n" << kUsage;
  return kExitUsage;
}

}  // namespace pelcrow::cli
