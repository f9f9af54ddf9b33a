// The safety lock: processing may not leave a duplicate group without an unprocessed copy, which
// is the "original" that links, undo and the user rely on. The processing commands ask here before
// they start; the lock never changes an item.
#pragma once

#include <functional>

#include "engine/ScanEngine.h"

namespace pelcrow {

// The lock's setting, and what "Override always" does to it: the front end turns the lock off
// in its settings and saves them (a failure to save throws; the user is shown why).
struct TSafetyLockOptions {
  bool Disabled = false;
  std::function<void()> OnOverrideAlways;
};
// The lock of a front end's settings record; "Override always" switches it off there and saves.
TSafetyLockOptions SafetyLockOptionsFor(TPcwSettings& Record);

// True when the checked rows may be processed. Otherwise the user is shown the first group whose
// every visible item is checked or processed; with AllowOverride the user may go ahead anyway, for
// this time or always (Lock.OnOverrideAlways).
bool CheckSelectionProtection(TScanEngine& Engine, bool AllowOverride, const TSafetyLockOptions& Lock);

// True when the item at AIndex may be processed on its own, that is unless every other item of
// its group is already processed. The override is offered in the file modes only.
bool CheckItemProtection(TScanEngine& Engine, int AIndex, const TSafetyLockOptions& Lock);

}  // namespace pelcrow
