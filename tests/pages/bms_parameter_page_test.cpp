#include "pages/bms_parameter_page.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "link/frame_bytes.h"
#include "support/fake_form.h"
#include "support/frame_image.h"
#include "view/bms_parameter_ids.h"

namespace orlo {
namespace {

using namespace bms_ids;

using test::FrameImage;

class BmsPage : public ::testing::Test {
 protected:
  test::FakeForm form{"bms_parameter"};
  BmsParameterPage page{form};

  void show(const FrameImage& f) { page.updateLiveData(decodeLiveData(f.view())); }
  std::vector<int> redLamps() const {
    std::vector<int> red;
    for (int n = 1; n <= 18; ++n)
      if (form.icon(kAlarmLamps[static_cast<std::size_t>(n - 1)]) == Icon::Red) red.push_back(n);
    return red;
  }
};

// ---- decoding ------------------------------------------------------------------------------

TEST_F(BmsPage, ShowsEveryDecodedFieldInItsFormat) {
  show(FrameImage()
           .u16(10, 3301)
           .u16(12, 3302)
           .u16(14, 3303)
           .u16(16, 3304)
           .u16(18, 25)
           .u16(20, 26)
           .u32(22, 100)
           .u32(26, 13210)
           .u32(30, static_cast<std::uint32_t>(-2500))
           .u32(34, 12345)
           .u32(38, 500)
           .u16(42, 77)
           .u16(48, 999)
           .u16(54, 3350)
           .u16(56, 3320)
           .u16(58, 3300)
           .u8(60, 0)
           .u8(61, 255)
           .u8(78, 2));
  const std::pair<BmsId, const char*> expected[] = {
      {BmsId::CellV1, "3301"},
      {BmsId::CellV2, "3302"},
      {BmsId::CellV3, "3303"},
      {BmsId::CellV4, "3304"},
      {BmsId::Soc, "100"},
      {BmsId::Current, "2.500000"},
      {BmsId::VoltageDiff, "50"},
      {BmsId::DischargeCapacity, "12.345000"},
      {BmsId::ChargeCapacity, "0.500000"},
      {BmsId::CycleIndex, "77"},
      {BmsId::TempC1, "25.0"},
      {BmsId::TempC2, "26.0"},
      {BmsId::MeanTemp, "25.5"},
      {BmsId::MeanCell, "3320"},
      {BmsId::MaxVolt, "3350"},
      {BmsId::MinVolt, "3300"},
      {BmsId::TotalVolt, "13210"},
      {BmsId::RemainCapacity, "9.99"},
      {BmsId::MaxCell, "1"},
      {BmsId::MinCell, "256"},
      {BmsId::SystemMode, "CHG_MODE"},
  };
  for (const auto& [id, text] : expected) EXPECT_EQ(form.text(id), text) << "control " << id;
}

TEST_F(BmsPage, CurrentIsNegatedAndScaledToAmperesWithoutANegativeZero) {
  struct Case {
    std::int32_t raw;
    const char* shown;
  } cases[] = {
      {0, "0.000000"},     {1000, "-1.000000"}, {-2500, "2.500000"},
      {1500, "-1.500000"}, {-1, "0.001000"},    {INT32_MIN, "-2147483.750000"},
  };
  for (const auto& c : cases) {
    show(FrameImage().u32(30, static_cast<std::uint32_t>(c.raw)));
    EXPECT_EQ(form.text(BmsId::Current), c.shown) << "raw " << c.raw;
  }
}

TEST_F(BmsPage, SignedFieldsKeepTheirSign) {
  show(FrameImage().u16(18, 0xFFF6).u16(20, 0).u32(22, 0xFFFFFFFF).u32(26, static_cast<std::uint32_t>(-7)));
  EXPECT_EQ(form.text(BmsId::TempC1), "-10.0");
  EXPECT_EQ(form.text(BmsId::MeanTemp), "-5.0");
  EXPECT_EQ(form.text(BmsId::Soc), "-1");
  EXPECT_EQ(form.text(BmsId::TotalVolt), "-7");
}

TEST_F(BmsPage, VoltageDifferenceIsNegativeWhenTheMinimumExceedsTheMaximum) {
  show(FrameImage().u16(54, 3300).u16(58, 3350));
  EXPECT_EQ(form.text(BmsId::VoltageDiff), "-50");
}

TEST_F(BmsPage, UnknownSystemModeKeepsTheLastText) {
  show(FrameImage().u8(78, 1));
  EXPECT_EQ(form.text(BmsId::SystemMode), "DSG_MODE");
  show(FrameImage().u8(78, 3));
  EXPECT_EQ(form.text(BmsId::SystemMode), "DSG_MODE");
  show(FrameImage().u8(78, 0));
  EXPECT_EQ(form.text(BmsId::SystemMode), "IDLE_MODE");
}

TEST_F(BmsPage, AShortFrameReadsZeroBeyondItsEnd) {
  std::array<std::uint8_t, 12> shortFrame = {
      frame_bytes::kHead0, frame_bytes::kHead1, frame_bytes::kLiveData, 0, 0, 0, 0, 0, 0, 0, 0xE4, 0x0C};
  page.updateLiveData(decodeLiveData(FrameView(shortFrame.data(), shortFrame.size())));
  EXPECT_EQ(form.text(BmsId::CellV1), "3300");
  EXPECT_EQ(form.text(BmsId::CellV2), "0");
  EXPECT_EQ(form.text(BmsId::SystemMode), "IDLE_MODE");
  EXPECT_TRUE(redLamps().empty());
}

// ---- alarm lamps ---------------------------------------------------------------------------

TEST_F(BmsPage, EachAlarmLampFollowsItsOwnFlagBitOnly) {
  struct Case {
    std::uint32_t flags;
    std::vector<int> red;
  } cases[] = {
      {0x00000001u, {1}},
      {0x00020000u, {18}},
      {0xFFFC0000u, {}},
      {0x00000A00u, {10, 12}},
      {0x0003FFFFu, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18}},
  };
  for (const auto& c : cases) {
    show(FrameImage().u32(71, c.flags));
    EXPECT_EQ(redLamps(), c.red) << std::hex << c.flags;
  }
}

TEST_F(BmsPage, SetAlarmLampIgnoresNumbersOutsideOneToEighteen) {
  page.resetAlarmLamps();
  for (std::uint8_t n : {0, 19, 255}) page.setAlarmLamp(n, 0);
  EXPECT_EQ(redLamps().size(), 18u);
  page.setAlarmLamp(18, 0);
  EXPECT_EQ(form.icon(1114), Icon::Green);
  page.setAlarmLamp(18, 0x80);
  EXPECT_EQ(form.icon(1114), Icon::Red);
}

// ---- clearing ------------------------------------------------------------------------------

TEST_F(BmsPage, ClearValuesZeroesAndDisablesAll35FieldsAndFramesStillWriteThem) {
  show(FrameImage().u16(10, 3301).u8(78, 1));
  page.clearValues();
  EXPECT_EQ(kValueFields.size(), 35u);
  for (auto id : kValueFields) {
    EXPECT_EQ(form.text(id), "0") << id;
    EXPECT_FALSE(form.isEnabled(id)) << id;
  }
  show(FrameImage().u16(10, 3333).u8(78, 9));
  EXPECT_EQ(form.text(BmsId::CellV1), "3333");
  EXPECT_FALSE(form.isEnabled(BmsId::CellV1));
  EXPECT_EQ(form.text(BmsId::SystemMode), "0");
  EXPECT_EQ(form.text(1064), "0");
}

}  // namespace
}  // namespace orlo
