#pragma once
// One line of the telemetry log: the 20 columns, the header built from the same table, and the
// UTF-16LE form the file is written in.

#include <cstdint>
#include <ctime>
#include <string>

#include "core/log_values.h"

namespace orlo {

// "TIME,NUMBER,...,Mode\n": the first line of a new log file.
std::string logHeaderLine();

// One row for the values held at `time`, numbered `number`, ended by "\n".
std::string formatLogRow(const std::tm& time, std::int32_t number, const LogValues& values);

// UTF-8 text as UTF-16LE bytes, no byte order mark. Malformed UTF-8 becomes U+FFFD, so a bad
// byte can never shift the two-byte grid of the rest of the file.
std::string toUtf16Le(const std::string& utf8);

}  // namespace orlo
