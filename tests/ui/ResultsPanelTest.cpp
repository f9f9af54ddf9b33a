// The results grid inside the main window, driven as a user drives it: a real scan, the selection
// rules, a Shift range, header sorting, categories, removing a folder, saving and loading the list.
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QElapsedTimer>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QtTest>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <set>

#include "UiTestUtil.h"
#include "engine/ItemFlags.h"
#include "engine/ListFile.h"
#include "engine/SearchFilter.h"
#include "platform/FileSystem.h"
#include "ui/DialogHelpers.h"
#include "ui/MainWindow.h"
#include "ui/QtMainThread.h"
#include "ui/ResultsPanel.h"

using namespace pelcrow;
using pelcrow::ui::TfmMain;
using pelcrow::ui::TResultsPanel;

namespace {

using pelcrow::test::Child;

// Sets environment variables for a scope and puts the old values back.
class TScopedEnv {
 public:
  void Set(const char* name, const std::string& value) {
    if (!fOld.count(name)) {
      const char* old = std::getenv(name);
      fOld[name] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    ::setenv(name, value.c_str(), 1);
  }
  ~TScopedEnv() {
    for (const auto& [name, value] : fOld) {
      if (value) ::setenv(name.c_str(), value->c_str(), 1);
      else ::unsetenv(name.c_str());
    }
  }

 private:
  std::map<std::string, std::optional<std::string>> fOld;
};

std::set<std::string> Checked(TScanEngine& e) {
  std::set<std::string> out;
  for (int r = 0; r < e.ItemCount(); ++r)
    if (e.Item(r)->fSelected) out.insert(e.Item(r)->FullPath());
  return out;
}

int CountChecked(TScanEngine& e) { return static_cast<int>(Checked(e).size()); }

QStringList MenuTexts(QMenu* m) {
  QStringList out;
  for (QAction* a : m->actions()) out << (a->isSeparator() ? QStringLiteral("-") : a->text());
  return out;
}

QAction* MenuAction(QMenu* m, const QString& text) {
  for (QAction* a : m->actions())
    if (a->text() == text) return a;
  return nullptr;
}

}  // namespace

class ResultsPanelTest : public QObject {
  Q_OBJECT

  std::unique_ptr<test::TTestHome> fHome;
  std::unique_ptr<ui::TQtMainThread> fMainThread;
  test::TScriptedPrompt fPrompt;
  std::string fRoot;

  bool Said(const std::string& text) const {
    for (const auto& m : fPrompt.Messages)
      if (m.Text == text) return true;
    return false;
  }

  // Three groups over two folders: a picture in three places, a text file and a file without
  // extension in two. Times rise with the listing order, so the oldest copy is in a/.
  void MakeTree() {
    fRoot = fHome->Dir("tree");
    const char* files[][2] = {{"tree/a/x.jpg", "picture bytes 0001"},  {"tree/b/x.jpg", "picture bytes 0001"},
                              {"tree/b/sub/x - Copy.jpg", "picture bytes 0001"}, {"tree/a/doc.txt", "document text"},
                              {"tree/b/doc.txt", "document text"},   {"tree/a/noext", "no extension here"},
                              {"tree/b/noext", "no extension here"}};
    auto t = std::filesystem::file_time_type::clock::now() - std::chrono::hours(100);
    for (auto& f : files) {
      const std::string p = fHome->Write(f[0], f[1]);
      std::filesystem::last_write_time(p, t);
      t += std::chrono::hours(1);
    }
  }

  void Scan(TfmMain& w) {
    w.AddIncludeFolder(fRoot);
    QTest::mouseClick(Child<QPushButton>(w, "crbStart"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(w.StartTag(), 0, 30000);
    QCOMPARE(w.ScanEngine().ItemCount(), 7);
  }

  void ClickRow(QTableView* grid, int row, Qt::KeyboardModifiers mods = {}, int column = 1) {
    grid->scrollTo(grid->model()->index(row, column));
    const QRect r = grid->visualRect(grid->model()->index(row, column));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, mods, r.center());
  }

  void ClickHeader(QTableView* grid, int column) {
    QHeaderView* h = grid->horizontalHeader();
    const int x = h->sectionViewportPosition(column) + h->sectionSize(column) / 2;
    QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, QPoint(x, h->height() / 2));
  }

  // Loads a list as the user does and waits for the load to end; true when it replaced the rows.
  bool LoadList(TResultsPanel* p, const std::string& file) {
    QSignalSpy ended(p, &TResultsPanel::ListLoadEnded);
    if (!p->LoadListFrom(file)) return false;
    if (!ended.wait(60000)) return false;
    return ended.first().first().toBool();
  }

  // A list of many groups of two in many folders, written as the program writes it.
  std::string BigList(const std::string& name, int rows) {
    std::string text = "\xEF\xBB\xBF[Version 1]\r\n";
    for (int k = 0; k < rows; ++k) {
      text += "f" + std::to_string(k) + ".jpg[,]/data/folder" + std::to_string(k % 1000) + "[,][,]" +
              std::to_string(1000 + k % 50000) + "[,]0[,]0[,]1/2/2020 3:04:05 PM[,]" + std::to_string(k / 2 + 1) +
              "[,]1[,]0[,]0[,][,][,][,][,][,][,][,][,][,][,][,][,][,]0[,][,][,][,]\r\n";
    }
    return fHome->Write(name, text);
  }

  int RowOf(TScanEngine& e, const std::string& rel) {
    for (int r = 0; r < e.ItemCount(); ++r)
      if (e.Item(r)->FullPath() == fRoot + "/" + rel) return r;
    return -1;
  }

