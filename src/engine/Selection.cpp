// Selection rules over the visible result list: keep one copy per group (oldest, newest, original
// name), select all, none, the inverse, or by folder and group. Every change goes through
// SetFileSelected, so a master file is never checked without the user's consent; a refusal stops
// the running rule at that item. Reference copies are passed over (they are never checked), and
// a rule that keeps one copy per group keeps a reference copy where the group has one. Each rule tells the grid inside one update bracket. Runs on the
// user-interface thread, never during a scan.
#include <algorithm>
#include <string>
#include <string_view>
#include <unordered_map>

#include "engine/AutoSelect.h"
#include "engine/ItemFlags.h"
#include "engine/NameKeys.h"
#include "engine/ScanEngine.h"

namespace pelcrow {

namespace {

int Sign(bool greater) { return greater ? 1 : -1; }

// The name without its extension; a dot file (".profile") is all name, never an empty one that
// every other name would contain.
std::string_view BaseName(std::string_view name) {
  std::string_view part = NamePart(name);
  return part.empty() ? name : part;
}

// Full path, compared without regard to case: the last word between copies of equal age.
int ComparePathAndName(const TFileItem& l, const TFileItem& r) {
  return CompareOrdinal(UpperCaseText(l.FullPath()), UpperCaseText(r.FullPath()));
}

// The older (or with Newest the newer) first; equal times leave it to the paths.
int CompareAge(const TFileItem& l, const TFileItem& r, bool Newest) {
  if (l.Modified != r.Modified) return Sign((l.Modified > r.Modified) != Newest);
  return ComparePathAndName(l, r);
}

std::string WithDelimiter(std::string_view folder) {
  std::string s(folder);
  if (s.empty() || s.back() != '/') s += '/';
  return s;
}

// Folder tests of the folder rules; a trailing delimiter on either side does not matter.
bool InFolder(const TFileItem& it, const std::string& folderWithDelimiter, bool subFolders) {
  const std::string path = WithDelimiter(it.Path.view());
  if (subFolders) return path.compare(0, folderWithDelimiter.size(), folderWithDelimiter) == 0;
  return path == folderWithDelimiter;
}

// One update bracket of the grid around a whole rule, however many rows it changes.
class TUpdateBlock {
 public:
  explicit TUpdateBlock(IScanView* view) : fView(view) {
    if (fView) fView->BeginUpdate();
  }
  ~TUpdateBlock() {
    if (fView) fView->EndUpdate();
  }
  TUpdateBlock(const TUpdateBlock&) = delete;
  TUpdateBlock& operator=(const TUpdateBlock&) = delete;

