// TMailScanner: the mail-store plug-in on the scanner framework. It groups duplicate e-mails of
// the chosen folders and deletes (into the store's trash) or moves them inside the store, each
// change recorded before it happens. A subclass binds it to one kind of store: TMaildirScanner
// (Maildir, Maildir++ and nested Maildirs), TThunderbirdScanner (mbox files of Thunderbird).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/SafeFile.h"
#include "plugins/PluginTypes.h"
#include "plugins/ScanEnginePlugin.h"
#include "plugins/ScannerBase.h"
#include "plugins/StoreAction.h"

namespace pelcrow {

class EMailStoreError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A folder of a mail store; Id is where it lives (the Maildir's folder, the mbox file).
class TMailFolder : public TFolderBase {
 public:
  using TFolderBase::TFolderBase;
  std::string StoreRoot;  // the top folder's Id
  bool IsTrash = false;
};

class TMailItem : public TItemBase {
 public:
  std::string From, To_, Subject;
  std::int32_t ReceivedDay = 0;  // local calendar day of the received time
  std::uint32_t BodyLength = 0;  // characters
  std::uint64_t BodyHash[2] = {0, 0};
  // Where the message is: Maildir: Sub ("cur"/"new") and the file's name; mbox: the byte range.
  std::string Sub, FileName;
  std::int64_t Offset = 0, Length = 0;
  std::int64_t FromLine = 0;               // mbox: the From_ line's offset
  std::uint64_t Digest[2] = {0, 0};        // mbox: of the bytes as MboxDigest takes them
  std::int64_t DigestLength = 0;
  platform::TFolderIdentity SubId;
  platform::TFileIdentity FileId;
  // Where the scan found it, kept for an undo that brings it back.
  TFolderBase* ScannedFolder = nullptr;
  std::string ScannedSub, ScannedName;
};

class TMailScanOptions : public TScanOptionsBase {
 public:
  void Assign(const TScanOptionsBase& ASource) override;
  TOlScanOptions Options = TOlScanOptions::FromBits(kDefaultOlScanOptions);
};

// Three-way comparison of two mails under the options (0: duplicates).
int CompareMails(const TMailItem& A, const TMailItem& B, TOlScanOptions Options);
// Body hash and length of a decoded body, folded to upper case (ASCII) unless case matters.
void SetMailBody(TMailItem& Item, const std::string& Body, bool CaseSensitive);

class TMailScanner : public TScannerBase, public IScanEnginePlugin {
 public:
  explicit TMailScanner(std::vector<std::string> StoreRoots);
  ~TMailScanner() override;

  // The framework's item and folder forms stay callable beside the plug-in's index forms.
  using TScannerBase::DeleteItem;
  using TScannerBase::DisplayFolder;
  using TScannerBase::DisplayItem;

  // ---- IScanEnginePlugin
  void PopulateFolderTree(TPluginFolderTree& TreeView, std::vector<TOlFolder>& Folders) override;
  void ClearScanFolders() override { ScanFolders().Clear(); }
  void ClearExcludeFolders() override { ExcludeFolders().Clear(); }
  void RemoveScanFolder(std::int32_t Index) override { ScanFolders().Remove(ScanFolders()[Index]); }
  void RemoveExcludeFolder(std::int32_t Index) override { ExcludeFolders().Remove(ExcludeFolders()[Index]); }
  void DeleteItem(std::int32_t Index) override;
  void MergeItem(std::int32_t) override {}
  void GetScanFolderNames(std::vector<std::string>& Names) const override { GetScanFolderPaths(Names); }
  void GetExcludeFolderNames(std::vector<std::string>& Names) const override { GetExcludeFolderPaths(Names); }
  void DisplayItem(std::int32_t Index) override;
  void RemoveItem(std::int32_t Index) override;
  void DisplayDeletedItemsFolder() override;
  void DisplayFolder(std::int32_t Index) override;
  void SetOnMoveProgress(TOlMoveProgress Handler) override { fOnMoveProgress = std::move(Handler); }
  void SetItemChecked(std::int32_t Index, bool AValue) override { Item(Index).SetIsChecked(AValue); }
  void SetEmailChecked(std::int32_t, std::int32_t, bool) override {}
  void Disconnect() override {}
  void StartScan() override { TScannerBase::StartScan(); }
  void CancelScan() override;
  void Clear() override;
  void ExportItem(std::int32_t ItemIndex, TExportData& ItemData) const override;
  std::int32_t MoveSelected(const TOlFolder& Destination) override;
  std::int32_t AddScanFolder(const TOlFolder& Folder) override;
  std::int32_t AddExcludeFolder(const TOlFolder& Folder) override;
  bool GetItemChecked(std::int32_t Index) const override { return Item(Index).IsChecked(); }
  bool GetEmailChecked(std::int32_t, std::int32_t) const override { return false; }
  bool GetItemDeleted(std::int32_t Index) const override { return Item(Index).IsDeleted(); }
  TOlMoveProgress GetOnMoveProgress() const override { return fOnMoveProgress; }
  std::int32_t GetCount() const override { return Items().Count(); }
  std::int32_t GetDuplicateCount() const override { return fSummaryInfo.DuplicateItemsCount; }
  std::int64_t GetSizeOriginals() const override { return fSummaryInfo.OriginalItemsSize; }
  std::int64_t GetSizeDuplicates() const override { return fSummaryInfo.DuplicateItemsSize; }
  void Connect() override;
  void SetScanOptionBits(std::uint8_t Bits) override;
  std::uint8_t ScanOptionBits() const override;
  void SetActionRecorder(IStoreActionRecorder* Recorder) override { fRecorder = Recorder; }
  void ItemRestored(std::int32_t Index) override;
  bool MoveItemTo(std::int32_t Index, const TOlFolder& Destination) override;

  // ---- beside the contract
  // Deletes every checked item; returns how many went.
  std::int32_t DeleteSelected();
  void BeginUpdate() { ++fUpdateCount; }
  void EndUpdate();
  // Every result item in the folder of item Index (or, with Subfolders, below it) leaves the results.
  void RemoveItemsByFolder(std::int32_t Index, bool Subfolders);
  TMailItem& Item(std::int32_t Index) const;
  const std::vector<std::string>& StoreRoots() const { return fStoreRoots; }
  // The folder of the tree with this Id or, failing that, this path.
  TMailFolder* FolderOf(const TOlFolder& Folder);
  // The message file (Maildir) or the mbox of the item.
  virtual std::string ItemLocation(const TMailItem& AItem) const = 0;

  // Reads one folder's messages on the scan thread; Add takes each (false: the scan was stopped).
  // Progress(Index, Count) after each message.
  virtual void ReadFolder(const TMailFolder& Folder, bool WantBody, bool CaseSensitive,
                          const std::function<bool(std::unique_ptr<TMailItem>)>& Add,
                          const std::function<void(std::int32_t, std::int32_t)>& Progress) const = 0;

 protected:
  std::unique_ptr<TScanThreadBase> CreateScanThread() override;
  std::unique_ptr<TScanOptionsBase> CreateScanOptions() const override;
  void ScanHandedOver(TScanThreadBase&) override;
  // The store's trash for messages of the folder, made when it does not exist yet.
  virtual TMailFolder& TrashFor(TMailFolder& Folder) = 0;
  // Moves the message into the folder (the store's trash for a delete); the reason when it fails.
  virtual void MoveMessage(TMailItem& AItem, TMailFolder& Destination, bool IsDelete, const TMailItem* Kept) = 0;
  IStoreActionRecorder* Recorder() const { return fRecorder; }
  // An unchecked, not deleted member of the item's group (the copy that stays).
  const TMailItem* KeptOf(const TMailItem& AItem) const;
  void RequireRecorder() const;

 private:
  void Regroup();
  void ReportMoveProgress(std::size_t Position, std::size_t Count, std::int32_t& Last);
  std::vector<std::string> fStoreRoots;
  IStoreActionRecorder* fRecorder = nullptr;
  TOlMoveProgress fOnMoveProgress;
  int fUpdateCount = 0;
};

}  // namespace pelcrow
