// The language controller: the list of language files, switching languages (back to English
// through the reverse lookup) and the registered windows; TranslateText's use of the controller.
#include "localization/LanguageController.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <functional>
#include <future>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "TestUtil.h"
#include "localization/LanguageFile.h"
#include "localization/TranslateText.h"
#include "logging/Logger.h"
#include "settings/PcwSettings.h"

namespace pelcrow {
namespace {

namespace fs = std::filesystem;

// A window whose texts are whatever it shows now, re-translated in place as a form's captions are.
class TFakeWindow final : public ITranslatable {
 public:
  TFakeWindow(TLanguageController& c, std::vector<std::string> texts) : Texts(std::move(texts)), Controller(&c) {}
  void Retranslate() override {
    ++Calls;
    for (std::string& t : Texts) t = Controller->Translate(t);
    if (OnRetranslate) OnRetranslate();
  }
  std::vector<std::string> Texts;
  TLanguageController* Controller;
  int Calls = 0;
  std::function<void()> OnRetranslate;
};

class LanguageControllerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fLanguages = fDir / "Languages";
    fDir.Write("Languages/Fr.lng",
               ";LangName=Fran\xC3\xA7" "ais\nCancel=Annuler\nFile=Fichier\nOnly French=Seulement\n");
    fDir.Write("Languages/de.lng", "Cancel=Abbrechen\nFile=Datei\n");
    fDir.Write("Languages/notes.txt", "Cancel=Nope\n");
    fs::create_directories(fLanguages + "/folder.lng");
  }
  test::TTempDir fDir;
  std::string fLanguages;
};

TEST_F(LanguageControllerTest, ListsLanguageFilesWithTheirNames) {
  TLanguageController c(fLanguages);
  const std::vector<TLanguageInfo> list = c.GetAvailableLanguages();
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].Code, "en");
  EXPECT_EQ(list[0].DisplayName, "English");
  // Sorted by file name ("Fr.lng" before "de.lng" in byte order); codes are lower case.
  EXPECT_EQ(list[1].Code, "fr");
  EXPECT_EQ(list[1].DisplayName, "Fran\xC3\xA7" "ais");
  EXPECT_EQ(list[1].FileName, fLanguages + "/Fr.lng");
  EXPECT_EQ(list[2].Code, "de");
  EXPECT_EQ(list[2].DisplayName, "de");  // no ";LangName"

  fs::remove(fLanguages + "/de.lng");  // gone since the folder was read
  EXPECT_EQ(c.GetAvailableLanguages().size(), 2u);

  TLanguageController none(fDir / "NoSuchFolder");
  ASSERT_EQ(none.GetAvailableLanguages().size(), 1u);
  none.SetLanguage("fr");
  EXPECT_EQ(none.CurrentLanguageCode(), "en");
}

TEST_F(LanguageControllerTest, DuplicateCodeKeepsTheFirstFile) {
  fDir.Write("Languages/FR.lng", ";LangName=Other\nCancel=Autre\n");
  TLanguageController c(fLanguages);
  const auto list = c.GetAvailableLanguages();
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[1].FileName, fLanguages + "/FR.lng");
  c.SetLanguage("fr");
  EXPECT_EQ(c.Translate("Cancel"), "Autre");
}

TEST_F(LanguageControllerTest, SetLanguageAndBackToEnglish) {
  TLanguageController c(fLanguages);
  EXPECT_EQ(c.CurrentLanguageCode(), "en");
  EXPECT_EQ(c.Translate("Cancel"), "Cancel");
  c.SetLanguage("fr");
  EXPECT_EQ(c.CurrentLanguageCode(), "fr");
  EXPECT_EQ(c.Translate("cancel"), "Annuler");
  EXPECT_EQ(c.Translate("Unknown text"), "Unknown text");
  c.SetLanguage("de");
  EXPECT_EQ(c.CurrentLanguageCode(), "de");
  EXPECT_EQ(c.Translate("Cancel"), "Abbrechen");
  c.SetLanguage("en");
  EXPECT_EQ(c.CurrentLanguageCode(), "en");
  EXPECT_EQ(c.Translate("Cancel"), "Cancel");
}

