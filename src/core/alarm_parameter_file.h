#pragma once
// The alarm parameter file: 44 lines "label,value,unit" with CR LF ends, in record order.

#include <istream>
#include <string>
#include <vector>

namespace orlo {

constexpr const char* kAlarmParameterFileName = "AlarmParameter.csv";
constexpr const char* kAlarmParameterTemplateName = "AlarmParameterExample.csv";
constexpr const char* kAlarmParameterFilter = "文件 (*.csv;)|*.csv;||";

// The whole file for 44 box texts in record order (missing texts are written empty).
std::string formatAlarmParameterFile(const std::vector<std::string>& values);

// What is kept of a line of the file (its line end not counted); the rest of a longer line is
// skipped. Far more than any box of the page shows.
constexpr std::size_t kLongestAlarmFileLine = 63;

// Reads up to 44 lines of `in`: line i that holds a comma in its first kLongestAlarmFileLine
// characters replaces (*loaded)[i] with its second field within them; other lines change
// nothing. Accepts LF or CR LF. Reading ends early at a line longer than a mebibyte, so that
// memory and time stay bounded whatever the file. `loaded` must hold 44 texts.
void readAlarmParameterLines(std::istream& in, std::vector<std::string>* loaded);

}  // namespace orlo