 private slots:
  void initTestCase() {
    fHome = std::make_unique<test::TTestHome>();
    fMainThread = std::make_unique<ui::TQtMainThread>(this);
    SetMainThread(fMainThread.get());
    SetUserPrompt(&fPrompt);
    MakeTree();
  }

  void cleanupTestCase() {
    SetUserPrompt(nullptr);
    SetMainThread(nullptr);
  }

  void init() {
    pelcrow::test::FreshSettings();
    fPrompt.Clear();
  }

  void selectionRulesAndRanges() {
    TfmMain w;
    w.resize(1100, 750);
    w.show();
    Scan(w);
    TScanEngine& e = w.ScanEngine();
    TResultsPanel* p = w.Results();
    auto* grid = Child<QTableView>(w, "sgFileList");
    auto* selected = Child<QLineEdit>(w, "edSelected");
    auto* checkAll = Child<QCheckBox>(w, "cbCheckAll");
    QVERIFY(checkAll->isEnabled());
    QVERIFY(Child<QPushButton>(w, "bDuplicates")->isEnabled());

    // The menu of the file modes starts with the drive rule.
    std::unique_ptr<QMenu> menu(p->DuplicatesMenu(false));
    QCOMPARE(menu->actions().first()->text(), QStringLiteral("All on this Drive"));

    // Without a focused row the folder rules explain themselves.
    p->RunSelectCommand(ui::scFolder);
    QVERIFY(Said("No items selected in scan results list. Please select any item to proceed."));

    p->RunSelectCommand(ui::scLeaveOldest);
    QCOMPARE(CountChecked(e), 4);
    QCOMPARE(Checked(e).count(fRoot + "/a/x.jpg"), 0u);
    QCOMPARE(Checked(e).count(fRoot + "/a/doc.txt"), 0u);
    QVERIFY(selected->text().startsWith(QStringLiteral("4 / ")));
    p->RunSelectCommand(ui::scLeaveNewest);
    QCOMPARE(CountChecked(e), 4);
    QCOMPARE(Checked(e).count(fRoot + "/b/sub/x - Copy.jpg"), 0u);
    p->RunSelectCommand(ui::scLeaveOriginal);
    QCOMPARE(Checked(e).count(fRoot + "/b/sub/x - Copy.jpg"), 1u);
    p->RunSelectCommand(ui::scReverse);
    QCOMPARE(CountChecked(e), 3);
    p->RunSelectCommand(ui::scUnselectAll);
    QCOMPARE(CountChecked(e), 0);
    QCOMPARE(selected->text(), QStringLiteral("0 / 0 B"));

    // Ctrl+S: duplicates in the focused row's folder (a window shortcut: the window is active).
    QApplication::setActiveWindow(&w);
    (void)QTest::qWaitForWindowActive(&w, 1000);
    ClickRow(grid, RowOf(e, "b/x.jpg"));
    QTest::keyClick(grid, Qt::Key_S, Qt::ControlModifier);
    QVERIFY(CountChecked(e) > 0);
    for (const std::string& f : Checked(e)) QCOMPARE(std::filesystem::path(f).parent_path().string(), fRoot + "/b");
    // Ctrl+Shift+S reaches into b/sub as well; one copy of each group stays unchecked.
    p->RunSelectCommand(ui::scUnselectAll);
    QTest::keyClick(grid, Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(Checked(e).count(fRoot + "/b/sub/x - Copy.jpg"), 1u);
    QCOMPARE(Checked(e).count(fRoot + "/a/x.jpg"), 0u);
    p->RunSelectCommand(ui::scUnselectAll);
    // Leave files from this folder: everything outside a/ is checked.
    ClickRow(grid, RowOf(e, "a/doc.txt"));
    p->RunSelectCommand(ui::scLeaveFolder);
    QCOMPARE(CountChecked(e), 4);
    for (const std::string& f : Checked(e)) QVERIFY(f.find("/tree/b/") != std::string::npos);
    p->RunSelectCommand(ui::scUnselectAll);
    ClickRow(grid, RowOf(e, "b/x.jpg"));
    p->RunSelectCommand(ui::scGroupButThis);
    QCOMPARE(Checked(e), (std::set<std::string>{fRoot + "/a/x.jpg", fRoot + "/b/sub/x - Copy.jpg"}));
    p->RunSelectCommand(ui::scUnselectAll);

    // Check-all, and the box follows the checks.
    checkAll->click();
    QCOMPARE(CountChecked(e), 7);
    QVERIFY(checkAll->isChecked());
    // A click anywhere in the check cell toggles it through the engine.
    const QRect box = grid->visualRect(grid->model()->index(0, 0));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, box.center());
    QCOMPARE(CountChecked(e), 6);
    QVERIFY(!checkAll->isChecked());
    checkAll->click();
    QVERIFY(checkAll->isChecked());
    checkAll->click();
    QCOMPARE(CountChecked(e), 0);

    // Shift range from the previously focused row: 1 to 4 take the opposite of row 1's state.
    ClickRow(grid, 1);
    ClickRow(grid, 4, Qt::ShiftModifier);
    QCOMPARE(CountChecked(e), 4);
    for (int r = 1; r <= 4; ++r) QVERIFY(e.Item(r)->fSelected);
    QVERIFY(selected->text().startsWith(QStringLiteral("4 / ")));
    ClickRow(grid, 1, Qt::ShiftModifier);
    QCOMPARE(CountChecked(e), 0);
  }

