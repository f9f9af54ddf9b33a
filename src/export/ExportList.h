// Export of the rows the results grid shows: a text report, a CSV file or an HTML page. Each
// format is a handler of the engine's walk over the visible groups, with the grid's columns.
#pragma once

#include <string>
#include <vector>

#include "base/DateTime.h"
#include "engine/ScanEngine.h"

namespace pelcrow {

enum TExportFormat { efTXT, efCSV, efHTML };

// What the statistics of the last scan said, and the folders it searched.
struct TExportInfo {
  TScanEngineSummaryInfo Info;
  std::vector<std::string> Dirs;
};

// The file's bytes for the engine's visible rows in Columns (TResultColumn values; the check
// column is never exported). Now is the moment the report names as its date of search.
std::string BuildExport(TExportFormat Format, const TScanEngine& Engine, const std::vector<int>& Columns,
                        const TExportInfo& ExportInfo, TDateTime Now);

// Builds and writes the export whole (temporary file, then rename). Returns 0 or an errno value.
int ExportList(TExportFormat Format, const TScanEngine& Engine, const std::vector<int>& Columns,
               const TExportInfo& ExportInfo, const std::string& FileName);

// The format a file name's extension asks for (.txt, .csv, .htm/.html, any case); false if none.
bool ExportFormatFromFileName(const std::string& FileName, TExportFormat& Format);

}  // namespace pelcrow
