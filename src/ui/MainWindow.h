// TfmMain: the application's one main window, in three steps: choose folders, masks and size
// limits (TFolderListPanel); start, follow and stop the scan (TScanController); look at the
// result (TResultsPanel and the statistics beside it). The window owns the scan engine, builds
// the top bar, the step-2 bar and the status bar, and ties the parts together; what the user set
// up is kept between runs by TUserStateBinder.
#pragma once

#include <QMainWindow>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/ScanEngine.h"
#include "platform/FolderMonitor.h"
#include "localization/LanguageController.h"
#include "ui/ExportCommands.h"
#include "ui/ProcessingCommands.h"
#include "ui/ScanController.h"

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QSplitter;
class QStackedWidget;
class QTimer;
class QToolButton;

namespace pelcrow::platform {
class TSingleInstance;
}

namespace pelcrow::ui {

class TFolderListPanel;
class TPreviewPanel;
class TResultsPanel;
class TResultsView;
class TUserStateBinder;
enum class TDropWarning : std::uint8_t;

class TfmMain : public QMainWindow, public ITranslatable, public IProcessingHost {
  Q_OBJECT

 public:
  // instance: the single-instance guard whose queue and wake-ups this window serves (none in
  // tests that do not need it).
  explicit TfmMain(platform::TSingleInstance* instance = nullptr, QWidget* parent = nullptr);
  ~TfmMain() override;

  void Retranslate() override;

  // Folder lists.
  void AddIncludeFolder(const std::string& path);
  void AddIncludeFolders(const std::vector<std::string>& paths);

  // Scan-mode menu: switches the comparison mode as the settings dialog's forced apply does.
  void ChooseScanMode(std::uint8_t mode);

  TScanEngine& ScanEngine() { return *fScanEngine; }
  TScanState ScanState() const { return fScan->State(); }
  // The start button's tag: 0 idle or finished, 1 scanning, 2 stopping.
  int StartTag() const;
  const TExportInfo& ExportInfo() const { return fScan->LastScan(); }
  // Runs the deferred action now (tests; the timer does it after 100 ms).
  void FlushRunTimer();
  TResultsPanel* Results() const { return fResults; }
  TPreviewPanel* Preview() const { return PreviewPanel; }

  // ---- processing, export and the assistant (MainWindowProcessing.cpp)
  // "Delete this file" of the row context menu: the focused row.
  void RunDeleteFocused();
  void LaunchResolveWizard();
  void RunExport(TExportFormat format);
  TProcessingController& Processing() { return *fProcessing; }
  TExportCommand& ExportCommand() { return *fExport; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // ---- construction
  void BuildUi();
  void BuildStatusBar();
  QWidget* BuildTop();
  QWidget* BuildMiddle();
  QWidget* BuildResults();
  QWidget* BuildResultsFrame(QWidget* parent);
  QWidget* BuildStatsPanel(QWidget* parent);
  void BuildResultsGrid();
  void BuildMenus();
  void BuildScanModeMenu();
  void ConnectSignals();
  void InstallStatusHints();
  void StartLoggingSession();
  void CreateScanParts();
  void LoadFolderSource();
  void RestoreUserState();
  void ListenForWakeUps();
  void ShowInitialState();

  void SetScanModeCaption();
  void UpdateMinimumSize();
  void CheckMode();
  void CheckShellQueue();
  void UpdateStartButton();
  void RunDeferred(std::function<void()> action);
  void BringToFront();
  void ShowDropWarning(TDropWarning warning);
  void TypedPathEntered();

  // ---- scan
  bool IsScanRunning() const { return fScan && fScan->IsRunning(); }
  bool IsLoadingList() const;
  void StartClick();
  void StartScan();
  TScanRequest ScanRequest() const;
  void ShowScanningNotice(bool scanning);
  void ShowScanResults(bool stopped);
  void ShowSummaryWindow();
  void DisableUI();
  void EnableUI();

  // ---- results
  void ClearResults(bool fromButton);
  // The preview button: the panel and its splitter shown or hidden, the choice kept.
  void SetPreviewShown(bool shown, bool save);
  // The panel's width: what the grid's columns leave, at most a third of the room (the rest
  // but 80 pixels once the user has dragged the splitter).
  void FitPreviewWidth();
  void UpdateStatsInfo();
  // The "Selected:" field and the check-all box after the checks changed.
  void UpdateSelectedInfo();
  void UpdateResultControls();
  // "Search / Filter": the search dialog, then the filter when it asks for one.
  void RunSearchFilter();

  // ---- settings changes
  void ApplySettingsChange(const TPcwSettings& old);
  void ApplyShellContextMenu();
  void ReloadForModeFamily(std::uint8_t oldMode, std::uint8_t newMode);
  void ReloadForFileOptions(const TPcwSettings& old);
  bool GetOutlookFolders();
  static bool ModeSwitchClearsResults(std::uint8_t oldMode, std::uint8_t newMode);
  // The question before a mode switch that would throw the results away.
  static bool ConfirmModeSwitch();
  static bool SameModeLists(std::uint8_t oldMode, std::uint8_t newMode);
  // Mail modes: the plug-in scans exactly the folders of the two lists.
  void GiveListsToPlugin();
  bool GetPhotoFolders();
  void CheckAllAddressBoxes();
  void ChooseLanguage(const std::string& code);
  void FillLanguageMenu();
  void ShowAbout();
  void RunSettings();
  void RunScanWizard();
  void CheckTimerTick();
  void HandleUrlFile();
  void WatchForRenames();

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
  std::string& ProcessingPathToMove() override;
  void DeferProcessing(std::function<void()> Action) override { RunDeferred(std::move(Action)); }
  std::unique_ptr<TProcessingController> fProcessing;
  std::unique_ptr<TExportCommand> fExport;

  platform::TSingleInstance* fInstance;
  std::unique_ptr<TScanEngine> fScanEngine;
  // The mail store's folders as the tree shows them.
  std::vector<TOlFolder> fOlFolders;
  // Made at the first "File Properties": renames done there reach the result rows.
  std::unique_ptr<platform::TFolderMonitor> fFolderMonitor;
  TScanController* fScan = nullptr;
  std::unique_ptr<TUserStateBinder> fUserState;
  bool fDisabledUI = false;
  bool fUserConfirm = false;
  // The scan was started by the scan wizard: the assistant follows it.
  bool fWizardMode = false;
  // The window's state when the scan started, given back at its end.
  Qt::WindowStates fLastState;
  std::function<void()> fRunAction;

  QTimer* CheckTimer;
  QTimer* RunTimer;

  // pTop
  QLabel* lStep1;
  QPushButton* lSelectFoldersL;
  QLineEdit* cleDirectory;
  QToolButton* btnScanMode;
  QLabel* lcScanModeCaption = nullptr;
  QMenu* pmScanMode;
  QToolButton* btnSettings;
  QMenu* pmSettings;
  QMenu* pmLanguage;
  QToolButton* btnHelp;
  QMenu* pmHelp;
  // pUpper
  TFolderListPanel* fFolders;
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
  QSplitter* PreviewSplitter = nullptr;
  TPreviewPanel* PreviewPanel = nullptr;
  bool fPreviewUserSize = false;
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
};

}  // namespace pelcrow::ui
