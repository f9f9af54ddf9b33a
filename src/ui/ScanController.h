// The scan's life as the window sees it: idle, scanning, stopping, finished. The controller
// starts the engine's worker with what the window's fields say, polls its progress once a second
// into the step-2 bar and the status bar, and takes the result when the engine reports the end
// (on this thread). What the rest of the window does around a scan is the window's own business.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/ScanEngine.h"

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;

namespace pelcrow::ui {

enum class TScanState : std::uint8_t {
  ssIdle,      // no scan has run since the results were last cleared
  ssScanning,  // the worker runs
  ssStopping,  // the user stopped it; its results are thrown away when it ends
  ssFinished,  // the last scan's results are on show
};

// The scan summary of the last scan, for the export.
struct TExportInfo {
  TScanEngineSummaryInfo Info;
  std::vector<std::string> Dirs;
};

// The widgets the controller writes to; the window builds and places them.
struct TScanControls {
  QPushButton* Start;
  QProgressBar* Progress;
  QLabel* Spinner;
  QLabel* Elapsed;
  QLabel* Status;
  QLineEdit* FilesScanned;
};

// What a scan looks at, as the window's fields hold it.
struct TScanRequest {
  std::string IncludeMasks;
  std::string ExcludeMasks;
  std::vector<std::string> First;   // include folders, or the masters
  std::vector<std::string> Second;  // exclude folders, or the search range
  bool Master = false;
  // Reference folders (not in the master mode, which has its masters).
  std::vector<std::string> References;
  std::int64_t SizeMin = 0;  // bytes, 0 for no limit
  std::int64_t SizeMax = 0;
};

class TScanController : public QObject {
  Q_OBJECT

 public:
  TScanController(TScanEngine& engine, const TScanControls& controls, QObject* parent);

  // After a scan ended or was stopped, once the controller's own widgets are back to rest.
  std::function<void(bool stopped)> OnEnded;

  TScanState State() const { return fState; }
  bool IsRunning() const { return fState == TScanState::ssScanning || fState == TScanState::ssStopping; }
  // A second click within a second is a double click, not a stop: false for it.
  bool AcceptStartClick();

  // Starting takes three calls so the window can clear its results in between: Begin shows the
  // scan as running, Prepare hands the request to the engine (false, with the user told and the
  // controller idle again, when a mask is refused), Launch starts the worker.
  void Begin();
  bool Prepare(const TScanRequest& request);
  void Launch(IScanView* view);
  void Stop();
  // Stops a running scan and waits for its worker, without its results.
  void EndNow();
  // The results were cleared: the last scan's summary goes with them.
  void ForgetLastScan();

  const TExportInfo& LastScan() const { return fLastScan; }
  // The line above the results after a scan.
  QString SummaryText() const;
  // The progress bar also serves the processing runs.
  void ShowProgress(int percent, const QString& text);

 private:
  void SetState(TScanState state);
  void ShowProgressText(const QString& text);
  void StartWaitDisplay();
  void StopWaitDisplay();
  void Tick();
  void Finished(const TScanEngineSummaryInfo& info);
  void ReportWorkerError();

  TScanEngine& fEngine;
  TScanControls fControls;
  TScanState fState = TScanState::ssIdle;
  TExportInfo fLastScan;
  QTimer* fTickTimer;
  QTimer* fSpinnerTimer;
  int fSpinnerPhase = 0;
  QElapsedTimer fStarted;
  QElapsedTimer fLastStartClick;
  // When the button last turned from Start to Stop or back.
  QElapsedTimer fRunningChanged;
  static constexpr int kCaptionGuardMs = 600;
};

}  // namespace pelcrow::ui
