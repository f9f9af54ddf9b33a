// Start-up of the desktop program, in this order: the helper command line, the settings, the
// hand-over of the command line to a running copy, the single-instance check, the language,
// the main window.
#pragma once

#include <string>
#include <vector>

namespace pelcrow::ui {

// The program's own arguments: Qt's options (and their values) left out.
std::vector<std::string> ProgramArguments(int argc, char** argv);
// Splits the arguments into the list files (existing files ending in .dup) to open and the
// folders to add.
void SplitListFiles(const std::vector<std::string>& args, std::vector<std::string>& folders,
                    std::vector<std::string>& lists);
// Fills the process-wide format settings from the system locale.
void FillFormatSettingsFromLocale();
int RunApplication(int argc, char** argv);

}  // namespace pelcrow::ui
