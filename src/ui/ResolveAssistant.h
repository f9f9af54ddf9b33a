// The resolve assistant: which copy of each group to keep, what to do with the others, and that
// action's options, in three steps. The options go into the settings on OK; the window then
// selects and runs the operation without its own dialog.
#pragma once

#include <QDialog>

#include "engine/ScanEngine.h"
#include "ui/ProcessingCommands.h"

class QHBoxLayout;
class QLabel;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QToolButton;

namespace pelcrow::ui {

class TMoveOptions;
class TRenameOptions;

class TfmDuplicatesResolveWizard final : public QDialog {
  Q_OBJECT

 public:
  TfmDuplicatesResolveWizard(TScanEngine& Engine, QWidget* parent = nullptr);
  TResolveSelect SelectMethod() const { return FSelectMethod; }
  TResolveMethod ResolveMethod() const { return FResolveMethod; }
  // 1, 2 or 3.
  int Step() const;

  QLabel* lbStep;
  QLabel* lbStepCaption;
  QToolButton* tileNewest;
  QToolButton* tileOldest;
  QToolButton* tileOriginal;
  QToolButton* tileRemove;
  QToolButton* tileRename;
  QToolButton* tileMove;
  QToolButton* tileLinks;
  QToolButton* bBack;
  QToolButton* bClose;
  QLabel* lbSummary;
  QWidget* ltRemoveOptions;
  QRadioButton* rbMoveToRecycleBin;
  QRadioButton* rbDeletePermanently;
  QWidget* ltMoveOptions;
  TMoveOptions* MoveOptions;
  TRenameOptions* RenameOptions;
  QPushButton* bStartOver;
  QPushButton* bGetStarted;

 private:
  QHBoxLayout* BuildHeader();
  void BuildTileSteps();
  QWidget* BuildOptionsStep();
  // The move, rename and delete options as stored.
  void LoadStoredOptions();
  void ConnectTiles();
  void ShowStep(int step);
  void ChooseSelect(TResolveSelect method, QToolButton* tile);
  void ChooseResolve(TResolveMethod method, QToolButton* tile);
  void GetStarted();

  TScanEngine& fEngine;
  TResolveSelect FSelectMethod = rsOldest;
  TResolveMethod FResolveMethod = rmRemove;
  QString txtSelectMethod;
  QString txtResolveMethod;
  QStackedWidget* fSteps;
  QStackedWidget* fOptions;
};

}  // namespace pelcrow::ui
