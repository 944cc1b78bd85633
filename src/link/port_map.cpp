#include "link/port_map.h"

#include <algorithm>
#include <cctype>

namespace orlo {

namespace {

const char* const kUsage = "expected COMn=PATH with n from 1 to 16, e.g. COM1=/dev/ttyUSB0";

bool validPort(int port) {
  return port >= kFirstPort && port <= kLastPort;
}

// Digits only, no sign or blanks, and never more than two of them that matter.
int parsePortNumber(const std::string& digits) {
  if (digits.empty() || digits.size() > 3) return -1;
  int value = 0;
  for (char c : digits) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

PortMappingParse failure(const std::string& text, const std::string& why) {
  PortMappingParse result;
  result.error = "bad port mapping \"" + text + "\": " + why;
  return result;
}

}  // namespace

int parsePortName(const std::string& name) {
  if (name.size() < 4) return 0;
  for (std::size_t i = 0; i < 3; ++i) {
    if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i]) return 0;
  }
  const int port = parsePortNumber(name.substr(3));
  return validPort(port) ? port : 0;
}

PortMappingParse parsePortMapping(const std::string& text) {
  const std::size_t equals = text.find('=');
  if (equals == std::string::npos || equals < 3) return failure(text, kUsage);
  const std::string name = text.substr(0, equals);
  for (std::size_t i = 0; i < 3; ++i) {
    if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i]) return failure(text, kUsage);
  }
  const int port = parsePortNumber(name.substr(3));
  if (port < 0) return failure(text, kUsage);
  if (!validPort(port)) return failure(text, "the port number must be from 1 to 16");
  const std::string path = text.substr(equals + 1);
  if (path.empty()) return failure(text, "the device path is empty");
  PortMappingParse result;
  result.ok = true;
  result.mapping = {port, path};
  return result;
}

bool PortMap::addMapping(int port, const std::string& path) {
  if (!validPort(port) || path.empty()) return false;
  auto same = [port](const PortMapping& m) { return m.port == port; };
  explicit_.erase(std::remove_if(explicit_.begin(), explicit_.end(), same), explicit_.end());
  explicit_.push_back({port, path});
  return true;
}

void PortMap::setDevices(std::vector<std::string> devices) {
  std::sort(devices.begin(), devices.end());
  devices_ = std::move(devices);
}

std::string PortMap::devicePath(int port) const {
  if (!validPort(port)) return {};
  for (const auto& m : explicit_) {
    if (m.port == port) return m.path;
  }
  const auto index = static_cast<std::size_t>(port - 1);
  return index < devices_.size() ? devices_[index] : std::string{};
}

}  // namespace orlo
