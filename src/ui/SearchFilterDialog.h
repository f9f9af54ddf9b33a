// "Search / Filter Duplicates": describes result rows by name pattern, date range, size and group
// numbers; "Search" moves the grid's focus to the next matching row, "Filter Duplicate List"
// narrows the grid to the matching rows.
#pragma once

#include <QDialog>
#include <functional>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace pelcrow::ui {

class TfmSearchFilterDlg final : public QDialog {
  Q_OBJECT

 public:
  // OnSearch tests the rows from the position on and, at a match, focuses it and moves the
  // position past it; false when nothing matched.
  using TSearchCallback = std::function<bool(int& Position)>;
  TfmSearchFilterDlg(TSearchCallback OnSearch, int FirstPosition, QWidget* parent = nullptr);

  // "Search": takes over the controls and finds the next match, offering to restart at the end.
  void SearchClick();
  // The controls into the current criteria; the search starts over when a criterion changed.
  void TakeOverControls();
  int LastSearchPosition() const { return FLastSearchPosition; }

  QLineEdit* edtFileNamePattern;
  QCheckBox* cbFileDate;
  QDateEdit* ceStartDate;
  QDateEdit* ceEndDate;
  QCheckBox* cbFileSize;
  QComboBox* cbSizeCompare;
  QDoubleSpinBox* nbFileSize;
  QComboBox* cbSizeMeasure;
  QCheckBox* cbDupGroup;
  QLineEdit* edtDupGroupPattern;
  QLabel* lDupGroupHint;
  QPushButton* btnSearch;
  QPushButton* btnCancel;
  QPushButton* btnFilter;

 private:
  void EnableControls();
  TSearchCallback FOnSearchButtonClick;
  int FLastSearchPosition = 0;
};

}  // namespace pelcrow::ui
