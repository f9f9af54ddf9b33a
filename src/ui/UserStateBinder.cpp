#include "ui/UserStateBinder.h"

#include <QGuiApplication>
#include <QMainWindow>
#include <QScreen>

#include <algorithm>

#include "engine/SearchFilterSettings.h"
#include "logging/Logger.h"
#include "platform/FileSystem.h"
#include "settings/IniFile.h"
#include "settings/UserState.h"
#include "ui/FolderListPanel.h"
#include "ui/ResultsPanel.h"
#include "ui/ScanFilterBox.h"
#include "ui/ScanModes.h"

namespace pelcrow::ui {
namespace {

// Each of the four kinds of list pair is kept apart: include/exclude or master/search range,
// for files or for the photo library.
TUserListKind ListKind(bool master, bool photo) {
  if (photo) return master ? ulkMasterSearchPhoto : ulkIncludeExcludePhoto;
  return master ? ulkMasterSearch : ulkIncludeExclude;
}

TUserListKind CurrentListKind() {
  return ListKind(Settings.MasterSelectMode, Settings.ComparisonMode() == cmPhotoLibrary);
}

TIniFile ReadSettingsFile() {
  TIniFile ini;
  if (const std::string file = TUserStateBinder::SettingsFile(); !file.empty()) ini.LoadFromFile(file);
  return ini;
}

}  // namespace

TUserStateBinder::TUserStateBinder(QMainWindow& window, TFolderListPanel& folders)
    : fWindow(window), fFolders(folders) {}

std::string TUserStateBinder::SettingsFile() { return Settings.GetSettingsFile(); }

void TUserStateBinder::LoadSearchCriteria() { SearchFilterFiles = ReadSearchFilter(ReadSettingsFile(), TDateTime::Now()); }

void TUserStateBinder::Load(bool masksOnly) {
  // One read of the settings file for the user's lists and the search criteria.
  const TIniFile ini = ReadSettingsFile();
  const TUserState s = ReadUserState(ini);
  if (!masksOnly) SearchFilterFiles = ReadSearchFilter(ini, TDateTime::Now());
  ShowMasks(s);
  if (masksOnly) return;
  ShowLists(s);
  fFolders.Filters()->SetLimits({s.CheckMin, s.CheckMax, s.MinValue, s.MaxValue, s.MinSize, s.MaxSize});
  fPathToMove = s.PathToMove;
  if (fResults) fResults->SetColumnWidthsText(s.GridColumnWidths);
  RestoreWindowPlace(s);
  // Entries that became permanent exclusions since they were saved.
  fFolders.RemoveExcludedEntries();
}

void TUserStateBinder::ShowMasks(const TUserState& s) {
  TScanFilterBox* filters = fFolders.Filters();
  filters->SetIncludeMasks(IsMusicMode() ? s.IncludeMusicMasks : s.IncludeMasks);
  filters->SetExcludeMasks(IsMusicMode() ? s.ExcludeMusicMasks : s.ExcludeMasks);
}

// The mail modes list the mail program's folders, which are not kept.
void TUserStateBinder::ShowLists(const TUserState& s) {
  fFolders.ClearLists();
  fFolders.SetReferenceEntries(s.ReferenceFolders);
  if (IsMailMode()) return;
  const TUserListKind kind = CurrentListKind();
  fFolders.SetEntries(s.Lists[kind][0], s.Lists[kind][1]);
}

void TUserStateBinder::RestoreWindowPlace(const TUserState& s) {
  if (!Settings.MaximizeOnStartup && s.MainFormTop && s.MainFormLeft && s.MainFormWidth && s.MainFormHeight) {
    fWindow.setGeometry(std::max(0, *s.MainFormLeft), std::max(0, *s.MainFormTop), std::max(800, *s.MainFormWidth),
                        std::max(600, *s.MainFormHeight));
  } else if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    // No saved place yet: most of the screen, so the results have room from the first scan on.
    const QRect free = screen->availableGeometry();
    fWindow.resize(std::clamp(free.width() * 9 / 10, 800, 1400), std::clamp(free.height() * 9 / 10, 600, 960));
  }
}

void TUserStateBinder::Save() {
  const std::string file = SettingsFile();
  if (file.empty()) return;
  // Read first: the lists of the other modes stay as they were.
  TUserState s = LoadUserStateFile(file);
  StoreFields(s);
  StoreWindowPlace(s);
  if (int e = SaveUserStateFile(file, s)) {
    WriteLog("cannot write settings file " + file + ": " + platform::ErrorText(e), lsvError);
  }
}

void TUserStateBinder::StoreFields(TUserState& s) const {
  const TScanFilterBox* filters = fFolders.Filters();
  if (IsMusicMode()) {
    s.IncludeMusicMasks = filters->IncludeMasks();
    s.ExcludeMusicMasks = filters->ExcludeMasks();
  } else if (IsFileMode()) {
    s.IncludeMasks = filters->IncludeMasks();
    s.ExcludeMasks = filters->ExcludeMasks();
  }
  if (!IsMailMode()) {
    const TUserListKind kind = CurrentListKind();
    s.Lists[kind][0] = fFolders.FirstEntries();
    s.Lists[kind][1] = fFolders.SecondEntries();
  }
  s.ReferenceFolders = fFolders.ReferenceEntries();
  const TSizeLimitFields limits = filters->Limits();
  s.CheckMin = limits.CheckMin;
  s.CheckMax = limits.CheckMax;
  s.MinValue = limits.MinValue;
  s.MaxValue = limits.MaxValue;
  s.MinSize = limits.MinUnit;
  s.MaxSize = limits.MaxUnit;
  s.PathToMove = fPathToMove;
  if (fResults) s.GridColumnWidths = fResults->ColumnWidthsText();
}

// A maximized or full-screen window keeps the place it had before.
void TUserStateBinder::StoreWindowPlace(TUserState& s) const {
  if (fWindow.isMaximized() || fWindow.isFullScreen()) return;
  const QRect g = fWindow.normalGeometry().isValid() ? fWindow.normalGeometry() : fWindow.geometry();
  s.MainFormTop = g.top();
  s.MainFormLeft = g.left();
  s.MainFormWidth = g.width();
  s.MainFormHeight = g.height();
}

}  // namespace pelcrow::ui
