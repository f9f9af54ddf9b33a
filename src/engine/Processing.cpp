#include "engine/Processing.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <exception>
#include <initializer_list>
#include <iterator>
#include <stdexcept>
#include <thread>

#include "base/PathText.h"
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
#include "platform/SafeFile.h"
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

std::string SafeFailureText(const platform::TSafeResult& R) {
  switch (R.Failure) {
    case platform::TSafeFailure::sfNone: return std::string();
    case platform::TSafeFailure::sfFolderChanged:
      return TranslateText("The folder of the file is no longer the one the scan saw.");
    case platform::TSafeFailure::sfGone: return TranslateText("The file no longer exists.");
    case platform::TSafeFailure::sfChanged: return TranslateText("The file has changed since the scan.");
    case platform::TSafeFailure::sfKeptGone:
    case platform::TSafeFailure::sfKeptChanged:
      return TranslateText("The kept copy of its group no longer exists or has changed.");
    case platform::TSafeFailure::sfKeptSameFile:
      return TranslateText("The kept copy of its group may be this very file, seen through another device.");
    case platform::TSafeFailure::sfSystem:
      return R.Detail.empty() ? platform::ErrorText(R.Error) : R.Detail + ": " + platform::ErrorText(R.Error);
  }
  return std::string();
}

