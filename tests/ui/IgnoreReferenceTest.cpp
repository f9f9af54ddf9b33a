// The ignore list from the row menu and its editor, the reference folder list of the folder
// panel, and the "Duplicates only" view with its details pane, in the main window.
#include <QCheckBox>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QtTest>

#include <filesystem>
#include <memory>
#include <set>

#include "UiTestUtil.h"
#include "engine/IgnoreList.h"
#include "ui/DetailsPane.h"
#include "ui/FolderListPanel.h"
#include "ui/FolderWidgets.h"
#include "ui/IgnoreListWindow.h"
#include "ui/MainWindow.h"
#include "ui/QtMainThread.h"
#include "ui/ResultsPanel.h"

using namespace pelcrow;
using pelcrow::test::Child;
using pelcrow::ui::TfmMain;

namespace {

QAction* MenuAction(QMenu* m, const QString& text) {
  for (QAction* a : m->actions())
    if (a->text() == text) return a;
  return nullptr;
}

std::set<std::string> Names(TScanEngine& e, const std::string& root) {
  std::set<std::string> out;
  for (int r = 0; r < e.ItemCount(); ++r) out.insert(e.Item(r)->FullPath().substr(root.size() + 1));
  return out;
}

}  // namespace

class IgnoreReferenceTest : public QObject {
  Q_OBJECT

  std::unique_ptr<test::TTestHome> fHome;
  std::unique_ptr<ui::TQtMainThread> fMainThread;
  test::TScriptedPrompt fPrompt;
  std::string fRoot;

  // Three copies of a picture, two of a text, two without extension.
  void MakeTree() {
    fRoot = fHome->Dir("tree");
    const char* files[][2] = {{"tree/a/x.jpg", "picture bytes 0001"},  {"tree/b/x.jpg", "picture bytes 0001"},
                              {"tree/b/sub/x - Copy.jpg", "picture bytes 0001"}, {"tree/a/doc.txt", "document text"},
                              {"tree/b/doc.txt", "document text"},   {"tree/a/noext", "no extension here"},
                              {"tree/b/noext", "no extension here"}};
    for (auto& f : files) fHome->Write(f[0], f[1]);
  }

