#include "ui/ExportCommands.h"

#include <QAction>
#include <QFileDialog>
#include <QMenu>

#include <cstring>

#include "base/UserPrompt.h"
#include "platform/Shell.h"
#include "ui/UiText.h"

namespace pelcrow::ui {

TExportDialogSpec ExportDialogSpec(TExportFormat Format) {
  switch (Format) {
    case efTXT: return {Tr("Text files") + QStringLiteral(" (*.txt)"), QStringLiteral("txt"), QStringLiteral("export.txt")};
    case efCSV: return {Tr("CSV files") + QStringLiteral(" (*.csv)"), QStringLiteral("csv"), QStringLiteral("export.csv")};
    case efHTML:
      return {Tr("HTML files") + QStringLiteral(" (*.html)"), QStringLiteral("html"), QStringLiteral("export.html")};
  }
  return {};
}

namespace {

QString AskWithDialog(TExportFormat Format, QWidget* Parent) {
  const TExportDialogSpec spec = ExportDialogSpec(Format);
  QFileDialog dlg(Parent);
  dlg.setObjectName(QStringLiteral("sdExportFileList"));
  dlg.setAcceptMode(QFileDialog::AcceptSave);
  dlg.setFileMode(QFileDialog::AnyFile);
  dlg.setNameFilter(spec.Filter);
  dlg.setDefaultSuffix(spec.Suffix);
  dlg.selectFile(spec.FileName);
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return QString();
  return dlg.selectedFiles().front();
}

}  // namespace

TExportCommand::TExportCommand() : AskFileName(AskWithDialog), OpenFile([](const std::string& file) { return platform::OpenFile(file); }) {}

QMenu* TExportCommand::BuildMenu(QWidget* Parent, std::function<void(TExportFormat)> Run) {
  auto* menu = new QMenu(Parent);
  menu->setObjectName(QStringLiteral("pmExportList"));
  const std::pair<const char*, TExportFormat> items[] = {
      {"Export to TXT", efTXT}, {"Export to CSV", efCSV}, {"Export to HTML", efHTML}};
  for (const auto& [caption, format] : items) {
    QAction* a = menu->addAction(Tr(caption));
    const TExportFormat f = format;
    QObject::connect(a, &QAction::triggered, menu, [Run, f] { Run(f); });
  }
  return menu;
}

bool TExportCommand::Run(TExportFormat Format, QWidget* Parent, const TScanEngine& Engine,
                         const std::vector<int>& Columns, const TExportInfo& Info) {
  const QString name = AskFileName(Format, Parent);
  if (name.isEmpty()) return false;
  const std::string file = PathBytes(name);
  // Nothing or half a report must not pass for an export: say so.
  if (const int err = ExportList(Format, Engine, Columns, Info, file); err != 0) {
    GetUserPrompt().ShowMessage(TMessageKind::mkWarning,
                                TranslateText("The list could not be exported.") + "\n" + file + ": " + std::strerror(err));
    return false;
  }
  if (OpenFile) OpenFile(file);
  return true;
}

}  // namespace pelcrow::ui
