// The process-wide language controller: knows the language files in the "Languages" folder beside
// the executable, loads the chosen one, translates texts on request and re-translates the
// registered windows when the language changes. English ("en") needs no file and is always there.
//
// Translate may be called from any thread. SetLanguage and the registration calls belong to the
// user-interface thread; listeners are called on the thread that runs SetLanguage.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace pelcrow {

class TLanguageFile;
class TLanguageController;

// A window (or any object with shown texts) that follows language changes. Destroying a
// registered object removes it from its controller's list.
class ITranslatable {
 public:
  ITranslatable() = default;
  // A copy is a new object: it is not registered.
  ITranslatable(const ITranslatable&) noexcept {}
  ITranslatable& operator=(const ITranslatable&) noexcept { return *this; }
  virtual ~ITranslatable();
  // Re-apply every shown text through TranslateText. Called once on registration and after every
  // language change. When one translation replaces another it is called twice: first while the
  // controller turns texts back into English (TranslateText then maps a translated text to its
  // English key), then in the new language.
  virtual void Retranslate() = 0;

 private:
  friend class TLanguageController;
  TLanguageController* fTranslateController = nullptr;
};

// One language as offered to the user.
struct TLanguageInfo {
  std::string Code;         // lower-case base name of the file; "en" for English
  std::string DisplayName;  // ";LangName" of the file, or the code
  std::string FileName;     // full path; empty for English
};

class TLanguageController {
 public:
  // Lists the language files of DefaultLanguagesFolder().
  TLanguageController();
  // Lists the language files of `languagesFolder` (tests, portable installs).
  explicit TLanguageController(std::string languagesFolder);
  TLanguageController(const TLanguageController&) = delete;
  TLanguageController& operator=(const TLanguageController&) = delete;
  ~TLanguageController();

  // Start-up, after the settings are loaded: makes the process-wide controller the one
  // TranslateText consults and switches to the language of that code. A failure goes to the
  // error sink and the program continues in English.
  static void Initialize(const std::string& LanguageCode);
  // Where failures that leave the program running are told (the log, once it exists).
  static void SetErrorSink(std::function<void(const std::string&)> Sink);
  // "Languages/" beside the executable.
  static std::string DefaultLanguagesFolder();

  // The translation of AText in the current language; AText itself when there is none.
  std::string Translate(std::string_view AText) const;
  // Switches the language and re-translates every registered object. An unknown code or a file
  // that cannot be read leaves the program in English.
  void SetLanguage(const std::string& ALanguageCode);
  std::string CurrentLanguageCode() const;

  // Registers an object and translates it at once; it leaves the list when it is destroyed.
  void AddToTranslateList(ITranslatable* AObject);
  void RemoveFromTranslateList(ITranslatable* AObject);
  // Called after the registered objects on every language change (also for the turn back into
  // English): the app lets its toolkit re-translate the controls it created itself.
  void SetToolkitRetranslate(std::function<void()> handler);

  // Re-reads the list of language files from another folder. The loaded language stays.
  void SetLanguagesFolder(const std::string& folder);
  std::string LanguagesFolder() const;
  // English first, then one entry per language file whose file exists and can be read, in the
  // order of the folder listing (sorted by file name).
  std::vector<TLanguageInfo> GetAvailableLanguages() const;

 private:
  struct TLanguageEntry {
    std::string Code;
    std::string FileName;
  };
  static std::vector<TLanguageEntry> FindLanguageFiles(const std::string& folder);
  void RetranslateAll();

  mutable std::shared_mutex fLock;  // the fields below up to the registration list
  std::string fLanguagesFolder;
  std::vector<TLanguageEntry> fLanguagesList;
  std::string fCurrentLanguageCode = "en";
  std::shared_ptr<const TLanguageFile> fCurrentLanguage;
  bool fResetLanugage = false;
  std::thread::id fResetThread;  // the reverse lookup applies to the thread that switches only

  std::recursive_mutex fSetLanguageLock;  // one language switch at a time
  mutable std::mutex fListLock;           // fManualTranslateList and fToolkitRetranslate
  std::vector<ITranslatable*> fManualTranslateList;
  std::function<void()> fToolkitRetranslate;
};

// The process-wide controller, created on first use.
TLanguageController& GetLanguageController();
// The process-wide controller if it exists (TranslateText's hook); never creates it.
TLanguageController* FindLanguageController();

}  // namespace pelcrow
