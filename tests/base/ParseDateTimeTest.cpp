// Date-times read back with the format they were written in.
#include <gtest/gtest.h>

#include "base/FormatSettings.h"
#include "base/ParseDateTime.h"

namespace pelcrow {
namespace {

TDateTime Local(int y, int mo, int d, int h, int mi, int s) {
  TDateTimeParts p{y, mo, d, h, mi, s, 0};
  TDateTime t;
  EXPECT_TRUE(TDateTime::FromLocal(p, t));
  return t;
}

TEST(ParseDateTimeTest, FormatsReadBackWhatTheyWrite) {
  const TFormatSettings s;
  const std::vector<std::string> formats = {
      "M/d/yyyy h:nn:ss AMPM", "dd.mm.yyyy hh:nn:ss", "yyyy-mm-dd hh:mm:ss", "d mmm yyyy h:nn am/pm",
      "dddd, mmmm d, yyyy hh:nn", "yyyymmddhhnnss", "d/m/yy h:n:s a/p", "c", "\"on\" dd.mm.yyyy 'at' t",
  };
  for (const TDateTime t : {Local(2024, 1, 5, 0, 0, 7), Local(2024, 12, 31, 12, 30, 0), Local(1999, 7, 4, 23, 5, 9),
                            Local(2030, 2, 28, 11, 59, 59)}) {
    for (const std::string& f : formats) {
      const std::string text = FormatDateTime(f, t, s);
      TDateTime back;
      ASSERT_TRUE(TryParseDateTime(text, f, s, back)) << f << ": " << text;
      const bool withSeconds = f.find('s') != std::string::npos || f == "c";
      const std::int64_t cut = withSeconds ? 1 : 60;
      EXPECT_EQ(back.UnixSeconds() / cut, t.UnixSeconds() / cut) << f << ": " << text;
    }
  }
}

TEST(ParseDateTimeTest, RefusesWhatDoesNotFollowTheFormat) {
  const TFormatSettings s;
  TDateTime t;
  for (const char* text : {"", "1/2", "13/1/2020", "2/29/2023", "1/2/2020x", "a/b/cccc", "1/2/2020 0:00:00 PM",
                           "1/2/2020 10:61:00 AM", "1/2/2020 10:00", "12/31/9999", "1/1/1000"}) {
    EXPECT_FALSE(TryParseShortDateLongTime(text, s, t)) << text;
  }
  EXPECT_TRUE(TryParseShortDateLongTime(" 2/29/2024 ", s, t));
  EXPECT_TRUE(TryParseShortDateLongTime("2/29/2024 12:00:00 am", s, t));
  EXPECT_EQ(t, Local(2024, 2, 29, 0, 0, 0));
  EXPECT_EQ(FormatShortDateLongTime(t, s), "2/29/2024");
  EXPECT_EQ(FormatShortDateLongTime(Local(2024, 2, 29, 0, 0, 1), s), "2/29/2024 12:00:01 AM");
}

}  // namespace
}  // namespace pelcrow
