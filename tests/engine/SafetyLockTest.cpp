// The safety lock: which group it reports, what the user's answer does to the result and to the
// stored settings, and the lock for processing one item.
#include <gtest/gtest.h>

#include "TestUtil.h"
#include "engine/SafetyLock.h"
#include "localization/LanguageController.h"

namespace pelcrow {
namespace {

using test::MakeItem;
using test::ReadAll;
using test::TRecordingView;
using test::TScriptedPrompt;
using test::TTempDir;
using TAnswer = IUserPrompt::TCheckSelectionAnswer;

constexpr const char* kGroup3Message =
    "You have selected ALL items in DupGroup #3. At least ONE item in each duplicate group must be "
    "unchecked/unprocessed. It will be treated as \"original\" item.";

struct TRow {
  std::uint32_t Group;
  bool Selected = false;
  bool Processed = false;
};

// Settings saved into this test's folder; an engine whose rows are shown in the grid.
class SafetyLockTest : public ::testing::Test {
 protected:
  void SetUp() override { fSettings.fSettingsFile = SettingsFile(); }
  TSafetyLockOptions Lock() { return SafetyLockOptionsFor(fSettings); }

  std::string SettingsFile() const { return fDir / "pelcrow.settings"; }
  bool SavedLockOff() const { return ReadAll(SettingsFile()).find("DisableSafetyLock=1") != std::string::npos; }

  void Fill(TScanEngine& e, const std::vector<TRow>& rows) {
    char name = 'a';
    for (const TRow& r : rows) {
      PFileItem it = MakeItem("/d", std::string(1, name++), r.Group);
      it->fSelected = r.Selected;
      it->fProcessed = r.Processed;
      if (e.CompareMode() == cmEmails) {
        it->Emails = std::make_unique<TEmailInfo>();
        it->Emails->Subject = it->Name.str();
      }
      e.AddItem(it);
    }
    e.SortResults(&fView, 0, soAsc);  // by name (subject for mails): the rows keep their order
  }

