// The types every scanner plug-in shares: folder handles, option sets, the export record of one
// result item, the progress events, and the folder tree a front end draws.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/DateTime.h"
#include "base/Set.h"

namespace pelcrow {

// A folder of a store as the results and the folder lists keep it: identifiers only, so that a
// thread never hands a live store object to another.
struct TOlFolder {
  std::string EntryID;     // the store's identifier of the folder (its directory or file)
  std::string StoreID;     // the store that holds it (the store's root)
  std::string FolderPath;  // shown path: "Maildir/Work/Sub/"
  bool CanStoreItems = true;  // false for a node that only holds folders (a profile, a bare .sbd)
};

enum class TOlScanOption : unsigned {
  olSubfolders,
  olCaseSensitive,
  olEmailFrom,
  olEmailTo,
  olSubject,
  olReceivedDate,
  olBodySize,
  olBody,
};
using TOlScanOptions = TSet<TOlScanOption, std::uint8_t>;
// olSubfolders, olEmailFrom, olEmailTo, olSubject, olBody.
inline constexpr std::uint8_t kDefaultOlScanOptions = 157;

enum class TOlContactScanOption : unsigned { ocSubfolders, ocFullName, ocEmail };
using TOlContactScanOptions = TSet<TOlContactScanOption, std::uint8_t>;

// Sender is the plug-in; Index is the 0-based item just read of a folder of Count items.
using TOlFolderProgress = std::function<void(void* Sender, const std::string& FolderPath, std::int32_t Index,
                                             std::int32_t Count)>;
using TOlMoveProgress = std::function<void(void* Sender, std::int32_t Progress)>;

struct TExportData {
  std::int32_t DupGroup = 0;
  std::string Path;  // the folder path of the item
  std::int64_t Size = 0;
  std::string From, To_, Subject;
  TDateTime DateTime;
  std::string Name, Address1, Address2, Address3;
};

// One node of a folder tree: Parent is the index of the parent node (-1 for a top node); Folder
// indexes the folder list filled beside the tree.
struct TPluginFolderNode {
  std::string Caption;
  int Parent = -1;
  int Folder = -1;
};
using TPluginFolderTree = std::vector<TPluginFolderNode>;

}  // namespace pelcrow
