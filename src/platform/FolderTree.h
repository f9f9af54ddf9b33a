// What the folder tree of the main window shows: the user's home and desktop, the whole file
// system, the mounted volumes with their kinds, and below each node its subfolders (read when the
// node is first opened). Folders a scan would refuse (system and application folders, hidden
// folders, per the scan options) are not offered.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/MountTable.h"
#include "base/ScanOptions.h"

namespace pelcrow::platform {

enum TFolderNodeKind : std::uint8_t {
  fkHome,
  fkDesktop,
  fkFileSystem,  // "/"
  fkVolume,      // a local disk
  fkRemovable,   // below /media or /run/media
  fkNetwork,     // nfs, cifs, smb3, sshfs
  fkOptical,     // iso9660, udf
  fkRamDisk,     // tmpfs
  fkFolder,
};

struct TFolderNode {
  std::string Caption;  // untranslated for the fixed roots ("Home", "Desktop", "File System")
  std::string Path;     // absolute, without a trailing "/" (except "/")
  TFolderNodeKind Kind = fkFolder;
  friend bool operator==(const TFolderNode&, const TFolderNode&) = default;
};

// The kind of a mount; fkFolder for mounts that are no volume of the user's (proc, cgroups,
// the system's own tmpfs and the like).
TFolderNodeKind VolumeKind(const TMountEntry& mount);

// The top nodes: home, the desktop (when it is a folder of its own), the file system, then the
// volumes in mount order (the first mount of each point, none below a system folder).
std::vector<TFolderNode> GetFolderTreeRoots(const std::vector<TMountEntry>& mounts, const std::string& home,
                                            const std::string& desktop);
std::vector<TFolderNode> GetFolderTreeRoots();

// The subfolders of a folder, sorted by name without regard to case; symbolic links, hidden
// folders (without soIncludeHidden) and system or application folders (with
// soSkipSysAppFolders) are left out. Empty on any error.
std::vector<TFolderNode> ListSubfolders(const std::string& path, TPcwScanOptions options);

// A path as the user typed it, as a folder entry: blanks around it dropped, "~" for the home
// folder, a relative path taken below the home folder, "." and ".." resolved, repeated "/" made
// one, a trailing "/" added. Masks and "~name" stay as typed. Empty when the text is blank.
std::string NormalizeTypedPath(std::string_view text, const std::string& home);

// A folder entry of the lists: the path with exactly one trailing "/".
std::string FolderEntry(std::string_view path);

}  // namespace pelcrow::platform
