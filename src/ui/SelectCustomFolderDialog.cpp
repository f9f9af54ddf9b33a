#include "ui/SelectCustomFolderDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

#include "base/PathText.h"
#include "engine/ScanEngine.h"
#include "ui/UiText.h"

namespace pelcrow::ui {

TfmSelectCustomFolder::TfmSelectCustomFolder(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("fmSelectCustomFolder"));
  setWindowTitle(Tr("Please Select Folder"));
  auto* v = new QVBoxLayout(this);
  cbFolderList = new QComboBox(this);
  cbFolderList->setObjectName(QStringLiteral("cbFolderList"));
  v->addWidget(cbFolderList);
  chkSubfoldes = new QCheckBox(Tr("Include Subfolders"), this);
  chkSubfoldes->setObjectName(QStringLiteral("chkSubfoldes"));
  v->addWidget(chkSubfoldes);
  auto* h = new QHBoxLayout;
  h->addStretch();
  auto* ok = new QPushButton(Tr("OK"), this);
  ok->setObjectName(QStringLiteral("bOK"));
  ok->setDefault(true);
  auto* cancel = new QPushButton(Tr("Cancel"), this);
  cancel->setObjectName(QStringLiteral("bCancel"));
  h->addWidget(ok);
  h->addWidget(cancel);
  v->addLayout(h);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TfmSelectCustomFolder::InitFolderList(const std::vector<std::string>& folders) {
  FOriginalFolderList = folders;
  cbFolderList->clear();
  const QFontMetrics fm(cbFolderList->font());
  int widest = 0;
  for (const std::string& f : folders) {
    const QString shown = PathText(DeleteExtendedPrefix(f));
    cbFolderList->addItem(shown);
    widest = std::max(widest, fm.horizontalAdvance(shown));
  }
  if (!folders.empty()) cbFolderList->setCurrentIndex(0);
  int width = std::max(widest + 30 + 2 * layout()->contentsMargins().left(), 360);
  if (parentWidget()) width = std::min(width, parentWidget()->width());
  resize(width, sizeHint().height());
}

std::string TfmSelectCustomFolder::SelectedFolder() const {
  const int i = cbFolderList->currentIndex();
  return i >= 0 && i < static_cast<int>(FOriginalFolderList.size()) ? FOriginalFolderList[static_cast<std::size_t>(i)]
                                                                     : std::string();
}

void TfmSelectCustomFolder::SetSelectedFolder(const std::string& folder) {
  const auto at = std::find(FOriginalFolderList.begin(), FOriginalFolderList.end(), folder);
  if (at != FOriginalFolderList.end()) cbFolderList->setCurrentIndex(static_cast<int>(at - FOriginalFolderList.begin()));
}

bool TfmSelectCustomFolder::IncludeSubfolder() const { return chkSubfoldes->isChecked(); }

}  // namespace pelcrow::ui
