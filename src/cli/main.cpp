#include <iostream>
#include <string>
#include <vector>

#include "base/DateTime.h"
#include "cli/Cli.h"
#include "medialib/MediaLibraries.h"
#include "settings/PcwSettings.h"

int main(int argc, char** argv) {
  pelcrow::PrepareLocalTime();
  // The media libraries follow the desktop app's switches.
  pelcrow::TPcwSettings::SetSettingsBaseName("pelcrow");
  pelcrow::Settings.LoadMediaLibSettings();
  pelcrow::RegisterDefaultMediaLibraries();
  std::vector<std::string> args(argv + 1, argv + argc);
  return pelcrow::cli::RunCli(args, std::cout, std::cerr);
}
