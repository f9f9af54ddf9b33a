#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

#include "settings/FileMask.h"
#include "settings/FileMasks.h"

namespace pelcrow {
namespace {

using TList = std::vector<std::string>;

// ---------------------------------------------------------------- default lists

TEST(FileMasksDefaultsTest, IncludeListHasTheTenGroupsInOrder) {
  const TList entries = DefaultIncludeMaskEntries();
  ASSERT_EQ(entries.size(), 10u);
  const TList descriptions = {
      "Any File",          "Adobe Acrobat Files", "Archive Files", "MS Office Files", "Music Files",
      "Open Office Files", "Photo Images",        "Text Files",    "Video Files",     "Web Files"};
  for (std::size_t i = 0; i < entries.size(); ++i) EXPECT_EQ(SplitMaskEntry(entries[i]).Description, descriptions[i]);
  EXPECT_EQ(entries[0], "Any File | *.*");
  EXPECT_EQ(entries[3],
            "MS Office Files | *.MDB;*.ADP;*.MDA;*.MDE;*.ADE;*.XL;*.XLA;*.XLS*;*.XLT;*.XLM;*.XLC;*.XLW;*.PPS;*.PPT*;"
            "*.DOC*;*.WRI;*.CSV");
  EXPECT_EQ(entries[7], "Text Files | *.TXT;*.RTF");
}

TEST(FileMasksDefaultsTest, ExcludeListIsTheIncludeListWithoutAnyFile) {
  TList expected = DefaultIncludeMaskEntries();
  expected.erase(expected.begin());
  EXPECT_EQ(DefaultExcludeMaskEntries(), expected);
}

TEST(FileMasksDefaultsTest, MusicListKeepsDescriptionsToTheLetter) {
  const TList entries = DefaultMusicMaskEntries();
  ASSERT_EQ(entries.size(), 17u);
  EXPECT_EQ(entries[0], "MPEG-4 Audio, iTunes | *.M4A");
  EXPECT_EQ(entries[3], "MPEG-2 Advanced Audio Coding  | *.AAC");
  EXPECT_EQ(entries[5], "Monkey's Audio | *.APE");
  EXPECT_EQ(entries[16], "Real Audio | *.RA");
}

TEST(FileMasksDefaultsTest, StoredFormsAreQuotedCommaListsOfTheEntries) {
  EXPECT_TRUE(DefaultIncludeFileMasks().starts_with("\"Any File | *.*\",\"Adobe Acrobat Files | *.PDF\","));
  EXPECT_TRUE(DefaultMusicFileMasks().starts_with("\"MPEG-4 Audio, iTunes | *.M4A\",\"MPEG-4 Protected | *.M4P\","));
  EXPECT_TRUE(DefaultIncludeFileMasks().ends_with(",\"Web Files | *.ASP;*.CSS;*.HTML;*.HTM;*.PHP;*.XHTML;*.JS\""));
  EXPECT_EQ(ParseMaskList(DefaultIncludeFileMasks()), DefaultIncludeMaskEntries());
  EXPECT_EQ(ParseMaskList(DefaultExcludeFileMasks()), DefaultExcludeMaskEntries());
  EXPECT_EQ(ParseMaskList(DefaultMusicFileMasks()), DefaultMusicMaskEntries());
}

TEST(FileMasksDefaultsTest, EveryDefaultPatternIsAValidMask) {
  for (const TList& list : {DefaultIncludeMaskEntries(), DefaultMusicMaskEntries()}) {
    for (const std::string& entry : list) {
      std::string patterns = SplitMaskEntry(entry).Patterns + ";";
      for (std::size_t start = 0, end; (end = patterns.find(';', start)) != std::string::npos; start = end + 1) {
        EXPECT_NO_THROW(TFileMask(patterns.substr(start, end - start))) << entry;
      }
    }
  }
}

TEST(FileMasksDefaultsTest, FieldTexts) {
  EXPECT_EQ(kDefaultIncludeMaskField, "*.*");
  EXPECT_EQ(kSelectorIncludeMaskField, "*.*;");
  EXPECT_EQ(DefaultMusicMaskField(),
            "*.M4A;*.M4P;*.MP2;*.AAC;*.AIFF;*.APE;*.AU;*.FLAC;*.MID;*.MP3;*.OGG;*.RAW;*.WAV;*.WMA;*.MP3PRO;*.RM;*.RA");
}

TEST(FileMasksDefaultsTest, BlankStoredListStandsForTheDefault) {
  EXPECT_EQ(MaskListOrDefault("", "D"), "D");
  EXPECT_EQ(MaskListOrDefault("  \t ", "D"), "D");
  EXPECT_EQ(MaskListOrDefault(" x ", "D"), " x ");
}

// ---------------------------------------------------------------- the stored list format

struct TParseCase {
  std::string Text;
  TList Entries;
};

class MaskListParseTest : public ::testing::TestWithParam<TParseCase> {};

TEST_P(MaskListParseTest, Parses) { EXPECT_EQ(ParseMaskList(GetParam().Text), GetParam().Entries); }

INSTANTIATE_TEST_SUITE_P(
    WellFormed, MaskListParseTest,
    ::testing::Values(TParseCase{"", {}}, TParseCase{"   ", {}}, TParseCase{"a,b", {"a", "b"}},
                      TParseCase{" a , b ", {"a", "b"}}, TParseCase{"\"a b\",c", {"a b", "c"}},
                      TParseCase{"\"say \"\"hi\"\"\"", {"say \"hi\""}}, TParseCase{"\"a,b\"", {"a,b"}},
                      TParseCase{"a,,b", {"a", "", "b"}}, TParseCase{"\"\"", {""}},
                      TParseCase{"*.PDF,\"Text Files | *.TXT;*.RTF\"", {"*.PDF", "Text Files | *.TXT;*.RTF"}}));

// What is recovered from text the program never writes.
INSTANTIATE_TEST_SUITE_P(Malformed, MaskListParseTest,
                         ::testing::Values(TParseCase{"a b", {"a", "b"}},           // a blank ends a bare entry
                                           TParseCase{"a\tb\nc", {"a", "b", "c"}},  // so does a control character
                                           TParseCase{"a,", {"a", ""}},             // a final comma adds an empty entry
                                           TParseCase{"a, ", {"a", ""}}, TParseCase{",a", {"", "a"}},
                                           TParseCase{"\"open", {"open"}},              // an open quote takes the rest
                                           TParseCase{"\"open, \"\"x", {"open, \"x"}},  //
                                           TParseCase{"a,\"\"\"", {"a", "\""}},         //
                                           TParseCase{"\"a\"b", {"a", "b"}},            // text after a closing quote
                                           TParseCase{"ab\"c", {"ab\"c"}},              // a quote inside a bare entry
                                           TParseCase{std::string("a\0b", 3), {"a", "b"}}  // NUL is a blank
                                           ));

TEST(MaskListFormatTest, BuildQuotesOnlyWhatNeedsIt) {
  EXPECT_EQ(BuildMaskList({}), "");
  EXPECT_EQ(BuildMaskList({"*.PDF", "*.TXT;*.RTF"}), "*.PDF,*.TXT;*.RTF");
  EXPECT_EQ(BuildMaskList({"Text Files | *.TXT"}), "\"Text Files | *.TXT\"");
  EXPECT_EQ(BuildMaskList({"a,b", "say \"hi\"", "t\tab"}), "\"a,b\",\"say \"\"hi\"\"\",\"t\tab\"");
  EXPECT_EQ(BuildMaskList({"", "a"}), "\"\",a");
}

TEST(MaskListFormatTest, RoundTripKeepsEveryList) {
  const std::vector<TList> lists = {
      {},
      {""},
      {"", ""},
      {"a", ""},
      {"Any File | *.*"},
      {"Quotes \"inside\" | *.Q", "\"leading quote", "trailing quote\"", "\"\""},
      {"comma, inside | *.C", ",", ",,"},
      {"  blanks around  ", "tab\there", "new\nline", "del\x7F", "bar|only", " | a|b"},
      {"caf\xC3\xA9 | *.\xC3\xA9", "raw\xFF\xFE", std::string("nul\0in", 6)},
      DefaultIncludeMaskEntries(),
      DefaultMusicMaskEntries(),
  };
  for (const TList& list : lists) EXPECT_EQ(ParseMaskList(BuildMaskList(list)), list) << BuildMaskList(list);
}

TEST(MaskListFormatTest, ArbitraryTextParsesAndRebuildsStably) {
  const std::string alphabet = std::string("a| ,\"\t\n;*\xC3", 10) + std::string(1, '\0');
  std::mt19937 random(20240501);
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    const int length = static_cast<int>(random() % 16);
    for (int i = 0; i < length; ++i) text.push_back(alphabet[random() % alphabet.size()]);
    const TList parsed = ParseMaskList(text);
    EXPECT_EQ(ParseMaskList(BuildMaskList(parsed)), parsed) << text;
  }
}

// ---------------------------------------------------------------- entries

struct TSplitCase {
  std::string Entry;
  TMaskEntryParts Parts;
};

class MaskEntrySplitTest : public ::testing::TestWithParam<TSplitCase> {};

TEST_P(MaskEntrySplitTest, Splits) {
  const TMaskEntryParts parts = SplitMaskEntry(GetParam().Entry);
  EXPECT_EQ(parts.Description, GetParam().Parts.Description);
  EXPECT_EQ(parts.Patterns, GetParam().Parts.Patterns);
  EXPECT_EQ(MaskEntryPatterns(GetParam().Entry), GetParam().Parts.Patterns);
}

INSTANTIATE_TEST_SUITE_P(
    Entries, MaskEntrySplitTest,
    ::testing::Values(TSplitCase{"Any File | *.*", {"Any File", "*.*"}},
                      TSplitCase{"MPEG-2 Advanced Audio Coding  | *.AAC", {"MPEG-2 Advanced Audio Coding", "*.AAC"}},
                      TSplitCase{"*.DOC", {"", "*.DOC"}}, TSplitCase{"  *.DOC ", {"", "*.DOC"}},
                      // Hand-written entries without blanks keep their first pattern whole.
                      TSplitCase{"Docs|*.DOC", {"Docs", "*.DOC"}}, TSplitCase{"Docs |*.DOC", {"Docs", "*.DOC"}},
                      // A description may hold bars; patterns never hold " | ".
                      TSplitCase{"A|B | *.x", {"A|B", "*.x"}}, TSplitCase{"A | B | *.x", {"A | B", "*.x"}},
                      TSplitCase{" | a|b", {"", "a|b"}}, TSplitCase{"D | a|b", {"D", "a|b"}},
                      TSplitCase{"Desc | ", {"Desc", ""}}, TSplitCase{"", {"", ""}}));

struct TMakeCase {
  std::string Mask;
  std::string Description;
  std::optional<std::string> Entry;
};

class MaskEntryMakeTest : public ::testing::TestWithParam<TMakeCase> {};

TEST_P(MaskEntryMakeTest, MakesAndSplitsBack) {
  const TMakeCase& c = GetParam();
  const std::optional<std::string> entry = MakeMaskEntry(c.Mask, c.Description);
  EXPECT_EQ(entry, c.Entry);
  if (!entry) return;
  // What the editor stores reads back as the two fields it was given.
  const TMaskEntryParts parts = SplitMaskEntry(*entry);
  EXPECT_EQ(*MakeMaskEntry(parts.Patterns, parts.Description), *entry);
  EXPECT_EQ(parts.Patterns.size() + parts.Description.size() > 0, true);
}

INSTANTIATE_TEST_SUITE_P(Editor, MaskEntryMakeTest,
                         ::testing::Values(TMakeCase{"*.DOC", "Word", "Word | *.DOC"}, TMakeCase{"*.DOC", "", "*.DOC"},
                                           TMakeCase{"  *.DOC ", "  Word ", "Word | *.DOC"},
                                           TMakeCase{"", "Word", std::nullopt}, TMakeCase{"   ", "", std::nullopt},
                                           TMakeCase{"a|b", "", " | a|b"}, TMakeCase{"a|b", "D", "D | a|b"},
                                           TMakeCase{"*.X", "A | B", "A | B | *.X"}));

struct TOccurCase {
  std::string Patterns;
  std::string Field;
  bool Expected;
};

class MaskFieldOccurrenceTest : public ::testing::TestWithParam<TOccurCase> {};

TEST_P(MaskFieldOccurrenceTest, FindsWholePatterns) {
  EXPECT_EQ(PatternsInFieldText(GetParam().Patterns, GetParam().Field), GetParam().Expected)
      << GetParam().Patterns << " in " << GetParam().Field;
}

INSTANTIATE_TEST_SUITE_P(Fields, MaskFieldOccurrenceTest,
                         ::testing::Values(TOccurCase{"*.*", "*.*;", true}, TOccurCase{"*.*", "*.*", true},
                                           TOccurCase{"*.TXT;*.RTF", "*.PDF;*.TXT;*.RTF;", true},
                                           TOccurCase{"*.PDF", "*.PDF;*.TXT;", true},
                                           TOccurCase{"*.MP3", " *.MP3 ", true},
                                           // Part of a longer pattern is not the pattern.
                                           TOccurCase{"*.RA", "*.RAW;", false}, TOccurCase{"*.RA", "*.RAW;*.RA;", true},
                                           TOccurCase{"*.MP3", "*.MP3PRO;", false},
                                           TOccurCase{"*.ODT", "X*.ODT;", false}, TOccurCase{"*.A;", "*.A;*.B;", true},
                                           TOccurCase{"*.PDF", "*.pdf;", false}, TOccurCase{"", "", false},
                                           TOccurCase{"", "*.*;", false}));

TEST(MaskFieldTextTest, BuildsPatternsEachFollowedBySemicolon) {
  EXPECT_EQ(BuildMaskFieldText({}), "");
  EXPECT_EQ(BuildMaskFieldText({"*.PDF", "*.TXT;*.RTF"}), "*.PDF;*.TXT;*.RTF;");
}

TEST(MaskFieldTextTest, FieldAfterTheSelectorButtons) {
  struct TCase {
    std::string Field, Result;
    bool Music;
    std::string Include, Exclude;
  };
  const std::vector<TCase> cases = {
      {"*.PDF;", "*.TXT;", false, "*.TXT;", "*.TXT;"},
      {"*.PDF;", "", false, "*.PDF;", ""},  // an empty result clears only the exclude field
      {"", "", false, "*.*;", ""},
      {"  ", "", false, "*.*;", ""},
      {"", "", true, DefaultMusicMaskField(), ""},
      {"*.MP3;", "", true, "*.MP3;", ""},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(IncludeFieldAfterSelector(c.Field, c.Result, c.Music), c.Include) << c.Field << "|" << c.Result;
    EXPECT_EQ(ExcludeFieldAfterSelector(c.Field, c.Result), c.Exclude) << c.Field << "|" << c.Result;
  }
}

// ---------------------------------------------------------------- mask editor

struct TValidateCase {
  TMaskType Type;
  std::string Mask;
  std::optional<std::string> Shown;  // the characters the warning lists; nullopt when accepted
};

class MaskEditorValidationTest : public ::testing::TestWithParam<TValidateCase> {};

TEST_P(MaskEditorValidationTest, AcceptsOrWarns) {
  const TValidateCase& c = GetParam();
  const std::optional<std::string> warning = ValidateEditorMask(c.Type, c.Mask);
  if (!c.Shown) {
    EXPECT_EQ(warning, std::nullopt);
    return;
  }
  EXPECT_EQ(warning, "Please remove following symbols from the mask:  " + *c.Shown);
}

INSTANTIATE_TEST_SUITE_P(
    Masks, MaskEditorValidationTest,
    ::testing::Values(TValidateCase{mtFileMask, "*.DOC", std::nullopt},
                      TValidateCase{mtFileMask, "a?[b-c]*", std::nullopt},
                      // Characters Windows refuses are valid in Linux file names.
                      TValidateCase{mtFileMask, "a|b\"<>:\\", std::nullopt}, TValidateCase{mtFileMask, "a/b", "/"},
                      TValidateCase{mtFileMask, "//a/", "/"}, TValidateCase{mtFolderMask, "*/cache/*", std::nullopt},
                      TValidateCase{mtFileMask, "a\tb/\x01", "^A^I/"}, TValidateCase{mtFolderMask, "a\tb/", "^I"},
                      TValidateCase{mtFolderMask, "x\x7F", "^?"}, TValidateCase{mtFileMask, "", std::nullopt}));

TEST(MaskEditorValidationTest, ForbiddenCharactersPerType) {
  for (unsigned c = 0; c < 256; ++c) {
    const bool control = c < 0x20 || c == 0x7F;
    EXPECT_EQ(IsForbiddenMaskChar(mtFileMask, static_cast<unsigned char>(c)), control || c == '/') << c;
    EXPECT_EQ(IsForbiddenMaskChar(mtFolderMask, static_cast<unsigned char>(c)), control) << c;
  }
  EXPECT_EQ(FindForbiddenMaskChars(mtFileMask, "/\t/\x01"), "\x01\t/");
}

}  // namespace
}  // namespace pelcrow
