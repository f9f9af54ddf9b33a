// Where the system, the programs and the user keep their folders. The folder checks of a scan, the
// settings' default exclusions and the wizard's shortcuts are built from these lists. Entries are
// absolute, without a trailing "/"; a folder that cannot be determined contributes no entry.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/ScanOptions.h"

namespace pelcrow {

class TPcwSpecialFolders {
 public:
  TPcwSpecialFolders() = delete;

  // The lists below are computed on first use and kept for the life of the process.

  // /bin /sbin, every /lib* folder that exists, /boot /etc /proc /sys /dev /run.
  static const std::vector<std::string>& GetSystemDirectories();
  // /usr /opt /snap, /var/lib /var/cache, the user's data, state, cache and config folders.
  static const std::vector<std::string>& GetAppDirectories();
  // The temporary folder ($TMPDIR or /tmp), /var/tmp, then the user's cache folder.
  static const std::vector<std::string>& GetTempDirectories();
  // ".Trash" and ".Trash-<uid>" (folder names at the top of a volume), then the home trash path.
  static const std::vector<std::string>& GetRecyclerNames();
  // The user's folders from user-dirs.dirs; at most one entry each.
  static const std::vector<std::string>& GetDocumentsDirectory();
  static const std::vector<std::string>& GetMusicDirectory();
  static const std::vector<std::string>& GetPicturesDirectory();
  static const std::vector<std::string>& GetVideosDirectory();

  // A fresh list on every call (it follows the current environment): the default of the settings'
  // permanent exclusions. "/lib*" is a pattern there, which the exclusion check understands.
  static std::vector<std::string> GetDefaultExclusions();

  // Uncached: these follow the current environment.
  static std::string GetHomeDirectory();        // $HOME, else the password database
  static std::string GetUserConfigDirectory();  // $XDG_CONFIG_HOME or ~/.config
  static std::string GetUserDataDirectory();    // $XDG_DATA_HOME or ~/.local/share
  static std::string GetUserStateDirectory();   // $XDG_STATE_HOME or ~/.local/state
  static std::string GetUserCacheDirectory();   // $XDG_CACHE_HOME or ~/.cache
  static std::string GetTempPath();             // $TMPDIR or /tmp
  // File name of the running program without folder and extension; "pelcrow" if unknown.
  static std::string GetExecutableBaseName();
  // Reads one entry of user-dirs.dirs now, e.g. "XDG_MUSIC_DIR". Empty when the entry is missing,
  // empty, disabled ("$HOME" alone), relative, or not an existing folder.
  static std::string ReadUserDirectory(std::string_view key);

  // True when the folder must not be scanned or offered: a system or application folder
  // (ReasonCode 2, only with soSkipSysAppFolders in `options`) or a hidden folder (ReasonCode 7,
  // unless soIncludeHidden). The root is never special. Any error answers false.
  static bool CheckSpecialPathName(const std::string& APath, int& ReasonCode, TPcwScanOptions options);
  // `dir` is `folder` or lies below it (prefix by whole path components).
  static bool IsInFolder(std::string_view dir, std::string_view folder);

  // The per-user desktop entry whose presence means the folder context-menu entry is installed.
  static std::string GetShellContextMenuEntryFile();
  // True when that entry exists as a file; any error gives false.
  static bool IsShellContextMenuInstalled();
};

}  // namespace pelcrow
