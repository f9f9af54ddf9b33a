#include "ui/MainWindow.h"

#include <QLabel>
#include <QStatusBar>

#include "localization/TranslateText.h"

namespace pelcrow::ui {

TfmMain::TfmMain(QWidget* parent) : QMainWindow(parent) {
  setWindowTitle(QString::fromStdString(std::string(kAppName)));
  setMinimumSize(800, 560);
  auto* placeholder = new QLabel(QString::fromStdString(TranslateText("No scan results yet.")), this);
  placeholder->setObjectName("lblPlaceholder");
  placeholder->setAlignment(Qt::AlignCenter);
  setCentralWidget(placeholder);
  statusBar()->showMessage(QString::fromStdString(TranslateText("$APP_NAME$ ")) + QStringLiteral(PELCROW_VERSION));
}

}  // namespace pelcrow::ui
