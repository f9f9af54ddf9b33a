#include "ui/ResultsView.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScopeGuard>
#include <QStyleOptionHeader>

#include <utility>

namespace pelcrow::ui {
namespace {

// Qt hands the style "sort down" for an ascending order, which this platform's style draws as an
// arrow pointing down. Ascending points up here, as the smallest value stands at the top.
class TResultsHeader final : public QHeaderView {
 public:
  explicit TResultsHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {}

 protected:
  void initStyleOptionForIndex(QStyleOptionHeader* option, int logicalIndex) const override {
    QHeaderView::initStyleOptionForIndex(option, logicalIndex);
    if (option->sortIndicator == QStyleOptionHeader::SortDown)
      option->sortIndicator = QStyleOptionHeader::SortUp;
    else if (option->sortIndicator == QStyleOptionHeader::SortUp)
      option->sortIndicator = QStyleOptionHeader::SortDown;
  }
};

}  // namespace

TResultsView::TResultsView(TScanEngine* Engine, TResultsModel* Model, QWidget* parent)
    : QTableView(parent), fEngine(Engine), fModel(Model) {
  setHorizontalHeader(new TResultsHeader(this));
  setModel(fModel);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setWordWrap(false);
  setShowGrid(false);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  // Every row has one height: the view never measures rows, so a million of them scroll freely.
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(21);
  verticalHeader()->hide();
  horizontalHeader()->setSectionsClickable(true);
  horizontalHeader()->setHighlightSections(false);
  // Captions start where their cells start.
  horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  horizontalHeader()->setStretchLastSection(true);
  horizontalHeader()->setMinimumSectionSize(20);
  connect(horizontalHeader(), &QHeaderView::sectionClicked, this, &TResultsView::SortByColumn);
  connect(fModel, &TResultsModel::CheckChanged, this, &TResultsView::SelectionInfoChanged);
  connect(fModel, &QAbstractItemModel::modelReset, this, [this] {
    setColumnWidth(0, 24);
    if (fSortColumn > 0) horizontalHeader()->setSortIndicator(fSortColumn, fSortOrder);
  });
  setColumnWidth(0, 24);
}

void TResultsView::ResetSorting() {
  fSortColumn = fModel->ColumnOf(rcDupGroup);
  fSortOrder = Qt::AscendingOrder;
  horizontalHeader()->setSortIndicatorShown(fSortColumn > 0);
  if (fSortColumn > 0) horizontalHeader()->setSortIndicator(fSortColumn, fSortOrder);
}

void TResultsView::SortByColumn(int column) {
  if (column <= 0) return;  // the check column does not sort
  if (column == fSortColumn)
    fSortOrder = fSortOrder == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
  else
    fSortOrder = Qt::AscendingOrder;
  fSortColumn = column;
  {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const auto restore = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
    fEngine->SortResults(fModel, column - 1, fSortOrder == Qt::AscendingOrder ? soAsc : soDesc);
  }
  horizontalHeader()->setSortIndicatorShown(true);
  horizontalHeader()->setSortIndicator(fSortColumn, fSortOrder);
}

// The viewport, not the view: a scroll bar that comes or goes changes the room as well.
bool TResultsView::viewportEvent(QEvent* event) {
  const bool handled = QTableView::viewportEvent(event);
  if (event->type() == QEvent::Resize) emit ViewResized();
  return handled;
}

void TResultsView::keyPressEvent(QKeyEvent* event) {
  fShift = event->modifiers() & Qt::ShiftModifier;
  if (!fShift) fShiftState.reset();
  QTableView::keyPressEvent(event);
  fShift = false;
}

void TResultsView::keyReleaseEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Shift) fShiftState.reset();
  QTableView::keyReleaseEvent(event);
}

void TResultsView::mousePressEvent(QMouseEvent* event) {
  fShift = event->modifiers() & Qt::ShiftModifier;
  fShiftState.reset();
  fRangeOnPress = false;
  QTableView::mousePressEvent(event);
  fShiftState.reset();
  fShift = false;
}

bool TResultsView::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
  // A click anywhere in the check cell toggles it, not only on the small box.
  // The press is left to the view, so that the row becomes the current one (and a Shift+press
  // checks the range), as a press on any other cell does.
  if (index.isValid() && index.column() == 0 && event && event->type() == QEvent::MouseButtonPress) return false;
  if (index.isValid() && index.column() == 0 && event &&
      (event->type() == QEvent::MouseButtonRelease || event->type() == QEvent::MouseButtonDblClick)) {
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() != Qt::LeftButton) return false;
    // The press checked a range up to this row already.
    if (std::exchange(fRangeOnPress, false)) return true;
    if (event->type() == QEvent::MouseButtonRelease && index.row() < fEngine->ItemCount()) {
      const PFileItem it = fEngine->Item(index.row());
      if (!it->fProcessed) fModel->SetChecked(index.row(), !it->fSelected);
    }
    return true;
  }
  return QTableView::edit(index, trigger, event);
}

void TResultsView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  QTableView::currentChanged(current, previous);
  if (!current.isValid() || !fShift || current.row() == previous.row()) return;
  fRangeOnPress = true;
  const int to = current.row();
  if (!previous.isValid() || previous.row() >= fEngine->ItemCount()) {
    fShiftState = !fEngine->Item(to)->fSelected;
    fModel->SetChecked(to, *fShiftState);
  } else {
    const int from = previous.row();
    const bool state = fShiftState ? *fShiftState : !fEngine->Item(from)->fSelected;
    fShiftState = state;
    const int step = to >= from ? 1 : -1;
    for (int r = from;; r += step) {
      // Rows hidden by "Duplicates only" and reference copies are passed over, not refusals.
      const PFileItem it = fEngine->Item(r);
      const bool passed = it->fProcessed || it->Reference || isRowHidden(r);
      if (!passed && !fModel->SetChecked(r, state)) break;  // refused: stop here
      if (r == to) break;
    }
  }
  emit SelectionInfoChanged();
}

}  // namespace pelcrow::ui
