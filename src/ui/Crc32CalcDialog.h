// The CRC32 calculator: files added with Browse or dropped on the window are listed with their
// dates and sizes, and one worker fills in their checksums, so a user can check by hand the value
// the default comparison rests on. One window per process: it outlives the settings dialog that
// opens it, and closing it stops the worker and empties the list.
#pragma once

#include <QDialog>
#include <QStringList>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

class QPushButton;
class QTableWidget;

namespace pelcrow::ui {

class TfmCRC32Calc final : public QDialog {
  Q_OBJECT

 public:
  enum TColumn { colName, colCRC32, colPath, colDate, colSize, colModified, colCount };

  explicit TfmCRC32Calc(QWidget* parent = nullptr);
  ~TfmCRC32Calc() override;

  // Adds a row per file not listed yet (a listed one is selected instead); folders and missing
  // files are left out. The worker starts with the first row.
  void AddFiles(const std::vector<std::string>& paths);
  // Stops the worker and empties the list.
  void ClearList();
  // True while a listed file still waits for its checksum.
  bool Pending();

  QTableWidget* sgFiles;
  QPushButton* btnBrowse;
  QPushButton* btnClear;
  QPushButton* btnClose;

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void done(int result) override;

 private:
  struct TRow {
    std::string Path;
    std::string Checksum;  // empty while waiting
  };
  void Browse();
  void StartWorker();
  void StopWorker();
  void Work(const std::stop_token& stop);
  void ShowChecksums();

  // Shared with the worker: it reads paths and writes checksums, the window adds and clears.
  std::mutex fLock;
  std::condition_variable_any fWake;
  std::vector<TRow> fRows;
  std::jthread fWorker;
};

// Shows the calculator, creating it the first time; later calls bring the same window forward.
TfmCRC32Calc* ShowCRC32Calculator();
// The file dialog of Browse; tests replace it to act as the user (empty: cancelled).
extern std::function<QStringList(QWidget*)> RunCrcFileDialog;

}  // namespace pelcrow::ui
