#include "ui/MainWindow.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSocketNotifier>
#include <QSplitter>
#include <QHeaderView>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>
#include <stdexcept>

#include "base/FormatSettings.h"
#include "base/UserPrompt.h"
#include "engine/SearchFilterSettings.h"
#include "logging/Logger.h"
#include "platform/FileSystem.h"
#include "localization/Formatting.h"
#include "platform/ProcessInfo.h"
#include "platform/ProcessLauncher.h"
#include "platform/Shell.h"
#include "platform/SingleInstance.h"
#include "plugins/ContactsScanner.h"
#include "plugins/MaildirScanner.h"
#include "plugins/ScannerBase.h"
#include "pictures/QtPictureDecoder.h"
#include "settings/FileMasks.h"
#include "ui/AboutDialog.h"
#include "ui/AppStyle.h"
#include "ui/DialogHelpers.h"
#include "ui/FolderListPanel.h"
#include "ui/FolderWidgets.h"
#include "ui/PreviewPanel.h"
#include "ui/QuickTips.h"
#include "ui/ResultsPanel.h"
#include "ui/ScanFilterBox.h"
#include "ui/ScanModes.h"
#include "ui/ScanResultsDialog.h"
#include "ui/SearchFilterDialog.h"
#include "ui/SettingsDialog.h"
#include "ui/UiText.h"
#include "ui/UpdateDialog.h"
#include "ui/UserStateBinder.h"
#include "ui/WizardDialog.h"

