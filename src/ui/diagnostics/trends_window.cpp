#include "ui/diagnostics/trends_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCursor>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMimeData>
#include <QPixmap>
#include <QPushButton>
#include <QSignalBlocker>
#include <QToolTip>
#include <QVBoxLayout>
#include <sstream>

#include "app/trend_plot.h"
#include "ui/diagnostics/log_viewer_window.h"
#include "ui/diagnostics/trend_chart.h"
#include "ui/form/accessibility.h"
#include "ui/form/dialogs.h"
#include "ui/form/save_file.h"

namespace orlo::ui {

namespace {

struct ChartGroup {
  const char* title;
  std::vector<TrendSeries> series;
};

const std::vector<ChartGroup>& chartGroups() {
  static const std::vector<ChartGroup> groups = {
      {"Cell voltages (mV)",
       {TrendSeries::Cell1, TrendSeries::Cell2, TrendSeries::Cell3, TrendSeries::Cell4}},
      {"Cell spread, max \u2212 min (mV)", {TrendSeries::Spread}},
      {"Total voltage (mV)", {TrendSeries::Total}},
      {"Current (A)", {TrendSeries::Current}},
      {"SOC (%)", {TrendSeries::Soc}},
      {"Temperatures (\u00B0C)", {TrendSeries::Temp1, TrendSeries::Temp2}},
  };
  return groups;
}

struct SpanChoice {
  const char* label;
  std::int64_t ms;
};

constexpr std::int64_t kMinute = 60 * 1000;
const SpanChoice kSpans[] = {{"1 min", kMinute},    {"5 min", 5 * kMinute},    {"15 min", 15 * kMinute},
                             {"1 h", 60 * kMinute}, {"6 h", 6 * 60 * kMinute}, {"24 h", 24 * 60 * kMinute}};

// While running, the time axis follows the clock; at long spans a step of a second is invisible.
std::int64_t scrollStepMs(std::int64_t spanMs) {
  return std::max<std::int64_t>(1000, spanMs / 500);
}
constexpr std::int64_t kPixelsPerSpan = 1000;
// Refreshes a second apart come a little early or late: a step a millisecond short still moves.
constexpr std::int64_t kStepSlackMs = 100;

}  // namespace

const std::vector<std::int64_t>& TrendsWindow::spans() {
  static const std::vector<std::int64_t> all = [] {
    std::vector<std::int64_t> v;
    for (const auto& s : kSpans) v.push_back(s.ms);
    return v;
  }();
  return all;
}

TrendsWindow::TrendsWindow(const TrendBuffer& buffer, MillisClock wallNowMs, QWidget* parent)
    : QWidget(parent), buffer_(buffer), clock_(std::move(wallNowMs)), spanMs_(kSpans[0].ms) {
  setWindowFlag(Qt::Window);
  setWindowTitle("Trends");
  setAcceptDrops(true);  // a data log dropped here opens in the recorded log window
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(buildToolbar());
  layout->addWidget(buildSeriesToggles());
  layout->addWidget(buildCharts(), 1);
  hover_ = new QLabel(this);
  hover_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(hover_);
  resize(960, 900);
  closeOnEscape(this);
}

void TrendsWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (!LogViewerWindow::droppedFiles(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TrendsWindow::dropEvent(QDropEvent* event) {
  showLogViewer(this, LogViewerWindow::droppedFiles(event->mimeData()));
  event->acceptProposedAction();
}

void TrendsWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  dirty_ = true;
  refresh();
}

QWidget* TrendsWindow::buildToolbar() {
  auto* bar = new QWidget(this);
  auto* row = new QHBoxLayout(bar);
  row->setContentsMargins(0, 0, 0, 0);
  row->addWidget(new QLabel("Span:", bar));
  spanBox_ = new QComboBox(bar);
  nameComboBox(spanBox_, QStringLiteral("Span"));
  for (const auto& s : kSpans) spanBox_->addItem(s.label, QVariant::fromValue<qint64>(s.ms));
  connect(spanBox_, &QComboBox::currentIndexChanged, this,
          [this](int i) { setSpanMs(spanBox_->itemData(i).toLongLong()); });
  row->addWidget(spanBox_);
  pauseButton_ = new QPushButton("Pause", bar);
  pauseButton_->setCheckable(true);
  connect(pauseButton_, &QPushButton::toggled, this, &TrendsWindow::setPaused);
  row->addWidget(pauseButton_);
  row->addStretch(1);
  auto* openLog = new QPushButton("Open Log...", bar);
  openLog->setAccessibleName("Open a recorded data log");
  connect(openLog, &QPushButton::clicked, this, [this] { showLogViewer(this, {}); });
  row->addWidget(openLog);
  auto* png = new QPushButton("Export PNG...", bar);
  auto* csv = new QPushButton("Export CSV...", bar);
  connect(png, &QPushButton::clicked, this, [this] { askExport(true); });
  connect(csv, &QPushButton::clicked, this, [this] { askExport(false); });
  row->addWidget(png);
  row->addWidget(csv);
  return bar;
}

QWidget* TrendsWindow::buildSeriesToggles() {
  auto* box = new QWidget(this);
  auto* row = new QHBoxLayout(box);
  row->setContentsMargins(0, 0, 0, 0);
  for (const auto& info : trendSeriesTable()) {
    auto* check = new QCheckBox(info.name, box);
    check->setChecked(true);
    TrendSeries series = info.series;
    connect(check, &QCheckBox::toggled, this, [this, series](bool on) { setSeriesVisible(series, on); });
    row->addWidget(check);
    toggles_.push_back(check);
  }
  row->addStretch(1);
  return box;
}

QWidget* TrendsWindow::buildCharts() {
  chartArea_ = new QWidget(this);
  auto* column = new QVBoxLayout(chartArea_);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(2);
  for (const auto& group : chartGroups()) {
    auto* chart = new TrendChart(QString::fromUtf8(group.title), group.series, chartArea_);
    chart->setAccessibleName(QString::fromUtf8(group.title));
    connect(chart, &TrendChart::hovered, this, &TrendsWindow::showHover);
    column->addWidget(chart, static_cast<int>(group.series.size() > 1 ? 2 : 1));
    charts_.push_back(chart);
  }
  return chartArea_;
}

void TrendsWindow::setSpanMs(std::int64_t spanMs) {
  if (spanMs <= 0 || spanMs == spanMs_) return;
  spanMs_ = spanMs;
  for (int i = 0; i < spanBox_->count(); ++i)
    if (spanBox_->itemData(i).toLongLong() == spanMs) spanBox_->setCurrentIndex(i);
  dirty_ = true;
  refresh();
}

void TrendsWindow::setPaused(bool paused) {
  if (paused == paused_) return;
  paused_ = paused;
  pausedEndMs_ = drawnEndMs_ ? drawnEndMs_ : clock_();
  pauseButton_->setChecked(paused);
  pauseButton_->setText(paused ? "Resume" : "Pause");
  dirty_ = true;
  refresh();
}

void TrendsWindow::setSeriesVisible(TrendSeries series, bool visible) {
  TrendChart* chart = chartFor(series);
  if (!chart) return;
  chart->setSeriesVisible(series, visible);
  chart->setVisible(chart->anySeriesVisible());
  QCheckBox* toggle = toggles_[static_cast<std::size_t>(series)];
  const QSignalBlocker quiet(toggle);
  toggle->setChecked(visible);
  dirty_ = true;
  refresh();
}

bool TrendsWindow::seriesVisible(TrendSeries series) const {
  return toggles_[static_cast<std::size_t>(series)]->isChecked();
}

TrendChart* TrendsWindow::chartFor(TrendSeries series) const {
  for (TrendChart* c : charts_)
    for (TrendSeries s : c->seriesShown())
      if (s == series) return c;
  return nullptr;
}

std::int64_t TrendsWindow::endMs() const {
  return paused_ ? pausedEndMs_ : clock_();
}

void TrendsWindow::refresh() {
  const std::int64_t end = endMs();
  // New samples are worth a redraw once they can move the curve by a pixel or so: at once on a
  // one-minute span, about every minute and a half on a whole day.
  const bool newSamples =
      !paused_ && buffer_.version() != drawnVersion_ && end - drawnEndMs_ >= spanMs_ / kPixelsPerSpan;
  const bool clockMoved = !paused_ && end - drawnEndMs_ >= scrollStepMs(spanMs_) - kStepSlackMs;
  if (dirty_ || newSamples || clockMoved) redraw(end);
}

void TrendsWindow::redraw(std::int64_t endMs) {
  const TrendRange range = buffer_.visible(endMs, spanMs_);
  for (TrendChart* c : charts_)
    if (c->isVisibleTo(this)) c->redraw(buffer_, range, endMs - spanMs_, spanMs_);
  drawnVersion_ = buffer_.version();
  drawnEndMs_ = endMs;
  dirty_ = false;
  ++redraws_;
}

TrendRange TrendsWindow::visibleRange() const {
  return buffer_.visible(drawnEndMs_ ? drawnEndMs_ : endMs(), spanMs_);
}

QString TrendsWindow::hoverText(std::int64_t timeMs) const {
  const TrendRange range = visibleRange();
  const std::size_t i = buffer_.nearest(range, timeMs);
  if (i >= range.last) return {};
  return QString::fromStdString(trendHoverText(buffer_.at(i)));
}

void TrendsWindow::showHover(qint64 timeMs) {
  const QString text = hoverText(timeMs);
  hover_->setText(text);
  if (!text.isEmpty()) QToolTip::showText(QCursor::pos(), QString(text).replace("  ", "\n"), this);
}

QString TrendsWindow::exportPng(const QString& path) {
  refresh();
  if (!chartArea_->grab().save(path, "PNG")) return QString("Could not write the image to %1.").arg(path);
  return {};
}

QString TrendsWindow::exportCsv(const QString& path) const {
  std::ostringstream text;
  buffer_.writeCsv(text, visibleRange());
  return writeWholeFile(path, text.str());
}

void TrendsWindow::askExport(bool png) {
  const auto path = png ? askSavePath(this, "PNG image (*.png;)|*.png;||", "trends.png")
                        : askSavePath(this, "CSV file (*.csv;)|*.csv;||", "trends.csv");
  if (!path) return;
  const QString error = png ? exportPng(*path) : exportCsv(*path);
  if (!error.isEmpty()) showMessageBox(this, error.toStdString(), "Trends");
}

}  // namespace orlo::ui
