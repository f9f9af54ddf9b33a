#include "base/FormatSettings.h"
#include "engine/ResultColumns.h"
#include "export/CsvField.h"
#include "export/ExportHandler.h"
#include "localization/TextEncoding.h"

namespace pelcrow {

namespace {

std::string ListSeparator() {
  const std::string& sep = GetFormatSettings()->ListSeparator;
  return sep.empty() ? "," : sep;
}

}  // namespace

TCsvReport::TCsvReport(const TScanEngine& Engine, const std::vector<int>& Columns, const TExportInfo& Info,
                       TDateTime Now)
    : TExportHandler(Engine, Columns, Info, Now), fSeparator(ListSeparator()) {}

std::string TCsvReport::Line(const std::vector<std::string>& Fields) const {
  std::string line;
  for (std::size_t c = 0; c < Fields.size(); ++c)
    line += (c ? fSeparator : "") + CsvField(ToValidUtf8(Fields[c]), fSeparator, true);
  return line;
}

void TCsvReport::Head() {
  std::vector<std::string> captions;
  for (int c : fColumns) captions.push_back(Label(ResultColumnCaption(c)));
  Add(Line(captions));
}

void TCsvReport::Row(int, const TFileItem& Item) {
  std::vector<std::string> cells;
  for (int c : fColumns) cells.push_back(ResultCellText(Item, c));
  Add(Line(cells));
}

// UTF-8 with a byte-order mark, so spreadsheet programs do not guess a legacy code page.
std::string TCsvReport::Bytes() const { return "\xEF\xBB\xBF" + fText; }

}  // namespace pelcrow