namespace pelcrow::ui {
namespace {

QString Number(long long n) { return QString::fromStdString(FormatThousands(n)); }

void Message(TMessageKind kind, const char* text) { GetUserPrompt().ShowMessage(kind, TranslateText(text)); }

const char* const kModeItems[] = {"File Search", "Music Scan", "Email Mode", "Contacts Scan", "Photo Library Scan",
                                  "iTunes Scan", "Similar Pictures"};
std::uint8_t ModeOfItem(int index) {
  switch (index) {
    case 1: return cmMusicTags;
    case 2: return cmEmails;
    case 3: return cmContacts;
    case 4: return cmPhotoLibrary;
    case 6: return cmSimilarPictures;
    default: return cmCRC32;
  }
}
int ItemOfMode(std::uint8_t mode) {
  switch (mode) {
    case cmMusicTags: return 1;
    case cmEmails: return 2;
    case cmContacts: return 3;
    case cmPhotoLibrary: return 4;
    case cmSimilarPictures: return 6;
    default: return 0;
  }
}

// The music and similar-pictures modes have columns of their own.
int ColumnSetOf(std::uint8_t mode) { return mode == cmMusicTags ? 1 : mode == cmSimilarPictures ? 2 : 0; }

QLabel* StepLabel(QWidget* parent, const char* name, bool title) {
  auto* l = new QLabel(parent);
  l->setObjectName(QString::fromLatin1(name));
  l->setProperty(title ? "stepTitle" : "step", true);
  return l;
}

void SaveSettingsOrLog() {
  try {
    Settings.SaveSettings();
  } catch (const std::exception& e) {
    WriteLog(e.what(), lsvError);
  }
}

}  // namespace

// ================================================================================ creation

TfmMain::TfmMain(platform::TSingleInstance* instance, QWidget* parent) : QMainWindow(parent), fInstance(instance) {
  setObjectName(QStringLiteral("fmMain"));
  Settings.OnChangeComparisonMode = [this](std::uint8_t) { SetScanModeCaption(); };
  BuildUi();
  StartLoggingSession();
  GetLanguageController().AddToTranslateList(this);
  fFolders->Filters()->SetIncludeMasks(std::string(kDefaultIncludeMaskField));
  fFolders->ShowFirstTab();
  CreateScanParts();
  LoadFolderSource();
  // Symbolic links need no privilege here, so the processing menu keeps its link actions.
  RestoreUserState();
  CheckShellQueue();
  UpdateMinimumSize();
  ListenForWakeUps();
  ShowInitialState();
}

TfmMain::~TfmMain() {
  Settings.OnChangeComparisonMode = nullptr;
  if (fScan) fScan->EndNow();
  WriteLog(TranslateText("Closing Application"));
}

void TfmMain::StartLoggingSession() {
  StartLogging(LogOptionsOf(Settings), TPcwLogEvents{leInfo});
  WriteLog(TranslateText("Starting Application"));
}

// The engine, and what needs it: the results grid, the processing commands, the scan.
void TfmMain::CreateScanParts() {
  fScanEngine = std::make_unique<TScanEngine>(Settings.ComparisonMode(), Settings.CompareOptions);
  fScanEngine->SetPictureDecoder(QtPictureDecoder());
  BuildResultsGrid();
  ConnectProcessing();
  fScan = new TScanController(*fScanEngine, {crbStart, pbProgress, aiProgress, txtTimer, StatusText, edFilesScanned},
                              this);
  fScan->OnEnded = [this](bool stopped) { ShowScanResults(stopped); };
}

// The mail modes list the mail program's folders, the others the file system.
void TfmMain::LoadFolderSource() {
  if (IsMailMode()) {
    if (!GetOutlookFolders()) fUserState->Load(false);
  } else if (Settings.ComparisonMode() == cmPhotoLibrary) {
    GetPhotoFolders();
  } else {
    fFolders->FillFolderTree();
  }
}

// The search criteria are read in any case; "Keep User Settings" is about the folder lists, the
// masks, the size limits and the window's place.
void TfmMain::RestoreUserState() {
  if (Settings.KeepUserSettings) {
    fUserState->Load(false);
  } else {
    fUserState->LoadSearchCriteria();
  }
}

// A second start of the program hands its folders over and wakes this window.
void TfmMain::ListenForWakeUps() {
  if (!fInstance || fInstance->ServerHandle() < 0) return;
  auto* notifier = new QSocketNotifier(fInstance->ServerHandle(), QSocketNotifier::Read, this);
  connect(notifier, &QSocketNotifier::activated, this, [this] {
    if (!fInstance->AcceptWakeUps()) return;
    // Wayland gives the focus only to a window that presents the launcher's token.
    if (!fInstance->ActivationToken().empty()) {
      qputenv("XDG_ACTIVATION_TOKEN", QByteArray::fromStdString(fInstance->ActivationToken()));
    }
    BringToFront();
    CheckShellQueue();
  });
}

void TfmMain::ShowInitialState() {
  UpdateResultControls();
  CheckMode();
  cleDirectory->setVisible(IsFileMode());
  CheckTimer->start();
  UpdateStartButton();
  ClearResults(false);
  SetScanModeCaption();
}

void TfmMain::BuildUi() {
  setWindowTitle(QString::fromStdString(std::string(kAppName)));
  setWindowIcon(AppIcon());
  CheckTimer = new QTimer(this);
  CheckTimer->setInterval(300);
  CheckTimer->setSingleShot(true);
  RunTimer = new QTimer(this);
  RunTimer->setInterval(100);
  RunTimer->setSingleShot(true);

  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(10, 8, 10, 4);
  layout->setSpacing(6);
  layout->addWidget(BuildTop());
  auto* split = new QSplitter(Qt::Vertical, central);
  split->setChildrenCollapsible(false);
  fFolders = new TFolderListPanel(this);
  split->addWidget(fFolders);
  auto* lower = new QWidget(split);
  auto* lowerLayout = new QVBoxLayout(lower);
  lowerLayout->setContentsMargins(0, 0, 0, 0);
  lowerLayout->setSpacing(6);
  lowerLayout->addWidget(BuildMiddle());
  lowerLayout->addWidget(BuildResults(), 1);
  split->addWidget(lower);
  // Extra height goes to the results; the folder step keeps what it needs (the splitter can
  // still give it more).
  split->setStretchFactor(0, 0);
  split->setStretchFactor(1, 1);
  split->setSizes({fFolders->minimumSizeHint().height(), 100000});
  layout->addWidget(split, 1);
  setCentralWidget(central);
  fUserState = std::make_unique<TUserStateBinder>(*this, *fFolders);

  BuildStatusBar();
  BuildMenus();
  ConnectSignals();
  InstallStatusHints();
}

void TfmMain::BuildStatusBar() {
  txtVersion = new QLabel(TfmAbout::VersionText(), this);
  txtVersion->setObjectName(QStringLiteral("txtVersion"));
  txtTimer = new QLabel(QStringLiteral("00:00:00"), this);
  txtTimer->setObjectName(QStringLiteral("txtTimer"));
  StatusText = new QLabel(this);
  StatusText->setObjectName(QStringLiteral("StatusText"));
  StatusText->setMinimumWidth(100);
  StatusText->setTextInteractionFlags(Qt::NoTextInteraction);
  statusBar()->addWidget(txtVersion);
  statusBar()->addWidget(txtTimer);
  statusBar()->addWidget(StatusText, 1);
  statusBar()->setSizeGripEnabled(true);
}

// The status bar shows a control's hint while the mouse is over it.
void TfmMain::InstallStatusHints() {
  for (QWidget* w : findChildren<QWidget*>()) {
    if (w->property(kStatusHintProperty).isValid()) w->installEventFilter(this);
  }
}

bool TfmMain::eventFilter(QObject* watched, QEvent* event) {
  if ((event->type() == QEvent::Enter || event->type() == QEvent::Leave) && !IsScanRunning()) {
    const QVariant hint = watched->property(kStatusHintProperty);
    if (hint.isValid()) {
      const QByteArray text = hint.toByteArray();
      StatusText->setText(event->type() == QEvent::Enter ? Tr(std::string_view(text.constData(), text.size()))
                                                         : QString());
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

QWidget* TfmMain::BuildTop() {
  auto* pTop = new QFrame(this);
  pTop->setObjectName(QStringLiteral("pTop"));
  auto* h = new QHBoxLayout(pTop);
  h->setContentsMargins(12, 4, 12, 4);
  lStep1 = StepLabel(pTop, "lStep1", false);
  lSelectFoldersL = new QPushButton(pTop);
  lSelectFoldersL->setObjectName(QStringLiteral("lSelectFoldersL"));
  lSelectFoldersL->setCursor(Qt::PointingHandCursor);
  lSelectFoldersL->setFlat(true);
  cleDirectory = new QLineEdit(pTop);
  cleDirectory->setObjectName(QStringLiteral("cleDirectory"));
  cleDirectory->setClearButtonEnabled(true);
  cleDirectory->setMinimumWidth(140);
  cleDirectory->setProperty(kStatusHintProperty,
                            QByteArray("You can type full path in input area and press Enter to add it to the list"));
  btnScanMode = new QToolButton(pTop);
  btnScanMode->setObjectName(QStringLiteral("btnScanMode"));
  btnScanMode->setPopupMode(QToolButton::InstantPopup);
  btnScanMode->setToolButtonStyle(Qt::ToolButtonTextOnly);
  lcScanModeCaption = new QLabel(pTop);  // the mode's name, shown on the button
  lcScanModeCaption->setObjectName(QStringLiteral("lcScanModeCaption"));
  lcScanModeCaption->hide();
  btnSettings = new QToolButton(pTop);
  btnSettings->setObjectName(QStringLiteral("btnSettings"));
  btnSettings->setPopupMode(QToolButton::InstantPopup);
  btnHelp = new QToolButton(pTop);
  btnHelp->setObjectName(QStringLiteral("btnHelp"));
  btnHelp->setPopupMode(QToolButton::InstantPopup);
  h->addWidget(lStep1);
  h->addWidget(lSelectFoldersL);
  h->addWidget(cleDirectory, 1);
  h->addSpacing(12);
  h->addWidget(btnScanMode);
  h->addWidget(btnSettings);
  h->addWidget(btnHelp);
  return pTop;
}

QWidget* TfmMain::BuildMiddle() {
  auto* pMiddle = new QFrame(this);
  pMiddle->setObjectName(QStringLiteral("pMiddle"));
  auto* h = new QHBoxLayout(pMiddle);
  h->setContentsMargins(12, 4, 12, 4);
  lStep2 = StepLabel(pMiddle, "lStep2", false);
  lBeginScan = StepLabel(pMiddle, "lBeginScan", true);
  pbProgress = new QProgressBar(pMiddle);
  pbProgress->setObjectName(QStringLiteral("pbProgress"));
  pbProgress->setRange(0, 100);
  pbProgress->setValue(0);
  pbProgress->setTextVisible(true);
  pbProgress->setFormat(QString());
  aiProgress = new QLabel(pMiddle);
  aiProgress->setObjectName(QStringLiteral("aiProgress"));
  aiProgress->setMinimumWidth(120);
  aiProgress->hide();
  crbStart = new QPushButton(pMiddle);
  crbStart->setObjectName(QStringLiteral("crbStart"));
  crbClearResults = new QPushButton(pMiddle);
  crbClearResults->setObjectName(QStringLiteral("crbClearResults"));
  btnPreview = new QToolButton(pMiddle);
  btnPreview->setObjectName(QStringLiteral("btnPreview"));
  btnPreview->setCheckable(true);
  btnPreview->setProperty(kStatusHintProperty, QByteArray("Turn preview ON/OFF"));
  btnUndo = new QToolButton(pMiddle);
  btnUndo->setObjectName(QStringLiteral("btnUndo"));
  btnUndo->setIcon(style()->standardIcon(QStyle::SP_ArrowBack));
  btnUndo->setEnabled(false);  // nothing to undo until processing exists
  btnUndo->setProperty(kStatusHintProperty, QByteArray("Undo the last duplicate processing action"));
  for (QWidget* w : std::initializer_list<QWidget*>{lStep2, lBeginScan}) h->addWidget(w);
  h->addSpacing(8);
  h->addWidget(pbProgress, 1);
  for (QWidget* w : std::initializer_list<QWidget*>{aiProgress, crbStart, crbClearResults, btnPreview, btnUndo}) {
    h->addWidget(w);
  }
  return pMiddle;
}

// The results frame, with the statistics beside it.
QWidget* TfmMain::BuildResults() {
  auto* box = new QWidget(this);
  auto* h = new QHBoxLayout(box);
  h->setContentsMargins(0, 0, 0, 0);
  h->setSpacing(8);
  PreviewSplitter = new QSplitter(Qt::Horizontal, box);
  PreviewSplitter->setObjectName(QStringLiteral("PreviewSplitter"));
  PreviewSplitter->setChildrenCollapsible(false);
  PreviewSplitter->addWidget(BuildResultsFrame(PreviewSplitter));
  PreviewPanel = new TPreviewPanel(PreviewSplitter);
  PreviewSplitter->addWidget(PreviewPanel);
  PreviewSplitter->setStretchFactor(0, 1);
  PreviewSplitter->setStretchFactor(1, 0);
  connect(PreviewSplitter, &QSplitter::splitterMoved, this, [this] { fPreviewUserSize = true; });
  h->addWidget(PreviewSplitter, 1);
  h->addWidget(BuildStatsPanel(box));
  return box;
}

QWidget* TfmMain::BuildResultsFrame(QWidget* parent) {
  auto* pResults = new QFrame(parent);
  pResults->setObjectName(QStringLiteral("pResults"));
  auto* v = new QVBoxLayout(pResults);
  v->setContentsMargins(8, 6, 8, 6);
  v->setSpacing(4);
  auto* head = new QHBoxLayout;
  lStep3 = StepLabel(pResults, "lStep3", false);
  lResolve = StepLabel(pResults, "lResolve", true);
  bDuplicates = new QPushButton(pResults);
  bDuplicates->setObjectName(QStringLiteral("bDuplicates"));
  bProcessSelection = new QPushButton(pResults);
  bProcessSelection->setObjectName(QStringLiteral("bProcessSelection"));
  bResolveWizard = new QPushButton(pResults);
  bResolveWizard->setObjectName(QStringLiteral("bResolveWizard"));
  head->addWidget(lStep3);
  head->addWidget(lResolve);
  head->addStretch();
  v->addLayout(head);
  cbCheckAll = new QCheckBox(pResults);
  cbCheckAll->setObjectName(QStringLiteral("cbCheckAll"));
  // Beside the step's title: the row of buttons under it has no room to spare in a narrow window.
  head->addWidget(cbCheckAll);
  auto* actions = new QHBoxLayout;
  actions->addWidget(bDuplicates);
  actions->addWidget(bProcessSelection);
  actions->addWidget(bResolveWizard);
  actions->addStretch();
  v->addLayout(actions);
  lblSummary = new QLabel(pResults);
  lblSummary->setObjectName(QStringLiteral("lblSummary"));
  lblSummary->setWordWrap(true);
  lblSummary->hide();
  v->addWidget(lblSummary);
  // While a scan runs the list makes way for a quiet notice, keeping the frame's layout.
  pResultsStack = new QStackedWidget(pResults);
  pResultsHost = new QWidget(pResultsStack);
  pResultsStack->addWidget(pResultsHost);
  lblScanning = new QLabel(pResultsStack);
  lblScanning->setObjectName(QStringLiteral("lblScanning"));
  lblScanning->setAlignment(Qt::AlignCenter);
  pResultsStack->addWidget(lblScanning);
  v->addWidget(pResultsStack, 1);
  return pResults;
}

QWidget* TfmMain::BuildStatsPanel(QWidget* parent) {
  StatsPanel = new QFrame(parent);
  StatsPanel->setObjectName(QStringLiteral("StatsPanel"));
  auto* g = new QGridLayout(StatsPanel);
  g->setContentsMargins(8, 6, 8, 6);
  g->setVerticalSpacing(4);
  g->setHorizontalSpacing(4);
  auto field = [this, g](QLabel*& label, QLineEdit*& edit, const char* name, int row) {
    label = new QLabel(StatsPanel);
    // Never narrower than its caption: the figures beside it give way first.
    label->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Preferred);
    edit = new QLineEdit(StatsPanel);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setReadOnly(true);
    edit->setFocusPolicy(Qt::NoFocus);
    edit->setAlignment(Qt::AlignRight);
    // A figure is read whole, and the grid keeps the rest: the field is as wide as its text
    // ("1 / 26 B", not "26 B").
    connect(edit, &QLineEdit::textChanged, edit, [edit](const QString& text) {
      edit->setFixedWidth(std::max(40, edit->fontMetrics().horizontalAdvance(text) + 18));
    });
    g->addWidget(label, row, 0);
    g->addWidget(edit, row, 1);
  };
  field(lFilesScanned, edFilesScanned, "edFilesScanned", 0);
  field(lOriginalFiles, edOriginalFiles, "edOriginalFiles", 1);
  field(lDuplicates, edDuplicates, "edDuplicates", 2);
  field(lSizeStats, edSizeStats, "edSizeStats", 3);
  field(lSelected, edSelected, "edSelected", 4);
  bExport = new QPushButton(StatsPanel);
  bExport->setObjectName(QStringLiteral("bExport"));
  g->addWidget(bExport, 5, 0, 1, 2);
  g->setRowStretch(6, 1);
  return StatsPanel;
}

// The grid needs the engine, which exists only after the window's controls.
void TfmMain::BuildResultsGrid() {
  auto* l = new QVBoxLayout(pResultsHost);
  l->setContentsMargins(0, 0, 0, 0);
  fResults = new TResultsPanel(fScanEngine.get(), pResultsHost);
  l->addWidget(fResults);
  sgFileList = fResults->Grid();
  PreviewPanel->Attach(fResults, fScanEngine.get());
  // The view toggles sit under the statistics: beside the category buttons they made the window
  // wider than its 800-pixel minimum.
  if (auto* stats = qobject_cast<QGridLayout*>(StatsPanel->layout())) {
    stats->addWidget(fResults->DuplicatesOnlyButton(), 6, 0, 1, 2);
    stats->addWidget(fResults->DetailsButton(), 7, 0, 1, 2);
    stats->setRowStretch(6, 0);
    stats->setRowStretch(8, 1);
  }
  fUserState->SetResults(fResults);
  fResults->Defer = [this](std::function<void()> action) { RunDeferred(std::move(action)); };
  connect(fResults, &TResultsPanel::SelectionChanged, this, &TfmMain::UpdateSelectedInfo);
  connect(fResults, &TResultsPanel::ResultsChanged, this, [this] {
    UpdateStatsInfo();
    UpdateResultControls();
    PreviewPanel->ShowStatsChart(true);
    PreviewPanel->UpdatePreview();
  });
  connect(fResults, &TResultsPanel::PropertiesShown, this, &TfmMain::WatchForRenames);
  // A list loads on a worker: the window stays usable, but nothing may start a scan, process or
  // clear the results meanwhile.
  connect(fResults, &TResultsPanel::ListLoadStarted, this, [this](const QString& file) {
    DisableUI();
    UpdateResultControls();
    crbStart->setEnabled(false);
    StatusText->setText(Tr("Loading duplicate list ...") + QLatin1Char(' ') + file);
  });
  connect(fResults, &TResultsPanel::ListLoadProgress, this, [this](int percent) {
    fScan->ShowProgress(percent, Tr("Loading duplicate list ...") + QStringLiteral(" (%1%)").arg(percent));
  });
  connect(fResults, &TResultsPanel::ListLoadEnded, this, [this] {
    fScan->ShowProgress(0, QString());
    StatusText->clear();
    EnableUI();
    UpdateStartButton();
    UpdateResultControls();
  });
  connect(fResults, &TResultsPanel::DeleteFocusedRequested, this, &TfmMain::RunDeleteFocused);
  connect(fResults, &TResultsPanel::HistoryInvalidated, this, [this] { fProcessing->ClearHistory(); });
  connect(fResults, &TResultsPanel::EditFilterRequested, this, [this] { RunDeferred([this] { RunSearchFilter(); }); });
  connect(cbCheckAll, &QCheckBox::clicked, this, [this](bool on) { fResults->CheckAll(on, IsMasterMode()); });
  connect(bDuplicates, &QPushButton::clicked, this, [this] {
    QMenu* menu = fResults->DuplicatesMenu(IsMasterMode());
    const QSize hint = menu->sizeHint();
    menu->popup(bDuplicates->mapToGlobal(QPoint(0, -hint.height())));
  });
}

void TfmMain::BuildScanModeMenu() {
  pmScanMode = new QMenu(this);
  pmScanMode->setObjectName(QStringLiteral("pmScanMode"));
  auto* group = new QActionGroup(pmScanMode);
  for (int i = 0; i < static_cast<int>(std::size(kModeItems)); ++i) {
    QAction* a = pmScanMode->addAction(QString());
    a->setCheckable(true);
    a->setData(i);
    group->addAction(a);
    // The media-library scan does not exist on this platform.
    if (i == 5) a->setProperty("neverShown", true);
    connect(a, &QAction::triggered, this, [this, i] {
      // Menu actions run after the menu has closed.
      RunDeferred([this, i] { ChooseScanMode(ModeOfItem(i)); });
    });
  }
  btnScanMode->setMenu(pmScanMode);
  connect(pmScanMode, &QMenu::aboutToShow, this, [this] {
    const int current = ItemOfMode(Settings.ComparisonMode());
    for (QAction* a : pmScanMode->actions()) a->setChecked(a->data().toInt() == current);
  });
}

void TfmMain::BuildMenus() {
  BuildScanModeMenu();
  pmSettings = new QMenu(this);
  pmSettings->setObjectName(QStringLiteral("pmSettings"));
  QAction* settings = pmSettings->addAction(QString());
  settings->setObjectName(QStringLiteral("miSettings"));
  connect(settings, &QAction::triggered, this, [this] { RunDeferred([this] { RunSettings(); }); });
  pmLanguage = pmSettings->addMenu(QString());
  pmLanguage->setObjectName(QStringLiteral("pmLanguage"));
  connect(pmLanguage, &QMenu::aboutToShow, this, &TfmMain::FillLanguageMenu);
  btnSettings->setMenu(pmSettings);

  pmHelp = new QMenu(this);
  pmHelp->setObjectName(QStringLiteral("pmHelp"));
  QAction* help = pmHelp->addAction(QString());
  help->setObjectName(QStringLiteral("miHelp"));
  connect(help, &QAction::triggered, this, [] { platform::OpenDocument(kHelpUrl); });
  QAction* update = pmHelp->addAction(QString());
  update->setObjectName(QStringLiteral("miUpdate"));
  connect(update, &QAction::triggered, this, [this] { RunDeferred([this] { ShowUpdateDialog(this, false); }); });
  QAction* about = pmHelp->addAction(QString());
  about->setObjectName(QStringLiteral("miAbout"));
  connect(about, &QAction::triggered, this, [this] { RunDeferred([this] { ShowAbout(); }); });
  btnHelp->setMenu(pmHelp);
  for (QMenu* menu : {pmScanMode, pmSettings, pmHelp}) PruneDisabledItems(menu);
}

void TfmMain::ConnectSignals() {
  connect(CheckTimer, &QTimer::timeout, this, &TfmMain::CheckTimerTick);
  connect(RunTimer, &QTimer::timeout, this, &TfmMain::FlushRunTimer);
  fFolders->Defer = [this](std::function<void()> action) { RunDeferred(std::move(action)); };
  connect(fFolders, &TFolderListPanel::firstListChanged, this, &TfmMain::UpdateStartButton);
  // The shown results follow the reference list at once: a copy in a new reference folder is
  // unchecked and can no longer be checked.
  connect(fFolders, &TFolderListPanel::referenceListChanged, this, [this] {
    if (fScanEngine->ScanThreadExecuting()) return;
    const std::vector<std::string> refs = IsMasterMode() ? std::vector<std::string>() : fFolders->ReferenceEntries();
    fScanEngine->SetReferenceFilePaths(&refs);
    fScanEngine->MarkReferenceItems();
    fResults->Model()->Refresh();
    emit fResults->SelectionChanged();
  });
  connect(fFolders, &TFolderListPanel::dropRefused, this, &TfmMain::ShowDropWarning);
  connect(fFolders, &TFolderListPanel::wizardRequested, this, [this] { RunDeferred([this] { RunScanWizard(); }); });
  connect(lSelectFoldersL, &QPushButton::clicked, fFolders, &TFolderListPanel::SelectFolders);
  connect(cleDirectory, &QLineEdit::returnPressed, this, &TfmMain::TypedPathEntered);
  connect(crbStart, &QPushButton::clicked, this, &TfmMain::StartClick);
  connect(crbClearResults, &QPushButton::clicked, this, [this] { ClearResults(true); });
  connect(btnPreview, &QToolButton::clicked, this, [this](bool on) { SetPreviewShown(on, true); });
}

// ================================================================================ texts

void TfmMain::Retranslate() {
  lStep1->setText(Tr("Step 1:"));
  lSelectFoldersL->setText(Tr("Select Folders"));
  cleDirectory->setPlaceholderText(Tr(" or enter full path here"));
  btnSettings->setText(Tr("Settings"));
  btnHelp->setText(Tr("Help"));
  pmSettings->actions().at(0)->setText(Tr("Settings") + QStringLiteral("..."));
  pmLanguage->setTitle(Tr("Language"));
  const QList<QAction*> help = pmHelp->actions();
  help.at(0)->setText(Tr("Help"));
  help.at(1)->setText(Tr("Update"));
  help.at(2)->setText(Tr("About"));
  const QList<QAction*> modes = pmScanMode->actions();
  for (int i = 0; i < modes.size(); ++i) modes.at(i)->setText(Tr(kModeItems[i]));
  SetScanModeCaption();
  fFolders->Retranslate();

  lStep2->setText(Tr("Step 2:"));
  lBeginScan->setText(Tr("Begin Scan"));
  crbStart->setText(Tr(IsScanRunning() ? "Stop" : "Start"));
  crbClearResults->setText(Tr("Clear"));
  btnPreview->setText(Tr("Preview"));
  btnPreview->setToolTip(Tr("Turn preview ON/OFF"));
  btnPreview->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  btnUndo->setText(Tr("Undo"));
  btnUndo->setToolTip(Tr("Undo the last duplicate processing action"));
  btnUndo->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  if (aiProgress->isVisible()) aiProgress->setText(Tr(" Please Wait ..."));

  lStep3->setText(Tr("Step 3:"));
  lResolve->setText(Tr("Resolve Duplicates"));
  bDuplicates->setText(Tr("Select Duplicates"));
  bProcessSelection->setText(Tr("Selection Processing"));
  bResolveWizard->setText(Tr("Assistant"));
  cbCheckAll->setText(Tr("Check all"));
  lblScanning->setText(Tr("Scanning ..."));
  if (fResults) fResults->Retranslate();
  lFilesScanned->setText(Tr("Files scanned:"));
  lOriginalFiles->setText(Tr("Original files:"));
  lDuplicates->setText(Tr("Duplicate files:"));
  lSizeStats->setText(Tr("Disk space in use:"));
  lSelected->setText(Tr("Selected:"));
  bExport->setText(Tr("Export List to File"));
  RebuildFileSizeUnits();
  if (fScan && (fScan->LastScan().Info.TotalFiles > 0 || !lblSummary->isHidden())) UpdateStatsInfo();
  UpdateMinimumSize();
  // The summary line is built from the last scan's figures, so it can follow the language too.
  if (fScan && !lblSummary->isHidden()) lblSummary->setText(fScan->SummaryText());
}

// 800 x 600, or more when the captions of the language need it: a window smaller than its layout
// would squeeze controls below their text.
void TfmMain::UpdateMinimumSize() {
  if (!layout()) return;
  // Pending layout requests first, so that the minimum is the one of the captions shown now.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
  layout()->activate();
  setMinimumSize(QSize(800, 600).expandedTo(layout()->minimumSize()));
}

void TfmMain::SetScanModeCaption() {
  if (!lcScanModeCaption) return;
  lcScanModeCaption->setText(Tr(kModeItems[ItemOfMode(Settings.ComparisonMode())]));
  btnScanMode->setText(Tr("Scan Mode:") + QStringLiteral(" ") + lcScanModeCaption->text());
}

// ================================================================================ mode

void TfmMain::CheckMode() {
  fFolders->ApplyMode();
  fUserState->Load(true);
  UpdateStartButton();
  btnPreview->setVisible(!IsMailMode());
  // The photo mode has no scanner that could preview its items.
  const bool previewable = IsFileMode() || Settings.ComparisonMode() == cmMusicTags;
  btnPreview->setEnabled(previewable);
  SetPreviewShown(previewable && Settings.ShowPreview, false);
  bResolveWizard->setVisible(IsFileMode());
}

void TfmMain::ChooseScanMode(std::uint8_t mode) {
  const std::uint8_t current = Settings.ComparisonMode();
  // "File Search" stands for the three file-search modes.
  if (mode == current || (mode == cmCRC32 && current < cmMusicTags)) return;
  const std::uint8_t newMode = mode == cmCRC32 ? Settings.LastFileSearchMode : mode;
  if (fScanEngine->ItemCount() > 0 && ModeSwitchClearsResults(current, newMode) && !ConfirmModeSwitch()) return;
  const TPcwSettings old = Settings;
  if (!IsMailModeValue(current)) fUserState->Save();
  // The settings dialog's apply step, without showing it.
  if (current < cmMusicTags) Settings.LastFileSearchMode = current;
  Settings.SetComparisonMode(newMode);
  SaveSettingsOrLog();
  ApplySettingsChange(old);
}

bool TfmMain::ConfirmModeSwitch() {
  return GetUserPrompt().Confirm(
      TranslateText("Switching the scan mode clears the current results. Do you want to proceed?"));
}

void TfmMain::ApplySettingsChange(const TPcwSettings& old) {
  const std::uint8_t oldMode = old.ComparisonMode();
  const std::uint8_t newMode = Settings.ComparisonMode();
  if (old.ShellContextMenu != Settings.ShellContextMenu) ApplyShellContextMenu();
  if (oldMode != newMode || old.CompareOptions != Settings.CompareOptions) {
    fScanEngine->SetCompareMode(newMode, Settings.CompareOptions);
  }
  ReloadForModeFamily(oldMode, newMode);
  cleDirectory->setVisible(IsFileMode());
  if (IsFileMode()) ReloadForFileOptions(old);
  fResults->CheckColumns();
  CheckMode();
  SetScanModeCaption();
  UpdateMinimumSize();
}

// The helper that registers the file manager's menu entry is this program's own command line.
void TfmMain::ApplyShellContextMenu() {
  const std::string exe = platform::ExecutablePath();
  if (exe.empty()) {
    WriteLog("cannot change the file manager's menu: this program's path is unknown", lsvError);
  } else {
    std::string ignored;
    std::vector<std::string> helper = {exe, Settings.ShellContextMenu ? "-e" : "-d"};
    if (Settings.ShellContextMenu) helper.push_back(exe);
    // Waited for: the state is read back right after.
    platform::GetProcessLauncher().Run(helper, ignored, 15000);
  }
  Settings.RetrieveShellContextMenuStatus();
}

// Music and similar-pictures results have other columns; another family of modes, or another mail or photo mode,
// has other lists and another tree.
bool TfmMain::ModeSwitchClearsResults(std::uint8_t oldMode, std::uint8_t newMode) {
  return ColumnSetOf(oldMode) != ColumnSetOf(newMode) || !SameModeLists(oldMode, newMode);
}

bool TfmMain::SameModeLists(std::uint8_t oldMode, std::uint8_t newMode) {
  return ModeFamily(oldMode) == ModeFamily(newMode) && (IsFileModeValue(oldMode) || oldMode == newMode);
}

void TfmMain::ReloadForModeFamily(std::uint8_t oldMode, std::uint8_t newMode) {
  if (ColumnSetOf(oldMode) != ColumnSetOf(newMode)) ClearResults(false);
  if (SameModeLists(oldMode, newMode)) return;
  ClearResults(false);
  fFolders->ClearLists();
  bool loaded = false;
  if (IsMailModeValue(newMode)) {
    loaded = !GetOutlookFolders();  // a failure went back to the file modes and loaded the state
  } else if (newMode == cmPhotoLibrary) {
    GetPhotoFolders();
  } else {
    fFolders->FillFolderTree();
  }
  if (!loaded) fUserState->Load(false);
}

// The master mode keeps lists of its own; the tree shows what the scan options let in.
void TfmMain::ReloadForFileOptions(const TPcwSettings& old) {
  if (old.MasterSelectMode != Settings.MasterSelectMode) {
    fFolders->ClearLists();
    fUserState->Load(false);
  }
  const auto changed = [&old](auto option) {
    return old.ScanOptions.Contains(option) != Settings.ScanOptions.Contains(option);
  };
  if (changed(soSkipSysAppFolders) || changed(soIncludeHidden)) fFolders->RefreshTree();
}

// The mail store's folders in the tree; without a store the mail modes fall back to the file modes.
bool TfmMain::GetOutlookFolders() {
  const bool contacts = Settings.ComparisonMode() == cmContacts;
  fFolders->ClearFolderTree();
  fOlFolders.clear();
  try {
    fScanEngine->SetMailStores(MailStoreRootsOf(Settings));
    fScanEngine->SetContactStores(ExpandAddressBookPaths(Settings.AddressBooks));
    IScanEnginePlugin* plugin = fScanEngine->ScannerPlugin();
    // The engine has logged why each store could not be opened.
    if (!plugin) throw std::runtime_error(TranslateText("No supported mail program found"));
    TPluginFolderTree tree;
    plugin->PopulateFolderTree(tree, fOlFolders);
    fFolders->FillMailTree(tree, fOlFolders);
    return true;
  } catch (const std::exception& e) {
    WriteLog(e.what(), lsvError);
  }
  fOlFolders.clear();
  Settings.SetComparisonMode(cmCRC32);
  SaveSettingsOrLog();
  fScanEngine->SetCompareMode(cmCRC32, Settings.CompareOptions);
  fFolders->FillFolderTree();
  fUserState->Load(false);
  Message(TMessageKind::mkInformation,
          contacts ? "No address book is found. Current scan mode is set to \"CRC32+FileSize\"."
                   : "The required Maildir or Thunderbird mail store is not found. Current scan mode is set to \"CRC32+FileSize\".");
  return false;
}

// The photo library's albums in the tree; without a library the engine has told the user and
// gone back to the file search, and so does the window.
bool TfmMain::GetPhotoFolders() {
  fFolders->ClearFolderTree();
  TPhotoLibraryLocation where;
  if (const std::vector<std::string> set = ExpandStorePaths(Settings.PhotoLibrary); !set.empty()) where.Library = set.front();
  if (const std::vector<std::string> set = ExpandStorePaths(Settings.PhotoScriptFolder); !set.empty())
    where.ScriptFolder = set.front();
  fScanEngine->SetPhotoLibrary(where);
  if (TScannerBase* scanner = fScanEngine->PhotoScanner()) {
    fFolders->FillAlbumTree(scanner->RootFolder());
    return true;
  }
  Settings.SetComparisonMode(cmCRC32);
  SaveSettingsOrLog();
  // The engine went back with default options; the user's own apply.
  fScanEngine->SetCompareMode(cmCRC32, Settings.CompareOptions);
  fFolders->FillFolderTree();
  return false;
}

void TfmMain::GiveListsToPlugin() {
  IScanEnginePlugin* plugin = fScanEngine->ScannerPlugin();
  if (!plugin) return;
  plugin->ClearScanFolders();
  plugin->ClearExcludeFolders();
  const auto folderOf = [this](const std::string& path) {
    for (const TOlFolder& f : fOlFolders)
      if (f.FolderPath == path) return f;
    return TOlFolder{"", "", path};
  };
  for (const std::string& path : fFolders->FirstEntries()) plugin->AddScanFolder(folderOf(path));
  for (const std::string& path : fFolders->SecondEntries()) plugin->AddExcludeFolder(folderOf(path));
}

// ================================================================================ folder lists

void TfmMain::AddIncludeFolder(const std::string& path) { fFolders->AddIncludeFolder(path); }
void TfmMain::AddIncludeFolders(const std::vector<std::string>& paths) { fFolders->AddIncludeFolders(paths); }

void TfmMain::TypedPathEntered() {
  if (fFolders->AddTypedPath(cleDirectory->text().toStdString())) cleDirectory->clear();
}

void TfmMain::UpdateStartButton() {
  if (!IsScanRunning()) crbStart->setEnabled(fFolders->FirstList()->count() > 0 && !IsLoadingList());
}

void TfmMain::RunDeferred(std::function<void()> action) {
  RunTimer->stop();
  fRunAction = std::move(action);
  RunTimer->start();
}

void TfmMain::FlushRunTimer() {
  RunTimer->stop();
  auto action = std::move(fRunAction);
  fRunAction = nullptr;
  if (action) action();
}

void TfmMain::BringToFront() {
  if (isMinimized()) showNormal();
  raise();
  activateWindow();
}

void TfmMain::ShowDropWarning(TDropWarning warning) {
  RunTimer->stop();
  BringToFront();
  switch (warning) {
    case TDropWarning::dwExclusion:
      Message(TMessageKind::mkError, kExclusionFolderMessage);
      break;
    case TDropWarning::dwSysApp:
      Message(TMessageKind::mkWarning,
              "Some folders cannot be accepted, because \"Skip System and Application folders\" option enabled");
      break;
    case TDropWarning::dwHidden:
      Message(TMessageKind::mkWarning,
              "Some folders cannot be accepted, because \"Include Hidden Objects\" option is not enabled");
      break;
    case TDropWarning::dwVarious:
      Message(TMessageKind::mkWarning,
              "Some folders were not been added in accordance with the current program settings");
      break;
    case TDropWarning::dwListed:
      Message(TMessageKind::mkInformation, "This folder is already in the list");
      break;
    case TDropWarning::dwInsideListed:
      Message(TMessageKind::mkWarning,
              "This folder is inside a folder already in the list, whose scan reads it anyway; it was not added, "
              "as its files would be counted twice");
      break;
    case TDropWarning::dwMerged:
      Message(TMessageKind::mkInformation,
              "Folders inside this folder were in the list; it takes their place, so that no file is counted twice");
      break;
  }
}

void TfmMain::CheckShellQueue() {
  if (!fInstance) return;
  const std::vector<std::string> folders = fInstance->DrainQueue();
  if (folders.empty()) return;
  if (IsFileMode()) {
    AddIncludeFolders(folders);
  } else {
    Message(TMessageKind::mkInformation,
            "Cannot add folders from shell when current mode is Emails or Contacts. Please choose another mode "
            "and try again.");
  }
}

// ================================================================================ scan

bool TfmMain::IsLoadingList() const { return fResults && fResults->IsLoadingList(); }

int TfmMain::StartTag() const {
  switch (fScan->State()) {
    case TScanState::ssScanning: return 1;
    case TScanState::ssStopping: return 2;
    default: return 0;
  }
}

void TfmMain::DisableUI() {
  fDisabledUI = true;
  fFolders->SetBusy(true);
  for (QWidget* w : std::initializer_list<QWidget*>{lSelectFoldersL, cleDirectory, btnScanMode, btnSettings,
                                                    bDuplicates, bProcessSelection, bResolveWizard, bExport,
                                                    cbCheckAll}) {
    w->setEnabled(false);
  }
}

void TfmMain::EnableUI() {
  fDisabledUI = false;
  fFolders->SetBusy(false);
  for (QWidget* w : std::initializer_list<QWidget*>{lSelectFoldersL, cleDirectory, btnScanMode, btnSettings}) {
    w->setEnabled(true);
  }
  CheckMode();
}

void TfmMain::StartClick() {
  if (!fScan->AcceptStartClick()) return;
  if (fScan->IsRunning()) {
    fScan->Stop();
  } else {
    StartScan();
  }
}

void TfmMain::StartScan() {
  if (fFolders->FirstList()->count() == 0 || IsLoadingList()) return;
  fLastState = windowState();
  DisableUI();
  fFolders->Filters()->FillEmptyIncludeMask();
  fScan->Begin();
  PreviewPanel->SetPreviewDisabled(true);
  ClearResults(false);
  fResults->ResetState();
  crbClearResults->setEnabled(false);
  lblSummary->hide();
  if (IsMailMode()) GiveListsToPlugin();
  if (!fScan->Prepare(ScanRequest())) {
    EnableUI();
    crbClearResults->setEnabled(true);
    return;
  }
  ShowScanningNotice(true);
  fScan->Launch(fResults->Model());
}

TScanRequest TfmMain::ScanRequest() const {
  const TScanFilterBox* filters = fFolders->Filters();
  TScanRequest r;
  r.IncludeMasks = filters->IncludeMasks();
  r.ExcludeMasks = filters->ExcludeMasks();
  r.First = fFolders->FirstEntries();
  r.Second = fFolders->SecondEntries();
  r.Master = IsMasterMode();
  if (!r.Master) r.References = fFolders->ReferenceEntries();
  r.SizeMin = filters->MinBytes();
  r.SizeMax = filters->MaxBytes();
  return r;
}

void TfmMain::ShowScanningNotice(bool scanning) {
  pResultsStack->setCurrentWidget(scanning ? static_cast<QWidget*>(lblScanning) : pResultsHost);
  cbCheckAll->setVisible(!scanning);
}

void TfmMain::ShowScanResults(bool stopped) {
  if (Settings.ComparisonMode() == cmContacts) CheckAllAddressBoxes();
  EnableUI();
  UpdateStartButton();
  ShowScanningNotice(false);
  fResults->CheckColumns();
  fResults->Model()->ListChanged(fScanEngine->ItemCount());
  UpdateStatsInfo();
  UpdateResultControls();
  if (fLastState != windowState()) setWindowState(fLastState);
  if (stopped) {
    fWizardMode = false;
  } else {
    // The summary stays as one line above the results, after its window has gone.
    lblSummary->setText(fScan->SummaryText());
    lblSummary->show();
    ShowSummaryWindow();
  }
  PreviewPanel->SetPreviewDisabled(false);
  PreviewPanel->ShowStatsChart(true);
}

// Every address starts ticked, so that a merge keeps them all unless the user unticks one.
void TfmMain::CheckAllAddressBoxes() {
  IScanEnginePlugin* plugin = fScanEngine->ScannerPlugin();
  if (!plugin) return;
  for (int i = 0; i < fScanEngine->ItemCount(); ++i) {
    const PFileItem it = fScanEngine->Item(i);
    if (!it->Emails) continue;
    const std::string* addresses[] = {&it->Emails->Address1, &it->Emails->Address2, &it->Emails->Address3};
    for (int n = 1; n <= 3; ++n)
      if (!addresses[n - 1]->empty()) plugin->SetEmailChecked(it->Emails->OutlookIndex, n, true);
  }
}

// The summary window, then where it leads: the assistant (always after a wizard's scan), or the
// usual first selection.
void TfmMain::ShowSummaryWindow() {
  const TScanEngineSummaryInfo& s = fScan->LastScan().Info;
  const bool offer = IsFileMode() && !fWizardMode && fScanEngine->ItemCount() > 0;
  const int choice = ShowScanSummary(this, s.OriginalFiles, s.DuplicateFiles, offer, fScan->SummaryText());
  if (fWizardMode || choice == kSummaryAssistant) {
    fWizardMode = false;
    if (fScanEngine->ItemCount() > 0) LaunchResolveWizard();
  } else if (choice == kSummaryContinue && !IsMasterMode() && fScanEngine->ItemCount() > 0) {
    fScanEngine->AutoSelect(fResults->Model(), smSelectAllLeaveOriginalName);
    fResults->Model()->Refresh();
    UpdateSelectedInfo();
  }
}

// ================================================================================ results

void TfmMain::SetPreviewShown(bool shown, bool save) {
  if (save) {
    PreviewPanel->ClearPreview();
    Settings.ShowPreview = shown;
    SaveSettingsOrLog();
  }
  const QSignalBlocker quiet(btnPreview);
  btnPreview->setChecked(shown);
  btnPreview->setIcon(QIcon(shown ? QStringLiteral(":/art/imgPreviewActive.svg") : QStringLiteral(":/art/imgPreviewInactive.svg")));
  if (shown == !PreviewPanel->isHidden()) return;
  PreviewPanel->ClearPreview();
  PreviewPanel->setVisible(shown);
  if (!shown) return;
  FitPreviewWidth();
  PreviewPanel->ShowStatsChart(false);
  PreviewPanel->UpdatePreview();
}

void TfmMain::FitPreviewWidth() {
  if (!PreviewPanel || !fResults || PreviewPanel->isHidden()) return;
  const int room = PreviewSplitter->width();
  if (room <= 0) return;
  int used = 0;
  for (int c = 0; c < sgFileList->model()->columnCount(); ++c)
    if (!sgFileList->isColumnHidden(c)) used += sgFileList->columnWidth(c);
  const QList<int> sizes = PreviewSplitter->sizes();
  int width = sizes.value(1);
  // The frame around the grid and the category buttons take their share of the left side.
  const int spare = sizes.value(0) - (used + sgFileList->verticalHeader()->width() + 10) -
                    (fResults->CategoryPanel()->isVisible() ? fResults->CategoryPanel()->width() : 0) - 30;
  if (spare > 0) width += spare;
  // The grid's last column stretches, so it rarely leaves room: a panel the user has not sized
  // starts wide enough for a picture and the chart's legend.
  if (!fPreviewUserSize) width = std::max(width, std::min(room / 3, 320));
  width = std::min(width, fPreviewUserSize ? room - 80 : room / 3);
  width = std::max(width, 80);
  if (width != sizes.value(1)) PreviewSplitter->setSizes({room - width - PreviewSplitter->handleWidth(), width});
}

void TfmMain::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  // Once the layout has given the splitter its new width.
  QTimer::singleShot(0, this, &TfmMain::FitPreviewWidth);
}

void TfmMain::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange || !PreviewPanel) return;
  // Minimised, the preview is dropped; back, it is built again.
  if (isMinimized()) PreviewPanel->ClearPreview();
  else PreviewPanel->UpdatePreview();
}

