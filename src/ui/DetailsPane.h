// The details pane under the grid: the focused file beside its group's kept copy (the one the
// selection keeps), field by field, with the fields that differ marked. When the focused row is
// itself the kept copy it is shown beside the next copy of its group.
#pragma once

#include <QFrame>

#include "engine/FileItem.h"

class QLabel;
class QTableWidget;

namespace pelcrow::ui {

class TDetailsPane final : public QFrame {
  Q_OBJECT

 public:
  explicit TDetailsPane(QWidget* parent = nullptr);

  // Other: the kept copy, or (OtherIsKept false) another copy beside the kept one; either may be
  // null (no row, or a group with nothing kept).
  void ShowItems(const TFileItem* Focused, const TFileItem* Other, bool OtherIsKept);
  void Retranslate();
  // The rows' captions, in order.
  enum TField : int { dfName, dfFolder, dfSize, dfModified, dfChanged, dfCount };
  // Whether the field differs in what is shown now.
  bool Differs(TField Field) const;

  QTableWidget* Table() const { return twDetails; }

 private:
  QTableWidget* twDetails;
  bool fOtherIsKept = true;
  bool fDiffers[dfCount] = {};
};

}  // namespace pelcrow::ui
