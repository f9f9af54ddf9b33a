// The main window's side of processing, export and the resolve assistant: the buttons that
// start them and what the commands may switch on and off while they run.
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalBlocker>
#include <QCheckBox>
#include <QTimer>
#include <QToolButton>

#include "engine/ResultColumns.h"
#include "ui/ResultsPanel.h"
#include "ui/ExportCommands.h"
#include "ui/MainWindow.h"

#include "ui/PreviewPanel.h"
#include "ui/ScanModes.h"
#include "ui/UiText.h"

namespace pelcrow::ui {

void TfmMain::ConnectProcessing() {
  fProcessing = std::make_unique<TProcessingController>(*this);
  fExport = std::make_unique<TExportCommand>();
  connect(bProcessSelection, &QPushButton::clicked, this, [this] { fProcessing->ShowProcessingMenu(bProcessSelection); });
  connect(btnUndo, &QToolButton::clicked, this, [this] { fProcessing->RunUndoLastAction(); });
  connect(bResolveWizard, &QPushButton::clicked, this, [this] { LaunchResolveWizard(); });
  connect(bExport, &QPushButton::clicked, this, [this] {
    QMenu* menu = fExport->BuildMenu(bExport, [this](TExportFormat f) { RunDeferred([this, f] { RunExport(f); }); });
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(bExport->mapToGlobal(QPoint(0, 0)) - QPoint(0, menu->sizeHint().height()));
  });
}

void TfmMain::UpdateProcessingControls(bool rows) {
  for (QWidget* w : std::initializer_list<QWidget*>{bExport, bProcessSelection, bResolveWizard}) {
    w->setEnabled(rows && !fDisabledUI);
    w->setToolTip(QString());
  }
  if (!IsFileMode()) bResolveWizard->setEnabled(false);
  fProcessing->UpdateUndoButton();
}

void TfmMain::RunDeleteFocused() { fProcessing->RunDeleteFocused(FocusedRow()); }

void TfmMain::LaunchResolveWizard() {
  RunTimer->stop();
  fProcessing->LaunchResolveWizard();
}

void TfmMain::RunExport(TExportFormat format) {
  if (fScanEngine->ItemCount() == 0) return;
  pelcrow::TExportInfo info;
  info.Info = fScan->LastScan().Info;
  info.Dirs = fScan->LastScan().Dirs;
  fExport->Run(format, this, *fScanEngine, ExportColumns(), info);
}

int TfmMain::FocusedRow() const { return fResults->FocusedRow(); }

// The grid's columns as shown, the music tag columns the user switched on included.
std::vector<int> TfmMain::ExportColumns() const { return fResults->Model()->Columns(); }

void TfmMain::BeginProcessing() {
  DisableUI();
  for (QWidget* w : std::initializer_list<QWidget*>{crbStart, crbClearResults, sgFileList, btnUndo}) w->setEnabled(false);
}

void TfmMain::EndProcessing() {
  EnableUI();
  UpdateStartButton();
  sgFileList->setEnabled(true);
  UpdateResultControls();
  PreviewPanel->ShowStatsChart(true);
  PreviewPanel->UpdatePreview();
}

void TfmMain::ShowProcessingProgress(int Percent, const QString& Text) {
  fScan->ShowProgress(Percent, Text);
}

void TfmMain::ProcessingSelectionChanged() {
  int selected = 0;
  int active = 0;
  edSelected->setText(QString::fromStdString(fScanEngine->GetSelectedInfo(selected, active)));
  const QSignalBlocker block(cbCheckAll);
  cbCheckAll->setChecked(active > 0 && active == selected);
}

// Undoing would change the items a list load is about to replace.
void TfmMain::SetUndoButtonEnabled(bool Enabled) { btnUndo->setEnabled(Enabled && !IsLoadingList()); }

}  // namespace pelcrow::ui