 private:
  IScanView* fView;
};

}  // namespace

// ------------------------------------------------------------------ TAutoSelectComp

int TAutoSelectComp::Compare(PFileItem Left, PFileItem Right) const {
  if (Left->DupGroup != Right->DupGroup) return Sign(Left->DupGroup > Right->DupGroup);
  if (Left->Reference != Right->Reference) return Left->Reference ? -1 : 1;
  if (fComparisonMode == cmEmails) return CompareEmails(*Left, *Right);
  switch (fSelectMethod) {
    case smSelectAllLeaveOriginalName: return CompareOriginalName(*Left, *Right);
    case smSelectAllLeaveNewest: return CompareAge(*Left, *Right, true);
    case smSelectAllLeaveOldest: break;
  }
  return CompareAge(*Left, *Right, false);
}

int TAutoSelectComp::CompareEmails(const TFileItem& Left, const TFileItem& Right) const {
  const TDateTime l = Left.Emails ? Left.Emails->ReceivedDate : TDateTime();
  const TDateTime r = Right.Emails ? Right.Emails->ReceivedDate : TDateTime();
  if (l == r || fSelectMethod == smSelectAllLeaveOriginalName) return 0;
  if (fSelectMethod == smSelectAllLeaveNewest) return l > r ? -1 : 1;
  return l > r ? 1 : -1;
}

int TAutoSelectComp::CompareOriginalName(const TFileItem& Left, const TFileItem& Right) const {
  const std::string a = UpperCaseText(BaseName(Left.Name.view()));
  const std::string b = UpperCaseText(BaseName(Right.Name.view()));
  if (a != b) {
    // The shorter name that the other one contains is what a copy was named after.
    if (a.find(b) != std::string::npos) return 1;
    if (b.find(a) != std::string::npos) return -1;
  }
  return CompareAge(Left, Right, false);
}

// ------------------------------------------------------------------ engine operations

bool TScanEngine::SetSelection(int Index, bool Value) {
  PFileItem it = fFiles[static_cast<std::size_t>(Index)];
  if (it->fSelected == Value) return true;
  SetFileSelected(it, Value);
  if (it->fSelected != Value) return false;
  UpdateGrid(Index, false);
  return true;
}

void TScanEngine::BeginSelection(IScanView* FileList) {
  // The worker reorders and frees the list while it runs.
  CheckNotExecuting();
  if (FileList) fFileList = FileList;
}

void TScanEngine::AutoSelect(IScanView* FileList, TSelectMethod ASelectMethod) {
  BeginSelection(FileList);
  const TUpdateBlock block(fFileList);
  if (fFiles.empty()) return;
  UnSelectAll(FileList);
  const TAutoSelectComp cmp(&fFiles, ASelectMethod, fCompareMode);
  QuickSortItems(fFiles, [&cmp](PFileItem l, PFileItem r) { return cmp.Compare(l, r); });
  // The list is now in group order but in no column's: bands follow the groups again, and the
  // next column sort must not take the list for already sorted.
  NumberBands();
  fLastSortColumn = -1;

  bool kept = false;
  std::uint32_t group = 0;
  for (PFileItem it : fFiles) {
    if (it->fProcessed) continue;
    if (!kept || it->DupGroup != group) {
      kept = true;
      group = it->DupGroup;
      SetFileSelected(it, false);
      continue;
    }
    if (it->Reference) continue;
    SetFileSelected(it, true);
    if (!it->fSelected) break;
  }
  UpdateGrid(-1, true);
}

void TScanEngine::SelectAll(IScanView* FileList) {
  BeginSelection(FileList);
  const TUpdateBlock block(fFileList);
  if (GridRowCount() == 0) return;
  const bool masterMode = fMasterSelectMode && IsFileComparisonMode(fCompareMode);
  for (int k = 0; k < ItemCount(); ++k) {
    PFileItem it = fFiles[static_cast<std::size_t>(k)];
    if (it->fProcessed || it->Reference) continue;
    if (!SetSelection(k, masterMode ? !it->Master : true)) return;
  }
}

void TScanEngine::UnSelectAll(IScanView* FileList) {
  BeginSelection(FileList);
  const TUpdateBlock block(fFileList);
  if (GridRowCount() == 0) return;
  for (int k = 0; k < ItemCount(); ++k) SetSelection(k, false);
}

void TScanEngine::ReverseSelection(IScanView* FileList) {
  BeginSelection(FileList);
  const TUpdateBlock block(fFileList);
  for (int k = 0; k < ItemCount(); ++k) {
    PFileItem it = fFiles[static_cast<std::size_t>(k)];
    if (it->fProcessed || it->Reference) continue;
    if (!SetSelection(k, !it->fSelected)) return;
  }
}

void TScanEngine::SelectAllExceptThisFolder(IScanView* FileList, int ItemIndex, bool Recursive) {
  const std::string folder = Item(ItemIndex)->Path.str();
  SelectAllExceptThisFolder(FileList, folder, Recursive);
}

void TScanEngine::SelectAllExceptThisFolder(IScanView* FileList, const std::string& AFolder, bool Recursive) {
  BeginSelection(FileList);
  const TUpdateBlock block(fFileList);
  const std::string folder = WithDelimiter(AFolder);
  for (int k = 0; k < ItemCount(); ++k) {
    PFileItem it = fFiles[static_cast<std::size_t>(k)];
    if (it->fProcessed || it->Reference) continue;
    if (!SetSelection(k, !InFolder(*it, folder, Recursive))) return;
  }
}

void TScanEngine::SelectAllInGroupButThisOne(IScanView* FileList, int ItemIndex) {
  BeginSelection(FileList);
  const TUpdateBlock block(fFileList);
  const std::uint32_t group = Item(ItemIndex)->DupGroup;
  for (int k = 0; k < ItemCount(); ++k) {
    PFileItem it = fFiles[static_cast<std::size_t>(k)];
    if (it->fProcessed || it->Reference || it->DupGroup != group) continue;
    if (!SetSelection(k, k != ItemIndex)) return;
  }
}

void TScanEngine::SelectDuplicatesInSameFolder(const std::string& AFolder, bool ASelectInSubFolders) {
  BeginSelection(nullptr);
  const TUpdateBlock block(fFileList);
  const std::string folder = WithDelimiter(AFolder);
  for (int k = 0; k < ItemCount(); ++k) {
    PFileItem it = fFiles[static_cast<std::size_t>(k)];
    if (it->fSelected || it->fProcessed || it->Reference || !InFolder(*it, folder, ASelectInSubFolders)) continue;
    if (!SetSelection(k, true)) return;
  }
}

PFileItem TScanEngine::OriginalItem(PFileItem AItem) const {
  if (!AItem) return nullptr;
  // Never the item itself: a link to itself or an undo target of itself would lose the file. A
  // reference copy is the one that stays for sure.
  PFileItem first = nullptr;
  for (PFileItem it : fFiles)
    if (it != AItem && it->DupGroup == AItem->DupGroup && !it->fSelected && !it->fProcessed) {
      if (it->Reference) return it;
      if (!first) first = it;
    }
  return first;
}

}  // namespace pelcrow

