#include "ui/Crc32CalcDialog.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <cerrno>
#include <cstdio>

#include "base/FormatSettings.h"
#include "localization/Formatting.h"
#include "platform/FileSystem.h"
#include "platform/FileTransfer.h"
#include "services/FileCrc32.h"
#include "ui/DialogHelpers.h"
#include "ui/UiText.h"

namespace pelcrow::ui {

namespace {

// The block size users of the other platform's tool know; the result does not depend on it.
constexpr std::size_t kBlockSize = 65521;

// Stored untranslated by the worker; the window translates it.
constexpr const char* kErrorMark = "Error";

const char* const kColumnCaptions[] = {"File Name", "CRC32", "Path", "Date", "Size", "Modified"};

std::string DateText(TDateTime t) {
  // A file system that keeps no birth time gives none, not 1970.
  if (t.UnixNanoseconds() == 0) return {};
  return FormatDateTime(GetDisplayDateFormat(true), t);
}

std::string ChecksumText(std::uint32_t crc) {
  char text[9];
  std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(crc));
  return text;
}

}  // namespace

std::function<QStringList(QWidget*)> RunCrcFileDialog = [](QWidget* parent) {
  return QFileDialog::getOpenFileNames(parent, Tr("Select File"), QString(), QString(), nullptr,
                                       QFileDialog::ReadOnly);
};

TfmCRC32Calc::TfmCRC32Calc(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("fmCRC32Calc"));
  setWindowTitle(Tr("CRC32 Calculator"));
  setAcceptDrops(true);
  sgFiles = new QTableWidget(0, colCount, this);
  sgFiles->setObjectName(QStringLiteral("sgFiles"));
  QStringList headers;
  for (const char* c : kColumnCaptions) headers << Tr(c);
  sgFiles->setHorizontalHeaderLabels(headers);
  sgFiles->setEditTriggers(QAbstractItemView::NoEditTriggers);
  sgFiles->setSelectionBehavior(QAbstractItemView::SelectRows);
  sgFiles->setSelectionMode(QAbstractItemView::SingleSelection);
  sgFiles->setAlternatingRowColors(true);
  sgFiles->verticalHeader()->hide();
  sgFiles->horizontalHeader()->setSectionsMovable(false);
  sgFiles->horizontalHeader()->setStretchLastSection(true);
  sgFiles->setColumnWidth(colName, 180);
  sgFiles->setColumnWidth(colCRC32, 90);
  sgFiles->setColumnWidth(colPath, 220);
  sgFiles->setColumnWidth(colDate, 150);
  sgFiles->setColumnWidth(colSize, 80);
  // The grid takes drops itself; hand them to the window.
  sgFiles->setAcceptDrops(false);
  sgFiles->viewport()->setAcceptDrops(false);
  btnBrowse = NewButton(this, "btnBrowse", "Browse");
  btnClear = NewButton(this, "btnClear", "Clear");
  btnClose = NewButton(this, "btnClose", "Close", true);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(btnBrowse);
  buttons->addWidget(btnClear);
  buttons->addStretch();
  buttons->addWidget(btnClose);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(sgFiles, 1);
  layout->addLayout(buttons);
  RetranslateCaptions(this);
  resize(900, 360);
  connect(btnBrowse, &QPushButton::clicked, this, &TfmCRC32Calc::Browse);
  connect(btnClear, &QPushButton::clicked, this, &TfmCRC32Calc::ClearList);
  connect(btnClose, &QPushButton::clicked, this, &TfmCRC32Calc::accept);
}

TfmCRC32Calc::~TfmCRC32Calc() { StopWorker(); }

void TfmCRC32Calc::Browse() {
  std::vector<std::string> paths;
  for (const QString& f : RunCrcFileDialog(this)) paths.push_back(PathBytes(f));
  AddFiles(paths);
}

