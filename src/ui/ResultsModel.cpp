#include "ui/ResultsModel.h"

#include <QFont>

#include "base/FormatSettings.h"
#include "engine/ItemFlags.h"
#include "localization/TranslateText.h"
#include "platform/Formatting.h"

namespace pelcrow::ui {

namespace {

const char* const kTagCaptions[8] = {"Title", "Artist", "Album", "Track", "Year", "Genre", "Duration", "Bit Rate"};

QString Q(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
QString Q(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

QString Caption(int kind) {
  const char* text = "";
  switch (kind) {
    case TResultsModel::ckCheck: return {};
    case TResultsModel::ckName: text = "File Name"; break;
    case TResultsModel::ckPath: text = "Path"; break;
    case TResultsModel::ckDupGroup: text = "Dup. Group"; break;
    case TResultsModel::ckSize: text = "Size"; break;
    case TResultsModel::ckModified: text = "Modified"; break;
    case TResultsModel::ckSubject: text = "Subject"; break;
    case TResultsModel::ckFrom: text = "From"; break;
    case TResultsModel::ckTo: text = "To"; break;
    case TResultsModel::ckReceived: text = "Received Date"; break;
    case TResultsModel::ckFullName: text = "Full Name"; break;
    case TResultsModel::ckEmail1: text = "E-mail 1"; break;
    case TResultsModel::ckEmail2: text = "E-mail 2"; break;
    case TResultsModel::ckEmail3: text = "E-mail 3"; break;
    default:
      if (kind >= TResultsModel::ckTag && kind < TResultsModel::ckTag + 8) text = kTagCaptions[kind - TResultsModel::ckTag];
  }
  return Q(TranslateText(text));
}

std::string DateText(TDateTime t) { return FormatDateTime(GetDisplayDateFormat(true), t); }

}  // namespace

TResultsModel::TResultsModel(TScanEngine* Engine, QObject* parent) : QAbstractTableModel(parent), fEngine(Engine) {
  CheckColumns(0);
}

void TResultsModel::CheckColumns(std::uint8_t ShownTags) {
  beginResetModel();
  fColumns = {ckCheck};
  switch (fEngine->CompareMode()) {
    case cmEmails:
      fColumns.insert(fColumns.end(), {ckSubject, ckPath, ckSize, ckDupGroup, ckFrom, ckTo, ckReceived});
      break;
    case cmContacts:
      fColumns.insert(fColumns.end(), {ckPath, ckSize, ckDupGroup, ckModified, ckFullName, ckEmail1, ckEmail2, ckEmail3});
      break;
    default:
      fColumns.insert(fColumns.end(), {ckName, ckPath, ckDupGroup, ckSize, ckModified});
      if (fEngine->CompareMode() == cmMusicTags)
        for (int t = 0; t < 8; ++t)
          if (ShownTags & (1u << t)) fColumns.push_back(ckTag + t);
  }
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

QVariant TResultsModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= fRows || index.row() >= fEngine->ItemCount()) return {};
  const int row = index.row();
  const PFileItem it = fEngine->Item(row);
  const int kind = fColumns[static_cast<std::size_t>(index.column())];
  switch (role) {
    case Qt::CheckStateRole:
      if (kind == ckCheck) return it->fSelected ? Qt::Checked : Qt::Unchecked;
      return {};
    case Qt::BackgroundRole:
      if (fEngine->CheckRow(row)) return BandColor();
      return {};
    case Qt::ForegroundRole:
      if (it->fProcessed) return QColor(Qt::red);
      return {};
    case Qt::FontRole:
      if (it->fProcessed) {
        QFont f;
        f.setStrikeOut(true);
        return f;
      }
      return {};
    case Qt::TextAlignmentRole:
      if (kind == ckSize || kind == ckDupGroup) return int(Qt::AlignRight | Qt::AlignVCenter);
      return {};
    case Qt::ToolTipRole:
      if (kind == ckPath || kind == ckName) return Q(TScanEngine::DeleteExtendedPrefix(it->FullPath()));
      return {};
    case Qt::DisplayRole:
      break;
    default:
      return {};
  }
  const TEmailInfo* mail = it->Emails.get();
  switch (kind) {
    case ckCheck: return {};
    case ckName: return Q(it->Name.view());
    case ckPath: return Q(TScanEngine::DeleteExtendedPrefix(it->Path.str()));
    case ckDupGroup: return QString::number(it->DupGroup);
    case ckSize: return Q(FormatFileSize(it->Size));
    case ckModified: return Q(DateText(it->Modified));
    case ckSubject: return mail ? Q(mail->Subject) : QString();
    case ckFrom: return mail ? Q(mail->From) : QString();
    case ckTo: return mail ? Q(mail->To_) : QString();
    case ckReceived: return mail ? Q(DateText(mail->ReceivedDate)) : QString();
    case ckFullName: return Q(it->Name.view());
    case ckEmail1: return mail ? Q(mail->Address1) : QString();
    case ckEmail2: return mail ? Q(mail->Address2) : QString();
    case ckEmail3: return mail ? Q(mail->Address3) : QString();
    default: break;
  }
  if (kind >= ckTag && kind < ckTag + 8 && it->MusicTags) {
    const TMusicTagsInfo& t = *it->MusicTags;
    const std::string* values[8] = {&t.Title, &t.Artist, &t.Album, &t.Track, &t.Year, &t.Genre, &t.Duration, &t.BitRate};
    return Q(*values[kind - ckTag]);
  }
  return {};
}

QVariant TResultsModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= static_cast<int>(fColumns.size())) return {};
  if (role == Qt::DisplayRole) return Caption(fColumns[static_cast<std::size_t>(section)]);
  return {};
}

Qt::ItemFlags TResultsModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (fColumns[static_cast<std::size_t>(index.column())] == ckCheck) {
    const bool processed = index.row() < fEngine->ItemCount() && fEngine->Item(index.row())->fProcessed;
    if (!processed) f |= Qt::ItemIsUserCheckable;
  }
  return f;
}

bool TResultsModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::CheckStateRole || !index.isValid() || fColumns[static_cast<std::size_t>(index.column())] != ckCheck)
    return false;
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
}

void TResultsModel::RowChanged(int Row) {
  if (Row < 0 || Row >= fRows) return;
  emit dataChanged(index(Row, 0), index(Row, static_cast<int>(fColumns.size()) - 1));
}

void TResultsModel::Refresh() {
  // Rows are painted from the items on demand; repainting the visible part is enough.
  if (fRows > 0) emit dataChanged(index(0, 0), index(fRows - 1, static_cast<int>(fColumns.size()) - 1));
}

int TResultsModel::MusicTagAtColumn(int GridColumn) const {
  if (GridColumn < 0 || GridColumn >= static_cast<int>(fColumns.size())) return -1;
  const int kind = fColumns[static_cast<std::size_t>(GridColumn)];
  return kind >= ckTag && kind < ckTag + 8 ? kind - ckTag : -1;
}

}  // namespace pelcrow::ui
