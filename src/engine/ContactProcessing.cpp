#include "engine/ContactProcessing.h"

#include <map>

#include "engine/ItemFlags.h"
#include "engine/StoreJournal.h"
#include "localization/TranslateText.h"
#include "plugins/ContactsScanner.h"

namespace pelcrow {

namespace {

using TContactReport = std::function<void(PFileItem, TContactStep, const TItemOutcome&, const std::vector<std::string>&)>;

// One pass over the groups: in each, the merge into the contact that stays, then the others into
// the address book's trash; the rows, the history and the counts follow each step.
class TContactPass {
 public:
  TContactPass(TContactsScanner& Plugin, TActionHistory& History, const TContactActionOptions& Options,
               const TContactReport& OnItem)
      : fPlugin(Plugin),
        fHistory(History),
        fOptions(Options),
        fOnItem(OnItem),
        fStarted(TDateTime::Now()),
        fRecorder(Options.Merge ? faMergeContact : faMoveContact, faMoveContact, fStarted, Options.JournalExpireDays) {
    fPlugin.SetActionRecorder(&fRecorder);
  }
  ~TContactPass() { fPlugin.SetActionRecorder(nullptr); }
  TContactPass(const TContactPass&) = delete;
  TContactPass& operator=(const TContactPass&) = delete;

  void Group(const std::vector<PFileItem>& Rows) {
    PFileItem target = nullptr;
    std::vector<PFileItem> selected;
    for (PFileItem it : Rows) {
      if (it->fProcessed) continue;
      if (it->fSelected) selected.push_back(it);
      else if (!target) target = it;
    }
    if (selected.empty()) return;
    fAdded.clear();
    const bool mergeFailed = fOptions.Merge && target && !Merge(target, selected);
    for (PFileItem it : selected) Delete(it, mergeFailed, target);
  }
  TPassResult Result;

 private:
  // False when the merge failed: the others then stay, their addresses would be lost with them.
  bool Merge(PFileItem Target, const std::vector<PFileItem>& Selected) {
    if (fOptions.CheckAllAddresses)
      for (PFileItem it : Selected)
        for (int k = 1; k <= 3; ++k) fPlugin.SetEmailChecked(it->Emails->OutlookIndex, k, true);
    const int index = Target->Emails->OutlookIndex;
    const std::vector<std::string> added = fPlugin.MergedAddresses(index);
    fAdded = added;
    if (added.empty()) return true;
    TItemOutcome o;
    o.Target = fPlugin.ItemLocation(fPlugin.Item(index));
    if (fOptions.DryRun) {
      o.Ok = true;
    } else {
      try {
        fPlugin.MergeItem(index);
        o.Ok = true;
        Processed(Target, o);
      } catch (const std::exception& e) {
        o.Reason = e.what();
      }
    }
    Report(Target, TContactStep::csMerged, o, added);
    return o.Ok;
  }

  // A ticked address of a merged-away contact that the one that stays did not take (it holds three
  // already) would be lost with it.
  bool LosesAddresses(PFileItem It, PFileItem Target) const {
    const TContactItem& c = fPlugin.Item(It->Emails->OutlookIndex);
    std::vector<std::string> kept = fPlugin.Item(Target->Emails->OutlookIndex).Emails;
    if (fOptions.DryRun) kept.insert(kept.end(), fAdded.begin(), fAdded.end());
    const auto same = [](const std::string& a, const std::string& b) {
      if (a.size() != b.size()) return false;
      for (std::size_t i = 0; i < a.size(); ++i) {
        const char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] + 32) : a[i];
        const char y = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] + 32) : b[i];
        if (x != y) return false;
      }
      return true;
    };
    for (std::size_t k = 0; k < 3 && k < c.Emails.size(); ++k) {
      if (!c.EmailChecked[k]) continue;
      bool found = false;
      for (const std::string& e : kept) found = found || same(e, c.Emails[k]);
      if (!found) return true;
    }
    return false;
  }

  void Delete(PFileItem It, bool MergeFailed, PFileItem Target) {
    const int index = It->Emails->OutlookIndex;
    TItemOutcome o;
    o.Target = fPlugin.TrashFolderOf(fPlugin.Item(index));
    if (MergeFailed) {
      o.Reason = TranslateText("the merge into the contact that stays failed");
    } else if (fOptions.Merge && !Target) {
      o.Reason = TranslateText("no contact of the group stays");
    } else if (fOptions.Merge && LosesAddresses(It, Target)) {
      o.Reason = TranslateText("the contact that stays cannot take every ticked address");
    } else if (fOptions.DryRun) {
      o.Ok = true;
    } else {
      try {
        fPlugin.DeleteItem(index);
        o.Ok = true;
        o.Target = fRecorder.Current.Target;
        Processed(It, o);
      } catch (const std::exception& e) {
        o.Reason = e.what();
      }
    }
    Report(It, TContactStep::csDeleted, o, {});
  }

  void Processed(PFileItem It, const TItemOutcome& O) {
    MarkStoreRowDone(fHistory, fOpened, fStarted, It, fRecorder.Current.ActionType, O.Target, fRecorder.Current);
  }

  void Report(PFileItem It, TContactStep Step, const TItemOutcome& O, const std::vector<std::string>& Added) {
    ++Result.Total;
    if (!O.Ok) ++Result.Failed;
    if (fOnItem) fOnItem(It, Step, O, Added);
  }

  TContactsScanner& fPlugin;
  TActionHistory& fHistory;
  const TContactActionOptions& fOptions;
  const TContactReport& fOnItem;
  TDateTime fStarted;
  TStoreJournalRecorder fRecorder;
  bool fOpened = false;
  std::vector<std::string> fAdded;  // what the group's merge gave the contact that stays
};

}  // namespace

TPassResult ProcessContactRows(TScanEngine& Engine, TActionHistory& History, const TContactActionOptions& Options,
                               const TContactReport& OnItem) {
  auto* plugin = dynamic_cast<TContactsScanner*>(Engine.ScannerPlugin());
  if (!plugin) return {};
  // The plug-in keeps the contact that stays by its own check marks: they follow the rows.
  std::map<std::uint32_t, std::vector<PFileItem>> groups;
  for (int i = 0; i < Engine.ItemCount(); ++i) {
    const PFileItem it = Engine.Item(i);
    if (!it->Emails) continue;
    plugin->SetItemChecked(it->Emails->OutlookIndex, it->fSelected && !it->fProcessed);
    groups[it->DupGroup].push_back(it);
  }
  TContactPass pass(*plugin, History, Options, OnItem);
  for (const auto& [group, rows] : groups) pass.Group(rows);
  return pass.Result;
}

}  // namespace pelcrow
