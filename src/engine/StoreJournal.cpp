#include "engine/StoreJournal.h"

#include <vector>

#include "engine/FileItem.h"

namespace pelcrow {

int TStoreJournalRecorder::Planned(TStoreMove& Move) {
  Current = {};
  Current.ActionType = fMoveAction;
  Current.Folder = Move.Folder;
  Current.Name = Move.Name;
  Current.FolderId = Move.FolderId;
  Current.Source = Move.Source;
  Current.Target = Move.Target;
  Current.Mbox = Move.Mbox;
  return Plan();
}

void TStoreJournalRecorder::Done(TStoreMove& Move) {
  Current.TargetId = Move.TargetId;
  Finish(true);
}

int TStoreJournalRecorder::PlannedRewrite(TStoreRewrite& Rewrite) {
  Current = {};
  Current.ActionType = faMergeContact;
  Current.Folder = Rewrite.Folder;
  Current.Name = Rewrite.Name;
  Current.FolderId = Rewrite.FolderId;
  Current.Source = Rewrite.Source;
  Current.Target = Rewrite.Backup;
  return Plan();
}

void TStoreJournalRecorder::DoneRewrite(TStoreRewrite& Rewrite) {
  Current.TargetId = Rewrite.NewId;
  Finish(true);
}

int TStoreJournalRecorder::Plan() {
  if (!fJournal.IsOpen())
    if (const int err = fJournal.Begin(fPassAction, fStarted, fExpireDays)) return err;
  std::vector<TJournalItem*> plan{&Current};
  return fJournal.Plan(plan);
}

void TStoreJournalRecorder::Finish(bool Ok) {
  Current.State = Ok ? TJournalItem::jsDone : TJournalItem::jsFailed;
  if (Ok) fJournal.Done(Current);
  else fJournal.Failed(Current);
  fJournal.Flush(true);
}

}  // namespace pelcrow
