// The processing commands of the main window: delete, move, rename, replace with links, the
// single delete of the focused row, undo, and the resolve assistant that drives them with stored
// options. The controller owns the action history of the result set; the window lends it its
// controls through IProcessingHost.
#pragma once

#include <QElapsedTimer>
#include <QString>

#include <functional>
#include <optional>
#include <string>

#include "engine/Processing.h"
#include "plugins/PluginTypes.h"
#include "engine/UndoProgress.h"

class QMenu;
class QWidget;

namespace pelcrow::ui {

class IProcessingHost {
 public:
  virtual ~IProcessingHost() = default;
  virtual TScanEngine& ProcessingEngine() = 0;
  // The grid as the engine's selection rules see it.
  virtual IScanView* ProcessingGrid() = 0;
  virtual QWidget* ProcessingParent() = 0;
  // Everything that could start a second operation or scan goes off, and back on.
  virtual void BeginProcessing() = 0;
  virtual void EndProcessing() = 0;
  // The progress bar and the wait text; an empty text hides it.
  virtual void ShowProcessingProgress(int Percent, const QString& Text) = 0;
  virtual void ProcessingRowChanged(int Row) = 0;
  virtual void ProcessingRefreshGrid() = 0;
  // The selected-items text and the check-all box.
  virtual void ProcessingSelectionChanged() = 0;
  virtual void SetUndoButtonEnabled(bool Enabled) = 0;
  // The remembered move folder (empty: none).
  virtual std::string& ProcessingPathToMove() = 0;
  // Runs the action after the menu has closed (the window's 100 ms timer).
  virtual void DeferProcessing(std::function<void()> Action) = 0;
};

// What the assistant chose: which copy to keep and what to do with the others.
enum TResolveSelect : std::uint8_t { rsOldest, rsNewest, rsOriginal };
enum TResolveMethod : std::uint8_t { rmRemove, rmMove, rmRename, rmLinks };

class TProcessingController final : public IProcessingProgress, public IUndoProgress {
 public:
  explicit TProcessingController(IProcessingHost& Host);
  ~TProcessingController() override;

  void RunDeleteSelected();
  void RunMoveSelected();
  void RunRenameSelected();
  void RunReplaceWithLinks();
  // Hard links (Clone false) or copy-on-write clones of the kept copies take the checked files'
  // names; a file system that cannot do it leaves the file with the reason in the report.
  void RunReplaceWithShared(bool Clone);
  void RunDeleteFocused(int Row);
  // Contacts: each group into the contact that stays, with the addresses whose boxes are checked.
  void RunMergeContacts();
  // The last action of these results; with none, the newest one of an earlier run.
  void RunUndoLastAction();
  void RunUndoEarlierAction();
  void LaunchResolveWizard();
  // Selects by the choice and runs the operation with the options stored in the settings, as
  // the assistant does after its OK.
  void Resolve(TResolveSelect Select, TResolveMethod Method);

  // "Selection Processing": the items of the current mode; a choice runs deferred.
  QMenu* BuildProcessingMenu(QWidget* Parent);
  void ShowProcessingMenu(QWidget* Button);

  // With the results and after the resolved rows are cleaned out.
  void ClearHistory();
  void UpdateUndoButton();
  const TActionHistory& History() const { return fHistory; }
  bool Running() const { return fRunning; }

  // IProcessingProgress
  void ShowProgress(int Percent, const std::string& Text) override;
  void RowChanged(int Row) override;
  void ProcessMessages() override;
  // IUndoProgress
  void ShowUndoProgress(const std::string& WaitText, int Percent) override;
  void SetUndoEnabled(bool Enabled) override;
  void HideUndoProgress() override;

 private:
  class TRunGuard;
  // The passes with the failure report's Retry, then the empty folders.
  void RunPasses(const TProcessingOptions& Options);
  bool FileMode() const;
  bool MailMode() const;
  bool ContactsMode() const;
  bool PhotoMode() const;
  void RunPhotoPass();
  // The first failures of a store pass with their reasons, for the one message after it.
  class TFailureList {
   public:
    void Note(const std::string& Label, const TItemOutcome& Outcome);
    const std::string& Text() const { return fText; }

   private:
    std::string fText;
    int fListed = 0;
  };
  void SayFailures(const TPassResult& Result, const char* Counts, const TFailureList& Failures);
  void RunContactPass(bool Merge);
  // Mail modes: the checked messages (or the one row) into the store's trash or into Destination.
  void RunMailPass(bool Move, const TOlFolder& Destination, int OnlyRow);
  // A folder of the store for the move; nullopt when the user cancelled.
  std::optional<TOlFolder> ChooseMailFolder();

  IProcessingHost& fHost;
  TActionHistory fHistory;
  // The newest action of an earlier run that the journal can still undo (after a restart the
  // result list is gone, the journal is not). Read at start and after each undo of it.
  std::optional<TJournalAction> fEarlier;
  TDateTime fStarted;
  void RefreshEarlierAction();
  // The assistant drives the operation: no dialog, options from the settings.
  bool fLRW_Mode = false;
  bool fRunning = false;
  QElapsedTimer fLastPM;
};

}  // namespace pelcrow::ui
