#pragma once
// The "Traffic" window: counters on top, filters, pause, save, and the table of every frame
// sent and every byte string the receive path judged.

#include <QString>
#include <QWidget>

#include "app/traffic_log.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace orlo::ui {

class TailTable;
class TrafficModel;
class WrappedText;

class TrafficWindow : public QWidget {
  Q_OBJECT

 public:
  explicit TrafficWindow(TrafficLog& log, QWidget* parent = nullptr);

  // Pulls new rows and counters from the log (Diagnostics calls it about once a second, after a
  // poll's answer, so that the sent frame and its answer come in one refresh, one repaint).
  void refresh();
  void setPaused(bool paused);
  void setFilter(const TrafficFilter& filter);
  TrafficFilter filter() const;
  // Writes the rows the filter shows; "" or the reason it failed.
  QString saveText(const QString& path) const;

  TrafficModel& model() { return *model_; }
  QString countersLine() const;
  QComboBox* directionBox() const { return direction_; }
  QComboBox* commandBox() const { return command_; }
  QComboBox* verdictBox() const { return verdict_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QWidget* buildCounters();
  QWidget* buildControls();
  void filtersChanged();
  void askSave();

  TrafficLog& log_;
  TrafficModel* model_;
  WrappedText* counters_ = nullptr;
  QLabel* age_ = nullptr;
  QComboBox* direction_ = nullptr;
  QComboBox* command_ = nullptr;
  QComboBox* verdict_ = nullptr;
  QPushButton* pause_ = nullptr;
  TailTable* table_ = nullptr;
};

}  // namespace orlo::ui
