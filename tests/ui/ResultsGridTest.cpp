#include <QStyle>
#include <QStyleOptionViewItem>
#include <QtTest>

#include <QHeaderView>

#include <algorithm>
#include <map>

#include "base/UserPrompt.h"
#include "engine/ScanEngine.h"
#include "ui/ResultsModel.h"
#include "ui/ResultsView.h"

using namespace pelcrow;
using namespace pelcrow::ui;

namespace {

PFileItem Item(const char* path, const char* name, std::uint32_t group, std::int64_t size) {
  auto* it = new TFileItem;
  it->Path = path;
  it->Name = name;
  it->DupGroup = it->SortGroup = group;
  it->Size = size;
  return it;
}

// Answers every confirmation No.
class TNoPrompt final : public IUserPrompt {
 public:
  void ShowMessage(TMessageKind, const std::string&) override {}
  bool Confirm(const std::string&) override { return false; }
  bool ConfirmWithCheck(const std::string&, const std::string&, bool&) override {
    ++Asked;
    return false;
  }
  TCheckSelectionAnswer CheckSelection(const std::string&, bool) override { return {}; }
  bool ShowUndoErrors(const std::string&, const std::vector<std::string>&) override { return false; }
  TReadOnlyAnswer AskReadOnly(const std::string&) override { return TReadOnlyAnswer::raNo; }
  int Asked = 0;
};

}  // namespace

class ResultsGridTest : public QObject {
  Q_OBJECT

  // Three groups of two, sizes differing so every sort shows.
  void Fill(TScanEngine& e) {
    e.AddItem(Item("/b", "b1", 2, 20));
    e.AddItem(Item("/a", "a1", 1, 10));
    e.AddItem(Item("/c", "c1", 3, 35));
    e.AddItem(Item("/a", "a2", 1, 11));
    e.AddItem(Item("/b", "b2", 2, 21));
    e.AddItem(Item("/c", "c2", 3, 30));
  }

  QStringList Column(TResultsModel& m, int kind) {
    QStringList out;
    for (int r = 0; r < m.rowCount(); ++r) out << m.data(m.index(r, m.ColumnOf(kind)), Qt::DisplayRole).toString();
    return out;
  }

