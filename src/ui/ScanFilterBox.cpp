#include "ui/ScanFilterBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "base/UserPrompt.h"
#include "settings/FileMasks.h"
#include "settings/UserState.h"
#include "ui/FileMaskDialogs.h"
#include "ui/ScanModes.h"
#include "ui/UiText.h"

namespace pelcrow::ui {

TScanFilterBox::TScanFilterBox(QWidget* parent) : QWidget(parent) {
  lIncFileTypes = new QLabel(this);
  lExcFileTypes = new QLabel(this);
  edIncFileTypes = new QLineEdit(this);
  edIncFileTypes->setObjectName(QStringLiteral("edIncFileTypes"));
  edExcFileTypes = new QLineEdit(this);
  edExcFileTypes->setObjectName(QStringLiteral("edExcFileTypes"));
  bIncFileTypes = new QPushButton(this);
  bIncFileTypes->setObjectName(QStringLiteral("bIncFileTypes"));
  bExcFileTypes = new QPushButton(this);
  bExcFileTypes->setObjectName(QStringLiteral("bExcFileTypes"));
  BuildSizeRow(chkMinSize, nbMinSize, cbMinSize, "chkMinSize", "nbMinSize", "cbMinSize");
  BuildSizeRow(chkMaxSize, nbMaxSize, cbMaxSize, "chkMaxSize", "nbMaxSize", "cbMaxSize");
  Arrange();

  connect(edIncFileTypes, &QLineEdit::textEdited, this, [this] { MaskEdited(edIncFileTypes); });
  connect(edExcFileTypes, &QLineEdit::textEdited, this, [this] { MaskEdited(edExcFileTypes); });
  connect(bIncFileTypes, &QPushButton::clicked, this, &TScanFilterBox::IncFileTypesClick);
  connect(bExcFileTypes, &QPushButton::clicked, this, &TScanFilterBox::ExcFileTypesClick);
  connect(chkMinSize, &QCheckBox::toggled, this, &TScanFilterBox::UpdateSizeControls);
  connect(chkMaxSize, &QCheckBox::toggled, this, &TScanFilterBox::UpdateSizeControls);
}

void TScanFilterBox::BuildSizeRow(QCheckBox*& check, QDoubleSpinBox*& value, QComboBox*& unit, const char* checkName,
                                  const char* valueName, const char* unitName) {
  check = new QCheckBox(this);
  check->setObjectName(QString::fromLatin1(checkName));
  check->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  value = new QDoubleSpinBox(this);
  value->setObjectName(QString::fromLatin1(valueName));
  value->setDecimals(0);
  value->setRange(0, 999999986991104.0);
  value->setSingleStep(1);
  value->setMinimumWidth(56);
  value->setAlignment(Qt::AlignRight);
  value->setEnabled(false);
  value->setProperty(kStatusHintProperty, QByteArray("Hold left button and scroll up/down to change value"));
  unit = new QComboBox(this);
  unit->setObjectName(QString::fromLatin1(unitName));
  for (const char* name : {"B", "KB", "MB", "GB"}) unit->addItem(QString::fromLatin1(name));
  unit->setCurrentIndex(1);
  unit->setEnabled(false);
}

// Two rows: a mask with its selector, then its size limit beside it, so that the box needs no
// third row in a low window.
void TScanFilterBox::Arrange() {
  auto* filters = new QGridLayout(this);
  filters->setContentsMargins(0, 0, 0, 0);
  filters->setHorizontalSpacing(6);
  // The rows sit close under the lists; the fields' own frames keep them apart.
  filters->setVerticalSpacing(0);
  filters->addWidget(lIncFileTypes, 0, 0);
  filters->addWidget(edIncFileTypes, 0, 1);
  filters->addWidget(bIncFileTypes, 0, 2);
  filters->addWidget(lExcFileTypes, 1, 0);
  filters->addWidget(edExcFileTypes, 1, 1);
  filters->addWidget(bExcFileTypes, 1, 2);
  filters->setColumnMinimumWidth(3, 6);
  filters->addWidget(chkMinSize, 0, 4);
  filters->addWidget(nbMinSize, 0, 5);
  filters->addWidget(cbMinSize, 0, 6);
  filters->addWidget(chkMaxSize, 1, 4);
  filters->addWidget(nbMaxSize, 1, 5);
  filters->addWidget(cbMaxSize, 1, 6);
  filters->setColumnStretch(1, 1);
}

void TScanFilterBox::Retranslate() {
  lIncFileTypes->setText(Tr("Include:"));
  lExcFileTypes->setText(Tr("Exclude:"));
  bIncFileTypes->setText(Tr("File Types"));
  bExcFileTypes->setText(Tr("File Types"));
  chkMinSize->setText(Tr("Min File Size"));
  chkMaxSize->setText(Tr("Max File Size"));
  for (QDoubleSpinBox* nb : {nbMinSize, nbMaxSize}) {
    nb->setToolTip(Tr("Hold left button and scroll up/down to change value"));
  }
}

void TScanFilterBox::ApplyMode() {
  for (QWidget* w : std::initializer_list<QWidget*>{chkMinSize, chkMaxSize, lIncFileTypes, lExcFileTypes,
                                                    edIncFileTypes, edExcFileTypes, bIncFileTypes, bExcFileTypes}) {
    w->setEnabled(IsFileMode() && !fBusy);
  }
  UpdateSizeControls();
  edIncFileTypes->setReadOnly(IsMusicMode());
  edExcFileTypes->setReadOnly(IsMusicMode());
}

void TScanFilterBox::SetBusy(bool busy) {
  fBusy = busy;
  if (!busy) {
    ApplyMode();
    return;
  }
  // The labels keep their look: only what takes input is locked.
  for (QWidget* w : std::initializer_list<QWidget*>{edIncFileTypes, edExcFileTypes, bIncFileTypes, bExcFileTypes,
                                                    chkMinSize, chkMaxSize}) {
    w->setEnabled(false);
  }
  UpdateSizeControls();
}

std::string TScanFilterBox::IncludeMasks() const { return edIncFileTypes->text().toStdString(); }
std::string TScanFilterBox::ExcludeMasks() const { return edExcFileTypes->text().toStdString(); }
void TScanFilterBox::SetIncludeMasks(const std::string& text) { edIncFileTypes->setText(QString::fromStdString(text)); }
void TScanFilterBox::SetExcludeMasks(const std::string& text) { edExcFileTypes->setText(QString::fromStdString(text)); }

void TScanFilterBox::FillEmptyIncludeMask() {
  if (!edIncFileTypes->text().trimmed().isEmpty()) return;
  SetIncludeMasks(IsMusicMode() ? DefaultMusicMaskField() : std::string(kDefaultIncludeMaskField));
}

TSizeLimitFields TScanFilterBox::Limits() const {
  return {chkMinSize->isChecked(), chkMaxSize->isChecked(), nbMinSize->value(),
          nbMaxSize->value(),      cbMinSize->currentIndex(), cbMaxSize->currentIndex()};
}

void TScanFilterBox::SetLimits(const TSizeLimitFields& limits) {
  chkMinSize->setChecked(limits.CheckMin);
  chkMaxSize->setChecked(limits.CheckMax);
  nbMinSize->setValue(limits.MinValue);
  nbMaxSize->setValue(limits.MaxValue);
  cbMinSize->setCurrentIndex(limits.MinUnit);
  cbMaxSize->setCurrentIndex(limits.MaxUnit);
  UpdateSizeControls();
}

std::int64_t TScanFilterBox::MinBytes() const {
  return chkMinSize->isChecked() ? SizeLimitBytes(nbMinSize->value(), cbMinSize->currentIndex()) : 0;
}

std::int64_t TScanFilterBox::MaxBytes() const {
  return chkMaxSize->isChecked() ? SizeLimitBytes(nbMaxSize->value(), cbMaxSize->currentIndex()) : 0;
}

// A forbidden symbol is taken out again at once, and the message lists every symbol to avoid.
void TScanFilterBox::MaskEdited(QLineEdit* edit) {
  std::string text = edit->text().toStdString();
  const std::string bad = FindForbiddenMaskChars(mtFileMask, text);
  if (bad.empty()) return;
  std::string all;
  for (int c = 1; c < 256; ++c)
    if (IsForbiddenMaskChar(mtFileMask, static_cast<unsigned char>(c)) && c >= 0x20 && c != 0x7f) all.push_back(static_cast<char>(c));
  GetUserPrompt().ShowMessage(TMessageKind::mkWarning, TranslateText("The following symbols are invalid for the mask:") +
                                                           " " + ForbiddenMaskCharsDisplay(all));
  const std::size_t last = text.find_last_of(bad);
  if (last != std::string::npos) text.erase(last, 1);
  edit->setText(QString::fromStdString(text));
}

void TScanFilterBox::IncFileTypesClick() {
  const std::string field = IncludeMasks();
  const std::string result = TfmFileMasks::Execute(window(), TMaskSelectorKind::mskInclude, field);
  SetIncludeMasks(IncludeFieldAfterSelector(field, result, IsMusicMode()));
}

void TScanFilterBox::ExcFileTypesClick() {
  const std::string field = ExcludeMasks();
  const std::string result = TfmFileMasks::Execute(window(), TMaskSelectorKind::mskExclude, field);
  SetExcludeMasks(ExcludeFieldAfterSelector(field, result));
}

void TScanFilterBox::UpdateSizeControls() {
  const bool on = IsFileMode() && !fBusy;
  nbMinSize->setEnabled(on && chkMinSize->isChecked());
  cbMinSize->setEnabled(on && chkMinSize->isChecked());
  nbMaxSize->setEnabled(on && chkMaxSize->isChecked());
  cbMaxSize->setEnabled(on && chkMaxSize->isChecked());
}

}  // namespace pelcrow::ui