  void sortingCategoriesAndRemoving() {
    TfmMain w;
    w.resize(1100, 750);
    w.show();
    Scan(w);
    TScanEngine& e = w.ScanEngine();
    TResultsPanel* p = w.Results();
    auto* grid = Child<QTableView>(w, "sgFileList");
    auto* model = p->Model();
    const int sizeCol = model->ColumnOf(rcSize);
    QCOMPARE(grid->horizontalHeader()->sortIndicatorSection(), model->ColumnOf(rcDupGroup));

    ClickHeader(grid, sizeCol);
    QCOMPARE(grid->horizontalHeader()->sortIndicatorOrder(), Qt::AscendingOrder);
    for (int r = 1; r < e.ItemCount(); ++r) QVERIFY(e.Item(r - 1)->Size <= e.Item(r)->Size);
    ClickHeader(grid, sizeCol);
    QCOMPARE(grid->horizontalHeader()->sortIndicatorSection(), sizeCol);
    QCOMPARE(grid->horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);
    for (int r = 1; r < e.ItemCount(); ++r) QVERIFY(e.Item(r - 1)->Size >= e.Item(r)->Size);
    // The rules put the sort mark back on the group column.
    p->RunSelectCommand(ui::scLeaveOldest);
    QCOMPARE(grid->horizontalHeader()->sortIndicatorSection(), model->ColumnOf(rcDupGroup));
    p->RunSelectCommand(ui::scUnselectAll);

    auto* pictures = Child<QPushButton>(w, "bCategory4");
    auto* all = Child<QPushButton>(w, "bCategory0");
    pictures->click();
    QCOMPARE(model->rowCount(), 3);
    QVERIFY(pictures->isChecked() && pictures->font().bold());
    QVERIFY(!all->isChecked() && !all->font().bold());
    Child<QPushButton>(w, "bCategory2")->click();  // documents
    QCOMPARE(model->rowCount(), 2);
    all->click();
    QCOMPARE(model->rowCount(), 7);

    // A file without extension has no remove-by-extension item; a picture has a preview.
    std::unique_ptr<QMenu> noext(p->BuildContextMenu(RowOf(e, "a/noext")));
    QVERIFY(!MenuTexts(noext.get()).contains(QStringLiteral("Remove this file type (extension) from results")));
    QVERIFY(!MenuTexts(noext.get()).contains(QStringLiteral("Picture Preview")));
    std::unique_ptr<QMenu> pic(p->BuildContextMenu(RowOf(e, "a/x.jpg")));
    QVERIFY(MenuTexts(pic.get()).contains(QStringLiteral("Picture Preview")));
    std::unique_ptr<QMenu> none(p->BuildContextMenu(-1));
    QCOMPARE(MenuTexts(none.get()), QStringList{QStringLiteral("Load duplicate list from file")});

    // "Delete this file" asks with the delete window; No leaves the file and its row as they were.
    ClickRow(grid, RowOf(e, "a/doc.txt"));
    std::unique_ptr<QMenu> doc(p->BuildContextMenu(RowOf(e, "a/doc.txt")));
    QString asked;
    QTimer answer;
    connect(&answer, &QTimer::timeout, this, [&asked] {
      if (QWidget* d = QApplication::activeModalWidget()) {
        asked = d->objectName();
        if (auto* no = d->findChild<QAbstractButton*>(QStringLiteral("btnNo"))) no->click();
      }
    });
    answer.start(20);
    MenuAction(doc.get(), QStringLiteral("Delete this file"))->trigger();
    w.FlushRunTimer();
    answer.stop();
    QCOMPARE(asked, QStringLiteral("fmDelete"));
    QVERIFY(std::filesystem::exists(e.Item(RowOf(e, "a/doc.txt"))->FullPath()));
    QVERIFY(!e.Item(RowOf(e, "a/doc.txt"))->fSelected);
    // Remove the folder a/ from the results: its three rows go, the list shrinks to four.
    MenuAction(doc.get(), QStringLiteral("Remove this folder from results"))->trigger();
    w.FlushRunTimer();
    QCOMPARE(model->rowCount(), 4);
    QCOMPARE(RowOf(e, "a/x.jpg"), -1);
    QCOMPARE(Child<QLineEdit>(w, "edDuplicates")->text(), QString::number(e.SummaryInfo().DuplicateFiles));

    // "Clear" puts the categories and the sort mark back.
    pictures->click();
    fPrompt.Answers = {true};
    Child<QPushButton>(w, "crbClearResults")->click();
    QVERIFY(all->isChecked());
    QCOMPARE(model->rowCount(), 0);
  }

  void saveAndLoadKeepTheChecks() {
    TfmMain w;
    w.resize(1100, 750);
    w.show();
    Scan(w);
    TScanEngine& e = w.ScanEngine();
    TResultsPanel* p = w.Results();
    p->RunSelectCommand(ui::scLeaveOldest);
    const std::set<std::string> before = Checked(e);
    QCOMPARE(before.size(), 4u);
    const std::string file = fHome->Home() + "/list.dup";
    QVERIFY(p->SaveListTo(file));
    QVERIFY(Said("Duplicate list saved successfully."));
    fPrompt.Answers = {true};
    Child<QPushButton>(w, "crbClearResults")->click();
    QCOMPARE(e.ItemCount(), 0);
    Child<QPushButton>(w, "bCategory4")->click();
    QVERIFY(LoadList(p, file));
    QVERIFY(Said("Duplicate list loaded successfully."));
    QVERIFY(Child<QPushButton>(w, "bCategory0")->isChecked());
    QCOMPARE(p->Model()->rowCount(), 7);
    QCOMPARE(Checked(e), before);
    QVERIFY(Child<QLineEdit>(w, "edSelected")->text().startsWith(QStringLiteral("4 / ")));

    // A file that is no list: the rows stay, nothing is asked, and the warning names us.
    fPrompt.Clear();
    const std::string bad = fHome->Write("bad.dup", "not a duplicate list");
    QVERIFY(!LoadList(p, bad));
    QCOMPARE(int(fPrompt.Messages.size()), 1);
    QVERIFY(QString::fromStdString(fPrompt.Messages[0].Text)
                .startsWith(QStringLiteral("Duplicate list structure is not supported by current Pelcrow version.")));
    QVERIFY(fPrompt.Questions.empty());
    QCOMPARE(e.ItemCount(), 7);
    QCOMPARE(p->Model()->rowCount(), 7);
    // Saving where no file can be written says so (the folder is a file).
    fPrompt.Clear();
    QVERIFY(!p->SaveListTo(file + "/list.dup"));
    QVERIFY(Said("Failed to save Duplicate list."));
  }

