// The results grid: a table over TResultsModel with the check column, header sorting through the
// engine, and Shift moves of the focused row that check or uncheck a whole range.
#pragma once

#include <QTableView>
#include <optional>

#include "ui/ResultsModel.h"

namespace pelcrow::ui {

class TResultsView final : public QTableView {
  Q_OBJECT

 public:
  TResultsView(TScanEngine* Engine, TResultsModel* Model, QWidget* parent = nullptr);

  // Sort mark back to "Dup. Group" ascending (after "Clear" and the automatic selection rules).
  void ResetSorting();
  // Sorts by a grid column as a header click does: the same column again reverses.
  void SortByColumn(int column);
  TResultsModel* Model() const { return fModel; }

 signals:
  void SelectionInfoChanged();
  // The view changed size: the columns follow.
  void ViewResized();

 protected:
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
  bool viewportEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;

 private:
  TScanEngine* fEngine;
  TResultsModel* fModel;
  int fSortColumn = -1;
  Qt::SortOrder fSortOrder = Qt::AscendingOrder;
  // Shift was held by the input that moved the focus.
  bool fShift = false;
  // A Shift+press on a check box checked the range: its release toggles nothing more.
  bool fRangeOnPress = false;
  // While Shift stays down, keyboard moves keep applying the state the first move chose, so
  // Shift+Down pressed repeatedly extends one range instead of toggling it row by row.
  std::optional<bool> fShiftState;
};

}  // namespace pelcrow::ui
