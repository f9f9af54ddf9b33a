// Views of the results: the search filter and the category buttons hide items without losing
// them (they move between the visible list and the two hidden ones); the remove commands and the
// clean-up of resolved groups destroy items for good. Runs on the user-interface thread.
#include <string_view>
#include <unordered_map>

#include "engine/ScanEngine.h"
#include "logging/Logger.h"
#include "localization/Formatting.h"

namespace pelcrow {

namespace {

// Sets the flag for a scope and restores its earlier value.
class TFlagScope {
 public:
  explicit TFlagScope(bool& flag) : fFlag(flag), fOld(flag) { fFlag = true; }
  ~TFlagScope() { fFlag = fOld; }
  TFlagScope(const TFlagScope&) = delete;
  TFlagScope& operator=(const TFlagScope&) = delete;

 private:
  bool& fFlag;
  bool fOld;
};

// Moves the items of `from` that pass `pred` to the end of `to`, walking `from` from its last item
// to its first; the others keep their order. Only pointers move.
template <typename Pred>
void MoveItems(std::vector<PFileItem>& from, std::vector<PFileItem>& to, Pred pred) {
  std::size_t moved = 0;
  for (std::size_t k = from.size(); k-- > 0;)
    if (pred(from[k])) {
      to.push_back(from[k]);
      ++moved;
    }
  if (moved == 0) return;
  std::size_t out = 0;
  for (PFileItem it : from)
    if (!pred(it)) from[out++] = it;
  from.resize(out);
}

// Destroys the items of `list` that pass `pred`; returns how many.
template <typename Pred>
std::size_t DestroyItems(std::vector<PFileItem>& list, Pred pred) {
  std::size_t out = 0;
  for (PFileItem it : list) {
    if (pred(it)) {
      delete it;
    } else {
      list[out++] = it;
    }
  }
  const std::size_t destroyed = list.size() - out;
  list.resize(out);
  return destroyed;
}

// The extension with its dot, or empty.
std::string_view ExtensionOf(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return {};
  return name.substr(dot);
}

std::string WithDelimiter(std::string_view path) {
  std::string r(path);
  if (r.empty() || r.back() != '/') r += '/';
  return r;
}

}  // namespace

void TScanEngine::ShowNoRows() {
  if (!fFileList) return;
  fGridRowCount = 0;
  fFileList->ListChanged(0);
}

void TScanEngine::ReShow() {
  ShowNoRows();
  if (fLastSortColumn >= 0) {
    SortResults(fFileList, fLastSortColumn, fLastSortOrder);
  } else {
    SortResults(fFileList, 2, soAsc);
  }
  UpdateSummaryInfo();
}

void TScanEngine::ReShowAfterPruning() {
  // The summary counts the first item of each group in the present order as its original.
  UpdateSummaryInfo();
  ShowNoRows();
  if (fLastSortColumn >= 0) {
    SortResults(fFileList, fLastSortColumn, fLastSortOrder);
  } else {
    SortResults(fFileList, 2, soAsc);
  }
}

void TScanEngine::SetCategoryFilter(TFilterCategory AFilter, bool ASetOnly, bool InternalCall) {
  fCurrentCategoryFilter = AFilter;
  if (ASetOnly) return;
  {
    TFlagScope moving(fDisableRemoveNotification);
    MoveItems(fFilesHiddenByCategory, fFiles, [](PFileItem) { return true; });
    if (AFilter != fcAllFiles) {
      auto other = [AFilter](PFileItem it) { return it->Category != AFilter; };
      MoveItems(fFiles, fFilesHiddenByCategory, other);
      MoveItems(fFilesHiddenByFilter, fFilesHiddenByCategory, other);
    }
  }
  if (!InternalCall) ReShow();
}

void TScanEngine::FilterResults(IScanView* FileList, const TSearchFilterFiles& AFilesFilter) {
  if (FileList) fFileList = FileList;
  {
    TFlagScope moving(fDisableRemoveNotification);
    fFiles.insert(fFiles.end(), fFilesHiddenByFilter.begin(), fFilesHiddenByFilter.end());
    fFilesHiddenByFilter.clear();
    // The re-show below covers the category's own.
    SetCategoryFilter(fCurrentCategoryFilter, false, true);
    const TSearchFilterMatcher matcher(AFilesFilter);
    MoveItems(fFiles, fFilesHiddenByFilter, [&matcher](PFileItem it) { return !matcher.Matches(*it); });
  }
  ReShow();
}

void TScanEngine::CloseFilterResults(IScanView* FileList) {
  if (FileList) fFileList = FileList;
  {
    TFlagScope moving(fDisableRemoveNotification);
    fFiles.insert(fFiles.end(), fFilesHiddenByFilter.begin(), fFilesHiddenByFilter.end());
    fFilesHiddenByFilter.clear();
    SetCategoryFilter(fCurrentCategoryFilter, false, true);
  }
  ReShow();
}

void TScanEngine::RemoveByExtension(int AIndex) {
  try {
    const std::string ext(ExtensionOf(Item(AIndex)->Name.view()));
    DestroyItems(fFiles, [&ext](PFileItem it) { return ExtensionOf(it->Name.view()) == ext; });
  } catch (const std::exception& e) {
    WriteLog(e.what(), lsvError);
  }
  ReShowAfterPruning();
}

void TScanEngine::RemoveByFolder(int AIndex) {
  const std::string path = Item(AIndex)->Path.str();
  DestroyItems(fFiles, [&path](PFileItem it) { return it->Path.view() == path; });
  ReShowAfterPruning();
}

void TScanEngine::RemoveByFolderSub(int AIndex) {
  // Plug-in rows stay in their plug-in's results (their indexes must not move); only the rows go.
  const std::string folder = WithDelimiter(Item(AIndex)->Path.view());
  DestroyItems(fFiles, [&folder](PFileItem it) { return WithDelimiter(it->Path.view()).starts_with(folder); });
  ReShowAfterPruning();
}

void TScanEngine::CleanResolved() {
  std::size_t destroyed = 0;
  auto processed = [](PFileItem it) { return it->fProcessed; };
  destroyed += DestroyItems(fFiles, processed);
  destroyed += DestroyItems(fFilesHiddenByFilter, processed);
  destroyed += DestroyItems(fFilesHiddenByCategory, processed);
  if (destroyed == 0) return;
  // Full-width counters keyed by group: a group may hold more than 65535 items, and a loaded list
  // may carry any group number.
  std::unordered_map<std::uint32_t, std::uint32_t> counts;
  for (const auto* list : {&fFiles, &fFilesHiddenByFilter, &fFilesHiddenByCategory})
    for (PFileItem it : *list) ++counts[it->DupGroup];
  auto alone = [&counts](PFileItem it) { return counts[it->DupGroup] < 2; };
  DestroyItems(fFiles, alone);
  DestroyItems(fFilesHiddenByFilter, alone);
  DestroyItems(fFilesHiddenByCategory, alone);
  ReShowAfterPruning();
}

double TScanEngine::GetStatsByCategory(TFilterCategory AFilter, bool& Found) const {
  Found = false;
  double total = 0, inCategory = 0;
  for (const auto* list : {&fFiles, &fFilesHiddenByFilter, &fFilesHiddenByCategory}) {
    for (PFileItem it : *list) {
      total += static_cast<double>(it->Size);
      if (it->Category == AFilter) {
        inCategory += static_cast<double>(it->Size);
        Found = true;
      }
    }
  }
  if (total <= 0) return 0;
  return inCategory * 100 / total;
}

std::string TScanEngine::GetSelectedInfo(int& SelCount, int& ActiveCount) const {
  SelCount = 0;
  ActiveCount = 0;
  std::int64_t selectedSize = 0;
  for (PFileItem it : fFiles) {
    if (it->fSelected) {
      ++SelCount;
      selectedSize += it->Size;
    }
    // A reference copy can never be checked, so "all checked" does not wait for it.
    if (!it->fProcessed && !it->Reference) ++ActiveCount;
  }
  return std::to_string(SelCount) + " / " + FormatFileSize(selectedSize);
}

void TScanEngine::UpdateItem(int AIndex) {
  if (AIndex < 0 || AIndex >= ItemCount()) throw EScanEngineError("UpdateGrid: invalid row index specified");
  // Plug-in rows are refreshed from their plug-in; file rows have nothing to refresh.
  PFileItem it = fFiles[static_cast<std::size_t>(AIndex)];
  if (!it->Emails || !fCurrentPlugin) return;
  TExportData d;
  fCurrentPlugin->ExportItem(it->Emails->OutlookIndex, d);
  it->Path = TItemString(d.Path);
  it->Size = d.Size;
  it->DupGroup = static_cast<std::uint32_t>(d.DupGroup);
  it->Modified = d.DateTime;
  it->Emails->From = d.From;
  it->Emails->To_ = d.To_;
  it->Emails->Subject = d.Subject;
  it->Emails->ReceivedDate = d.DateTime;
  if (fCompareMode == cmContacts) {
    it->Name = TItemString(d.Name);
    it->Emails->Address1 = d.Address1;
    it->Emails->Address2 = d.Address2;
    it->Emails->Address3 = d.Address3;
  }
}

}  // namespace pelcrow
