#pragma once
// writes.csv: one line for every write of protection parameters, whichever way it was made, so
// that a user can tell later what was written when, on which port and to which board:
//   time,port,board_id,changes,outcome
//   2026-12-07T14:15:03+0100,/dev/ttyUSB0,7,"Cell OV 3650→3600; Cell UV 2500→2600",Verified
// UTF-8, CSV-quoted where a field needs it. A header line starts a new file.

#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "core/alarm_parameter_record.h"
#include "util/result.h"

namespace orlo {

struct ParameterResult;

struct FieldChange {
  const AlarmParameterRow* row = nullptr;
  std::optional<std::int64_t> before;  // unknown when nothing was read before the write
  std::int64_t after = 0;
};

// The written fields whose value differs from `before` (every written field when `before` is
// unknown). The ID is never written and never listed.
std::vector<FieldChange> changedFields(const std::optional<AlarmValues>& before, const AlarmValues& written);

struct WriteEntry {
  std::tm time{};
  std::string port;
  std::optional<int> boardId;
  std::vector<FieldChange> changes;
  std::string outcome;
};

// The entry for a write the parameter session ran: before, written and outcome from `result`.
WriteEntry writeEntryFor(const ParameterResult& result, const std::string& port, const std::tm& time);

// One CSV field: quoted when it holds a comma, quote, line end or blank at either end; bytes
// that are not UTF-8 become U+FFFD so the file stays readable.
std::string csvField(const std::string& text);
std::string writeRecordLine(const WriteEntry& entry);  // with its CR LF
// "Cell OV 3650→3600; Cell UV ?→2600" (? where nothing was read before).
std::string changesText(const std::vector<FieldChange>& changes);

class WriteRecord {
 public:
  explicit WriteRecord(std::string path);
  static std::string defaultPath();  // orloDataFolder()/writes.csv

  // Appends the entry's line (after the header when the file is new) under a lock, synced.
  Status append(const WriteEntry& entry) const;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace orlo
