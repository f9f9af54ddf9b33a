#include <QtTest>

#include <atomic>
#include <thread>

#include "ui/MainWindow.h"
#include "ui/QtMainThread.h"

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void titleIsProductName() {
    pelcrow::ui::TfmMain w;
    w.show();
    QCOMPARE(w.windowTitle(), QStringLiteral("Pelcrow"));
    QVERIFY(w.minimumWidth() > 0);
  }

  // A worker's hand-over runs on the user-interface thread, later, not inside the worker.
  void handOverRunsOnUiThread() {
    pelcrow::ui::TQtMainThread mt(this);
    std::atomic<bool> ranOnUi{false};
    std::atomic<bool> called{false};
    std::thread worker([&] {
      QVERIFY(!mt.IsMainThread());
      mt.Call([&] { called = true; });
      mt.Post([&] { ranOnUi = mt.IsMainThread(); });
    });
    QTRY_VERIFY(ranOnUi.load());
    worker.join();
    QVERIFY(called.load());
  }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
