// The plug-in modes of the engine: the choice of the mail or contacts plug-in, its options, its
// scan and the rows made from its results. Everything here runs on the user-interface thread: the plug-in
// scans on a worker of its own and hands its results over there.
#include "engine/ScanEngine.h"

#include "base/MainThread.h"
#include "base/UserPrompt.h"
#include "localization/TranslateText.h"
#include "logging/Logger.h"
#include "plugins/ContactsScanner.h"
#include "plugins/MaildirScanner.h"
#include "plugins/ThunderbirdScanner.h"

namespace pelcrow {

namespace {

// The rotation that maps the settings' e-mail switches onto the plug-in's option bits.
std::uint8_t MailOptionBits(TOutlookOptions Options) {
  const auto low = static_cast<std::uint8_t>(Options.ToBits() & 0xFF);
  return static_cast<std::uint8_t>((low << 2) | (low >> 6));
}

// The settings' contact switches (Email, Name, Subfolders) as the plug-in's bits (Subfolders,
// FullName, Email).
std::uint8_t ContactOptionBits(TOutlookOptions Options) {
  std::uint8_t bits = 0;
  if (Options.Contains(olContactSubfolders)) bits |= 1;
  if (Options.Contains(olContactName)) bits |= 2;
  if (Options.Contains(olContactEmail)) bits |= 4;
  return bits;
}

}  // namespace

TMailStoreRoots MailStoreRootsOf(const TPcwSettings& Record) {
  return {ExpandStorePaths(Record.MaildirStores), ExpandStorePaths(Record.ThunderbirdProfiles)};
}

void TScanEngine::SetMailStores(TMailStoreRoots Roots) {
  fMailStores = std::move(Roots);
  CleanupScannerPlugin();
}

void TScanEngine::SetContactStores(std::vector<std::string> Roots) {
  fContactStores = std::move(Roots);
  CleanupScannerPlugin();
}

IScanEnginePlugin* TScanEngine::ScannerPlugin() {
  if (fCompareMode != cmEmails && fCompareMode != cmContacts) return nullptr;
  if (fCurrentPlugin && fPluginMode == fCompareMode) return fCurrentPlugin.get();
  CleanupScannerPlugin();
  struct TAttempt {
    const char* LogPrefix;
    std::function<std::unique_ptr<IScanEnginePlugin>()> Make;
  };
  const TAttempt mail[] = {
      {"Maildir check error: ", [this] { return std::make_unique<TMaildirScanner>(fMailStores.Maildir); }},
      {"Thunderbird check error: ", [this] { return std::make_unique<TThunderbirdScanner>(fMailStores.Thunderbird); }},
  };
  const TAttempt contacts[] = {
      {"vCard check error: ", [this] { return std::make_unique<TContactsScanner>(fContactStores); }},
  };
  const bool isMail = fCompareMode == cmEmails;
  const TAttempt* begin = isMail ? std::begin(mail) : std::begin(contacts);
  const TAttempt* end = isMail ? std::end(mail) : std::end(contacts);
  for (const TAttempt* a = begin; a != end; ++a) {
    std::unique_ptr<IScanEnginePlugin> p;
    try {
      p = a->Make();
      p->Connect();
    } catch (const std::exception& e) {
      WriteLog(std::string(a->LogPrefix) + e.what(), lsvError);
      continue;
    }
    std::weak_ptr<TScanEngine*> self = fSelf;
    p->IScanEnginePlugin::OnScanComplete = [self] {
      if (auto s = self.lock()) (*s)->PluginScanComplete();
    };
    p->OnFolderProgress = [self](void*, const std::string& path, std::int32_t index, std::int32_t count) {
      if (auto s = self.lock()) (*s)->PluginFolderProgress(path, index, count);
    };
    fCurrentPlugin = std::move(p);
    fPluginMode = fCompareMode;
    return fCurrentPlugin.get();
  }
  return nullptr;
}

void TScanEngine::CleanupScannerPlugin() {
  if (!fCurrentPlugin) return;
  try {
    fCurrentPlugin->CancelScan();
    fCurrentPlugin->ClearScanFolders();
    fCurrentPlugin->ClearExcludeFolders();
    fCurrentPlugin->Clear();
    fCurrentPlugin->OnScanComplete = nullptr;
    fCurrentPlugin->OnFolderProgress = nullptr;
  } catch (const std::exception& e) {
    WriteLog(std::string("Cleanup error: ") + e.what(), lsvError);
    fCurrentPlugin.reset();
    throw;
  }
  fCurrentPlugin.reset();
}

void TScanEngine::ApplyPluginOptions(TOutlookOptions Options) {
  if (fPluginMode == cmContacts) {
    std::uint8_t bits = ContactOptionBits(Options);
    if ((bits & 6) == 0) {
      GetUserPrompt().ShowMessage(TMessageKind::mkInformation,
                                  TranslateText("No options specified for contacts scan. Will use defaults."));
      bits = 7;
    }
    fCurrentPlugin->SetScanOptionBits(bits);
    return;
  }
  std::uint8_t bits = MailOptionBits(Options);
  if (bits == 0) {
    GetUserPrompt().ShowMessage(TMessageKind::mkInformation,
                                TranslateText("No options specified for emails scan. Will use defaults."));
    bits = 221;  // subfolders, From, To, Subject, body size, body
  }
  fCurrentPlugin->SetScanOptionBits(bits);
}

void TScanEngine::StartPluginScan(const TScanSettings& Options) {
  fOutlookTotal = 0;
  fSummaryInfo = {};
  fExecuting.store(true, std::memory_order_release);
  IScanEnginePlugin* plugin = ScannerPlugin();
  try {
    if (!plugin)
      throw EScanEngineError(TranslateText(fCompareMode == cmContacts ? "no address book found" : "no mail store found"));
    ApplyPluginOptions(Options.OutlookOptions);
    plugin->Clear();
    plugin->StartScan();
  } catch (const std::exception& e) {
    fWorkerError = e.what();
    std::weak_ptr<TScanEngine*> self = fSelf;
    GetMainThread().Post([self] {
      if (auto s = self.lock()) (*s)->FinishPluginScan();
    });
  }
}

void TScanEngine::PluginFolderProgress(const std::string& FolderPath, std::int32_t Index, std::int32_t Count) {
  {
    std::lock_guard<std::mutex> g(ScanEngineLock);
    ScanEngineProgress.Path = FolderPath;
    ScanEngineProgress.Scanned = fOutlookTotal + Index;
    ScanEngineProgress.Status = esScanning;
  }
  if (Index == Count - 1) fOutlookTotal += Count;
}

void TScanEngine::PluginScanComplete() {
  IScanEnginePlugin& p = *fCurrentPlugin;
  {
    std::lock_guard<std::mutex> g(ScanEngineLock);
    ScanEngineProgress.Path.clear();
    ScanEngineProgress.Status = esBuildingList;
  }
  FreeList(fFiles);
  const std::int32_t n = p.GetCount();
  fFiles.reserve(static_cast<std::size_t>(n));
  for (std::int32_t i = 0; i < n; ++i) {
    auto* it = new TFileItem;
    it->Emails = std::make_unique<TEmailInfo>();
    it->Emails->OutlookIndex = i;
    fFiles.push_back(it);
    UpdateItem(i);
    it->SortGroup = it->DupGroup;
  }
  fSummaryInfo.TotalFiles = fOutlookTotal;
  fSummaryInfo.OriginalFiles = n - p.GetDuplicateCount();
  fSummaryInfo.OriginalSize = p.GetSizeOriginals();
  fSummaryInfo.DuplicateFiles = p.GetDuplicateCount();
  fSummaryInfo.DuplicateSize = p.GetSizeDuplicates();
  fPublished = true;
  FinishPluginScan();
}

void TScanEngine::FinishPluginScan() {
  if (!fExecuting.load(std::memory_order_acquire)) return;
  fExecuting.store(false, std::memory_order_release);
  if (fPublished && fFileList) UpdateGrid(-1, false);
  if (OnFinishedScan) OnFinishedScan(fSummaryInfo);
}

}  // namespace pelcrow
