// The masks and size limits under the folder lists: which files a scan looks at. The fields are
// the user's; the box checks what is typed and tells the scan the limits in bytes.
#pragma once

#include <QWidget>

#include <cstdint>
#include <string>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace pelcrow::ui {

// The size-limit fields as the user set them (unit index 0..3 = B, KB, MB, GB).
struct TSizeLimitFields {
  bool CheckMin = false;
  bool CheckMax = false;
  double MinValue = 0;
  double MaxValue = 0;
  int MinUnit = 1;
  int MaxUnit = 1;
};

class TScanFilterBox : public QWidget {
  Q_OBJECT

 public:
  explicit TScanFilterBox(QWidget* parent = nullptr);

  void Retranslate();
  // Enables what the current mode offers: masks and limits are for the file modes, and the
  // music mode's masks come from its own selector only.
  void ApplyMode();
  // While busy (a scan or a processing run) the fields are locked.
  void SetBusy(bool busy);

  std::string IncludeMasks() const;
  std::string ExcludeMasks() const;
  void SetIncludeMasks(const std::string& text);
  void SetExcludeMasks(const std::string& text);
  // An empty include field means every file of the mode: the field says so before a scan.
  void FillEmptyIncludeMask();

  TSizeLimitFields Limits() const;
  void SetLimits(const TSizeLimitFields& limits);
  // The limits a scan uses, in bytes; 0 where a limit is off.
  std::int64_t MinBytes() const;
  std::int64_t MaxBytes() const;

 private:
  void BuildSizeRow(QCheckBox*& check, QDoubleSpinBox*& value, QComboBox*& unit, const char* checkName,
                    const char* valueName, const char* unitName);
  void Arrange();
  void MaskEdited(QLineEdit* edit);
  void IncFileTypesClick();
  void ExcFileTypesClick();
  void UpdateSizeControls();

  bool fBusy = false;
  QLabel* lIncFileTypes;
  QLabel* lExcFileTypes;
  QLineEdit* edIncFileTypes;
  QLineEdit* edExcFileTypes;
  QPushButton* bIncFileTypes;
  QPushButton* bExcFileTypes;
  QCheckBox* chkMinSize;
  QDoubleSpinBox* nbMinSize;
  QComboBox* cbMinSize;
  QCheckBox* chkMaxSize;
  QDoubleSpinBox* nbMaxSize;
  QComboBox* cbMaxSize;
};

}  // namespace pelcrow::ui
