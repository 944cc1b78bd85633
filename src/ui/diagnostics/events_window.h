#pragma once
// The "Events" window: every event the main window recorded, newest at the bottom, a filter by
// kind, "Export CSV..." of the rows shown, and a status line that names the day's file or says
// why it cannot be written. Rows arrive as they happen (append()); nothing polls.

#include <QAbstractTableModel>
#include <QString>
#include <QWidget>
#include <optional>

#include "app/event_recorder.h"

class QComboBox;
class QLabel;
class QSortFilterProxyModel;
class QTableView;

namespace orlo::ui {

// The recorder's in-memory log as a table: time, kind, event.
class EventTableModel : public QAbstractTableModel {
 public:
  static constexpr int kKindRole = Qt::UserRole + 1;

  explicit EventTableModel(const EventLog& log, QObject* parent = nullptr);
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // The log has taken one event (and may have let its oldest go).
  void eventAdded();
  const LoggedEvent& eventAt(int row) const;

 private:
  const EventLog& log_;
  int rows_ = 0;
  std::uint64_t droppedSeen_ = 0;
};

class EventsWindow : public QWidget {
 public:
  EventsWindow(const EventRecorder& recorder, QWidget* parent = nullptr);

  void append(const LoggedEvent& event);
  // Shows the day's file, or `problem` when it cannot be written.
  void updateStatus();

  void setKindFilter(std::optional<EventKind> kind);
  // The rows the filter shows, as the CSV export writes them (header first).
  std::string shownCsv() const;
  // Writes shownCsv() to `path`; "" or the reason it failed.
  QString exportTo(const QString& path) const;

  int shownRows() const;
  QString shownText(int row, int column) const;
  QString statusText() const;
  QComboBox* kindBox() const { return kind_; }

 private:
  QWidget* buildControls();
  void askExport();

  const EventRecorder& recorder_;
  EventTableModel* model_;
  QSortFilterProxyModel* filter_;
  QComboBox* kind_ = nullptr;
  QTableView* table_ = nullptr;
  QLabel* status_ = nullptr;
};

}  // namespace orlo::ui
