#include "settings/FileMaskSelectorModel.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pelcrow {
namespace {

using TModel = TFileMaskSelectorModel;
using TKind = TMaskSelectorKind;
using TList = std::vector<std::string>;

// Indices of the default include list.
enum : std::size_t { kAnyFile = 0, kAcrobat = 1, kPhoto = 6, kText = 7 };

std::vector<std::size_t> Ticked(const TModel& model) {
  std::vector<std::size_t> ticked;
  for (std::size_t i = 0; i < model.Count(); ++i)
    if (model.Checked(i)) ticked.push_back(i);
  return ticked;
}

TModel FileInclude(std::string_view field) {
  return TModel(TKind::mskInclude, false, DefaultIncludeFileMasks(), field);
}

TEST(FileMaskSelectorModelTest, OpeningTicksTheGroupsWhosePatternsAreInTheField) {
  struct TCase {
    std::string Field;
    std::vector<std::size_t> Ticked;
  };
  const std::vector<TCase> cases = {
      {"*.*;", {kAnyFile}},
      {"*.*", {kAnyFile}},
      {"", {}},
      {"*.PDF;*.TXT;*.RTF;", {kAcrobat, kText}},
      {"*.TXT;", {}},  // half of a group is not the group
  };
  for (const TCase& c : cases) EXPECT_EQ(Ticked(FileInclude(c.Field)), c.Ticked) << c.Field;
}

TEST(FileMaskSelectorModelTest, AnyFileAndOtherGroupsExcludeEachOther) {
  TModel model = FileInclude("*.*;");
  model.SetChecked(kPhoto, true);
  EXPECT_EQ(Ticked(model), (std::vector<std::size_t>{kPhoto}));
  model.SetChecked(kText, true);
  EXPECT_EQ(Ticked(model), (std::vector<std::size_t>{kPhoto, kText}));
  model.SetChecked(kAnyFile, true);
  EXPECT_EQ(Ticked(model), (std::vector<std::size_t>{kAnyFile}));
  // Ticking an entry already ticked changes nothing else.
  TModel both = FileInclude("*.*;*.PDF;");
  both.SetChecked(kAcrobat, true);
  EXPECT_EQ(Ticked(both), (std::vector<std::size_t>{kAnyFile, kAcrobat}));
  // The exclude selector follows the same rules.
  TModel exclude(TKind::mskExclude, false, BuildMaskList({"All | *.*", "Text | *.TXT"}), "*.*;");
  exclude.SetChecked(1, true);
  EXPECT_EQ(Ticked(exclude), (std::vector<std::size_t>{1}));
}

TEST(FileMaskSelectorModelTest, OkNeedsATickOnlyInTheIncludeSelector) {
  TModel include = FileInclude("*.*;");
  EXPECT_TRUE(include.OkEnabled());
  include.SetChecked(kAnyFile, false);
  EXPECT_FALSE(include.OkEnabled());

  TModel exclude(TKind::mskExclude, false, DefaultExcludeFileMasks(), "*.PDF;");
  EXPECT_EQ(Ticked(exclude), (std::vector<std::size_t>{0}));
  exclude.SetChecked(0, false);
  EXPECT_TRUE(exclude.OkEnabled());
  EXPECT_EQ(exclude.FieldTextOnClose(true), "");
  EXPECT_EQ(ExcludeFieldAfterSelector("*.PDF;", exclude.FieldTextOnClose(true)), "");
}

TEST(FileMaskSelectorModelTest, ResultListsTickedPatternsInListOrder) {
  TModel model = FileInclude("");
  model.SetChecked(kText, true);
  model.SetChecked(kAcrobat, true);
  EXPECT_EQ(model.ResultFieldText(), "*.PDF;*.TXT;*.RTF;");
}

TEST(FileMaskSelectorModelTest, CancelReturnsTheOldFieldAndForgetsEdits) {
  TPcwSettings settings;
  settings.IncludeFileMasks = DefaultIncludeFileMasks();
  TModel model(TKind::mskInclude, settings, "*.PDF;");
  ASSERT_TRUE(model.AddMask("*.DOC", "Word"));
  ASSERT_TRUE(model.DeleteMask(kAnyFile));
  ASSERT_TRUE(model.EditMask(0, "*.XPS", "Paper"));
  model.SetChecked(3, true);
  EXPECT_EQ(model.FieldTextOnClose(false), "*.PDF;");
  // Nothing reaches the settings unless OK stores the list.
  EXPECT_EQ(settings.IncludeFileMasks, DefaultIncludeFileMasks());
}

TEST(FileMaskSelectorModelTest, OkStoresTheEditedListOutsideTheMusicMode) {
  TPcwSettings settings;
  settings.IncludeFileMasks = DefaultIncludeFileMasks();
  settings.ExcludeFileMasks = DefaultExcludeFileMasks();
  TModel model(TKind::mskExclude, settings, "");
  ASSERT_TRUE(model.AddMask(" *.DOC ", " Word, \"old\" "));
  ASSERT_TRUE(model.AddMask("*.BAK", ""));
  model.SetChecked(model.Count() - 2, true);
  model.SetChecked(model.Count() - 1, true);
  EXPECT_EQ(model.Entry(model.Count() - 2), "Word, \"old\" | *.DOC");
  EXPECT_EQ(model.Entry(model.Count() - 1), "*.BAK");
  EXPECT_EQ(model.FieldTextOnClose(true), "*.DOC;*.BAK;");
  EXPECT_TRUE(model.StoreList(settings));
  EXPECT_EQ(settings.IncludeFileMasks, DefaultIncludeFileMasks());
  TList expected = DefaultExcludeMaskEntries();
  expected.push_back("Word, \"old\" | *.DOC");
  expected.push_back("*.BAK");
  EXPECT_EQ(ParseMaskList(settings.ExcludeFileMasks), expected);
  // Opening again shows the stored list with the field's ticks.
  TModel again(TKind::mskExclude, settings, "*.BAK;");
  EXPECT_EQ(again.Count(), expected.size());
  EXPECT_EQ(Ticked(again), (std::vector<std::size_t>{expected.size() - 1}));
}

TEST(FileMaskSelectorModelTest, MusicListsAreFixedAndNeverStored) {
  TPcwSettings settings;
  settings.SetComparisonMode(cmMusicTags);
  settings.IncludeMusicFileMasks = DefaultMusicFileMasks();
  settings.IncludeFileMasks = "untouched";
  TModel model(TKind::mskInclude, settings, DefaultMusicMaskField());
  EXPECT_TRUE(model.MusicMode());
  EXPECT_TRUE(model.SelectionButtonsVisible());
  EXPECT_FALSE(model.ListEditable());
  EXPECT_EQ(Ticked(model).size(), 17u);
  EXPECT_FALSE(model.AddMask("*.X", "X"));
  EXPECT_FALSE(model.EditMask(0, "*.X", "X"));
  EXPECT_FALSE(model.DeleteMask(0));
  EXPECT_EQ(model.Count(), 17u);
  model.UnselectAll();
  EXPECT_FALSE(model.OkEnabled());
  // No exclusive ticks in the music mode.
  model.SetChecked(0, true);
  model.SetChecked(9, true);
  EXPECT_EQ(model.ResultFieldText(), "*.M4A;*.MP3;");
  model.ReverseSelection();
  EXPECT_EQ(Ticked(model).size(), 15u);
  model.SelectAll();
  EXPECT_EQ(model.ResultFieldText(), DefaultMusicMaskField() + ";");
  EXPECT_FALSE(model.StoreList(settings));
  EXPECT_EQ(settings.IncludeMusicFileMasks, DefaultMusicFileMasks());
  EXPECT_EQ(settings.IncludeFileMasks, "untouched");
}

TEST(FileMaskSelectorModelTest, ARawFieldDoesNotTickRealAudio) {
  TModel model(TKind::mskInclude, true, DefaultMusicFileMasks(), "*.RAW;");
  ASSERT_EQ(model.Count(), 17u);
  EXPECT_EQ(Ticked(model), (std::vector<std::size_t>{11}));
  EXPECT_EQ(model.FieldTextOnClose(true), "*.RAW;");
}

TEST(FileMaskSelectorModelTest, EditUsesTheEntryPartsAndKeepsTheTick) {
  TModel model = FileInclude("*.TXT;*.RTF;");
  EXPECT_EQ(model.EditFields(kText), (TMaskEntryParts{"Text Files", "*.TXT;*.RTF"}));
  EXPECT_EQ(model.EditFields(99), TMaskEntryParts{});
  EXPECT_FALSE(model.EditMask(kText, "  ", "New"));  // an empty mask leaves the entry
  EXPECT_EQ(model.Entry(kText), "Text Files | *.TXT;*.RTF");
  EXPECT_TRUE(model.EditMask(kText, "*.TXT;*.MD", "Text"));
  EXPECT_EQ(model.Entry(kText), "Text | *.TXT;*.MD");
  EXPECT_TRUE(model.Checked(kText));
  EXPECT_EQ(model.ResultFieldText(), "*.TXT;*.MD;");
  EXPECT_FALSE(model.EditMask(99, "*.X", ""));
  EXPECT_FALSE(model.DeleteMask(99));
  model.SetChecked(99, true);  // ignored
}

TEST(FileMaskSelectorModelTest, DeleteRemovesAtOnce) {
  TModel model = FileInclude("*.*;");
  ASSERT_TRUE(model.DeleteMask(kAnyFile));
  EXPECT_EQ(model.Count(), 9u);
  EXPECT_EQ(model.Entry(0), "Adobe Acrobat Files | *.PDF");
  EXPECT_FALSE(model.OkEnabled());
}

TEST(FileMaskSelectorModelTest, RestoreDefaultsPerSelector) {
  struct TCase {
    TKind Kind;
    bool Music;
    std::size_t Count;
    std::size_t TickedCount;
  };
  const std::vector<TCase> cases = {
      {TKind::mskInclude, false, 10, 1},
      {TKind::mskExclude, false, 9, 0},
      {TKind::mskInclude, true, 17, 17},
      {TKind::mskExclude, true, 17, 0},
  };
  for (const TCase& c : cases) {
    TModel model(c.Kind, c.Music, "\"x | *.X\"", "*.X;");
    model.RestoreDefaults();
    EXPECT_EQ(model.Count(), c.Count);
    EXPECT_EQ(Ticked(model).size(), c.TickedCount);
    EXPECT_TRUE(model.OkEnabled());
    if (c.Kind == TKind::mskInclude && !c.Music) {
      EXPECT_TRUE(model.Checked(kAnyFile));
    }
  }
}

TEST(FileMaskSelectorModelTest, CaptionsAndBlankEntries) {
  EXPECT_STREQ(TModel(TKind::mskInclude, false, "", "").Caption(), "INCLUDE File Masks");
  EXPECT_STREQ(TModel(TKind::mskExclude, false, "", "").Caption(), "EXCLUDE File Masks");
  // Blank entries of a damaged list are not offered: they carry no patterns.
  TModel model(TKind::mskInclude, false, "\"\",*.A,\"  \",,", "*.A;");
  EXPECT_EQ(model.Count(), 1u);
  EXPECT_EQ(model.ListText(), "*.A");
  EXPECT_EQ(Ticked(model), (std::vector<std::size_t>{0}));
}

}  // namespace
}  // namespace pelcrow
