#include "ui/diagnostics/events_window.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QVBoxLayout>

#include "ui/diagnostics/log_table.h"
#include "ui/form/accessibility.h"
#include "ui/form/dialogs.h"
#include "ui/form/save_file.h"

namespace orlo::ui {
namespace {

constexpr int kColumns = 3;
const char* const kEventHeaders[kColumns] = {"Time", "Kind", "Event"};

// One kind, or every kind when none is chosen.
class KindFilter : public QSortFilterProxyModel {
 public:
  using QSortFilterProxyModel::QSortFilterProxyModel;

  void setKind(std::optional<EventKind> kind) {
    kind_ = kind;
    invalidateFilter();
  }

 protected:
  bool filterAcceptsRow(int row, const QModelIndex& parent) const override {
    if (!kind_) return true;
    const QVariant kind = sourceModel()->index(row, 0, parent).data(EventTableModel::kKindRole);
    return kind.toInt() == static_cast<int>(*kind_);
  }

 private:
  std::optional<EventKind> kind_;
};

QString timeText(const std::tm& time) {
  char text[32];
  const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &time);
  return QString::fromLatin1(text, static_cast<int>(n));
}

}  // namespace

// ---- model ---------------------------------------------------------------------------------

EventTableModel::EventTableModel(const EventLog& log, QObject* parent)
    : QAbstractTableModel(parent),
      log_(log),
      rows_(static_cast<int>(log.size())),
      droppedSeen_(log.dropped()) {}

int EventTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : rows_;
}

int EventTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumns;
}

// Rows the log has let go since the view last heard about it are still counted until
// eventAdded() removes them, so a row keeps addressing the same event until then.
const LoggedEvent& EventTableModel::eventAt(int row) const {
  const std::uint64_t gone = log_.dropped() - droppedSeen_;
  return log_.at(static_cast<std::size_t>(row) - static_cast<std::size_t>(gone));
}

QVariant EventTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rows_) return {};
  const std::uint64_t gone = log_.dropped() - droppedSeen_;
  if (static_cast<std::uint64_t>(index.row()) < gone) return {};
  const LoggedEvent& event = eventAt(index.row());
  if (role == kKindRole) return static_cast<int>(event.kind);
  // A listener hears the whole row on any of its cells: time, kind, event.
  if (role == Qt::AccessibleTextRole)
    return rowSentence({timeText(event.time), QString::fromLatin1(eventKindName(event.kind)),
                        QString::fromStdString(event.text)});
  if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
  switch (index.column()) {
    case 0:
      return timeText(event.time);
    case 1:
      return QString::fromLatin1(eventKindName(event.kind));
    default:
      return QString::fromStdString(event.text);
  }
}

QVariant EventTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= kColumns)
    return {};
  return QString::fromLatin1(kEventHeaders[section]);
}

void EventTableModel::eventAdded() {
  const int gone = static_cast<int>(std::min<std::uint64_t>(log_.dropped() - droppedSeen_, rows_));
  if (gone > 0) {
    beginRemoveRows({}, 0, gone - 1);
    rows_ -= gone;
    droppedSeen_ = log_.dropped();
    endRemoveRows();
  }
  droppedSeen_ = log_.dropped();
  const int now = static_cast<int>(log_.size());
  if (now <= rows_) return;
  beginInsertRows({}, rows_, now - 1);
  rows_ = now;
  endInsertRows();
}

// ---- window --------------------------------------------------------------------------------

EventsWindow::EventsWindow(const EventRecorder& recorder, QWidget* parent)
    : QWidget(parent),
      recorder_(recorder),
      model_(new EventTableModel(recorder.log(), this)),
      filter_(new KindFilter(this)) {
  setWindowFlag(Qt::Window);
  setWindowTitle("Events");
  filter_->setSourceModel(model_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(buildControls());
  table_ = newLogTable(filter_, QStringLiteral("Events"), this);
  table_->setColumnWidth(0, fontMetrics().horizontalAdvance("2026-12-07 14:15:03") + 16);
  table_->setColumnWidth(1, fontMetrics().horizontalAdvance("MOSFET") + 24);
  layout->addWidget(table_, 1);
  status_ = new QLabel(this);
  status_->setWordWrap(true);
  status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(status_);
  resize(760, 420);
  closeOnEscape(this);
  updateStatus();
  table_->scrollToBottom();
}

QWidget* EventsWindow::buildControls() {
  auto* bar = new QWidget(this);
  auto* row = new QHBoxLayout(bar);
  row->setContentsMargins(0, 0, 0, 0);
  kind_ = new QComboBox(bar);
  nameComboBox(kind_, QStringLiteral("Show events of kind"));
  kind_->addItem("All kinds");
  for (EventKind kind : kEventKinds) kind_->addItem(QString::fromLatin1(eventKindName(kind)));
  connect(kind_, &QComboBox::currentIndexChanged, this, [this](int index) {
    static_cast<KindFilter*>(filter_)->setKind(index <= 0 ? std::nullopt
                                                          : std::optional<EventKind>(kEventKinds[index - 1]));
  });
  row->addWidget(kind_);
  row->addStretch(1);
  auto* exportButton = new QPushButton("Export CSV...", bar);
  connect(exportButton, &QPushButton::clicked, this, &EventsWindow::askExport);
  row->addWidget(exportButton);
  return bar;
}

void EventsWindow::append(const LoggedEvent&) {
  QScrollBar* bar = table_->verticalScrollBar();
  const bool following = bar->value() == bar->maximum();
  model_->eventAdded();
  if (following) table_->scrollToBottom();
}

void EventsWindow::updateStatus() {
  const std::string& problem = recorder_.fileProblem();
  const std::string file = recorder_.todaysFile();
  if (!problem.empty())
    status_->setText(QString::fromStdString("Events are not being saved: " + problem));
  else if (!file.empty())
    status_->setText(QString::fromStdString("Also saved to " + file));
  else
    status_->clear();
}

void EventsWindow::setKindFilter(std::optional<EventKind> kind) {
  int index = 0;
  for (std::size_t i = 0; kind && i < std::size(kEventKinds); ++i)
    if (kEventKinds[i] == *kind) index = static_cast<int>(i) + 1;
  kind_->setCurrentIndex(index);
}

std::string EventsWindow::shownCsv() const {
  std::string csv = eventCsvHeader();
  for (int row = 0; row < filter_->rowCount(); ++row)
    csv += eventCsvLine(model_->eventAt(filter_->mapToSource(filter_->index(row, 0)).row()));
  return csv;
}

QString EventsWindow::exportTo(const QString& path) const {
  return writeWholeFile(path, shownCsv());
}

void EventsWindow::askExport() {
  const auto path = askSavePath(this, "CSV file (*.csv;)|*.csv;||", "events.csv");
  if (!path) return;
  const QString error = exportTo(*path);
  if (!error.isEmpty()) showMessageBox(this, error.toStdString(), "Events");
}

int EventsWindow::shownRows() const {
  return filter_->rowCount();
}

QString EventsWindow::shownText(int row, int column) const {
  return filter_->index(row, column).data().toString();
}

QString EventsWindow::statusText() const {
  return status_->text();
}

}  // namespace orlo::ui
