// How an undo shows itself in the main window: its wait text, progress bar and Undo button. The
// app implements it; without one the undo runs silently.
#pragma once

#include <string>

namespace pelcrow {

class IUndoProgress {
 public:
  virtual ~IUndoProgress() = default;
  // Shows the wait text (already translated) and sets the progress bar, then lets the window
  // repaint. The first call of an undo disables the Undo button.
  virtual void ShowUndoProgress(const std::string& WaitText, int Percent) = 0;
  virtual void SetUndoEnabled(bool Enabled) = 0;
  // Resets the progress bar and clears and hides the wait text.
  virtual void HideUndoProgress() = 0;
};

}  // namespace pelcrow
