// The application shell: caption, icon, the four tabs with their pages, the About box, and a
// main window whose content fits its fixed size once the real pages are inside.

#include "ui/app_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLayout>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

#include "app/main_window_ids.h"
#include "ui/dialogs.h"
#include "ui/qt_test_app.h"

namespace orlo::ui {
namespace {

class AppWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::qtApp();
    setDialogHook({[this](const std::string& text, const std::string&) { messages.push_back(text); }, {}});
    std::string error;
    AppWindowOptions options;
    options.ports[1] = "/nonexistent/orlo-test-port";
    app = AppWindow::create(options, &error);
    ASSERT_TRUE(app) << error;
  }
  void TearDown() override { setDialogHook({}); }

  std::unique_ptr<AppWindow> app;
  std::vector<std::string> messages;
};

TEST_F(AppWindowTest, theWindowCarriesItsCaptionAndIcon) {
  EXPECT_EQ(app->window()->windowTitle(), "Morv - Energy Battery Host Computer V2.0");
  EXPECT_FALSE(app->window()->windowIcon().isNull());
}

TEST_F(AppWindowTest, theFourPagesSitInTheTabControlInOrder) {
  QTabWidget* tabs = app->mainForm().tabWidget(main_ids::kTabs);
  ASSERT_NE(tabs, nullptr);
  const QStringList captions{"BMS Parameter", "Balance Test", "Alarm Parameter", "Current-Calibration"};
  ASSERT_EQ(tabs->count(), captions.size());
  for (int i = 0; i < tabs->count(); ++i) {
    EXPECT_EQ(tabs->tabText(i), captions[i]);
    EXPECT_EQ(tabs->widget(i), app->pageForm(i).widget());
  }
  EXPECT_EQ(tabs->currentIndex(), 0);
}

TEST_F(AppWindowTest, theMainWindowKeepsItsFixedSizeWithThePagesInside) {
  app->window()->show();
  QWidget* central = app->mainForm().widget();
  const auto& w = app->mainForm().table().window;
  EXPECT_EQ(central->size(), QSize(w.width, w.height));
  const QSize needed = central->layout()->minimumSize();
  EXPECT_LE(needed.width(), w.width) << "the pages make the main window wider than its table says";
  EXPECT_LE(needed.height(), w.height) << "the pages make the main window taller than its table says";
  EXPECT_EQ(app->window()->minimumSize(), app->window()->maximumSize());
}

TEST_F(AppWindowTest, aPortThatCannotOpenIsReportedAndStartUpStays) {
  app->dlg().selectPort(1);
  app->dlg().pressStartUp();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find("/nonexistent/orlo-test-port"), std::string::npos) << messages[0];
  EXPECT_EQ(app->mainForm().text(main_ids::kStartUp), "Start Up");
  EXPECT_FALSE(app->serial().isOpen());
}

TEST_F(AppWindowTest, theAboutBoxIsReachedFromTheMenuAndClosesOnOk) {
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

TEST_F(AppWindowTest, theViewMenuOpensTheTrendsAndTrafficWindows) {
  QMenu* view = app->viewMenu();
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(app->viewMenu(), view);
  QStringList items;
  for (QAction* item : view->actions()) items << item->text();
  EXPECT_EQ(items, (QStringList{"&Trends...", "T&raffic..."}));
  const auto before = QApplication::topLevelWidgets().size();
  for (QAction* item : view->actions()) item->trigger();
  EXPECT_EQ(QApplication::topLevelWidgets().size(), before + 2);
}

}  // namespace
}  // namespace orlo::ui
