#include "engine/SafetyLock.h"

#include <stdexcept>
#include <string>
#include <unordered_map>

#include "base/CountText.h"
#include "base/UserPrompt.h"
#include "localization/TranslateText.h"

namespace pelcrow {

namespace {

constexpr const char* kSelectionLockMessage =
    "You have selected ALL items in DupGroup #%d. At least ONE item in each duplicate group must be "
    "unchecked/unprocessed. It will be treated as \"original\" item.";
constexpr const char* kItemLockMessage =
    "All items in DupGroup #%d except this one are already processed. At least ONE item in each group "
    "should remain untreated - it is considered to be the \"original\" item.";

std::string GroupMessage(const char* text, std::uint32_t group) { return FormatCounts(TranslateText(text), {group}); }

bool AskOverride(const std::string& message, bool AllowOverride, const TSafetyLockOptions& Lock) {
  const IUserPrompt::TCheckSelectionAnswer answer = GetUserPrompt().CheckSelection(message, AllowOverride);
  // Without the override controls there is no OK to go ahead with, whatever the window answers.
  if (!AllowOverride || !answer.Ok || !answer.Override) return false;
  if (answer.Always && Lock.OnOverrideAlways) {
    try {
      Lock.OnOverrideAlways();
    } catch (const std::exception& e) {
      // The lock stays off for this session; the user learns that it will be back next time.
      GetUserPrompt().ShowMessage(TMessageKind::mkError, TranslateText(e.what()));
    }
  }
  return true;
}

}  // namespace

TSafetyLockOptions SafetyLockOptionsFor(TPcwSettings& Record) {
  TSafetyLockOptions o;
  o.Disabled = Record.DisableSafetyLock;
  o.OnOverrideAlways = [&Record] {
    Record.DisableSafetyLock = true;
    Record.SaveSettings();
  };
  return o;
}

bool CheckSelectionProtection(TScanEngine& Engine, bool AllowOverride, const TSafetyLockOptions& Lock) {
  if (Engine.GridRowCount() == 0 || (AllowOverride && Lock.Disabled)) return true;
  struct TCounts {
    int Items = 0;
    int CheckedOrProcessed = 0;
    bool Checked = false;
  };
  std::unordered_map<std::uint32_t, TCounts> groups;
  const int n = Engine.ItemCount();
  groups.reserve(static_cast<std::size_t>(n) / 2 + 1);
  for (int k = 0; k < n; ++k) {
    PFileItem it = Engine.Item(k);
    TCounts& c = groups[it->DupGroup];
    ++c.Items;
    if (it->fSelected || it->fProcessed) ++c.CheckedOrProcessed;
    if (it->fSelected) c.Checked = true;
  }
  // A group processed before, with nothing checked now, is not touched by this processing.
  bool found = false;
  std::uint32_t first = 0;
  for (const auto& [group, c] : groups) {
    if (c.Checked && c.CheckedOrProcessed == c.Items && (!found || group < first)) {
      found = true;
      first = group;
    }
  }
  if (!found) return true;
  return AskOverride(GroupMessage(kSelectionLockMessage, first), AllowOverride, Lock);
}

bool CheckItemProtection(TScanEngine& Engine, int AIndex, const TSafetyLockOptions& Lock) {
  const bool fileMode = IsFileComparisonMode(Engine.CompareMode());
  if (Engine.GridRowCount() == 0 || (fileMode && Lock.Disabled)) return true;
  const PFileItem item = Engine.Item(AIndex);
  int others = 0, othersProcessed = 0;
  for (int k = 0; k < Engine.ItemCount(); ++k) {
    PFileItem it = Engine.Item(k);
    if (k == AIndex || it->DupGroup != item->DupGroup) continue;
    ++others;
    if (it->fProcessed) ++othersProcessed;
  }
  if (othersProcessed != others) return true;
  return AskOverride(GroupMessage(kItemLockMessage, item->DupGroup), fileMode, Lock);
}

}  // namespace pelcrow
