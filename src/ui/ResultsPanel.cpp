#include "ui/ResultsPanel.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QFileDialog>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>

#include <initializer_list>

#include "base/FormatSettings.h"
#include "base/PathText.h"
#include "base/UserPrompt.h"
#include "engine/SearchFilterSettings.h"
#include "engine/ListFile.h"
#include "engine/SearchFilter.h"
#include "logging/Logger.h"
#include "platform/FileTransfer.h"
#include "platform/MountTable.h"
#include "platform/Shell.h"
#include "settings/PcwSettings.h"
#include "ui/FileActions.h"
#include "ui/IgnoreListWindow.h"
#include "ui/SelectCustomFolderDialog.h"
#include "ui/UiText.h"

namespace pelcrow::ui {
namespace {

bool IsFileModeValue(std::uint8_t mode) { return IsFileComparisonMode(mode); }

const char* const kMenuCaptions[miCount] = {
    "File Properties",
    "Open file with associated program",
    "Open with ...",
    "Open the folder containing the file",
    "Picture Preview",
    "Open Recycle Bin",
    "Delete this file",
    "Remove this folder from results",
    "Remove this folder and subfolders from results",
    "Remove this file type (extension) from results",
    "Clean the list from resolved duplicates",
    "Save duplicate list to file",
    "Load duplicate list from file",
    "Search / Filter",
    "Ignore this file",
    "Ignore this pair",
    "Edit the ignore list...",
};

const char* const kTagCaptions[8] = {"Title", "Artist", "Album", "Track", "Year", "Genre", "Duration", "Bit Rate"};

struct TCategoryButton {
  const char* Caption;
  TFilterCategory Category;
};
const TCategoryButton kCategories[] = {{"All Files", fcAllFiles}, {"Video", fcVideo},       {"Pictures", fcPictures},
                                       {"Music", fcMusic},        {"Documents", fcDocuments}, {"Archives", fcArchives},
                                       {"Other", fcOther}};

constexpr int kCheckColumnWidth = 24;

void Say(TMessageKind kind, const char* text) { GetUserPrompt().ShowMessage(kind, TranslateText(text)); }

// The mount point of a folder: the "drive" of the drive-wide rule.
std::string DriveOf(const std::string& folder) {
  const auto table = platform::ReadMountTable();
  const int at = platform::FindMountOf(table, folder);
  return at >= 0 ? table[static_cast<std::size_t>(at)].MountPoint : std::string("/");
}

}  // namespace

std::vector<int> FileListMenuItems(std::uint8_t mode, const TFileItem& item, bool fileExists) {
  std::array<bool, miCount> on{};
  const bool fileMode = IsFileModeValue(mode);
  const bool mail = mode == cmEmails || mode == cmContacts;
  const bool hasExt = item.Name.view().rfind('.') != std::string_view::npos;
  if (fileMode) {
    on[miProperties] = on[miOpen] = on[miOpenWith] = on[miDelete] = fileExists;
    on[miOpenFolder] = on[miRecycleBin] = true;
    on[miPreview] = fileExists && IsPreviewPicture(item.Name.str());
    on[miRemoveExtension] = hasExt;
    on[miSaveList] = on[miLoadList] = on[miSearch] = true;
    on[miIgnoreFile] = on[miIgnorePair] = on[miEditIgnoreList] = !item.fProcessed;
  } else if (mail) {
    on[miOpen] = on[miDelete] = !item.fProcessed;
    on[miOpenFolder] = on[miRecycleBin] = true;
  } else {
    // No photo scanner is built in: it can display and preview nothing.
    on[miDelete] = !item.fProcessed;
  }
  on[miRemoveFolder] = on[miRemoveFolderSub] = on[miClean] = true;
  // Groups in menu order; a separator stands only between two groups that both kept an item.
  const std::vector<std::vector<int>> groups = {
      {miProperties, miOpen, miOpenWith, miOpenFolder, miPreview, miRecycleBin},
      {miDelete},
      {miRemoveFolder, miRemoveFolderSub, miRemoveExtension, miClean},
      {miIgnoreFile, miIgnorePair, miEditIgnoreList},
      {miSaveList, miLoadList},
      {miSearch}};
  std::vector<int> out;
  for (const auto& g : groups) {
    bool first = true;
    for (int i : g) {
      if (!on[static_cast<std::size_t>(i)]) continue;
      if (first && !out.empty()) out.push_back(miSeparator);
      first = false;
      out.push_back(i);
    }
  }
  return out;
}

TResultsPanel::TResultsPanel(TScanEngine* Engine, QWidget* parent) : QWidget(parent), fEngine(Engine) {
  setObjectName(QStringLiteral("pResultsPanel"));
  // The category buttons run along the top of the grid: the grid keeps the whole height.
  auto* h = new QVBoxLayout(this);
  h->setContentsMargins(0, 0, 0, 0);
  h->setSpacing(4);
  h->addWidget(BuildCategoryBar());
  auto* right = new QVBoxLayout;
  right->setSpacing(4);
  right->addWidget(BuildFilterBar());
  right->addWidget(BuildGrid(), 1);
  // Below the grid, so a pane beside it leaves the grid's width alone.
  fDetails = new TDetailsPane(this);
  fDetails->hide();
  right->addWidget(fDetails);
  right->addWidget(BuildLoadPage(), 1);
  h->addLayout(right, 1);
  fViewTimer = new QTimer(this);
  fViewTimer->setSingleShot(true);
  fViewTimer->setInterval(0);
  connect(fViewTimer, &QTimer::timeout, this, &TResultsPanel::UpdateView);
  connect(fModel, &QAbstractItemModel::modelReset, this, &TResultsPanel::ScheduleViewUpdate);
  connect(fModel, &TResultsModel::CheckChanged, this, &TResultsPanel::ScheduleViewUpdate);
  connect(this, &TResultsPanel::SelectionChanged, this, &TResultsPanel::ScheduleViewUpdate);
  connect(sgFileList->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this] {
    if (fDetails->isVisible()) ScheduleViewUpdate();
  });
  BuildShortcuts();
  BuildColumnMenu();
  Retranslate();
  MarkCategory(fcAllFiles);
  CheckColumns();
}

