#include "ui/IgnoreListWindow.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cerrno>

#include "base/UserPrompt.h"
#include "logging/Logger.h"
#include "platform/FileSystem.h"
#include "ui/DialogHelpers.h"
#include "ui/UiText.h"

namespace pelcrow::ui {

std::function<std::string()> IgnoreListFile = [] { return DefaultIgnoreListFile(); };

namespace {

void SayFailure(const char* text, const std::string& file, int error) {
  GetUserPrompt().ShowMessage(TMessageKind::mkError,
                              TranslateText(text) + "\n" + file + "\n" + platform::ErrorText(error));
}

}  // namespace

TIgnoreList ReadUserIgnoreList() {
  TIgnoreList list;
  const std::string file = IgnoreListFile();
  if (file.empty()) return list;
  if (const int e = list.Load(file); e != 0 && e != ENOENT)
    WriteLog("cannot read the ignore list " + file + ": " + platform::ErrorText(e), lsvWarning);
  return list;
}

bool ChangeUserIgnoreList(const std::function<bool(TIgnoreList&)>& Change) {
  const std::string file = IgnoreListFile();
  if (file.empty()) return false;
  TIgnoreList list;
  // A list that cannot be read is not overwritten by a list of one entry.
  if (const int e = list.Load(file); e != 0 && e != ENOENT) {
    SayFailure("The ignore list cannot be read:", file, e);
    return false;
  }
  if (!Change(list)) return false;
  if (const int e = list.Save(file); e != 0) {
    SayFailure("The ignore list cannot be saved:", file, e);
    return false;
  }
  return true;
}

TfmIgnoreList::TfmIgnoreList(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("fmIgnoreList"));
  setWindowTitle(Tr("Ignore List"));
  txtInfo = new QLabel(Tr("These files and pairs are left out of every scan. Remove an entry to find it again."));
  txtInfo->setWordWrap(true);
  lbEntries = new QListWidget(this);
  lbEntries->setObjectName(QStringLiteral("lbEntries"));
  lbEntries->setSelectionMode(QAbstractItemView::ExtendedSelection);
  // Long paths are shortened in the middle, where they differ least.
  lbEntries->setTextElideMode(Qt::ElideMiddle);
  lbEntries->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  btnRemove = NewButton(this, "btnRemove", "Remove");
  btnClose = NewButton(this, "btnClose", "Close", true);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(btnRemove);
  buttons->addWidget(btnClose);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(txtInfo);
  layout->addWidget(lbEntries, 1);
  layout->addLayout(buttons);
  RetranslateCaptions(this);
  resize(760, 360);
  connect(btnRemove, &QPushButton::clicked, this, &TfmIgnoreList::RemoveSelected);
  connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);
  connect(lbEntries, &QListWidget::itemSelectionChanged, this,
          [this] { btnRemove->setEnabled(!lbEntries->selectedItems().isEmpty()); });
  fList = ReadUserIgnoreList();
  Fill();
}

void TfmIgnoreList::Fill() {
  lbEntries->clear();
  for (const TIgnoreEntry& e : fList.Entries()) {
    const QString text = e.IsPair() ? Tr("Pair:") + " " + PathText(e.First) + QStringLiteral("  \u2194  ") + PathText(e.Second)
                                    : Tr("File:") + " " + PathText(e.First);
    auto* item = new QListWidgetItem(text, lbEntries);
    item->setToolTip(e.IsPair() ? PathText(e.First) + "\n" + PathText(e.Second) : PathText(e.First));
  }
  if (fList.Empty()) {
    auto* item = new QListWidgetItem(Tr("The ignore list is empty."), lbEntries);
    item->setFlags(Qt::NoItemFlags);
  }
  btnRemove->setEnabled(false);
}

void TfmIgnoreList::RemoveSelected() {
  std::vector<TIgnoreEntry> gone;
  for (int i = 0; i < lbEntries->count(); ++i)
    if (lbEntries->item(i)->isSelected() && static_cast<std::size_t>(i) < fList.Entries().size())
      gone.push_back(fList.Entries()[static_cast<std::size_t>(i)]);
  if (gone.empty()) return;
  // The file is read again: a scan's menu may have added entries since the window opened.
  const bool saved = ChangeUserIgnoreList([&gone](TIgnoreList& list) {
    bool changed = false;
    for (std::size_t i = list.Entries().size(); i-- > 0;)
      if (std::find(gone.begin(), gone.end(), list.Entries()[i]) != gone.end()) {
        list.Remove(i);
        changed = true;
      }
    return changed;
  });
  if (saved) fList = ReadUserIgnoreList();
  Fill();
}

void ShowIgnoreListEditor(QWidget* parent) {
  TfmIgnoreList dlg(parent);
  dlg.exec();
}

}  // namespace pelcrow::ui
