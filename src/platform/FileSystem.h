// The file-system calls of the core. Every open, read, stat and directory listing goes through
// here so that one place decides the flags (no atime updates, close-on-exec, sequential hints)
// and the retry rules (EINTR, short reads).
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "base/DateTime.h"

namespace pelcrow::platform {

enum class TEntryType : std::uint8_t { etUnknown, etFile, etDirectory, etSymLink, etOther };

struct TFileInfo {
  TEntryType Type = TEntryType::etUnknown;
  std::int64_t Size = 0;
  TDateTime Modified;
  TDateTime Changed;  // inode change time
  std::uint64_t Device = 0;
  std::uint64_t Inode = 0;
  std::uint64_t LinkCount = 0;
  std::uint32_t Mode = 0;
  bool Compressed = false;  // only filled by LStatWithAttributes
};

// lstat: never follows a final symbolic link. Returns 0 or an errno value.
int LStat(const std::string& path, TFileInfo& info);
// lstat plus the file attributes (compressed), from one statx call.
int LStatWithAttributes(const std::string& path, TFileInfo& info);
// stat: follows links. Returns 0 or an errno value.
int Stat(const std::string& path, TFileInfo& info);

// Lists one folder without "." and "..". The type comes from the directory entry where the file
// system gives it (etUnknown otherwise). Returns 0 or the errno of opening the folder. A link to a
// folder is listed only when FollowLink says the caller chose to follow it.
int ListDirectory(const std::string& dir,
                  const std::function<void(std::string_view name, TEntryType type)>& onEntry,
                  bool FollowLink = false);

// An open folder whose entries are stat-ed by name: the kernel then resolves one name per entry
// instead of walking the whole path again, which is what makes a large walk as cheap as find's.
class TDirectory {
 public:
  // Opens the folder; FollowLink as for ListDirectory. Error() tells whether it worked.
  TDirectory(const std::string& dir, bool FollowLink);
  ~TDirectory();
  TDirectory(const TDirectory&) = delete;
  TDirectory& operator=(const TDirectory&) = delete;
  // 0 or the errno of opening the folder.
  int Error() const { return fError; }
  // Lists the entries as ListDirectory does. Returns 0 or an errno value.
  int List(const std::function<void(std::string_view name, TEntryType type)>& onEntry) const;
  // lstat of an entry, optionally with the file attributes (see LStatWithAttributes).
  int LStatAt(const std::string& name, TFileInfo& info, bool withAttributes = false) const;
  // stat of an entry (follows links).
  int StatAt(const std::string& name, TFileInfo& info) const;

 private:
  int fFd = -1;
  int fError = 0;
};

// The size of a regular file that can be opened for reading (never a FIFO or device, which
// could block or act). Returns 0 or an errno value.
int ReadableFileSize(const std::string& path, std::int64_t& size);

// Text of an errno value, e.g. "Permission denied".
std::string ErrorText(int err);

// A file opened for reading.
class TReadOnlyFile {
 public:
  TReadOnlyFile() = default;
  TReadOnlyFile(const TReadOnlyFile&) = delete;
  TReadOnlyFile& operator=(const TReadOnlyFile&) = delete;
  ~TReadOnlyFile() { Close(); }

  // Returns 0 or an errno value. sequential: the whole file will be read front to back.
  int Open(const std::string& path, bool sequential);
  // The same for a name in the folder open as dirFd (AT_FDCWD: a path as Open takes it).
  int OpenAt(int dirFd, const char* name, bool sequential);
  // Reads up to `count` bytes, retrying short reads until `count` or the end of the file.
  // Returns the number of bytes read, or -1 with LastError() set.
  std::int64_t Read(void* buffer, std::size_t count);
  void Close();
  bool IsOpen() const { return fFd >= 0; }
  int LastError() const { return fError; }
  std::int64_t Size() const { return fSize; }  // at opening

 private:
  int fFd = -1;
  int fError = 0;
  // Size at opening and bytes read so far: a short read that reaches the size is the end, with
  // no further read to learn it.
  std::int64_t fSize = 0;
  std::int64_t fOffset = 0;
};

}  // namespace pelcrow::platform
