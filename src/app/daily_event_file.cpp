#include "app/daily_event_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/snapshot_store.h"
#include "util/file_system.h"

namespace orlo {

std::string DailyEventFile::fileName(const std::tm& day) {
  char name[40];
  const std::size_t n = std::strftime(name, sizeof name, "events-%Y-%m-%d.csv", &day);
  return std::string(name, n);
}

bool DailyEventFile::append(const LoggedEvent& event, std::string* error) const {
  if (!makeFolders(folder_, error)) return false;
  const std::string path = pathFor(event.time);
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0600);
  if (fd < 0) {
    *error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  struct stat st {};
  const bool fresh = ::fstat(fd, &st) == 0 && st.st_size == 0;
  // One write per line, so that a second window appending to the same day's file does not
  // cut into it.
  const bool ok = writeAll(fd, (fresh ? eventCsvHeader() : std::string()) + eventCsvLine(event));
  const int cause = errno;
  if (::close(fd) != 0 || !ok) {
    *error = "cannot write " + path + ": " + std::strerror(ok ? errno : cause);
    return false;
  }
  return true;
}

}  // namespace orlo
