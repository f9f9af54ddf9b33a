// The main window driven as a user drives it: folders in, masks and limits, start, watch, stop,
// clear, close and come back; a second start handing its folders to the first.
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QDropEvent>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QThread>
#include <QToolButton>
#include <QTableView>
#include <QHeaderView>
#include <QStatusBar>
#include <QAbstractButton>
#include <QTreeWidget>
#include <QUrl>
#include <QtTest>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <thread>

#include "UiTestUtil.h"
#include "ui/AppStartup.h"
#include "engine/SearchFilter.h"
#include "engine/SearchFilterSettings.h"
#include "localization/LanguageController.h"
#include "logging/Logger.h"
#include "platform/SingleInstance.h"
#include "ui/ResultsPanel.h"
#include "settings/FileMasks.h"
#include "ui/FileMaskDialogs.h"
#include "settings/FileMaskSelectorModel.h"
#include "ui/FolderWidgets.h"
#include "ui/MainWindow.h"
#include "ui/QtMainThread.h"
#include "ui/QtTranslator.h"
#include "ui/SettingsDialog.h"
#include "ui/AppStyle.h"
#include <QScopeGuard>
#include <QLayout>
#include <QFrame>
#include "ui/ResolveAssistant.h"
#include <QMenu>

using pelcrow::TMessageKind;
using pelcrow::ui::TfmMain;

