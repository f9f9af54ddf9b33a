// The safety-lock window (the selection would leave a duplicate group without an original) and
// the undo error log.
#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace pelcrow::ui {

class TfmCheckSelection final : public QDialog {
  Q_OBJECT

 public:
  TfmCheckSelection(const QString& message, bool allowOverride, QWidget* parent = nullptr);
  bool OverrideTicked() const;
  bool AlwaysChosen() const;

  QCheckBox* chkOverride;
  QRadioButton* rbThisTime;
  QRadioButton* rbAlways;
  QLabel* txtWarning;
  QPushButton* btnOK;
  QPushButton* btnCancel;

 private:
  void OverrideToggled(bool on);
};

class TfmUndo final : public QDialog {
  Q_OBJECT

 public:
  TfmUndo(const QString& status, const QStringList& lines, QWidget* parent = nullptr);
  // Closed with Retry.
  bool RetryChosen() const { return fRetry; }

  QLabel* StatusText;
  QPlainTextEdit* Log;

 private:
  bool fRetry = false;
};

}  // namespace pelcrow::ui
