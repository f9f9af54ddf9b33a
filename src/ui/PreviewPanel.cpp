#include "ui/PreviewPanel.h"

#include <QChart>
#include <QChartView>
#include <QEvent>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QGraphicsDropShadowEffect>
#include <QIcon>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLegend>
#include <QLegendMarker>
#include <QPieSeries>
#include <QPainter>
#include <QPieSlice>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "localization/Formatting.h"
#include "ui/FileActions.h"
#include "ui/ResultsPanel.h"
#include "ui/UiText.h"

namespace pelcrow::ui {

namespace {

struct TCategoryName {
  TFilterCategory Category;
  const char* Name;
};
constexpr TCategoryName kCategories[] = {{fcArchives, "Archives"}, {fcDocuments, "Documents"}, {fcMusic, "Music"},
                                         {fcPictures, "Pictures"}, {fcVideo, "Video"},         {fcOther, "Other"}};

const QColor kSliceColors[] = {QColor(0x25, 0x63, 0xeb), QColor(0xf5, 0x9e, 0x0b), QColor(0x10, 0xb9, 0x81),
                               QColor(0xef, 0x44, 0x44), QColor(0x8b, 0x5c, 0xf6), QColor(0x64, 0x74, 0x8b)};

}  // namespace

bool PieLess(const TPieStatInfo& a, const TPieStatInfo& b) {
  if (std::fabs(a.Value - b.Value) < 0.001) return false;
  return a.Value < b.Value;
}

TPreviewPanel::TPreviewPanel(QWidget* parent) : QFrame(parent) {
  setObjectName(QStringLiteral("PreviewPanel"));
  // Narrow, so the window keeps its 800-pixel minimum in every language; where there is room
  // the window gives the panel far more.
  setMinimumWidth(24);
  fPreviewer = new TPreviewer(this);
  connect(fPreviewer, &TPreviewer::Ready, this, &TPreviewPanel::Apply);
  PreviewTimer = new QTimer(this);
  PreviewTimer->setObjectName(QStringLiteral("PreviewTimer"));
  PreviewTimer->setSingleShot(true);
  PreviewTimer->setInterval(300);
  connect(PreviewTimer, &QTimer::timeout, this, &TPreviewPanel::PreviewTimerTick);
  ReAlignTimer = new QTimer(this);
  ReAlignTimer->setSingleShot(true);
  ReAlignTimer->setInterval(500);
  connect(ReAlignTimer, &QTimer::timeout, this, [this] {
    // The new size needs a new picture; the same path is asked for again on purpose.
    fLastPath.clear();
    UpdatePreview();
  });

  auto* v = new QVBoxLayout(this);
  v->setContentsMargins(0, 0, 0, 0);
  fPages = new QStackedWidget(this);
  v->addWidget(fPages);

  auto* chart = new QChart;
  chart->setObjectName(QStringLiteral("StatsChartChart"));
  Series1 = new QPieSeries(chart);
  Series1->setObjectName(QStringLiteral("Series1"));
  chart->addSeries(Series1);
  chart->legend()->setAlignment(Qt::AlignBottom);
  chart->setBackgroundVisible(false);
  chart->setMargins(QMargins(4, 4, 4, 4));
  chart->setAnimationOptions(QChart::NoAnimation);
  StatsChart = new QChartView(chart, fPages);
  StatsChart->setObjectName(QStringLiteral("StatsChart"));
  StatsChart->setRenderHint(QPainter::Antialiasing);
  fPages->addWidget(StatsChart);

  PreviewBackground = new QWidget(fPages);
  PreviewBackground->setObjectName(QStringLiteral("PreviewBackground"));
  PreviewBackground->installEventFilter(this);
  auto* pv = new QVBoxLayout(PreviewBackground);
  pv->setContentsMargins(10, 10, 10, 10);
  PreviewImage = new QLabel(PreviewBackground);
  PreviewImage->setObjectName(QStringLiteral("PreviewImage"));
  PreviewImage->setAlignment(Qt::AlignCenter);
  PreviewImage->setMinimumSize(16, 16);
  PreviewImage->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
  PreviewImage->installEventFilter(this);
  auto* shadow = new QGraphicsDropShadowEffect(PreviewImage);
  shadow->setBlurRadius(14);
  shadow->setOffset(2, 3);
  shadow->setColor(QColor(0, 0, 0, 90));
  PreviewImage->setGraphicsEffect(shadow);
  txtPreviewText = new QPlainTextEdit(PreviewBackground);
  txtPreviewText->setObjectName(QStringLiteral("txtPreviewText"));
  txtPreviewText->setReadOnly(true);
  txtPreviewText->setFocusPolicy(Qt::NoFocus);
  txtPreviewText->setLineWrapMode(QPlainTextEdit::NoWrap);
  txtPreviewText->hide();
  txtFileInfo = new QLabel(PreviewBackground);
  txtFileInfo->setObjectName(QStringLiteral("txtFileInfo"));
  txtFileInfo->setWordWrap(true);
  txtFileInfo->setTextInteractionFlags(Qt::NoTextInteraction);
  txtFileInfo->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  pv->addWidget(PreviewImage, 3);
  pv->addWidget(txtPreviewText, 2);
  pv->addWidget(txtFileInfo, 0);
  fPages->addWidget(PreviewBackground);
  fPages->setCurrentWidget(PreviewBackground);
}

void TPreviewPanel::Attach(TResultsPanel* results, TScanEngine* engine) {
  fResults = results;
  fEngine = engine;
  connect(results->Grid()->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          &TPreviewPanel::UpdatePreview);
}

void TPreviewPanel::UpdatePreview() {
  PreviewTimer->stop();
  PreviewTimer->start();
}

void TPreviewPanel::FlushPreviewTimer() {
  if (PreviewTimer->isActive()) {
    PreviewTimer->stop();
    PreviewTimerTick();
  }
}

void TPreviewPanel::PreviewTimerTick() {
  PreviewTimer->stop();
  if (!isVisible() || !fResults) return;
  const int row = fResults->FocusedRow();
  if (fDisablePreview || !fEngine || fEngine->ItemCount() == 0 || row < 0 || row >= fEngine->ItemCount()) {
    ClearPreview();
    return;
  }
  fPages->setCurrentWidget(PreviewBackground);
  try {
    ShowFilePreview(fResults->FocusedPath());
  } catch (...) {
    // A preview is a convenience: whatever went wrong, the panel just shows nothing.
  }
}

QSize TPreviewPanel::PictureBox() const {
  const QSize s = PreviewBackground->size();
  return QSize(std::max(64, s.width() - 24), std::max(64, s.height() * 3 / 5 - 20));
}

void TPreviewPanel::ShowFilePreview(const std::string& path) {
  if (path.empty() || path == fLastPath) return;
  ClearPreview();
  fLastPath = path;
  fPages->setCurrentWidget(PreviewBackground);
  fPreviewer->PreviewFile(path, PictureBox());
}

void TPreviewPanel::Apply(const TPreviewContent& c) {
  if (c.Path != fLastPath) return;
  txtPreviewText->clear();
  txtPreviewText->hide();
  if (!c.Exists) {
    txtFileInfo->clear();
    fShownImage = QImage();
    PreviewImage->clear();
    emit PreviewShown();
    return;
  }
  QString info = PathText(c.Path) + QStringLiteral("\n (") + Tr("Size") + QStringLiteral(": ") +
                 (c.Size < 0 ? Tr("Unknown") : QString::fromStdString(FormatFileSize(c.Size))) + QStringLiteral(")");
  if (c.Kind == TPreviewKind::pkPicture && c.FullSize.isValid())
    info += QStringLiteral("\n") + PictureSizeText(c.FullSize);
  txtFileInfo->setText(info);
  QImage image = c.Image;
  if (c.State == psIcon) {
    QIcon icon;
    for (const QString& name : c.IconNames)
      if (icon.isNull() && !name.isEmpty()) icon = QIcon::fromTheme(name);
    // Without an icon theme (a bare session) Qt's own file icon stands in.
    if (icon.isNull()) icon = QFileIconProvider().icon(QFileIconProvider::File);
    const int side = std::min(128, std::min(PictureBox().width(), PictureBox().height()));
    image = icon.pixmap(QSize(side, side)).toImage();
  }
  fShownImage = image;
  if (image.isNull()) {
    PreviewImage->clear();
  } else {
    PreviewImage->setPixmap(QPixmap::fromImage(image));
  }
  QString text = c.Text;
  for (const auto& [label, value] : c.Tags)
    text += (text.isEmpty() ? QString() : QStringLiteral("\n")) + Tr(label) + QStringLiteral(": ") + value;
  const bool textual = c.Kind == TPreviewKind::pkText || c.Kind == TPreviewKind::pkAudio;
  PreviewImage->setVisible(!image.isNull() || !textual);
  if (textual && !text.isEmpty()) {
    txtPreviewText->setPlainText(text);
    txtPreviewText->setLineWrapMode(c.Kind == TPreviewKind::pkAudio ? QPlainTextEdit::WidgetWidth
                                                                     : QPlainTextEdit::NoWrap);
    txtPreviewText->show();
  }
  fState = c.State;
  fKind = c.Kind;
  emit PreviewShown();
}

void TPreviewPanel::ClearPreview() {
  PreviewImage->clear();
  PreviewImage->show();
  txtPreviewText->clear();
  txtPreviewText->hide();
  txtFileInfo->clear();
  fShownImage = QImage();
  if (fState != psNone || fPreviewer->Busy()) fPreviewer->ClosePreview();
  fLastPath.clear();
  fState = psNone;
  fKind = TPreviewKind::pkNone;
}

void TPreviewPanel::SetPreviewDisabled(bool disabled) {
  fDisablePreview = disabled;
  if (disabled) {
    PreviewTimer->stop();
    ClearPreview();
  }
}

void TPreviewPanel::ShowStatsChart(bool recompute) {
  if (!isVisible() && !isVisibleTo(parentWidget())) return;
  fPages->setCurrentWidget(StatsChart);
  Series1->clear();
  fChartEntries.clear();
  if (!fEngine || fEngine->ItemCount() == 0) return;
  for (std::size_t i = 0; i < std::size(kCategories); ++i) {
    double value = StatsCache[i];
    bool found = value > 0;
    if (recompute) {
      value = std::round(fEngine->GetStatsByCategory(kCategories[i].Category, found) * 100) / 100;
    }
    if (found) {
      fChartEntries.push_back({value, Tr(kCategories[i].Name)});
      StatsCache[i] = value;
    } else {
      StatsCache[i] = -1;
    }
  }
  std::stable_sort(fChartEntries.begin(), fChartEntries.end(),
                   [](const TPieStatInfo& a, const TPieStatInfo& b) { return PieLess(b, a); });
  double total = 0;
  for (const TPieStatInfo& e : fChartEntries) total += e.Value;
  for (std::size_t i = 0; i < fChartEntries.size(); ++i) {
    const TPieStatInfo& e = fChartEntries[i];
    const double share = total > 0 ? e.Value * 100 / total : 0;
    auto* slice = Series1->append(e.Name + QStringLiteral(" (") + QString::number(share, 'f', 1) + QStringLiteral("%)"),
                                  std::max(e.Value, 0.0001));
    slice->setColor(kSliceColors[i % std::size(kSliceColors)]);
    slice->setBorderColor(Qt::white);
  }
}

bool TPreviewPanel::ChartShown() const { return fPages->currentWidget() == StatsChart; }

QString TPreviewPanel::InfoText() const { return txtFileInfo->text(); }

QString TPreviewPanel::ShownText() const { return txtPreviewText->isHidden() ? QString() : txtPreviewText->toPlainText(); }

void TPreviewPanel::Retranslate() {
  if (ChartShown()) ShowStatsChart(false);
}

void TPreviewPanel::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  // A new size wants a picture made for it, once the dragging has stopped.
  if (fState == psOwnPreview || fState == psThumbnail) ReAlignTimer->start();
}

bool TPreviewPanel::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonDblClick && (watched == PreviewBackground || watched == PreviewImage)) {
    const std::string path = fLastPath;
    if (!path.empty() && QFileInfo::exists(PathText(path))) {
      // After the double click has been handled: opening may start another program.
      QTimer::singleShot(0, this, [path] { OpenItemFile(path); });
    }
    return true;
  }
  return QFrame::eventFilter(watched, event);
}

}  // namespace pelcrow::ui
