#include "ui/Artwork.h"

#include <QFile>
#include <QFontMetrics>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QSvgRenderer>
#include <QVBoxLayout>

#include <algorithm>

#include "ui/DialogHelpers.h"

// The resources live in the ui library, which a program links statically: they must be
// registered by name.
static void InitArtResources() { Q_INIT_RESOURCE(art); }

namespace pelcrow::ui {

QString ArtPath(const QString& name) {
  static const bool registered = [] {
    InitArtResources();
    return true;
  }();
  (void)registered;
  return QStringLiteral(":/art/") + name + QStringLiteral(".svg");
}

bool HasArt(const QString& name) { return QFile::exists(ArtPath(name)); }

TArtImage::TArtImage(const QString& name, QWidget* parent) : QWidget(parent), fRenderer(new QSvgRenderer(this)) {
  SetImage(name);
}

void TArtImage::SetImage(const QString& name) {
  fName = name;
  fRenderer->load(ArtPath(name));
  updateGeometry();
  update();
}

QSize TArtImage::sizeHint() const { return fRenderer->defaultSize(); }

QLabel* TArtImage::AddCaption(const char* caption, const char* name, int pointSize, bool bold) {
  auto* v = qobject_cast<QVBoxLayout*>(layout());
  if (!v) {
    v = new QVBoxLayout(this);
    v->setContentsMargins(12, 6, 44, 6);
    v->setSpacing(0);
  }
  auto* l = new QLabel(this);
  l->setObjectName(QString::fromLatin1(name));
  SetCaption(l, caption);
  QFont f = l->font();
  f.setPointSize(pointSize);
  f.setBold(bold);
  l->setFont(f);
  l->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
  l->setAttribute(Qt::WA_TransparentForMouseEvents);
  l->setProperty("fitPointSize", pointSize);
  v->addWidget(l);
  return l;
}

void TArtImage::FitCaptions() {
  const QMargins m = layout() ? layout()->contentsMargins() : QMargins();
  const int room = width() - m.left() - m.right();
  for (QLabel* l : findChildren<QLabel*>()) {
    QFont f = l->font();
    int size = l->property("fitPointSize").toInt();
    if (size <= 0) continue;
    // Word-wrapped captions may take two lines; each word must still fit.
    const auto widest = [l](const QFontMetrics& fm) {
      if (!l->wordWrap()) return fm.horizontalAdvance(l->text());
      int w = 0;
      for (const QString& word : l->text().split(QLatin1Char(' '))) w = std::max(w, fm.horizontalAdvance(word));
      return w;
    };
    f.setPointSize(size);
    while (size > 7 && widest(QFontMetrics(f)) > room) f.setPointSize(--size);
    l->setFont(f);
  }
}

void TArtImage::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  FitCaptions();
}

void TArtImage::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  p.setOpacity(CurrentOpacity());
  fRenderer->render(&p, QRectF(rect()));
}

void TArtImage::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
}

void TArtImage::enterEvent(QEnterEvent*) {
  fHover = true;
  update();
}

void TArtImage::leaveEvent(QEvent*) {
  fHover = false;
  update();
}

void PaintBackground(QWidget* widget, const QString& name) {
  QSvgRenderer renderer(ArtPath(name));
  QPainter p(widget);
  p.setRenderHint(QPainter::Antialiasing);
  renderer.render(&p, QRectF(widget->rect()));
}

}  // namespace pelcrow::ui
