#include "ui/ScanResultsDialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QVBoxLayout>

#include "base/FormatSettings.h"
#include "ui/Artwork.h"
#include "ui/DialogHelpers.h"
#include "ui/UiText.h"

namespace pelcrow::ui {

namespace {
constexpr const char* kGoFixThem = "Go Fix Them";
}  // namespace

int TfmScanResults::PieChartNumber(long long originals, long long duplicates) {
  const long long all = originals + duplicates;
  if (all <= 0) return 0;
  const long long p = duplicates * 100 / all;
  for (int h = 1; h <= 9; ++h) {
    // p <= (180 + 20 (h - 1)) / 3.6, in whole numbers: 3.6 p <= 180 + 20 (h - 1).
    if (36 * p <= 10 * (180 + 20 * (h - 1))) return h;
  }
  return 9;
}

TfmScanResults::TfmScanResults(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
  setObjectName(QStringLiteral("fmScanResults"));
  setFixedSize(520, 330);
  auto* v = new QVBoxLayout(this);
  v->setContentsMargins(22, 8, 10, 18);
  auto* head = new QHBoxLayout;
  lblTotalDuplicatesNumber = new QLabel(this);
  lblTotalDuplicatesNumber->setObjectName(QStringLiteral("lblTotalDuplicatesNumber"));
  lblTotalDuplicatesNumber->setStyleSheet(QStringLiteral("color: white; font-size: 26pt; font-weight: bold;"));
  lblTotalDuplicatesText = new QLabel(this);
  lblTotalDuplicatesText->setObjectName(QStringLiteral("lblTotalDuplicatesText"));
  lblTotalDuplicatesText->setStyleSheet(QStringLiteral("color: white; font-size: 14pt;"));
  imgClose = new TArtImage(QStringLiteral("CloseBtn"), this);
  imgClose->setObjectName(QStringLiteral("imgClose"));
  imgClose->setFixedSize(24, 24);
  imgClose->SetHoverOpacity(0.8);
  imgClose->setCursor(Qt::PointingHandCursor);
  head->addWidget(lblTotalDuplicatesNumber);
  head->addSpacing(8);
  head->addWidget(lblTotalDuplicatesText, 1);
  head->addWidget(imgClose, 0, Qt::AlignTop);
  v->addLayout(head);
  v->addSpacing(22);

  auto* body = new QHBoxLayout;
  imgPieChart = new TArtImage(QStringLiteral("ScanResultPieChart_0"), this);
  imgPieChart->setObjectName(QStringLiteral("imgPieChart"));
  imgPieChart->setFixedSize(120, 120);
  lblScanSummaryText = new QLabel(this);
  lblScanSummaryText->setObjectName(QStringLiteral("lblScanSummaryText"));
  lblScanSummaryText->setWordWrap(true);
  lblScanSummaryText->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  lblScanSummaryText->setStyleSheet(QStringLiteral("color: #1e293b; font-size: 11pt;"));
  body->addWidget(imgPieChart);
  body->addSpacing(16);
  body->addWidget(lblScanSummaryText, 1);
  body->addSpacing(12);
  v->addLayout(body, 1);

  auto* tiles = new QHBoxLayout;
  imgAssistant = new TArtImage(QStringLiteral("TileAssistant"), this);
  imgAssistant->setObjectName(QStringLiteral("imgAssistant"));
  imgAssistant->setFixedSize(170, 56);
  imgAssistant->setCursor(Qt::PointingHandCursor);
  imgAssistant->AddCaption("Launch", "txtLaunch", 9, false);
  imgAssistant->AddCaption("Assistant", "txtAssistant", 12, true);
  imgContinue = new TArtImage(QStringLiteral("TileContinue"), this);
  imgContinue->setObjectName(QStringLiteral("imgContinue"));
  imgContinue->setFixedSize(170, 56);
  imgContinue->setCursor(Qt::PointingHandCursor);
  txtGo = imgContinue->AddCaption(kGoFixThem, "txtGo", 12, true);
  tiles->addStretch();
  tiles->addWidget(imgAssistant);
  tiles->addSpacing(10);
  tiles->addWidget(imgContinue);
  tiles->addSpacing(12);
  v->addLayout(tiles);

  connect(imgClose, &TArtImage::clicked, this, [this] { done(kSummaryClosed); });
  connect(imgContinue, &TArtImage::clicked, this, [this] { done(kSummaryContinue); });
  connect(imgAssistant, &TArtImage::clicked, this, [this] { done(kSummaryAssistant); });
  GetLanguageController().AddToTranslateList(this);
}

void TfmScanResults::SetSummary(long long duplicates, long long originals, bool offerAssistant,
                                const QString& summaryText) {
  fDuplicates = duplicates;
  const int n = PieChartNumber(originals, duplicates);
  fEmpty = n == 0;
  imgPieChart->SetImage(QStringLiteral("ScanResultPieChart_%1").arg(n));
  imgAssistant->setVisible(offerAssistant);
  lblTotalDuplicatesNumber->setText(QString::fromStdString(FormatThousands(duplicates)));
  lblScanSummaryText->setText(summaryText);
  Retranslate();
}

void TfmScanResults::Retranslate() {
  RetranslateCaptions(this);
  lblTotalDuplicatesText->setText(Tr(fDuplicates == 1 ? "Duplicate File Found" : "Duplicate Files Found"));
  txtGo->setText(Tr(fEmpty ? "OK" : kGoFixThem));
  imgAssistant->FitCaptions();
  imgContinue->FitCaptions();
}

void TfmScanResults::paintEvent(QPaintEvent*) { PaintBackground(this, QStringLiteral("ScanResultsBack")); }

// Enter, Escape and Space close the window without choosing either way on.
void TfmScanResults::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
    case Qt::Key_Space: done(kSummaryClosed); return;
    default: QDialog::keyPressEvent(event);
  }
}

void TfmScanResults::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  AlignCenter(this, parentWidget());
}

int ShowScanSummary(QWidget* owner, long long originals, long long duplicates, bool offerAssistant,
                    const QString& summaryText) {
  if (owner && owner->isMinimized()) owner->showNormal();
  TfmScanResults dlg(owner);
  dlg.SetSummary(duplicates, originals, offerAssistant, summaryText);
  return RunModal(dlg);
}

}  // namespace pelcrow::ui
