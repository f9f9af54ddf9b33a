#include "ui/SearchFilterDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "base/UserPrompt.h"
#include "engine/SearchFilter.h"
#include "ui/UiText.h"

namespace pelcrow::ui {

namespace {

QDate ToQDate(TDateTime t) {
  const TDateTimeParts p = t.ToLocal();
  return QDate(p.Year, p.Month, p.Day);
}

TDateTime FromQDate(const QDate& d) {
  TDateTimeParts p;
  p.Year = d.year();
  p.Month = d.month();
  p.Day = d.day();
  TDateTime t;
  TDateTime::FromLocal(p, t);
  return t;
}

bool SameCriteria(const TSearchFilterFiles& a, const TSearchFilterFiles& b) {
  return a.fFileNamePattern == b.fFileNamePattern && a.fSearchByDate == b.fSearchByDate &&
         a.fStartDate == b.fStartDate && a.fEndDate == b.fEndDate && a.fSearchBySize == b.fSearchBySize &&
         a.fSizeCondition == b.fSizeCondition && a.fFileSize == b.fFileSize && a.fSizeMeasure == b.fSizeMeasure &&
         a.fSearchByDupGroup == b.fSearchByDupGroup && a.fDupGroupPattern == b.fDupGroupPattern;
}

}  // namespace

TfmSearchFilterDlg::TfmSearchFilterDlg(TSearchCallback OnSearch, int FirstPosition, QWidget* parent)
    : QDialog(parent), FOnSearchButtonClick(std::move(OnSearch)), FLastSearchPosition(FirstPosition) {
  setObjectName(QStringLiteral("fmSearchFilterDlg"));
  setWindowTitle(Tr("Search / Filter Duplicates"));
  const TSearchFilterFiles& f = SearchFilterFiles;
  auto* grid = new QGridLayout;
  int row = 0;

  grid->addWidget(new QLabel(Tr("File name:"), this), row, 0);
  edtFileNamePattern = new QLineEdit(QString::fromStdString(f.fFileNamePattern), this);
  grid->addWidget(edtFileNamePattern, row++, 1, 1, 3);
  auto* nameHint = new QLabel(Tr("Use symbol \"*\" for any string and symbol \"?\" for any single character."), this);
  nameHint->setEnabled(false);
  grid->addWidget(nameHint, row++, 1, 1, 3);

  cbFileDate = new QCheckBox(Tr("Date between:"), this);
  cbFileDate->setChecked(f.fSearchByDate);
  ceStartDate = new QDateEdit(ToQDate(f.fStartDate), this);
  ceEndDate = new QDateEdit(ToQDate(f.fEndDate), this);
  for (QDateEdit* d : {ceStartDate, ceEndDate}) d->setCalendarPopup(true);
  grid->addWidget(cbFileDate, row, 0);
  grid->addWidget(ceStartDate, row, 1);
  grid->addWidget(new QLabel(Tr("and"), this), row, 2, Qt::AlignCenter);
  grid->addWidget(ceEndDate, row++, 3);

  cbFileSize = new QCheckBox(Tr("File size:"), this);
  cbFileSize->setChecked(f.fSearchBySize);
  cbSizeCompare = new QComboBox(this);
  cbSizeCompare->addItems({Tr("equal"), Tr("larger than"), Tr("less than")});
  cbSizeCompare->setCurrentIndex(f.fSizeCondition);
  nbFileSize = new QDoubleSpinBox(this);
  nbFileSize->setDecimals(0);
  nbFileSize->setRange(0, 999999986991104.0);
  nbFileSize->setValue(static_cast<double>(f.fFileSize));
  cbSizeMeasure = new QComboBox(this);
  cbSizeMeasure->addItems({Tr("B"), Tr("KB"), Tr("MB"), Tr("GB")});
  cbSizeMeasure->setCurrentIndex(f.fSizeMeasure);
  grid->addWidget(cbFileSize, row, 0);
  grid->addWidget(cbSizeCompare, row, 1);
  grid->addWidget(nbFileSize, row, 2);
  grid->addWidget(cbSizeMeasure, row++, 3);

  cbDupGroup = new QCheckBox(Tr("Dup. group:"), this);
  cbDupGroup->setChecked(f.fSearchByDupGroup);
  edtDupGroupPattern = new QLineEdit(QString::fromStdString(f.fDupGroupPattern), this);
  // Digits, "," and "-" only; a paste of anything else loses the other characters.
  edtDupGroupPattern->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9,-]*")), this));
  lDupGroupHint = new QLabel(Tr("Use symbol \",\" to separate groups and \"-\" to set a groups range."), this);
  lDupGroupHint->setEnabled(false);
  grid->addWidget(cbDupGroup, row, 0);
  grid->addWidget(edtDupGroupPattern, row++, 1, 1, 3);
  grid->addWidget(lDupGroupHint, row++, 1, 1, 3);

