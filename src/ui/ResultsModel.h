// The results grid's model: reads the engine's visible list directly and formats only the cell
// asked for, so a million rows cost nothing beyond the engine's items. The engine drives it
// through IScanView (whole list changed, one row changed, an update bracket around many rows).
#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <array>

#include "engine/ResultColumns.h"
#include "engine/ScanEngine.h"

namespace pelcrow::ui {

class TResultsModel final : public QAbstractTableModel, public IScanView {
  Q_OBJECT

 public:

  explicit TResultsModel(TScanEngine* Engine, QObject* parent = nullptr);

  // Rebuilds the column set for the engine's mode; ShownTags are bits of the tag columns shown
  // in music mode (bit 0 title ... bit 7 bit rate). Columns hold TResultColumn values.
  void CheckColumns(std::uint8_t ShownTags);
  int ColumnKind(int column) const { return fColumns.at(static_cast<std::size_t>(column)); }
  const std::vector<int>& Columns() const { return fColumns; }
  int ColumnOf(int kind) const;
  int Rows() const { return fRows; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  // Sets a row's check through the engine's selection setter (which may ask about a master
  // file); returns whether the row took the state.
  bool SetChecked(int row, bool checked);
  // Re-reads headers after a language change.
  void Retranslate();

  // IScanView
  void ListChanged(int RowCount) override;
  void RowChanged(int Row) override;
  void Refresh() override;
  // Inside the bracket changed rows are gathered; its end reports them as one range.
  void BeginUpdate() override;
  void EndUpdate() override;
  int MusicTagAtColumn(int GridColumn) const override;

  static QColor BandColor();
  // The text of a reference copy, which always stays.
  static QColor ReferenceColor();

 signals:
  void CheckChanged();

 private:
  int AddressBox(int row, int kind) const;
  void EmitRowsChanged(int first, int last);

  TScanEngine* fEngine;
  std::vector<int> fColumns;
  int fRows = 0;
  int fUpdateDepth = 0;
  // Rows changed inside the open bracket; fFirstChanged > fLastChanged when none.
  int fFirstChanged = 0;
  int fLastChanged = -1;
};

}  // namespace pelcrow::ui
