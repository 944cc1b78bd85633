// The application shell: caption, icon, the four tabs with their pages, the About box, and a
// main window whose content fits its fixed size once the real pages are inside.

#include "ui/shell/main_window_shell.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include "ui/form/dialogs.h"
#include "ui/qt_test_app.h"
#include "view/main_window_ids.h"

namespace orlo::ui {
namespace {

class MainWindowShellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::qtApp();
    setDialogHook({[this](const std::string& text, const std::string&) { messages.push_back(text); }, {}});
    MainWindowShellOptions options;
    options.ports[1] = "/nonexistent/orlo-test-port";
    options.ports[3] = "/nonexistent/orlo-typed-port";
    options.availableArea = availableArea();
    auto created = MainWindowShell::create(options);
    ASSERT_TRUE(created.ok()) << created.error();
    app = std::move(created).value();
  }
  void TearDown() override { setDialogHook({}); }
  // A screen roomy enough for the window's own size, unless a test says otherwise.
  virtual QRect availableArea() const { return QRect(0, 0, 1920, 1080); }

  std::unique_ptr<MainWindowShell> app;
  std::vector<std::string> messages;
};

TEST_F(MainWindowShellTest, theWindowCarriesItsCaptionAndIcon) {
  EXPECT_EQ(app->window()->windowTitle(), "Morv - Energy Battery Host Computer V2.0");
  EXPECT_FALSE(app->window()->windowIcon().isNull());
}

TEST_F(MainWindowShellTest, theFourPagesSitInTheTabControlInOrder) {
  QTabWidget* tabs = app->mainForm().tabWidget(MainId::Tabs);
  ASSERT_NE(tabs, nullptr);
  const QStringList captions{"BMS Parameter", "Balance Test", "Alarm Parameter", "Current-Calibration"};
  ASSERT_EQ(tabs->count(), captions.size());
  for (int i = 0; i < tabs->count(); ++i) {
    EXPECT_EQ(tabs->tabText(i), captions[i]);
    EXPECT_EQ(tabs->widget(i), app->pageForm(i).widget());
  }
  EXPECT_EQ(tabs->currentIndex(), 0);
}

TEST_F(MainWindowShellTest, theMainWindowKeepsItsFixedSizeWithThePagesInside) {
  app->window()->show();
  QWidget* central = app->mainForm().widget();
  const auto& w = app->mainForm().table().window;
  EXPECT_EQ(central->size(), QSize(w.width, w.height));
  const QSize needed = central->layout()->minimumSize();
  EXPECT_LE(needed.width(), w.width) << "the pages make the main window wider than its table says";
  EXPECT_LE(needed.height(), w.height) << "the pages make the main window taller than its table says";
  EXPECT_EQ(app->window()->minimumSize(), app->window()->maximumSize());
}

TEST_F(MainWindowShellTest, aPortThatCannotOpenIsReportedAndStartUpStays) {
  app->behaviour().selectPort(1);
  app->behaviour().pressStartUp();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find("/nonexistent/orlo-test-port"), std::string::npos) << messages[0];
  EXPECT_EQ(app->mainForm().text(MainId::StartUp), "Start Up");
  EXPECT_FALSE(app->serial().isOpen());
}

TEST_F(MainWindowShellTest, aPortNameTypedIntoThePortBoxIsNotTheOneOpened) {
  auto* ports = qobject_cast<QComboBox*>(app->mainForm().control(MainId::SerialPorts));
  ASSERT_NE(ports, nullptr);
  ports->setFocus();
  ports->lineEdit()->selectAll();
  QTest::keyClicks(ports, "COM3");
  QTest::keyClick(ports, Qt::Key_Return);
  EXPECT_EQ(ports->count(), 16);
  app->behaviour().pressStartUp();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find("/nonexistent/orlo-test-port"), std::string::npos)
      << "typed COM3, chose nothing: COM1 must be the port tried, not " << messages[0];
}

// What a screen reader announces for the main window's texts without a label of their own.
TEST_F(MainWindowShellTest, unlabelledTextsOfTheMainWindowSayWhatTheyShow) {
  struct Case {
    MainId id;
    const char* name;
  } cases[] = {{MainId::DevicePath, "Serial device"},
               {MainId::PortText, "Port status"},
               {MainId::LinkText, "Link status"},
               {MainId::LogPath, "Log file"},
               {MainId::Clock, "Clock"}};
  for (const auto& c : cases) {
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(app->mainForm().control(c.id));
    ASSERT_NE(a, nullptr) << c.id;
    EXPECT_EQ(a->text(QAccessible::Name), c.name) << c.id;
  }
}

