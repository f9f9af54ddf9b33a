// Small things the program's dialogs share: centring over the main window, the folder browser,
// and menus that leave out what cannot be chosen.
#pragma once

#include <QString>

#include <functional>
#include <string>

class QDialog;
class QMenu;
class QPushButton;
class QWidget;

namespace pelcrow::ui {

// Centres dialog over owner: left = owner's left + (owner's width - dialog's width) / 2 (halves
// rounded towards minus infinity), top likewise. Without an owner the dialog stays where it is.
void AlignCenter(QWidget* dialog, const QWidget* owner);
// The same arithmetic, for tests.
int CenteredOffset(int ownerStart, int ownerExtent, int extent);

// Shows a modal window and gives its result; tests replace it to act as the user.
extern std::function<int(QDialog&)> RunModal;

// Where the product's pages are.
inline constexpr const char* kHelpUrl = "https://pelcrow.org/help/";
inline constexpr const char* kWebUrl = "https://pelcrow.org/";

// Which check a chosen folder must pass.
enum class TFolderCheck { fcNone, fcExclusions, fcLogFolder };

// The folder browser: title (translated by the caller), starting at start when it exists. An
// empty result means no choice, or a choice the check refused (the user was told why).
std::string SelectFolder(QWidget* parent, const QString& title, const std::string& start, TFolderCheck check,
                         bool allowNewFolders);
// Shows the browser; tests replace it to act as the user (the folder's path, empty: cancelled).
extern std::function<std::string(QWidget*, const QString&, const std::string&, bool)> RunFolderBrowser;

// The property that holds a control's untranslated caption; RetranslateCaptions sets the shown
// text of every such child (labels, buttons, group titles) from it.
inline constexpr const char* kCaptionProperty = "caption";
void SetCaption(QWidget* w, const char* caption);
void RetranslateCaptions(QWidget* root);
// A push button found by its name in tests and translated by RetranslateCaptions.
QPushButton* NewButton(QWidget* parent, const char* objectName, const char* caption, bool isDefault = false);

// Disabled items are removed rather than greyed: each time the menu opens, an item shows exactly
// when it is enabled (items given the property "neverShown" stay hidden).
void PruneDisabledItems(QMenu* menu);

}  // namespace pelcrow::ui