TEST_F(LanguageControllerTest, UnknownOrMissingLanguageStaysEnglish) {
  TLanguageController c(fLanguages);
  c.SetLanguage("fr");
  c.SetLanguage("xx");
  EXPECT_EQ(c.CurrentLanguageCode(), "en");
  EXPECT_EQ(c.Translate("Cancel"), "Cancel");

  fs::remove(fLanguages + "/de.lng");
  c.SetLanguage("de");
  EXPECT_EQ(c.CurrentLanguageCode(), "en");

  c.SetLanguage("");
  EXPECT_EQ(c.CurrentLanguageCode(), "en");
}

TEST_F(LanguageControllerTest, RegisteredWindowsFollowEveryChange) {
  TLanguageController c(fLanguages);
  c.SetLanguage("fr");
  TFakeWindow w(c, {"Cancel", "File", "Only French", "Untranslated"});
  int toolkitCalls = 0;
  c.SetToolkitRetranslate([&] { ++toolkitCalls; });

  c.AddToTranslateList(&w);  // translated at once
  EXPECT_EQ(w.Calls, 1);
  EXPECT_EQ(w.Texts, (std::vector<std::string>{"Annuler", "Fichier", "Seulement", "Untranslated"}));
  c.AddToTranslateList(&w);  // registered once only
  EXPECT_EQ(w.Calls, 1);

  // French to German: back to English through the reverse lookup, then German.
  c.SetLanguage("de");
  EXPECT_EQ(w.Calls, 3);
  EXPECT_EQ(toolkitCalls, 2);
  EXPECT_EQ(w.Texts, (std::vector<std::string>{"Abbrechen", "Datei", "Only French", "Untranslated"}));

  c.SetLanguage("de");  // same code: nothing happens
  EXPECT_EQ(w.Calls, 3);

  c.SetLanguage("en");
  EXPECT_EQ(w.Calls, 4);
  EXPECT_EQ(w.Texts, (std::vector<std::string>{"Cancel", "File", "Only French", "Untranslated"}));
  // The toolkit hears the reset, then once more when English stands (it loads its own texts by
  // the language code).
  EXPECT_EQ(toolkitCalls, 4);

  c.RemoveFromTranslateList(&w);
  c.SetLanguage("fr");
  EXPECT_EQ(w.Calls, 4);
  EXPECT_EQ(toolkitCalls, 5);
}

TEST_F(LanguageControllerTest, DestroyedWindowLeavesTheList) {
  TLanguageController c(fLanguages);
  TFakeWindow kept(c, {"Cancel"});
  c.AddToTranslateList(&kept);
  {
    TFakeWindow closed(c, {"File"});
    c.AddToTranslateList(&closed);
    TFakeWindow copy = closed;  // a copy is not registered
  }
  c.SetLanguage("fr");  // would call the destroyed windows
  EXPECT_EQ(kept.Texts[0], "Annuler");

  // Registering with another controller moves the window there.
  TLanguageController other(fLanguages);
  kept.Controller = &other;
  other.AddToTranslateList(&kept);
  EXPECT_EQ(kept.Texts[0], "Annuler");  // other speaks English: no entry, the text stays
  c.SetLanguage("de");
  EXPECT_EQ(kept.Texts[0], "Annuler");
  kept.Texts[0] = "Cancel";
  other.SetLanguage("de");
  EXPECT_EQ(kept.Texts[0], "Abbrechen");
}

TEST_F(LanguageControllerTest, WindowClosedDuringRetranslationIsNotCalled) {
  TLanguageController c(fLanguages);
  TFakeWindow first(c, {"Cancel"});
  TFakeWindow second(c, {"File"});
  c.AddToTranslateList(&first);
  c.AddToTranslateList(&second);
  first.OnRetranslate = [&] { c.RemoveFromTranslateList(&second); };
  c.SetLanguage("fr");
  EXPECT_EQ(first.Calls, 2);
  EXPECT_EQ(second.Calls, 1);
  EXPECT_EQ(second.Texts[0], "File");
}

TEST_F(LanguageControllerTest, ReverseLookupOnlyOnTheSwitchingThread) {
  TLanguageController c(fLanguages);
  c.SetLanguage("fr");
  TFakeWindow w(c, {"Annuler"});
  std::string otherThread;
  std::string sameThread;
  bool inReset = true;
  w.OnRetranslate = [&] {
    if (!inReset) return;
    inReset = false;
    sameThread = c.Translate("Annuler");
    otherThread = std::async(std::launch::async, [&] { return c.Translate("Cancel"); }).get();
  };
  c.AddToTranslateList(&w);  // not a language change: normal lookup
  EXPECT_EQ(sameThread, "Annuler");
  inReset = true;
  c.SetLanguage("de");
  EXPECT_EQ(sameThread, "Cancel");
  EXPECT_EQ(otherThread, "Annuler");  // a worker still sees the old language, not the reverse lookup
  c.RemoveFromTranslateList(&w);
}

