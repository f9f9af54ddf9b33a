// The folder entry of the file managers ("scan this folder for duplicates"), all per user:
//   - a desktop entry for folders in $XDG_DATA_HOME/applications ("Open With" everywhere; its
//     presence is what counts as installed),
//   - a Dolphin service menu in $XDG_DATA_HOME/kio/servicemenus (must be executable),
//   - a Nautilus script in $XDG_DATA_HOME/nautilus/scripts (executable),
//   - an action merged into $XDG_CONFIG_HOME/Thunar/uca.xml, other actions kept byte for byte.
// The program installs and removes them through its helper command line ("-e" and "-d").
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pelcrow::platform {

// The files the entry consists of (the Thunar file is shared with other actions).
struct TContextMenuFiles {
  std::string DesktopEntry;
  std::string DolphinServiceMenu;
  std::string NautilusScript;
  std::string ThunarActions;
};
TContextMenuFiles GetContextMenuFiles();

// Writes every file for the program at exePath (absolute). Before the desktop entry appears,
// the current default folder handler is pinned, since a user entry for folders would otherwise
// become the default and open folders in this program. Returns 0 or the first errno.
int InstallShellContextMenu(const std::string& exePath);
// Removes what InstallShellContextMenu wrote. Returns 0 or the first errno (a missing file is
// no error).
int RemoveShellContextMenu();

// The helper command line: "-e <exe>" installs, "-d" removes. Returns the process exit status,
// or -1 when args is no helper command.
int RunShellContextMenuHelper(const std::vector<std::string>& args);

// Desktop Entry quoting of one Exec argument (reserved characters quoted, "%" doubled, then the
// string-value escaping of backslashes).
std::string DesktopExecQuote(std::string_view arg);
// uca.xml with our action added (replacing an earlier one of ours) or, with an empty action,
// removed; every other byte stays as it was.
std::string MergeThunarAction(std::string_view document, std::string_view action);

}  // namespace pelcrow::platform
