#include "ui/AppStartup.h"

#include "base/DateTime.h"

#include <unistd.h>

#include <QApplication>
#include <QLocale>

#include <array>
#include <string_view>

#include "base/FormatSettings.h"
#include "base/MainThread.h"
#include "base/UserPrompt.h"
#include "localization/LanguageController.h"
#include "localization/TranslateText.h"
#include "platform/ProcessInfo.h"
#include "platform/ShellContextMenu.h"
#include "platform/SingleInstance.h"
#include "settings/PcwSettings.h"
#include "ui/AppStyle.h"
#include "ui/MainWindow.h"
#include "ui/QtMainThread.h"
#include "ui/QtTranslator.h"
#include "ui/QtUserPrompt.h"

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

  const std::string here = platform::CurrentDirectory();
  platform::TSingleInstance instance(platform::GetInstanceDirectory());
  instance.ShellQueueAdd(platform::MakeArgumentsAbsolute(args, here));
  if (!instance.CheckSingleInstance()) return 0;

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("pelcrow"));
  QApplication::setApplicationDisplayName(QString::fromStdString(std::string(kAppName)));
  QApplication::setApplicationVersion(QStringLiteral(PELCROW_VERSION));
  QApplication::setDesktopFileName(QStringLiteral("pelcrow"));
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
    TfmMain window(&instance);
    window.show();
    rc = QApplication::exec();
  }
  SetUserPrompt(nullptr);
  SetMainThread(nullptr);
  return rc;
}

}  // namespace pelcrow::ui
