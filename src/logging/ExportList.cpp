#include "logging/ExportList.h"

#include <algorithm>

#include "base/FormatSettings.h"
#include "engine/ResultColumns.h"
#include "localization/TextEncoding.h"
#include "localization/TranslateText.h"
#include "localization/Formatting.h"
#include "platform/UriEncoding.h"
#include "settings/AtomicFile.h"

namespace pelcrow {

namespace {

std::vector<int> Exported(const std::vector<int>& Columns) {
  std::vector<int> c;
  for (int k : Columns)
    if (k != rcCheck) c.push_back(k);
  return c;
}

std::string Label(const char* text) { return TranslateText(text); }

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

std::string SearchDate(TDateTime now) {
  return FormatDateTime("dddd, mmmm d, yyyy,  ", now) + FormatDateTime(GetFormatSettings()->LongTimeFormat, now);
}

std::string HtmlEscape(const std::string& s) {
  std::string r;
  r.reserve(s.size());
  for (char c : s) {
    switch (c) {
      case '&': r += "&amp;"; break;
      case '<': r += "&lt;"; break;
      case '>': r += "&gt;"; break;
      case '"': r += "&quot;"; break;
      case '\'': r += "&#39;"; break;
      default: r += c;
    }
  }
  return r;
}

class TLines {
 public:
  void Add(const std::string& line) { fText += line + "\r\n"; }
  const std::string& Text() const { return fText; }

