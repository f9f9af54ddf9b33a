#include "ui/MainWindow.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QSocketNotifier>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>

#include "base/UserPrompt.h"
#include "base/FormatSettings.h"
#include "engine/SearchFilterSettings.h"
#include "logging/Logger.h"
#include "platform/FileSystem.h"
#include "platform/FolderTree.h"
#include "localization/Formatting.h"
#include "platform/ProcessLauncher.h"
#include "platform/Shell.h"
#include "platform/ShellContextMenu.h"
#include "platform/SingleInstance.h"
#include "platform/SpecialFolders.h"
#include "settings/FileMasks.h"
#include "ui/AppStyle.h"
#include "ui/FileMaskDialogs.h"
#include "ui/FolderWidgets.h"
#include "ui/ResultsPanel.h"
#include "ui/SearchFilterDialog.h"
#include "ui/UiText.h"

namespace pelcrow::ui {
namespace {

constexpr std::uint8_t kNoForcedMode = 255;

bool IsFileModeValue(std::uint8_t mode) { return mode <= cmMusicTags; }
bool IsMailModeValue(std::uint8_t mode) { return mode == cmEmails || mode == cmContacts; }
// File modes, mail modes and the photo mode each have their own lists and tree.
int ModeFamily(std::uint8_t mode) { return IsFileModeValue(mode) ? 0 : IsMailModeValue(mode) ? 1 : 2; }

QString Seconds(qint64 ms) {
  const qint64 s = ms / 1000;
  return QString::asprintf("%02lld:%02lld:%02lld", s / 3600, (s / 60) % 60, s % 60);
}

QString Number(long long n) { return QString::fromStdString(FormatThousands(n)); }

void Message(TMessageKind kind, const char* text) { GetUserPrompt().ShowMessage(kind, TranslateText(text)); }

// "V " and the version as four numbers.
QString VersionText() {
  QStringList parts = QStringLiteral(PELCROW_VERSION).split(QLatin1Char('.'));
  while (parts.size() < 4) parts << QStringLiteral("0");
  return QStringLiteral("V ") + parts.mid(0, 4).join(QLatin1Char('.'));
}

const char* const kModeItems[] = {"File Search", "Music Scan", "Email Mode", "Contacts Scan", "iPhoto Scan",
                                  "iTunes Scan"};
std::uint8_t ModeOfItem(int index) {
  switch (index) {
    case 1: return cmMusicTags;
    case 2: return cmEmails;
    case 3: return cmContacts;
    case 4: return cmPhotoLibrary;
    default: return cmCRC32;
  }
}
int ItemOfMode(std::uint8_t mode) {
  switch (mode) {
    case cmMusicTags: return 1;
    case cmEmails: return 2;
    case cmContacts: return 3;
    case cmPhotoLibrary: return 4;
    default: return 0;
  }
}

}  // namespace

// ================================================================================ creation

TfmMain::TfmMain(platform::TSingleInstance* instance, QWidget* parent) : QMainWindow(parent), fInstance(instance) {
  setObjectName(QStringLiteral("fmMain"));
  // 1.
  fExiting = false;
  fSettingsForceMode = kNoForcedMode;
  Settings.OnChangeComparisonMode = [this](std::uint8_t) { SetScanModeCaption(); };
  BuildUi();
  // 2.
  txtVersion->setText(VersionText());
  StartLogging(Settings.LogDirectory, TPcwLogEvents{leInfo});
  WriteLog(TranslateText("Starting Application"));
  // 3.
  GetLanguageController().AddToTranslateList(this);
  edIncFileTypes->setText(QString::fromStdString(std::string(kDefaultIncludeMaskField)));
  tcPathList->setCurrentIndex(0);
  // 4.
  fScanEngine = std::make_unique<TScanEngine>(Settings.ComparisonMode(), Settings.CompareOptions);
  BuildResultsGrid();
  ConnectProcessing();
  // 5.
  if (IsMailModeValue(Settings.ComparisonMode())) {
    if (!GetOutlookFolders()) LoadUserState(false);
  } else {
    FillFolderTree();
  }
  // 6. Symbolic links need no privilege here; nothing to remove from the processing menu.
  // 7. The search criteria are read in any case; "Keep User Settings" is about the folder lists,
  // the masks, the size limits and the window's place.
  if (Settings.KeepUserSettings)
    LoadUserState(false);
  else
    LoadSearchCriteria();
  // 8.
  CheckShellQueue();
  setMinimumSize(800, 600);
  if (fInstance && fInstance->ServerHandle() >= 0) {
    fWakeNotifier = new QSocketNotifier(fInstance->ServerHandle(), QSocketNotifier::Read, this);
    connect(fWakeNotifier, &QSocketNotifier::activated, this, [this] {
      if (fInstance->AcceptWakeUps()) {
        // Wayland gives the focus only to a window that presents the launcher's token.
        if (!fInstance->ActivationToken().empty()) {
          qputenv("XDG_ACTIVATION_TOKEN", QByteArray::fromStdString(fInstance->ActivationToken()));
        }
        BringToFront();
        CheckShellQueue();
      }
    });
  }
  // 9.
  UpdateResultControls();
  CheckMode();
  cleDirectory->setVisible(IsFileMode());
  CheckTimer->start();
  UpdateStartButton();
  ClearResults(false);
  SetScanModeCaption();
}

TfmMain::~TfmMain() {
  Settings.OnChangeComparisonMode = nullptr;
  EndScanNow();
  WriteLog(TranslateText("Closing Application"));
}

void TfmMain::EndScanNow() {
  if (!fScanEngine || !fScanEngine->ScanThreadExecuting()) return;
  ScanTimer->stop();
  fScanEngine->OnFinishedScan = nullptr;
  fScanEngine->Stop();
  // The worker may be waiting for this thread to run a hand-over: joining it here would never
  // return, so serve it until it has ended.
  while (fScanEngine->ScanThreadExecuting()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(2);
  }
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
  ScanTimer = new QTimer(this);
  ScanTimer->setInterval(1000);
  DblclkTimer = new QTimer(this);
  DblclkTimer->setInterval(350);
  DblclkTimer->setSingleShot(true);
  SpinnerTimer = new QTimer(this);
  SpinnerTimer->setInterval(150);

  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(10, 10, 10, 6);
  layout->setSpacing(8);
  layout->addWidget(BuildTop());
  auto* split = new QSplitter(Qt::Vertical, central);
  split->setChildrenCollapsible(false);
  QWidget* upper = BuildUpper();
  split->addWidget(upper);
  auto* lower = new QWidget(split);
  auto* lowerLayout = new QVBoxLayout(lower);
  lowerLayout->setContentsMargins(0, 0, 0, 0);
  lowerLayout->setSpacing(8);
  lowerLayout->addWidget(BuildMiddle());
  lowerLayout->addWidget(BuildResults(), 1);
  split->addWidget(lower);
  // Extra height goes to the results; the folder step keeps what it needs (the splitter can
  // still give it more).
  split->setStretchFactor(0, 0);
  split->setStretchFactor(1, 1);
  split->setSizes({upper->minimumSizeHint().height() + 40, 100000});
  layout->addWidget(split, 1);
  setCentralWidget(central);

  txtVersion = new QLabel(this);
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

  BuildMenus();
  ConnectSignals();
  // Hints: the status bar shows them while the mouse is over the control.
  fHints = {{ImageRefresh, "Refresh button renews the list of folders in the tree"},
            {nbMinSize, "Hold left button and scroll up/down to change value"},
            {nbMaxSize, "Hold left button and scroll up/down to change value"},
            {cleDirectory, "You can type full path in input area and press Enter to add it to the list"},
            {btnPreview, "Turn preview ON/OFF"},
            {btnUndo, "Undo the last duplicate processing action"}};
  for (const auto& [widget, hint] : fHints) widget->installEventFilter(this);
}

bool TfmMain::eventFilter(QObject* watched, QEvent* event) {
  if ((event->type() == QEvent::Enter || event->type() == QEvent::Leave) && fStartTag == 0) {
    if (auto it = fHints.find(watched); it != fHints.end()) {
      StatusText->setText(event->type() == QEvent::Enter ? Tr(it->second) : QString());
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

static QLabel* StepLabel(QWidget* parent, const char* name, bool title) {
  auto* l = new QLabel(parent);
  l->setObjectName(QString::fromLatin1(name));
  l->setProperty(title ? "stepTitle" : "step", true);
  return l;
}

QWidget* TfmMain::BuildTop() {
  auto* pTop = new QFrame(this);
  pTop->setObjectName(QStringLiteral("pTop"));
  auto* h = new QHBoxLayout(pTop);
  h->setContentsMargins(12, 8, 12, 8);
  lStep1 = StepLabel(pTop, "lStep1", false);
  lSelectFoldersL = new QPushButton(pTop);
  lSelectFoldersL->setObjectName(QStringLiteral("lSelectFoldersL"));
  lSelectFoldersL->setCursor(Qt::PointingHandCursor);
  lSelectFoldersL->setFlat(true);
  cleDirectory = new QLineEdit(pTop);
  cleDirectory->setObjectName(QStringLiteral("cleDirectory"));
  cleDirectory->setClearButtonEnabled(true);
  cleDirectory->setMinimumWidth(140);
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

QWidget* TfmMain::BuildUpper() {
  auto* pUpper = new QFrame(this);
  pUpper->setObjectName(QStringLiteral("pUpper"));
  auto* grid = new QGridLayout(pUpper);
  grid->setContentsMargins(12, 10, 12, 10);
  grid->setHorizontalSpacing(10);

  // The tree with its refresh button in the corner.
  auto* treeBox = new QWidget(pUpper);
  auto* treeLayout = new QGridLayout(treeBox);
  treeLayout->setContentsMargins(0, 0, 0, 0);
  tvFolderList = new TFolderTree(treeBox);
  tvFolderList->setObjectName(QStringLiteral("tvFolderList"));
  tvFolderList->setMinimumWidth(170);
  ImageRefresh = new QToolButton(treeBox);
  ImageRefresh->setObjectName(QStringLiteral("ImageRefresh"));
  ImageRefresh->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
  ImageRefresh->setAutoRaise(true);
  treeLayout->addWidget(tvFolderList, 0, 0);
  treeLayout->addWidget(ImageRefresh, 0, 0, Qt::AlignTop | Qt::AlignRight);

  auto* buttons = new QVBoxLayout;
  bAdd = new QPushButton(pUpper);
  bAdd->setObjectName(QStringLiteral("bAdd"));
  bRemove = new QPushButton(pUpper);
  bRemove->setObjectName(QStringLiteral("bRemove"));
  bClear = new QPushButton(pUpper);
  bClear->setObjectName(QStringLiteral("bClear"));
  bWizard = new QPushButton(pUpper);
  bWizard->setObjectName(QStringLiteral("bWizard"));
  bWizard->setEnabled(false);  // the scan wizard is not built yet
  bAdd->setIcon(style()->standardIcon(QStyle::SP_ArrowRight));
  bAdd->setLayoutDirection(Qt::RightToLeft);
  for (QPushButton* b : {bAdd, bRemove, bClear, bWizard}) {
    b->setMinimumWidth(96);
    buttons->addWidget(b);
  }
  buttons->addStretch();

  tcPathList = new QTabWidget(pUpper);
  tcPathList->setObjectName(QStringLiteral("tcPathList"));
  lbInclude = new TPathListBox(tcPathList);
  lbInclude->setObjectName(QStringLiteral("lbInclude"));
  lbExclude = new TPathListBox(tcPathList);
  lbExclude->setObjectName(QStringLiteral("lbExclude"));
  tcPathList->addTab(lbInclude, QString());
  tcPathList->addTab(lbExclude, QString());
  tcPathList->widget(0)->setObjectName(QStringLiteral("lbInclude"));

  // Masks and size limits under the lists.
  auto* filters = new QGridLayout;
  filters->setHorizontalSpacing(6);
  lIncFileTypes = new QLabel(pUpper);
  lExcFileTypes = new QLabel(pUpper);
  edIncFileTypes = new QLineEdit(pUpper);
  edIncFileTypes->setObjectName(QStringLiteral("edIncFileTypes"));
  edExcFileTypes = new QLineEdit(pUpper);
  edExcFileTypes->setObjectName(QStringLiteral("edExcFileTypes"));
  bIncFileTypes = new QPushButton(pUpper);
  bIncFileTypes->setObjectName(QStringLiteral("bIncFileTypes"));
  bExcFileTypes = new QPushButton(pUpper);
  bExcFileTypes->setObjectName(QStringLiteral("bExcFileTypes"));
  auto sizeRow = [pUpper](QCheckBox*& chk, QDoubleSpinBox*& nb, QComboBox*& cb, const char* c, const char* n,
                          const char* u) {
    chk = new QCheckBox(pUpper);
    chk->setObjectName(QString::fromLatin1(c));
    nb = new QDoubleSpinBox(pUpper);
    nb->setObjectName(QString::fromLatin1(n));
    nb->setDecimals(0);
    nb->setRange(0, 999999986991104.0);
    nb->setSingleStep(1);
    nb->setMinimumWidth(56);
    nb->setAlignment(Qt::AlignRight);
    nb->setEnabled(false);
    cb = new QComboBox(pUpper);
    cb->setObjectName(QString::fromLatin1(u));
    for (const char* unit : {"B", "KB", "MB", "GB"}) cb->addItem(QString::fromLatin1(unit));
    cb->setCurrentIndex(1);
    cb->setEnabled(false);
  };
  sizeRow(chkMinSize, nbMinSize, cbMinSize, "chkMinSize", "nbMinSize", "cbMinSize");
  sizeRow(chkMaxSize, nbMaxSize, cbMaxSize, "chkMaxSize", "nbMaxSize", "cbMaxSize");
  filters->addWidget(lIncFileTypes, 0, 0);
  filters->addWidget(edIncFileTypes, 0, 1, 1, 3);
  filters->addWidget(bIncFileTypes, 0, 4);
  filters->addWidget(lExcFileTypes, 1, 0);
  filters->addWidget(edExcFileTypes, 1, 1, 1, 3);
  filters->addWidget(bExcFileTypes, 1, 4);
  auto* sizes = new QHBoxLayout;
  sizes->setSpacing(4);
  for (QCheckBox* chk : {chkMinSize, chkMaxSize}) chk->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  sizes->addWidget(chkMinSize);
  sizes->addWidget(nbMinSize, 1);
  sizes->addWidget(cbMinSize);
  sizes->addSpacing(12);
  sizes->addWidget(chkMaxSize);
  sizes->addWidget(nbMaxSize, 1);
  sizes->addWidget(cbMaxSize);
  filters->addLayout(sizes, 2, 0, 1, 5);
  filters->setColumnStretch(1, 1);

  auto* right = new QVBoxLayout;
  right->addWidget(tcPathList, 1);
  right->addLayout(filters);

  grid->addWidget(treeBox, 0, 0);
  grid->addLayout(buttons, 0, 1);
  grid->addLayout(right, 0, 2);
  grid->setColumnStretch(0, 1);
  grid->setColumnStretch(2, 2);
  return pUpper;
}

QWidget* TfmMain::BuildMiddle() {
  auto* pMiddle = new QFrame(this);
  pMiddle->setObjectName(QStringLiteral("pMiddle"));
  auto* h = new QHBoxLayout(pMiddle);
  h->setContentsMargins(12, 8, 12, 8);
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
  btnPreview->setEnabled(false);  // the preview panel is not built yet
  btnUndo = new QToolButton(pMiddle);
  btnUndo->setObjectName(QStringLiteral("btnUndo"));
  btnUndo->setIcon(style()->standardIcon(QStyle::SP_ArrowBack));
  btnUndo->setEnabled(false);  // nothing to undo until processing exists
  h->addWidget(lStep2);
  h->addWidget(lBeginScan);
  h->addSpacing(8);
  h->addWidget(pbProgress, 1);
  h->addWidget(aiProgress);
  h->addWidget(crbStart);
  h->addWidget(crbClearResults);
  h->addWidget(btnPreview);
  h->addWidget(btnUndo);
  return pMiddle;
}

QWidget* TfmMain::BuildResults() {
  auto* box = new QWidget(this);
  auto* h = new QHBoxLayout(box);
  h->setContentsMargins(0, 0, 0, 0);
  h->setSpacing(8);

  auto* pResults = new QFrame(box);
  pResults->setObjectName(QStringLiteral("pResults"));
  auto* v = new QVBoxLayout(pResults);
  v->setContentsMargins(12, 8, 12, 10);
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
  cbCheckAll = new QCheckBox(pResults);
  cbCheckAll->setObjectName(QStringLiteral("cbCheckAll"));
  actions->addWidget(cbCheckAll);
  // While a scan runs the list makes way for a quiet notice, keeping the frame's layout.
  pResultsStack = new QStackedWidget(pResults);
  pResultsHost = new QWidget(pResultsStack);
  pResultsStack->addWidget(pResultsHost);
  lblScanning = new QLabel(pResultsStack);
  lblScanning->setObjectName(QStringLiteral("lblScanning"));
  lblScanning->setAlignment(Qt::AlignCenter);
  pResultsStack->addWidget(lblScanning);
  v->addWidget(pResultsStack, 1);
  h->addWidget(pResults, 1);

  StatsPanel = new QFrame(box);
  StatsPanel->setObjectName(QStringLiteral("StatsPanel"));
  StatsPanel->setMinimumWidth(220);
  StatsPanel->setMaximumWidth(300);
  auto* g = new QGridLayout(StatsPanel);
  g->setContentsMargins(12, 10, 12, 10);
  auto field = [this, g](QLabel*& label, QLineEdit*& edit, const char* name, int row) {
    label = new QLabel(StatsPanel);
    edit = new QLineEdit(StatsPanel);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setReadOnly(true);
    edit->setFocusPolicy(Qt::NoFocus);
    edit->setAlignment(Qt::AlignRight);
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
  h->addWidget(StatsPanel);
  return box;
}

// The grid needs the engine, which exists only after the window's controls.
void TfmMain::BuildResultsGrid() {
  auto* l = new QVBoxLayout(pResultsHost);
  l->setContentsMargins(0, 0, 0, 0);
  fResults = new TResultsPanel(fScanEngine.get(), pResultsHost);
  l->addWidget(fResults);
  sgFileList = fResults->Grid();
  fResults->Defer = [this](std::function<void()> action) { RunDeferred(std::move(action)); };
  connect(fResults, &TResultsPanel::SelectionChanged, this, &TfmMain::UpdateSelectedInfo);
  connect(fResults, &TResultsPanel::ResultsChanged, this, [this] {
    UpdateStatsInfo();
    UpdateResultControls();
  });
  connect(fResults, &TResultsPanel::ClearRequested, this, [this] { ClearResults(false); });
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

void TfmMain::BuildMenus() {
  pmScanMode = new QMenu(this);
  pmScanMode->setObjectName(QStringLiteral("pmScanMode"));
  auto* group = new QActionGroup(pmScanMode);
  for (int i = 0; i < 6; ++i) {
    QAction* a = pmScanMode->addAction(QString());
    a->setCheckable(true);
    a->setData(i);
    group->addAction(a);
    // Neither the photo library nor the media-library scan exist on this platform.
    if (i >= 4) a->setVisible(false);
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

  pmSettings = new QMenu(this);
  pmSettings->setObjectName(QStringLiteral("pmSettings"));
  QAction* settings = pmSettings->addAction(QString());
  settings->setObjectName(QStringLiteral("miSettings"));
  settings->setEnabled(false);  // the settings dialog is not built yet
  pmLanguage = pmSettings->addMenu(QString());
  pmLanguage->setObjectName(QStringLiteral("pmLanguage"));
  connect(pmLanguage, &QMenu::aboutToShow, this, &TfmMain::FillLanguageMenu);
  btnSettings->setMenu(pmSettings);

  pmHelp = new QMenu(this);
  pmHelp->setObjectName(QStringLiteral("pmHelp"));
  QAction* help = pmHelp->addAction(QString());
  help->setEnabled(false);  // no help pages yet
  QAction* update = pmHelp->addAction(QString());
  update->setEnabled(false);  // the update check is not built yet
  QAction* about = pmHelp->addAction(QString());
  connect(about, &QAction::triggered, this, [this] { RunDeferred([this] { ShowAbout(); }); });
  btnHelp->setMenu(pmHelp);
}

void TfmMain::ConnectSignals() {
  connect(CheckTimer, &QTimer::timeout, this, &TfmMain::CheckTimerTick);
  connect(RunTimer, &QTimer::timeout, this, &TfmMain::FlushRunTimer);
  connect(ScanTimer, &QTimer::timeout, this, &TfmMain::ScanTimerTick);
  connect(DblclkTimer, &QTimer::timeout, this, [this] {
    if (QTreeWidgetItem* item = tvFolderList->currentItem()) item->setExpanded(!item->isExpanded());
  });
  connect(SpinnerTimer, &QTimer::timeout, this, [this] {
    static const char* const frames[] = {"◐", "◓", "◑", "◒"};
    fSpinnerPhase = (fSpinnerPhase + 1) % 4;
    aiProgress->setText(QString::fromUtf8(frames[fSpinnerPhase]) + Tr(" Please Wait ..."));
  });
  connect(tvFolderList, &QTreeWidget::itemClicked, this, [this] { OnTreeClicked(); });
  connect(tvFolderList, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) { OnTreeDoubleClicked(item); });
  connect(tvFolderList, &TFolderTree::dragStarted, DblclkTimer, &QTimer::stop);
  connect(ImageRefresh, &QToolButton::clicked, this, &TfmMain::RefreshTree);
  connect(bAdd, &QPushButton::clicked, this, &TfmMain::AddClick);
  connect(bRemove, &QPushButton::clicked, this, &TfmMain::RemoveClick);
  connect(bClear, &QPushButton::clicked, this, &TfmMain::ClearListClick);
  connect(lSelectFoldersL, &QPushButton::clicked, this, &TfmMain::SelectFoldersClick);
  connect(cleDirectory, &QLineEdit::returnPressed, this, &TfmMain::TypedPathEntered);
  for (TPathListBox* list : {lbInclude, lbExclude}) {
    connect(list, &TPathListBox::pathsDropped, this,
            [this, list](const QStringList& paths, bool fromTree) { DropOnList(list, paths, fromTree); });
    connect(list, &TPathListBox::dragEntered, DblclkTimer, &QTimer::stop);
  }
  connect(edIncFileTypes, &QLineEdit::textEdited, this, [this] { MaskEdited(edIncFileTypes); });
  connect(edExcFileTypes, &QLineEdit::textEdited, this, [this] { MaskEdited(edExcFileTypes); });
  connect(bIncFileTypes, &QPushButton::clicked, this, &TfmMain::IncFileTypesClick);
  connect(bExcFileTypes, &QPushButton::clicked, this, &TfmMain::ExcFileTypesClick);
  connect(chkMinSize, &QCheckBox::toggled, this, &TfmMain::UpdateSizeControls);
  connect(chkMaxSize, &QCheckBox::toggled, this, &TfmMain::UpdateSizeControls);
  connect(crbStart, &QPushButton::clicked, this, &TfmMain::StartClick);
  connect(crbClearResults, &QPushButton::clicked, this, [this] { ClearResults(true); });
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

  ImageRefresh->setToolTip(Tr("Refresh button renews the list of folders in the tree"));
  tvFolderList->RetranslateRoots();
  bAdd->setText(Tr("Add"));
  bRemove->setText(Tr("Remove"));
  bClear->setText(Tr("Clear"));
  bWizard->setText(Tr("Wizard"));
  SetTabCaptions();
  lbInclude->SetHintText(Tr("Drop Folders Here to Scan"));
  lIncFileTypes->setText(Tr("Include:"));
  lExcFileTypes->setText(Tr("Exclude:"));
  bIncFileTypes->setText(Tr("File Types"));
  bExcFileTypes->setText(Tr("File Types"));
  chkMinSize->setText(Tr("Min File Size"));
  chkMaxSize->setText(Tr("Max File Size"));
  for (QDoubleSpinBox* nb : {nbMinSize, nbMaxSize}) {
    nb->setToolTip(Tr("Hold left button and scroll up/down to change value"));
  }

  lStep2->setText(Tr("Step 2:"));
  lBeginScan->setText(Tr("Begin Scan"));
  crbStart->setText(Tr(fStartTag == 0 ? "Start" : "Stop"));
  crbClearResults->setText(Tr("Clear"));
  btnPreview->setText(Tr("Preview"));
  btnPreview->setToolTip(Tr("Turn preview ON/OFF"));
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
  if (fExportInfo.Info.TotalFiles > 0 || !lblSummary->isHidden()) UpdateStatsInfo();
}

void TfmMain::SetScanModeCaption() {
  if (!lcScanModeCaption) return;
  lcScanModeCaption->setText(Tr(kModeItems[ItemOfMode(Settings.ComparisonMode())]));
  btnScanMode->setText(Tr("Scan Mode:") + QStringLiteral(" ") + lcScanModeCaption->text());
}

// ================================================================================ mode

bool TfmMain::IsFileMode() const { return IsFileModeValue(Settings.ComparisonMode()); }
bool TfmMain::IsMasterMode() const { return Settings.MasterSelectMode && IsFileMode(); }

void TfmMain::SetTabCaptions() {
  if (IsMasterMode()) {
    tcPathList->setTabText(0, QStringLiteral("★ ") + Tr("Master"));
    tcPathList->setTabText(1, Tr("Search Range"));
  } else {
    tcPathList->setTabText(0, Tr("Include to Scan"));
    tcPathList->setTabText(1, Tr("Exclude from Scan"));
  }
}

void TfmMain::CheckMode() {
  const bool fileMode = IsFileMode();
  // 1.
  SetTabCaptions();
  for (QWidget* w : std::initializer_list<QWidget*>{chkMinSize, chkMaxSize, lIncFileTypes, lExcFileTypes,
                                                    edIncFileTypes, edExcFileTypes, bIncFileTypes, bExcFileTypes}) {
    w->setEnabled(fileMode && !fDisabledUI);
  }
  UpdateSizeControls();
  ImageRefresh->setVisible(!IsMailModeValue(Settings.ComparisonMode()));
  // 2.
  LoadUserState(true);
  UpdateStartButton();
  // 3.
  const bool music = Settings.ComparisonMode() == cmMusicTags;
  edIncFileTypes->setReadOnly(music);
  edExcFileTypes->setReadOnly(music);
  // 4.
  btnPreview->setVisible(!IsMailModeValue(Settings.ComparisonMode()));
  bResolveWizard->setVisible(fileMode);
}

void TfmMain::ChooseScanMode(std::uint8_t mode) {
  const std::uint8_t current = Settings.ComparisonMode();
  // "File Search" stands for the three file-search modes.
  if (mode == current || (mode == cmCRC32 && current < cmMusicTags)) return;
  const TPcwSettings old = Settings;
  if (!IsMailModeValue(current)) SaveUserState();
  fSettingsForceMode = mode;
  // The settings dialog's apply step, without showing it.
  const std::uint8_t newMode = mode == cmCRC32 ? Settings.LastFileSearchMode : mode;
  if (current < cmMusicTags) Settings.LastFileSearchMode = current;
  Settings.SetComparisonMode(newMode);
  try {
    Settings.SaveSettings();
  } catch (const std::exception& e) {
    WriteLog(e.what(), lsvError);
  }
  fSettingsForceMode = kNoForcedMode;
  ApplySettingsChange(old);
}

void TfmMain::ApplySettingsChange(const TPcwSettings& old) {
  const std::uint8_t oldMode = old.ComparisonMode();
  const std::uint8_t newMode = Settings.ComparisonMode();
  // 1.
  if (old.ShellContextMenu != Settings.ShellContextMenu) {
    const std::string exe = std::filesystem::read_symlink("/proc/self/exe").string();
    // The helper is this program's own command line.
    std::string ignored;
    std::vector<std::string> helper = {exe, Settings.ShellContextMenu ? "-e" : "-d"};
    if (Settings.ShellContextMenu) helper.push_back(exe);
    // Waited for: the state is read back right after.
    platform::GetProcessLauncher().Run(helper, ignored, 15000);
    Settings.RetrieveShellContextMenuStatus();
  }
  // 2.
  if (oldMode != newMode || old.CompareOptions != Settings.CompareOptions) {
    fScanEngine->SetCompareMode(newMode, Settings.CompareOptions);
  }
  // 3.
  if ((oldMode == cmMusicTags) != (newMode == cmMusicTags)) ClearResults(false);
  if (ModeFamily(oldMode) != ModeFamily(newMode) || (!IsFileModeValue(oldMode) && oldMode != newMode)) {
    ClearResults(false);
    lbInclude->clear();
    lbExclude->clear();
    bool loaded = false;
    if (IsMailModeValue(newMode)) {
      loaded = !GetOutlookFolders();  // a failure went back to the file modes and loaded the state
    } else {
      FillFolderTree();
    }
    if (!loaded) LoadUserState(false);
  }
  // 4.
  cleDirectory->setVisible(IsFileMode());
  if (IsFileMode() && old.MasterSelectMode != Settings.MasterSelectMode) {
    lbInclude->clear();
    lbExclude->clear();
    LoadUserState(false);
  }
  if (IsFileMode() && (old.ScanOptions.Contains(soSkipSysAppFolders) != Settings.ScanOptions.Contains(soSkipSysAppFolders) ||
                       old.ScanOptions.Contains(soIncludeHidden) != Settings.ScanOptions.Contains(soIncludeHidden))) {
    RefreshTree();
  }
  // 5.
  fResults->CheckColumns();
  CheckMode();
  SetScanModeCaption();
}

// No mail program is supported on this platform yet: the mail modes fall back to the file modes.
bool TfmMain::GetOutlookFolders() {
  tvFolderList->clear();
  WriteLog("No supported mail program found", lsvError);
  Settings.SetComparisonMode(cmCRC32);
  try {
    Settings.SaveSettings();
  } catch (const std::exception& e) {
    WriteLog(e.what(), lsvError);
  }
  fScanEngine->SetCompareMode(cmCRC32, Settings.CompareOptions);
  FillFolderTree();
  LoadUserState(false);
  Message(TMessageKind::mkInformation,
          "The required Outlook version is not found. Current scan mode is set to \"CRC32+FileSize\".");
  return false;
}

// ================================================================================ folder lists

TPathListBox* TfmMain::FirstList() const { return lbInclude; }
TPathListBox* TfmMain::SecondList() const { return lbExclude; }
TPathListBox* TfmMain::ActiveList() const { return tcPathList->currentIndex() == 1 ? lbExclude : lbInclude; }

bool TfmMain::ListContains(TPathListBox* list, const std::string& entry) const {
  const QString text = PathText(entry);
  for (int i = 0; i < list->count(); ++i)
    if (list->item(i)->text() == text) return true;
  return false;
}

void TfmMain::AppendEntry(TPathListBox* list, const std::string& entry) {
  auto* item = new QListWidgetItem(PathText(entry), list);
  item->setData(Qt::UserRole, QByteArray::fromStdString(entry));
  item->setIcon(style()->standardIcon(QStyle::SP_DirIcon));
  list->scrollToItem(item);
  if (list == FirstList()) UpdateStartButton();
}

static bool IsFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
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

void TfmMain::AddIncludeFolder(const std::string& path) {
  const std::string entry = platform::FolderEntry(path);
  // 1.
  if (!Settings.CheckExclusionFolder(entry, true)) {
    RunDeferred([this] { ShowDropWarningExclusion(); });
    return;
  }
  // 2.
  if (ListContains(FirstList(), entry)) return;
  if (IsFileMode() && !IsFolder(entry)) {
    Message(TMessageKind::mkInformation, "The specified directory does not exist");
    return;
  }
  // 3.
  int reason = 0;
  if (TPcwSpecialFolders::CheckSpecialPathName(entry, reason, Settings.ScanOptions)) {
    if (reason == 2) {
      RunDeferred([this] { ShowDropWarningSysApp(); });
    } else {
      RunDeferred([this] { ShowDropWarningHidden(); });
    }
    return;
  }
  // 4.
  AppendEntry(FirstList(), entry);
}

void TfmMain::AddExcludeFolder(const std::string& path) {
  const std::string entry = platform::FolderEntry(path);
  if (ListContains(SecondList(), entry)) return;
  if (IsFileMode() && !IsFolder(entry)) {
    Message(TMessageKind::mkInformation, "The specified directory does not exist");
    return;
  }
  AppendEntry(SecondList(), entry);
}

void TfmMain::AddIncludeFolders(const std::vector<std::string>& paths) {
  if (fDisabledUI) {
    Message(TMessageKind::mkInformation,
            "Scan is already in progress. Please wait until scanning is finished and try again.");
    return;
  }
  bool sysApp = false;
  bool hidden = false;
  for (const std::string& path : paths) {
    const std::string entry = platform::FolderEntry(path);
    if (ListContains(FirstList(), entry) || !IsFolder(entry)) continue;
    int reason = 0;
    if (TPcwSpecialFolders::CheckSpecialPathName(entry, reason, Settings.ScanOptions)) {
      (reason == 2 ? sysApp : hidden) = true;
      continue;
    }
    AppendEntry(FirstList(), entry);
  }
  if (sysApp && hidden) {
    ShowDropWarningVarious();
  } else if (sysApp) {
    ShowDropWarningSysApp();
  } else if (hidden) {
    ShowDropWarningHidden();
  }
}

void TfmMain::AddExcludeMask(const std::string& text) {
  if (auto warning = ValidateEditorMask(mtFolderMask, text)) {
    GetUserPrompt().ShowMessage(TMessageKind::mkWarning, *warning);
    return;
  }
  if (!ListContains(SecondList(), text)) AppendEntry(SecondList(), text);
}

void TfmMain::BringToFront() {
  if (isMinimized()) showNormal();
  raise();
  activateWindow();
}

void TfmMain::ShowDropWarningExclusion() {
  RunTimer->stop();
  BringToFront();
  Message(TMessageKind::mkError, kExclusionFolderMessage);
}

void TfmMain::ShowDropWarningSysApp() {
  RunTimer->stop();
  BringToFront();
  Message(TMessageKind::mkWarning,
          "Some folders cannot be accepted, because \"Skip System and Application folders\" option enabled");
}

void TfmMain::ShowDropWarningHidden() {
  RunTimer->stop();
  BringToFront();
  Message(TMessageKind::mkWarning,
          "Some folders cannot be accepted, because \"Include Hidden Objects\" option is not enabled");
}

void TfmMain::ShowDropWarningVarious() {
  RunTimer->stop();
  BringToFront();
  Message(TMessageKind::mkWarning, "Some folders were not been added in accordance with the current program settings");
}

void TfmMain::AddToList(TPathListBox* list, const std::string& path) {
  if (list == FirstList()) {
    AddIncludeFolder(path);
  } else {
    AddExcludeFolder(path);
  }
}

void TfmMain::AddToActiveList(const std::string& path) { AddToList(ActiveList(), path); }

void TfmMain::AddClick() {
  const std::string path = tvFolderList->SelectedPath();
  if (path.empty()) {
    Message(TMessageKind::mkInformation, "No items selected. Please select folder you want to add.");
    return;
  }
  AddToActiveList(path);
}

void TfmMain::OnTreeClicked() { DblclkTimer->start(); }

void TfmMain::OnTreeDoubleClicked(QTreeWidgetItem* item) {
  DblclkTimer->stop();
  tvFolderList->setCurrentItem(item);
  AddClick();
}

void TfmMain::RemoveClick() {
  TPathListBox* list = ActiveList();
  const QList<QListWidgetItem*> selected = list->selectedItems();
  if (selected.isEmpty()) {
    Message(TMessageKind::mkInformation, "No items selected. Please select folder you want to remove.");
    return;
  }
  for (int i = list->count() - 1; i >= 0; --i) {
    if (list->item(i)->isSelected()) delete list->takeItem(i);
  }
  UpdateStartButton();
}

void TfmMain::ClearListClick() {
  ActiveList()->clear();
  UpdateStartButton();
}

void TfmMain::DropOnList(TPathListBox* target, const QStringList& paths, bool fromTree) {
  DblclkTimer->stop();
  if (fDisabledUI) return;
  for (const QString& p : paths) {
    const std::string path = PathBytes(p);
    // A dropped file is no folder and is refused as such.
    AddToList(target, fromTree ? path : path + "/");
  }
}

void TfmMain::TypedPathEntered() {
  const std::string typed = cleDirectory->text().toStdString();
  const std::string path = platform::NormalizeTypedPath(typed, TPcwSpecialFolders::GetHomeDirectory());
  if (path.empty()) return;
  if (IsFolder(path)) {
    AddToActiveList(path);
    cleDirectory->clear();
  } else if (ActiveList() == SecondList() && path.find_first_of("*?") != std::string::npos) {
    AddExcludeMask(path);
    cleDirectory->clear();
  } else {
    Message(TMessageKind::mkError, "Specified path does not exist or inaccessible.");
  }
}

void TfmMain::SelectFoldersClick() {
  if (fDisabledUI) return;
  const QString caption = tcPathList->tabText(tcPathList->currentIndex());
  const QString dir = QFileDialog::getExistingDirectory(this, caption, PathText(TPcwSpecialFolders::GetHomeDirectory()),
                                                        QFileDialog::ShowDirsOnly);
  if (dir.isEmpty()) return;
  const std::string path = platform::FolderEntry(PathBytes(dir));
  if (!Settings.CheckExclusionFolder(path, false)) return;
  AddToActiveList(path);
}

void TfmMain::UpdateStartButton() {
  if (fStartTag == 0) crbStart->setEnabled(FirstList()->count() > 0);
}

// ================================================================================ tree

void TfmMain::FillFolderTree() {
  tvFolderList->SetScanOptions(Settings.ScanOptions);
  tvFolderList->Fill(platform::GetFolderTreeRoots());
  tvFolderList->RetranslateRoots();
}

void TfmMain::RefreshTree() {
  tvFolderList->SetScanOptions(Settings.ScanOptions);
  tvFolderList->Refresh(platform::GetFolderTreeRoots());
  tvFolderList->RetranslateRoots();
}

// ================================================================================ masks

void TfmMain::MaskEdited(QLineEdit* edit) {
  std::string text = edit->text().toStdString();
  const std::string bad = FindForbiddenMaskChars(mtFileMask, text);
  if (bad.empty()) return;
  // The whole set, as the user needs to know what to avoid.
  std::string all;
  for (int c = 1; c < 256; ++c)
    if (IsForbiddenMaskChar(mtFileMask, static_cast<unsigned char>(c)) && c >= 0x20 && c != 0x7f) all.push_back(static_cast<char>(c));
  GetUserPrompt().ShowMessage(TMessageKind::mkWarning, TranslateText("The following symbols are invalid for the mask:") +
                                                           " " + ForbiddenMaskCharsDisplay(all));
  const std::size_t last = text.find_last_of(bad);
  if (last != std::string::npos) text.erase(last, 1);
  edit->setText(QString::fromStdString(text));
}

void TfmMain::IncFileTypesClick() {
  const std::string field = edIncFileTypes->text().toStdString();
  const std::string result = TfmFileMasks::Execute(this, TMaskSelectorKind::mskInclude, field);
  edIncFileTypes->setText(QString::fromStdString(
      IncludeFieldAfterSelector(field, result, Settings.ComparisonMode() == cmMusicTags)));
}

void TfmMain::ExcFileTypesClick() {
  const std::string field = edExcFileTypes->text().toStdString();
  const std::string result = TfmFileMasks::Execute(this, TMaskSelectorKind::mskExclude, field);
  edExcFileTypes->setText(QString::fromStdString(ExcludeFieldAfterSelector(field, result)));
}

void TfmMain::UpdateSizeControls() {
  const bool on = IsFileMode() && !fDisabledUI;
  nbMinSize->setEnabled(on && chkMinSize->isChecked());
  cbMinSize->setEnabled(on && chkMinSize->isChecked());
  nbMaxSize->setEnabled(on && chkMaxSize->isChecked());
  cbMaxSize->setEnabled(on && chkMaxSize->isChecked());
}

// ================================================================================ user state

std::string TfmMain::SettingsFile() { return Settings.GetSettingsFile(); }

static TUserListKind ListKind(bool master, bool photo) {
  if (photo) return master ? ulkMasterSearchPhoto : ulkIncludeExcludePhoto;
  return master ? ulkMasterSearch : ulkIncludeExclude;
}

static std::vector<std::string> ListEntries(const QListWidget* list) {
  std::vector<std::string> out;
  for (int i = 0; i < list->count(); ++i) out.push_back(list->item(i)->data(Qt::UserRole).toByteArray().toStdString());
  return out;
}

void TfmMain::RunSearchFilter() {
  if (fScanEngine->ScanThreadExecuting()) return;
  TfmSearchFilterDlg dlg([this](int& position) { return fResults->SearchFrom(position); }, fResults->FocusedRow() + 1,
                         this);
  const bool filter = dlg.exec() == QDialog::Accepted;
  if (int e = SaveSearchFilterFiles(SettingsFile()))
    WriteLog("cannot write the search criteria to " + SettingsFile() + ": " + platform::ErrorText(e), lsvError);
  if (filter) fResults->ApplySearchFilter();
  UpdateStatsInfo();
  UpdateResultControls();
}

void TfmMain::LoadSearchCriteria() {
  TIniFile ini;
  if (const std::string file = SettingsFile(); !file.empty()) ini.LoadFromFile(file);
  SearchFilterFiles = ReadSearchFilter(ini, TDateTime::Now());
}

void TfmMain::LoadUserState(bool masksOnly) {
  // One read of the settings file for the user's lists and the search criteria.
  TIniFile ini;
  if (const std::string file = SettingsFile(); !file.empty()) ini.LoadFromFile(file);
  const TUserState s = ReadUserState(ini);
  if (!masksOnly) SearchFilterFiles = ReadSearchFilter(ini, TDateTime::Now());
  const bool music = Settings.ComparisonMode() == cmMusicTags;
  edIncFileTypes->setText(QString::fromStdString(music ? s.IncludeMusicMasks : s.IncludeMasks));
  edExcFileTypes->setText(QString::fromStdString(music ? s.ExcludeMusicMasks : s.ExcludeMasks));
  if (masksOnly) return;

  lbInclude->clear();
  lbExclude->clear();
  const std::uint8_t mode = Settings.ComparisonMode();
  if (!IsMailModeValue(mode)) {
    const TUserListKind kind = ListKind(Settings.MasterSelectMode, mode == cmPhotoLibrary);
    for (const std::string& e : s.Lists[kind][0]) AppendEntry(lbInclude, e);
    for (const std::string& e : s.Lists[kind][1]) AppendEntry(lbExclude, e);
  }
  chkMinSize->setChecked(s.CheckMin);
  chkMaxSize->setChecked(s.CheckMax);
  nbMinSize->setValue(s.MinValue);
  nbMaxSize->setValue(s.MaxValue);
  cbMinSize->setCurrentIndex(s.MinSize);
  cbMaxSize->setCurrentIndex(s.MaxSize);
  fPathToMove = s.PathToMove;
  if (!Settings.MaximizeOnStartup && s.MainFormTop && s.MainFormLeft && s.MainFormWidth && s.MainFormHeight) {
    setGeometry(std::max(0, *s.MainFormLeft), std::max(0, *s.MainFormTop), std::max(800, *s.MainFormWidth),
                std::max(600, *s.MainFormHeight));
  } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    // No saved place yet: most of the screen, so the results have room from the first scan on.
    const QRect free = screen->availableGeometry();
    resize(std::clamp(free.width() * 9 / 10, 800, 1400), std::clamp(free.height() * 9 / 10, 600, 960));
  }
  // Entries that became permanent exclusions since they were saved.
  for (int i = lbInclude->count() - 1; i >= 0; --i) {
    if (!Settings.CheckExclusionFolder(lbInclude->item(i)->data(Qt::UserRole).toByteArray().toStdString(), true)) {
      delete lbInclude->takeItem(i);
    }
  }
  UpdateSizeControls();
  UpdateStartButton();
}

void TfmMain::SaveUserState() {
  const std::string file = SettingsFile();
  if (file.empty()) return;
  TUserState s = LoadUserStateFile(file);
  const std::uint8_t mode = Settings.ComparisonMode();
  if (mode == cmMusicTags) {
    s.IncludeMusicMasks = edIncFileTypes->text().toStdString();
    s.ExcludeMusicMasks = edExcFileTypes->text().toStdString();
  } else if (IsFileModeValue(mode)) {
    s.IncludeMasks = edIncFileTypes->text().toStdString();
    s.ExcludeMasks = edExcFileTypes->text().toStdString();
  }
  if (!IsMailModeValue(mode)) {
    const TUserListKind kind = ListKind(Settings.MasterSelectMode, mode == cmPhotoLibrary);
    s.Lists[kind][0] = ListEntries(lbInclude);
    s.Lists[kind][1] = ListEntries(lbExclude);
  }
  s.CheckMin = chkMinSize->isChecked();
  s.CheckMax = chkMaxSize->isChecked();
  s.MinValue = nbMinSize->value();
  s.MaxValue = nbMaxSize->value();
  s.MinSize = cbMinSize->currentIndex();
  s.MaxSize = cbMaxSize->currentIndex();
  s.PathToMove = fPathToMove;
  if (!isMaximized() && !isFullScreen()) {
    const QRect g = normalGeometry().isValid() ? normalGeometry() : geometry();
    s.MainFormTop = g.top();
    s.MainFormLeft = g.left();
    s.MainFormWidth = g.width();
    s.MainFormHeight = g.height();
  }
  if (int e = SaveUserStateFile(file, s)) {
    WriteLog("cannot write settings file " + file + ": " + platform::ErrorText(e), lsvError);
  }
}

// ================================================================================ shell queue

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

void TfmMain::DisableUI() {
  fDisabledUI = true;
  for (QWidget* w : std::initializer_list<QWidget*>{
           tvFolderList, bAdd, bRemove, bClear, tcPathList, lSelectFoldersL, cleDirectory, btnScanMode, btnSettings,
           edIncFileTypes, edExcFileTypes, bIncFileTypes, bExcFileTypes, chkMinSize, chkMaxSize, ImageRefresh,
           bDuplicates, bProcessSelection, bResolveWizard, bExport, cbCheckAll}) {
    w->setEnabled(false);
  }
  UpdateSizeControls();
}

void TfmMain::EnableUI() {
  fDisabledUI = false;
  for (QWidget* w : std::initializer_list<QWidget*>{tvFolderList, bAdd, bRemove, bClear, tcPathList, lSelectFoldersL,
                                                    cleDirectory, btnScanMode, btnSettings, ImageRefresh}) {
    w->setEnabled(true);
  }
  CheckMode();
}

void TfmMain::SetStartButtonState(int tag) {
  fStartTag = tag;
  crbStart->setText(Tr(tag == 0 ? "Start" : "Stop"));
  crbStart->setProperty("scanning", tag != 0);
  crbStart->style()->unpolish(crbStart);
  crbStart->style()->polish(crbStart);
}

void TfmMain::ShowProgressText(const QString& text) { pbProgress->setFormat(text); }

void TfmMain::StartClick() {
  // A second click within a second is a double click, not a stop.
  if (fLastStartClick.isValid() && fLastStartClick.elapsed() < 1000) return;
  fLastStartClick.start();
  if (fStartTag != 0) {
    StopScan();
  } else {
    StartScan();
  }
}

void TfmMain::StopScan() {
  SetStartButtonState(2);
  ScanTimer->stop();
  txtTimer->setText(QStringLiteral("00:00:00"));
  ShowProgressText(Tr("Stopping ..."));
  fScanEngine->Stop();
  crbStart->setEnabled(false);
}

void TfmMain::StartScan() {
  if (FirstList()->count() == 0) return;
  // 2.
  fLastState = windowState();
  DisableUI();
  if (edIncFileTypes->text().trimmed().isEmpty()) {
    edIncFileTypes->setText(QString::fromStdString(Settings.ComparisonMode() == cmMusicTags
                                                       ? DefaultMusicMaskField()
                                                       : std::string(kDefaultIncludeMaskField)));
  }
  SetStartButtonState(1);
  ClearResults(false);
  fResults->ResetState();
  crbClearResults->setEnabled(false);
  ShowProgressText(Tr("Please wait ..."));
  aiProgress->setText(Tr(" Please Wait ..."));
  aiProgress->show();
  SpinnerTimer->start();
  lblSummary->hide();
  // 3.
  try {
    fScanEngine->SetIncludeFileMasks(edIncFileTypes->text().toStdString());
    fScanEngine->SetExcludeFileMasks(edExcFileTypes->text().toStdString());
  } catch (const std::exception& e) {
    GetUserPrompt().ShowMessage(TMessageKind::mkError, e.what());
    SetStartButtonState(0);
    EnableUI();
    SpinnerTimer->stop();
    aiProgress->hide();
    ShowProgressText(QString());
    crbClearResults->setEnabled(true);
    return;
  }
  const std::vector<std::string> first = ListEntries(FirstList());
  const std::vector<std::string> second = ListEntries(SecondList());
  if (IsMasterMode()) {
    std::vector<std::string> both = first;
    both.insert(both.end(), second.begin(), second.end());
    fScanEngine->SetMasterFilePaths(&first);
    fScanEngine->SetIncludeFilePaths(&both);
    fScanEngine->SetExcludeFilePaths(nullptr);
  } else {
    fScanEngine->SetIncludeFilePaths(&first);
    fScanEngine->SetExcludeFilePaths(&second);
    fScanEngine->SetMasterFilePaths(nullptr);
  }
  // 4.
  fScanEngine->FileSizeMin = chkMinSize->isChecked() ? SizeLimitBytes(nbMinSize->value(), cbMinSize->currentIndex()) : 0;
  fScanEngine->FileSizeMax = chkMaxSize->isChecked() ? SizeLimitBytes(nbMaxSize->value(), cbMaxSize->currentIndex()) : 0;
  // 5.
  fScanEngine->OnFinishedScan = [this](const TScanEngineSummaryInfo& info) { ScanFinished(info); };
  pResultsStack->setCurrentWidget(lblScanning);
  cbCheckAll->hide();
  fScanStarted.start();
  txtTimer->setText(QStringLiteral("00:00:00"));
  fScanEngine->ResetProgress();
  pbProgress->setValue(0);
  ScanTimer->start();
  WriteLog("Scan started");
  // 6.
  fScanEngine->BuildFileList(fResults->Model(), Settings.ScanOptions);
}

void TfmMain::ScanTimerTick() {
  txtTimer->setText(Seconds(fScanStarted.elapsed()));
  TScanEngineStatusInfo p;
  fScanEngine->GetCurrentProgress(p);
  switch (p.EngineStatus) {
    case esScanning:
      ShowProgressText(Tr("Scanning ..."));
      StatusText->setText(PathText(TScanEngine::DeleteExtendedPrefix(p.Path)));
      edFilesScanned->setText(Number(p.FilesScanned));
      break;
    case esProcessing:
      if (p.PercentComplete < 100) {
        pbProgress->setValue(p.PercentComplete);
        StatusText->setText(Tr("Processing: ") + PathText(TScanEngine::DeleteExtendedPrefix(p.Path)));
        ShowProgressText(Tr("Processing ...") + QStringLiteral(" (%1%)").arg(p.PercentComplete));
        edFilesScanned->setText(Number(p.FilesScanned));
      }
      break;
    case esBuildingList:
      pbProgress->setValue(100);
      StatusText->setText(Tr("Building list ..."));
      ShowProgressText(Tr("Building list ...") + QStringLiteral(" (100%)"));
      break;
    case esStopping:
      pbProgress->setValue(0);
      StatusText->setText(Tr("Stopping ..."));
      ShowProgressText(Tr("Stopping ..."));
      break;
  }
}

void TfmMain::ScanFinished(const TScanEngineSummaryInfo& info) {
  // 1.
  const bool stopped = fStartTag == 2;
  if (stopped) fScanEngine->ClearResults();
  const TScanEngineSummaryInfo summary = stopped ? TScanEngineSummaryInfo{} : info;
  // 2.
  ScanTimer->stop();
  EnableUI();
  SetStartButtonState(0);
  crbStart->setEnabled(true);
  UpdateStartButton();
  StatusText->clear();
  // 3. and 5.
  fExportInfo.Info = summary;
  fExportInfo.Dirs = fScanEngine->GetIncludeFilePaths();
  // 4.
  SpinnerTimer->stop();
  aiProgress->hide();
  ShowProgressText(QString());
  pResultsStack->setCurrentWidget(pResultsHost);
  cbCheckAll->show();
  crbClearResults->setEnabled(true);
  pbProgress->setValue(0);
  fResults->CheckColumns();
  fResults->Model()->ListChanged(fScanEngine->ItemCount());
  UpdateStatsInfo();
  UpdateResultControls();
  WriteLog(stopped ? "Scan stopped" : "Scan finished");
  // 7.
  if (fLastState != windowState()) setWindowState(fLastState);
  // 8. The summary, until the summary window exists: one line above the results.
  if (!stopped) {
    const std::string total = FormatThousands(summary.TotalFiles);
    const std::string originals = FormatThousands(summary.OriginalFiles);
    std::string text = summary.TotalFiles == 1 ? TranslateText("Scanned %s total file.")
                                               : TranslateText("Scanned %s total files.");
    text.replace(text.find("%s"), 2, total);
    std::string dups = summary.OriginalFiles == 1
                           ? TranslateText("Detected duplicates for %s file, which occupy %s of hard disk space.")
                           : TranslateText("Detected duplicates for %s files, which occupy %s of hard disk space.");
    if (auto at = dups.find("%s"); at != std::string::npos) dups.replace(at, 2, originals);
    if (auto at = dups.find("%s"); at != std::string::npos) dups.replace(at, 2, FormatFileSize(summary.DuplicateSize));
    QString summaryText = QString::fromStdString(text + " " + dups);
    // Nothing found because a check turned a whole folder away: say which, so the user can act.
    if (summary.TotalFiles == 0) {
      for (const TScanRejection& r : fScanEngine->IncludeRejections()) {
        summaryText += QStringLiteral("\n") + PathText(TScanEngine::DeleteExtendedPrefix(r.Path)) +
                       QStringLiteral(": ") + Tr(r.Check);
      }
    }
    lblSummary->setText(summaryText);
    lblSummary->show();
    // A scan the scan wizard started goes on into the resolve assistant.
    if (fWizardMode) {
      fWizardMode = false;
      RunDeferred([this] { LaunchResolveWizard(); });
    }
  }
  if (!fScanEngine->LastWorkerError().empty()) {
    WriteLog(fScanEngine->LastWorkerError(), lsvError);
    GetUserPrompt().ShowMessage(TMessageKind::mkError, fScanEngine->LastWorkerError());
  }
}

void TfmMain::UpdateStatsInfo() {
  const TScanEngineSummaryInfo& s = fExportInfo.Info;
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
}


void TfmMain::UpdateResultControls() {
  const bool rows = fScanEngine && fScanEngine->ItemCount() > 0 && fStartTag == 0;
  // Processing, the assistant and the export come with their own windows.
  for (QWidget* w : std::initializer_list<QWidget*>{bExport, bProcessSelection, bResolveWizard}) {
    w->setEnabled(false);
    w->setToolTip(rows ? Tr("Not available in this version") : QString());
  }
  for (QWidget* w : std::initializer_list<QWidget*>{bDuplicates, cbCheckAll}) w->setEnabled(rows && !fDisabledUI);
  fResults->CategoryPanel()->setEnabled(fStartTag == 0);
  crbClearResults->setEnabled(rows);
  UpdateProcessingControls(rows);
}

void TfmMain::ClearResults(bool fromButton) {
  if (fromButton && fScanEngine->ItemCount() > 0 &&
      !GetUserPrompt().Confirm(TranslateText("Are you sure you want to clear results?"))) {
    return;
  }
  fExportInfo = {};
  fScanEngine->ClearResults();
  fResults->Model()->ListChanged(fScanEngine->ItemCount());
  fResults->ResetState();
  fProcessing->ClearHistory();
  UpdateStatsInfo();
  lblSummary->hide();
  cbCheckAll->setChecked(false);
  UpdateResultControls();
}

// ================================================================================ start-up, shutdown

void TfmMain::CheckTimerTick() {
  if (Settings.MaximizeOnStartup) showMaximized();
  // Quick tips, the update check and the scan wizard come with their own windows.
  HandleUrlFile();
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
  try {
    Settings.SaveSettings();  // switches the language as well
  } catch (const std::exception& e) {
    WriteLog(e.what(), lsvError);
  }
  GetLanguageController().SetLanguage(code);
}

void TfmMain::ShowAbout() {
  QMessageBox box(this);
  box.setWindowTitle(Tr("About"));
  box.setIconPixmap(AppIcon().pixmap(64, 64));
  box.setText(QStringLiteral("<b>%1</b> %2").arg(QString::fromStdString(std::string(kAppName)), VersionText()));
  box.setInformativeText(Tr("Finds duplicate files in the folders you choose and helps you get rid of them."));
  box.addButton(Tr("OK"), QMessageBox::AcceptRole);
  box.exec();
}

void TfmMain::closeEvent(QCloseEvent* event) {
  if (!fUserConfirm) {
    if (!GetUserPrompt().Confirm(TranslateText("Are you sure you want to close application?"))) {
      event->ignore();
      return;
    }
    fUserConfirm = true;
  }
  fExiting = true;
  if (Settings.KeepUserSettings) SaveUserState();
  EndScanNow();
  event->accept();
}

// ================================================================================ processing: the grid

// The processing commands see the results through these (the rest is in
// MainWindowProcessing.cpp).
IScanView* TfmMain::ProcessingGrid() { return fResults->Model(); }

void TfmMain::ProcessingRowChanged(int Row) { fResults->Model()->RowChanged(Row); }

void TfmMain::ProcessingRefreshGrid() { fResults->Model()->Refresh(); }

}  // namespace pelcrow::ui
