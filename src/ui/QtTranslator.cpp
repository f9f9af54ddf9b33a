#include "ui/QtTranslator.h"

#include <QCoreApplication>
#include <QLibraryInfo>

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
  // Qt's own translations of its dialogs ("Look in", "File name"), for texts our files do not
  // have. Translators are asked newest first: ours goes in after it.
  static QTranslator* qtOwn = new QTranslator(QCoreApplication::instance());
  const auto install = [] {
    QCoreApplication::removeTranslator(translator);
    QCoreApplication::removeTranslator(qtOwn);
    const QString code = QString::fromStdString(GetLanguageController().CurrentLanguageCode());
    if (!code.isEmpty() && code != QLatin1String("en") &&
        qtOwn->load(QStringLiteral("qtbase_") + code, QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
      QCoreApplication::installTranslator(qtOwn);
    QCoreApplication::installTranslator(translator);
  };
  install();
  GetLanguageController().SetToolkitRetranslate(install);
}

}  // namespace pelcrow::ui
