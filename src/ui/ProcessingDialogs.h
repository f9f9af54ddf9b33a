// The option dialogs of the processing commands (delete, move, rename), the option panels the
// resolve assistant shares with them, and the failure report that offers Retry.
#pragma once

#include <QDialog>
#include <QWidget>

#include <functional>
#include <string>

#include "settings/PcwSettings.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QVBoxLayout;

namespace pelcrow::ui {

// The proposed move folder when none is remembered: Documents/PCW + today as YYYYMMDD.
std::string DefaultMoveFolder();
// The move folder must be named and exist (it is created with its parents); else a warning.
bool ValidateMoveFolder(const QString& folder);
// The rename text must not be blank; else a warning.
bool ValidateRenameText(const QString& text);

// Folder edit with "Browse", and "Keep folder structure".
class TMoveOptions final : public QWidget {
  Q_OBJECT

 public:
  explicit TMoveOptions(QWidget* parent = nullptr);
  QString Folder() const;
  void SetFolder(const QString& folder);
  // Called with each folder chosen through "Browse".
  std::function<void(const std::string&)> OnBrowsed;

  QLineEdit* edFolder;
  QPushButton* sbSelect;
  QCheckBox* chkKFS;

 private:
  void Browse();
};

// The prefix or postfix text, its choice and the example name.
class TRenameOptions final : public QWidget {
  Q_OBJECT

 public:
  explicit TRenameOptions(QWidget* parent = nullptr);
  QString Text() const;
  bool Prefix() const;

  QLabel* lTitle;
  QLineEdit* edPrefix;
  QRadioButton* rbPrefix;
  QRadioButton* rbPostfix;
  QLabel* lExample;

 private:
  void UpdateExample();
};

// Base of the three: a text, the options and Yes / No with No as the default.
class TProcessingDialog : public QDialog {
  Q_OBJECT

 public:
  explicit TProcessingDialog(QWidget* parent);
  QPushButton* btnYes;
  QPushButton* btnNo;

 protected:
  // Runs on Yes; false keeps the dialog open.
  virtual bool Validate() { return true; }
  void AddButtons(QVBoxLayout* layout);
};

class TfmDelete final : public TProcessingDialog {
  Q_OBJECT

 public:
  explicit TfmDelete(QWidget* parent = nullptr);
  bool Permanent() const;

  QRadioButton* rbMoveToRecycleBin;
  QRadioButton* rbDeletePermanently;
};

class TfmMove final : public TProcessingDialog {
  Q_OBJECT

 public:
  explicit TfmMove(QWidget* parent = nullptr);
  TMoveOptions* Options;

 protected:
  bool Validate() override;
};

class TfmRename final : public TProcessingDialog {
  Q_OBJECT

 public:
  explicit TfmRename(QWidget* parent = nullptr);
  TRenameOptions* Options;

 protected:
  bool Validate() override;
};

// The failure report: Retry or Cancel, with "Enable Logging" unless the operation's event is
// logged already. True for Retry; a ticked box then turns the event's logging on.
bool ShowFailureReport(QWidget* parent, const std::string& head, TPcwLogEvent event);

}  // namespace pelcrow::ui