namespace pelcrow {

std::vector<PFileItem> TScanEngine::KeptCandidates(PFileItem AItem, bool AlsoChecked) const {
  std::vector<PFileItem> unchecked, checked;
  if (!AItem) return unchecked;
  for (PFileItem it : fFiles) {
    if (it == AItem || it->DupGroup != AItem->DupGroup || it->fProcessed) continue;
    if (it->fSelected && !AlsoChecked) continue;
    (it->fSelected ? checked : unchecked).push_back(it);
  }
  std::stable_partition(unchecked.begin(), unchecked.end(), [](PFileItem it) { return it->Reference; });
  unchecked.insert(unchecked.end(), checked.begin(), checked.end());
  return unchecked;
}

std::vector<char> TScanEngine::KeptRows() const {
  std::unordered_map<std::uint32_t, std::size_t> kept;
  for (std::size_t k = 0; k < fFiles.size(); ++k) {
    const PFileItem it = fFiles[k];
    if (it->fSelected || it->fProcessed) continue;
    auto [i, added] = kept.try_emplace(it->DupGroup, k);
    if (!added && it->Reference && !fFiles[i->second]->Reference) i->second = k;
  }
  std::vector<char> rows(fFiles.size(), 0);
  for (const auto& entry : kept) rows[entry.second] = 1;
  return rows;
}

platform::TFolderIdentity TScanEngine::FolderIdentity(std::string_view Folder) const {
  const auto i = fFolderIds.find(std::string(Folder));
  return i == fFolderIds.end() ? platform::TFolderIdentity{} : i->second;
}

void TScanEngine::SetFolderIdentity(const std::string& Folder, platform::TFolderIdentity Id) {
  if (Id.Known()) fFolderIds[Folder] = Id;
}

platform::TScannedFile ScannedFileOf(const TFileItem& Item, platform::TFolderIdentity FolderId) {
  platform::TScannedFile f;
  f.Folder = Item.Path.str();
  f.Name = Item.Name.str();
  f.FolderId = FolderId;
  f.Id.Device = Item.Device;
  f.Id.Inode = Item.Inode;
  f.Id.Size = Item.Size;
  f.Id.ModifiedNs = Item.Modified.UnixNanoseconds();
  f.Id.ChangedNs = Item.Changed.IsZero() ? 0 : Item.Changed.UnixNanoseconds();
  // A list of an older version keeps neither the identity nor fractions of a second.
  f.Id.WholeSeconds = Item.Device == 0 && Item.Inode == 0;
  return f;
}

platform::TScannedFile TScanEngine::ScannedFile(const TFileItem& Item) const {
  return ScannedFileOf(Item, FolderIdentity(Item.Path.view()));
}

}  // namespace pelcrow
