#include "ui/FileMaskDialogs.h"

#include <QGridLayout>

#include <algorithm>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "base/UserPrompt.h"
#include "logging/Logger.h"
#include "ui/UiText.h"

namespace pelcrow::ui {
namespace {

// The preset names are stored in English with the list; they are shown in the user's language.
// A name the user wrote has no translation and is shown as written.
QString ShownEntry(const std::string& entry) {
  const std::size_t bar = entry.find(" | ");
  if (bar == std::string::npos) return QString::fromStdString(entry);
  return Tr(entry.substr(0, bar)) + QString::fromStdString(entry.substr(bar));
}

}  // namespace

// ------------------------------------------------------------------------------ editor

TfmMaskEditor::TfmMaskEditor(QWidget* parent, TMaskType maskType, const char* caption, const char* okText)
    : QDialog(parent), fMaskType(maskType), fCaption(caption), fOkText(okText) {
  setObjectName(QStringLiteral("fmMaskEditor"));
  auto* grid = new QGridLayout(this);
  lblMask = new QLabel(this);
  lblDescription = new QLabel(this);
  edMask = new QLineEdit(this);
  edMask->setObjectName(QStringLiteral("edMask"));
  edDescription = new QLineEdit(this);
  edDescription->setObjectName(QStringLiteral("edDescription"));
  edMask->setMinimumWidth(320);
  btnOK = new QPushButton(this);
  btnOK->setObjectName(QStringLiteral("btnOK"));
  btnOK->setDefault(true);
  btnCancel = new QPushButton(this);
  btnCancel->setObjectName(QStringLiteral("btnCancel"));
  grid->addWidget(lblMask, 0, 0);
  grid->addWidget(edMask, 0, 1);
  grid->addWidget(lblDescription, 1, 0);
  grid->addWidget(edDescription, 1, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(btnOK);
  buttons->addWidget(btnCancel);
  grid->addLayout(buttons, 2, 0, 1, 2);
  connect(btnOK, &QPushButton::clicked, this, &TfmMaskEditor::accept);
  connect(btnCancel, &QPushButton::clicked, this, &TfmMaskEditor::reject);
  GetLanguageController().AddToTranslateList(this);
}

TfmMaskEditor::~TfmMaskEditor() = default;

void TfmMaskEditor::Retranslate() {
  setWindowTitle(Tr(fCaption));
  lblMask->setText(Tr("Mask"));
  lblDescription->setText(Tr("Description"));
  btnOK->setText(Tr(fOkText));
  btnCancel->setText(Tr("Cancel"));
}

void TfmMaskEditor::SetFields(const std::string& mask, const std::string& description) {
  edMask->setText(QString::fromStdString(mask));
  edDescription->setText(QString::fromStdString(description));
}

std::string TfmMaskEditor::Mask() const { return edMask->text().toStdString(); }
std::string TfmMaskEditor::Description() const { return edDescription->text().toStdString(); }

void TfmMaskEditor::HideDescription() {
  lblDescription->hide();
  edDescription->hide();
}

void TfmMaskEditor::accept() {
  if (auto warning = ValidateEditorMask(fMaskType, Mask())) {
    GetUserPrompt().ShowMessage(TMessageKind::mkWarning, *warning);
    return;  // stays open
  }
  QDialog::accept();
}

// ------------------------------------------------------------------------------ selector

std::function<int(TfmMaskEditor&)> TfmFileMasks::RunEditor = [](TfmMaskEditor& editor) { return editor.exec(); };
std::function<int(TfmFileMasks&)> TfmFileMasks::RunDialog = [](TfmFileMasks& dialog) { return dialog.exec(); };

TfmFileMasks::TfmFileMasks(QWidget* parent, TMaskSelectorKind kind, const std::string& fieldText)
    : QDialog(parent), fModel(std::make_unique<TFileMaskSelectorModel>(kind, Settings, fieldText)) {
  setObjectName(QStringLiteral("fmFileMasks"));
  resize(760, 460);
  auto* layout = new QHBoxLayout(this);
  lbMasks = new QListWidget(this);
  lbMasks->setObjectName(QStringLiteral("lbMasks"));
  lbMasks->setAlternatingRowColors(true);
  layout->addWidget(lbMasks, 1);
  auto* side = new QVBoxLayout;
  auto button = [this, side](const char* name) {
    auto* b = new QPushButton(this);
    b->setObjectName(QString::fromLatin1(name));
    side->addWidget(b);
    return b;
  };
  btnAdd = button("btnAdd");
  btnEdit = button("btnEdit");
  btnDelete = button("btnDelete");
  btnDefaults = button("btnDefaults");
  side->addSpacing(10);
  btnSelectAll = button("btnSelectAll");
  btnUnselectAll = button("btnUnselectAll");
  btnReverse = button("btnReverse");
  side->addStretch();
  btnOK = button("btnOK");
  btnOK->setDefault(true);
  btnCancel = button("btnCancel");
  layout->addLayout(side);

  const bool music = fModel->SelectionButtonsVisible();
  btnSelectAll->setVisible(music);
  btnUnselectAll->setVisible(music);
  btnReverse->setVisible(music);
  btnAdd->setEnabled(fModel->ListEditable());
  btnEdit->setEnabled(fModel->ListEditable());
  btnDelete->setEnabled(fModel->ListEditable());

  connect(lbMasks, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
    if (fUpdating) return;
    const int row = lbMasks->row(item);
    fModel->SetChecked(static_cast<std::size_t>(row), item->checkState() == Qt::Checked);
    Reload(row);
  });
  connect(lbMasks, &QListWidget::itemDoubleClicked, this, [this] {
    if (fModel->ListEditable()) EditMask();
  });
  connect(btnAdd, &QPushButton::clicked, this, &TfmFileMasks::AddMask);
  connect(btnEdit, &QPushButton::clicked, this, &TfmFileMasks::EditMask);
  connect(btnDelete, &QPushButton::clicked, this, &TfmFileMasks::DeleteMask);
  connect(btnDefaults, &QPushButton::clicked, this, [this] {
    fModel->RestoreDefaults();
    Reload(lbMasks->currentRow());
  });
  connect(btnSelectAll, &QPushButton::clicked, this, [this] {
    fModel->SelectAll();
    Reload(lbMasks->currentRow());
  });
  connect(btnUnselectAll, &QPushButton::clicked, this, [this] {
    fModel->UnselectAll();
    Reload(lbMasks->currentRow());
  });
  connect(btnReverse, &QPushButton::clicked, this, [this] {
    fModel->ReverseSelection();
    Reload(lbMasks->currentRow());
  });
  connect(btnOK, &QPushButton::clicked, this, &TfmFileMasks::accept);
  connect(btnCancel, &QPushButton::clicked, this, &TfmFileMasks::reject);
  Reload(0);
  GetLanguageController().AddToTranslateList(this);
}

TfmFileMasks::~TfmFileMasks() = default;

void TfmFileMasks::Retranslate() {
  setWindowTitle(Tr(fModel->Caption()));
  btnAdd->setText(Tr("Add mask"));
  btnEdit->setText(Tr("Edit"));
  btnDelete->setText(Tr("Delete"));
  btnDefaults->setText(Tr("Restore Defaults"));
  btnSelectAll->setText(Tr(" Select all "));
  btnUnselectAll->setText(Tr(" Unselect all "));
  btnReverse->setText(Tr(" Reverse selection "));
  btnOK->setText(Tr("OK"));
  btnCancel->setText(Tr("Cancel"));
  Reload(lbMasks->currentRow());
}

void TfmFileMasks::Reload(int current) {
  fUpdating = true;
  lbMasks->clear();
  for (std::size_t i = 0; i < fModel->Count(); ++i) {
    auto* item = new QListWidgetItem(ShownEntry(fModel->Entry(i)), lbMasks);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(fModel->Checked(i) ? Qt::Checked : Qt::Unchecked);
    item->setToolTip(QString::fromStdString(fModel->Patterns(i)));
  }
  if (lbMasks->count() > 0) lbMasks->setCurrentRow(std::clamp(current, 0, lbMasks->count() - 1));
  fUpdating = false;
  UpdateButtons();
}

void TfmFileMasks::UpdateButtons() { btnOK->setEnabled(fModel->OkEnabled()); }

void TfmFileMasks::AddMask() {
  TfmMaskEditor editor(this, mtFileMask, kAddFileMaskCaption, kAddFileMaskOkText);
  if (RunEditor(editor) != QDialog::Accepted) return;
  if (fModel->AddMask(editor.Mask(), editor.Description())) Reload(static_cast<int>(fModel->Count()) - 1);
}

void TfmFileMasks::EditMask() {
  const int row = lbMasks->currentRow();
  if (row < 0) return;
  TfmMaskEditor editor(this, mtFileMask, kEditFileMaskCaption, kEditFileMaskOkText);
  const TMaskEntryParts parts = fModel->EditFields(static_cast<std::size_t>(row));
  editor.SetFields(parts.Patterns, parts.Description);
  if (RunEditor(editor) != QDialog::Accepted) return;
  if (fModel->EditMask(static_cast<std::size_t>(row), editor.Mask(), editor.Description())) Reload(row);
}

void TfmFileMasks::DeleteMask() {
  const int row = lbMasks->currentRow();
  if (row < 0) return;
  if (fModel->DeleteMask(static_cast<std::size_t>(row))) Reload(row);
}

void TfmFileMasks::accept() {
  if (!fModel->OkEnabled()) return;
  if (fModel->StoreList(Settings)) {
    try {
      Settings.SaveSettings();
    } catch (const std::exception& e) {
      WriteLog(e.what(), lsvError);
    }
  }
  QDialog::accept();
}

std::string TfmFileMasks::Execute(QWidget* parent, TMaskSelectorKind kind, const std::string& fieldText) {
  TfmFileMasks dlg(parent, kind, fieldText);
  const bool accepted = RunDialog(dlg) == QDialog::Accepted;
  return dlg.Model().FieldTextOnClose(accepted);
}

}  // namespace pelcrow::ui
