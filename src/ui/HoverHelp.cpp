#include "ui/HoverHelp.h"

#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <algorithm>

#include "ui/UiText.h"

namespace pelcrow::ui {

namespace {
constexpr int kTickMs = 100;
constexpr int kShowFromTick = 3;
constexpr int kLastTick = 100;
}  // namespace

THoverHelp::THoverHelp(QWidget* owner, std::function<void(const QString&)> status)
    : QObject(owner), fOwner(owner), fStatus(std::move(status)) {
  fTip = new QLabel(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
  fTip->setObjectName(QStringLiteral("HoverTip"));
  fTip->setAttribute(Qt::WA_ShowWithoutActivating);
  fTip->setStyleSheet(QStringLiteral("QLabel { background: #fffbe6; color: #222; border: 1px solid #b8a660; }"));
  fTimer = new QTimer(this);
  fTimer->setInterval(kTickMs);
  connect(fTimer, &QTimer::timeout, this, &THoverHelp::Tick);
  // Switching to another program hides the tip.
  connect(qApp, &QApplication::applicationStateChanged, this, [this](Qt::ApplicationState s) {
    if (s != Qt::ApplicationActive) QTimer::singleShot(200, this, &THoverHelp::HideTip);
  });
}

THoverHelp::~THoverHelp() { delete fTip; }

void THoverHelp::WatchChildren() {
  for (QWidget* w : fOwner->findChildren<QWidget*>()) {
    if (w->property(kHoverHelpProperty).isValid()) w->installEventFilter(this);
  }
}

void THoverHelp::HideTip() {
  fTimer->stop();
  fTip->hide();
  fControl = nullptr;
  fTicks = 0;
}

bool THoverHelp::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Enter) {
    auto* w = qobject_cast<QWidget*>(watched);
    const QByteArray help = watched->property(kHoverHelpProperty).toByteArray();
    const QString text = QStringLiteral(" ") + Tr(std::string_view(help.constData(), static_cast<size_t>(help.size())));
    if (fStatus) fStatus(text);
    fTip->setText(text);
    fTip->resize(QFontMetrics(fTip->font()).horizontalAdvance(text) + 5, 20);
    fControl = w;
    fTicks = 0;
    fTimer->start();
  } else if (event->type() == QEvent::Leave) {
    if (fStatus) fStatus(QString());
    fTip->hide();
    fControl = nullptr;
    fTicks = 0;
  }
  return QObject::eventFilter(watched, event);
}

void THoverHelp::Tick() {
  if (!fControl) return;
  if (++fTicks > kLastTick) {
    HideTip();
    return;
  }
  PlaceTip();
  if (fTicks >= kShowFromTick && !fTip->isVisible()) fTip->show();
}

// 10 pixels right of and below the pointer, kept inside the screen.
void THoverHelp::PlaceTip() {
  QPoint p = QCursor::pos() + QPoint(10, 10);
  if (const QScreen* screen = QGuiApplication::screenAt(QCursor::pos())) {
    const QRect r = screen->availableGeometry();
    p.setX(std::min(p.x(), r.right() - fTip->width()));
    p.setY(std::min(p.y(), r.bottom() - fTip->height()));
  }
  fTip->move(p);
}

}  // namespace pelcrow::ui
