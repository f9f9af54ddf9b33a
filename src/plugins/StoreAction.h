// A change a plug-in makes in its store, as it is recorded before it happens: the store's message
// file moves from one folder of the store to another (into the trash, into a chosen folder). The
// engine records it in its action journal, so that undo can move it back after a restart.
#pragma once

#include <cerrno>
#include <string>

#include "platform/SafeFile.h"

namespace pelcrow {

struct TStoreMove {
  std::string Folder, Name;  // the message file as the scan found it
  platform::TFolderIdentity FolderId;
  platform::TEntryStat Source;
  std::string Target;                // the full path it goes to
  platform::TFileIdentity TargetId;  // where it went (after it went)
  bool DeleteAction = false;         // into the store's trash, else a move
  void* Handle = nullptr;            // the recorder's own
};

// A file of the store rewritten in place (a merged contact): its earlier version is kept as a
// link in the store's trash, so that undo can put it back while the new one is still unchanged.
struct TStoreRewrite {
  std::string Folder, Name;
  platform::TFolderIdentity FolderId;
  platform::TEntryStat Source;  // the file before
  std::string Backup;           // the full path the earlier version is kept at
  platform::TFileIdentity NewId;  // the file written (after it was written)
};

class IStoreActionRecorder {
 public:
  virtual ~IStoreActionRecorder() = default;
  // Written and synced before the move: 0, or an errno value and nothing may move.
  virtual int Planned(TStoreMove& Move) = 0;
  virtual void Done(TStoreMove& Move) = 0;
  virtual void Failed(TStoreMove& Move) = 0;
  // The same for a rewrite; a recorder that does not know them refuses.
  virtual int PlannedRewrite(TStoreRewrite&) { return ENOTSUP; }
  virtual void DoneRewrite(TStoreRewrite&) {}
  virtual void FailedRewrite(TStoreRewrite&) {}
};

}  // namespace pelcrow
