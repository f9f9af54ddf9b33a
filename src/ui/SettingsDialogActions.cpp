// What the settings dialog's controls do: filling from the record, the rules that tie controls to
// the comparison mode and to each other, the exclusion list, and the bottom buttons.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTabWidget>

#include <algorithm>
#include <filesystem>
#include <stdexcept>

#include "base/Trim.h"
#include "base/UserPrompt.h"
#include "settings/FileMasks.h"
#include "ui/Crc32CalcDialog.h"
#include "ui/DialogHelpers.h"
#include "ui/FileMaskDialogs.h"
#include "ui/HoverHelp.h"
#include "ui/SettingsDialog.h"
#include "ui/TfmCleaner.h"
#include "ui/UiText.h"

namespace pelcrow::ui {

namespace {

constexpr const char* kTabCaptions[] = {"File Search", "Preferences", "Logging", "Music Tags",
                                        "Contacts and Emails", "Tools", "Advanced Settings"};
constexpr const char* kExclusionWarning = "WARNING: Do NOT modify this list until you exactly know what are you doing.";

// A question about the exclusion list, followed by its warning on a line of its own.
bool ConfirmExclusionChange(const char* question) {
  return GetUserPrompt().Confirm(TranslateText(question) + "\r\n" + TranslateText(kExclusionWarning));
}

// Disabled, and for "unchecked" also cleared (which takes the member out of the record).
void Disable(QCheckBox* box, bool uncheck) {
  box->setEnabled(false);
  if (uncheck) box->setChecked(false);
}

}  // namespace

void TfmSettings::ConnectControls() {
  connect(pcSettings, &QTabWidget::currentChanged, this, [this] { UpdateTabRules(); });
  connect(chkScanSubdirs, &QCheckBox::toggled, this, [this](bool on) {
    chkExcludeContainer->setEnabled(on);
    if (!on) chkExcludeContainer->setChecked(false);
  });
  connect(chkEnableLogging, &QCheckBox::toggled, this, [this] { UpdateLoggingGroups(); });
  connect(chkAutoDelete, &QCheckBox::toggled, this, [this](bool on) {
    DaysSpin->setEnabled(on);
    if (on) Settings.AutoDeleteLogPeriod = DaysSpin->value();
  });
  connect(DaysSpin, &QSpinBox::valueChanged, this, [this](int days) {
    if (chkAutoDelete->isChecked()) Settings.AutoDeleteLogPeriod = days;
  });
  connect(edUndoDays, &QSpinBox::valueChanged, this, [](int days) { Settings.UndoJournalDays = days; });
  connect(edNameSimilarity, &QSpinBox::valueChanged, this, [](int percent) { Settings.NameSimilarity = percent; });
  connect(chkSimilarNames, &QCheckBox::toggled, edNameSimilarity, &QWidget::setEnabled);
  connect(edSimilarity, &QSpinBox::valueChanged, this, [](int percent) { Settings.SimilarityPercent = percent; });
  connect(edLogDirectory, &QLineEdit::editingFinished, this,
          [this] { Settings.LogDirectory = PathBytes(edLogDirectory->text()); });
  connect(sbSelectDirectory, &QPushButton::clicked, this, &TfmSettings::BrowseLogDirectory);
  connect(chkShellContext, &QCheckBox::toggled, this, [this] { UpdateContextMenuNote(); });
  connect(cbLanguages, &QComboBox::activated, this, [this](int index) {
    const QString code = cbLanguages->itemData(index).toString();
    if (!code.isEmpty()) Settings.TranslationLanguageCode = code.toStdString();
  });
  connect(btnAddExclusion, &QPushButton::clicked, this, &TfmSettings::AddExclusion);
  connect(btnAddMask, &QPushButton::clicked, this, &TfmSettings::AddExclusionMask);
  connect(btnRemoveExclusion, &QPushButton::clicked, this, &TfmSettings::RemoveExclusion);
  connect(btnClearExclusions, &QPushButton::clicked, this, &TfmSettings::ClearExclusions);
  connect(btnRestoreDefaults, &QPushButton::clicked, this, [] { Settings.ResetToDefaults(); });
  // The calculator is not modal: it can only be used once this modal dialog is gone. The dialog
  // closes as OK does, so what the user changed before is kept, not thrown away.
  connect(btnCrcCalculator, &QPushButton::clicked, this, [this] {
    accept();
    if (result() == QDialog::Accepted && !isVisible()) ShowCRC32Calculator();
  });
  connect(btnTrackCleaner, &QPushButton::clicked, this, [this] { ShowDeadTrackCleaner(this); });
  connect(btnOK, &QPushButton::clicked, this, &TfmSettings::accept);
  connect(btnCancel, &QPushButton::clicked, this, &TfmSettings::reject);
}

// ---------------------------------------------------------------------------- filling

void TfmSettings::LoadSettings(bool fromFile) {
  fFilling = true;
  Settings.LoadSettings(fromFile);
  fFilling = false;
}

void TfmSettings::FillFromSettings() {
  // A load (not a reset) is what Cancel returns to.
  if (fFilling) {
    fSnapshot = Settings;
    fHaveSnapshot = true;
  }
  // The spin box first: ticking the auto-delete box takes the period from it.
  {
    const QSignalBlocker quiet(DaysSpin);
    DaysSpin->setValue(Settings.AutoDeleteLogPeriod > 0 ? std::clamp(Settings.AutoDeleteLogPeriod, 1, 365) : 1);
  }
  for (const auto& [rb, mode] : fModeRadios) {
    if (mode != Settings.ComparisonMode()) continue;
    const QSignalBlocker quiet(rb);
    rb->setChecked(true);
  }
  ApplyModeRule(Settings.ComparisonMode());
  for (const TBinding& b : fBindings) b.Box->setChecked(b.Get());
  chkExcludeContainer->setEnabled(chkScanSubdirs->isChecked());
  if (!chkScanSubdirs->isChecked()) chkExcludeContainer->setChecked(false);
  FillLanguageComboBox();
  edLogDirectory->setText(PathText(Settings.LogDirectory));
  DaysSpin->setEnabled(chkAutoDelete->isChecked());
  edUndoDays->setValue(Settings.UndoJournalDays);
  edNameSimilarity->setValue(Settings.NameSimilarity);
  edNameSimilarity->setEnabled(chkSimilarNames->isChecked());
  edSimilarity->setValue(Settings.SimilarityPercent);
  lbExclusions->clear();
  for (const std::string& e : Settings.PermanentExclusions) lbExclusions->addItem(PathText(e));
  UpdateTabRules();
  UpdateLoggingGroups();
  UpdateContextMenuNote();
}

void TfmSettings::FillLanguageComboBox() {
  const QSignalBlocker quiet(cbLanguages);
  cbLanguages->clear();
  for (const TLanguageInfo& lang : GetLanguageController().GetAvailableLanguages()) {
    cbLanguages->addItem(QString::fromStdString(lang.DisplayName), QString::fromStdString(lang.Code));
    if (lang.Code == Settings.TranslationLanguageCode) cbLanguages->setCurrentIndex(cbLanguages->count() - 1);
  }
}

// ---------------------------------------------------------------------------- rules

// Which file properties a mode compares, and whether the scan options apply at all. Boxes that
// are only disabled keep their members.
void TfmSettings::ApplyModeRule(std::uint8_t mode) {
  const bool fileMode = IsFileComparisonMode(mode);
  // The similar-pictures mode looks at the pictures alone.
  for (QCheckBox* b : {chkIncludeFilename, chkIncludeExtension, chkIncludeFileSize})
    b->setEnabled(fileMode && mode != cmSimilarPictures);
  edSimilarity->setEnabled(mode == cmSimilarPictures);
  switch (mode) {
    case cmCRC32:
    case cmByteByByte: Disable(chkIncludeFileSize, true); break;
    case cmFileName: Disable(chkIncludeFilename, true); break;
    default: break;
  }
  chkIncludeEXIF->setEnabled(mode == cmFileName);
  if (mode != cmFileName) chkIncludeEXIF->setChecked(false);
  gbScanOptions->setEnabled(fileMode);
}

void TfmSettings::UpdateTabRules() {
  const std::uint8_t mode = Settings.ComparisonMode();
  for (QCheckBox* b : fMusicBoxes) b->setEnabled(mode == cmMusicTags);
  gbEmails->setEnabled(mode == cmEmails);
  gbContacts->setEnabled(mode == cmContacts);
}

// Installing the file manager's entries needs no administrator here, so the note stays hidden;
// the change itself happens after OK.
void TfmSettings::UpdateContextMenuNote() { txtAdminNote->setVisible(false); }

void TfmSettings::UpdateLoggingGroups() {
  gbLogDirectory->setEnabled(chkEnableLogging->isChecked());
  gbLogEvents->setEnabled(chkEnableLogging->isChecked());
}

void TfmSettings::BrowseLogDirectory() {
  const std::string folder = SelectFolder(this, Tr("Select Directory"), PathBytes(edLogDirectory->text()),
                                          TFolderCheck::fcLogFolder, true);
  if (folder.empty()) return;
  edLogDirectory->setText(PathText(folder));
  Settings.LogDirectory = folder;
}

// ---------------------------------------------------------------------------- exclusions

std::vector<std::string> TfmSettings::ExclusionEntries() const {
  std::vector<std::string> out;
  for (int i = 0; i < lbExclusions->count(); ++i) out.push_back(PathBytes(lbExclusions->item(i)->text()));
  return out;
}

void TfmSettings::AddExclusion() {
  const std::string folder = SelectFolder(this, Tr("Select Directory"), std::string(), TFolderCheck::fcNone, false);
  if (folder.empty()) return;
  const std::vector<std::string> entries = ExclusionEntries();
  if (std::find(entries.begin(), entries.end(), folder) != entries.end()) return;
  if (!ConfirmExclusionChange("Are you sure you want to add selected folder to exclusion list?")) return;
  lbExclusions->addItem(PathText(folder));
}

void TfmSettings::AddExclusionMask() {
  TfmMaskEditor editor(this, mtFolderMask, "Add mask", "Add");
  editor.HideDescription();
  if (TfmFileMasks::RunEditor(editor) != QDialog::Accepted) return;
  std::string mask(TrimSpaces(editor.Mask()));
  // Folder patterns use this system's delimiter.
  std::replace(mask.begin(), mask.end(), '\\', '/');
  if (!mask.empty()) lbExclusions->addItem(PathText(mask));
}

void TfmSettings::RemoveExclusion() {
  QListWidgetItem* item = lbExclusions->currentItem();
  if (!item || !item->isSelected()) {
    GetUserPrompt().ShowMessage(TMessageKind::mkInformation,
                                TranslateText("No items selected. Please select folder you want to remove."));
    return;
  }
  if (!ConfirmExclusionChange("Are you sure you want to remove selected folder from exclusion list?")) return;
  delete lbExclusions->takeItem(lbExclusions->row(item));
  lbExclusions->clearSelection();
}

void TfmSettings::ClearExclusions() {
  if (lbExclusions->count() == 0) return;
  if (ConfirmExclusionChange("Are you sure you want to clear exclusion list?")) lbExclusions->clear();
}

// ---------------------------------------------------------------------------- buttons

void TfmSettings::accept() {
  if (fHaveSnapshot && ConfirmModeSwitch && fSnapshot.ComparisonMode() != Settings.ComparisonMode() &&
      !ConfirmModeSwitch(fSnapshot.ComparisonMode(), Settings.ComparisonMode())) {
    for (const auto& [radio, mode] : fModeRadios)
      if (mode == fSnapshot.ComparisonMode()) radio->setChecked(true);
    return;
  }
  const std::string logFolder = PathBytes(edLogDirectory->text());
  std::error_code ec;
  if (chkEnableLogging->isChecked() && (logFolder.empty() || !std::filesystem::is_directory(logFolder, ec))) {
    GetUserPrompt().ShowMessage(TMessageKind::mkWarning, TranslateText("Please specify Log directory or disable logging"));
    pcSettings->setCurrentWidget(gbLogDirectory->parentWidget());
    if (edLogDirectory->isEnabled()) edLogDirectory->setFocus();
    return;
  }
  // A typed folder inside the exclusions would be dropped silently at the next start, and the log
  // with it: say so now.
  if (chkEnableLogging->isChecked() && !Settings.CheckLogFolder(logFolder, false)) return;
  Settings.LogDirectory = logFolder;
  Settings.AutoDeleteLogPeriod = chkAutoDelete->isChecked() ? DaysSpin->value() : 0;
  Settings.PermanentExclusions = ExclusionEntries();
  try {
    Settings.SaveSettings();
  } catch (const std::exception& e) {
    GetUserPrompt().ShowMessage(TMessageKind::mkError, e.what());
    return;
  }
  fHoverHelp->HideTip();
  QDialog::accept();
}

// Nothing is kept of what the controls wrote: the record is as the dialog found it.
void TfmSettings::reject() {
  if (!fHaveSnapshot) {
    QDialog::reject();
    return;
  }
  TPcwSettings restored = fSnapshot;
  restored.OnChangeComparisonMode = Settings.OnChangeComparisonMode;
  restored.OnSettingsLoaded = Settings.OnSettingsLoaded;
  const std::uint8_t mode = restored.ComparisonMode();
  restored.FComparisonMode = Settings.ComparisonMode();
  Settings = restored;
  Settings.SetComparisonMode(mode);
  fHoverHelp->HideTip();
  QDialog::reject();
}

void TfmSettings::Retranslate() {
  setWindowTitle(Tr("Settings"));
  for (int i = 0; i < pcSettings->count(); ++i) pcSettings->setTabText(i, Tr(kTabCaptions[i]));
  RetranslateCaptions(this);
}

}  // namespace pelcrow::ui
