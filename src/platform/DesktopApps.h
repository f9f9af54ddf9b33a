// The applications the desktop has registered for a file type, as a file manager's "Open with"
// lists them: desktop entries found in the XDG data folders, associated with the type through
// their MimeType= key, the folders' mimeinfo.cache and the mimeapps.list files, in XDG order.
// Starting one expands its Exec line with the file, without a shell.
#pragma once

#include <string>
#include <vector>

#include "platform/ProcessLauncher.h"

namespace pelcrow::platform {

struct TDesktopApp {
  std::string Id;    // "org.gnome.gedit.desktop"; a subfolder's name is joined with '-'
  std::string Name;  // the entry's Name=, the id when it has none
  std::string Exec;  // unescaped as a string value, still with its quoting and field codes
  std::string File;  // the desktop entry file
};

// The applications for a file whose type and its ancestors are mimeTypes (most specific first):
// the defaults and added associations of mimeapps.list first, then the others by name. Removed
// associations, hidden entries, non-applications and entries whose TryExec is not installed
// are left out.
std::vector<TDesktopApp> ApplicationsForTypes(const std::vector<std::string>& mimeTypes);

// The argument vector an Exec line asks for to open one file: Desktop Entry quoting, %f %F for
// the path, %u %U for its file URI, %% for '%', %i %c %k and the deprecated codes dropped; a line
// without a file code gets the path as its last argument. Empty for a line that cannot be read
// (an unclosed quote, nothing to start).
std::vector<std::string> ExpandExec(const std::string& exec, const std::string& path);

// Starts the application with the file; false with the reason when it cannot be started or ends
// at once with a failure status (an Exec line that cannot be read counts as a program not found).
bool OpenWithApplication(const TDesktopApp& app, const std::string& path, TLaunchFailure& failure);

}  // namespace pelcrow::platform
