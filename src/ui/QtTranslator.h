// Qt's own texts (standard buttons, edit menus) answered from the language controller, so they
// follow the chosen language like ours. Reinstalling it after a language change makes Qt send
// every widget a LanguageChange event.
#pragma once

#include <QTranslator>

namespace pelcrow::ui {

class TQtTranslator final : public QTranslator {
 public:
  using QTranslator::QTranslator;
  QString translate(const char* context, const char* sourceText, const char* disambiguation = nullptr,
                    int n = -1) const override;
  bool isEmpty() const override { return false; }
  // Installs the translator on the application and re-installs it on every language change.
  static void Install();
};

}  // namespace pelcrow::ui
