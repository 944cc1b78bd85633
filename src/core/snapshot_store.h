#pragma once
// What the board held before each write, kept as parameter files (the 44-line format any
// reader of that format takes) in one folder, newest name last. A snapshot is written whole
// under a name of its own and never replaced. Its time, board ID and port live in its name, so
// the 44 lines stay exactly the parameter file:
//   2026-12-07T141503+0100_ID7_ttyUSB0.csv   (a second one in the same second: ..._ttyUSB0~2.csv)

#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "core/alarm_parameter_record.h"
#include "util/result.h"

namespace orlo {

// $XDG_DATA_HOME/Orlo_PC, or ~/.local/share/Orlo_PC when that is unset or not absolute.
std::string orloDataFolder();

// ISO 8601 without colons, so the text is a valid file name everywhere: 2026-12-07T141503+0100.
std::string snapshotTimeText(const std::tm& localTime);

struct SnapshotInfo {
  std::string path;
  std::string time;  // as in the name
  int boardId = 0;
  std::string port;  // the port's device as the name keeps it (ttyUSB0, pts-5)
};

class SnapshotStore {
 public:
  // `folder` is the snapshots folder itself; it is made (with its parents) on the first save.
  explicit SnapshotStore(std::string folder);
  static std::string defaultFolder();  // orloDataFolder()/snapshots

  // Writes `board` as a new snapshot file and returns its path, or why it could not be written
  // whole (no partial file is left behind).
  Result<std::string> save(const AlarmValues& board, const std::string& portDevice,
                           const std::tm& localTime) const;
  // Every snapshot in the folder, oldest first; files not named like one are left out.
  std::vector<SnapshotInfo> list() const;
  const std::string& folder() const { return folder_; }

 private:
  std::string folder_;
};

// The 44 texts of a parameter file for values read from the board.
std::vector<std::string> parameterTexts(const AlarmValues& values);

}  // namespace orlo
