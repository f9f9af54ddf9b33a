#include "settings/FileMaskSelectorModel.h"

#include <cstddef>
#include <optional>
#include <utility>

namespace pelcrow {

namespace {

bool HasAnyFileMask(const std::string& patterns) { return patterns.find("*.*") != std::string::npos; }

bool IsBlankEntry(const std::string& entry) {
  for (char c : entry) {
    if (static_cast<unsigned char>(c) > 0x20) return false;
  }
  return true;
}

}  // namespace

TFileMaskSelectorModel::TFileMaskSelectorModel(TMaskSelectorKind kind, bool musicMode, std::string_view storedList,
                                               std::string_view fieldText)
    : fKind(kind), fMusicMode(musicMode), fFieldText(fieldText) {
  LoadEntries(ParseMaskList(storedList));
  for (TItem& item : fItems) item.Checked = PatternsInFieldText(item.Patterns, fFieldText);
}

TFileMaskSelectorModel::TFileMaskSelectorModel(TMaskSelectorKind kind, const TPcwSettings& settings,
                                               std::string_view fieldText)
    : TFileMaskSelectorModel(kind, settings.ComparisonMode() == cmMusicTags,
                             StoredList(settings, kind, settings.ComparisonMode() == cmMusicTags), fieldText) {}

const std::string& TFileMaskSelectorModel::StoredList(const TPcwSettings& settings, TMaskSelectorKind kind,
                                                      bool musicMode) {
  if (kind == TMaskSelectorKind::mskInclude)
    return musicMode ? settings.IncludeMusicFileMasks : settings.IncludeFileMasks;
  return musicMode ? settings.ExcludeMusicFileMasks : settings.ExcludeFileMasks;
}

const char* TFileMaskSelectorModel::Caption() const {
  return fKind == TMaskSelectorKind::mskInclude ? "INCLUDE File Masks" : "EXCLUDE File Masks";
}

TFileMaskSelectorModel::TItem TFileMaskSelectorModel::MakeItem(std::string entry) {
  TItem item;
  item.Patterns = MaskEntryPatterns(entry);
  item.Entry = std::move(entry);
  return item;
}

void TFileMaskSelectorModel::LoadEntries(const std::vector<std::string>& entries) {
  fItems.clear();
  for (const std::string& entry : entries) {
    // A blank entry has no patterns and would only add an empty mask to the field.
    if (IsBlankEntry(entry)) continue;
    fItems.push_back(MakeItem(entry));
  }
}

void TFileMaskSelectorModel::SetChecked(std::size_t index, bool checked) {
  if (index >= fItems.size()) return;
  TItem& item = fItems[index];
  const bool becomesTicked = checked && !item.Checked;
  item.Checked = checked;
  if (!becomesTicked || fMusicMode) return;
  const bool anyFile = HasAnyFileMask(item.Patterns);
  for (std::size_t k = 0; k < fItems.size(); ++k) {
    if (k == index) continue;
    if (anyFile || HasAnyFileMask(fItems[k].Patterns)) fItems[k].Checked = false;
  }
}

void TFileMaskSelectorModel::SelectAll() {
  for (TItem& item : fItems) item.Checked = true;
}

void TFileMaskSelectorModel::UnselectAll() {
  for (TItem& item : fItems) item.Checked = false;
}

void TFileMaskSelectorModel::ReverseSelection() {
  for (TItem& item : fItems) item.Checked = !item.Checked;
}

bool TFileMaskSelectorModel::OkEnabled() const {
  if (fKind == TMaskSelectorKind::mskExclude) return true;
  for (const TItem& item : fItems) {
    if (item.Checked) return true;
  }
  return false;
}

TMaskEntryParts TFileMaskSelectorModel::EditFields(std::size_t index) const {
  if (index >= fItems.size()) return {};
  return SplitMaskEntry(fItems[index].Entry);
}

bool TFileMaskSelectorModel::AddMask(std::string_view mask, std::string_view description) {
  if (!ListEditable()) return false;
  std::optional<std::string> entry = MakeMaskEntry(mask, description);
  if (!entry) return false;
  fItems.push_back(MakeItem(std::move(*entry)));
  return true;
}

bool TFileMaskSelectorModel::EditMask(std::size_t index, std::string_view mask, std::string_view description) {
  if (!ListEditable() || index >= fItems.size()) return false;
  std::optional<std::string> entry = MakeMaskEntry(mask, description);
  if (!entry) return false;
  const bool checked = fItems[index].Checked;
  fItems[index] = MakeItem(std::move(*entry));
  fItems[index].Checked = checked;
  return true;
}

bool TFileMaskSelectorModel::DeleteMask(std::size_t index) {
  if (!ListEditable() || index >= fItems.size()) return false;
  fItems.erase(fItems.begin() + static_cast<std::ptrdiff_t>(index));
  return true;
}

void TFileMaskSelectorModel::RestoreDefaults() {
  const bool include = fKind == TMaskSelectorKind::mskInclude;
  if (fMusicMode) {
    LoadEntries(DefaultMusicMaskEntries());
    if (include) SelectAll();
  } else {
    LoadEntries(include ? DefaultIncludeMaskEntries() : DefaultExcludeMaskEntries());
    if (include && !fItems.empty()) fItems.front().Checked = true;
  }
}

std::string TFileMaskSelectorModel::ResultFieldText() const {
  std::vector<std::string> patterns;
  for (const TItem& item : fItems) {
    if (item.Checked) patterns.push_back(item.Patterns);
  }
  return BuildMaskFieldText(patterns);
}

std::string TFileMaskSelectorModel::ListText() const {
  std::vector<std::string> entries;
  entries.reserve(fItems.size());
  for (const TItem& item : fItems) entries.push_back(item.Entry);
  return BuildMaskList(entries);
}

bool TFileMaskSelectorModel::StoreList(TPcwSettings& settings) const {
  if (fMusicMode) return false;
  (fKind == TMaskSelectorKind::mskInclude ? settings.IncludeFileMasks : settings.ExcludeFileMasks) = ListText();
  return true;
}

}  // namespace pelcrow
