#include "localization/Formatting.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "TestUtil.h"
#include "base/FormatSettings.h"

namespace pelcrow {
namespace {

// Installs format settings for one test and puts the previous ones back.
class TScopedFormatSettings {
 public:
  explicit TScopedFormatSettings(const TFormatSettings& s) : fOld(*GetFormatSettings()) { SetFormatSettings(s); }
  ~TScopedFormatSettings() { SetFormatSettings(fOld); }
  TScopedFormatSettings(const TScopedFormatSettings&) = delete;
  TScopedFormatSettings& operator=(const TScopedFormatSettings&) = delete;

 private:
  TFormatSettings fOld;
};

constexpr std::int64_t kGiB = 1073741824;

TEST(FormattingTest, FileSizeUnitsAndRounding) {
  TScopedFormatSettings english{TFormatSettings{}};
  struct TCase {
    std::int64_t Size;
    const char* Text;
  };
  for (TCase c : {TCase{0, "0 B"},
                  {-5, "-5 B"},
                  {std::numeric_limits<std::int64_t>::min(), "-9223372036854775808 B"},
                  {1023, "1023 B"},
                  {1024, "1 KB"},
                  {2047, "1 KB"},  // whole KB, rounded down
                  {1048575, "1023 KB"},
                  {1048576, "1.00 MB"},
                  {1572864, "1.50 MB"},
                  {1048576 + 5242, "1.00 MB"},
                  {1073741823, "1024.00 MB"},  // two decimals round up just below the GB step
                  {kGiB, "1.00 GB"},
                  {5 * kGiB, "5.00 GB"},
                  {std::numeric_limits<std::int64_t>::max(), "8589934592.00 GB"}}) {
    EXPECT_EQ(FormatFileSize(c.Size), c.Text) << c.Size;
  }
}

TEST(FormattingTest, FileSizeUsesTheLocaleDecimalSeparator) {
  TFormatSettings german;
  german.DecimalSeparator = ",";
  german.ThousandSeparator = ".";
  TScopedFormatSettings scoped{german};
  EXPECT_EQ(FormatFileSize(1048576), "1,00 MB");
  EXPECT_EQ(FormatFileSize(5 * kGiB + kGiB / 4), "5,25 GB");
  EXPECT_EQ(FormatFileSize(4096), "4 KB");
}

TEST(FormattingTest, FileSizeTextOfFilesAndOtherObjects) {
  test::TTempDir dir;
  const std::string file = dir.Write("f.bin", std::string(2048, 'x'));
  const std::string empty = dir.Write("empty", "");
  const std::string fifo = dir / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(GetFileSizeText(file), "2 KB");
  EXPECT_EQ(GetFileSizeText(empty), "0 B");
  EXPECT_EQ(GetFileSizeText(dir / "missing"), "Unknown");
  EXPECT_EQ(GetFileSizeText(dir.path()), "Unknown");
  EXPECT_EQ(GetFileSizeText(fifo), "Unknown");  // and it must not block on the FIFO
  EXPECT_EQ(GetFileSizeText(""), "Unknown");
}

TEST(FormattingTest, Duration) {
  struct TCase {
    double Seconds;
    const char* Text;
  };
  for (TCase c : {TCase{0, "0:00"},
                  {5, "0:05"},
                  {59.9, "0:59"},
                  {60, "1:00"},
                  {65, "1:05"},
                  {600, "10:00"},
                  {3599.99, "59:59"},
                  {3600, "1:00:00"},
                  {3725, "1:02:05"},
                  {36000 + 61, "10:01:01"},
                  {360000, "100:00:00"},
                  {-3, "0:00"},
                  {std::nan(""), "0:00"},
                  {std::numeric_limits<double>::infinity(), "0:00"},
                  {1e300, "2555555555555555:33:20"}}) {
    EXPECT_EQ(FormatDuration(c.Seconds), c.Text) << c.Seconds;
  }
}

TEST(FormattingTest, DisplayDateFormatHasAFourDigitYear) {
  struct TCase {
    const char* ShortDate;
    const char* Display;
  };
  for (TCase c : {TCase{"M/d/yy", "M/d/yyyy"},
                  {"M/d/yyyy", "M/d/yyyy"},
                  {"dd.mm.yy", "dd.mm.yyyy"},
                  {"yy-mm-dd", "yyyy-mm-dd"},
                  {"d/m", "dd.mm.yyyy"},
                  {"", "dd.mm.yyyy"}}) {
    TFormatSettings s;
    s.ShortDateFormat = c.ShortDate;
    TScopedFormatSettings scoped{s};
    EXPECT_EQ(GetDisplayDateFormat(), c.Display) << c.ShortDate;
    EXPECT_EQ(GetDisplayDateFormat(true), std::string(c.Display) + " hh:nn:ss") << c.ShortDate;
  }
}

TDateTime Local(int y, int mo, int d, int h, int mi, int s, int ms) {
  TDateTime t;
  EXPECT_TRUE(TDateTime::FromLocal(TDateTimeParts{y, mo, d, h, mi, s, ms}, t));
  return t;
}

TEST(FormatSettingsTest, DateTimeTokens) {
  const TFormatSettings english;
  const TDateTime afternoon = Local(2024, 3, 5, 14, 7, 9, 45);  // a Tuesday
  const TDateTime midnight = Local(1999, 12, 26, 0, 30, 0, 0);  // a Sunday
  struct TCase {
    TDateTime Value;
    const char* Format;
    const char* Text;
  };
  for (const TCase& c : {TCase{afternoon, "dd.mm.yyyy hh:nn:ss", "05.03.2024 14:07:09"},
                         {afternoon, "M/d/yy", "3/5/24"},
                         {afternoon, "M/d/yyyy", "3/5/2024"},
                         {afternoon, "hh:mm", "14:07"},  // m after an hour means minutes
                         {afternoon, "h:nn AMPM", "2:07 PM"},
                         {afternoon, "h:nn am/pm", "2:07 pm"},
                         {afternoon, "h:nn A/P", "2:07 P"},
                         {afternoon, "ddd, mmm d", "Tue, Mar 5"},
                         {afternoon, "dddd mmmm", "Tuesday March"},
                         {afternoon, "s.zzz z", "9.045 45"},
                         {afternoon, "'day' d \"of\" m", "day 5 of 3"},
                         {afternoon, "ddddd", "3/5/2024"},
                         {afternoon, "dddddd", "Tuesday, March 5, 2024"},
                         {afternoon, "tt", "2:07:09 PM"},
                         {afternoon, "c", "3/5/2024 2:07:09 PM"},
                         {afternoon, "yyyy'unclosed", "2024unclosed"},
                         {midnight, "h:nn ampm dddd", "12:30 AM Sunday"},
                         {midnight, "hh:nn", "00:30"},
                         {midnight, "y", "99"}}) {
    EXPECT_EQ(FormatDateTime(c.Format, c.Value, english), c.Text) << c.Format;
  }
}

TEST(FormatSettingsTest, DateTimeFollowsTheRecord) {
  TFormatSettings german;
  german.ShortDateFormat = "dd.mm.yyyy";
  german.LongTimeFormat = "hh:nn:ss";
  german.LongMonthNames[2] = "M\xC3\xA4rz";
  german.ShortDayNames[2] = "Di";
  TScopedFormatSettings scoped{german};
  const TDateTime t = Local(2024, 3, 5, 14, 7, 9, 0);
  EXPECT_EQ(FormatDateTime("c", t), "05.03.2024 14:07:09");
  EXPECT_EQ(FormatDateTime("ddd d. mmmm", t), "Di 5. M\xC3\xA4rz");
  // A format that names itself does not recurse for ever.
  german.ShortDateFormat = "ddddd";
  EXPECT_EQ(FormatDateTime("ddddd", t, german), "");
}

TEST(FormatSettingsTest, LocalePatternsBecomeTokens) {
  struct TCase {
    const char* Pattern;
    const char* Format;
  };
  for (TCase c : {TCase{"M/d/yy", "m/d/yy"},
                  {"dd.MM.yyyy", "dd.mm.yyyy"},
                  {"d/M/y", "d/m/yyyy"},
                  {"HH:mm:ss", "hh:nn:ss"},
                  {"h:mm:ss AP", "h:nn:ss ampm"},
                  {"h:mm a", "h:nn ampm"},
                  {"HH:mm:ss t", "hh:nn:ss"},
                  {"dddd, MMMM d, yyyy", "dddd, mmmm d, yyyy"},
                  {"EEE d MMM", "ddd d mmm"},
                  {"d 'de' MMMM 'de' yyyy", "d\" de \"mmmm\" de \"yyyy"},
                  {"H 'h' mm", "h\" h \"nn"},
                  {"yyyy'\xE5\xB9\xB4'M'\xE6\x9C\x88'd'\xE6\x97\xA5'", "yyyy\xE5\xB9\xB4m\xE6\x9C\x88" "d\xE6\x97\xA5"},
                  {"HH.mm.ss.zzz", "hh.nn.ss.zzz"},
                  {"'o''clock' h", "\"o'clock \"h"}}) {
    EXPECT_EQ(DateTimeFormatFromLocalePattern(c.Pattern), c.Format) << c.Pattern;
  }
  // The converted short date widens to four digits and formats as the locale would.
  TFormatSettings s;
  s.ShortDateFormat = DateTimeFormatFromLocalePattern("dd.MM.yy");
  TScopedFormatSettings scoped{s};
  EXPECT_EQ(FormatDateTime(GetDisplayDateFormat(true), Local(2024, 3, 5, 14, 7, 9, 0)), "05.03.2024 14:07:09");
}

TEST(FormatSettingsTest, Thousands) {
  TFormatSettings s;
  struct TCase {
    long long Value;
    const char* Text;
  };
  for (TCase c : {TCase{0, "0"},
                  {999, "999"},
                  {1000, "1,000"},
                  {1234567, "1,234,567"},
                  {-1234, "-1,234"},
                  {LLONG_MIN, "-9,223,372,036,854,775,808"}}) {
    EXPECT_EQ(FormatThousands(c.Value, s), c.Text) << c.Value;
  }
  s.ThousandSeparator = "\xE2\x80\xAF";  // narrow no-break space, several bytes
  EXPECT_EQ(FormatThousands(1234567, s), "1\xE2\x80\xAF" "234\xE2\x80\xAF" "567");
}

TEST(FormatSettingsTest, RecordsHandedOutStayValid) {
  std::shared_ptr<const TFormatSettings> held = GetFormatSettings();
  const std::string before = held->DecimalSeparator;
  {
    TFormatSettings other;
    other.DecimalSeparator = "#";
    TScopedFormatSettings scoped{other};
    EXPECT_EQ(GetFormatSettings()->DecimalSeparator, "#");
    EXPECT_EQ(held->DecimalSeparator, before);
  }
  EXPECT_EQ(GetFormatSettings()->DecimalSeparator, before);
}

}  // namespace
}  // namespace pelcrow
