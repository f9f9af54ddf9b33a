// The look of the program: the application icon (drawn, so it needs no image files) and one
// style sheet over Qt's Fusion style.
#pragma once

#include <QIcon>
#include <QString>

class QApplication;

namespace pelcrow::ui {

QIcon AppIcon();
QString AppStyleSheet();
// Fusion, the style sheet, the palette and the icon.
void ApplyAppStyle(QApplication& app);

}  // namespace pelcrow::ui
