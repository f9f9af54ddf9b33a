// The dead-track cleaner window: Start runs the clean-up of the music server's playlists on a
// worker, with its message log and progress; Stop asks it to end; Close ends it and waits for it.
// The settings dialog's Tools tab opens it through ShowDeadTrackCleaner.
#pragma once

#include <QDialog>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QTimer;

namespace pelcrow::ui {

class TfmCleaner final : public QDialog {
  Q_OBJECT

 public:
  explicit TfmCleaner(QWidget* parent = nullptr);
  ~TfmCleaner() override;

  bool Running() const { return fRunning; }

  QLabel* txtInfo;
  QPushButton* btnStart;
  QPushButton* btnClose;
  QProgressBar* pbBusy;  // the animated indicator
  QProgressBar* pbProgress;
  QListWidget* lbLog;

 protected:
  void reject() override;

 private:
  class TLog;
  void StartStop();
  void Tick();
  void Refresh();
  void Finish();
  void CloseWindow();

  std::shared_ptr<TLog> fLog;
  std::atomic<bool> fCancel{false};
  std::atomic<bool> fWorkerDone{false};
  std::jthread fCleanupThread;
  QTimer* fTimer;
  bool fRunning = false;
  unsigned fShownVersion = 0;
};

// Opens the cleaner modally.
void ShowDeadTrackCleaner(QWidget* parent);

}  // namespace pelcrow::ui
