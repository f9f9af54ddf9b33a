// The preview panel beside the results of a real scan: what it shows for a picture, a picture
// with transparency, a text file, a song with cover art, a video with a cached thumbnail and an
// unknown file, the pie chart when nothing is previewed, and a thumbnail made by the desktop's
// thumbnail service for a name with a space and a ';'.
#include <QBuffer>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QSplitter>
#include <QStandardPaths>
#include <QTableView>
#include <QToolButton>
#include <QtTest>

#include <filesystem>
#include <memory>

#include <zlib.h>

#include "../audiotags/AudioBuilders.h"
#include "UiTestUtil.h"
#include "ui/FileActions.h"
#include "ui/MainWindow.h"
#include "ui/PreviewLoader.h"
#include "ui/PreviewPanel.h"
#include "ui/QtMainThread.h"
#include "ui/ResultsPanel.h"
#include "ui/ThumbnailCache.h"

using namespace pelcrow;
using pelcrow::test::Child;
using pelcrow::ui::TPreviewKind;
using pelcrow::ui::TPreviewPanel;

namespace {

QByteArray Encoded(const QImage& image, const char* format) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, format);
  return bytes;
}

std::string Bytes(const QByteArray& b) { return std::string(b.constData(), static_cast<std::size_t>(b.size())); }

QImage Gradient(int w, int h, QRgb corner) {
  QImage image(w, h, QImage::Format_ARGB32);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) image.setPixel(x, y, qRgb(x * 255 / w, y * 255 / h, 128));
  image.setPixel(0, 0, corner);
  return image;
}

QByteArray Chunk(const QByteArray& type, const QByteArray& data) {
  QByteArray c;
  for (int shift : {24, 16, 8, 0}) c += static_cast<char>((data.size() >> shift) & 0xFF);
  const QByteArray body = type + data;
  const auto crc = static_cast<quint32>(
      ::crc32(0, reinterpret_cast<const Bytef*>(body.constData()), static_cast<uInt>(body.size())));
  c += body;
  for (int shift : {24, 16, 8, 0}) c += static_cast<char>((crc >> shift) & 0xFF);
  return c;
}

// A thumbnail as the desktop stores it: the keys as tEXt chunks right after the header.
void WriteThumbnail(const std::string& path, const QImage& image, const QString& mtime,
                    const QString& uri = QString()) {
  const QString file = ui::ThumbnailFile(path, QStringLiteral("normal"));
  QDir().mkpath(QFileInfo(file).path());
  QByteArray png = Encoded(image, "PNG");
  const QByteArray text = Chunk("tEXt", "Thumb::URI" + QByteArray(1, '\0') + (uri.isEmpty() ? ui::ThumbnailUri(path) : uri).toUtf8()) +
                          Chunk("tEXt", "Thumb::MTime" + QByteArray(1, '\0') + mtime.toLatin1());
  png.insert(8 + 25, text);  // signature, then the 25-byte IHDR chunk
  QFile f(file);
  QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write(png);
}

QString MTimeOf(const std::string& path, const char* fraction) {
  return QString::number(QFileInfo(QString::fromStdString(path)).lastModified().toSecsSinceEpoch()) +
         QString::fromLatin1(fraction);
}

// With PELCROW_SHOT_DIR set (a run under Xvfb), the screen at this moment goes there as NAME.png.
void Screenshot(QWidget& w, const char* name) {
  const QString dir = qEnvironmentVariable("PELCROW_SHOT_DIR");
  if (dir.isEmpty()) return;
  w.raise();
  QTest::qWait(300);
  QProcess::execute(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"),
                                               dir + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".png")});
}

}  // namespace

class PreviewPanelTest : public QObject {
  Q_OBJECT

  std::unique_ptr<test::TTestHome> fHome;
  std::unique_ptr<ui::TQtMainThread> fMainThread;
  test::TScriptedPrompt fPrompt;
  std::string fRoot;

  // Every file twice, so that the scan lists it.
  void Pair(const std::string& name, const std::string& bytes) {
    fHome->Write("tree/a/" + name, bytes);
    fHome->Write("tree/b/" + name, bytes);
  }