std::string CheckUnchangedSinceScan(const TFileItem& Item, const TFileItem* Kept) {
  const platform::TScannedFile item = ScannedFileOf(Item, {});
  platform::TScannedFile kept;
  if (Kept) kept = ScannedFileOf(*Kept, {});
  platform::TSafeFileAction act;
  return SafeFailureText(act.Prepare(item, Kept ? &kept : nullptr, false));
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

bool FailureReportLogged(const TPcwSettings& Record, TPcwLogEvent Event) {
  return Record.EnableLogging && Record.LogEvents.Contains(Event);
}

void EnableLoggingFor(TPcwSettings& Record, TPcwLogEvent Event) {
  Record.LogEvents.Include(Event);
  Record.EnableLogging = true;
}

TProcessingOptions ProcessingOptionsOf(const TPcwSettings& Record) {
  TProcessingOptions o;
  o.JournalExpireDays = Record.UndoJournalDays;
  o.LogEvents = Record.LogEvents;
  o.MediaLibs = MediaLibSyncOptionsOf(Record);
  o.RemoveEmpty = Record.ScanOptions.Contains(soRemoveEmpty);
  return o;
}

std::string UndoActionText(std::uint8_t ActionType, int Count) {
  const char* text = nullptr;
  switch (ActionType) {
    case faDelete: text = "Delete %d items permanently."; break;
    case faRecycle: text = "Move %d items to Recycle Bin."; break;
    case faMove:
    case faMoveMessage: text = "Move %d items to specified folder."; break;
    case faMoveContact: text = "Move %d contacts to the address book's trash folder."; break;
    case faMergeContact: text = "Merge %d contacts."; break;
    case faRename: text = "Rename %d items."; break;
    case faCreateLink: text = "Replace %d items with symbolic link."; break;
    case faTrashPhoto: text = "Move %d pictures to the photo library's trash."; break;
    case faHardLink: text = "Replace %d items with hard links."; break;
    case faClone: text = "Replace %d items with copy-on-write clones."; break;
    default: return std::string();
  }
  return FormatCounts(TranslateText(text), {Count});
}

void MarkStoreRowDone(TActionHistory& History, bool& Opened, TDateTime Started, PFileItem It, std::uint8_t ActionType,
                      const std::string& Target, const TJournalItem& Record) {
  if (!Opened) {
    ++History.fActionNo;
    History.fActionStarted.resize(static_cast<std::size_t>(History.fActionNo));
    History.fActionStarted.back() = Started;
    Opened = true;
  }
  SetFileProcessed(It, true);
  It->ActionGroup = History.fActionNo;
  It->ActionType = ActionType;
  It->TargetPath = TItemString(Target);
  It->Undo = std::make_unique<TJournalItem>(Record);
}

bool UndoAvailable(const TScanEngine& Engine, const TActionHistory& History) {
  return (IsFileComparisonMode(Engine.CompareMode()) || Engine.CompareMode() == cmEmails ||
          Engine.CompareMode() == cmContacts || Engine.CompareMode() == cmPhotoLibrary) &&
         History.fActionNo > 0 &&
         Engine.RealItemCount() > 0;
}

std::optional<TJournalAction> LastJournalAction(TDateTime Before) {
  std::vector<TJournalAction> actions = TActionJournal::ReadAll();
  for (auto i = actions.rbegin(); i != actions.rend(); ++i)
    if (i->Started < Before && i->Undoable() > 0) return std::move(*i);
  return std::nullopt;
}

int UndoFromJournal(TJournalAction& Action, const TMediaLibSyncOptions* MediaLibs) {
  const int total = Action.Undoable();
  int reverted = 0;
  for (;;) {
    std::vector<std::string> log;
    reverted += UndoJournalAction(Action, log, MediaLibs);
    if (log.empty()) {
      GetUserPrompt().ShowMessage(TMessageKind::mkInformation,
                                  TranslateText("The operation completed successfully.") + "    ");
      return reverted;
    }
    const char* counts = Action.ActionType == faMove || Action.ActionType == faMoveMessage ||
                                 Action.ActionType == faMoveContact
                             ? "%d of %d items were not moved back."
                         : Action.ActionType == faRename ? "%d of %d items were not renamed."
                                                          : "%d of %d items were not restored.";
    const std::string status = TranslateText("The operation completed with the following warnings:") + "\n" +
                               FormatCounts(TranslateText(counts), {total - reverted, total}) + " " +
                               TranslateText("See error log below.");
    if (!GetUserPrompt().ShowUndoErrors(status, log)) return reverted;
  }
}

bool UndoLastAction(TScanEngine& Engine, TActionHistory& History, const TMediaLibSyncOptions& MediaLibs) {
  const int no = History.fActionNo;
  if (no <= 0) return false;
  int count = 0;
  std::uint8_t type = kNoAction;
  Engine.GetActionInfo(no, count, type);
  if (count == 0 || type == kNoAction) return false;
  const TDateTime started =
      static_cast<int>(History.fActionStarted.size()) >= no ? History.fActionStarted[no - 1] : TDateTime();
  while (!Engine.UndoAction(no, count, started, MediaLibs)) {
    Engine.GetActionInfo(no, count, type);
    if (count == 0) break;
  }
  History.fActionNo = no - 1;
  History.fActionStarted.resize(static_cast<std::size_t>(History.fActionNo));
  return true;
}

// ------------------------------------------------------------------ the run

namespace {

// The log data of a success: nothing, the target, or the target's new name.
std::string NoLogData(const std::string&) { return std::string(); }
std::string TargetLogData(const std::string& Target) { return " -> " + Target; }
std::string NewNameLogData(const std::string& Target) { return " -> " + Target.substr(Target.find_last_of('/') + 1); }

}  // namespace

struct TProcessingRun::TOperation {
  const char* ProgressText;   // untranslated
  const char* FailureHead;    // untranslated, "%d of %d ..."
  TPcwLogEvent LogEvent;
  std::uint8_t ActionType;
  std::uint8_t PermanentActionType;  // with TProcessingOptions::Permanent
  void (TProcessingRun::*Plan)(PFileItem, TJournalItem&);
  TItemOutcome (TProcessingRun::*Process)(PFileItem, TJournalItem*);
  // The data of a success's log record; none for a link, which is logged as it is made.
  std::string (*SuccessLogData)(const std::string& Target);
  const char* FailureLogText;  // untranslated
  const char* FailureLogExtra;
};

const TProcessingRun::TOperation TProcessingRun::kOperations[] = {
    {"Deleting files ...", "%d of %d files were not deleted.", leFileDeleted, faRecycle, faDelete,
     &TProcessingRun::PlanKeptTarget, &TProcessingRun::DeleteItemFile, &NoLogData, "Failed to delete file.", ""},
    {"Moving files ...", "%d of %d files were not moved.", leFileMoved, faMove, faMove, &TProcessingRun::PlanMoveTarget,
     &TProcessingRun::MoveItemFile, &TargetLogData, "Failed to move file.", ":"},
    {"Renaming files ...", "%d of %d files were not renamed.", leFileRenamed, faRename, faRename,
     &TProcessingRun::PlanRenameTarget, &TProcessingRun::RenameItemFile, &NewNameLogData, "Failed to rename file.", ""},
    {"Replacing files ...", "%d of %d files were not replaced with symlink.", leSymLink, faCreateLink, faCreateLink,
     &TProcessingRun::PlanKeptTarget, &TProcessingRun::ReplaceWithLink, nullptr, "Failed to replace file.", ""},
    {"Replacing files ...", "%d of %d files were not replaced with a hard link.", leSymLink, faHardLink, faHardLink,
     &TProcessingRun::PlanKeptTarget, &TProcessingRun::ReplaceWithShared, &TargetLogData, "Failed to replace file.", ""},
    {"Replacing files ...", "%d of %d files were not replaced with a clone.", leSymLink, faClone, faClone,
     &TProcessingRun::PlanKeptTarget, &TProcessingRun::ReplaceWithShared, &TargetLogData, "Failed to replace file.", ""},
};

TProcessingRun::TProcessingRun(TScanEngine& Engine, TActionHistory& History, TProcessingOptions Options,
                               IProcessingProgress* Progress)
    : fEngine(Engine), fHistory(History), fOptions(std::move(Options)), fProgress(Progress) {
  if (fOptions.Operation > poClone) throw std::invalid_argument("unknown processing operation");
}

const TProcessingRun::TOperation& TProcessingRun::Operation() const {
  static_assert(std::size(kOperations) == poClone + 1, "one row per operation");
  return kOperations[fOptions.Operation];
}

std::string TProcessingRun::ProgressText() const { return TranslateText(Operation().ProgressText); }

std::string TProcessingRun::FailureHead(const TPassResult& Result) const {
  return FormatCounts(TranslateText(Operation().FailureHead), {Result.Failed, Result.Total});
}

TPcwLogEvent TProcessingRun::LogEventKind() const { return Operation().LogEvent; }

std::uint8_t TProcessingRun::ActionTypeOf() const {
  return fOptions.Permanent ? Operation().PermanentActionType : Operation().ActionType;
}

void TProcessingRun::PlanMoveTarget(PFileItem, TJournalItem& Rec) {
  const std::string folderTo = MoveTargetFolder(Rec.Folder, fOptions.MoveFolder, fOptions.KeepFolderStructure);
  Rec.Target = UniqueTarget(folderTo, Rec.Name, [&](const std::string& p) {
    return platform::PathExists(p) || fPlannedTargets.count(p) != 0;
  });
  fPlannedTargets.insert(Rec.Target);
}

void TProcessingRun::PlanRenameTarget(PFileItem, TJournalItem& Rec) {
  Rec.Target = JoinPath(Rec.Folder, RenamedName(Rec.Name, fOptions.RenameText, fOptions.RenamePrefix));
}

void TProcessingRun::PlanKeptTarget(PFileItem Item, TJournalItem& Rec) {
  const std::vector<PFileItem> kept = fEngine.KeptCandidates(Item, fOptions.OnlyRow >= 0);
  if (kept.empty()) return;
  Rec.Target = kept.front()->FullPath();
  Rec.TargetId = fEngine.ScannedFile(*kept.front()).Id;
}

std::unique_ptr<TJournalItem> TProcessingRun::PlanItem(PFileItem Item) {
  auto rec = std::make_unique<TJournalItem>();
  rec->ActionType = ActionTypeOf();
  rec->Folder = Item->Path.str();
  rec->Name = Item->Name.str();
  rec->FolderId = fEngine.FolderIdentity(Item->Path.view());
  platform::TCheckedFolder folder;
  if (folder.Open(rec->Folder) != 0 || platform::StatEntry(folder.Fd(), rec->Name, rec->Source) != 0) {
    // Fails at its turn with the reason; the plan still names it.
    rec->Source.Device = Item->Device;
    rec->Source.Inode = Item->Inode;
    rec->Source.Size = Item->Size;
    rec->Source.ModifiedNs = Item->Modified.UnixNanoseconds();
  }
  (this->*Operation().Plan)(Item, *rec);
  return rec;
}

TPassResult TProcessingRun::RunPass() {
  TPassResult result;
  // The stamp follows the wait: folders that existed before must read clearly older than the
  // action, as undo allows a second of clock slack when it removes the folders a move made.
  if (fOptions.Operation == poMove && !fOptions.DryRun && fOptions.MoveSettleMilliseconds > 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(fOptions.MoveSettleMilliseconds));
  fPassStarted = TDateTime::Now();
  const std::string progressText = ProgressText();
  const int rows = fEngine.ItemCount();
  std::vector<int> pending;
  for (int i = 0; i < rows; ++i) {
    if (fOptions.OnlyRow >= 0 && i != fOptions.OnlyRow) continue;
    PFileItem it = fEngine.Item(i);
    if (it->fSelected && !it->fProcessed) pending.push_back(i);
  }
  if (pending.empty()) return result;
  // Names planned by an earlier pass are free again when their item did not move.
  if (!fOptions.DryRun) fPlannedTargets.clear();

  std::vector<std::unique_ptr<TJournalItem>> plan(pending.size());
  const std::string journalError = fOptions.DryRun ? std::string() : WritePlan(pending, plan);

  bool syncBegun = false;
  // A running player is asked to close only when music is to move.
  fOptions.MediaLibs.MovesFiles = (fOptions.Operation == poMove || fOptions.Operation == poRename) &&
                                  std::any_of(pending.begin(), pending.end(),
                                              [&](int i) { return fEngine.Item(i)->Category == fcMusic; });
  int shown = 0;
  for (std::size_t k = 0; k < pending.size(); ++k) {
    const int i = pending[k];
    PFileItem it = fEngine.Item(i);
    if (!fOptions.DryRun && !syncBegun && IsMediaCategory(it->Category)) syncBegun = BeginMediaLibSync(fOptions.MediaLibs);
    ++result.Total;
    const std::string oldName = it->Name.str();
    TJournalItem* rec = plan[k].get();
    TItemOutcome o;
    if (!journalError.empty()) {
      o = Failure(0, journalError);
    } else {
      try {
        o = ProcessItem(it, rec);
      } catch (const std::exception& e) {
        o = Failure(0, e.what());
      }
    }
    if (!o.Ok) ++result.Failed;
    if (rec != nullptr && journalError.empty()) {
      if (o.Ok) {
        rec->Media = IsMediaCategory(it->Category);
        if (it->PlayLists) rec->PlayLists = *it->PlayLists;
        fJournal.Done(*rec);
      } else {
        fJournal.Failed(*rec);
      }
    }
    if (o.Ok && !fOptions.DryRun) RecordSuccess(it, std::move(plan[k]), o);
    if (!fOptions.DryRun) LogOutcome(it, o, oldName);
    if (OnItem) OnItem(it, o);
    if (fProgress) ShowRowDone(i, rows, progressText, shown);
  }
  // The files have changed already; an outcome that cannot be written is said in the log, and the
  // journal's next reader settles it from the disk.
  if (const int err = fJournal.Flush(true))
    WriteLog("cannot write the action journal " + TActionJournal::Directory() + ": " + platform::ErrorText(err),
             lsvError);
  if (syncBegun) EndMediaLibSync();
  return result;
}

std::string TProcessingRun::WritePlan(const std::vector<int>& Pending, std::vector<std::unique_ptr<TJournalItem>>& Plan) {
  // The plan is on disk before the first file is touched: undo after a crash needs it.
  std::vector<TJournalItem*> recs;
  for (std::size_t k = 0; k < Pending.size(); ++k) {
    Plan[k] = PlanItem(fEngine.Item(Pending[k]));
    recs.push_back(Plan[k].get());
  }
  int err = fJournal.IsOpen() ? 0 : fJournal.Begin(ActionTypeOf(), fPassStarted, fOptions.JournalExpireDays);
  if (err == 0) err = fJournal.Plan(recs);
  if (err == 0) return std::string();
  return TranslateText("Cannot write the action journal ") + TActionJournal::Directory() + ": " + platform::ErrorText(err);
}

void TProcessingRun::RecordSuccess(PFileItem Item, std::unique_ptr<TJournalItem> Rec, const TItemOutcome& Outcome) {
  // The first success of the run opens its action number; every later one shares it.
  if (!fActionOpened) {
    fActionOpened = true;
    ++fHistory.fActionNo;
    fHistory.fActionStarted.resize(static_cast<std::size_t>(fHistory.fActionNo));
    fHistory.fActionStarted.back() = fPassStarted;
  }
  SetFileProcessed(Item, true);
  Item->ActionGroup = fHistory.fActionNo;
  Item->ActionType = ActionTypeOf();
  Item->TargetPath = TItemString(Outcome.Target);
  Rec->State = TJournalItem::jsDone;
  Item->Undo = std::move(Rec);
}

void TProcessingRun::ShowRowDone(int Row, int Rows, const std::string& ProgressText, int& Shown) {
  fProgress->RowChanged(Row);
  const int percent = static_cast<int>(static_cast<std::int64_t>(Row) * 100 / Rows);
  if (percent == Shown) return;
  Shown = percent;
  fProgress->ShowProgress(percent, ProgressText + " (" + std::to_string(percent) + "%)");
  fProgress->ProcessMessages();
}

TItemOutcome TProcessingRun::ProcessItem(PFileItem Item, TJournalItem* Rec) {
  return (this->*Operation().Process)(Item, Rec);
}

void TProcessingRun::LogOutcome(PFileItem Item, const TItemOutcome& Outcome, const std::string& OldName) {
  const TOperation& op = Operation();
  if (!fOptions.LogEvents.Contains(op.LogEvent)) return;
  const std::string folder = WithSlash(DeleteExtendedPrefix(Item->Path.str()));
  if (Outcome.Ok) {
    if (op.SuccessLogData) LogEvent(op.LogEvent, folder, OldName, op.SuccessLogData(Outcome.Target));
    return;
  }
  LogEvent(leError, folder, OldName,
           "[" + std::to_string(Outcome.ErrorCode) + "] " + TranslateText(op.FailureLogText) + op.FailureLogExtra +
               " - " + Outcome.Reason);
}

bool TProcessingRun::CheckReadOnly(const std::string& Path) {
  if (!platform::IsOwnerReadOnly(Path)) return true;
  bool yes = fEnableROProcessing == kROYesToAll;
  if (fEnableROProcessing == kROAskEach) {
    const TReadOnlyAnswer a = GetUserPrompt().AskReadOnly(
        DeleteExtendedPrefix(Path) + TranslateText(" is marked as READ ONLY.") + "\n" +
        TranslateText("Do you really want to process a read only file?"));
    if (a == TReadOnlyAnswer::raNoToAll) fEnableROProcessing = kRONoToAll;
    if (a == TReadOnlyAnswer::raYesToAll) fEnableROProcessing = kROYesToAll;
    yes = a == TReadOnlyAnswer::raYes || a == TReadOnlyAnswer::raYesToAll;
  }
  // Yes needs no change of mode here: removing or renaming a file asks for write permission on
  // its folder, not on the file, so the file (and what undo puts back) keeps its mode.
  return yes;
}

TItemOutcome TProcessingRun::PrepareItem(PFileItem Item, bool NeedKept, platform::TSafeFileAction& Act,
                                         PFileItem& Kept) {
  Kept = nullptr;
  const platform::TScannedFile self = fEngine.ScannedFile(*Item);
  if (!NeedKept) {
    const platform::TSafeResult r = Act.Prepare(self, nullptr, false);
    return r.Ok() ? Success(std::string()) : Failure(r.Error, SafeFailureText(r));
  }
  // Only the content modes promise equal bytes; by name or tags the kept copy need only exist.
  const bool sameBytes = fEngine.CompareMode() == cmCRC32 || fEngine.CompareMode() == cmByteByByte;
  const std::vector<PFileItem> candidates = fEngine.KeptCandidates(Item, fOptions.OnlyRow >= 0);
  if (candidates.empty()) return Failure(0, TranslateText("Its group has no kept copy to link to."));
  platform::TSafeResult last;
  for (PFileItem k : candidates) {
    const platform::TScannedFile kept = fEngine.ScannedFile(*k);
    last = Act.Prepare(self, &kept, sameBytes);
    if (last.Ok()) {
      Kept = k;
      return Success(k->FullPath());
    }
    const bool keptFault = last.Failure == platform::TSafeFailure::sfKeptGone ||
                           last.Failure == platform::TSafeFailure::sfKeptChanged ||
                           last.Failure == platform::TSafeFailure::sfKeptSameFile;
    if (!keptFault) break;
  }
  return Failure(last.Error, SafeFailureText(last));
}

TItemOutcome TProcessingRun::DeleteItemFile(PFileItem Item, TJournalItem* Rec) {
  const std::string path = Item->FullPath();
  platform::TSafeFileAction act;
  PFileItem kept = nullptr;
  TItemOutcome checked = PrepareItem(Item, true, act, kept);
  if (!checked.Ok || fOptions.DryRun) return checked;
  if (Rec) {
    Rec->Target = kept->FullPath();
    Rec->TargetId = fEngine.ScannedFile(*kept).Id;
  }

  TScanEngine::SaveFileTimes(Item);
  const bool music = Item->Category == fcMusic;
  if (music) {
    Item->PlayLists.reset();
    if (fOptions.MediaLibs.WMP) MediaLibDeleteWMP(path, Item->PlayLists);
  }
  TItemOutcome o;
  if (fOptions.Permanent) {
    if (!CheckReadOnly(path)) {
      o = Failure(EACCES, TranslateText("The file is read-only."));
    } else if (const platform::TSafeResult r = act.Delete(); !r.Ok()) {
      o = Failure(r.Error, SafeFailureText(r));
    } else {
      o = Success(checked.Target);
    }
  } else {
    const platform::TTrashResult t = act.Trash(path);
    if (t.Ok()) {
      o = Success(checked.Target);
      if (Rec) {
        Rec->TrashDir = t.TrashDir;
        Rec->TrashName = t.TrashName;
      }
    } else {
      o = Failure(0, t.Failure == platform::TTrashFailure::tfNoTrash ? TranslateText(platform::kNoTrashText) : t.Error);
    }
  }
  if (music) {
    if (!o.Ok) {
      if (fOptions.MediaLibs.WMP) MediaLibAddWMP(path, Item->PlayLists.get());
      Item->PlayLists.reset();
    } else if (fOptions.MediaLibs.iTunes && fOptions.MediaLibs.RepointToKept) {
      // The playlists keep playing the song: the kept copy takes the entries' places.
      MediaLibDeleteITunesRepointing(path, checked.Target, Item->PlayLists);
    } else if (fOptions.MediaLibs.iTunes) {
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

TItemOutcome TProcessingRun::MoveItemFile(PFileItem Item, TJournalItem* Rec) {
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
  platform::TSafeFileAction act;
  PFileItem kept = nullptr;
  if (TItemOutcome checked = PrepareItem(Item, false, act, kept); !checked.Ok) return checked;
  // Asked before any folder is made, so that a refused file leaves no empty folders behind.
  if (!CheckReadOnly(path)) return Failure(EACCES, TranslateText("The file is read-only."));
  if (const int err = platform::CreateFolders(folder); err != 0)
    return Failure(err, TranslateText("Cannot create the folder ") + folder + ": " + platform::ErrorText(err));
  fFolders.push_back(Item->Path.str());
  TScanEngine::SaveFileTimes(Item);
  return MoveWithLibraries(Item, act, folder, Rec, true);
}

TItemOutcome TProcessingRun::MoveWithLibraries(PFileItem Item, platform::TSafeFileAction& Act,
                                               const std::string& Folder, TJournalItem* Rec, bool Unique) {
  const std::string path = Item->FullPath();
  platform::TCheckedFolder dest;
  if (const int err = dest.Open(Folder); err != 0) {
    TScanEngine::ReleaseFileTimes(Item);
    return Failure(err, std::string());
  }
  std::string target = Rec && !Rec->Target.empty() ? Rec->Target : JoinPath(Folder, Item->Name.str());
  const bool music = Item->Category == fcMusic;
  if (music) {
    Item->PlayLists.reset();
    if (fOptions.MediaLibs.WMP) MediaLibDeleteWMP(path, Item->PlayLists);
  }
  platform::TTransferInfo info;
  platform::TSafeResult r;
  for (int attempt = 0;; ++attempt) {
    const std::size_t slash = target.find_last_of('/');
    r = Act.MoveTo(dest.Fd(), target.substr(slash + 1), info, [&] {
      if (Rec) fJournal.CopyStarting(*Rec);
    });
    // The planned name was taken meanwhile: the next free one, on record before the move.
    if (!Unique || r.Ok() || r.Error != EEXIST || attempt >= 100) break;
    target = UniqueTarget(Folder, Item->Name.str(), [](const std::string& p) { return platform::PathExists(p); });
    if (Rec) {
      Rec->Target = target;
      if (fJournal.Retarget(*Rec) != 0) break;
    }
  }
  if (music) {
    if (r.Ok()) {
      if (fOptions.MediaLibs.WMP) MediaLibAddWMP(target, Item->PlayLists.get());
      if (fOptions.MediaLibs.iTunes) MediaLibRenameITunes(path, target);
    } else if (fOptions.MediaLibs.WMP) {
      MediaLibAddWMP(path, Item->PlayLists.get());
    }
    Item->PlayLists.reset();
  }
  if (!r.Ok()) {
    TScanEngine::ReleaseFileTimes(Item);
    return Failure(r.Error, SafeFailureText(r));
  }
  if (Rec) {
    Rec->Target = target;
    Rec->TargetId.Device = dest.Identity().Device;
    Rec->TargetId.Inode = info.Inode;
    Rec->TargetId.Size = Item->Size;
    Rec->TargetId.ModifiedNs = Item->Modified.UnixNanoseconds();
  }
  // A copy across file systems keeps the times itself; a rename never changes them.
  return Success(target);
}

TItemOutcome TProcessingRun::RenameItemFile(PFileItem Item, TJournalItem* Rec) {
  const std::string newName = RenamedName(Item->Name.str(), fOptions.RenameText, fOptions.RenamePrefix);
  // The text must not lead the file into another folder.
  if (newName.find('/') != std::string::npos || fOptions.RenameText.empty()) return Failure(EINVAL, std::string());
  const std::string target = JoinPath(Item->Path.str(), newName);
  if (fOptions.DryRun) {
    if (platform::PathExists(target) || fPlannedTargets.count(target) != 0) return Failure(EEXIST, std::string());
    fPlannedTargets.insert(target);
    return Success(target);
  }
  platform::TSafeFileAction act;
  PFileItem kept = nullptr;
  if (TItemOutcome checked = PrepareItem(Item, false, act, kept); !checked.Ok) return checked;
  TScanEngine::SaveFileTimes(Item);
  if (Rec) Rec->Target = target;
  return MoveWithLibraries(Item, act, Item->Path.str(), Rec, false);
}

TItemOutcome TProcessingRun::ReplaceWithLink(PFileItem Item, TJournalItem* Rec) {
  const std::string path = Item->FullPath();
  platform::TSafeFileAction act;
  PFileItem kept = nullptr;
  TItemOutcome o = PrepareItem(Item, true, act, kept);
  if (o.Ok && fOptions.DryRun) return o;
  if (o.Ok) {
    TScanEngine::SaveFileTimes(Item);
    if (Rec) {
      Rec->Target = kept->FullPath();
      Rec->TargetId = fEngine.ScannedFile(*kept).Id;
    }
    const platform::TSafeResult r = act.ReplaceWithLink(kept->FullPath());
    if (!r.Ok()) {
      o = Failure(r.Error, SafeFailureText(r));
      TScanEngine::ReleaseFileTimes(Item);
    }
  }
  // Logged with the original whatever the outcome, when there is one.
  const std::vector<PFileItem> candidates = fEngine.KeptCandidates(Item, fOptions.OnlyRow >= 0);
  PFileItem shown = kept ? kept : candidates.empty() ? nullptr : candidates.front();
  if (shown && fOptions.LogEvents.Contains(leSymLink))
    LogEvent(leSymLink, WithSlash(DeleteExtendedPrefix(shown->Path.str())), shown->Name.str(),
             " -> " + DeleteExtendedPrefix(path));
  return o;
}

namespace {

// Why a hard link or clone was refused, for the failure list.
std::string SharedFailureText(const platform::TSafeResult& R, bool Clone) {
  if (R.Failure == platform::TSafeFailure::sfKeptChanged)
    return TranslateText("The kept copy of its group has changed, or no longer holds the same bytes.");
  if (R.Failure != platform::TSafeFailure::sfSystem) return SafeFailureText(R);
  switch (R.Error) {
    case EXDEV:
      return TranslateText("The kept copy is on another file system: a hard link or clone cannot reach across file systems.");
    case EOPNOTSUPP:
      return TranslateText("The file system does not support copy-on-write clones.");
    case EPERM:
      if (!Clone) return TranslateText("The file system does not allow a hard link here (or the system forbids links to files of other owners).");
      break;
    case EMLINK: return TranslateText("The kept copy has as many hard links as its file system allows.");
    default: break;
  }
  if (R.Error == EINVAL && R.Detail == "empty file") return TranslateText("An empty file takes no space to share.");
  return SafeFailureText(R);
}

}  // namespace

TItemOutcome TProcessingRun::ReplaceWithShared(PFileItem Item, TJournalItem* Rec) {
  const bool clone = fOptions.Operation == poClone;
  platform::TSafeFileAction act;
  PFileItem kept = nullptr;
  TItemOutcome o = PrepareItem(Item, true, act, kept);
  if (!o.Ok) return o;
  // Refused before anything is touched, dry run or not.
  if (act.KeptStat().Device != act.ItemStat().Device) {
    platform::TSafeResult r = platform::TSafeResult::System(EXDEV);
    return Failure(EXDEV, SharedFailureText(r, clone));
  }
  if (fOptions.DryRun) return o;
  TScanEngine::SaveFileTimes(Item);
  if (Rec) {
    Rec->Target = kept->FullPath();
    Rec->TargetId = fEngine.ScannedFile(*kept).Id;
  }
  platform::TEntryStat now;
  bool deduped = false;
  const platform::TSafeResult r = clone ? act.ReplaceWithClone(now, deduped) : act.ReplaceWithHardLink(now);
  if (!r.Ok()) {
    TScanEngine::ReleaseFileTimes(Item);
    return Failure(r.Error, SharedFailureText(r, clone));
  }
  if (Rec) Rec->Result = {now.Device, now.Inode, now.Size, now.ModifiedNs, now.ChangedNs, false};
  return o;
}

void TProcessingRun::RemoveEmptyFolders() {
  if (!fOptions.RemoveEmpty) return;
  for (auto i = fFolders.rbegin(); i != fFolders.rend(); ++i)
    if (IsEmptyFolder(*i)) platform::RemoveEmptyFolder(*i);
}

}  // namespace pelcrow
