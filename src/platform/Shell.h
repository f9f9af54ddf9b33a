// Handing files, folders and web addresses to the desktop: the default application, the "Open
// with" chooser, the file manager and its properties dialog, the trash window. Everything is
// started detached through the process launcher (xdg-open, gio, gdbus), with the path as one
// argument. Each call answers false, and starts nothing, when it cannot do its part; the app then
// falls back to its own dialog where it has one.
#pragma once

#include <string>

#include "platform/ProcessLauncher.h"

namespace pelcrow::platform {

// The same hand-overs, with the reason when they fail. The helper (gio, xdg-open, gdbus) is given a
// moment to fail, so "no application for this type" or a refused bus call is a failure here, and
// the file manager's bus call falls back to the default handler.
bool OpenFile(const std::string& path, TLaunchFailure& failure);
bool OpenFolderInExplorer(const std::string& path, TLaunchFailure& failure);
bool ShowFileProperties(const std::string& path, TLaunchFailure& failure);
// argv[0] is the user's program, started with the path as its one argument.
bool OpenWithProgram(const std::string& program, const std::string& path, TLaunchFailure& failure);

// A web address ("https://...", "mailto:...") or a file, with its default application.
bool OpenDocument(const std::string& target);
// The default application of an existing file.
bool OpenFile(const std::string& path);
// The desktop portal's application chooser for an existing file; false when there is no portal.
bool OpenWith(const std::string& path);
// The folder in the file manager (org.freedesktop.FileManager1), else with its default handler.
bool OpenFolderInExplorer(const std::string& path);
// The file manager's properties dialog; false when no file manager offers one.
bool ShowFileProperties(const std::string& path);
// The file picked out in its folder in the file manager, else its folder with the default handler.
bool ShowInFileManager(const std::string& path);
// True when the desktop names a default application for the MIME type (xdg-mime).
bool HasDefaultApplication(const std::string& mimeType);
// The trash in the file manager, else the home trash's files folder with its default handler.
bool OpenRecycleBin();

// True when a program owns or can be started for the session bus name.
bool SessionBusHasName(const std::string& name);

}  // namespace pelcrow::platform
