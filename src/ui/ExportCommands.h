// "Export List to File": the popup with the three formats, the save dialog of each, the write,
// and the written file opened with its default application.
#pragma once

#include <QString>

#include <functional>
#include <string>
#include <vector>

#include "export/ExportList.h"

class QMenu;
class QWidget;

namespace pelcrow::ui {

// The save dialog's filter, default suffix and proposed name of a format.
struct TExportDialogSpec {
  QString Filter;
  QString Suffix;
  QString FileName;
};
TExportDialogSpec ExportDialogSpec(TExportFormat Format);

class TExportCommand {
 public:
  TExportCommand();
  // The save dialog; an empty name cancels. Tests put a name in its place.
  std::function<QString(TExportFormat Format, QWidget* Parent)> AskFileName;
  // Opens the written file; the desktop's default application unless replaced.
  std::function<bool(const std::string& Path)> OpenFile;

  // pmExportList: "Export to TXT", "Export to CSV", "Export to HTML"; a choice calls Run.
  QMenu* BuildMenu(QWidget* Parent, std::function<void(TExportFormat)> Run);
  // Asks for the file, writes it and opens it. False when cancelled or not written (the user
  // was told why).
  bool Run(TExportFormat Format, QWidget* Parent, const TScanEngine& Engine, const std::vector<int>& Columns,
           const TExportInfo& Info);
};

}  // namespace pelcrow::ui
