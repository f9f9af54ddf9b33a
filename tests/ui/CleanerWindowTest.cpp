// The dead-track cleaner window: its worker, log and buttons against an MPD that is not there
// (the clean-up itself is tested against a real MPD through pelcrow-cli medialib clean).
#include <QtTest>

#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

#include "ui/TfmCleaner.h"

using namespace pelcrow::ui;

namespace {

int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(fd);
  return ntohs(a.sin_port);
}

QStringList Lines(const QListWidget* list) {
  QStringList out;
  for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
  return out;
}

}  // namespace

class CleanerWindowTest : public QObject {
  Q_OBJECT

 private slots:
  // Without a server the log says so and the button comes back to Start.
  void anUnreachableServerFailsAndTheButtonReturnsToStart() {
    ::setenv("MPD_HOST", "127.0.0.1", 1);
    ::setenv("MPD_PORT", std::to_string(FreePort()).c_str(), 1);
    TfmCleaner w;
    w.show();
    QCOMPARE(w.windowTitle(), QStringLiteral("MPD Dead Track Cleaner"));
    QVERIFY(!w.pbBusy->isVisible());
    w.btnStart->click();
    QCOMPARE(w.btnStart->text(), QStringLiteral("Stop"));
    QVERIFY(w.pbBusy->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(!w.Running(), 10000);
    QCOMPARE(w.btnStart->text(), QStringLiteral("Start"));
    QVERIFY(!w.pbBusy->isVisible());
    const QStringList lines = Lines(w.lbLog);
    QVERIFY2(lines.size() >= 2, qPrintable(lines.join('|')));
    QCOMPARE(lines[0], QStringLiteral("Connecting to MPD FAILED!"));
    QVERIFY2(lines[1].contains(QStringLiteral("Connection refused")), qPrintable(lines[1]));
    w.btnClose->click();
    QVERIFY(!w.isVisible());
  }
};

QTEST_MAIN(CleanerWindowTest)
#include "CleanerWindowTest.moc"
