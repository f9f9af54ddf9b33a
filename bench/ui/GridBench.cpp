// The results grid with a million rows: how long saving and loading the list (on a worker, with
// the longest stall of the event loop meanwhile), sorting by every column, the selection rules
// and scrolling take on the real view, offscreen. The rows come from a generated list file, as a
// user's would. Prints one line per step; not a test, a measurement.
#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>

#include "base/MainThread.h"
#include "engine/ListFileLoader.h"
#include "engine/ScanEngine.h"
#include "ui/QtMainThread.h"
#include "ui/ResultsModel.h"
#include "ui/ResultsView.h"

using namespace pelcrow;

int main(int argc, char** argv) {
  PrepareLocalTime();
  QApplication app(argc, argv);
  const int rows = argc > 1 ? std::atoi(argv[1]) : 1000000;
  std::mt19937_64 rng(7);
  TScanEngine source(cmCRC32, {});
  QElapsedTimer t;
  t.start();
  std::vector<TItemString> folders;
  for (int f = 0; f < 5000; ++f) folders.emplace_back("/home/user/data/folder" + std::to_string(f));
  for (int k = 0; k < rows; ++k) {
    auto* it = new TFileItem;
    it->Path = folders[rng() % folders.size()];
    it->Name = "file" + std::to_string(rng() % 1000000) + ".bin";
    it->DupGroup = it->SortGroup = static_cast<std::uint32_t>(k / 3 + 1);
    it->Size = static_cast<std::int64_t>(rng() % (1u << 30));
    it->Modified = TDateTime::FromUnix(1600000000 + static_cast<std::int64_t>(rng() % 100000000));
    source.AddItem(it);
  }
  std::printf("items: %d made in %lld ms\n", rows, static_cast<long long>(t.elapsed()));
  QTemporaryDir dir;
  const std::string file = dir.path().toStdString() + "/bench.dup";
  t.restart();
  source.SaveToFile(file);
  std::printf("save list file: %lld ms\n", static_cast<long long>(t.elapsed()));

  TScanEngine engine(cmCRC32, {});
  ui::TResultsModel model(&engine);
  ui::TResultsView view(&engine, &model);
  view.resize(1200, 800);
  view.show();
  QApplication::processEvents();
  ui::TQtMainThread mainThread(&app);
  SetMainThread(&mainThread);
  // The list read on a worker as the window does it, into an empty grid and then over the
  // million rows already shown: from the start to the first paint of the new rows, and the
  // longest the event loop went without running a 10 ms timer meanwhile.
  TListFileLoader loader;
  for (const char* into : {"an empty grid", "a full grid"}) {
    int reports = 0;
    bool done = false;
    loader.OnProgress = [&](int) { ++reports; };
    loader.OnDone = [&](TListFileLoader::TResult& r) {
      if (!r.Loaded) std::fprintf(stderr, "load failed: %s\n", r.LogText.c_str());
      std::vector<PFileItem> previous;
      engine.TakeList(&model, std::move(r.List), false, &previous);
      loader.Discard(std::move(previous));
      view.viewport()->repaint();
      done = true;
    };
    QElapsedTimer sinceTick;
    long long longestGap = 0;
    QTimer ticker;
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
      longestGap = std::max(longestGap, static_cast<long long>(sinceTick.restart()));
    });
    t.restart();
    sinceTick.start();
    ticker.start();
    loader.Start(file, {engine.CompareMode(), GetFormatSettings()});
    while (!done) QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    const long long ms = t.elapsed();
    longestGap = std::max(longestGap, static_cast<long long>(sinceTick.elapsed()));
    ticker.stop();
    std::printf("load list on a worker into %s, first paint: %lld ms, %d rows; longest stall of the window: %lld ms "
                "(%d progress reports)\n",
                into, ms, model.rowCount(), longestGap, reports);
  }
  SetMainThread(nullptr);
  t.restart();
  engine.LoadFromFile(&model, file);
  view.viewport()->repaint();
  QApplication::processEvents();
  std::printf("load list on this thread (as the command line does), first paint: %lld ms, %d rows\n",
              static_cast<long long>(t.elapsed()), model.rowCount());
  for (int c = 1; c < model.columnCount(); ++c) {
    for (int pass = 0; pass < 2; ++pass) {
      t.restart();
      view.SortByColumn(c);
      view.viewport()->repaint();
      std::printf("sort by %-10s %s: %lld ms\n", model.headerData(c, Qt::Horizontal, Qt::DisplayRole).toString().toUtf8().constData(),
                  pass == 0 ? "asc " : "desc", static_cast<long long>(t.elapsed()));
    }
  }
  // The selection rules over every row, each from a fixed start (all checked or none, not
  // timed) and followed by the repaint the user waits for.
  struct TRule {
    const char* Name;
    bool StartChecked;
    std::function<void()> Run;
  };
  const std::string someFolder = engine.Item(0)->Path.str();
  const TRule rules[] = {
      {"select all", false, [&] { engine.SelectAll(&model); }},
      {"unselect all", true, [&] { engine.UnSelectAll(&model); }},
      {"reverse selection", false, [&] { engine.ReverseSelection(&model); }},
      {"leave files from this folder", false, [&] { engine.SelectAllExceptThisFolder(&model, 0, false); }},
      {"all in this folder", false, [&] { engine.SelectDuplicatesInSameFolder(someFolder, false); }},
      {"leave the newest", true, [&] { engine.AutoSelect(&model, smSelectAllLeaveNewest); }},
  };
  for (const TRule& r : rules) {
    if (r.StartChecked)
      engine.SelectAll(&model);
    else
      engine.UnSelectAll(&model);
    view.viewport()->repaint();
    QApplication::processEvents();
    t.restart();
    r.Run();
    view.viewport()->repaint();
    QApplication::processEvents();
    const long long ms = t.elapsed();
    int selected = 0, active = 0;
    engine.GetSelectedInfo(selected, active);
    std::printf("rule %-28s %lld ms, %d rows checked\n", r.Name, ms, selected);
  }
  QScrollBar* bar = view.verticalScrollBar();
  t.restart();
  const int steps = 200;
  for (int s = 0; s <= steps; ++s) {
    bar->setValue(static_cast<int>(static_cast<long long>(bar->maximum()) * s / steps));
    view.viewport()->repaint();
  }
  std::printf("scroll: %d jumps across the list with a repaint each: %lld ms (%.1f ms per jump)\n", steps,
              static_cast<long long>(t.elapsed()), static_cast<double>(t.elapsed()) / steps);
  t.restart();
  for (int s = 0; s < 500; ++s) {
    bar->setValue(bar->value() - bar->pageStep());
    view.viewport()->repaint();
  }
  std::printf("scroll: 500 page-ups with a repaint each: %lld ms\n", static_cast<long long>(t.elapsed()));
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("peak memory: %ld MB for %d rows (the source engine's items included)\n", usage.ru_maxrss / 1024, rows);
  return 0;
}
