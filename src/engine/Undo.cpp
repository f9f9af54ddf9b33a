// Undo of processing actions. A processing command leaves in every item it handled the action's
// number, its type, the path needed to go back and the file times from before. UndoAction
// reverts one action on the user-interface thread, item by item: a failure stays with its item
// (still processed, still undoable) and becomes a line of the error log the user sees at the end.
#include <fcntl.h>
#include <stdio.h>

#include <algorithm>
#include <exception>
#include <initializer_list>
#include <limits>
#include <map>
#include <string_view>

#include "base/PathText.h"
#include "base/CountText.h"
#include "base/UserPrompt.h"
#include "engine/ItemFlags.h"
#include "engine/PhotoProcessing.h"
#include "engine/ScanEngine.h"
#include "localization/TranslateText.h"
#include "medialib/MediaLibSync.h"
#include "plugins/PictureScanner.h"
#include "platform/FileSystem.h"
#include "platform/FileTransfer.h"
#include "platform/RunningPrograms.h"
#include "platform/SafeFile.h"
#include "platform/SysCalls.h"
#include "platform/Trash.h"
#include "platform/WholeFile.h"
#include "plugins/MboxMove.h"

namespace pelcrow {

namespace {

// File-system timestamps come from a coarse clock and some file systems keep whole seconds, so a
// folder the action made can read up to this much older than the action's start.
constexpr std::int64_t kFolderTimeSlackNs = 1'000'000'000LL;

// A regular file (following links) has this name.
bool FileExists(const std::string& path) {
  platform::TFileInfo info;
  return !path.empty() && platform::Stat(path, info) == 0 && info.Type == platform::TEntryType::etFile;
}

// Removes the empty folders a move made, from `dir` upwards, stopping at the first folder that
// is not empty, is older than the action, or cannot be removed.
void RemoveFoldersMadeSince(std::string dir, TDateTime since) {
  if (since.IsZero()) return;  // without the action's start no folder can be told apart
  while (!dir.empty() && dir != "/") {
    TDateTime created;
    if (platform::FolderCreationTime(dir, created) != 0) return;
    if (created.UnixNanoseconds() + kFolderTimeSlackNs < since.UnixNanoseconds()) return;
    if (platform::RemoveEmptyFolder(dir) != 0) return;
    dir = ParentOf(dir);
  }
}

}  // namespace

struct TScanEngine::TUndoTrashIndex {
  std::multimap<std::string, platform::TTrashEntry> Entries;  // by original path
};

// The trash may hold several items once called APath: the action's own and namesakes trashed
// later, by a later action or by hand. The action's item is the first one trashed since the
// action started; only when none can be told apart does the newest come back.
bool TScanEngine::RestoreFromTrashSince(const std::string& APath, TDateTime ActionStarted) {
  if (!fTrashIndex) {
    fTrashIndex = std::make_shared<TUndoTrashIndex>();
    for (platform::TTrashEntry& e : platform::ListTrashEntries())
      fTrashIndex->Entries.emplace(e.OriginalPath, std::move(e));
  }
  const platform::TTrashEntry* best = nullptr;
  if (!ActionStarted.IsZero()) {
    // Deletion dates keep whole seconds.
    const std::int64_t since = ActionStarted.UnixNanoseconds() - 1'000'000'000LL;
    auto [from, to] = fTrashIndex->Entries.equal_range(APath);
    for (auto i = from; i != to; ++i) {
      const platform::TTrashEntry& e = i->second;
      if (e.DeletionDate.IsZero() || e.DeletionDate.UnixNanoseconds() < since) continue;
      if (best == nullptr || e.DeletionDate < best->DeletionDate) best = &e;
    }
  }
  if (best == nullptr) return platform::RestoreFromRecycleBin(APath);
  return platform::RestoreTrashedItem(best->TrashedPath()).Ok();
}

// ------------------------------------------------------------------ file times

void TScanEngine::SaveFileTimes(PFileItem AItem) {
  if (AItem == nullptr) return;
  if (!AItem->PFileTimes) AItem->PFileTimes = std::make_unique<TFileDateTimeInfo>();
  platform::TFileTimes t;
  if (platform::ReadFileTimes(AItem->FullPath(), t) != 0) {
    ReleaseFileTimes(AItem);
    return;
  }
  AItem->PFileTimes->Created = t.Created;
  AItem->PFileTimes->Accessed = t.Accessed;
  AItem->PFileTimes->Modified = t.Modified;
}

void TScanEngine::RestoreFileTimes(PFileItem AItem, const std::string& ATarget) {
  if (AItem == nullptr || !AItem->PFileTimes) return;
  platform::WriteFileTimes(ATarget, AItem->PFileTimes->Accessed, AItem->PFileTimes->Modified);
}

void TScanEngine::ReleaseFileTimes(PFileItem AItem) {
  if (AItem != nullptr) AItem->PFileTimes.reset();
}

// ------------------------------------------------------------------ actions

void TScanEngine::GetActionInfo(int ActionNo, int& AffectedCount, std::uint8_t& ActionType) const {
  ActionType = kNoAction;
  AffectedCount = 0;
  // Number 0 marks items without an action (a loaded list keeps only the processed mark).
  if (ActionNo <= 0) return;
  for (const auto* list : {&fFiles, &fFilesHiddenByFilter, &fFilesHiddenByCategory}) {
    for (PFileItem it : *list) {
      if (!it->fProcessed || it->ActionGroup != ActionNo) continue;
      ++AffectedCount;
      ActionType = it->ActionType;
    }
  }
}

bool TScanEngine::MovesBack(int ActionNo) const {
  for (const auto* list : {&fFiles, &fFilesHiddenByFilter, &fFilesHiddenByCategory})
    for (const PFileItem& it : *list)
      if (it->fProcessed && it->ActionGroup == ActionNo && it->Category == fcMusic) {
        const std::uint8_t type = it->Undo ? it->Undo->ActionType : it->ActionType;
        if (type == faMove || type == faRename) return true;
      }
  return false;
}

bool TScanEngine::UndoAction(int ActionNo, int TotalCount, TDateTime ActionStarted,
                             const TMediaLibSyncOptions& MediaLibs) {
  fUndoLibraries = MediaLibs;
  std::vector<std::string> log;
  int reverted = 0;
  int seen = 0;
  std::uint8_t lastType = kNoAction;
  const std::string waitText = TranslateText("Processing ...");
  int shownPercent = 0;
  if (fUndoProgress) {
    fUndoProgress->ShowUndoProgress(waitText, 0);
    fUndoProgress->SetUndoEnabled(false);
  }
  bool syncStarted = false;
  try {
    for (auto* list : {&fFiles, &fFilesHiddenByFilter, &fFilesHiddenByCategory}) {
      for (std::size_t i = 0; i < list->size(); ++i) {
        PFileItem it = (*list)[i];
        if (ActionNo <= 0 || !it->fProcessed || it->ActionGroup != ActionNo) continue;
        if (!syncStarted && IsMediaCategory(it->Category)) {
          fUndoLibraries.MovesFiles = MovesBack(ActionNo);
          BeginMediaLibSync(fUndoLibraries);
          syncStarted = true;
        }
        lastType = it->ActionType;
        if (UndoItem(it, log, ActionStarted)) {
          ++reverted;
          SetFileProcessed(it, false);
          if (it->Emails && fCurrentPlugin) fCurrentPlugin->ItemRestored(it->Emails->OutlookIndex);
          it->ActionGroup = 0;
          it->ActionType = kNoAction;
          it->TargetPath = TItemString();
          if (list == &fFiles && fFileList) fFileList->RowChanged(static_cast<int>(i));
        }
        ++seen;
        // A count handed in too small must not push the bar past its end.
        const int percent = TotalCount > 0 ? std::min(seen * 100 / TotalCount, 100) : 100;
        if (percent != shownPercent && fUndoProgress) {
          shownPercent = percent;
          fUndoProgress->ShowUndoProgress(waitText + " (" + std::to_string(percent) + "%)", percent);
        }
      }
    }
  } catch (const std::exception& e) {
    log.push_back(TranslateText("General error: ") + e.what());
  }
  fTrashIndex.reset();
  if (syncStarted) EndMediaLibSync();
  if (fUndoProgress) fUndoProgress->HideUndoProgress();

  // Every failure left a line: a walk with lines is no success, whatever count came in.
  if (reverted == TotalCount && log.empty()) {
    GetUserPrompt().ShowMessage(TMessageKind::mkInformation, TranslateText("The operation completed successfully.") + "    ");
    return true;
  }
  const int total = std::max(TotalCount, seen);
  std::string status = TranslateText("The operation completed with the following warnings:") + "\n";
  const char* counts = nullptr;
  switch (lastType) {
    case faMove:
    case faMoveMessage:
    case faMoveContact: counts = "%d of %d items were not moved back."; break;
    case faMergeContact: counts = "%d of %d items were not restored."; break;
    case faRename: counts = "%d of %d items were not renamed."; break;
    case faDelete:
    case faRecycle:
    case faTrashPhoto:
    case faHardLink:
    case faClone:
    case faCreateLink: counts = "%d of %d items were not restored."; break;
    default: break;
  }
  if (counts != nullptr) status += FormatCounts(TranslateText(counts), {total - reverted, total}) + " ";
  status += TranslateText("See error log below.");
  return !GetUserPrompt().ShowUndoErrors(status, log);
}

bool TScanEngine::UndoItem(PFileItem Item, std::vector<std::string>& ErrorLog, TDateTime ActionStarted) {
  if (!Item->Undo) return UndoItemUnrecorded(Item, ErrorLog, ActionStarted);
  TJournalItem& rec = *Item->Undo;
  const std::string F = Item->FullPath();
  const bool music = Item->Category == fcMusic;
  const bool moveBack = rec.ActionType == faMove || rec.ActionType == faRename;  // music files only
  if (music && moveBack) {
    Item->PlayLists.reset();
    if (fUndoLibraries.WMP) MediaLibDeleteWMP(rec.Target, Item->PlayLists);
  }
  std::string why;
  bool ok = false;
  try {
    ok = RevertJournalItem(rec, ActionStarted, why);
  } catch (const std::exception& e) {
    why = e.what();
  }
  if (music && moveBack) {
    if (ok) {
      if (fUndoLibraries.WMP) MediaLibAddWMP(F, Item->PlayLists.get());
      if (fUndoLibraries.iTunes) MediaLibRenameITunes(rec.Target, F);
    } else if (fUndoLibraries.WMP) {
      MediaLibAddWMP(rec.Target, Item->PlayLists.get());
    }
    Item->PlayLists.reset();
  }
  if (!ok) {
    ErrorLog.push_back(DeleteExtendedPrefix(F) + " -> " + why);
    return false;
  }
  if ((rec.ActionType == faDelete || rec.ActionType == faRecycle) && IsMediaCategory(Item->Category))
    MediaLibAddAll(F, Item->PlayLists.get(), fUndoLibraries);
  if (!rec.JournalId.empty()) TActionJournal::MarkUndone(rec);
  ReleaseFileTimes(Item);
  Item->Undo.reset();
  return true;
}

bool TScanEngine::UndoItemUnrecorded(PFileItem Item, std::vector<std::string>& ErrorLog, TDateTime ActionStarted) {
  const std::string F = Item->FullPath();
  const std::string target = Item->TargetPath.str();
  auto fail = [&](std::string_view message) {
    ErrorLog.push_back(DeleteExtendedPrefix(F) + " -> " + TranslateText(message));
    return false;
  };
  // A copy of the kept file takes the item's place; true when the item's name exists afterwards.
  auto copyBack = [&]() {
    platform::CreateFolders(ParentOf(F));
    platform::CopyFileNoOverwrite(target, F);
    return platform::PathExists(F);
  };

  try {
    switch (Item->ActionType) {
      case faDelete:
      case faRecycle: {
        bool back = false;
        if (Item->ActionType == faRecycle) {
          // Brought back by hand already, or still in the trash.
          back = platform::PathExists(F) || RestoreFromTrashSince(DeleteExtendedPrefix(F), ActionStarted);
        }
        if (!back) {
          if (!FileExists(target)) return fail("Original file does not exist");
          if (!copyBack()) return fail("Cannot write to destination file");
        }
        if (IsMediaCategory(Item->Category)) MediaLibAddAll(F, Item->PlayLists.get(), fUndoLibraries);
        break;
      }
      case faMove:
      case faRename: {
        if (target.empty() || !platform::PathExists(target)) return fail("Source file does not exist");
        const bool music = Item->Category == fcMusic;
        if (music) {
          Item->PlayLists.reset();
          if (fUndoLibraries.WMP) MediaLibDeleteWMP(target, Item->PlayLists);
        }
        platform::CreateFolders(ParentOf(F));
        // Never onto a file that has taken the old name meanwhile: that would report a file as
        // back while it still sits at the target.
        const bool moved = platform::MoveFileNoOverwrite(target, F) == 0;
        if (music) {
          if (moved) {
            if (fUndoLibraries.WMP) MediaLibAddWMP(F, Item->PlayLists.get());
            if (fUndoLibraries.iTunes) MediaLibRenameITunes(target, F);
          } else if (fUndoLibraries.WMP) {
            MediaLibAddWMP(target, Item->PlayLists.get());
          }
          Item->PlayLists.reset();
        }
        if (!moved) return fail("Cannot write to destination file");
        if (Item->ActionType == faMove) RemoveFoldersMadeSince(ParentOf(target), ActionStarted);
        break;
      }
      case faCreateLink: {
        if (!FileExists(target)) return fail("Original file does not exist");
        platform::CreateFolders(ParentOf(F));
        // Only the link goes: a real file that took its place meanwhile is the user's and stays.
        if (platform::IsSymLink(F)) platform::DeleteFileOrLink(F);
        if (platform::IsSymLink(F)) return fail("Unable to delete a symbolic link");
        if (!platform::PathExists(F) && !copyBack()) return fail("Cannot write to destination file");
        break;
      }
      default:
        return fail("Unknown action");
    }
  } catch (const std::exception& e) {
    ErrorLog.push_back(DeleteExtendedPrefix(F) + " -> " + e.what());
    return false;
  }
  RestoreFileTimes(Item, F);
  ReleaseFileTimes(Item);
  return true;
}


// ------------------------------------------------------------------ reverting one journal record

namespace {

// The kept copy still is what the action left it as (an unrecorded identity: any regular file).
bool KeptUsable(const platform::TEntryStat& now, const platform::TFileIdentity& id) {
  if (id.Inode == 0 && id.Size == 0 && id.ModifiedNs == 0) return now.IsFile();
  return platform::MatchesIdentity(now, id);
}

platform::TFileMeta MetaOf(const TJournalItem& R) {
  platform::TFileMeta m;
  // A record settled after a crash may lack the mode: the kept copy's own then stands.
  m.Given = R.Source.Mode != 0;
  m.Mode = static_cast<mode_t>(R.Source.Mode);
  m.Uid = static_cast<uid_t>(R.Source.Uid);
  m.Gid = static_cast<gid_t>(R.Source.Gid);
  m.Accessed = TDateTime::FromUnixNanoseconds(R.Source.AccessedNs);
  m.Modified = TDateTime::FromUnixNanoseconds(R.Source.ModifiedNs);
  return m;
}

// Opens the kept copy of a delete or link and checks it is still what it was.
bool OpenKept(const TJournalItem& R, platform::TCheckedFolder& dir, std::string& why) {
  platform::TEntryStat kept;
  if (R.Target.empty() || dir.Open(ParentOf(R.Target)) != 0 || platform::StatEntry(dir.Fd(), BaseOf(R.Target), kept) != 0) {
    why = TranslateText("Original file does not exist");
    return false;
  }
  if (!KeptUsable(kept, R.TargetId)) {
    why = TranslateText("The kept copy has changed since the action");
    return false;
  }
  return true;
}

// A copy of the kept file, with the processed file's owner, mode and times, under Name.
bool CopyBack(const TJournalItem& R, platform::TCheckedFolder& home, std::string& why) {
  platform::TCheckedFolder keptDir;
  if (!OpenKept(R, keptDir, why)) return false;
  const platform::TFileMeta meta = MetaOf(R);
  platform::TTransferInfo info;
  if (const int err = platform::CopyFileAt(keptDir.Fd(), BaseOf(R.Target), home.Fd(), R.Name, &info, &meta)) {
    why = TranslateText("Cannot write to destination file") + ": " +
          (info.Detail.empty() ? platform::ErrorText(err) : info.Detail + ": " + platform::ErrorText(err));
    return false;
  }
  return true;
}

std::string UndoTempName(const TJournalItem& R) { return "." + R.Name.substr(0, 200) + ".pelcrow-undo"; }

bool IsLinkTo(const platform::TCheckedFolder& dir, const std::string& name, const std::string& target) {
  char buf[4096];
  const ssize_t n = platform::Sys().ReadlinkAt(dir.Fd(), name.c_str(), buf, sizeof buf);
  return n >= 0 && std::string(buf, static_cast<std::size_t>(n)) == target;
}

// What an interrupted undo of a link may have left under its temporary name: the action's link
// or the copy meant to replace it. Anything else there is left alone.
void RemoveLinkUndoLeftover(const TJournalItem& R, const platform::TCheckedFolder& home) {
  const std::string tmp = UndoTempName(R);
  platform::TEntryStat st;
  if (platform::StatEntry(home.Fd(), tmp, st) != 0) return;
  bool ours = st.IsLink() && IsLinkTo(home, tmp, R.Target);
  if (!ours && st.IsFile() && st.ModifiedNs == R.Source.ModifiedNs) {
    platform::TCheckedFolder keptDir;
    std::string why;
    bool same = false;
    ours = OpenKept(R, keptDir, why) &&
           platform::SameContentAt(home.Fd(), tmp, keptDir.Fd(), BaseOf(R.Target), same) == 0 && same;
  }
  if (ours) platform::Sys().UnlinkAt(home.Fd(), tmp.c_str(), 0);
}

// The symbolic link the action made, and only that, gives way to a copy of the kept file.
bool ReplaceLinkByCopy(const TJournalItem& R, platform::TCheckedFolder& home, std::string& why) {
  platform::TCheckedFolder keptDir;
  if (!OpenKept(R, keptDir, why)) return false;
  RemoveLinkUndoLeftover(R, home);
  const std::string tmp = UndoTempName(R);
  const platform::TFileMeta meta = MetaOf(R);
  platform::TTransferInfo info;
  if (const int err = platform::CopyFileAt(keptDir.Fd(), BaseOf(R.Target), home.Fd(), tmp, &info, &meta)) {
    why = TranslateText("Cannot write to destination file") + ": " + platform::ErrorText(err);
    return false;
  }
  auto isOurLink = [&](const std::string& name) { return IsLinkTo(home, name, R.Target); };
  // One exchange: the name is never empty, and whatever held it is looked at before it goes.
  if (platform::Sys().RenameAt(home.Fd(), tmp.c_str(), home.Fd(), R.Name.c_str(), RENAME_EXCHANGE) == 0) {
    // The link must go too, or the exchange is taken back and the undo can be tried again.
    if (isOurLink(tmp) && platform::Sys().UnlinkAt(home.Fd(), tmp.c_str(), 0) == 0) return true;
    platform::Sys().RenameAt(home.Fd(), tmp.c_str(), home.Fd(), R.Name.c_str(), RENAME_EXCHANGE);
  } else if (isOurLink(R.Name) && platform::Sys().UnlinkAt(home.Fd(), R.Name.c_str(), 0) == 0 &&
             platform::Sys().RenameAt(home.Fd(), tmp.c_str(), home.Fd(), R.Name.c_str(), RENAME_NOREPLACE) == 0) {
    return true;
  }
  // Only the copy made above goes: after a failed exchange back the name may hold another file.
  platform::TEntryStat left;
  if (platform::StatEntry(home.Fd(), tmp, left) == 0 && left.Inode == info.Inode)
    platform::Sys().UnlinkAt(home.Fd(), tmp.c_str(), 0);
  why = TranslateText("Unable to delete a symbolic link");
  return false;
}

// A file at the old name that is the one an earlier undo put back (the bytes of the kept copy
// and the deleted file's modification time): undo of that item was done, only not recorded.
bool IsOurCopy(const TJournalItem& R, const platform::TCheckedFolder& home, const platform::TEntryStat& there) {
  if (!there.IsFile() || there.ModifiedNs != R.Source.ModifiedNs || there.Size != R.Source.Size) return false;
  platform::TCheckedFolder keptDir;
  std::string why;
  if (!OpenKept(R, keptDir, why)) return false;
  bool same = false;
  return platform::SameContentAt(home.Fd(), R.Name, keptDir.Fd(), BaseOf(R.Target), same) == 0 && same;
}

// A picture goes back out of its library's trash; its file never moved.
bool RevertTrashedPhoto(const TJournalItem& R, std::string& Why) {
  if (PhotoManagerRunsOn(R.TrashDir)) {
    Why = TranslateText(kPhotoManagerRunningText);
    return false;
  }
  return RestoreLibraryPhoto(PhotoScriptFolder(), R.TrashDir, R.TrashName, R.FullPath(), Why);
}

// The item's old place: its folder, and what has its name now.
struct TOldPlace {
  platform::TCheckedFolder Home;
  platform::TEntryStat There;
  bool Occupied = false;
  bool Ours = false;  // the very file the action took away
};

std::string NameTakenText(const char* head) {
  return TranslateText(head) + ": " + TranslateText("another file has its name now");
}

bool RevertTrashed(const TJournalItem& R, TOldPlace& at, std::string& Why) {
  // Put back by hand already (trash-restore, the file manager): the same inode is there.
  if (at.Ours || (at.Occupied && IsOurCopy(R, at.Home, at.There))) return true;
  if (at.Occupied) {
    Why = NameTakenText("Cannot write to destination file");
    return false;
  }
  if (!R.TrashName.empty()) {
    const platform::TTrashResult t = platform::RestoreTrashedItem(
        R.TrashDir + "/files/" + R.TrashName, {R.Source.Inode, R.Source.Size, R.Source.ModifiedNs});
    if (t.Ok()) return true;
    if (t.Failure != platform::TTrashFailure::tfNotFound) {
      Why = t.Error;
      return false;
    }
  }
  // The trash entry is gone: the kept copy holds the same bytes.
  if (CopyBack(R, at.Home, Why)) return true;
  Why = TranslateText("Its trash entry is gone") + "; " + Why;
  return false;
}

bool RevertMoved(const TJournalItem& R, TOldPlace& at, TDateTime ActionStarted, std::string& Why) {
  platform::TCheckedFolder from;
  platform::TEntryStat moved;
  const std::string name = BaseOf(R.Target);
  if (R.Target.empty() || from.Open(ParentOf(R.Target)) != 0 || platform::StatEntry(from.Fd(), name, moved) != 0 ||
      (R.TargetId.Inode != 0 && moved.Inode != R.TargetId.Inode)) {
    // Moved back by an undo that could not record it: the file at the old name is the moved
    // one (its inode, or across file systems its size, time to the nanosecond and mode).
    const platform::TEntryStat& there = at.There;
    if (at.Occupied && there.IsFile() &&
        ((R.TargetId.Inode != 0 && there.Inode == R.TargetId.Inode) ||
         (there.Size == R.Source.Size && there.ModifiedNs == R.Source.ModifiedNs && there.Mode == R.Source.Mode)))
      return true;
    Why = TranslateText("Source file does not exist");
    return false;
  }
  if (at.Occupied) {
    Why = TranslateText("Cannot write to destination file");
    return false;
  }
  platform::TTransferInfo info;
  if (const int err = platform::MoveFileAt(from.Fd(), name, at.Home.Fd(), R.Name, &info)) {
    Why = TranslateText("Cannot write to destination file") + ": " +
          (info.Detail.empty() ? platform::ErrorText(err) : info.Detail + ": " + platform::ErrorText(err));
    return false;
  }
  if (R.ActionType == faMove) RemoveFoldersMadeSince(ParentOf(R.Target), ActionStarted);
  return true;
}

// A rewritten file (a merged contact) gets its earlier version back from the trash folder, in
// one exchange, and only while the file at its name is still the one the action wrote: an edit
// made since is the user's and stays.
bool RevertRewritten(const TJournalItem& R, TOldPlace& at, std::string& Why) {
  if (at.Ours) return true;  // the earlier version is back already
  platform::TCheckedFolder trash;
  platform::TEntryStat kept;
  const std::string name = BaseOf(R.Target);
  auto isEarlier = [&](const platform::TEntryStat& s) {
    return s.IsFile() && s.Inode == R.Source.Inode && s.Device == R.Source.Device && s.Size == R.Source.Size &&
           s.ModifiedNs == R.Source.ModifiedNs;
  };
  if (R.Target.empty() || trash.Open(ParentOf(R.Target)) != 0 || platform::StatEntry(trash.Fd(), name, kept) != 0 ||
      !isEarlier(kept)) {
    Why = TranslateText("the earlier version is gone from the trash folder");
    return false;
  }
  if (!at.Occupied) {
    if (platform::Sys().RenameAt(trash.Fd(), name.c_str(), at.Home.Fd(), R.Name.c_str(), RENAME_NOREPLACE) != 0) {
      Why = TranslateText("Cannot write to destination file") + ": " + platform::ErrorText(errno);
      return false;
    }
    return true;
  }
  auto isWritten = [&](const platform::TEntryStat& s) {
    return s.IsFile() && s.Inode == R.TargetId.Inode && s.Device == R.TargetId.Device && s.Size == R.TargetId.Size &&
           s.ModifiedNs == R.TargetId.ModifiedNs;
  };
  if (!isWritten(at.There)) {
    Why = TranslateText("the file has changed since the action");
    return false;
  }
  if (platform::Sys().RenameAt(trash.Fd(), name.c_str(), at.Home.Fd(), R.Name.c_str(), RENAME_EXCHANGE) != 0) {
    Why = TranslateText("Cannot write to destination file") + ": " + platform::ErrorText(errno);
    return false;
  }
  // What went to the trash folder must be the written version; a file saved meanwhile comes back.
  platform::TEntryStat swapped;
  if (platform::StatEntry(trash.Fd(), name, swapped) != 0 || !isWritten(swapped)) {
    platform::Sys().RenameAt(trash.Fd(), name.c_str(), at.Home.Fd(), R.Name.c_str(), RENAME_EXCHANGE);
    Why = TranslateText("the file has changed since the action");
    return false;
  }
  platform::Sys().UnlinkAt(trash.Fd(), name.c_str(), 0);
  return true;
}

bool RevertLinked(const TJournalItem& R, TOldPlace& at, std::string& Why) {
  if (!at.Occupied) return CopyBack(R, at.Home, Why);
  if (IsOurCopy(R, at.Home, at.There)) {
    RemoveLinkUndoLeftover(R, at.Home);
    return true;
  }
  if (!at.There.IsLink()) {
    Why = NameTakenText("Unable to delete a symbolic link");
    return false;
  }
  return ReplaceLinkByCopy(R, at.Home, Why);
}

// The hard link or clone the action left, and only that, gives way to a fresh copy of the kept
// file with the item's own mode, owner and times: the file has its own blocks again.
bool RevertShared(const TJournalItem& R, TOldPlace& at, std::string& Why) {
  const auto isResult = [&](const platform::TEntryStat& s) {
    return s.IsFile() && R.Result.Inode != 0 && s.Inode == R.Result.Inode && s.Device == R.Result.Device &&
           s.Size == R.Result.Size && s.ModifiedNs == R.Result.ModifiedNs;
  };
  platform::TFileMeta meta = MetaOf(R);
  meta.OwnData = true;
  if (!at.Occupied) {
    platform::TCheckedFolder keptDir;
    if (!OpenKept(R, keptDir, Why)) return false;
    platform::TTransferInfo info;
    if (const int err = platform::CopyFileAt(keptDir.Fd(), BaseOf(R.Target), at.Home.Fd(), R.Name, &info, &meta)) {
      Why = TranslateText("Cannot write to destination file") + ": " + platform::ErrorText(err);
      return false;
    }
    return true;
  }
  if (!isResult(at.There)) {
    // Put back by an undo that could not record it: a file of its own with the item's bytes.
    if (at.There.IsFile() && at.There.Inode != R.Result.Inode && IsOurCopy(R, at.Home, at.There)) return true;
    Why = TranslateText("the file has changed since the action");
    return false;
  }
  platform::TCheckedFolder keptDir;
  if (!OpenKept(R, keptDir, Why)) return false;
  const std::string tmp = "." + R.Name.substr(0, 200) + ".pelcrow-unshare";
  platform::TEntryStat left;
  if (platform::StatEntry(at.Home.Fd(), tmp, left) == 0 && left.IsFile() && left.ModifiedNs == R.Source.ModifiedNs &&
      left.Size == R.Source.Size)
    platform::Sys().UnlinkAt(at.Home.Fd(), tmp.c_str(), 0);  // an interrupted undo's copy
  platform::TTransferInfo info;
  if (const int err = platform::CopyFileAt(keptDir.Fd(), BaseOf(R.Target), at.Home.Fd(), tmp, &info, &meta)) {
    Why = TranslateText("Cannot write to destination file") + ": " +
          (info.Detail.empty() ? platform::ErrorText(err) : info.Detail + ": " + platform::ErrorText(err));
    return false;
  }
  if (platform::Sys().RenameAt(at.Home.Fd(), tmp.c_str(), at.Home.Fd(), R.Name.c_str(), RENAME_EXCHANGE) != 0) {
    Why = TranslateText("Cannot write to destination file") + ": " + platform::ErrorText(errno);
    platform::Sys().UnlinkAt(at.Home.Fd(), tmp.c_str(), 0);
    return false;
  }
  // What left the name must be what the action made; a file saved there meanwhile comes back.
  platform::TEntryStat swapped;
  if (platform::StatEntry(at.Home.Fd(), tmp, swapped) != 0 || !isResult(swapped)) {
    if (platform::Sys().RenameAt(at.Home.Fd(), tmp.c_str(), at.Home.Fd(), R.Name.c_str(), RENAME_EXCHANGE) == 0)
      platform::Sys().UnlinkAt(at.Home.Fd(), tmp.c_str(), 0);
    Why = TranslateText("the file has changed since the action");
    return false;
  }
  platform::Sys().UnlinkAt(at.Home.Fd(), tmp.c_str(), 0);
  return true;
}

// An mbox message goes back the way it came: appended to its old file, cut from the one it went to.
bool RevertMboxMove(const TJournalItem& R, std::string& Why) {
  TMboxTransfer t;
  t.Source = R.Target;
  t.Target = R.FullPath();
  t.Ref = R.Mbox;
  t.At = R.Mbox.TargetAt;
  t.Search = true;  // an earlier undo of the same folder moved it up
  t.CreateTarget = true;
  t.AppendedAt = R.UndoAppendAt;
  TMboxTransferHooks hooks;
  hooks.BeforeAppend = [&](const TMboxTransferResult& r) {
    return R.JournalId.empty() ? 0 : TActionJournal::MarkUndoAppend(R, r.Ref.TargetAt);
  };
  const TMboxTransferResult r = TransferMboxMessage(t, hooks);
  if (r.Ok) return true;
  // Undone by a run that ended before it could record so: the message is where that run put it.
  if (R.UndoAppendAt >= 0) {
    std::string text;
    if (platform::ReadWholeFile(t.Target, text, std::numeric_limits<std::int64_t>::max()) == 0 &&
        FindMboxMessage(text, SplitMbox(text), R.Mbox, R.UndoAppendAt, false) >= 0) {
      std::string source;
      if (platform::ReadWholeFile(t.Source, source, std::numeric_limits<std::int64_t>::max()) != 0 ||
          FindMboxMessage(source, SplitMbox(source), R.Mbox, R.Mbox.TargetAt, true) < 0)
        return true;
    }
  }
  Why = r.Why;
  return false;
}

}  // namespace

bool RevertJournalItem(const TJournalItem& R, TDateTime ActionStarted, std::string& Why) {
  if (R.ActionType == faTrashPhoto) return RevertTrashedPhoto(R, Why);
  if (R.Mbox.Used) return RevertMboxMove(R, Why);
  platform::CreateFolders(R.Folder);
  TOldPlace at;
  if (const int err = at.Home.Open(R.Folder)) {
    Why = TranslateText("Cannot write to destination file") + ": " + platform::ErrorText(err);
    return false;
  }
  at.Occupied = platform::StatEntry(at.Home.Fd(), R.Name, at.There) == 0;
  // Inode numbers are reused at once: the file must also have the item's type, size and time.
  const platform::TEntryStat& there = at.There;
  at.Ours = at.Occupied && R.Source.Inode != 0 && there.Inode == R.Source.Inode && there.Device == R.Source.Device &&
            there.Mode == R.Source.Mode && there.Size == R.Source.Size && there.ModifiedNs == R.Source.ModifiedNs;
  switch (R.ActionType) {
    case faRecycle:
      return RevertTrashed(R, at, Why);
    case faDelete:
      if (at.Occupied && IsOurCopy(R, at.Home, there)) return true;
      if (at.Occupied) {
        Why = NameTakenText("Cannot write to destination file");
        return false;
      }
      return CopyBack(R, at.Home, Why);
    case faMove:
    case faMoveMessage:
    case faMoveContact:
    case faRename:
      return RevertMoved(R, at, ActionStarted, Why);
    case faMergeContact:
      return RevertRewritten(R, at, Why);
    case faCreateLink:
      return RevertLinked(R, at, Why);
    case faHardLink:
    case faClone:
      return RevertShared(R, at, Why);
    default:
      Why = TranslateText("Unknown action");
      return false;
  }
}

namespace {

// A move across file systems that was cut short between publishing its copy and removing the
// source left a whole copy at its target: the copy goes when it still holds the source's bytes.
bool RemoveLeftoverCopy(const TJournalAction& Action, const TJournalItem& R) {
  for (const TJournalItem& other : Action.Items)
    if (&other != &R && other.Target == R.Target && other.State == TJournalItem::jsDone) return false;
  platform::TCheckedFolder from, to;
  platform::TEntryStat source, copy;
  const std::string name = BaseOf(R.Target);
  bool same = false;
  if (from.Open(R.Folder, R.FolderId) != 0 || platform::StatEntry(from.Fd(), R.Name, source) != 0) return false;
  if (to.Open(ParentOf(R.Target)) != 0 || platform::StatEntry(to.Fd(), name, copy) != 0) return true;
  if (!copy.IsFile() || platform::PossiblySameFile(copy, source) || copy.Size != source.Size ||
      copy.ModifiedNs != source.ModifiedNs)
    return false;
  if (platform::SameContentAt(from.Fd(), R.Name, to.Fd(), name, same) != 0 || !same) return false;
  return platform::Sys().UnlinkAt(to.Fd(), name.c_str(), 0) == 0;
}

}  // namespace

namespace {

// One journal item put back with the media libraries following, as the undo of a result item.
bool RevertWithLibraries(TJournalItem& Rec, TDateTime Started, std::string& Why, TMediaLibSyncOptions& Libs) {
  const bool moveBack = Rec.ActionType == faMove || Rec.ActionType == faRename;
  const std::string F = Rec.FullPath();
  std::unique_ptr<TPlaylistList> lists;
  if (!Rec.PlayLists.empty()) lists = std::make_unique<TPlaylistList>(Rec.PlayLists);
  if (moveBack && Libs.WMP) {
    lists.reset();
    MediaLibDeleteWMP(Rec.Target, lists);
  }
  const bool ok = RevertJournalItem(Rec, Started, Why);
  if (moveBack) {
    if (ok) {
      if (Libs.WMP) MediaLibAddWMP(F, lists.get());
      if (Libs.iTunes) MediaLibRenameITunes(Rec.Target, F);
    } else if (Libs.WMP) {
      MediaLibAddWMP(Rec.Target, lists.get());
    }
  } else if (ok && (Rec.ActionType == faDelete || Rec.ActionType == faRecycle)) {
    MediaLibAddAll(F, lists.get(), Libs);
  }
  return ok;
}

}  // namespace

int UndoJournalAction(TJournalAction& Action, std::vector<std::string>& Log, const TMediaLibSyncOptions* MediaLibs) {
  int reverted = 0;
  if (Action.InProgress) return 0;
  TMediaLibSyncOptions libs = MediaLibs ? *MediaLibs : TMediaLibSyncOptions();
  bool syncCalled = false;
  for (TJournalItem& rec : Action.Items) {
    std::string why;
    if (rec.LeftoverCopy && (rec.Mbox.Used ? RemoveMboxLeftover(rec.Mbox, rec.Target, why) : RemoveLeftoverCopy(Action, rec))) {
      rec.LeftoverCopy = false;
      TActionJournal::MarkUndone(rec);
    }
  }
  // Last done first, as the reverse of the action.
  for (auto i = Action.Items.rbegin(); i != Action.Items.rend(); ++i) {
    TJournalItem& rec = *i;
    if (rec.State != TJournalItem::jsDone) continue;
    std::string why;
    const bool withLibraries = MediaLibs && rec.Media && (libs.WMP || libs.iTunes);
    // Called once, whatever it returns, as the undo of result items does.
    if (withLibraries && !syncCalled) {
      libs.MovesFiles = std::any_of(Action.Items.begin(), Action.Items.end(), [](const TJournalItem& r) {
        return r.State == TJournalItem::jsDone && r.Media && (r.ActionType == faMove || r.ActionType == faRename);
      });
      BeginMediaLibSync(libs);
      syncCalled = true;
    }
    const bool ok = withLibraries ? RevertWithLibraries(rec, Action.Started, why, libs)
                                  : RevertJournalItem(rec, Action.Started, why);
    if (ok) {
      rec.State = TJournalItem::jsUndone;
      TActionJournal::MarkUndone(rec);
      ++reverted;
    } else {
      Log.push_back(rec.FullPath() + " -> " + why);
    }
  }
  if (syncCalled) EndMediaLibSync();
  return reverted;
}

}  // namespace pelcrow
