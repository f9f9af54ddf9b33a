#include <gtest/gtest.h>

#include <thread>

#include "base/DateTime.h"
#include "base/ItemString.h"
#include "base/MainThread.h"
#include "engine/NameKeys.h"
#include "localization/TranslateText.h"

namespace pelcrow {
namespace {

TEST(ItemStringTest, SharesCopiesAndComparesByText) {
  TItemString empty;
  EXPECT_TRUE(empty.empty());
  EXPECT_STREQ(empty.c_str(), "");
  TItemString a("/home/ann/music");
  TItemString b = a;
  EXPECT_TRUE(a.SharesBufferWith(b));
  TItemString c(std::string("/home/ann/music"));
  EXPECT_FALSE(a.SharesBufferWith(c));
  EXPECT_EQ(a, c);
  EXPECT_EQ(a.size(), 15u);
  TItemString moved = std::move(b);
  EXPECT_EQ(moved, "/home/ann/music");
  EXPECT_LT(TItemString("a"), TItemString("b"));
  std::string bytes("x\xFFy\0z", 5);  // not UTF-8, with a NUL: kept as bytes
  EXPECT_EQ(TItemString(bytes).view(), bytes);
  EXPECT_EQ(a + "/x", "/home/ann/music/x");
  EXPECT_EQ(sizeof(TItemString), sizeof(void*));
}

struct TKeyCase {
  const char* Name;
  const char* NameKey;
  const char* ExtKey;
};

TEST(NameKeysTest, UpperCaseKeys) {
  for (TKeyCase c : {TKeyCase{"Report.final.txt", "REPORT.FINAL", ".TXT"}, {"README", "README", ""},
                     {".bashrc", "", ".BASHRC"}, {"\xC3\xA4pfel.Jpg", "\xC3\x84PFEL", ".JPG"},
                     {"bad\xFFname.x", "BAD\xFFNAME", ".X"}}) {
    EXPECT_EQ(NameKeyOf(c.Name), c.NameKey) << c.Name;
    EXPECT_EQ(ExtensionKeyOf(c.Name), c.ExtKey) << c.Name;
  }
}

TEST(TranslateTextTest, ReplacesTheProductName) {
  EXPECT_EQ(TranslateText("About $APP_NAME$ and $APP_NAME$"), "About Pelcrow and Pelcrow");
  EXPECT_EQ(TranslateText("plain"), "plain");
}

TEST(DateTimeTest, LocalFieldsRoundTrip) {
  TDateTimeParts p{2024, 2, 29, 13, 45, 10, 250};
  TDateTime t;
  ASSERT_TRUE(TDateTime::FromLocal(p, t));
  TDateTimeParts back = t.ToLocal();
  EXPECT_EQ(back.Year, 2024);
  EXPECT_EQ(back.Day, 29);
  EXPECT_EQ(back.Second, 10);
  EXPECT_EQ(back.MilliSecond, 250);
  EXPECT_EQ(t.ToIsoText(), "2024-02-29 13:45:10");
  EXPECT_FALSE(TDateTime::FromLocal({2023, 2, 29, 0, 0, 0, 0}, t));
  EXPECT_LT(TDateTime::FromUnix(1), TDateTime::FromUnix(2));
}

TEST(MainThreadTest, CallWaitsAndPostRunsLaterOnTheOwner) {
  TQueueMainThread loop;
  EXPECT_TRUE(loop.IsMainThread());
  int order = 0, called = 0, posted = 0;
  std::thread worker([&] {
    loop.Call([&] { called = ++order; });
    loop.Post([&] { posted = ++order; });
  });
  loop.RunUntil([&] { return posted != 0; });
  worker.join();
  EXPECT_EQ(called, 1);
  EXPECT_EQ(posted, 2);
  int inline_ = 0;
  loop.Call([&] { inline_ = 1; });  // on the owner: runs at once
  EXPECT_EQ(inline_, 1);
}

}  // namespace
}  // namespace pelcrow
