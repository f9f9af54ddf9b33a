// The three exports of the visible result rows, checked as their readers see them.
#include "export/ExportList.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "TestUtil.h"
#include "engine/ResultColumns.h"
#include "localization/TextEncoding.h"

namespace pelcrow {
namespace {

using test::MakeItem;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::size_t start = 0;
  for (std::size_t p; (p = text.find("\r\n", start)) != std::string::npos; start = p + 2) out.push_back(text.substr(start, p - start));
  EXPECT_EQ(start, text.size()) << "every line ends with CR LF";
  return out;
}

class ExportListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fEngine.AddItem(MakeItem("/home/ann/a & b", "x<1>.txt", 1, 1000, 0));
    fEngine.AddItem(MakeItem("/home/ann/c", "say \"hi\".txt", 1, 1000, 0));
    fEngine.AddItem(MakeItem("/home/ann/Grüße", "d.jpg", 2, 2048, 0));
    fEngine.AddItem(MakeItem("/home/ann/e", "d.jpg", 2, 2048, 0));
    fInfo.Info.OriginalSize = 3048;
    fInfo.Info.DuplicateSize = 3048;
    fInfo.Dirs = {"/home/ann"};
    // Half past nine in the evening: the report is dated that day.
    ASSERT_TRUE(TDateTime::FromLocal({2026, 12, 10, 21, 30, 5, 0}, fNow));
  }
  std::string Build(TExportFormat f) { return BuildExport(f, fEngine, fColumns, fInfo, fNow); }

  TScanEngine fEngine{cmCRC32, {}};
  std::vector<int> fColumns = ResultColumnsFor(cmCRC32, 0);
  TExportInfo fInfo;
  TDateTime fNow;
};

TEST_F(ExportListTest, TextReportIsUtf16WithPaddedColumns) {
  const std::string bytes = Build(efTXT);
  ASSERT_EQ(bytes.substr(0, 2), "\xFF\xFE");
  const std::vector<std::string> l = Lines(DecodeTextBytes(bytes));
  ASSERT_EQ(l.size(), 13u);
  EXPECT_EQ(l[0], "List of Duplicate Files");
  EXPECT_EQ(l[1], "Date of Search                     Thursday, December 10, 2026,  9:30:05 PM");
  EXPECT_EQ(l[2], "Number of Original and Duplicate   4");
  EXPECT_EQ(l[3], "Size of Original                   2 KB");
  EXPECT_EQ(l[5], "Search Duplicate in folders        ");
  EXPECT_EQ(l[6], std::string(35, ' ') + "/home/ann");
  EXPECT_EQ(l[7], "This List Includes");
  // "#" is as wide as the row count plus three; each column its longest cell plus three, the
  // last one too.
  EXPECT_EQ(l[8].substr(0, 4), "#   ");
  EXPECT_EQ(l[9].substr(0, 17), "1   x<1>.txt     ");
  EXPECT_EQ(l[11].substr(4, 13), "d.jpg        ");
  EXPECT_EQ(l[12].back(), ' ');
  EXPECT_NE(l[11].find("/home/ann/Grüße"), std::string::npos);
}

TEST_F(ExportListTest, CsvReadsBackThroughPythonsCsvModule) {
  test::TTempDir dir;
  const std::string path = dir / "export.csv";
  ASSERT_EQ(ExportList(efCSV, fEngine, fColumns, fInfo, path), 0);
  const std::string bytes = test::ReadAll(path);
  ASSERT_EQ(bytes.substr(0, 3), "\xEF\xBB\xBF");
  EXPECT_NE(bytes.find("\"say \"\"hi\"\".txt\""), std::string::npos);
  const std::string cmd = "/usr/bin/python3 -c \"import csv,sys; r=list(csv.reader(open(sys.argv[1], encoding='utf-8-sig', newline='')));"
                          "print(len(r)); print(r[0][0]); print(r[2][0]); print(r[3][1])\" '" + path + "'";
  FILE* p = ::popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string out;
  char buf[256];
  while (std::fgets(buf, sizeof buf, p)) out += buf;
  ASSERT_EQ(::pclose(p), 0) << out;
  EXPECT_EQ(out, "5\nFile Name\nsay \"hi\".txt\n/home/ann/Grüße\n");
}

TEST_F(ExportListTest, HtmlIsUtf8AndEscapesEveryText) {
  const std::string html = Build(efHTML);
  EXPECT_NE(html.substr(0, 2), "\xFF\xFE");
  const std::vector<std::string> l = Lines(html);
  EXPECT_EQ(l[4], "\t<meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\"/>");
  EXPECT_NE(html.find("<TD>x&lt;1&gt;.txt</TD>"), std::string::npos);
  EXPECT_EQ(html.find("x<1>"), std::string::npos);
  EXPECT_NE(html.find("<a href=\"file:///home/ann/a%20%26%20b\">/home/ann/a &amp; b</a>"), std::string::npos);
  EXPECT_NE(html.find(">/home/ann/Grüße</a>"), std::string::npos);
  // Odd groups one colour, even groups the other.
  EXPECT_NE(html.find("<TR bgcolor=\"#CEE0F4\">\r\n      <TD>1</TD>"), std::string::npos);
  EXPECT_NE(html.find("<TR bgcolor=\"#E6EDF7\">\r\n      <TD>3</TD>"), std::string::npos);
  EXPECT_EQ(l.back(), "</html>");
}

TEST(ExportFormat, FromFileName) {
  TExportFormat f{};
  EXPECT_TRUE(ExportFormatFromFileName("a/b.HTML", f));
  EXPECT_EQ(f, efHTML);
  EXPECT_TRUE(ExportFormatFromFileName("r.csv", f));
  EXPECT_EQ(f, efCSV);
  EXPECT_FALSE(ExportFormatFromFileName("x.dup", f));
  EXPECT_FALSE(ExportFormatFromFileName("dir.txt/file", f));
}

}  // namespace
}  // namespace pelcrow
