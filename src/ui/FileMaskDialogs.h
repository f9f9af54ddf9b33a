// The mask selector ("INCLUDE/EXCLUDE File Masks") and the mask editor ("Add/Edit File Mask").
// The selector shows a TFileMaskSelectorModel and forwards every action to it.
#pragma once

#include <QDialog>

#include <functional>
#include <memory>
#include <string>

#include "localization/LanguageController.h"
#include "settings/FileMaskSelectorModel.h"

class QLineEdit;
class QLabel;
class QListWidget;
class QPushButton;

namespace pelcrow::ui {

class TfmMaskEditor : public QDialog, public ITranslatable {
  Q_OBJECT

 public:
  // caption and okText untranslated (kAddFileMaskCaption ...).
  TfmMaskEditor(QWidget* parent, TMaskType maskType, const char* caption, const char* okText);
  ~TfmMaskEditor() override;
  void SetFields(const std::string& mask, const std::string& description);
  std::string Mask() const;
  std::string Description() const;
  // For masks that need no description (the folder masks of the exclusion list).
  void HideDescription();
  void Retranslate() override;
  void accept() override;

 private:
  TMaskType fMaskType;
  const char* fCaption;
  const char* fOkText;
  QLabel* lblMask;
  QLabel* lblDescription;
  QLineEdit* edMask;
  QLineEdit* edDescription;
  QPushButton* btnOK;
  QPushButton* btnCancel;
};

class TfmFileMasks : public QDialog, public ITranslatable {
  Q_OBJECT

 public:
  TfmFileMasks(QWidget* parent, TMaskSelectorKind kind, const std::string& fieldText);
  ~TfmFileMasks() override;
  TFileMaskSelectorModel& Model() { return *fModel; }
  void Retranslate() override;
  // The selector's result: on OK the ticked patterns (and the file-mode list saved), otherwise the
  // given field text.
  static std::string Execute(QWidget* parent, TMaskSelectorKind kind, const std::string& fieldText);
  void accept() override;
  // Editor hooks for tests: the editor that "Add mask"/"Edit" opens is shown through this.
  static std::function<int(TfmMaskEditor&)> RunEditor;
  // Shows the selector itself (Execute); tests replace it to act as the user.
  static std::function<int(TfmFileMasks&)> RunDialog;

 private:
  void Reload(int current);
  void AddMask();
  void EditMask();
  void DeleteMask();
  void UpdateButtons();

  std::unique_ptr<TFileMaskSelectorModel> fModel;
  bool fUpdating = false;
  QListWidget* lbMasks;
  QPushButton* btnAdd;
  QPushButton* btnEdit;
  QPushButton* btnDelete;
  QPushButton* btnDefaults;
  QPushButton* btnSelectAll;
  QPushButton* btnUnselectAll;
  QPushButton* btnReverse;
  QPushButton* btnOK;
  QPushButton* btnCancel;
};

}  // namespace pelcrow::ui
