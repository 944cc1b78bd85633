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

#include "app/main_window.h"
#include "core/parameter_session.h"
#include "ui/parameters/review_dialog.h"
#include "ui/parameters/snapshots_dialog.h"
#include "view/alarm_parameter_ids.h"
#include "view/form_of.h"

class QMenu;
class QWidget;

namespace orlo::ui {

// What the menu works with.
struct ParametersMenuParts {
  MainWindow& behaviour;                // the line, the parameter session, the user's folder
  AlarmParameterPage& alarmPage;        // the boxes a write takes and a loaded file fills
  FormOf<AlarmId> alarmForm;            // that page's form: its path box names the file loaded
  std::function<void()> showAlarmPage;  // brings the Alarm Parameter tab to the front
  QWidget* window;                      // parent of the menu and of its dialogs
};

class ParametersMenu : public QObject {
  Q_OBJECT
 public:
  explicit ParametersMenu(ParametersMenuParts parts);
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

  ParametersMenuParts parts_;
  QMenu* menu_ = nullptr;
  QPointer<ReviewDialog> review_;
  QPointer<SnapshotsDialog> snapshots_;
};

}  // namespace orlo::ui
