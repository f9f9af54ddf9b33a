#include "ui/AppStyle.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPixmap>
#include <QStyleFactory>

namespace pelcrow::ui {
namespace {

QPixmap DrawIcon(int size) {
  QPixmap pm(size, size);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const double s = size / 64.0;
  p.scale(s, s);
  // Two pages, the back one shifted: a duplicate.
  auto page = [&p](QRectF r, QColor fill, QColor edge) {
    QPainterPath path;
    path.addRoundedRect(r, 5, 5);
    p.fillPath(path, fill);
    p.setPen(QPen(edge, 2));
    p.drawPath(path);
    p.setPen(QPen(edge.lighter(140), 2.5, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 3; ++i) {
      const double y = r.top() + 12 + i * 8;
      p.drawLine(QPointF(r.left() + 7, y), QPointF(r.right() - (i == 2 ? 14 : 7), y));
    }
  };
  page(QRectF(6, 4, 32, 42), QColor("#dbeafe"), QColor("#3b82f6"));
  page(QRectF(18, 14, 32, 42), QColor("#ffffff"), QColor("#1d4ed8"));
  // The lens that finds it.
  p.setPen(QPen(QColor("#0f766e"), 5, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(49, 49), QPointF(59, 59));
  p.setBrush(QColor(20, 184, 166, 90));
  p.setPen(QPen(QColor("#0f766e"), 4));
  p.drawEllipse(QPointF(41, 41), 11, 11);
  return pm;
}

}  // namespace

QIcon AppIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128, 256}) icon.addPixmap(DrawIcon(size));
  return icon;
}

QString AppStyleSheet() {
  return QStringLiteral(R"(
QMainWindow, QDialog { background: #f4f6fa; }
QFrame#pTop, QFrame#pUpper, QFrame#pMiddle, QFrame#pResults, QFrame#StatsPanel {
  background: #ffffff; border: 1px solid #dde3ec; border-radius: 8px;
}
QLabel[step="true"] { color: #64748b; font-weight: 600; }
QLabel[stepTitle="true"] { color: #0f172a; font-size: 11pt; font-weight: 700; }
QPushButton#lSelectFoldersL { color: #1d4ed8; font-size: 11pt; font-weight: 700; border: none;
  background: transparent; text-decoration: underline; padding: 0 2px; }
QPushButton#lSelectFoldersL:disabled { color: #94a3b8; }
QPushButton, QToolButton { background: #ffffff; border: 1px solid #cbd5e1; border-radius: 6px;
  padding: 4px 12px; color: #0f172a; }
QPushButton:hover, QToolButton:hover { background: #eef2ff; border-color: #93c5fd; }
QPushButton:pressed, QToolButton:pressed { background: #dbeafe; }
QPushButton:disabled, QToolButton:disabled { color: #94a3b8; background: #f8fafc; border-color: #e2e8f0; }
QToolButton::menu-indicator { subcontrol-position: right center; right: 4px; }
QToolButton#btnScanMode { padding-right: 20px; }
QFrame#CategoryLayout QPushButton { padding: 4px 6px; }
QPushButton#crbStart { background: #16a34a; color: white; border: none; font-weight: 700;
  font-size: 11pt; padding: 4px 28px; }
QPushButton#crbStart:hover { background: #15803d; }
QPushButton#crbStart:disabled { background: #a7d8b5; color: #f0fdf4; }
QPushButton#crbStart[scanning="true"] { background: #dc2626; }
QPushButton#crbStart[scanning="true"]:hover { background: #b91c1c; }
QLineEdit { background: #ffffff; border: 1px solid #cbd5e1; border-radius: 5px; padding: 4px 6px; }
QLineEdit:focus { border-color: #3b82f6; }
QLineEdit:read-only { background: #f1f5f9; }
QLineEdit:disabled { color: #94a3b8; background: #f8fafc; }
QTreeWidget, QListWidget { background: #ffffff; border: 1px solid #dde3ec; border-radius: 6px; }
QListWidget#lbInclude, QListWidget#lbExclude { font-size: 12pt; }
QListWidget::item { padding: 3px 4px; }
QTreeWidget#sgFileList::item { height: 21px; }
QListWidget::item:selected, QTreeWidget::item:selected { background: #dbeafe; color: #0f172a; }
QTabWidget::pane { border: 1px solid #dde3ec; border-radius: 6px; top: -1px; background: #ffffff; }
QTabBar::tab { background: #eef2f7; border: 1px solid #dde3ec; padding: 6px 14px; margin-right: 2px;
  border-top-left-radius: 6px; border-top-right-radius: 6px; color: #475569; }
QTabBar::tab:selected { background: #ffffff; color: #0f172a; font-weight: 600; border-bottom-color: #ffffff; }
QProgressBar { border: 1px solid #cbd5e1; border-radius: 6px; background: #f1f5f9; text-align: center;
  color: #0f172a; font-weight: 600; min-height: 24px; }
QProgressBar::chunk { background: qlineargradient(x1:0, y1:0, x2:1, y2:0, stop:0 #60a5fa, stop:1 #2563eb);
  border-radius: 5px; }
QFrame#StatsPanel QLineEdit { background: #f8fafc; border: none; font-weight: 600; color: #0f172a; }
QLabel#lblScanning { color: #94a3b8; font-size: 14pt; }
QLabel#lblSummary { color: #0f172a; font-size: 10pt; padding: 2px 2px; }
QStatusBar { background: #e9edf3; color: #334155; }
QStatusBar QLabel { padding: 0 6px; }
QHeaderView::section { background: #f1f5f9; border: none; border-right: 1px solid #dde3ec;
  border-bottom: 1px solid #dde3ec; padding: 4px 6px; font-weight: 600; color: #334155; }
)");
}

void ApplyAppStyle(QApplication& app) {
  if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) QApplication::setStyle(fusion);
  QPalette pal = QApplication::palette();
  pal.setColor(QPalette::Highlight, QColor("#2563eb"));
  pal.setColor(QPalette::AlternateBase, QColor("#f5f8fc"));
  QApplication::setPalette(pal);
  app.setStyleSheet(AppStyleSheet());
  QApplication::setWindowIcon(AppIcon());
}

}  // namespace pelcrow::ui