void TfmMain::UpdateStatsInfo() {
  const TScanEngineSummaryInfo& s = fScan->LastScan().Info;
  edFilesScanned->setText(Number(s.TotalFiles));
  edOriginalFiles->setText(Number(s.OriginalFiles));
  edDuplicates->setText(Number(s.DuplicateFiles));
  edSizeStats->setText(QString::fromStdString(FormatFileSize(s.DuplicateSize)));
  const TScanEngineSummaryInfo& now = fScanEngine->SummaryInfo();
  // Pruning and loading change the list after the scan: the engine's figures are the current ones.
  if (fScanEngine->ItemCount() > 0 || now.TotalFiles > 0) {
    edOriginalFiles->setText(Number(now.OriginalFiles));
    edDuplicates->setText(Number(now.DuplicateFiles));
    edSizeStats->setText(QString::fromStdString(FormatFileSize(now.DuplicateSize)));
  }
  UpdateSelectedInfo();
}

void TfmMain::UpdateSelectedInfo() {
  bool all = false;
  edSelected->setText(fResults->SelectedText(&all));
  const QSignalBlocker quiet(cbCheckAll);
  cbCheckAll->setChecked(all);
  // The figures size their fields.
  UpdateMinimumSize();
}

void TfmMain::UpdateResultControls() {
  const bool rows = fScanEngine && fScanEngine->ItemCount() > 0 && !IsScanRunning() && !IsLoadingList();
  for (QWidget* w : std::initializer_list<QWidget*>{bDuplicates, cbCheckAll}) w->setEnabled(rows && !fDisabledUI);
  fResults->CategoryPanel()->setEnabled(!IsScanRunning() && !IsLoadingList());
  crbClearResults->setEnabled(rows);
  UpdateProcessingControls(rows);
}