 private slots:
  void columnsAndCellsOfTheFileModes() {
    TScanEngine e(cmCRC32, {});
    Fill(e);
    TResultsModel m(&e);
    e.SortResults(&m, 2, soAsc);
    QCOMPARE(m.rowCount(), 6);
    QCOMPARE(m.columnCount(), 6);
    QCOMPARE(m.headerData(3, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("Dup. Group"));
    QCOMPARE(Column(m, rcDupGroup), (QStringList{"1", "1", "2", "2", "3", "3"}));
    // Alternate groups are shaded, the first one as after a scan; processed rows are red and
    // struck out.
    QCOMPARE(m.data(m.index(0, 1), Qt::BackgroundRole).value<QColor>(), TResultsModel::BandColor());
    QVERIFY(!m.data(m.index(2, 1), Qt::BackgroundRole).isValid());
    QCOMPARE(m.data(m.index(4, 1), Qt::BackgroundRole).value<QColor>(), TResultsModel::BandColor());
    e.Item(1)->fProcessed = true;
    QCOMPARE(m.data(m.index(1, 1), Qt::ForegroundRole).value<QColor>(), QColor(Qt::red));
    QVERIFY(m.data(m.index(1, 2), Qt::FontRole).value<QFont>().strikeOut());
    QVERIFY(!(m.flags(m.index(1, 0)) & Qt::ItemIsUserCheckable));
  }

  void musicModeShowsTheChosenTagColumns() {
    TScanEngine e(cmMusicTags, {});
    PFileItem it = Item("/m", "s.mp3", 1, 1);
    it->MusicTags = std::make_unique<TMusicTagsInfo>();
    it->MusicTags->Artist = "Artist X";
    it->MusicTags->Year = "1999";
    e.AddItem(it);
    TResultsModel m(&e);
    m.CheckColumns(0b00010010);  // artist, year
    QCOMPARE(m.columnCount(), 8);
    QCOMPARE(m.headerData(6, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("Artist"));
    QCOMPARE(m.data(m.index(0, 7), Qt::DisplayRole).toString(), QStringLiteral("1999"));
    QCOMPARE(m.MusicTagAtColumn(7), 4);
    QCOMPARE(m.MusicTagAtColumn(5), -1);
  }

  void headerClicksSortAndReverse() {
    TScanEngine e(cmCRC32, {});
    Fill(e);
    TResultsModel m(&e);
    TResultsView v(&e, &m);
    e.SortResults(&m, 2, soAsc);
    const int size = m.ColumnOf(rcSize);
    v.SortByColumn(size);
    QCOMPARE(Column(m, rcName), (QStringList{"a1", "a2", "b1", "b2", "c2", "c1"}));
    QCOMPARE(v.horizontalHeader()->sortIndicatorOrder(), Qt::AscendingOrder);
    v.SortByColumn(size);
    QCOMPARE(Column(m, rcName), (QStringList{"c1", "c2", "b2", "b1", "a2", "a1"}));
    QCOMPARE(v.horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);
    v.SortByColumn(m.ColumnOf(rcPath));
    QCOMPARE(Column(m, rcPath).first(), QStringLiteral("/a"));
    QCOMPARE(v.horizontalHeader()->sortIndicatorSection(), m.ColumnOf(rcPath));
  }

  // Shift-moving the focus from row 1 to row 4 checks rows 1 to 4 (row 1 was unchecked); moving
  // back with Shift unchecks them again.
  // The sort mark of an ascending column points up, of a descending one down: the pixels the
  // mark adds to the header lie mostly in the lower half of its box for an upward triangle.
  void ascendingSortMarkPointsUp() {
    TScanEngine e(cmCRC32, {});
    Fill(e);
    TResultsModel m(&e);
    TResultsView v(&e, &m);
    v.resize(700, 200);
    v.show();
    QHeaderView* h = v.horizontalHeader();
    const int group = m.ColumnOf(rcDupGroup);
    v.setColumnWidth(group, 160);
    const QRect section(h->sectionViewportPosition(group), 0, h->sectionSize(group), h->height());
    // Where the mark's weight lies against the middle of its box: above the middle (< 0) for a
    // mark pointing down.
    const auto lean = [&] {
      h->setSortIndicatorShown(false);
      const QImage plain = h->grab(section).toImage();
      h->setSortIndicatorShown(true);
      const QImage marked = h->grab(section).toImage();
      double sum = 0;
      int count = 0;
      int top = plain.height();
      int bottom = -1;
      for (int y = 0; y < plain.height(); ++y)
        for (int x = 0; x < plain.width(); ++x)
          if (plain.pixel(x, y) != marked.pixel(x, y)) {
            sum += y;
            ++count;
            top = std::min(top, y);
            bottom = std::max(bottom, y);
          }
      return count == 0 ? 0.0 : sum / count - (top + bottom) / 2.0;
    };
    v.SortByColumn(group);  // ascending
    QCOMPARE(h->sortIndicatorOrder(), Qt::AscendingOrder);
    const double up = lean();
    QVERIFY2(up > 0, qPrintable(QString::number(up)));
    v.SortByColumn(group);  // descending
    QCOMPARE(h->sortIndicatorOrder(), Qt::DescendingOrder);
    const double down = lean();
    QVERIFY2(down < 0, qPrintable(QString::number(down)));
  }

  void shiftMovesCheckARange() {
    TScanEngine e(cmCRC32, {});
    Fill(e);
    TResultsModel m(&e);
    TResultsView v(&e, &m);
    v.resize(600, 400);
    v.show();
    e.SortResults(&m, 2, soAsc);
    v.setCurrentIndex(m.index(1, 1));
    // Shift held down across three presses of Down.
    for (int k = 0; k < 3; ++k) QTest::keyPress(&v, Qt::Key_Down, Qt::ShiftModifier);
    QCOMPARE(v.currentIndex().row(), 4);
    QList<bool> checked;
    for (int r = 0; r < 6; ++r) checked << e.Item(r)->fSelected;
    QCOMPARE(checked, (QList<bool>{false, true, true, true, true, false}));
    QTest::keyRelease(&v, Qt::Key_Shift);
    // A new Shift move starts from the focused row's state: checked, so the range is unchecked.
    for (int k = 0; k < 3; ++k) QTest::keyPress(&v, Qt::Key_Up, Qt::ShiftModifier);
    QTest::keyRelease(&v, Qt::Key_Shift);
    for (int r = 1; r <= 4; ++r) QVERIFY(!e.Item(r)->fSelected);
    QTest::keyClick(&v, Qt::Key_Down);  // no Shift: nothing changes
    QVERIFY(!e.Item(4)->fSelected);
  }

  // A click on a row's check box makes that row the current one, so a Shift+click on another box
  // checks the rows between, as a Shift+click on a name does.
  void checkBoxClickMovesTheCurrentRow() {
    TScanEngine e(cmCRC32, {});
    Fill(e);
    TResultsModel m(&e);
    TResultsView v(&e, &m);
    v.resize(600, 400);
    v.show();
    QVERIFY(QTest::qWaitForWindowExposed(&v));
    e.SortResults(&m, 2, soAsc);
    // The box itself, where the style draws it (not the rest of the cell).
    const auto box = [&](int row) {
      QStyleOptionViewItem opt;
      opt.initFrom(&v);
      opt.rect = v.visualRect(m.index(row, 0));
      opt.features = QStyleOptionViewItem::HasCheckIndicator;
      opt.widget = &v;
      return v.style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt, &v).center();
    };
    QTest::mouseClick(v.viewport(), Qt::LeftButton, Qt::NoModifier, box(1));
    QCOMPARE(v.currentIndex().row(), 1);
    QVERIFY(e.Item(1)->fSelected);
    QTest::mouseClick(v.viewport(), Qt::LeftButton, Qt::NoModifier, box(1));
    QVERIFY(!e.Item(1)->fSelected);
    // The range takes the opposite of the row focused before: row 1 is unchecked, so all are checked.
    QTest::mouseClick(v.viewport(), Qt::LeftButton, Qt::ShiftModifier, box(4));
    QCOMPARE(v.currentIndex().row(), 4);
    QList<bool> checked;
    for (int r = 0; r < 6; ++r) checked << e.Item(r)->fSelected;
    QCOMPARE(checked, (QList<bool>{false, true, true, true, true, false}));
  }

  // A selection rule tells the grid once, however many rows it changes: a rule over a million rows
  // must not send a million notifications to the view.
  void eachSelectionRuleIsOneGridUpdate_data() {
    QTest::addColumn<int>("rule");
    QTest::addColumn<int>("changedRows");
    QTest::newRow("select all") << 0 << 6;
    QTest::newRow("unselect all") << 1 << 6;
    QTest::newRow("reverse") << 2 << 6;
    QTest::newRow("leave the oldest") << 3 << 3;
    QTest::newRow("leave this folder") << 4 << 4;
    QTest::newRow("all in group but this one") << 5 << 2;
    QTest::newRow("all in this folder") << 6 << 2;
  }
  void eachSelectionRuleIsOneGridUpdate() {
    QFETCH(int, rule);
    QFETCH(int, changedRows);
    TScanEngine e(cmCRC32, {});
    Fill(e);
    TResultsModel m(&e);
    e.SortResults(&m, 2, soAsc);  // a1 a2 b1 b2 c1 c2
    if (rule == 1 || rule == 3) e.SelectAll(&m);
    if (rule == 5) m.SetChecked(2, true);
    std::map<PFileItem, bool> before;
    for (int r = 0; r < e.ItemCount(); ++r) before[e.Item(r)] = e.Item(r)->fSelected;
    QSignalSpy changed(&m, &QAbstractItemModel::dataChanged);
    switch (rule) {
      case 0: e.SelectAll(&m); break;
      case 1: e.UnSelectAll(&m); break;
      case 2: e.ReverseSelection(&m); break;
      case 3: e.AutoSelect(&m, smSelectAllLeaveOldest); break;
      case 4: e.SelectAllExceptThisFolder(&m, 0, false); break;
      case 5: e.SelectAllInGroupButThisOne(&m, 2); break;
      case 6: e.SelectDuplicatesInSameFolder("/b", false); break;
      default: QFAIL("no such rule");
    }
    auto changedAt = [&](int r) { return e.Item(r)->fSelected != before[e.Item(r)]; };
    int changes = 0;
    for (int r = 0; r < e.ItemCount(); ++r) changes += changedAt(r);
    QCOMPARE(changes, changedRows);
    QCOMPARE(changed.count(), 1);
    // The one notification covers every row the rule changed, the check column included.
    const QModelIndex first = changed.first().at(0).value<QModelIndex>();
    const QModelIndex last = changed.first().at(1).value<QModelIndex>();
    QCOMPARE(first.column(), 0);
    for (int r = 0; r < e.ItemCount(); ++r)
      if (changedAt(r)) QVERIFY(r >= first.row() && r <= last.row());
  }

  // A click on a master file's check box goes through the engine's setter, which asks.
  void checkingAMasterFileAsks() {
    TNoPrompt prompt;
    SetUserPrompt(&prompt);
    TScanEngine e(cmCRC32, {});
    Fill(e);
    e.Item(0)->Master = true;
    MasterWarningActive = true;
    TResultsModel m(&e);
    QSignalSpy changed(&m, &TResultsModel::CheckChanged);
    QVERIFY(m.setData(m.index(0, 0), Qt::Checked, Qt::CheckStateRole));
    QCOMPARE(prompt.Asked, 1);
    QVERIFY(!e.Item(0)->fSelected);
    QVERIFY(m.setData(m.index(1, 0), Qt::Checked, Qt::CheckStateRole));
    QVERIFY(e.Item(1)->fSelected);
    QCOMPARE(m.data(m.index(1, 0), Qt::CheckStateRole).toInt(), int(Qt::Checked));
    QCOMPARE(changed.count(), 2);
    MasterWarningActive = false;
    SetUserPrompt(nullptr);
  }
};

QTEST_MAIN(ResultsGridTest)
#include "ResultsGridTest.moc"
