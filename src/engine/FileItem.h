// One result row: a file (or an e-mail, contact or picture found by a plug-in) with its duplicate
// group, its check and processed marks, its checksum caches and its undo record. Items are owned
// by the engine; a million of them must stay small, so texts are shared TItemString handles and
// the rarely used records hang off owning pointers.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/DateTime.h"
#include "base/ItemString.h"
#include "engine/ActionJournal.h"
#include "medialib/Playlists.h"

namespace pelcrow {

// faMoveMessage: an e-mail moved inside its store (into its trash or another folder).
// faTrashPhoto: a picture moved into its photo library's trash (its file stays where it is).
// faMoveContact: a contact's file moved into its address book's trash folder.
// faMergeContact: a contact's file rewritten with the addresses of its group; the earlier
// version waits in the address book's trash folder.
// faHardLink, faClone: a file made a hard link of its group's kept copy, or made to share the
// kept copy's blocks (copy-on-write); undo gives it its own data again.
enum TFileItemAction : std::uint8_t {
  faDelete,
  faRecycle,
  faMove,
  faRename,
  faCreateLink,
  faMoveMessage,
  faMoveContact,
  faMergeContact,
  faTrashPhoto,
  faHardLink = 9,
  faClone = 10
};
inline constexpr std::uint8_t kNoAction = 255;

enum TFilterCategory : std::uint8_t {
  fcAllFiles,
  fcArchives,
  fcDocuments,
  fcMusic,
  fcPictures,
  fcVideo,
  fcOther,
};

// Media libraries follow files of these categories.
inline bool IsMediaCategory(TFilterCategory c) { return c == fcMusic || c == fcPictures || c == fcVideo; }

struct TEmailInfo {
  std::string From, To_, Subject, Address1, Address2, Address3;
  TDateTime ReceivedDate;
  std::int32_t OutlookIndex = 0;
};

struct TMusicTagsInfo {
  std::string Title, Artist, Album, Track, Year, Genre, Duration, BitRate;
};

struct TFileDateTimeInfo {
  TDateTime Created, Accessed, Modified;
};

class TItemBase;  // an item of the photo-library scanner, not owned

struct TFileItem {
  // The marks are bits: with the counters below they fill one 8-byte word.
  bool fSelected : 1 = false;
  bool fProcessed : 1 = false;
  bool Master : 1 = false;
  // Found in one of the reference folders: a copy that stays. Nothing ever checks it.
  bool Reference : 1 = false;

  // Checksum caches. The flags say a value was computed (a checksum of 0 is a valid value);
  // fReadFailed marks a file that could not be read whole: it never joins a group.
  bool fHasShortCRC : 1 = false;
  bool fHasFullCRC : 1 = false;
  bool fReadFailed : 1 = false;
  // The file had exactly one link when found: two entries with its device and inode are then one
  // file reached through two path texts, never duplicates of each other.
  bool fSingleLink : 1 = true;
  std::uint8_t ActionType = kNoAction;
  TFilterCategory Category = fcOther;
  // Similar-pictures mode: percent likeness to the group's first picture (0: not that mode).
  std::uint8_t Similarity = 0;
  // Scratch index the comparison phase uses for its side tables.
  std::uint32_t fScratch = 0;
  // Number of the processing action that processed the item (0 = none); every action of a result
  // set keeps its own number.
  std::int32_t ActionGroup = 0;

  std::uint32_t CRC32 = 0;
  std::uint32_t ShortCRC32 = 0;
  std::uint32_t DupGroup = 0;
  std::uint32_t SortGroup = 0;
  std::int64_t Size = 0;
  TDateTime Modified;
  // Inode change time at the scan (zero when unknown): a kept copy whose change time moved is
  // compared byte for byte before another copy goes.
  TDateTime Changed;
  // Identity of the file on disk; 0/0 when unknown (loaded lists, plug-in rows).
  std::uint64_t Device = 0;
  std::uint64_t Inode = 0;
  // 128-bit content hash taken in the same read as the checksums; confirms equal content.
  std::uint64_t StrongHash[2] = {0, 0};

  TItemString Name;
  TItemString Path;
  TItemString AudioTagValues;
  TItemString TargetPath;

  std::unique_ptr<std::vector<TPlaylistInfo>> PlayLists;
  std::unique_ptr<TMusicTagsInfo> MusicTags;
  std::unique_ptr<TEmailInfo> Emails;
  std::unique_ptr<TFileDateTimeInfo> PFileTimes;
  // The journal record of the action that processed the item: what undo needs to put it back.
  std::unique_ptr<TJournalItem> Undo;
  TItemBase* PhotoScannerItem = nullptr;

  // Full path: folder, delimiter, name.
  std::string FullPath() const;

  // Items come from a pool of their own (a million of them cost no allocator overhead).
  static void* operator new(std::size_t Size);
  static void operator delete(void* Cell, std::size_t Size) noexcept;
};

using PFileItem = TFileItem*;

}  // namespace pelcrow