QWidget* TResultsPanel::BuildCategoryBar() {
  CategoryLayout = new QFrame(this);
  CategoryLayout->setObjectName(QStringLiteral("CategoryLayout"));
  auto* cv = new QHBoxLayout(CategoryLayout);
  cv->setContentsMargins(0, 0, 0, 0);
  cv->setSpacing(2);
  for (const TCategoryButton& c : kCategories) {
    auto* b = new QPushButton(CategoryLayout);
    b->setObjectName(QStringLiteral("bCategory") + QString::number(c.Category));
    b->setCheckable(true);
    b->setFocusPolicy(Qt::NoFocus);
    cv->addWidget(b);
    fCategoryButtons.emplace_back(b, c.Category);
    const TFilterCategory cat = c.Category;
    connect(b, &QPushButton::clicked, this, [this, cat] { RefreshFilter(cat); });
  }
  cv->addStretch();
  bDuplicatesOnly = new QPushButton(CategoryLayout);
  bDuplicatesOnly->setObjectName(QStringLiteral("bDuplicatesOnly"));
  bDuplicatesOnly->setCheckable(true);
  bDuplicatesOnly->setFocusPolicy(Qt::NoFocus);
  bDetails = new QPushButton(CategoryLayout);
  bDetails->setObjectName(QStringLiteral("bDetails"));
  bDetails->setCheckable(true);
  bDetails->setFocusPolicy(Qt::NoFocus);
  cv->addWidget(bDuplicatesOnly);
  cv->addWidget(bDetails);
  connect(bDuplicatesOnly, &QPushButton::toggled, this, &TResultsPanel::SetDuplicatesOnly);
  connect(bDetails, &QPushButton::toggled, this, &TResultsPanel::SetDetailsShown);
  return CategoryLayout;
}

QWidget* TResultsPanel::BuildFilterBar() {
  pFilter = new QFrame(this);
  pFilter->setObjectName(QStringLiteral("pFilter"));
  pFilter->setFrameShape(QFrame::StyledPanel);
  auto* fh = new QHBoxLayout(pFilter);
  fh->setContentsMargins(6, 2, 6, 2);
  lFilter = new QLabel(pFilter);
  lFilter->setObjectName(QStringLiteral("txtFilterLabel"));
  bEditFilter = new QPushButton(pFilter);
  bEditFilter->setObjectName(QStringLiteral("bEditFilter"));
  bDisableFilter = new QPushButton(pFilter);
  bDisableFilter->setObjectName(QStringLiteral("bDisableFilter"));
  fh->addWidget(lFilter, 1);
  fh->addWidget(bEditFilter);
  fh->addWidget(bDisableFilter);
  pFilter->hide();
  connect(bEditFilter, &QPushButton::clicked, this, &TResultsPanel::EditFilterRequested);
  connect(bDisableFilter, &QPushButton::clicked, this, &TResultsPanel::DisableFilter);
  return pFilter;
}

QWidget* TResultsPanel::BuildGrid() {
  fModel = new TResultsModel(fEngine, this);
  sgFileList = new TResultsView(fEngine, fModel, this);
  sgFileList->setObjectName(QStringLiteral("sgFileList"));
  sgFileList->setAlternatingRowColors(false);
  // Folders differ at their ends more than at their beginnings.
  sgFileList->setTextElideMode(Qt::ElideMiddle);
  sgFileList->setContextMenuPolicy(Qt::CustomContextMenu);
  sgFileList->horizontalHeader()->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(sgFileList, &QWidget::customContextMenuRequested, this, &TResultsPanel::ShowContextMenu);
  connect(sgFileList->horizontalHeader(), &QWidget::customContextMenuRequested, this, &TResultsPanel::HeaderMenu);
  connect(sgFileList, &TResultsView::SelectionInfoChanged, this, &TResultsPanel::SelectionChanged);
  // A width the user drags is kept; the view's own changes (resets, fitting) are not the user's.
  sgFileList->horizontalHeader()->viewport()->installEventFilter(this);
  connect(sgFileList->horizontalHeader(), &QHeaderView::sectionResized, this, [this](int column, int, int size) {
    if (fFitting || !fDraggingColumn || column <= 0 || column >= fModel->columnCount()) return;
    fUserWidths[fModel->ColumnKind(column)] = size;
  });
  connect(sgFileList, &TResultsView::ViewResized, this, &TResultsPanel::FitColumns);
  connect(fModel, &QAbstractItemModel::modelReset, this, &TResultsPanel::FitColumns);
  connect(sgFileList, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
    if (index.isValid() && index.column() > 0) RunMenuItem(miOpen);
  });
  return sgFileList;
}

