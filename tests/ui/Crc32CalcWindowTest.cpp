// The CRC32 calculator window as a user works it: files from the file dialog and by drop, the
// checksums against zlib's, unreadable files, the same file twice, Clear during a long read, and
// the one window the settings dialog's Tools tab opens.
#include <QDropEvent>
#include <QHeaderView>
#include <QMimeData>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QUrl>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "UiTestUtil.h"
#include "ui/Crc32CalcDialog.h"
#include "ui/SettingsDialog.h"

using pelcrow::test::Child;
using pelcrow::ui::TfmCRC32Calc;

namespace {

std::string Hex(unsigned long crc) {
  char text[9];
  std::snprintf(text, sizeof text, "%08lX", crc);
  return text;
}

QString Cell(const TfmCRC32Calc& w, int row, int column) {
  const QTableWidgetItem* item = w.sgFiles->item(row, column);
  return item ? item->text() : QString();
}

}  // namespace

class Crc32CalcWindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<pelcrow::test::TTestHome> fHome;

 private slots:
  void initTestCase() { fHome = std::make_unique<pelcrow::test::TTestHome>(); }

  // Around the block size the tool reads in, where a wrong carry between blocks would show.
  void checksumsAreZlibsForEverySizeAroundTheBlock() {
    TfmCRC32Calc w;
    w.show();
    std::vector<std::string> paths;
    std::vector<std::string> expected;
    for (const std::size_t size : {0, 1, 65520, 65521, 65522, 3 * 65521 + 7}) {
      std::string bytes(size, '\0');
      for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + 7) & 0xFF);
      paths.push_back(fHome->Write("crc/f" + std::to_string(size), bytes));
      expected.push_back(Hex(crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size()))));
    }
    paths.push_back(fHome->Write("crc/check.txt", "123456789"));
    expected.push_back("CBF43926");
    pelcrow::ui::RunCrcFileDialog = [&](QWidget*) {
      QStringList files;
      for (const std::string& p : paths) files << QString::fromStdString(p);
      return files;
    };
    w.btnBrowse->click();
    QCOMPARE(w.sgFiles->rowCount(), static_cast<int>(paths.size()));
    QTRY_VERIFY_WITH_TIMEOUT(!w.Pending(), 10000);
    QTRY_COMPARE(Cell(w, w.sgFiles->rowCount() - 1, TfmCRC32Calc::colCRC32), QStringLiteral("CBF43926"));
    for (std::size_t i = 0; i < paths.size(); ++i) {
      QCOMPARE(Cell(w, static_cast<int>(i), TfmCRC32Calc::colCRC32).toStdString(), expected[i]);
    }
    QCOMPARE(Cell(w, 0, TfmCRC32Calc::colName), QStringLiteral("f0"));
    QCOMPARE(Cell(w, 0, TfmCRC32Calc::colPath), QString::fromStdString(fHome->Home() + "/crc"));
    QCOMPARE(Cell(w, 1, TfmCRC32Calc::colSize), QStringLiteral("1 B"));
    QVERIFY(!Cell(w, 0, TfmCRC32Calc::colModified).isEmpty());
    pelcrow::ui::RunCrcFileDialog = [](QWidget*) { return QStringList(); };
    w.btnBrowse->click();  // cancelled: nothing changes
    QCOMPARE(w.sgFiles->rowCount(), static_cast<int>(paths.size()));
  }

  void theGridHasItsColumnsInOrderAndTheTextsAreGerman() {
    TfmCRC32Calc w;
    QCOMPARE(w.windowTitle(), QStringLiteral("CRC32 Calculator"));
    QStringList headers;
    for (int c = 0; c < w.sgFiles->columnCount(); ++c) headers << w.sgFiles->horizontalHeaderItem(c)->text();
    QCOMPARE(headers, (QStringList{"File Name", "CRC32", "Path", "Date", "Size", "Modified"}));
    QVERIFY(!w.sgFiles->horizontalHeader()->sectionsMovable());
    QVERIFY(w.sgFiles->editTriggers() == QAbstractItemView::NoEditTriggers);
    const QString missing = pelcrow::test::MissingGermanTexts(
        w, {"CRC32 Calculator", "File Name", "Path", "Date", "Size", "Modified", "Error", "Select File"});
    QVERIFY2(missing.isEmpty(), qPrintable(missing));
  }

  // A second add of a listed file selects its row; a file that cannot be read says "Error";
  // dropped files are added like chosen ones, folders are not.
  void sameFileTwiceUnreadableFilesAndDrops() {
    TfmCRC32Calc w;
    w.show();
    const std::string a = fHome->Write("drop/a.txt", "a");
    const std::string b = fHome->Write("drop/b.txt", "b");
    const std::string fifo = fHome->Home() + "/drop/pipe";
    QCOMPARE(::mkfifo(fifo.c_str(), 0600), 0);
    w.AddFiles({a, fifo});
    w.AddFiles({b});
    QCOMPARE(w.sgFiles->rowCount(), 3);
    w.AddFiles({a});
    QCOMPARE(w.sgFiles->rowCount(), 3);
    QCOMPARE(w.sgFiles->currentRow(), 0);

    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(fHome->Write("drop/c.txt", "c"))),
                  QUrl::fromLocalFile(QString::fromStdString(fHome->Home() + "/drop"))});
    // Qt delivers the drop to the widget that accepted the drag's entry.
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&w, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&w, &drop);
    QCOMPARE(w.sgFiles->rowCount(), 4);
    QCOMPARE(Cell(w, 3, TfmCRC32Calc::colName), QStringLiteral("c.txt"));

    QTRY_VERIFY_WITH_TIMEOUT(!w.Pending(), 10000);
    QTRY_COMPARE(Cell(w, 3, TfmCRC32Calc::colCRC32).toStdString(), Hex(crc32(0, reinterpret_cast<const Bytef*>("c"), 1)));
    QCOMPARE(Cell(w, 1, TfmCRC32Calc::colCRC32), QStringLiteral("Error"));
    QCOMPARE(Cell(w, 1, TfmCRC32Calc::colSize), QStringLiteral("Unknown"));
    std::filesystem::remove(fifo);
  }

  // Clear and Close stop a long read at once and leave an empty list.
  void clearAndCloseStopALongRead() {
    const std::string big = fHome->Home() + "/big.bin";
    {
      std::FILE* f = std::fopen(big.c_str(), "wb");
      QVERIFY(f != nullptr);
      fclose(f);
      std::filesystem::resize_file(big, std::uintmax_t{64} << 30);  // sparse: no disk, a long read
    }
    TfmCRC32Calc w;
    w.show();
    w.AddFiles({big});
    QVERIFY(w.Pending());
    QTest::qWait(50);
    w.btnClear->click();
    QCOMPARE(w.sgFiles->rowCount(), 0);
    QVERIFY(!w.Pending());
    w.AddFiles({big});
    QTest::qWait(50);
    w.btnClose->click();
    QVERIFY(!w.isVisible());
    QCOMPARE(w.sgFiles->rowCount(), 0);
    std::filesystem::remove(big);
  }

  // The Tools tab's button opens the one calculator and closes the settings dialog, keeping what
  // was changed in it; the window stays after the dialog is gone and is shown again, not made anew.
  void theToolsTabOpensTheOneCalculator() {
    TfmCRC32Calc* first = nullptr;
    {
      pelcrow::ui::TfmSettings settings;
      settings.LoadSettings(true);
      settings.show();
      const int days = pelcrow::Settings.UndoJournalDays == 12 ? 13 : 12;
      Child<QSpinBox>(settings, "edUndoDays")->setValue(days);
      QPushButton* button = Child<QPushButton>(settings, "btnCrcCalculator");
      QVERIFY(button->isEnabled());
      button->click();
      QVERIFY(!settings.isVisible());
      QCOMPARE(settings.result(), int(QDialog::Accepted));
      QCOMPARE(pelcrow::Settings.UndoJournalDays, days);
      pelcrow::TPcwSettings stored;
      stored.LoadSettings(true);
      QCOMPARE(stored.UndoJournalDays, days);
      for (QWidget* top : QApplication::topLevelWidgets()) {
        if (auto* c = qobject_cast<TfmCRC32Calc*>(top); c && c->isVisible()) first = c;
      }
      QVERIFY(first != nullptr);
    }
    QVERIFY(first->isVisible());
    first->close();
    QCOMPARE(pelcrow::ui::ShowCRC32Calculator(), first);
    QVERIFY(first->isVisible());
    first->close();
  }
};

QTEST_MAIN(Crc32CalcWindowTest)
#include "Crc32CalcWindowTest.moc"
