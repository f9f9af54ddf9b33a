#include "engine/ResultColumns.h"
#include "base/PathText.h"
#include "export/ExportHandler.h"
#include "localization/TextEncoding.h"
#include "localization/Formatting.h"

namespace pelcrow {

namespace {

constexpr std::size_t kLabelWidth = 35;

// Length as the text report counts it: UTF-16 code units, the units of the file.
std::size_t Units(const std::string& s) {
  std::string u;
  AppendUtf16LE(u, s);
  return u.size() / 2;
}

std::string PadRight(const std::string& s, std::size_t width) {
  const std::size_t n = Units(s);
  return n >= width ? s : s + std::string(width - n, ' ');
}

}  // namespace

void TTextReport::Head() {
  const int rows = fEngine.ItemCount();
  Add(Label("List of Duplicate Files"));
  Add(PadRight(Label("Date of Search"), kLabelWidth) + SearchDate());
  Add(PadRight(Label("Number of Original and Duplicate"), kLabelWidth) + std::to_string(rows));
  Add(PadRight(Label("Size of Original"), kLabelWidth) + FormatFileSize(fInfo.Info.OriginalSize));
  Add(PadRight(Label("Size of Duplicate"), kLabelWidth) + FormatFileSize(fInfo.Info.DuplicateSize));
  Add(PadRight(Label("Search Duplicate in folders"), kLabelWidth));
  for (const std::string& d : fInfo.Dirs) Add(std::string(kLabelWidth, ' ') + DeleteExtendedPrefix(d));
  Add(Label("This List Includes"));
  fWidth.assign(fColumns.size() + 1, 0);
  fWidth[0] = std::to_string(rows).size() + 3;
  fCells.reserve(static_cast<std::size_t>(rows));
}

void TTextReport::Row(int, const TFileItem& Item) {
  std::vector<std::string>& cells = fCells.emplace_back();
  cells.reserve(fColumns.size());
  // Widths from the cells only: a cell longer than its column so far makes it that plus three.
  for (std::size_t c = 0; c < fColumns.size(); ++c) {
    cells.push_back(ResultCellText(Item, fColumns[c]));
    const std::size_t n = Units(cells.back());
    if (fWidth[c + 1] < n) fWidth[c + 1] = n + 3;
  }
}

void TTextReport::Foot() {
  std::string header = PadRight("#", fWidth[0]);
  for (std::size_t c = 0; c < fColumns.size(); ++c)
    header += PadRight(Label(ResultColumnCaption(fColumns[c])), fWidth[c + 1]);
  Add(header);
  for (std::size_t r = 0; r < fCells.size(); ++r) {
    std::string line = PadRight(std::to_string(r + 1), fWidth[0]);
    for (std::size_t c = 0; c < fColumns.size(); ++c) line += PadRight(fCells[r][c], fWidth[c + 1]);
    Add(line);
  }
}

std::string TTextReport::Bytes() const {
  std::string out = "\xFF\xFE";
  AppendUtf16LE(out, fText);
  return out;
}

}  // namespace pelcrow