 private:
  std::string fText;
};

std::string TextReport(const TScanEngine& e, const std::vector<int>& cols, const TExportInfo& info, TDateTime now) {
  TLines l;
  const int rows = e.ItemCount();
  l.Add(Label("List of Duplicate Files"));
  l.Add(PadRight(Label("Date of Search"), 35) + SearchDate(now));
  l.Add(PadRight(Label("Number of Original and Duplicate"), 35) + std::to_string(rows));
  l.Add(PadRight(Label("Size of Original"), 35) + FormatFileSize(info.Info.OriginalSize));
  l.Add(PadRight(Label("Size of Duplicate"), 35) + FormatFileSize(info.Info.DuplicateSize));
  l.Add(PadRight(Label("Search Duplicate in folders"), 35));
  for (const std::string& d : info.Dirs) l.Add(std::string(35, ' ') + TScanEngine::DeleteExtendedPrefix(d));
  l.Add(Label("This List Includes"));
  // Widths from the cells only, each the longest text plus three blanks.
  std::vector<std::size_t> width(cols.size() + 1, 0);
  width[0] = std::to_string(rows).size() + 3;
  for (int r = 0; r < rows; ++r)
    for (std::size_t c = 0; c < cols.size(); ++c) {
      const std::size_t n = Units(ResultCellText(*e.Item(r), cols[c]));
      if (width[c + 1] < n) width[c + 1] = n + 3;
    }
  std::string header = PadRight("#", width[0]);
  for (std::size_t c = 0; c < cols.size(); ++c) header += PadRight(Label(ResultColumnCaption(cols[c])), width[c + 1]);
  l.Add(header);
  for (int r = 0; r < rows; ++r) {
    std::string line = PadRight(std::to_string(r + 1), width[0]);
    for (std::size_t c = 0; c < cols.size(); ++c) line += PadRight(ResultCellText(*e.Item(r), cols[c]), width[c + 1]);
    l.Add(line);
  }
  std::string out = "\xFF\xFE";
  AppendUtf16LE(out, l.Text());
  return out;
}

std::string CsvReport(const TScanEngine& e, const std::vector<int>& cols) {
  const std::string sep = GetFormatSettings()->ListSeparator.empty() ? "," : GetFormatSettings()->ListSeparator;
  auto field = [](const std::string& s) {
    std::string r = "\"";
    for (char c : ToValidUtf8(s)) {
      if (c == '"') r += '"';
      r += c;
    }
    return r + "\"";
  };
  TLines l;
  std::string header;
  for (std::size_t c = 0; c < cols.size(); ++c) header += (c ? sep : "") + field(Label(ResultColumnCaption(cols[c])));
  l.Add(header);
  for (int r = 0; r < e.ItemCount(); ++r) {
    std::string line;
    for (std::size_t c = 0; c < cols.size(); ++c) line += (c ? sep : "") + field(ResultCellText(*e.Item(r), cols[c]));
    l.Add(line);
  }
  // UTF-8 with a byte-order mark, so spreadsheet programs do not guess a legacy code page.
  return "\xEF\xBB\xBF" + l.Text();
}

std::string HtmlReport(const TScanEngine& e, const std::vector<int>& cols, const TExportInfo& info, TDateTime now) {
  TLines l;
  auto text = [](const std::string& s) { return HtmlEscape(ToValidUtf8(s)); };
  const std::string date = text(SearchDate(now));
  const std::string title = text(Label("List of Duplicate Files"));
  l.Add("<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">");
  l.Add("<html>");
  l.Add("<head>");
  l.Add("\t<title>" + title + " - " +
        text(FormatDateTime("mmmm d, yyyy,  ", now) + FormatDateTime(GetFormatSettings()->LongTimeFormat, now)) +
        "</title>");
  l.Add("\t<meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\"/>");
  for (const char* s : {"<STYLE type=\"text/css\">", "<!--", "BODY {", "\tCOLOR: #4B4B4B;", "\tFONT-SIZE: 14px;",
                        "\tFONT-FAMILY:  Tahoma, Verbana, Helvetica, sans-serif;", "\tBACKGROUND-COLOR: white;", "}",
                        "A {COLOR: #004080}", "A:visited {COLOR: #004080}", "A:hover {COLOR: #f60}",
                        "P {MARGIN-TOP: 15px;MARGIN-BOTTOM: 15px;padding-left:20px;}",
                        "TABLE.duplist {WIDTH: 100%;font-size : 14px;}", "--></STYLE>", "</head>", "<body>"})
    l.Add(s);
  l.Add("<h1>" + title + "</h1>");
  l.Add("<p><b>" + text(Label("Date of Search")) + ":</b> " + date + "<br>");
  l.Add("<b>" + text(Label("Number of Original and Duplicate")) + ":</b> " + std::to_string(e.ItemCount()) + "<br>");
  l.Add("<b>" + text(Label("Size of Original")) + ":</b> " + text(FormatFileSize(info.Info.OriginalSize)) + "<br>");
  l.Add("<b>" + text(Label("Size of Duplicate")) + ":</b> " + text(FormatFileSize(info.Info.DuplicateSize)) + "<br>");
  l.Add("<ul>");
  l.Add("<b>" + text(Label("Search Duplicate in folders")) + ":</b>");
  for (const std::string& d : info.Dirs) l.Add("<li>" + text(TScanEngine::DeleteExtendedPrefix(d)) + "</li>");
  l.Add("</ul>");
  l.Add("</p>");
  l.Add("<p><font color=\"#ff0000\">" + text(Label("This List Includes")) + "</font></p>");
  l.Add("<TABLE class=\"duplist\" cellSpacing=1 cellPadding=1 border=0 bgcolor=\"#4B4B4B\">");
  l.Add("  <TBODY>");
  l.Add("    <TR bgcolor=\"#dddddd\">");
  l.Add("      <TD style=\"padding-left:5px;\" width=\"30px\"> <b>#</b> </TD>");
  for (int c : cols) l.Add("      <TD style=\"padding-left:10px;\"> <b>" + text(Label(ResultColumnCaption(c))) + "</b> </TD>");
  l.Add("    </TR>");
  const bool fileMode = e.CompareMode() <= cmMusicTags || e.CompareMode() == cmPhotoLibrary;
  for (int r = 0; r < e.ItemCount(); ++r) {
    const PFileItem it = e.Item(r);
    l.Add(it->DupGroup % 2 == 1 ? "    <TR bgcolor=\"#CEE0F4\">" : "    <TR bgcolor=\"#E6EDF7\">");
    l.Add("      <TD>" + std::to_string(r + 1) + "</TD>");
    for (int c : cols) {
      const std::string cell = ResultCellText(*it, c);
      if (fileMode && c == rcPath) {
        // The link opens the folder; its address escapes every byte a URI may not hold.
        const std::string uri = platform::FileUriFromPath(cell);
        l.Add("      <TD><a href=\"" + HtmlEscape(uri.empty() ? cell : uri) + "\">" + text(cell) + "</a></TD>");
      } else {
        l.Add("      <TD>" + text(cell) + "</TD>");
      }
    }
    l.Add("    </TR>");
  }
  for (const char* s : {"  </TBODY>", "</TABLE>", "</body>", "</html>"}) l.Add(s);
  return l.Text();
}

}  // namespace

std::string BuildExport(TExportFormat Format, const TScanEngine& Engine, const std::vector<int>& Columns,
                        const TExportInfo& ExportInfo, TDateTime Now) {
  const std::vector<int> cols = Exported(Columns);
  switch (Format) {
    case efTXT: return TextReport(Engine, cols, ExportInfo, Now);
    case efCSV: return CsvReport(Engine, cols);
    case efHTML: return HtmlReport(Engine, cols, ExportInfo, Now);
  }
  return {};
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
