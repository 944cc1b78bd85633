// QtForm on a small table of our own: widgets by kind, ids and accessible names, events.

#include "ui/form/qt_form.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <chrono>
#include <tuple>

#include "ui/qt_test_app.h"

namespace orlo::ui {
namespace {

const char* kTable = R"(
window | test | 400 | 300 | Test window
group | a | - | 0 | 0 | 1 | 1 | Alpha |
group | b | - | 1 | 0 | 1 | 1 | Beta |
group | inner | b | 0 | 0 | 1 | 1 |  | plain
ctrl | 10 | Id10 | edit     | a | 0 | 0 | Voltage: | 12 | mV | digits
ctrl | 11 | Id11 | readonly | a | 1 | 0 | Current: | 0 | A |
ctrl | 12 | Id12 | static   | a | 2 | 0 |  | hello |  |
ctrl | -1 | - | label    | a | 3 | 0 |  | a plain label |  |
ctrl | 13 | Id13 | button   | a | 4 | 0 |  | Press |  |
ctrl | 14 | Id14 | check    | a | 5 | 0 |  | Keep |  |
ctrl | 15 | Id15 | radio    | inner | 0 | 0 |  | Hex |  | group-first, checked
ctrl | 16 | Id16 | radio    | inner | 0 | 1 |  | String |  |
ctrl | 17 | Id17 | combo    | b | 1 | 0 | Baud: | 9600;38400 |  |
ctrl | 18 | Id18 | combo-edit | b | 2 | 0 | Port: | COM1;COM2;COM3 |  |
ctrl | 19 | Id19 | lamp     | a | 6 | 0 | Link: | L |  |
ctrl | 20 | Id20 | tabs     | b | 3 | 0 |  | One;Two |  |
ctrl | 21 | Id21 | readonly | b | 4 | 0 | Voltage: |  |  | disabled
ctrl | 22 | Id22 | lamp     | b | 5 | 0 |  | Port |  |
ctrl | 23 | Id23 | edit     | b | 6 | 0 | Limit: |  |  | digits, signed
ctrl | 24 | Id24 | button   | b | 7 | 0 |  | Go |  |
ctrl | 25 | Id25 | static   | b | 8 | 0 |  | idle |  |
ctrl | 26 | Id26 | readonly | b | 9 | 0 |  |  |  | name=Port status
)";

LayoutTable table() {
  LayoutTable t;
  const Result<LayoutTable> loaded = parseLayout(kTable);
  EXPECT_TRUE(loaded.ok()) << loaded.error();
  if (loaded) t = *loaded;
  return t;
}

class RecordingEvents : public FormEvents {
 public:
  void onClicked(int id) override { log.push_back("click " + std::to_string(id) + extra()); }
  void onTimer(int id) override { log.push_back("timer " + std::to_string(id)); }
  void onSelectionChanged(int id) override { log.push_back("select " + std::to_string(id)); }
  std::function<std::string()> extra = [] { return std::string(); };
  std::vector<std::string> log;
};

class QtFormTest : public ::testing::Test {
 protected:
  QtFormTest() { form.setEvents(&events); }
  struct App {
    App() { test::qtApp(); }
  } app_;
  QtForm form{table(), pageColours()};
  RecordingEvents events;
};

// ---------------------------------------------------------------- widgets by kind

TEST_F(QtFormTest, eachKindBecomesItsWidget) {
  struct Case {
    int id;
    const char* className;
  } cases[] = {{10, "QLineEdit"},   {11, "QLineEdit"},    {12, "QLabel"},    {13, "QPushButton"},
               {14, "QCheckBox"},   {15, "QRadioButton"}, {17, "QComboBox"}, {18, "QComboBox"},
               {19, "QToolButton"}, {20, "QTabWidget"}};
  for (const auto& c : cases) {
    ASSERT_NE(form.control(c.id), nullptr) << c.id;
    EXPECT_STREQ(form.control(c.id)->metaObject()->className(), c.className) << c.id;
  }
  EXPECT_FALSE(qobject_cast<QLineEdit*>(form.control(10))->isReadOnly());
  EXPECT_TRUE(qobject_cast<QLineEdit*>(form.control(11))->isReadOnly());
  EXPECT_FALSE(qobject_cast<QComboBox*>(form.control(17))->isEditable());
  EXPECT_TRUE(qobject_cast<QComboBox*>(form.control(18))->isEditable());
}

TEST_F(QtFormTest, groupsAreFramedWithTheirCaptionsAndPlainGroupsAreNot) {
  QStringList captions;
  for (auto* box : form.widget()->findChildren<QGroupBox*>()) captions << box->title();
  EXPECT_EQ(captions, (QStringList{"Alpha", "Beta"}));
}

TEST_F(QtFormTest, flagsSetTheInitialState) {
  EXPECT_TRUE(form.isChecked(15));
  EXPECT_FALSE(form.isChecked(16));
  EXPECT_FALSE(form.isEnabled(21));
  EXPECT_TRUE(form.isEnabled(10));
  EXPECT_EQ(form.widget()->size(), QSize(400, 300));
  EXPECT_EQ(form.widget()->windowTitle(), "Test window");
}

TEST_F(QtFormTest, digitsFlagRejectsTypedLetters) {
  auto* edit = qobject_cast<QLineEdit*>(form.control(10));
  edit->clear();
  QTest::keyClicks(edit, "1a2-3");
  EXPECT_EQ(form.text(10), "123");
}

// Qt stops checking a validator once the box holds a text that fails it; typing must still add
// nothing but digits (and one leading "-" in a signed box) whatever the program put there.
TEST_F(QtFormTest, digitsBoxesTakeTypedDigitsOnlyWhateverTheyHold) {
  struct Case {
    int id;
    const char* held;
    Qt::Key at;  // where the cursor goes before typing
    const char* typed;
    const char* result;
  } cases[] = {
      {10, "--", Qt::Key_End, "5x-", "--5"},   {10, "--", Qt::Key_Home, "-", "--"},
      {10, "-20", Qt::Key_End, "a-1", "-201"}, {10, "-20", Qt::Key_Home, "-", "-20"},
      {10, "", Qt::Key_End, "-12", "12"},      {23, "", Qt::Key_End, "-1-2x", "-12"},
      {23, "--", Qt::Key_End, "7-", "--7"},    {23, "--", Qt::Key_Home, "-", "--"},
      {23, "-20", Qt::Key_Home, "-", "-20"},   {23, "-20", Qt::Key_End, "-", "-20"},
      {23, "20", Qt::Key_Home, "--", "-20"},   {23, "-20", Qt::Key_End, "x5", "-205"},
  };
  for (const auto& c : cases) {
    form.setText(c.id, c.held);
    ASSERT_EQ(form.text(c.id), c.held) << "the program's own text must be taken as it stands";
    auto* edit = qobject_cast<QLineEdit*>(form.control(c.id));
    QTest::keyClick(edit, c.at);
    QTest::keyClicks(edit, c.typed);
    EXPECT_EQ(form.text(c.id), c.result) << c.id << " held '" << c.held << "', typed '" << c.typed << "'";
  }
  // Replacing a held "--" wholesale, then undoing back to it, leaves the rule in force.
  auto* edit = qobject_cast<QLineEdit*>(form.control(23));
  form.setText(23, "--");
  edit->selectAll();
  QTest::keyClicks(edit, "-4");
  EXPECT_EQ(form.text(23), "-4");
  edit->undo();
  edit->undo();
  QTest::keyClick(edit, Qt::Key_End);
  QTest::keyClicks(edit, "x-9");
  EXPECT_EQ(form.text(23).find('x'), std::string::npos) << form.text(23);
}

// Only choosing an item selects a port: typed text is neither added to the list nor taken.
TEST_F(QtFormTest, aTypedPortNameIsNeitherInsertedNorSelected) {
  auto* combo = qobject_cast<QComboBox*>(form.control(18));
  combo->setFocus();
  for (const char* typed : {"foo", "COM3", "com2"}) {
    combo->lineEdit()->selectAll();
    QTest::keyClicks(combo, typed);
    QTest::keyClick(combo, Qt::Key_Return);
    EXPECT_EQ(combo->count(), 3) << typed;
    EXPECT_EQ(form.currentIndex(18), 0) << typed;
    EXPECT_EQ(form.text(18), "COM1") << "after Enter the box shows the chosen port again, not " << typed;
  }
  EXPECT_TRUE(events.log.empty()) << "typing is no selection";
  emit combo->activated(2);
  combo->setCurrentIndex(2);
  EXPECT_EQ(form.currentIndex(18), 2);
}

TEST_F(QtFormTest, radioButtonsOfOneGroupExcludeEachOther) {
  qobject_cast<QRadioButton*>(form.control(16))->click();
  EXPECT_TRUE(form.isChecked(16));
  EXPECT_FALSE(form.isChecked(15));
}

// ---------------------------------------------------------------- Form by id

TEST_F(QtFormTest, textReadsAndWritesEveryKind) {
  for (int id : {10, 11, 12, 13, 14, 19}) {
    form.setText(id, "v" + std::to_string(id));
    EXPECT_EQ(form.text(id), "v" + std::to_string(id)) << id;
  }
  EXPECT_EQ(form.text(17), "9600");
  EXPECT_EQ(form.text(20), "One");
}

TEST_F(QtFormTest, aRepeatedTextIsSkippedOnlyWhileTheBoxStillShowsItFromItsStart) {
  auto* edit = qobject_cast<QLineEdit*>(form.control(10));
  auto* readout = qobject_cast<QLineEdit*>(form.control(11));
  form.widget()->show();
  QSignalSpy edits(readout, &QLineEdit::textChanged);
  form.setText(11, "3.30");
  form.setText(11, "3.30");
  EXPECT_EQ(edits.count(), 1) << "the same value was set again";
  readout->selectAll();  // a reader marks the value
  form.setText(11, "3.30");
  EXPECT_FALSE(readout->hasSelectedText()) << "the next frame leaves the box as it always did";
  EXPECT_EQ(readout->cursorPosition(), 0);
  form.setText(10, "12");
  edit->setFocus();
  QTest::keyClick(edit, Qt::Key_End);
  QTest::keyClicks(edit, "3");
  ASSERT_EQ(edit->text(), "123");
  form.setText(10, "12");
  EXPECT_EQ(edit->text(), "12") << "typed text hid the value set again";
}

TEST_F(QtFormTest, aReadoutOutOfSightTakesItsTextWhenShownAndAnEditableBoxAtOnce) {
  auto* edit = qobject_cast<QLineEdit*>(form.control(10));
  auto* readout = qobject_cast<QLineEdit*>(form.control(11));
  QSignalSpy changes(readout, &QLineEdit::textChanged);
  form.setText(11, "3.30");  // the window is not shown yet
  form.setText(11, "3.31");
  form.setText(10, "12");
  EXPECT_EQ(changes.count(), 0) << "a readout nobody sees was laid out";
  EXPECT_EQ(form.text(11), "3.31");
  EXPECT_EQ(edit->text(), "12") << "an editable box waits for nothing";
  form.widget()->show();
  EXPECT_EQ(readout->text(), "3.31");
  EXPECT_EQ(changes.count(), 1);
  form.setText(11, "3.32");
  EXPECT_EQ(readout->text(), "3.32") << "a readout in view takes its text at once";
  readout->hide();
  form.setText(11, "3.33");
  form.setReadOnly(11, false);  // becoming editable shows what it was given
  EXPECT_EQ(readout->text(), "3.33");
}

TEST_F(QtFormTest, comboItemsAreReplacedWithNoSelection) {
  form.setItems(17, {"38400"});
  EXPECT_EQ(form.currentIndex(17), -1);
  form.setCurrentIndex(17, 0);
  EXPECT_EQ(form.currentIndex(17), 0);
  EXPECT_EQ(form.text(17), "38400");
  form.setCurrentIndex(17, 5);
  EXPECT_EQ(form.currentIndex(17), -1);
}

TEST_F(QtFormTest, tabItemsRenameTabsAndKeepTheirPages) {
  QWidget* page = new QWidget;
  form.setTabPage(20, 0, page, "First");
  form.setItems(20, {"Eins", "Zwei", "Drei"});
  QTabWidget* tabs = form.tabWidget(20);
  ASSERT_EQ(tabs->count(), 3);
  EXPECT_EQ(tabs->widget(0), page);
  EXPECT_EQ(tabs->tabText(2), "Drei");
}

TEST_F(QtFormTest, readOnlyAndEnabledFollowTheirSetters) {
  form.setReadOnly(10, true);
  EXPECT_TRUE(form.isReadOnly(10));
  form.setEnabled(13, false);
  EXPECT_FALSE(form.isEnabled(13));
  form.setEnabled(13, true);
  EXPECT_TRUE(form.isEnabled(13));
}

TEST_F(QtFormTest, anUnknownIdIsIgnoredWithDefaults) {
  form.setText(999, "x");
  form.setIcon(999, Icon::Green);
  EXPECT_EQ(form.text(999), "");
  EXPECT_FALSE(form.isEnabled(999));
  EXPECT_EQ(form.currentIndex(999), -1);
  EXPECT_EQ(form.icon(999), Icon::None);
}

TEST_F(QtFormTest, editableBoxesAreBlueOnWhiteAndReadOnlyBoxesTakeTheBackground) {
  const QPalette editable = form.control(10)->palette();
  EXPECT_EQ(editable.color(QPalette::Text), QColor(0, 0, 255));
  EXPECT_EQ(editable.color(QPalette::Base), QColor(255, 255, 255));
  const QPalette readOnly = form.control(11)->palette();
  EXPECT_EQ(readOnly.color(QPalette::Text), QColor(0, 0, 0));
  EXPECT_EQ(readOnly.color(QPalette::Base), QColor(215, 215, 215));
  EXPECT_EQ(form.widget()->palette().color(QPalette::Window), QColor(215, 215, 215));
}

// ---------------------------------------------------------------- accessibility

TEST_F(QtFormTest, everyControlWithAnIdCarriesItAsItsObjectName) {
  for (const auto& row : form.table().controls) {
    if (row.id == -1) continue;
    EXPECT_EQ(form.control(row.id)->objectName(), QString::number(row.id));
  }
}

TEST_F(QtFormTest, accessibleNamesAreLabelsOrCaptionsQualifiedWhenRepeated) {
  struct Case {
    int id;
    const char* name;
  } cases[] = {{10, "Alpha Voltage:"}, {21, "Beta Voltage:"}, {11, "Current:"},
               {13, "Press"},          {15, "Hex"},           {17, "Baud:"}};
  for (const auto& c : cases) EXPECT_EQ(form.control(c.id)->accessibleName(), c.name) << c.id;
}

// What a screen reader announces: Qt's accessibility interface, not the widget property alone.
TEST_F(QtFormTest, accessibleNamesFollowCaptionsSetAtRunTime) {
  const auto spoken = [this](int id) {
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(form.control(id));
    return a ? a->text(QAccessible::Name).toStdString() : std::string("(no interface)");
  };
  EXPECT_EQ(spoken(26), "Port status");
  EXPECT_EQ(spoken(24), "Go");
  form.setText(24, "Stop");
  form.setText(14, "Keep all");
  form.setText(16, "Text");
  form.setText(25, "busy");
  EXPECT_EQ(spoken(24), "Stop");
  EXPECT_EQ(spoken(14), "Keep all");
  EXPECT_EQ(spoken(16), "Text");
  EXPECT_EQ(spoken(25), "busy");
  // A caption that another control of the window also shows is qualified by its group, and
  // both lose the qualification when it is unique again.
  form.setText(24, "Press");
  EXPECT_EQ(spoken(24), "Beta Press");
  EXPECT_EQ(spoken(13), "Alpha Press");
  form.setText(24, "Go");
  EXPECT_EQ(spoken(24), "Go");
  EXPECT_EQ(spoken(13), "Press");
  // Edits are named by their label, never by what they hold; lamps keep their colour word.
  form.setText(10, "Stop");
  form.setText(26, "Serial open!");
  EXPECT_EQ(spoken(10), "Alpha Voltage:");
  EXPECT_EQ(spoken(26), "Port status");
  form.setIcon(22, Icon::Green);
  form.setText(22, "Go");
  EXPECT_EQ(spoken(22), "Port green");
  for (int id : {13, 14, 16, 24, 25, 26}) EXPECT_EQ(form.control(id)->objectName(), QString::number(id));
}

TEST_F(QtFormTest, lampsTakeNoKeyboardFocus) {
  for (int id : {19, 22}) EXPECT_EQ(form.control(id)->focusPolicy(), Qt::NoFocus) << id;
}

TEST_F(QtFormTest, lampNamesEndWithTheColourOfTheirIcon) {
  struct Case {
    Icon icon;
    const char* name;
  } cases[] = {{Icon::Green, "Link: green"},
               {Icon::Red, "Link: red"},
               {Icon::BalanceRed, "Link: red"},
               {Icon::Grey, "Link: grey"},
               {Icon::None, "Link:"}};
  for (const auto& c : cases) {
    form.setIcon(19, c.icon);
    EXPECT_EQ(form.icon(19), c.icon);
    EXPECT_EQ(form.control(19)->accessibleName(), c.name);
    EXPECT_EQ(qobject_cast<QToolButton*>(form.control(19))->icon().isNull(), c.icon == Icon::None);
  }
  form.setIcon(22, Icon::Red);
  EXPECT_EQ(form.control(22)->accessibleName(), "Port red");
}

TEST_F(QtFormTest, aLampImageIsLoadedOnceHoweverOftenItIsShown) {
  // A new icon per frame would fill the pixmap cache with copies and grow the process.
  EXPECT_EQ(lampIcon(Icon::Green).cacheKey(), lampIcon(Icon::Green).cacheKey());
  EXPECT_NE(lampIcon(Icon::Green).cacheKey(), lampIcon(Icon::Red).cacheKey());
  form.setIcon(19, Icon::Green);
  const auto key = qobject_cast<QToolButton*>(form.control(19))->icon().cacheKey();
  form.setIcon(19, Icon::Red);
  form.setIcon(19, Icon::Green);
  EXPECT_EQ(qobject_cast<QToolButton*>(form.control(19))->icon().cacheKey(), key);
}

// ---------------------------------------------------------------- events

TEST_F(QtFormTest, clicksReachTheEventsWithTheControlId) {
  qobject_cast<QPushButton*>(form.control(13))->click();
  qobject_cast<QToolButton*>(form.control(19))->click();
  EXPECT_THAT(events.log, ::testing::ElementsAre("click 13", "click 19"));
}

TEST_F(QtFormTest, aCheckBoxHasToggledBeforeItsClickIsDelivered) {
  events.extra = [this] { return form.isChecked(14) ? " checked" : " unchecked"; };
  auto* box = qobject_cast<QCheckBox*>(form.control(14));
  QTest::mouseClick(box, Qt::LeftButton, {}, box->rect().center());
  box->click();
  EXPECT_THAT(events.log, ::testing::ElementsAre("click 14 checked", "click 14 unchecked"));
}

TEST_F(QtFormTest, userSelectionsAreDeliveredAndProgrammaticOnesAreNot) {
  form.setCurrentIndex(17, 1);
  form.setCurrentIndex(20, 1);
  EXPECT_TRUE(events.log.empty());
  auto* combo = qobject_cast<QComboBox*>(form.control(17));
  emit combo->activated(0);
  form.tabWidget(20)->setCurrentIndex(0);
  EXPECT_THAT(events.log, ::testing::ElementsAre("select 17", "select 20"));
}

TEST_F(QtFormTest, timersTickWithTheirIdUntilStopped) {
  form.startTimer(3, 10);
  form.startTimer(4, 10);
  ASSERT_TRUE(QTest::qWaitFor([&] { return events.log.size() >= 4; }, 2000));
  EXPECT_THAT(events.log, ::testing::Contains("timer 3"));
  EXPECT_THAT(events.log, ::testing::Contains("timer 4"));
  form.stopTimer(3);
  form.stopTimer(4);
  QTest::qWait(30);
  events.log.clear();
  QTest::qWait(50);
  EXPECT_TRUE(events.log.empty());
}

qint64 monotonicMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

TEST_F(QtFormTest, aResumedTimerFiresOnItsBeatAndThenEveryPeriod) {
  // Period 400 ms, resumed at least 250 ms into a beat of the monotonic clock: on the beat it
  // fires within 150 ms, a restarted timer would wait 400; the slack covers a busy machine.
  std::vector<qint64> at;
  struct Stamps : FormEvents {
    void onTimer(int) override { at->push_back(monotonicMs()); }
    std::vector<qint64>* at;
  } stamps;
  stamps.at = &at;
  form.setEvents(&stamps);
  form.startTimer(5, 400);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !at.empty(); }, 2000));
  form.pauseTimer(5);
  QTest::qWait(450);
  EXPECT_EQ(at.size(), 1u) << "a paused timer fired";
  ASSERT_TRUE(QTest::qWaitFor([] { return monotonicMs() % 400 >= 250; }, 1000));
  const qint64 resumed = monotonicMs();
  form.resumeTimer(5);
  form.resumeTimer(5);  // resuming a running timer changes nothing
  ASSERT_TRUE(QTest::qWaitFor([&] { return at.size() >= 3; }, 3000));
  EXPECT_LT(at[1] - resumed, 300) << "resumed at " << resumed << ", fired at " << at[1];
  EXPECT_GE(at[1], resumed / 400 * 400 + 400 - 25) << "fired before the beat";
  EXPECT_GT(at[2] - at[1], 300) << "the period did not come back";
  form.stopTimer(5);
}

