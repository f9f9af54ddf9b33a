// TfmMain: the application's one main window. It owns the scan engine and drives it in three
// steps: choose folders, masks and size limits; start, follow and stop the scan; look at the
// result. The scan runs on the engine's worker; the window polls its progress once a second and
// takes the result in the finish handler, which the engine calls on this thread.
#pragma once

#include <QElapsedTimer>
#include <QMainWindow>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/ScanEngine.h"
#include "localization/LanguageController.h"
#include "settings/UserState.h"
#include "ui/ExportCommands.h"
#include "ui/ProcessingCommands.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QSocketNotifier;
class QStackedWidget;
class QTabWidget;
class QTimer;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace pelcrow::platform {
class TSingleInstance;
}

namespace pelcrow::ui {

class TFolderTree;
class TPathListBox;
class TResultsPanel;
class TResultsView;

// The scan summary of the last scan, for the export (fExportInfo).
struct TExportInfo {
  TScanEngineSummaryInfo Info;
  std::vector<std::string> Dirs;
};

class TfmMain : public QMainWindow, public ITranslatable, public IProcessingHost {
  Q_OBJECT

 public:
  // instance: the single-instance guard whose queue and wake-ups this window serves (none in
  // tests that do not need it).
  explicit TfmMain(platform::TSingleInstance* instance = nullptr, QWidget* parent = nullptr);
  ~TfmMain() override;

  void Retranslate() override;

  void SetScanModeCaption();
  void CheckMode();
  void CheckShellQueue();
  void UpdateStatsInfo();
  void UpdateResultControls();

  // Folder lists.
  void AddIncludeFolder(const std::string& path);
  void AddExcludeFolder(const std::string& path);
  void AddIncludeFolders(const std::vector<std::string>& paths);
  void AddExcludeMask(const std::string& text);
  void ShowDropWarningSysApp();
  void ShowDropWarningHidden();
  void ShowDropWarningExclusion();
  void ShowDropWarningVarious();
  void LoadUserState(bool masksOnly);
  // The search criteria of the settings file (LoadUserState reads them as well).
  void LoadSearchCriteria();
  // "Search / Filter": the search dialog, then the filter when it asks for one.
  void RunSearchFilter();
  void SaveUserState();

  // Scan-mode menu: switches the comparison mode as the settings dialog's forced apply does.
  void ChooseScanMode(std::uint8_t mode);

  TScanEngine& ScanEngine() { return *fScanEngine; }
  // 0 idle, 1 scanning, 2 stopping.
  int StartTag() const { return fStartTag; }
  const TExportInfo& ExportInfo() const { return fExportInfo; }
  // Runs the deferred action now (tests; the timer does it after 100 ms).
  void FlushRunTimer();
  TResultsPanel* Results() const { return fResults; }
  // The "Selected:" field and the check-all box after the checks changed.
  void UpdateSelectedInfo();

