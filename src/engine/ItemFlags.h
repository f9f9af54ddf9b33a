// The two user-visible flags of an item. Every change of them goes through these procedures, so
// that checking a master file asks for confirmation while that warning is active.
#pragma once

#include "engine/FileItem.h"

namespace pelcrow {

// Checks or unchecks the item. Checking a master file may be refused by the user; callers read
// fSelected back to learn whether the change took. A reference copy is never checked.
void SetFileSelected(PFileItem Item, bool Value);
// Marks the item processed (which also unchecks it) or unprocessed.
void SetFileProcessed(PFileItem Item, bool Value);

}  // namespace pelcrow
