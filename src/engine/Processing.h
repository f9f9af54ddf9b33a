// Processing of the checked rows: delete (trash or permanent), move, rename, replace with a
// symbolic link to the group's kept copy. No windows here; a front end drives it like this:
//
//   1. Stop unless HasPendingSelection(engine) and CheckSelectionProtection(engine, override).
//   2. Start from ProcessingOptionsOf(its settings) and fill in the operation from its dialog or
//      the stored settings.
//   3. TProcessingRun run(engine, history, options, &progress);
//      do { r = run.RunPass(); } while (r.Failed > 0 && <the user answers the report with Retry>);
//      The report's text is FailureReportText(run.FailureHead(r), ...); EnableLoggingFor() is
//      what its "Enable Logging" box does to the settings, run.SetLogEvents() what it does to
//      the run.
//   4. run.RemoveEmptyFolders(), then re-enable the window whatever happened.
// The single delete of the focused row does the same with TProcessingOptions::OnlyRow set (after
// CheckItemProtection instead of the selection check).
//
// TActionHistory holds the action numbers of the result set; the front end keeps one, clears it
// with the results (and after CleanResolved), enables Undo by UndoAvailable(), and after the
// user's Yes to UndoActionText() calls UndoLastAction() with its media-library switches.
//
// Before an item is deleted or replaced by a link, the file must still be the one the scan found
// (size and modification time, and identity when known) and its group's kept copy must still
// exist with its size: otherwise the item fails with the reason and nothing is touched.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "base/DateTime.h"
#include "engine/ActionJournal.h"
#include "engine/ScanEngine.h"
#include "platform/SafeFile.h"
#include "settings/PcwSettings.h"

namespace pelcrow {

enum TProcessingOperation : std::uint8_t { poDelete, poMove, poRename, poLink, poHardLink, poClone };

struct TProcessingOptions {
  TProcessingOperation Operation = poDelete;
  bool Permanent = false;             // delete: permanently instead of to the trash
  std::string MoveFolder;             // move: the target folder
  bool KeepFolderStructure = false;   // move: the item's folder re-rooted under MoveFolder
  std::string RenameText;             // rename: the prefix or postfix
  bool RenamePrefix = true;           // rename: prefix, else postfix before the extension
  // Touch nothing: report what each item would become (the checks before deleting still run).
  bool DryRun = false;
  // The single delete of the focused row: this row alone (it must be checked), -1 = every row.
  int OnlyRow = -1;
  // A move waits this long before its time stamp and its first file, so that folders that
  // existed before read older than the action (undo removes only the folders made since).
  int MoveSettleMilliseconds = 1001;
  // The action journal drops actions older than this many days when a new one starts (0: never).
  int JournalExpireDays = 30;
  // The events the run writes to the log (the log itself drops them while logging is off).
  TPcwLogEvents LogEvents;
  // The media libraries that follow the music files the run touches.
  TMediaLibSyncOptions MediaLibs;
  // RemoveEmptyFolders removes the folders the run left empty.
  bool RemoveEmpty = false;
};

// The options a settings record gives every run: journal days, logged events, media libraries,
// empty folders; the operation's own fields keep their defaults.
TProcessingOptions ProcessingOptionsOf(const TPcwSettings& Record);

// The action numbers of one result set: number N started at Started[N - 1].
struct TActionHistory {
  int fActionNo = 0;
  std::vector<TDateTime> fActionStarted;
  void Clear() {
    fActionNo = 0;
    fActionStarted.clear();
  }
};

// What the front end shows while a pass runs.
class IProcessingProgress {
 public:
  virtual ~IProcessingProgress() = default;
  // Percent of the rows walked and the wait text ("Deleting files ... (40%)"), translated.
  virtual void ShowProgress(int Percent, const std::string& Text) = 0;
  // The row's check or processed state changed.
  virtual void RowChanged(int Row) = 0;
  // Lets the interface repaint (the front end throttles it).
  virtual void ProcessMessages() = 0;
};

// What became of one item.
struct TItemOutcome {
  bool Ok = false;
  int ErrorCode = 0;    // errno, 0 when the failure is no system error
  std::string Reason;   // translated, empty on success
  std::string Target;   // where it went (move, rename), the kept copy (delete, link)
};

struct TPassResult {
  int Total = 0;
  int Failed = 0;
};

class TProcessingRun {
 public:
  TProcessingRun(TScanEngine& Engine, TActionHistory& History, TProcessingOptions Options,
                 IProcessingProgress* Progress = nullptr);

