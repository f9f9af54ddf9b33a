#include "localization/LanguageController.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <filesystem>
#include <system_error>

#include "localization/LanguageFile.h"

namespace pelcrow {

namespace {

std::atomic<TLanguageController*> gController{nullptr};

std::string LowerAscii(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

bool IsRegularFile(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec);
}

}  // namespace

TLanguageController::TLanguageController() : TLanguageController(DefaultLanguagesFolder()) {}

TLanguageController::TLanguageController(std::string languagesFolder)
    : fLanguagesFolder(std::move(languagesFolder)), fLanguagesList(FindLanguageFiles(fLanguagesFolder)) {}

ITranslatable::~ITranslatable() {
  if (fTranslateController != nullptr) fTranslateController->RemoveFromTranslateList(this);
}

TLanguageController::~TLanguageController() {
  TLanguageController* self = this;
  gController.compare_exchange_strong(self, nullptr);
  std::lock_guard<std::mutex> g(fListLock);
  for (ITranslatable* object : fManualTranslateList) object->fTranslateController = nullptr;
}

std::string TLanguageController::DefaultLanguagesFolder() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec || exe.empty()) return "Languages/";
  // The build tree keeps them beside the binary; an installed program finds them in its data folder.
  const std::filesystem::path beside = exe.parent_path() / "Languages";
#ifdef PELCROW_INSTALLED_LANGUAGES
  if (!std::filesystem::is_directory(beside, ec))
    return (exe.parent_path() / PELCROW_INSTALLED_LANGUAGES).lexically_normal().string() + "/";
#endif
  return beside.string() + "/";
}

std::vector<TLanguageController::TLanguageEntry> TLanguageController::FindLanguageFiles(
    const std::string& folder) {
  std::vector<TLanguageEntry> list;
  std::error_code ec;
  std::filesystem::directory_iterator it(folder, ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    const std::filesystem::path& p = it->path();
    const std::string ext = LowerAscii(p.extension().string());
    if (ext != ".lng" || !IsRegularFile(p.string())) continue;
    list.push_back({LowerAscii(p.stem().string()), p.string()});
  }
  // The listing order of the file system is arbitrary here; sorted names give a stable list.
  std::sort(list.begin(), list.end(),
            [](const TLanguageEntry& a, const TLanguageEntry& b) { return a.FileName < b.FileName; });
  // De.lng and de.lng would both claim the code de: the first one keeps it.
  std::vector<TLanguageEntry> unique;
  for (auto& e : list) {
    const bool seen = std::any_of(unique.begin(), unique.end(),
                                  [&](const TLanguageEntry& u) { return u.Code == e.Code; });
    if (!seen && e.Code != "en") unique.push_back(std::move(e));
  }
  return unique;
}

namespace {

std::function<void(const std::string&)>& ErrorSink() {
  static std::function<void(const std::string&)> sink;
  return sink;
}

void ReportError(const std::string& text) {
  if (const auto& sink = ErrorSink()) sink(text);
}

}  // namespace

void TLanguageController::SetErrorSink(std::function<void(const std::string&)> Sink) { ErrorSink() = std::move(Sink); }

void TLanguageController::Initialize(const std::string& LanguageCode) {
  try {
    GetLanguageController().SetLanguage(LanguageCode);
  } catch (const std::exception& e) {
    ReportError(e.what());
  } catch (...) {
    ReportError("cannot set the language: unknown error");
  }
}

std::string TLanguageController::Translate(std::string_view AText) const {
  std::shared_ptr<const TLanguageFile> file;
  bool reverse = false;
  {
    std::shared_lock<std::shared_mutex> g(fLock);
    file = fCurrentLanguage;
    reverse = fResetLanugage && fResetThread == std::this_thread::get_id();
  }
  if (!file) return std::string(AText);
  return file->Translate(AText, reverse);
}

std::string TLanguageController::CurrentLanguageCode() const {
  std::shared_lock<std::shared_mutex> g(fLock);
  return fCurrentLanguageCode;
}