void TfmMain::ClearResults(bool fromButton) {
  if (fromButton && fScanEngine->ItemCount() > 0 &&
      !GetUserPrompt().Confirm(TranslateText("Are you sure you want to clear results?"))) {
    return;
  }
  fScan->ForgetLastScan();
  fScanEngine->ClearResults();
  fResults->Model()->ListChanged(fScanEngine->ItemCount());
  fResults->ResetState();
  fProcessing->ClearHistory();
  PreviewPanel->ClearPreview();
  PreviewPanel->ShowStatsChart(true);
  UpdateStatsInfo();
  lblSummary->hide();
  cbCheckAll->setChecked(false);
  UpdateResultControls();
}

void TfmMain::RunSearchFilter() {
  if (fScanEngine->ScanThreadExecuting()) return;
  TfmSearchFilterDlg dlg([this](int& position) { return fResults->SearchFrom(position); }, fResults->FocusedRow() + 1,
                         this);
  const bool filter = dlg.exec() == QDialog::Accepted;
  const std::string file = TUserStateBinder::SettingsFile();
  if (int e = SaveSearchFilterFiles(file))
    WriteLog("cannot write the search criteria to " + file + ": " + platform::ErrorText(e), lsvError);
  if (filter) fResults->ApplySearchFilter();
  UpdateStatsInfo();
  UpdateResultControls();
}

