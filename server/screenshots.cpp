// velnox-screenshots: runs the real client against a demo service, drives it as a person
// would (double-click a row, turn the wheel, open the account window) and saves pictures of
// its windows. Runs offscreen when there is no display.
//
//   velnox-screenshots [--out DIR] [--external]
//
// --external uses a velnox-server already running on its default ports; otherwise a demo
// service runs inside this process on free ports. The update panel is always shown by a
// demo service of its own that publishes a newer version.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTest>
#include <QWheelEvent>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "app/application.h"
#include "app/window_ops.h"
#include "server/demo_server.h"

namespace {

using velnox::Application;

int g_failures = 0;

bool waitFor(const std::function<bool()>& condition, int milliseconds = 10000) {
  QElapsedTimer clock;
  clock.start();
  while (!condition()) {
    if (clock.elapsed() > milliseconds) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QTest::qWait(5);
  }
  return true;
}

void step(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "velnox-screenshots: %s did not happen in time\n", what);
  ++g_failures;
}

void save(QWidget* window, const QDir& dir, const char* name) {
  if (window == nullptr) {
    std::fprintf(stderr, "velnox-screenshots: no window for %s\n", name);
    ++g_failures;
    return;
  }
  // Let pending paints and late pictures settle before the picture is taken.
  waitFor([] { return false; }, 300);
  const QString path = dir.filePath(QString::fromUtf8(name));
  if (window->grab().save(path, "PNG")) {
    std::printf("wrote %s\n", path.toLocal8Bit().constData());
  } else {
    std::fprintf(stderr, "velnox-screenshots: cannot write %s\n", path.toLocal8Bit().constData());
    ++g_failures;
  }
}

// The row whose cover is the tallest, so that the page has something to scroll.
int rowWithTallCover() {
  const auto& items = velnox::demo::catalogue();
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (items[i].coverShape >= 0 &&
        velnox::demo::coverShapes()[static_cast<std::size_t>(items[i].coverShape)].height >
            velnox::demo::coverShapes()[static_cast<std::size_t>(items[i].coverShape)].width) {
      return static_cast<int>(i);
    }
  }
  return 0;
}

