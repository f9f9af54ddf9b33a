// Copying, moving and timestamping single files for processing and its undo. None of these ever
// replaces an existing file, and a copy becomes visible under its name only once it is whole:
// a failure leaves no partial target behind. Every function returns 0 or an errno value.
#pragma once

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

// Copies the content of a regular file (following a link at `source`) to the new file `target`,
// with the source's permission bits and access and modification times. EEXIST when `target`
// exists. The copy is written under no name and linked into place when complete.
int CopyFileNoOverwrite(const std::string& source, const std::string& target);

// Moves `source` to `target` without replacing anything there (EEXIST). Within a file system a
// rename; across file systems (regular files only) a copy, read back and compared, and then the
// source removed. If the source cannot be removed the copy is removed again, so a failed move
// leaves exactly the state it found.
int MoveFileNoOverwrite(const std::string& source, const std::string& target);

}  // namespace pelcrow::platform
