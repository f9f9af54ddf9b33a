// The hover help of a dialog: entering a control that carries a help text puts it into the main
// window's status bar and, after about 0.3 s, into a small floating tip that follows the mouse;
// after about 10 s the tip goes away for good. Leaving a control clears the status bar.
#pragma once

#include <QObject>
#include <QPointer>

#include <functional>

class QLabel;
class QTimer;
class QWidget;

namespace pelcrow::ui {

// The property that holds a control's untranslated hover-help text.
inline constexpr const char* kHoverHelpProperty = "hoverHelp";

class THoverHelp : public QObject {
  Q_OBJECT

 public:
  // status: shows a text in the main window's status bar (may be empty).
  THoverHelp(QWidget* owner, std::function<void(const QString&)> status);
  ~THoverHelp() override;
  // Watches every child of the owner that carries kHoverHelpProperty.
  void WatchChildren();
  void HideTip();
  QLabel* Tip() const { return fTip; }
  // The timer's work, callable from tests.
  void Tick();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void PlaceTip();

  QWidget* fOwner;
  std::function<void(const QString&)> fStatus;
  QLabel* fTip;
  QTimer* fTimer;
  QPointer<QWidget> fControl;
  int fTicks = 0;
};

}  // namespace pelcrow::ui
