// What the results grid does with one file: open it, "Open with ...", show its folder, its
// properties and a picture preview. The desktop does each where it can; our own small dialogs
// stand in where it cannot (no file manager properties, no portal chooser).
#pragma once

#include <string>

class QSize;
class QString;
class QWidget;

namespace pelcrow::ui {

// Paths the shell refuses, as the rest of the program does for every hand-over to the desktop.
inline constexpr std::size_t kMaxShellPath = 260;

// Each shows the long-path warning instead when the path is too long, and an error message with
// the reason when the desktop could not do it; false when nothing opened.
bool OpenItemFile(const std::string& path);
bool OpenItemWith(const std::string& path, QWidget* parent);
bool OpenItemFolder(const std::string& folder);
// The file manager's properties dialog, else ours (size, times, mode, type); an error message
// when the file cannot be read.
void ShowItemProperties(const std::string& path, QWidget* parent);
// A picture at its full size (scrolled when larger than the screen), its size under it; an error
// message when it cannot be read.
void ShowPicturePreview(const std::string& path, QWidget* parent);
// "Width: %d px; Height: %d px", translated.
QString PictureSizeText(const QSize& size);
// The extensions the preview opens (any case).
bool IsPreviewPicture(const std::string& name);

}  // namespace pelcrow::ui
