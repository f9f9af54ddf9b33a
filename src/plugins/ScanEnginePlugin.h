// IScanEnginePlugin: what the engine asks of a mail or contact scanner. The engine holds one at a
// time and frees it itself; results are addressed by their index in the plug-in's result list.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "plugins/PluginTypes.h"

namespace pelcrow {

class IStoreActionRecorder;

class IScanEnginePlugin {
 public:
  virtual ~IScanEnginePlugin() = default;

  virtual void PopulateFolderTree(TPluginFolderTree& TreeView, std::vector<TOlFolder>& Folders) = 0;
  virtual void ClearScanFolders() = 0;
  virtual void ClearExcludeFolders() = 0;
  virtual void RemoveScanFolder(std::int32_t Index) = 0;
  virtual void RemoveExcludeFolder(std::int32_t Index) = 0;
  // Deletes the item in the store (into the store's deleted-items folder); throws with the reason.
  virtual void DeleteItem(std::int32_t Index) = 0;
  virtual void MergeItem(std::int32_t Index) = 0;
  virtual void GetScanFolderNames(std::vector<std::string>& Names) const = 0;
  virtual void GetExcludeFolderNames(std::vector<std::string>& Names) const = 0;
  virtual void DisplayItem(std::int32_t Index) = 0;
  virtual void RemoveItem(std::int32_t Index) = 0;
  virtual void DisplayDeletedItemsFolder() = 0;
  virtual void DisplayFolder(std::int32_t Index) = 0;
  virtual void SetOnMoveProgress(TOlMoveProgress Handler) = 0;
  virtual void SetItemChecked(std::int32_t Index, bool AValue) = 0;
  virtual void SetEmailChecked(std::int32_t ItemIndex, std::int32_t EmailIndex, bool AValue) = 0;
  virtual void Disconnect() = 0;
  virtual void StartScan() = 0;
  virtual void CancelScan() = 0;
  virtual void Clear() = 0;
  virtual void ExportItem(std::int32_t ItemIndex, TExportData& ItemData) const = 0;
  // Moves every checked item into the folder; returns the number moved. The front end picks the
  // folder (the core shows no picker).
  virtual std::int32_t MoveSelected(const TOlFolder& Destination) = 0;
  virtual std::int32_t AddScanFolder(const TOlFolder& Folder) = 0;
  virtual std::int32_t AddExcludeFolder(const TOlFolder& Folder) = 0;
  virtual bool GetItemChecked(std::int32_t Index) const = 0;
  virtual bool GetEmailChecked(std::int32_t ItemIndex, std::int32_t EmailIndex) const = 0;
  virtual bool GetItemDeleted(std::int32_t Index) const = 0;
  virtual TOlMoveProgress GetOnMoveProgress() const = 0;
  virtual std::int32_t GetCount() const = 0;
  virtual std::int32_t GetDuplicateCount() const = 0;
  virtual std::int64_t GetSizeOriginals() const = 0;
  virtual std::int64_t GetSizeDuplicates() const = 0;

  // ---- beside the contract: connection, events and options every plug-in class offers
  // Attaches to the store; throws when it is not available.
  virtual void Connect() = 0;
  std::function<void()> OnScanComplete;
  TOlFolderProgress OnFolderProgress;
  virtual void SetScanOptionBits(std::uint8_t Bits) = 0;
  virtual std::uint8_t ScanOptionBits() const = 0;
  // The store's name in log lines and notices ("Maildir", "Thunderbird").
  virtual std::string StoreName() const = 0;
  // Where the store's changes are recorded before they happen (the engine's journal); none: the
  // store refuses to change.
  virtual void SetActionRecorder(IStoreActionRecorder* Recorder) = 0;
  // Moves one item into the folder; false when it is there already (nothing done).
  virtual bool MoveItemTo(std::int32_t Index, const TOlFolder& Destination) = 0;
  // An undo brought the item back where the scan found it.
  virtual void ItemRestored(std::int32_t Index) = 0;
};

}  // namespace pelcrow