// A stray Enter must not close the port and stop the log; Escape still closes the window.
TEST_F(MainWindowShellTest, enterLeavesTheWindowOpenAndEscapeClosesIt) {
  app->window()->show();
  QApplication::setActiveWindow(app->window());
  for (MainId id : {MainId::TimeInterval, MainId::SerialPorts, MainId::BaudRate}) {
    QWidget* target = app->mainForm().control(id);
    target->setFocus();
    QTest::keyClick(target, Qt::Key_Return);
    QTest::keyClick(target, Qt::Key_Enter);
    EXPECT_TRUE(app->window()->isVisible()) << "Enter in control " << id << " closed the window";
  }
  QTest::keyClick(app->mainForm().control(MainId::TimeInterval), Qt::Key_Escape);
  EXPECT_FALSE(app->window()->isVisible());
}

TEST_F(MainWindowShellTest, theAboutBoxIsReachedFromTheMenuAndClosesOnOk) {
  QAction* about = nullptr;
  for (QAction* menu : app->window()->menuBar()->actions()) {
    for (QAction* item : menu->menu()->actions())
      if (item->text() == "&About Orlo_PC...") about = item;
  }
  ASSERT_NE(about, nullptr);
  QString title;
  QStringList texts;
  bool closed = false;
  bool hasIcon = false;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!box) return;
    title = box->windowTitle();
    for (auto* label : box->findChildren<QLabel*>()) {
      texts << label->text();
      hasIcon = hasIcon || !label->pixmap().isNull();
    }
    for (auto* button : box->findChildren<QPushButton*>())
      if (button->text() == "OK") button->click(), closed = true;
  });
  about->trigger();
  EXPECT_TRUE(closed);
  EXPECT_EQ(title, "About Orlo_PC");
  EXPECT_TRUE(texts.contains("Orlo_PC, Version 2.0"));
  EXPECT_TRUE(hasIcon) << "the About box shows no application icon";
}

TEST_F(MainWindowShellTest, theViewMenuOpensTheTrendsTrafficAndEventsWindows) {
  QMenu* view = app->viewMenu();
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(app->viewMenu(), view);
  QStringList items;
  for (QAction* item : view->actions()) items << item->text();
  EXPECT_EQ(items, (QStringList{"&Trends...", "T&raffic...", "Recorded &Log...", "&Events..."}));
  // Windows, not the menus or the popups of their combo boxes.
  const auto windows = [] {
    const auto all = QApplication::topLevelWidgets();
    return std::count_if(all.begin(), all.end(),
                         [](QWidget* w) { return w->windowType() != Qt::Popup && !qobject_cast<QMenu*>(w); });
  };
  const auto before = windows();
  for (QAction* item : view->actions()) item->trigger();
  EXPECT_EQ(windows(), before + 4);
}

// A laptop screen (1366 x 768) or a 1920 x 1080 one at 150 % (1280 x 720): the window opens
// within it, the layout gives up its spare space and what is still too big scrolls, with every
// control inside the scrolled content at no less than its minimum size.
class SmallScreenTest : public MainWindowShellTest, public ::testing::WithParamInterface<QSize> {
 protected:
  QRect availableArea() const override { return QRect(QPoint(0, 0), GetParam()); }
};

TEST_P(SmallScreenTest, theWindowFitsAndEveryControlCanBeScrolledTo) {
  QMainWindow* window = app->window();
  window->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
  EXPECT_LE(window->width(), GetParam().width());
  EXPECT_LE(window->height(), GetParam().height());
  auto* scroller = qobject_cast<QScrollArea*>(window->centralWidget());
  ASSERT_NE(scroller, nullptr);
  QWidget* content = app->mainForm().widget();
  const QSize needed = content->layout()->minimumSize();
  EXPECT_LE(needed.width(), 1366) << "the pages did not give up their spare width";
  EXPECT_GE(content->width(), needed.width());
  EXPECT_GE(content->height(), needed.height());
  EXPECT_GE(scroller->horizontalScrollBar()->maximum() + scroller->viewport()->width(), content->width());
  EXPECT_GE(scroller->verticalScrollBar()->maximum() + scroller->viewport()->height(), content->height());
  QTabWidget* tabs = app->mainForm().tabWidget(MainId::Tabs);
  for (int tab = 0; tab < tabs->count(); ++tab) {
    tabs->setCurrentIndex(tab);
    QApplication::processEvents();
    for (auto* w : content->findChildren<QWidget*>()) {
      bool control = false;  // a control of the table carries its id as its object name
      w->objectName().toInt(&control);
      if (!w->isVisible() || !control) continue;
      const QRect where(w->mapTo(content, QPoint(0, 0)), w->size());
      EXPECT_TRUE(content->rect().contains(where))
          << "control " << w->objectName().toStdString() << " lies outside what can be scrolled to";
      EXPECT_GE(w->width(), w->minimumSizeHint().width()) << "control " << w->objectName().toStdString();
      EXPECT_GE(w->height(), w->minimumSizeHint().height()) << "control " << w->objectName().toStdString();
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Screens, SmallScreenTest, ::testing::Values(QSize(1280, 720), QSize(1366, 768)),
                         [](const ::testing::TestParamInfo<QSize>& p) {
                           return std::to_string(p.param.width()) + "x" + std::to_string(p.param.height());
                         });

}  // namespace
}  // namespace orlo::ui
