#include "ui/AppStartup.h"

#include "base/DateTime.h"

#include <unistd.h>

#include <QApplication>
#include <QLocale>

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <system_error>
#include <string_view>

#include "base/FormatSettings.h"
#include "base/MainThread.h"
#include "base/UserPrompt.h"
#include "medialib/MediaLibraries.h"
#include "localization/LanguageController.h"
#include "localization/TranslateText.h"
#include "platform/ProcessInfo.h"
#include "platform/ShellContextMenu.h"
#include "platform/SingleInstance.h"
#include "settings/PcwSettings.h"
#include "ui/AppStyle.h"
#include "ui/MainWindow.h"
#include "ui/MediaLibNotices.h"
#include "ui/QtMainThread.h"
#include "ui/QtTranslator.h"
#include "ui/QtUserPrompt.h"
#include "ui/ResultsPanel.h"

namespace pelcrow::ui {

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  // Qt options that take a value.
  static constexpr std::array<std::string_view, 9> kWithValue = {
      "-platform", "-platformpluginpath", "-platformtheme", "-plugin", "-qwindowgeometry",
      "-qwindowtitle", "-qwindowicon", "-style", "-stylesheet"};
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    if (std::find(kWithValue.begin(), kWithValue.end(), a) != kWithValue.end()) {
      ++i;
      continue;
    }
    if (a == "-reverse" || a == "-session" || a.substr(0, 2) == "--") continue;
    args.emplace_back(a);
  }
  return args;
}

void SplitListFiles(const std::vector<std::string>& args, std::vector<std::string>& folders,
                    std::vector<std::string>& lists) {
  for (const std::string& a : args) {
    std::string ext = a.size() > 4 ? a.substr(a.size() - 4) : std::string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    std::error_code ec;
    const bool list = ext == ".dup" && std::filesystem::is_regular_file(a, ec);
    (list ? lists : folders).push_back(a);
  }
}

void FillFormatSettingsFromLocale() {
  const QLocale loc = QLocale::system();
  TFormatSettings f;
  f.ShortDateFormat = DateTimeFormatFromLocalePattern(loc.dateFormat(QLocale::ShortFormat).toStdString());
  f.LongDateFormat = DateTimeFormatFromLocalePattern(loc.dateFormat(QLocale::LongFormat).toStdString());
  f.ShortTimeFormat = DateTimeFormatFromLocalePattern(loc.timeFormat(QLocale::ShortFormat).toStdString());
  f.LongTimeFormat = DateTimeFormatFromLocalePattern(loc.timeFormat(QLocale::LongFormat).toStdString());
  f.TimeAMString = loc.amText().toStdString();
  f.TimePMString = loc.pmText().toStdString();
  f.DecimalSeparator = loc.decimalPoint().toStdString();
  f.ThousandSeparator = loc.groupSeparator().toStdString();
  for (int m = 0; m < 12; ++m) {
    f.ShortMonthNames[static_cast<std::size_t>(m)] = loc.monthName(m + 1, QLocale::ShortFormat).toStdString();
    f.LongMonthNames[static_cast<std::size_t>(m)] = loc.monthName(m + 1, QLocale::LongFormat).toStdString();
  }
  for (int d = 0; d < 7; ++d) {
    const int qtDay = d == 0 ? 7 : d;  // ours start on Sunday, Qt's on Monday
    f.ShortDayNames[static_cast<std::size_t>(d)] = loc.dayName(qtDay, QLocale::ShortFormat).toStdString();
    f.LongDayNames[static_cast<std::size_t>(d)] = loc.dayName(qtDay, QLocale::LongFormat).toStdString();
  }
  SetFormatSettings(f);
}

int RunApplication(int argc, char** argv) {
  PrepareLocalTime();
  const std::vector<std::string> args = ProgramArguments(argc, argv);
  // The folder context menu's helper: "-e <program>" installs, "-d" removes.
  if (int rc = platform::RunShellContextMenuHelper(args); rc >= 0) return rc;

  TPcwSettings::SetSettingsBaseName("pelcrow");
  Settings.LoadSettings(true);
  RegisterDefaultMediaLibraries();

  const std::string here = platform::CurrentDirectory();
  std::vector<std::string> folders, lists;
  SplitListFiles(platform::MakeArgumentsAbsolute(args, here), folders, lists);
  platform::TSingleInstance instance(platform::GetInstanceDirectory());
  instance.ShellQueueAdd(folders);
  // A running copy takes the folders; a list file still opens, in a window of its own.
  const bool first = instance.CheckSingleInstance();
  if (!first && lists.empty()) return 0;

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("pelcrow"));
  QApplication::setApplicationDisplayName(QString::fromStdString(std::string(kAppName)));
  QApplication::setApplicationVersion(QStringLiteral(PELCROW_VERSION));
  // The installed desktop entry's id, so the desktop shows its icon for our windows.
  QApplication::setDesktopFileName(QStringLiteral("org.pelcrow.Pelcrow"));
  FillFormatSettingsFromLocale();
  ApplyAppStyle(app);
  TQtMainThread mainThread(&app);
  SetMainThread(&mainThread);
  TQtUserPrompt prompt;
  SetUserPrompt(&prompt);
  TQtTranslator::Install();
  TLanguageController::Initialize(Settings.TranslationLanguageCode);

  int rc = 0;
  {
    TMediaLibNotices libraryNotices;
    TfmMain window(first ? &instance : nullptr);
    window.show();
    // The desktop entry hands over the list files the user opened; the window shows one list.
    if (!lists.empty()) window.Results()->LoadListFrom(lists.front());
    rc = QApplication::exec();
  }
  SetUserPrompt(nullptr);
  SetMainThread(nullptr);
  return rc;
}

}  // namespace pelcrow::ui
