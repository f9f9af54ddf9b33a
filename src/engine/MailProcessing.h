// Processing of the checked e-mail rows: into the store's trash, or into another folder of the
// store. Every message is recorded in the action journal before it moves (as faMoveMessage), so
// the app's Undo and `pelcrow-cli undo` move it back, after a restart too.
#pragma once

#include <functional>

#include "engine/Processing.h"
#include "plugins/PluginTypes.h"

namespace pelcrow {

struct TMailActionOptions {
  bool Move = false;       // into Destination, else into the store's trash
  TOlFolder Destination;   // Move: a folder of the store (its FolderPath is enough)
  bool DryRun = false;     // touch nothing: say what each row would become
  int JournalExpireDays = 30;
  int OnlyRow = -1;        // >= 0: that row alone (the row menu's delete)
};

// One pass over the visible rows; OnItem after each checked, unprocessed row.
TPassResult ProcessMailRows(TScanEngine& Engine, TActionHistory& History, const TMailActionOptions& Options,
                            const std::function<void(PFileItem, const TItemOutcome&)>& OnItem);

}  // namespace pelcrow