  // One walk over the visible rows in order, processing each checked, unprocessed item. The
  // first success of the run opens a new action number; every later one, in any pass, shares it.
  TPassResult RunPass();
  // With RemoveEmpty in the options: removes the recorded folders (delete, move) that are
  // empty now, last recorded first. Errors are ignored.
  void RemoveEmptyFolders();
  // The events later passes log (the failure report's "Enable Logging" adds the operation's).
  void SetLogEvents(TPcwLogEvents Events) { fOptions.LogEvents = Events; }

  // Per item, after it was tried (the command line prints these).
  std::function<void(PFileItem Item, const TItemOutcome& Outcome)> OnItem;

  // "Deleting files ..." and the like, translated.
  std::string ProgressText() const;
  // "%d of %d files were not deleted." and the like, translated and filled in.
  std::string FailureHead(const TPassResult& Result) const;
  // The log event of the operation (leFileDeleted, leFileMoved, leFileRenamed, leSymLink).
  TPcwLogEvent LogEventKind() const;
  bool ActionOpened() const { return fActionOpened; }
  const std::vector<std::string>& RecordedFolders() const { return fFolders; }

 private:
  // What differs between the operations, one row per TProcessingOperation.
  struct TOperation;
  static const TOperation kOperations[];
  const TOperation& Operation() const;
  std::uint8_t ActionTypeOf() const;
  // Where the plan says the item goes: the free name in the move target, the renamed name, or
  // (delete, link) the first kept candidate of its group.
  void PlanMoveTarget(PFileItem Item, TJournalItem& Rec);
  void PlanRenameTarget(PFileItem Item, TJournalItem& Rec);
  void PlanKeptTarget(PFileItem Item, TJournalItem& Rec);
  // The item's journal record before the pass touches anything: where it is, what it is, and
  // where it is to go (the planned target, or the kept copy).
  std::unique_ptr<TJournalItem> PlanItem(PFileItem Item);
  TItemOutcome ProcessItem(PFileItem Item, TJournalItem* Rec);
  // Plans the pending rows into the journal; the reason (translated) when it cannot be written.
  std::string WritePlan(const std::vector<int>& Pending, std::vector<std::unique_ptr<TJournalItem>>& Plan);
  // Marks a processed item with the run's action and hands it its journal record.
  void RecordSuccess(PFileItem Item, std::unique_ptr<TJournalItem> Rec, const TItemOutcome& Outcome);
  void ShowRowDone(int Row, int Rows, const std::string& ProgressText, int& Shown);
  // Opens and checks the item and (NeedKept) a kept copy of its group; the first candidate that
  // checks out stands, and its path is the outcome's target.
  TItemOutcome PrepareItem(PFileItem Item, bool NeedKept, platform::TSafeFileAction& Act, PFileItem& Kept);
  TItemOutcome DeleteItemFile(PFileItem Item, TJournalItem* Rec);
  TItemOutcome MoveItemFile(PFileItem Item, TJournalItem* Rec);
  TItemOutcome RenameItemFile(PFileItem Item, TJournalItem* Rec);
  // Moves the checked file into Folder (times saved by the caller) with the media libraries
  // following a music file. Unique: a taken name moves on to the next free one.
  TItemOutcome MoveWithLibraries(PFileItem Item, platform::TSafeFileAction& Act, const std::string& Folder,
                                 TJournalItem* Rec, bool Unique);
  TItemOutcome ReplaceWithLink(PFileItem Item, TJournalItem* Rec);
  // A hard link to the kept copy, or a copy-on-write clone of it, takes the item's name.
  TItemOutcome ReplaceWithShared(PFileItem Item, TJournalItem* Rec);
  // False when the user (or a stored "No to All") keeps the read-only file as it is.
  bool CheckReadOnly(const std::string& Path);
  void LogOutcome(PFileItem Item, const TItemOutcome& Outcome, const std::string& OldName);

