// The processing commands as the main window runs them: the menu, the option dialogs answered
// as a user answers them, the failure report's Retry, undo through the Undo button, the resolve
// assistant and the exports, each checked on the disk afterwards.
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>
#include <QTableView>
#include <QtTest>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <deque>
#include <filesystem>
#include <functional>
#include <memory>

#include "../FileFixtures.h"
#include "UiTestUtil.h"
#include "engine/ItemFlags.h"
#include "engine/Processing.h"
#include "platform/FileTransfer.h"
#include "settings/IniFile.h"
#include "ui/ExportCommands.h"
#include "ui/MainWindow.h"
#include "ui/ProcessingDialogs.h"
#include "ui/QtMainThread.h"
#include "ui/ResolveAssistant.h"

using pelcrow::PFileItem;
using pelcrow::TDateTime;
using pelcrow::TMessageKind;
using pelcrow::ui::TfmMain;
namespace fs = std::filesystem;

namespace {

using pelcrow::test::Exists;
using pelcrow::test::IsLink;
using pelcrow::test::SetImmutable;

using pelcrow::test::Child;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}



std::int64_t MTimeNs(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return -1;
  return static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000LL + st.st_mtim.tv_nsec;
}

// A file that cannot be renamed or removed, even by root; false where the file system has no

// Answers the modal windows the command under test opens, in order. A window nobody expected is
// recorded and closed, so that a missing answer fails the test instead of hanging it.
class TModalAnswers : public QObject {
 public:
  TModalAnswers() {
    fTimer.setInterval(15);
    connect(&fTimer, &QTimer::timeout, this, &TModalAnswers::Tick);
    fTimer.start();
  }
  void Expect(std::function<void(QWidget*)> answer) { fAnswers.push_back(std::move(answer)); }
  bool Done() const { return fAnswers.empty(); }
  QStringList Unexpected;
  QStringList Seen;  // object names of the windows answered

 private:
  void Tick() {
    QWidget* w = QApplication::activeModalWidget();
    if (!w) return;
    for (const QPointer<QWidget>& h : fHandled) {
      if (h != w) continue;
      // An answer that failed half-way leaves its window open: close it so the test ends.
      if (fSince.elapsed() > 5000) {
        Unexpected << w->objectName() + QStringLiteral(" left open");
        w->close();
      }
      return;
    }
    fHandled.push_back(w);
    fSince.start();
    if (fAnswers.empty()) {
      Unexpected << w->objectName() + QStringLiteral(": ") + w->windowTitle();
      if (auto* d = qobject_cast<QDialog*>(w)) d->reject();
      return;
    }
    auto answer = std::move(fAnswers.front());
    fAnswers.pop_front();
    Seen << w->objectName();
    answer(w);
  }
  QTimer fTimer;
  QElapsedTimer fSince;
  std::deque<std::function<void(QWidget*)>> fAnswers;
  std::vector<QPointer<QWidget>> fHandled;
};

void Click(QWidget* dialog, const char* button) { Child<QAbstractButton>(*dialog, button)->click(); }

QAction* MenuAction(QMenu* menu, const char* name) {
  for (QAction* a : menu->actions())
    if (a->objectName() == QLatin1String(name)) return a;
  qFatal("no menu item %s", name);
  return nullptr;
}

QStringList MenuNames(QMenu* menu) {
  QStringList out;
  for (QAction* a : menu->actions())
    if (!a->isSeparator()) out << a->objectName();
  return out;
}

}  // namespace

class ProcessingWindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<pelcrow::test::TTestHome> fHome;
  std::unique_ptr<pelcrow::ui::TQtMainThread> fMainThread;
  pelcrow::test::TScriptedPrompt fPrompt;
  int fTree = 0;
  std::string fRoot;  // this test's tree

  // A file below this test's tree, modified Minutes after a fixed day.
  std::string Write(const std::string& rel, const std::string& bytes, int minutes = 0) {
    const std::string path = fHome->Write(Rel(rel), bytes);
    const TDateTime t = TDateTime::FromUnixNanoseconds((1'600'000'000LL + minutes * 60LL) * 1'000'000'000LL + 123'456'789LL);
    if (pelcrow::platform::WriteFileTimes(path, t, t) != 0) qFatal("cannot set the times of %s", path.c_str());
    return path;
  }
  std::string Rel(const std::string& rel) const { return fRoot.substr(fHome->Home().size() + 1) + "/" + rel; }
  std::string P(const std::string& rel) const { return fRoot + "/" + rel; }
  void NewTree() { fRoot = fHome->Dir("proc" + std::to_string(++fTree)); }

  void Scan(TfmMain& w) {
    w.AddIncludeFolder(fRoot);
    w.FlushRunTimer();
    Child<QPushButton>(w, "crbStart")->click();
    QTRY_COMPARE_WITH_TIMEOUT(w.StartTag(), 0, 30000);
    QVERIFY(w.ScanEngine().ItemCount() > 0);
  }
  PFileItem ItemAt(TfmMain& w, const std::string& rel) {
    const std::string full = P(rel);
    for (int i = 0; i < w.ScanEngine().ItemCount(); ++i)
      if (w.ScanEngine().Item(i)->FullPath() == full) return w.ScanEngine().Item(i);
    qFatal("no item %s", full.c_str());
    return nullptr;
  }
  int RowOf(TfmMain& w, const std::string& rel) {
    const std::string full = P(rel);
    for (int i = 0; i < w.ScanEngine().ItemCount(); ++i)
      if (w.ScanEngine().Item(i)->FullPath() == full) return i;
    return -1;
  }
  void Select(TfmMain& w, std::initializer_list<const char*> rels) {
    for (const char* r : rels) pelcrow::SetFileSelected(ItemAt(w, r), true);
  }
  // Chooses the processing menu's item as the user does: the menu, then the deferred run.
  void RunMenu(TfmMain& w, const char* item) {
    std::unique_ptr<QMenu> menu(w.Processing().BuildProcessingMenu(&w));
    MenuAction(menu.get(), item)->trigger();
    w.FlushRunTimer();
  }
  // The Undo button, answering the question with Yes.
  void Undo(TfmMain& w, const std::string& action) {
    auto* undo = Child<QToolButton>(w, "btnUndo");
    QVERIFY(undo->isEnabled());
    fPrompt.Clear();
    fPrompt.Answers = {true};
    undo->click();
    QCOMPARE(fPrompt.Questions.size(), size_t(1));
    QCOMPARE(fPrompt.Questions[0], "You are about to UNDO the following action:\n" + action + "\n\nDo you want to proceed?");
  }
  std::string TrashFile(const std::string& name) const { return fHome->Home() + "/data/Trash/files/" + name; }
  std::string TrashInfo(const std::string& name) const {
    return ReadAll(fHome->Home() + "/data/Trash/info/" + name + ".trashinfo");
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
    fPrompt.ReadOnlyAnswers.clear();
    // Each test starts with no earlier action to undo.
    std::filesystem::remove_all(fHome->Home() + "/state/pelcrow/journal");
    NewTree();
  }

  // The results are gone after a restart, the journal is not: Undo takes back the last action.
  void undoAfterARestart() {
    Write("keep/r.txt", "restart bytes", 0);
    Write("dup/r.txt", "restart bytes", 5);
    {
      TfmMain w;
      QVERIFY(!Child<QToolButton>(w, "btnUndo")->isEnabled());
      Scan(w);
      Select(w, {"dup/r.txt"});
      TModalAnswers modal;
      modal.Expect([](QWidget* d) { Click(d, "btnYes"); });
      RunMenu(w, "miDelete");
      QVERIFY(!Exists(P("dup/r.txt")));
    }
    TfmMain w;
    Undo(w, "Move 1 items to Recycle Bin.");
    QCOMPARE(ReadAll(P("dup/r.txt")), std::string("restart bytes"));
    QCOMPARE(fPrompt.Messages.back().Text, std::string("The operation completed successfully.    "));
    QVERIFY(!Child<QToolButton>(w, "btnUndo")->isEnabled());
  }

  // The menu holds the file modes' operations; with nothing checked nothing opens.
  void menuAndNothingToProcess() {
    Write("keep/m.txt", "menu bytes", 0);
    Write("dup/m.txt", "menu bytes", 5);
    TfmMain w;
    QVERIFY(!Child<QPushButton>(w, "bProcessSelection")->isEnabled());
    Scan(w);
    QVERIFY(Child<QPushButton>(w, "bProcessSelection")->isEnabled());
    QVERIFY(Child<QPushButton>(w, "bExport")->isEnabled());
    QVERIFY(Child<QPushButton>(w, "bResolveWizard")->isEnabled());
    QVERIFY(!Child<QToolButton>(w, "btnUndo")->isEnabled());
    std::unique_ptr<QMenu> menu(w.Processing().BuildProcessingMenu(&w));
    QCOMPARE(MenuNames(menu.get()),
             (QStringList{"miDelete", "miMove", "miRename", "miReplace", "miHardLink", "miClone", "miAssistant"}));
    // The button opens the menu, the export button its three formats.
    Child<QPushButton>(w, "bProcessSelection")->click();
    QMenu* popup = w.findChild<QMenu*>(QStringLiteral("pmProcessing"));
    QVERIFY(popup);
    QCOMPARE(MenuNames(popup), (QStringList{"miDelete", "miMove", "miRename", "miReplace", "miHardLink", "miClone", "miAssistant"}));
    popup->close();
    Child<QPushButton>(w, "bExport")->click();
    QMenu* formats = w.findChild<QMenu*>(QStringLiteral("pmExportList"));
    QVERIFY(formats);
    QStringList captions;
    for (QAction* a : formats->actions()) captions << a->text();
    QCOMPARE(captions, (QStringList{"Export to TXT", "Export to CSV", "Export to HTML"}));
    formats->close();
    TModalAnswers modal;
    for (const char* item : {"miDelete", "miMove", "miRename", "miReplace", "miHardLink", "miClone"}) {
      fPrompt.Clear();
      RunMenu(w, item);
      QCOMPARE(fPrompt.Messages.size(), size_t(1));
      QCOMPARE(fPrompt.Messages[0].Text, std::string("Nothing to process. No items selected in duplicate files list."));
    }
    QTest::qWait(50);
    QVERIFY2(modal.Unexpected.isEmpty(), qPrintable(modal.Unexpected.join(", ")));
    QVERIFY(Exists(P("dup/m.txt")));
    QVERIFY(Child<QPushButton>(w, "crbStart")->isEnabled());
    QVERIFY(Child<QPushButton>(w, "bProcessSelection")->isEnabled());
  }

  // Two actions, the second a single delete of the focused row: undo takes them back one by one.
  void trashSelectedAndFocusedThenUndoBoth() {
    Write("keep/t1.txt", "trash bytes", 0);
    Write("dup/t1.txt", "trash bytes", 5);
    Write("keep/t2.txt", "other trash bytes", 0);
    Write("dup/t2.txt", "other trash bytes", 5);
    TfmMain w;
    Scan(w);
    Select(w, {"dup/t1.txt"});
    TModalAnswers modal;
    modal.Expect([&w](QWidget* d) {
      // Nothing that could start a second operation or a scan is on meanwhile.
      for (const char* name : {"crbStart", "crbClearResults", "bProcessSelection", "bExport", "bResolveWizard", "bAdd"})
        QVERIFY2(!Child<QWidget>(w, name)->isEnabled(), name);
      QVERIFY(!Child<QWidget>(w, "sgFileList")->isEnabled());
      QVERIFY(Child<QRadioButton>(*d, "rbMoveToRecycleBin")->isChecked());
      QVERIFY(Child<QPushButton>(*d, "btnNo")->isDefault());
      Click(d, "btnYes");
    });
    RunMenu(w, "miDelete");
    QCOMPARE(modal.Seen, QStringList{"fmDelete"});
    QVERIFY(!Exists(P("dup/t1.txt")));
    QCOMPARE(ReadAll(TrashFile("t1.txt")), std::string("trash bytes"));
    const std::string info = TrashInfo("t1.txt");
    QVERIFY2(info.rfind("[Trash Info]\nPath=" + P("dup/t1.txt") + "\nDeletionDate=", 0) == 0, info.c_str());
    QCOMPARE(ItemAt(w, "dup/t1.txt")->ActionGroup, 1);
    QCOMPARE(w.Processing().History().fActionNo, 1);
    QVERIFY(Child<QToolButton>(w, "btnUndo")->isEnabled());
    QVERIFY(Child<QPushButton>(w, "crbStart")->isEnabled());

    // "Delete this file" on the focused row; No first leaves the row unchecked as it was.
    auto* grid = Child<QTableView>(w, "sgFileList");
    const int row = RowOf(w, "dup/t2.txt");
    grid->setCurrentIndex(grid->model()->index(row, 1));
    modal.Expect([](QWidget* d) { Click(d, "btnNo"); });
    w.RunDeleteFocused();
    QVERIFY(Exists(P("dup/t2.txt")));
    QVERIFY(!ItemAt(w, "dup/t2.txt")->fSelected);
    modal.Expect([](QWidget* d) { Click(d, "btnYes"); });
    w.RunDeleteFocused();
    QVERIFY(!Exists(P("dup/t2.txt")));
    QCOMPARE(ItemAt(w, "dup/t2.txt")->ActionGroup, 2);
    QCOMPARE(w.Processing().History().fActionNo, 2);

    Undo(w, "Move 1 items to Recycle Bin.");
    QCOMPARE(ReadAll(P("dup/t2.txt")), std::string("other trash bytes"));
    QVERIFY(!Exists(P("dup/t1.txt")));
    QCOMPARE(w.Processing().History().fActionNo, 1);
    Undo(w, "Move 1 items to Recycle Bin.");
    QCOMPARE(ReadAll(P("dup/t1.txt")), std::string("trash bytes"));
    QVERIFY(!Exists(TrashFile("t1.txt")));
    QVERIFY(!Exists(fHome->Home() + "/data/Trash/info/t1.txt.trashinfo"));
    QVERIFY(!ItemAt(w, "dup/t1.txt")->fProcessed);
    QVERIFY(!Child<QToolButton>(w, "btnUndo")->isEnabled());
    QVERIFY(modal.Unexpected.isEmpty());

    // Clearing the results forgets the actions.
    Select(w, {"dup/t1.txt"});
    modal.Expect([](QWidget* d) { Click(d, "btnYes"); });
    RunMenu(w, "miDelete");
    QVERIFY(Child<QToolButton>(w, "btnUndo")->isEnabled());
    fPrompt.Answers = {true};
    Child<QPushButton>(w, "crbClearResults")->click();
    QCOMPARE(w.Processing().History().fActionNo, 0);
    QVERIFY(!Child<QToolButton>(w, "btnUndo")->isEnabled());
  }

  void moveAndUndo_data() {
    QTest::addColumn<bool>("keepStructure");
    QTest::newRow("flat, names collide") << false;
    QTest::newRow("folder structure kept") << true;
  }
  void moveAndUndo() {
    QFETCH(bool, keepStructure);
    Write("keep/n.txt", "move bytes", 0);
    Write("a/n.txt", "move bytes", 5);
    Write("b/n.txt", "move bytes", 6);
    const std::string target = fHome->Home() + "/moved" + std::to_string(fTree);
    TfmMain w;
    Scan(w);
    Select(w, {"a/n.txt", "b/n.txt"});
    TModalAnswers modal;
    // A blank folder is refused and the dialog stays.
    modal.Expect([&](QWidget* d) {
      QCOMPARE(d->windowTitle(), QStringLiteral("Move Selected to Specified Folder"));
      QVERIFY(Child<QLineEdit>(*d, "edFolder")->text().contains(QStringLiteral("/PCW")));
      Child<QLineEdit>(*d, "edFolder")->setText(QString());
      Click(d, "btnYes");
      QVERIFY(d->isVisible());
      QCOMPARE(fPrompt.Messages.back().Text, std::string("Folder must be specified"));
      Child<QLineEdit>(*d, "edFolder")->setText(QString::fromStdString(target));
      Child<QCheckBox>(*d, "chkKFS")->setChecked(keepStructure);
      Click(d, "btnYes");
    });
    RunMenu(w, "miMove");
    QVERIFY(modal.Done());
    QVERIFY(!Exists(P("a/n.txt")));
    QVERIFY(!Exists(P("b/n.txt")));
    if (keepStructure) {
      const std::string ta = pelcrow::MoveTargetFolder(P("a/"), target, true);
      const std::string tb = pelcrow::MoveTargetFolder(P("b/"), target, true);
      QVERIFY2(ta.rfind(target + "/", 0) == 0 && ta.find("/a") != std::string::npos, ta.c_str());
      QCOMPARE(ReadAll(ta + "/n.txt"), std::string("move bytes"));
      QCOMPARE(ReadAll(tb + "/n.txt"), std::string("move bytes"));
    } else {
      QCOMPARE(ReadAll(target + "/n.txt"), std::string("move bytes"));
      QCOMPARE(ReadAll(target + "/n(1).txt"), std::string("move bytes"));
    }
    QCOMPARE(ItemAt(w, "a/n.txt")->ActionGroup, ItemAt(w, "b/n.txt")->ActionGroup);

    Undo(w, "Move 2 items to specified folder.");
    QCOMPARE(ReadAll(P("a/n.txt")), std::string("move bytes"));
    QCOMPARE(ReadAll(P("b/n.txt")), std::string("move bytes"));
    QCOMPARE(MTimeNs(P("b/n.txt")), (1'600'000'000LL + 360) * 1'000'000'000LL + 123'456'789LL);
    // The folders the move made are gone; the target the dialog made before it stays, empty.
    QVERIFY(fs::is_directory(target));
    QVERIFY(fs::is_empty(target));
  }

  void renameAndUndo_data() {
    QTest::addColumn<bool>("prefix");
    QTest::addColumn<QString>("renamed");
    QTest::newRow("postfix before the last extension") << false << QStringLiteral("a.b_x.txt");
    QTest::newRow("prefix") << true << QStringLiteral("_xa.b.txt");
  }
  void renameAndUndo() {
    QFETCH(bool, prefix);
    QFETCH(QString, renamed);
    Write("keep/a.b.txt", "rename bytes", 0);
    Write("dup/a.b.txt", "rename bytes", 5);
    TfmMain w;
    Scan(w);
    Select(w, {"dup/a.b.txt"});
    TModalAnswers modal;
    modal.Expect([&](QWidget* d) {
      auto* text = Child<QLineEdit>(*d, "edPrefix");
      QCOMPARE(text->text(), QStringLiteral("_Duplicate_"));
      text->setText(QStringLiteral("   "));
      Click(d, "btnYes");
      QCOMPARE(fPrompt.Messages.back().Text, std::string("Prefix must be specified"));
      text->setText(QStringLiteral("_x"));
      Child<QRadioButton>(*d, prefix ? "rbPrefix" : "rbPostfix")->setChecked(true);
      QCOMPARE(Child<QLabel>(*d, "lExample")->text(),
               prefix ? QStringLiteral("Example: _xFilename.ext") : QStringLiteral("Example: Filename_x.ext"));
      Click(d, "btnYes");
    });
    RunMenu(w, "miRename");
    QVERIFY(modal.Done());
    QVERIFY(!Exists(P("dup/a.b.txt")));
    QCOMPARE(ReadAll(P("dup/" + renamed.toStdString())), std::string("rename bytes"));
    Undo(w, "Rename 1 items.");
    QCOMPARE(ReadAll(P("dup/a.b.txt")), std::string("rename bytes"));
    QVERIFY(!Exists(P("dup/" + renamed.toStdString())));
  }

  void linkAndUndo() {
    Write("keep/l.bin", "link bytes", 0);
    Write("dup/l.bin", "link bytes", 5);
    TfmMain w;
    Scan(w);
    Select(w, {"dup/l.bin"});
    // No keeps the file.
    fPrompt.Answers = {false};
    RunMenu(w, "miReplace");
    QCOMPARE(fPrompt.Questions.back(),
             std::string("Do you really want to replace selected files with symbolic links to original files?"));
    QVERIFY(!IsLink(P("dup/l.bin")));
    fPrompt.Answers = {true};
    RunMenu(w, "miReplace");
    QVERIFY(IsLink(P("dup/l.bin")));
    QCOMPARE(fs::read_symlink(P("dup/l.bin")).string(), P("keep/l.bin"));
    Undo(w, "Replace 1 items with symbolic link.");
    QVERIFY(!IsLink(P("dup/l.bin")));
    QCOMPARE(ReadAll(P("dup/l.bin")), std::string("link bytes"));
    QCOMPARE(MTimeNs(P("dup/l.bin")), (1'600'000'000LL + 300) * 1'000'000'000LL + 123'456'789LL);
  }

  // The hard link asks first, frees the copy's space and comes undone as a file of its own.
  void hardLinkAndUndo() {
    Write("keep/h.bin", "hard link bytes", 0);
    Write("dup/h.bin", "hard link bytes", 5);
    TfmMain w;
    Scan(w);
    Select(w, {"dup/h.bin"});
    fPrompt.Answers = {true};
    RunMenu(w, "miHardLink");
    QVERIFY(fPrompt.Questions.back().rfind("Do you really want to replace selected files with hard links", 0) == 0);
    QCOMPARE(fs::hard_link_count(P("dup/h.bin")), std::uintmax_t(2));
    QVERIFY(fs::equivalent(P("dup/h.bin"), P("keep/h.bin")));
    Undo(w, "Replace 1 items with hard links.");
    QCOMPARE(fs::hard_link_count(P("dup/h.bin")), std::uintmax_t(1));
    QCOMPARE(ReadAll(P("dup/h.bin")), std::string("hard link bytes"));
    QCOMPARE(MTimeNs(P("dup/h.bin")), (1'600'000'000LL + 300) * 1'000'000'000LL + 123'456'789LL);
  }

  // A failing item is reported with Retry; the retry after the cause is gone processes it, under
  // the same action number as the items of the first pass.
  void failureReportRetries_data() {
    QTest::addColumn<bool>("immutable");
    QTest::newRow("read-only file kept at first") << false;
    QTest::newRow("locked file") << true;
  }
  void failureReportRetries() {
    QFETCH(bool, immutable);
    Write("keep/r.txt", "retry bytes", 0);
    const std::string locked = Write("dup/r.txt", "retry bytes", 5);
    Write("keep/s.txt", "second retry bytes", 0);
    Write("dup/s.txt", "second retry bytes", 5);
    pelcrow::Settings.LogDirectory = fHome->Dir("logs");
    if (immutable) {
      if (!SetImmutable(locked, true)) QSKIP("no immutable flag on this file system");
      // Logged already: the report points to the log instead of offering to enable it.
      pelcrow::Settings.EnableLogging = true;
      pelcrow::Settings.LogEvents.Include(pelcrow::leFileDeleted);
    } else {
      QCOMPARE(::chmod(locked.c_str(), 0444), 0);
      fPrompt.ReadOnlyAnswers = {pelcrow::TReadOnlyAnswer::raNo};  // then Yes
    }
    TfmMain w;
    Scan(w);
    Select(w, {"dup/r.txt", "dup/s.txt"});
    TModalAnswers modal;
    modal.Expect([](QWidget* d) {
      Child<QRadioButton>(*d, "rbDeletePermanently")->setChecked(true);
      Click(d, "btnYes");
    });
    bool reported = false;
    modal.Expect([&](QWidget* d) {
      auto* box = qobject_cast<QMessageBox*>(d);
      QVERIFY(box);
      QVERIFY(box->text().startsWith(QStringLiteral("1 of 2 files were not deleted.")));
      QVERIFY(box->text().contains(QStringLiteral("The most common reasons are: ")));
      if (immutable) {
        QVERIFY(!box->checkBox());
        QVERIFY(box->text().contains(QStringLiteral("Please see program log for detailed information.")));
      } else {
        QCOMPARE(box->checkBox()->text(), QStringLiteral("Enable Logging"));
        QVERIFY(!box->text().contains(QStringLiteral("Please see program log")));
        box->checkBox()->setChecked(true);
      }
      // The first pass has done the other file already.
      QVERIFY(!Exists(P("dup/s.txt")));
      QVERIFY(Exists(P("dup/r.txt")));
      if (immutable) SetImmutable(P("dup/r.txt"), false);
      reported = true;
      Click(d, "btnRetry");
    });
    RunMenu(w, "miDelete");
    QVERIFY(reported);
    QVERIFY(modal.Done());
    QVERIFY2(modal.Unexpected.isEmpty(), qPrintable(modal.Unexpected.join(", ")));
    QVERIFY(!Exists(P("dup/r.txt")));
    QCOMPARE(ItemAt(w, "dup/r.txt")->ActionGroup, 1);
    QCOMPARE(ItemAt(w, "dup/s.txt")->ActionGroup, 1);
    if (!immutable) QCOMPARE(fPrompt.Questions.size(), size_t(2));  // asked again in the retry
    // Either way the deletions are logged now, and the settings file says so.
    QVERIFY(pelcrow::Settings.EnableLogging);
    QVERIFY(pelcrow::Settings.LogEvents.Contains(pelcrow::leFileDeleted));
    if (!immutable) {
      pelcrow::TIniFile stored;
      QCOMPARE(stored.LoadFromFile(pelcrow::Settings.GetSettingsFile()), 0);
      QVERIFY(stored.ReadBool("Logging", "Enable", false));
    }
    Undo(w, "Delete 2 items permanently.");
    QCOMPARE(ReadAll(P("dup/r.txt")), std::string("retry bytes"));
    QCOMPARE(ReadAll(P("dup/s.txt")), std::string("second retry bytes"));
  }

  // Cancel ends the operation: the failed item stays checked and unprocessed.
  void failureReportCancel() {
    Write("keep/c.txt", "cancel bytes", 0);
    const std::string ro = Write("dup/c.txt", "cancel bytes", 5);
    QCOMPARE(::chmod(ro.c_str(), 0444), 0);
    fPrompt.ReadOnlyAnswers = {pelcrow::TReadOnlyAnswer::raNoToAll};
    TfmMain w;
    Scan(w);
    Select(w, {"dup/c.txt"});
    TModalAnswers modal;
    modal.Expect([](QWidget* d) {
      Child<QRadioButton>(*d, "rbDeletePermanently")->setChecked(true);
      Click(d, "btnYes");
    });
    modal.Expect([](QWidget* d) { Click(d, "btnCancel"); });
    RunMenu(w, "miDelete");
    QVERIFY(modal.Done());
    QVERIFY(Exists(ro));
    QVERIFY(ItemAt(w, "dup/c.txt")->fSelected);
    QVERIFY(!ItemAt(w, "dup/c.txt")->fProcessed);
    QVERIFY(!Child<QToolButton>(w, "btnUndo")->isEnabled());
    QVERIFY(Child<QPushButton>(w, "bProcessSelection")->isEnabled());
  }

  // Every tile of the assistant draws its icon at the tiles' one size: none is left small.
  void assistantTilesShowOneIconSize() {
    pelcrow::TScanEngine engine(pelcrow::cmCRC32, {});
    pelcrow::ui::TfmDuplicatesResolveWizard wizard(engine);
    QStringList small;
    for (QToolButton* tile : {wizard.tileNewest, wizard.tileOldest, wizard.tileOriginal, wizard.tileRemove,
                              wizard.tileRename, wizard.tileMove, wizard.tileLinks}) {
      const QSize drawn = tile->icon().actualSize(tile->iconSize());
      if (drawn != tile->iconSize() || tile->iconSize() != QSize(48, 48))
        small << tile->objectName() + QStringLiteral(" %1x%2").arg(drawn.width()).arg(drawn.height());
    }
    QVERIFY2(small.isEmpty(), qPrintable(small.join(QStringLiteral(", "))));
  }

  // Oldest, Remove Duplicates, Delete permanently: every copy but the oldest goes, without a
  // further question, and the choice is kept for the next time.
  void assistantKeepsTheOldest() {
    Write("g1/old.txt", "group one", 0);
    Write("g1/mid.txt", "group one", 10);
    Write("g1/new.txt", "group one", 20);
    Write("g2/new.txt", "group two bytes", 30);
    Write("g2/old.txt", "group two bytes", 1);
    TfmMain w;
    Scan(w);
    QCOMPARE(w.ScanEngine().ItemCount(), 5);
    TModalAnswers modal;
    modal.Expect([&](QWidget* d) {
      auto* wizard = qobject_cast<pelcrow::ui::TfmDuplicatesResolveWizard*>(d);
      QVERIFY(wizard);
      QCOMPARE(wizard->lbStep->text(), QStringLiteral("Step 1:"));
      // "Original" needs a selection.
      Click(d, "tileOriginal");
      QCOMPARE(fPrompt.Messages.back().Text,
               std::string("You have no duplicates currently selected. Please choose another selection method or "
                           "select items before running Assistant."));
      QCOMPARE(wizard->Step(), 1);
      // With every copy of a group checked, it says which group before the safety lock speaks.
      Select(w, {"g2/new.txt", "g2/old.txt"});
      Click(d, "tileOriginal");
      QCOMPARE(fPrompt.Messages.back().Text,
               "Every copy of duplicate group " + std::to_string(ItemAt(w, "g2/old.txt")->DupGroup) +
                   " is checked. Uncheck the copy to keep, or choose Newest or Oldest.");
      QCOMPARE(wizard->Step(), 1);
      for (const char* r : {"g2/new.txt", "g2/old.txt"}) pelcrow::SetFileSelected(ItemAt(w, r), false);
      Click(d, "tileOldest");
      QCOMPARE(wizard->Step(), 2);
      QVERIFY(!wizard->tileLinks->isHidden());
      Click(d, "tileRemove");
      QCOMPARE(wizard->lbSummary->text(), QStringLiteral("Select all except Oldest and then Remove Duplicates"));
      QVERIFY(wizard->rbMoveToRecycleBin->isChecked());
      wizard->rbDeletePermanently->setChecked(true);
      Click(d, "bGetStarted");
    });
    fPrompt.Clear();
    Child<QPushButton>(w, "bResolveWizard")->click();
    QVERIFY(modal.Done());
    QVERIFY2(modal.Unexpected.isEmpty(), qPrintable(modal.Unexpected.join(", ")));
    QVERIFY(fPrompt.Questions.empty());
    QVERIFY(Exists(P("g1/old.txt")));
    QVERIFY(!Exists(P("g1/mid.txt")));
    QVERIFY(!Exists(P("g1/new.txt")));
    QVERIFY(Exists(P("g2/old.txt")));
    QVERIFY(!Exists(P("g2/new.txt")));
    QVERIFY(!Exists(TrashFile("mid.txt")));
    QCOMPARE(pelcrow::Settings.DupDeleteMoveToTrash, false);

    // The next run starts with permanent deletion chosen; closing it does nothing.
    modal.Expect([](QWidget* d) {
      QVERIFY(Child<QRadioButton>(*d, "rbDeletePermanently")->isChecked());
      Click(d, "bClose");
    });
    Child<QPushButton>(w, "bResolveWizard")->click();
    QVERIFY(modal.Done());
  }

  // The assistant's move: options from the step, stored, used without the move dialog.
  void assistantMovesWithStoredOptions() {
    Write("k/v.txt", "assistant move", 0);
    Write("d/v.txt", "assistant move", 9);
    const std::string target = fHome->Home() + "/wizard-moved";
    TfmMain w;
    Scan(w);
    TModalAnswers modal;
    modal.Expect([&](QWidget* d) {
      auto* wizard = qobject_cast<pelcrow::ui::TfmDuplicatesResolveWizard*>(d);
      Click(d, "tileNewest");
      Click(d, "tileMove");
      Child<QLineEdit>(*wizard->ltMoveOptions, "edFolder")->setText(QString::fromStdString(target));
      Child<QCheckBox>(*wizard->ltMoveOptions, "chkKFS")->setChecked(false);
      Click(d, "bGetStarted");
    });
    w.LaunchResolveWizard();
    QVERIFY(modal.Done());
    QVERIFY(modal.Unexpected.isEmpty());
    // Newest kept: the older copy moved.
    QVERIFY(Exists(P("d/v.txt")));
    QVERIFY(!Exists(P("k/v.txt")));
    QCOMPARE(ReadAll(target + "/v.txt"), std::string("assistant move"));
    QCOMPARE(pelcrow::Settings.DupMovePathToMove, target);
  }

  // The three exports of a real scan, read back by Python's csv and HTML parsers.
  void exports() {
    Write("x/a \"quoted\" & <b>.txt", "export bytes", 0);
    Write("y/a \"quoted\" & <b>.txt", "export bytes", 5);
    Write("y/café.txt", "export bytes", 6);
    TfmMain w;
    Scan(w);
    QCOMPARE(w.ScanEngine().ItemCount(), 3);
    std::vector<std::string> opened;
    QString next;
    w.ExportCommand().AskFileName = [&](pelcrow::TExportFormat, QWidget*) { return next; };
    w.ExportCommand().OpenFile = [&](const std::string& p) {
      opened.push_back(p);
      return true;
    };
    const std::string dir = fHome->Dir("exports");
    const struct {
      pelcrow::TExportFormat Format;
      const char* Name;
    } files[] = {{pelcrow::efTXT, "export.txt"}, {pelcrow::efCSV, "export.csv"}, {pelcrow::efHTML, "export.html"}};
    for (const auto& f : files) {
      next = QString::fromStdString(dir + "/" + f.Name);
      w.RunExport(f.Format);
      QCOMPARE(opened.back(), dir + "/" + f.Name);
    }
    QCOMPARE(ReadAll(dir + "/export.txt").substr(0, 2), std::string("\xFF\xFE"));

    QProcess py;
    py.start(QStringLiteral("/usr/bin/python3"),
             {QStringLiteral("-c"), QStringLiteral(R"(
import csv, sys, html.parser
rows = list(csv.reader(open(sys.argv[1], encoding='utf-8-sig', newline=''), delimiter=','))
print(len(rows), '|'.join(rows[0]))
print(sorted(r[0] for r in rows[1:]))
class P(html.parser.HTMLParser):
    def __init__(s):
        super().__init__(); s.rows = 0; s.links = []; s.text = []
    def handle_starttag(s, t, a):
        if t == 'tr': s.rows += 1
        if t == 'a': s.links.append(dict(a)['href'])
    def handle_data(s, d): s.text.append(d)
p = P(); p.feed(open(sys.argv[2], encoding='utf-8').read())
print(p.rows, 'a "quoted" & <b>.txt' in p.text, 'café.txt' in p.text)
)"),
              QString::fromStdString(dir + "/export.csv"), QString::fromStdString(dir + "/export.html")});
    QVERIFY(py.waitForFinished(20000));
    const QStringList out = QString::fromUtf8(py.readAllStandardOutput()).split(QLatin1Char('\n'));
    QVERIFY2(py.exitCode() == 0, py.readAllStandardError().constData());
    QCOMPARE(out.value(0), QStringLiteral("4 File Name|Path|Dup. Group|Size|Modified"));
    QCOMPARE(out.value(1), QStringLiteral("['a \"quoted\" & <b>.txt', 'a \"quoted\" & <b>.txt', 'café.txt']"));
    QCOMPARE(out.value(2), QStringLiteral("4 True True"));

    // A file that cannot be written (its folder is a file) is reported, and nothing is opened.
    opened.clear();
    fPrompt.Clear();
    next = QString::fromStdString(dir + "/export.txt/export.csv");
    w.RunExport(pelcrow::efCSV);
    QVERIFY(opened.empty());
    QCOMPARE(fPrompt.Messages.size(), size_t(1));
    QCOMPARE(fPrompt.Messages[0].Kind, TMessageKind::mkWarning);
    QVERIFY(fPrompt.Messages[0].Text.rfind("The list could not be exported.\n" + dir + "/export.txt/export.csv: ", 0) == 0);

    // A cancelled dialog does nothing.
    next.clear();
    w.RunExport(pelcrow::efHTML);
    QVERIFY(opened.empty());
    QCOMPARE(fPrompt.Messages.size(), size_t(1));

    const pelcrow::ui::TExportDialogSpec spec = pelcrow::ui::ExportDialogSpec(pelcrow::efCSV);
    QCOMPARE(spec.Filter, QStringLiteral("CSV files (*.csv)"));
    QCOMPARE(spec.FileName, QStringLiteral("export.csv"));
  }
};

QTEST_MAIN(ProcessingWindowTest)
#include "ProcessingWindowTest.moc"