namespace {

using pelcrow::test::Child;

QStringList Entries(QWidget& w, const char* list) {
  QStringList out;
  auto* lb = Child<QListWidget>(w, list);
  for (int i = 0; i < lb->count(); ++i) out << lb->item(i)->text();
  return out;
}

void TypePath(TfmMain& w, const QString& text) {
  auto* edit = Child<QLineEdit>(w, "cleDirectory");
  edit->clear();
  QTest::keyClicks(edit, text);
  QTest::keyClick(edit, Qt::Key_Return);
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<pelcrow::test::TTestHome> fHome;
  std::unique_ptr<pelcrow::ui::TQtMainThread> fMainThread;
  pelcrow::test::TScriptedPrompt fPrompt;

  QString Home(const std::string& rel = "") const { return QString::fromStdString(fHome->Home() + "/" + rel); }
  bool Said(const std::string& text) const {
    for (const auto& m : fPrompt.Messages)
      if (m.Text == text) return true;
    return false;
  }
  void WaitForScanEnd(TfmMain& w) { QTRY_COMPARE_WITH_TIMEOUT(w.StartTag(), 0, 30000); }

 private slots:
  void initTestCase() {
    fHome = std::make_unique<pelcrow::test::TTestHome>();
    fMainThread = std::make_unique<pelcrow::ui::TQtMainThread>(this);
    pelcrow::SetMainThread(fMainThread.get());
    pelcrow::SetUserPrompt(&fPrompt);
  }

  void cleanupTestCase() {
    pelcrow::SetUserPrompt(nullptr);
    pelcrow::SetMainThread(nullptr);
  }

  // Every test starts from a fresh settings file.
  void init() {
    pelcrow::test::FreshSettings();
    fPrompt.Clear();
  }

  void windowBasics() {
    TfmMain w;
    w.show();
    QCOMPARE(w.windowTitle(), QStringLiteral("Pelcrow"));
    QCOMPARE(w.minimumSize(), QSize(800, 600));
    QCOMPARE(Child<QLabel>(w, "txtVersion")->text(), QStringLiteral("V 0.1.0.0"));
    QCOMPARE(Child<QLabel>(w, "txtTimer")->text(), QStringLiteral("00:00:00"));
    QCOMPARE(Child<QLineEdit>(w, "edIncFileTypes")->text(), QStringLiteral("*.*"));
    QCOMPARE(Child<QLineEdit>(w, "edSelected")->text(), QStringLiteral("0 / 0 B"));
    QCOMPARE(Child<QLineEdit>(w, "edSizeStats")->text(), QStringLiteral("0 B"));
    QCOMPARE(Child<QTabWidget>(w, "tcPathList")->tabText(0), QStringLiteral("Include to Scan"));
    // Start needs a folder to scan.
    QVERIFY(!Child<QPushButton>(w, "crbStart")->isEnabled());
    // The tree starts with the home folder and the file system.
    auto* tree = Child<QTreeWidget>(w, "tvFolderList");
    QVERIFY(tree->topLevelItemCount() >= 2);
    QCOMPARE(tree->topLevelItem(0)->text(0), QStringLiteral("Home"));
    // Hints appear in the status bar while the mouse is over their control.
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(Child<QLineEdit>(w, "cleDirectory"), &enter);
    QCOMPARE(Child<QLabel>(w, "StatusText")->text(),
             QStringLiteral("You can type full path in input area and press Enter to add it to the list"));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(Child<QLineEdit>(w, "cleDirectory"), &leave);
    QVERIFY(Child<QLabel>(w, "StatusText")->text().isEmpty());
  }

  // The desktop entry hands over folders and list files alike: only existing .dup files are
  // lists to load; a folder named like one, or a missing list, stays a folder for the scan.
  void commandLineListFiles() {
    const std::string list = fHome->Write("saved.dup", "[Version 1]\n");
    const std::string upper = fHome->Write("SAVED2.DUP", "[Version 1]\n");
    const std::string folder = fHome->Dir("photos.dup");
    const std::string missing = fHome->Home() + "/missing.dup";
    const std::string plain = fHome->Dir("plain");
    std::vector<std::string> folders, lists;
    pelcrow::ui::SplitListFiles({plain, list, folder, missing, upper}, folders, lists);
    QCOMPARE(lists, (std::vector<std::string>{list, upper}));
    QCOMPARE(folders, (std::vector<std::string>{plain, folder, missing}));
  }

  // A worker's hand-over runs on the user-interface thread, later, not inside the worker.
  void handOverRunsOnUiThread() {
    pelcrow::ui::TQtMainThread mt(this);
    std::atomic<bool> ranOnUi{false};
    std::atomic<bool> called{false};
    std::thread worker([&] {
      QVERIFY(!mt.IsMainThread());
      mt.Call([&] { called = true; });
      mt.Post([&] { ranOnUi = mt.IsMainThread(); });
    });
    QTRY_VERIFY(ranOnUi.load());
    worker.join();
    QVERIFY(called.load());
  }

  void typedPaths_data() {
    QTest::addColumn<int>("tab");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("entry");  // what the active list gains; empty: nothing
    QTest::addColumn<QString>("message");
    fHome->Dir("typed/photos");
    QTest::newRow("repeated slashes") << 0 << Home("typed//photos") << Home("typed/photos/") << QString();
    QTest::newRow("blanks and trailing slash") << 0 << QStringLiteral("  ") + Home("typed/photos/") + QStringLiteral("  ")
                                               << Home("typed/photos/") << QString();
    QTest::newRow("home shorthand") << 0 << QStringLiteral("~/typed/photos") << Home("typed/photos/") << QString();
    QTest::newRow("missing folder") << 0 << Home("typed/none") << QString()
                                    << QStringLiteral("Specified path does not exist or inaccessible.");
    QTest::newRow("exclude folder pattern") << 1 << QStringLiteral("*/Temp") << QStringLiteral("*/Temp/") << QString();
    QTest::newRow("exclude text without wildcard") << 1 << QStringLiteral("a|b") << QString()
                                                   << QStringLiteral("Specified path does not exist or inaccessible.");
    // Not below the folder the program was started in.
    QTest::newRow("relative to home") << 0 << QStringLiteral("typed/photos") << Home("typed/photos/") << QString();
    QTest::newRow("dot segments") << 0 << QStringLiteral("~/typed/none/../photos/.") << Home("typed/photos/")
                                  << QString();
    QTest::newRow("other user's home is not looked up") << 0 << QStringLiteral("~nobody") << QString()
                                                         << QStringLiteral("Specified path does not exist or inaccessible.");
  }

  void typedPaths() {
    QFETCH(int, tab);
    QFETCH(QString, typed);
    QFETCH(QString, entry);
    QFETCH(QString, message);
    TfmMain w;
    Child<QTabWidget>(w, "tcPathList")->setCurrentIndex(tab);
    TypePath(w, typed);
    const char* list = tab == 0 ? "lbInclude" : "lbExclude";
    QCOMPARE(Entries(w, list), entry.isEmpty() ? QStringList() : QStringList{entry});
    if (message.isEmpty()) {
      w.FlushRunTimer();
      QVERIFY(fPrompt.Messages.empty());
      // A folder listed already is not added twice, and the user is told why.
      TypePath(w, typed);
      QCOMPARE(Entries(w, list).size(), 1);
      QVERIFY(fPrompt.Messages.empty());  // shown after the key press has been handled
      w.FlushRunTimer();
      QCOMPARE(fPrompt.Messages.size(), size_t(1));
      QCOMPARE(fPrompt.Messages[0].Text, std::string("This folder is already in the list"));
    } else {
      QVERIFY(Said(message.toStdString()));
    }
    QCOMPARE(Child<QPushButton>(w, "crbStart")->isEnabled(), tab == 0 && !entry.isEmpty());
  }

  // With subfolders scanned, a folder inside another listed one would have its files counted twice.
  void nestedFolders_data() {
    QTest::addColumn<QStringList>("listed");  // typed into the include (master) list first
    QTest::addColumn<int>("tab");
    QTest::addColumn<QString>("added");
    QTest::addColumn<bool>("subdirs");
    QTest::addColumn<bool>("master");
    QTest::addColumn<QStringList>("include");
    QTest::addColumn<QStringList>("exclude");
    QTest::addColumn<QString>("message");
    for (const char* d : {"nest/A/B/deep", "nest/A/C", "nest/AB", "nest/D"}) fHome->Dir(d);
    const QString inside = QStringLiteral(
        "This folder is inside a folder already in the list, whose scan reads it anyway; it was not added, as its "
        "files would be counted twice");
    const QString merged = QStringLiteral(
        "Folders inside this folder were in the list; it takes their place, so that no file is counted twice");
    const QStringList a{Home("nest/A/")};
    QTest::newRow("subfolder refused") << a << 0 << QStringLiteral("~/nest/A/B/deep") << true << false << a
                                       << QStringList() << inside;
    QTest::newRow("subfolder of a master refused") << a << 0 << QStringLiteral("~/nest/A/B") << true << true << a
                                                   << QStringList() << inside;
    QTest::newRow("parent takes the place of its subfolders")
        << QStringList{Home("nest/A/B/"), Home("nest/D/"), Home("nest/A/C/")} << 0 << QStringLiteral("~/nest/A") << true
        << false << QStringList{Home("nest/D/"), Home("nest/A/")} << QStringList() << merged;
    QTest::newRow("name sharing a prefix is no subfolder")
        << a << 0 << QStringLiteral("~/nest/AB") << true << false << QStringList{Home("nest/A/"), Home("nest/AB/")}
        << QStringList() << QString();
    QTest::newRow("without subfolder scan nothing is read twice")
        << a << 0 << QStringLiteral("~/nest/A/B") << false << false << QStringList{Home("nest/A/"), Home("nest/A/B/")}
        << QStringList() << QString();
    QTest::newRow("exclude list takes a subfolder of an included folder")
        << a << 1 << QStringLiteral("~/nest/A/B") << true << false << a << QStringList{Home("nest/A/B/")} << QString();
  }

  void nestedFolders() {
    QFETCH(QStringList, listed);
    QFETCH(int, tab);
    QFETCH(QString, added);
    QFETCH(bool, subdirs);
    QFETCH(bool, master);
    QFETCH(QStringList, include);
    QFETCH(QStringList, exclude);
    QFETCH(QString, message);
    pelcrow::Settings.MasterSelectMode = master;
    if (!subdirs) pelcrow::Settings.ScanOptions.Exclude(pelcrow::soScanSubdirs);
    TfmMain w;
    for (const QString& folder : listed) TypePath(w, folder);
    w.FlushRunTimer();
    QCOMPARE(Entries(w, "lbInclude"), listed);
    QVERIFY(fPrompt.Messages.empty());
    Child<QTabWidget>(w, "tcPathList")->setCurrentIndex(tab);
    TypePath(w, added);
    w.FlushRunTimer();
    QCOMPARE(Entries(w, "lbInclude"), include);
    QCOMPARE(Entries(w, "lbExclude"), exclude);
    if (message.isEmpty()) {
      QVERIFY(fPrompt.Messages.empty());
    } else {
      QCOMPARE(fPrompt.Messages.size(), size_t(1));
      QCOMPARE(QString::fromStdString(fPrompt.Messages[0].Text), message);
    }
  }

  void refusedFoldersAndWarnings() {
    TfmMain w;
    const std::string hidden = fHome->Dir("refuse/.secret");
    const std::string cache = fHome->Dir("cache/thumbs");  // a permanent exclusion by default
    w.AddIncludeFolder(hidden);
    QVERIFY(fPrompt.Messages.empty());  // shown after the drop has finished
    w.FlushRunTimer();
    QCOMPARE(fPrompt.Messages.size(), size_t(1));
    QCOMPARE(fPrompt.Messages[0].Text, std::string("Some folders cannot be accepted, because \"Include Hidden Objects\" "
                                                    "option is not enabled"));
    w.AddIncludeFolder(cache);
    w.FlushRunTimer();
    QCOMPARE(fPrompt.Messages.back().Kind, TMessageKind::mkError);
    QVERIFY(fPrompt.Messages.back().Text.find("in exclusion list") != std::string::npos);
    w.AddIncludeFolder(Home("refuse/missing").toStdString());
    QCOMPARE(fPrompt.Messages.back().Text, std::string("The specified directory does not exist"));

    // From the shell: one system and one hidden folder give the one combined warning.
    fPrompt.Clear();
    w.AddIncludeFolders({"/usr", hidden, fHome->Dir("refuse/ok")});
    QCOMPARE(fPrompt.Messages.size(), size_t(1));
    QCOMPARE(fPrompt.Messages[0].Text,
             std::string("Some folders were not been added in accordance with the current program settings"));
    QCOMPARE(Entries(w, "lbInclude"), QStringList{Home("refuse/ok/")});
    QVERIFY(w.findChild<QPushButton*>(QStringLiteral("crbStart"))->isEnabled());

    // The shell's folders follow the same rules for folders listed already or nested in them.
    fPrompt.Clear();
    w.AddIncludeFolders({fHome->Dir("refuse/ok/inner")});
    QCOMPARE(fPrompt.Messages.size(), size_t(1));
    QVERIFY(fPrompt.Messages[0].Text.find("inside a folder already in the list") != std::string::npos);
    fPrompt.Clear();
    w.AddIncludeFolders({Home("refuse/ok").toStdString(), fHome->Dir("refuse/ok/inner")});
    QCOMPARE(fPrompt.Messages.size(), size_t(1));
    QCOMPARE(fPrompt.Messages[0].Text,
             std::string("Some folders were not been added in accordance with the current program settings"));
    fPrompt.Clear();
    w.AddIncludeFolders({Home("refuse").toStdString()});
    QCOMPARE(fPrompt.Messages.size(), size_t(1));
    QVERIFY(fPrompt.Messages[0].Text.find("it takes their place") != std::string::npos);
    QCOMPARE(Entries(w, "lbInclude"), QStringList{Home("refuse/")});
  }

  void dropsFromFileManager() {
    TfmMain w;
    w.show();
    const std::string dir = fHome->Dir("dropped");
    const std::string file = fHome->Write("dropped/file.txt", "x");
    auto* list = Child<QListWidget>(w, "lbInclude");
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(dir)), QUrl::fromLocalFile(QString::fromStdString(file))});
    // Qt delivers the drop to the widget that accepted the drag's entry.
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &drop);
    QCOMPARE(Entries(w, "lbInclude"), QStringList{QString::fromStdString(dir + "/")});
    // A dropped file is no folder.
    QVERIFY(Said("The specified directory does not exist"));
  }

  void folderTreeOpensLazilyAndAddsOnDoubleClick() {
    fHome->Dir("tree/Visible");
    fHome->Dir("tree/.Hidden");
    TfmMain w;
    w.show();
    auto* tree = Child<QTreeWidget>(w, "tvFolderList");
    QTreeWidgetItem* home = tree->topLevelItem(0);
    QCOMPARE(home->childCount(), 0);  // nothing read before the node is opened
    home->setExpanded(true);
    QTreeWidgetItem* folder = nullptr;
    for (int i = 0; i < home->childCount(); ++i) {
      QVERIFY(!home->child(i)->text(0).startsWith(QLatin1Char('.')));  // hidden folders are not offered
      if (home->child(i)->text(0) == QStringLiteral("tree")) folder = home->child(i);
    }
    QVERIFY(folder);
    folder->setExpanded(true);
    QCOMPARE(folder->childCount(), 1);
    QTreeWidgetItem* visible = folder->child(0);
    tree->scrollToItem(visible);
    const QRect r = tree->visualItemRect(visible);
    // A double click is a press after a click; the view compares it with the pressed item.
    QTest::mousePress(tree->viewport(), Qt::LeftButton, Qt::NoModifier, r.center());
    QTest::mouseRelease(tree->viewport(), Qt::LeftButton, Qt::NoModifier, r.center());
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, r.center());
    QCOMPARE(Entries(w, "lbInclude"), QStringList{Home("tree/Visible/")});
    // "Refresh" reads the tree again and opens the way back to the selected folder.
    tree->setCurrentItem(visible);
    Child<QToolButton>(w, "ImageRefresh")->click();
    QVERIFY(tree->currentItem() != visible);  // a new item ...
    QCOMPARE(pelcrow::ui::TFolderTree::ItemPath(tree->currentItem()), fHome->Home() + "/tree/Visible");
    folder = tree->currentItem()->parent();
    // The exclude tab takes what "Add" brings while it is shown.
    Child<QTabWidget>(w, "tcPathList")->setCurrentIndex(1);
    tree->setCurrentItem(folder);
    Child<QPushButton>(w, "bAdd")->click();
    QCOMPARE(Entries(w, "lbExclude"), QStringList{Home("tree/")});
  }

  void removeAndClear() {
    TfmMain w;
    for (const char* d : {"rm/a", "rm/b", "rm/c"}) w.AddIncludeFolder(fHome->Dir(d));
    auto* list = Child<QListWidget>(w, "lbInclude");
    Child<QPushButton>(w, "bRemove")->click();
    QVERIFY(Said("No items selected. Please select folder you want to remove."));
    list->item(0)->setSelected(true);
    list->item(2)->setSelected(true);
    Child<QPushButton>(w, "bRemove")->click();
    QCOMPARE(Entries(w, "lbInclude"), QStringList{Home("rm/b/")});
    Child<QPushButton>(w, "bClear")->click();
    QCOMPARE(list->count(), 0);
    QVERIFY(!Child<QPushButton>(w, "crbStart")->isEnabled());
    Child<QPushButton>(w, "bAdd")->click();
    QVERIFY(Said("No items selected. Please select folder you want to add."));
  }

  void scanFinishesWithStatistics() {
    const std::string root = fHome->Dir("scan1");
    fHome->Write("scan1/a.txt", "same content 1234");
    fHome->Write("scan1/b.txt", "same content 1234");
    fHome->Write("scan1/sub/c.txt", "same content 1234");
    fHome->Write("scan1/d.txt", "other content 123");
    TfmMain w;
    w.show();
    TypePath(w, QString::fromStdString(root));
    auto* start = Child<QPushButton>(w, "crbStart");
    QVERIFY(start->isEnabled());
    QTest::mouseClick(start, Qt::LeftButton);
    QCOMPARE(w.StartTag(), 1);
    QCOMPARE(start->text(), QStringLiteral("Stop"));
    QVERIFY(!Child<QPushButton>(w, "bAdd")->isEnabled());  // step 1 is locked while scanning
    WaitForScanEnd(w);
    QCOMPARE(start->text(), QStringLiteral("Start"));
    QCOMPARE(Child<QLineEdit>(w, "edFilesScanned")->text(), QStringLiteral("4"));
    QCOMPARE(Child<QLineEdit>(w, "edOriginalFiles")->text(), QStringLiteral("1"));
    QCOMPARE(Child<QLineEdit>(w, "edDuplicates")->text(), QStringLiteral("2"));
    QCOMPARE(Child<QLineEdit>(w, "edSizeStats")->text(), QStringLiteral("34 B"));
    QCOMPARE(Child<QTableView>(w, "sgFileList")->model()->rowCount(), 3);
    QCOMPARE(Child<QLabel>(w, "lblSummary")->text(),
             QStringLiteral("Scanned 4 total files. Detected duplicates for 1 file, which occupy 34 B of hard disk space."));
    QCOMPARE(w.ExportInfo().Info.DuplicateFiles, 2);
    QVERIFY(Child<QPushButton>(w, "bAdd")->isEnabled());
    QVERIFY(Child<QPushButton>(w, "crbClearResults")->isEnabled());

    // "Clear" asks first; No keeps the results.
    fPrompt.Answers = {false};
    Child<QPushButton>(w, "crbClearResults")->click();
    QCOMPARE(fPrompt.Questions.back(), std::string("Are you sure you want to clear results?"));
    QCOMPARE(w.ScanEngine().ItemCount(), 3);
    fPrompt.Answers = {true};
    Child<QPushButton>(w, "crbClearResults")->click();
    QCOMPARE(w.ScanEngine().ItemCount(), 0);
    QCOMPARE(Child<QTableView>(w, "sgFileList")->model()->rowCount(), 0);
    QCOMPARE(Child<QLineEdit>(w, "edFilesScanned")->text(), QStringLiteral("0"));
    QCOMPARE(Child<QLineEdit>(w, "edSizeStats")->text(), QStringLiteral("0 B"));
  }

  // After "File Properties" the include folders are watched: a result file renamed or moved
  // there (in the file manager's dialog, say) shows its new name and folder in its row.
  void renamesAfterFilePropertiesReachTheRows() {
    const std::string root = fHome->Dir("watched");
    fHome->Write("watched/a.txt", "same content 1234");
    fHome->Write("watched/b.txt", "same content 1234");
    fHome->Dir("watched/sub");
    TfmMain w;
    w.show();
    TypePath(w, QString::fromStdString(root));
    QTest::mouseClick(Child<QPushButton>(w, "crbStart"), Qt::LeftButton);
    WaitForScanEnd(w);
    QCOMPARE(w.ScanEngine().ItemCount(), 2);
    emit w.Results()->PropertiesShown();
    QTest::qWait(200);  // the watches are placed
    std::filesystem::rename(root + "/b.txt", root + "/sub/renamed.txt");
    auto rowOf = [&w](const std::string& name) {
      for (int i = 0; i < w.ScanEngine().ItemCount(); ++i)
        if (w.ScanEngine().Item(i)->Name.view() == name) return i;
      return -1;
    };
    QTRY_VERIFY_WITH_TIMEOUT(rowOf("renamed.txt") >= 0, 5000);
    const int row = rowOf("renamed.txt");
    QCOMPARE(w.ScanEngine().Item(row)->Path.str(), root + "/sub");
    QCOMPARE(rowOf("b.txt"), -1);
    QAbstractItemModel* model = Child<QTableView>(w, "sgFileList")->model();
    QStringList cells;
    for (int c = 0; c < model->columnCount(); ++c) cells << model->index(row, c).data().toString();
    QVERIFY2(cells.contains(QStringLiteral("renamed.txt")), qPrintable(cells.join('|')));
    // The unchanged copy keeps its row.
    QVERIFY(rowOf("a.txt") >= 0);
  }

  // A mode switch that would throw the results away asks first.
  void modeSwitchAsksBeforeClearingResults() {
    const std::string root = fHome->Dir("modeswitch");
    fHome->Write("modeswitch/a.txt", "mode switch bytes");
    fHome->Write("modeswitch/b.txt", "mode switch bytes");
    TfmMain w;
    TypePath(w, QString::fromStdString(root));
    Child<QPushButton>(w, "crbStart")->click();
    WaitForScanEnd(w);
    QCOMPARE(w.ScanEngine().ItemCount(), 2);
    // No keeps mode and results.
    fPrompt.Answers = {false};
    w.ChooseScanMode(pelcrow::cmMusicTags);
    QCOMPARE(fPrompt.Questions.back(),
             std::string("Switching the scan mode clears the current results. Do you want to proceed?"));
    QCOMPARE(pelcrow::Settings.ComparisonMode(), pelcrow::cmCRC32);
    QCOMPARE(w.ScanEngine().ItemCount(), 2);
    // Yes switches and clears; back to the file search without results asks nothing.
    fPrompt.Answers = {true};
    w.ChooseScanMode(pelcrow::cmMusicTags);
    QCOMPARE(pelcrow::Settings.ComparisonMode(), pelcrow::cmMusicTags);
    QCOMPARE(w.ScanEngine().ItemCount(), 0);
    fPrompt.Clear();
    w.ChooseScanMode(pelcrow::cmCRC32);
    QVERIFY(fPrompt.Questions.empty());
  }

  // The settings dialog asks the same before its OK throws the results away: No keeps the
  // dialog open with the old mode chosen again, Yes switches and clears.
  void settingsModeSwitchAsksBeforeClearingResults() {
    const std::string root = fHome->Dir("settingsswitch");
    fHome->Write("settingsswitch/a.txt", "settings switch bytes");
    fHome->Write("settingsswitch/b.txt", "settings switch bytes");
    TfmMain w;
    TypePath(w, QString::fromStdString(root));
    Child<QPushButton>(w, "crbStart")->click();
    WaitForScanEnd(w);
    QCOMPARE(w.ScanEngine().ItemCount(), 2);
    bool stayedOpen = false;
    bool oldModeChecked = false;
    pelcrow::ui::RunModal = [&](QDialog& d) {
      auto& s = dynamic_cast<pelcrow::ui::TfmSettings&>(d);
      s.rbMusic->click();
      s.btnOK->click();
      stayedOpen = s.result() != QDialog::Accepted;
      oldModeChecked = s.rbCRC->isChecked();
      if (stayedOpen) s.reject();
      return s.result();
    };
    const auto runSettings = [&w] {
      Child<QMenu>(w, "pmSettings")->actions().at(0)->trigger();
      w.FlushRunTimer();
    };
    fPrompt.Clear();
    fPrompt.Answers = {false};
    runSettings();
    QCOMPARE(fPrompt.Questions,
             std::vector<std::string>{"Switching the scan mode clears the current results. Do you want to proceed?"});
    QVERIFY(stayedOpen);
    QVERIFY(oldModeChecked);
    QCOMPARE(pelcrow::Settings.ComparisonMode(), pelcrow::cmCRC32);
    QCOMPARE(w.ScanEngine().ItemCount(), 2);
    fPrompt.Clear();
    fPrompt.Answers = {true};
    runSettings();
    QCOMPARE(fPrompt.Questions.size(), std::size_t(1));
    QVERIFY(!stayedOpen);
    QCOMPARE(pelcrow::Settings.ComparisonMode(), pelcrow::cmMusicTags);
    QCOMPARE(w.ScanEngine().ItemCount(), 0);
    pelcrow::test::CloseModalsAtOnce();
  }

  void stopMidwayLeavesNoResults() {
    const std::string root = fHome->Dir("scan2");
    // Many folders: the count of files scanned moves at each.
    for (int i = 0; i < 600; ++i) fHome->Write("scan2/d" + std::to_string(i / 10) + "/f" + std::to_string(i) + ".txt", "identical");
    TfmMain w;
    w.show();
    w.AddIncludeFolder(root);
    // Every file takes a while: the scan is still running when Stop comes.
    w.ScanEngine().OnFilter = [](const std::string&, const pelcrow::TSearchRec&) {
      QThread::msleep(10);
      return true;
    };
    auto* start = Child<QPushButton>(w, "crbStart");
    QTest::mouseClick(start, Qt::LeftButton);
    QCOMPARE(w.StartTag(), 1);
    // A second click within a second is swallowed, not taken for Stop.
    QTest::mouseClick(start, Qt::LeftButton);
    QCOMPARE(w.StartTag(), 1);
    // Folders handed over by the shell wait until the scan is over.
    w.AddIncludeFolders({fHome->Dir("scan2more")});
    QVERIFY(Said("Scan is already in progress. Please wait until scanning is finished and try again."));
    QCOMPARE(Entries(w, "lbInclude").size(), 1);
    // The clock runs.
    QTRY_VERIFY_WITH_TIMEOUT(Child<QLabel>(w, "txtTimer")->text() != QStringLiteral("00:00:00"), 4000);
    QCOMPARE(w.StartTag(), 1);
    QTest::mouseClick(start, Qt::LeftButton);
    QCOMPARE(w.StartTag(), 2);
    QVERIFY(!start->isEnabled());
    QCOMPARE(Child<QLabel>(w, "txtTimer")->text(), QStringLiteral("00:00:00"));
    WaitForScanEnd(w);
    QCOMPARE(w.ScanEngine().ItemCount(), 0);
    QCOMPARE(Child<QTableView>(w, "sgFileList")->model()->rowCount(), 0);
    QCOMPARE(Child<QLineEdit>(w, "edDuplicates")->text(), QStringLiteral("0"));
    QVERIFY(Child<QLabel>(w, "lblSummary")->isHidden());
    QVERIFY(start->isEnabled());
    // The status line says the scan was stopped, and how far it came.
    const QString status = Child<QLabel>(w, "StatusText")->text();
    QVERIFY2(status.startsWith(QStringLiteral("Scan stopped: ")) && status.endsWith(QStringLiteral(" files scanned")),
             qPrintable(status));
    QVERIFY(Child<QLineEdit>(w, "edFilesScanned")->text() != QStringLiteral("0"));
    QVERIFY2(!status.startsWith(QStringLiteral("Scan stopped: 0 ")), qPrintable(status));
  }

  // A Stop click that comes just after the scan ended is not taken for Start (which would scan
  // again over the results); a click a moment later is.
  void stopJustAfterTheEndStartsNothing() {
    const std::string root = fHome->Dir("scan5");
    for (int i = 0; i < 150; ++i) fHome->Write("scan5/f" + std::to_string(i) + ".txt", "same bytes");
    TfmMain w;
    w.show();
    w.AddIncludeFolder(root);
    w.ScanEngine().OnFilter = [](const std::string&, const pelcrow::TSearchRec&) {
      QThread::msleep(10);
      return true;
    };
    auto* start = Child<QPushButton>(w, "crbStart");
    QTest::mouseClick(start, Qt::LeftButton);
    WaitForScanEnd(w);
    QCOMPARE(w.ScanEngine().ItemCount(), 150);
    QTest::mouseClick(start, Qt::LeftButton);
    QCOMPARE(w.StartTag(), 0);
    QCOMPARE(w.ScanEngine().ItemCount(), 150);
  }

  // Closing while the worker waits for this thread must not hang.
  void closeDuringScan() {
    const std::string root = fHome->Dir("scan4");
    for (int i = 0; i < 200; ++i) fHome->Write("scan4/f" + std::to_string(i) + ".txt", "identical");
    auto w = std::make_unique<TfmMain>();
    w->AddIncludeFolder(root);
    w->ScanEngine().OnFilter = [](const std::string&, const pelcrow::TSearchRec&) {
      QThread::msleep(10);
      return true;
    };
    Child<QPushButton>(*w, "crbStart")->click();
    QTest::qWait(100);
    QCOMPARE(w->StartTag(), 1);
    QVERIFY(w->close());
    QVERIFY(!w->ScanEngine().ScanThreadExecuting());
    w.reset();
  }

  // A folder that a check turns away as a whole is named in the summary.
  void emptyResultSaysWhichCheckRefused() {
    // The temporary folder check refuses a folder below $TMPDIR as a whole.
    const std::string root = fHome->Dir("tmp/scan5");
    fHome->Write("tmp/scan5/a.txt", "x");
    pelcrow::Settings.ScanOptions.Include(pelcrow::soSkipTemp);
    TfmMain w;
    w.AddIncludeFolder(root);
    Child<QPushButton>(w, "crbStart")->click();
    WaitForScanEnd(w);
    pelcrow::Settings.ScanOptions.Exclude(pelcrow::soSkipTemp);
    QCOMPARE(Child<QLineEdit>(w, "edFilesScanned")->text(), QStringLiteral("0"));
    QCOMPARE(Child<QLabel>(w, "lblSummary")->text(),
             QStringLiteral("Scanned 0 total files. Detected duplicates for 0 files, which occupy 0 B of hard disk "
                            "space.\n") + QString::fromStdString(root + ": Skip temporary files check"));
  }

  void sizeLimitsReachTheEngine() {
    TfmMain w;
    w.AddIncludeFolder(fHome->Dir("scan3"));
    Child<QCheckBox>(w, "chkMinSize")->setChecked(true);
    QVERIFY(Child<QDoubleSpinBox>(w, "nbMinSize")->isEnabled());
    QVERIFY(!Child<QDoubleSpinBox>(w, "nbMaxSize")->isEnabled());
    Child<QDoubleSpinBox>(w, "nbMinSize")->setValue(2);
    Child<QComboBox>(w, "cbMinSize")->setCurrentIndex(2);  // MB
    Child<QPushButton>(w, "crbStart")->click();
    QCOMPARE(w.ScanEngine().FileSizeMin, std::int64_t(2097152));
    QCOMPARE(w.ScanEngine().FileSizeMax, std::int64_t(0));
    WaitForScanEnd(w);
  }

  void masterModeTabs() {
    pelcrow::Settings.MasterSelectMode = true;
    TfmMain w;
    auto* tabs = Child<QTabWidget>(w, "tcPathList");
    QCOMPARE(tabs->tabText(0), QStringLiteral("★ Master"));
    QCOMPARE(tabs->tabText(1), QStringLiteral("Search Range"));
    // Master and search-range lists are kept apart from the include and exclude lists.
    const std::string master = fHome->Dir("master/m");
    w.AddIncludeFolder(master);
    QVERIFY(w.close());
    pelcrow::Settings.MasterSelectMode = false;
    {
      TfmMain plain;
      QVERIFY(Entries(plain, "lbInclude").isEmpty());
      QCOMPARE(Child<QTabWidget>(plain, "tcPathList")->tabText(0), QStringLiteral("Include to Scan"));
    }
    pelcrow::Settings.MasterSelectMode = true;
    TfmMain again;
    QCOMPARE(Entries(again, "lbInclude"), QStringList{QString::fromStdString(master + "/")});
    pelcrow::Settings.MasterSelectMode = false;
  }

  void maskEditsRefuseInvalidSymbols() {
    TfmMain w;
    auto* inc = Child<QLineEdit>(w, "edIncFileTypes");
    inc->clear();
    QTest::keyClicks(inc, "*.jp/g");
    QCOMPARE(inc->text(), QStringLiteral("*.jpg"));
    QCOMPARE(fPrompt.Messages.size(), size_t(1));
    QCOMPARE(fPrompt.Messages[0].Text, std::string("The following symbols are invalid for the mask: /"));
  }

  void maskSelectorFillsTheField() {
    TfmMain w;
    pelcrow::ui::TfmFileMasks::RunDialog = [](pelcrow::ui::TfmFileMasks& dlg) {
      auto* list = dlg.findChild<QListWidget*>(QStringLiteral("lbMasks"));
      for (int i = 0; i < list->count(); ++i) {
        if (list->item(i)->text().startsWith(QStringLiteral("Photo Images"))) list->item(i)->setCheckState(Qt::Checked);
      }
      dlg.accept();
      return dlg.result();
    };
    Child<QPushButton>(w, "bIncFileTypes")->click();
    const QString field = Child<QLineEdit>(w, "edIncFileTypes")->text();
    QVERIFY(field.startsWith(QStringLiteral("*.BMP;*.GIF;")));
    QVERIFY(!field.contains(QStringLiteral("*.*")));  // ticking a group unticked "Any File"

    // Closed without OK: the field stays as it was.
    pelcrow::ui::TfmFileMasks::RunDialog = [](pelcrow::ui::TfmFileMasks& dlg) {
      dlg.reject();
      return dlg.result();
    };
    Child<QLineEdit>(w, "edExcFileTypes")->setText(QStringLiteral("*.TMP;"));
    Child<QPushButton>(w, "bExcFileTypes")->click();
    QCOMPARE(Child<QLineEdit>(w, "edExcFileTypes")->text(), QStringLiteral("*.TMP;"));
    pelcrow::ui::TfmFileMasks::RunDialog = [](pelcrow::ui::TfmFileMasks& dlg) { return dlg.exec(); };
  }

  void maskEditorValidates() {
    pelcrow::ui::TfmMaskEditor file(nullptr, pelcrow::mtFileMask, pelcrow::kAddFileMaskCaption,
                                    pelcrow::kAddFileMaskOkText);
    QCOMPARE(file.windowTitle(), QStringLiteral("Add File Mask"));
    file.SetFields("*.a/b", "");
    file.accept();
    QCOMPARE(file.result(), int(QDialog::Rejected));  // stays open
    QCOMPARE(fPrompt.Messages.back().Text, std::string("Please remove following symbols from the mask:  /"));
    pelcrow::ui::TfmMaskEditor folder(nullptr, pelcrow::mtFolderMask, pelcrow::kEditFileMaskCaption,
                                      pelcrow::kEditFileMaskOkText);
    folder.SetFields("*/cache/*", "");
    folder.accept();
    QCOMPARE(folder.result(), int(QDialog::Accepted));
  }

  void userStateSurvivesRestart() {
    const std::string dir = fHome->Dir("kept/photos");
    {
      TfmMain w;
      w.show();
      TypePath(w, QString::fromStdString(dir));
      Child<QLineEdit>(w, "edIncFileTypes")->setText(QStringLiteral("*.JPG;*.PNG;"));
      Child<QCheckBox>(w, "chkMaxSize")->setChecked(true);
      Child<QDoubleSpinBox>(w, "nbMaxSize")->setValue(5);
      Child<QComboBox>(w, "cbMaxSize")->setCurrentIndex(3);
      // No keeps the window open; Yes closes it and saves.
      fPrompt.Answers = {false};
      QVERIFY(!w.close());
      QCOMPARE(fPrompt.Questions.back(), std::string("Are you sure you want to close application?"));
      fPrompt.Answers = {true};
      QVERIFY(w.close());
    }
    pelcrow::Settings.LoadSettings(true);
    TfmMain again;
    QCOMPARE(Entries(again, "lbInclude"), QStringList{QString::fromStdString(dir + "/")});
    QCOMPARE(Child<QLineEdit>(again, "edIncFileTypes")->text(), QStringLiteral("*.JPG;*.PNG;"));
    QVERIFY(Child<QCheckBox>(again, "chkMaxSize")->isChecked());
    QCOMPARE(Child<QDoubleSpinBox>(again, "nbMaxSize")->value(), 5.0);
    QCOMPARE(Child<QComboBox>(again, "cbMaxSize")->currentIndex(), 3);
    QVERIFY(Child<QPushButton>(again, "crbStart")->isEnabled());
  }

  // The search criteria are the user's whether or not the folder lists and the window's place are
  // kept between runs.
  void searchCriteriaComeBackAtStart_data() {
    QTest::addColumn<bool>("keepUserSettings");
    QTest::newRow("user settings kept") << true;
    QTest::newRow("user settings not kept") << false;
  }
  void searchCriteriaComeBackAtStart() {
    QFETCH(bool, keepUserSettings);
    pelcrow::Settings.KeepUserSettings = keepUserSettings;
    pelcrow::SearchFilterFiles = pelcrow::TSearchFilterFiles();
    pelcrow::SearchFilterFiles.fFileNamePattern = "*.jpg";
    pelcrow::SearchFilterFiles.fSearchByDupGroup = true;
    pelcrow::SearchFilterFiles.SetDupGroupPattern("2-4");
    QCOMPARE(pelcrow::SaveSearchFilterFiles(pelcrow::Settings.GetSettingsFile()), 0);
    // As in a new run: nothing in memory yet.
    pelcrow::SearchFilterFiles = pelcrow::TSearchFilterFiles();
    TfmMain w;
    QCOMPARE(pelcrow::SearchFilterFiles.fFileNamePattern, std::string("*.jpg"));
    QVERIFY(pelcrow::SearchFilterFiles.fSearchByDupGroup);
    QCOMPARE(pelcrow::SearchFilterFiles.fDupGroupPattern, std::string("2-4"));
    pelcrow::SearchFilterFiles = pelcrow::TSearchFilterFiles();
  }

  // "Starting Application" and "Closing Application" are written in the user's language.
  void startAndCloseAreLoggedInTheUserLanguage() {
    auto& lc = pelcrow::GetLanguageController();
    lc.SetLanguage("de");
    const std::string dir = fHome->Dir("logs-de");
    pelcrow::Settings.EnableLogging = true;
    pelcrow::Settings.LogDirectory = dir;
    { TfmMain w; }
    pelcrow::StopLogging();
    pelcrow::Settings.EnableLogging = false;
    lc.SetLanguage("en");
    QString text;
    for (const auto& f : std::filesystem::directory_iterator(dir)) {
      std::ifstream in(f.path(), std::ios::binary);
      const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      QVERIFY(bytes.size() >= 2);
      text += QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.data() + 2),
                                 static_cast<qsizetype>((bytes.size() - 2) / 2));
    }
    QVERIFY2(text.contains(QStringLiteral("[Info]: Anwendung wird gestartet")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("[Info]: Anwendung wird beendet")), qPrintable(text));
    QVERIFY(!text.contains(QStringLiteral("Starting Application")));
    QVERIFY(!text.contains(QStringLiteral("Closing Application")));
  }

  void scanModeMenu() {
    TfmMain w;
    auto* mode = Child<QToolButton>(w, "btnScanMode");
    QCOMPARE(mode->text(), QStringLiteral("Scan Mode: File Search"));
    w.ChooseScanMode(pelcrow::cmMusicTags);
    QCOMPARE(mode->text(), QStringLiteral("Scan Mode: Music Scan"));
    QCOMPARE(w.ScanEngine().CompareMode(), pelcrow::cmMusicTags);
    QVERIFY(Child<QLineEdit>(w, "edIncFileTypes")->isReadOnly());
    QCOMPARE(Child<QLineEdit>(w, "edIncFileTypes")->text().toStdString(), pelcrow::DefaultMusicMaskField());
    w.ChooseScanMode(pelcrow::cmCRC32);
    QCOMPARE(mode->text(), QStringLiteral("Scan Mode: File Search"));
    QVERIFY(!Child<QLineEdit>(w, "edIncFileTypes")->isReadOnly());
    QCOMPARE(Child<QLineEdit>(w, "edIncFileTypes")->text(), QStringLiteral("*.*"));
    // No mail program: back to the file search, and the user is told.
    w.ChooseScanMode(pelcrow::cmEmails);
    QCOMPARE(pelcrow::Settings.ComparisonMode(), pelcrow::cmCRC32);
    QVERIFY(Said("The required Maildir or Thunderbird mail store is not found. Current scan mode is set to \"CRC32+FileSize\"."));
    QCOMPARE(mode->text(), QStringLiteral("Scan Mode: File Search"));
  }

  void languageSwitchRetranslatesAtOnce() {
    TfmMain w;
    auto& lc = pelcrow::GetLanguageController();
    lc.SetLanguage("de");
    QCOMPARE(lc.CurrentLanguageCode(), std::string("de"));
    QCOMPARE(Child<QPushButton>(w, "bAdd")->text(), QStringLiteral("Hinzufügen"));
    QCOMPARE(Child<QTabWidget>(w, "tcPathList")->tabText(0), QStringLiteral("In die Suche aufnehmen"));
    QCOMPARE(Child<QToolButton>(w, "btnScanMode")->text(), QStringLiteral("Suchmodus: Dateisuche"));
    lc.SetLanguage("en");
    QCOMPARE(Child<QPushButton>(w, "bAdd")->text(), QStringLiteral("Add"));
    QCOMPARE(Child<QTabWidget>(w, "tcPathList")->tabText(0), QStringLiteral("Include to Scan"));
  }

  // At the window's minimum size, in English and German, after a scan: the window cannot be made
  // smaller than 800 x 600 and is whole there (no caption clipped, the statistics readable, the
  // refresh button beside the tree, not over it), and the grid shows several rows.
  void wholeAtMinimumSize_data() {
    QTest::addColumn<QString>("language");
    QTest::newRow("English") << QStringLiteral("en");
    QTest::newRow("German") << QStringLiteral("de");
  }

  void wholeAtMinimumSize() {
    QFETCH(QString, language);
    const std::string root = fHome->Dir("minimum");
    for (int i = 0; i < 12; ++i)
      fHome->Write("minimum/sub" + std::to_string(i % 3) + "/file" + std::to_string(i) + ".txt",
                   "minimum size bytes " + std::to_string(i % 4));
    auto& lc = pelcrow::GetLanguageController();
    lc.SetLanguage(language.toStdString());
    // As the program looks: its style sheet sizes the controls.
    pelcrow::ui::ApplyAppStyle(*qApp);
    const auto plain = qScopeGuard([] { qApp->setStyleSheet(QString()); });
    TfmMain w;
    w.show();
    TypePath(w, QString::fromStdString(root));
    Child<QPushButton>(w, "crbStart")->click();
    WaitForScanEnd(w);
    QVERIFY(w.ScanEngine().ItemCount() >= 8);
    // One row checked: the field reads "1 / 19 B".
    w.Results()->Model()->SetChecked(1, true);
    // Fields and columns are fitted after the scan's last events, later on a busy machine.
    QTRY_COMPARE(w.minimumSize(), QSize(800, 600));
    w.resize(w.minimumSize());
    QTest::qWait(50);
    QCOMPARE(w.size(), QSize(800, 600));
    // Pictures of the window for a person to judge; only with PELCROW_SHOT_DIR.
    const QString dir = qEnvironmentVariable("PELCROW_SHOT_DIR");
    if (!dir.isEmpty()) {
      QVERIFY(w.grab().save(dir + QStringLiteral("/main-800x600-") + language + QStringLiteral("-x") +
                            qEnvironmentVariable("QT_SCALE_FACTOR", QStringLiteral("1")) + QStringLiteral(".png")));
    }
    QStringList clipped;
    for (QWidget* c : w.findChildren<QWidget*>()) {
      if (!c->isVisibleTo(&w) || c->window() != &w || c->parentWidget() == w.statusBar()) continue;
      const QString name = c->objectName() + QLatin1Char('(') + QString::fromLatin1(c->metaObject()->className()) +
                           QLatin1Char(')');
      if (auto* b = qobject_cast<QAbstractButton*>(c); b && !b->text().isEmpty()) {
        if (b->width() < b->sizeHint().width()) clipped << name + QLatin1Char(' ') + b->text();
      } else if (auto* l = qobject_cast<QLabel*>(c); l && !l->wordWrap() && !l->text().isEmpty()) {
        if (l->width() < l->sizeHint().width()) clipped << name + QLatin1Char(' ') + l->text();
      } else if (auto* e = qobject_cast<QLineEdit*>(c); e && e->isReadOnly() && !e->text().isEmpty()) {
        const int room = e->contentsRect().width() - e->textMargins().left() - e->textMargins().right() - 4;
        if (e->fontMetrics().horizontalAdvance(e->text()) > room) clipped << name + QLatin1Char(' ') + e->text();
      }
    }
    QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(QStringLiteral(" | "))));
    QCOMPARE(Child<QLineEdit>(w, "edSelected")->text().left(4), QStringLiteral("1 / "));
    auto* grid = Child<QTableView>(w, "sgFileList");
    QVERIFY2(grid->viewport()->height() >= 5 * grid->verticalHeader()->defaultSectionSize(),
             qPrintable(QString::number(grid->viewport()->height())));
    auto* tree = Child<QTreeWidget>(w, "tvFolderList");
    auto* refresh = Child<QToolButton>(w, "ImageRefresh");
    const QRect treeRect(tree->viewport()->mapTo(&w, QPoint(0, 0)), tree->viewport()->size());
    const QRect refreshRect(refresh->mapTo(&w, QPoint(0, 0)), refresh->size());
    QVERIFY(refresh->isVisible());
    QVERIFY(!treeRect.intersects(refreshRect));
    lc.SetLanguage("en");
  }

  // German chosen after a scan: no window the user meets keeps an English text the language file
  // translates; the summary line, the assistant's steps and sentence and the file-type presets
  // follow too.
  void germanLeavesNoEnglishBehind() {
    const std::string root = fHome->Dir("german");
    fHome->Write("german/a.txt", "german bytes");
    fHome->Write("german/b.txt", "german bytes");
    TfmMain w;
    w.show();
    TypePath(w, QString::fromStdString(root));
    Child<QPushButton>(w, "crbStart")->click();
    WaitForScanEnd(w);
    auto& lc = pelcrow::GetLanguageController();
    lc.SetLanguage("de");
    QStringList leftovers = pelcrow::test::EnglishLeftovers(w);
    QCOMPARE(Child<QLabel>(w, "lblSummary")->text(),
             QStringLiteral("Insgesamt 2 Dateien durchsucht. Duplikate zu 1 Datei gefunden, die 12 B Speicherplatz belegen."));
    {
      pelcrow::ui::TfmSettings settings(&w);
      settings.LoadSettings(true);
      leftovers << pelcrow::test::EnglishLeftovers(settings);
      settings.reject();
    }
    {
      pelcrow::ui::TfmDuplicatesResolveWizard wizard(w.ScanEngine(), &w);
      leftovers << pelcrow::test::EnglishLeftovers(wizard);
      QCOMPARE(wizard.lbStep->text(), QStringLiteral("Schritt 1:"));
      wizard.tileOldest->click();
      wizard.tileRemove->click();
      QCOMPARE(wizard.lbStep->text(), QStringLiteral("Schritt 3:"));
      QCOMPARE(wizard.lbSummary->text(), QStringLiteral("Alle außer „Älteste“ auswählen und dann: Duplikate entfernen"));
      leftovers << pelcrow::test::EnglishLeftovers(wizard);
    }
    for (const auto kind : {pelcrow::TMaskSelectorKind::mskInclude, pelcrow::TMaskSelectorKind::mskExclude}) {
      pelcrow::ui::TfmFileMasks masks(&w, kind, "*.*");
      leftovers << pelcrow::test::EnglishLeftovers(masks);
    }
    pelcrow::ui::TfmFileMasks include(&w, pelcrow::TMaskSelectorKind::mskInclude, "*.*");
    auto* presets = Child<QListWidget>(include, "lbMasks");
    QCOMPARE(presets->item(0)->text(), QStringLiteral("Beliebige Datei | *.*"));
    lc.SetLanguage("en");
    QCOMPARE(presets->item(0)->text(), QStringLiteral("Any File | *.*"));
    QVERIFY2(leftovers.isEmpty(), qPrintable(leftovers.join(QStringLiteral(" | "))));
  }

  // Qt's own dialogs speak the chosen language too: their texts come from Qt's translations
  // beside ours ("Look in" is no text of our language file).
  void qtDialogsFollowTheLanguage() {
    pelcrow::ui::TQtTranslator::Install();
    auto& lc = pelcrow::GetLanguageController();
    const auto lookIn = [] {
      QFileDialog dlg;
      dlg.setOption(QFileDialog::DontUseNativeDialog);
      auto* label = dlg.findChild<QLabel*>(QStringLiteral("lookInLabel"));
      return label ? label->text() : QString();
    };
    lc.SetLanguage("de");
    QCOMPARE(lookIn(), QStringLiteral("Suchen in:"));
    lc.SetLanguage("en");
    QCOMPARE(lookIn(), QStringLiteral("Look in:"));
  }

  void secondStartHandsFoldersToTheFirst() {
    const std::string a = fHome->Dir("shell/a");
    const std::string b = fHome->Dir("shell/b b");
    pelcrow::platform::TSingleInstance instance(pelcrow::platform::GetInstanceDirectory());
    QVERIFY(instance.CheckSingleInstance());
    TfmMain w(&instance);
    w.show();
    QProcess second;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    second.setProcessEnvironment(env);
    second.setWorkingDirectory(QString::fromStdString(fHome->Home() + "/shell"));
    // One absolute and one relative argument: the running copy has another working folder.
    second.start(QCoreApplication::applicationDirPath() + QStringLiteral("/pelcrow"),
                 {QString::fromStdString(a), QStringLiteral("b b")});
    QVERIFY(second.waitForFinished(20000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QTRY_COMPARE(Entries(w, "lbInclude"),
                 (QStringList{QString::fromStdString(a + "/"), QString::fromStdString(b + "/")}));

    // Without arguments a second start only brings the first to the front.
    QProcess third;
    third.setProcessEnvironment(env);
    third.start(QCoreApplication::applicationDirPath() + QStringLiteral("/pelcrow"), QStringList{});
    QVERIFY(third.waitForFinished(20000));
    QCOMPARE(third.exitCode(), 0);
    QTest::qWait(200);
    QCOMPARE(Entries(w, "lbInclude").size(), 2);
  }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