  // A big list loads on a worker: the event loop keeps ticking, the wait page with its progress
  // and Cancel stands in for the grid, and the rest of the window waits for the end.
  void aBigListLoadsWhileTheWindowKeepsTicking() {
    TfmMain w;
    w.resize(1100, 750);
    w.show();
    Scan(w);
    TResultsPanel* p = w.Results();
    const std::string file = BigList("big.dup", 200000);
    QElapsedTimer sinceTick;
    qint64 longestGap = 0;
    int ticksWhileLoading = 0;
    bool pageSeen = false;
    QTimer ticker;
    ticker.setInterval(10);
    connect(&ticker, &QTimer::timeout, this, [&] {
      longestGap = std::max(longestGap, sinceTick.restart());
      if (!p->IsLoadingList()) return;
      ++ticksWhileLoading;
      pageSeen = pageSeen || (Child<QWidget>(w, "pLoading")->isVisible() && !Child<QTableView>(w, "sgFileList")->isVisible() &&
                              Child<QPushButton>(w, "bCancelLoad")->isVisible() && !Child<QPushButton>(w, "crbStart")->isEnabled() &&
                              !Child<QPushButton>(w, "crbClearResults")->isEnabled());
    });
    QSignalSpy ended(p, &TResultsPanel::ListLoadEnded);
    sinceTick.start();
    ticker.start();
    QVERIFY(p->LoadListFrom(file));
    QVERIFY(p->IsLoadingList());
    // No second load, and no scan, while one runs.
    QVERIFY(!p->LoadListFrom(file));
    QVERIFY(ended.wait(60000));
    ticker.stop();
    QCOMPARE(ended.first().first().toBool(), true);
    QVERIFY2(ticksWhileLoading > 0, "the event loop did not run while the list was read");
    QVERIFY(pageSeen);
    // Generous: the hand-over of 200,000 rows is a single short step.
    QVERIFY2(longestGap < 1000, QByteArray::number(longestGap).constData());
    QCOMPARE(p->Model()->rowCount(), 200000);
    QVERIFY(Child<QTableView>(w, "sgFileList")->isVisible());
    QVERIFY(!Child<QWidget>(w, "pLoading")->isVisible());
    QVERIFY(Child<QPushButton>(w, "crbStart")->isEnabled());
    QVERIFY(Said("Duplicate list loaded successfully."));
  }

  void cancelKeepsTheOldRows() {
    TfmMain w;
    w.resize(1100, 750);
    w.show();
    Scan(w);
    TScanEngine& e = w.ScanEngine();
    TResultsPanel* p = w.Results();
    p->RunSelectCommand(ui::scLeaveOldest);
    Child<QPushButton>(w, "bCategory4")->click();
    QCOMPARE(p->Model()->rowCount(), 3);
    const std::set<std::string> before = Checked(e);
    const std::string file = BigList("cancelled.dup", 200000);
    fPrompt.Clear();
    QSignalSpy ended(p, &TResultsPanel::ListLoadEnded);
    QVERIFY(p->LoadListFrom(file));
    QTest::mouseClick(Child<QPushButton>(w, "bCancelLoad"), Qt::LeftButton);
    QCOMPARE(ended.count(), 1);
    QCOMPARE(ended.first().first().toBool(), false);
    QVERIFY(!p->IsLoadingList());
    // Whatever the worker still hands over is dropped.
    QTest::qWait(500);
    QCOMPARE(ended.count(), 1);
    QCOMPARE(e.RealItemCount(), 7);
    QCOMPARE(p->Model()->rowCount(), 3);
    QVERIFY(Child<QPushButton>(w, "bCategory4")->isChecked());
    QCOMPARE(Checked(e), before);
    QVERIFY(Child<QTableView>(w, "sgFileList")->isVisible());
    QVERIFY(Child<QPushButton>(w, "crbStart")->isEnabled());
    QVERIFY(fPrompt.Messages.empty());
    // The next load runs to its end.
    QVERIFY(LoadList(p, file));
    QCOMPARE(p->Model()->rowCount(), 200000);
  }