// TranslateText and the process-wide controller; puts the controller back into English.
class TranslateTextControllerTest : public LanguageControllerTest {
 protected:
  void TearDown() override {
    GetLanguageController().SetLanguage("en");
    GetLanguageController().SetLanguagesFolder(TLanguageController::DefaultLanguagesFolder());
    Settings.TranslationLanguageCode = fSavedCode;
  }
  std::string fSavedCode = Settings.TranslationLanguageCode;
};

TEST_F(TranslateTextControllerTest, ReplacesTheProductNameThenTranslates) {
  EXPECT_EQ(TranslateText("About $app_name$"), "About Pelcrow");
  EXPECT_EQ(TranslateText(""), "");
  fDir.Write("Languages/xy.lng", "About Pelcrow=\xC3\x9C" "ber $APP_NAME$\nEmpty=x\n");
  TLanguageController& c = GetLanguageController();
  c.SetLanguagesFolder(fLanguages);
  TLanguageController::Initialize("xy");
  EXPECT_EQ(c.CurrentLanguageCode(), "xy");
  EXPECT_EQ(TranslateText("About $APP_NAME$"), "\xC3\x9C" "ber Pelcrow");
  EXPECT_EQ(TranslateText("Not in the file"), "Not in the file");
  c.SetLanguage("en");
  EXPECT_EQ(TranslateText("About $APP_NAME$"), "About Pelcrow");
}

// The language files shipped with the program.
TEST(ShippedLanguageFileTest, GermanFileIsComplete) {
  const fs::path file = fs::path(__FILE__).parent_path().parent_path().parent_path() / "languages" / "de.lng";
  TLanguageFile f;
  ASSERT_TRUE(f.LoadFromFile(file.string())) << file;
  EXPECT_EQ(f.LangName(), "Deutsch");
  std::set<std::string> keys;
  std::map<std::string, std::string> keyOfTranslation;
  for (const auto& [key, value] : f.Lines()) {
    std::string lower = key;
    for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    EXPECT_TRUE(keys.insert(lower).second) << "duplicate key: " << key;
    // Switching languages turns texts back into English by their translation: two English texts
    // with one translation would come back as the same text. Padded log event names are the
    // same text as their bare check-box captions.
    std::string bare = lower;
    bare.erase(bare.find_last_not_of(' ') + 1);
    const auto [it, fresh] = keyOfTranslation.emplace(value, bare);
    EXPECT_TRUE(fresh || it->second == bare) << "one translation for two texts: " << key << " / " << it->second;
    EXPECT_FALSE(value.find_first_not_of(' ') == std::string::npos) << "blank translation: " << key;
    // Placeholders and line breaks must survive translation.
    for (const char* token : {"%s", "%d", "%0:s", "%1:s", "%2:s", "%0:d", "%1:d", "\\n"}) {
      auto count = [&](const std::string& s) {
        std::size_t n = 0;
        for (std::size_t p = s.find(token); p != std::string::npos; p = s.find(token, p + 1)) ++n;
        return n;
      };
      EXPECT_EQ(count(key), count(value)) << token << " in " << key;
    }
  }
  // Every log event name and the texts the program shows today are translated.
  for (unsigned e = leScanStarted; e <= leMediaLibSyncFail; ++e) {
    const char* name = LogEventText(static_cast<TPcwLogEvent>(e));
    EXPECT_NE(f.FindTranslation(name), nullptr) << '"' << name << '"';
  }
  for (const char* text :
       {"No scan results yet.", "Starting Application", "Closing Application",
        "Unable to write log. Please check program settings and then re-enable logging.",
        "Unable to delete old log files. Please check program settings and then re-enable this feature."}) {
    EXPECT_NE(f.FindTranslation(text), nullptr) << text;
  }
  EXPECT_NE(f.Translate(kExclusionFolderMessage, false), kExclusionFolderMessage);
}

}  // namespace
}  // namespace pelcrow
