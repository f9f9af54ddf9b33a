// The one CSV quoter: the exports quote every field, the command line only where a reader needs it.
#include "export/CsvField.h"

#include <gtest/gtest.h>

#include <vector>

namespace pelcrow {
namespace {

TEST(CsvField, QuotesWhereAReaderNeedsItOrAlways) {
  struct TCase {
    const char* Text;
    const char* Separator;
    bool Always;
    const char* Field;
  };
  for (const TCase& c : std::vector<TCase>{
           {"plain", ",", false, "plain"},
           {"plain", ",", true, "\"plain\""},
           {"", ",", true, "\"\""},
           {"a,b", ",", false, "\"a,b\""},
           {"a,b", ";", false, "a,b"},
           {"a;b", ";", false, "\"a;b\""},
           {"say \"hi\"", ",", false, "\"say \"\"hi\"\"\""},
           {"two\nlines", ",", false, "\"two\nlines\""},
           {"cr\r", ",", false, "\"cr\r\""},
       }) {
    EXPECT_EQ(CsvField(c.Text, c.Separator, c.Always), c.Field) << c.Text << " / " << c.Separator;
  }
}

}  // namespace
}  // namespace pelcrow
