#include "ui/DialogHelpers.h"

#include <QPushButton>

#include <QAbstractButton>
#include <QAction>
#include <QDialog>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QWidget>

#include <filesystem>

#include "settings/PcwSettings.h"
#include "ui/UiText.h"

namespace pelcrow::ui {

std::function<int(QDialog&)> RunModal = [](QDialog& dialog) { return dialog.exec(); };

int CenteredOffset(int ownerStart, int ownerExtent, int extent) {
  const int d = ownerExtent - extent;
  // Integer division rounds towards zero; the rule rounds towards minus infinity.
  const int half = d >= 0 ? d / 2 : -((-d + 1) / 2);
  return ownerStart + half;
}

void AlignCenter(QWidget* dialog, const QWidget* owner) {
  if (!dialog || !owner) return;
  const QRect o = owner->frameGeometry();
  const QSize s = dialog->frameGeometry().size();
  dialog->move(CenteredOffset(o.left(), o.width(), s.width()), CenteredOffset(o.top(), o.height(), s.height()));
}

std::function<std::string(QWidget*, const QString&, const std::string&, bool)> RunFolderBrowser =
    [](QWidget* parent, const QString& title, const std::string& start, bool allowNew) {
      QFileDialog::Options options = QFileDialog::ShowDirsOnly;
      // Qt's own dialog can hide its new-folder button; the desktop's cannot.
      if (!allowNew) options |= QFileDialog::DontUseNativeDialog | QFileDialog::ReadOnly;
      const QString dir = QFileDialog::getExistingDirectory(parent, title, PathText(start), options);
      return PathBytes(dir);
    };

std::string SelectFolder(QWidget* parent, const QString& title, const std::string& start, TFolderCheck check,
                         bool allowNewFolders) {
  std::error_code ec;
  const std::string from = std::filesystem::is_directory(start, ec) ? start : std::string();
  const std::string chosen = RunFolderBrowser(parent, title, from, allowNewFolders);
  if (chosen.empty()) return {};
  switch (check) {
    case TFolderCheck::fcNone: break;
    case TFolderCheck::fcExclusions:
      if (!Settings.CheckExclusionFolder(chosen, false)) return {};
      break;
    case TFolderCheck::fcLogFolder:
      if (!Settings.CheckLogFolder(chosen, false)) return {};
      break;
  }
  return chosen;
}

void SetCaption(QWidget* w, const char* caption) { w->setProperty(kCaptionProperty, QByteArray(caption)); }

QPushButton* NewButton(QWidget* parent, const char* objectName, const char* caption, bool isDefault) {
  auto* b = new QPushButton(parent);
  b->setObjectName(QString::fromLatin1(objectName));
  SetCaption(b, caption);
  b->setDefault(isDefault);
  return b;
}

void RetranslateCaptions(QWidget* root) {
  for (QWidget* w : root->findChildren<QWidget*>()) {
    const QVariant v = w->property(kCaptionProperty);
    if (!v.isValid()) continue;
    const QByteArray c = v.toByteArray();
    const QString text = Tr(std::string_view(c.constData(), static_cast<size_t>(c.size())));
    if (auto* b = qobject_cast<QAbstractButton*>(w)) {
      b->setText(text);
    } else if (auto* l = qobject_cast<QLabel*>(w)) {
      l->setText(text);
    } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
      g->setTitle(text);
    }
  }
}

void PruneDisabledItems(QMenu* menu) {
  QObject::connect(menu, &QMenu::aboutToShow, menu, [menu] {
    for (QAction* a : menu->actions()) {
      if (a->isSeparator()) continue;
      a->setVisible(a->isEnabled() && !a->property("neverShown").toBool());
    }
  });
}

}  // namespace pelcrow::ui
