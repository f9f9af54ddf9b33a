#include "ui/ScanController.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QThread>
#include <QTimer>

#include "base/PathText.h"
#include "base/FormatSettings.h"
#include "base/UserPrompt.h"
#include "logging/Logger.h"
#include "localization/Formatting.h"
#include "settings/PcwSettings.h"
#include "ui/IgnoreListWindow.h"
#include "ui/UiText.h"

namespace pelcrow::ui {
namespace {

QString Elapsed(qint64 ms) {
  const qint64 s = ms / 1000;
  return QString::asprintf("%02lld:%02lld:%02lld", s / 3600, (s / 60) % 60, s % 60);
}

QString Number(long long n) { return QString::fromStdString(FormatThousands(n)); }

QString ShownPath(const std::string& path) { return PathText(DeleteExtendedPrefix(path)); }

// Replaces the next "%s" of text, if there is one.
void Fill(std::string& text, const std::string& value) {
  if (auto at = text.find("%s"); at != std::string::npos) text.replace(at, 2, value);
}

}  // namespace

TScanController::TScanController(TScanEngine& engine, const TScanControls& controls, QObject* parent)
    : QObject(parent), fEngine(engine), fControls(controls) {
  fTickTimer = new QTimer(this);
  fTickTimer->setInterval(1000);
  fSpinnerTimer = new QTimer(this);
  fSpinnerTimer->setInterval(150);
  connect(fTickTimer, &QTimer::timeout, this, &TScanController::Tick);
  connect(fSpinnerTimer, &QTimer::timeout, this, [this] {
    static const char* const frames[] = {"◐", "◓", "◑", "◒"};
    fSpinnerPhase = (fSpinnerPhase + 1) % 4;
    fControls.Spinner->setText(QString::fromUtf8(frames[fSpinnerPhase]) + Tr(" Please Wait ..."));
  });
}

bool TScanController::AcceptStartClick() {
  if (fLastStartClick.isValid() && fLastStartClick.elapsed() < 1000) return false;
  // A click meant for the caption the button had a moment ago (a Stop that comes just after the
  // scan ended) would start a new scan over the results.
  if (fRunningChanged.isValid() && fRunningChanged.elapsed() < kCaptionGuardMs) return false;
  fLastStartClick.start();
  return true;
}

void TScanController::SetState(TScanState state) {
  const bool wasRunning = IsRunning();
  fState = state;
  if (wasRunning != IsRunning()) fRunningChanged.start();
  QPushButton* start = fControls.Start;
  start->setText(Tr(IsRunning() ? "Stop" : "Start"));
  // The style sheet paints a running scan's button differently.
  start->setProperty("scanning", IsRunning());
  start->style()->unpolish(start);
  start->style()->polish(start);
}

void TScanController::ShowProgressText(const QString& text) { fControls.Progress->setFormat(text); }

void TScanController::ShowProgress(int percent, const QString& text) {
  fControls.Progress->setValue(percent);
  ShowProgressText(text);
}

void TScanController::StartWaitDisplay() {
  ShowProgressText(Tr("Please wait ..."));
  fControls.Spinner->setText(Tr(" Please Wait ..."));
  fControls.Spinner->show();
  fSpinnerTimer->start();
}

void TScanController::StopWaitDisplay() {
  fSpinnerTimer->stop();
  fControls.Spinner->hide();
  // Its text is set again at the next start, in the language then chosen.
  fControls.Spinner->clear();
  ShowProgressText(QString());
}

void TScanController::Begin() {
  SetState(TScanState::ssScanning);
  StartWaitDisplay();
}

bool TScanController::Prepare(const TScanRequest& request) {
  try {
    fEngine.SetIncludeFileMasks(request.IncludeMasks);
    fEngine.SetExcludeFileMasks(request.ExcludeMasks);
  } catch (const std::exception& e) {
    GetUserPrompt().ShowMessage(TMessageKind::mkError, e.what());
    SetState(TScanState::ssIdle);
    StopWaitDisplay();
    return false;
  }
  if (request.Master) {
    // The masters are searched too: the search range is both lists.
    std::vector<std::string> both = request.First;
    both.insert(both.end(), request.Second.begin(), request.Second.end());
    fEngine.SetMasterFilePaths(&request.First);
    fEngine.SetIncludeFilePaths(&both);
    fEngine.SetExcludeFilePaths(nullptr);
    fEngine.SetReferenceFilePaths(nullptr);
  } else {
    fEngine.SetIncludeFilePaths(&request.First);
    fEngine.SetExcludeFilePaths(&request.Second);
    fEngine.SetMasterFilePaths(nullptr);
    fEngine.SetReferenceFilePaths(&request.References);
  }
  fEngine.FileSizeMin = request.SizeMin;
  fEngine.FileSizeMax = request.SizeMax;
  return true;
}

void TScanController::Launch(IScanView* view) {
  fEngine.OnFinishedScan = [this](const TScanEngineSummaryInfo& info) { Finished(info); };
  fStarted.start();
  fControls.Elapsed->setText(QStringLiteral("00:00:00"));
  fEngine.ResetProgress();
  fControls.Progress->setValue(0);
  fTickTimer->start();
  WriteLog("Scan started");
  TScanSettings options = ScanSettingsOf(Settings);
  if (TIgnoreList list = ReadUserIgnoreList(); !list.Empty())
    options.IgnoreList = std::make_shared<const TIgnoreList>(std::move(list));
  fEngine.BuildFileList(view, options);
}

void TScanController::Stop() {
  SetState(TScanState::ssStopping);
  fTickTimer->stop();
  fControls.Elapsed->setText(QStringLiteral("00:00:00"));
  ShowProgressText(Tr("Stopping ..."));
  fEngine.Stop();
  fControls.Start->setEnabled(false);
}

void TScanController::EndNow() {
  if (!fEngine.ScanThreadExecuting()) return;
  fTickTimer->stop();
  fEngine.OnFinishedScan = nullptr;
  fEngine.Stop();
  // The worker may be waiting for this thread to run a hand-over: joining it here would never
  // return, so serve it until it has ended.
  while (fEngine.ScanThreadExecuting()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(2);
  }
}

void TScanController::ForgetLastScan() {
  fLastScan = {};
  if (fState == TScanState::ssFinished) fState = TScanState::ssIdle;
}

void TScanController::Tick() {
  fControls.Elapsed->setText(Elapsed(fStarted.elapsed()));
  TScanEngineStatusInfo p;
  fEngine.GetCurrentProgress(p);
  switch (p.EngineStatus) {
    case esScanning:
      ShowProgressText(Tr("Scanning ..."));
      fControls.Status->setText(ShownPath(p.Path));
      fControls.FilesScanned->setText(Number(p.FilesScanned));
      break;
    case esProcessing:
      if (p.PercentComplete < 100) {
        fControls.Progress->setValue(p.PercentComplete);
        fControls.Status->setText(Tr("Processing: ") + ShownPath(p.Path));
        ShowProgressText(Tr("Processing ...") + QStringLiteral(" (%1%)").arg(p.PercentComplete));
        fControls.FilesScanned->setText(Number(p.FilesScanned));
      }
      break;
    case esBuildingList:
      fControls.Progress->setValue(100);
      fControls.Status->setText(Tr("Building list ..."));
      ShowProgressText(Tr("Building list ...") + QStringLiteral(" (100%)"));
      break;
    case esStopping:
      fControls.Progress->setValue(0);
      fControls.Status->setText(Tr("Stopping ..."));
      ShowProgressText(Tr("Stopping ..."));
      break;
  }
}

void TScanController::Finished(const TScanEngineSummaryInfo& info) {
  const bool stopped = fState == TScanState::ssStopping;
  std::int64_t scannedSoFar = 0;
  if (stopped) {
    TScanEngineStatusInfo p;
    fEngine.GetCurrentProgress(p);
    scannedSoFar = p.FilesScanned;
  }
  // A stopped scan leaves no results behind, only how far it came.
  if (stopped) fEngine.ClearResults();
  fLastScan.Info = stopped ? TScanEngineSummaryInfo{} : info;
  if (stopped) fLastScan.Info.TotalFiles = static_cast<std::int32_t>(scannedSoFar);
  fLastScan.Dirs = fEngine.GetIncludeFilePaths();
  fTickTimer->stop();
  SetState(stopped ? TScanState::ssIdle : TScanState::ssFinished);
  if (stopped) {
    std::string text = TranslateText("Scan stopped: %s files scanned");
    Fill(text, FormatThousands(scannedSoFar));
    fControls.Status->setText(QString::fromStdString(text));
  } else {
    fControls.Status->clear();
  }
  StopWaitDisplay();
  fControls.Progress->setValue(0);
  if (OnEnded) OnEnded(stopped);
  WriteLog(stopped ? "Scan stopped" : "Scan finished");
  ReportWorkerError();
}

void TScanController::ReportWorkerError() {
  if (fEngine.LastWorkerError().empty()) return;
  WriteLog(fEngine.LastWorkerError(), lsvError);
  GetUserPrompt().ShowMessage(TMessageKind::mkError, fEngine.LastWorkerError());
}

QString TScanController::SummaryText() const {
  const TScanEngineSummaryInfo& summary = fLastScan.Info;
  std::string text = summary.TotalFiles == 1 ? TranslateText("Scanned %s total file.")
                                             : TranslateText("Scanned %s total files.");
  Fill(text, FormatThousands(summary.TotalFiles));
  std::string dups = summary.OriginalFiles == 1
                         ? TranslateText("Detected duplicates for %s file, which occupy %s of hard disk space.")
                         : TranslateText("Detected duplicates for %s files, which occupy %s of hard disk space.");
  Fill(dups, FormatThousands(summary.OriginalFiles));
  Fill(dups, FormatFileSize(summary.DuplicateSize));
  QString out = QString::fromStdString(text + " " + dups);
  // Nothing found because a check turned a whole folder away: say which, so the user can act.
  if (summary.TotalFiles == 0) {
    for (const TScanRejection& r : fEngine.IncludeRejections()) {
      out += QStringLiteral("\n") + ShownPath(r.Path) + QStringLiteral(": ") + Tr(r.Check);
    }
  }
  return out;
}

}  // namespace pelcrow::ui
