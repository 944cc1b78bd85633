#include "ui/app_window.h"

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QKeySequence>
#include <QMainWindow>
#include <QMenuBar>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>

#include "ui/diagnostics.h"
#include "ui/form_style.h"
#include "ui/keep_watch.h"
#include "ui/parameters_menu.h"
#include "ui/station/station_window.h"
#include "ui/template_folder.h"
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

constexpr int kAboutOk = 1;

// Room kept for a window manager's title bar when the window has to shrink to fit a screen.
constexpr int kTitleBarAllowance = 32;

// The About box closes on its only button.
class AboutEvents : public FormEvents {
 public:
  explicit AboutEvents(QDialog& dialog) : dialog_(dialog) {}
  void onClicked(int id) override {
    if (id == kAboutOk) dialog_.accept();
  }

 private:
  QDialog& dialog_;
};

}  // namespace

bool loadLayoutResource(const std::string& name, LayoutTable* out, std::string* error) {
  QFile file(QStringLiteral(":/layouts/%1.layout").arg(QString::fromStdString(name)));
  if (!file.open(QIODevice::ReadOnly)) {
    *error = "layout '" + name + "' is missing from the program's resources";
    return false;
  }
  std::string why;
  if (!parseLayout(file.readAll().toStdString(), out, &why)) {
    *error = "layout '" + name + "': " + why;
    return false;
  }
  return true;
}

std::unique_ptr<AppWindow> AppWindow::create(const AppWindowOptions& options, std::string* error) {
  std::unique_ptr<AppWindow> app(new AppWindow);
  if (!app->build(options, error)) return nullptr;
  return app;
}

AppWindow::~AppWindow() {
  // The window behaviour goes first (it lets go of the port itself): nothing may reach it
  // through a form after.
  if (mainForm_) mainForm_->setEvents(nullptr);
  for (auto& page : pages_) page->setEvents(nullptr);
  keepWatch_.reset();
  delete station_.data();  // it stops a board's test on the window behaviour's port
  dlg_.reset();
  diagnostics_.reset();
  pages_.clear();
  mainForm_.reset();
  delete window_.data();
}

bool AppWindow::build(const AppWindowOptions& options, std::string* error) {
  LayoutTable mainTable;
  if (!loadLayoutResource("main", &mainTable, error)) return false;
  std::vector<LayoutTable> pageTables(std::size(kPages));
  for (std::size_t i = 0; i < std::size(kPages); ++i) {
    if (!loadLayoutResource(kPages[i].layout, &pageTables[i], error)) return false;
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
  scroller->setWidgetResizable(true);
  content->setMinimumSize(content->layout()->minimumSize().boundedTo(naturalSize));
  content->setMaximumSize(naturalSize);
  scroller->setWidget(content);
  window_->setCentralWidget(scroller);
  window_->setWindowTitle(QString::fromStdString(mainTable.window.caption));
  window_->setWindowIcon(applicationIcon(138));
  buildMenu();
  // The diagnostics see every block written and every frame received, and change none.
  diagnostics_ = std::make_unique<Diagnostics>(window_);
  SerialControl& line = diagnostics_->wrap(serial_);
  fanOut_.add(diagnostics_->observer());
  viewMenu()->addAction(QStringLiteral("&Trends..."), [this] { diagnostics_->showTrends(); });
  viewMenu()->addAction(QStringLiteral("T&raffic..."), [this] { diagnostics_->showTraffic(); });

  MainWindowOptions dlgOptions;
  dlgOptions.workingFolder = options.workingFolder.empty()
                                 ? alarmTemplateFolder(QDir::currentPath().toStdString())
                                 : options.workingFolder;
  dlgOptions.userFolder = options.userFolder.empty() ? defaultUserFolder() : options.userFolder;
  dlgOptions.dataFolder = options.dataFolder;
  dlg_ = std::make_unique<MainWindow>(*mainForm_, PageForms{*pages_[0], *pages_[1], *pages_[2], *pages_[3]},
                                      line, clock_, dlgOptions);
  mainForm_->setEvents(dlg_.get());
  for (std::size_t i = 0; i < pages_.size(); ++i)
    pages_[i]->setEvents(&dlg_->pageEvents(static_cast<int>(i)));
  dlg_->receiver().setObserver(&fanOut_);
  dlg_->onInitDialog();
  parametersMenu_ = std::make_unique<ParametersMenu>(*this);
  window_->menuBar()->insertMenu(viewMenu()->menuAction(), parametersMenu_->menu());
  keepWatch_ = std::make_unique<KeepWatch>(*this, KeepWatchOptions{options.settingsFile, options.reconnect});
  QTimer::singleShot(0, window_, [this] { keepWatch_->restoreWindows(); });
  window_->setFixedSize(naturalSize.width(), naturalSize.height() + window_->menuBar()->sizeHint().height());
  QRect available = options.availableArea;
  if (available.isEmpty() && QGuiApplication::platformName() != QLatin1String("offscreen") &&
      window_->screen())
    available = window_->screen()->availableGeometry();
  if (!available.isEmpty()) fitInto(available);
  return true;
}

void AppWindow::fitInto(const QRect& available) {
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

void AppWindow::buildMenu() {
  QMenu* production = window_->menuBar()->addMenu(QStringLiteral("P&roduction"));
  production->addAction(QStringLiteral("&Station..."), [this] { showStation(); });
  QMenu* help = window_->menuBar()->addMenu(QStringLiteral("&Help"));
  help->addAction(QStringLiteral("&About Orlo_PC..."), [this] { showAbout(); });
  // Escape closes the window, as it closes the dialog this tool grew from.
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), window_);
  QObject::connect(escape, &QShortcut::activated, window_, &QWidget::close);
}

StationWindow* AppWindow::showStation() {
  if (!station_) station_ = new StationWindow(*dlg_, window_);
  station_->show();
  station_->raise();
  station_->activateWindow();
  return station_;
}

QMenu* AppWindow::viewMenu() {
  if (!viewMenu_) {
    QMenuBar* bar = window_->menuBar();
    viewMenu_ = new QMenu(QStringLiteral("&View"), bar);
    bar->insertMenu(bar->actions().value(0), viewMenu_);
  }
  return viewMenu_;
}

void AppWindow::showAbout() {
  LayoutTable table;
  std::string error;
  if (!loadLayoutResource("about", &table, &error)) {
    mainForm_->messageBox(error);
    return;
  }
  QDialog dialog(window_);
  dialog.setWindowTitle(QString::fromStdString(table.window.caption));
  dialog.setWindowIcon(applicationIcon(128));
  QtForm form(table, mainWindowColours(), &dialog);
  AboutEvents events(dialog);
  form.setEvents(&events);
  auto* layout = new QVBoxLayout(&dialog);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(form.widget());
  dialog.setFixedSize(dialog.sizeHint());
  dialog.exec();
}

}  // namespace orlo::ui
