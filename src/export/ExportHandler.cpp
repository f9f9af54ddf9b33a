#include "export/ExportHandler.h"

#include "base/FormatSettings.h"
#include "engine/ResultColumns.h"
#include "localization/TranslateText.h"
#include "localization/Formatting.h"

namespace pelcrow {

TExportHandler::TExportHandler(const TScanEngine& Engine, const std::vector<int>& Columns, const TExportInfo& Info,
                               TDateTime Now)
    : fEngine(Engine), fColumns(Columns), fInfo(Info), fNow(Now) {}

std::string TExportHandler::SearchDate() const {
  return FormatDateTime("dddd, mmmm d, yyyy,  ", fNow) + FormatDateTime(GetFormatSettings()->LongTimeFormat, fNow);
}

std::string TExportHandler::Label(const char* Text) { return TranslateText(Text); }

std::unique_ptr<TExportHandler> TExportHandler::Make(TExportFormat Format, const TScanEngine& Engine,
                                                     const std::vector<int>& Columns, const TExportInfo& Info,
                                                     TDateTime Now) {
  switch (Format) {
    case efTXT: return std::make_unique<TTextReport>(Engine, Columns, Info, Now);
    case efCSV: return std::make_unique<TCsvReport>(Engine, Columns, Info, Now);
    case efHTML: return std::make_unique<THtmlReport>(Engine, Columns, Info, Now);
  }
  return nullptr;
}

}  // namespace pelcrow
