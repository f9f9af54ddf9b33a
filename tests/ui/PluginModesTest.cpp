// The e-mail and contacts modes as a user meets them: a Maildir++ store written by Python's
// mailbox module, its folders in the tree, a scan, the oldest copy kept, the rest deleted into
// the store's trash and Undo bringing them back; an address book's duplicate cards merged and
// unmerged. Each step is checked in the store itself.
#include <QListWidget>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QTableView>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

#include <filesystem>
#include <fstream>
#include <memory>

#include "UiTestUtil.h"
#include "engine/ResultColumns.h"
#include "ui/MainWindow.h"
#include "ui/QtMainThread.h"
#include "ui/ScanModes.h"

using pelcrow::ui::TfmMain;
namespace fs = std::filesystem;

namespace {

using pelcrow::test::Child;

// Subject, folder ("" inbox) and date of one message; the body makes the rest of it.
struct TMessage {
  const char* Folder;
  const char* Subject;
  const char* Date;
  const char* Body;
};

// Writes the messages into a Maildir++ store with Python's mailbox module.
void MakeStore(const std::string& root, const std::vector<TMessage>& messages) {
  QString script = QStringLiteral(
      "import mailbox, sys\n"
      "store = mailbox.Maildir(sys.argv[1], create=True)\n"
      "store.add_folder('Trash')\n"
      "for folder, subject, date, body in [");
  for (const TMessage& m : messages)
    script += QStringLiteral("(%1, %2, %3, %4),")
                  .arg(QString::fromUtf8("'''%1'''").arg(QString::fromUtf8(m.Folder)),
                       QString::fromUtf8("'''%1'''").arg(QString::fromUtf8(m.Subject)),
                       QString::fromUtf8("'''%1'''").arg(QString::fromUtf8(m.Date)),
                       QString::fromUtf8("'''%1'''").arg(QString::fromUtf8(m.Body)));
  script += QStringLiteral(
      "]:\n"
      "    box = store if not folder else (store.get_folder(folder) if folder in store.list_folders() else store.add_folder(folder))\n"
      "    msg = mailbox.MaildirMessage()\n"
      "    msg['From'] = 'Ann Smith <ann@example.org>'\n"
      "    msg['To'] = 'bob@example.org'\n"
      "    msg['Subject'] = subject\n"
      "    msg['Date'] = date\n"
      "    msg.set_payload(body, 'utf-8')\n"
      "    msg.set_subdir('cur')\n"
      "    box.add(msg)\n");
  QProcess p;
  p.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), script, QString::fromStdString(root)});
  QVERIFY(p.waitForFinished(30000));
  QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
}

// The subjects Python's mailbox module finds in each folder: "inbox: A; Trash: B".
QString StoreContents(const std::string& root) {
  QProcess p;
  p.start(QStringLiteral("/usr/bin/python3"),
          {QStringLiteral("-c"),
           QStringLiteral("import mailbox, sys, email.header\n"
                          "store = mailbox.Maildir(sys.argv[1], create=False)\n"
                          "def subjects(box):\n"
                          "    return ','.join(sorted(str(email.header.make_header(email.header.decode_header(m['Subject']))) for m in box))\n"
                          "parts = ['inbox: ' + subjects(store)]\n"
                          "for f in sorted(store.list_folders()):\n"
                          "    parts.append(f + ': ' + subjects(store.get_folder(f)))\n"
                          "print('; '.join(parts), end='')\n"),
           QString::fromStdString(root)});
  if (!p.waitForFinished(30000) || p.exitCode() != 0) return QString::fromUtf8(p.readAllStandardError());
  return QString::fromUtf8(p.readAllStandardOutput());
}

QStringList TreeCaptions(QTreeWidget* tree) {
  QStringList out;
  QTreeWidgetItemIterator it(tree);
  for (; *it; ++it) out << (*it)->text(0);
  return out;
}

}  // namespace

class PluginModesTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<pelcrow::test::TTestHome> fHome;
  std::unique_ptr<pelcrow::ui::TQtMainThread> fMainThread;
  pelcrow::test::TScriptedPrompt fPrompt;
  std::string fStore;

  // With PELCROW_SHOT_DIR, a picture of the window for a person to judge.
  static void Shot(TfmMain& w, const char* name) {
    const QString dir = qEnvironmentVariable("PELCROW_SHOT_DIR");
    if (dir.isEmpty()) return;
    w.resize(1200, 800);
    w.show();
    QTest::qWait(300);
    w.grab().save(dir + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".png"));
  }

 private slots:
  void initTestCase() {
    fHome = std::make_unique<pelcrow::test::TTestHome>();
    fMainThread = std::make_unique<pelcrow::ui::TQtMainThread>(this);
    pelcrow::SetMainThread(fMainThread.get());
    pelcrow::SetUserPrompt(&fPrompt);
  }
  void cleanupTestCase() {
    pelcrow::SetUserPrompt(nullptr);
    pelcrow::SetMainThread(nullptr);
  }
  void init() {
    pelcrow::test::FreshSettings();
    fPrompt.Clear();
    fs::remove_all(fHome->Home() + "/state/pelcrow/journal");
    fStore = fHome->Home() + "/Maildir";
    fs::remove_all(fStore);
    MakeStore(fStore, {{"", "Grüße", "Tue, 01 Jul 2003 10:52:37 +0200", "Same words.\n"},
                       {"Work", "Grüße", "Wed, 02 Jul 2003 09:00:00 +0200", "Same words.\n"},
                       {"Work", "Other", "Wed, 02 Jul 2003 09:00:00 +0200", "Other words.\n"}});
    pelcrow::Settings.MaildirStores = fStore;
    pelcrow::Settings.ThunderbirdProfiles.clear();
    pelcrow::Settings.SaveSettings();
  }

  // Find, keep the oldest, delete into the store's trash, undo: the store is as it was.
  void scanDeleteAndUndo() {
    const QString before = StoreContents(fStore);
    QCOMPARE(before, QStringLiteral("inbox: Grüße; Trash: ; Work: Grüße,Other"));
    TfmMain w;
    w.ChooseScanMode(pelcrow::cmEmails);
    QCOMPARE(pelcrow::Settings.ComparisonMode(), pelcrow::cmEmails);
    QVERIFY(fPrompt.Messages.empty());
    auto* tree = Child<QTreeWidget>(w, "tvFolderList");
    const QStringList captions = TreeCaptions(tree);
    QVERIFY2(captions.contains(QStringLiteral("Work")) && captions.contains(QStringLiteral("Trash")),
             qPrintable(captions.join(QLatin1Char('|'))));
    // The store's top folder, as a user adds it with a double click.
    tree->setCurrentItem(tree->topLevelItem(0));
    Child<QPushButton>(w, "bAdd")->click();
    QCOMPARE(Child<QListWidget>(w, "lbInclude")->count(), 1);
    Child<QPushButton>(w, "crbStart")->click();
    QTRY_COMPARE_WITH_TIMEOUT(w.StartTag(), 0, 30000);
    pelcrow::TScanEngine& engine = w.ScanEngine();
    QCOMPARE(engine.ItemCount(), 2);
    // The grid shows the mail columns.
    auto* grid = Child<QTableView>(w, "sgFileList");
    QAbstractItemModel* model = grid->model();
    QStringList heads;
    for (int c = 0; c < model->columnCount(); ++c) heads << model->headerData(c, Qt::Horizontal).toString();
    QVERIFY2(heads.contains(QStringLiteral("Subject")) && heads.contains(QStringLiteral("From")),
             qPrintable(heads.join(QLatin1Char('|'))));
    const int subject = static_cast<int>(heads.indexOf(QStringLiteral("Subject")));
    QCOMPARE(model->data(model->index(0, subject)).toString(), QStringLiteral("Grüße"));

    // The processing menu offers what the mail mode can do.
    std::unique_ptr<QMenu> menu(w.Processing().BuildProcessingMenu(&w));
    QStringList items;
    for (QAction* a : menu->actions())
      if (!a->isSeparator()) items << a->objectName();
    QCOMPARE(items, (QStringList{"miMove", "miDelete"}));

    fPrompt.Answers = {true};
    w.Processing().Resolve(pelcrow::ui::rsOldest, pelcrow::ui::rmRemove);
    QCOMPARE(fPrompt.Questions.size(), size_t(1));
    QCOMPARE(fPrompt.Questions[0], std::string("Do you really want to delete all selected items?"));
    QVERIFY2(fPrompt.Messages.empty(), fPrompt.Messages.empty() ? "" : fPrompt.Messages[0].Text.c_str());
    QCOMPARE(StoreContents(fStore), QStringLiteral("inbox: Grüße; Trash: Grüße; Work: Other"));

    auto* undo = Child<QToolButton>(w, "btnUndo");
    QVERIFY(undo->isEnabled());
    fPrompt.Clear();
    fPrompt.Answers = {true};
    undo->click();
    QCOMPARE(StoreContents(fStore), before);
  }

  // A message changed since the scan is not deleted, and the user is told why.
  void changedMessageIsRefused() {
    TfmMain w;
    w.ChooseScanMode(pelcrow::cmEmails);
    auto* tree = Child<QTreeWidget>(w, "tvFolderList");
    tree->setCurrentItem(tree->topLevelItem(0));
    Child<QPushButton>(w, "bAdd")->click();
    Child<QPushButton>(w, "crbStart")->click();
    QTRY_COMPARE_WITH_TIMEOUT(w.StartTag(), 0, 30000);
    QCOMPARE(w.ScanEngine().ItemCount(), 2);
    // The newer copy (in Work) is the one the rule selects; it changes on disk (the unique
    // message there too, which nothing selects).
    for (const auto& e : fs::directory_iterator(fStore + "/.Work/cur")) std::ofstream(e.path(), std::ios::app) << "more\n";
    fPrompt.Answers = {true};
    w.Processing().Resolve(pelcrow::ui::rsOldest, pelcrow::ui::rmRemove);
    QCOMPARE(fPrompt.Messages.size(), size_t(1));
    const std::string& said = fPrompt.Messages[0].Text;
    QVERIFY2(said.rfind("1 of 1 files were not deleted.", 0) == 0 && said.find("changed") != std::string::npos,
             said.c_str());
    QCOMPARE(StoreContents(fStore), QStringLiteral("inbox: Grüße; Trash: ; Work: Grüße,Other"));
  }

  // Contacts: two cards of one person, the address boxes in the grid, a merge that keeps the
  // ticked addresses, and Undo giving both cards back byte for byte.
  void contactsMergeAndUndo() {
    const std::string book = fHome->Home() + "/contacts/book";
    fs::remove_all(book);
    const std::string ann1 = fHome->Write("contacts/book/ann1.vcf",
                                          "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:ann1\r\nFN:Ann Smith\r\nN:Smith;Ann;;;\r\n"
                                          "EMAIL:ann@example.org\r\nX-NOTE:kept\r\nREV:20200101T000000Z\r\nEND:VCARD\r\n");
    const std::string ann2 = fHome->Write("contacts/book/ann2.vcf",
                                          "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:ann2\r\nFN:Ann Smith\r\nN:Smith;Ann;;;\r\n"
                                          "EMAIL:ann@example.org\r\nEMAIL:ann@work.example\r\nREV:20210101T000000Z\r\n"
                                          "END:VCARD\r\n");
    fHome->Write("contacts/book/bob.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:bob\r\nFN:Bob\r\nEMAIL:bob@example.org\r\n"
                                          "END:VCARD\r\n");
    const auto read = [](const std::string& path) {
      std::ifstream in(path, std::ios::binary);
      return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    };
    const std::string ann1Before = read(ann1), ann2Before = read(ann2);
    pelcrow::Settings.AddressBooks = book;
    pelcrow::Settings.SaveSettings();
    TfmMain w;
    w.ChooseScanMode(pelcrow::cmContacts);
    QCOMPARE(pelcrow::Settings.ComparisonMode(), pelcrow::cmContacts);
    auto* tree = Child<QTreeWidget>(w, "tvFolderList");
    QVERIFY(tree->topLevelItemCount() > 0);
    tree->setCurrentItem(tree->topLevelItem(0));
    Child<QPushButton>(w, "bAdd")->click();
    Child<QPushButton>(w, "crbStart")->click();
    QTRY_COMPARE_WITH_TIMEOUT(w.StartTag(), 0, 30000);
    pelcrow::TScanEngine& engine = w.ScanEngine();
    QCOMPARE(engine.ItemCount(), 2);
    QAbstractItemModel* model = Child<QTableView>(w, "sgFileList")->model();
    int email2 = -1;
    for (int c = 0; c < model->columnCount(); ++c)
      if (model->headerData(c, Qt::Horizontal).toString() == QStringLiteral("E-mail 2")) email2 = c;
    QVERIFY(email2 >= 0);
    // The boxes of the addresses start ticked; an empty address has none.
    int rowAnn2 = -1;
    for (int r = 0; r < 2; ++r)
      if (engine.Item(r)->Emails && engine.Item(r)->Emails->Address2 == "ann@work.example") rowAnn2 = r;
    QVERIFY(rowAnn2 >= 0);
    QCOMPARE(model->data(model->index(rowAnn2, email2), Qt::CheckStateRole).toInt(), int(Qt::Checked));
    QVERIFY(!(model->flags(model->index(1 - rowAnn2, email2)) & Qt::ItemIsUserCheckable));

    std::unique_ptr<QMenu> menu(w.Processing().BuildProcessingMenu(&w));
    QStringList items;
    for (QAction* a : menu->actions())
      if (!a->isSeparator()) items << a->objectName();
    QCOMPARE(items, (QStringList{"miMerge", "miDelete"}));

    // The older card stays and takes the work address of the newer one.
    QVERIFY(model->setData(model->index(rowAnn2, 0), Qt::Checked, Qt::CheckStateRole));
    QVERIFY(engine.Item(rowAnn2)->fSelected);
    Shot(w, "contacts-mode");
    w.Processing().RunMergeContacts();
    QVERIFY2(fPrompt.Messages.empty(), fPrompt.Messages.empty() ? "" : fPrompt.Messages[0].Text.c_str());
    const std::string merged = read(ann1);
    QVERIFY2(merged.find(":ann@work.example\r\n") != std::string::npos, merged.c_str());
    QVERIFY(merged.find("X-NOTE:kept\r\n") != std::string::npos);
    QVERIFY(!fs::exists(ann2));
    // The card that stays is changed, not gone: only the merged-away one is struck out.
    const int rowAnn1 = 1 - rowAnn2;
    QVERIFY(!model->data(model->index(rowAnn1, 1), Qt::FontRole).value<QFont>().strikeOut());
    QVERIFY(model->data(model->index(rowAnn2, 1), Qt::FontRole).value<QFont>().strikeOut());

    auto* undo = Child<QToolButton>(w, "btnUndo");
    QVERIFY(undo->isEnabled());
    fPrompt.Answers = {true};
    undo->click();
    QCOMPARE(read(ann1), ann1Before);
    QCOMPARE(read(ann2), ann2Before);
  }

  // Photos: a Shotwell library made from the tables the real Shotwell wrote, its events in the
  // tree, the copy selected and moved into Shotwell's trash, and Undo taking it out again.
  void photosDeleteAndUndo() {
    const std::string source = fs::path(__FILE__).parent_path().parent_path().parent_path().string();
    const std::string data = fHome->Home() + "/photos";
    fs::remove_all(data);
    fs::create_directories(data + "/shotwell/data");
    const std::string db = data + "/shotwell/data/photo.db";
    const std::string a = fHome->Write("photos/pics/red.jpg", "same picture bytes");
    const std::string b = fHome->Write("photos/pics/red-copy.jpg", "same picture bytes");
    const auto sql = [&db](const QString& text) {
      QProcess p;
      p.start(QStringLiteral("sqlite3"), {QString::fromStdString(db), text});
      p.waitForFinished(30000);
      return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    };
    {
      QProcess p;
      p.setStandardInputFile(QString::fromStdString(source + "/tests/data/shotwell/schema.sql"));
      p.start(QStringLiteral("sqlite3"), {QString::fromStdString(db)});
      QVERIFY(p.waitForFinished(30000));
      QCOMPARE(p.exitCode(), 0);
    }
    sql(QStringLiteral("insert into EventTable (id, name, primary_photo_id, time_created) values (1, 'Holiday', -1, 0)"));
    int id = 0;
    for (const std::string& file : {a, b}) {
      ++id;
      sql(QStringLiteral("insert into PhotoTable (id, filename, width, height, filesize, timestamp, exposure_time, "
                         "orientation, original_orientation, import_id, event_id, transformations, md5, time_created, "
                         "flags, rating, file_format) values (%1, '%2', 640, 480, 0, 1000, %3, 1, 1, 1, 1, NULL, NULL, "
                         "0, 0, 0, 0)")
              .arg(id)
              .arg(QString::fromStdString(file))
              .arg(1500000000 + id * 1000));
    }
    pelcrow::Settings.PhotoLibrary = db;
    pelcrow::Settings.PhotoScriptFolder = source + "/photoscripts";
    pelcrow::Settings.SaveSettings();

    TfmMain w;
    w.ChooseScanMode(pelcrow::cmPhotoLibrary);
    QVERIFY2(fPrompt.Messages.empty(), fPrompt.Messages.empty() ? "" : fPrompt.Messages[0].Text.c_str());
    QCOMPARE(pelcrow::Settings.ComparisonMode(), pelcrow::cmPhotoLibrary);
    auto* tree = Child<QTreeWidget>(w, "tvFolderList");
    QVERIFY2(TreeCaptions(tree).contains(QStringLiteral("Holiday")), qPrintable(TreeCaptions(tree).join(QLatin1Char('|'))));
    for (QTreeWidgetItemIterator it(tree); *it; ++it)
      if ((*it)->text(0) == QStringLiteral("Holiday")) tree->setCurrentItem(*it);
    Child<QPushButton>(w, "bAdd")->click();
    auto* start = Child<QPushButton>(w, "crbStart");
    QVERIFY(start->isEnabled());
    start->click();
    QTRY_COMPARE_WITH_TIMEOUT(w.StartTag(), 0, 30000);
    pelcrow::TScanEngine& engine = w.ScanEngine();
    QCOMPARE(engine.ItemCount(), 2);

    int copy = -1;
    for (int r = 0; r < 2; ++r)
      if (engine.Item(r)->Name.str() == "red-copy.jpg") copy = r;
    QVERIFY(copy >= 0);
    QAbstractItemModel* model = Child<QTableView>(w, "sgFileList")->model();
    QVERIFY(model->setData(model->index(copy, 0), Qt::Checked, Qt::CheckStateRole));
    QVERIFY(engine.Item(copy)->fSelected);
    Shot(w, "photo-mode");
    fPrompt.Answers = {true};
    w.Processing().RunDeleteSelected();
    QVERIFY2(fPrompt.Messages.empty(), fPrompt.Messages.empty() ? "" : fPrompt.Messages[0].Text.c_str());
    QCOMPARE(sql(QStringLiteral("select id from PhotoTable where flags & 4")), QStringLiteral("2"));
    QVERIFY(fs::exists(b));

    auto* undo = Child<QToolButton>(w, "btnUndo");
    QVERIFY(undo->isEnabled());
    fPrompt.Answers = {true};
    undo->click();
    QCOMPARE(sql(QStringLiteral("select count(*) from PhotoTable where flags & 4")), QStringLiteral("0"));
  }

  // A picture of the mail mode after a scan, for a person to judge; only with PELCROW_SHOT_DIR.
  void screenshot() {
    const QString dir = qEnvironmentVariable("PELCROW_SHOT_DIR");
    if (dir.isEmpty()) QSKIP("PELCROW_SHOT_DIR not set");
    TfmMain w;
    w.resize(1200, 800);
    w.show();
    w.ChooseScanMode(pelcrow::cmEmails);
    auto* tree = Child<QTreeWidget>(w, "tvFolderList");
    tree->setCurrentItem(tree->topLevelItem(0));
    Child<QPushButton>(w, "bAdd")->click();
    Child<QPushButton>(w, "crbStart")->click();
    QTRY_COMPARE_WITH_TIMEOUT(w.StartTag(), 0, 30000);
    QTest::qWait(300);
    QVERIFY(w.grab().save(dir + QStringLiteral("/mail-mode.png")));
    fPrompt.Answers = {true};
    w.Processing().Resolve(pelcrow::ui::rsOldest, pelcrow::ui::rmRemove);
    QTest::qWait(300);
    QVERIFY(w.grab().save(dir + QStringLiteral("/mail-mode-deleted.png")));
  }
};

QTEST_MAIN(PluginModesTest)
#include "PluginModesTest.moc"