  TScanEngine& fEngine;
  TActionHistory& fHistory;
  TProcessingOptions fOptions;
  IProcessingProgress* fProgress;
  bool fActionOpened = false;
  TDateTime fPassStarted;
  // 0 ask, 13 "No to All", 14 "Yes to All": for the run, across its passes.
  int fEnableROProcessing = 0;
  std::vector<std::string> fFolders;
  std::set<std::string> fPlannedTargets;  // names already handed out by the plan
  TActionJournal fJournal;
};

// True when a visible row is checked and not processed; otherwise tells the user that there is
// nothing to process (no rows, or nothing selected).
bool HasPendingSelection(const TScanEngine& Engine);

// The reason of a failed check, translated.
std::string SafeFailureText(const platform::TSafeResult& R);

// The item's file is still what the scan found, and (Kept given) the kept copy still exists with
// its size. Empty when so; else the reason (translated).
std::string CheckUnchangedSinceScan(const TFileItem& Item, const TFileItem* Kept);

// The new name of a rename: prefix + name, or name without extension + postfix + extension.
std::string RenamedName(const std::string& Name, const std::string& Text, bool Prefix);
// The folder a moved item goes to: Folder, or with the structure kept the item's folder below it.
std::string MoveTargetFolder(const std::string& ItemFolder, const std::string& Folder, bool KeepStructure);
// The first of Folder/Name, Folder/Stem(1).ext, Folder/Stem(2).ext ... that Taken says is free.
std::string UniqueTarget(const std::string& Folder, const std::string& Name,
                         const std::function<bool(const std::string&)>& Taken);

// The failure report: head, then the most common reasons; WithLogHint adds the pointer to the
// log (when the operation's event is logged already).
std::string FailureReportText(const std::string& Head, bool WithLogHint);
// Whether the report points to the log instead of offering "Enable Logging", by the front end's
// settings.
bool FailureReportLogged(const TPcwSettings& Record, TPcwLogEvent Event);
// What ticking "Enable Logging" and choosing Retry does to the front end's settings (the caller
// asks for a log folder when none exists and saves the settings).
void EnableLoggingFor(TPcwSettings& Record, TPcwLogEvent Event);

// Whether the Undo button is enabled: a file mode, an action to undo and items in the list.
bool UndoAvailable(const TScanEngine& Engine, const TActionHistory& History);

// A row done by a store pass (e-mails, contacts, pictures): the pass's action opens in the history
// at its first row (Opened), and the row is processed, with its target and the record Undo reverts.
void MarkStoreRowDone(TActionHistory& History, bool& Opened, TDateTime Started, PFileItem It, std::uint8_t ActionType,
                      const std::string& Target, const TJournalItem& Record);

// The undo question's action text ("Move %d items to Recycle Bin.") for an action type, filled
// in; empty for an unknown type.
std::string UndoActionText(std::uint8_t ActionType, int Count);
// The journal's newest action with something left to undo that started before Before (a
// program offers the actions of earlier runs this way); nullopt when there is none.
std::optional<TJournalAction> LastJournalAction(TDateTime Before);
// Undoes a journal action without the result list it came from (after a restart): the walk,
// then the success message or the error log with Retry, as the engine's undo shows them.
// Returns how many items came back.
int UndoFromJournal(TJournalAction& Action, const TMediaLibSyncOptions* MediaLibs = nullptr);

// Undoes the history's last action through the engine (the front end has asked the user);
// the engine's retry loop included. Returns false when there was nothing to undo.
bool UndoLastAction(TScanEngine& Engine, TActionHistory& History, const TMediaLibSyncOptions& MediaLibs);

}  // namespace pelcrow
