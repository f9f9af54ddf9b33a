#include "ui/DetailsPane.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

#include "base/PathText.h"
#include "engine/ResultColumns.h"
#include "localization/Formatting.h"
#include "ui/UiText.h"

namespace pelcrow::ui {
namespace {

const char* const kFieldCaptions[TDetailsPane::dfCount] = {"Name", "Folder", "Size", "Modified", "Status changed"};

std::string FieldText(const TFileItem& it, int field) {
  switch (field) {
    case TDetailsPane::dfName: return it.Name.str();
    case TDetailsPane::dfFolder: return DeleteExtendedPrefix(it.Path.str());
    case TDetailsPane::dfSize: return FormatFileSize(it.Size) + " (" + std::to_string(it.Size) + " B)";
    case TDetailsPane::dfModified: return ResultCellText(it, rcModified);
    case TDetailsPane::dfChanged: {
      if (it.Changed.IsZero()) return {};
      TFileItem copy;
      copy.Modified = it.Changed;
      return ResultCellText(copy, rcModified);
    }
    default: return {};
  }
}

}  // namespace

TDetailsPane::TDetailsPane(QWidget* parent) : QFrame(parent) {
  setObjectName(QStringLiteral("pDetails"));
  setFrameShape(QFrame::StyledPanel);
  twDetails = new QTableWidget(dfCount, 2, this);
  twDetails->setObjectName(QStringLiteral("twDetails"));
  twDetails->setEditTriggers(QAbstractItemView::NoEditTriggers);
  twDetails->setSelectionMode(QAbstractItemView::NoSelection);
  twDetails->setFocusPolicy(Qt::NoFocus);
  twDetails->setTextElideMode(Qt::ElideMiddle);
  twDetails->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  twDetails->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  twDetails->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  for (int r = 0; r < dfCount; ++r)
    for (int c = 0; c < 2; ++c) twDetails->setItem(r, c, new QTableWidgetItem);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(2, 2, 2, 2);
  layout->addWidget(twDetails);
  int height = twDetails->horizontalHeader()->sizeHint().height() + 4;
  for (int r = 0; r < dfCount; ++r) height += twDetails->verticalHeader()->sectionSizeHint(r);
  twDetails->setFixedHeight(height);
  Retranslate();
}

void TDetailsPane::Retranslate() {
  QStringList rows;
  for (const char* c : kFieldCaptions) rows << Tr(c);
  twDetails->setVerticalHeaderLabels(rows);
  twDetails->setHorizontalHeaderLabels({Tr("This file"), fOtherIsKept ? Tr("Kept copy") : Tr("Next copy (this one is kept)")});
}

void TDetailsPane::ShowItems(const TFileItem* Focused, const TFileItem* Other, bool OtherIsKept) {
  fOtherIsKept = OtherIsKept;
  Retranslate();
  const QColor mark(0xFF, 0xF1, 0xB8);
  for (int r = 0; r < dfCount; ++r) {
    const std::string a = Focused ? FieldText(*Focused, r) : std::string();
    const std::string b = Other ? FieldText(*Other, r) : std::string();
    fDiffers[r] = Focused && Other && a != b;
    const std::string* texts[2] = {&a, &b};
    for (int c = 0; c < 2; ++c) {
      QTableWidgetItem* cell = twDetails->item(r, c);
      cell->setText(PathText(*texts[c]));
      cell->setToolTip(PathText(*texts[c]));
      cell->setBackground(fDiffers[r] ? QBrush(mark) : QBrush());
      QFont f = cell->font();
      f.setBold(fDiffers[r]);
      cell->setFont(f);
    }
  }
}

bool TDetailsPane::Differs(TField Field) const { return Field >= 0 && Field < dfCount && fDiffers[Field]; }

}  // namespace pelcrow::ui