  void MakeTree() {
    fRoot = fHome->Dir("tree");
    Pair("photo.jpg", Bytes(Encoded(Gradient(640, 480, qRgb(255, 0, 0)).convertToFormat(QImage::Format_RGB32), "JPEG")));
    QImage clear = Gradient(200, 100, qRgba(0, 0, 0, 0));
    for (int y = 0; y < 50; ++y)
      for (int x = 0; x < 50; ++x) clear.setPixel(x, y, qRgba(0, 0, 0, 0));
    Pair("clear.png", Bytes(Encoded(clear, "PNG")));
    // Latin-1 text: the preview must not show it as broken UTF-8.
    Pair("notes.txt", std::string("Gr\xFC\xDF" "e aus K\xF6ln\nzweite Zeile\n"));
    const std::string cover = Bytes(Encoded(Gradient(300, 300, qRgb(0, 0, 255)), "PNG"));
    const std::string tag = test::Id3v2Tag(3, test::Id3v2Text(3, "TIT2", "Moonlight") + test::Id3v2Text(3, "TPE1", "Band") +
                                                  test::Id3v2Picture(3, "image/png", 3, "Cover", cover));
    Pair("song.mp3", tag + test::MpegFrames(test::Mpeg1L3Header128(), 417, 200));
    Pair("clip.mkv", std::string("\x1A\x45\xDF\xA3", 4) + std::string(3000, '\x42'));
    std::string binary;
    for (int i = 0; i < 4096; ++i) binary += static_cast<char>((i * 7919) % 251);
    Pair("blob.xqz", binary);
  }

  std::string Path(const std::string& rel) const { return fRoot + "/" + rel; }

  int RowOf(TScanEngine& e, const std::string& rel) {
    for (int r = 0; r < e.ItemCount(); ++r)
      if (e.Item(r)->FullPath() == Path(rel)) return r;
    return -1;
  }

