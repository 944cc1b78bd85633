#include "util/user_folder.h"

#include <fstream>

#include "util/platform.h"

namespace orlo {
namespace {

bool isFolder(const std::string& path) {
  return pathKind(path) == PathKind::Folder;
}

// XDG_DESKTOP_DIR from ~/.config/user-dirs.dirs, with $HOME expanded; "" when not set there.
std::string xdgDesktop(const std::string& home) {
  const std::string config = environmentValue("XDG_CONFIG_HOME");
  const std::string dirs = (config.empty() ? home + "/.config" : config) + "/user-dirs.dirs";
  std::ifstream in(dirs);
  std::string line;
  const std::string key = "XDG_DESKTOP_DIR=";
  while (std::getline(in, line)) {
    if (line.compare(0, key.size(), key) != 0) continue;
    std::string value = line.substr(key.size());
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      value = value.substr(1, value.size() - 2);
    if (value.compare(0, 5, "$HOME") == 0) value = home + value.substr(5);
    return value;
  }
  return {};
}

}  // namespace

std::string defaultUserFolder() {
  const std::string homeEnv = environmentValue("HOME");
  const std::string home = homeEnv.empty() ? "/" : homeEnv;
  const std::string xdg = xdgDesktop(home);
  if (isFolder(xdg)) return xdg;
  if (isFolder(home + "/Desktop")) return home + "/Desktop";
  return home;
}

}  // namespace orlo
