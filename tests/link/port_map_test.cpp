#include "link/port_map.h"

#include <gtest/gtest.h>

namespace orlo {
namespace {

// ---- parsing COMn=PATH -------------------------------------------------------------------

TEST(ParsePortMapping, AcceptsWellFormedMappings) {
  struct Case {
    const char* text;
    int port;
    const char* path;
  };
  const Case cases[] = {
      {"COM1=/dev/ttyUSB0", 1, "/dev/ttyUSB0"},
      {"COM16=/dev/pts/7", 16, "/dev/pts/7"},
      {"com3=/dev/ttyS0", 3, "/dev/ttyS0"},
      {"COM02=/tmp/a=b", 2, "/tmp/a=b"},
  };
  for (const auto& c : cases) {
    const PortMappingParse r = parsePortMapping(c.text);
    EXPECT_TRUE(r.ok) << c.text << ": " << r.error;
    EXPECT_EQ(r.mapping.port, c.port) << c.text;
    EXPECT_EQ(r.mapping.path, c.path) << c.text;
  }
}

TEST(ParsePortName, ReadsCom1ToCom16InAnyCaseAndNothingElse) {
  EXPECT_EQ(parsePortName("COM1"), 1);
  EXPECT_EQ(parsePortName("com16"), 16);
  EXPECT_EQ(parsePortName("Com02"), 2);
  for (const char* bad : {"", "COM", "COM0", "COM17", "COM1x", "1", "COM-1", "COM 1", "COM1000"})
    EXPECT_EQ(parsePortName(bad), 0) << bad;
}

TEST(ParsePortMapping, RejectsBadTextWithAMessageThatNamesIt) {
  const char* cases[] = {"",
                         "COM1",
                         "=/dev/x",
                         "COM=/dev/x",
                         "COM0=/dev/x",
                         "COM17=/dev/x",
                         "COM-1=/dev/x",
                         "COM+1=/dev/x",
                         "COM 1=/dev/x",
                         "COM1 =/dev/x",
                         "COM1=",
                         "TTY1=/dev/x",
                         "COM1000=/dev/x",
                         "COM99999999999=/dev/x",
                         "/dev/ttyUSB0"};
  for (const char* text : cases) {
    const PortMappingParse r = parsePortMapping(text);
    EXPECT_FALSE(r.ok) << text;
    EXPECT_NE(r.error.find(std::string("\"") + text + "\""), std::string::npos) << r.error;
  }
}

TEST(ParsePortMapping, SaysWhichPartIsWrong) {
  EXPECT_NE(parsePortMapping("COM17=/dev/x").error.find("from 1 to 16"), std::string::npos);
  EXPECT_NE(parsePortMapping("COM4=").error.find("path is empty"), std::string::npos);
}

// ---- resolving COMn ----------------------------------------------------------------------

TEST(PortMap, WithoutAMappingComNIsTheNthDeviceInPathOrder) {
  PortMap map;
  map.setDevices({"/dev/ttyUSB1", "/dev/ttyS0", "/dev/ttyACM0"});
  EXPECT_EQ(map.devicePath(1), "/dev/ttyACM0");
  EXPECT_EQ(map.devicePath(2), "/dev/ttyS0");
  EXPECT_EQ(map.devicePath(3), "/dev/ttyUSB1");
  EXPECT_EQ(map.devicePath(4), "");
}

TEST(PortMap, AnExplicitMappingWinsOverTheDeviceList) {
  PortMap map;
  map.setDevices({"/dev/ttyS0", "/dev/ttyS1"});
  EXPECT_TRUE(map.addMapping(2, "/dev/pts/3"));
  EXPECT_TRUE(map.addMapping(9, "/dev/ttyUSB0"));
  EXPECT_EQ(map.devicePath(1), "/dev/ttyS0");
  EXPECT_EQ(map.devicePath(2), "/dev/pts/3");
  EXPECT_EQ(map.devicePath(9), "/dev/ttyUSB0");
}

TEST(PortMap, ALaterMappingOfTheSamePortReplacesTheEarlierOne) {
  PortMap map;
  map.addMapping(5, "/dev/a");
  map.addMapping(5, "/dev/b");
  EXPECT_EQ(map.devicePath(5), "/dev/b");
}

TEST(PortMap, RefusesPortsOutsideOneToSixteenAndEmptyPaths) {
  PortMap map;
  map.setDevices({"/dev/ttyS0"});
  EXPECT_FALSE(map.addMapping(0, "/dev/x"));
  EXPECT_FALSE(map.addMapping(17, "/dev/x"));
  EXPECT_FALSE(map.addMapping(3, ""));
  EXPECT_EQ(map.devicePath(0), "");
  EXPECT_EQ(map.devicePath(-1), "");
  EXPECT_EQ(map.devicePath(17), "");
  EXPECT_EQ(map.devicePath(3), "");
}

}  // namespace
}  // namespace orlo
