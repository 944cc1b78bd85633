#include "core/write_record.h"

#include <cstring>
#include <utility>

#include "core/alarm_parameter_record.h"
#include "core/parameter_session.h"
#include "core/snapshot_store.h"
#include "util/platform.h"

namespace orlo {
namespace {

constexpr const char* kHeader = "time,port,board_id,changes,outcome\r\n";
constexpr const char* kReplacement = "\xEF\xBF\xBD";

// Length of the well-formed UTF-8 sequence at text[i], 0 when there is none.
std::size_t utf8Length(const std::string& text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  std::size_t n = 0;
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF)
    n = 2;
  else if (lead >= 0xE0 && lead <= 0xEF)
    n = 3;
  else if (lead >= 0xF0 && lead <= 0xF4)
    n = 4;
  else
    return 0;
  if (i + n > text.size()) return 0;
  for (std::size_t k = 1; k < n; ++k)
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
  // Overlong forms, surrogates and values past U+10FFFF.
  if ((lead == 0xE0 && byte(i + 1) < 0xA0) || (lead == 0xED && byte(i + 1) > 0x9F) ||
      (lead == 0xF0 && byte(i + 1) < 0x90) || (lead == 0xF4 && byte(i + 1) > 0x8F))
    return 0;
  return n;
}

std::string validUtf8(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = utf8Length(text, i);
    out += n == 0 ? std::string(kReplacement) : text.substr(i, n);
    i += n == 0 ? 1 : n;
  }
  return out;
}

std::string isoTime(const std::tm& time) {
  char text[40];
  const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &time);
  return std::string(text, n);
}

const char* outcomeWord(const ParameterResult& result) {
  switch (result.outcome) {
    case ParameterOutcome::Verified:
      return "Verified";
    case ParameterOutcome::Mismatch:
      return "Mismatch";
    case ParameterOutcome::NoAnswer:
      return "No answer";
    case ParameterOutcome::Refused:
      return "Refused";
    case ParameterOutcome::NotKept:
      return "Snapshot failed";
    case ParameterOutcome::PortClosed:
      return "Port closed";
    case ParameterOutcome::PortLost:
      return "Port lost";
    case ParameterOutcome::Done:
      break;
  }
  return "Read";
}

}  // namespace

std::string changesText(const std::vector<FieldChange>& changes) {
  std::string text;
  for (const auto& change : changes) {
    if (!text.empty()) text += "; ";
    text += fileFieldName(*change.row) + " " + (change.before ? std::to_string(*change.before) : "?") + "→" +
            std::to_string(change.after);
  }
  return text;
}

std::vector<FieldChange> changedFields(const std::optional<AlarmValues>& before, const AlarmValues& written) {
  std::vector<FieldChange> changes;
  const auto& record = alarmParameterRecord();
  for (std::size_t i = 0; i < record.size(); ++i) {
    if (!record[i].sent || (before && (*before)[i] == written[i])) continue;
    changes.push_back(
        {&record[i], before ? std::optional<std::int64_t>((*before)[i]) : std::nullopt, written[i]});
  }
  return changes;
}

WriteEntry writeEntryFor(const ParameterResult& result, const std::string& port, const std::tm& time) {
  WriteEntry entry;
  entry.time = time;
  entry.port = port;
  if (result.haveBoard) entry.boardId = static_cast<int>(result.board[kBoardIdRow]);
  const std::optional<AlarmValues> before =
      result.haveBoard ? std::optional<AlarmValues>(result.board) : std::nullopt;
  if (result.haveWritten) entry.changes = changedFields(before, result.written);
  entry.outcome = outcomeWord(result);
  if (result.outcome != ParameterOutcome::Verified) entry.outcome += ": " + describe(result);
  return entry;
}

std::string csvField(const std::string& text) {
  std::string clean = validUtf8(text);
  const bool quote = clean.find_first_of(",\"\r\n") != std::string::npos ||
                     (!clean.empty() && (clean.front() == ' ' || clean.back() == ' '));
  if (!quote) return clean;
  std::string out = "\"";
  for (const char c : clean) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

std::string writeRecordLine(const WriteEntry& entry) {
  return csvField(isoTime(entry.time)) + "," + csvField(entry.port) + "," +
         (entry.boardId ? std::to_string(*entry.boardId) : std::string()) + "," +
         csvField(changesText(entry.changes)) + "," + csvField(entry.outcome) + "\r\n";
}

WriteRecord::WriteRecord(std::string path) : path_(std::move(path)) {}

std::string WriteRecord::defaultPath() {
  return orloDataFolder() + "/writes.csv";
}

Status WriteRecord::append(const WriteEntry& entry) const {
  const auto slash = path_.rfind('/');
  if (slash != std::string::npos && slash > 0) {
    const Status made = makeFolders(path_.substr(0, slash));
    if (!made) return made;
  }
  // Locked and synced like the station's rows: a write the board took is on record for good.
  return appendLocked(path_, kHeader, writeRecordLine(entry), 0600);
}

}  // namespace orlo