void TfmCRC32Calc::AddFiles(const std::vector<std::string>& paths) {
  int select = -1;
  {
    std::lock_guard lock(fLock);
    for (const std::string& path : paths) {
      platform::TFileInfo info;
      if (platform::Stat(path, info) != 0 || info.Type == platform::TEntryType::etDirectory) continue;
      int row = -1;
      for (std::size_t i = 0; i < fRows.size(); ++i) {
        if (fRows[i].Path == path) row = static_cast<int>(i);
      }
      if (row < 0) {
        platform::TFileTimes times;
        platform::ReadFileTimes(path, times);
        const auto slash = path.find_last_of('/');
        const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
        const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash);
        row = sgFiles->rowCount();
        sgFiles->insertRow(row);
        const QString cells[colCount] = {PathText(name),
                                         QString(),
                                         PathText(folder.empty() ? "/" : folder),
                                         QString::fromStdString(DateText(times.Created)),
                                         QString::fromStdString(GetFileSizeText(path)),
                                         QString::fromStdString(DateText(times.Modified))};
        for (int c = 0; c < colCount; ++c) sgFiles->setItem(row, c, new QTableWidgetItem(cells[c]));
        sgFiles->item(row, colSize)->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        fRows.push_back({path, {}});
      }
      select = row;
    }
  }
  if (select < 0) return;
  sgFiles->selectRow(select);
  StartWorker();
  fWake.notify_all();
}

bool TfmCRC32Calc::Pending() {
  std::lock_guard lock(fLock);
  for (const TRow& r : fRows) {
    if (r.Checksum.empty()) return true;
  }
  return false;
}

void TfmCRC32Calc::StartWorker() {
  if (fWorker.joinable()) return;
  fWorker = std::jthread([this](std::stop_token stop) { Work(stop); });
}

void TfmCRC32Calc::StopWorker() {
  if (!fWorker.joinable()) return;
  fWorker.request_stop();
  fWake.notify_all();
  // A file being read stops at its next block.
  fWorker.join();
  fWorker = {};
}

void TfmCRC32Calc::Work(const std::stop_token& stop) {
  while (!stop.stop_requested()) {
    std::vector<std::string> waiting;
    {
      std::unique_lock lock(fLock);
      // Woken by new rows or by the stop, never by a timer.
      fWake.wait(lock, stop, [this] {
        for (const TRow& r : fRows) {
          if (r.Checksum.empty()) return true;
        }
        return false;
      });
      if (stop.stop_requested()) return;
      for (const TRow& r : fRows) {
        if (r.Checksum.empty()) waiting.push_back(r.Path);
      }
    }
    for (const std::string& path : waiting) {
      std::uint32_t crc = 0;
      const int err = ComputeFileCRC32(path, crc, stop, kBlockSize);
      if (err == ECANCELED && stop.stop_requested()) return;
      // A read that fails half-way gives no checksum either: a partial one would look valid.
      const std::string text = err == 0 ? ChecksumText(crc) : std::string(kErrorMark);
      {
        std::lock_guard lock(fLock);
        for (TRow& r : fRows) {
          if (r.Path == path) r.Checksum = text;
        }
      }
      QMetaObject::invokeMethod(this, &TfmCRC32Calc::ShowChecksums, Qt::QueuedConnection);
    }
  }
}

void TfmCRC32Calc::ShowChecksums() {
  std::lock_guard lock(fLock);
  const int rows = std::min(sgFiles->rowCount(), static_cast<int>(fRows.size()));
  for (int i = 0; i < rows; ++i) {
    QTableWidgetItem* cell = sgFiles->item(i, colCRC32);
    const std::string& checksum = fRows[static_cast<std::size_t>(i)].Checksum;
    const QString text = checksum == kErrorMark ? Tr(kErrorMark) : QString::fromStdString(checksum);
    if (cell && cell->text() != text) cell->setText(text);
  }
}

void TfmCRC32Calc::ClearList() {
  StopWorker();
  std::lock_guard lock(fLock);
  fRows.clear();
  sgFiles->setRowCount(0);
}

void TfmCRC32Calc::done(int result) {
  ClearList();
  QDialog::done(result);
}

void TfmCRC32Calc::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TfmCRC32Calc::dropEvent(QDropEvent* event) {
  std::vector<std::string> paths;
  for (const QUrl& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) paths.push_back(PathBytes(url.toLocalFile()));
  }
  AddFiles(paths);
  event->acceptProposedAction();
}

TfmCRC32Calc* ShowCRC32Calculator() {
  // Owned by the application, not by the window that opens it.
  static QPointer<TfmCRC32Calc> window;
  if (!window) {
    window = new TfmCRC32Calc(nullptr);
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, [] { delete window; });
  }
  window->show();
  window->raise();
  window->activateWindow();
  return window;
}

}  // namespace pelcrow::ui
