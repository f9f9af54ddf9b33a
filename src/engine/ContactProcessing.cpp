#include "engine/ContactProcessing.h"

#include <map>

#include "engine/ItemFlags.h"
#include "localization/TranslateText.h"
#include "plugins/ContactsScanner.h"
#include "plugins/StoreAction.h"

namespace pelcrow {

namespace {

// The journal behind the plug-in's changes: one action for the pass, begun at its first change.
class TContactRecorder final : public IStoreActionRecorder {
 public:
  TContactRecorder(std::uint8_t ActionType, TDateTime Started, int ExpireDays)
      : fActionType(ActionType), fStarted(Started), fExpireDays(ExpireDays) {}
  int Planned(TStoreMove& Move) override {
    Current = {};
    Current.ActionType = faMoveContact;
    Current.Folder = Move.Folder;
    Current.Name = Move.Name;
    Current.FolderId = Move.FolderId;
    Current.Source = Move.Source;
    Current.Target = Move.Target;
    return Plan();
  }
  void Done(TStoreMove& Move) override {
    Current.TargetId = Move.TargetId;
    Finish(true);
  }
  void Failed(TStoreMove&) override { Finish(false); }
  int PlannedRewrite(TStoreRewrite& Rewrite) override {
    Current = {};
    Current.ActionType = faMergeContact;
    Current.Folder = Rewrite.Folder;
    Current.Name = Rewrite.Name;
    Current.FolderId = Rewrite.FolderId;
    Current.Source = Rewrite.Source;
    Current.Target = Rewrite.Backup;
    return Plan();
  }
  void DoneRewrite(TStoreRewrite& Rewrite) override {
    Current.TargetId = Rewrite.NewId;
    Finish(true);
  }
  void FailedRewrite(TStoreRewrite&) override { Finish(false); }
  TJournalItem Current;

 private:
  int Plan() {
    if (!fJournal.IsOpen())
      if (const int err = fJournal.Begin(fActionType, fStarted, fExpireDays)) return err;
    std::vector<TJournalItem*> plan{&Current};
    return fJournal.Plan(plan);
  }
  void Finish(bool Ok) {
    Current.State = Ok ? TJournalItem::jsDone : TJournalItem::jsFailed;
    if (Ok) fJournal.Done(Current);
    else fJournal.Failed(Current);
    fJournal.Flush(true);
  }
  TActionJournal fJournal;
  std::uint8_t fActionType;
  TDateTime fStarted;
  int fExpireDays;
};

}  // namespace

TPassResult ProcessContactRows(
    TScanEngine& Engine, TActionHistory& History, const TContactActionOptions& Options,
    const std::function<void(PFileItem, TContactStep, const TItemOutcome&, const std::vector<std::string>&)>& OnItem) {
  TPassResult result;
  auto* plugin = dynamic_cast<TContactsScanner*>(Engine.ScannerPlugin());
  if (!plugin) return result;
  // The plug-in keeps the contact that stays by its own check marks: they follow the rows.
  std::map<std::uint32_t, std::vector<PFileItem>> groups;
  for (int i = 0; i < Engine.ItemCount(); ++i) {
    const PFileItem it = Engine.Item(i);
    if (!it->Emails) continue;
    plugin->SetItemChecked(it->Emails->OutlookIndex, it->fSelected && !it->fProcessed);
    groups[it->DupGroup].push_back(it);
  }
  const TDateTime started = TDateTime::Now();
  TContactRecorder recorder(Options.Merge ? faMergeContact : faMoveContact, started, Options.JournalExpireDays);
  plugin->SetActionRecorder(&recorder);
  bool opened = false;
  auto processed = [&](PFileItem it, const TItemOutcome& o) {
    if (!opened) {
      ++History.fActionNo;
      History.fActionStarted.resize(static_cast<std::size_t>(History.fActionNo));
      History.fActionStarted.back() = started;
      opened = true;
    }
    SetFileProcessed(it, true);
    it->ActionGroup = History.fActionNo;
    it->ActionType = recorder.Current.ActionType;
    it->TargetPath = TItemString(o.Target);
    it->Undo = std::make_unique<TJournalItem>(recorder.Current);
  };
  auto report = [&](PFileItem it, TContactStep step, const TItemOutcome& o, const std::vector<std::string>& added) {
    ++result.Total;
    if (!o.Ok) ++result.Failed;
    if (OnItem) OnItem(it, step, o, added);
  };
  for (auto& [group, rows] : groups) {
    PFileItem target = nullptr;
    std::vector<PFileItem> selected;
    for (PFileItem it : rows) {
      if (it->fProcessed) continue;
      if (it->fSelected) selected.push_back(it);
      else if (!target) target = it;
    }
    if (selected.empty()) continue;
    bool mergeFailed = false;
    if (Options.Merge && target) {
      if (Options.CheckAllAddresses)
        for (PFileItem it : selected)
          for (int k = 1; k <= 3; ++k) plugin->SetEmailChecked(it->Emails->OutlookIndex, k, true);
      const int index = target->Emails->OutlookIndex;
      const std::vector<std::string> added = plugin->MergedAddresses(index);
      if (!added.empty()) {
        TItemOutcome o;
        o.Target = plugin->ItemLocation(plugin->Item(index));
        if (Options.DryRun) {
          o.Ok = true;
        } else {
          try {
            plugin->MergeItem(index);
            o.Ok = true;
            processed(target, o);
          } catch (const std::exception& e) {
            o.Reason = e.what();
            mergeFailed = true;
          }
        }
        report(target, TContactStep::csMerged, o, added);
      }
    }
    for (PFileItem it : selected) {
      const int index = it->Emails->OutlookIndex;
      TItemOutcome o;
      o.Target = plugin->TrashFolderOf(plugin->Item(index));
      if (mergeFailed) {
        // Its addresses would be lost with it.
        o.Reason = TranslateText("the merge into the contact that stays failed");
      } else if (Options.Merge && !target) {
        o.Reason = TranslateText("no contact of the group stays");
      } else if (Options.DryRun) {
        o.Ok = true;
      } else {
        try {
          plugin->DeleteItem(index);
          o.Ok = true;
          o.Target = recorder.Current.Target;
          processed(it, o);
        } catch (const std::exception& e) {
          o.Reason = e.what();
        }
      }
      report(it, TContactStep::csDeleted, o, {});
    }
  }
  plugin->SetActionRecorder(nullptr);
  return result;
}

}  // namespace pelcrow
