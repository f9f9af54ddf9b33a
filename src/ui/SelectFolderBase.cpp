#include "ui/SelectFolderBase.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "ui/DialogHelpers.h"
#include "ui/UiText.h"

namespace pelcrow::ui {

namespace {
// Marks a node whose subfolders have not been asked for yet.
constexpr int kUnloadedRole = Qt::UserRole + 1;
}  // namespace

TfmSelectFolderBase::TfmSelectFolderBase(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("fmSelectFolderBase"));
  resize(420, 460);
  auto* v = new QVBoxLayout(this);
  tvFolderList = new QTreeWidget(this);
  tvFolderList->setObjectName(QStringLiteral("tvFolderList"));
  tvFolderList->setHeaderHidden(true);
  v->addWidget(tvFolderList, 1);
  auto* h = new QHBoxLayout;
  h->addStretch();
  btnOK = NewButton(this, "btnOK", "OK", true);
  btnCancel = NewButton(this, "btnCancel", "Cancel");
  h->addWidget(btnOK);
  h->addWidget(btnCancel);
  v->addLayout(h);
  connect(btnOK, &QPushButton::clicked, this, &TfmSelectFolderBase::accept);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(tvFolderList, &QTreeWidget::itemExpanded, this, &TfmSelectFolderBase::LoadChildren);
  connect(tvFolderList, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
    if (item) accept();
  });
  GetLanguageController().AddToTranslateList(this);
}

void TfmSelectFolderBase::Retranslate() {
  setWindowTitle(Tr("Please Select Folder"));
  RetranslateCaptions(this);
}

QTreeWidgetItem* TfmSelectFolderBase::MakeItem(const TFolderChoice& folder) {
  auto* item = new QTreeWidgetItem(QStringList(QString::fromStdString(folder.Caption)));
  item->setData(0, Qt::UserRole, static_cast<int>(fFolders.size()));
  fFolders.push_back(folder);
  // Whether it has subfolders is known once it is opened.
  item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
  item->setData(0, kUnloadedRole, true);
  return item;
}

void TfmSelectFolderBase::LoadChildren(QTreeWidgetItem* item) {
  if (!item->data(0, kUnloadedRole).toBool()) return;
  item->setData(0, kUnloadedRole, false);
  const TFolderChoice parent = fFolders[static_cast<std::size_t>(item->data(0, Qt::UserRole).toInt())];
  const std::vector<TFolderChoice> children = fSource.Children ? fSource.Children(parent) : std::vector<TFolderChoice>();
  for (const TFolderChoice& c : children) item->addChild(MakeItem(c));
  if (children.empty()) item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicator);
}

void TfmSelectFolderBase::Fill(const TFolderSource& source) {
  fSource = source;
  fFolders.clear();
  tvFolderList->clear();
  for (const TFolderChoice& root : source.Roots) tvFolderList->addTopLevelItem(MakeItem(root));
}

std::optional<TFolderChoice> TfmSelectFolderBase::SelectFolder(const TFolderSource& source) {
  Fill(source);
  if (RunModal(*this) != QDialog::Accepted) return std::nullopt;
  const QTreeWidgetItem* item = tvFolderList->currentItem();
  if (!item) return std::nullopt;
  return fFolders[static_cast<std::size_t>(item->data(0, Qt::UserRole).toInt())];
}

// OK needs a chosen folder; the window stays open without one.
void TfmSelectFolderBase::accept() {
  if (!tvFolderList->currentItem() || !tvFolderList->currentItem()->isSelected()) return;
  QDialog::accept();
}

void TfmSelectFolderBase::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  AlignCenter(this, parentWidget());
}

}  // namespace pelcrow::ui
