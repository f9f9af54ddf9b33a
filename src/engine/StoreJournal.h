// The journal behind a plug-in's store changes (e-mails moved, contacts moved or merged): one
// action for the whole pass, begun at its first change, each change written and synced before it
// happens, so undo can take it back after a restart.
#pragma once

#include <cstdint>

#include "base/DateTime.h"
#include "engine/ActionJournal.h"
#include "plugins/StoreAction.h"

namespace pelcrow {

class TStoreJournalRecorder final : public IStoreActionRecorder {
 public:
  // PassAction names the action in the history; a move is journalled as MoveAction, a rewrite as
  // faMergeContact.
  TStoreJournalRecorder(std::uint8_t PassAction, std::uint8_t MoveAction, TDateTime Started, int ExpireDays)
      : fPassAction(PassAction), fMoveAction(MoveAction), fStarted(Started), fExpireDays(ExpireDays) {}
  int Planned(TStoreMove& Move) override;
  void Done(TStoreMove& Move) override;
  void Failed(TStoreMove&) override { Finish(false); }
  int PlannedRewrite(TStoreRewrite& Rewrite) override;
  void DoneRewrite(TStoreRewrite& Rewrite) override;
  void FailedRewrite(TStoreRewrite&) override { Finish(false); }

  TJournalItem Current;  // the change being made, as journalled

 private:
  int Plan();
  void Finish(bool Ok);
  TActionJournal fJournal;
  std::uint8_t fPassAction, fMoveAction;
  TDateTime fStarted;
  int fExpireDays;
};

}  // namespace pelcrow