bool TResultsPanel::eventFilter(QObject* watched, QEvent* event) {
  if (watched == sgFileList->horizontalHeader()->viewport()) {
    if (event->type() == QEvent::MouseButtonPress) fDraggingColumn = true;
    if (event->type() == QEvent::MouseButtonRelease) {
      fDraggingColumn = false;
      // The folder column takes up what the dragged one gave away, or gives what it took.
      Later([this] { FitColumns(); });
    }
  }
  return QWidget::eventFilter(watched, event);
}

QWidget* TResultsPanel::BuildLoadPage() {
  fLoader = std::make_unique<TListFileLoader>();
  fLoader->OnProgress = [this](int percent) { ShowLoadProgress(percent); };
  fLoader->OnDone = [this](TListFileLoader::TResult& result) { ListLoaded(result); };
  pLoading = new QFrame(this);
  pLoading->setObjectName(QStringLiteral("pLoading"));
  auto* v = new QVBoxLayout(pLoading);
  v->addStretch();
  lblLoading = new QLabel(pLoading);
  lblLoading->setObjectName(QStringLiteral("lblLoading"));
  lblLoading->setAlignment(Qt::AlignCenter);
  lblLoading->setWordWrap(true);
  v->addWidget(lblLoading);
  pbLoading = new QProgressBar(pLoading);
  pbLoading->setObjectName(QStringLiteral("pbLoading"));
  pbLoading->setRange(0, 100);
  pbLoading->setMaximumWidth(420);
  v->addWidget(pbLoading, 0, Qt::AlignHCenter);
  bCancelLoad = new QPushButton(pLoading);
  bCancelLoad->setObjectName(QStringLiteral("bCancelLoad"));
  v->addWidget(bCancelLoad, 0, Qt::AlignHCenter);
  v->addStretch();
  pLoading->hide();
  connect(bCancelLoad, &QPushButton::clicked, this, &TResultsPanel::CancelListLoad);
  return pLoading;
}

void TResultsPanel::BuildShortcuts() {
  for (const auto& [keys, command] : {std::pair{QKeySequence(Qt::CTRL | Qt::Key_S), scFolder},
                                      std::pair{QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), scFolderSub}}) {
    auto* shortcut = new QShortcut(keys, this);
    shortcut->setContext(Qt::WindowShortcut);
    const int c = command;
    connect(shortcut, &QShortcut::activated, this, [this, c] {
      if (sgFileList->isVisible() && sgFileList->isEnabled() && fEngine->ItemCount() > 0) RunSelectCommand(c);
    });
  }
}

void TResultsPanel::BuildColumnMenu() {
  pmColumns = new QMenu(this);
  pmColumns->setObjectName(QStringLiteral("pmColumns"));
  for (int t = 0; t < 8; ++t) {
    QAction* a = pmColumns->addAction(QString());
    a->setCheckable(true);
    connect(a, &QAction::triggered, this, [this, t](bool on) {
      // The column set changes after the menu has closed.
      Later([this, t, on] { SetUserTag(t, on); });
    });
  }
}

void TResultsPanel::Later(std::function<void()> action) {
  if (Defer)
    Defer(std::move(action));
  else
    action();
}

void TResultsPanel::Retranslate() {
  for (std::size_t i = 0; i < fCategoryButtons.size(); ++i) fCategoryButtons[i].first->setText(Tr(kCategories[i].Caption));
  KeepCategoryWidths();
  lFilter->setText(QString::fromStdString(SearchFilterLabel(SearchFilterFiles)));
  bEditFilter->setText(Tr("Edit Filter"));
  bDisableFilter->setText(Tr("Disable Filter"));
  bDuplicatesOnly->setText(Tr("Duplicates only"));
  bDuplicatesOnly->setToolTip(Tr("Hide the copy of each group that the selection keeps"));
  bDetails->setText(Tr("Details"));
  bDetails->setToolTip(Tr("Show the focused file beside its group's kept copy"));
  fDetails->Retranslate();
  lblLoading->setText(Tr("Loading duplicate list ..."));
  bCancelLoad->setText(Tr("Cancel"));
  const auto actions = pmColumns->actions();
  for (int t = 0; t < 8 && t < actions.size(); ++t) actions[t]->setText(Tr(kTagCaptions[t]));
  fModel->Retranslate();
}

std::uint8_t TResultsPanel::ShownTags() const {
  if (fEngine->CompareMode() != cmMusicTags) return 0;
  std::uint8_t bits = static_cast<std::uint8_t>(Settings.MusicTagsOptions.ToBits() & 0xFF);
  for (int t = 0; t < 8; ++t)
    if (fUserTags[static_cast<std::size_t>(t)]) bits = static_cast<std::uint8_t>(bits | (1u << t));
  return bits;
}

void TResultsPanel::CheckColumns() {
  const bool music = fEngine->CompareMode() == cmMusicTags;
  const std::uint8_t compared = music ? static_cast<std::uint8_t>(Settings.MusicTagsOptions.ToBits() & 0xFF) : 0;
  const auto actions = pmColumns->actions();
  for (int t = 0; t < 8 && t < actions.size(); ++t) {
    const bool isOption = compared & (1u << t);
    actions[t]->setEnabled(music && !isOption);
    actions[t]->setChecked(music && (isOption || fUserTags[static_cast<std::size_t>(t)]));
  }
  fModel->CheckColumns(ShownTags());
  CategoryLayout->setVisible(IsFileModeValue(fEngine->CompareMode()));
  // They may live elsewhere in the window, but belong to the file modes as the categories do.
  bDuplicatesOnly->setVisible(CategoryLayout->isVisibleTo(this));
  bDetails->setVisible(CategoryLayout->isVisibleTo(this));
  sgFileList->ResetSorting();
  FitColumns();
}

