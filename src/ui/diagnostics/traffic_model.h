#pragma once
// The Traffic window's table: the traffic log's rows that pass the filter, followed
// incrementally (new rows appended, evicted rows removed) so a refresh costs only what changed.

#include <QAbstractTableModel>
#include <cstdint>
#include <vector>

#include "app/traffic_log.h"

namespace orlo::ui {

class TrafficModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { Time, Direction, Command, Length, Hex, VerdictColumn, ColumnCount };

  explicit TrafficModel(const TrafficLog& log, QObject* parent = nullptr);

  void setFilter(const TrafficFilter& filter);
  const TrafficFilter& filter() const { return filter_; }
  // Takes in what the log gained and lost since the last call; returns the rows dropped from
  // the start of the table.
  int refresh();
  // Starts over from what the log holds now (after the log was cleared).
  void rebuild();

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  void collect(std::vector<std::uint64_t>& into, std::uint64_t fromSeq) const;

  const TrafficLog& log_;
  TrafficFilter filter_;
  std::vector<std::uint64_t> seqs_;  // the shown rows, oldest first
  std::uint64_t scannedTo_ = 0;      // every seq below this has been looked at
};

}  // namespace orlo::ui
