#include <QApplication>

#include "localization/TranslateText.h"
#include "ui/MainWindow.h"
#include "ui/QtMainThread.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QString::fromStdString(std::string(pelcrow::kAppName)));
  QApplication::setApplicationVersion(QStringLiteral(PELCROW_VERSION));
  pelcrow::ui::TQtMainThread mainThread(&app);
  pelcrow::SetMainThread(&mainThread);
  pelcrow::ui::TfmMain window;
  window.show();
  int rc = QApplication::exec();
  pelcrow::SetMainThread(nullptr);
  return rc;
}