  // A file that does not load says why and leaves the rows and their checks as they were.
  void aBrokenListSaysWhyAndKeepsTheRows_data() {
    QTest::addColumn<QByteArray>("bytes");  // empty: the path is a folder
    QTest::addColumn<QString>("reason");
    const QByteArray head = "\xEF\xBB\xBF[Version 1]\r\n";
    const QByteArray good = "a.txt[,]/p[,][,]1[,]0[,]0[,]1/2/2020[,]1[,]1[,]0[,]0[,][,][,][,][,][,][,][,][,][,][,][,][,][,]0[,][,][,][,]\r\n";
    QByteArray badSize = good;
    badSize.replace("[,][,]1[,]", "[,][,]1x[,]");
    QTest::newRow("not a list") << QByteArray("shopping list\r\n") << QStringLiteral("The file does not begin with \"[Version 1]\".");
    QTest::newRow("a size that is no number") << head + good + badSize << QStringLiteral("Line 3, field 4: not a number");
    QTest::newRow("a cut line") << head + good + good.left(30) << QStringLiteral("Line 3, field 7: too few fields");
    QTest::newRow("a folder") << QByteArray() << QStringLiteral("The file cannot be read: ") +
                                                     QString::fromStdString(platform::ErrorText(EISDIR));
  }
  void aBrokenListSaysWhyAndKeepsTheRows() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reason);
    TfmMain w;
    w.show();
    Scan(w);
    TScanEngine& e = w.ScanEngine();
    TResultsPanel* p = w.Results();
    p->RunSelectCommand(ui::scLeaveOldest);
    const std::set<std::string> before = Checked(e);
    const std::string file = bytes.isEmpty() ? fHome->Dir("a-folder.dup") : fHome->Write("broken.dup", bytes.toStdString());
    fPrompt.Clear();
    QVERIFY(!LoadList(p, file));
    QCOMPARE(int(fPrompt.Messages.size()), 1);
    QCOMPARE(fPrompt.Messages[0].Kind, TMessageKind::mkWarning);
    QCOMPARE(QString::fromStdString(fPrompt.Messages[0].Text),
             QStringLiteral("Duplicate list structure is not supported by current Pelcrow version.\n\n") + reason);
    QCOMPARE(e.ItemCount(), 7);
    QCOMPARE(p->Model()->rowCount(), 7);
    QCOMPARE(Checked(e), before);
    QVERIFY(Child<QTableView>(w, "sgFileList")->isVisible());
    const QWidget none;
    QCOMPARE(test::MissingGermanTexts(none, {"Loading duplicate list ...", "Cancel", "The file does not begin with \"[Version 1]\".",
                                          "Line %d, field %d: %s", "The file cannot be read: %s", kListTooFewFields,
                                          kListNotANumber, kListNumberOutOfRange, kListNotADate}),
             QString());
  }

  // "Pictures" picked for the old results; a new scan or a loaded list marks "All Files" and must
  // show all rows through a search filter and after "Disable Filter" too.
  void newResultsShowEveryCategory_data() {
    QTest::addColumn<bool>("rescan");
    QTest::newRow("scan again") << true;
    QTest::newRow("load a list") << false;
  }
  void newResultsShowEveryCategory() {
    QFETCH(bool, rescan);
    TfmMain w;
    w.resize(1100, 750);
    w.show();
    Scan(w);
    TResultsPanel* p = w.Results();
    const std::string file = fHome->Home() + "/all.dup";
    QVERIFY(p->SaveListTo(file));
    Child<QPushButton>(w, "bCategory4")->click();
    QCOMPARE(p->Model()->rowCount(), 3);
    if (rescan) {
      QTest::qWait(1100);  // a second click within a second is taken for a double click
      QTest::mouseClick(Child<QPushButton>(w, "crbStart"), Qt::LeftButton);
      QTRY_COMPARE_WITH_TIMEOUT(w.StartTag(), 0, 30000);
    } else {
      QVERIFY(LoadList(p, file));
    }
    QVERIFY(Child<QPushButton>(w, "bCategory0")->isChecked());
    QCOMPARE(p->Model()->rowCount(), 7);
    SearchFilterFiles = TSearchFilterFiles();
    p->ApplySearchFilter();
    QCOMPARE(p->Model()->rowCount(), 7);
    p->DisableFilter();
    QCOMPARE(p->Model()->rowCount(), 7);
    QCOMPARE(w.ScanEngine().ItemCount(), 7);
  }

  void masterModeCheckAll() {
    TfmMain w;
    w.show();
    Scan(w);
    w.Results()->CheckAll(true, true);
    QVERIFY(Said("Master Select Mode is ON. Only non-master files were selected."));
    std::unique_ptr<QMenu> menu(w.Results()->DuplicatesMenu(true));
    QCOMPARE(MenuTexts(menu.get()), QStringList{QStringLiteral("UnSelect All")});
  }

  void musicColumnsAndMenu() {
    Settings.SetComparisonMode(cmMusicTags);
    TfmMain w;
    w.show();
    TResultsPanel* p = w.Results();
    p->CheckColumns();
    auto* model = p->Model();
    // Title and artist are compared by default: shown, checked and fixed in the menu.
    QVERIFY(model->ColumnOf(int(rcTag) + int(mtTitle)) > 0);
    QVERIFY(model->ColumnOf(int(rcTag) + int(mtAlbum)) < 0);
    const auto actions = p->ColumnMenu()->actions();
    QVERIFY(actions[mtTitle]->isChecked() && !actions[mtTitle]->isEnabled());
    QVERIFY(!actions[mtAlbum]->isChecked() && actions[mtAlbum]->isEnabled());
    actions[mtAlbum]->trigger();
    w.FlushRunTimer();
    QVERIFY(model->ColumnOf(int(rcTag) + int(mtAlbum)) > 0);
    QVERIFY(actions[mtAlbum]->isChecked());
    // A right click on the header opens the column menu.
    QHeaderView* header = p->Grid()->horizontalHeader();
    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(40, 5), header->mapToGlobal(QPoint(40, 5)));
    QApplication::sendEvent(header->viewport(), &click);
    QTRY_VERIFY(p->ColumnMenu()->isVisible());
    p->ColumnMenu()->close();
    // Back to the file search: no tag columns, the menu switched off.
    w.ChooseScanMode(cmCRC32);
    QCOMPARE(model->ColumnOf(int(rcTag) + int(mtTitle)), -1);
    QVERIFY(!actions[mtAlbum]->isEnabled() && !actions[mtAlbum]->isChecked());
    QCOMPARE(model->columnCount(), 6);
    Settings.SetComparisonMode(cmCRC32);
  }

  // Pictures of the window with a real result set, for a person to judge: file mode with a rule
  // applied and a processed row, then music mode. Only when PELCROW_SHOT_DIR names a folder.
  void screenshots() {
    const QString dir = qEnvironmentVariable("PELCROW_SHOT_DIR");
    if (dir.isEmpty()) QSKIP("PELCROW_SHOT_DIR not set");
    {
      TfmMain w;
      w.resize(1280, 820);
      w.show();
      Scan(w);
      w.Results()->RunSelectCommand(ui::scLeaveOldest);
      SetFileProcessed(w.ScanEngine().Item(RowOf(w.ScanEngine(), "b/doc.txt")), true);
      w.Results()->Model()->Refresh();
      QTest::qWait(300);
      w.grab().save(dir + QStringLiteral("/grid-files.png"));
    }
    const std::string src = std::string(QT_TESTCASE_SOURCEDIR) + "/tests/data/audio";
    for (const char* copy : {"music/one", "music/two"}) {
      const std::string to = fHome->Dir(copy);
      for (const auto& f : std::filesystem::directory_iterator(src))
        if (f.path().extension() != ".sh") std::filesystem::copy_file(f.path(), to + "/" + f.path().filename().string(),
                                                                      std::filesystem::copy_options::overwrite_existing);
    }
    Settings.SetComparisonMode(cmMusicTags);
    {
      TfmMain w;
      w.resize(1280, 820);
      w.show();
      w.AddIncludeFolder(fHome->Dir("music"));
      QTest::mouseClick(Child<QPushButton>(w, "crbStart"), Qt::LeftButton);
      QTRY_COMPARE_WITH_TIMEOUT(w.StartTag(), 0, 30000);
      w.Results()->SetUserTag(mtAlbum, true);
      w.Results()->SetUserTag(mtDuration, true);
      w.Results()->RunSelectCommand(ui::scLeaveNewest);
      QTest::qWait(300);
      w.grab().save(dir + QStringLiteral("/grid-music.png"));
    }
    Settings.SetComparisonMode(cmCRC32);
  }

  // Row-menu commands that the desktop cannot carry out say why in an error message. The desktop
  // here has gio and nothing else: no file manager on the bus (no gdbus), no application
  // registered for any type (empty XDG folders).
  void failedOpensSayWhy_data() {
    QTest::addColumn<int>("item");
    QTest::addColumn<QString>("program");  // typed into "Open with ..."
    QTest::addColumn<bool>("removed");     // the file is gone since the scan
    QTest::addColumn<QString>("message");  // %1 the file, %2 its folder
    using namespace pelcrow::ui;
    QTest::newRow("open without a handler")
        << int(miOpen) << QString() << false
        << QStringLiteral("Can not open \"%1\".\n\"gio\" could not hand it to an application (exit status 2). "
                          "Perhaps none is registered for this type.");
    QTest::newRow("folder without a file manager or handler")
        << int(miOpenFolder) << QString() << false
        << QStringLiteral("Can not show the folder \"%2\".\n\"gio\" could not hand it to an application (exit "
                          "status 2). Perhaps none is registered for this type.");
    QTest::newRow("open with a program that does not exist")
        << int(miOpenWith) << QStringLiteral("pelcrow-no-such-program") << false
        << QStringLiteral("Can not open \"%1\" with \"pelcrow-no-such-program\".\nThe program "
                          "\"pelcrow-no-such-program\" was not found.");
    QTest::newRow("open with a program that fails at once")
        << int(miOpenWith) << QStringLiteral("false") << false
        << QStringLiteral("Can not open \"%1\" with \"false\".\n\"false\" ended at once with exit status 1.");
    QTest::newRow("open a file gone since the scan")
        << int(miOpen) << QString() << true << QStringLiteral("Can not open \"%1\".\nIt does not exist any more.");
    QTest::newRow("properties of a file gone since the scan")
        << int(miProperties) << QString() << true
        << QStringLiteral("Can not show the properties of \"%1\".\nNo such file or directory.");
  }

  void failedOpensSayWhy() {
    QFETCH(int, item);
    QFETCH(QString, program);
    QFETCH(bool, removed);
    QFETCH(QString, message);
    const std::string bin = fHome->Dir("desktop/bin");
    const std::string empty = fHome->Dir("desktop/empty");
    std::filesystem::remove(bin + "/gio");
    std::filesystem::create_symlink("/usr/bin/gio", bin + "/gio");
    std::filesystem::remove(bin + "/false");
    std::filesystem::create_symlink("/bin/false", bin + "/false");
    TScopedEnv env;
    env.Set("PATH", bin);
    for (const char* name : {"XDG_DATA_DIRS", "XDG_DATA_HOME", "XDG_CONFIG_DIRS", "XDG_CONFIG_HOME"})
      env.Set(name, empty);
    env.Set("GIO_USE_VFS", "local");
    const auto runModal = ui::RunModal;
    ui::RunModal = [&program](QDialog& d) {
      if (d.objectName() != QStringLiteral("fmOpenWith")) return 0;
      d.findChild<QLineEdit*>(QStringLiteral("edProgram"))->setText(program);
      return int(QDialog::Accepted);
    };

    TfmMain w;
    w.resize(1100, 750);
    w.show();
    Scan(w);
    TScanEngine& e = w.ScanEngine();
    const int row = RowOf(e, "a/doc.txt");
    const std::string file = e.Item(row)->FullPath();
    ClickRow(Child<QTableView>(w, "sgFileList"), row);
    if (removed) std::filesystem::rename(file, file + ".away");
    w.Results()->RunMenuItem(item);
    if (removed) std::filesystem::rename(file + ".away", file);
    ui::RunModal = runModal;

    QCOMPARE(int(fPrompt.Messages.size()), 1);
    QVERIFY(fPrompt.Messages[0].Kind == TMessageKind::mkError);
    QCOMPARE(QString::fromStdString(fPrompt.Messages[0].Text),
             message.replace(QStringLiteral("%1"), QString::fromStdString(file))
                 .replace(QStringLiteral("%2"), QString::fromStdString(fRoot + "/a")));
    const QWidget none;
    QCOMPARE(test::MissingGermanTexts(none, {"Can not open \"%s\".", "Can not open \"%s\" with \"%s\".",
                                          "Can not show the folder \"%s\".", "Can not show the properties of \"%s\".",
                                          "It does not exist any more.", "The program \"%s\" was not found.",
                                          "\"%s\" could not hand it to an application (exit status %s). Perhaps none is "
                                          "registered for this type.",
                                          "\"%s\" ended at once with exit status %s."}),
             QString());
  }

  // Without a desktop portal, "Open with ..." lists the programs registered for the file's type
  // (and its ancestors) above the command field; the chosen one gets the file through its Exec
  // line, and one that cannot start says why. A screenshot of the chooser with PELCROW_SHOT_DIR.
  void openWithListsRegisteredPrograms() {
    const std::string bin = fHome->Dir("apps/bin");
    const std::string data = fHome->Dir("apps/data");
    const std::string out = fHome->Home() + "/apps/opened.txt";
    std::filesystem::remove(out);
    fHome->Write("apps/bin/record", "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + out + "'\n");
    std::filesystem::permissions(bin + "/record", std::filesystem::perms::owner_all);
    fHome->Write("apps/data/applications/recorder.desktop",
                 "[Desktop Entry]\nType=Application\nName=Recorder\nExec=" + bin +
                     "/record --from-list %f\nMimeType=text/plain;\n");
    fHome->Write("apps/data/applications/broken.desktop",
                 "[Desktop Entry]\nType=Application\nName=Broken Viewer\nExec=pelcrow-no-such-viewer %U\n"
                 "MimeType=text/plain;\n");
    fHome->Write("apps/data/applications/pictures.desktop",
                 "[Desktop Entry]\nType=Application\nName=Pictures only\nExec=true %f\nMimeType=image/png;\n");
    TScopedEnv env;
    env.Set("PATH", bin + ":/usr/bin:/bin");
    env.Set("XDG_DATA_HOME", data);
    // The system's folders stay: they hold the type database as well.
    env.Set("XDG_CONFIG_HOME", fHome->Dir("apps/none"));
    env.Set("XDG_CONFIG_DIRS", fHome->Dir("apps/none"));
    // No session bus here: no portal, so the app's own chooser.
    env.Set("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent");
    TfmMain w;
    w.resize(1100, 750);
    w.show();
    Scan(w);
    TScanEngine& e = w.ScanEngine();
    const int row = RowOf(e, "a/doc.txt");
    const std::string file = e.Item(row)->FullPath();
    ClickRow(Child<QTableView>(w, "sgFileList"), row);
    const auto runModal = ui::RunModal;
    QStringList listed;
    QString pick;
    ui::RunModal = [&](QDialog& d) {
      if (d.objectName() != QStringLiteral("fmOpenWith")) return 0;
      auto* list = d.findChild<QListWidget*>(QStringLiteral("lbPrograms"));
      listed.clear();
      for (int i = 0; i < list->count(); ++i) listed << list->item(i)->text();
      const QString dir = qEnvironmentVariable("PELCROW_SHOT_DIR");
      if (!dir.isEmpty()) {
        d.show();
        QTest::qWait(100);
        d.grab().save(dir + QStringLiteral("/open-with-chooser.png"));
      }
      list->setCurrentRow(int(listed.indexOf(pick)));
      return int(QDialog::Accepted);
    };
    pick = QStringLiteral("Broken Viewer");
    fPrompt.Clear();
    w.Results()->RunMenuItem(ui::miOpenWith);
    QVERIFY2(listed.contains(QStringLiteral("Broken Viewer")) && listed.contains(QStringLiteral("Recorder")) &&
                 !listed.contains(QStringLiteral("Pictures only")),
             qPrintable(listed.join(QStringLiteral(", "))));
    QCOMPARE(int(fPrompt.Messages.size()), 1);
    QCOMPARE(fPrompt.Messages[0].Text, "Can not open \"" + file +
                                           "\" with \"Broken Viewer\".\nThe program \"pelcrow-no-such-viewer\" was "
                                           "not found.");
    pick = QStringLiteral("Recorder");
    fPrompt.Clear();
    w.Results()->RunMenuItem(ui::miOpenWith);
    QVERIFY(fPrompt.Messages.empty());
    const auto opened = [&out] {
      std::ifstream in(out);
      return std::string(std::istreambuf_iterator<char>(in), {});
    };
    QTRY_COMPARE(opened(), "--from-list\n" + file + "\n");
    ui::RunModal = runModal;
    const QWidget none;
    QCOMPARE(test::MissingGermanTexts(none, {"No program is registered for this type of file.", "Other program:"}),
             QString());
  }

  // Columns size from their captions and cells and share the window: "Dup. Group" and its sort
  // mark fit, Modified is no wider than its dates, the folder column takes the rest and follows
  // the window. A width the user drags is kept, and comes back with the user state.
  void columnWidthsFollowContentAndWindow() {
    pelcrow::Settings.KeepUserSettings = true;
    int dragged = 0;
    {
      TfmMain w;
      w.resize(1100, 750);
      w.show();
      Scan(w);
      auto* grid = Child<QTableView>(w, "sgFileList");
      QHeaderView* h = grid->horizontalHeader();
      auto* model = w.Results()->Model();
      const int group = model->ColumnOf(rcDupGroup);
      const int modified = model->ColumnOf(rcModified);
      const int path = model->ColumnOf(rcPath);
      const int size = model->ColumnOf(rcSize);
      QVERIFY(h->isSortIndicatorShown());
      QVERIFY2(h->sectionSize(group) >= h->sectionSizeHint(group),
               qPrintable(QStringLiteral("%1 < %2").arg(h->sectionSize(group)).arg(h->sectionSizeHint(group))));
      const int modifiedNeed = std::max(h->sectionSizeHint(modified), static_cast<QAbstractItemView*>(grid)->sizeHintForColumn(modified));
      QCOMPARE(h->sectionSize(modified), modifiedNeed);
      const auto total = [h] {
        int sum = 0;
        for (int c = 0; c < h->count(); ++c) sum += h->sectionSize(c);
        return sum;
      };
      QCOMPARE(total(), grid->viewport()->width());
      const int pathBefore = h->sectionSize(path);
      w.resize(1300, 750);
      // The columns are fitted after the resize has been laid out, which takes longer on a busy machine.
      QTRY_VERIFY(h->sectionSize(path) > pathBefore);
      QTRY_COMPARE(total(), grid->viewport()->width());
      QCOMPARE(h->sectionSize(modified), modifiedNeed);

      // The user drags the right edge of Size 40 pixels wider.
      const int edge = h->sectionViewportPosition(size) + h->sectionSize(size) - 1;
      const int before = h->sectionSize(size);
      QTest::mousePress(h->viewport(), Qt::LeftButton, {}, QPoint(edge, h->height() / 2));
      QMouseEvent move(QEvent::MouseMove, QPointF(edge + 40, h->height() / 2), h->viewport()->mapToGlobal(QPointF(edge + 40, h->height() / 2)),
                       Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(h->viewport(), &move);
      QTest::mouseRelease(h->viewport(), Qt::LeftButton, {}, QPoint(edge + 40, h->height() / 2));
      w.FlushRunTimer();
      dragged = h->sectionSize(size);
      QCOMPARE(dragged, before + 40);
      // The window keeps it through a resize; the folder column gave way.
      w.resize(1200, 750);
      QTest::qWait(50);
      QCOMPARE(h->sectionSize(size), dragged);
      QCOMPARE(total(), grid->viewport()->width());
      w.close();
    }
    TfmMain again;
    again.resize(1100, 750);
    again.show();
    Scan(again);
    auto* model = again.Results()->Model();
    QCOMPARE(Child<QTableView>(again, "sgFileList")->horizontalHeader()->sectionSize(model->ColumnOf(rcSize)), dragged);
  }

  // Pressing a category makes its caption bold; no button changes its width for it.
  void categoryButtonsKeepTheirWidths() {
    TfmMain w;
    w.resize(1100, 750);
    w.show();
    Scan(w);
    const auto widths = [&w] {
      QList<int> out;
      for (int c = 0; c <= 6; ++c) out << Child<QPushButton>(w, qPrintable(QStringLiteral("bCategory%1").arg(c)))->width();
      return out;
    };
    const QList<int> before = widths();
    for (int c : {int(fcVideo), int(fcDocuments), int(fcAllFiles)}) {
      Child<QPushButton>(w, qPrintable(QStringLiteral("bCategory%1").arg(c)))->click();
      QTest::qWait(20);
      QCOMPARE(widths(), before);
    }
  }

  // Which context-menu items each mode offers, and where separators stand.
  void contextMenuItems_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("exists");
    QTest::addColumn<bool>("processed");
    QTest::addColumn<QList<int>>("items");
    using namespace pelcrow::ui;
    QTest::newRow("picture") << int(cmCRC32) << "x.JPG" << true << false
                             << QList<int>{miProperties, miOpen, miOpenWith, miOpenFolder, miPreview, miRecycleBin,
                                           miSeparator, miDelete, miSeparator, miRemoveFolder, miRemoveFolderSub,
                                           miRemoveExtension, miClean, miSeparator, miIgnoreFile, miIgnorePair,
                                           miEditIgnoreList, miSeparator, miSaveList, miLoadList, miSeparator,
                                           miSearch};
    QTest::newRow("missing file without extension")
        << int(cmCRC32) << "README" << false << false
        << QList<int>{miOpenFolder, miRecycleBin, miSeparator, miRemoveFolder, miRemoveFolderSub, miClean,
                      miSeparator, miIgnoreFile, miIgnorePair, miEditIgnoreList, miSeparator, miSaveList, miLoadList,
                      miSeparator, miSearch};
    QTest::newRow("e-mail") << int(cmEmails) << "mail" << false << false
                            << QList<int>{miOpen, miOpenFolder, miRecycleBin, miSeparator, miDelete, miSeparator,
                                          miRemoveFolder, miRemoveFolderSub, miClean};
    QTest::newRow("processed e-mail") << int(cmEmails) << "mail" << false << true
                                      << QList<int>{miOpenFolder, miRecycleBin, miSeparator, miRemoveFolder,
                                                    miRemoveFolderSub, miClean};
    QTest::newRow("photo") << int(cmPhotoLibrary) << "p.jpg" << false << false
                           << QList<int>{miDelete, miSeparator, miRemoveFolder, miRemoveFolderSub, miClean};
  }

  void contextMenuItems() {
    QFETCH(int, mode);
    QFETCH(QString, name);
    QFETCH(bool, exists);
    QFETCH(bool, processed);
    QFETCH(QList<int>, items);
    TFileItem it;
    it.Name = name.toStdString();
    it.Path = "/x";
    it.fProcessed = processed;
    const std::vector<int> got = ui::FileListMenuItems(static_cast<std::uint8_t>(mode), it, exists);
    QCOMPARE(QList<int>(got.begin(), got.end()), items);
  }
};

QTEST_MAIN(ResultsPanelTest)
#include "ResultsPanelTest.moc"
