#include "ui/MessageDlgWithCheck.h"

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>

#include <string>

#include "base/AppName.h"
#include "ui/DialogHelpers.h"
#include "ui/UiText.h"

namespace pelcrow::ui {

namespace {

// The buttons' own texts, so that they follow the program's language rather than Qt's.
const char* ButtonText(QMessageBox::StandardButton b) {
  switch (b) {
    case QMessageBox::Yes: return "Yes";
    case QMessageBox::No: return "No";
    case QMessageBox::Cancel: return "Cancel";
    case QMessageBox::Retry: return "Retry";
    default: return "OK";
  }
}

}  // namespace

QMessageBox::StandardButton MessageDlgWithCheck(const QString& text, const QString& checkCaption, bool& checked,
                                                QMessageBox::Icon type, QMessageBox::StandardButtons buttons,
                                                QWidget* parent) {
  QMessageBox box(parent ? parent : QApplication::activeWindow());
  box.setObjectName(QStringLiteral("fmMessageWithCheck"));
  box.setWindowTitle(QString::fromStdString(std::string(kAppName)));
  box.setIcon(type);
  box.setText(text);
  box.setStandardButtons(buttons);
  for (QAbstractButton* b : box.buttons()) b->setText(Tr(ButtonText(box.standardButton(b))));
  // A question's default is the harmless answer.
  if (buttons.testFlag(QMessageBox::No)) box.setDefaultButton(QMessageBox::No);
  auto* check = new QCheckBox(checkCaption, &box);
  check->setObjectName(QStringLiteral("chkMessage"));
  check->setChecked(checked);
  box.setCheckBox(check);
  RunModal(box);
  checked = check->isChecked();
  QAbstractButton* clicked = box.clickedButton();
  return clicked ? box.standardButton(clicked) : QMessageBox::NoButton;
}

}  // namespace pelcrow::ui
