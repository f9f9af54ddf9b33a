// A change a plug-in makes in its store, as it is recorded before it happens: the store's message
// file moves from one folder of the store to another (into the trash, into a chosen folder), or
// a message moves from one mbox file to another. The engine records it in its action journal, so
// that undo can move it back after a restart.
#pragma once

#include <cerrno>
#include <cstdint>
#include <string>

#include "platform/SafeFile.h"

namespace pelcrow {

// A message of an mbox file (a folder that is one file), as its move records it: enough to find
// it again in either file after offsets shifted.
struct TMboxMessageRef {
  bool Used = false;             // the move is of an mbox message, not of a message file
  std::string FromLine;          // its From_ line, without the line break
  std::uint64_t Digest[2] = {0, 0};
  std::int64_t Length = 0;       // its bytes after the From_ line, trailing line breaks left out
  std::int64_t SourceAt = -1;    // its From_ line's offset in the source before the move
  std::int64_t TargetAt = -1;    // its From_ line's offset in the target after the move
};

struct TStoreMove {
  std::string Folder, Name;  // the message file as the scan found it
  platform::TFolderIdentity FolderId;
  platform::TEntryStat Source;
  std::string Target;                // the full path it goes to
  platform::TFileIdentity TargetId;  // where it went (after it went)
  bool DeleteAction = false;         // into the store's trash, else a move
  TMboxMessageRef Mbox;              // Folder/Name and Target are the two mbox files
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
