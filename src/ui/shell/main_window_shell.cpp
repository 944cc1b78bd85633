#include "ui/shell/main_window_shell.h"

#include <QDir>
#include <QGuiApplication>
#include <QKeySequence>
#include <QLayout>
#include <QMainWindow>
#include <QMenuBar>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>

#include "ui/diagnostics/diagnostics.h"
#include "ui/diagnostics/log_viewer_window.h"
#include "ui/form/form_style.h"
#include "ui/form/layout_resource.h"
#include "ui/parameters/parameters_menu.h"
#include "ui/shell/about_box.h"
#include "ui/shell/events_and_memory.h"
#include "ui/shell/template_folder.h"
#include "ui/station/station_window.h"
#include "util/user_folder.h"
#include "view/main_window_ids.h"

namespace orlo::ui {
namespace {

struct PageSpec {
  const char* layout;
  const char* caption;
};
constexpr PageSpec kPages[] = {{"bms_parameter", "BMS Parameter"},
                               {"balance_test", "Balance Test"},
                               {"alarm_parameter", "Alarm Parameter"},
                               {"current_calibration", "Current-Calibration"}};

constexpr int kAlarmTab = 2;

// Room kept for a window manager's title bar when the window has to shrink to fit a screen.
constexpr int kTitleBarAllowance = 32;

}  // namespace

Result<std::unique_ptr<MainWindowShell>> MainWindowShell::create(const MainWindowShellOptions& options) {
  std::unique_ptr<MainWindowShell> app(new MainWindowShell);
  if (const Status built = app->build(options); !built) return fail(built.error());
  return app;
}

MainWindowShell::~MainWindowShell() {
  // The window behaviour goes first (it lets go of the port itself): nothing may reach it
  // through a form after.
  if (mainForm_) mainForm_->setEvents(nullptr);
  for (auto& page : pages_) page->setEvents(nullptr);
  eventsAndMemory_.reset();
  delete station_.data();  // it stops a board's test on the window behaviour's port
  behaviour_.reset();
  diagnostics_.reset();
  pages_.clear();
  mainForm_.reset();
  delete window_.data();
}

Status MainWindowShell::build(const MainWindowShellOptions& options) {
  Result<LayoutTable> main = loadLayoutResource("main");
  if (!main) return fail(main.error());
  const LayoutTable& mainTable = *main;
  std::vector<LayoutTable> pageTables;
  for (const auto& page : kPages) {
    Result<LayoutTable> table = loadLayoutResource(page.layout);
    if (!table) return fail(table.error());
    pageTables.push_back(std::move(table).value());
  }
  for (const auto& [port, path] : options.ports) serial_.addMapping(port, path);

  window_ = new QMainWindow;
  mainForm_ = std::make_unique<QtForm>(mainTable, mainWindowColours());
  for (std::size_t i = 0; i < pageTables.size(); ++i) {
    pages_.push_back(std::make_unique<QtForm>(pageTables[i], pageColours()));
    mainForm_->setTabPage(MainId::Tabs, static_cast<int>(i), pages_.back()->widget(), kPages[i].caption);
  }
  // On a screen smaller than the window the layout gives up its spare space first and below its
  // minimum the content scrolls; at its own size nothing of this shows.
  QWidget* content = mainForm_->widget();
  const QSize naturalSize = content->size();
  auto* scroller = new QScrollArea;
  scroller->setFrameShape(QFrame::NoFrame);
  // Not a stop of its own for Tab: the controls inside are, and it scrolls to the one in focus.
  scroller->setFocusPolicy(Qt::NoFocus);
  scroller->setWidgetResizable(true);
  content->setMinimumSize(content->layout()->minimumSize().boundedTo(naturalSize));
  content->setMaximumSize(naturalSize);
  scroller->setWidget(content);
  window_->setCentralWidget(scroller);
  window_->setWindowTitle(QString::fromStdString(mainTable.window.caption));
  window_->setWindowIcon(applicationIcon(138));
  QTabWidget* tabs = mainForm_->tabWidget(MainId::Tabs);
  tabs->setAccessibleName(QStringLiteral("Pages"));
  tabs->tabBar()->setAccessibleName(QStringLiteral("Pages"));
  buildMenu();
  // The diagnostics see every block written and every frame received, and change none.
  diagnostics_ = std::make_unique<Diagnostics>(window_);
  SerialControl& line = diagnostics_->wrap(serial_);
  fanOut_.add(diagnostics_->observer());
  viewMenu()->addAction(QStringLiteral("&Trends..."), [this] { diagnostics_->showTrends(); });
  viewMenu()->addAction(QStringLiteral("T&raffic..."), [this] { diagnostics_->showTraffic(); });
  viewMenu()->addAction(QStringLiteral("Recorded &Log..."), [this] { showLogViewer(window_, {}); });

  MainWindowOptions behaviourOptions;
  behaviourOptions.workingFolder = options.workingFolder.empty()
                                       ? alarmTemplateFolder(QDir::currentPath().toStdString())
                                       : options.workingFolder;
  behaviourOptions.userFolder = options.userFolder.empty() ? defaultUserFolder() : options.userFolder;
  behaviourOptions.dataFolder = options.dataFolder;
  behaviour_ = std::make_unique<MainWindow>(
      *mainForm_, PageForms{*pages_[0], *pages_[1], *pages_[2], *pages_[3]}, line, clock_, behaviourOptions);
  mainForm_->setEvents(behaviour_.get());
  for (std::size_t i = 0; i < pages_.size(); ++i)
    pages_[i]->setEvents(&behaviour_->pageEvents(static_cast<int>(i)));
  behaviour_->receiver().setObserver(&fanOut_);
  behaviour_->onInitDialog();
  parametersMenu_ = std::make_unique<ParametersMenu>(
      ParametersMenuParts{*behaviour_, behaviour_->alarmPage(), FormOf<AlarmId>(*pages_[kAlarmTab]),
                          [this] { mainForm_->setCurrentIndex(MainId::Tabs, kAlarmTab); }, window_});
  window_->menuBar()->insertMenu(viewMenu()->menuAction(), parametersMenu_->menu());
  eventsAndMemory_ = std::make_unique<EventsAndMemory>(
      EventsAndMemoryParts{window_, viewMenu(), behaviour_->events(),
                           [this](bool on) { behaviour_->setReconnect(on); }, *diagnostics_},
      EventsAndMemoryOptions{options.settingsFile, options.reconnect});
  QTimer::singleShot(0, window_, [this] { eventsAndMemory_->restoreWindows(); });
  window_->setFixedSize(naturalSize.width(), naturalSize.height() + window_->menuBar()->sizeHint().height());
  QRect available = options.availableArea;
  if (available.isEmpty() && QGuiApplication::platformName() != QLatin1String("offscreen") &&
      window_->screen())
    available = window_->screen()->availableGeometry();
  if (!available.isEmpty()) fitInto(available);
  return {};
}

void MainWindowShell::fitInto(const QRect& available) {
  const QSize room(available.width(), available.height() - kTitleBarAllowance);
  if (window_->width() <= room.width() && window_->height() <= room.height()) return;
  // The pages keep their table size where there is room for it; here they give up what their
  // controls do not need, and only what still does not fit scrolls.
  for (auto& page : pages_) {
    QWidget* w = page->widget();
    w->setMinimumSize(w->layout()->minimumSize().boundedTo(w->minimumSize()));
  }
  // Size hints are cached along the way up (a tab widget passes on no change of a hidden page).
  QWidget* content = mainForm_->widget();
  for (QWidget* w : content->findChildren<QWidget*>()) w->updateGeometry();
  content->setMinimumSize(content->layout()->minimumSize().boundedTo(content->maximumSize()));
  window_->setFixedSize(window_->size().boundedTo(room));
  window_->move(available.topLeft());
}

void MainWindowShell::buildMenu() {
  QMenu* production = window_->menuBar()->addMenu(QStringLiteral("P&roduction"));
  production->addAction(QStringLiteral("&Station..."), [this] { showStation(); });
  QMenu* help = window_->menuBar()->addMenu(QStringLiteral("&Help"));
  help->addAction(QStringLiteral("&About Orlo_PC..."), [this] { showAbout(); });
  // Escape closes the window, as it closes a dialog.
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), window_);
  QObject::connect(escape, &QShortcut::activated, window_, &QWidget::close);
}

StationWindow* MainWindowShell::showStation() {
  if (!station_) station_ = new StationWindow(*behaviour_, window_);
  station_->show();
  station_->raise();
  station_->activateWindow();
  return station_;
}

QMenu* MainWindowShell::viewMenu() {
  if (!viewMenu_) {
    QMenuBar* bar = window_->menuBar();
    viewMenu_ = new QMenu(QStringLiteral("&View"), bar);
    bar->insertMenu(bar->actions().value(0), viewMenu_);
  }
  return viewMenu_;
}

void MainWindowShell::showAbout() {
  if (Result<std::unique_ptr<AboutBox>> box = AboutBox::create(window_))
    (*box)->exec();
  else
    mainForm_->messageBox(box.error());
}

}  // namespace orlo::ui