// Every column is as wide as its caption with the sort mark and the cells in view need (or as the
// user dragged it); the folder column (the subject, the name in other modes) takes what the window
// has left, and is elided in the middle when that is too little.
void TResultsPanel::FitColumns() {
  const int count = fModel->columnCount();
  if (count <= 1) return;
  if (fFitting) {
    // The room changed while fitting (a scroll bar came or went): once more with the new room.
    fRefit = true;
    return;
  }
  const QScopedValueRollback<bool> fitting(fFitting, true);
  fRefit = false;
  QHeaderView* header = sgFileList->horizontalHeader();
  header->setStretchLastSection(false);
  sgFileList->setColumnWidth(0, kCheckColumnWidth);
  const int room = sgFileList->viewport()->width();
  // The cells in view; the table view keeps its measure protected.
  const QAbstractItemView* cells = sgFileList;
  int flexible = -1;
  for (const int kind : {int(rcPath), int(rcSubject), int(rcFullName), int(rcName)}) {
    const int c = fModel->ColumnOf(kind);
    if (c > 0 && !fUserWidths.count(kind)) {
      flexible = c;
      break;
    }
  }
  QList<int> widths(count, 0);
  QList<int> least(count, 0);
  int used = kCheckColumnWidth;
  for (int c = 1; c < count; ++c) {
    const int kind = fModel->ColumnKind(c);
    least[c] = header->sectionSizeHint(c);
    const auto user = fUserWidths.find(kind);
    int w = user != fUserWidths.end() ? std::max(user->second, header->minimumSectionSize())
                                      : std::max(least[c], cells->sizeHintForColumn(c));
    // A long name or subject does not crowd the others out.
    if (user == fUserWidths.end() && c != flexible) w = std::min(w, std::max(least[c], room * 2 / 5));
    widths[c] = w;
    if (c != flexible) used += w;
  }
  if (flexible > 0) widths[flexible] = std::max(least[flexible], room - used);
  for (int c = 1; c < count; ++c) sgFileList->setColumnWidth(c, widths[c]);
  if (fRefit) QTimer::singleShot(0, this, &TResultsPanel::FitColumns);
}

std::string TResultsPanel::ColumnWidthsText() const {
  std::string out;
  for (const auto& [kind, width] : fUserWidths) {
    if (!out.empty()) out += ',';
    out += std::to_string(kind) + ':' + std::to_string(width);
  }
  return out;
}

void TResultsPanel::SetColumnWidthsText(const std::string& text) {
  fUserWidths.clear();
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = std::min(text.find(',', start), text.size());
    const std::string pair = text.substr(start, end - start);
    start = end + 1;
    const std::size_t colon = pair.find(':');
    if (colon == std::string::npos) continue;
    try {
      const int kind = std::stoi(pair.substr(0, colon));
      const int width = std::stoi(pair.substr(colon + 1));
      if (kind > rcCheck && kind <= rcEmail3 && width > 0 && width < 10000) fUserWidths[kind] = width;
    } catch (const std::exception&) {
      // A hand-edited value that is no number is left out.
    }
  }
  FitColumns();
}

void TResultsPanel::SetUserTag(int tag, bool on) {
  if (tag < 0 || tag >= 8) return;
  fUserTags[static_cast<std::size_t>(tag)] = on;
  CheckColumns();
}

void TResultsPanel::HeaderMenu(const QPoint& pos) {
  if (fEngine->CompareMode() != cmMusicTags) return;
  pmColumns->popup(sgFileList->horizontalHeader()->mapToGlobal(pos));
}

void TResultsPanel::MarkCategory(TFilterCategory category) {
  fCategory = category;
  for (auto& [b, c] : fCategoryButtons) {
    b->setChecked(c == category);
    QFont f = b->font();
    f.setBold(c == category);
    b->setFont(f);
  }
}

// The pressed button's caption turns bold: each button is as wide as its bold caption needs, so
// that a press never shifts the row.
void TResultsPanel::KeepCategoryWidths() {
  for (auto& entry : fCategoryButtons) {
    QPushButton* b = entry.first;
    const QFont shown = b->font();
    QFont bold = shown;
    bold.setBold(true);
    b->setMinimumWidth(0);
    b->setFont(bold);
    const int width = b->sizeHint().width();
    b->setFont(shown);
    b->setMinimumWidth(width);
  }
}

void TResultsPanel::ResetState() {
  MarkCategory(fcAllFiles);
  pFilter->hide();
  sgFileList->ResetSorting();
}

bool TResultsPanel::FilterBarVisible() const { return !pFilter->isHidden(); }

void TResultsPanel::RefreshFilter(TFilterCategory category) {
  MarkCategory(category);
  sgFileList->clearSelection();
  if (fEngine->ScanThreadExecuting()) return;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  if (FilterBarVisible()) {
    fEngine->SetCategoryFilter(category, true, false);
    fEngine->FilterResults(fModel, SearchFilterFiles);
  } else {
    fEngine->SetCategoryFilter(category, false, false);
  }
  QApplication::restoreOverrideCursor();
  emit ResultsChanged();
  emit SelectionChanged();
}

