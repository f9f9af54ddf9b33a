// The summary shown after every scan: how many duplicates, what they occupy, a pie picture of
// their share, and two ways on: "Go Fix Them" (continue) or the resolve assistant.
#pragma once

#include <QDialog>

#include <cstdint>

#include "localization/LanguageController.h"

class QLabel;

namespace pelcrow::ui {

class TArtImage;

// What the summary's user chose.
inline constexpr int kSummaryClosed = 0;
inline constexpr int kSummaryContinue = 1;
inline constexpr int kSummaryAssistant = 11;

class TfmScanResults : public QDialog, public ITranslatable {
  Q_OBJECT

 public:
  explicit TfmScanResults(QWidget* parent = nullptr);
  // summaryText: the "Scanned ... Detected ..." sentences (the scan controller writes them).
  void SetSummary(long long duplicates, long long originals, bool offerAssistant, const QString& summaryText);
  void Retranslate() override;
  // The pie picture's number for a result: 0 for an empty one, else 1 to 9 by the duplicates' share.
  static int PieChartNumber(long long originals, long long duplicates);

  QLabel* lblTotalDuplicatesNumber;
  QLabel* lblTotalDuplicatesText;
  QLabel* lblScanSummaryText;
  TArtImage* imgPieChart;
  TArtImage* imgContinue;
  QLabel* txtGo;
  TArtImage* imgAssistant;
  TArtImage* imgClose;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  long long fDuplicates = 0;
  bool fEmpty = true;
};

// Shows the summary over owner (restoring a minimised owner first); gives kSummaryContinue,
// kSummaryAssistant or kSummaryClosed.
int ShowScanSummary(QWidget* owner, long long originals, long long duplicates, bool offerAssistant,
                    const QString& summaryText);

}  // namespace pelcrow::ui
