// The main window. For now a frame titled with the product name; the scan steps, folder lists and
// results grid fill it as they are built.
#pragma once

#include <QMainWindow>

namespace pelcrow::ui {

class TfmMain : public QMainWindow {
  Q_OBJECT

 public:
  explicit TfmMain(QWidget* parent = nullptr);
};

}  // namespace pelcrow::ui