void wheel(QWidget* target, int notches) {
  const QPointF at(target->width() / 2.0, target->height() / 2.0);
  for (int i = 0; i < std::abs(notches); ++i) {
    QWheelEvent event(at, target->mapToGlobal(at), QPoint(), QPoint(0, notches < 0 ? -120 : 120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &event);
    QCoreApplication::processEvents();
  }
}

void shootMainDetailAccount(const velnox::Config& config, const QDir& dir) {
  Application app(config);
  app.start();
  velnox::MainWindow* main = app.mainWindow();
  // A client that cannot read the update document ends its run before showing a window.
  if (main == nullptr || main->isMarkedForDestruction()) {
    std::fprintf(stderr, "velnox-screenshots: the client did not start (is the demo server running?)\n");
    ++g_failures;
    return;
  }
  step(waitFor([&] { return main->catalogueList->rowCount() > 0; }), "the catalogue");
  step(waitFor(
           [&] { return !main->bannerPicture->readPicture().empty() && main->bannerPicture->isVisible(); }),
       "the banner");
  save(main, dir, "main-window.png");

  // Double-click a row, as a person would.
  const int row = rowWithTallCover();
  main->catalogueList->selectRow(row);
  const QModelIndex index = main->catalogueList->model()->index(row, 1);
  const QPoint centre = main->catalogueList->visualRect(index).center();
  (void)QTest::qWaitForWindowExposed(main);
  QTest::mouseClick(main->catalogueList->viewport(), Qt::LeftButton, Qt::NoModifier, centre);
  QTest::mouseDClick(main->catalogueList->viewport(), Qt::LeftButton, Qt::NoModifier, centre);
  step(waitFor([&] { return app.detailWindow() != nullptr && app.detailWindow()->isVisible(); }),
       "the detail window");
  if (velnox::DetailWindow* detail = app.detailWindow()) {
    step(waitFor([&] {
           return !detail->coverPicture->readPicture().empty() && !detail->bodyEdit->readText().empty();
         }),
         "the cover and the body");
    // Turn the wheel towards the reader until the body is in view.
    const int notches = detail->detailScrollBar->readMaximum() / 50 + 1;
    wheel(detail->detailCanvas, -notches);
    save(detail, dir, "detail-window.png");
    detail->close();
  }

  // The account window, with the server's answer to a wrong password on its hint line.
  velnox::AccountWindow* account = app.showAccountWindowModal();
  if (account != nullptr) {
    const velnox::Text hintBefore = account->hintEdit->readText();
    QTest::keyClicks(account->accountEdit, QStringLiteral("demo"));
    QTest::keyClicks(account->passwordEdit, QStringLiteral("123456"));
    QTest::mouseClick(account->accountLoginButton, Qt::LeftButton);
    step(waitFor(
             [&] { return app.accountWindow() && app.accountWindow()->hintEdit->readText() != hintBefore; }),
         "the account hint");
    save(app.accountWindow(), dir, "account-window.png");
    if (app.accountWindow()) app.accountWindow()->close();
  }
  waitFor([] { return false; }, 100);
}

void shootUpdatePanel(const QDir& dir) {
  velnox::demo::DemoOptions options;
  options.debugPort = 0;
  options.productionPort = 0;
  options.httpPort = 0;
  options.newerVersion = true;
  velnox::demo::DemoServer server(options);
  if (!server.start()) {
    std::fprintf(stderr, "velnox-screenshots: %s\n", server.error().c_str());
    ++g_failures;
    return;
  }
  Application app(server.clientConfig());
  app.start();
  velnox::MainWindow* main = app.mainWindow();
  if (main == nullptr || main->isMarkedForDestruction()) {
    std::fprintf(stderr, "velnox-screenshots: the client did not start against its own demo server\n");
    ++g_failures;
    return;
  }
  step(waitFor([&] { return main->updateGroup->isVisible(); }), "the update panel");
  step(waitFor([&] { return main->catalogueList->rowCount() > 0; }), "the catalogue");
  save(main, dir, "update-panel.png");
}

}  // namespace

int main(int argc, char** argv) {
  QString out = QStringLiteral("docs/screenshots");
  bool external = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--out" && i + 1 < argc) {
      out = QString::fromLocal8Bit(argv[++i]);
    } else if (arg == "--external") {
      external = true;
    } else {
      std::fprintf(stderr, "usage: velnox-screenshots [--out DIR] [--external]\n");
      return 2;
    }
  }
  if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
      qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication qt(argc, argv);
  qt.setQuitOnLastWindowClosed(false);
  QDir dir;
  if (!dir.mkpath(out)) {
    std::fprintf(stderr, "velnox-screenshots: cannot make %s\n", out.toLocal8Bit().constData());
    return 1;
  }
  dir.setPath(out);

  // Nothing leaves the process: no browser opens, and a message box is dismissed at once.
  velnox::setOpenAddressHook([](const velnox::Text&) {});
  velnox::setMessageBoxHook([](QMessageBox& box) { box.done(QMessageBox::Ok); });

  if (external) {
    const velnox::demo::DemoOptions defaults;
    shootMainDetailAccount(velnox::demo::demoClientConfig(defaults.host, defaults.debugPort,
                                                          defaults.productionPort, defaults.httpPort),
                           dir);
  } else {
    velnox::demo::DemoOptions options;
    options.debugPort = 0;
    options.productionPort = 0;
    options.httpPort = 0;
    velnox::demo::DemoServer server(options);
    if (!server.start()) {
      std::fprintf(stderr, "velnox-screenshots: %s\n", server.error().c_str());
      return 1;
    }
    shootMainDetailAccount(server.clientConfig(), dir);
  }
  shootUpdatePanel(dir);
  return g_failures == 0 ? 0 : 1;
}
