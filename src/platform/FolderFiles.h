// Reading many files folder by folder: the folder stays open and its files are opened by name,
// so the kernel resolves one name per file instead of walking the whole path again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/FileSystem.h"

namespace pelcrow::platform {

class TFolderFiles {
 public:
  TFolderFiles() = default;
  TFolderFiles(const TFolderFiles&) = delete;
  TFolderFiles& operator=(const TFolderFiles&) = delete;
  ~TFolderFiles();

  // Opens Name in Folder for reading, as TReadOnlyFile::Open does (no atime update, regular files
  // only). The folder is kept open for the next file while it is the same. Returns 0 or an errno
  // value; Size() is the file's size at opening.
  int Open(std::string_view Folder, std::string_view Name, bool Sequential);
  // As TReadOnlyFile::Read: up to Count bytes, short only at the end; -1 with LastError().
  std::int64_t Read(void* Buffer, std::size_t Count) { return fFile.Read(Buffer, Count); }
  std::int64_t Size() const { return fFile.Size(); }
  int LastError() const { return fFile.LastError(); }
  // Closes the file; CloseFolder also lets go of the folder (so its volume can be unmounted).
  void Close();
  void CloseFolder();

 private:
  int fDirFd = -1;
  std::string fFolder;
  std::string fName;  // kept to give openat a terminated text without an allocation per file
  TReadOnlyFile fFile;
};

}  // namespace pelcrow::platform
