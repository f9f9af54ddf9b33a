// "Settings": the modal editor of the settings record. Its controls write straight into Settings
// as the user changes them; OK checks the log folder, takes the exclusion list and the log period
// and saves; Cancel gives the record back as the dialog found it. The main window applies the
// consequences of an accepted dialog (new mode, file-manager menu, cleared results).
#pragma once

#include <QDialog>

#include <cstdint>
#include <functional>
#include <vector>

#include "localization/LanguageController.h"
#include "settings/PcwSettings.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;

namespace pelcrow::ui {

class THoverHelp;

class TfmSettings : public QDialog, public ITranslatable {
  Q_OBJECT

 public:
  // status: the main window's status bar, for the hover help.
  explicit TfmSettings(QWidget* parent = nullptr, std::function<void(const QString&)> status = {});
  ~TfmSettings() override;

  // The record's value of ShellContextMenu when the dialog opened.
  bool OldShCtxMnuValue = false;
  // Asked on OK when the scan mode changed: false keeps the dialog open with the old mode chosen
  // again (the window asks whether its results may go).
  std::function<bool(std::uint8_t oldMode, std::uint8_t newMode)> ConfirmModeSwitch;
  // Fills every control from the record; with true the record is read from the file first.
  void LoadSettings(bool fromFile);
  void Retranslate() override;
  void accept() override;
  void reject() override;

  // Controls, named as the user knows them.
  QTabWidget* pcSettings;
  QRadioButton *rbCRC, *rbB2B, *rbFilenameOnly, *rbMusic, *rbOutlook, *rbContacts, *rbIphoto;
  QRadioButton* rbSimilarPictures;
  QSpinBox* edSimilarity;
  QCheckBox *chkIncludeFilename, *chkIncludeExtension, *chkIncludeFileSize, *chkIncludeEXIF;
  QGroupBox* gbScanOptions;
  QCheckBox *chkScanSubdirs, *chkExcludeContainer, *chkSkipMacApp, *chkSyncIPhoto;
  QCheckBox *chkShellContext, *chkEnableLogging, *chkAutoDelete;
  QLabel* txtAdminNote;
  QComboBox* cbLanguages;
  QSpinBox* edUndoDays;
  QCheckBox* chkSimilarNames;
  QSpinBox* edNameSimilarity;
  QGroupBox *gbLogDirectory, *gbLogEvents;
  QLineEdit* edLogDirectory;
  QPushButton* sbSelectDirectory;
  QSpinBox* DaysSpin;
  std::vector<QCheckBox*> fMusicBoxes;
  QGroupBox *gbEmails, *gbContacts, *gbStores;
  QPushButton *btnCrcCalculator, *btnTrackCleaner;
  QListWidget* lbExclusions;
  QPushButton *btnAddExclusion, *btnAddMask, *btnRemoveExclusion, *btnClearExclusions;
  QPushButton *btnRestoreDefaults, *btnOK, *btnCancel;
  THoverHelp* fHoverHelp;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  // One check box and the record member it writes.
  struct TBinding {
    QCheckBox* Box;
    std::function<bool()> Get;
    std::function<void(bool)> Set;
  };

  QWidget* BuildFileSearchTab();
  QWidget* BuildModeGroup(QWidget* parent);
  QWidget* BuildScanOptionsGroup(QWidget* parent);
  QWidget* BuildPreferencesTab();
  QWidget* BuildLoggingTab();
  QWidget* BuildMusicTab();
  QWidget* BuildMailTab();
  QWidget* BuildToolsTab();
  QWidget* BuildAdvancedTab();
  QLayout* BuildButtons();
  void ConnectControls();

  QCheckBox* Check(QWidget* parent, const char* name, const char* caption, const char* help,
                   std::function<bool()> get, std::function<void(bool)> set);
  QCheckBox* ScanCheck(QWidget* parent, const char* name, const char* caption, const char* help, TPcwScanOption o);
  QCheckBox* CompareCheck(QWidget* parent, const char* name, const char* caption, const char* help,
                          TPcwCompareOption o);
  QCheckBox* BoolCheck(QWidget* parent, const char* name, const char* caption, const char* help, bool TPcwSettings::*m);
  QCheckBox* LogCheck(QWidget* parent, const char* name, const char* caption, const char* help, TPcwLogEvent e);
  QCheckBox* OutlookCheck(QWidget* parent, const char* name, const char* caption, const char* help,
                          TOutlookOption o);
  QRadioButton* ModeRadio(QWidget* parent, const char* name, const char* caption, const char* help,
                          std::uint8_t mode);

  void FillFromSettings();
  void FillLanguageComboBox();
  void ApplyModeRule(std::uint8_t mode);
  void UpdateTabRules();
  void UpdateContextMenuNote();
  void UpdateLoggingGroups();
  void BrowseLogDirectory();
  void AddExclusion();
  void AddExclusionMask();
  void RemoveExclusion();
  void ClearExclusions();
  std::vector<std::string> ExclusionEntries() const;

  std::vector<TBinding> fBindings;
  std::vector<std::pair<QRadioButton*, std::uint8_t>> fModeRadios;
  // The record as the dialog found it, given back by Cancel.
  TPcwSettings fSnapshot;
  std::function<void()> fOldOnLoaded;
  bool fFilling = false;
  bool fHaveSnapshot = false;
};

}  // namespace pelcrow::ui
