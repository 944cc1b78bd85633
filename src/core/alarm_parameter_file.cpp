#include "core/alarm_parameter_file.h"

#include <cstring>

#include "core/alarm_parameter_record.h"

namespace orlo {

std::string formatAlarmParameterFile(const std::vector<std::string>& values) {
  std::string text;
  const auto& record = alarmParameterRecord();
  for (std::size_t i = 0; i < record.size(); ++i) {
    text += record[i].fileLabel;
    if (i < values.size()) text += values[i];
    text += ',';
    text += record[i].fileUnit;
    text += "\r\n";
  }
  return text;
}

namespace {

// The second field of a line (the part of it that is kept, without its line end), into *value;
// a line without a comma gives nothing.
void takeValue(const char* line, std::size_t length, std::string* value) {
  const char* comma = static_cast<const char*>(std::memchr(line, ',', length));
  if (!comma) return;
  const char* begin = comma + 1;
  const char* end = line + length;
  const char* second =
      static_cast<const char*>(std::memchr(begin, ',', static_cast<std::size_t>(end - begin)));
  value->assign(begin, second ? second : end);
}

}  // namespace

void readAlarmParameterLines(std::istream& in, std::vector<std::string>* loaded) {
  constexpr std::streamsize kLongestSkip = std::streamsize{1} << 20;
  // Room for the characters kept of a line, the CR of a CR LF and getline's terminator.
  char line[kLongestAlarmFileLine + 2];
  // Lines past the record's length would be ignored, so reading stops there.
  for (std::size_t row = 0; row < loaded->size(); ++row) {
    in.getline(line, sizeof line);
    auto length = static_cast<std::size_t>(in.gcount());
    if (length == 0 && in.fail()) return;  // nothing left
    const bool cut = in.fail() && !in.eof();
    bool last = in.eof();
    if (cut) {
      // The rest of an overlong line is skipped, never held. A line that runs on for more than
      // a mebibyte is no parameter file's: reading ends there, with the rows found so far, so
      // a file of one line of gigabytes costs neither memory nor a frozen window.
      in.clear();
      in.ignore(kLongestSkip + 1, '\n');
      last = in.eof() || in.gcount() > kLongestSkip;
    } else if (!last) {
      --length;  // the LF that ended the line
    }
    if (length > 0 && line[length - 1] == '\r' && !cut) --length;
    if (length > kLongestAlarmFileLine) length = kLongestAlarmFileLine;
    takeValue(line, length, &(*loaded)[row]);
    if (last) return;
  }
}

}  // namespace orlo