// ================================================================================ start-up, shutdown

void TfmMain::CheckTimerTick() {
  if (Settings.MaximizeOnStartup) showMaximized();
  if (Settings.ShowQuickTips) ShowQuickTips(this);
  if (Settings.CheckForUpdates) RunStartupUpdateCheck(this);
  if (Settings.LaunchWizard) RunScanWizard();
  HandleUrlFile();
}

void TfmMain::WatchForRenames() {
  if (!fFolderMonitor) {
    fFolderMonitor = std::make_unique<platform::TFolderMonitor>();
    fFolderMonitor->SetFilter(platform::fnFileName);
    fFolderMonitor->SetMonitorSubtree(true);
    fFolderMonitor->OnFileChange = [this](const platform::TFileRename& r) { fResults->FileRenamed(r.OldPath, r.NewPath); };
    fFolderMonitor->OnNotice = [](const std::string& line) { WriteLog(line, lsvWarning); };
  }
  const std::vector<std::string>& folders = fScanEngine->GetIncludeFilePaths();
  if (fFolderMonitor->Active() && fFolderMonitor->FoldersList() == folders) return;
  fFolderMonitor->SetActive(false);
  fFolderMonitor->SetFoldersList(folders);
  if (const int err = fFolderMonitor->SetActive(true); err != 0)
    WriteLog("Folder monitor: cannot watch the include folders: " + platform::ErrorText(err), lsvWarning);
}

