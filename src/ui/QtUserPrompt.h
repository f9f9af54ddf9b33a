// The core's questions and notices as message boxes over the active window.
#pragma once

#include "base/UserPrompt.h"

namespace pelcrow::ui {

class TQtUserPrompt final : public IUserPrompt {
 public:
  void ShowMessage(TMessageKind kind, const std::string& text) override;
  bool Confirm(const std::string& text) override;
  bool AskOkCancel(const std::string& text) override;
  bool ConfirmWithCheck(const std::string& text, const std::string& checkText, bool& Checked) override;
  TCheckSelectionAnswer CheckSelection(const std::string& message, bool AllowOverride) override;
  bool ShowUndoErrors(const std::string& statusText, const std::vector<std::string>& lines) override;
  TReadOnlyAnswer AskReadOnly(const std::string& text) override;
};

}  // namespace pelcrow::ui
