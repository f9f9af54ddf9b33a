// What the user set up in the window, kept between runs in the settings file's "User" section:
// the folder lists of the current mode, the masks, the size limits, the folder processing last
// moved to, and the window's place. The search criteria live in the same file and are read with
// the lists.
#pragma once

#include <string>

class QMainWindow;

namespace pelcrow {
struct TUserState;
}

namespace pelcrow::ui {

class TFolderListPanel;
class TResultsPanel;

class TUserStateBinder {
 public:
  TUserStateBinder(QMainWindow& window, TFolderListPanel& folders);

  // The results grid, whose column widths are kept too; made after the binder.
  void SetResults(TResultsPanel* results) { fResults = results; }
  // masksOnly: only the mask fields of the current mode (after a mode switch).
  void Load(bool masksOnly);
  // The search criteria alone (Load reads them as well).
  void LoadSearchCriteria();
  void Save();

  // Where processing last moved files to; the processing commands change it.
  std::string& PathToMove() { return fPathToMove; }
  static std::string SettingsFile();

 private:
  void ShowMasks(const TUserState& s);
  void ShowLists(const TUserState& s);
  void RestoreWindowPlace(const TUserState& s);
  void StoreFields(TUserState& s) const;
  void StoreWindowPlace(TUserState& s) const;

  QMainWindow& fWindow;
  TFolderListPanel& fFolders;
  std::string fPathToMove;
  TResultsPanel* fResults = nullptr;
};

}  // namespace pelcrow::ui
