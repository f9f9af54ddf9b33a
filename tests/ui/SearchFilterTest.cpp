#include <QtTest>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

#include "UiTestUtil.h"
#include "engine/ScanEngine.h"
#include "engine/SearchFilter.h"
#include "ui/ResultsPanel.h"
#include "ui/SearchFilterDialog.h"

using namespace pelcrow;
using namespace pelcrow::ui;

namespace {

PFileItem Item(const char* path, const char* name, std::uint32_t group) {
  auto* it = new TFileItem;
  it->Path = path;
  it->Name = name;
  it->DupGroup = it->SortGroup = group;
  it->Size = 10;
  return it;
}

}  // namespace

class SearchFilterTest : public QObject {
  Q_OBJECT

  void Fill(TScanEngine& e) {
    e.AddItem(Item("/a", "x.txt", 1));
    e.AddItem(Item("/b", "x.txt", 1));
    e.AddItem(Item("/a", "p.jpg", 2));
    e.AddItem(Item("/b", "p.JPG", 2));
    e.AddItem(Item("/a", "q.png", 3));
    e.AddItem(Item("/b", "q.png", 3));
  }

 private slots:
  void init() { SearchFilterFiles = TSearchFilterFiles(); }

  // Search moves the focus from match to match; past the last one it offers to restart.
  void searchWalksTheMatches() {
    test::TScriptedPrompt prompt;
    SetUserPrompt(&prompt);
    TScanEngine e(cmCRC32, {});
    Fill(e);
    TResultsPanel panel(&e);
    e.SortResults(panel.Model(), 2, soAsc);
    TfmSearchFilterDlg dlg([&panel](int& pos) { return panel.SearchFrom(pos); }, 0);
    dlg.edtFileNamePattern->setText(QStringLiteral("*.jpg"));
    dlg.SearchClick();
    QCOMPARE(panel.FocusedRow(), 2);
    dlg.SearchClick();
    QCOMPARE(panel.FocusedRow(), 3);
    prompt.Answers = {true, false};  // restart once, then give up
    dlg.SearchClick();
    QCOMPARE(panel.FocusedRow(), 2);
    QCOMPARE(prompt.Questions.size(), std::size_t(1));
    QVERIFY(QString::fromStdString(prompt.Questions[0]).startsWith(QStringLiteral("Search Match Not Found.")));
    // A changed criterion starts over from the first row.
    dlg.edtFileNamePattern->setText(QStringLiteral("q.*"));
    dlg.SearchClick();
    QCOMPARE(panel.FocusedRow(), 4);
    SetUserPrompt(nullptr);
  }

  // "Filter Duplicate List" keeps the criteria; the panel narrows the grid and names them.
  void filterNarrowsTheGrid() {
    TScanEngine e(cmCRC32, {});
    Fill(e);
    TResultsPanel panel(&e);
    e.SortResults(panel.Model(), 2, soAsc);
    TfmSearchFilterDlg dlg({}, 0);
    dlg.cbDupGroup->setChecked(true);
    dlg.edtDupGroupPattern->setText(QStringLiteral("3-2,"));
    dlg.btnFilter->click();
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QCOMPARE(dlg.edtDupGroupPattern->text(), QStringLiteral("3-2"));
    QVERIFY(SearchFilterFiles.fSearchByDupGroup);
    panel.ApplySearchFilter();
    QCOMPARE(panel.Model()->rowCount(), 4);
    QVERIFY(panel.FilterBarVisible());
    QCOMPARE(test::Child<QLabel>(panel, "txtFilterLabel")->text(), QStringLiteral("Filter by: '*'; Dup. Group: 3-2"));
  }
};

QTEST_MAIN(SearchFilterTest)
#include "SearchFilterTest.moc"
