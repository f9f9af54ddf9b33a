// The results area of the main window: the grid over the engine's visible list, the category
// buttons beside it, the search filter bar, and every command that works on the list: the
// "Select Duplicates" menus, the column menu, the row context menu, saving and loading the list.
// The window owns the check-all box, the "Selected:" field and the statistics and refreshes them
// on this panel's signals.
#pragma once

#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/ListFileLoader.h"
#include "engine/ScanEngine.h"
#include "ui/DetailsPane.h"
#include "ui/ResultsModel.h"
#include "ui/ResultsView.h"

class QFrame;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QToolButton;
class QTimer;

namespace pelcrow::ui {

// The row context menu's items, in menu order.
enum TFileListMenuItem : int {
  miSeparator = -1,
  miProperties,
  miOpen,
  miOpenWith,
  miOpenFolder,
  miPreview,
  miRecycleBin,
  miDelete,
  miRemoveFolder,
  miRemoveFolderSub,
  miRemoveExtension,
  miClean,
  miSaveList,
  miLoadList,
  miSearch,
  miIgnoreFile,
  miIgnorePair,
  miEditIgnoreList,
  miCount
};

// The items the menu shows for an item in a mode, disabled ones left out and separators only
// between groups that both remain.
std::vector<int> FileListMenuItems(std::uint8_t mode, const TFileItem& item, bool fileExists);

// The "Select Duplicates" commands.
enum TSelectCommand : int {
  scDrive,
  scFolder,
  scFolderSub,
  scGroupButThis,
  scLeaveNewest,
  scLeaveOldest,
  scLeaveOriginal,
  scLeaveFolder,
  scLeaveFolderSub,
  scLeaveCustomFolder,
  scReverse,
  scUnselectAll,
};

class TResultsPanel final : public QWidget {
  Q_OBJECT

 public:
  TResultsPanel(TScanEngine* Engine, QWidget* parent = nullptr);

  TResultsView* Grid() const { return sgFileList; }
  TResultsModel* Model() const { return fModel; }
  QWidget* CategoryPanel() const { return CategoryLayout; }
  // Deferred work (the window's 100 ms timer).
  std::function<void(std::function<void()>)> Defer;

  // Column set for the engine's mode, the music tags compared or switched on in pmColumns.
  void CheckColumns();
  std::uint8_t ShownTags() const;
  // "All Files", no search filter bar, sort mark on "Dup. Group": a scan start, "Clear", a load.
  void ResetState();
  void RefreshFilter(TFilterCategory category);
  TFilterCategory CurrentCategory() const { return fCategory; }
  void DisableFilter();
  bool FilterBarVisible() const;

  // "Select Duplicates": the menu for the mode, opened above the anchor.
  QMenu* DuplicatesMenu(bool masterMode);
  void RunSelectCommand(int command);
  // Check-all: checks every row (the master-mode note in master mode) or unchecks them.
  void CheckAll(bool on, bool masterMode);
  // "count / size", and whether the check-all box should show checked.
  QString SelectedText(bool* allChecked = nullptr) const;

  // The row context menu for a row (-1: the load menu), built anew each time.
  QMenu* BuildContextMenu(int row);
  void RunMenuItem(int item);
  QMenu* ColumnMenu() const { return pmColumns; }
  void SetUserTag(int tag, bool on);
  // The ignore list: the focused row's file, or the focused row with another copy of its group,
  // leaves the results and every later scan.
  void IgnoreFile(int row);
  void IgnorePair(int row, const std::string& otherPath);

  // "Duplicates only": the kept copy of each group is hidden from the grid.
  void SetDuplicatesOnly(bool on);
  bool DuplicatesOnly() const { return fDuplicatesOnly; }
  QPushButton* DuplicatesOnlyButton() const { return bDuplicatesOnly; }
  QPushButton* DetailsButton() const { return bDetails; }
  void SetDetailsShown(bool on);
  TDetailsPane* Details() const { return fDetails; }
  // Shows the rows and the pane as the checks are now (at once; normally deferred).
  void UpdateView();
  // Sizes the columns to their captions, the cells in view and the window (see the .cpp).
  void FitColumns();
  // The widths the user dragged, by column kind, as the user state keeps them ("2:300,4:90").
  std::string ColumnWidthsText() const;
  void SetColumnWidthsText(const std::string& text);

