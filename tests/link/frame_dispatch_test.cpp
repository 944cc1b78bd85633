#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/receiver.h"
#include "link/recording_handlers.h"
#include "link/requests.h"

namespace orlo {
namespace {

using test::RecordingHandlers;

struct Route {
  std::uint8_t command;
  std::uint8_t sub;
  std::vector<std::string> calls;
};

FrameView frameWith(std::uint8_t command, std::uint8_t sub, std::size_t dataLength = 70) {
  Bytes data(dataLength, 0);
  if (dataLength > 76 - 7) {
    data[75 - 7] = 0x01;  // balance flags 0x8001 at 75 ... 76
    data[76 - 7] = 0x80;
  }
  const Bytes f = buildFrame(command, 0, sub, data);
  return FrameView(f.data(), f.size());
}

TEST(FrameDispatch, EachCommandReachesItsHandlersInOrder) {
  const std::vector<Route> table = {
      {0x4D, 0x00, {"live 8001"}},
      {0x47, 0xB0, {"alarm parameters"}},
      {0x48, 0xB1, {"ack"}},
      {0x18, 0x0E, {"balance"}},
      {0x18, 0x0F, {}},
      {0x18, 0x0D, {}},
      {0x15, 0x00, {"calibration"}},
      {0x06, 0x01, {"other"}},
      {0x00, 0x00, {"other"}},
      {0xFF, 0x0E, {"other"}},
  };
  for (const auto& r : table) {
    RecordingHandlers h;
    dispatchFrame(frameWith(r.command, r.sub), h);
    EXPECT_EQ(h.calls, r.calls) << "command " << int(r.command) << " sub " << int(r.sub);
  }
}

TEST(FrameDispatch, HandlersGetTheWholeFrameFromItsHead) {
  RecordingHandlers h;
  const FrameView f = frameWith(0x47, 0xB0);
  dispatchFrame(f, h);
  ASSERT_EQ(h.views.size(), 1u);
  EXPECT_EQ(h.views[0].length(), 81u);
  EXPECT_EQ(h.views[0].u8(0), 0xAA);
  EXPECT_EQ(h.views[0].u8(2), 0x47);
  EXPECT_EQ(h.views[0].u16(75), 0x8001);
}

TEST(FrameDispatch, AShortLiveDataFrameShowsNoBalanceFlags) {
  RecordingHandlers h;
  dispatchFrame(frameWith(0x4D, 0x00, 9), h);  // a 20-byte frame: 75 ... 76 lie past its end
  EXPECT_EQ(h.calls, (std::vector<std::string>{"live 0000"}));
}

TEST(FrameDispatch, AShortReadResultIsStillHandedOnWithZerosPastItsEnd) {
  RecordingHandlers h;
  dispatchFrame(frameWith(0x47, 0xB0, 20), h);
  ASSERT_EQ(h.calls, std::vector<std::string>{"alarm parameters"});
  EXPECT_EQ(h.views[0].u8(77), 0);
}

}  // namespace
}  // namespace orlo
