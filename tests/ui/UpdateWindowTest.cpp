// The update check against a local HTTPS server that the test starts on 127.0.0.1 with a
// certificate made for the run and trusted by this test program only: a newer version is offered
// and downloaded, the same version is not, a broken description offers nothing, a download whose
// checksum is wrong is refused and deleted, and a cancelled one leaves no file behind.
#include <QCheckBox>
#include <QCryptographicHash>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QtTest>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "UiTestUtil.h"
#include "services/UpdateCheck.h"
#include "settings/PcwSettings.h"
#include "ui/UpdateDialog.h"

using pelcrow::Settings;
using pelcrow::ui::TfmUpdate;

namespace fs = std::filesystem;

namespace {

constexpr const char* kPackage = "pelcrow_9.0.0_amd64.deb";

QString Sha256Of(const QByteArray& bytes) {
  return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

std::string SettingsFolder() {
  std::string folder = Settings.fSettingsPath;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

// Files in the settings folder that a download may have left.
QStringList DownloadLeftovers() {
  QStringList found;
  std::error_code ec;
  if (!fs::is_directory(Settings.fSettingsPath, ec)) return found;
  for (const auto& e : fs::directory_iterator(Settings.fSettingsPath)) {
    const std::string name = e.path().filename().string();
    if (name.rfind("pelcrow_", 0) == 0 || name.ends_with(".part") || name == "Update") {
      found << QString::fromStdString(name);
    }
  }
  return found;
}

}  // namespace

class UpdateWindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<pelcrow::test::TTestHome> fHome;
  std::string fServed;  // the server's folder
  QProcess fServer;
  QString fBase;  // https://127.0.0.1:port
  QByteArray fPackage;
  std::vector<std::string> fPresented;

  void Describe(const std::string& text) {
    fs::create_directories(fServed + "/files");
    std::ofstream(fServed + "/files/autoupdate.txt", std::ios::binary) << text;
  }
  std::string Offer(const QString& version, const QString& url, const QString& sha) {
    return ("Version: " + version + "\r\nDownloadUrl: " + url + "\r\nSha256: " + sha + "\r\n").toStdString();
  }

 private slots:
  void initTestCase() {
    fHome = std::make_unique<pelcrow::test::TTestHome>();
    fServed = fHome->Dir("served");
    fPackage.resize(600 * 1024);
    for (int i = 0; i < fPackage.size(); ++i) fPackage[i] = static_cast<char>(i * 7);
    fs::create_directories(fServed + "/files");
    std::ofstream(fServed + "/files/" + kPackage, std::ios::binary).write(fPackage.constData(), fPackage.size());
    fServer.setProgram(QStringLiteral("/usr/bin/python3"));
    fServer.setArguments({QFINDTESTDATA("update_server.py"), QString::fromStdString(fServed)});
    fServer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    fServer.start();
    QVERIFY(fServer.waitForStarted());
    QVERIFY(fServer.waitForReadyRead(30000));
    const QByteArray port = fServer.readLine().trimmed();
    QVERIFY(!port.isEmpty());
    fBase = QStringLiteral("https://127.0.0.1:") + QString::fromLatin1(port);
    // This program, and only it, trusts the server's certificate.
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.addCaCertificates(QSslCertificate::fromPath(QString::fromStdString(fServed + "/cert.pem")));
    QSslConfiguration::setDefaultConfiguration(tls);
    Settings.DbgAUServer = "127.0.0.1:" + port.toStdString();
    pelcrow::ui::PresentDownload = [this](const std::string& path) { fPresented.push_back(path); };
  }

  void cleanupTestCase() {
    fServer.closeWriteChannel();  // the server ends when its input closes
    if (!fServer.waitForFinished(5000)) fServer.kill();
  }

  void init() {
    fPresented.clear();
    for (const QString& name : DownloadLeftovers()) fs::remove(SettingsFolder() + "/" + name.toStdString());
  }

  void aNewerVersionIsOfferedDownloadedCheckedAndShown() {
    Describe(Offer("9.0.0", fBase + "/files/" + kPackage, Sha256Of(fPackage).toUpper()));
    TfmUpdate w;
    w.show();
    QCOMPARE(w.lblStatus->text(), QStringLiteral("Performing update check ..."));
    QTRY_COMPARE_WITH_TIMEOUT(w.lblStatus->text(), QStringLiteral("New version available:  9.0.0"), 10000);
    QVERIFY(w.lblQuestion->isVisible());
    QVERIFY(w.btnYes->isVisible() && w.btnNo->isVisible() && !w.btnOK->isVisible());
    w.btnYes->click();
    QVERIFY(w.Downloading());
    QVERIFY(w.pbProgress->isVisible() && w.btnCancel->isVisible());
    QTRY_VERIFY2_WITH_TIMEOUT(!w.isVisible(), qPrintable(w.lblQuestion->text()), 10000);
    QCOMPARE(w.result(), int(QDialog::Accepted));
    const std::string target = SettingsFolder() + "/" + kPackage;
    QCOMPARE(fPresented, std::vector<std::string>{target});
    std::ifstream in(target, std::ios::binary);
    const std::string got((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    QVERIFY(got == fPackage.toStdString());
    QVERIFY(fs::exists(target));
    fs::remove(target);
    QCOMPARE(DownloadLeftovers(), QStringList());
  }

  // What offers nothing: our own version, an older one, descriptions that are broken or missing.
  void theSameVersionOrABrokenDescriptionOffersNothing_data() {
    QTest::addColumn<QString>("description");
    const QString url = fBase + "/files/" + kPackage;
    const QString sha = Sha256Of(fPackage);
    QTest::newRow("same version") << QString::fromStdString(Offer(QString::fromStdString(pelcrow::InstalledVersion()), url, sha));
    QTest::newRow("older version") << QString::fromStdString(Offer("0.0.9", url, sha));
    QTest::newRow("no address") << QStringLiteral("Version: 9.0.0\r\n");
    QTest::newRow("not a description") << QStringLiteral("<html><body>Moved</body></html>");
    QTest::newRow("no description") << QString();
  }
  void theSameVersionOrABrokenDescriptionOffersNothing() {
    QFETCH(QString, description);
    if (description.isEmpty()) {
      fs::remove(fServed + "/files/autoupdate.txt");  // the server answers 404
    } else {
      Describe(description.toStdString());
    }
    TfmUpdate w;
    w.show();
    QTRY_COMPARE_WITH_TIMEOUT(w.lblStatus->text(), QStringLiteral("No updates available at this moment"), 10000);
    QVERIFY(w.btnOK->isVisible() && w.btnOK->isEnabled());
    QVERIFY(!w.btnYes->isVisible());
    w.btnOK->click();
    QVERIFY(!w.isVisible());
  }

  void aDownloadWithTheWrongChecksumIsRefusedAndDeleted() {
    Describe(Offer("9.0.0", fBase + "/files/" + kPackage, QString(64, QLatin1Char('0'))));
    TfmUpdate w;
    w.show();
    QTRY_VERIFY_WITH_TIMEOUT(w.btnYes->isVisible(), 10000);
    w.btnYes->click();
    QTRY_COMPARE_WITH_TIMEOUT(w.lblStatus->text(), QStringLiteral("Error downloading update:"), 10000);
    QVERIFY2(w.lblQuestion->text().contains(QStringLiteral("checksum")), qPrintable(w.lblQuestion->text()));
    QVERIFY(w.btnOK->isVisible() && w.btnOK->isEnabled());
    QVERIFY(fPresented.empty());
    QCOMPARE(DownloadLeftovers(), QStringList());
  }

  // Addresses that are not https, or an offer without a checksum, are never fetched.
  void onlyCheckedHttpsDownloadsAreFetched_data() {
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("sha");
    QTest::addColumn<QString>("why");
    const QString sha = Sha256Of(fPackage);
    QTest::newRow("http") << QStringLiteral("http://127.0.0.1:1/files/") + kPackage << sha << QStringLiteral("https");
    QTest::newRow("file") << QStringLiteral("file:///etc/passwd") << sha << QStringLiteral("https");
    QTest::newRow("no checksum") << fBase + "/files/" + kPackage << QString() << QStringLiteral("SHA-256");
  }
  void onlyCheckedHttpsDownloadsAreFetched() {
    QFETCH(QString, url);
    QFETCH(QString, sha);
    QFETCH(QString, why);
    Describe(Offer("9.0.0", url, sha));
    TfmUpdate w;
    w.show();
    QTRY_VERIFY_WITH_TIMEOUT(w.btnYes->isVisible(), 10000);
    w.btnYes->click();
    QVERIFY(!w.Downloading());
    QCOMPARE(w.lblStatus->text(), QStringLiteral("Error downloading update:"));
    QVERIFY2(w.lblQuestion->text().contains(why), qPrintable(w.lblQuestion->text()));
    QCOMPARE(DownloadLeftovers(), QStringList());
  }

  void cancelHalfWayLeavesNoFile() {
    Describe(Offer("9.0.0", fBase + "/slow/files/" + kPackage, Sha256Of(fPackage)));
    TfmUpdate w;
    w.show();
    QTRY_VERIFY_WITH_TIMEOUT(w.btnYes->isVisible(), 10000);
    w.btnYes->click();
    QTRY_VERIFY_WITH_TIMEOUT(w.pbProgress->value() > 0, 10000);
    QVERIFY(w.Downloading());
    QVERIFY(!DownloadLeftovers().isEmpty());  // the part written so far
    w.btnCancel->click();
    QTRY_VERIFY_WITH_TIMEOUT(!w.isVisible(), 10000);
    QVERIFY(!w.Downloading());
    QVERIFY(fPresented.empty());
    QCOMPARE(DownloadLeftovers(), QStringList());
  }

  // A window closed by its owner in the middle of a download leaves nothing either.
  void aWindowDestroyedMidDownloadLeavesNoFile() {
    Describe(Offer("9.0.0", fBase + "/slow/files/" + kPackage, Sha256Of(fPackage)));
    {
      TfmUpdate w;
      w.show();
      QTRY_VERIFY_WITH_TIMEOUT(w.btnYes->isVisible(), 10000);
      w.btnYes->click();
      QTRY_VERIFY_WITH_TIMEOUT(w.pbProgress->value() > 0, 10000);
    }
    QTest::qWait(100);
    QVERIFY(fPresented.empty());
    QCOMPARE(DownloadLeftovers(), QStringList());
  }

  // At start-up only a newer version shows a window, and the window shows it at once.
  void theStartUpCheckShowsAWindowOnlyForANewerVersion() {
    QWidget main;
    Describe(Offer(QString::fromStdString(pelcrow::InstalledVersion()), fBase + "/files/" + kPackage,
                   Sha256Of(fPackage)));
    pelcrow::ui::ShowUpdateDialog(&main, true);
    QTest::qWait(1500);
    QVERIFY(main.findChild<TfmUpdate*>() == nullptr);
    Describe(Offer("9.0.0", fBase + "/files/" + kPackage, Sha256Of(fPackage)));
    pelcrow::ui::ShowUpdateDialog(&main, true);
    QTRY_VERIFY_WITH_TIMEOUT(main.findChild<TfmUpdate*>() != nullptr, 10000);
    TfmUpdate* w = main.findChild<TfmUpdate*>();
    QVERIFY(w->isVisible());
    QCOMPARE(w->lblStatus->text(), QStringLiteral("New version available:  9.0.0"));
    w->btnNo->click();
    QTRY_VERIFY(main.findChild<TfmUpdate*>() == nullptr);
  }

  void theStartUpSwitchIsSavedAtOnce() {
    Settings.CheckForUpdates = true;
    Describe("");
    TfmUpdate w;
    QVERIFY(w.chkCheckUpdates->isChecked());
    w.chkCheckUpdates->setChecked(false);
    Settings.CheckForUpdates = true;
    Settings.LoadSettings(true);
    QVERIFY(!Settings.CheckForUpdates);
    Settings.DbgAUServer = fBase.mid(8).toStdString();  // read from the file, never written
    const QString missing = pelcrow::test::MissingGermanTexts(
        w, {"Automatic Update", "Performing update check ...", "Do You want to download and install this update?",
            "New version available: ", "No updates available at this moment", "Error downloading update:",
            "Downloading update ...", "Server response incorrect",
            "The update is not offered over a secure (https) connection; it is not downloaded.",
            "The update description gives no SHA-256 checksum to check the download against; it is not downloaded.",
            "The downloaded file does not match the checksum of the update description; it was deleted."});
    QVERIFY2(missing.isEmpty(), qPrintable(missing));
  }
};

QTEST_MAIN(UpdateWindowTest)
#include "UpdateWindowTest.moc"