  btnSearch = new QPushButton(Tr("Search"), this);
  btnSearch->setObjectName(QStringLiteral("btnSearch"));
  btnCancel = new QPushButton(Tr("Cancel"), this);
  btnCancel->setObjectName(QStringLiteral("btnCancel"));
  btnFilter = new QPushButton(Tr("Filter Duplicate List"), this);
  btnFilter->setObjectName(QStringLiteral("btnFilter"));
  btnFilter->setDefault(true);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(btnSearch);
  buttons->addStretch();
  buttons->addWidget(btnFilter);
  buttons->addWidget(btnCancel);

  auto* col = new QVBoxLayout(this);
  col->addLayout(grid);
  col->addSpacing(8);
  col->addLayout(buttons);

  for (QCheckBox* c : {cbFileDate, cbFileSize, cbDupGroup}) connect(c, &QCheckBox::toggled, this, &TfmSearchFilterDlg::EnableControls);
  connect(btnSearch, &QPushButton::clicked, this, &TfmSearchFilterDlg::SearchClick);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(btnFilter, &QPushButton::clicked, this, [this] {
    TakeOverControls();
    accept();
  });
  EnableControls();
}

void TfmSearchFilterDlg::EnableControls() {
  ceStartDate->setEnabled(cbFileDate->isChecked());
  ceEndDate->setEnabled(cbFileDate->isChecked());
  for (QWidget* w : std::initializer_list<QWidget*>{cbSizeCompare, nbFileSize, cbSizeMeasure}) w->setEnabled(cbFileSize->isChecked());
  edtDupGroupPattern->setEnabled(cbDupGroup->isChecked());
  lDupGroupHint->setVisible(cbDupGroup->isChecked());
}

void TfmSearchFilterDlg::TakeOverControls() {
  TSearchFilterFiles f = SearchFilterFiles;
  std::string pattern = edtFileNamePattern->text().trimmed().toStdString();
  if (pattern.empty()) pattern = "*";
  edtFileNamePattern->setText(QString::fromStdString(pattern));
  f.fFileNamePattern = pattern;
  f.fSearchByDate = cbFileDate->isChecked();
  f.fStartDate = FromQDate(ceStartDate->date());
  f.fEndDate = FromQDate(ceEndDate->date());
  f.fSearchBySize = cbFileSize->isChecked();
  f.fSizeCondition = static_cast<TSizeSearchCondition>(cbSizeCompare->currentIndex());
  f.fFileSize = static_cast<std::int64_t>(nbFileSize->value());
  f.fSizeMeasure = static_cast<TSizeSearchMeathure>(cbSizeMeasure->currentIndex());
  f.fSearchByDupGroup = cbDupGroup->isChecked();
  f.SetDupGroupPattern(edtDupGroupPattern->text().toStdString());
  edtDupGroupPattern->setText(QString::fromStdString(f.fDupGroupPattern));
  if (!SameCriteria(f, SearchFilterFiles)) FLastSearchPosition = 0;
  SearchFilterFiles = f;
}

void TfmSearchFilterDlg::SearchClick() {
  TakeOverControls();
  if (!FOnSearchButtonClick) return;
  while (!FOnSearchButtonClick(FLastSearchPosition)) {
    if (!GetUserPrompt().Confirm(TranslateText("Search Match Not Found.") + "\r\n" +
                                 TranslateText("Restart search from the beginning of the Duplicate List?")))
      return;
    FLastSearchPosition = 0;
  }
}

}  // namespace pelcrow::ui
