#include "cli/Cli.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>

#include "base/FormatSettings.h"
#include "base/MainThread.h"
#include "base/ParseDateTime.h"
#include "base/UserPrompt.h"
#include "cli/CliOptions.h"
#include "engine/ContactProcessing.h"
#include "engine/ListFile.h"
#include "engine/MailProcessing.h"
#include "plugins/ContactsScanner.h"
#include "engine/PhotoProcessing.h"
#include "plugins/PictureScanner.h"
#include "plugins/MaildirScanner.h"
#include "plugins/ThunderbirdScanner.h"
#include "engine/Processing.h"
#include "engine/ResultColumns.h"
#include "engine/SafetyLock.h"
#include "engine/ScanChecks.h"
#include "engine/ScanEngine.h"
#include "export/ExportList.h"
#include "export/PathListing.h"
#include "localization/TranslateText.h"
#include "logging/Logger.h"
#include "medialib/DeadTrackCleaner.h"
#include "medialib/MediaLibSync.h"
#include "platform/ProcessInfo.h"
#include "platform/FileSystem.h"
#include "services/FileCrc32.h"
#include "settings/PcwSettings.h"
#ifdef PELCROW_HAVE_PICTURE_DECODER
#include "pictures/QtPictureDecoder.h"
#endif

namespace pelcrow::cli {

namespace {

constexpr int kExitOk = 0;
constexpr int kExitNone = 1;
constexpr int kExitUsage = 2;
constexpr int kExitActionFailed = 3;

// What a user can do about a check that turned files or folders away.
std::string Remedy(const std::string& check) {
  static const std::pair<const char*, const char*> kRemedies[] = {
      {kExcludePathsCheck, "it is excluded by --exclude or by the permanent exclusions of the settings"},
      {kProtectSysAppFoldersCheck, "--no-skip-system-folders scans it"},
      {kIncludeHiddenCheck, "--include-hidden scans it"},
      {kJunctionCheck, "--no-skip-junctions follows it"},
      {kTempFolderCheck, "--no-skip-temp scans it"},
      {kTempFilesCheck, "--no-skip-temp scans it"},
      {kRecyclerCheck, "--no-skip-trash scans it"},
      {kIncludeMasksCheck, "--include-mask chooses the names"},
      {kExcludeMasksCheck, "--exclude-mask chooses the names"},
      {kZeroSizeCheck, "--no-skip-zero keeps them"},
      {kMinSizeCheck, "--min-size sets the limit"},
      {kMaxSizeCheck, "--max-size sets the limit"},
      {kHardLinkCheck, "--no-skip-hard-links keeps them"},
      {kProtectSystemCheck, "--no-protect-system keeps system names; devices and FIFOs are never read"},
      {kSystemCritical, "system files are never scanned"},
      {kCompressedCheck, "--no-skip-compressed keeps them"},
      {kSymLinkCheck, "links are never compared; their targets are"},
      {kAudioTagsEmptyCheck, "files without the selected tags are left out in the music mode"},
      {kErrorCheck, "see the log"},
  };
  for (const auto& [c, r] : kRemedies)
    if (check == c) return r;
  return {};
}

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
  // Quiet: notices are dropped (the caller says it better).
  explicit TCliPrompt(std::ostream& err, bool quiet = false) : fErr(err), fPrevious(&GetUserPrompt()), fQuiet(quiet) {
    SetUserPrompt(this);
  }
  ~TCliPrompt() override { SetUserPrompt(fPrevious); }
  TCliPrompt(const TCliPrompt&) = delete;
  TCliPrompt& operator=(const TCliPrompt&) = delete;

  void ShowMessage(TMessageKind, const std::string& text) override {
    if (!fQuiet) fErr << "pelcrow-cli: " << text << "\n";
  }
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
  bool fQuiet;
};

// Where synchronisation speaks: a library that cannot be reached is said on the error stream.
// Installed for its scope.
class TCliLibraryNotices final : public IMediaLibStatus {
 public:
  explicit TCliLibraryNotices(std::ostream& err) : fErr(err) { SetMediaLibStatus(this); }
  ~TCliLibraryNotices() override { SetMediaLibStatus(nullptr); }
  TCliLibraryNotices(const TCliLibraryNotices&) = delete;
  TCliLibraryNotices& operator=(const TCliLibraryNotices&) = delete;
  void ShowWaitText(const std::string&) override {}
  void ShowStatusText(const std::string&) override {}
  void ShowLibraryUnavailable(TMediaLibrary, const std::string& text) override { fErr << "pelcrow-cli: " << text << "\n"; }

