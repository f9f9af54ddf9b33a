// The settings dialog driven as a user drives it: every kind of setting changed, OK, and the
// values found again after a restart; Cancel and "Restore Defaults"; the rules that tie controls
// to the comparison mode; the exclusion editor; the hover help; the German texts.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QtTest>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include "UiTestUtil.h"
#include "localization/LanguageController.h"
#include "localization/LanguageFile.h"
#include "ui/DialogHelpers.h"
#include "ui/FileMaskDialogs.h"
#include "ui/HoverHelp.h"
#include "ui/MainWindow.h"
#include "ui/QtMainThread.h"
#include "ui/SettingsDialog.h"

using pelcrow::Settings;
using pelcrow::TPcwSettings;
using pelcrow::test::Child;
using pelcrow::ui::TfmSettings;

namespace {

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void Click(QWidget& w, const char* name) { Child<QAbstractButton>(w, name)->click(); }

}  // namespace

class SettingsDialogTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<pelcrow::test::TTestHome> fHome;
  std::unique_ptr<pelcrow::ui::TQtMainThread> fMainThread;
  pelcrow::test::TScriptedPrompt fPrompt;

 private slots:
  void initTestCase() {
    fHome = std::make_unique<pelcrow::test::TTestHome>();
    fMainThread = std::make_unique<pelcrow::ui::TQtMainThread>(this);
    pelcrow::SetMainThread(fMainThread.get());
    pelcrow::SetUserPrompt(&fPrompt);
  }

  void cleanupTestCase() {
    pelcrow::test::CloseModalsAtOnce();
    pelcrow::SetUserPrompt(nullptr);
    pelcrow::SetMainThread(nullptr);
  }

  void init() {
    pelcrow::test::FreshSettings();
    Settings.SaveSettings();
    fPrompt.Clear();
    pelcrow::GetLanguageController().SetLanguage("en");
  }

  // One setting of every kind (mode, scan and compare options, flags, language, log folder and
  // period, log events, music tags, mail options, numbers, exclusions), OK, and a fresh record
  // read from the file has them all.
  void everyKindOfSettingSurvivesARestart() {
    const std::string logs = fHome->Dir("my-logs");
    const std::string excluded = fHome->Dir("private");
    pelcrow::ui::RunFolderBrowser = [&](QWidget*, const QString&, const std::string&, bool) { return excluded; };
    pelcrow::ui::TfmFileMasks::RunEditor = [](pelcrow::ui::TfmMaskEditor& e) {
      e.SetFields("*\\backup\\*", "");
      return int(QDialog::Accepted);
    };
    {
      TfmSettings d;
      d.LoadSettings(true);
      d.show();
      QVERIFY(d.pcSettings->currentIndex() == 0);
      // Each mode's own options are open in that mode only.
      d.rbMusic->click();
      Click(d, "chkMusic2");  // Album
      d.rbOutlook->click();
      Click(d, "chkReceivedDate");
      d.rbContacts->click();
      Click(d, "chkContactName");
      d.rbFilenameOnly->click();
      Click(d, "chkIncludeEXIF");
      Click(d, "chkIncludeHidden");
      Click(d, "chkSkipZero");
      Click(d, "chkMasterSelect");
      Click(d, "chkSyncWMP");
      Click(d, "chkCheckUpdates");
      Click(d, "chkUseWizard");
      d.cbLanguages->setCurrentIndex(d.cbLanguages->findData(QStringLiteral("de")));
      QVERIFY(d.cbLanguages->currentIndex() > 0);
      emit d.cbLanguages->activated(d.cbLanguages->currentIndex());
      d.edUndoDays->setValue(7);
      d.pcSettings->setCurrentIndex(2);
      Click(d, "chkEnableLogging");
      d.edLogDirectory->setText(QString::fromStdString(logs));
      Click(d, "chkAutoDelete");
      d.DaysSpin->setValue(30);
      Click(d, "chkFileMoved");
      Click(d, "chkSymLink");
      d.lbExclusions->clear();
      d.btnAddExclusion->click();
      d.btnAddMask->click();
      d.btnOK->click();
      QCOMPARE(d.result(), int(QDialog::Accepted));
    }
    pelcrow::GetLanguageController().SetLanguage("en");
    QVERIFY(fPrompt.Messages.empty());

    TPcwSettings fresh;
    fresh.LoadSettings(true);
    QCOMPARE(int(fresh.ComparisonMode()), int(pelcrow::cmFileName));
    QVERIFY(fresh.CompareOptions.Contains(pelcrow::coEXIF));
    QVERIFY(!fresh.CompareOptions.Contains(pelcrow::coFileName));
    QVERIFY(fresh.ScanOptions.Contains(pelcrow::soIncludeHidden));
    QVERIFY(!fresh.ScanOptions.Contains(pelcrow::soSkipZero));
    QVERIFY(fresh.MasterSelectMode);
    QVERIFY(!fresh.Sync_WMP);
    QVERIFY(!fresh.CheckForUpdates);
    QVERIFY(fresh.LaunchWizard);
    QCOMPARE(fresh.TranslationLanguageCode, std::string("de"));
    QCOMPARE(fresh.UndoJournalDays, 7);
    QVERIFY(fresh.EnableLogging);
    QCOMPARE(fresh.LogDirectory, logs);
    QCOMPARE(fresh.AutoDeleteLogPeriod, 30);
    QVERIFY(fresh.LogEvents.Contains(pelcrow::leFileMoved) && fresh.LogEvents.Contains(pelcrow::leSymLink));
    QVERIFY(fresh.MusicTagsOptions.Contains(pelcrow::mtAlbum));
    QVERIFY(fresh.OutlookOptions.Contains(pelcrow::olReceivedDate));
    QVERIFY(!fresh.OutlookOptions.Contains(pelcrow::olContactName));
    QCOMPARE(fresh.PermanentExclusions, (std::vector<std::string>{excluded, "*/backup/*"}));
    QVERIFY(FileBytes(Settings.GetSettingsFile()).find("ComparisonMode=2") != std::string::npos);

    // A dialog opened afterwards shows them.
    TfmSettings again;
    again.LoadSettings(true);
    QVERIFY(again.rbFilenameOnly->isChecked());
    QVERIFY(Child<QCheckBox>(again, "chkIncludeHidden")->isChecked());
    QVERIFY(!Child<QCheckBox>(again, "chkCheckUpdates")->isChecked());
    QCOMPARE(again.cbLanguages->currentData().toString(), QStringLiteral("de"));
    QCOMPARE(again.edLogDirectory->text(), QString::fromStdString(logs));
    QVERIFY(again.chkAutoDelete->isChecked());
    QCOMPARE(again.DaysSpin->value(), 30);
    QCOMPARE(again.edUndoDays->value(), 7);
    QCOMPARE(again.lbExclusions->count(), 2);
    again.reject();
    pelcrow::ui::TfmFileMasks::RunEditor = [](pelcrow::ui::TfmMaskEditor& e) { return e.exec(); };
  }

  // The main window's menu: the dialog's new mode reaches the engine, and a restarted window
  // starts its engine in that mode.
  void acceptedDialogReachesTheEngineAndTheNextStart() {
    pelcrow::ui::RunModal = [](QDialog& d) {
      auto& s = dynamic_cast<TfmSettings&>(d);
      s.rbB2B->click();
      s.btnOK->click();
      return s.result();
    };
    {
      pelcrow::ui::TfmMain w;
      auto* menu = Child<QMenu>(w, "pmSettings");
      QAction* item = menu->actions().at(0);
      QVERIFY(item->isEnabled());
      item->trigger();
      w.FlushRunTimer();
      QCOMPARE(int(w.ScanEngine().CompareMode()), int(pelcrow::cmByteByByte));
    }
    Settings.SetComparisonMode(pelcrow::cmCRC32);  // what is in memory is gone; the file has it
    Settings.LoadSettings(true);
    pelcrow::ui::TfmMain restarted;
    QCOMPARE(int(restarted.ScanEngine().CompareMode()), int(pelcrow::cmByteByByte));
    pelcrow::test::CloseModalsAtOnce();
  }

  // Cancel writes nothing and gives the record back as it was.
  void cancelChangesNothing() {
    const std::string before = FileBytes(Settings.GetSettingsFile());
    TfmSettings d;
    d.LoadSettings(true);
    d.rbMusic->click();
    Click(d, "chkIncludeHidden");
    d.lbExclusions->clear();
    d.btnCancel->click();
    QCOMPARE(FileBytes(Settings.GetSettingsFile()), before);
    QCOMPARE(int(Settings.ComparisonMode()), int(pelcrow::cmCRC32));
    QVERIFY(!Settings.ScanOptions.Contains(pelcrow::soIncludeHidden));
  }

  void restoreDefaultsShowsTheDefaults() {
    TfmSettings d;
    d.LoadSettings(true);
    d.rbMusic->click();
    Click(d, "chkSkipTemp");
    Click(d, "chkShowQuickTips");
    d.lbExclusions->clear();
    d.btnRestoreDefaults->click();
    QVERIFY(d.rbCRC->isChecked());
    QCOMPARE(int(Settings.ScanOptions.ToBits()), 4727);
    QVERIFY(Child<QCheckBox>(d, "chkSkipTemp")->isChecked());
    QVERIFY(Child<QCheckBox>(d, "chkShowQuickTips")->isChecked());
    QVERIFY(Child<QCheckBox>(d, "chkMaximizeOnStartup")->isChecked());
    QVERIFY(!d.chkEnableLogging->isChecked());
    QCOMPARE(d.lbExclusions->count(), int(Settings.PermanentExclusions.size()));
    QVERIFY(d.lbExclusions->count() > 0);
    QVERIFY(Child<QCheckBox>(d, "chkMusic0")->isChecked());
    QVERIFY(!Child<QCheckBox>(d, "chkMusic2")->isChecked());
    d.reject();
  }

  // Which file properties each mode lets the user compare.
  void modeRules_data() {
    QTest::addColumn<QString>("radio");
    QTest::addColumn<QString>("expected");  // enabled (E), disabled (d), disabled and unchecked (u)
    QTest::addColumn<bool>("scanOptions");
    QTest::newRow("crc") << "rbCRC" << "EEuu" << true;
    QTest::newRow("bytes") << "rbB2B" << "EEuu" << true;
    QTest::newRow("name") << "rbFilenameOnly" << "uEEE" << true;
    QTest::newRow("music") << "rbMusic" << "EEEu" << true;
    QTest::newRow("emails") << "rbOutlook" << "dddu" << false;
    QTest::newRow("contacts") << "rbContacts" << "dddu" << false;
  }

  void modeRules() {
    QFETCH(QString, radio);
    QFETCH(QString, expected);
    QFETCH(bool, scanOptions);
    TfmSettings d;
    d.LoadSettings(true);
    QCheckBox* boxes[] = {d.chkIncludeFilename, d.chkIncludeExtension, d.chkIncludeFileSize, d.chkIncludeEXIF};
    // From another mode, with all four ticked.
    (radio == QStringLiteral("rbContacts") ? d.rbOutlook : d.rbContacts)->click();
    for (QCheckBox* b : boxes) b->setChecked(true);
    QCOMPARE(int(Settings.CompareOptions.ToBits()), 0x0F);
    Child<QRadioButton>(d, radio.toLatin1().constData())->click();
    for (int i = 0; i < 4; ++i) {
      const char e = expected.at(i).toLatin1();
      QCOMPARE(boxes[i]->isEnabled(), e == 'E');
      const auto member = static_cast<pelcrow::TPcwCompareOption>(i);
      if (e == 'u') {
        QVERIFY(!boxes[i]->isChecked());
        QVERIFY(!Settings.CompareOptions.Contains(member));
      } else if (e == 'd') {
        QVERIFY(Settings.CompareOptions.Contains(member));  // only disabled: kept
      }
    }
    QCOMPARE(d.gbScanOptions->isEnabled(), scanOptions);
    d.reject();
  }

  void nameModeThenBackToCrc() {
    TfmSettings d;
    Settings.CompareOptions = pelcrow::TPcwCompareOptions{pelcrow::coFileName};
    d.LoadSettings(false);
    QVERIFY(d.chkIncludeFilename->isChecked());
    d.rbFilenameOnly->click();
    QVERIFY(!Settings.CompareOptions.Contains(pelcrow::coFileName));
    d.chkIncludeFileSize->click();
    QVERIFY(Settings.CompareOptions.Contains(pelcrow::coFileSize));
    d.rbCRC->click();
    QVERIFY(!d.chkIncludeFilename->isChecked());
    QVERIFY(!d.chkIncludeFileSize->isChecked());
    QVERIFY(!Settings.CompareOptions.Contains(pelcrow::coFileSize));
    d.reject();
  }

  // The music, mail and contact options apply in their own modes only.
  void tabsFollowTheMode() {
    TfmSettings d;
    d.LoadSettings(true);
    auto* album = Child<QCheckBox>(d, "chkMusic2");
    QVERIFY(!album->isEnabled());
    QVERIFY(!d.gbEmails->isEnabled() && !d.gbContacts->isEnabled());
    d.rbMusic->click();
    d.pcSettings->setCurrentIndex(3);
    QVERIFY(album->isEnabled());
    d.pcSettings->setCurrentIndex(0);
    d.rbOutlook->click();
    d.pcSettings->setCurrentIndex(4);
    QVERIFY(d.gbEmails->isEnabled() && !d.gbContacts->isEnabled());
    d.reject();
  }

  void subfoldersAndContainer() {
    TfmSettings d;
    d.LoadSettings(true);
    d.chkExcludeContainer->setChecked(true);
    d.chkScanSubdirs->click();
    QVERIFY(!d.chkExcludeContainer->isEnabled());
    QVERIFY(!d.chkExcludeContainer->isChecked());
    QVERIFY(!Settings.ScanOptions.Contains(pelcrow::soExcludeContainer));
    d.chkScanSubdirs->click();
    QVERIFY(d.chkExcludeContainer->isEnabled());
    QVERIFY(!d.chkExcludeContainer->isChecked());
    d.reject();
  }

  void loggingNeedsAnExistingFolder() {
    const std::string before = FileBytes(Settings.GetSettingsFile());
    TfmSettings d;
    d.LoadSettings(true);
    d.chkEnableLogging->click();
    QVERIFY(d.gbLogDirectory->isEnabled() && d.gbLogEvents->isEnabled());
    d.edLogDirectory->clear();
    d.btnOK->click();
    QCOMPARE(d.result(), int(QDialog::Rejected));
    QVERIFY(!fPrompt.Messages.empty());
    QCOMPARE(fPrompt.Messages.back().Text, std::string("Please specify Log directory or disable logging"));
    QCOMPARE(d.pcSettings->currentIndex(), 2);
    QCOMPARE(FileBytes(Settings.GetSettingsFile()), before);
    d.chkEnableLogging->click();
    QVERIFY(!d.gbLogDirectory->isEnabled());
    d.chkAutoDelete->setChecked(false);
    QCOMPARE(Settings.AutoDeleteLogPeriod, 0);
    d.reject();
  }

  void exclusionEditor() {
    TfmSettings d;
    d.LoadSettings(true);
    const int n = d.lbExclusions->count();
    d.lbExclusions->clearSelection();
    d.btnRemoveExclusion->click();
    QCOMPARE(fPrompt.Messages.back().Text, std::string("No items selected. Please select folder you want to remove."));
    d.lbExclusions->setCurrentRow(0);
    fPrompt.Answers = {false};
    d.btnRemoveExclusion->click();
    QCOMPARE(d.lbExclusions->count(), n);
    QVERIFY(fPrompt.Questions.back().find("\r\nWARNING: Do NOT modify this list") != std::string::npos);
    d.lbExclusions->setCurrentRow(0);
    d.btnRemoveExclusion->click();
    QCOMPARE(d.lbExclusions->count(), n - 1);
    // A folder already listed is not asked about again.
    const std::string first = d.lbExclusions->item(0)->text().toStdString();
    pelcrow::ui::RunFolderBrowser = [&](QWidget*, const QString&, const std::string&, bool) { return first; };
    const std::size_t asked = fPrompt.Questions.size();
    d.btnAddExclusion->click();
    QCOMPARE(fPrompt.Questions.size(), asked);
    fPrompt.Answers = {false};
    d.btnClearExclusions->click();
    QCOMPARE(d.lbExclusions->count(), n - 1);
    d.btnClearExclusions->click();
    QCOMPARE(d.lbExclusions->count(), 0);
    d.reject();
  }

  // The help text goes to the status bar at once and into the floating tip from the third tick.
  void hoverHelp() {
    QString status;
    TfmSettings d(nullptr, [&status](const QString& t) { status = t; });
    d.LoadSettings(true);
    d.show();
    auto* box = Child<QCheckBox>(d, "chkSkipZero");
    QEvent enter(QEvent::Enter);
    QCoreApplication::sendEvent(box, &enter);
    QCOMPARE(status, QStringLiteral(" Search excludes files that have 0 size"));
    d.fHoverHelp->Tick();
    d.fHoverHelp->Tick();
    QVERIFY(!d.fHoverHelp->Tip()->isVisible());
    d.fHoverHelp->Tick();
    QVERIFY(d.fHoverHelp->Tip()->isVisible());
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(box, &leave);
    QVERIFY(status.isEmpty());
    QVERIFY(!d.fHoverHelp->Tip()->isVisible());
    d.reject();
  }

  // Every caption, tab and hover help of the dialog has a German text.
  void everyTextIsInGerman() {
    TfmSettings d;
    const QString missing = pelcrow::test::MissingGermanTexts(
        d, {"Settings", "File Search", "Preferences", "Logging", "Music Tags", "Contacts and Emails", "Tools",
            "Advanced Settings"});
    QVERIFY2(missing.isEmpty(), qPrintable(missing));
  }
};

QTEST_MAIN(SettingsDialogTest)
#include "SettingsDialogTest.moc"
