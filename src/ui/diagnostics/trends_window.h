#pragma once
// The "Trends" window: the pack's live values as curves over a chosen span, fed by the trend
// buffer. It redraws when refresh() is called (Diagnostics does, about once a second), never per
// frame, and only when something changed.

#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <vector>

#include "app/trend_buffer.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace orlo::ui {

class TrendChart;

class TrendsWindow : public QWidget {
  Q_OBJECT

 public:
  using MillisClock = std::function<std::int64_t()>;

  TrendsWindow(const TrendBuffer& buffer, MillisClock wallNowMs, QWidget* parent = nullptr);

  // The spans on offer, shortest first: 1 minute ... 24 hours.
  static const std::vector<std::int64_t>& spans();
  void setSpanMs(std::int64_t spanMs);
  std::int64_t spanMs() const { return spanMs_; }

  void setPaused(bool paused);
  bool paused() const { return paused_; }

  void setSeriesVisible(TrendSeries series, bool visible);
  bool seriesVisible(TrendSeries series) const;

  // Redraws now if the samples or the view changed since the last redraw.
  void refresh();
  int redrawCount() const { return redraws_; }
  const std::vector<TrendChart*>& charts() const { return charts_; }
  TrendChart* chartFor(TrendSeries series) const;

  // The samples on screen, and the text shown for the one nearest a time.
  TrendRange visibleRange() const;
  QString hoverText(std::int64_t timeMs) const;

  // Both write the visible span; they return "" or the reason the file could not be written.
  QString exportPng(const QString& path);
  QString exportCsv(const QString& path) const;

 protected:
  void showEvent(QShowEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  QWidget* buildToolbar();
  QWidget* buildSeriesToggles();
  QWidget* buildCharts();
  void redraw(std::int64_t endMs);
  std::int64_t endMs() const;
  void showHover(qint64 timeMs);
  void askExport(bool png);

  const TrendBuffer& buffer_;
  MillisClock clock_;
  std::int64_t spanMs_;
  bool paused_ = false;
  std::int64_t pausedEndMs_ = 0;
  bool dirty_ = true;
  std::uint64_t drawnVersion_ = 0;
  std::int64_t drawnEndMs_ = 0;
  int redraws_ = 0;

  QComboBox* spanBox_ = nullptr;
  QPushButton* pauseButton_ = nullptr;
  std::vector<QCheckBox*> toggles_;
  QWidget* chartArea_ = nullptr;
  std::vector<TrendChart*> charts_;
  QLabel* hover_ = nullptr;
};

}  // namespace orlo::ui
