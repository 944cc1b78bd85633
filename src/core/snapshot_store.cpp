#include "core/snapshot_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "core/alarm_parameter_file.h"
#include "util/file_system.h"

namespace orlo {
namespace {

constexpr const char* kSuffix = ".csv";
constexpr std::size_t kBoardIdRow = 37;  // zero-based index of "ID" in record order
constexpr std::size_t kPortNameMax = 40;
constexpr int kMaxSameName = 100;

std::string homeFolder() {
  const char* home = std::getenv("HOME");
  if (home && *home) return home;
  const passwd* user = getpwuid(getuid());
  return user && user->pw_dir ? user->pw_dir : "/tmp";
}

// The device without /dev/, in characters a file name can hold anywhere.
std::string portInName(const std::string& device) {
  std::string name = device.rfind("/dev/", 0) == 0 ? device.substr(5) : device;
  for (char& c : name) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.';
    if (!plain) c = '-';
  }
  if (name.size() > kPortNameMax) name.resize(kPortNameMax);
  return name.empty() ? "none" : name;
}

// A whole, synced file under a name no one else uses; "" with *error.
std::string writeTemporary(const std::string& folder, const std::string& content, std::string* error) {
  for (int n = 0; n < kMaxSameName; ++n) {
    const std::string temp =
        folder + "/.snapshot." + std::to_string(getpid()) + "." + std::to_string(n) + ".tmp";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd < 0) break;
    const bool ok = writeAll(fd, content) && ::fsync(fd) == 0;
    const int cause = errno;
    if (::close(fd) == 0 && ok) return temp;
    ::unlink(temp.c_str());
    errno = ok ? EIO : cause;
    break;
  }
  *error = std::string("cannot write in ") + folder + ": " + std::strerror(errno != 0 ? errno : EEXIST);
  return {};
}

// link() never replaces an existing name, so a snapshot appears whole or not at all.
std::string linkUnderFreeName(const std::string& temp, const std::string& stem, std::string* error) {
  for (int n = 1; n <= kMaxSameName; ++n) {
    const std::string path = stem + (n == 1 ? "" : "~" + std::to_string(n)) + kSuffix;
    if (::link(temp.c_str(), path.c_str()) == 0) return path;
    if (errno != EEXIST) {
      *error = "cannot name the snapshot " + path + ": " + std::strerror(errno);
      return {};
    }
  }
  *error = "too many snapshots named " + stem;
  return {};
}

void syncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

bool allDigits(const std::string& text) {
  return !text.empty() && text.size() <= 3 &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// time_IDn_port[~k].csv
std::optional<SnapshotInfo> parseName(const std::string& folder, const std::string& name) {
  const std::size_t suffix = name.size() - std::strlen(kSuffix);
  if (name.size() <= std::strlen(kSuffix) || name.compare(suffix, std::string::npos, kSuffix) != 0) return {};
  const std::string stem = name.substr(0, suffix);
  const auto first = stem.find("_ID");
  const auto second = first == std::string::npos ? first : stem.find('_', first + 3);
  if (first == std::string::npos || first == 0 || second == std::string::npos) return {};
  const std::string id = stem.substr(first + 3, second - first - 3);
  if (!allDigits(id)) return {};
  SnapshotInfo info;
  info.path = folder + "/" + name;
  info.time = stem.substr(0, first);
  info.boardId = std::atoi(id.c_str());
  info.port = stem.substr(second + 1);
  info.port = info.port.substr(0, info.port.find('~'));
  return info;
}

}  // namespace

bool makeFolders(const std::string& path, std::string* error) {
  for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string part = path.substr(0, slash);
    if (!part.empty() && ::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
      *error = "cannot make the folder " + part + ": " + std::strerror(errno);
      return false;
    }
    if (slash == std::string::npos) break;
  }
  if (pathKind(path) != PathKind::Folder) {
    *error = path + " is not a folder";
    return false;
  }
  return true;
}

std::string orloDataFolder() {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  // A relative XDG_DATA_HOME is invalid and to be ignored.
  const std::string base = xdg && xdg[0] == '/' ? std::string(xdg) : homeFolder() + "/.local/share";
  return base + "/Orlo_PC";
}

std::string snapshotTimeText(const std::tm& localTime) {
  char text[40];
  const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H%M%S%z", &localTime);
  return std::string(text, n);
}

std::vector<std::string> parameterTexts(const AlarmValues& values) {
  std::vector<std::string> texts;
  for (const auto value : values) texts.push_back(std::to_string(value));
  return texts;
}

SnapshotStore::SnapshotStore(std::string folder) : folder_(std::move(folder)) {}

std::string SnapshotStore::defaultFolder() {
  return orloDataFolder() + "/snapshots";
}

std::optional<std::string> SnapshotStore::save(const AlarmValues& board, const std::string& portDevice,
                                               const std::tm& localTime, std::string* error) const {
  if (!makeFolders(folder_, error)) return std::nullopt;
  const std::string temp = writeTemporary(folder_, formatAlarmParameterFile(parameterTexts(board)), error);
  if (temp.empty()) return std::nullopt;
  const std::string stem = folder_ + "/" + snapshotTimeText(localTime) + "_ID" +
                           std::to_string(board[kBoardIdRow]) + "_" + portInName(portDevice);
  const std::string path = linkUnderFreeName(temp, stem, error);
  ::unlink(temp.c_str());
  if (path.empty()) return std::nullopt;
  syncFolder(folder_);
  return path;
}

std::vector<SnapshotInfo> SnapshotStore::list() const {
  std::vector<std::pair<std::string, SnapshotInfo>> found;
  if (DIR* dir = ::opendir(folder_.c_str())) {
    while (const dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (auto info = parseName(folder_, name)) found.emplace_back(name, std::move(*info));
    }
    ::closedir(dir);
  }
  std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<SnapshotInfo> out;
  for (auto& [name, info] : found) out.push_back(std::move(info));
  return out;
}

}  // namespace orlo
