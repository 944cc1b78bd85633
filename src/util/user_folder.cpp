#include "util/user_folder.h"

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>

namespace orlo {
namespace {

bool isFolder(const std::string& path) {
  struct stat st {};
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// XDG_DESKTOP_DIR from ~/.config/user-dirs.dirs, with $HOME expanded; "" when not set there.
std::string xdgDesktop(const std::string& home) {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  const std::string dirs = (config && *config ? std::string(config) : home + "/.config") + "/user-dirs.dirs";
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
  const char* homeEnv = std::getenv("HOME");
  const std::string home = homeEnv && *homeEnv ? homeEnv : "/";
  const std::string xdg = xdgDesktop(home);
  if (isFolder(xdg)) return xdg;
  if (isFolder(home + "/Desktop")) return home + "/Desktop";
  return home;
}

}  // namespace orlo