  // ---- processing, export and the assistant (MainWindowProcessing.cpp)
  // "Delete this file" of the row context menu: the focused row.
  void RunDeleteFocused();
  void LaunchResolveWizard();
  void RunExport(TExportFormat format);
  TProcessingController& Processing() { return *fProcessing; }
  TExportCommand& ExportCommand() { return *fExport; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildUi();
  QWidget* BuildTop();
  QWidget* BuildUpper();
  QWidget* BuildMiddle();
  QWidget* BuildResults();
  void BuildResultsGrid();
  void BuildMenus();
  void ConnectSignals();

  void SetTabCaptions();
  bool IsFileMode() const;
  bool IsMasterMode() const;
  TPathListBox* ActiveList() const;
  TPathListBox* FirstList() const;
  TPathListBox* SecondList() const;
  bool ListContains(TPathListBox* list, const std::string& entry) const;
  void AppendEntry(TPathListBox* list, const std::string& entry);
  void AddToActiveList(const std::string& path);
  void AddToList(TPathListBox* list, const std::string& path);
  void UpdateStartButton();
  void RunDeferred(std::function<void()> action);
  void BringToFront();

  void FillFolderTree();
  void RefreshTree();
  void OnTreeClicked();
  void OnTreeDoubleClicked(QTreeWidgetItem* item);
  void AddClick();
  void RemoveClick();
  void ClearListClick();
  void SelectFoldersClick();
  void TypedPathEntered();
  void DropOnList(TPathListBox* target, const QStringList& paths, bool fromTree);
  void MaskEdited(QLineEdit* edit);
  void IncFileTypesClick();
  void ExcFileTypesClick();

  void StartClick();
  void StartScan();
  void StopScan();
  void ScanTimerTick();
  void ScanFinished(const TScanEngineSummaryInfo& info);
  void ClearResults(bool fromButton);
  void DisableUI();
  void EnableUI();
  void SetStartButtonState(int tag);
  void ShowProgressText(const QString& text);
  void UpdateSizeControls();
  // Stops a running scan and waits for its worker, without its results.
  void EndScanNow();

  void CheckTimerTick();
  void HandleUrlFile();
  void ApplySettingsChange(const TPcwSettings& old);
  bool GetOutlookFolders();
  void ChooseLanguage(const std::string& code);
  void FillLanguageMenu();
  void ShowAbout();
  std::string SettingsFile();

  // ---- processing, export and the assistant (MainWindowProcessing.cpp)
  void ConnectProcessing();
  void UpdateProcessingControls(bool rows);
  int FocusedRow() const;
  std::vector<int> ExportColumns() const;
  TScanEngine& ProcessingEngine() override { return *fScanEngine; }
  IScanView* ProcessingGrid() override;
  QWidget* ProcessingParent() override { return this; }
  void BeginProcessing() override;
  void EndProcessing() override;
  void ShowProcessingProgress(int Percent, const QString& Text) override;
  void ProcessingRowChanged(int Row) override;
  void ProcessingRefreshGrid() override;
  void ProcessingSelectionChanged() override;
  void SetUndoButtonEnabled(bool Enabled) override;
  std::string& ProcessingPathToMove() override { return fPathToMove; }
  void DeferProcessing(std::function<void()> Action) override { RunDeferred(std::move(Action)); }
  std::unique_ptr<TProcessingController> fProcessing;
  std::unique_ptr<TExportCommand> fExport;

  platform::TSingleInstance* fInstance;
  QSocketNotifier* fWakeNotifier = nullptr;
  std::unique_ptr<TScanEngine> fScanEngine;
  QElapsedTimer fScanStarted;
  QElapsedTimer fLastStartClick;
  int fStartTag = 0;
  bool fWizardMode = false;
  bool fDisabledUI = false;
  bool fUserConfirm = false;
  bool fExiting = false;
  std::uint8_t fSettingsForceMode = 255;
  Qt::WindowStates fLastState;
  TExportInfo fExportInfo;
  std::string fPathToMove;
  std::function<void()> fRunAction;
  int fSpinnerPhase = 0;
  std::map<QObject*, const char*> fHints;  // untranslated

  QTimer* CheckTimer;
  QTimer* RunTimer;
  QTimer* ScanTimer;
  QTimer* DblclkTimer;
  QTimer* SpinnerTimer;

  // pTop
  QLabel* lStep1;
  QPushButton* lSelectFoldersL;
  QLineEdit* cleDirectory;
  QToolButton* btnScanMode;
  QLabel* lcScanModeCaption;
  QMenu* pmScanMode;
  QToolButton* btnSettings;
  QMenu* pmSettings;
  QMenu* pmLanguage;
  QToolButton* btnHelp;
  QMenu* pmHelp;
  // pUpper
  TFolderTree* tvFolderList;
  QToolButton* ImageRefresh;
  QPushButton* bAdd;
  QPushButton* bRemove;
  QPushButton* bClear;
  QPushButton* bWizard;
  QTabWidget* tcPathList;
  TPathListBox* lbInclude;
  TPathListBox* lbExclude;
  QLabel* lIncFileTypes;
  QLabel* lExcFileTypes;
  QLineEdit* edIncFileTypes;
  QLineEdit* edExcFileTypes;
  QPushButton* bIncFileTypes;
  QPushButton* bExcFileTypes;
  QCheckBox* chkMinSize;
  QDoubleSpinBox* nbMinSize;
  QComboBox* cbMinSize;
  QCheckBox* chkMaxSize;
  QDoubleSpinBox* nbMaxSize;
  QComboBox* cbMaxSize;
  // pMiddle
  QLabel* lStep2;
  QLabel* lBeginScan;
  QProgressBar* pbProgress;
  QLabel* aiProgress;
  QPushButton* crbStart;
  QPushButton* crbClearResults;
  QToolButton* btnPreview;
  QToolButton* btnUndo;
  // results
  QLabel* lStep3;
  QLabel* lResolve;
  QPushButton* bDuplicates;
  QPushButton* bProcessSelection;
  QPushButton* bResolveWizard;
  QCheckBox* cbCheckAll;
  TResultsPanel* fResults = nullptr;
  QWidget* pResultsHost;
  TResultsView* sgFileList;
  QStackedWidget* pResultsStack;
  QLabel* lblScanning;
  QLabel* lblSummary;
  QFrame* StatsPanel;
  QLabel* lFilesScanned;
  QLabel* lOriginalFiles;
  QLabel* lDuplicates;
  QLabel* lSizeStats;
  QLabel* lSelected;
  QLineEdit* edFilesScanned;
  QLineEdit* edOriginalFiles;
  QLineEdit* edDuplicates;
  QLineEdit* edSizeStats;
  QLineEdit* edSelected;
  QPushButton* bExport;
  // status bar
  QLabel* txtVersion;
  QLabel* txtTimer;
  QLabel* StatusText;
  QString fStatusKey;  // untranslated activity text, so a language switch can redo it
  QString fWaitKey;
};

}  // namespace pelcrow::ui
