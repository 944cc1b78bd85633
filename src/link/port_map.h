#pragma once
// Which device a port number COMn (1 ... 16) stands for. A mapping given by the user
// (`--port COM3=/dev/ttyUSB0`) wins; otherwise COMn is the n-th serial device the system
// reports, in the order of the device paths. This is how a Linux user reaches /dev/ttyUSB0 and
// how the tests reach a pseudo-terminal.

#include <string>
#include <vector>

namespace orlo {

constexpr int kFirstPort = 1;
constexpr int kLastPort = 16;

struct PortMapping {
  int port = 0;
  std::string path;
};

struct PortMappingParse {
  bool ok = false;
  PortMapping mapping;
  std::string error;  // what is wrong with the text, for the user, when !ok
};

// "COMn" (COM in any case) -> n for n = 1 ... 16; 0 for anything else.
int parsePortName(const std::string& name);

// Reads "COMn=PATH" (COM in any case, n = 1 ... 16, PATH not empty; PATH may contain '=').
PortMappingParse parsePortMapping(const std::string& text);

class PortMap {
 public:
  // False (and nothing changes) when the port is outside 1 ... 16 or the path is empty.
  // A later mapping of the same port replaces the earlier one.
  bool addMapping(int port, const std::string& path);
  // The devices the system reports now; kept sorted by path.
  void setDevices(std::vector<std::string> devices);
  // The device for COM<port>, "" when there is none.
  std::string devicePath(int port) const;

 private:
  std::vector<PortMapping> explicit_;
  std::vector<std::string> devices_;
};

}  // namespace orlo
