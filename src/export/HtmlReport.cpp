#include "base/FormatSettings.h"
#include "base/PathText.h"
#include "engine/ResultColumns.h"
#include "export/ExportHandler.h"
#include "localization/TextEncoding.h"
#include "localization/Formatting.h"
#include "platform/UriEncoding.h"

namespace pelcrow {

namespace {

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

std::string Text(const std::string& s) { return HtmlEscape(ToValidUtf8(s)); }

constexpr const char* kStyle[] = {"<STYLE type=\"text/css\">", "<!--", "BODY {", "\tCOLOR: #4B4B4B;",
                                  "\tFONT-SIZE: 14px;", "\tFONT-FAMILY:  Tahoma, Verbana, Helvetica, sans-serif;",
                                  "\tBACKGROUND-COLOR: white;", "}", "A {COLOR: #004080}",
                                  "A:visited {COLOR: #004080}", "A:hover {COLOR: #f60}",
                                  "P {MARGIN-TOP: 15px;MARGIN-BOTTOM: 15px;padding-left:20px;}",
                                  "TABLE.duplist {WIDTH: 100%;font-size : 14px;}", "--></STYLE>", "</head>",
                                  "<body>"};

}  // namespace

void THtmlReport::Head() {
  const std::string title = Text(Label("List of Duplicate Files"));
  Add("<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">");
  Add("<html>");
  Add("<head>");
  Add("\t<title>" + title + " - " +
      Text(FormatDateTime("mmmm d, yyyy,  ", fNow) + FormatDateTime(GetFormatSettings()->LongTimeFormat, fNow)) +
      "</title>");
  Add("\t<meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\"/>");
  for (const char* s : kStyle) Add(s);
  Add("<h1>" + title + "</h1>");
  Add("<p><b>" + Text(Label("Date of Search")) + ":</b> " + Text(SearchDate()) + "<br>");
  Add("<b>" + Text(Label("Number of Original and Duplicate")) + ":</b> " + std::to_string(fEngine.ItemCount()) +
      "<br>");
  Add("<b>" + Text(Label("Size of Original")) + ":</b> " + Text(FormatFileSize(fInfo.Info.OriginalSize)) + "<br>");
  Add("<b>" + Text(Label("Size of Duplicate")) + ":</b> " + Text(FormatFileSize(fInfo.Info.DuplicateSize)) + "<br>");
  Add("<ul>");
  Add("<b>" + Text(Label("Search Duplicate in folders")) + ":</b>");
  for (const std::string& d : fInfo.Dirs) Add("<li>" + Text(DeleteExtendedPrefix(d)) + "</li>");
  Add("</ul>");
  Add("</p>");
  Add("<p><font color=\"#ff0000\">" + Text(Label("This List Includes")) + "</font></p>");
  Add("<TABLE class=\"duplist\" cellSpacing=1 cellPadding=1 border=0 bgcolor=\"#4B4B4B\">");
  Add("  <TBODY>");
  Add("    <TR bgcolor=\"#dddddd\">");
  Add("      <TD style=\"padding-left:5px;\" width=\"30px\"> <b>#</b> </TD>");
  for (int c : fColumns) Add("      <TD style=\"padding-left:10px;\"> <b>" + Text(Label(ResultColumnCaption(c))) + "</b> </TD>");
  Add("    </TR>");
}

void THtmlReport::Row(int Row, const TFileItem& Item) {
  const bool fileMode = IsFileComparisonMode(fEngine.CompareMode()) || fEngine.CompareMode() == cmPhotoLibrary;
  Add(Item.DupGroup % 2 == 1 ? "    <TR bgcolor=\"#CEE0F4\">" : "    <TR bgcolor=\"#E6EDF7\">");
  Add("      <TD>" + std::to_string(Row + 1) + "</TD>");
  for (int c : fColumns) {
    const std::string cell = ResultCellText(Item, c);
    if (fileMode && c == rcPath) {
      // The link opens the folder; its address escapes every byte a URI may not hold.
      const std::string uri = platform::FileUriFromPath(cell);
      Add("      <TD><a href=\"" + HtmlEscape(uri.empty() ? cell : uri) + "\">" + Text(cell) + "</a></TD>");
    } else {
      Add("      <TD>" + Text(cell) + "</TD>");
    }
  }
  Add("    </TR>");
}

void THtmlReport::Foot() {
  for (const char* s : {"  </TBODY>", "</TABLE>", "</body>", "</html>"}) Add(s);
}

}  // namespace pelcrow
