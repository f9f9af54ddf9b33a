#include "ui/QtUserPrompt.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include "ui/UiText.h"

namespace pelcrow::ui {

void TQtUserPrompt::ShowMessage(TMessageKind kind, const std::string& text) {
  QMessageBox box(QApplication::activeWindow());
  box.setWindowTitle(QString::fromStdString(std::string(kAppName)));
  box.setText(QString::fromStdString(text));
  switch (kind) {
    case TMessageKind::mkWarning: box.setIcon(QMessageBox::Warning); break;
    case TMessageKind::mkError: box.setIcon(QMessageBox::Critical); break;
    case TMessageKind::mkInformation: box.setIcon(QMessageBox::Information); break;
  }
  box.addButton(Tr("OK"), QMessageBox::AcceptRole);
  box.exec();
}

bool TQtUserPrompt::Confirm(const std::string& text) {
  QMessageBox box(QApplication::activeWindow());
  box.setWindowTitle(QString::fromStdString(std::string(kAppName)));
  box.setIcon(QMessageBox::Question);
  box.setText(QString::fromStdString(text));
  QPushButton* yes = box.addButton(Tr("Yes"), QMessageBox::YesRole);
  QPushButton* no = box.addButton(Tr("No"), QMessageBox::NoRole);
  box.setDefaultButton(no);
  box.exec();
  return box.clickedButton() == yes;
}

}  // namespace pelcrow::ui
