// The small windows around the main window: the scan summary (and where it leads after a scan),
// About, the message box with a check box, the folder-tree choice, centring, menus without
// disabled items, and their German texts.
#include <QAction>
#include <QApplication>
#include <QTimer>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

#include "UiTestUtil.h"
#include "ui/AboutDialog.h"
#include "ui/Artwork.h"
#include "ui/DialogHelpers.h"
#include "ui/MainWindow.h"
#include "ui/MessageDlgWithCheck.h"
#include "ui/QtMainThread.h"
#include "ui/ScanResultsDialog.h"
#include "ui/SelectFolderBase.h"
#include "ui/SettingsDialog.h"
#include "ui/QuickTips.h"
#include "ui/WizardDialog.h"
#include "localization/TranslateText.h"
#include <QTabWidget>

using namespace pelcrow::ui;
using pelcrow::test::Child;
using pelcrow::test::ShownModals;

class SecondaryWindowsTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<pelcrow::test::TTestHome> fHome;
  std::unique_ptr<TQtMainThread> fMainThread;
  pelcrow::test::TScriptedPrompt fPrompt;

  void Scan(TfmMain& w, const std::string& folder) {
    w.AddIncludeFolder(folder);
    QTest::qWait(1100);  // a second click within a second is taken for a double click
    Child<QPushButton>(w, "crbStart")->click();
    QTRY_COMPARE_WITH_TIMEOUT(w.StartTag(), 0, 30000);
  }

 private slots:
  void initTestCase() {
    fHome = std::make_unique<pelcrow::test::TTestHome>();
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
    pelcrow::test::CloseModalsAtOnce();
    ShownModals().clear();
    fPrompt.Clear();
  }

  void pieChartNumber_data() {
    QTest::addColumn<int>("originals");
    QTest::addColumn<int>("duplicates");
    QTest::addColumn<int>("picture");
    QTest::newRow("empty") << 0 << 0 << 0;
    QTest::newRow("half") << 50 << 50 << 1;
    QTest::newRow("55 below 55.6") << 45 << 55 << 2;
    QTest::newRow("60") << 40 << 60 << 3;
    QTest::newRow("94 below 94.4") << 6 << 94 << 9;
    QTest::newRow("above all") << 1 << 99 << 9;
  }

  void pieChartNumber() {
    QFETCH(int, originals);
    QFETCH(int, duplicates);
    QFETCH(int, picture);
    QCOMPARE(TfmScanResults::PieChartNumber(originals, duplicates), picture);
    QVERIFY(HasArt(QStringLiteral("ScanResultPieChart_%1").arg(picture)));
  }

  void summaryTexts() {
    TfmScanResults one;
    one.SetSummary(1, 1, false, QStringLiteral("Scanned 2 total files."));
    QCOMPARE(one.lblTotalDuplicatesNumber->text(), QStringLiteral("1"));
    QCOMPARE(one.lblTotalDuplicatesText->text(), QStringLiteral("Duplicate File Found"));
    QCOMPARE(one.txtGo->text(), QStringLiteral("Go Fix Them"));
    QVERIFY(one.imgAssistant->isHidden());
    QCOMPARE(one.imgPieChart->ImageName(), QStringLiteral("ScanResultPieChart_1"));
    TfmScanResults many;
    many.SetSummary(1234, 40, true, QString());
    QCOMPARE(many.lblTotalDuplicatesNumber->text(), QStringLiteral("1,234"));
    QCOMPARE(many.lblTotalDuplicatesText->text(), QStringLiteral("Duplicate Files Found"));
    QVERIFY(!many.imgAssistant->isHidden());
    TfmScanResults none;
    none.SetSummary(0, 0, false, QString());
    QCOMPARE(none.txtGo->text(), QStringLiteral("OK"));
    QCOMPARE(none.imgPieChart->ImageName(), QStringLiteral("ScanResultPieChart_0"));
  }

  // The tiles choose, the close picture and the keys only close.
  void summaryChoices() {
    const auto result = [](const std::function<void(TfmScanResults&)>& act) {
      TfmScanResults d;
      d.SetSummary(3, 3, true, QString());
      d.show();
      d.setResult(-1);
      act(d);
      return d.result();
    };
    QCOMPARE(result([](TfmScanResults& d) { QTest::mouseClick(d.imgContinue, Qt::LeftButton); }), kSummaryContinue);
    QCOMPARE(result([](TfmScanResults& d) { QTest::mouseClick(d.imgAssistant, Qt::LeftButton); }), kSummaryAssistant);
    QCOMPARE(result([](TfmScanResults& d) { QTest::mouseClick(d.imgClose, Qt::LeftButton); }), kSummaryClosed);
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape, Qt::Key_Space}) {
      QCOMPARE(result([key](TfmScanResults& d) { QTest::keyClick(&d, key); }), kSummaryClosed);
    }
  }

  // After a scan the summary shows; "Go Fix Them" selects all but the original names, the
  // assistant tile starts the assistant.
  void summaryFollowsEveryScan() {
    const std::string dir = fHome->Dir("summary");
    fHome->Write("summary/a.txt", "same content");
    fHome->Write("summary/a - Copy.txt", "same content");
    TfmMain w;
    Scan(w, dir);
    QCOMPARE(ShownModals(), (std::vector<std::string>{"fmScanResults"}));
    QCOMPARE(Child<QLineEdit>(w, "edSelected")->text().left(2), QStringLiteral("0 "));
    RunModal = [](QDialog& d) { return d.objectName() == QStringLiteral("fmScanResults") ? kSummaryContinue : 0; };
    Scan(w, dir);
    QVERIFY(Child<QLineEdit>(w, "edSelected")->text().startsWith(QStringLiteral("1 ")));
    RunModal = [](QDialog& d) { return d.objectName() == QStringLiteral("fmScanResults") ? kSummaryAssistant : 0; };
    QString assistant;
    // The assistant runs its own loop; note it and close it.
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&assistant] {
      if (QWidget* m = QApplication::activeModalWidget()) {
        assistant = m->objectName();
        m->close();
      }
    });
    poll.start(50);
    Scan(w, dir);
    QTRY_VERIFY(!assistant.isEmpty());
    QVERIFY(assistant != QStringLiteral("fmScanResults"));
  }

  void centring() {
    QCOMPARE(CenteredOffset(0, 101, 50), 25);
    QCOMPARE(CenteredOffset(10, 50, 101), -16);  // -25.5 rounds down
    QWidget owner;
    owner.setGeometry(100, 100, 800, 600);
    TfmAbout about(&owner);
    AlignCenter(&about, &owner);
    QCOMPARE(about.pos(), QPoint(100 + (800 - 460) / 2, 100 + (600 - 300) / 2));
  }

  void about() {
    TfmAbout d;
    QCOMPARE(d.txtVersion->text(), QStringLiteral("V 0.1.0.0"));
    QVERIFY(d.lbHelp->text().contains(QStringLiteral("Need Help?")));
    d.show();
    QEvent enter(QEvent::Enter);
    QCoreApplication::sendEvent(d.imButton, &enter);
    QCOMPARE(d.imButton->CurrentOpacity(), 0.8);
    QTest::mouseClick(d.imButton, Qt::LeftButton);
    QCOMPARE(d.result(), int(QDialog::Accepted));
  }

  void messageWithCheck() {
    RunModal = [](QDialog& d) {
      Child<QCheckBox>(d, "chkMessage")->click();
      for (QPushButton* b : d.findChildren<QPushButton*>()) {
        if (b->text() == QStringLiteral("Yes")) b->click();
      }
      return 0;
    };
    bool checked = false;
    QCOMPARE(MessageDlgWithCheck(QStringLiteral("Go on?"), QStringLiteral("Do not ask again"), checked,
                                 QMessageBox::Question, QMessageBox::Yes | QMessageBox::No),
             QMessageBox::Yes);
    QVERIFY(checked);
    RunModal = [](QDialog&) { return 0; };
    QCOMPARE(MessageDlgWithCheck(QStringLiteral("Go on?"), QStringLiteral("x"), checked, QMessageBox::Warning,
                                 QMessageBox::Ok),
             QMessageBox::NoButton);
    QVERIFY(checked);  // untouched: still ticked
  }

  void folderTreeChoice() {
    TFolderSource source;
    source.Roots = {{"Inbox", "1"}, {"Archive", "2"}};
    int asked = 0;
    source.Children = [&asked](const TFolderChoice& f) {
      ++asked;
      return f.Id == "2" ? std::vector<TFolderChoice>{{"2024", "2/24"}} : std::vector<TFolderChoice>{};
    };
    TfmSelectFolderBase d;
    RunModal = [&asked](QDialog& dlg) {
      auto& s = dynamic_cast<TfmSelectFolderBase&>(dlg);
      s.show();
      s.btnOK->click();  // nothing chosen: stays open
      if (s.result() == QDialog::Accepted) return 0;
      QTreeWidgetItem* archive = s.tvFolderList->topLevelItem(1);
      s.tvFolderList->expandItem(archive);
      if (asked != 1 || archive->childCount() != 1) return 0;
      s.tvFolderList->setCurrentItem(archive->child(0));
      s.btnOK->click();
      return s.result();
    };
    const std::optional<TFolderChoice> chosen = d.SelectFolder(source);
    QVERIFY(chosen.has_value());
    QCOMPARE(chosen->Id, std::string("2/24"));
  }

  // The settings menu's item is there; the help menu shows only what it can do (all of it now).
  void menusLeaveOutDisabledItems() {
    TfmMain w;
    auto* help = Child<QMenu>(w, "pmHelp");
    emit help->aboutToShow();
    for (QAction* a : help->actions()) QCOMPARE(a->isVisible(), a->isEnabled());
    QVERIFY(help->findChild<QAction*>(QStringLiteral("miUpdate"))->isVisible());
    auto* modes = Child<QMenu>(w, "pmScanMode");
    emit modes->aboutToShow();
    int shown = 0;
    for (QAction* a : modes->actions()) shown += a->isVisible() ? 1 : 0;
    QCOMPARE(shown, 6);  // the photo library and similar pictures too; iTunes never
    auto* settings = Child<QMenu>(w, "pmSettings");
    emit settings->aboutToShow();
    QVERIFY(settings->actions().at(0)->isVisible());
  }

  // Pictures of every window for a person to judge, in the language PELCROW_SHOT_LANG names.
  // Only when PELCROW_SHOT_DIR names a folder.
  void screenshots() {
    const QString dir = qEnvironmentVariable("PELCROW_SHOT_DIR");
    if (dir.isEmpty()) QSKIP("PELCROW_SHOT_DIR not set");
    const QString lang = qEnvironmentVariable("PELCROW_SHOT_LANG", QStringLiteral("en"));
    pelcrow::GetLanguageController().SetLanguage(lang.toStdString());
    const QString prefix = dir + QLatin1Char('/') + lang + QStringLiteral("-x") +
                           qEnvironmentVariable("QT_SCALE_FACTOR", QStringLiteral("1")) + QLatin1Char('-');
    const auto shot = [&prefix](QWidget& w, const QString& name) {
      w.show();
      QTest::qWait(150);
      QVERIFY(w.grab().save(prefix + name + QStringLiteral(".png")));
    };
    {
      TfmSettings settings;
      settings.LoadSettings(true);
      for (int t = 0; t < settings.pcSettings->count(); ++t) {
        settings.pcSettings->setCurrentIndex(t);
        shot(settings, QStringLiteral("settings-%1").arg(t));
      }
      settings.reject();
    }
    TfmScanResults summary;
    summary.SetSummary(60, 40, true,
                       QString::fromStdString(pelcrow::TranslateText("Scanned %s total files.")).replace(
                           QStringLiteral("%s"), QStringLiteral("1,250")));
    shot(summary, QStringLiteral("summary"));
    TfmAbout about;
    shot(about, QStringLiteral("about"));
    TfmSelectFolderBase tree;
    tree.tvFolderList->addTopLevelItem(new QTreeWidgetItem(QStringList(QStringLiteral("Inbox"))));
    shot(tree, QStringLiteral("foldertree"));
    TfmWizard wizard;
    shot(wizard, QStringLiteral("wizard-1"));
    wizard.ChooseType(ftPhoto);
    shot(wizard, QStringLiteral("wizard-2"));
    wizard.fFolderList = {fHome->Dir("Pictures")};
    wizard.ShowStep(3);
    shot(wizard, QStringLiteral("wizard-3"));
    wizard.ChooseLocation(soFolderList);
    shot(wizard, QStringLiteral("wizard-folders"));
    pelcrow::Settings.QuickTipIndex = 1;
    TfrmQTips tips;
    tips.ShowTip();
    shot(tips, QStringLiteral("tips"));
    RunModal = [&shot](QDialog& d) {
      shot(d, QStringLiteral("messagebox"));
      return 0;
    };
    bool checked = true;
    MessageDlgWithCheck(QString::fromStdString(pelcrow::TranslateText("Are you sure you want to select master file?")),
                        QString::fromStdString(pelcrow::TranslateText("Disable this warning for this result set")),
                        checked, QMessageBox::Question, QMessageBox::Yes | QMessageBox::No);
    pelcrow::test::CloseModalsAtOnce();
    pelcrow::GetLanguageController().SetLanguage("en");
  }

  void everyTextIsInGerman() {
    TfmScanResults summary;
    QString missing = pelcrow::test::MissingGermanTexts(
        summary, {"Duplicate File Found", "Duplicate Files Found", "Go Fix Them", "OK", "Scanned %s total file.",
                  "Scanned %s total files."});
    TfmAbout about;
    missing += pelcrow::test::MissingGermanTexts(about, {"About", "Need Help?"});
    TfmSelectFolderBase tree;
    missing += pelcrow::test::MissingGermanTexts(tree, {"Please Select Folder", "Yes", "No", "Retry"});
    QVERIFY2(missing.isEmpty(), qPrintable(missing));
  }
};

QTEST_MAIN(SecondaryWindowsTest)
#include "SecondaryWindowsTest.moc"