TEST_F(QtFormTest, timersOnOneBeatFireInOnePassOnTheirPlaceOfTheBeat) {
  // Timer 5 every 300 ms at +100, timer 6 every 100 ms: each tick of 5 is also one of 6. A pass
  // ends when the event loop runs a zero timer queued in it.
  struct Stamps : FormEvents {
    void onTimer(int id) override {
      fired.push_back({id, monotonicMs(), pass});
      if (queued) return;
      queued = true;
      QTimer::singleShot(0, [this] {
        ++pass;
        queued = false;
      });
    }
    std::vector<std::tuple<int, qint64, int>> fired;
    int pass = 0;
    bool queued = false;
  } stamps;
  form.setEvents(&stamps);
  form.startTimerOnBeat(5, 300, 100);
  form.startTimerOnBeat(6, 100, 0);
  const auto count = [&](int id) {
    return std::count_if(stamps.fired.begin(), stamps.fired.end(),
                         [id](auto& f) { return std::get<0>(f) == id; });
  };
  ASSERT_TRUE(QTest::qWaitFor([&] { return count(5) >= 3; }, 3000));
  form.pauseTimer(6);
  const std::size_t paused = stamps.fired.size();
  QTest::qWait(350);
  for (std::size_t i = paused; i < stamps.fired.size(); ++i) EXPECT_EQ(std::get<0>(stamps.fired[i]), 5);
  form.resumeTimer(6);
  const qint64 resumed = monotonicMs();
  ASSERT_TRUE(QTest::qWaitFor([&] { return std::get<0>(stamps.fired.back()) == 6; }, 1000));
  form.stopTimer(5);
  form.stopTimer(6);
  // The slack covers a busy machine; Qt's own timers would have drifted to the full beat.
  EXPECT_LT(std::get<1>(stamps.fired.back()) - resumed, 100 + 30) << "the resumed timer waited";
  for (std::size_t i = 0; i < stamps.fired.size(); ++i) {
    const auto [id, at, pass] = stamps.fired[i];
    if (id != 5) continue;
    EXPECT_LT((at - 100) % 300, 30) << "timer 5 off its beat at " << at;
    if (i >= paused) continue;  // timer 6 was paused
    EXPECT_TRUE(
        std::any_of(stamps.fired.begin(), stamps.fired.end(),
                    [&, pass = pass](auto& f) { return std::get<0>(f) == 6 && std::get<2>(f) == pass; }))
        << "timer 6 missed the pass of 5 at " << at;
  }
}

