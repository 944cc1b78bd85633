#include "core/snapshot_store.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "core/alarm_parameter_file.h"
#include "core/alarm_parameter_record.h"
#include "util/platform.h"

namespace orlo {
namespace {

constexpr const char* kSuffix = ".csv";
constexpr std::size_t kPortNameMax = 40;
constexpr int kMaxSameName = 100;

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

bool isIdText(const std::string& text) {
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
  if (!isIdText(id)) return {};
  SnapshotInfo info;
  info.path = folder + "/" + name;
  info.time = stem.substr(0, first);
  info.boardId = std::atoi(id.c_str());
  info.port = stem.substr(second + 1);
  info.port = info.port.substr(0, info.port.find('~'));
  return info;
}

}  // namespace

std::string orloDataFolder() {
  const std::string xdg = environmentValue("XDG_DATA_HOME");
  // A relative XDG_DATA_HOME is invalid and to be ignored.
  const std::string base = !xdg.empty() && xdg[0] == '/' ? xdg : homeFolder() + "/.local/share";
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

Result<std::string> SnapshotStore::save(const AlarmValues& board, const std::string& portDevice,
                                        const std::tm& localTime) const {
  const Status made = makeFolders(folder_);
  if (!made) return fail(made.error());
  const std::string stem = folder_ + "/" + snapshotTimeText(localTime) + "_ID" +
                           std::to_string(board[kBoardIdRow]) + "_" + portInName(portDevice);
  return writeUnderFreeName(stem, kSuffix, formatAlarmParameterFile(parameterTexts(board)), kMaxSameName);
}

std::vector<SnapshotInfo> SnapshotStore::list() const {
  std::vector<std::pair<std::string, SnapshotInfo>> found;
  for (const std::string& name : folderEntries(folder_))
    if (auto info = parseName(folder_, name)) found.emplace_back(name, std::move(*info));
  std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<SnapshotInfo> out;
  for (auto& [name, info] : found) out.push_back(std::move(info));
  return out;
}

}  // namespace orlo
