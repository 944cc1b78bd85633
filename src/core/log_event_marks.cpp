#include "core/log_event_marks.h"

#include <algorithm>
#include <fstream>

namespace orlo {
namespace {

constexpr std::size_t kLongestEventLine = 4096;

bool parseMark(const std::string& line, EventMark* mark) {
  if (line.size() < 21 || line.size() > kLongestEventLine || line[19] == ',') return false;
  const std::optional<CivilSeconds> at = parseDateTime(line.substr(0, 19));
  const std::size_t kindStart = line.find(',');
  const std::size_t kindEnd = kindStart == std::string::npos ? kindStart : line.find(',', kindStart + 1);
  if (!at || kindEnd == std::string::npos) return false;
  mark->at = *at;
  mark->kind = line.substr(kindStart + 1, kindEnd - kindStart - 1);
  mark->text = line.substr(kindEnd + 1);
  if (!mark->text.empty() && mark->text.back() == '\r') mark->text.pop_back();
  if (mark->text.size() >= 2 && mark->text.front() == '"' && mark->text.back() == '"')
    mark->text = mark->text.substr(1, mark->text.size() - 2);
  return true;
}

}  // namespace

std::vector<EventMark> readEventMarks(const std::string& folder, CivilSeconds from, CivilSeconds to,
                                      std::size_t limit) {
  std::vector<EventMark> marks;
  for (CivilSeconds day = from - from % kSecondsPerDay; day <= to && marks.size() < limit;
       day += kSecondsPerDay) {
    const std::string name = "events-" + formatCivil(day).substr(0, 10) + ".csv";
    std::ifstream in(folder + "/" + name, std::ios::binary);
    std::string line;
    while (marks.size() < limit && std::getline(in, line)) {
      EventMark mark;
      if (parseMark(line, &mark) && mark.at >= from && mark.at <= to) marks.push_back(std::move(mark));
    }
  }
  std::stable_sort(marks.begin(), marks.end(),
                   [](const EventMark& a, const EventMark& b) { return a.at < b.at; });
  return marks;
}

}  // namespace orlo
