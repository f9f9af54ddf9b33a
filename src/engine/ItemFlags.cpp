#include "engine/ItemFlags.h"

#include "base/UserPrompt.h"
#include "engine/ScanEngine.h"
#include "localization/TranslateText.h"

namespace pelcrow {

void SetFileSelected(PFileItem Item, bool Value) {
  if (Item->fSelected == Value) return;
  // A reference copy stays whatever asks: no prompt, no override.
  if (Value && Item->Reference) return;
  if (Value && Item->Master && MasterWarningActive) {
    bool disable = false;
    const bool yes = GetUserPrompt().ConfirmWithCheck(
        TranslateText("Are you sure you want to select master file?") + "    ",
        TranslateText("Disable this warning for this result set") + "    ", disable);
    MasterWarningActive = !disable;
    if (!yes) return;
  }
  Item->fSelected = Value;
}

void SetFileProcessed(PFileItem Item, bool Value) {
  Item->fProcessed = Value;
  if (Value) SetFileSelected(Item, false);
}

}  // namespace pelcrow