bool TResultsPanel::SearchFrom(int& Position) {
  const TSearchFilterMatcher match(SearchFilterFiles);
  for (int row = std::max(0, Position); row < fEngine->ItemCount(); ++row) {
    if (!match.Matches(*fEngine->Item(row))) continue;
    const QModelIndex at = fModel->index(row, 1);
    sgFileList->setCurrentIndex(at);
    sgFileList->scrollTo(at);
    Position = row + 1;
    return true;
  }
  return false;
}

void TResultsPanel::ApplySearchFilter() {
  if (fEngine->ScanThreadExecuting()) return;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  fEngine->FilterResults(fModel, SearchFilterFiles);
  QApplication::restoreOverrideCursor();
  lFilter->setText(QString::fromStdString(SearchFilterLabel(SearchFilterFiles)));
  pFilter->show();
  emit ResultsChanged();
  emit SelectionChanged();
}

void TResultsPanel::DisableFilter() {
  if (!fEngine->ScanThreadExecuting()) fEngine->CloseFilterResults(fModel);
  pFilter->hide();
  emit ResultsChanged();
  emit SelectionChanged();
}

int TResultsPanel::FocusedRow() const {
  const QModelIndex i = sgFileList->currentIndex();
  return i.isValid() && i.row() < fEngine->ItemCount() ? i.row() : -1;
}

bool TResultsPanel::ValidFocus() {
  if (FocusedRow() >= 0) return true;
  Say(TMessageKind::mkInformation, "No items selected in scan results list. Please select any item to proceed.");
  return false;
}

std::string TResultsPanel::FocusedPath() const {
  const int row = FocusedRow();
  return row < 0 ? std::string() : DeleteExtendedPrefix(fEngine->Item(row)->FullPath());
}

