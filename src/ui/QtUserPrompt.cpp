#include "ui/QtUserPrompt.h"

#include <QApplication>
#include <QCheckBox>
#include <QMessageBox>
#include <QPushButton>

#include "ui/CheckSelectionDialog.h"
#include "ui/MessageDlgWithCheck.h"
#include "ui/UiText.h"

namespace pelcrow::ui {

namespace {

// A question box over the active window, titled with the product name.
void PrepareQuestion(QMessageBox& box, const std::string& text) {
  box.setWindowTitle(QString::fromStdString(std::string(kAppName)));
  box.setIcon(QMessageBox::Question);
  box.setText(QString::fromStdString(text));
}

}  // namespace

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
  PrepareQuestion(box, text);
  QPushButton* yes = box.addButton(Tr("Yes"), QMessageBox::YesRole);
  QPushButton* no = box.addButton(Tr("No"), QMessageBox::NoRole);
  box.setDefaultButton(no);
  box.exec();
  return box.clickedButton() == yes;
}

bool TQtUserPrompt::AskOkCancel(const std::string& text) {
  QMessageBox box(QApplication::activeWindow());
  PrepareQuestion(box, text);
  box.setIcon(QMessageBox::Information);
  QPushButton* ok = box.addButton(Tr("OK"), QMessageBox::AcceptRole);
  QPushButton* cancel = box.addButton(Tr("Cancel"), QMessageBox::RejectRole);
  box.setDefaultButton(ok);
  box.setEscapeButton(cancel);
  box.exec();
  return box.clickedButton() == ok;
}

bool TQtUserPrompt::ConfirmWithCheck(const std::string& text, const std::string& checkText, bool& Checked) {
  return MessageDlgWithCheck(QString::fromStdString(text), QString::fromStdString(checkText), Checked,
                             QMessageBox::Question, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

TReadOnlyAnswer TQtUserPrompt::AskReadOnly(const std::string& text) {
  QMessageBox box(QApplication::activeWindow());
  PrepareQuestion(box, text);
  QPushButton* yes = box.addButton(Tr("Yes"), QMessageBox::YesRole);
  QPushButton* no = box.addButton(Tr("No"), QMessageBox::NoRole);
  QPushButton* noToAll = box.addButton(Tr("No to All"), QMessageBox::NoRole);
  QPushButton* yesToAll = box.addButton(Tr("Yes to All"), QMessageBox::YesRole);
  box.setDefaultButton(no);
  box.exec();
  const QAbstractButton* clicked = box.clickedButton();
  if (clicked == yes) return TReadOnlyAnswer::raYes;
  if (clicked == yesToAll) return TReadOnlyAnswer::raYesToAll;
  if (clicked == noToAll) return TReadOnlyAnswer::raNoToAll;
  return TReadOnlyAnswer::raNo;
}

IUserPrompt::TCheckSelectionAnswer TQtUserPrompt::CheckSelection(const std::string& message, bool AllowOverride) {
  TfmCheckSelection dlg(QString::fromStdString(message), AllowOverride, QApplication::activeWindow());
  TCheckSelectionAnswer a;
  a.Ok = dlg.exec() == QDialog::Accepted;
  a.Override = dlg.OverrideTicked();
  a.Always = dlg.AlwaysChosen();
  return a;
}

bool TQtUserPrompt::ShowUndoErrors(const std::string& statusText, const std::vector<std::string>& lines) {
  QStringList l;
  for (const std::string& s : lines) l << PathText(s);
  TfmUndo dlg(QString::fromStdString(statusText), l, QApplication::activeWindow());
  dlg.exec();
  return dlg.RetryChosen();
}

}  // namespace pelcrow::ui
