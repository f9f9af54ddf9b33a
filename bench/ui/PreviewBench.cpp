// Running through 10,000 picture rows with the preview panel open: the longest time the window's
// event loop is kept from running while the focus moves a row every 2 ms, with pauses that let
// the panel build a preview of large photos. The rows are hard links to a few large JPEGs, so
// every row is its own path. Prints the figures and whether the longest stall stays within
// 100 ms; not a test, a measurement.
#include <QApplication>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QImage>
#include <QTemporaryDir>
#include <QTimer>
#include <QTableView>
#include <QWidget>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/ScanEngine.h"
#include "ui/PreviewPanel.h"
#include "ui/ResultsPanel.h"

using namespace pelcrow;

int main(int argc, char** argv) {
  PrepareLocalTime();
  QApplication app(argc, argv);
  const int rows = argc > 1 ? std::atoi(argv[1]) : 10000;
  QTemporaryDir dir;
  const std::string root = dir.path().toStdString();
  QElapsedTimer t;
  t.start();
  std::vector<std::string> originals;
  for (int k = 0; k < 8; ++k) {
    QImage photo(3000, 2000, QImage::Format_RGB32);
    for (int y = 0; y < photo.height(); ++y) {
      auto* line = reinterpret_cast<QRgb*>(photo.scanLine(y));
      for (int x = 0; x < photo.width(); ++x) line[x] = qRgb((x * (k + 1)) & 255, (y * 3) & 255, (x ^ y) & 255);
    }
    originals.push_back(root + "/photo" + std::to_string(k) + ".jpg");
    photo.save(QString::fromStdString(originals.back()), "JPEG", 90);
  }
  TScanEngine engine(cmCRC32, {});
  for (int r = 0; r < rows; ++r) {
    const std::string name = "row" + std::to_string(r) + ".jpg";
    if (::link(originals[static_cast<std::size_t>(r) % originals.size()].c_str(), (root + "/" + name).c_str()) != 0) {
      std::perror("link");
      return 1;
    }
    auto* it = new TFileItem;
    it->Path = root + "/";
    it->Name = name;
    it->DupGroup = it->SortGroup = static_cast<std::uint32_t>(r / 2 + 1);
    it->Size = 1;
    it->Category = fcPictures;
    engine.AddItem(it);
  }
  std::printf("rows: %d picture files (3000 x 2000 JPEG) made in %lld ms\n", rows, static_cast<long long>(t.elapsed()));

  QWidget window;
  auto* h = new QHBoxLayout(&window);
  auto* results = new ui::TResultsPanel(&engine, &window);
  auto* preview = new ui::TPreviewPanel(&window);
  h->addWidget(results, 2);
  h->addWidget(preview, 1);
  results->Model()->ListChanged(engine.ItemCount());
  preview->Attach(results, &engine);
  window.resize(1400, 900);
  window.show();
  QApplication::processEvents();

  int previews = 0;
  QObject::connect(preview, &ui::TPreviewPanel::PreviewShown, [&] { ++previews; });
  QTableView* grid = results->Grid();
  // The heartbeat: how late each 5 ms tick comes is how long the loop was kept busy.
  QElapsedTimer beat;
  beat.start();
  qint64 last = 0, worst = 0, total = 0, late = 0;
  QTimer heart;
  heart.setTimerType(Qt::PreciseTimer);
  heart.setInterval(5);
  QObject::connect(&heart, &QTimer::timeout, [&] {
    const qint64 now = beat.elapsed();
    const qint64 stall = now - last - 5;
    worst = std::max(worst, stall);
    if (stall > 50) ++late;
    last = now;
  });
  int row = 0;
  QEventLoop loop;
  QTimer step;
  step.setTimerType(Qt::PreciseTimer);
  step.setInterval(2);
  QObject::connect(&step, &QTimer::timeout, [&] {
    if (row >= rows) {
      step.stop();
      // Let the last preview arrive.
      QTimer::singleShot(1500, &loop, &QEventLoop::quit);
      return;
    }
    grid->setCurrentIndex(grid->model()->index(row, 1));
    ++row;
    // A pause now and then, as a user stops on a row: the panel builds that row's preview.
    if (row % 500 == 0) {
      step.stop();
      QTimer::singleShot(700, &step, qOverload<>(&QTimer::start));
    }
  });
  t.restart();
  last = beat.elapsed();
  heart.start();
  step.start();
  loop.exec();
  total = t.elapsed();
  std::printf("scrolled %d rows in %lld ms, %d previews shown, longest stall of the window %lld ms, %lld stalls over 50 ms\n",
              row, static_cast<long long>(total), previews, static_cast<long long>(worst), static_cast<long long>(late));
  std::printf("preview scrolling: %s (longest stall %lld ms, goal at most 100 ms)\n", worst <= 100 ? "OK" : "TOO SLOW",
              static_cast<long long>(worst));
  return 0;
}
