#include "ui/ResultsModel.h"

#include <QFont>

#include <algorithm>

#include "base/PathText.h"
#include "engine/ItemFlags.h"
#include "localization/TranslateText.h"

namespace pelcrow::ui {

namespace {

QString Q(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

}  // namespace

TResultsModel::TResultsModel(TScanEngine* Engine, QObject* parent) : QAbstractTableModel(parent), fEngine(Engine) {
  CheckColumns(0);
}

void TResultsModel::CheckColumns(std::uint8_t ShownTags) {
  beginResetModel();
  fColumns = ResultColumnsFor(fEngine->CompareMode(), ShownTags);
  fRows = fEngine->ItemCount();
  endResetModel();
}

int TResultsModel::ColumnOf(int kind) const {
  for (std::size_t c = 0; c < fColumns.size(); ++c)
    if (fColumns[c] == kind) return static_cast<int>(c);
  return -1;
}

int TResultsModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : fRows; }

int TResultsModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(fColumns.size());
}

QColor TResultsModel::BandColor() { return QColor(0xEE, 0xF3, 0xFA); }
QColor TResultsModel::ReferenceColor() { return QColor(0x1B, 0x6E, 0x2E); }

QVariant TResultsModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= fRows || index.row() >= fEngine->ItemCount()) return {};
  const int row = index.row();
  const PFileItem it = fEngine->Item(row);
  const int kind = fColumns[static_cast<std::size_t>(index.column())];
  switch (role) {
    case Qt::CheckStateRole:
      if (kind == rcCheck) return it->fSelected ? Qt::Checked : Qt::Unchecked;
      if (const int n = AddressBox(row, kind)) {
        IScanEnginePlugin* plugin = fEngine->ScannerPlugin();
        return plugin && plugin->GetEmailChecked(TScanEngine::PluginIndex(*it), n) ? Qt::Checked : Qt::Unchecked;
      }
      return {};
    case Qt::BackgroundRole:
      if (fEngine->CheckRow(row)) return BandColor();
      return {};
    // A merged contact is the one that stays: it is changed, not gone, so it is not struck out.
    case Qt::ForegroundRole:
      if (it->fProcessed) return it->ActionType == faMergeContact ? QColor(Qt::darkGreen) : QColor(Qt::red);
      if (it->Reference) return ReferenceColor();
      return {};
    case Qt::FontRole:
      if (it->fProcessed && it->ActionType != faMergeContact) {
        QFont f;
        f.setStrikeOut(true);
        return f;
      }
      return {};
    case Qt::TextAlignmentRole:
      if (kind == rcSize || kind == rcDupGroup || kind == rcSimilarity) return int(Qt::AlignRight | Qt::AlignVCenter);
      return {};
    case Qt::ToolTipRole:
      if (it->Reference && (kind == rcCheck || kind == rcName))
        return Q(TranslateText("In a reference folder: this copy always stays and cannot be checked."));
      if (kind == rcPath || kind == rcName) return Q(DeleteExtendedPrefix(it->FullPath()));
      return {};
    case Qt::DisplayRole:
      break;
    default:
      return {};
  }
  if (kind == rcCheck) return {};
  return Q(ResultCellText(*it, kind));
}

QVariant TResultsModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= static_cast<int>(fColumns.size())) return {};
  if (role == Qt::DisplayRole) return Q(TranslateText(ResultColumnCaption(fColumns[static_cast<std::size_t>(section)])));
  return {};
}

Qt::ItemFlags TResultsModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  const int kind = fColumns[static_cast<std::size_t>(index.column())];
  if (kind == rcCheck || AddressBox(index.row(), kind)) {
    const bool fixed = index.row() < fEngine->ItemCount() &&
                       (fEngine->Item(index.row())->fProcessed || (kind == rcCheck && fEngine->Item(index.row())->Reference));
    if (!fixed) f |= Qt::ItemIsUserCheckable;
  }
  return f;
}

