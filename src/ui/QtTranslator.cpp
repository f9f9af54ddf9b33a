#include "ui/QtTranslator.h"

#include <QCoreApplication>

#include "localization/LanguageController.h"
#include "localization/TranslateText.h"

namespace pelcrow::ui {

QString TQtTranslator::translate(const char*, const char* sourceText, const char*, int) const {
  if (!sourceText || !*sourceText) return {};
  const std::string t = TranslateText(sourceText);
  // An empty answer lets Qt keep its own text.
  return t == sourceText ? QString() : QString::fromStdString(t);
}

void TQtTranslator::Install() {
  static TQtTranslator* translator = new TQtTranslator(QCoreApplication::instance());
  QCoreApplication::installTranslator(translator);
  GetLanguageController().SetToolkitRetranslate([] {
    QCoreApplication::removeTranslator(translator);
    QCoreApplication::installTranslator(translator);
  });
}

}  // namespace pelcrow::ui
