#include "ui/FolderWidgets.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QPainter>
#include <QStyle>
#include <QUrl>

#include "platform/SpecialFolders.h"
#include "ui/UiText.h"

namespace pelcrow::ui {
namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kLoadedRole = Qt::UserRole + 1;
constexpr int kCaptionRole = Qt::UserRole + 2;  // the untranslated caption of a fixed root
constexpr int kKindRole = Qt::UserRole + 3;

QIcon KindIcon(platform::TFolderNodeKind kind) {
  QStyle* st = QApplication::style();
  switch (kind) {
    case platform::fkHome: return st->standardIcon(QStyle::SP_DirHomeIcon);
    case platform::fkDesktop: return st->standardIcon(QStyle::SP_DesktopIcon);
    case platform::fkFileSystem: return st->standardIcon(QStyle::SP_ComputerIcon);
    case platform::fkVolume: return st->standardIcon(QStyle::SP_DriveHDIcon);
    case platform::fkRemovable: return st->standardIcon(QStyle::SP_DriveFDIcon);
    case platform::fkNetwork: return st->standardIcon(QStyle::SP_DriveNetIcon);
    case platform::fkOptical: return st->standardIcon(QStyle::SP_DriveCDIcon);
    case platform::fkRamDisk: return st->standardIcon(QStyle::SP_DriveHDIcon);
    case platform::fkFolder: break;
  }
  return st->standardIcon(QStyle::SP_DirIcon);
}

bool IsFixedRoot(platform::TFolderNodeKind kind) {
  return kind == platform::fkHome || kind == platform::fkDesktop || kind == platform::fkFileSystem;
}

}  // namespace

// ------------------------------------------------------------------------------ tree

TFolderTree::TFolderTree(QWidget* parent) : QTreeWidget(parent), fOptions(TPcwScanOptions::FromBits(kDefaultScanOptions)) {
  setHeaderHidden(true);
  setExpandsOnDoubleClick(false);  // a double click adds the folder
  setDragEnabled(true);
  setDragDropMode(QAbstractItemView::DragOnly);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setUniformRowHeights(true);
  setAnimated(true);
  connect(this, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) { LoadChildren(item); });
}

std::string TFolderTree::ItemPath(const QTreeWidgetItem* item) {
  return item ? item->data(0, kPathRole).toByteArray().toStdString() : std::string();
}

QTreeWidgetItem* TFolderTree::MakeItem(const platform::TFolderNode& node) {
  auto* item = new QTreeWidgetItem;
  const bool fixed = IsFixedRoot(node.Kind);
  item->setText(0, fixed ? Tr(node.Caption) : PathText(node.Caption));
  if (fixed) item->setData(0, kCaptionRole, QString::fromStdString(node.Caption));
  item->setData(0, kPathRole, QByteArray::fromStdString(node.Path));
  item->setData(0, kKindRole, static_cast<int>(node.Kind));
  item->setToolTip(0, PathText(node.Path));
  item->setIcon(0, KindIcon(node.Kind));
  item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
  return item;
}

void TFolderTree::Fill(const std::vector<platform::TFolderNode>& roots) {
  clear();
  for (const auto& node : roots) addTopLevelItem(MakeItem(node));
}

void TFolderTree::FillFixed(const std::vector<TFixedNode>& nodes) {
  clear();
  std::vector<QTreeWidgetItem*> made;
  made.reserve(nodes.size());
  const QIcon icon = QApplication::style()->standardIcon(QStyle::SP_DirIcon);
  for (const TFixedNode& node : nodes) {
    auto* item = new QTreeWidgetItem;
    item->setText(0, PathText(node.Caption));
    item->setData(0, kPathRole, QByteArray::fromStdString(node.Path));
    item->setData(0, kLoadedRole, true);
    item->setToolTip(0, PathText(node.Path));
    item->setIcon(0, icon);
    const bool hasParent = node.Parent >= 0 && static_cast<std::size_t>(node.Parent) < made.size();
    if (hasParent) {
      made[static_cast<std::size_t>(node.Parent)]->addChild(item);
    } else {
      addTopLevelItem(item);
    }
    made.push_back(item);
  }
  if (topLevelItemCount() > 0) topLevelItem(0)->setExpanded(true);
}

void TFolderTree::LoadChildren(QTreeWidgetItem* item) {
  if (item->data(0, kLoadedRole).toBool()) return;
  item->setData(0, kLoadedRole, true);
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const auto children = platform::ListSubfolders(ItemPath(item), fOptions);
  for (const auto& child : children) item->addChild(MakeItem(child));
  QApplication::restoreOverrideCursor();
  if (children.empty()) item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicator);
}

