// The quick tips shown at start-up: six short hints, one per showing, in turn.
#pragma once

#include <QDialog>

#include "localization/LanguageController.h"

class QCheckBox;
class QLabel;
class QPushButton;

namespace pelcrow::ui {

inline constexpr int kQuickTipCount = 6;

class TfrmQTips : public QDialog, public ITranslatable {
  Q_OBJECT

 public:
  explicit TfrmQTips(QWidget* parent = nullptr);
  ~TfrmQTips() override;
  void Retranslate() override;
  // Shows the tip at QuickTipIndex, brought into range first.
  void ShowTip();
  // The untranslated text of tip i (0..5), its paragraphs joined by CR LF CR LF.
  static std::string TipText(int i);

  QLabel* lblText;
  QPushButton* btnPrevious;
  QPushButton* btnNext;
  QPushButton* btnGetStarted;
  QCheckBox* chkShowTips;

 protected:
  void showEvent(QShowEvent* event) override;
};

// Start-up: the next tip (each showing moves one on); on closing, "Show Quick Tips on Startup" is
// kept and the settings saved.
void ShowQuickTips(QWidget* owner);

}  // namespace pelcrow::ui
