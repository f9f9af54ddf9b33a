// The scan wizard driven as a user drives it (three clicks to a scan of an XDG folder that ends in
// the assistant), its steps and folder page, the quick tips, and the one-time start-up actions.
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>
#include <QtTest>

#include <memory>

#include "UiTestUtil.h"
#include "localization/TranslateText.h"
#include "platform/SpecialFolders.h"
#include "ui/Artwork.h"
#include "ui/MainWindow.h"
#include "ui/QtMainThread.h"
#include "ui/QuickTips.h"
#include "ui/WizardDialog.h"

using namespace pelcrow::ui;
using pelcrow::Settings;
using pelcrow::test::Child;
using pelcrow::test::ShownModals;

namespace {

void ClickTile(TArtImage* tile) { QTest::mouseClick(tile, Qt::LeftButton); }

QStringList ListEntries(QListWidget* list) {
  QStringList out;
  for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
  return out;
}

}  // namespace

class WizardTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<pelcrow::test::TTestHome> fHome;
  std::unique_ptr<TQtMainThread> fMainThread;
  pelcrow::test::TScriptedPrompt fPrompt;

  bool Said(const std::string& text) const {
    for (const auto& m : fPrompt.Messages)
      if (m.Text == text) return true;
    return false;
  }

 private slots:
  void initTestCase() {
    fHome = std::make_unique<pelcrow::test::TTestHome>();
    // The user's folders, before anything reads them.
    for (const char* d : {"Documents", "Music", "Pictures", "Videos"}) fHome->Dir(d);
    fHome->Write("config/user-dirs.dirs",
                 "XDG_DOCUMENTS_DIR=\"$HOME/Documents\"\nXDG_MUSIC_DIR=\"$HOME/Music\"\n"
                 "XDG_PICTURES_DIR=\"$HOME/Pictures\"\nXDG_VIDEOS_DIR=\"$HOME/Videos\"\n");
    fMainThread = std::make_unique<TQtMainThread>(this);
    pelcrow::SetMainThread(fMainThread.get());
    pelcrow::SetUserPrompt(&fPrompt);
  }

  void cleanupTestCase() {
    pelcrow::SetUserPrompt(nullptr);
    pelcrow::SetMainThread(nullptr);
  }

  void init() {
    pelcrow::test::FreshSettings();
    Settings.ShowQuickTips = false;
    pelcrow::test::CloseModalsAtOnce();
    ShownModals().clear();
    fPrompt.Clear();
  }

  void masks() {
    QVERIFY(TfmWizard::GetMask(ftPhoto).starts_with("*.BMP;*.GIF;"));
    QVERIFY(TfmWizard::GetMask(ftMusic).ends_with("*.RM;*.RA;"));
    QVERIFY(TfmWizard::GetMask(ftOffice).find("*.ODT;") != std::string::npos);
    QCOMPARE(TfmWizard::GetMask(ftVideo).substr(0, 6), std::string("*.3GP;"));
    QCOMPARE(TfmWizard::GetMask(9), std::string("*.*"));
  }

  // "Photo Files", "My Pictures", "Get Started": a CRC scan of the pictures folder with the photo
  // mask, started from music mode, that ends in the assistant.
  void threeClicksToAScanAndTheAssistant() {
    fHome->Write("Pictures/a.jpg", "same picture");
    fHome->Write("Pictures/b.jpg", "same picture");
    fHome->Write("Pictures/a.txt", "same picture");
    Settings.SetComparisonMode(pelcrow::cmMusicTags);
    RunModal = [](QDialog& d) {
      ShownModals().push_back(d.objectName().toStdString());
      auto* wizard = dynamic_cast<TfmWizard*>(&d);
      if (!wizard) return 0;
      wizard->show();
      ClickTile(wizard->fTypeTiles[ftPhoto]);
      ClickTile(wizard->fLocationTiles[soMyPictures]);
      ClickTile(wizard->imgGetStarted);
      return wizard->result();
    };
    QString assistant;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&assistant] {
      if (QWidget* m = QApplication::activeModalWidget()) {
        assistant = m->objectName();
        m->close();
      }
    });
    poll.start(50);
    TfmMain w;
    Child<QPushButton>(w, "bWizard")->click();
    w.FlushRunTimer();
    QTRY_COMPARE_WITH_TIMEOUT(w.StartTag(), 0, 30000);
    QTRY_COMPARE(assistant, QStringLiteral("fmDuplicatesResolveWizard"));
    QVERIFY(Said("The current scan mode is automatically adjusted to the selected file types and set to CRC32+FileSize."));
    QCOMPARE(int(Settings.ComparisonMode()), int(pelcrow::cmCRC32));
    QCOMPARE(int(w.ScanEngine().CompareMode()), int(pelcrow::cmCRC32));
    QCOMPARE(Child<QLineEdit>(w, "edIncFileTypes")->text().toStdString(), TfmWizard::GetMask(ftPhoto));
    QCOMPARE(ListEntries(Child<QListWidget>(w, "lbInclude")), QStringList{QString::fromStdString(fHome->Home() + "/Pictures")});
    QCOMPARE(w.ScanEngine().ItemCount(), 2);  // the two pictures; the text file is not one
    QCOMPARE(ShownModals(), (std::vector<std::string>{"fmWizard", "fmScanResults"}));
  }

  // Each type offers "My Documents", its own folder and "Specify Folders".
  void locationsByType_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("offered");  // one letter per location: documents videos music pictures list
    QTest::newRow("office") << int(ftOffice) << "D---L";
    QTest::newRow("video") << int(ftVideo) << "DV--L";
    QTest::newRow("music") << int(ftMusic) << "D-M-L";
    QTest::newRow("photo") << int(ftPhoto) << "D--PL";
  }

  void locationsByType() {
    QFETCH(int, type);
    QFETCH(QString, offered);
    TfmWizard w;
    w.show();
    QCOMPARE(w.CurrentStep(), 1);
    QVERIFY(w.imgBack->isHidden());
    w.ChooseType(static_cast<TFileType>(type));
    QCOMPARE(w.CurrentStep(), 2);
    for (int l = 0; l < 5; ++l) QCOMPARE(w.fLocationTiles[l]->isVisible(), offered.at(l) != QLatin1Char('-'));
    ClickTile(w.imgBack);
    QCOMPARE(w.CurrentStep(), 1);
  }

  void specifyFolders() {
    const std::string a = fHome->Dir("pick/a");
    const std::string b = fHome->Dir("pick/b");
    std::vector<std::string> picks = {a, b, a};
    RunFolderBrowser = [&picks](QWidget*, const QString&, const std::string&, bool) {
      const std::string next = picks.front();
      picks.erase(picks.begin());
      return next;
    };
    TfmWizard w;
    w.show();
    w.ChooseType(ftOffice);
    ClickTile(w.fLocationTiles[soFolderList]);
    QCOMPARE(w.pnSteps->currentWidget()->objectName(), QStringLiteral("pnSelectFolder"));
    for (int i = 0; i < 3; ++i) w.btnAddFolder->click();  // the second a is not taken twice
    QCOMPARE(w.listSpecifyFolder->count(), 2);
    w.listSpecifyFolder->clearSelection();
    w.btnRemoveFolder->click();
    QVERIFY(Said("No items selected. Please select folder you want to remove."));
    w.btnFoldersOK->click();
    QCOMPARE(w.CurrentStep(), 3);
    QVERIFY(w.lbSearchIn->text().contains(QStringLiteral("Selected Folders")));
    QCOMPARE(w.fFolderList, (std::vector<std::string>{a, b}));
    emit w.lbSearchIn->linkActivated(QStringLiteral("#"));  // reopens the page with the folders
    QCOMPARE(w.listSpecifyFolder->count(), 2);
    w.btnFoldersCancel->click();
    QCOMPARE(w.CurrentStep(), 2);
    w.ChooseLocation(soMyDocuments);
    QCOMPARE(w.lbSearchFor->text(), QStringLiteral("Office Files"));
    QCOMPARE(w.fFolderList, (std::vector<std::string>{fHome->Home() + "/Documents"}));
    w.btnStartOver->click();
    QCOMPARE(w.CurrentStep(), 1);
    QVERIFY(w.fFolderList.empty());
  }

  void dontShowAtStartup() {
    Settings.LaunchWizard = false;
    {
      TfmWizard w;
      QVERIFY(w.chkDontShowWizard->isChecked());
      w.chkDontShowWizard->click();
      QVERIFY(Settings.LaunchWizard);
    }
    pelcrow::TPcwSettings fresh;
    fresh.LoadSettings(true);
    QVERIFY(fresh.LaunchWizard);
  }

  void refusedInMailModes() {
    Settings.SetComparisonMode(pelcrow::cmEmails);
    std::string mask, folders;
    QVERIFY(!TfmWizard::RunWizard(nullptr, mask, folders));
    QVERIFY(Said("Wizard cannot run in Emails or Contacts mode. Please choose another mode and try again."));
    QVERIFY(ShownModals().empty());
    Settings.SetComparisonMode(pelcrow::cmCRC32);
  }

  // Starting from the first tip shown, five more openings show five other tips in order; the
  // sixth is the first again. Previous and Next wrap around.
  void quickTipsInTurn() {
    QStringList shown;
    RunModal = [&shown](QDialog& d) {
      shown << Child<QLabel>(d, "lblText")->text();
      return 0;
    };
    Settings.QuickTipIndex = 0;
    for (int i = 0; i < 6; ++i) ShowQuickTips(nullptr);
    QCOMPARE(shown.size(), 6);
    QCOMPARE(QSet<QString>(shown.begin(), shown.begin() + 5).size(), 5);
    QCOMPARE(shown.at(1), QString::fromStdString(pelcrow::TranslateText(TfrmQTips::TipText(2))));
    QCOMPARE(shown.at(5), QString::fromStdString(pelcrow::TranslateText(TfrmQTips::TipText(0))));
    QVERIFY(shown.at(5).startsWith(QStringLiteral("Do you have lots of duplicate photos on your computer? Don\u2019t worry, Pelcrow")));
    QVERIFY(shown.at(5).contains(QStringLiteral("\r\n\r\nThen click")));
    Settings.QuickTipIndex = 0;
    TfrmQTips tips;
    tips.ShowTip();
    tips.btnPrevious->click();
    QCOMPARE(Settings.QuickTipIndex, 5);
    tips.btnNext->click();
    QCOMPARE(Settings.QuickTipIndex, 0);
  }

  void quickTipsBoxIsKept() {
    Settings.ShowQuickTips = true;
    RunModal = [](QDialog& d) {
      Child<QCheckBox>(d, "chkShowTips")->click();
      return 0;
    };
    ShowQuickTips(nullptr);
    pelcrow::TPcwSettings fresh;
    fresh.LoadSettings(true);
    QVERIFY(!fresh.ShowQuickTips);
  }

  // About 300 ms after the window shows: the quick tips, then the wizard, each when asked for.
  void startupActions() {
    Settings.ShowQuickTips = true;
    Settings.LaunchWizard = true;
    TfmMain w;
    w.show();
    QTRY_COMPARE(ShownModals(), (std::vector<std::string>{"frmQTips", "fmWizard"}));
    QTest::qWait(400);
    QCOMPARE(ShownModals().size(), std::size_t(2));  // once only
    ShownModals().clear();
    Settings.ShowQuickTips = false;
    Settings.LaunchWizard = false;
    TfmMain quiet;
    quiet.show();
    QTest::qWait(500);
    QVERIFY(ShownModals().empty());
  }

  void everyTextIsInGerman() {
    TfmWizard w;
    std::vector<std::string> texts = {"Wizard", "Back", "Selected Folders", "Step 1:", "Step 2:", "Step 3:",
                                      "Choose the type of duplicate file to scan for",
                                      "Choose where to search for duplicates", "Ready to Go!", "Quick Tips",
                                      "Wizard cannot run in Emails or Contacts mode. Please choose another mode and try again.",
                                      "Wizard cannot run in iPhoto mode. Please choose another mode and try again.",
                                      "The current scan mode is automatically adjusted to the selected file types and set to "
                                      "CRC32+FileSize."};
    for (int i = 0; i < kQuickTipCount; ++i) texts.push_back(TfrmQTips::TipText(i));
    QString missing = pelcrow::test::MissingGermanTexts(w, texts);
    TfrmQTips tips;
    missing += pelcrow::test::MissingGermanTexts(tips);
    QVERIFY2(missing.isEmpty(), qPrintable(missing));
  }
};

QTEST_MAIN(WizardTest)
#include "WizardTest.moc"
