// GVariant text as gdbus reads and prints it.
#include "platform/SessionBus.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pelcrow::platform {
namespace {

TEST(SessionBusTest, QuotesAndReadsGVariantText) {
  EXPECT_EQ(GVariantQuote("it's a\\b\n"), "'it\\'s a\\\\b\\u000a'");
  EXPECT_EQ(GVariantStrings("(['Road & Rail', \"it's\", 'a\\'b\\u00e4'],)"),
            (std::vector<std::string>{"Road & Rail", "it's", "a'b\xC3\xA4"}));
  EXPECT_TRUE(GVariantStrings("(@as [],)").empty());
  const std::string dict = "({'title': <'a > b'>, 'play-count': <uint32 7>, 'rating': <4.0>, 'v': <<'x'>>},)";
  EXPECT_EQ(GVariantDictValue(dict, "title"), "'a > b'");
  EXPECT_EQ(GVariantDictValue(dict, "v"), "<'x'>");
  EXPECT_EQ(GVariantNumber(*GVariantDictValue(dict, "play-count")), 7);
  EXPECT_EQ(GVariantNumber(*GVariantDictValue(dict, "rating")), 4);
  EXPECT_FALSE(GVariantDictValue(dict, "a > b").has_value());
  EXPECT_FALSE(GVariantDictValue(dict, "missing").has_value());
}

}  // namespace
}  // namespace pelcrow::platform
