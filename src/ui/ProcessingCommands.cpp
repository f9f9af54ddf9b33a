#include "ui/ProcessingCommands.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDialog>
#include <QInputDialog>
#include <QMenu>
#include <QWidget>

#include <exception>

#include "base/CountText.h"
#include "base/UserPrompt.h"
#include "engine/ItemFlags.h"
#include "engine/ContactProcessing.h"
#include "engine/MailProcessing.h"
#include "engine/PhotoProcessing.h"
#include "engine/SafetyLock.h"
#include "logging/Logger.h"
#include "ui/ProcessingDialogs.h"
#include "ui/ResolveAssistant.h"
#include "ui/UiText.h"

namespace pelcrow::ui {

// The window goes off for the operation and comes back whatever happens, with the grid, the
// selected-items text and the Undo button brought up to date.
class TProcessingController::TRunGuard {
 public:
  explicit TRunGuard(TProcessingController& c) : fC(c) {
    fC.fRunning = true;
    fC.fHost.BeginProcessing();
  }
  ~TRunGuard() {
    fC.fHost.ShowProcessingProgress(0, QString());
    fC.fHost.EndProcessing();
    fC.fHost.ProcessingRefreshGrid();
    fC.fHost.ProcessingSelectionChanged();
    fC.fRunning = false;
    fC.UpdateUndoButton();
  }
  TRunGuard(const TRunGuard&) = delete;
  TRunGuard& operator=(const TRunGuard&) = delete;