  void Scan(TfmMain& w) {
    QTest::qWait(1100);  // a second click within a second is taken for a double click
    QTest::mouseClick(Child<QPushButton>(w, "crbStart"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(w.StartTag(), 0, 30000);
  }

  int RowOf(TScanEngine& e, const std::string& rel) {
    for (int r = 0; r < e.ItemCount(); ++r)
      if (e.Item(r)->FullPath() == fRoot + "/" + rel) return r;
    return -1;
  }

  std::string ListFile() const { return fHome->Home() + "/data/pelcrow/ignore-list"; }

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
    test::FreshSettings();
    fPrompt.Clear();
    std::filesystem::remove(ListFile());
  }

  // "Ignore this pair" and "Ignore this file" take rows out at once, keep them out of the next
  // scan, and the editor gives them back.
  void rowMenuKeepsPairsAndFilesOutOfLaterScans() {
    TfmMain w;
    w.resize(1100, 750);
    w.show();
    w.AddIncludeFolder(fRoot);
    Scan(w);
    TScanEngine& e = w.ScanEngine();
    QCOMPARE(e.ItemCount(), 7);
    ui::TResultsPanel* p = w.Results();

    p->Grid()->setCurrentIndex(p->Model()->index(RowOf(e, "a/x.jpg"), 1));
    std::unique_ptr<QMenu> menu(p->BuildContextMenu(RowOf(e, "a/x.jpg")));
    QAction* pairItem = MenuAction(menu.get(), QStringLiteral("Ignore this pair"));
    QVERIFY(pairItem && pairItem->menu());
    QCOMPARE(pairItem->menu()->actions().size(), 2);  // the two other copies
    QAction* withB = MenuAction(pairItem->menu(), QStringLiteral("with ") + QString::fromStdString(fRoot + "/b/x.jpg"));
    QVERIFY(withB);
    withB->trigger();
    w.FlushRunTimer();
    // a/x.jpg stays with the third copy; b/x.jpg, alone now, leaves.
    QCOMPARE(Names(e, fRoot), (std::set<std::string>{"a/x.jpg", "b/sub/x - Copy.jpg", "a/doc.txt", "b/doc.txt",
                                                     "a/noext", "b/noext"}));
    // A right click makes the row the current one first.
    p->Grid()->setCurrentIndex(p->Model()->index(RowOf(e, "a/doc.txt"), 1));
    menu.reset(p->BuildContextMenu(RowOf(e, "a/doc.txt")));
    MenuAction(menu.get(), QStringLiteral("Ignore this file"))->trigger();
    w.FlushRunTimer();
    QCOMPARE(RowOf(e, "b/doc.txt"), -1);  // its partner has no group left
    QCOMPARE(w.Results()->Model()->rowCount(), 4);

    TIgnoreList saved;
    QCOMPARE(saved.Load(ListFile()), 0);
    QCOMPARE(saved.Entries().size(), std::size_t(2));
    QVERIFY(saved.IgnoresPair(fRoot + "/b/x.jpg", fRoot + "/a/x.jpg"));
    QVERIFY(saved.IgnoresFile(fRoot + "/a/doc.txt"));

    Scan(w);
    QCOMPARE(Names(e, fRoot), (std::set<std::string>{"a/x.jpg", "b/sub/x - Copy.jpg", "a/noext", "b/noext"}));

    // The editor: both entries, Remove takes the selected one out of the file.
    ui::TfmIgnoreList editor(&w);
    QCOMPARE(editor.lbEntries->count(), 2);
    QVERIFY(!editor.btnRemove->isEnabled());
    editor.lbEntries->item(1)->setSelected(true);
    QVERIFY(editor.btnRemove->isEnabled());
    QTest::mouseClick(editor.btnRemove, Qt::LeftButton);
    QCOMPARE(editor.lbEntries->count(), 1);
    QCOMPARE(saved.Load(ListFile()), 0);
    QVERIFY(!saved.IgnoresFile(fRoot + "/a/doc.txt"));
    QVERIFY(saved.IgnoresPair(fRoot + "/b/x.jpg", fRoot + "/a/x.jpg"));
    QTest::mouseClick(editor.btnClose, Qt::LeftButton);
    QVERIFY(!editor.isVisible());
    Scan(w);
    QCOMPARE(e.ItemCount(), 6);
    QCOMPARE(test::MissingGermanTexts(editor, {"Ignore this file", "Ignore this pair", "Edit the ignore list...",
                                               "with", "Ignore List", "Pair:", "File:", "The ignore list is empty.",
                                               "The ignore list cannot be read:", "The ignore list cannot be saved:"}),
             QString());
  }

  // A list that cannot be read is never replaced by a list of one entry.
  void unreadableListIsLeftAlone() {
    std::filesystem::create_directories(ListFile());  // a folder where the file should be
    TfmMain w;
    w.AddIncludeFolder(fRoot);
    Scan(w);
    TScanEngine& e = w.ScanEngine();
    w.Results()->IgnoreFile(RowOf(e, "a/doc.txt"));
    QCOMPARE(e.ItemCount(), 7);
    QVERIFY(!fPrompt.Messages.empty());
    QVERIFY(QString::fromStdString(fPrompt.Messages.back().Text).startsWith("The ignore list cannot be read:"));
    std::filesystem::remove(ListFile());
  }

  // The third list: its files are searched, marked and never checked, whatever asks.
  void referenceFolderIsNeverSelected() {
    TfmMain w;
    w.resize(1100, 750);
    w.show();
    auto* folders = w.findChild<ui::TFolderListPanel*>();
    auto* tabs = Child<QTabWidget>(w, "tcPathList");
    QVERIFY(tabs->isTabVisible(2));
    QCOMPARE(tabs->tabText(2), QStringLiteral("Reference Folders"));
    w.AddIncludeFolder(fRoot + "/a");
    tabs->setCurrentIndex(2);
    folders->AddTypedPath(fRoot + "/b");
    QCOMPARE(folders->ReferenceEntries(), std::vector<std::string>{fRoot + "/b/"});
    Scan(w);
    TScanEngine& e = w.ScanEngine();
    QCOMPARE(e.ItemCount(), 7);
    ui::TResultsPanel* p = w.Results();
    auto checkedReferences = [&] {
      int n = 0;
      for (int r = 0; r < e.ItemCount(); ++r) n += e.Item(r)->Reference && e.Item(r)->fSelected;
      return n;
    };
    int references = 0;
    for (int r = 0; r < e.ItemCount(); ++r) references += e.Item(r)->Reference;
    QCOMPARE(references, 4);
    MasterWarningActive = false;  // as after "Disable this warning for this result set"
    for (int command : {ui::scLeaveNewest, ui::scLeaveOldest, ui::scLeaveOriginal, ui::scReverse, ui::scGroupButThis}) {
      w.Results()->Grid()->setCurrentIndex(w.Results()->Model()->index(RowOf(e, "a/x.jpg"), 1));
      p->RunSelectCommand(command);
      QCOMPARE(checkedReferences(), 0);
    }
    p->RunSelectCommand(ui::scLeaveOldest);
    QCOMPARE(e.Item(RowOf(e, "a/x.jpg"))->fSelected, true);  // the reference copies are the kept ones
    QTest::mouseClick(Child<QCheckBox>(w, "cbCheckAll"), Qt::LeftButton);
    QCOMPARE(checkedReferences(), 0);
    // A click on the box of a reference row does nothing: it is not checkable.
    const QModelIndex box = w.Results()->Model()->index(RowOf(e, "b/doc.txt"), 0);
    QVERIFY(!(w.Results()->Model()->flags(box) & Qt::ItemIsUserCheckable));
    QVERIFY(!w.Results()->Model()->setData(box, Qt::Checked, Qt::CheckStateRole) || checkedReferences() == 0);
    QCOMPARE(checkedReferences(), 0);
    // Removing the folder from the list frees its files at once.
    folders->SetReferenceEntries({});
    QCOMPARE(e.Item(RowOf(e, "b/doc.txt"))->Reference, false);
    QCOMPARE(test::MissingGermanTexts(w, {"Reference Folders", "Searched too; their files are never selected or processed",
                                          "Drop folders whose files always stay",
                                          "In a reference folder: this copy always stays and cannot be checked."}),
             QString());
    // The master mode has lists of its own: no reference tab there.
    Settings.MasterSelectMode = true;
    folders->ApplyMode();
    QVERIFY(!tabs->isTabVisible(2));
  }

  // "Duplicates only" hides the kept copy of each group; the pane shows the focused file beside it.
  void duplicatesOnlyAndDetails() {
    TfmMain w;
    w.resize(1100, 750);
    w.show();
    w.AddIncludeFolder(fRoot);
    Scan(w);
    TScanEngine& e = w.ScanEngine();
    ui::TResultsPanel* p = w.Results();
    QTableView* grid = p->Grid();
    auto hidden = [&] {
      std::set<std::string> out;
      for (int r = 0; r < e.ItemCount(); ++r)
        if (grid->isRowHidden(r)) out.insert(e.Item(r)->FullPath().substr(fRoot.size() + 1));
      return out;
    };
    p->RunSelectCommand(ui::scUnselectAll);
    e.Item(RowOf(e, "a/x.jpg"))->fSelected = true;  // the group's next copy is then the kept one
    p->DuplicatesOnlyButton()->click();
    QVERIFY(p->DuplicatesOnly());
    const std::vector<char> kept = e.KeptRows();
    QCOMPARE(static_cast<int>(std::count(kept.begin(), kept.end(), 1)), 3);
    QCOMPARE(hidden().size(), std::size_t(3));
    QVERIFY(!hidden().count("a/x.jpg"));
    // The view follows the checks.
    p->RunSelectCommand(ui::scLeaveOldest);
    auto hiddenUnchecked = [&] {
      for (const std::string& h : hidden())
        if (e.Item(RowOf(e, h))->fSelected) return false;
      return hidden().size() == 3;
    };
    QTRY_VERIFY(hiddenUnchecked());

    Child<QPushButton>(w, "bDetails")->click();
    auto* pane = p->Details();
    QVERIFY(pane->isVisible());
    int focus = -1;
    for (int r = 0; r < e.ItemCount() && focus < 0; ++r)
      if (!grid->isRowHidden(r) && e.Item(r)->Name.view() == "x - Copy.jpg") focus = r;
    QVERIFY(focus >= 0);
    grid->setCurrentIndex(w.Results()->Model()->index(focus, 1));
    QTRY_COMPARE(pane->Table()->item(ui::TDetailsPane::dfName, 0)->text(), QStringLiteral("x - Copy.jpg"));
    QVERIFY(pane->Differs(ui::TDetailsPane::dfName));
    QVERIFY(pane->Differs(ui::TDetailsPane::dfFolder));
    QVERIFY(!pane->Differs(ui::TDetailsPane::dfSize));
    QVERIFY(!pane->Table()->item(ui::TDetailsPane::dfName, 1)->text().isEmpty());

    p->DuplicatesOnlyButton()->click();
    QVERIFY(hidden().empty());
    QCOMPARE(test::MissingGermanTexts(w, {"Duplicates only", "Hide the copy of each group that the selection keeps",
                                          "Details", "Show the focused file beside its group's kept copy", "Name",
                                          "Folder", "Size", "Modified", "Status changed", "This file", "Kept copy",
                                          "Next copy (this one is kept)"}),
             QString());
  }
};

QTEST_MAIN(IgnoreReferenceTest)
#include "IgnoreReferenceTest.moc"
