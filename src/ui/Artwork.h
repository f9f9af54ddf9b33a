// The program's own pictures: SVG drawings in the resources (art/, written by make-artwork.py),
// painted at the widget's size, so they stay sharp at any scale.
#pragma once

#include <QWidget>

class QLabel;
class QSvgRenderer;

namespace pelcrow::ui {

// The resource path of a picture by its name ("ScanResultPieChart_3").
QString ArtPath(const QString& name);
// True when the picture exists.
bool HasArt(const QString& name);

class TArtImage : public QWidget {
  Q_OBJECT

 public:
  explicit TArtImage(const QString& name, QWidget* parent = nullptr);
  void SetImage(const QString& name);
  QString ImageName() const { return fName; }
  // The opacity while the mouse is over it (1: unchanged).
  void SetHoverOpacity(qreal opacity) { fHoverOpacity = opacity; }
  qreal CurrentOpacity() const { return fHover ? fHoverOpacity : 1.0; }
  QSize sizeHint() const override;
  // A caption drawn over the picture (tiles); returns its label.
  QLabel* AddCaption(const char* caption, const char* name, int pointSize, bool bold);
  // Shrinks the captions' fonts until their texts fit (after a change of language).
  void FitCaptions();

 signals:
  void clicked();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  QString fName;
  QSvgRenderer* fRenderer;
  qreal fHoverOpacity = 1.0;
  bool fHover = false;
};

// Paints a picture over the whole of a widget (a dialog's background).
void PaintBackground(QWidget* widget, const QString& name);

}  // namespace pelcrow::ui
