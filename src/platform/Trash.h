// The user's trash, as the desktop keeps it (freedesktop.org trash, version 1.0), so that what
// the program trashes shows up in the file manager and in trash-cli, and what they trashed can be
// restored here.
//
// A trash folder holds files/NAME (the item itself) and info/NAME.trashinfo (its original path
// and deletion date). Items on the file system of $XDG_DATA_HOME go to the home trash; others to
// their volume's $topdir/.Trash/$uid (only under a sticky, real .Trash folder) or
// $topdir/.Trash-$uid. An item is never copied: it is renamed into the trash and back.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/DateTime.h"

namespace pelcrow::platform {

// The user-facing reason for tfNoTrash (translate before showing); permanent deletion is the
// alternative to offer.
inline constexpr std::string_view kNoTrashText = "Recycle Bin not available for this drive";

enum class TTrashFailure : std::uint8_t {
  tfNone,
  tfNotFound,      // the item (or, restoring, its trash entry) does not exist
  tfNoTrash,       // no usable trash on the item's volume
  tfTargetExists,  // restoring: something already has the original path
  tfOther,
};

// What became of one item: where it went (or came from), or why not.
struct TTrashResult {
  TTrashFailure Failure = TTrashFailure::tfOther;
  // "cannot move <path> to the trash: <reason>" or "cannot restore <path> from the trash:
  // <reason>"; empty on success.
  std::string Error;
  std::string TrashDir;      // the trash folder holding files/ and info/
  std::string TrashName;     // NAME in files/NAME and info/NAME.trashinfo
  std::string OriginalPath;  // absolute path of the item outside the trash (bytes, decoded)

  bool Ok() const { return Failure == TTrashFailure::tfNone; }
  explicit operator bool() const { return Ok(); }
  // Where the item is while it is in the trash: TrashDir/files/TrashName.
  std::string TrashedPath() const;
  std::string InfoPath() const;
};

// One item in one of the user's trash folders.
struct TTrashEntry {
  std::string TrashDir;
  std::string TrashName;
  std::string OriginalPath;  // absolute, decoded
  TDateTime DeletionDate;    // zero when the info file has none that can be read
  std::string TrashedPath() const;
};

// Moves a file, folder or symbolic link (never what it points to) into the trash of its volume.
TTrashResult MoveToTrash(const std::string& path);
// The same for the entry `name` of an open folder (path is what error texts show).
TTrashResult MoveToTrashAt(int parentFd, const std::string& name, const std::string& path);

// Brings back the newest trashed item whose original path is `path` (compared with symbolic
// links of the folders resolved), recreating missing parent folders. Refuses when something
// exists at `path`.
TTrashResult RestoreFromTrash(const std::string& path);
// The same, answering only whether it worked.
bool RestoreFromRecycleBin(const std::string& path);

// Brings back exactly the item at trashedPath (TTrashResult::TrashedPath of MoveToTrash) to the
// original path its info file names. Undo uses this: it cannot pick a later namesake.
TTrashResult RestoreTrashedItem(const std::string& trashedPath);
// The item an entry must still hold: its inode, size and modification time (Inode 0: any).
struct TTrashedIdentity {
  std::uint64_t Inode = 0;
  std::int64_t Size = 0;
  std::int64_t ModifiedNs = 0;
};
// The same, only when the entry still holds that item: a trash entry that was emptied and whose
// name now holds another item is never restored in its place.
TTrashResult RestoreTrashedItem(const std::string& trashedPath, TTrashedIdentity expected);

// The home trash, then every volume trash of this user that exists.
std::vector<std::string> GetTrashDirectories();
// Every item of every trash folder whose info file can be read.
std::vector<TTrashEntry> ListTrashEntries();
// The home trash folder ($XDG_DATA_HOME/Trash); empty when no home folder is known.
std::string GetHomeTrashDirectory();

}  // namespace pelcrow::platform
