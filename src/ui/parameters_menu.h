#pragma once
// The "Parameters" menu: writes of the 44 protection parameters that read the board first, show
// what would change, keep a snapshot, and read back what was written; the snapshots; saving,
// loading and comparing parameter files. Every step runs on the window's event loop, so polling
// and the live values go on meanwhile.

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "core/parameter_session.h"
#include "ui/review_dialog.h"
#include "ui/snapshots_dialog.h"

class QMenu;

namespace orlo::ui {

class AppWindow;

class ParametersMenu : public QObject {
  Q_OBJECT
 public:
  explicit ParametersMenu(AppWindow& app);
  ~ParametersMenu() override;

  QMenu* menu() const { return menu_; }

  // The menu's items.
  void writeBoxesWithReview();
  void writeFileWithReview();
  void showSnapshots();
  void saveBoardParameters();
  void loadFileIntoBoxes();
  void compareFileWithBoard();

  // Reads the board and shows the review of `texts` (44, record order) against it.
  void review(const std::vector<std::string>& texts, const QString& source, bool compareOnly);
  // The review dialog shown last, while it is open.
  ReviewDialog* reviewDialog() const { return review_; }
  SnapshotsDialog* snapshotsDialog() const { return snapshots_; }

 private:
  bool mayStart();
  void readBoard(std::function<void(const ParameterResult&)> then);
  void reviewFile(const QString& path, bool compareOnly);
  void showReview(const AlarmValues& board, const std::vector<std::string>& texts, const QString& source,
                  bool compareOnly);
  void startWrite(const std::vector<std::string>& texts);
  void writeDone(const ParameterResult& result);
  void saveBoard(const AlarmValues& board);
  void message(const std::string& text);

  AppWindow& app_;
  QMenu* menu_ = nullptr;
  QPointer<ReviewDialog> review_;
  QPointer<SnapshotsDialog> snapshots_;
};

}  // namespace orlo::ui