  // Saving and loading with the program's messages; the dialogs ask for the file.
  bool SaveListTo(const std::string& file);
  // Starts reading the list on a worker; the grid gives way to a wait page with a Cancel until
  // ListLoadEnded. False, and nothing started, while a scan or another load runs.
  bool LoadListFrom(const std::string& file);
  bool IsLoadingList() const { return fLoader->Running(); }
  // Ends a running load; the results stay as they were.
  void CancelListLoad();
  void SaveListClick();
  void LoadListClick();

  int FocusedRow() const;
  // The focused row's file as the desktop names it; empty without a focused row.
  std::string FocusedPath() const;
  // Tests the rows from Position on against the current search criteria; focuses the first match
  // and moves Position past it. False when no row from there matches.
  bool SearchFrom(int& Position);
  // Narrows the grid to the rows matching the current criteria and shows the filter bar.
  void ApplySearchFilter();
  void Retranslate();
  // A result file was renamed or moved while shown: every row of it takes the new name and folder.
  void FileRenamed(const std::string& oldPath, const std::string& newPath);

 signals:
  // The properties of a result file were shown, where the user may rename it.
  void PropertiesShown();
  // The checks changed: the "Selected:" field and the check-all box.
  void SelectionChanged();
  // Rows were removed, loaded or filtered: statistics and result buttons.
  void ResultsChanged();
  void DeleteFocusedRequested();
  // The undo history no longer matches the items (resolved rows cleaned, a list loaded).
  void HistoryInvalidated();
  // A list load began, went on (0 to 100) and ended; loaded: the list replaced the results
  // (otherwise it was cancelled or refused, and the results are as before).
  void ListLoadStarted(const QString& file);
  void ListLoadProgress(int percent);
  void ListLoadEnded(bool loaded);
  void EditFilterRequested();

 private:
  QWidget* BuildCategoryBar();
  QWidget* BuildFilterBar();
  QWidget* BuildGrid();
  QWidget* BuildLoadPage();
  void ShowLoadPage(bool on);
  void ShowLoadProgress(int percent);
  void ListLoaded(TListFileLoader::TResult& result);
  void BuildShortcuts();
  void BuildColumnMenu();
  void Later(std::function<void()> action);
  bool ValidFocus();
  void AskPlugin(int row, void (IScanEnginePlugin::*Action)(std::int32_t));
  void ShowContextMenu(const QPoint& pos);
  void HeaderMenu(const QPoint& pos);
  void MarkCategory(TFilterCategory category);
  void ScheduleViewUpdate();
  QMenu* IgnorePairMenu(int row, QWidget* parent);
  void KeepCategoryWidths();
  bool eventFilter(QObject* watched, QEvent* event) override;

  TScanEngine* fEngine;
  TResultsModel* fModel;
  TResultsView* sgFileList;
  QFrame* CategoryLayout;
  std::vector<std::pair<QPushButton*, TFilterCategory>> fCategoryButtons;
  QFrame* pFilter;
  QLabel* lFilter;
  QPushButton* bEditFilter;
  QPushButton* bDisableFilter;
  QMenu* pmColumns;
  std::array<bool, 8> fUserTags{};
  TFilterCategory fCategory = fcAllFiles;
  QPushButton* bDuplicatesOnly;
  QPushButton* bDetails;
  TDetailsPane* fDetails;
  QTimer* fViewTimer;
  bool fDuplicatesOnly = false;
  // Rows may be hidden from an earlier "Duplicates only".
  bool fShownHidden = false;
  std::map<int, int> fUserWidths;
  bool fFitting = false;
  bool fRefit = false;
  bool fDraggingColumn = false;
  // The list load: the worker, and the wait page that stands in for the grid meanwhile.
  std::unique_ptr<TListFileLoader> fLoader;
  bool fLoadMasterMode = false;
  QFrame* pLoading;
  QLabel* lblLoading;
  QProgressBar* pbLoading;
  QPushButton* bCancelLoad;
};

}  // namespace pelcrow::ui