 private:
  TProcessingController& fC;
};

TProcessingController::TProcessingController(IProcessingHost& Host) : fHost(Host), fStarted(TDateTime::Now()) {
  RefreshEarlierAction();
}

void TProcessingController::RefreshEarlierAction() {
  try {
    fEarlier = LastJournalAction(fStarted);
  } catch (const std::exception& e) {
    fEarlier.reset();
    WriteLog(e.what(), lsvError);
  }
}

TProcessingController::~TProcessingController() = default;

bool TProcessingController::FileMode() const { return IsFileComparisonMode(fHost.ProcessingEngine().CompareMode()); }
bool TProcessingController::MailMode() const { return fHost.ProcessingEngine().CompareMode() == cmEmails; }
bool TProcessingController::PhotoMode() const { return fHost.ProcessingEngine().CompareMode() == cmPhotoLibrary; }
bool TProcessingController::ContactsMode() const { return fHost.ProcessingEngine().CompareMode() == cmContacts; }

// ------------------------------------------------------------------ the common frame

void TProcessingController::RunPasses(const TProcessingOptions& Options) {
  TProcessingRun run(fHost.ProcessingEngine(), fHistory, Options, this);
  fHost.ShowProcessingProgress(0, QString::fromStdString(run.ProgressText()));
  fLastPM.invalidate();
  ProcessMessages();
  try {
    for (;;) {
      const TPassResult r = run.RunPass();
      if (r.Failed < 1) break;
      fHost.ShowProcessingProgress(0, QString());
      if (!ShowFailureReport(fHost.ProcessingParent(), run.FailureHead(r), run.LogEventKind())) break;
      run.SetLogEvents(Settings.LogEvents);
      fHost.ShowProcessingProgress(0, QString::fromStdString(run.ProgressText()));
    }
    if (Options.Operation == poDelete || Options.Operation == poMove) run.RemoveEmptyFolders();
  } catch (const std::exception& e) {
    WriteLog(e.what(), lsvError);
    GetUserPrompt().ShowMessage(TMessageKind::mkError, e.what());
  }
}

void TProcessingController::RunDeleteSelected() {
  if (fRunning) return;
  TScanEngine& engine = fHost.ProcessingEngine();
  // The stores' passes: no override of the safety lock, one question.
  if (MailMode() || ContactsMode() || PhotoMode()) {
    if (!HasPendingSelection(engine) || !CheckSelectionProtection(engine, false, SafetyLockOptionsFor(Settings))) return;
    if (!GetUserPrompt().Confirm(TranslateText("Do you really want to delete all selected items?"))) return;
    if (MailMode()) {
      RunMailPass(false, {}, -1);
    } else if (PhotoMode()) {
      RunPhotoPass();
    } else {
      RunContactPass(false);
    }
    return;
  }
  if (!FileMode()) return;
  if (!HasPendingSelection(engine) || !CheckSelectionProtection(engine, true, SafetyLockOptionsFor(Settings))) return;
  TRunGuard guard(*this);
  TProcessingOptions o = ProcessingOptionsOf(Settings);
  o.Operation = poDelete;
  if (fLRW_Mode) {
    o.Permanent = !Settings.DupDeleteMoveToTrash;
  } else {
    TfmDelete dlg(fHost.ProcessingParent());
    if (dlg.exec() != QDialog::Accepted) return;
    o.Permanent = dlg.Permanent();
  }
  RunPasses(o);
}

void TProcessingController::RunMoveSelected() {
  if (fRunning) return;
  TScanEngine& engine = fHost.ProcessingEngine();
  if (MailMode()) {
    if (!HasPendingSelection(engine) || !CheckSelectionProtection(engine, false, SafetyLockOptionsFor(Settings))) return;
    if (const std::optional<TOlFolder> folder = ChooseMailFolder()) RunMailPass(true, *folder, -1);
    return;
  }
  if (!FileMode()) return;
  if (!HasPendingSelection(engine) || !CheckSelectionProtection(engine, true, SafetyLockOptionsFor(Settings))) return;
  TRunGuard guard(*this);
  TProcessingOptions o = ProcessingOptionsOf(Settings);
  o.Operation = poMove;
  if (fLRW_Mode) {
    o.MoveFolder = Settings.DupMovePathToMove.empty() ? DefaultMoveFolder() : Settings.DupMovePathToMove;
    o.KeepFolderStructure = Settings.DupMoveKeepFolderStructure;
    if (!ValidateMoveFolder(PathText(o.MoveFolder))) return;
  } else {
    TfmMove dlg(fHost.ProcessingParent());
    std::string& remembered = fHost.ProcessingPathToMove();
    dlg.Options->SetFolder(PathText(remembered.empty() ? DefaultMoveFolder() : remembered));
    dlg.Options->OnBrowsed = [&remembered](const std::string& folder) { remembered = folder; };
    if (dlg.exec() != QDialog::Accepted) return;
    o.MoveFolder = PathBytes(dlg.Options->Folder());
    o.KeepFolderStructure = dlg.Options->chkKFS->isChecked();
  }
  RunPasses(o);
}

void TProcessingController::RunRenameSelected() {
  if (fRunning || !FileMode()) return;
  TScanEngine& engine = fHost.ProcessingEngine();
  if (!HasPendingSelection(engine) || !CheckSelectionProtection(engine, true, SafetyLockOptionsFor(Settings))) return;
  TRunGuard guard(*this);
  TProcessingOptions o = ProcessingOptionsOf(Settings);
  o.Operation = poRename;
  if (fLRW_Mode) {
    o.RenameText = Settings.DupRenamePrefixStr.empty() ? std::string("_Duplicate_") : Settings.DupRenamePrefixStr;
    o.RenamePrefix = Settings.DupRenameSetAsPrefix;
  } else {
    TfmRename dlg(fHost.ProcessingParent());
    if (dlg.exec() != QDialog::Accepted) return;
    o.RenameText = PathBytes(dlg.Options->Text());
    o.RenamePrefix = dlg.Options->Prefix();
  }
  RunPasses(o);
}

void TProcessingController::RunReplaceWithLinks() {
  if (fRunning || !FileMode()) return;
  TScanEngine& engine = fHost.ProcessingEngine();
  if (!HasPendingSelection(engine) || !CheckSelectionProtection(engine, false, SafetyLockOptionsFor(Settings))) return;
  TRunGuard guard(*this);
  if (!fLRW_Mode &&
      !GetUserPrompt().Confirm(
          TranslateText("Do you really want to replace selected files with symbolic links to original files?"))) {
    return;
  }
  TProcessingOptions o = ProcessingOptionsOf(Settings);
  o.Operation = poLink;
  RunPasses(o);
}

void TProcessingController::RunReplaceWithShared(bool Clone) {
  if (fRunning || !FileMode()) return;
  TScanEngine& engine = fHost.ProcessingEngine();
  if (!HasPendingSelection(engine) || !CheckSelectionProtection(engine, false, SafetyLockOptionsFor(Settings))) return;
  TRunGuard guard(*this);
  // A hard link is one file under two names: a later edit through either shows in both.
  const char* question =
      Clone ? "Do you really want to replace selected files with copy-on-write clones of the original files? Each copy "
              "keeps its name and takes no space of its own until one of them is changed."
            : "Do you really want to replace selected files with hard links to the original files? Both names then "
              "are one file: a change made through either name shows in both.";
  if (!fLRW_Mode && !GetUserPrompt().Confirm(TranslateText(question))) return;
  TProcessingOptions o = ProcessingOptionsOf(Settings);
  o.Operation = Clone ? poClone : poHardLink;
  RunPasses(o);
}

void TProcessingController::RunDeleteFocused(int Row) {
  if (fRunning) return;
  TScanEngine& engine = fHost.ProcessingEngine();
  if (!engine.ItemValid(Row)) return;
  PFileItem it = engine.Item(Row);
  if (it->fProcessed) return;
  const bool wasChecked = it->fSelected;
  SetFileSelected(it, true);
  fHost.ProcessingRowChanged(Row);
  // A master file the user would not check stays as it is.
  if (!it->fSelected) return;
  const auto restore = [&] {
    if (!it->fProcessed && it->fSelected != wasChecked) {
      SetFileSelected(it, wasChecked);
      fHost.ProcessingRowChanged(Row);
    }
  };
  if (!CheckItemProtection(engine, Row, SafetyLockOptionsFor(Settings))) {
    restore();
    return;
  }
  if (!FileMode()) {
    if (!GetUserPrompt().Confirm(TranslateText("Do you really want to delete the selected item?"))) {
      restore();
      return;
    }
    if (MailMode()) {
      RunMailPass(false, {}, Row);
      return;
    }
    // The contact and picture passes take every checked row: the others wait unchecked meanwhile.
    std::vector<PFileItem> others;
    for (int i = 0; i < engine.ItemCount(); ++i) {
      const PFileItem o = engine.Item(i);
      if (o == it || !o->fSelected || o->fProcessed) continue;
      SetFileSelected(o, false);
      others.push_back(o);
    }
    if (PhotoMode()) {
      RunPhotoPass();
    } else {
      RunContactPass(false);
    }
    for (PFileItem o : others)
      if (!o->fProcessed) SetFileSelected(o, true);
    fHost.ProcessingRefreshGrid();
    return;
  }
  TRunGuard guard(*this);
  TfmDelete dlg(fHost.ProcessingParent());
  if (dlg.exec() != QDialog::Accepted) {
    // No means the row is left as it was, not checked for the next "Delete Selected".
    restore();
    return;
  }
  TProcessingOptions o = ProcessingOptionsOf(Settings);
  o.Operation = poDelete;
  o.Permanent = dlg.Permanent();
  o.OnlyRow = Row;
  RunPasses(o);
}

void TProcessingController::RunUndoLastAction() {
  if (fRunning) return;
  TScanEngine& engine = fHost.ProcessingEngine();
  if (!UndoAvailable(engine, fHistory)) {
    RunUndoEarlierAction();
    return;
  }
  int count = 0;
  std::uint8_t type = kNoAction;
  engine.GetActionInfo(fHistory.fActionNo, count, type);
  const std::string action = UndoActionText(type, count);
  if (count == 0 || action.empty()) return;
  TRunGuard guard(*this);
  if (!GetUserPrompt().Confirm(TranslateText("You are about to UNDO the following action:") + "\n" + action + "\n\n" +
                               TranslateText("Do you want to proceed?"))) {
    return;
  }
  engine.SetUndoProgress(this);
  try {
    UndoLastAction(engine, fHistory, MediaLibSyncOptionsOf(Settings));
  } catch (const std::exception& e) {
    WriteLog(e.what(), lsvError);
    GetUserPrompt().ShowMessage(TMessageKind::mkError, e.what());
  }
  engine.SetUndoProgress(nullptr);
}

void TProcessingController::RunUndoEarlierAction() {
  if (fHistory.fActionNo != 0 || !fEarlier || !FileMode()) return;
  const std::string action = UndoActionText(fEarlier->ActionType, fEarlier->Undoable());
  if (action.empty()) return;
  TRunGuard guard(*this);
  if (!GetUserPrompt().Confirm(TranslateText("You are about to UNDO the following action:") + "\n" + action + "\n\n" +
                               TranslateText("Do you want to proceed?")))
    return;
  try {
    const TMediaLibSyncOptions libraries = MediaLibSyncOptionsOf(Settings);
    UndoFromJournal(*fEarlier, &libraries);
  } catch (const std::exception& e) {
    WriteLog(e.what(), lsvError);
    GetUserPrompt().ShowMessage(TMessageKind::mkError, e.what());
  }
  RefreshEarlierAction();
}

// ------------------------------------------------------------------ e-mails, contacts, pictures

// The store passes have no retry: their failures are said once, each with its reason.
void TProcessingController::TFailureList::Note(const std::string& Label, const TItemOutcome& Outcome) {
  if (Outcome.Ok || fListed >= 10) return;
  ++fListed;
  fText += "\n" + Label + ": " + Outcome.Reason;
}

void TProcessingController::SayFailures(const TPassResult& Result, const char* Counts, const TFailureList& Failures) {
  if (Result.Failed < 1) return;
  fHost.ShowProcessingProgress(0, QString());
  GetUserPrompt().ShowMessage(TMessageKind::mkWarning,
                              FormatCounts(TranslateText(Counts), {Result.Failed, Result.Total}) + "\n" + Failures.Text());
}

void TProcessingController::RunMailPass(bool Move, const TOlFolder& Destination, int OnlyRow) {
  TScanEngine& engine = fHost.ProcessingEngine();
  TRunGuard guard(*this);
  fHost.ShowProcessingProgress(0, Tr(Move ? "Moving files ..." : "Deleting files ..."));
  ProcessMessages();
  TMailActionOptions o;
  o.Move = Move;
  o.Destination = Destination;
  o.JournalExpireDays = Settings.UndoJournalDays;
  o.OnlyRow = OnlyRow;
  TFailureList failures;
  // The grid is refreshed as a whole when the guard ends.
  const TPassResult r = ProcessMailRows(engine, fHistory, o, [&](PFileItem it, const TItemOutcome& outcome) {
    ProcessMessages();
    failures.Note(it->Emails ? it->Emails->Subject : std::string(), outcome);
  });
  SayFailures(r, Move ? "%d of %d files were not moved." : "%d of %d files were not deleted.", failures);
}

void TProcessingController::RunMergeContacts() {
  if (fRunning || !ContactsMode()) return;
  TScanEngine& engine = fHost.ProcessingEngine();
  if (!HasPendingSelection(engine) || !CheckSelectionProtection(engine, false, SafetyLockOptionsFor(Settings))) return;
  if (!GetUserPrompt().Confirm(TranslateText("Do you really want to merge selected items?"))) return;
  RunContactPass(true);
}

void TProcessingController::RunContactPass(bool Merge) {
  TScanEngine& engine = fHost.ProcessingEngine();
  TRunGuard guard(*this);
  fHost.ShowProcessingProgress(0, Tr(Merge ? "Merging contacts ..." : "Deleting files ..."));
  ProcessMessages();
  TContactActionOptions o;
  o.Merge = Merge;
  o.JournalExpireDays = Settings.UndoJournalDays;
  TFailureList failures;
  const TPassResult r = ProcessContactRows(
      engine, fHistory, o, [&](PFileItem it, TContactStep, const TItemOutcome& outcome, const std::vector<std::string>&) {
        ProcessMessages();
        failures.Note(it->Name.str(), outcome);
      });
  SayFailures(r, "%d of %d items were not processed.", failures);
}

// Photo mode: the checked pictures into the library's trash (their files stay).
void TProcessingController::RunPhotoPass() {
  TScanEngine& engine = fHost.ProcessingEngine();
  TRunGuard guard(*this);
  fHost.ShowProcessingProgress(0, Tr("Deleting files ..."));
  ProcessMessages();
  TPhotoActionOptions o;
  o.JournalExpireDays = Settings.UndoJournalDays;
  TFailureList failures;
  const TPassResult r = ProcessPhotoRows(engine, fHistory, o, [&](PFileItem it, const TItemOutcome& outcome) {
    ProcessMessages();
    failures.Note(it->Name.str(), outcome);
  });
  SayFailures(r, "%d of %d files were not deleted.", failures);
}

std::optional<TOlFolder> TProcessingController::ChooseMailFolder() {
  IScanEnginePlugin* plugin = fHost.ProcessingEngine().ScannerPlugin();
  if (!plugin) return std::nullopt;
  TPluginFolderTree tree;
  std::vector<TOlFolder> folders;
  try {
    plugin->PopulateFolderTree(tree, folders);
  } catch (const std::exception& e) {
    GetUserPrompt().ShowMessage(TMessageKind::mkError, e.what());
    return std::nullopt;
  }
  // A node that only holds folders cannot take a message: offering it would fail every move.
  std::erase_if(folders, [](const TOlFolder& f) { return !f.CanStoreItems; });
  QStringList names;
  for (const TOlFolder& f : folders) names << PathText(f.FolderPath);
  if (names.isEmpty()) return std::nullopt;
  bool ok = false;
  const QString chosen = QInputDialog::getItem(fHost.ProcessingParent(), Tr("Move Selected to Specified Folder"),
                                               Tr("Select folder:"), names, 0, false, &ok);
  if (!ok) return std::nullopt;
  return folders[static_cast<std::size_t>(names.indexOf(chosen))];
}

// ------------------------------------------------------------------ the assistant

void TProcessingController::LaunchResolveWizard() {
  if (fRunning) return;
  TScanEngine& engine = fHost.ProcessingEngine();
  if (engine.ItemCount() == 0 || engine.CompareMode() > cmEmails) return;
  TfmDuplicatesResolveWizard wizard(engine, fHost.ProcessingParent());
  if (wizard.exec() != QDialog::Accepted) return;
  Resolve(wizard.SelectMethod(), wizard.ResolveMethod());
}

void TProcessingController::Resolve(TResolveSelect Select, TResolveMethod Method) {
  TScanEngine& engine = fHost.ProcessingEngine();
  IScanView* grid = fHost.ProcessingGrid();
  switch (Select) {
    case rsOldest: engine.AutoSelect(grid, smSelectAllLeaveOldest); break;
    case rsNewest: engine.AutoSelect(grid, smSelectAllLeaveNewest); break;
    case rsOriginal: break;
  }
  fHost.ProcessingRefreshGrid();
  fHost.ProcessingSelectionChanged();
  struct TMode {
    bool& Flag;
    explicit TMode(bool& f) : Flag(f) { Flag = true; }
    ~TMode() { Flag = false; }
  } mode(fLRW_Mode);
  switch (Method) {
    case rmRemove: RunDeleteSelected(); break;
    case rmMove: RunMoveSelected(); break;
    case rmRename: RunRenameSelected(); break;
    case rmLinks: RunReplaceWithLinks(); break;
  }
}

// ------------------------------------------------------------------ menu, history, progress

QMenu* TProcessingController::BuildProcessingMenu(QWidget* Parent) {
  auto* menu = new QMenu(Parent);
  menu->setObjectName(QStringLiteral("pmProcessing"));
  const std::uint8_t mode = fHost.ProcessingEngine().CompareMode();
  const bool fileMode = IsFileComparisonMode(mode);
  const auto add = [&](const char* name, const char* caption, std::function<void()> run) {
    QAction* a = menu->addAction(Tr(caption));
    a->setObjectName(QString::fromLatin1(name));
    QObject::connect(a, &QAction::triggered, menu, [this, run] { fHost.DeferProcessing(run); });
  };
  if (mode == cmEmails) {
    add("miMove", "Move to Folder...", [this] { RunMoveSelected(); });
    add("miDelete", "Delete Selected", [this] { RunDeleteSelected(); });
  }
  if (mode == cmPhotoLibrary) add("miDelete", "Delete Selected", [this] { RunDeleteSelected(); });
  if (mode == cmContacts) {
    add("miMerge", "Merge contacts", [this] { RunMergeContacts(); });
    add("miDelete", "Delete Selected", [this] { RunDeleteSelected(); });
  }
  if (fileMode) {
    add("miDelete", "Delete Selected", [this] { RunDeleteSelected(); });
    add("miMove", "Move to Folder...", [this] { RunMoveSelected(); });
    add("miRename", "Rename Selected", [this] { RunRenameSelected(); });
    add("miReplace", "Replace with Symbolic Link", [this] { RunReplaceWithLinks(); });
    add("miHardLink", "Replace with Hard Link", [this] { RunReplaceWithShared(false); });
    add("miClone", "Replace with Copy-on-Write Clone", [this] { RunReplaceWithShared(true); });
    menu->addSeparator();
    add("miAssistant", "Assistant...", [this] { LaunchResolveWizard(); });
  }
  return menu;
}

void TProcessingController::ShowProcessingMenu(QWidget* Button) {
  QMenu* menu = BuildProcessingMenu(Button);
  menu->setAttribute(Qt::WA_DeleteOnClose);
  const QPoint above = Button->mapToGlobal(QPoint(0, 0)) - QPoint(0, menu->sizeHint().height());
  menu->popup(above);
}

void TProcessingController::ClearHistory() {
  fHistory.Clear();
  UpdateUndoButton();
}

void TProcessingController::UpdateUndoButton() {
  const bool earlier = fHistory.fActionNo == 0 && fEarlier.has_value() && FileMode();
  fHost.SetUndoButtonEnabled(!fRunning && (UndoAvailable(fHost.ProcessingEngine(), fHistory) || earlier));
}

void TProcessingController::ShowProgress(int Percent, const std::string& Text) {
  fHost.ShowProcessingProgress(Percent, QString::fromStdString(Text));
}

void TProcessingController::RowChanged(int Row) { fHost.ProcessingRowChanged(Row); }

void TProcessingController::ProcessMessages() {
  if (fLastPM.isValid() && fLastPM.elapsed() < 1000) return;
  fLastPM.start();
  QCoreApplication::processEvents();
}

void TProcessingController::ShowUndoProgress(const std::string& WaitText, int Percent) {
  fHost.ShowProcessingProgress(Percent, QString::fromStdString(WaitText));
  ProcessMessages();
}

void TProcessingController::SetUndoEnabled(bool Enabled) { fHost.SetUndoButtonEnabled(Enabled); }

void TProcessingController::HideUndoProgress() { fHost.ShowProcessingProgress(0, QString()); }

}  // namespace pelcrow::ui
