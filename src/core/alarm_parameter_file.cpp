#include "core/alarm_parameter_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/alarm_parameter_record.h"
#include "util/file_system.h"

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

namespace {

bool fail(int cause, std::string* error) {
  *error = std::strerror(cause != 0 ? cause : EIO);
  return false;
}

enum class Renamed { Done, Failed, Unavailable };

// The new file, beside the target, takes the target's place by rename, so a reader sees the old
// content or the new, never half of each. Unavailable (nothing left behind) when the folder
// takes no new file or the target's owner and group cannot be given to one; Failed with errno
// set when the writing itself failed.
Renamed renameOver(const std::string& target, const struct stat* old, const std::string& content) {
  std::string temp;
  const int fd = createTempBeside(target, &temp);
  if (fd < 0) return Renamed::Unavailable;
  if (old && fchown(fd, old->st_uid, old->st_gid) != 0) {
    ::close(fd);
    ::unlink(temp.c_str());
    return Renamed::Unavailable;
  }
  bool ok = (!old || fchmod(fd, old->st_mode & 07777) == 0) && writeAll(fd, content) && fsync(fd) == 0;
  int cause = errno;
  if (::close(fd) != 0 && ok) ok = false, cause = errno;
  if (ok && std::rename(temp.c_str(), target.c_str()) != 0) ok = false, cause = errno;
  if (!ok) {
    ::unlink(temp.c_str());
    errno = cause;
  }
  return ok ? Renamed::Done : Renamed::Failed;
}

// The file itself is rewritten: its inode, and with it owner, group, mode and every other
// hard link, stay. The bytes overwritten are kept first (no more than the new content), so a
// write that fails part-way puts them back and the file is as it was.
bool rewriteInPlace(const std::string& target, const std::string& content) {
  const int fd = ::open(target.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat info {};
  std::string saved(content.size(), '\0');
  ssize_t kept = -1;
  bool ok = fstat(fd, &info) == 0 && (S_ISREG(info.st_mode) || (errno = EINVAL, false)) &&
            (kept = pread(fd, saved.data(), saved.size(), 0)) >= 0;
  if (ok) {
    saved.resize(static_cast<std::size_t>(kept));
    ok = writeAllAt(fd, content, 0) && ftruncate(fd, static_cast<off_t>(content.size())) == 0 &&
         fsync(fd) == 0;
    if (!ok) {
      const int cause = errno;
      [[maybe_unused]] const bool restored = writeAllAt(fd, saved, 0);
      [[maybe_unused]] const int cut = ftruncate(fd, info.st_size);
      errno = cause;
    }
  }
  const int cause = errno;
  if (::close(fd) != 0 && ok) return false;
  errno = cause;
  return ok;
}

}  // namespace

bool replaceFileContent(const std::string& path, const std::string& content, std::string* error) {
  const std::string target = followLink(path);
  struct stat old {};
  if (stat(target.c_str(), &old) != 0) {
    if (errno != ENOENT) return fail(errno, error);
    return renameOver(target, nullptr, content) == Renamed::Done || fail(errno, error);
  }
  // A file with other names must change under all of them, and one in a folder this user may
  // not write (a shared folder, a file handed over) can still be written where it is.
  if (old.st_nlink == 1) {
    const Renamed renamed = renameOver(target, &old, content);
    if (renamed != Renamed::Unavailable) return renamed == Renamed::Done || fail(errno, error);
  }
  return rewriteInPlace(target, content) || fail(errno, error);
}

}  // namespace alarm_file
}  // namespace orlo
