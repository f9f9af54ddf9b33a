#include "engine/SearchFilterSettings.h"

#include <gtest/gtest.h>

#include "TestUtil.h"

namespace pelcrow {
namespace {

TEST(SearchFilterSettings, DefaultsOfAFirstRun) {
  const TDateTime now = test::LocalTime(2026, 3, 1, 15, 30);
  const TSearchFilterFiles f = ReadSearchFilter(TIniFile(), now);
  EXPECT_EQ(f.fFileNamePattern, "*");
  EXPECT_FALSE(f.fSearchByDate || f.fSearchBySize || f.fSearchByDupGroup);
  EXPECT_EQ(f.fStartDate, test::LocalTime(2025, 3, 1));
  EXPECT_EQ(f.fEndDate, test::LocalTime(2026, 3, 1));
  EXPECT_EQ(f.fFileSize, 1);
  EXPECT_EQ(f.fSizeMeasure, ssmKBytes);
}

TEST(SearchFilterSettings, RoundTripThroughTheSection) {
  TSearchFilterFiles f;
  f.fFileNamePattern = "*.JPG";
  f.fSearchByDate = true;
  f.fStartDate = test::LocalTime(2024, 1, 2);
  f.fEndDate = test::LocalTime(2024, 3, 4);
  f.fSearchBySize = true;
  f.fSizeCondition = sscLargeThan;
  f.fFileSize = 5;
  f.fSizeMeasure = ssmMBytes;
  f.fSearchByDupGroup = true;
  f.SetDupGroupPattern("5-1,,9");
  TIniFile ini;
  WriteSearchFilter(ini, f);
  EXPECT_EQ(ini.ReadValue("SearchFilterFiles", "StartDate"), "1/2/2024");
  EXPECT_EQ(ini.ReadValue("SearchFilterFiles", "SizeMeathure"), "2");
  const TSearchFilterFiles r = ReadSearchFilter(ini, TDateTime::Now());
  EXPECT_EQ(r.fFileNamePattern, "*.JPG");
  EXPECT_EQ(r.fStartDate, f.fStartDate);
  EXPECT_EQ(r.fEndDate, f.fEndDate);
  EXPECT_EQ(r.fSizeCondition, sscLargeThan);
  EXPECT_EQ(r.fFileSize, 5);
  EXPECT_EQ(r.fDupGroupPattern, "5-1,9");
  EXPECT_EQ(r.fPrepareadDupGroupPattern, (std::vector<TDupGroupRange>{{1, 5}, {9, 9}}));
  EXPECT_EQ(SearchFilterLabel(r),
            "Filter by: '*.JPG'; Date between: 1/2/2024 and 3/4/2024; File size: larger than 5 MB; Dup. Group: 5-1,9");
  // Values out of range fall back to the defaults.
  ini.WriteInteger("SearchFilterFiles", "SizeCondition", 7);
  ini.WriteString("SearchFilterFiles", "EndDate", "not a date");
  const TSearchFilterFiles bad = ReadSearchFilter(ini, test::LocalTime(2026, 5, 6, 7));
  EXPECT_EQ(bad.fSizeCondition, sscEqual);
  EXPECT_EQ(bad.fEndDate, test::LocalTime(2026, 5, 6));
}

}  // namespace
}  // namespace pelcrow
