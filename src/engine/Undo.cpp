// Undo of processing actions. A processing command leaves in every item it handled the action's
// number, its type, the path needed to go back and the file times from before. UndoAction
// reverts one action on the user-interface thread, item by item: a failure stays with its item
// (still processed, still undoable) and becomes a line of the error log the user sees at the end.
#include <algorithm>
#include <exception>
#include <initializer_list>
#include <map>
#include <string_view>

#include "base/CountText.h"
#include "base/UserPrompt.h"
#include "engine/ItemFlags.h"
#include "engine/ScanEngine.h"
#include "localization/TranslateText.h"
#include "medialib/MediaLibSync.h"
#include "platform/FileSystem.h"
#include "platform/FileTransfer.h"
#include "platform/Trash.h"

namespace pelcrow {

namespace {

// File-system timestamps come from a coarse clock and some file systems keep whole seconds, so a
// folder the action made can read up to this much older than the action's start.
constexpr std::int64_t kFolderTimeSlackNs = 1'000'000'000LL;

std::string ParentOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return std::string();
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

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

bool TScanEngine::UndoAction(int ActionNo, int TotalCount, TDateTime ActionStarted) {
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
          BeginMediaLibSync();
          syncStarted = true;
        }
        lastType = it->ActionType;
        if (UndoItem(it, log, ActionStarted)) {
          ++reverted;
          SetFileProcessed(it, false);
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
    case faMove: counts = "%d of %d items were not moved back."; break;
    case faRename: counts = "%d of %d items were not renamed."; break;
    case faDelete:
    case faRecycle:
    case faCreateLink: counts = "%d of %d items were not restored."; break;
    default: break;
  }
  if (counts != nullptr) status += FormatCounts(TranslateText(counts), {total - reverted, total}) + " ";
  status += TranslateText("See error log below.");
  return !GetUserPrompt().ShowUndoErrors(status, log);
}

bool TScanEngine::UndoItem(PFileItem Item, std::vector<std::string>& ErrorLog, TDateTime ActionStarted) {
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
        if (IsMediaCategory(Item->Category)) MediaLibAddAll(F, Item->PlayLists.get());
        break;
      }
      case faMove:
      case faRename: {
        if (target.empty() || !platform::PathExists(target)) return fail("Source file does not exist");
        const bool music = Item->Category == fcMusic;
        if (music) {
          Item->PlayLists.reset();
          if (Settings.Sync_WMP) MediaLibDeleteWMP(target, Item->PlayLists);
        }
        platform::CreateFolders(ParentOf(F));
        // Never onto a file that has taken the old name meanwhile: that would report a file as
        // back while it still sits at the target.
        const bool moved = platform::MoveFileNoOverwrite(target, F) == 0;
        if (music) {
          if (moved) {
            if (Settings.Sync_WMP) MediaLibAddWMP(F, Item->PlayLists.get());
            if (Settings.Sync_iTunes) MediaLibRenameITunes(target, F);
          } else if (Settings.Sync_WMP) {
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

}  // namespace pelcrow
