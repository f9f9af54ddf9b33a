// Decoding of language files and the lookup rules of one loaded file.
#include "localization/LanguageFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "localization/TextEncoding.h"

namespace pelcrow {
namespace {

std::string Utf16LE(std::u16string_view s, bool bom = true) {
  std::string r = bom ? "\xFF\xFE" : "";
  for (char16_t u : s) {
    r.push_back(static_cast<char>(u & 0xFF));
    r.push_back(static_cast<char>(u >> 8));
  }
  return r;
}

std::string Utf16BE(std::u16string_view s) {
  std::string r = "\xFE\xFF";
  for (char16_t u : s) {
    r.push_back(static_cast<char>(u >> 8));
    r.push_back(static_cast<char>(u & 0xFF));
  }
  return r;
}

struct TDecodeCase {
  const char* Name;
  std::string Bytes;
  std::string Utf8;
};

TEST(TextEncodingTest, DecodesByByteOrderMark) {
  const std::vector<TDecodeCase> cases = {
      {"no mark is UTF-8", "Gr\xC3\xBC\xC3\x9F" "e", "Gr\xC3\xBC\xC3\x9F" "e"},
      {"UTF-8 mark is dropped", "\xEF\xBB\xBFK=V", "K=V"},
      {"UTF-16 LE", Utf16LE(u"K=\u00FC\u20AC"), "K=\xC3\xBC\xE2\x82\xAC"},
      {"UTF-16 BE", Utf16BE(u"K=\u00FC"), "K=\xC3\xBC"},
      {"UTF-16 surrogate pair", Utf16LE(u"\U0001F600"), "\xF0\x9F\x98\x80"},
      {"UTF-16 lone high surrogate", Utf16LE(u"a\xD800" u"b"), "a\xEF\xBF\xBD" "b"},
      {"UTF-16 lone low surrogate", Utf16LE(u"\xDC00"), "\xEF\xBF\xBD"},
      {"UTF-16 odd trailing byte", Utf16LE(u"ab") + "c", "ab\xEF\xBF\xBD"},
      {"invalid UTF-8 reads as Latin-1", "caf\xE9 \xFF", "caf\xC3\xA9 \xC3\xBF"},
      {"overlong form is not UTF-8", "\xC0\xAF", "\xC3\x80\xC2\xAF"},
      {"UTF-8 surrogate is not UTF-8", "\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xC2\x80"},
      {"truncated sequence", "a\xE2\x82", "a\xC3\xA2\xC2\x82"},
      {"empty", "", ""},
  };
  for (const TDecodeCase& c : cases) EXPECT_EQ(DecodeTextBytes(c.Bytes), c.Utf8) << c.Name;
}

TEST(TextEncodingTest, EncodesUtf16LittleEndianAndCountsCharacters) {
  std::string out;
  AppendUtf16LE(out, "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
  EXPECT_EQ(out, Utf16LE(u"A\u00E9\u20AC\U0001F600", false));
  out.clear();
  AppendUtf16LE(out, "\xFF");  // a file name byte that is not UTF-8
  EXPECT_EQ(out, std::string("\xFF\x00", 2));
  EXPECT_EQ(CharacterCount("Datei gel\xC3\xB6scht"), 14u);
  EXPECT_EQ(CharacterCount("\xF0\x9F\x98\x80x"), 2u);
}

struct TLookupCase {
  const char* Name;
  std::string File;
  std::string Text;
  std::string Expected;
};

TEST(LanguageFileTest, TranslatesByTheFileRules) {
  const std::vector<TLookupCase> cases = {
      {"plain entry", "Cancel=Abbrechen\n", "Cancel", "Abbrechen"},
      {"key case is ignored", "cancel=Abbrechen\n", "CANCEL", "Abbrechen"},
      {"first duplicate wins", "Cancel=Eins\ncancel=Zwei\n", "Cancel", "Eins"},
      {"translation keeps later '='", "a=b=c\n", "a", "b=c"},
      {"blanks around '=' belong to the texts", "Cancel = Abbrechen\n", "Cancel", "Cancel"},
      {"line without '=' is ignored", "Cancel\nCancel=Abbrechen\n", "Cancel", "Abbrechen"},
      {"blank translation keeps English", "Cancel=  \t\n", "Cancel", "Cancel"},
      {"empty translation keeps English", "Cancel=\n", "Cancel", "Cancel"},
      {"missing text stays English", "Cancel=Abbrechen\n", "OK", "OK"},
      {"CR LF lines", "A=1\r\nB=2\r\n", "B", "2"},
      {"CR only lines", "A=1\rB=2\r", "B", "2"},
      {"last line without break", "A=1\nB=2", "B", "2"},
      {"UTF-16 file", Utf16LE(u"Cancel=\u00C4nderung\r\n"), "Cancel", "\xC3\x84nderung"},
      {"backslash-n becomes CR LF", "Line=Zeile 1\\nZeile 2\n", "Line", "Zeile 1\r\nZeile 2"},
      {"CR LF text is looked up as backslash-n", "One\\nTwo=Eins\\nZwei\n", "One\r\nTwo", "Eins\r\nZwei"},
      {"LF text keeps LF", "One\\nTwo=Eins\\nZwei\n", "One\nTwo", "Eins\nZwei"},
      {"$APP_NAME$ in any case", "About $app_name$=\xC3\x9C" "ber $APP_NAME$\n", "About Pelcrow",
       "\xC3\x9C" "ber Pelcrow"},
      {"truncated UTF-8 tail is read as far as sound", "A=1\nB=\xE2\x82", "B", "\xC3\xA2\xC2\x82"},
  };
  for (const TLookupCase& c : cases) {
    TLanguageFile f;
    f.LoadFromBytes(c.File);
    EXPECT_EQ(f.Translate(c.Text, false), c.Expected) << c.Name;
  }
}

TEST(LanguageFileTest, ReverseLookupGivesTheKeyOfAnExactTranslation) {
  TLanguageFile f;
  f.LoadFromBytes("Cancel=Abbrechen\nAbort=Abbrechen\nClose=Schlie\xC3\x9F" "en\nTwo\\nLines=Zwei\\nZeilen\n"
                  "Blank=\n");
  EXPECT_EQ(f.Translate("Abbrechen", true), "Cancel");  // first line wins
  EXPECT_EQ(f.Translate("abbrechen", true), "abbrechen");  // case-sensitive
  EXPECT_EQ(f.Translate("Zwei\r\nZeilen", true), "Two\r\nLines");
  EXPECT_EQ(f.Translate("Something else", true), "Something else");
  EXPECT_EQ(f.Translate("", true), "");  // not the key of the empty translation
}

TEST(LanguageFileTest, LanguageNameAndMissingFile) {
  TLanguageFile f;
  f.LoadFromBytes("\xEF\xBB\xBF;LangName=Deutsch\nCancel=Abbrechen\n");
  EXPECT_EQ(f.LangName(), "Deutsch");
  EXPECT_EQ(f.Lines().size(), 2u);
  TLanguageFile none;
  none.LoadFromBytes("Cancel=Abbrechen\n");
  EXPECT_EQ(none.LangName(), "");
  TLanguageFile missing;
  EXPECT_FALSE(missing.LoadFromFile("/nonexistent/pelcrow/xx.lng"));
  EXPECT_FALSE(missing.LoadFromFile("/"));  // a folder opens but does not read
  EXPECT_TRUE(missing.Lines().empty());
}

TEST(LanguageFileTest, ReplaceAppNameIgnoresCase) {
  EXPECT_EQ(ReplaceAppName("$APP_NAME$/$App_Name$/$APP_NAME/$APP_NAME$$"), "Pelcrow/Pelcrow/$APP_NAME/Pelcrow$");
  EXPECT_EQ(ReplaceAppName(""), "");
}

}  // namespace
}  // namespace pelcrow
