// The "Alarm Parameter" tab of the real window against orlo-bms-sim over a pseudo-terminal:
// Read shows what the board holds. Set and its refusals run against the board in simulated
// time (tests/integration); this one stays here as the user guide's picture of the tab: with
// ORLO_SCREENSHOT_DIR set, the window after the Read is saved there as alarm_read.png.

#include <algorithm>
#include <utility>

#include "e2e/e2e_fixture.h"
#include "support/board_defaults.h"
#include "view/alarm_parameter_ids.h"

namespace orlo::test {
namespace {

using namespace alarm_ids;
constexpr int kAlarmTab = 2;

using test::BoxTexts;
using test::kBoardDefaults;

// Every text the alarm page's status line was given, in order. The trace sees all forms, and
// 1078 is also a box on other tabs, so only texts that the alarm page now shows are kept.
ui::QtForm* g_tracedPage = nullptr;
std::vector<std::string>* g_statusTexts = nullptr;

void traceStatus(int id, const std::string& text) {
  if (id == idNumber(AlarmId::Status) && g_tracedPage && g_statusTexts &&
      g_tracedPage->text(AlarmId::Status) == text)
    g_statusTexts->push_back(text);
}

class AlarmEndToEnd : public TabEndToEnd {
 protected:
  AlarmEndToEnd() : TabEndToEnd(kAlarmTab) {}
  void SetUp() override {
    TabEndToEnd::SetUp();
    startOnTab({&reads});
    if (HasFatalFailure()) return;
    g_tracedPage = &page();
    g_statusTexts = &statusTexts;
    ui::QtForm::setTextTrace(&traceStatus);
    ASSERT_TRUE(waitForCommOk());
  }
  void TearDown() override {
    ui::QtForm::setTextTrace(nullptr);
    g_tracedPage = nullptr;
    g_statusTexts = nullptr;
    TabEndToEnd::TearDown();
  }

  BoxTexts boxes() {
    BoxTexts out;
    for (const auto& [id, unused] : kBoardDefaults) out.emplace_back(id, page().text(id));
    return out;
  }
  bool statusShown(const std::string& text) {
    return std::find(statusTexts.begin(), statusTexts.end(), text) != statusTexts.end();
  }
  // Presses Read and waits until the answer has filled the boxes and the status line.
  void read() {
    const int before = reads.dispatched;
    statusTexts.clear();
    click(AlarmId::Read);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return reads.dispatched > before && statusShown("Read successful!"); }, 3000))
        << "no Read result shown";
  }

  // The board's Read results (the last one kept).
  LastFrame reads{[](const std::uint8_t* f, std::size_t n) { return n >= 82 && f[2] == 0x47; }};
  std::vector<std::string> statusTexts;
};

TEST_F(AlarmEndToEnd, readFillsEveryBoxWithTheBoardsValuesAndTheStatusClearsOnTheNextTick) {
  ASSERT_EQ(page().text(AlarmId::ChgOcValue), "--");
  read();
  saveScreenshot("alarm_read.png");
  EXPECT_EQ(boxes(), kBoardDefaults);
  EXPECT_TRUE(QTest::qWaitFor([&] { return page().text(AlarmId::Status).empty(); }, 3000))
      << "status not cleared";
  EXPECT_TRUE(messages.empty()) << messages.front();
}

}  // namespace
}  // namespace orlo::test
