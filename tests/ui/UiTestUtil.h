// Shared by the window tests: a private HOME and settings for the whole test program, a scripted
// user who answers questions and records every message, and folders to scan.
#pragma once

#include <QCoreApplication>
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QDir>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/UserPrompt.h"
#include "localization/LanguageController.h"
#include "localization/LanguageFile.h"
#include "settings/PcwSettings.h"
#include "ui/DialogHelpers.h"
#include "ui/HoverHelp.h"
#include "ui/UpdateDialog.h"

namespace pelcrow::test {

struct TPromptRecord {
  TMessageKind Kind;
  std::string Text;
};

// Answers Yes/No as scripted (Yes when nothing is scripted) and records everything it was shown.
class TScriptedPrompt final : public IUserPrompt {
 public:
  void ShowMessage(TMessageKind kind, const std::string& text) override { Messages.push_back({kind, text}); }
  bool Confirm(const std::string& text) override {
    Questions.push_back(text);
    if (Answers.empty()) return true;
    const bool a = Answers.front();
    Answers.erase(Answers.begin());
    return a;
  }
  bool ConfirmWithCheck(const std::string& text, const std::string&, bool&) override { return Confirm(text); }
  TCheckSelectionAnswer CheckSelection(const std::string& message, bool) override {
    Messages.push_back({TMessageKind::mkWarning, message});
    return {};
  }
  bool ShowUndoErrors(const std::string& statusText, const std::vector<std::string>&) override {
    Messages.push_back({TMessageKind::mkWarning, statusText});
    return false;
  }
  // Yes when nothing is scripted, like the other questions.
  TReadOnlyAnswer AskReadOnly(const std::string& text) override {
    Questions.push_back(text);
    if (ReadOnlyAnswers.empty()) return TReadOnlyAnswer::raYes;
    const TReadOnlyAnswer a = ReadOnlyAnswers.front();
    ReadOnlyAnswers.erase(ReadOnlyAnswers.begin());
    return a;
  }
  std::vector<TReadOnlyAnswer> ReadOnlyAnswers;
  void Clear() {
    Messages.clear();
    Questions.clear();
    Answers.clear();
  }
  std::vector<TPromptRecord> Messages;
  std::vector<std::string> Questions;
  std::vector<bool> Answers;
};

// The named child widget; a missing one ends the test program with its name.
template <typename T>
T* Child(QWidget& w, const char* name) {
  T* c = w.findChild<T*>(QString::fromLatin1(name));
  if (!c) qFatal("no child %s", name);
  return c;
}

// The object names of the modal windows shown, in order.
inline std::vector<std::string>& ShownModals() {
  static std::vector<std::string> names;
  return names;
}

// Windows the program shows on its own (the scan summary, the quick tips) close at once, unless
// a test acts in them; their names are kept.
inline void CloseModalsAtOnce() {
  ui::RunModal = [](QDialog& d) {
    ShownModals().push_back(d.objectName().toStdString());
    return 0;
  };
}

// The language files of the source tree (the build's copy may not exist yet).
inline std::string SourceLanguagesFolder() {
  return (std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / "languages").string();
}

// Every window test starts from a fresh settings file with the options the tests rely on.
inline void FreshSettings() {
  std::filesystem::remove(Settings.GetSettingsFile());
  Settings.LoadSettings(true);
  Settings.MaximizeOnStartup = false;
  Settings.ScanOptions.Exclude(soSkipTemp);
  Settings.MasterSelectMode = false;
  Settings.ShowQuickTips = false;  // the start-up tips are a test of their own
}

// HOME, the XDG folders and the runtime folder of the test program point into a fresh folder in
// the build tree (not below /tmp, which default scans skip); the settings start from scratch.
class TTestHome {
 public:
  TTestHome() {
    const QString base = QCoreApplication::applicationDirPath() + QStringLiteral("/test-work/") +
                         QCoreApplication::applicationName();
    QDir(base).removeRecursively();
    QDir().mkpath(base);
    fHome = base.toStdString();
    for (const char* sub : {"config", "data", "cache", "state"}) std::filesystem::create_directories(fHome + "/" + sub);
    ::setenv("HOME", fHome.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (fHome + "/config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (fHome + "/data").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (fHome + "/cache").c_str(), 1);
    ::setenv("XDG_STATE_HOME", (fHome + "/state").c_str(), 1);
    // Socket paths are short: the runtime folder lives below /tmp.
    ::setenv("XDG_RUNTIME_DIR", fRuntime.path().toUtf8().constData(), 1);
    // The temporary folder, which default scans skip, is a known folder of the test home.
    std::filesystem::create_directories(fHome + "/tmp");
    ::setenv("TMPDIR", (fHome + "/tmp").c_str(), 1);
    TPcwSettings::SetSettingsBaseName("pelcrow");
    GetLanguageController().SetLanguagesFolder(SourceLanguagesFolder());
    CloseModalsAtOnce();
    Settings.LoadSettings(true);
    Settings.MaximizeOnStartup = false;
    Settings.ScanOptions.Exclude(soSkipTemp);
    // The start-up update check would ask the vendor's server; tests ask none but their own.
    ui::RunStartupUpdateCheck = [](QWidget*) {};
  }
  const std::string& Home() const { return fHome; }
  std::string Runtime() const { return fRuntime.path().toStdString(); }
  // Writes a file below HOME, creating folders; returns its full path.
  std::string Write(const std::string& rel, const std::string& bytes) const {
    const std::filesystem::path p = std::filesystem::path(fHome) / rel;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
    return p.string();
  }
  std::string Dir(const std::string& rel) const {
    const std::string p = fHome + "/" + rel;
    std::filesystem::create_directories(p);
    return p;
  }

 private:
  std::string fHome;
  QTemporaryDir fRuntime;
};

// The captions and hover-help texts of a window (and extra texts it shows) that the German
// language file does not translate, joined for a failure message.
inline QString MissingGermanTexts(const QWidget& window, const std::vector<std::string>& extra = {}) {
  TLanguageFile de;
  if (!de.LoadFromFile(SourceLanguagesFolder() + "/de.lng")) return QStringLiteral("de.lng unreadable");
  QStringList missing;
  std::vector<std::string> texts = extra;
  for (const QWidget* w : window.findChildren<QWidget*>()) {
    for (const char* p : {ui::kCaptionProperty, ui::kHoverHelpProperty}) {
      const QByteArray text = w->property(p).toByteArray();
      if (!text.isEmpty()) texts.push_back(text.toStdString());
    }
  }
  for (const std::string& t : texts) {
    // The file writes line breaks as "\n".
    std::string key = ReplaceAppName(t);
    for (std::size_t p = key.find('\r'); p != std::string::npos; p = key.find('\r')) key.erase(p, 1);
    for (std::size_t p = key.find('\n'); p != std::string::npos; p = key.find('\n', p + 2)) key.replace(p, 1, "\\n");
    if (!de.FindTranslation(key)) missing << QString::fromStdString(t);
  }
  return missing.join(QStringLiteral(" | "));
}

// The texts a window shows that are still English although the German language file translates
// them: captions, titles, tabs, placeholders, tool tips, menu items, grid headers and the first
// rows of lists and grids. Run with German chosen.
inline QStringList EnglishLeftovers(const QWidget& window) {
  TLanguageFile de;
  if (!de.LoadFromFile(SourceLanguagesFolder() + "/de.lng")) return {QStringLiteral("de.lng unreadable")};
  QStringList shown;
  QList<const QWidget*> widgets{&window};
  for (const QWidget* w : window.findChildren<QWidget*>()) widgets << w;
  for (const QWidget* w : widgets) {
    shown << w->toolTip() << w->windowTitle();
    if (const auto* l = qobject_cast<const QLabel*>(w)) shown << l->text();
    if (const auto* b = qobject_cast<const QAbstractButton*>(w)) shown << b->text();
    if (const auto* g = qobject_cast<const QGroupBox*>(w)) shown << g->title();
    if (const auto* e = qobject_cast<const QLineEdit*>(w)) shown << e->placeholderText();
    if (const auto* t = qobject_cast<const QTabWidget*>(w))
      for (int i = 0; i < t->count(); ++i) shown << t->tabText(i);
    if (const auto* c = qobject_cast<const QComboBox*>(w))
      for (int i = 0; i < c->count(); ++i) shown << c->itemText(i);
    for (const QAction* a : w->actions()) shown << a->text() << a->toolTip();
    if (const auto* v = qobject_cast<const QAbstractItemView*>(w); v && v->model()) {
      const QAbstractItemModel* m = v->model();
      for (int c = 0; c < m->columnCount(); ++c) {
        shown << m->headerData(c, Qt::Horizontal).toString();
        for (int r = 0; r < std::min(m->rowCount(), 50); ++r) shown << m->index(r, c).data().toString();
      }
    }
  }
  QStringList leftovers;
  for (const QString& text : shown) {
    if (text.trimmed().isEmpty()) continue;
    std::string key = text.toStdString();
    for (std::size_t p = key.find('\n'); p != std::string::npos; p = key.find('\n', p + 2)) key.replace(p, 1, "\\n");
    const std::string* german = de.FindTranslation(key);
    if (german && *german != key && !leftovers.contains(text)) leftovers << text;
  }
  return leftovers;
}

}  // namespace pelcrow::test
