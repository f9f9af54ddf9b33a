// The photo mode of the engine: the photo-library scanner, its scan of the chosen albums and the
// rows made from its results. Everything here runs on the user-interface thread: the scanner scans
// on a worker of its own and hands its results over there.
#include <algorithm>
#include <unordered_set>

#include "base/MainThread.h"
#include "base/PathText.h"
#include "base/UserPrompt.h"
#include "engine/ItemFlags.h"
#include "engine/PhotoProcessing.h"
#include "engine/ScanEngine.h"
#include "localization/TranslateText.h"
#include "logging/Logger.h"
#include "platform/SpecialFolders.h"
#include "plugins/PictureScanner.h"
#include "services/Crc32.h"

namespace pelcrow {

std::string DefaultPhotoLibrary() { return TPcwSpecialFolders::GetUserDataDirectory() + "/shotwell/data/photo.db"; }

void TScanEngine::SetPhotoLibrary(TPhotoLibraryLocation Location) {
  CheckNotExecuting();
  fPhotoLibrary = std::move(Location);
  if (!fPhotoScanner) return;
  // Rows point into the scanner's items: they go with it.
  ShowNoRows();
  FreeList(fFiles);
  FreeList(fFilesHiddenByFilter);
  FreeList(fFilesHiddenByCategory);
  fPhotoScanner.reset();
}

TScannerBase* TScanEngine::PhotoScannerIfMade() const { return fPhotoScanner.get(); }

TScannerBase* TScanEngine::PhotoScanner() {
  if (fCompareMode != cmPhotoLibrary)
    throw EScanEngineError("Compare mode incrorect (" + std::to_string(fCompareMode) + ") GetPhotoScanner");
  if (fPhotoScanner) return fPhotoScanner.get();
  const std::string scripts = fPhotoLibrary.ScriptFolder.empty() ? PhotoScriptFolder() : fPhotoLibrary.ScriptFolder;
  const std::string library = fPhotoLibrary.Library.empty() ? DefaultPhotoLibrary() : fPhotoLibrary.Library;
  try {
    auto scanner = std::make_unique<TScannerPictureLibrary>(scripts, library, &UpdateCRC32);
    scanner->Open();
    std::weak_ptr<TScanEngine*> self = fSelf;
    scanner->OnScanComplete = [self] {
      if (auto s = self.lock()) (*s)->PhotoScanComplete();
    };
    scanner->OnScanProgress = [self](void*, TScanInfo info) {
      if (!self.lock()) return;
      std::lock_guard<std::mutex> g(ScanEngineLock);
      ScanEngineProgress.Path = info.ScanPath;
      ScanEngineProgress.Scanned = info.ItemsScanned;
      ScanEngineProgress.Status = esScanning;
    };
    fPhotoScanner = std::move(scanner);
  } catch (const std::exception& e) {
    WriteLog(e.what(), lsvError);
    fWorkerError = e.what();
    SetCompareMode(cmCRC32, TPcwCompareOptions());
    if (OnPhotoModeFallback) OnPhotoModeFallback();
    GetUserPrompt().ShowMessage(
        TMessageKind::mkWarning,
        TranslateText("The Shotwell photo library is not found. Current scan mode is set to \"CRC32+FileSize\"."));
    return nullptr;
  }
  return fPhotoScanner.get();
}

void TScanEngine::StartPhotoScan() {
  fSummaryInfo = {};
  fExecuting.store(true, std::memory_order_release);
  TScannerBase* scanner = nullptr;
  try {
    scanner = PhotoScanner();
    if (!scanner) throw EScanEngineError(fWorkerError.empty() ? std::string("no photo library") : fWorkerError);
    // The include paths are album paths; none: every album, with the albums below it.
    scanner->ScanFolders().Clear();
    scanner->ExcludeFolders().Clear();
    scanner->ScanOptions().SetScanInSubFolders(true);
    if (fIncludeFilePaths.empty()) {
      for (int i = 0; i < scanner->RootFolder().ChildCount(); ++i) scanner->ScanFolders().Add(scanner->RootFolder().GetChild(i));
    } else {
      scanner->SetScanFolderPaths(fIncludeFilePaths);
      if (scanner->ScanFolders().Count() == 0) throw EScanEngineError("no such album in the photo library");
    }
    scanner->SetExcludeFolderPaths(fExcludeFilePaths);
    scanner->StartScan();
  } catch (const std::exception& e) {
    fWorkerError = e.what();
    std::weak_ptr<TScanEngine*> self = fSelf;
    GetMainThread().Post([self] {
      if (auto s = self.lock()) (*s)->FinishPluginScan();
    });
  }
}

void TScanEngine::PhotoScanComplete() {
  {
    std::lock_guard<std::mutex> g(ScanEngineLock);
    ScanEngineProgress.Path.clear();
    ScanEngineProgress.Status = esBuildingList;
  }
  if (auto* library = dynamic_cast<TScannerPictureLibrary*>(fPhotoScanner.get()))
    if (!library->LastError().empty()) fWorkerError = library->LastError();
  CopyPhotoRecords();
  const TSummaryInfo& s = fPhotoScanner->SummaryInfo();
  fSummaryInfo.TotalFiles = fPhotoScanner->ScanInfo().ItemsScanned;
  fSummaryInfo.OriginalFiles = s.OriginalItemsCount;
  fSummaryInfo.OriginalSize = s.OriginalItemsSize;
  fSummaryInfo.DuplicateFiles = s.DuplicateItemsCount;
  fSummaryInfo.DuplicateSize = s.DuplicateItemsSize;
  fPublished = true;
  FinishPluginScan();
}

void TScanEngine::CopyPhotoRecords() {
  FreeList(fFiles);
  if (!fPhotoScanner) return;
  const TItems& items = fPhotoScanner->Items();
  fFiles.reserve(static_cast<std::size_t>(items.Count()));
  for (int i = 0; i < items.Count(); ++i) {
    TItemBase* p = items[i];
    auto* it = new TFileItem;
    SetFileProcessed(it, p->IsDeleted());
    SetFileSelected(it, p->IsChecked());
    const std::string path = fPhotoScanner->GetPreviewFilePath(*p);
    it->Name = TItemString(BaseOf(path));
    std::string folder = ParentOf(path);
    if (folder.empty() || folder.back() != '/') folder += '/';
    it->Path = TItemString(folder);
    it->Size = p->Size();
    it->DupGroup = it->SortGroup = static_cast<std::uint32_t>(p->DuplicateGroup());
    it->Modified = p->Date();
    it->PhotoScannerItem = p;
    it->Category = fcOther;
    if (const auto* picture = dynamic_cast<const TItemPictureBase*>(p)) {
      it->Device = picture->FileId().Device;
      it->Inode = picture->FileId().Inode;
    }
    fFiles.push_back(it);
  }
}

void TScanEngine::SyncPhotoRecords() {
  std::unordered_set<const TItemBase*> alive;
  if (fPhotoScanner)
    for (const auto& p : fPhotoScanner->Items().List()) alive.insert(p.get());
  ShowNoRows();
  for (auto i = fFiles.size(); i-- > 0;) {
    if (alive.count(fFiles[i]->PhotoScannerItem)) continue;
    delete fFiles[i];
    fFiles.erase(fFiles.begin() + static_cast<std::ptrdiff_t>(i));
  }
  ReShow();
}

}  // namespace pelcrow
