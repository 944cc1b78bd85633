// The window left alone with the board: orlo-bms-sim over a pseudo-terminal unplugs its line
// and plugs a new one in a few seconds later. The tool waits for the device, saying so under
// the port box, opens it again by itself and shows "Comm OK!" without a click; an alarm the
// board raises in between shows in the title and the Events window; the user's Stop is never
// undone.
//
// With ORLO_SCREENSHOT_DIR set, the waiting main window and the Events window are saved there
// as reconnect_waiting.png and events.png (the user guide's pictures).

#include <QAbstractButton>
#include <cstdlib>

#include "core/snapshot_store.h"
#include "e2e/e2e_fixture.h"
#include "sim/board_model.h"
#include "ui/diagnostics/events_window.h"
#include "ui/shell/events_and_memory.h"

namespace orlo::test {
namespace {

constexpr std::size_t kCellOv = 6;  // record index of the cell over-voltage limit

class ReconnectEndToEnd : public EndToEnd {
 protected:
  void SetUp() override {
    EndToEnd::SetUp();
    screenshotDir_ = std::getenv("ORLO_SCREENSHOT_DIR");
    if (screenshotDir_) ui::applyApplicationFont();
  }
  void saveScreenshot(QWidget* widget, const char* name) {
    if (!screenshotDir_) return;
    const QString path = QString::fromLocal8Bit(screenshotDir_) + "/" + name;
    EXPECT_TRUE(widget->grab().save(path, "PNG")) << path.toStdString();
  }
  // Writes the board's factory values with Cell OV at `cellOv`; true once verified.
  bool writeCellOv(const std::string& cellOv) {
    const sim::BoardModel factory;
    AlarmValues values{};
    for (std::size_t i = 0; i < values.size(); ++i)
      values[i] = factory.alarmRecord().value(static_cast<int>(i) + 1);
    std::vector<std::string> texts = parameterTexts(values);
    if (!cellOv.empty()) texts[kCellOv] = cellOv;
    std::optional<ParameterResult> result;
    if (!app->behaviour().writeParameters(texts, [&](const ParameterResult& r) { result = r; })) return false;
    return QTest::qWaitFor([&] { return result.has_value(); }, 10000) && result->verified();
  }
  QString title() const { return app->window()->windowTitle(); }
  std::vector<std::string> eventTexts(EventKind kind) {
    std::vector<std::string> out;
    const EventLog& log = app->behaviour().events().log();
    for (std::size_t i = 0; i < log.size(); ++i)
      if (log.at(i).kind == kind) out.push_back(log.at(i).text);
    return out;
  }

  const char* screenshotDir_ = nullptr;
};

TEST_F(ReconnectEndToEnd, aLostPortComesBackWithCommOkWithoutAClickAndTheUsersStopIsNeverUndone) {
  startBoth({"--unplug-after", "12", "--reopen-after", "5"});
  ASSERT_FALSE(HasFatalFailure());
  ASSERT_TRUE(openCom1()) << lastMessage();
  ASSERT_TRUE(waitForCommOk());
  app->eventsAndMemory().showEvents();
  const QString caption = title();

  // An alarm the board raises and clears while nobody watches the tab.
  ASSERT_TRUE(writeCellOv("3000"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return title() == caption + " — alarm: Cell OV"; }, 8000))
      << title().toStdString();
  ASSERT_TRUE(writeCellOv(""));
  EXPECT_TRUE(QTest::qWaitFor([&] { return title() == caption; }, 8000)) << title().toStdString();

  // The line goes away: the lost-port look, and the wait under the port box.
  ASSERT_TRUE(QTest::qWaitFor([&] { return !app->serial().isOpen(); }, 15000));
  EXPECT_EQ(text(MainId::DevicePath), "waiting for " + sim.link() + " …");
  EXPECT_EQ(text(MainId::StartUp), "Start Up");
  ASSERT_TRUE(waitForText(MainId::PortText, "Serial not open!", 3000));
  EXPECT_EQ(text(MainId::DevicePath), "waiting for " + sim.link() + " …");
  saveScreenshot(app->window(), "reconnect_waiting.png");

  // A new line under the same name: open again by itself, and the link is checked as ever.
  ASSERT_TRUE(QTest::qWaitFor([&] { return app->serial().isOpen(); }, 10000));
  ASSERT_TRUE(waitForCommOk(6000));
  EXPECT_EQ(text(MainId::StartUp), "Stop");
  EXPECT_EQ(text(MainId::DevicePath), sim.link());
  EXPECT_TRUE(messages.empty()) << lastMessage();

  const std::vector<std::string> ports = eventTexts(EventKind::Port);
  ASSERT_EQ(ports.size(), 3u) << ::testing::PrintToString(ports);
  EXPECT_EQ(ports[0], "COM1 (" + sim.link() + ") opened");
  EXPECT_EQ(ports[1].rfind("COM1 (" + sim.link() + ") lost: ", 0), 0u) << ports[1];
  EXPECT_EQ(ports[2], "COM1 (" + sim.link() + ") reopened by itself");
  EXPECT_EQ(eventTexts(EventKind::Alarm), (std::vector<std::string>{"Cell OV on", "Cell OV off"}));
  EXPECT_EQ(eventTexts(EventKind::Write).size(), 2u);
  const std::vector<std::string> links = eventTexts(EventKind::Link);
  ASSERT_GE(links.size(), 3u);
  EXPECT_EQ(links.front(), "Link up (Comm OK!)");
  EXPECT_EQ(links.back(), "Link restored (Comm OK!)");
  ui::EventsWindow* events = app->eventsAndMemory().eventsWindow();
  ASSERT_NE(events, nullptr);
  EXPECT_EQ(events->shownRows(), static_cast<int>(app->behaviour().events().log().size()));
  saveScreenshot(events, "events.png");

  // Stop: the port stays closed through several link checks.
  auto* startUp = qobject_cast<QAbstractButton*>(app->mainForm().control(idNumber(MainId::StartUp)));
  ASSERT_NE(startUp, nullptr);
  startUp->click();
  ASSERT_FALSE(app->serial().isOpen());
  QTest::qWait(5000);
  EXPECT_FALSE(app->serial().isOpen());
  EXPECT_EQ(text(MainId::StartUp), "Start Up");
  EXPECT_EQ(eventTexts(EventKind::Port).back(), "COM1 (" + sim.link() + ") closed by the user");
}

}  // namespace
}  // namespace orlo::test
