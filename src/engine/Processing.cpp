#include "engine/Processing.h"

#include <cerrno>
#include <chrono>
#include <exception>
#include <initializer_list>
#include <thread>

#include "base/CountText.h"
#include "base/UserPrompt.h"
#include "engine/ItemFlags.h"
#include "localization/TranslateText.h"
#include "logging/Logger.h"
#include "medialib/MediaLibSync.h"
#include "platform/FileOps.h"
#include "platform/FileSystem.h"
#include "platform/FileTransfer.h"
#include "platform/Links.h"
#include "platform/Trash.h"

namespace pelcrow {

namespace {

constexpr int kROAskEach = 0;
constexpr int kRONoToAll = 13;
constexpr int kROYesToAll = 14;

const char* const kCommonReasons[] = {
    " - missing required permissions (access rigths) for file",
    " - file is locked (opened) by another program (for example antivirus software)",
    " - not enough drive space to complete operation",
    " - target drive is read-only",
    " - operation timeout (while moving files over network)",
};

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (!folder.empty() && folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

std::string WithSlash(const std::string& folder) {
  return !folder.empty() && folder.back() == '/' ? folder : folder + "/";
}

// Where the extension starts (its dot), or npos. A leading dot names a hidden file, not an
// extension.
std::size_t ExtensionStart(const std::string& name) {
  const std::size_t dot = name.find_last_of('.');
  return dot == std::string::npos || dot == 0 ? std::string::npos : dot;
}

bool IsEmptyFolder(const std::string& dir) {
  platform::TFileInfo info;
  if (platform::LStat(dir, info) != 0 || info.Type != platform::TEntryType::etDirectory) return false;
  bool any = false;
  if (platform::ListDirectory(dir, [&](std::string_view, platform::TEntryType) { any = true; }) != 0) return false;
  return !any;
}

TItemOutcome Failure(int code, const std::string& reason) {
  TItemOutcome o;
  o.ErrorCode = code;
  o.Reason = reason.empty() && code != 0 ? platform::ErrorText(code) : reason;
  return o;
}

TItemOutcome Success(const std::string& target) {
  TItemOutcome o;
  o.Ok = true;
  o.Target = target;
  return o;
}

}  // namespace

// ------------------------------------------------------------------ helpers

bool HasPendingSelection(const TScanEngine& Engine) {
  const int n = Engine.ItemCount();
  for (int i = 0; i < n; ++i) {
    PFileItem it = Engine.Item(i);
    if (it->fSelected && !it->fProcessed) return true;
  }
  GetUserPrompt().ShowMessage(TMessageKind::mkInformation,
                              TranslateText(n == 0 ? "Nothing to process. Duplicate files list is empty."
                                                   : "Nothing to process. No items selected in duplicate files list."));
  return false;
}

std::string CheckUnchangedSinceScan(const TFileItem& Item, const TFileItem* Kept) {
  platform::TFileInfo info;
  const int err = platform::LStat(Item.FullPath(), info);
  if (err == ENOENT || err == ENOTDIR) return TranslateText("The file no longer exists.");
  if (err != 0) return platform::ErrorText(err);
  const bool knownIdentity = Item.Device != 0 || Item.Inode != 0;
  bool same = info.Type == platform::TEntryType::etFile && info.Size == Item.Size;
  if (same && knownIdentity) {
    same = info.Device == Item.Device && info.Inode == Item.Inode &&
           info.Modified.UnixNanoseconds() == Item.Modified.UnixNanoseconds();
  } else if (same) {
    // A loaded list keeps whole seconds only.
    same = info.Modified.UnixSeconds() == Item.Modified.UnixSeconds();
  }
  if (!same) return TranslateText("The file has changed since the scan.");
  if (Kept != nullptr) {
    platform::TFileInfo kept;
    // Following links: a kept "copy" that leads back to this very file keeps nothing.
    if (platform::Stat(Kept->FullPath(), kept) != 0 || kept.Type != platform::TEntryType::etFile ||
        kept.Size != Kept->Size || (kept.Device == info.Device && kept.Inode == info.Inode))
      return TranslateText("The kept copy of its group no longer exists or has changed.");
  }
  return std::string();
}

std::string RenamedName(const std::string& Name, const std::string& Text, bool Prefix) {
  if (Prefix) return Text + Name;
  const std::size_t ext = ExtensionStart(Name);
  if (ext == std::string::npos) return Name + Text;
  return Name.substr(0, ext) + Text + Name.substr(ext);
}

std::string MoveTargetFolder(const std::string& ItemFolder, const std::string& Folder, bool KeepStructure) {
  std::string base = Folder;
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  if (!KeepStructure) return base;
  // The item's folder is absolute: its root "/" is replaced by the target folder.
  std::string rest = ItemFolder;
  while (!rest.empty() && rest.front() == '/') rest.erase(rest.begin());
  while (!rest.empty() && rest.back() == '/') rest.pop_back();
  return rest.empty() ? base : JoinPath(base, rest);
}

std::string UniqueTarget(const std::string& Folder, const std::string& Name,
                         const std::function<bool(const std::string&)>& Taken) {
  std::string target = JoinPath(Folder, Name);
  const std::size_t ext = ExtensionStart(Name);
  const std::string stem = ext == std::string::npos ? Name : Name.substr(0, ext);
  const std::string suffix = ext == std::string::npos ? std::string() : Name.substr(ext);
  for (int n = 1; Taken(target); ++n) target = JoinPath(Folder, stem + "(" + std::to_string(n) + ")" + suffix);
  return target;
}

std::string FailureReportText(const std::string& Head, bool WithLogHint) {
  const std::string pad = "     ";
  std::string text = Head + pad + "\n\n" + TranslateText("The most common reasons are: ");
  for (const char* line : kCommonReasons) text += pad + "\n" + TranslateText(line);
  text += pad + "\n\n";
  if (WithLogHint) text += TranslateText("Please see program log for detailed information.") + pad;
  return text;
}

bool FailureReportLogged(TPcwLogEvent Event) { return Settings.EnableLogging && Settings.LogEvents.Contains(Event); }

void EnableLoggingFor(TPcwLogEvent Event) {
  Settings.LogEvents.Include(Event);
  Settings.EnableLogging = true;
}

std::string UndoActionText(std::uint8_t ActionType, int Count) {
  const char* text = nullptr;
  switch (ActionType) {
    case faDelete: text = "Delete %d items permanently."; break;
    case faRecycle: text = "Move %d items to Recycle Bin."; break;
    case faMove: text = "Move %d items to specified folder."; break;
    case faRename: text = "Rename %d items."; break;
    case faCreateLink: text = "Replace %d items with symbolic link."; break;
    default: return std::string();
  }
  return FormatCounts(TranslateText(text), {Count});
}

bool UndoAvailable(const TScanEngine& Engine, const TActionHistory& History) {
  return Engine.CompareMode() <= cmMusicTags && History.fActionNo > 0 && Engine.RealItemCount() > 0;
}

bool UndoLastAction(TScanEngine& Engine, TActionHistory& History) {
  const int no = History.fActionNo;
  if (no <= 0) return false;
  int count = 0;
  std::uint8_t type = kNoAction;
  Engine.GetActionInfo(no, count, type);
  if (count == 0 || type == kNoAction) return false;
  const TDateTime started =
      static_cast<int>(History.fActionStarted.size()) >= no ? History.fActionStarted[no - 1] : TDateTime();
  while (!Engine.UndoAction(no, count, started)) {
    Engine.GetActionInfo(no, count, type);
    if (count == 0) break;
  }
  History.fActionNo = no - 1;
  History.fActionStarted.resize(static_cast<std::size_t>(History.fActionNo));
  return true;
}

// ------------------------------------------------------------------ the run

TProcessingRun::TProcessingRun(TScanEngine& Engine, TActionHistory& History, TProcessingOptions Options,
                               IProcessingProgress* Progress)
    : fEngine(Engine), fHistory(History), fOptions(std::move(Options)), fProgress(Progress) {}

std::string TProcessingRun::ProgressText() const {
  switch (fOptions.Operation) {
    case poDelete: return TranslateText("Deleting files ...");
    case poMove: return TranslateText("Moving files ...");
    case poRename: return TranslateText("Renaming files ...");
    case poLink: return TranslateText("Replacing files ...");
  }
  return std::string();
}

std::string TProcessingRun::FailureHead(const TPassResult& Result) const {
  const char* text = "%d of %d files were not deleted.";
  switch (fOptions.Operation) {
    case poDelete: break;
    case poMove: text = "%d of %d files were not moved."; break;
    case poRename: text = "%d of %d files were not renamed."; break;
    case poLink: text = "%d of %d files were not replaced with symlink."; break;
  }
  return FormatCounts(TranslateText(text), {Result.Failed, Result.Total});
}

TPcwLogEvent TProcessingRun::LogEventKind() const {
  switch (fOptions.Operation) {
    case poDelete: return leFileDeleted;
    case poMove: return leFileMoved;
    case poRename: return leFileRenamed;
    case poLink: return leSymLink;
  }
  return leFileDeleted;
}

TPassResult TProcessingRun::RunPass() {
  TPassResult result;
  // The stamp follows the wait: folders that existed before must read clearly older than the
  // action, as undo allows a second of clock slack when it removes the folders a move made.
  if (fOptions.Operation == poMove && !fOptions.DryRun && fOptions.MoveSettleMilliseconds > 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(fOptions.MoveSettleMilliseconds));
  fPassStarted = TDateTime::Now();
  const std::string progressText = ProgressText();
  bool syncBegun = false;
  int shown = 0;
  const int rows = fEngine.ItemCount();
  for (int i = 0; i < rows; ++i) {
    if (fOptions.OnlyRow >= 0 && i != fOptions.OnlyRow) continue;
    PFileItem it = fEngine.Item(i);
    if (!it->fSelected || it->fProcessed) continue;
    if (!fOptions.DryRun && !syncBegun && IsMediaCategory(it->Category)) syncBegun = BeginMediaLibSync();
    ++result.Total;
    const std::string oldName = it->Name.str();
    TItemOutcome o;
    try {
      switch (fOptions.Operation) {
        case poDelete: o = DeleteItemFile(it); break;
        case poMove: o = MoveItemFile(it); break;
        case poRename: o = RenameItemFile(it); break;
        case poLink: o = ReplaceWithLink(it); break;
      }
    } catch (const std::exception& e) {
      o = Failure(0, e.what());
    }
    if (!o.Ok) ++result.Failed;
    if (o.Ok && !fOptions.DryRun) {
      if (!fActionOpened) {
        fActionOpened = true;
        ++fHistory.fActionNo;
        fHistory.fActionStarted.resize(static_cast<std::size_t>(fHistory.fActionNo));
        fHistory.fActionStarted.back() = fPassStarted;
      }
      std::uint8_t type = faDelete;
      switch (fOptions.Operation) {
        case poDelete: type = fOptions.Permanent ? faDelete : faRecycle; break;
        case poMove: type = faMove; break;
        case poRename: type = faRename; break;
        case poLink: type = faCreateLink; break;
      }
      SetFileProcessed(it, true);
      it->ActionGroup = fHistory.fActionNo;
      it->ActionType = type;
      it->TargetPath = TItemString(o.Target);
    }
    if (!fOptions.DryRun) LogOutcome(it, o, oldName);
    if (OnItem) OnItem(it, o);
    if (fProgress) {
      fProgress->RowChanged(i);
      const int percent = static_cast<int>(static_cast<std::int64_t>(i) * 100 / rows);
      if (percent != shown) {
        shown = percent;
        fProgress->ShowProgress(percent, progressText + " (" + std::to_string(percent) + "%)");
        fProgress->ProcessMessages();
      }
    }
  }
  if (syncBegun) EndMediaLibSync();
  return result;
}

void TProcessingRun::LogOutcome(PFileItem Item, const TItemOutcome& Outcome, const std::string& OldName) {
  const TPcwLogEvent event = LogEventKind();
  if (!Settings.LogEvents.Contains(event)) return;
  const std::string folder = WithSlash(TScanEngine::DeleteExtendedPrefix(Item->Path.str()));
  if (Outcome.Ok) {
    switch (fOptions.Operation) {
      case poDelete: LogEvent(event, folder, OldName, ""); break;
      case poMove: LogEvent(event, folder, OldName, " -> " + Outcome.Target); break;
      case poRename: {
        const std::size_t slash = Outcome.Target.find_last_of('/');
        LogEvent(event, folder, OldName, " -> " + Outcome.Target.substr(slash + 1));
        break;
      }
      case poLink: break;  // logged with the original, whatever the outcome
    }
    return;
  }
  const char* text = "Failed to delete file.";
  std::string extra;
  switch (fOptions.Operation) {
    case poDelete: break;
    case poMove: text = "Failed to move file."; extra = ":"; break;
    case poRename: text = "Failed to rename file."; break;
    case poLink: text = "Failed to replace file."; break;
  }
  LogEvent(leError, folder, OldName,
           "[" + std::to_string(Outcome.ErrorCode) + "] " + TranslateText(text) + extra + " - " + Outcome.Reason);
}

bool TProcessingRun::CheckReadOnly(const std::string& Path) {
  if (!platform::IsOwnerReadOnly(Path)) return true;
  bool yes = fEnableROProcessing == kROYesToAll;
  if (fEnableROProcessing == kROAskEach) {
    const TReadOnlyAnswer a = GetUserPrompt().AskReadOnly(
        TScanEngine::DeleteExtendedPrefix(Path) + TranslateText(" is marked as READ ONLY.") + "\n" +
        TranslateText("Do you really want to process a read only file?"));
    if (a == TReadOnlyAnswer::raNoToAll) fEnableROProcessing = kRONoToAll;
    if (a == TReadOnlyAnswer::raYesToAll) fEnableROProcessing = kROYesToAll;
    yes = a == TReadOnlyAnswer::raYes || a == TReadOnlyAnswer::raYesToAll;
  }
  return yes && platform::ClearOwnerReadOnly(Path) == 0;
}

TItemOutcome TProcessingRun::DeleteItemFile(PFileItem Item) {
  const std::string path = Item->FullPath();
  PFileItem kept = fEngine.OriginalItem(Item);
  const std::string keptPath = kept ? kept->FullPath() : std::string();
  const std::string changed = CheckUnchangedSinceScan(*Item, kept);
  if (!changed.empty()) return Failure(0, changed);
  if (fOptions.DryRun) return Success(keptPath);

  TScanEngine::SaveFileTimes(Item);
  const bool music = Item->Category == fcMusic;
  if (music) {
    Item->PlayLists.reset();
    if (Settings.Sync_WMP) MediaLibDeleteWMP(path, Item->PlayLists);
  }
  TItemOutcome o;
  if (fOptions.Permanent) {
    if (!CheckReadOnly(path)) {
      o = Failure(EACCES, TranslateText("The file is read-only."));
    } else if (const int err = platform::DeleteFileOrLink(path); err != 0) {
      o = Failure(err, std::string());
    } else {
      o = Success(keptPath);
    }
  } else {
    const platform::TTrashResult t = platform::MoveToTrash(path);
    if (t.Ok()) {
      o = Success(keptPath);
    } else {
      o = Failure(0, t.Failure == platform::TTrashFailure::tfNoTrash ? TranslateText(platform::kNoTrashText) : t.Error);
    }
  }
  if (music) {
    if (!o.Ok) {
      if (Settings.Sync_WMP) MediaLibAddWMP(path, Item->PlayLists.get());
      Item->PlayLists.reset();
    } else if (Settings.Sync_iTunes) {
      MediaLibDeleteITunes(path, Item->PlayLists);
    }
  }
  if (o.Ok) {
    fFolders.push_back(Item->Path.str());
  } else {
    TScanEngine::ReleaseFileTimes(Item);
  }
  return o;
}

TItemOutcome TProcessingRun::MoveItemFile(PFileItem Item) {
  const std::string path = Item->FullPath();
  const std::string name = Item->Name.str();
  const std::string folder = MoveTargetFolder(Item->Path.str(), fOptions.MoveFolder, fOptions.KeepFolderStructure);
  if (fOptions.DryRun) {
    const std::string target = UniqueTarget(folder, name, [&](const std::string& p) {
      return platform::PathExists(p) || fPlannedTargets.count(p) != 0;
    });
    fPlannedTargets.insert(target);
    return Success(target);
  }
  // Asked before any folder is made, so that a refused file leaves no empty folders behind.
  if (!CheckReadOnly(path)) return Failure(EACCES, TranslateText("The file is read-only."));
  if (const int err = platform::CreateFolders(folder); err != 0)
    return Failure(err, TranslateText("Cannot create the folder ") + folder + ": " + platform::ErrorText(err));
  fFolders.push_back(Item->Path.str());

  TScanEngine::SaveFileTimes(Item);
  const std::string target = UniqueTarget(folder, name, [](const std::string& p) { return platform::PathExists(p); });
  return MoveWithLibraries(Item, path, target);
}

TItemOutcome TProcessingRun::MoveWithLibraries(PFileItem Item, const std::string& path, const std::string& target) {
  const bool music = Item->Category == fcMusic;
  if (music) {
    Item->PlayLists.reset();
    if (Settings.Sync_WMP) MediaLibDeleteWMP(path, Item->PlayLists);
  }
  const int err = platform::MoveFileNoOverwrite(path, target);
  if (music) {
    if (err == 0) {
      if (Settings.Sync_WMP) MediaLibAddWMP(target, Item->PlayLists.get());
      if (Settings.Sync_iTunes) MediaLibRenameITunes(path, target);
    } else if (Settings.Sync_WMP) {
      MediaLibAddWMP(path, Item->PlayLists.get());
    }
    Item->PlayLists.reset();
  }
  if (err != 0) {
    TScanEngine::ReleaseFileTimes(Item);
    return Failure(err, std::string());
  }
  TScanEngine::RestoreFileTimes(Item, target);
  return Success(target);
}

TItemOutcome TProcessingRun::RenameItemFile(PFileItem Item) {
  const std::string path = Item->FullPath();
  const std::string newName = RenamedName(Item->Name.str(), fOptions.RenameText, fOptions.RenamePrefix);
  // The text must not lead the file into another folder.
  if (newName.find('/') != std::string::npos || fOptions.RenameText.empty()) return Failure(EINVAL, std::string());
  const std::string target = JoinPath(Item->Path.str(), newName);
  if (fOptions.DryRun) {
    if (platform::PathExists(target) || fPlannedTargets.count(target) != 0) return Failure(EEXIST, std::string());
    fPlannedTargets.insert(target);
    return Success(target);
  }
  TScanEngine::SaveFileTimes(Item);
  return MoveWithLibraries(Item, path, target);
}

TItemOutcome TProcessingRun::ReplaceWithLink(PFileItem Item) {
  const std::string path = Item->FullPath();
  PFileItem kept = fEngine.OriginalItem(Item);
  if (kept == nullptr) return Failure(0, TranslateText("Its group has no kept copy to link to."));
  const std::string keptPath = kept->FullPath();
  TItemOutcome o;
  if (std::string changed = CheckUnchangedSinceScan(*Item, kept); !changed.empty()) {
    o = Failure(0, changed);
  } else if (fOptions.DryRun) {
    return Success(keptPath);
  } else {
    TScanEngine::SaveFileTimes(Item);
    const std::string parked = path + ".sltmp";
    int err = platform::MoveFileNoOverwrite(path, parked);
    if (err == 0) {
      err = platform::CreateSymbolicLink(keptPath, path);
      bool ok = err == 0 && platform::IsSymbolicLinkFile(path);
      if (ok) {
        err = platform::DeleteFileOrLink(parked);
        ok = err == 0;
      }
      if (!ok) {
        // Back to the state found: the link goes, the file takes its name again.
        if (platform::IsSymLink(path)) platform::DeleteFileOrLink(path);
        platform::MoveFileNoOverwrite(parked, path);
        if (err == 0) err = EIO;
      }
    }
    if (err == 0) {
      o = Success(keptPath);
    } else {
      o = Failure(err, std::string());
      TScanEngine::ReleaseFileTimes(Item);
    }
  }
  if (Settings.LogEvents.Contains(leSymLink))
    LogEvent(leSymLink, WithSlash(TScanEngine::DeleteExtendedPrefix(kept->Path.str())), kept->Name.str(),
             " -> " + TScanEngine::DeleteExtendedPrefix(path));
  return o;
}

void TProcessingRun::RemoveEmptyFolders() {
  if (!Settings.ScanOptions.Contains(soRemoveEmpty)) return;
  for (auto i = fFolders.rbegin(); i != fFolders.rend(); ++i)
    if (IsEmptyFolder(*i)) platform::RemoveEmptyFolder(*i);
}

}  // namespace pelcrow
