#include "localization/TranslateText.h"

#include "localization/LanguageController.h"
#include "localization/LanguageFile.h"

namespace pelcrow {

std::string TranslateText(std::string_view text) {
  if (text.empty()) return {};
  std::string named = ReplaceAppName(text);
  if (TLanguageController* controller = FindLanguageController()) return controller->Translate(named);
  return named;
}

}  // namespace pelcrow
