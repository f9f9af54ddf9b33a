// The one way to act on a file the scan found. Every change of a user's file goes through
// TSafeFileAction: it opens the file's folder once, checks that the folder is the one the scan
// saw, checks the file (and the copy its group keeps) against what the scan recorded, and then
// acts with *at calls on that folder's descriptor, so that a folder swapped for a link between
// the check and the act redirects nothing.
//
// Two entries are the same file when device and inode agree; they are possibly the same file
// when inode, size and modification time to the nanosecond agree on different devices, as an
// overlay mount over its lower folder, FUSE and NFS mirrors show one file. Neither is ever
// removed for the other.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/FileTransfer.h"
#include "platform/SysCalls.h"
#include "platform/Trash.h"

namespace pelcrow::platform {

// A folder as the scan saw it; 0/0 when unknown (a list from an older version).
struct TFolderIdentity {
  std::uint64_t Device = 0;
  std::uint64_t Inode = 0;
  bool Known() const { return Device != 0 || Inode != 0; }
};

// A file as the scan saw it. Unknown parts are 0.
struct TFileIdentity {
  std::uint64_t Device = 0;
  std::uint64_t Inode = 0;
  std::int64_t Size = 0;
  std::int64_t ModifiedNs = 0;
  // Inode change time: no program can set it back, so a file whose change time is as recorded
  // has not been written since. 0: unknown, the content is compared instead.
  std::int64_t ChangedNs = 0;
  // The modification time keeps whole seconds only (a list file of an older version).
  bool WholeSeconds = false;
};

// An entry of a folder as it is now (never through a final link).
struct TEntryStat {
  std::uint32_t Mode = 0;
  std::uint32_t Uid = 0, Gid = 0;
  std::uint64_t Device = 0, Inode = 0, Links = 0;
  std::int64_t Size = 0;
  std::int64_t ModifiedNs = 0, AccessedNs = 0, ChangedNs = 0;
  bool IsFile() const;
  bool IsLink() const;
};
// 0 or an errno value.
int StatEntry(int dirFd, const std::string& name, TEntryStat& out);

// Whether the entry is still the file of the identity (type, size, times, device and inode).
bool MatchesIdentity(const TEntryStat& now, const TFileIdentity& scanned);
// Same device and inode, or the same inode, size and modification time on another device.
bool PossiblySameFile(const TEntryStat& a, const TEntryStat& b);

enum class TSafeFailure : std::uint8_t {
  sfNone,
  sfFolderChanged,  // the folder is not the one the scan saw (replaced, or a link now)
  sfGone,           // the file no longer exists
  sfChanged,        // the file is not what the scan found
  sfKeptGone,       // the group's kept copy no longer exists
  sfKeptChanged,    // the kept copy changed, or no longer holds the file's content
  sfKeptSameFile,   // the kept copy is (possibly) this very file
  sfSystem,         // a system call failed: Error says which errno
};

struct TSafeResult {
  TSafeFailure Failure = TSafeFailure::sfNone;
  int Error = 0;
  std::string Detail;  // what could not be kept, or which call refused
  bool Ok() const { return Failure == TSafeFailure::sfNone; }
  static TSafeResult System(int err, std::string detail = {});
};

// A folder opened once (O_PATH), checked against the scan's identity.
class TCheckedFolder {
 public:
  // 0, or an errno value (ESTALE: it is not the folder `expected` names).
  int Open(const std::string& path, TFolderIdentity expected = {});
  int Fd() const { return fFd.Get(); }
  bool IsOpen() const { return fFd.Valid(); }
  const std::string& Path() const { return fPath; }
  TFolderIdentity Identity() const { return fId; }

 private:
  TFd fFd;
  std::string fPath;
  TFolderIdentity fId;
};

// A file the scan found: where, and what it was.
struct TScannedFile {
  std::string Folder;
  std::string Name;
  TFolderIdentity FolderId;
  TFileIdentity Id;
  std::string FullPath() const;
};

class TSafeFileAction {
 public:
  // Opens and checks the item, and with Kept the copy its group keeps. ContentMustMatch: the
  // kept copy must hold the item's bytes; they are compared when either file's change time moved
  // since the scan (or was not recorded).
  TSafeResult Prepare(const TScannedFile& Item, const TScannedFile* Kept, bool ContentMustMatch);

  const TEntryStat& ItemStat() const { return fItemStat; }
  const TEntryStat& KeptStat() const { return fKeptStat; }
  const TCheckedFolder& Folder() const { return fFolder; }
  const TCheckedFolder& KeptFolder() const { return fKeptFolder; }
  const std::string& Name() const { return fName; }

  // The acts, each once after a successful Prepare.
  TSafeResult Delete();
  TTrashResult Trash(const std::string& shownPath);
  // Into dstDir as dstName, never replacing anything; Info tells where it went.
  TSafeResult MoveTo(int dstDir, const std::string& dstName, TTransferInfo& Info,
                     const std::function<void()>& BeforePublish = {});
  // Replaces the file by a symbolic link holding LinkText, in one rename: the name never
  // stands empty, and nothing but the checked file is replaced.
  TSafeResult ReplaceWithLink(const std::string& LinkText);
  // Reads the checked file whole (never through a link; ENOENT-like failures as sfGone).
  TSafeResult ReadContent(std::string& Bytes, std::size_t Limit) const;
  // Replaces the file's content by Bytes in one rename: the new version is written and synced
  // under a temporary name beside it (no ".vcf", a dot first), the checked file is kept as a
  // link BackupName in BackupDir, then the two swap. NewStat: the file now at the name.
  TSafeResult ReplaceContent(std::string_view Bytes, int BackupDir, const std::string& BackupName, TEntryStat& NewStat);
  // Makes the file a hard link of the kept copy (Prepare with Kept): the bytes of both are
  // compared, the link is made under a temporary name beside the file and takes the name in one
  // exchange. Another file system fails with EXDEV before anything is made. NewStat: the file
  // now at the name.
  TSafeResult ReplaceWithHardLink(TEntryStat& NewStat);
  // Makes the file share the kept copy's blocks. FIDEDUPERANGE first, in place: the kernel
  // compares the bytes itself and the name keeps its file. Where the file system has no
  // dedupe call, a FICLONE copy made under a temporary name after a byte compare takes the name
  // in one exchange. EXDEV: another file system; EOPNOTSUPP: no clones here. Deduped: which of
  // the two ways it went.
  TSafeResult ReplaceWithClone(TEntryStat& NewStat, bool& Deduped);

 private:
  // The item is still the checked file (just before an act).
  TSafeResult Recheck() const;
  // The kept copy is still the one Prepare checked.
  bool KeptUnchanged() const;
  // A hard link or clone made at tmp takes the checked file's name, if that still is the file.
  TSafeResult SwapIn(const std::string& tmp, TEntryStat& NewStat);
  TSafeResult SameAsKept() const;

  TCheckedFolder fFolder, fKeptFolder;
  std::string fName, fKeptName;
  TEntryStat fItemStat, fKeptStat;
  bool fPrepared = false;
};

}  // namespace pelcrow::platform