TEST_F(QtFormTest, nothingIsDeliveredOnceEventsAreUnset) {
  form.setEvents(nullptr);
  qobject_cast<QPushButton*>(form.control(13))->click();
  EXPECT_TRUE(events.log.empty());
}

TEST_F(QtFormTest, anExceptionFromAHandlerDoesNotEscapeIntoQt) {
  struct Throwing : FormEvents {
    void onClicked(int) override { throw std::runtime_error("boom"); }
  } throwing;
  form.setEvents(&throwing);
  EXPECT_NO_THROW(qobject_cast<QPushButton*>(form.control(13))->click());
}

// ---------------------------------------------------------------- layout

TEST_F(QtFormTest, aLabelStandsLeftOfItsWidgetAndTheUnitRightOfIt) {
  form.widget()->show();
  QLabel* label = nullptr;
  QLabel* unit = nullptr;
  for (auto* l : form.widget()->findChildren<QLabel*>()) {
    if (l->text() == "Voltage:" && l->accessibleName() == "Voltage:" && !label) label = l;
    if (l->text() == "mV") unit = l;
  }
  ASSERT_TRUE(label && unit);
  const QWidget* edit = form.control(10);
  const auto x = [](const QWidget* w) { return w->mapTo(w->window(), QPoint(0, 0)).x(); };
  EXPECT_LT(x(label), x(edit));
  EXPECT_LT(x(edit), x(unit));
  form.widget()->hide();
}

}  // namespace
}  // namespace orlo::ui
