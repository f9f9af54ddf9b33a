#include "export/ExportList.h"

#include <algorithm>

#include "engine/ResultColumns.h"
#include "export/ExportHandler.h"
#include "platform/AtomicFile.h"

namespace pelcrow {

std::string BuildExport(TExportFormat Format, const TScanEngine& Engine, const std::vector<int>& Columns,
                        const TExportInfo& ExportInfo, TDateTime Now) {
  std::vector<int> cols;
  for (int k : Columns)
    if (k != rcCheck) cols.push_back(k);
  const std::unique_ptr<TExportHandler> handler = TExportHandler::Make(Format, Engine, cols, ExportInfo, Now);
  if (!handler) return {};
  WalkVisibleGroups(Engine, *handler);
  return handler->Bytes();
}

int ExportList(TExportFormat Format, const TScanEngine& Engine, const std::vector<int>& Columns,
               const TExportInfo& ExportInfo, const std::string& FileName) {
  return WriteFileAtomically(FileName, BuildExport(Format, Engine, Columns, ExportInfo, TDateTime::Now()));
}

bool ExportFormatFromFileName(const std::string& FileName, TExportFormat& Format) {
  const std::size_t dot = FileName.rfind('.');
  if (dot == std::string::npos || FileName.find('/', dot) != std::string::npos) return false;
  std::string ext = FileName.substr(dot + 1);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (ext == "txt") Format = efTXT;
  else if (ext == "csv") Format = efCSV;
  else if (ext == "html" || ext == "htm") Format = efHTML;
  else return false;
  return true;
}

}  // namespace pelcrow