// A link file dropped into the settings folder by an installer: opened once, then removed.
void TfmMain::HandleUrlFile() {
  const std::string folder = Settings.fSettingsPath;
  if (folder.empty()) return;
  std::string name(kAppName);
  std::erase(name, ' ');
  const std::filesystem::path file = std::filesystem::path(folder) / (name + ".url");
  std::error_code ec;
  if (!std::filesystem::exists(file, ec)) return;
  if (std::filesystem::file_size(file, ec) > 16 && !ec) platform::OpenDocument(file.string());
  if (!std::filesystem::remove(file, ec) || ec) {
    std::filesystem::path txt = file;
    txt.replace_extension(".txt");
    std::filesystem::rename(file, txt, ec);
  }
}

void TfmMain::FillLanguageMenu() {
  pmLanguage->clear();
  const std::string current = GetLanguageController().CurrentLanguageCode();
  for (const TLanguageInfo& lang : GetLanguageController().GetAvailableLanguages()) {
    QAction* a = pmLanguage->addAction(QString::fromStdString(lang.DisplayName));
    a->setCheckable(true);
    a->setChecked(lang.Code == current);
    const std::string code = lang.Code;
    connect(a, &QAction::triggered, this, [this, code] { RunDeferred([this, code] { ChooseLanguage(code); }); });
  }
}

