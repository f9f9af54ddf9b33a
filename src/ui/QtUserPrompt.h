// The core's questions and notices as message boxes over the active window.
#pragma once

#include "base/UserPrompt.h"

namespace pelcrow::ui {

class TQtUserPrompt final : public IUserPrompt {
 public:
  void ShowMessage(TMessageKind kind, const std::string& text) override;
  bool Confirm(const std::string& text) override;
};

}  // namespace pelcrow::ui