void TLanguageController::SetLanguage(const std::string& ALanguageCode) {
  std::lock_guard<std::recursive_mutex> switching(fSetLanguageLock);
  std::string fileName;
  bool loaded = false;
  {
    std::shared_lock<std::shared_mutex> g(fLock);
    if (ALanguageCode == fCurrentLanguageCode) return;
    loaded = fCurrentLanguage != nullptr;
    const std::string code = LowerAscii(ALanguageCode);
    for (const TLanguageEntry& e : fLanguagesList) {
      if (e.Code == code) {
        fileName = e.FileName;
        break;
      }
    }
  }

  if (loaded) {
    // Back into English first: texts on screen are translations of the old file.
    {
      std::unique_lock<std::shared_mutex> g(fLock);
      fResetLanugage = true;
      fResetThread = std::this_thread::get_id();
    }
    struct TEndReset {
      TLanguageController* Self;
      ~TEndReset() {
        std::unique_lock<std::shared_mutex> g(Self->fLock);
        Self->fCurrentLanguage.reset();
        Self->fCurrentLanguageCode = "en";
        Self->fResetLanugage = false;
      }
    } endReset{this};
    RetranslateAll();
  }

  // The toolkit heard the reset while the old code still stood: it hears again once English is
  // the language (it loads the toolkit's own translations by the code).
  const auto tellToolkit = [this, loaded] {
    if (!loaded) return;
    std::function<void()> toolkit;
    {
      std::lock_guard<std::mutex> g(fListLock);
      toolkit = fToolkitRetranslate;
    }
    if (toolkit) toolkit();
  };
  if (ALanguageCode == "en" || fileName.empty() || !IsRegularFile(fileName)) {
    tellToolkit();
    return;
  }
  auto file = std::make_shared<TLanguageFile>();
  if (!file->LoadFromFile(fileName)) {
    tellToolkit();
    return;
  }
  {
    std::unique_lock<std::shared_mutex> g(fLock);
    fCurrentLanguage = std::move(file);
    fCurrentLanguageCode = LowerAscii(ALanguageCode);
  }
  RetranslateAll();
}

void TLanguageController::RetranslateAll() {
  std::vector<ITranslatable*> snapshot;
  std::function<void()> toolkit;
  {
    std::lock_guard<std::mutex> g(fListLock);
    snapshot = fManualTranslateList;
    toolkit = fToolkitRetranslate;
  }
  for (ITranslatable* object : snapshot) {
    {
      // A window closed by an earlier one's re-translation is gone.
      std::lock_guard<std::mutex> g(fListLock);
      if (std::find(fManualTranslateList.begin(), fManualTranslateList.end(), object) ==
          fManualTranslateList.end())
        continue;
    }
    try {
      object->Retranslate();
    } catch (const std::exception& e) {
      // One window that fails to follow must not leave the others in the old language.
      ReportError(e.what());
    }
  }
  if (toolkit) toolkit();
}

void TLanguageController::AddToTranslateList(ITranslatable* AObject) {
  if (AObject == nullptr) return;
  // Registration happens on the user-interface thread, so the object's link needs no lock.
  TLanguageController* previous = AObject->fTranslateController;
  if (previous == this) return;
  // One controller per object: moving to another one leaves the first list.
  if (previous != nullptr) previous->RemoveFromTranslateList(AObject);
  {
    std::lock_guard<std::mutex> g(fListLock);
    fManualTranslateList.push_back(AObject);
    AObject->fTranslateController = this;
  }
  AObject->Retranslate();
}

void TLanguageController::RemoveFromTranslateList(ITranslatable* AObject) {
  std::lock_guard<std::mutex> g(fListLock);
  const auto it = std::find(fManualTranslateList.begin(), fManualTranslateList.end(), AObject);
  if (it == fManualTranslateList.end()) return;
  fManualTranslateList.erase(it);
  AObject->fTranslateController = nullptr;
}

void TLanguageController::SetToolkitRetranslate(std::function<void()> handler) {
  std::lock_guard<std::mutex> g(fListLock);
  fToolkitRetranslate = std::move(handler);
}

void TLanguageController::SetLanguagesFolder(const std::string& folder) {
  std::vector<TLanguageEntry> list = FindLanguageFiles(folder);
  std::unique_lock<std::shared_mutex> g(fLock);
  fLanguagesFolder = folder;
  fLanguagesList = std::move(list);
}

std::string TLanguageController::LanguagesFolder() const {
  std::shared_lock<std::shared_mutex> g(fLock);
  return fLanguagesFolder;
}

std::vector<TLanguageInfo> TLanguageController::GetAvailableLanguages() const {
  std::vector<TLanguageEntry> entries;
  {
    std::shared_lock<std::shared_mutex> g(fLock);
    entries = fLanguagesList;
  }
  std::vector<TLanguageInfo> result;
  result.push_back({"en", "English", ""});
  for (const TLanguageEntry& e : entries) {
    TLanguageFile file;
    if (!IsRegularFile(e.FileName) || !file.LoadFromFile(e.FileName)) continue;
    std::string name = file.LangName();
    result.push_back({e.Code, name.empty() ? e.Code : std::move(name), e.FileName});
  }
  return result;
}

TLanguageController& GetLanguageController() {
  static TLanguageController controller;
  static const bool installed = [] {
    gController.store(&controller, std::memory_order_release);
    return true;
  }();
  (void)installed;
  return controller;
}

TLanguageController* FindLanguageController() { return gController.load(std::memory_order_acquire); }

}  // namespace pelcrow
