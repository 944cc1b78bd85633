#include "ui/diagnostics/traffic_model.h"

#include <QBrush>
#include <QColor>
#include <QFontDatabase>
#include <algorithm>

#include "ui/form/accessibility.h"

namespace orlo::ui {

namespace {

const char* const kTrafficHeaders[TrafficModel::ColumnCount] = {"Time (ms)", "Direction", "Command",
                                                                "Length",    "Bytes",     "Verdict"};

QString cellText(const TrafficRow& row, int column) {
  switch (column) {
    case TrafficModel::Time:
      return QString::number(row.timeMs);
    case TrafficModel::Direction:
      return directionName(row.direction);
    case TrafficModel::Command:
      return QString::fromStdString(row.command);
    case TrafficModel::Length:
      return QString::number(row.length);
    case TrafficModel::Hex:
      return QString::fromStdString(rowHex(row));
    case TrafficModel::VerdictColumn:
      return verdictName(row.verdict);
  }
  return {};
}

}  // namespace

TrafficModel::TrafficModel(const TrafficLog& log, QObject* parent) : QAbstractTableModel(parent), log_(log) {
  rebuild();
}

void TrafficModel::collect(std::vector<std::uint64_t>& into, std::uint64_t fromSeq) const {
  const auto& rows = log_.rows();
  if (rows.empty()) return;
  std::uint64_t seq = std::max(fromSeq, rows.front().seq);
  for (; seq < log_.nextSeq(); ++seq) {
    const TrafficRow* row = log_.rowBySeq(seq);
    if (row && filter_.matches(*row)) into.push_back(seq);
  }
}

void TrafficModel::rebuild() {
  beginResetModel();
  seqs_.clear();
  collect(seqs_, 0);
  scannedTo_ = log_.nextSeq();
  endResetModel();
}

void TrafficModel::setFilter(const TrafficFilter& filter) {
  filter_ = filter;
  rebuild();
}

int TrafficModel::refresh() {
  const auto& rows = log_.rows();
  const std::uint64_t oldest = rows.empty() ? log_.nextSeq() : rows.front().seq;
  const auto evicted = std::lower_bound(seqs_.begin(), seqs_.end(), oldest) - seqs_.begin();
  if (evicted > 0) {
    beginRemoveRows({}, 0, static_cast<int>(evicted) - 1);
    seqs_.erase(seqs_.begin(), seqs_.begin() + evicted);
    endRemoveRows();
  }
  std::vector<std::uint64_t> added;
  collect(added, scannedTo_);
  scannedTo_ = log_.nextSeq();
  if (added.empty()) return static_cast<int>(evicted);
  const int first = static_cast<int>(seqs_.size());
  beginInsertRows({}, first, first + static_cast<int>(added.size()) - 1);
  seqs_.insert(seqs_.end(), added.begin(), added.end());
  endInsertRows();
  return static_cast<int>(evicted);
}

int TrafficModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(seqs_.size());
}

int TrafficModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : ColumnCount;
}

QVariant TrafficModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= static_cast<int>(seqs_.size())) return {};
  const TrafficRow* row = log_.rowBySeq(seqs_[static_cast<std::size_t>(index.row())]);
  if (!row) return {};
  if (role == Qt::DisplayRole) return cellText(*row, index.column());
  // A listener hears the whole row on any of its cells, its bytes last.
  if (role == Qt::AccessibleTextRole)
    return rowSentence({QString::number(row->timeMs) + QStringLiteral(" ms"), directionName(row->direction),
                        QString::fromStdString(row->command), verdictName(row->verdict),
                        QString::number(row->length) + QStringLiteral(" bytes"),
                        QString::fromStdString(rowHex(*row))});
  if (role == Qt::ForegroundRole && row->dropped()) return QBrush(QColor(200, 0, 0));
  if (role == Qt::ForegroundRole && row->direction == TrafficDirection::Sent)
    return QBrush(QColor(0, 0, 160));
  if (role == Qt::FontRole && index.column() == Hex) {
    static const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);  // asked per cell painted
    return fixed;
  }
  if (role == Qt::TextAlignmentRole && (index.column() == Time || index.column() == Length))
    return QVariant(Qt::AlignRight | Qt::AlignVCenter);
  return {};
}

QVariant TrafficModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
    return {};
  return kTrafficHeaders[section];
}

}  // namespace orlo::ui
