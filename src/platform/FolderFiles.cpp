#include "platform/FolderFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace pelcrow::platform {

TFolderFiles::~TFolderFiles() { CloseFolder(); }

void TFolderFiles::Close() { fFile.Close(); }

void TFolderFiles::CloseFolder() {
  Close();
  if (fDirFd >= 0) ::close(fDirFd);
  fDirFd = -1;
  fFolder.clear();
}

int TFolderFiles::Open(std::string_view Folder, std::string_view Name, bool Sequential) {
  Close();
  int dirFd = AT_FDCWD;
  if (Name.find('/') == std::string_view::npos && !Folder.empty()) {
    if (fDirFd < 0 || Folder != fFolder) {
      CloseFolder();
      fFolder.assign(Folder);
      // O_PATH: nothing is read from the folder itself, and no read permission is needed to hold it.
      fDirFd = ::open(fFolder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
      if (fDirFd < 0) fFolder.clear();
    }
    if (fDirFd >= 0) dirFd = fDirFd;
  }
  if (dirFd == AT_FDCWD) {
    // An empty folder is the root, as in a result row's full path.
    fName.assign(Folder);
    if (fName.empty() || fName.back() != '/') fName += '/';
    fName.append(Name);
  } else {
    fName.assign(Name);
  }
  return fFile.OpenAt(dirFd, fName.c_str(), Sequential);
}

}  // namespace pelcrow::platform
