#include "ui/FolderListPanel.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QStyle>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

#include "base/UserPrompt.h"
#include "platform/FileSystem.h"
#include "platform/FolderTree.h"
#include "platform/SpecialFolders.h"
#include "plugins/ScannerBase.h"
#include "settings/FileMasks.h"
#include "ui/FolderWidgets.h"
#include "ui/ScanFilterBox.h"
#include "ui/ScanModes.h"
#include "ui/UiText.h"

namespace pelcrow::ui {
namespace {

void Message(TMessageKind kind, const char* text) { GetUserPrompt().ShowMessage(kind, TranslateText(text)); }

// Follows links, as a folder given by a link is scanned as that folder.
bool IsFolder(const std::string& path) {
  platform::TFileInfo info;
  return platform::Stat(path, info) == 0 && info.Type == platform::TEntryType::etDirectory;
}

std::vector<std::string> ListEntries(const QListWidget* list) {
  std::vector<std::string> out;
  for (int i = 0; i < list->count(); ++i) out.push_back(list->item(i)->data(Qt::UserRole).toByteArray().toStdString());
  return out;
}

// Hidden and system folders are refused by the current options: reason 2 is a system or
// application folder.
TDropWarning SpecialFolderWarning(int reason) { return reason == 2 ? TDropWarning::dwSysApp : TDropWarning::dwHidden; }

}  // namespace

TFolderListPanel::TFolderListPanel(QWidget* parent) : QFrame(parent) {
  setObjectName(QStringLiteral("pUpper"));
  DblclkTimer = new QTimer(this);
  DblclkTimer->setInterval(350);
  DblclkTimer->setSingleShot(true);
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(12, 6, 12, 6);
  grid->setHorizontalSpacing(10);
  grid->addWidget(BuildTree(), 0, 0);
  grid->addLayout(BuildButtons(), 0, 1);
  grid->addLayout(BuildLists(), 0, 2);
  // The masks and size limits run under the tree and the lists both: under the lists alone they
  // do not fit a narrow window.
  grid->addWidget(fFilters, 1, 0, 1, 3);
  grid->setVerticalSpacing(6);
  grid->setColumnStretch(0, 1);
  grid->setColumnStretch(2, 2);
  grid->setRowStretch(0, 1);
  ConnectSignals();
}

// The tree with its refresh button in its caption row: laid over the entries it hid one.
QWidget* TFolderListPanel::BuildTree() {
  tvFolderList = new TFolderTree(this);
  tvFolderList->setObjectName(QStringLiteral("tvFolderList"));
  tvFolderList->setMinimumWidth(170);
  tvFolderList->setHeaderHidden(false);
  QHeaderView* header = tvFolderList->header();
  header->setSectionsClickable(false);
  ImageRefresh = new QToolButton(header);
  ImageRefresh->setObjectName(QStringLiteral("ImageRefresh"));
  ImageRefresh->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
  ImageRefresh->setIconSize(QSize(14, 14));
  ImageRefresh->setAutoRaise(true);
  ImageRefresh->setStyleSheet(QStringLiteral("QToolButton { padding: 0px; border: none; background: transparent; }"));
  ImageRefresh->setProperty(kStatusHintProperty, QByteArray("Refresh button renews the list of folders in the tree"));
  auto* row = new QHBoxLayout(header);
  row->setContentsMargins(0, 0, 4, 0);
  row->addStretch();
  row->addWidget(ImageRefresh);
  return tvFolderList;
}

QLayout* TFolderListPanel::BuildButtons() {
  auto* buttons = new QVBoxLayout;
  buttons->setSpacing(4);
  bAdd = new QPushButton(this);
  bAdd->setObjectName(QStringLiteral("bAdd"));
  bRemove = new QPushButton(this);
  bRemove->setObjectName(QStringLiteral("bRemove"));
  bClear = new QPushButton(this);
  bClear->setObjectName(QStringLiteral("bClear"));
  bWizard = new QPushButton(this);
  bWizard->setObjectName(QStringLiteral("bWizard"));
  bAdd->setIcon(style()->standardIcon(QStyle::SP_ArrowRight));
  bAdd->setLayoutDirection(Qt::RightToLeft);
  for (QPushButton* b : {bAdd, bRemove, bClear, bWizard}) {
    b->setMinimumWidth(96);
    buttons->addWidget(b);
  }
  buttons->addStretch();
  return buttons;
}

// The two lists as tabs.
QLayout* TFolderListPanel::BuildLists() {
  tcPathList = new QTabWidget(this);
  tcPathList->setObjectName(QStringLiteral("tcPathList"));
  lbInclude = new TPathListBox(tcPathList);
  lbInclude->setObjectName(QStringLiteral("lbInclude"));
  lbExclude = new TPathListBox(tcPathList);
  lbExclude->setObjectName(QStringLiteral("lbExclude"));
  lbReference = new TPathListBox(tcPathList);
  lbReference->setObjectName(QStringLiteral("lbReference"));
  tcPathList->addTab(lbInclude, QString());
  tcPathList->addTab(lbExclude, QString());
  tcPathList->addTab(lbReference, QString());
  fFilters = new TScanFilterBox(this);
  auto* right = new QVBoxLayout;
  right->addWidget(tcPathList, 1);
  return right;
}

void TFolderListPanel::ConnectSignals() {
  connect(DblclkTimer, &QTimer::timeout, this, [this] {
    if (QTreeWidgetItem* item = tvFolderList->currentItem()) item->setExpanded(!item->isExpanded());
  });
  // A single click waits to see whether a double click follows, which adds the folder instead.
  connect(tvFolderList, &QTreeWidget::itemClicked, DblclkTimer, qOverload<>(&QTimer::start));
  connect(tvFolderList, &QTreeWidget::itemDoubleClicked, this, &TFolderListPanel::OnTreeDoubleClicked);
  connect(tvFolderList, &TFolderTree::dragStarted, DblclkTimer, &QTimer::stop);
  connect(ImageRefresh, &QToolButton::clicked, this, &TFolderListPanel::RefreshTree);
  connect(bAdd, &QPushButton::clicked, this, &TFolderListPanel::AddClick);
  connect(bRemove, &QPushButton::clicked, this, &TFolderListPanel::RemoveClick);
  connect(bClear, &QPushButton::clicked, this, &TFolderListPanel::ClearListClick);
  connect(bWizard, &QPushButton::clicked, this, &TFolderListPanel::wizardRequested);
  for (TPathListBox* list : {lbInclude, lbExclude, lbReference}) {
    connect(list, &TPathListBox::pathsDropped, this,
            [this, list](const QStringList& paths, bool fromTree) { DropOnList(list, paths, fromTree); });
    connect(list, &TPathListBox::dragEntered, DblclkTimer, &QTimer::stop);
  }
}

void TFolderListPanel::Retranslate() {
  ImageRefresh->setToolTip(Tr("Refresh button renews the list of folders in the tree"));
  tvFolderList->setHeaderLabel(Tr("Folders"));
  tvFolderList->RetranslateRoots();
  bAdd->setText(Tr("Add"));
  bRemove->setText(Tr("Remove"));
  bClear->setText(Tr("Clear"));
  bWizard->setText(Tr("Wizard"));
  SetTabCaptions();
  lbInclude->SetHintText(Tr("Drop Folders Here to Scan"));
  lbReference->SetHintText(Tr("Drop folders whose files always stay"));
  fFilters->Retranslate();
}

void TFolderListPanel::SetTabCaptions() {
  if (IsMasterMode()) {
    tcPathList->setTabText(0, QStringLiteral("★ ") + Tr("Master"));
    tcPathList->setTabText(1, Tr("Search Range"));
  } else {
    tcPathList->setTabText(0, Tr("Include to Scan"));
    tcPathList->setTabText(1, Tr("Exclude from Scan"));
  }
  tcPathList->setTabText(2, Tr("Reference Folders"));
  tcPathList->setTabToolTip(2, Tr("Searched too; their files are never selected or processed"));
}

bool TFolderListPanel::ReferenceListShown() const { return IsFileMode() && !IsMasterMode(); }

void TFolderListPanel::ApplyMode() {
  SetTabCaptions();
  tcPathList->setTabVisible(2, ReferenceListShown());
  if (!ReferenceListShown() && tcPathList->currentIndex() == 2) tcPathList->setCurrentIndex(0);
  fFilters->ApplyMode();
  // The file system's tree only: a store's or a library's folders come with its mode.
  ImageRefresh->setVisible(IsFileMode());
}

void TFolderListPanel::SetBusy(bool busy) {
  fBusy = busy;
  for (QWidget* w :
       std::initializer_list<QWidget*>{tvFolderList, bAdd, bRemove, bClear, bWizard, tcPathList, ImageRefresh}) {
    w->setEnabled(!busy);
  }
  fFilters->SetBusy(busy);
}

// ---------------------------------------------------------------- the lists

TPathListBox* TFolderListPanel::ActiveList() const {
  switch (tcPathList->currentIndex()) {
    case 1: return lbExclude;
    case 2: return ReferenceListShown() ? lbReference : lbInclude;
    default: return lbInclude;
  }
}

std::vector<std::string> TFolderListPanel::ReferenceEntries() const { return ListEntries(lbReference); }

void TFolderListPanel::SetReferenceEntries(const std::vector<std::string>& entries) {
  lbReference->clear();
  for (const std::string& e : entries) AppendEntry(lbReference, e);
  emit referenceListChanged();
}

void TFolderListPanel::AddReferenceFolder(const std::string& path) {
  const std::string entry = platform::FolderEntry(path);
  if (ListContains(lbReference, entry)) {
    WarnLater(TDropWarning::dwListed);
    return;
  }
  if (!IsFolder(entry)) {
    Message(TMessageKind::mkInformation, "The specified directory does not exist");
    return;
  }
  AppendEntry(lbReference, entry);
}

std::vector<std::string> TFolderListPanel::FirstEntries() const { return ListEntries(lbInclude); }
std::vector<std::string> TFolderListPanel::SecondEntries() const { return ListEntries(lbExclude); }

void TFolderListPanel::SetEntries(const std::vector<std::string>& first, const std::vector<std::string>& second) {
  ClearLists();
  for (const std::string& e : first) AppendEntry(lbInclude, e);
  for (const std::string& e : second) AppendEntry(lbExclude, e);
}

void TFolderListPanel::TakeWizardChoice(const std::string& mask, const std::vector<std::string>& folders) {
  fFilters->SetIncludeMasks(mask);
  fFilters->SetExcludeMasks(std::string());
  TSizeLimitFields limits = fFilters->Limits();
  limits.CheckMin = limits.CheckMax = false;
  fFilters->SetLimits(limits);
  SetEntries(folders, {});
  ShowFirstTab();
  emit firstListChanged();
}

void TFolderListPanel::ClearLists() {
  lbInclude->clear();
  lbExclude->clear();
}

void TFolderListPanel::RemoveExcludedEntries() {
  for (int i = lbInclude->count() - 1; i >= 0; --i) {
    if (!Settings.CheckExclusionFolder(lbInclude->item(i)->data(Qt::UserRole).toByteArray().toStdString(), true)) {
      delete lbInclude->takeItem(i);
    }
  }
  emit firstListChanged();
}

void TFolderListPanel::ShowFirstTab() { tcPathList->setCurrentIndex(0); }

bool TFolderListPanel::ListContains(TPathListBox* list, const std::string& entry) const {
  const QString text = PathText(entry);
  for (int i = 0; i < list->count(); ++i)
    if (list->item(i)->text() == text) return true;
  return false;
}

std::optional<TDropWarning> TFolderListPanel::CheckNesting(const std::string& entry) {
  if (!IsFileMode() || !Settings.ScanOptions.Contains(soScanSubdirs)) return std::nullopt;
  for (const std::string& listed : ListEntries(lbInclude))
    if (TPcwSpecialFolders::IsInFolder(entry, listed)) return TDropWarning::dwInsideListed;
  // The wider folder is what the user asks for: it takes the place of those inside it.
  bool merged = false;
  for (int i = lbInclude->count() - 1; i >= 0; --i) {
    if (TPcwSpecialFolders::IsInFolder(lbInclude->item(i)->data(Qt::UserRole).toByteArray().toStdString(), entry)) {
      delete lbInclude->takeItem(i);
      merged = true;
    }
  }
  if (merged) return TDropWarning::dwMerged;
  return std::nullopt;
}

void TFolderListPanel::AppendEntry(TPathListBox* list, const std::string& entry) {
  auto* item = new QListWidgetItem(PathText(entry), list);
  item->setData(Qt::UserRole, QByteArray::fromStdString(entry));
  item->setIcon(style()->standardIcon(QStyle::SP_DirIcon));
  list->scrollToItem(item);
  if (list == lbInclude) emit firstListChanged();
  if (list == lbReference) emit referenceListChanged();
}

// The warning waits for the drop or the click to end, so it comes up over a window in front.
void TFolderListPanel::WarnLater(TDropWarning warning) {
  Defer([this, warning] { emit dropRefused(warning); });
}

void TFolderListPanel::AddIncludeFolder(const std::string& path) {
  // A mail folder or an album is a name in its store, not a path of the file system.
  if (!IsFileMode()) {
    if (ListContains(lbInclude, path)) {
      WarnLater(TDropWarning::dwListed);
    } else {
      AppendEntry(lbInclude, path);
    }
    return;
  }
  const std::string entry = platform::FolderEntry(path);
  if (!Settings.CheckExclusionFolder(entry, true)) {
    WarnLater(TDropWarning::dwExclusion);
    return;
  }
  if (ListContains(lbInclude, entry)) {
    WarnLater(TDropWarning::dwListed);
    return;
  }
  if (!IsFolder(entry)) {
    Message(TMessageKind::mkInformation, "The specified directory does not exist");
    return;
  }
  if (int reason = 0; TPcwSpecialFolders::CheckSpecialPathName(entry, reason, Settings.ScanOptions)) {
    WarnLater(SpecialFolderWarning(reason));
    return;
  }
  const std::optional<TDropWarning> nesting = CheckNesting(entry);
  if (nesting) WarnLater(*nesting);
  if (nesting != TDropWarning::dwInsideListed) AppendEntry(lbInclude, entry);
}

void TFolderListPanel::AddExcludeFolder(const std::string& path) {
  if (!IsFileMode()) {
    if (ListContains(lbExclude, path)) {
      WarnLater(TDropWarning::dwListed);
    } else {
      AppendEntry(lbExclude, path);
    }
    return;
  }
  const std::string entry = platform::FolderEntry(path);
  if (ListContains(lbExclude, entry)) {
    WarnLater(TDropWarning::dwListed);
    return;
  }
  if (!IsFolder(entry)) {
    Message(TMessageKind::mkInformation, "The specified directory does not exist");
    return;
  }
  AppendEntry(lbExclude, entry);
}

void TFolderListPanel::AddIncludeFolders(const std::vector<std::string>& paths) {
  if (fBusy) {
    Message(TMessageKind::mkInformation,
            "Scan is already in progress. Please wait until scanning is finished and try again.");
    return;
  }
  // One warning for the lot: the one reason, or "various" when there were several.
  std::vector<TDropWarning> reasons;
  const auto note = [&reasons](TDropWarning w) {
    if (std::find(reasons.begin(), reasons.end(), w) == reasons.end()) reasons.push_back(w);
  };
  for (const std::string& path : paths) {
    const std::string entry = platform::FolderEntry(path);
    if (!IsFolder(entry)) continue;
    if (ListContains(lbInclude, entry)) {
      note(TDropWarning::dwListed);
      continue;
    }
    if (int reason = 0; TPcwSpecialFolders::CheckSpecialPathName(entry, reason, Settings.ScanOptions)) {
      note(SpecialFolderWarning(reason));
      continue;
    }
    const std::optional<TDropWarning> nesting = CheckNesting(entry);
    if (nesting) note(*nesting);
    if (nesting != TDropWarning::dwInsideListed) AppendEntry(lbInclude, entry);
  }
  if (reasons.size() > 1) {
    emit dropRefused(TDropWarning::dwVarious);
  } else if (reasons.size() == 1) {
    emit dropRefused(reasons.front());
  }
}

void TFolderListPanel::AddExcludeMask(const std::string& text) {
  if (auto warning = ValidateEditorMask(mtFolderMask, text)) {
    GetUserPrompt().ShowMessage(TMessageKind::mkWarning, *warning);
    return;
  }
  if (ListContains(lbExclude, text)) {
    WarnLater(TDropWarning::dwListed);
    return;
  }
  AppendEntry(lbExclude, text);
}

void TFolderListPanel::AddToList(TPathListBox* list, const std::string& path) {
  if (list == lbInclude) {
    AddIncludeFolder(path);
  } else if (list == lbReference) {
    AddReferenceFolder(path);
  } else {
    AddExcludeFolder(path);
  }
}

void TFolderListPanel::AddToActiveList(const std::string& path) { AddToList(ActiveList(), path); }

bool TFolderListPanel::AddTypedPath(const std::string& typed) {
  const std::string path = platform::NormalizeTypedPath(typed, TPcwSpecialFolders::GetHomeDirectory());
  if (path.empty()) return false;
  // What is left relative ("~name") would be looked up below the folder the program started in.
  if (path[0] == '/' && IsFolder(path)) {
    AddToActiveList(path);
    return true;
  }
  // The exclude list also takes folder masks.
  if (ActiveList() == lbExclude && path.find_first_of("*?") != std::string::npos) {
    AddExcludeMask(path);
    return true;
  }
  Message(TMessageKind::mkError, "Specified path does not exist or inaccessible.");
  return false;
}

void TFolderListPanel::SelectFolders() {
  if (fBusy) return;
  // The store's folders are chosen in the tree.
  if (!IsFileMode()) {
    AddClick();
    return;
  }
  const QString caption = tcPathList->tabText(tcPathList->currentIndex());
  const QString dir = QFileDialog::getExistingDirectory(window(), caption,
                                                        PathText(TPcwSpecialFolders::GetHomeDirectory()),
                                                        QFileDialog::ShowDirsOnly);
  if (dir.isEmpty()) return;
  const std::string path = platform::FolderEntry(PathBytes(dir));
  if (!Settings.CheckExclusionFolder(path, false)) return;
  AddToActiveList(path);
}

// ---------------------------------------------------------------- buttons, tree, drops

void TFolderListPanel::AddClick() {
  const std::string path = tvFolderList->SelectedPath();
  if (path.empty()) {
    Message(TMessageKind::mkInformation, "No items selected. Please select folder you want to add.");
    return;
  }
  AddToActiveList(path);
}

void TFolderListPanel::OnTreeDoubleClicked(QTreeWidgetItem* item) {
  DblclkTimer->stop();
  tvFolderList->setCurrentItem(item);
  AddClick();
}

void TFolderListPanel::RemoveClick() {
  TPathListBox* list = ActiveList();
  const QList<QListWidgetItem*> selected = list->selectedItems();
  if (selected.isEmpty()) {
    Message(TMessageKind::mkInformation, "No items selected. Please select folder you want to remove.");
    return;
  }
  for (int i = list->count() - 1; i >= 0; --i) {
    if (list->item(i)->isSelected()) delete list->takeItem(i);
  }
  emit firstListChanged();
  if (list == lbReference) emit referenceListChanged();
}

void TFolderListPanel::ClearListClick() {
  TPathListBox* list = ActiveList();
  list->clear();
  emit firstListChanged();
  if (list == lbReference) emit referenceListChanged();
}

void TFolderListPanel::DropOnList(TPathListBox* target, const QStringList& paths, bool fromTree) {
  DblclkTimer->stop();
  if (fBusy) return;
  for (const QString& p : paths) {
    const std::string path = PathBytes(p);
    // A dropped file is no folder and is refused as such.
    AddToList(target, fromTree ? path : path + "/");
  }
}

void TFolderListPanel::FillFolderTree() {
  tvFolderList->SetScanOptions(Settings.ScanOptions);
  tvFolderList->Fill(platform::GetFolderTreeRoots());
  tvFolderList->RetranslateRoots();
}

void TFolderListPanel::RefreshTree() {
  tvFolderList->SetScanOptions(Settings.ScanOptions);
  tvFolderList->Refresh(platform::GetFolderTreeRoots());
  tvFolderList->RetranslateRoots();
}

void TFolderListPanel::ClearFolderTree() { tvFolderList->clear(); }

namespace {

void AddAlbumNodes(const TFolderBase& folder, int parent, std::vector<TFolderTree::TFixedNode>& nodes) {
  for (int i = 0; i < folder.ChildCount(); ++i) {
    const TFolderBase* c = folder.GetChild(i);
    nodes.push_back({c->Name(), c->FolderPath(), parent});
    AddAlbumNodes(*c, static_cast<int>(nodes.size()) - 1, nodes);
  }
}

}  // namespace

void TFolderListPanel::FillAlbumTree(const TFolderBase& root) {
  std::vector<TFolderTree::TFixedNode> nodes;
  AddAlbumNodes(root, -1, nodes);
  tvFolderList->FillFixed(nodes);
}

void TFolderListPanel::FillMailTree(const TPluginFolderTree& nodes, const std::vector<TOlFolder>& folders) {
  std::vector<TFolderTree::TFixedNode> fixed;
  fixed.reserve(nodes.size());
  for (const TPluginFolderNode& n : nodes) {
    const bool known = n.Folder >= 0 && static_cast<std::size_t>(n.Folder) < folders.size();
    const std::size_t shown = n.Caption.find_first_not_of(' ');
    fixed.push_back({shown == std::string::npos ? n.Caption : n.Caption.substr(shown), known ? folders[static_cast<std::size_t>(n.Folder)].FolderPath : n.Caption, n.Parent});
  }
  tvFolderList->FillFixed(fixed);
}

}  // namespace pelcrow::ui