 private:
  std::ostream& fErr;
};

// The settings' library switches, unless --sync or --no-sync chose.
TMediaLibSyncOptions MediaLibsFor(const TCliArgs& args) {
  TMediaLibSyncOptions o = MediaLibSyncOptionsOf(Settings);
  if (args.SyncGiven) {
    o.iTunes = args.SyncMpd;
    o.WMP = args.SyncRhythmbox;
  }
  return o;
}

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

// Runs --select's rule, if any; returns where it stopped.
PFileItem ApplyRule(TScanEngine& engine, const TCliArgs& args, std::ostream& err) {
  if (!args.Rule) return nullptr;
  TCliPrompt prompt(err);
  TNoGrid grid;
  engine.AutoSelect(&grid, args.Rule->Method);
  return RuleStoppedAt(engine);
}

int Bad(const char* command, const std::string& what, std::ostream& err) {
  err << "pelcrow-cli " << command << ": " << what << "\n" << "Try 'pelcrow-cli --help'.\n";
  return kExitUsage;
}

int RunCrc32(const std::vector<std::string>& files, std::ostream& out, std::ostream& err) {
  if (files.empty()) {
    err << "pelcrow-cli crc32: no file given\n" << UsageText();
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

// The output formats of --format; dup is the list file.
struct TFormatName {
  const char* Name;
  TListingFormat Listing;
  bool ListFile;
};

constexpr TFormatName kFormats[] = {
    {"text", lfText, false}, {"csv", lfCsv, false}, {"json", lfJson, false}, {"dup", lfText, true}};

const TFormatName* FindFormat(const std::string& name) {
  for (const TFormatName& f : kFormats)
    if (name == f.Name) return &f;
  return nullptr;
}

// The visible groups in one of the output formats; with a rule each file says what it decided.
void PrintGroups(const TScanEngine& engine, const TCliArgs& args, std::ostream& out) {
  const TFormatName* format = FindFormat(args.Format);
  if (format->ListFile) {
    out << engine.ListFileText();
    out.flush();
    return;
  }
  WriteListing(out, engine, format->Listing, TListingOptions{args.Rule != nullptr, gNullEnded});
}

// Writes the list as the grid would show it; false (with the reason on err) when it cannot.
bool ExportTo(const TScanEngine& engine, const std::string& file, const std::vector<std::string>& dirs,
              std::ostream& err) {
  TExportFormat format = efTXT;
  ExportFormatFromFileName(file, format);
  const TExportInfo info{engine.SummaryInfo(), dirs};
  const int e = ExportList(format, engine, ResultColumnsFor(engine.CompareMode(), 0), info, file);
  if (e == 0) return true;
  err << "pelcrow-cli: cannot export to " << file << ": " << platform::ErrorText(e) << "\n";
  return false;
}

TProcessingOptions ProcessingOptionsFor(const TCliAction& action) {
  TProcessingOptions options = ProcessingOptionsOf(Settings);
  options.DryRun = action.DryRun;
  options.Operation = action.Kind->Operation;
  options.Permanent = action.Kind->Permanent;
  if (options.Operation == poMove) {
    options.MoveFolder = Absolute(action.Argument);
    options.KeepFolderStructure = action.KeepStructure;
  } else if (options.Operation == poRename) {
    options.RenameText = action.Argument;
    options.RenamePrefix = !action.Postfix;
  }
  return options;
}

// The command line never overrides the safety lock, whatever the settings say.
bool SelectionAllowed(TScanEngine& engine) { return CheckSelectionProtection(engine, false, TSafetyLockOptions()); }

// The command line's log, open while it lives, where --log says (nothing without one). The
// command line's settings record holds defaults, not the user's file: a log that fails switches
// itself off for this run and saves nothing.
class TCliLog {
 public:
  TCliLog(const std::string& logDir, TPcwLogEvents events, const char* startText = nullptr)
      : fActive(!logDir.empty()) {
    if (!fActive) return;
    TLogOptions options;
    options.EnableLogging = true;
    options.LogDirectory = logDir;
    options.LogEvents = events;
    fPrevious = GetLogger().SetSwitchedOffHandler(nullptr);
    StartLogging(options, TPcwLogEvents{leInfo});
    if (startText != nullptr) WriteLog(startText);
  }
  ~TCliLog() {
    if (!fActive) return;
    if (!fEndText.empty()) WriteLog(fEndText);
    StopLogging();
    GetLogger().SetSwitchedOffHandler(std::move(fPrevious));
  }
  TCliLog(const TCliLog&) = delete;
  TCliLog& operator=(const TCliLog&) = delete;
  // Written when the log closes, after the work.
  void SetEndText(std::string text) { fEndText = std::move(text); }

 private:
  bool fActive;
  std::string fEndText;
  std::function<void(TLogSwitchOff)> fPrevious;
};

// Processes the selected files in one pass; a file that fails is reported and left as it is.
int RunAction(TScanEngine& engine, const TCliArgs& args, const std::string& logDir, std::ostream& out,
              std::ostream& err) {
  const TCliAction& action = args.Action;
  TCliPrompt prompt(err);
  TCliLibraryNotices notices(err);
  if (!HasPendingSelection(engine)) return engine.ItemCount() > 0 ? kExitOk : kExitNone;
  if (!SelectionAllowed(engine)) {
    err << "pelcrow-cli: the safety lock refused the selection: nothing was processed\n";
    return kExitActionFailed;
  }
  TProcessingOptions options = ProcessingOptionsFor(action);
  options.MediaLibs = MediaLibsFor(args);
  if (!logDir.empty() && !action.DryRun)
    options.LogEvents = TPcwLogEvents{leFileDeleted, leFileMoved, leFileRenamed, leSymLink, leError};
  const TCliLog log(action.DryRun ? std::string() : logDir, options.LogEvents);
  TActionHistory history;
  TProcessingRun run(engine, history, options);
  run.OnItem = [&](PFileItem item, const TItemOutcome& o) {
    const std::string path = item->FullPath();
    if (!o.Ok) {
      out << "failed " << Shown(path) << ": " << Shown(o.Reason);
      EndLine(out);
      return;
    }
    out << (action.DryRun ? std::string("would ") + action.Kind->Name : std::string(action.Kind->Done)) << " "
        << Shown(path);
    if (options.Operation != poDelete) out << " -> " << Shown(o.Target);
    EndLine(out);
  };
  const TPassResult r = run.RunPass();
  if (!action.DryRun) run.RemoveEmptyFolders();
  out.flush();
  if (r.Failed == 0) return kExitOk;
  err << "pelcrow-cli: " << run.FailureHead(r) << "\n";
  return kExitActionFailed;
}

// Mail mode: the store's folders to scan (every top folder when none is named). kExitOk, or the
// exit code after the message.
int PrepareMailScan(TScanEngine& engine, const TCliArgs& args, std::ostream& err) {
  TMailStoreRoots roots = MailStoreRootsOf(Settings);
  if (!args.Stores.empty()) roots.Maildir = roots.Thunderbird = args.Stores;
  engine.SetMailStores(roots);
  IScanEnginePlugin* plugin = engine.ScannerPlugin();
  if (!plugin) {
    err << "pelcrow-cli: no mail store found (Maildir or Thunderbird); --store names one\n";
    return kExitUsage;
  }
  TPluginFolderTree tree;
  std::vector<TOlFolder> folders;
  plugin->PopulateFolderTree(tree, folders);
  if (args.MailFolders.empty()) {
    for (const TPluginFolderNode& n : tree)
      if (n.Parent < 0) plugin->AddScanFolder(folders[static_cast<std::size_t>(n.Folder)]);
    return kExitOk;
  }
  for (std::string path : args.MailFolders) {
    if (path.back() != '/') path += '/';
    if (plugin->AddScanFolder(TOlFolder{"", "", path}) < 0) {
      err << "pelcrow-cli: no folder " << path << " in the mail store\n";
      return kExitUsage;
    }
  }
  return kExitOk;
}

// Mail mode's --action: delete into the store's trash, or move into a folder of the store.
int RunMailAction(TScanEngine& engine, const TCliAction& action, std::ostream& out, std::ostream& err) {
  TCliPrompt prompt(err);
  if (!HasPendingSelection(engine)) return engine.ItemCount() > 0 ? kExitOk : kExitNone;
  if (!SelectionAllowed(engine)) {
    err << "pelcrow-cli: the safety lock refused the selection: nothing was processed\n";
    return kExitActionFailed;
  }
  TMailActionOptions options;
  options.DryRun = action.DryRun;
  options.JournalExpireDays = ProcessingOptionsOf(Settings).JournalExpireDays;
  options.Move = action.Kind->Operation == poMove;
  if (options.Move) {
    options.Destination.FolderPath = action.Argument;
    if (options.Destination.FolderPath.back() != '/') options.Destination.FolderPath += '/';
  }
  TActionHistory history;
  const TPassResult r = ProcessMailRows(engine, history, options, [&](PFileItem item, const TItemOutcome& o) {
    const std::string what = item->Path.str() + " \"" + (item->Emails ? item->Emails->Subject : std::string()) + "\"";
    if (!o.Ok) {
      out << "failed " << Shown(what) << ": " << Shown(o.Reason);
    } else {
      out << (action.DryRun ? "would move " : "moved ") << Shown(what) << " -> " << Shown(o.Target);
    }
    EndLine(out);
  });
  out.flush();
  if (r.Failed == 0) return kExitOk;
  err << "pelcrow-cli: " << r.Failed << " of " << r.Total << " e-mails were not moved\n";
  return kExitActionFailed;
}

// Contacts mode: the address books, every one of them scanned. kExitOk, or the exit code after
// the message.
int PrepareContactScan(TScanEngine& engine, const TCliArgs& args, std::ostream& err) {
  engine.SetContactStores(args.AddressBooks.empty() ? ExpandAddressBookPaths(Settings.AddressBooks) : args.AddressBooks);
  IScanEnginePlugin* plugin = engine.ScannerPlugin();
  if (!plugin) {
    err << "pelcrow-cli: no address book found (a folder of .vcf files, or a .vcf file); --addressbook names one\n";
    return kExitUsage;
  }
  TPluginFolderTree tree;
  std::vector<TOlFolder> folders;
  plugin->PopulateFolderTree(tree, folders);
  for (const TPluginFolderNode& n : tree)
    if (n.Parent < 0) plugin->AddScanFolder(folders[static_cast<std::size_t>(n.Folder)]);
  return kExitOk;
}

// Contacts mode's --action: merge each group into the contact that stays, or delete into the
// address book's trash folder.
int RunContactAction(TScanEngine& engine, const TCliAction& action, std::ostream& out, std::ostream& err) {
  TCliPrompt prompt(err);
  if (!HasPendingSelection(engine)) return engine.ItemCount() > 0 ? kExitOk : kExitNone;
  if (!SelectionAllowed(engine)) {
    err << "pelcrow-cli: the safety lock refused the selection: nothing was processed\n";
    return kExitActionFailed;
  }
  TContactActionOptions options;
  options.Merge = std::string_view(action.Kind->Name) == "merge";
  options.CheckAllAddresses = true;
  options.DryRun = action.DryRun;
  options.JournalExpireDays = ProcessingOptionsOf(Settings).JournalExpireDays;
  auto* contacts = dynamic_cast<TContactsScanner*>(engine.ScannerPlugin());
  TActionHistory history;
  const TPassResult r = ProcessContactRows(
      engine, history, options,
      [&](PFileItem item, TContactStep step, const TItemOutcome& o, const std::vector<std::string>& added) {
        const std::string file =
            contacts ? contacts->ItemLocation(contacts->Item(item->Emails->OutlookIndex)) : item->Path.str();
        if (!o.Ok) {
          out << "failed " << Shown(file) << ": " << Shown(o.Reason);
        } else if (step == TContactStep::csMerged) {
          out << (action.DryRun ? "would merge " : "merged ") << Shown(file) << " (+";
          for (std::size_t k = 0; k < added.size(); ++k) out << (k ? ", +" : "") << Shown(added[k]);
          out << ")";
        } else {
          out << (action.DryRun ? "would move " : "moved ") << Shown(file) << " -> " << Shown(o.Target);
        }
        EndLine(out);
      });
  out.flush();
  if (r.Failed == 0) return kExitOk;
  err << "pelcrow-cli: " << r.Failed << " of " << r.Total << " contacts were not processed\n";
  return kExitActionFailed;
}

// Photo mode: the library and its albums to scan (every album when none is named). kExitOk, or the
// exit code after the message.
int PreparePhotoScan(TScanEngine& engine, TCliArgs& args, std::ostream& err) {
  TPhotoLibraryLocation where;
  where.ScriptFolder = PhotoScriptFolder();
  if (!args.PhotoLibrary.empty()) {
    where.Library = args.PhotoLibrary;
  } else if (const std::vector<std::string> set = ExpandStorePaths(Settings.PhotoLibrary); !set.empty()) {
    where.Library = set.front();
  }
  engine.SetPhotoLibrary(where);
  // The app's notice speaks of a mode that falls back; the command line just stops.
  TCliPrompt quiet(err, true);
  if (!engine.PhotoScanner()) {
    err << "pelcrow-cli: cannot open the photo library: " << engine.LastWorkerError() << " (--library names another)\n";
    return kExitUsage;
  }
  for (std::string album : args.MailFolders) {
    if (album.empty() || album.back() != '/') album += '/';
    if (!FindFolderByPath(engine.PhotoScanner()->RootFolder(), album)) {
      err << "pelcrow-cli: no album " << album << " in the photo library\n";
      return kExitUsage;
    }
    args.Operands.push_back(album);
  }
  return kExitOk;
}

// The photos the scan left out (missing or unreadable files, a second entry of one file).
void ReportLeftOutPhotos(TScanEngine& engine, std::ostream& err) {
  const auto* library = dynamic_cast<const TScannerPictureLibrary*>(engine.PhotoScannerIfMade());
  if (!library) return;
  for (const TLeftOutPhoto& p : library->LeftOut())
    err << "pelcrow-cli: photo " << p.Id << " in " << p.Album << " left out (" << p.Reason << "): " << Shown(p.FilePath)
        << "\n";
}

// Photo mode's --action delete: the selected pictures into the library's trash.
int RunPhotoAction(TScanEngine& engine, const TCliAction& action, std::ostream& out, std::ostream& err) {
  TCliPrompt prompt(err);
  if (!HasPendingSelection(engine)) return engine.ItemCount() > 0 ? kExitOk : kExitNone;
  if (!SelectionAllowed(engine)) {
    err << "pelcrow-cli: the safety lock refused the selection: nothing was processed\n";
    return kExitActionFailed;
  }
  TPhotoActionOptions options;
  options.DryRun = action.DryRun;
  options.JournalExpireDays = ProcessingOptionsOf(Settings).JournalExpireDays;
  TActionHistory history;
  const TPassResult r = ProcessPhotoRows(engine, history, options, [&](PFileItem item, const TItemOutcome& o) {
    const std::string path = item->FullPath();
    if (!o.Ok)
      out << "failed " << Shown(path) << ": " << Shown(o.Reason);
    else
      out << (action.DryRun ? "would trash " : "trashed ") << Shown(path) << " -> " << Shown(o.Target);
    EndLine(out);
  });
  out.flush();
  if (r.Failed == 0) return kExitOk;
  err << "pelcrow-cli: " << r.Failed << " of " << r.Total << " pictures were not moved into the trash\n";
  return kExitActionFailed;
}

// The folders to scan, made absolute: the masters are scanned too. kExitOk, or the exit code
// after the message.
int CheckScanFolders(TCliArgs& args, std::ostream& err) {
  std::vector<std::string>& paths = args.Operands;
  paths.insert(paths.end(), args.Masters.begin(), args.Masters.end());
  if (paths.empty()) return Bad("scan", "no folder given", err);
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
    if (const int access = platform::FolderAccessError(p)) {
      err << "pelcrow-cli: cannot scan " << p << ": " << platform::ErrorText(access) << "\n";
      return kExitUsage;
    }
  }
  return kExitOk;
}

// Runs the scan to its end, with progress on a terminal. kExitOk, or the exit code after the
// message. The engine keeps pointers to the folder lists of args.
int ScanFolders(TScanEngine& engine, TCliArgs& args, std::ostream& err) {
  TQueueMainThread mainThread;
  SetMainThread(&mainThread);
  TCliLog log(args.LogDir, TPcwLogEvents{leFileFound, leFileSkipped, leFolderScanned, leFolderSkipped},
              "Scan started");
  try {
    engine.SetIncludeFileMasks(args.IncludeMasks);
    engine.SetExcludeFileMasks(args.ExcludeMasks);
  } catch (const std::exception& e) {
    SetMainThread(nullptr);
    return Bad("scan", e.what(), err);
  }
  engine.SetIncludeFilePaths(&args.Operands);
  engine.SetExcludeFilePaths(&args.Excludes);
  engine.SetMasterFilePaths(&args.Masters);
  engine.SetReferenceFilePaths(&args.References);
  engine.FileSizeMin = args.MinSize;
  engine.FileSizeMax = args.MaxSize;
  engine.SetChecksumThreads(args.Threads);
#ifdef PELCROW_HAVE_PICTURE_DECODER
  engine.SetPictureDecoder(QtPictureDecoder());
#endif
  bool finished = false;
  engine.OnFinishedScan = [&](const TScanEngineSummaryInfo&) { finished = true; };
  const bool showProgress = platform::IsTerminal(STDERR_FILENO);
  TNoGrid grid;
  TScanSettings options = ScanSettingsOf(Settings);
  options.ScanOptions = args.ScanOptions;
  options.MasterSelectMode = !args.Masters.empty();
  // The command line says it all: without --similar-names only equal names meet.
  options.NameSimilarity = args.Mode == cmFileName ? args.NameSimilarity : 0;
  if (args.TagsGiven) {
    TMusicTagsOptions tags = args.Tags;
    tags.Set(mtCombined, options.MusicTagsOptions.Contains(mtCombined));
    options.MusicTagsOptions = tags;
  }
  if (args.NoCache) options.ChecksumCacheFolder.clear();
  if (!args.NoIgnoreList) {
    // The user's own list may not exist yet; one named on the command line must.
    const bool named = !args.IgnoreListFile.empty();
    const std::string file = named ? args.IgnoreListFile : DefaultIgnoreListFile();
    auto list = std::make_shared<TIgnoreList>();
    int e = file.empty() ? 0 : list->Load(file);
    if (e == ENOENT && !named) e = 0;
    if (e != 0) {
      SetMainThread(nullptr);
      err << "pelcrow-cli: cannot read the ignore list " << file << ": " << platform::ErrorText(e) << "\n";
      return kExitUsage;
    }
    if (!list->Empty()) options.IgnoreList = std::move(list);
  }
  if (args.Similarity != 0) options.SimilarityPercent = args.Similarity;
  engine.BuildFileList(&grid, options);
  auto last = std::chrono::steady_clock::now();
  while (!finished) {
    mainThread.WaitAndProcess(std::chrono::milliseconds(100));
    if (showProgress && std::chrono::steady_clock::now() - last >= std::chrono::seconds(1)) {
      PrintProgress(engine, err);
      last = std::chrono::steady_clock::now();
    }
  }
  if (showProgress) err << "\r\033[K" << std::flush;
  log.SetEndText("Scan finished");
  mainThread.ProcessEvents();
  SetMainThread(nullptr);
  if (!engine.LastWorkerError().empty()) {
    err << "pelcrow-cli: the scan failed: " << engine.LastWorkerError() << "\n";
    return kExitUsage;
  }
  return kExitOk;
}

// Says why nothing could be compared: which check turned away a folder or every file.
void ReportRejections(const TScanEngine& engine, std::ostream& err) {
  for (const TScanRejection& r : engine.IncludeRejections())
    err << "pelcrow-cli: " << r.Path << " was skipped by the " << r.Check << " (" << Remedy(r.Check) << ")\n";
  const TScanEngineSummaryInfo& s = engine.SummaryInfo();
  if (engine.AcceptedFiles() == 0 && s.TotalFiles > 0) {
    err << "pelcrow-cli: examined " << s.TotalFiles << " files but accepted none:\n";
    for (const TScanRejection& r : engine.FileRejections())
      err << "  " << r.Count << " rejected by the " << r.Check << " (" << Remedy(r.Check) << ")\n";
  }
}

// --format's value; the message, or empty.
std::string CheckFormat(const TCliArgs& args) {
  if (!FindFormat(args.Format)) return "unknown format \"" + args.Format + "\" (use text, csv, json or dup)";
  return {};
}

// What scan does after the scan: the list saved, exported and printed, and the selection
// processed.
int FinishScan(TScanEngine& engine, const TCliArgs& args, std::ostream& out, std::ostream& err) {
  const PFileItem stoppedAt = ApplyRule(engine, args, err);
  const int n = engine.ItemCount();
  if (!args.SaveFile.empty()) {
    try {
      engine.SaveToFile(args.SaveFile);
    } catch (const std::exception& e) {
      err << "pelcrow-cli: " << TranslateText(kListSaveFailedMessage) << " " << e.what() << "\n";
      return kExitUsage;
    }
  }
  if (!args.ExportFile.empty() && !ExportTo(engine, args.ExportFile, args.Operands, err)) return kExitUsage;
  if (!args.Action.Kind && (args.Format != "dup" || args.SaveFile.empty())) PrintGroups(engine, args, out);
  out.flush();
  if (stoppedAt) {
    err << "pelcrow-cli: --select " << args.Rule->Name << " stopped at the master file " << stoppedAt->FullPath()
        << " (group " << stoppedAt->DupGroup
        << "): the command line never selects a master file, so nothing after it is selected\n";
  }
  if (engine.CompareMode() == cmPhotoLibrary) ReportLeftOutPhotos(engine, err);
  if (IsFileComparisonMode(engine.CompareMode())) ReportRejections(engine, err);
  if (args.Action.Kind && engine.CompareMode() == cmEmails) return RunMailAction(engine, args.Action, out, err);
  if (args.Action.Kind && engine.CompareMode() == cmContacts) return RunContactAction(engine, args.Action, out, err);
  if (args.Action.Kind && engine.CompareMode() == cmPhotoLibrary) return RunPhotoAction(engine, args.Action, out, err);
  if (args.Action.Kind) return RunAction(engine, args, args.LogDir, out, err);
  return n > 0 ? kExitOk : kExitNone;
}

int RunScan(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  TCliArgs args;
  args.ScanOptions = Settings.ScanOptions;
  std::string error;
  if (!ParseArgs(ccScan, arguments, args, error)) return Bad("scan", error, err);
  gNullEnded = args.NullEnded;
  if (error = CheckFormat(args); !error.empty()) return Bad("scan", error, err);
  if (error = CheckSelectAction(args); !error.empty()) return Bad("scan", error, err);
  const bool mail = args.Mode == cmEmails;
  const bool contacts = args.Mode == cmContacts;
  const bool photos = args.Mode == cmPhotoLibrary;
  if (mail && (!args.Operands.empty() || !args.Masters.empty()))
    return Bad("scan", "mail mode scans the folders of mail stores: use --store and --folder", err);
  if (contacts && (!args.Operands.empty() || !args.Masters.empty()))
    return Bad("scan", "contacts mode scans address books: use --addressbook", err);
  if (photos && (!args.Operands.empty() || !args.Masters.empty()))
    return Bad("scan", "photo mode scans the albums of the photo library: use --library and --folder", err);
  const std::string_view actionName = args.Action.Kind ? args.Action.Kind->Name : "";
  if (contacts && !actionName.empty() && actionName != "merge" && actionName != "delete")
    return Bad("scan", "contacts mode: --action merge or --action delete (into the address book's trash folder)", err);
  if (photos && args.Action.Kind && args.Action.Kind->Operation != poDelete)
    return Bad("scan", "photo mode has one action, delete (into the photo library's trash)", err);
  if (!mail && !contacts && !photos)
    if (const int rc = CheckScanFolders(args, err); rc != kExitOk) return rc;
  TScanEngine engine(args.Mode, args.Compare);
  if (mail)
    if (const int rc = PrepareMailScan(engine, args, err); rc != kExitOk) return rc;
  if (contacts)
    if (const int rc = PrepareContactScan(engine, args, err); rc != kExitOk) return rc;
  if (photos)
    if (const int rc = PreparePhotoScan(engine, args, err); rc != kExitOk) return rc;
  if (const int rc = ScanFolders(engine, args, err); rc != kExitOk) return rc;
  return FinishScan(engine, args, out, err);
}

int RunLoad(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  TCliArgs args;
  std::string error;
  if (!ParseArgs(ccLoad, arguments, args, error)) return Bad("load", error, err);
  gNullEnded = args.NullEnded;
  if (error = CheckFormat(args); !error.empty()) return Bad("load", error, err);
  const std::vector<std::string>& files = args.Operands;
  if (files.size() != 1) return Bad("load", files.empty() ? "no list file given" : "one list file at a time", err);
  if (error = CheckSelectAction(args); !error.empty()) return Bad("load", error, err);
  TScanEngine engine(Settings.ComparisonMode(), Settings.CompareOptions);
  try {
    engine.LoadFromFile(nullptr, files[0], Settings.MasterSelectMode);
  } catch (const std::exception& e) {
    err << "pelcrow-cli: " << files[0] << ": " << TranslateText(kListNotSupportedMessage) << " (" << e.what()
        << ")\n";
    return kExitUsage;
  }
  if (args.Filtered) engine.FilterResults(nullptr, args.Filter);
  const PFileItem stoppedAt = ApplyRule(engine, args, err);
  if (!args.ExportFile.empty() && !ExportTo(engine, args.ExportFile, engine.GetIncludeFilePaths(), err))
    return kExitUsage;
  if (!args.Action.Kind) PrintGroups(engine, args, out);
  if (stoppedAt)
    err << "pelcrow-cli: --select " << args.Rule->Name << " stopped at the master file "
        << Shown(stoppedAt->FullPath()) << "\n";
  if (args.Action.Kind) return RunAction(engine, args, std::string(), out, err);
  return engine.ItemCount() > 0 ? kExitOk : kExitNone;
}

const char* ActionVerb(std::uint8_t type) {
  switch (type) {
    case faDelete: return "deleted";
    case faRecycle: return "trashed";
    case faMove: return "moved";
    case faRename: return "renamed";
    case faCreateLink: return "linked";
    case faMoveMessage: return "moved e-mails";
    case faMoveContact: return "deleted contacts";
    case faMergeContact: return "merged contacts";
    case faTrashPhoto: return "trashed pictures";
    case faHardLink: return "hard-linked";
    case faClone: return "cloned";
    default: return "unknown";
  }
}

// undo --list: every action of the journal with the state of each of its files.
void ListJournal(const std::vector<TJournalAction>& actions, std::ostream& out) {
  const std::shared_ptr<const TFormatSettings> fs = GetFormatSettings();
  int number = 0;
  for (const TJournalAction& a : actions) {
    ++number;
    int undone = 0;
    for (const TJournalItem& it : a.Items) undone += it.State == TJournalItem::jsUndone;
    out << number << "  " << a.Id << "  " << FormatShortDateLongTime(a.Started, *fs) << "  "
        << ActionVerb(a.ActionType) << "  ";
    if (a.InProgress) {
      out << "in progress";
    } else {
      out << a.Undoable() << " to undo, " << undone << " undone";
    }
    EndLine(out);
    for (const TJournalItem& it : a.Items) {
      const char* state = a.InProgress && it.State == TJournalItem::jsPlanned ? "going "
                          : it.State == TJournalItem::jsDone                    ? "done  "
                          : it.State == TJournalItem::jsUndone                  ? "undone"
                          : it.LeftoverCopy                                     ? "copied"
                                                                                : "failed";
      out << "    " << state << " " << Shown(it.FullPath());
      const bool renamed = it.ActionType == faMove || it.ActionType == faRename || it.ActionType == faMoveMessage ||
                           it.ActionType == faMoveContact;
      const char* head = renamed ? " -> " : it.ActionType == faMergeContact ? " (earlier version: " : " (kept: ";
      if (!it.Target.empty()) out << head << Shown(it.Target) << (renamed ? "" : ")");
      EndLine(out);
    }
  }
}

// The action undo --action names (an ID or a number of --list), or else the last one with
// something left to undo. nullptr after the message, with the exit code in rc.
TJournalAction* FindUndoTarget(std::vector<TJournalAction>& actions, const std::string& which, std::ostream& err,
                               int& rc) {
  rc = kExitNone;
  if (which.empty()) {
    for (auto i = actions.rbegin(); i != actions.rend(); ++i)
      if (i->Undoable() > 0) return &*i;
    err << "pelcrow-cli: there is nothing left to undo\n";
    return nullptr;
  }
  TJournalAction* target = nullptr;
  int number = 0;
  const bool numeric = which.find_first_not_of("0123456789") == std::string::npos && which.size() < 9;
  for (TJournalAction& a : actions) {
    ++number;
    if (a.Id == which || (numeric && std::stoi(which) == number)) target = &a;
  }
  if (!target) {
    rc = Bad("undo", "no action " + which + " in the journal (see --list)", err);
    return nullptr;
  }
  if (target->Undoable() == 0) {
    err << "pelcrow-cli: action " << which << " has nothing left to undo\n";
    return nullptr;
  }
  return target;
}

// Puts back what the action did; one line per file restored or failed.
int UndoAction(TJournalAction& target, const TMediaLibSyncOptions& libraries, std::ostream& out, std::ostream& err) {
  std::vector<std::string> log;
  std::vector<TJournalItem::TState> before;
  for (const TJournalItem& it : target.Items) before.push_back(it.State);
  TCliLibraryNotices notices(err);
  UndoJournalAction(target, log, &libraries);
  int restored = 0;
  for (std::size_t k = 0; k < target.Items.size(); ++k) {
    const TJournalItem& it = target.Items[k];
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

// pelcrow-cli undo: the journal's last action (or the one named) put back.
int RunUndo(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  TCliArgs args;
  std::string error;
  if (!ParseArgs(ccUndo, arguments, args, error)) return Bad("undo", error, err);
  gNullEnded = args.NullEnded;
  std::vector<TJournalAction> actions = TActionJournal::ReadAll();
  if (args.List) {
    ListJournal(actions, out);
    return kExitOk;
  }
  int rc = kExitOk;
  TJournalAction* target = FindUndoTarget(actions, args.UndoAction, err, rc);
  return target ? UndoAction(*target, MediaLibsFor(args), out, err) : rc;
}

// The cleaner's lines as they come: a replaced line is printed anew.
class TCliCleanerLog final : public IDeadTrackCleanerLog {
 public:
  explicit TCliCleanerLog(std::ostream& out) : fOut(out) {}
  void AddLogLine(const std::string& text, bool) override { fOut << text << "\n"; }
  void SetProgress(int) override {}

 private:
  std::ostream& fOut;
};

// pelcrow-cli medialib clean [--dry-run]: MPD's dead playlist entries removed.
int RunMedialib(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  TCliArgs args;
  std::string error;
  if (!ParseArgs(ccMedialib, arguments, args, error)) return Bad("medialib", error, err);
  if (args.Operands.size() != 1 || args.Operands[0] != "clean")
    return Bad("medialib", args.Operands.empty() ? "no subcommand given (use clean)" : "unknown subcommand (use clean)", err);
  if (!args.DryRun) out << TranslateText("Dead playlist entries that are removed cannot be undone: their files are gone.") << "\n";
  TCliCleanerLog log(out);
  const std::atomic<bool> never{false};
  const int dead = CleanDeadTracks(MediaLibSyncOptionsOf(Settings), args.DryRun, log, never, [&](const TDeadTrack& t) {
    out << (args.DryRun ? "would remove " : "removed ") << Shown(t.Playlist) << " " << t.Position << " " << Shown(t.Path);
    EndLine(out);
  });
  out.flush();
  return dead < 0 ? kExitActionFailed : kExitOk;
}

struct TCommandEntry {
  const char* Name;
  int (*Run)(const std::vector<std::string>& Args, std::ostream& Out, std::ostream& Err);
};

constexpr TCommandEntry kCommandEntries[] = {
    {"crc32", RunCrc32}, {"scan", RunScan}, {"load", RunLoad}, {"undo", RunUndo}, {"medialib", RunMedialib}};

}  // namespace

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) {
    err << UsageText();
    return kExitUsage;
  }
  const std::string& cmd = args[0];
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  if (cmd == "--help" || cmd == "-h" || cmd == "help") {
    out << UsageText();
    return kExitOk;
  }
  if (cmd == "--version") {
    out << "pelcrow-cli " << PELCROW_VERSION << "\n";
    return kExitOk;
  }
  // Each run starts with the paths escaped: --null is an option of the run that gives it.
  gNullEnded = false;
  if (const std::vector<std::string> scripts = ExpandStorePaths(Settings.PhotoScriptFolder); !scripts.empty())
    SetPhotoScriptFolder(scripts.front());
  for (const TCommandEntry& c : kCommandEntries)
    if (cmd == c.Name) return c.Run(rest, out, err);
  err << "pelcrow-cli: unknown command \"" << cmd << "\"\n" << UsageText();
  return kExitUsage;
}

}  // namespace pelcrow::cli
