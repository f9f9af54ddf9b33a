// Questions and notices to the user. The core never shows a window: the app answers with dialogs,
// the CLI from its flags, tests with scripted answers. Texts arrive already translated.
#pragma once

#include <string>

namespace pelcrow {

enum class TMessageKind { mkWarning, mkError, mkInformation };

class IUserPrompt {
 public:
  virtual ~IUserPrompt() = default;
  virtual void ShowMessage(TMessageKind kind, const std::string& text) = 0;
  // A Yes/No confirmation in which Yes proceeds.
  virtual bool Confirm(const std::string& text) = 0;
};

// Without a front end: notices go to standard error, questions are answered No.
class TConsoleUserPrompt final : public IUserPrompt {
 public:
  void ShowMessage(TMessageKind kind, const std::string& text) override;
  bool Confirm(const std::string& text) override;
};

IUserPrompt& GetUserPrompt();
void SetUserPrompt(IUserPrompt* prompt);

}  // namespace pelcrow
