// Processing of the checked contact rows: a merge of each group into the contact that stays (the
// addresses it lacks added, then the others into the address book's trash folder), or a delete
// into that trash folder. Every file is recorded in the action journal before it changes
// (faMergeContact, faMoveContact), so the app's Undo and `pelcrow-cli undo` put it back, after a
// restart too.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/Processing.h"

namespace pelcrow {

struct TContactActionOptions {
  bool Merge = false;              // else delete
  bool CheckAllAddresses = false;  // every address of a checked contact goes to the merge
  bool DryRun = false;             // touch nothing: say what each row would become
  int JournalExpireDays = 30;
};

enum class TContactStep { csMerged, csDeleted };

// One pass over the visible rows. OnItem after each contact merged into (with the addresses it
// got) and each contact deleted.
TPassResult ProcessContactRows(
    TScanEngine& Engine, TActionHistory& History, const TContactActionOptions& Options,
    const std::function<void(PFileItem, TContactStep, const TItemOutcome&, const std::vector<std::string>&)>& OnItem);

}  // namespace pelcrow
