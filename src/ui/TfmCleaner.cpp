#include "ui/TfmCleaner.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "medialib/DeadTrackCleaner.h"
#include "settings/PcwSettings.h"
#include "ui/UiText.h"

namespace pelcrow::ui {

// The message log the worker writes and the window shows, under one lock.
class TfmCleaner::TLog final : public IDeadTrackCleanerLog {
 public:
  void AddLogLine(const std::string& text, bool newLine) override {
    std::lock_guard lock(fMutex);
    if (!fLines.empty() && !newLine) {
      fLines.back() = text;
    } else {
      fLines.push_back(text);
    }
    ++fVersion;
  }
  void SetProgress(int percent) override {
    std::lock_guard lock(fMutex);
    fProgress = percent;
  }
  void Clear() {
    std::lock_guard lock(fMutex);
    fLines.clear();
    ++fVersion;
  }
  // The lines when they changed since Seen (which is updated), and the progress.
  bool Snapshot(unsigned& seen, std::vector<std::string>& lines, int& progress) {
    std::lock_guard lock(fMutex);
    progress = fProgress;
    if (seen == fVersion) return false;
    seen = fVersion;
    lines = fLines;
    return true;
  }

 private:
  std::mutex fMutex;
  std::vector<std::string> fLines;
  unsigned fVersion = 0;
  int fProgress = 0;
};

TfmCleaner::TfmCleaner(QWidget* parent) : QDialog(parent), fLog(std::make_shared<TLog>()), fTimer(new QTimer(this)) {
  setWindowTitle(Tr("MPD Dead Track Cleaner"));
  // No system buttons: Close is the way out, and it waits for the worker.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  txtInfo = new QLabel(Tr("Press Start to find and delete invalid track references from MPD.") + "\n" +
                       Tr("NOTE: removed references cannot be undone: their files are gone."));
  txtInfo->setWordWrap(true);
  btnStart = new QPushButton(Tr("Start"));
  btnClose = new QPushButton(Tr("Close"));
  pbBusy = new QProgressBar;
  pbBusy->setRange(0, 0);
  pbBusy->setVisible(false);
  pbProgress = new QProgressBar;
  pbProgress->setRange(0, 100);
  lbLog = new QListWidget;
  auto* status = new QGroupBox(Tr("Status"));
  auto* statusLayout = new QVBoxLayout(status);
  statusLayout->addWidget(pbProgress);
  statusLayout->addWidget(lbLog);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(pbBusy, 1);
  buttons->addStretch();
  buttons->addWidget(btnStart);
  buttons->addWidget(btnClose);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(txtInfo);
  layout->addWidget(status, 1);
  layout->addLayout(buttons);
  resize(520, 380);
  fTimer->setInterval(100);
  connect(fTimer, &QTimer::timeout, this, &TfmCleaner::Tick);
  connect(btnStart, &QPushButton::clicked, this, &TfmCleaner::StartStop);
  connect(btnClose, &QPushButton::clicked, this, &TfmCleaner::CloseWindow);
}

TfmCleaner::~TfmCleaner() {
  fCancel = true;
  if (fCleanupThread.joinable()) fCleanupThread.join();
}

void TfmCleaner::StartStop() {
  if (fRunning) {
    fCancel = true;
    return;
  }
  fRunning = true;
  pbBusy->setVisible(true);
  btnStart->setText(Tr("Stop"));
  fCancel = false;
  fWorkerDone = false;
  fLog->Clear();
  if (fCleanupThread.joinable()) fCleanupThread.join();
  const TMediaLibSyncOptions options = MediaLibSyncOptionsOf(Settings);
  std::shared_ptr<TLog> log = fLog;
  fCleanupThread = std::jthread([this, options, log] {
    CleanDeadTracks(options, false, *log, fCancel);
    fWorkerDone = true;
  });
  fTimer->start();
}

void TfmCleaner::Tick() {
  Refresh();
  if (fWorkerDone) Finish();
}

void TfmCleaner::Refresh() {
  std::vector<std::string> lines;
  int progress = 0;
  if (fLog->Snapshot(fShownVersion, lines, progress)) {
    lbLog->clear();
    for (const std::string& l : lines) lbLog->addItem(QString::fromStdString(l));
    if (lbLog->count() > 0) {
      lbLog->setCurrentRow(lbLog->count() - 1);
      lbLog->scrollToBottom();
    }
  }
  pbProgress->setValue(progress);
}

void TfmCleaner::Finish() {
  if (fCleanupThread.joinable()) fCleanupThread.join();
  if (fCancel) {
    fLog->AddLogLine(TranslateText("Operation canceled by user."), false);
  }
  Refresh();
  fTimer->stop();
  fRunning = false;
  pbBusy->setVisible(false);
  btnStart->setText(Tr("Start"));
}

void TfmCleaner::CloseWindow() {
  fCancel = true;
  // The worker ends at its next entry; the window is not destroyed before it has.
  if (fCleanupThread.joinable()) fCleanupThread.join();
  if (fRunning) Finish();
  accept();
}

void TfmCleaner::reject() { CloseWindow(); }

void ShowDeadTrackCleaner(QWidget* parent) {
  TfmCleaner dialog(parent);
  dialog.exec();
}

}  // namespace pelcrow::ui
