// TContactsScanner: the contacts plug-in on the scanner framework. Its stores are vCard address
// books: a folder per address book with one .vcf per contact (khard, vdirsyncer, KDE's
// ~/.local/share/contacts, GNOME and Evolution exports), a folder of such folders, or one .vcf
// file of many contacts. It groups duplicate contacts by full name and e-mail addresses, merges
// a group's addresses into one contact, and deletes contacts into the address book's trash
// folder (".Trash", a dot folder no address book program reads), each change recorded before it
// happens. A file of many contacts is only read: an action on it changes nothing and says so.
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

class EContactStoreError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The trash folder of an address book.
inline constexpr const char* kContactTrashName = ".Trash";

// An address book; Id is its folder, or the .vcf file that holds all its contacts.
class TContactFolder : public TFolderBase {
 public:
  using TFolderBase::TFolderBase;
  std::string StoreRoot;
  bool SingleFile = false;
};

class TContactItem : public TItemBase {
 public:
  std::string FullName;
  std::vector<std::string> Emails;  // every address, preferred first; the first three are shown
  bool EmailChecked[3] = {false, false, false};
  std::string Uid;
  std::string FileName;     // in the folder (a single-file address book: its file)
  bool SharedFile = false;  // one of several cards in its file: read only
  platform::TFolderIdentity DirId;
  platform::TFileIdentity FileId;
  // Where the scan found it and what it held, for an undo that brings it back.
  TFolderBase* ScannedFolder = nullptr;
  std::string ScannedName;
  std::vector<std::string> ScannedEmails;
  platform::TFileIdentity ScannedFileId;
  // The grouping's component (equal for the contacts of one group).
  std::int64_t GroupKey = 0;
};

class TContactScanOptions : public TScanOptionsBase {
 public:
  void Assign(const TScanOptionsBase& ASource) override;
  TOlContactScanOptions Options = TOlContactScanOptions::FromBits(7);
};

// The groups of the contacts under the options: contacts are duplicates when their full names
// agree (ASCII case ignored) and they share an e-mail address (case ignored; contacts without
// any address count as sharing), taken transitively. Keys[i] is the group of Contacts[i].
std::vector<std::int64_t> ContactGroupKeys(const std::vector<const TContactItem*>& Contacts,
                                           TOlContactScanOptions Options);

// The address book paths of the text (";"-separated, "~" and "$VAR" expanded): "khard" stands
// for the address books of khard's configuration ($KHARD_CONFIG, else ~/.config/khard/khard.conf),
// "vdirsyncer" for vdirsyncer's filesystem storages of .vcf files ($VDIRSYNCER_CONFIG, else
// ~/.vdirsyncer/config or ~/.config/vdirsyncer/config).
std::vector<std::string> ExpandAddressBookPaths(const std::string& Text);
// The address book paths of a khard or vdirsyncer configuration text.
std::vector<std::string> KhardAddressBooks(std::string_view Config);
std::vector<std::string> VdirsyncerAddressBooks(std::string_view Config);

class TContactsScanner final : public TScannerBase, public IScanEnginePlugin {
 public:
  // Roots that do not exist are left out; Connect throws when none is left.
  explicit TContactsScanner(std::vector<std::string> StoreRoots);
  ~TContactsScanner() override;

  using TScannerBase::DeleteItem;
  using TScannerBase::DisplayFolder;
  using TScannerBase::DisplayItem;

