// The safety lock: processing may not leave a duplicate group without an unprocessed copy, which
// is the "original" that links, undo and the user rely on. The processing commands ask here before
// they start; the lock never changes an item.
#pragma once

#include "engine/ScanEngine.h"

namespace pelcrow {

// True when the checked rows may be processed. Otherwise the user is shown the first group whose
// every visible item is checked or processed; with AllowOverride the user may go ahead anyway, for
// this time or always (which turns the lock off in the settings).
bool CheckSelectionProtection(TScanEngine& Engine, bool AllowOverride);

// True when the item at AIndex may be processed on its own, that is unless every other item of
// its group is already processed. The override is offered in the file modes only.
bool CheckItemProtection(TScanEngine& Engine, int AIndex);

}  // namespace pelcrow
