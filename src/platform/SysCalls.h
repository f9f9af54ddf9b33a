// The seam through which the platform layer's file calls pass. Production code uses the real
// calls; tests install a table that fails the N-th call of a kind with a chosen errno, or makes
// a read or write short, to prove that every operation and its undo lose no byte.
//
// Each function has the POSIX contract of the call it names: -1 (or a negative count) and errno
// on failure.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <string>

namespace pelcrow::platform {

enum class TSysCall : unsigned char {
  scOpenAt,
  scClose,
  scRead,
  scWrite,
  scStatxAt,
  scFStat,
  scUnlinkAt,
  scRenameAt,
  scLinkAt,
  scSymlinkAt,
  scReadlinkAt,
  scMkdirAt,
  scFChmod,
  scFChown,
  scFUtimens,
  scUtimensAt,
  scFSync,
  scCopyFileRange,
  scListXattr,
  scGetXattr,
  scSetXattr,
  scCount
};

class ISysCalls {
 public:
  virtual ~ISysCalls() = default;
  virtual int OpenAt(int dirFd, const char* path, int flags, mode_t mode) = 0;
  virtual int Close(int fd) = 0;
  virtual ssize_t Read(int fd, void* buffer, std::size_t count) = 0;
  virtual ssize_t Write(int fd, const void* buffer, std::size_t count) = 0;
  virtual int StatxAt(int dirFd, const char* path, int flags, unsigned mask, struct statx* out) = 0;
  virtual int FStat(int fd, struct stat* out) = 0;
  virtual int UnlinkAt(int dirFd, const char* name, int flags) = 0;
  virtual int RenameAt(int fromDir, const char* from, int toDir, const char* to, unsigned flags) = 0;
  virtual int LinkAt(int fromDir, const char* from, int toDir, const char* to, int flags) = 0;
  virtual int SymlinkAt(const char* target, int dirFd, const char* name) = 0;
  virtual ssize_t ReadlinkAt(int dirFd, const char* name, char* buffer, std::size_t size) = 0;
  virtual int MkdirAt(int dirFd, const char* name, mode_t mode) = 0;
  virtual int FChmod(int fd, mode_t mode) = 0;
  virtual int FChown(int fd, uid_t uid, gid_t gid) = 0;
  virtual int FUtimens(int fd, const struct timespec times[2]) = 0;
  virtual int UtimensAt(int dirFd, const char* name, const struct timespec times[2], int flags) = 0;
  virtual int FSync(int fd) = 0;
  virtual ssize_t CopyFileRange(int in, int out, std::size_t count) = 0;
  virtual ssize_t ListXattr(int fd, char* list, std::size_t size) = 0;
  virtual ssize_t GetXattr(int fd, const char* name, void* value, std::size_t size) = 0;
  virtual int SetXattr(int fd, const char* name, const void* value, std::size_t size) = 0;
};

// The calls themselves.
class TRealSysCalls : public ISysCalls {
 public:
  int OpenAt(int dirFd, const char* path, int flags, mode_t mode) override;
  int Close(int fd) override;
  ssize_t Read(int fd, void* buffer, std::size_t count) override;
  ssize_t Write(int fd, const void* buffer, std::size_t count) override;
  int StatxAt(int dirFd, const char* path, int flags, unsigned mask, struct statx* out) override;
  int FStat(int fd, struct stat* out) override;
  int UnlinkAt(int dirFd, const char* name, int flags) override;
  int RenameAt(int fromDir, const char* from, int toDir, const char* to, unsigned flags) override;
  int LinkAt(int fromDir, const char* from, int toDir, const char* to, int flags) override;
  int SymlinkAt(const char* target, int dirFd, const char* name) override;
  ssize_t ReadlinkAt(int dirFd, const char* name, char* buffer, std::size_t size) override;
  int MkdirAt(int dirFd, const char* name, mode_t mode) override;
  int FChmod(int fd, mode_t mode) override;
  int FChown(int fd, uid_t uid, gid_t gid) override;
  int FUtimens(int fd, const struct timespec times[2]) override;
  int UtimensAt(int dirFd, const char* name, const struct timespec times[2], int flags) override;
  int FSync(int fd) override;
  ssize_t CopyFileRange(int in, int out, std::size_t count) override;
  ssize_t ListXattr(int fd, char* list, std::size_t size) override;
  ssize_t GetXattr(int fd, const char* name, void* value, std::size_t size) override;
  int SetXattr(int fd, const char* name, const void* value, std::size_t size) override;
};

// The table in use.
ISysCalls& Sys();
// Installs a table (nullptr: the real calls again); returns the one it replaces. Tests only.
ISysCalls* SetSysCalls(ISysCalls* calls);

// A descriptor closed on every path out (through the seam).
class TFd {
 public:
  explicit TFd(int fd = -1) noexcept : fFd(fd) {}
  ~TFd() { Reset(); }
  TFd(TFd&& o) noexcept : fFd(o.Release()) {}
  TFd& operator=(TFd&& o) noexcept {
    if (this != &o) Reset(o.Release());
    return *this;
  }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  int Get() const noexcept { return fFd; }
  bool Valid() const noexcept { return fFd >= 0; }
  int Release() noexcept {
    const int fd = fFd;
    fFd = -1;
    return fd;
  }
  void Reset(int fd = -1) noexcept;

 private:
  int fFd;
};

// Retrying wrappers: 0 or an errno value.
int WriteAllFd(int fd, const void* data, std::size_t size);
// Reads up to size bytes, fewer only at the end of the file; got tells how many.
int ReadFullFd(int fd, void* data, std::size_t size, std::size_t& got);

// A file that only grows: the action journal. Each Append is one write(2) to an O_APPEND
// descriptor, so records of two processes never interleave within a line.
class TAppendFile {
 public:
  // Creates the file (0600) when missing. A last line cut short (by a crash) is ended first, so
  // that the next record starts a line of its own. Exclusive: hold an exclusive lock on the file
  // until it is closed (the kernel drops it when the process dies). 0 or an errno value.
  int Open(const std::string& path, bool Exclusive = false);
  int Append(const std::string& bytes);
  // The appended bytes are on disk.
  int Sync();
  bool IsOpen() const { return fFd.Valid(); }
  void Close() { fFd.Reset(); }

 private:
  TFd fFd;
};

// Whether a process holds the exclusive lock of TAppendFile on the file (its action still runs).
bool IsLockedByWriter(const std::string& path);

// The real path of an open folder (through /proc/self/fd); empty when unknown.
std::string FolderRealPath(int dirFd);

}  // namespace pelcrow::platform