  // ---- IScanEnginePlugin
  void PopulateFolderTree(TPluginFolderTree& TreeView, std::vector<TOlFolder>& Folders) override;
  void ClearScanFolders() override { ScanFolders().Clear(); }
  void ClearExcludeFolders() override { ExcludeFolders().Clear(); }
  void RemoveScanFolder(std::int32_t Index) override { ScanFolders().Remove(ScanFolders()[Index]); }
  void RemoveExcludeFolder(std::int32_t Index) override { ExcludeFolders().Remove(ExcludeFolders()[Index]); }
  // Into the address book's trash folder.
  void DeleteItem(std::int32_t Index) override;
  // Adds the checked addresses of the group's other contacts that the contact lacks, while it
  // holds fewer than three; never removes one. Throws with the reason when the file cannot change.
  void MergeItem(std::int32_t Index) override;
  void GetScanFolderNames(std::vector<std::string>& Names) const override { GetScanFolderPaths(Names); }
  void GetExcludeFolderNames(std::vector<std::string>& Names) const override { GetExcludeFolderPaths(Names); }
  void DisplayItem(std::int32_t Index) override;
  void RemoveItem(std::int32_t Index) override;
  void DisplayDeletedItemsFolder() override;
  void DisplayFolder(std::int32_t Index) override;
  void SetOnMoveProgress(TOlMoveProgress Handler) override { fOnMoveProgress = std::move(Handler); }
  void SetItemChecked(std::int32_t Index, bool AValue) override { Item(Index).SetIsChecked(AValue); }
  void SetEmailChecked(std::int32_t ItemIndex, std::int32_t EmailIndex, bool AValue) override;
  void Disconnect() override {}
  void StartScan() override { TScannerBase::StartScan(); }
  void CancelScan() override { AbandonScan(); }
  void Clear() override;
  void ExportItem(std::int32_t ItemIndex, TExportData& ItemData) const override;
  // Contacts stay in their address book: nothing moves.
  std::int32_t MoveSelected(const TOlFolder&) override { return 0; }
  std::int32_t AddScanFolder(const TOlFolder& Folder) override;
  std::int32_t AddExcludeFolder(const TOlFolder& Folder) override;
  bool GetItemChecked(std::int32_t Index) const override { return Item(Index).IsChecked(); }
  bool GetEmailChecked(std::int32_t ItemIndex, std::int32_t EmailIndex) const override;
  bool GetItemDeleted(std::int32_t Index) const override { return Item(Index).IsDeleted(); }
  TOlMoveProgress GetOnMoveProgress() const override { return fOnMoveProgress; }
  std::int32_t GetCount() const override { return Items().Count(); }
  std::int32_t GetDuplicateCount() const override { return fSummaryInfo.DuplicateItemsCount; }
  std::int64_t GetSizeOriginals() const override { return fSummaryInfo.OriginalItemsSize; }
  std::int64_t GetSizeDuplicates() const override { return fSummaryInfo.DuplicateItemsSize; }
  void Connect() override { Open(); }
  void SetScanOptionBits(std::uint8_t Bits) override;
  std::uint8_t ScanOptionBits() const override;
  std::string StoreName() const override { return "vCard"; }
  void SetActionRecorder(IStoreActionRecorder* Recorder) override { fRecorder = Recorder; }
  bool MoveItemTo(std::int32_t, const TOlFolder&) override { return false; }
  void ItemRestored(std::int32_t Index) override;

  // ---- beside the contract
  TContactItem& Item(std::int32_t Index) const;
  // The addresses MergeItem would add to the contact (a dry run).
  std::vector<std::string> MergedAddresses(std::int32_t Index) const;
  // The contact's file, and the trash folder a delete or merge puts files into.
  std::string ItemLocation(const TContactItem& AItem) const;
  std::string TrashFolderOf(const TContactItem& AItem) const;
  std::int32_t DeleteSelected();
  TContactFolder* FolderOf(const TOlFolder& Folder);

 protected:
  void InitializeSource() override;
  void PopulateFolders() override;
  std::unique_ptr<TScanThreadBase> CreateScanThread() override;
  std::unique_ptr<TScanOptionsBase> CreateScanOptions() const override;

 private:
  void RequireWritable(const TContactItem& AItem) const;
  const TContactItem* KeptOf(const TContactItem& AItem) const;
  std::vector<std::string> fStoreRoots, fRoots;
  IStoreActionRecorder* fRecorder = nullptr;
  TOlMoveProgress fOnMoveProgress;
};

}  // namespace pelcrow
