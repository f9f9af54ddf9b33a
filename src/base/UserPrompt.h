// Questions and notices to the user. The core never shows a window: the app answers with dialogs,
// the CLI from its flags, tests with scripted answers. Texts arrive already translated.
#pragma once

#include <string>
#include <vector>

namespace pelcrow {

enum class TMessageKind { mkWarning, mkError, mkInformation };

// The answers to the question whether a read-only file may be processed.
enum class TReadOnlyAnswer { raYes, raNo, raNoToAll, raYesToAll };

class IUserPrompt {
 public:
  virtual ~IUserPrompt() = default;
  virtual void ShowMessage(TMessageKind kind, const std::string& text) = 0;
  // A Yes/No confirmation in which Yes proceeds.
  virtual bool Confirm(const std::string& text) = 0;
  // A notice with OK and Cancel; OK lets the step it announces go ahead. Front ends without a
  // window of their own answer it as a confirmation.
  virtual bool AskOkCancel(const std::string& text) { return Confirm(text); }
  // A Yes/No confirmation with a check box below the text; Checked carries the box in and out.
  virtual bool ConfirmWithCheck(const std::string& text, const std::string& checkText, bool& Checked) = 0;

  // The safety-lock window: Ok = closed with OK; Override = "Override protection" ticked;
  // Always = "Override always" chosen. AllowOverride shows the override controls and OK.
  struct TCheckSelectionAnswer {
    bool Ok = false;
    bool Override = false;
    bool Always = false;
  };
  virtual TCheckSelectionAnswer CheckSelection(const std::string& message, bool AllowOverride) = 0;

  // The undo error log: returns true when the user chose Retry.
  virtual bool ShowUndoErrors(const std::string& statusText, const std::vector<std::string>& lines) = 0;

  // A question with the buttons Yes, No, No to All and Yes to All.
  virtual TReadOnlyAnswer AskReadOnly(const std::string& text) = 0;
};

// Without a front end: notices go to standard error, questions are answered No.
class TConsoleUserPrompt final : public IUserPrompt {
 public:
  void ShowMessage(TMessageKind kind, const std::string& text) override;
  bool Confirm(const std::string& text) override;
  bool ConfirmWithCheck(const std::string& text, const std::string& checkText, bool& Checked) override;
  TCheckSelectionAnswer CheckSelection(const std::string& message, bool AllowOverride) override;
  bool ShowUndoErrors(const std::string& statusText, const std::vector<std::string>& lines) override;
  TReadOnlyAnswer AskReadOnly(const std::string& text) override;
};

IUserPrompt& GetUserPrompt();
void SetUserPrompt(IUserPrompt* prompt);

}  // namespace pelcrow
