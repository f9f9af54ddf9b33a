// Step 1 of the window: the folder tree, the add / remove / clear buttons, the path lists
// (include, exclude and reference folders, or master and search range) and, under them, the
// masks and size limits.
// The panel decides which folders a list accepts; the window hears when the first list changed
// (the start button depends on it) and when a refused folder needs a message in front.
#pragma once

#include <QFrame>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "plugins/PluginTypes.h"

class QListWidgetItem;
class QPushButton;
class QTabWidget;
class QTimer;
class QToolButton;
class QTreeWidgetItem;

namespace pelcrow {
class TFolderBase;
}

namespace pelcrow::ui {

class TFolderTree;
class TPathListBox;
class TScanFilterBox;

// Why folders were refused (or, dwMerged, took the place of listed ones); the warning is shown
// with the window brought to the front.
enum class TDropWarning : std::uint8_t { dwExclusion, dwSysApp, dwHidden, dwVarious, dwListed, dwInsideListed, dwMerged };

class TFolderListPanel : public QFrame {
  Q_OBJECT

 public:
  explicit TFolderListPanel(QWidget* parent = nullptr);

  // Runs an action after the current event (set by the window, which owns the timer).
  std::function<void(std::function<void()>)> Defer;

  void Retranslate();
  // The tab captions, the refresh button and the filter fields for the current mode.
  void ApplyMode();
  // While busy (a scan or a processing run) nothing can be added or removed.
  void SetBusy(bool busy);
  TScanFilterBox* Filters() const { return fFilters; }

  // The first list includes (or holds the masters), the second excludes (or is the search range).
  TPathListBox* FirstList() const { return lbInclude; }
  TPathListBox* SecondList() const { return lbExclude; }
  std::vector<std::string> FirstEntries() const;
  std::vector<std::string> SecondEntries() const;
  // Reference folders: searched too, their files always stay. The file modes outside the master
  // mode show the list.
  TPathListBox* ReferenceList() const { return lbReference; }
  std::vector<std::string> ReferenceEntries() const;
  void SetReferenceEntries(const std::vector<std::string>& entries);
  void AddReferenceFolder(const std::string& path);
  bool ReferenceListShown() const;
  void SetEntries(const std::vector<std::string>& first, const std::vector<std::string>& second);
  void ClearLists();
  // Drops the first list's entries that the settings exclude for good by now.
  void RemoveExcludedEntries();
  void ShowFirstTab();

  void AddIncludeFolder(const std::string& path);
  void AddExcludeFolder(const std::string& path);
  // Folders from the shell: the refused ones are counted into one warning.
  void AddIncludeFolders(const std::vector<std::string>& paths);
  void AddExcludeMask(const std::string& text);
  // A path typed by the user, to the list of the shown tab; true when it was taken.
  bool AddTypedPath(const std::string& typed);
  // The wizard's choice: these folders to include, nothing excluded, no size limits.
  void TakeWizardChoice(const std::string& mask, const std::vector<std::string>& folders);
  // The folder dialog, its choice to the list of the shown tab.
  void SelectFolders();

  // The tree, after the mode or the scan options changed.
  void FillFolderTree();
  void RefreshTree();
  void ClearFolderTree();
  // Mail modes: the store's folders as the plug-in lists them.
  void FillMailTree(const TPluginFolderTree& nodes, const std::vector<TOlFolder>& folders);
  // Photo mode: the library's albums.
  void FillAlbumTree(const TFolderBase& root);

 signals:
  void firstListChanged();
  void referenceListChanged();
  void dropRefused(TDropWarning warning);
  void wizardRequested();

 private:
  QWidget* BuildTree();
  QLayout* BuildButtons();
  QLayout* BuildLists();
  void ConnectSignals();
  void SetTabCaptions();

  TPathListBox* ActiveList() const;
  bool ListContains(TPathListBox* list, const std::string& entry) const;
  // With subfolders scanned, a folder inside another listed one would have its files read twice;
  // nullopt when the folder may be listed, otherwise the warning why not or what was merged.
  std::optional<TDropWarning> CheckNesting(const std::string& entry);
  void AppendEntry(TPathListBox* list, const std::string& entry);
  void AddToList(TPathListBox* list, const std::string& path);
  void AddToActiveList(const std::string& path);
  void WarnLater(TDropWarning warning);

  void AddClick();
  void RemoveClick();
  void ClearListClick();
  void OnTreeDoubleClicked(QTreeWidgetItem* item);
  void DropOnList(TPathListBox* target, const QStringList& paths, bool fromTree);

  bool fBusy = false;
  QTimer* DblclkTimer;
  TFolderTree* tvFolderList;
  QToolButton* ImageRefresh;
  QPushButton* bAdd;
  QPushButton* bRemove;
  QPushButton* bClear;
  QPushButton* bWizard;
  QTabWidget* tcPathList;
  TPathListBox* lbInclude;
  TPathListBox* lbExclude;
  TPathListBox* lbReference;
  TScanFilterBox* fFilters;
};

}  // namespace pelcrow::ui
