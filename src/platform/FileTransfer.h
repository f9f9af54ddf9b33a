// Copying, moving and timestamping single files for processing and its undo. None of these ever
// replaces an existing file, and a copy becomes visible under its name only once it is whole:
// a failure leaves no partial target behind. Every function returns 0 or an errno value, and
// every call that reads or changes a file goes through the seam of SysCalls.h.
//
// The *At forms work on folder descriptors (TCheckedFolder's, or any O_PATH folder descriptor),
// so that nothing between a check and the act can redirect them through a swapped folder.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>

#include "base/DateTime.h"

namespace pelcrow::platform {

struct TFileTimes {
  // Birth time; zero where the file system keeps none (Linux cannot set it either).
  TDateTime Created;
  TDateTime Accessed;
  TDateTime Modified;
  // Inode change time: set by the kernel on every change, never by a program.
  TDateTime Changed;
};

// The times of a file, following a final symbolic link.
int ReadFileTimes(const std::string& path, TFileTimes& times);
// Sets the access and modification times, never through a final symbolic link. The creation time
// cannot be set on Linux: the file keeps the one it has.
int WriteFileTimes(const std::string& path, TDateTime accessed, TDateTime modified);

// When the folder came into being: its birth time where the file system keeps one, else its
// change time (see the .cpp for why). Does not follow a final symbolic link.
int FolderCreationTime(const std::string& path, TDateTime& created);

// Creates the folder and its missing parents; 0 when it exists as a folder already.
int CreateFolders(const std::string& path);
// Removes the folder only if it is empty (ENOTEMPTY otherwise).
int RemoveEmptyFolder(const std::string& path);
// Removes a file or a symbolic link (never what it points to); never a folder.
int DeleteFileOrLink(const std::string& path);
// Something (file, folder, link, dangling or not) has this name.
bool PathExists(const std::string& path);
// The name is a symbolic link.
bool IsSymLink(const std::string& path);

// What a copy gives the new file instead of the source's own owner, mode and times (undo puts
// back the file that was deleted, with its metadata, from the bytes of the copy that was kept).
struct TFileMeta {
  bool Given = false;
  mode_t Mode = 0;
  uid_t Uid = 0;
  gid_t Gid = 0;
  TDateTime Accessed, Modified;
  // The copy writes its own blocks: copy_file_range may share the source's extents (a clone on
  // btrfs or XFS), which an undo of a clone must not do.
  bool OwnData = false;
};

// What a copy or move did, or could not keep.
struct TTransferInfo {
  std::uint64_t Inode = 0;  // of the file at the target
  bool Copied = false;      // across file systems: the target is a new file
  // Set with a failure: what of the source the target could not keep (owner, an extended
  // attribute) or why the source did not go. Empty when the errno says it all.
  std::string Detail;
};

// Copies the content of the regular file srcName (never through a final link) to the new file
// dstName with the source's owner (where permitted), mode bits, extended attributes and times,
// or with Meta's owner, mode and times. EEXIST when dstName exists. The copy is written under no
// name and linked into place when complete. Keeping less than the source has is a failure.
int CopyFileAt(int srcDir, const std::string& srcName, int dstDir, const std::string& dstName,
               TTransferInfo* info = nullptr, const TFileMeta* meta = nullptr);

// Moves srcName to dstName without replacing anything there (EEXIST). Within a file system a
// rename; across file systems (regular files only) a copy as above, read back and compared, and
// then the source removed if it is still the file that was copied. If the source cannot be
// removed the copy is removed again, so a failed move leaves exactly the state it found.
// BeforePublish runs once a copy across file systems is complete, just before it takes its name.
int MoveFileAt(int srcDir, const std::string& srcName, int dstDir, const std::string& dstName,
               TTransferInfo* info = nullptr, const std::function<void()>& BeforePublish = {});

// Whether the two regular files (never through a final link) hold the same bytes.
int SameContentAt(int dirA, const std::string& nameA, int dirB, const std::string& nameB, bool& same);

// The same by path (the folders are opened once, following links).
int CopyFileNoOverwrite(const std::string& source, const std::string& target);
int MoveFileNoOverwrite(const std::string& source, const std::string& target);

}  // namespace pelcrow::platform