void TfmMain::ChooseLanguage(const std::string& code) {
  Settings.TranslationLanguageCode = code;
  SaveSettingsOrLog();  // switches the language as well
  GetLanguageController().SetLanguage(code);
}

void TfmMain::ShowAbout() {
  TfmAbout about(this);
  about.Execute();
}

// The dialog edits the record live; the window applies what changed once it was accepted.
void TfmMain::RunSettings() {
  if (IsScanRunning()) return;
  if (!IsMailMode()) fUserState->Save();
  TPcwSettings old = Settings;
  TfmSettings dlg(this, [this](const QString& text) { StatusText->setText(text); });
  dlg.LoadSettings(true);
  dlg.OldShCtxMnuValue = Settings.ShellContextMenu;
  old.ShellContextMenu = dlg.OldShCtxMnuValue;
  dlg.ConfirmModeSwitch = [this](std::uint8_t oldMode, std::uint8_t newMode) {
    return fScanEngine->ItemCount() == 0 || !ModeSwitchClearsResults(oldMode, newMode) || ConfirmModeSwitch();
  };
  if (RunModal(dlg) != QDialog::Accepted) return;
  ApplySettingsChange(old);
}

// Three clicks to a scan: the wizard's mask and folders replace the step-1 choices, and the
// assistant follows the scan.
void TfmMain::RunScanWizard() {
  if (IsScanRunning() || fDisabledUI) return;
  const TPcwSettings old = Settings;
  std::string mask;
  std::string folders;
  if (!TfmWizard::RunWizard(this, mask, folders)) return;
  if (old.ComparisonMode() != Settings.ComparisonMode()) {
    SaveSettingsOrLog();
    ApplySettingsChange(old);
  }
  std::vector<std::string> list;
  for (std::size_t start = 0; start < folders.size();) {
    const std::size_t end = std::min(folders.find('\n', start), folders.size());
    list.push_back(folders.substr(start, end - start));
    start = end + 1;
  }
  fFolders->TakeWizardChoice(mask, list);
  // Kept as the user's own choice, which the window shows again after the scan.
  fUserState->Save();
  fWizardMode = true;
  StartScan();
}

void TfmMain::closeEvent(QCloseEvent* event) {
  if (!fUserConfirm) {
    if (!GetUserPrompt().Confirm(TranslateText("Are you sure you want to close application?"))) {
      event->ignore();
      return;
    }
    fUserConfirm = true;
  }
  if (Settings.KeepUserSettings) fUserState->Save();
  fScan->EndNow();
  event->accept();
}

// ================================================================================ processing: the grid

// The processing commands see the results through these (the rest is in
// MainWindowProcessing.cpp).
IScanView* TfmMain::ProcessingGrid() { return fResults->Model(); }

void TfmMain::ProcessingRowChanged(int Row) { fResults->Model()->RowChanged(Row); }

void TfmMain::ProcessingRefreshGrid() { fResults->Model()->Refresh(); }

std::string& TfmMain::ProcessingPathToMove() { return fUserState->PathToMove(); }

}  // namespace pelcrow::ui
