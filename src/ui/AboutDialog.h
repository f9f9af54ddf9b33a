// "About": the product's name and version over its own picture, with links to the help pages and
// the web site; the close picture fades a little under the mouse.
#pragma once

#include <QDialog>

#include "localization/LanguageController.h"

class QLabel;

namespace pelcrow::ui {

class TArtImage;

class TfmAbout : public QDialog, public ITranslatable {
  Q_OBJECT

 public:
  explicit TfmAbout(QWidget* parent = nullptr);
  void Retranslate() override;
  // Shows the window over its owner.
  int Execute();
  // "V " and the program's version as four numbers.
  static QString VersionText();

  TArtImage* imButton;
  QLabel* txtVersion;
  QLabel* lbHelp;
  QLabel* lbURL;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;
};

}  // namespace pelcrow::ui
