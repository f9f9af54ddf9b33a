// The panel beside the results grid: a preview of the file in the focused row, or, while no file
// is previewed, a pie chart of the duplicates' disk space by category. Row changes are gathered
// by a short timer so that running through the list builds one preview, for the row it stops on;
// the preview itself is built off the window's thread (TPreviewer).
#pragma once

#include <QFrame>

#include <array>
#include <functional>
#include <string>

#include "engine/ScanEngine.h"
#include "ui/PreviewLoader.h"

class QChart;
class QChartView;
class QLabel;
class QPieSeries;
class QPlainTextEdit;
class QStackedWidget;
class QTimer;

namespace pelcrow::ui {

class TResultsPanel;

// One slice of the chart. Entries closer than 0.001 count as equal.
struct TPieStatInfo {
  double Value = 0;
  QString Name;
};
bool PieLess(const TPieStatInfo& a, const TPieStatInfo& b);

class TPreviewPanel final : public QFrame {
  Q_OBJECT

 public:
  explicit TPreviewPanel(QWidget* parent = nullptr);

  // The grid whose focused row is previewed and the engine whose results the chart shows.
  void Attach(TResultsPanel* results, TScanEngine* engine);

  // Asks for a new preview after the row changes have settled.
  void UpdatePreview();
  // The timer's work, now (tests; the timer does it after 300 ms).
  void FlushPreviewTimer();
  void ClearPreview();
  // recompute: from the engine; else from the figures of the last time.
  void ShowStatsChart(bool recompute);
  // No previews while a scan finishes.
  void SetPreviewDisabled(bool disabled);
  void Retranslate();

  TPreviewState State() const { return fState; }
  TPreviewKind Kind() const { return fKind; }
  const std::string& PreviewedPath() const { return fLastPath; }
  QString InfoText() const;
  bool ChartShown() const;
  bool Loading() const { return fPreviewer->Busy(); }
  // The picture shown (picture, cover, page, thumbnail or icon).
  QImage ShownImage() const { return fShownImage; }
  QString ShownText() const;
  // The chart's slices, largest first, as names with their values.
  std::vector<TPieStatInfo> ChartEntries() const { return fChartEntries; }

 signals:
  // A preview arrived and is on screen.
  void PreviewShown();

 protected:
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void PreviewTimerTick();
  void ShowFilePreview(const std::string& path);
  void Apply(const TPreviewContent& content);
  QSize PictureBox() const;

  TResultsPanel* fResults = nullptr;
  TScanEngine* fEngine = nullptr;
  TPreviewer* fPreviewer;
  QTimer* PreviewTimer;
  QTimer* ReAlignTimer;
  QStackedWidget* fPages;
  QChartView* StatsChart;
  QPieSeries* Series1;
  QWidget* PreviewBackground;
  QLabel* PreviewImage;
  QPlainTextEdit* txtPreviewText;
  QLabel* txtFileInfo;
  QImage fShownImage;
  TPreviewState fState = psNone;
  TPreviewKind fKind = TPreviewKind::pkNone;
  std::string fLastPath;
  bool fDisablePreview = false;
  // Archives, Documents, Music, Pictures, Video, Other; -1 = none found.
  std::array<double, 6> StatsCache{-1, -1, -1, -1, -1, -1};
  std::vector<TPieStatInfo> fChartEntries;
};

}  // namespace pelcrow::ui
