#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "AudioBuilders.h"
#include "audiotags/Genres.h"
#include "audiotags/TagText.h"

namespace pelcrow {
namespace {

using test::Utf16BE;
using test::Utf16LE;

TEST(TagTextTest, Latin1BecomesUtf8) {
  EXPECT_EQ(Latin1ToUtf8("Caf\xE9 \xFF"), "Café ÿ");
  EXPECT_EQ(Latin1ToUtf8("plain"), "plain");
}

TEST(TagTextTest, Utf16BothOrdersWithSurrogatesAndTerminator) {
  struct TCase {
    std::u16string Text;
    std::string Expected;
  } cases[] = {
      {u"Ωmega", "Ωmega"},
      {u"\u00FF\u01FFx", "ÿǿx"},  // units whose low byte is 0xFF are characters like any other
      {u"G clef \U0001D11E", "G clef 𝄞"},
      {std::u16string(u"cut") + u'\0' + u"after", "cut"},
      {std::u16string(1, static_cast<char16_t>(0xD834)) + u"x", "\xEF\xBF\xBDx"},  // unpaired surrogate
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Utf16ToUtf8(Utf16LE(c.Text), false), c.Expected);
    EXPECT_EQ(Utf16ToUtf8(Utf16BE(c.Text), true), c.Expected);
  }
  EXPECT_EQ(Utf16ToUtf8(std::string("A\0B", 3), false), "A");  // an odd last byte is no unit
}

TEST(TagTextTest, Utf8SanitisingAndPrefixRule) {
  struct TCase {
    std::string In, Sanitized, Prefix;
  } cases[] = {
      {"Ünïcode 🎵", "Ünïcode 🎵", "Ünïcode 🎵"},
      {"ab\xC3", "ab", "ab"},  // cut-off sequence
      {"ab\xFF"
       "cd",
       "ab\xEF\xBF\xBD"
       "cd",
       "ab"},  // stray byte
      {"x\xE2\x82"
       "y",
       "x\xEF\xBF\xBD\xEF\xBF\xBDy", "x"},           // lead without its continuation
      {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD", ""},  // overlong
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SanitizeUtf8(c.In), c.Sanitized) << c.In;
    EXPECT_EQ(Utf8Prefix(c.In), c.Prefix) << c.In;
  }
}

TEST(TagTextTest, TrimAndNumbers) {
  EXPECT_EQ(TrimText(" \t\x01 Rock \0\r\n"), "Rock");
  EXPECT_EQ(TrimRightText("  a \x1F"), "  a");
  EXPECT_EQ(UpperAscii("Title=é"), "TITLE=é");
  struct TCase {
    const char* Text;
    std::int64_t Track;
  } tracks[] = {{"3/12", 3}, {"7", 7},  {" 4 / 10", 4}, {"", 0},  {"A1", 0},
                {"1.5", 0},  {"-2", 0}, {"70000", 0},   {"+9", 9}};
  for (const auto& t : tracks) EXPECT_EQ(TrackNumberOf(t.Text, 0xFFFF), t.Track) << t.Text;
}

TEST(TagTextTest, DurationTextTellsEveryDoubleApart) {
  EXPECT_EQ(DurationText(250), "250");
  EXPECT_EQ(DurationText(0.5), "0.5");
  double d = 1000.0 * 144 * 8 / 44100;
  EXPECT_EQ(std::stod(DurationText(d)), d);
  double next = std::nextafter(d, 100.0);
  EXPECT_NE(DurationText(d), DurationText(next));
  EXPECT_EQ(DurationText(std::nan("")), "");
}

TEST(TagTextTest, GenreListHas148PublishedNames) {
  struct TCase {
    std::size_t Index;
    const char* Name;
  } cases[] = {{0, "Blues"},  {1, "Classic Rock"}, {17, "Rock"}, {79, "Hard Rock"}, {80, "Folk"},
               {146, "JPop"}, {147, "Synthpop"},   {148, ""},    {255, ""}};
  for (const auto& c : cases) EXPECT_EQ(GenreName(c.Index), c.Name) << c.Index;
  for (std::size_t i = 0; i < kGenreCount; ++i) EXPECT_FALSE(GenreName(i).empty()) << i;
}

}  // namespace
}  // namespace pelcrow