  void Scan(ui::TfmMain& w) {
    w.AddIncludeFolder(fRoot);
    QTest::mouseClick(Child<QPushButton>(w, "crbStart"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(w.StartTag(), 0, 30000);
    QCOMPARE(w.ScanEngine().ItemCount(), 12);
  }

  // Focuses a row as the keyboard does and waits for the preview built for it.
  void Focus(ui::TfmMain& w, const std::string& rel) {
    auto* grid = Child<QTableView>(w, "sgFileList");
    const int row = RowOf(w.ScanEngine(), rel);
    QVERIFY(row >= 0);
    grid->setCurrentIndex(grid->model()->index(row, 1));
    w.Preview()->FlushPreviewTimer();
    QTRY_VERIFY_WITH_TIMEOUT(!w.Preview()->Loading(), 10000);
    QCOMPARE(w.Preview()->PreviewedPath(), Path(rel));
  }

 private slots:
  void initTestCase() {
    fHome = std::make_unique<test::TTestHome>();
    fMainThread = std::make_unique<ui::TQtMainThread>(this);
    SetMainThread(fMainThread.get());
    SetUserPrompt(&fPrompt);
    MakeTree();
  }

  void cleanupTestCase() {
    SetUserPrompt(nullptr);
    SetMainThread(nullptr);
  }

  void init() {
    test::FreshSettings();
    fPrompt.Clear();
  }

  void showsEachKindOfFile() {
    WriteThumbnail(Path("a/clip.mkv"), Gradient(128, 72, qRgb(0, 255, 0)), MTimeOf(Path("a/clip.mkv"), ".734512"));
    ui::TfmMain w;
    w.resize(1400, 800);
    w.show();
    TPreviewPanel* p = w.Preview();
    QVERIFY(p->isVisible());
    QVERIFY(Child<QToolButton>(w, "btnPreview")->isChecked());
    Scan(w);
    QVERIFY(p->ChartShown());
    Screenshot(w, "preview-chart");

    struct TCase {
      const char* Rel;
      ui::TPreviewState State;
      TPreviewKind Kind;
      const char* Text;  // in the text view, or nothing
    };
    const TCase cases[] = {
        {"a/photo.jpg", ui::psOwnPreview, TPreviewKind::pkPicture, nullptr},
        {"a/clear.png", ui::psOwnPreview, TPreviewKind::pkPicture, nullptr},
        {"a/notes.txt", ui::psOwnPreview, TPreviewKind::pkText, "Grüße aus Köln\nzweite Zeile"},
        {"a/song.mp3", ui::psOwnPreview, TPreviewKind::pkAudio, "Title: Moonlight\nArtist: Band"},
        {"a/clip.mkv", ui::psThumbnail, TPreviewKind::pkThumbnail, nullptr},
        {"b/clip.mkv", ui::psIcon, TPreviewKind::pkIcon, nullptr},
        {"a/blob.xqz", ui::psIcon, TPreviewKind::pkIcon, nullptr},
    };
    for (const TCase& c : cases) {
      Focus(w, c.Rel);
      QVERIFY2(p->State() == c.State, c.Rel);
      QVERIFY2(p->Kind() == c.Kind, c.Rel);
      QVERIFY(!p->ChartShown());
      QVERIFY2(p->InfoText().startsWith(QString::fromStdString(Path(c.Rel)) + QStringLiteral("\n (Size: ")), c.Rel);
      if (c.Text) QVERIFY2(p->ShownText().startsWith(QString::fromUtf8(c.Text)), qPrintable(p->ShownText()));
      else QVERIFY2(p->ShownText().isEmpty(), c.Rel);
      QVERIFY2(p->ShownImage().isNull() == (c.Kind == TPreviewKind::pkText), c.Rel);
      const QImage shown = p->ShownImage();
      if (std::string(c.Rel) == "a/photo.jpg") {
        // Scaled to the panel on the worker, keeping the shape.
        QVERIFY(shown.width() <= 640 && shown.width() < p->width());
        QVERIFY(std::abs(shown.width() * 3 - shown.height() * 4) <= 4);
        QVERIFY(p->InfoText().endsWith(QStringLiteral("Width: 640 px; Height: 480 px")));
      }
      if (std::string(c.Rel) == "a/clear.png") {
        QVERIFY(shown.hasAlphaChannel());
        QCOMPARE(qAlpha(shown.pixel(0, 0)), 0);
      }
      if (std::string(c.Rel) == "a/song.mp3") QCOMPARE(qBlue(shown.pixel(shown.width() / 2, 0)), 128);
      if (std::string(c.Rel) == "a/clip.mkv") QVERIFY(std::abs(qGreen(shown.pixel(shown.width() / 2, shown.height() / 2)) - 127) <= 6);
      Screenshot(w, ("preview-" + std::filesystem::path(c.Rel).filename().string()).c_str());
    }

    // The same row again builds nothing new.
    QSignalSpy shownSpy(p, &TPreviewPanel::PreviewShown);
    p->UpdatePreview();
    p->FlushPreviewTimer();
    QVERIFY(!p->Loading());
    QTest::qWait(50);
    QCOMPARE(shownSpy.count(), 0);

    // Running through the list gives one preview, of the row the focus stops on.
    auto* grid = Child<QTableView>(w, "sgFileList");
    p->ClearPreview();
    for (int r = 0; r < 10; ++r) grid->setCurrentIndex(grid->model()->index(r, 1));
    QTRY_COMPARE_WITH_TIMEOUT(shownSpy.count(), 1, 5000);
    QTest::qWait(400);
    QCOMPARE(shownSpy.count(), 1);
    QCOMPARE(p->PreviewedPath(), w.ScanEngine().Item(9)->FullPath());

    // A file deleted since the scan: no picture, no info.
    std::filesystem::remove(Path("b/notes.txt"));
    Focus(w, "b/notes.txt");
    QCOMPARE(p->InfoText(), QString());
    QVERIFY(p->ShownImage().isNull());
    fHome->Write("tree/b/notes.txt", std::string("Gr\xFC\xDF" "e aus K\xF6ln\nzweite Zeile\n"));

    // Switched off, the panel goes and the choice is kept; on again, the chart is back.
    QToolButton* button = Child<QToolButton>(w, "btnPreview");
    button->click();
    QVERIFY(!p->isVisible());
    QVERIFY(!Settings.ShowPreview);
    QCOMPARE(p->State(), ui::psNone);
    button->click();
    QVERIFY(p->isVisible());
    QVERIFY(Settings.ShowPreview);
    QVERIFY(p->ChartShown());
  }

  // Every category found gets its slice, largest first; one category alone is one slice.
  void chartOfCategories() {
    ui::TfmMain w;
    w.resize(1400, 800);
    w.show();
    Scan(w);
    const auto entries = w.Preview()->ChartEntries();
    QStringList names;
    double sum = 0;
    for (const auto& e : entries) {
      names << e.Name;
      sum += e.Value;
    }
    QCOMPARE(names.first(), QStringLiteral("Music"));
    names.sort();
    QCOMPARE(names, QStringList({"Documents", "Music", "Other", "Pictures", "Video"}));
    for (std::size_t i = 1; i < entries.size(); ++i) QVERIFY(entries[i - 1].Value >= entries[i].Value);
    QVERIFY(std::abs(sum - 100) < 0.05);

    // Only pictures: one slice.
    std::string single = fHome->Dir("single");
    fHome->Write("single/1.png", "same bytes");
    fHome->Write("single/2.png", "same bytes");
    ui::TfmMain w2;
    w2.resize(1400, 800);
    w2.show();
    w2.AddIncludeFolder(single);
    QTest::mouseClick(Child<QPushButton>(w2, "crbStart"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(w2.StartTag(), 0, 30000);
    QCOMPARE(w2.Preview()->ChartEntries().size(), std::size_t(1));
    QCOMPARE(w2.Preview()->ChartEntries().front().Name, QStringLiteral("Pictures"));
  }

  void pieOrder() {
    using ui::TPieStatInfo;
    QVERIFY(ui::PieLess({1.0, {}}, {2.0, {}}));
    QVERIFY(!ui::PieLess({2.0, {}}, {1.0, {}}));
    QVERIFY(!ui::PieLess({1.0, {}}, {1.0005, {}}));
    QVERIFY(!ui::PieLess({1.0005, {}}, {1.0, {}}));
  }

  void textEncodings() {
    struct TCase {
      const char* Name;
      QByteArray Bytes;
      QString Text;
    };
    const TCase cases[] = {
        {"UTF-8", QByteArray("K\xC3\xB6ln\r\nZeile 2"), QStringLiteral("Köln\nZeile 2")},
        {"UTF-8 with BOM", QByteArray("\xEF\xBB\xBFK\xC3\xB6ln"), QStringLiteral("Köln")},
        {"UTF-16LE with BOM", QByteArray("\xFF\xFEK\0\xF6\0l\0n\0", 10), QStringLiteral("Köln")},
        {"Windows-1252", QByteArray("K\xF6ln \x80"), QStringLiteral("Köln €")},
        {"tabs widened", QByteArray("a\tb"), QStringLiteral("a    b")},
    };
    for (const TCase& c : cases) QVERIFY2(ui::DecodePreviewText(c.Bytes, 10) == c.Text, c.Name);
    QCOMPARE(ui::DecodePreviewText(QByteArray("1\n2\n3\n4"), 2), QStringLiteral("1\n2"));
  }

  // A thumbnail belongs to the file only while its URI and whole-second time match.
  void thumbnailValidity() {
    const std::string file = fHome->Write("thumbs/x y;z.dat", "data");
    QVERIFY(ui::FindThumbnail(file, 128).isNull());
    struct TCase {
      const char* Name;
      QString MTime;
      bool Valid;
    };
    const TCase cases[] = {{"whole seconds", MTimeOf(file, ""), true},
                           {"fraction, as the thumbnail service writes it", MTimeOf(file, ".999"), true},
                           {"another second", QString::number(QFileInfo(QString::fromStdString(file)).lastModified().toSecsSinceEpoch() - 1), false},
                           {"no number", QStringLiteral("soon"), false}};
    for (const TCase& c : cases) {
      WriteThumbnail(file, Gradient(64, 64, qRgb(1, 2, 3)), c.MTime);
      QVERIFY2(ui::FindThumbnail(file, 128).isNull() != c.Valid, c.Name);
    }
    // Another file's thumbnail under this file's name does not count.
    WriteThumbnail(file, Gradient(64, 64, 0), MTimeOf(file, ""), QStringLiteral("file:///elsewhere.dat"));
    QVERIFY(ui::FindThumbnail(file, 128).isNull());
  }

  // The desktop's thumbnail service (tumbler) makes the thumbnail; our lookup finds it.
  void thumbnailFromTheService() {
    const QString dbus = QStandardPaths::findExecutable(QStringLiteral("dbus-run-session"));
    const QString gdbus = QStandardPaths::findExecutable(QStringLiteral("gdbus"));
    if (dbus.isEmpty() || gdbus.isEmpty() || !QFileInfo::exists(QStringLiteral("/usr/share/dbus-1/services/org.xfce.Tumbler.Thumbnailer1.service")))
      QSKIP("tumbler, dbus-run-session or gdbus is not installed");
    const std::string file = fHome->Write("thumbs/holiday photo;1.png", Bytes(Encoded(Gradient(300, 200, 0), "PNG")));
    const QString expected = ui::ThumbnailFile(file, QStringLiteral("normal"));
    QFile::remove(expected);
    const QString script = QStringLiteral(
        "gdbus call --session -t 120 --dest org.freedesktop.thumbnails.Thumbnailer1 "
        "--object-path /org/freedesktop/thumbnails/Thumbnailer1 "
        "--method org.freedesktop.thumbnails.Thumbnailer1.Queue \"['$1']\" \"['image/png']\" normal default 'uint32 0' "
        ">/dev/null || exit 1; i=0; while [ ! -s \"$2\" ] && [ $i -lt 600 ]; do sleep 0.2; i=$((i+1)); done; "
        "[ -s \"$2\" ]");
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // The service's media plug-in builds a registry on its first start; one kept beside the test
    // work makes later runs quick.
    env.insert(QStringLiteral("GST_REGISTRY"), QCoreApplication::applicationDirPath() + QStringLiteral("/test-work/gst-registry.bin"));
    p.setProcessEnvironment(env);
    p.start(dbus, {QStringLiteral("--"), QStringLiteral("sh"), QStringLiteral("-c"), script, QStringLiteral("sh"),
                   ui::ThumbnailUri(file), expected});
    QVERIFY(p.waitForFinished(240000));
    QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
    QVERIFY(ui::ThumbnailUri(file).contains(QStringLiteral("holiday%20photo%3B1.png")));
    const QImage thumb = ui::FindThumbnail(file, 128);
    QVERIFY(!thumb.isNull());
    QCOMPARE(thumb.width(), 128);
  }

  void picturePreviewDialog() {
    QString info, close;
    ui::RunModal = [&](QDialog& dlg) {
      info = dlg.findChild<QLabel*>(QStringLiteral("lPictureInfo"))->text();
      QPushButton* b = dlg.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Close);
      close = b->text();
      return 0;
    };
    ui::ShowPicturePreview(Path("a/photo.jpg"), nullptr);
    test::CloseModalsAtOnce();
    QCOMPARE(info, QStringLiteral("Width: 640 px; Height: 480 px"));
    QCOMPARE(close, QStringLiteral("Close"));
    // Not a picture: the error, no dialog.
    test::ShownModals().clear();
    ui::ShowPicturePreview(Path("a/notes.txt"), nullptr);
    QVERIFY(test::ShownModals().empty());
    QVERIFY(!fPrompt.Messages.empty());
    QCOMPARE(fPrompt.Messages.back().Text,
             std::string("Error while reading the specified picture file.\r\nThis is not a valid image file, or its "
                         "format is not currently supported."));
  }

  void germanTexts() {
    QCOMPARE(test::MissingGermanTexts(QWidget(), {"Width: %d px; Height: %d px",
                                                  "Error while reading the specified picture file.",
                                                  "This is not a valid image file, or its format is not currently supported.",
                                                  "Bit Rate", "Size", "Unknown"}),
             QString());
  }
};

QTEST_MAIN(PreviewPanelTest)
#include "PreviewPanelTest.moc"
