#include "ui/CheckSelectionDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QVBoxLayout>

#include "ui/UiText.h"

namespace pelcrow::ui {

namespace {

QLabel* Picture(QStyle::StandardPixmap which, QWidget* parent) {
  auto* l = new QLabel(parent);
  l->setPixmap(QApplication::style()->standardIcon(which).pixmap(48, 48));
  l->setAlignment(Qt::AlignTop);
  return l;
}

}  // namespace

TfmCheckSelection::TfmCheckSelection(const QString& message, bool allowOverride, QWidget* parent) : QDialog(parent) {
  setWindowTitle(Tr("Warning"));
  auto* top = new QHBoxLayout;
  top->addWidget(Picture(QStyle::SP_MessageBoxWarning, this));
  auto* txtMessage = new QLabel(message, this);
  txtMessage->setObjectName("txtMessage");
  txtMessage->setWordWrap(true);
  txtMessage->setMinimumWidth(380);
  top->addWidget(txtMessage, 1);
  auto* col = new QVBoxLayout(this);
  col->addLayout(top);
  chkOverride = new QCheckBox(Tr("Override protection"), this);
  rbThisTime = new QRadioButton(Tr("Override for this time only"), this);
  rbAlways = new QRadioButton(Tr("Override always (turn safety lock off)"), this);
  txtWarning = new QLabel(Tr("WARNING: After disabling protection, undoing some operation will become impossible. To enable "
                             "protection again, please go to Settings->Preferences Tab."),
                          this);
  txtWarning->setWordWrap(true);
  txtWarning->setStyleSheet("color: #c62828;");
  rbThisTime->setChecked(true);
  rbThisTime->setEnabled(false);
  rbAlways->setEnabled(false);
  txtWarning->setVisible(false);
  for (QWidget* w : std::initializer_list<QWidget*>{chkOverride, rbThisTime, rbAlways}) {
    col->addWidget(w);
    w->setVisible(allowOverride);
  }
  rbThisTime->setContentsMargins(20, 0, 0, 0);
  col->addWidget(txtWarning);
  auto* buttons = new QDialogButtonBox(this);
  btnOK = buttons->addButton(Tr("OK"), QDialogButtonBox::AcceptRole);
  btnCancel = buttons->addButton(Tr("Cancel"), QDialogButtonBox::RejectRole);
  btnOK->setVisible(allowOverride);
  btnCancel->setDefault(true);
  col->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(chkOverride, &QCheckBox::toggled, this, &TfmCheckSelection::OverrideToggled);
}

void TfmCheckSelection::OverrideToggled(bool on) {
  rbThisTime->setChecked(true);
  rbAlways->setChecked(false);
  rbThisTime->setEnabled(on);
  rbAlways->setEnabled(on);
  txtWarning->setVisible(on);
  adjustSize();
}

bool TfmCheckSelection::OverrideTicked() const { return chkOverride->isChecked(); }
bool TfmCheckSelection::AlwaysChosen() const { return rbAlways->isChecked(); }

TfmUndo::TfmUndo(const QString& status, const QStringList& lines, QWidget* parent) : QDialog(parent) {
  setWindowTitle(Tr("UNDO error log"));
  setFixedSize(800, 463);
  auto* top = new QHBoxLayout;
  top->addWidget(Picture(QStyle::SP_MessageBoxCritical, this));
  StatusText = new QLabel(status, this);
  StatusText->setWordWrap(true);
  top->addWidget(StatusText, 1);
  auto* col = new QVBoxLayout(this);
  col->addLayout(top);
  Log = new QPlainTextEdit(this);
  Log->setReadOnly(true);
  Log->setPlainText(lines.join('\n'));
  col->addWidget(Log, 1);
  auto* buttons = new QDialogButtonBox(this);
  QPushButton* ok = buttons->addButton(Tr("OK"), QDialogButtonBox::AcceptRole);
  QPushButton* retry = buttons->addButton(Tr("Retry"), QDialogButtonBox::ActionRole);
  ok->setDefault(true);
  col->addWidget(buttons);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(retry, &QPushButton::clicked, this, [this] {
    fRetry = true;
    accept();
  });
}

}  // namespace pelcrow::ui
