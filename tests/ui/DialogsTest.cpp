#include <QtTest>

#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

#include "ui/CheckSelectionDialog.h"

using namespace pelcrow::ui;

class DialogsTest : public QObject {
  Q_OBJECT

 private slots:
  // Ticking the override box enables the two choices and shows the warning; unticking undoes
  // it and falls back to "this time only".
  void overrideBoxDrivesItsChoices() {
    TfmCheckSelection d(QStringLiteral("You have selected ALL items in DupGroup #3."), true);
    d.show();
    QVERIFY(!d.rbThisTime->isEnabled());
    QVERIFY(d.rbThisTime->isChecked());
    QVERIFY(d.txtWarning->isHidden());
    QVERIFY(d.btnCancel->isDefault());
    d.chkOverride->setChecked(true);
    QVERIFY(d.rbAlways->isEnabled());
    QVERIFY(d.txtWarning->isVisible());
    d.rbAlways->setChecked(true);
    QVERIFY(d.AlwaysChosen());
    d.chkOverride->setChecked(false);
    QVERIFY(!d.rbAlways->isEnabled());
    QVERIFY(d.rbThisTime->isChecked());
    QVERIFY(!d.OverrideTicked());
  }

  void withoutOverrideOnlyCancelIsOffered() {
    TfmCheckSelection d(QStringLiteral("All items in DupGroup #1 except this one are already processed."), false);
    d.show();
    QVERIFY(d.chkOverride->isHidden());
    QVERIFY(d.btnOK->isHidden());
    QVERIFY(d.btnCancel->isVisible());
  }

  void undoLogRetry() {
    TfmUndo d(QStringLiteral("The operation completed with the following warnings:"), {QStringLiteral("/a/x -> Original file does not exist")});
    QCOMPARE(d.size(), QSize(800, 463));
    QCOMPARE(d.Log->toPlainText(), QStringLiteral("/a/x -> Original file does not exist"));
    QTimer::singleShot(0, &d, [&d] {
      for (QPushButton* b : d.findChildren<QPushButton*>())
        if (b->text() == QStringLiteral("Retry")) b->click();
    });
    d.exec();
    QVERIFY(d.RetryChosen());
  }
};

QTEST_MAIN(DialogsTest)
#include "DialogsTest.moc"