std::string TFolderTree::SelectedPath() const { return ItemPath(currentItem()); }

void TFolderTree::RevealPath(const std::string& path) {
  if (path.empty()) return;
  // The deepest top node that holds the path, then one level at a time.
  QTreeWidgetItem* best = nullptr;
  std::size_t bestLen = 0;
  for (int i = 0; i < topLevelItemCount(); ++i) {
    const std::string p = ItemPath(topLevelItem(i));
    if (TPcwSpecialFolders::IsInFolder(path, p) && (!best || p.size() > bestLen)) {
      best = topLevelItem(i);
      bestLen = p.size();
    }
  }
  std::string target = path;
  while (target.size() > 1 && target.back() == '/') target.pop_back();
  QTreeWidgetItem* at = best;
  while (at && ItemPath(at) != target) {
    LoadChildren(at);
    QTreeWidgetItem* next = nullptr;
    for (int i = 0; i < at->childCount(); ++i) {
      if (TPcwSpecialFolders::IsInFolder(path, ItemPath(at->child(i)))) next = at->child(i);
    }
    if (!next) break;
    at->setExpanded(true);
    at = next;
  }
  if (at) {
    setCurrentItem(at);
    scrollToItem(at);
  }
}

void TFolderTree::Refresh(const std::vector<platform::TFolderNode>& roots) {
  const std::string selected = SelectedPath();
  Fill(roots);
  RevealPath(selected);
}

void TFolderTree::RetranslateRoots() {
  for (int i = 0; i < topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = topLevelItem(i);
    const QString caption = item->data(0, kCaptionRole).toString();
    if (!caption.isEmpty()) item->setText(0, Tr(caption.toStdString()));
  }
}

QStringList TFolderTree::mimeTypes() const { return {QString::fromLatin1(kFolderNodeMime)}; }

QMimeData* TFolderTree::mimeData(const QList<QTreeWidgetItem*>& items) const {
  if (items.isEmpty()) return nullptr;
  auto* mime = new QMimeData;
  mime->setData(QString::fromLatin1(kFolderNodeMime), items.front()->data(0, kPathRole).toByteArray());
  return mime;
}

void TFolderTree::startDrag(Qt::DropActions supportedActions) {
  emit dragStarted();
  QTreeWidget::startDrag(supportedActions);
}

// ------------------------------------------------------------------------------ lists

TPathListBox::TPathListBox(QWidget* parent) : QListWidget(parent) {
  setAcceptDrops(true);
  setDropIndicatorShown(false);
  setSelectionMode(QAbstractItemView::ExtendedSelection);  // Ctrl+A selects all
  setDragDropMode(QAbstractItemView::DropOnly);
}

void TPathListBox::SetHintText(const QString& text) {
  fHint = text;
  viewport()->update();
}

QStringList TPathListBox::Entries() const {
  QStringList out;
  for (int i = 0; i < count(); ++i) out << item(i)->text();
  return out;
}

static bool Acceptable(const QMimeData* data) {
  return data && (data->hasFormat(QString::fromLatin1(kFolderNodeMime)) || data->hasUrls());
}

void TPathListBox::dragEnterEvent(QDragEnterEvent* event) {
  if (!Acceptable(event->mimeData())) return event->ignore();
  emit dragEntered();
  event->acceptProposedAction();
}

void TPathListBox::dragMoveEvent(QDragMoveEvent* event) {
  if (!Acceptable(event->mimeData())) return event->ignore();
  event->acceptProposedAction();
}

void TPathListBox::dropEvent(QDropEvent* event) {
  const QMimeData* mime = event->mimeData();
  QStringList paths;
  bool fromTree = false;
  if (mime->hasFormat(QString::fromLatin1(kFolderNodeMime))) {
    paths << QString::fromUtf8(mime->data(QString::fromLatin1(kFolderNodeMime)));
    fromTree = true;
  } else {
    for (const QUrl& url : mime->urls())
      if (url.isLocalFile()) paths << url.toLocalFile();
  }
  event->acceptProposedAction();
  if (!paths.isEmpty()) emit pathsDropped(paths, fromTree);
}

void TPathListBox::paintEvent(QPaintEvent* event) {
  QListWidget::paintEvent(event);
  if (count() > 0 || fHint.isEmpty()) return;
  QPainter p(viewport());
  QFont f = font();
  f.setPointSizeF(f.pointSizeF() * 0.95);
  f.setItalic(true);
  p.setFont(f);
  p.setPen(QColor("#94a3b8"));
  p.drawText(viewport()->rect().adjusted(12, 12, -12, -12), Qt::AlignCenter | Qt::TextWordWrap, fHint);
}

}  // namespace pelcrow::ui
