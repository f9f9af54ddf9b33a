// The action journal: what every processing action did to each file, kept on disk under
// $XDG_STATE_HOME/pelcrow/journal/ so that an action can be undone after a restart or a crash, by
// the app and by `pelcrow-cli undo` alike.
//
// One file per action, only ever appended to, one line per record:
//   H  version, action type, start time, pid             the action
//   P  the item as it was and where it was to go       before the pass's first file operation
//      (a picture put into its library's trash: also the library and the photo's identifier)
//   D  where it went (target and its identity, trash entry) after it went
//   F  it stayed where it was                          after a failure
//   U  it was put back                                 after an undo
//   M  it is a media file (the libraries follow its undo) with its D record
//   L  one playlist entry it had (library, position, name, kept copy)  with its D record
//   W  an undo is about to append an mbox message back to its folder (where)
// A pass writes all its P records and syncs them once before it touches a file; D and F records
// follow in batches. After a crash a P without D or F is settled by looking at the disk.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/DateTime.h"
#include "medialib/MediaLibSync.h"
#include "medialib/Playlists.h"
#include "platform/SafeFile.h"
#include "platform/SysCalls.h"
#include "plugins/StoreAction.h"

namespace pelcrow {

struct TJournalItem {
  enum TState : std::uint8_t { jsPlanned, jsDone, jsFailed, jsUndone };

  std::string JournalId;  // the action's journal file (its name without the extension)
  std::uint32_t Seq = 0;
  std::uint8_t ActionType = 255;
  TState State = jsPlanned;
  std::string Folder, Name;
  platform::TFolderIdentity FolderId;
  platform::TEntryStat Source;  // the file just before the action
  // Move, rename: where the file went. Delete, trash, link: the group's kept copy.
  std::string Target;
  platform::TFileIdentity TargetId;
  // Hard link, clone: the file the action left at the item's name.
  platform::TFileIdentity Result;
  std::string TrashDir, TrashName;  // trash: the entry the file became; a photo: library, photo id
  // A move across file systems was about to publish its copy at Target (C record). When the
  // item is then found still in place, a whole copy at Target is the move's own leftover.
  bool CopyStarted = false;
  bool LeftoverCopy = false;
  // A media file: undo puts it back into the media libraries, into these playlist entries.
  bool Media = false;
  TPlaylistList PlayLists;
  // A message moved between two mbox files (Folder/Name and Target), as its P record ends.
  TMboxMessageRef Mbox;
  // An undo of it appended it back to Folder/Name already, its From_ line at this offset.
  std::int64_t UndoAppendAt = -1;

  std::string FullPath() const;
};

struct TJournalAction {
  std::string Id;
  std::uint8_t ActionType = 255;
  TDateTime Started;
  // Its pass still runs (another process holds the file): nothing is settled or undone.
  bool InProgress = false;
  std::vector<TJournalItem> Items;
  // Items done and not undone yet, and leftovers of a move that was cut short.
  int Undoable() const;
};

class TActionJournal {
 public:
  TActionJournal() = default;
  TActionJournal(const TActionJournal&) = delete;
  TActionJournal& operator=(const TActionJournal&) = delete;
  ~TActionJournal();

  // $XDG_STATE_HOME/pelcrow/journal (the environment is read at each call: tests move it).
  static std::string Directory();

  // Starts an action's file. Also drops the files of actions older than ExpireDays (0: never).
  int Begin(std::uint8_t ActionType, TDateTime Started, int ExpireDays);
  bool IsOpen() const { return fFile.IsOpen(); }
  const std::string& Id() const { return fId; }

  // Writes the plan of a pass and syncs it: nothing is touched before the plan is on disk.
  // Gives each item its sequence number.
  int Plan(std::vector<TJournalItem*>& Items);
  // An item of the plan was retargeted (its target name taken meanwhile); synced at once.
  int Retarget(const TJournalItem& Item);
  // A move across file systems is about to publish its copy (written, not synced: it only lets
  // undo tell its own leftover copy from a file of the user's).
  void CopyStarting(const TJournalItem& Item);
  void Done(const TJournalItem& Item);
  void Failed(const TJournalItem& Item);
  // Writes what Done and Failed gathered; Sync: and makes it durable.
  int Flush(bool Sync);

  // Every action in the journal, oldest first; unfinished items settled from the disk.
  static std::vector<TJournalAction> ReadAll();
  static int Read(const std::string& Id, TJournalAction& Action);
  // Appends the undo mark of one item to its action's file.
  static int MarkUndone(const TJournalItem& Item);
  // An undo is about to append the item's mbox message back at this offset; synced.
  static int MarkUndoAppend(const TJournalItem& Item, std::int64_t At);

 private:
  std::string fId;
  platform::TAppendFile fFile;
  std::string fPending;
  std::uint32_t fNextSeq = 1;
};

// Settles an item whose plan has no outcome (the program ended during its operation): done when
// the disk shows it went, failed when it is still in place (with LeftoverCopy when a move had
// published its copy). Looks only; Trash is the trash listing, read once by the caller.
void SettleUnfinished(TJournalItem& Item, const std::vector<platform::TTrashEntry>& Trash);

// Puts one done item back where it was: the exact trash entry it became (or, that entry gone, a
// copy of the kept file), the file at its target, a copy of the kept file in place of the
// deletion or the link. Never touches a file the action did not make or move: a new file at the
// old name makes it fail. Why: the reason, translated. Folders a move made since ActionStarted
// are removed when they are empty.
bool RevertJournalItem(const TJournalItem& Item, TDateTime ActionStarted, std::string& Why);
// Reverts every done item of the action, last first, and marks each in the journal; failures
// become "path -> reason" lines of Log. Returns how many came back. With MediaLibs the media
// files go back into those libraries and their playlist entries.
int UndoJournalAction(TJournalAction& Action, std::vector<std::string>& Log,
                      const TMediaLibSyncOptions* MediaLibs = nullptr);

}  // namespace pelcrow
