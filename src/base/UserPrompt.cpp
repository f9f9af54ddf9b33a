#include "base/UserPrompt.h"

#include <atomic>
#include <cstdio>

namespace pelcrow {

namespace {
std::atomic<IUserPrompt*> gPrompt{nullptr};

const char* KindText(TMessageKind kind) {
  switch (kind) {
    case TMessageKind::mkWarning: return "Warning";
    case TMessageKind::mkError: return "Error";
    case TMessageKind::mkInformation: return "Information";
  }
  return "";
}
}  // namespace

void TConsoleUserPrompt::ShowMessage(TMessageKind kind, const std::string& text) {
  std::fprintf(stderr, "%s: %s\n", KindText(kind), text.c_str());
}

bool TConsoleUserPrompt::Confirm(const std::string& text) {
  std::fprintf(stderr, "%s (answered No)\n", text.c_str());
  return false;
}

bool TConsoleUserPrompt::ConfirmWithCheck(const std::string& text, const std::string&, bool&) {
  return Confirm(text);
}

IUserPrompt::TCheckSelectionAnswer TConsoleUserPrompt::CheckSelection(const std::string& message, bool) {
  ShowMessage(TMessageKind::mkWarning, message);
  return {};
}

bool TConsoleUserPrompt::ShowUndoErrors(const std::string& statusText, const std::vector<std::string>& lines) {
  ShowMessage(TMessageKind::mkWarning, statusText);
  for (const std::string& l : lines) std::fprintf(stderr, "  %s\n", l.c_str());
  return false;
}

TReadOnlyAnswer TConsoleUserPrompt::AskReadOnly(const std::string& text) {
  std::fprintf(stderr, "%s (answered No)\n", text.c_str());
  return TReadOnlyAnswer::raNo;
}

IUserPrompt& GetUserPrompt() {
  static TConsoleUserPrompt fallback;
  IUserPrompt* p = gPrompt.load(std::memory_order_acquire);
  return p ? *p : fallback;
}

void SetUserPrompt(IUserPrompt* prompt) { gPrompt.store(prompt, std::memory_order_release); }

}  // namespace pelcrow
