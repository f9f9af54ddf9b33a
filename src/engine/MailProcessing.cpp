#include "engine/MailProcessing.h"

#include "engine/ItemFlags.h"
#include "engine/StoreJournal.h"
#include "localization/TranslateText.h"

namespace pelcrow {

TPassResult ProcessMailRows(TScanEngine& Engine, TActionHistory& History, const TMailActionOptions& Options,
                            const std::function<void(PFileItem, const TItemOutcome&)>& OnItem) {
  TPassResult result;
  IScanEnginePlugin* plugin = Engine.ScannerPlugin();
  if (!plugin) return result;
  // The plug-in keeps the copy that stays by its own check marks: they follow the rows.
  for (int i = 0; i < Engine.ItemCount(); ++i) {
    const PFileItem it = Engine.Item(i);
    if (it->Emails) plugin->SetItemChecked(it->Emails->OutlookIndex, it->fSelected && !it->fProcessed);
  }
  const TDateTime started = TDateTime::Now();
  TStoreJournalRecorder recorder(faMoveMessage, faMoveMessage, started, Options.JournalExpireDays);
  plugin->SetActionRecorder(&recorder);
  // The plug-in must not keep the recorder past this pass, whatever leaves it.
  struct TDetach {
    IScanEnginePlugin* Plugin;
    ~TDetach() { Plugin->SetActionRecorder(nullptr); }
  } detach{plugin};
  bool opened = false;
  for (int i = 0; i < Engine.ItemCount(); ++i) {
    const PFileItem it = Engine.Item(i);
    if (!it->fSelected || it->fProcessed || !it->Emails || (Options.OnlyRow >= 0 && i != Options.OnlyRow)) continue;
    const int index = it->Emails->OutlookIndex;
    TItemOutcome o;
    o.Target = Options.Move ? Options.Destination.FolderPath : TranslateText("the store's trash");
    ++result.Total;
    if (Options.DryRun) {
      o.Ok = true;
    } else {
      try {
        const bool moved = Options.Move ? plugin->MoveItemTo(index, Options.Destination) : (plugin->DeleteItem(index), true);
        if (!moved) {
          --result.Total;  // already in that folder: left alone and not counted
          continue;
        }
        o.Ok = true;
        o.Target = recorder.Current.Target;
      } catch (const std::exception& e) {
        o.Reason = e.what();
      }
    }
    if (o.Ok && !Options.DryRun) {
      MarkStoreRowDone(History, opened, started, it, faMoveMessage, o.Target, recorder.Current);
    }
    if (!o.Ok) ++result.Failed;
    if (OnItem) OnItem(it, o);
  }
  return result;
}

}  // namespace pelcrow
