#include "pages/alarm_parameter_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "pages/alarm_parameter_record.h"
#include "pages/file_system.h"

namespace orlo {
namespace {

std::string folderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseNameOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Renaming over a symbolic link would replace the link, not the file the user chose.
std::string followLink(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

// A fresh file beside the target; -1 when the folder takes none.
int createTempBeside(const std::string& target, std::string* temp) {
  const std::string stem =
      folderOf(target) + "/." + baseNameOf(target) + "." + std::to_string(getpid()) + ".";
  for (int n = 0; n < 100; ++n) {
    *temp = stem + std::to_string(n) + ".tmp";
    const int fd = ::open(temp->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

}  // namespace

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

void readAlarmParameterLines(std::istream& in, std::vector<std::string>* loaded) {
  std::size_t line = 0;
  int commas = 0;
  bool open = false;  // the current line has begun
  std::string value;
  const auto endLine = [&] {
    // Only a value that runs to the line end can carry the CR of a CR LF.
    if (commas == 1 && !value.empty() && value.back() == '\r') value.pop_back();
    if (commas > 0) (*loaded)[line] = value;
    ++line;
    commas = 0;
    open = false;
    value.clear();
  };
  // Lines past the record's length would be ignored, so reading stops there.
  for (std::istreambuf_iterator<char> it(in), end; it != end && line < loaded->size(); ++it) {
    const char c = *it;
    if (c == '\n') {
      endLine();
      continue;
    }
    open = true;
    if (c == ',')
      ++commas;
    else if (commas == 1)
      value.push_back(c);
  }
  if (open && line < loaded->size()) endLine();
}

namespace alarm_file {

bool mayReplace(const std::string& path) {
  switch (pathKind(path)) {
    case PathKind::Missing:
      return true;
    case PathKind::File:
      return access(path.c_str(), W_OK) == 0;
    default:
      return false;
  }
}

bool replaceFileContent(const std::string& path, const std::string& content, std::string* error) {
  const std::string target = followLink(path);
  struct stat old {};
  const bool existed = stat(target.c_str(), &old) == 0;
  std::string temp;
  const int fd = createTempBeside(target, &temp);
  if (fd < 0) {
    *error = std::strerror(errno);
    return false;
  }
  bool ok = writeAll(fd, content) && (!existed || fchmod(fd, old.st_mode & 07777) == 0) && fsync(fd) == 0;
  int cause = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    cause = errno;
  }
  if (ok && std::rename(temp.c_str(), target.c_str()) != 0) {
    ok = false;
    cause = errno;
  }
  if (!ok) {
    ::unlink(temp.c_str());
    *error = std::strerror(cause != 0 ? cause : EIO);
  }
  return ok;
}

}  // namespace alarm_file
}  // namespace orlo