// A contact's address cell holds the box that takes the address into a merge: 1 to 3, or 0
// for any other cell and an empty address.
int TResultsModel::AddressBox(int row, int kind) const {
  if (kind != rcEmail1 && kind != rcEmail2 && kind != rcEmail3) return 0;
  if (row < 0 || row >= fEngine->ItemCount()) return 0;
  const PFileItem it = fEngine->Item(row);
  if (!it->Emails) return 0;
  const std::string& address = kind == rcEmail1 ? it->Emails->Address1 : kind == rcEmail2 ? it->Emails->Address2 : it->Emails->Address3;
  return address.empty() ? 0 : kind - rcEmail1 + 1;
}

bool TResultsModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::CheckStateRole || !index.isValid()) return false;
  const int kind = fColumns[static_cast<std::size_t>(index.column())];
  if (const int n = AddressBox(index.row(), kind)) {
    IScanEnginePlugin* plugin = fEngine->ScannerPlugin();
    if (!plugin || fEngine->Item(index.row())->fProcessed) return false;
    plugin->SetEmailChecked(TScanEngine::PluginIndex(*fEngine->Item(index.row())), n, value.toInt() == Qt::Checked);
    emit dataChanged(index, index, {Qt::CheckStateRole});
    return true;
  }
  if (kind != rcCheck) return false;
  SetChecked(index.row(), value.toInt() == Qt::Checked);
  return true;
}

bool TResultsModel::SetChecked(int row, bool checked) {
  if (row < 0 || row >= fEngine->ItemCount()) return false;
  const PFileItem it = fEngine->Item(row);
  if (it->fProcessed) return !checked;
  SetFileSelected(it, checked);
  RowChanged(row);
  emit CheckChanged();
  return it->fSelected == checked;
}

void TResultsModel::Retranslate() {
  if (!fColumns.empty()) emit headerDataChanged(Qt::Horizontal, 0, static_cast<int>(fColumns.size()) - 1);
}

void TResultsModel::ListChanged(int RowCount) {
  beginResetModel();
  fRows = RowCount;
  endResetModel();
  // The reset repaints every row; what was gathered before it is told already.
  fFirstChanged = 0;
  fLastChanged = -1;
}

void TResultsModel::EmitRowsChanged(int first, int last) {
  first = std::max(first, 0);
  last = std::min(last, fRows - 1);
  if (first > last || fColumns.empty()) return;
  emit dataChanged(index(first, 0), index(last, static_cast<int>(fColumns.size()) - 1));
}

void TResultsModel::RowChanged(int Row) {
  if (Row < 0 || Row >= fRows) return;
  if (fUpdateDepth == 0) {
    EmitRowsChanged(Row, Row);
  } else if (fFirstChanged > fLastChanged) {
    fFirstChanged = fLastChanged = Row;
  } else {
    fFirstChanged = std::min(fFirstChanged, Row);
    fLastChanged = std::max(fLastChanged, Row);
  }
}

void TResultsModel::Refresh() {
  // Rows are painted from the items on demand; repainting the visible part is enough.
  if (fUpdateDepth == 0) {
    EmitRowsChanged(0, fRows - 1);
  } else {
    fFirstChanged = 0;
    fLastChanged = fRows - 1;
  }
}

void TResultsModel::BeginUpdate() { ++fUpdateDepth; }

void TResultsModel::EndUpdate() {
  if (fUpdateDepth == 0 || --fUpdateDepth > 0) return;
  const int first = fFirstChanged, last = fLastChanged;
  fFirstChanged = 0;
  fLastChanged = -1;
  EmitRowsChanged(first, last);
}

int TResultsModel::MusicTagAtColumn(int GridColumn) const {
  if (GridColumn < 0 || GridColumn >= static_cast<int>(fColumns.size())) return -1;
  const int kind = fColumns[static_cast<std::size_t>(GridColumn)];
  return kind >= rcTag && kind < rcTag + 8 ? kind - rcTag : -1;
}

}  // namespace pelcrow::ui