QMenu* TResultsPanel::DuplicatesMenu(bool masterMode) {
  auto* menu = new QMenu(this);
  menu->setAttribute(Qt::WA_DeleteOnClose);
  auto add = [this, menu](const char* caption, int command, const QKeySequence& keys = {}) {
    QAction* a = menu->addAction(Tr(caption));
    a->setShortcut(keys);
    a->setData(command);
    connect(a, &QAction::triggered, this, [this, command] { RunSelectCommand(command); });
  };
  if (masterMode) {
    menu->setObjectName(QStringLiteral("pmMasterMode"));
    add("UnSelect All", scUnselectAll);
    return menu;
  }
  menu->setObjectName(QStringLiteral("pmDuplicates"));
  if (IsFileModeValue(fEngine->CompareMode())) add("All on this Drive", scDrive);
  add("All in this Folder", scFolder, QKeySequence(Qt::CTRL | Qt::Key_S));
  add("All in this Folder and Subfolders", scFolderSub, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
  add("All in group except this one", scGroupButThis);
  menu->addSeparator();
  add("Leave the newest version in each Dup. Group", scLeaveNewest);
  add("Leave the oldest version in each Dup. Group", scLeaveOldest);
  add("Leave files with original names in each Dup. Group", scLeaveOriginal);
  menu->addSeparator();
  add("Leave files from this Folder", scLeaveFolder);
  add("Leave files from this Folder and Subfolders", scLeaveFolderSub);
  add("Leave all files in Custom Folder", scLeaveCustomFolder);
  menu->addSeparator();
  add("Reverse Selection", scReverse);
  add("UnSelect All", scUnselectAll);
  return menu;
}

void TResultsPanel::RunSelectCommand(int command) {
  if (fEngine->ScanThreadExecuting()) return;
  const bool needsRow = command != scLeaveNewest && command != scLeaveOldest && command != scLeaveOriginal &&
                        command != scReverse && command != scUnselectAll;
  if (needsRow && !ValidFocus()) return;
  const int row = FocusedRow();
  QApplication::setOverrideCursor(Qt::WaitCursor);
  switch (command) {
    case scDrive: fEngine->SelectDuplicatesInSameFolder(DriveOf(fEngine->Item(row)->Path.str()), true); break;
    case scFolder: fEngine->SelectDuplicatesInSameFolder(fEngine->Item(row)->Path.str(), false); break;
    case scFolderSub: fEngine->SelectDuplicatesInSameFolder(fEngine->Item(row)->Path.str(), true); break;
    case scGroupButThis: fEngine->SelectAllInGroupButThisOne(fModel, row); break;
    case scLeaveNewest:
    case scLeaveOldest:
    case scLeaveOriginal: {
      // The rules walk the list in group order.
      sgFileList->ResetSorting();
      const TSelectMethod m = command == scLeaveNewest   ? smSelectAllLeaveNewest
                              : command == scLeaveOldest ? smSelectAllLeaveOldest
                                                         : smSelectAllLeaveOriginalName;
      fEngine->AutoSelect(fModel, m);
      break;
    }
    case scLeaveFolder: fEngine->SelectAllExceptThisFolder(fModel, row, false); break;
    case scLeaveFolderSub: fEngine->SelectAllExceptThisFolder(fModel, row, true); break;
    case scLeaveCustomFolder: {
      QApplication::restoreOverrideCursor();
      std::vector<std::string> folders;
      fEngine->FillPathList(folders);
      std::sort(folders.begin(), folders.end());
      folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
      TfmSelectCustomFolder dlg(window());
      dlg.InitFolderList(folders);
      dlg.SetSelectedFolder(fEngine->Item(row)->Path.str());
      if (dlg.exec() == QDialog::Accepted && !dlg.SelectedFolder().empty())
        fEngine->SelectAllExceptThisFolder(fModel, dlg.SelectedFolder(), dlg.IncludeSubfolder());
      QApplication::setOverrideCursor(Qt::WaitCursor);
      break;
    }
    case scReverse: fEngine->ReverseSelection(fModel); break;
    case scUnselectAll: fEngine->UnSelectAll(fModel); break;
    default: break;
  }
  QApplication::restoreOverrideCursor();
  fModel->Refresh();
  emit SelectionChanged();
}

void TResultsPanel::CheckAll(bool on, bool masterMode) {
  if (fEngine->ScanThreadExecuting()) return;
  if (on) {
    fEngine->SelectAll(fModel);
    if (masterMode) Say(TMessageKind::mkInformation, "Master Select Mode is ON. Only non-master files were selected.");
  } else {
    fEngine->UnSelectAll(fModel);
  }
  fModel->Refresh();
  emit SelectionChanged();
}

QString TResultsPanel::SelectedText(bool* allChecked) const {
  int selected = 0;
  int active = 0;
  const std::string text = fEngine->GetSelectedInfo(selected, active);
  if (allChecked) *allChecked = selected > 0 && selected == active;
  return QString::fromStdString(text);
}

QMenu* TResultsPanel::BuildContextMenu(int row) {
  auto* menu = new QMenu(this);
  menu->setAttribute(Qt::WA_DeleteOnClose);
  std::vector<int> items;
  if (row >= 0 && row < fEngine->ItemCount()) {
    menu->setObjectName(QStringLiteral("pmForFileList"));
    const PFileItem it = fEngine->Item(row);
    items = FileListMenuItems(fEngine->CompareMode(), *it,
                              platform::PathExists(DeleteExtendedPrefix(it->FullPath())));
  } else {
    menu->setObjectName(QStringLiteral("pmLoadList"));
    if (IsFileModeValue(fEngine->CompareMode())) items = {miLoadList};
  }
  for (int i : items) {
    if (i == miSeparator) {
      menu->addSeparator();
      continue;
    }
    if (i == miIgnorePair) {
      QMenu* pairs = IgnorePairMenu(row, menu);
      pairs->menuAction()->setData(i);
      menu->addMenu(pairs);
      continue;
    }
    QAction* a = menu->addAction(Tr(kMenuCaptions[i]));
    a->setData(i);
    connect(a, &QAction::triggered, this, [this, i] { RunMenuItem(i); });
  }
  return menu;
}

void TResultsPanel::ShowContextMenu(const QPoint& pos) {
  if (fEngine->ScanThreadExecuting()) return;
  const QModelIndex index = sgFileList->indexAt(pos);
  if (index.isValid()) sgFileList->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  QMenu* menu = BuildContextMenu(index.isValid() ? index.row() : -1);
  if (menu->actions().isEmpty()) {
    delete menu;
    return;
  }
  menu->popup(sgFileList->viewport()->mapToGlobal(pos));
}

// The mail plug-in shows a message, its folder, or (Action null) its deleted-items folder; a
// failure is said with its reason.
void TResultsPanel::AskPlugin(int row, void (IScanEnginePlugin::*Action)(std::int32_t)) {
  IScanEnginePlugin* plugin = fEngine->ScannerPlugin();
  if (!plugin) return;
  try {
    if (!Action) {
      plugin->DisplayDeletedItemsFolder();
      return;
    }
    const int index = TScanEngine::PluginIndex(*fEngine->Item(row));
    if (index >= 0) (plugin->*Action)(index);
  } catch (const std::exception& e) {
    GetUserPrompt().ShowMessage(TMessageKind::mkError, e.what());
  }
}

void TResultsPanel::RunMenuItem(int item) {
  if (fEngine->ScanThreadExecuting()) return;
  const int row = FocusedRow();
  const bool needsRow = item != miLoadList && item != miSaveList && item != miRecycleBin && item != miClean && item != miSearch;
  if (needsRow && row < 0) return;
  const bool fileMode = IsFileModeValue(fEngine->CompareMode());
  switch (item) {
    case miOpen:
      if (fileMode) OpenItemFile(FocusedPath());
      else AskPlugin(row, &IScanEnginePlugin::DisplayItem);
      break;
    case miOpenWith: OpenItemWith(FocusedPath(), window()); break;
    case miOpenFolder:
      if (fileMode) OpenItemFolder(DeleteExtendedPrefix(fEngine->Item(row)->Path.str()));
      else AskPlugin(row, &IScanEnginePlugin::DisplayFolder);
      break;
    case miRecycleBin:
      if (fileMode) platform::OpenRecycleBin();
      else AskPlugin(-1, nullptr);
      break;
    case miProperties:
      ShowItemProperties(FocusedPath(), window());
      emit PropertiesShown();
      break;
    case miPreview: {
      const std::string path = FocusedPath();
      Later([this, path] { ShowPicturePreview(path, window()); });
      break;
    }
    case miDelete: emit DeleteFocusedRequested(); break;
    case miRemoveFolder:
    case miRemoveFolderSub:
    case miRemoveExtension:
      Later([this, item, row] {
        if (row >= fEngine->ItemCount() || fEngine->ScanThreadExecuting()) return;
        if (item == miRemoveFolder) fEngine->RemoveByFolder(row);
        else if (item == miRemoveFolderSub) fEngine->RemoveByFolderSub(row);
        else fEngine->RemoveByExtension(row);
        emit ResultsChanged();
        emit SelectionChanged();
      });
      break;
    case miClean:
      Later([this] {
        if (fEngine->ItemCount() == 0 || fEngine->ScanThreadExecuting()) return;
        fEngine->CleanResolved();
        emit HistoryInvalidated();
        emit ResultsChanged();
        emit SelectionChanged();
      });
      break;
    case miSaveList: SaveListClick(); break;
    case miLoadList: LoadListClick(); break;
    case miSearch: emit EditFilterRequested(); break;
    case miIgnoreFile: Later([this, row] { IgnoreFile(row); }); break;
    case miEditIgnoreList: ShowIgnoreListEditor(window()); break;
    default: break;
  }
}

// One entry per other copy of the row's group: the pair is the row and that copy.
QMenu* TResultsPanel::IgnorePairMenu(int row, QWidget* parent) {
  auto* menu = new QMenu(Tr(kMenuCaptions[miIgnorePair]), parent);
  menu->setObjectName(QStringLiteral("pmIgnorePair"));
  const PFileItem item = fEngine->Item(row);
  constexpr int kMaxShown = 25;
  int shown = 0;
  for (int k = 0; k < fEngine->ItemCount() && shown < kMaxShown; ++k) {
    const PFileItem other = fEngine->Item(k);
    if (k == row || other->DupGroup != item->DupGroup) continue;
    const std::string path = other->FullPath();
    QAction* a = menu->addAction(Tr("with") + " " + PathText(DeleteExtendedPrefix(path)));
    connect(a, &QAction::triggered, this, [this, row, path] { Later([this, row, path] { IgnorePair(row, path); }); });
    ++shown;
  }
  menu->setEnabled(shown > 0);
  return menu;
}

void TResultsPanel::IgnoreFile(int row) {
  if (row < 0 || row >= fEngine->ItemCount() || fEngine->ScanThreadExecuting()) return;
  const std::string path = fEngine->Item(row)->FullPath();
  TIgnoreList added;
  added.AddFile(path);
  if (!ChangeUserIgnoreList([&path](TIgnoreList& list) { return list.AddFile(path); })) return;
  fEngine->IgnoreInResults(added);
  emit ResultsChanged();
  emit SelectionChanged();
}

void TResultsPanel::IgnorePair(int row, const std::string& otherPath) {
  if (row < 0 || row >= fEngine->ItemCount() || fEngine->ScanThreadExecuting()) return;
  const std::string path = fEngine->Item(row)->FullPath();
  TIgnoreList added;
  added.AddPair(path, otherPath);
  if (!ChangeUserIgnoreList([&](TIgnoreList& list) { return list.AddPair(path, otherPath); })) return;
  fEngine->IgnoreInResults(added);
  emit ResultsChanged();
  emit SelectionChanged();
}

void TResultsPanel::SetDuplicatesOnly(bool on) {
  fDuplicatesOnly = on;
  if (bDuplicatesOnly->isChecked() != on) bDuplicatesOnly->setChecked(on);
  UpdateView();
}

void TResultsPanel::SetDetailsShown(bool on) {
  if (bDetails->isChecked() != on) bDetails->setChecked(on);
  fDetails->setVisible(on);
  UpdateView();
}

void TResultsPanel::ScheduleViewUpdate() { fViewTimer->start(); }

void TResultsPanel::UpdateView() {
  fViewTimer->stop();
  const int rows = fModel->rowCount();
  const bool wanted = fDuplicatesOnly || fDetails->isVisible();
  const std::vector<char> kept = wanted ? fEngine->KeptRows() : std::vector<char>();
  if (fDuplicatesOnly || fShownHidden) {
    sgFileList->setUpdatesEnabled(false);
    for (int r = 0; r < rows; ++r) {
      const bool hideRow = fDuplicatesOnly && static_cast<std::size_t>(r) < kept.size() && kept[static_cast<std::size_t>(r)];
      if (sgFileList->isRowHidden(r) != hideRow) sgFileList->setRowHidden(r, hideRow);
    }
    sgFileList->setUpdatesEnabled(true);
    fShownHidden = fDuplicatesOnly;
  }
  if (!fDetails->isVisible()) return;
  const int row = FocusedRow();
  if (row < 0 || row >= static_cast<int>(kept.size())) {
    fDetails->ShowItems(nullptr, nullptr, true);
    return;
  }
  const PFileItem focused = fEngine->Item(row);
  PFileItem keptCopy = nullptr;
  PFileItem next = nullptr;
  for (int k = 0; k < fEngine->ItemCount(); ++k) {
    const PFileItem it = fEngine->Item(k);
    if (it->DupGroup != focused->DupGroup) continue;
    if (kept[static_cast<std::size_t>(k)]) keptCopy = it;
    else if (k != row && !next && !it->fProcessed) next = it;
  }
  if (keptCopy == focused) {
    fDetails->ShowItems(focused, next, false);
  } else {
    fDetails->ShowItems(focused, keptCopy, true);
  }
}

bool TResultsPanel::SaveListTo(const std::string& file) {
  try {
    fEngine->SaveToFile(file);
  } catch (const std::exception& e) {
    WriteLog(e.what(), lsvError);
    Say(TMessageKind::mkWarning, "Failed to save Duplicate list.");
    return false;
  }
  Say(TMessageKind::mkInformation, "Duplicate list saved successfully.");
  return true;
}

bool TResultsPanel::LoadListFrom(const std::string& file) {
  if (fEngine->ScanThreadExecuting() || fLoader->Running()) return false;
  if (!fLoader->Start(file, {fEngine->CompareMode(), GetFormatSettings()})) return false;
  fLoadMasterMode = Settings.MasterSelectMode;
  lblLoading->setText(Tr("Loading duplicate list ...") + QLatin1Char('\n') + PathText(file));
  ShowLoadProgress(0);
  ShowLoadPage(true);
  emit ListLoadStarted(PathText(file));
  return true;
}

void TResultsPanel::CancelListLoad() {
  if (!fLoader->Running()) return;
  fLoader->Cancel();
  ShowLoadPage(false);
  emit ListLoadEnded(false);
}

void TResultsPanel::ShowLoadPage(bool on) {
  // The old rows stay behind the page until the new ones are ready.
  sgFileList->setVisible(!on);
  pLoading->setVisible(on);
  CategoryLayout->setEnabled(!on);
  if (on) bCancelLoad->setFocus();
}

void TResultsPanel::ShowLoadProgress(int percent) {
  pbLoading->setValue(percent);
  emit ListLoadProgress(percent);
}

namespace {

// "%d" and "%s" of a translated text, filled in order.
QString FillIn(QString text, std::initializer_list<QString> values) {
  qsizetype from = 0;
  for (const QString& v : values) {
    qsizetype d = text.indexOf(QStringLiteral("%d"), from);
    const qsizetype s = text.indexOf(QStringLiteral("%s"), from);
    if (d < 0 || (s >= 0 && s < d)) d = s;
    if (d < 0) break;
    text.replace(d, 2, v);
    from = d + v.size();
  }
  return text;
}

// Why a list did not load, in the user's language.
QString LoadFailureReason(const TListFileLoader::TResult& r) {
  switch (r.Fault) {
    case TListFileFault::lfNotAList: return Tr("The file does not begin with \"[Version 1]\".");
    case TListFileFault::lfBadLine:
      return FillIn(Tr("Line %d, field %d: %s"), {QString::number(r.Line), QString::number(r.Field), Tr(r.Detail)});
    case TListFileFault::lfUnreadable:
    case TListFileFault::lfNotWritten: break;
  }
  return FillIn(Tr("The file cannot be read: %s"), {QString::fromStdString(r.Detail)});
}

}  // namespace

void TResultsPanel::ListLoaded(TListFileLoader::TResult& result) {
  if (!result.Loaded) {
    WriteLog(result.LogText, lsvError);
    ShowLoadPage(false);
    emit ListLoadEnded(false);
    // The results the user had stay; the message says why the file was refused.
    GetUserPrompt().ShowMessage(TMessageKind::mkWarning, TranslateText(kListNotSupportedMessage) + "\n\n" +
                                                             LoadFailureReason(result).toStdString());
    return;
  }
  MarkCategory(fcAllFiles);
  pFilter->hide();
  // The replaced items are freed away from this thread: a million of them take a while.
  std::vector<PFileItem> previous;
  fEngine->TakeList(fModel, std::move(result.List), fLoadMasterMode, &previous);
  fLoader->Discard(std::move(previous));
  emit HistoryInvalidated();  // the loaded items carry no action records
  sgFileList->ResetSorting();
  ShowLoadPage(false);
  emit ListLoadEnded(true);
  emit ResultsChanged();
  emit SelectionChanged();
  Say(TMessageKind::mkInformation, kListLoadedMessage);
}

void TResultsPanel::SaveListClick() {
  const QString proposed = QStringLiteral("DupFiles") + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")) +
                           QStringLiteral(".dup");
  QFileDialog dlg(window(), Tr("Save duplicate list to file"));
  dlg.setAcceptMode(QFileDialog::AcceptSave);
  dlg.setNameFilter(Tr("Duplicate files (*.dup)"));
  dlg.setDefaultSuffix(QStringLiteral("dup"));
  dlg.selectFile(proposed);
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return;
  SaveListTo(PathBytes(dlg.selectedFiles().first()));
}

void TResultsPanel::LoadListClick() {
  QFileDialog dlg(window(), Tr("Load duplicate list from file"));
  dlg.setAcceptMode(QFileDialog::AcceptOpen);
  dlg.setFileMode(QFileDialog::ExistingFile);
  dlg.setNameFilter(Tr("Duplicate files (*.dup)"));
  dlg.setDefaultSuffix(QStringLiteral("dup"));
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return;
  LoadListFrom(PathBytes(dlg.selectedFiles().first()));
}

void TResultsPanel::FileRenamed(const std::string& oldPath, const std::string& newPath) {
  // A scan fills the items from its worker: they are not ours to change until it ends.
  if (fEngine->ScanThreadExecuting()) return;
  const auto split = [](const std::string& p) {
    const auto slash = p.find_last_of('/');
    return slash == std::string::npos ? std::pair<std::string, std::string>{{}, p}
                                      : std::pair<std::string, std::string>{p.substr(0, slash), p.substr(slash + 1)};
  };
  const auto [oldFolder, oldName] = split(oldPath);
  const auto [newFolder, newName] = split(newPath);
  for (int row = 0; row < fEngine->ItemCount(); ++row) {
    PFileItem item = fEngine->Item(row);
    if (item->Name.view() != oldName || item->Path.view() != oldFolder) continue;
    item->Name = newName;
    item->Path = newFolder;
    fModel->RowChanged(row);
  }
}

}  // namespace pelcrow::ui