  TTempDir fDir;
  TPcwSettings fSettings;
  TScriptedPrompt fPrompt;
  TRecordingView fView;
};

TEST_F(SafetyLockTest, ReportsTheLowestFullyCheckedGroup) {
  TScanEngine e(cmCRC32, {});
  Fill(e, {{5, true}, {5, true}, {1, true}, {1}, {2}, {2, true}, {3, true}, {3, false, true}});
  EXPECT_FALSE(CheckSelectionProtection(e, true, Lock()));
  EXPECT_EQ(fPrompt.SafetyLockMessages, std::vector<std::string>{kGroup3Message});
  EXPECT_EQ(fPrompt.SafetyLockOverrideShown, std::vector<bool>{true});
  EXPECT_FALSE(CheckSelectionProtection(e, false, Lock()));
  EXPECT_EQ(fPrompt.SafetyLockOverrideShown, (std::vector<bool>{true, false}));
  EXPECT_FALSE(fSettings.DisableSafetyLock);
  EXPECT_FALSE(std::filesystem::exists(SettingsFile()));
}

struct TGroupCase {
  const char* Name;
  std::vector<TRow> Rows;
  bool Shown;   // the rows are in the grid
  bool Locked;  // the window is shown
};

void PrintTo(const TGroupCase& c, std::ostream* os) { *os << c.Name; }

class SafetyLockGroupTest : public SafetyLockTest, public ::testing::WithParamInterface<TGroupCase> {};

TEST_P(SafetyLockGroupTest, LocksOnlyAGroupThisProcessingWouldEmpty) {
  const TGroupCase& c = GetParam();
  TScanEngine e(cmCRC32, {});
  if (c.Shown) {
    Fill(e, c.Rows);
  } else {
    for (const TRow& r : c.Rows) {
      PFileItem it = MakeItem("/d", "x", r.Group);
      it->fSelected = r.Selected;
      e.AddItem(it);
    }
  }
  EXPECT_EQ(CheckSelectionProtection(e, true, Lock()), !c.Locked);
  EXPECT_EQ(fPrompt.SafetyLockMessages.size(), c.Locked ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Groups, SafetyLockGroupTest,
    ::testing::Values(TGroupCase{"OneUncheckedCopyPerGroup", {{1, true}, {1}, {2}, {2, false, true}}, true, false},
                      TGroupCase{"CheckedAndProcessedTogether", {{1, true}, {1, false, true}}, true, true},
                      // Processed earlier with nothing checked now: this processing leaves it alone.
                      TGroupCase{"ProcessedBeforeAndNothingChecked", {{1, false, true}, {1, false, true}, {2, true}, {2}},
                                 true, false},
                      TGroupCase{"NothingInTheGrid", {{1, true}, {1, true}}, false, false}),
    [](const auto& p) { return std::string(p.param.Name); });

struct TAnswerCase {
  const char* Name;
  bool AllowOverride;
  TAnswer Answer;
  bool Result;
  bool LockOff;  // fSettings.DisableSafetyLock afterwards, and saved
};

void PrintTo(const TAnswerCase& c, std::ostream* os) { *os << c.Name; }

class SafetyLockAnswerTest : public SafetyLockTest, public ::testing::WithParamInterface<TAnswerCase> {};

TEST_P(SafetyLockAnswerTest, AnswerDecidesAndOnlyAlwaysIsStored) {
  const TAnswerCase& c = GetParam();
  TScanEngine e(cmCRC32, {});
  Fill(e, {{1, true}, {1, true}});
  fPrompt.SafetyLockAnswers = {c.Answer};
  EXPECT_EQ(CheckSelectionProtection(e, c.AllowOverride, Lock()), c.Result);
  EXPECT_EQ(fSettings.DisableSafetyLock, c.LockOff);
  EXPECT_EQ(std::filesystem::exists(SettingsFile()), c.LockOff);
  EXPECT_EQ(SavedLockOff(), c.LockOff);
  EXPECT_TRUE(fPrompt.Messages.empty());
  EXPECT_FALSE(e.Item(0)->fProcessed);
  EXPECT_TRUE(e.Item(0)->fSelected);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, SafetyLockAnswerTest,
    ::testing::Values(TAnswerCase{"Cancel", true, {false, false, false}, false, false},
                      TAnswerCase{"CancelWithAlwaysTicked", true, {false, true, true}, false, false},
                      TAnswerCase{"OkWithoutOverride", true, {true, false, false}, false, false},
                      TAnswerCase{"OkThisTimeOnly", true, {true, true, false}, true, false},
                      TAnswerCase{"OkAlways", true, {true, true, true}, true, true},
                      // No OK is offered without the override: an answer claiming it changes nothing.
                      TAnswerCase{"NoOverrideOffered", false, {true, true, true}, false, false}),
    [](const auto& p) { return std::string(p.param.Name); });

TEST_F(SafetyLockTest, LockTurnedOffSkipsOnlyCallersThatAllowOverriding) {
  TScanEngine e(cmCRC32, {});
  Fill(e, {{1, true}, {1, true}});
  fSettings.DisableSafetyLock = true;
  EXPECT_TRUE(CheckSelectionProtection(e, true, Lock()));
  EXPECT_TRUE(fPrompt.SafetyLockMessages.empty());
  EXPECT_FALSE(CheckSelectionProtection(e, false, Lock()));
  EXPECT_EQ(fPrompt.SafetyLockOverrideShown, std::vector<bool>{false});
}

TEST_F(SafetyLockTest, SettingsThatCannotBeSavedAreReportedAndTheOverrideStands) {
  fDir.Write("file", "");
  fSettings.fSettingsFile = fDir / "file/pelcrow.settings";
  TScanEngine e(cmCRC32, {});
  Fill(e, {{1, true}, {1, true}});
  fPrompt.SafetyLockAnswers = {{true, true, true}};
  EXPECT_TRUE(CheckSelectionProtection(e, true, Lock()));
  EXPECT_TRUE(fSettings.DisableSafetyLock);
  ASSERT_EQ(fPrompt.Messages.size(), 1u);
  EXPECT_EQ(fPrompt.Messages[0].first, TMessageKind::mkError);
  EXPECT_NE(fPrompt.Messages[0].second.find("cannot"), std::string::npos) << fPrompt.Messages[0].second;
}

TEST_F(SafetyLockTest, TranslatedMessageGetsTheGroupNumberAndIsNoFormat) {
  std::string key = kGroup3Message;
  key.replace(key.find("#3"), 2, "#%d");
  fDir.Write("Languages/xy.lng", key + "=Gruppe #%d ganz gew\xC3\xA4hlt, %s %n bleibt\n");
  TLanguageController& c = GetLanguageController();
  c.SetLanguagesFolder(fDir / "Languages");
  c.SetLanguage("xy");
  TScanEngine e(cmCRC32, {});
  Fill(e, {{3, true}, {3, true}});
  EXPECT_FALSE(CheckSelectionProtection(e, true, Lock()));
  c.SetLanguage("en");
  c.SetLanguagesFolder(TLanguageController::DefaultLanguagesFolder());
  EXPECT_EQ(fPrompt.SafetyLockMessages, std::vector<std::string>{"Gruppe #3 ganz gew\xC3\xA4hlt, %s %n bleibt"});
}

// ------------------------------------------------------------------ one item

struct TItemCase {
  const char* Name;
  std::uint8_t Mode;
  std::vector<TRow> Rows;
  int Index;
  bool LockOff;
  TAnswer Answer;
  bool Result;
  bool Asked;
  bool OverrideShown;
};

void PrintTo(const TItemCase& c, std::ostream* os) { *os << c.Name; }

class ItemLockTest : public SafetyLockTest, public ::testing::WithParamInterface<TItemCase> {};

TEST_P(ItemLockTest, LocksTheLastUnprocessedCopy) {
  const TItemCase& c = GetParam();
  TScanEngine e(c.Mode, {});
  Fill(e, c.Rows);
  fSettings.DisableSafetyLock = c.LockOff;
  fPrompt.SafetyLockAnswers = {c.Answer};
  EXPECT_EQ(CheckItemProtection(e, c.Index, Lock()), c.Result);
  ASSERT_EQ(fPrompt.SafetyLockMessages.size(), c.Asked ? 1u : 0u);
  if (c.Asked) {
    EXPECT_EQ(fPrompt.SafetyLockMessages[0],
              "All items in DupGroup #2 except this one are already processed. At least ONE item in each group "
              "should remain untreated - it is considered to be the \"original\" item.");
    EXPECT_EQ(fPrompt.SafetyLockOverrideShown[0], c.OverrideShown);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Items, ItemLockTest,
    ::testing::Values(
        TItemCase{"OtherCopyProcessed", cmCRC32, {{1}, {2, false, true}, {2}}, 2, false, {}, false, true, true},
        TItemCase{"OverrideThisTime", cmCRC32, {{2, false, true}, {2}}, 1, false, {true, true, false}, true, true, true},
        TItemCase{"AnotherCopyLeft", cmCRC32, {{2, false, true}, {2}, {2}}, 1, false, {}, true, false, false},
        // The item itself was processed before: another copy is still there.
        TItemCase{"ItselfProcessed", cmCRC32, {{2, false, true}, {2}}, 0, false, {}, true, false, false},
        TItemCase{"LockOffInAFileMode", cmCRC32, {{2, false, true}, {2}}, 1, true, {}, true, false, false},
        // Mail items: the lock holds without an override even when it is turned off.
        TItemCase{"LockOffInTheMailMode", cmEmails, {{2, false, true}, {2}}, 1, true, {true, true, true}, false, true,
                  false}),
    [](const auto& p) { return std::string(p.param.Name); });

}  // namespace
}  // namespace pelcrow
